#ifndef KIVO_RECOVERYJOURNAL_H
#define KIVO_RECOVERYJOURNAL_H

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/Layout.h"

// The recovery journal: while a layout has unsaved changes, every change of
// its content is appended to a file in journalDirectory(), so that a session
// that crashed, was killed or lost its X server can be replayed at the next
// start.
//
// File format (host byte order: a journal never leaves its machine):
//   "KIVOJRNL", u32 version, then entries: u32 size, u32 checksum of the
//   payload (word-wise FNV-1a folded to 32 bits), payload of size bytes.
//   A payload starts with its kind:
//   BASE    what the layout started from (always the first entry)
//   APPEND  u8 layer, u32 first position, origins, u32 n, n objects
//   REMOVE  u8 layer, u32 n ranges of (start, count, first and last geometry)
//   INSERT  u8 layer, u32 n ranges of (start, count), origins, u32 n, objects
//   MOVE    u8 layer, i32 dx, i32 dy, u32 n ranges of (start, count)
// Objects are (x, y, w, h, value, origin number); "origins" lists the
// contents of the origin numbers the entry uses, so every entry stands alone.
// An entry whose size or checksum does not hold at the end of the file is a
// torn last write and is dropped; anywhere else the journal is unreadable.

// Where journals live: $XDG_STATE_HOME/kivo/recovery, by default
// ~/.local/state/kivo/recovery. Empty when neither is known.
std::string journalDirectory();
// KIVO_NO_RECOVERY=1 turns journals off.
bool recoveryDisabled();

// What a journal says its layout started from.
struct JournalBase {
  bool untitled = true;
  std::string path;         // the file, when not untitled
  FileFormat format = FORMAT_MSK;
  uint64_t size = 0;
  int64_t modified = 0;     // nanoseconds since the epoch
  uint64_t hash = 0;        // of the file's content
  std::string layerMap;     // GDSII only
};

// An entry's encoded bytes, in blocks that go back to a pool when done.
struct JournalPayload {
  std::vector<uint8_t*> blocks;
  size_t size = 0;
  JournalPayload() = default;
  JournalPayload(JournalPayload&&) = default;
  JournalPayload& operator=(JournalPayload&& other);
  ~JournalPayload();
  size_t blockBytes(size_t i) const;
};

// Writes the journal of one layout. Entries are encoded on the caller's
// thread (the objects may change right after) and written, checksummed and
// synced by a writer thread of its own, so that the interface never waits
// for the disk. fdatasync runs at most once a second while there is
// unsynced data, and at once after syncNow().
class RecoveryJournal : public LayoutObserver {
public:
  RecoveryJournal(const Layout& layout, const std::string& directory);
  // Writes what is queued and stops; the file stays, as after a crash.
  ~RecoveryJournal() override;

  void objectsAppended(int layer, size_t first, const std::vector<GroupNode*>& nodes) override;
  void objectsRemoved(int layer, const std::vector<uint32_t>& positions,
                      const std::vector<GroupNode*>& nodes) override;
  void objectsInserted(int layer, const std::vector<uint32_t>& positions,
                       const std::vector<GroupNode*>& nodes) override;
  void objectsMoved(int layer, const std::vector<uint32_t>& positions, int32_t dx, int32_t dy) override;
  // Nothing is unsaved any more: the journal file goes.
  void savedStateReached() override;

  // Sync what was written without waiting for the next second (before a
  // modal dialog); does not wait.
  void syncNow();
  // Wait until everything is written and synced.
  void flush();
  // Remove the journal file (Quit).
  void discard() { savedStateReached(); }
  // The current journal file; empty while nothing is unsaved.
  std::string path() const { return current; }

private:
  struct Job {
    enum Kind { OPEN, WRITE, REMOVE } kind;
    std::string path;            // OPEN: the new journal file
    JournalBase base;            // OPEN: hashed and written by the writer
    JournalPayload bytes;        // WRITE: one payload
  };
  void submit(JournalPayload payload);
  void queue(Job job);
  void writerLoop();
  void perform(Job& job);

  const Layout& layout;
  std::string directory;
  std::string current;

  std::mutex lock;
  std::condition_variable wake, idle;
  std::deque<Job> jobs;
  bool busy = false, dirty = false, syncWanted = false, stopping = false;
  std::chrono::steady_clock::time_point lastSync;
  int fd = -1;  // the writer thread's alone
  std::thread writer;
};

// Read the base entry of a journal; false with error set when unreadable.
bool readJournalBase(const std::string& journal, JournalBase& base, std::string& error);
// Does the base file still have the size, time and content it had?
bool baseUnchanged(const JournalBase& base);

struct ReplayResult {
  bool ok = false;             // false: unreadable, the layout is untouched
  std::string error;
  JournalBase base;
  bool baseChanged = false;
  bool tornEntryDropped = false;
  std::vector<std::string> notApplied;  // edits that no longer apply
};
// Load the journal's base file into layout and apply its edits; the result
// is unsaved and untitled.
ReplayResult replayJournal(const std::string& journal, Layout& layout);

// A journal left behind by a process that is no longer running.
struct FoundJournal {
  std::string path;
  JournalBase base;
  int64_t modified = 0;  // seconds since the epoch: the last edit
};
// Journals of this user and host in directory whose process has ended,
// oldest first. Unreadable ones are renamed to "<name>.unreadable" and
// described in problems.
std::vector<FoundJournal> findOrphanJournals(const std::string& directory, std::vector<std::string>& problems);

#endif
