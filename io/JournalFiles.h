#ifndef KIVO_JOURNALFILES_H
#define KIVO_JOURNALFILES_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "io/JournalFormat.h"

// The recovery journals' files: their folder, their names, and the ones
// that ended sessions left behind.

// Where journals live: $XDG_STATE_HOME/kivo/recovery, by default
// ~/.local/state/kivo/recovery. Empty when neither is known.
std::string journalDirectory();
// KIVO_NO_RECOVERY=1 turns journals off.
bool recoveryDisabled();

// Make the folder where missing and open it. It must be a folder of this
// user's with mode 0700 (a wider mode is narrowed): journals hold the
// user's work. -1 with error set otherwise.
int openJournalDirectory(const std::string& directory, std::string& error);
// Create a journal file under a new name in the open folder, mode 0600.
// An existing file or link of that name is never opened: the next name is
// tried. The descriptor with name set, or -1 with error set.
int createJournalFile(int folder, std::string& name, std::string& error);

// What stat says of a file; it changes whenever the file's content does
// (a write sets the change time, a replacement brings another inode).
struct FileIdentity {
  bool known = false;
  dev_t device = 0;
  ino_t inode = 0;
  uint64_t size = 0;
  int64_t modified = 0, changed = 0;  // nanoseconds since the epoch
  static FileIdentity of(const std::string& path);
  bool operator==(const FileIdentity& o) const {
    return known && o.known && device == o.device && inode == o.inode && size == o.size &&
           modified == o.modified && changed == o.changed;
  }
};
// Fill base's fingerprint from its file, if the file is still the one read
// (identity read, taken before the read); else it stays unknown.
void fingerprintBase(JournalBase& base, const FileIdentity& read);
// Does the base file still have the size, time and content it had?
bool baseUnchanged(const JournalBase& base);

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error);
// Rename a journal that cannot be read to "<name>.unreadable"; the report
// for the user: the journal, the cause and where it went.
std::string setJournalAside(const std::string& journal, const std::string& error);

// A journal left behind by a process that is no longer running.
struct FoundJournal {
  std::string path;
  JournalBase base;
  int64_t modified = 0;  // seconds since the epoch: the last edit
};
// Journals of this user and host in directory whose process has ended,
// oldest first. Unreadable ones are set aside and described in problems.
std::vector<FoundJournal> findOrphanJournals(const std::string& directory, std::vector<std::string>& problems);

#endif
