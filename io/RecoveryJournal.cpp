#include "io/RecoveryJournal.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "io/LayerMap.h"
#include "model/Untitled.h"

namespace {

// What a failing journal keeps in memory: 512 MiB holds a paste of 10^7
// objects (24 bytes each) twice over, yet stays a small part of a layout
// workstation's memory. Beyond it the edits since are given up.
const size_t KEPT_MOST = size_t(512) << 20;
// The old file goes to its replacement in pieces of 1 MiB: few calls even
// for a journal of hundreds of MB, and little memory beside the kept edits.
const size_t COPY_BYTES = 1 << 20;

}  // namespace

RecoveryJournal::RecoveryJournal(const Layout& l, const std::string& dir)
    : layout(l), directory(dir), lastSync(std::chrono::steady_clock::now()) {
  writer = std::thread(&RecoveryJournal::writerLoop, this);
}

RecoveryJournal::~RecoveryJournal() { stop(); }

void RecoveryJournal::stop() {
  if (!writer.joinable()) return;
  flush();
  {
    std::lock_guard<std::mutex> guard(lock);
    stopping = true;
  }
  wake.notify_all();
  writer.join();
  if (fd >= 0) close(fd);
  if (folder >= 0) close(folder);
  fd = folder = -1;
}

// The first change after a saved state starts a new journal whose base is
// the layout's file (or none while the layout is untitled).
void RecoveryJournal::submit(JournalPayload payload) {
  if (!started) {
    Job open{Job::OPEN, JournalBase(), baseIdentity, {}};
    open.base.untitled = layout.isUntitled() && layout.fileName() == UNTITLED_NAME;
    if (!open.base.untitled) {
      char* full = realpath(layout.fileName().text(), nullptr);
      open.base.path = full ? full : layout.fileName().text();
      std::free(full);
    }
    open.base.format = layout.format();
    if (open.base.format == FORMAT_GDSII) open.base.layerMap = activeLayerMap().text();
    if (open.base.format == FORMAT_GDSII) open.base.cell = layout.cell(layout.shownCell()).name();
    started = true;
    queue(std::move(open));
  }
  queue(Job{Job::WRITE, JournalBase(), FileIdentity(), std::move(payload)});
}

void RecoveryJournal::queue(Job job) {
  {
    std::lock_guard<std::mutex> guard(lock);
    if (stopping) return;
    jobs.push_back(std::move(job));
  }
  wake.notify_all();
}

void RecoveryJournal::objectsAppended(int layer, size_t first, const std::vector<GroupNode*>& nodes) {
  submit(encodeAppend(layer, first, nodes, &layout.cells()));
}

void RecoveryJournal::cellAdded(const Cell& cell) { submit(encodeCell(cell, &layout.cells())); }

void RecoveryJournal::lastCellDropped(const std::string& name) { submit(encodeCellName(ENTRY_DROP, name)); }

// Before the first edit the base names the shown cell itself.
void RecoveryJournal::cellShown(const Cell& cell) {
  if (started) submit(encodeCellName(ENTRY_SHOW, cell.name()));
}

void RecoveryJournal::objectsRemoved(int layer, const std::vector<uint32_t>& positions,
                                     const std::vector<GroupNode*>& nodes) {
  submit(encodeRemove(layer, positions, nodes));
}

void RecoveryJournal::objectsInserted(int layer, const std::vector<uint32_t>& positions,
                                      const std::vector<GroupNode*>& nodes) {
  submit(encodeInsert(layer, positions, nodes, &layout.cells()));
}

void RecoveryJournal::objectsMoved(int layer, const std::vector<uint32_t>& positions, int32_t dx, int32_t dy) {
  submit(encodeMove(layer, positions, dx, dy));
}

void RecoveryJournal::savedStateReached() {
  if (!started) return;
  queue(Job{Job::REMOVE, JournalBase(), FileIdentity(), {}});
  started = false;
}

void RecoveryJournal::syncNow() {
  {
    std::lock_guard<std::mutex> guard(lock);
    syncWanted = true;
  }
  wake.notify_all();
}

void RecoveryJournal::flush() {
  std::unique_lock<std::mutex> guard(lock);
  syncWanted = true;
  wake.notify_all();
  idle.wait(guard, [this] { return (jobs.empty() && !busy && !dirty) || stopping; });
}

void RecoveryJournal::retry() {
  std::lock_guard<std::mutex> guard(lock);
  if (state != FAILING) return;
  if (jobs.empty() || jobs.back().kind != Job::RETRY) jobs.push_back(Job{Job::RETRY, JournalBase(), FileIdentity(), {}});
  wake.notify_all();
}

std::string RecoveryJournal::path() const {
  std::lock_guard<std::mutex> guard(lock);
  return filePath;
}

RecoveryJournal::Health RecoveryJournal::health(std::string& why) const {
  std::lock_guard<std::mutex> guard(lock);
  why = cause;
  return state;
}

void RecoveryJournal::whenHealthChanges(std::function<void()> call) {
  std::lock_guard<std::mutex> guard(lock);
  healthChanged = std::move(call);
}

void RecoveryJournal::setHealth(Health h, const std::string& why) {
  std::function<void()> tell;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (h != state) tell = healthChanged;
    state = h;
    cause = why;
  }
  if (tell) tell();
}

// Jobs in order; between them, fdatasync once a second at most unless a
// sync was asked for.
void RecoveryJournal::writerLoop() {
  // Below the interface's thread, which must never wait for this one.
  setpriority(PRIO_PROCESS, (id_t)syscall(SYS_gettid), 10);
  // Beyond a file size limit a write then fails instead of the signal
  // killing the program with its unsaved work.
  sigset_t fileSize;
  sigemptyset(&fileSize);
  sigaddset(&fileSize, SIGXFSZ);
  pthread_sigmask(SIG_BLOCK, &fileSize, nullptr);
  std::unique_lock<std::mutex> guard(lock);
  bool prepared = false;
  for (;;) {
    if (!jobs.empty()) {
      Job job = std::move(jobs.front());
      jobs.pop_front();
      busy = true;
      guard.unlock();
      perform(job);
      job.bytes = JournalPayload();  // its blocks go back outside the lock
      guard.lock();
      busy = false;
      dirty = fd >= 0;
      prepared = false;
      idle.notify_all();
      continue;
    }
    auto now = std::chrono::steady_clock::now();
    if (dirty && (syncWanted || now >= lastSync + std::chrono::seconds(1))) {
      dirty = false;
      guard.unlock();
      fdatasync(fd);
      guard.lock();
      lastSync = std::chrono::steady_clock::now();
      continue;
    }
    if (!dirty) {
      syncWanted = false;
      idle.notify_all();
    }
    if (stopping) return;
    if (fd >= 0 && !prepared) {
      prepared = true;
      guard.unlock();
      prepareJournalBlocks();
      guard.lock();
      continue;
    }
    if (dirty)
      wake.wait_until(guard, lastSync + std::chrono::seconds(1));
    else
      wake.wait(guard);
  }
}

void RecoveryJournal::perform(Job& job) {
  if (job.kind == Job::OPEN) {
    closeFile();
    base = std::move(job.base);
    fingerprintBase(base, job.read);
    writeWhole();
  } else if (job.kind == Job::REMOVE) {
    if (folder >= 0 && !fileName.empty()) unlinkat(folder, fileName.c_str(), 0);
    closeFile();
    setHealth(HEALTHY, std::string());
  } else if (job.kind == Job::RETRY) {
    if (state == FAILING) writeWhole();
  } else if (state == FAILING) {
    keep(std::move(job.bytes));
    if (state == FAILING) writeWhole();  // each edit tries again
  } else if (state == HEALTHY && !append(fd, job.bytes)) {
    // What the failed write left in the file lies past goodBytes: the
    // replacement copies only whole entries.
    setHealth(FAILING, "writing " + fileName + ": " + std::strerror(errno));
    keep(std::move(job.bytes));
  }
}

bool RecoveryJournal::writeAll(int to, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    if (int error = injectedError) return errno = error, false;
    ssize_t n = write(to, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return errno = n == 0 ? ENOSPC : errno, false;
    p += n;
    size -= (size_t)n;
  }
  return true;
}

bool RecoveryJournal::append(int to, const JournalPayload& payload) {
  uint32_t frame[2];
  entryFrame(payload, frame);
  bool written = to >= 0 && writeAll(to, frame, sizeof(frame));
  for (size_t i = 0; written && i < payload.blocks.size(); i++)
    written = writeAll(to, payload.blocks[i], payload.blockBytes(i));
  if (written && to == fd) goodBytes += sizeof(frame) + payload.size;
  return written;
}

bool RecoveryJournal::writeWhole() {
  std::string why, name;
  if (folder < 0) folder = openJournalDirectory(directory, why);
  int to = folder < 0 ? -1 : createJournalFile(folder, name, why);
  if (to < 0) {
    // The folder is looked at anew next time: it may be made or mended.
    if (fd < 0 && folder >= 0) close(folder), folder = -1;
    return setHealth(FAILING, why), false;
  }
  bool ok = true;
  if (fd < 0) {
    ok = writeAll(to, journalHead(), JOURNAL_HEAD_BYTES) && append(to, encodeBase(base));
  } else {
    std::vector<uint8_t> piece(COPY_BYTES);
    for (uint64_t at = 0; ok && at < goodBytes;) {
      ssize_t n = pread(fd, piece.data(), (size_t)std::min<uint64_t>(COPY_BYTES, goodBytes - at), (off_t)at);
      ok = n > 0 && writeAll(to, piece.data(), (size_t)n);
      at += n > 0 ? (uint64_t)n : 0;
    }
  }
  for (const JournalPayload& payload : kept) ok = ok && append(to, payload);
  // The new file is complete on disk before it takes the old one's name,
  // and the name survives a system crash too.
  ok = ok && fsync(to) == 0;
  if (ok && fd >= 0) ok = renameat(folder, name.c_str(), folder, fileName.c_str()) == 0;
  if (!ok) {
    why = "writing " + name + ": " + std::strerror(errno);
    close(to);
    unlinkat(folder, name.c_str(), 0);
    return setHealth(FAILING, why), false;
  }
  fsync(folder);
  if (fd >= 0) close(fd);
  fd = to;
  if (fileName.empty()) fileName = name;
  goodBytes = (uint64_t)lseek(fd, 0, SEEK_CUR);
  kept.clear();
  keptBytes = 0;
  {
    std::lock_guard<std::mutex> guard(lock);
    filePath = directory + "/" + fileName;
  }
  setHealth(HEALTHY, std::string());
  return true;
}

// Beyond KEPT_MOST nothing more is kept: the file holds the edits up to the
// failure, and those after it are given up until the next saved state.
void RecoveryJournal::keep(JournalPayload payload) {
  if (keptBytes + payload.size > KEPT_MOST) {
    kept.clear();
    keptBytes = 0;
    setHealth(LOST, cause);
    return;
  }
  keptBytes += payload.size;
  kept.push_back(std::move(payload));
}

// Each journal checks its folder anew.
void RecoveryJournal::closeFile() {
  if (fd >= 0) close(fd);
  if (folder >= 0) close(folder);
  fd = folder = -1;
  fileName.clear();
  goodBytes = 0;
  kept.clear();
  keptBytes = 0;
  std::lock_guard<std::mutex> guard(lock);
  filePath.clear();
}
