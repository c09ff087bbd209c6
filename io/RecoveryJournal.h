#ifndef KIVO_RECOVERYJOURNAL_H
#define KIVO_RECOVERYJOURNAL_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "io/JournalFiles.h"
#include "io/JournalFormat.h"
#include "io/JournalReplay.h"
#include "model/Layout.h"

// The recovery journal: while a layout has unsaved changes, every change of
// its content is appended to a file in journalDirectory(), so that a session
// that crashed, was killed or lost its X server can be replayed at the next
// start (io/JournalReplay.h). The bytes are io/JournalFormat.h's, the files
// io/JournalFiles.h's.
//
// Entries are encoded on the caller's thread (the objects may change right
// after) and written, checksummed and synced by a writer thread of its own,
// so that the interface never waits for the disk. fdatasync runs at most
// once a second while there is unsynced data, and at once after syncNow().
//
// When a write fails (a full disk, a folder that cannot be made) the
// entries not written are kept in memory, and at the next edit or retry()
// the whole journal goes to a new file that replaces the old one once it is
// complete and synced.
class RecoveryJournal : public LayoutObserver {
public:
  RecoveryJournal(const Layout& layout, const std::string& directory);
  ~RecoveryJournal() override;

  void objectsAppended(int layer, size_t first, const std::vector<GroupNode*>& nodes) override;
  void objectsRemoved(int layer, const std::vector<uint32_t>& positions,
                      const std::vector<GroupNode*>& nodes) override;
  void objectsInserted(int layer, const std::vector<uint32_t>& positions,
                       const std::vector<GroupNode*>& nodes) override;
  void objectsMoved(int layer, const std::vector<uint32_t>& positions, int32_t dx, int32_t dy) override;
  void cellAdded(const Cell& cell) override;
  void lastCellDropped(const std::string& name) override;
  void cellShown(const Cell& cell) override;
  // Nothing is unsaved any more: the journal file goes.
  void savedStateReached() override;

  // The layout's file was read (or written) as it was when stat gave read,
  // taken before the read. A journal fingerprints its base only while the
  // file is still that one.
  void baseRead(const FileIdentity& read) { baseIdentity = read; }
  // Sync what was written without waiting for the next second (before a
  // modal dialog); does not wait.
  void syncNow();
  // Wait until everything is written and synced, or kept.
  void flush();
  // Remove the journal file (Quit).
  void discard() { savedStateReached(); }
  // Write again what could not be written; does not wait.
  void retry();
  // Write what is queued and join the writer thread; the file stays, as
  // after a crash. Nothing is journaled after.
  void stop();
  // The current journal file; empty while there is none.
  std::string path() const;

  enum Health {
    HEALTHY,  // every edit is on disk
    FAILING,  // writes fail: edits are kept in memory
    LOST      // more than KEPT_MOST to keep: edits since cannot be recovered
  };
  // Health, and with it the cause of the last failure.
  Health health(std::string& cause) const;
  // Called on the writer thread whenever the health changes.
  void whenHealthChanges(std::function<void()> call);
  // For tests: every write fails with this errno; 0 ends that.
  void failWrites(int error) { injectedError = error; }

private:
  struct Job {
    enum Kind { OPEN, WRITE, REMOVE, RETRY } kind;
    JournalBase base;            // OPEN: fingerprinted and written by the writer
    FileIdentity read;           // OPEN: the base file as read
    JournalPayload bytes;        // WRITE: one payload
  };
  void submit(JournalPayload payload);
  void queue(Job job);
  void writerLoop();
  void perform(Job& job);
  // Writer thread: append one entry to the file.
  bool append(int to, const JournalPayload& payload);
  bool writeAll(int to, const void* data, size_t size);
  // Writer thread: the whole journal to a new file, which then replaces
  // the old one; false with the old one as it was.
  bool writeWhole();
  void keep(JournalPayload payload);
  void closeFile();
  void setHealth(Health h, const std::string& why);

  const Layout& layout;
  std::string directory;
  bool started = false;          // the interface's: a journal holds this session
  FileIdentity baseIdentity;     // the interface's

  mutable std::mutex lock;
  std::condition_variable wake, idle;
  std::deque<Job> jobs;
  bool busy = false, dirty = false, syncWanted = false, stopping = false;
  std::chrono::steady_clock::time_point lastSync;
  std::string filePath;          // under lock
  // Written by the writer thread alone, under lock; read by others under it.
  Health state = HEALTHY;
  std::string cause;
  std::function<void()> healthChanged;  // under lock
  std::atomic<int> injectedError{0};
  // The writer thread's alone:
  int fd = -1, folder = -1;
  std::string fileName;          // in folder
  uint64_t goodBytes = 0;        // the file's bytes up to its last whole entry
  JournalBase base;
  std::deque<JournalPayload> kept;
  size_t keptBytes = 0;
  std::thread writer;
};

#endif
