#include "io/JournalFiles.h"

#include <dirent.h>
#include <fcntl.h>
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

#include "io/RegularFile.h"

namespace {

const char SUFFIX[] = ".kivojournal";
// A planted file or link under a journal's name is passed over; this many
// taken names in a row mean something else is wrong.
const int NAME_TRIES = 16;

std::string errorText(int error) { return std::strerror(error); }

int64_t nanoseconds(const struct timespec& t) { return (int64_t)t.tv_sec * 1000000000 + t.tv_nsec; }

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

// A new journal's name: process id, process start, a counter and the host,
// so that no two windows or processes ever share one.
std::string newJournalName() {
  static std::atomic<unsigned> counter{0};
  return std::to_string(getpid()) + "-" + std::to_string(processStart(getpid())) + "-" +
         std::to_string(++counter) + "-" + hostName() + SUFFIX;
}

bool hashFile(const std::string& path, uint64_t& hash) {
  hash = HASH_START;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<char> block(1 << 20);
  while (in) {
    in.read(block.data(), (std::streamsize)block.size());
    hash = hashBytes(hash, (const uint8_t*)block.data(), (size_t)in.gcount());
  }
  return !in.bad();
}

}  // namespace

std::string journalDirectory() {
  const std::string folder = userFolder("XDG_STATE_HOME", ".local/state");
  return folder.empty() ? folder : folder + "/kivo/recovery";
}

bool recoveryDisabled() {
  const char* off = std::getenv("KIVO_NO_RECOVERY");
  return off && std::strcmp(off, "1") == 0;
}

int openJournalDirectory(const std::string& directory, std::string& error) {
  for (size_t at = 1; at <= directory.size(); at++) {
    if (at < directory.size() && directory[at] != '/') continue;
    if (mkdir(directory.substr(0, at).c_str(), 0700) != 0 && errno != EEXIST)
      return error = "the folder " + directory.substr(0, at) + " cannot be made: " + errorText(errno), -1;
  }
  int folder = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st;
  if (folder < 0 || fstat(folder, &st) != 0) {
    error = "the folder " + directory + " cannot be opened: " + errorText(errno);
    if (folder >= 0) close(folder);
    return -1;
  }
  if (st.st_uid != geteuid())
    error = "the folder " + directory + " belongs to another user";
  else if ((st.st_mode & 0777) != 0700 && fchmod(folder, 0700) != 0)
    error = "the folder " + directory + " cannot be made private: " + errorText(errno);
  else
    return folder;
  close(folder);
  return -1;
}

int createJournalFile(int folder, std::string& name, std::string& error) {
  for (int i = 0; i < NAME_TRIES; i++) {
    name = newJournalName();
    int fd = openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd < 0 ? (error = "cannot create " + name + ": " + errorText(errno), -1) : fd;
  }
  error = "every new journal name was taken";
  return -1;
}

FileIdentity FileIdentity::of(const std::string& path) {
  FileIdentity id;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return id;
  id.known = true;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = (uint64_t)st.st_size;
  id.modified = nanoseconds(st.st_mtim);
  id.changed = nanoseconds(st.st_ctim);
  return id;
}

void fingerprintBase(JournalBase& base, const FileIdentity& read) {
  base.fingerprinted = false;
  if (base.untitled || !(FileIdentity::of(base.path) == read)) return;
  uint64_t hash = 0;
  if (!hashFile(base.path, hash) || !(FileIdentity::of(base.path) == read)) return;
  base.fingerprinted = true;
  base.size = read.size;
  base.modified = read.modified;
  base.hash = hash;
}

bool baseUnchanged(const JournalBase& base) {
  if (base.untitled) return true;
  FileIdentity now = FileIdentity::of(base.path);
  uint64_t hash = 0;
  return base.fingerprinted && now.known && now.size == base.size && now.modified == base.modified &&
         hashFile(base.path, hash) && hash == base.hash;
}

bool readWholeFile(const std::string& path, std::string& bytes, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  if (in) out << in.rdbuf();
  if (!in || in.bad()) return error = errorText(errno), false;
  bytes = out.str();
  return true;
}

std::string setJournalAside(const std::string& journal, const std::string& error) {
  std::string aside = journal + ".unreadable";
  if (rename(journal.c_str(), aside.c_str()) != 0) aside = "(could not be moved: " + errorText(errno) + ")";
  return journal + "\ncannot be read: " + error + ".\nMoved aside to:\n" + aside;
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
    std::string bytes, error;
    std::vector<JournalEntry> entries;
    bool torn = false;
    if (!readWholeFile(journal.path, bytes, error) || !splitJournal(bytes, entries, torn, error) ||
        entries.empty() || !decodeBase(entries[0], journal.base)) {
      if (error.empty()) error = "its first entry is damaged";
      problems.push_back(setJournalAside(journal.path, error));
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
