#include "io/RecoveryJournal.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "io/Gdsii.h"
#include "io/LayerMap.h"
#include "io/LayoutFile.h"
#include "model/ObjectOrigin.h"


namespace {

const char MAGIC[8] = {'K', 'I', 'V', 'O', 'J', 'R', 'N', 'L'};
const uint32_t VERSION = 1;
const char SUFFIX[] = ".kivojournal";
enum EntryKind : uint8_t { ENTRY_BASE = 1, ENTRY_APPEND, ENTRY_REMOVE, ENTRY_INSERT, ENTRY_MOVE };
const size_t OBJECT_BYTES = 6 * sizeof(int32_t);

// Word-wise FNV-1a: the entries' checksum and the base file's fingerprint.
// Fed in pieces, each but the last a multiple of 8 bytes long, it gives the
// same value as over the whole.
const uint64_t FNV_START = 1469598103934665603ull;
uint64_t mix(uint64_t h, const uint8_t* data, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    h = (h ^ word) * 1099511628211ull;
  }
  for (; i < n; i++) h = (h ^ data[i]) * 1099511628211ull;
  return h;
}
uint32_t checksum(uint64_t h) { return (uint32_t)(h ^ (h >> 32)); }

// Entries are encoded into blocks of 256 KiB that the writer hands back
// once written. Fresh memory faults in page by page, which for a paste of
// 10^6 objects costs more than encoding them; so while a journal is open the
// writer thread, when idle, faults in enough blocks ahead for such a paste.
const size_t BLOCK = 256 << 10;
const size_t SPARE_AHEAD = 128, SPARE_MOST = 160;
struct BlockPool {
  std::mutex lock;
  std::vector<uint8_t*> spare;
};
// Never destroyed: writer threads may still run while the process exits.
BlockPool& pool = *new BlockPool;

uint8_t* newBlock() {
  uint8_t* block = static_cast<uint8_t*>(std::malloc(BLOCK));
  if (!block) throw std::bad_alloc();
  return block;
}

uint8_t* takeBlock() {
  {
    std::lock_guard<std::mutex> guard(pool.lock);
    if (!pool.spare.empty()) {
      uint8_t* block = pool.spare.back();
      pool.spare.pop_back();
      return block;
    }
  }
  return newBlock();
}

void giveBlocks(std::vector<uint8_t*>& blocks) {
  {
    std::lock_guard<std::mutex> guard(pool.lock);
    while (!blocks.empty() && pool.spare.size() < SPARE_MOST) {
      pool.spare.push_back(blocks.back());
      blocks.pop_back();
    }
  }
  for (uint8_t* block : blocks) std::free(block);
  blocks.clear();
}

// Fault blocks in until SPARE_AHEAD are ready (on the writer thread).
void prepareBlocks() {
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(pool.lock);
      if (pool.spare.size() >= SPARE_AHEAD) return;
    }
    std::vector<uint8_t*> one{newBlock()};
    std::memset(one[0], 0, BLOCK);
    giveBlocks(one);
  }
}

// Appends bytes to a payload, block after block.
class Encoder {
public:
  JournalPayload out;
  void put(const void* data, size_t n) {
    if (n <= left) {
      std::memcpy(at, data, n);
      at += n, left -= n, out.size += n;
      return;
    }
    for (const uint8_t* p = static_cast<const uint8_t*>(data); n > 0;) {
      if (left == 0) {
        out.blocks.push_back(at = takeBlock());
        left = BLOCK;
      }
      size_t k = std::min(n, left);
      std::memcpy(at, p, k);
      at += k, left -= k, out.size += k, p += k, n -= k;
    }
  }

private:
  uint8_t* at = nullptr;
  size_t left = 0;
};

template <typename T>
void put(Encoder& out, T value) {
  out.put(&value, sizeof(T));
}

void putString(Encoder& out, const std::string& s) {
  put<uint32_t>(out, (uint32_t)s.size());
  out.put(s.data(), s.size());
}

// Reads what put wrote; any read past the end marks the cursor failed.
struct Cursor {
  const uint8_t* p;
  const uint8_t* end;
  bool failed = false;
  template <typename T>
  T get() {
    T value{};
    if ((size_t)(end - p) < sizeof(T)) {
      failed = true;
      return value;
    }
    std::memcpy(&value, p, sizeof(T));
    p += sizeof(T);
    return value;
  }
  std::string getString() {
    uint32_t n = get<uint32_t>();
    if (failed || (size_t)(end - p) < n) return failed = true, std::string();
    std::string s((const char*)p, n);
    p += n;
    return s;
  }
  const uint8_t* take(size_t n) {
    if (failed || (size_t)(end - p) < n) return failed = true, nullptr;
    const uint8_t* at = p;
    p += n;
    return at;
  }
};

uint64_t hashFile(const std::string& path, bool& ok) {
  uint64_t h = FNV_START;
  std::ifstream in(path, std::ios::binary);
  ok = (bool)in;
  std::vector<char> block(1 << 20);
  while (in) {
    in.read(block.data(), (std::streamsize)block.size());
    h = mix(h, (const uint8_t*)block.data(), (size_t)in.gcount());
  }
  if (in.bad()) ok = false;
  return h;
}

bool statFile(const std::string& path, uint64_t& size, int64_t& modified) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  size = (uint64_t)st.st_size;
  modified = (int64_t)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

// The start time of a process in clock ticks since boot (field 22 of
// /proc/<pid>/stat); 0 when it is not running.
unsigned long long processStart(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return 0;
  size_t close = line.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  for (int i = 3; i < 22 && fields >> field;) i++;
  unsigned long long start = 0;
  fields >> start;
  return start;
}

std::string hostName() {
  char name[256] = {};
  gethostname(name, sizeof(name) - 1);
  for (char* c = name; *c; c++)
    if (*c == '/') *c = '_';
  return name;
}

// Make each missing folder of path with mode 0700.
bool makeDirectories(const std::string& path) {
  for (size_t at = 1; at <= path.size(); at++) {
    if (at < path.size() && path[at] != '/') continue;
    std::string part = path.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

// A new journal's name: host, process id, process start and a counter, so
// that no two windows or processes ever share one.
std::string newJournalName() {
  static std::atomic<unsigned> counter{0};
  return std::to_string(getpid()) + "-" + std::to_string(processStart(getpid())) + "-" +
         std::to_string(++counter) + "-" + hostName() + SUFFIX;
}

void putRect(Encoder& out, const Rect& r) {
  int32_t g[4] = {r.x, r.y, r.w, r.h};
  out.put(g, sizeof(g));
}

// Runs of consecutive positions as a count, then (start, count) pairs;
// with ends, the geometry of each run's first and last object follows its
// pair (nodes are in the order of positions).
void putRanges(Encoder& out, const std::vector<uint32_t>& positions, const std::vector<GroupNode*>* ends) {
  uint32_t runs = positions.empty() ? 0 : 1;
  for (size_t i = 1; i < positions.size(); i++) runs += positions[i] != positions[i - 1] + 1;
  put<uint32_t>(out, runs);
  for (size_t i = 0; i < positions.size();) {
    size_t j = i + 1;
    while (j < positions.size() && positions[j] == positions[j - 1] + 1) j++;
    uint32_t pair[2] = {positions[i], (uint32_t)(j - i)};
    out.put(pair, sizeof(pair));
    if (ends) {
      putRect(out, *(*ends)[i]);
      putRect(out, *(*ends)[j - 1]);
    }
    i = j;
  }
}

// The origins the objects use, then the objects themselves.
void putObjects(Encoder& out, int layer, const std::vector<GroupNode*>& nodes) {
  std::vector<uint32_t> origins;
  uint32_t last = 0;
  for (const GroupNode* node : nodes) {
    if (node->origin == last) continue;
    last = node->origin;
    if (std::find(origins.begin(), origins.end(), last) == origins.end()) origins.push_back(last);
  }
  put<uint32_t>(out, (uint32_t)origins.size());
  for (uint32_t number : origins) {
    const ObjectOrigin& o = originOf(number);
    put<uint32_t>(out, number);
    putString(out, o.code);
    put<int32_t>(out, o.gdsLayer);
    put<int32_t>(out, o.gdsDatatype);
  }
  put<uint32_t>(out, (uint32_t)nodes.size());
  bool options = layerFacts(layer).objectClass == CLASS_OPT;
  for (const GroupNode* node : nodes) {
    const Opt* opt = options ? dynamic_cast<const Opt*>(node) : nullptr;
    int32_t record[6] = {node->x, node->y, node->w, node->h, opt ? opt->value : 0, (int32_t)node->origin};
    out.put(record, OBJECT_BYTES);
  }
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= (size_t)n;
  }
  return true;
}

}  // namespace

JournalPayload::~JournalPayload() { giveBlocks(blocks); }

JournalPayload& JournalPayload::operator=(JournalPayload&& other) {
  if (this != &other) {
    giveBlocks(blocks);
    blocks.swap(other.blocks);
    size = other.size;
  }
  return *this;
}

size_t JournalPayload::blockBytes(size_t i) const {
  return i + 1 < blocks.size() ? BLOCK : size - BLOCK * (blocks.size() - 1);
}

std::string journalDirectory() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return std::string(state) + "/kivo/recovery";
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/state/kivo/recovery";
  return std::string();
}

bool recoveryDisabled() {
  const char* off = std::getenv("KIVO_NO_RECOVERY");
  return off && std::strcmp(off, "1") == 0;
}

// ---------------------------------------------------------------- writing

RecoveryJournal::RecoveryJournal(const Layout& l, const std::string& dir)
    : layout(l), directory(dir), lastSync(std::chrono::steady_clock::now()) {
  writer = std::thread(&RecoveryJournal::writerLoop, this);
}

RecoveryJournal::~RecoveryJournal() {
  flush();
  {
    std::lock_guard<std::mutex> guard(lock);
    stopping = true;
  }
  wake.notify_all();
  writer.join();
  if (fd >= 0) close(fd);
}

// The first change after a saved state starts a new journal file whose base
// is the layout's file (or none while the layout is untitled).
void RecoveryJournal::submit(JournalPayload payload) {
  if (current.empty()) {
    Job open{Job::OPEN, directory + "/" + newJournalName(), JournalBase(), {}};
    open.base.untitled = layout.isUntitled() && layout.fileName() == "untitled.msk";
    if (!open.base.untitled) {
      char* full = realpath(layout.fileName().text(), nullptr);
      open.base.path = full ? full : layout.fileName().text();
      std::free(full);
    }
    open.base.format = layout.format();
    if (open.base.format == FORMAT_GDSII) open.base.layerMap = activeLayerMap().text();
    current = open.path;
    queue(std::move(open));
  }
  queue(Job{Job::WRITE, std::string(), JournalBase(), std::move(payload)});
}

void RecoveryJournal::queue(Job job) {
  {
    std::lock_guard<std::mutex> guard(lock);
    jobs.push_back(std::move(job));
  }
  wake.notify_all();
}

void RecoveryJournal::objectsAppended(int layer, size_t first, const std::vector<GroupNode*>& nodes) {
  Encoder out;
  put<uint8_t>(out, ENTRY_APPEND);
  put<uint8_t>(out, (uint8_t)layer);
  put<uint32_t>(out, (uint32_t)first);
  putObjects(out, layer, nodes);
  submit(std::move(out.out));
}

// By ranges, each with the geometry of its first and last object: enough for
// a replay onto a changed file to tell whether the same objects stand there,
// at a cost that does not grow with the objects of a range.
void RecoveryJournal::objectsRemoved(int layer, const std::vector<uint32_t>& positions,
                                     const std::vector<GroupNode*>& nodes) {
  Encoder out;
  put<uint8_t>(out, ENTRY_REMOVE);
  put<uint8_t>(out, (uint8_t)layer);
  putRanges(out, positions, &nodes);
  submit(std::move(out.out));
}

void RecoveryJournal::objectsInserted(int layer, const std::vector<uint32_t>& positions,
                                      const std::vector<GroupNode*>& nodes) {
  Encoder out;
  put<uint8_t>(out, ENTRY_INSERT);
  put<uint8_t>(out, (uint8_t)layer);
  putRanges(out, positions, nullptr);
  putObjects(out, layer, nodes);
  submit(std::move(out.out));
}

void RecoveryJournal::objectsMoved(int layer, const std::vector<uint32_t>& positions, int32_t dx, int32_t dy) {
  Encoder out;
  put<uint8_t>(out, ENTRY_MOVE);
  put<uint8_t>(out, (uint8_t)layer);
  put<int32_t>(out, dx);
  put<int32_t>(out, dy);
  putRanges(out, positions, nullptr);
  submit(std::move(out.out));
}

void RecoveryJournal::savedStateReached() {
  if (current.empty()) return;
  queue(Job{Job::REMOVE, current, JournalBase(), {}});
  current.clear();
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
  idle.wait(guard, [this] { return jobs.empty() && !busy && !dirty; });
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
      prepareBlocks();
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
    if (fd >= 0) close(fd);
    fd = -1;
    if (!makeDirectories(directory)) return;
    fd = open(job.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return;
    JournalBase& base = job.base;
    if (!base.untitled) {
      bool ok = statFile(base.path, base.size, base.modified);
      base.hash = ok ? hashFile(base.path, ok) : 0;
    }
    uint8_t head[12];
    std::memcpy(head, MAGIC, 8);
    std::memcpy(head + 8, &VERSION, 4);
    if (!writeAll(fd, head, sizeof(head))) {
      close(fd);
      fd = -1;
      return;
    }
    // The new name itself must survive a system crash too.
    int folder = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) fsync(folder), close(folder);
    Encoder entry;
    put<uint8_t>(entry, ENTRY_BASE);
    put<uint8_t>(entry, base.untitled ? 1 : 0);
    putString(entry, base.path);
    put<uint8_t>(entry, (uint8_t)base.format);
    put<uint64_t>(entry, base.size);
    put<int64_t>(entry, base.modified);
    put<uint64_t>(entry, base.hash);
    putString(entry, base.layerMap);
    job.bytes = std::move(entry.out);
  } else if (job.kind == Job::REMOVE) {
    if (fd >= 0) close(fd);
    fd = -1;
    unlink(job.path.c_str());
    return;
  }
  if (fd < 0) return;
  const JournalPayload& payload = job.bytes;
  uint64_t h = FNV_START;
  for (size_t i = 0; i < payload.blocks.size(); i++) h = mix(h, payload.blocks[i], payload.blockBytes(i));
  uint32_t frame[2] = {(uint32_t)payload.size, checksum(h)};
  bool written = writeAll(fd, (const uint8_t*)frame, sizeof(frame));
  for (size_t i = 0; written && i < payload.blocks.size(); i++)
    written = writeAll(fd, payload.blocks[i], payload.blockBytes(i));
  // Disk full or a file size limit: the journal ends with this torn entry,
  // which a replay drops; entries after it would make the file unreadable.
  if (!written) {
    close(fd);
    fd = -1;
  }
}

// ---------------------------------------------------------------- reading

namespace {

struct Entry {
  const uint8_t* data;
  size_t size;
};

// Split a journal into checked entries; false with error when unreadable.
bool splitEntries(const std::string& bytes, std::vector<Entry>& entries, bool& torn, std::string& error) {
  const uint8_t* p = (const uint8_t*)bytes.data();
  const uint8_t* end = p + bytes.size();
  uint32_t version = 0;
  if (bytes.size() < 12 || std::memcmp(p, MAGIC, 8) != 0) return error = "not a recovery journal", false;
  std::memcpy(&version, p + 8, 4);
  if (version != VERSION) return error = "journal version " + std::to_string(version) + " is not known", false;
  torn = false;
  for (p += 12; p < end;) {
    uint32_t frame[2];
    if (end - p < 8) return torn = true, true;
    std::memcpy(frame, p, 8);
    if ((size_t)(end - p - 8) < frame[0]) return torn = true, true;
    if (checksum(mix(FNV_START, p + 8, frame[0])) != frame[1]) {
      if (p + 8 + frame[0] == end) return torn = true, true;
      error = "entry " + std::to_string(entries.size() + 1) + " is damaged (checksum)";
      return false;
    }
    entries.push_back({p + 8, frame[0]});
    p += 8 + frame[0];
  }
  return true;
}

bool parseBase(const Entry& entry, JournalBase& base) {
  Cursor c{entry.data, entry.data + entry.size};
  if (c.get<uint8_t>() != ENTRY_BASE) return false;
  base.untitled = c.get<uint8_t>() != 0;
  base.path = c.getString();
  base.format = c.get<uint8_t>() == FORMAT_GDSII ? FORMAT_GDSII : FORMAT_MSK;
  base.size = c.get<uint64_t>();
  base.modified = c.get<int64_t>();
  base.hash = c.get<uint64_t>();
  base.layerMap = c.getString();
  return !c.failed;
}

bool readWhole(const std::string& path, std::string& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  if (in) out << in.rdbuf();
  if (!in || in.bad()) return error = std::strerror(errno), false;
  bytes = out.str();
  return true;
}

const char* layerName(int layer) { return layerFacts(layer).name; }

std::string describe(const char* what, size_t count, int layer) {
  return std::to_string(count) + " object(s) " + what + " on " + layerName(layer);
}

// The objects of an APPEND or INSERT entry, with their origins mapped to
// this process's numbers; false when the entry is malformed.
bool getObjects(Cursor& c, int layer, std::vector<GroupNode*>& nodes) {
  std::vector<std::pair<uint32_t, uint32_t>> origins;
  uint32_t n = c.get<uint32_t>();
  for (uint32_t i = 0; i < n && !c.failed; i++) {
    uint32_t number = c.get<uint32_t>();
    ObjectOrigin o;
    o.code = c.getString();
    o.gdsLayer = c.get<int32_t>();
    o.gdsDatatype = c.get<int32_t>();
    origins.push_back({number, internOrigin(o)});
  }
  uint32_t count = c.get<uint32_t>();
  const uint8_t* p = c.take((size_t)count * OBJECT_BYTES);
  if (c.failed) return false;
  nodes.reserve(count);
  for (uint32_t i = 0; i < count; i++, p += OBJECT_BYTES) {
    int32_t r[6];
    std::memcpy(r, p, OBJECT_BYTES);
    GroupNode* node = newLayoutObject(layer);
    node->setRect(r[0], r[1], r[2], r[3]);
    if (Opt* opt = dynamic_cast<Opt*>(node)) opt->setValue(r[4]);
    for (const auto& o : origins)
      if (o.first == (uint32_t)r[5]) node->origin = o.second;
    nodes.push_back(node);
  }
  return true;
}

// The ranges of a REMOVE, INSERT or MOVE entry, expanded into positions.
struct Ranges {
  std::vector<uint32_t> positions;
  std::vector<std::pair<size_t, Rect>> ends;  // index in positions, geometry then
  size_t total = 0;                           // positions, also those not expanded
  bool beyond = false;                        // some reached limit or past it
};

// Read ranges, ascending and apart; only positions below limit are expanded.
// With ends, each range's first and last object's geometry follows it.
// False when malformed.
bool getRanges(Cursor& c, uint64_t limit, bool withEnds, Ranges& out) {
  uint32_t n = c.get<uint32_t>();
  uint64_t next = 0;
  for (uint32_t i = 0; i < n && !c.failed; i++) {
    uint64_t start = c.get<uint32_t>();
    uint64_t count = c.get<uint32_t>();
    if (c.failed || count == 0 || start < next) return false;
    next = start + count;
    out.total += count;
    out.beyond = out.beyond || next > limit;
    size_t first = out.positions.size();
    if (!out.beyond)
      for (uint64_t k = start; k < next; k++) out.positions.push_back((uint32_t)k);
    for (int e = 0; withEnds && e < 2; e++) {
      Rect r;
      r.x = c.get<int32_t>();
      r.y = c.get<int32_t>();
      r.w = c.get<int32_t>();
      r.h = c.get<int32_t>();
      out.ends.push_back({e == 0 ? first : first + count - 1, r});
    }
  }
  return !c.failed;
}

bool sameGeometry(const Rect& a, const Rect& b) { return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h; }

// Apply one edit entry; false, with the layout unchanged, when it no longer
// fits the layout (a changed base file) or is malformed.
bool applyEntry(const Entry& entry, Layout& layout, std::string& what) {
  Cursor c{entry.data, entry.data + entry.size};
  uint8_t kind = c.get<uint8_t>();
  int layer = c.get<uint8_t>();
  if (c.failed || layer >= LAYER_COUNT) return what = "a damaged entry", false;
  const Layer& target = layout.layer(layer);
  std::vector<GroupNode*> nodes;
  if (kind == ENTRY_APPEND) {
    c.get<uint32_t>();
    if (!getObjects(c, layer, nodes)) return what = "a damaged entry", false;
    LayerChanges(layout).appendTo(layer, nodes);
    return true;
  }
  Ranges ranges;
  if (kind == ENTRY_INSERT) {
    // Each inserted position has its object further on: that bounds them.
    uint64_t limit = target.size() + (uint64_t)(c.end - c.p) / OBJECT_BYTES;
    if (!getRanges(c, limit, false, ranges) || ranges.beyond || !getObjects(c, layer, nodes) ||
        nodes.size() != ranges.positions.size()) {
      for (GroupNode* node : nodes) delete node;
      return what = "a damaged entry", false;
    }
    LayerChanges(layout).insertInto(layer, ranges.positions, nodes);
    return true;
  }
  if (kind == ENTRY_REMOVE) {
    if (!getRanges(c, target.size(), true, ranges)) return what = "a damaged entry", false;
    what = describe("removed", ranges.total, layer);
    if (ranges.beyond || ranges.positions.empty()) return false;
    // The objects now at the ranges' ends must be the ones removed then.
    std::vector<const GroupNode*> at;
    at.reserve(target.size());
    for (const GroupNode* node = target.first(); node; node = node->next()) at.push_back(node);
    for (const auto& end : ranges.ends)
      if (!sameGeometry(*at[ranges.positions[end.first]], end.second)) return false;
    for (GroupNode* node : LayerChanges(layout).removeFrom(layer, ranges.positions)) delete node;
    return true;
  }
  if (kind == ENTRY_MOVE) {
    int32_t dx = c.get<int32_t>();
    int32_t dy = c.get<int32_t>();
    if (!getRanges(c, target.size(), false, ranges)) return what = "a damaged entry", false;
    what = describe("moved", ranges.total, layer);
    if (ranges.beyond || ranges.positions.empty()) return false;
    const std::vector<uint32_t>& positions = ranges.positions;
    size_t k = 0, index = 0;
    for (GroupNode* node = target.first(); node && k < positions.size(); node = node->next(), index++)
      if (index == positions[k]) nodes.push_back(node), k++;
    LayerChanges(layout).moveIn(layer, positions, nodes, dx, dy);
    return true;
  }
  return what = "an entry of unknown kind", false;
}

}  // namespace

bool readJournalBase(const std::string& journal, JournalBase& base, std::string& error) {
  std::string bytes;
  std::vector<Entry> entries;
  bool torn = false;
  if (!readWhole(journal, bytes, error) || !splitEntries(bytes, entries, torn, error)) return false;
  if (entries.empty() || !parseBase(entries[0], base)) return error = "its first entry is damaged", false;
  return true;
}

bool baseUnchanged(const JournalBase& base) {
  if (base.untitled) return true;
  uint64_t size = 0;
  int64_t modified = 0;
  bool ok = statFile(base.path, size, modified);
  if (!ok || size != base.size || modified != base.modified) return false;
  uint64_t hash = hashFile(base.path, ok);
  return ok && hash == base.hash;
}

ReplayResult replayJournal(const std::string& journal, Layout& layout) {
  ReplayResult result;
  std::string bytes;
  std::vector<Entry> entries;
  if (!readWhole(journal, bytes, result.error) ||
      !splitEntries(bytes, entries, result.tornEntryDropped, result.error))
    return result;
  if (entries.empty() || !parseBase(entries[0], result.base)) {
    result.error = "its first entry is damaged";
    return result;
  }
  const JournalBase& base = result.base;
  Layer fresh[LAYER_COUNT];
  for (Layer& layer : fresh) layer.enable();
  GdsLibraryInfo info;
  if (!base.untitled) {
    result.baseChanged = !baseUnchanged(base);
    std::string cause;
    bool read = false;
    if (base.format == FORMAT_GDSII) {
      // The base is read with the layer map its session used.
      LayerMap map;
      GdsReadResult r;
      read = (base.layerMap.empty() || map.parse(base.layerMap, cause)) &&
             readGdsiiFile(base.path.c_str(), map, fresh, info, r) == READ_OK && r.error.empty();
      if (!read && cause.empty()) cause = r.error.empty() ? std::strerror(r.errorNumber) : r.errorText();
    } else {
      ReadResult r;
      read = readLayoutFile(base.path.c_str(), fresh, r) == READ_OK;
      cause = std::strerror(r.errorNumber);
    }
    if (!read) {
      for (Layer& layer : fresh) delete layer.cutFrom(0);
      result.notApplied.push_back("the file " + base.path + " could not be read (" + cause +
                                  "): the edits were applied to an empty layout");
    }
  }
  layout.replaceContent(fresh, base.untitled ? "untitled.msk" : base.path.c_str(), true, base.format, info);
  for (size_t i = 1; i < entries.size(); i++) {
    std::string what;
    if (!applyEntry(entries[i], layout, what)) result.notApplied.push_back(what);
  }
  layout.markUnsaved();
  result.ok = true;
  return result;
}

std::vector<FoundJournal> findOrphanJournals(const std::string& directory, std::vector<std::string>& problems) {
  std::vector<FoundJournal> found;
  DIR* dir = opendir(directory.c_str());
  if (!dir) return found;
  std::string host = hostName();
  while (struct dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    size_t suffix = name.size() >= sizeof(SUFFIX) ? name.size() - (sizeof(SUFFIX) - 1) : std::string::npos;
    if (suffix == std::string::npos || name.compare(suffix, std::string::npos, SUFFIX) != 0) continue;
    int pid = 0, used = 0;
    unsigned long long start = 0;
    unsigned counter = 0;
    if (std::sscanf(name.c_str(), "%d-%llu-%u-%n", &pid, &start, &counter, &used) != 3 || used == 0) continue;
    if (name.substr(used, suffix - used) != host) continue;  // another machine's: it cannot be judged here
    if (processStart(pid) == start) continue;                 // still running
    FoundJournal journal;
    journal.path = directory + "/" + name;
    struct stat st;
    if (lstat(journal.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) continue;
    journal.modified = (int64_t)st.st_mtime;
    std::string error;
    if (!readJournalBase(journal.path, journal.base, error)) {
      std::string aside = journal.path + ".unreadable";
      if (rename(journal.path.c_str(), aside.c_str()) != 0) aside = "(could not be moved: " + std::string(std::strerror(errno)) + ")";
      problems.push_back(journal.path + "\ncannot be read: " + error + ".\nMoved aside to:\n" + aside);
      continue;
    }
    found.push_back(journal);
  }
  closedir(dir);
  std::sort(found.begin(), found.end(), [](const FoundJournal& a, const FoundJournal& b) {
    return a.modified != b.modified ? a.modified < b.modified : a.path < b.path;
  });
  return found;
}
