#ifndef KIVO_STATUSLOG_H
#define KIVO_STATUSLOG_H

// A scripting and diagnostic aid: with KIVO_STATUS_LOG=FILE in the
// environment, every text shown in the status line and every new text of the
// inspect field is appended to FILE as one line, "FIELD: TEXT". Without it
// nothing is written.
void logStatusText(const char* field, const char* text);

#endif
