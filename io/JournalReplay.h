#ifndef KIVO_JOURNALREPLAY_H
#define KIVO_JOURNALREPLAY_H

#include <string>
#include <vector>

#include "io/JournalFormat.h"
#include "model/Layout.h"

struct ReplayResult {
  bool ok = false;             // false: unreadable, the layout is untouched
  std::string error;
  JournalBase base;
  bool baseChanged = false;
  // The base file could not be read: the edits went onto an empty layout.
  std::string baseUnreadable;  // the cause; empty when it was read
  bool tornEntryDropped = false;
  std::vector<std::string> notApplied;  // edits that no longer apply
};
// Load the journal's base file into layout, in its format and with its
// layer map, and apply its edits; the result is unsaved and untitled.
ReplayResult replayJournal(const std::string& journal, Layout& layout);

#endif
