#ifndef KIVO_COUNTTEXT_H
#define KIVO_COUNTTEXT_H

#include <fx.h>

#include <cstddef>

// "3 object(s) moved": a count and what was counted, as the status line
// and the undo history's step names say it.
inline FXString countText(size_t n, const char* what) {
  FXString text;
  text.format("%lu %s", (unsigned long)n, what);
  return text;
}

#endif
