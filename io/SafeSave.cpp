#include "io/SafeSave.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Files are saved with the operating system's calls directly, not through
// C++ file streams: a save must detect every failed write, sync the data and
// replace the old file in one rename, so that no failure (a full disk, a
// file size limit, a crash midway) can ever destroy the previous copy, and
// must control the temporary file's mode, name and lifetime.

namespace {

const size_t BLOCK_SIZE = 1 << 20;

// An output buffer over a file descriptor that remembers the first failed
// write (short writes are retried; EFBIG, ENOSPC, EIO end the save).
class FdWriteBuffer : public std::streambuf {
public:
  explicit FdWriteBuffer(int f) : fd(f), buffer(new char[BLOCK_SIZE]) {
    setp(buffer.get(), buffer.get() + BLOCK_SIZE);
  }
  int error() const { return errorNumber; }

protected:
  int_type overflow(int_type c) override {
    if (!drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override { return drain() ? 0 : -1; }

private:
  bool drain() {
    if (errorNumber) return false;
    const char* q = pbase();
    while (q < pptr()) {
      ssize_t n = ::write(fd, q, pptr() - q);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        errorNumber = n < 0 ? errno : EIO;
        return false;
      }
      q += n;
    }
    setp(buffer.get(), buffer.get() + BLOCK_SIZE);
    return true;
  }

  int fd;
  std::unique_ptr<char[]> buffer;
  int errorNumber = 0;
};

std::string directoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a path finally names, following symbolic links (also dangling
// ones, so that saving through a link creates its target). False on a loop.
bool resolveLinks(std::string& path) {
  for (int hop = 0; hop < 40; hop++) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::vector<char> target((size_t)st.st_size + 256);
    ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return false;
    if ((size_t)n >= target.size()) {
      errno = ENAMETOOLONG;
      return false;
    }
    std::string next(target.data(), (size_t)n);
    path = next[0] == '/' ? next : directoryOf(path) + "/" + next;
  }
  errno = ELOOP;
  return false;
}

// Named temporaries are ".kivo-<pid>-<n>": short, so that any valid target
// name has room for them, and they tell which process made them.
const char TEMPORARY_PREFIX[] = ".kivo-";

// Remove the named temporaries that processes no longer running left in a
// directory (a save that crashed between linking in and renaming, or one
// on a file system without unnamed files). Best effort.
void removeStaleTemporaries(int dirFd) {
  int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listFd < 0) return;
  DIR* dir = ::fdopendir(listFd);
  if (!dir) {
    ::close(listFd);
    return;
  }
  const size_t prefixLength = sizeof TEMPORARY_PREFIX - 1;
  while (struct dirent* entry = ::readdir(dir)) {
    if (std::strncmp(entry->d_name, TEMPORARY_PREFIX, prefixLength) != 0) continue;
    char* rest = nullptr;
    long pid = std::strtol(entry->d_name + prefixLength, &rest, 10);
    struct stat st;
    if (pid <= 0 || *rest != '-' || pid == ::getpid()) continue;
    if (::kill((pid_t)pid, 0) == 0 || errno != ESRCH) continue;
    if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      ::unlinkat(dirFd, entry->d_name, 0);
  }
  ::closedir(dir);
}

// A file for the new content, readable and writable by the user alone:
// unnamed when the file system can (O_TMPFILE), so that a crash leaves
// nothing behind, else named.
struct Temporary {
  int fd = -1;
  int dirFd = -1;
  std::string name;  // empty while unnamed

  ~Temporary() {
    if (fd >= 0) ::close(fd);
    if (!name.empty()) ::unlinkat(dirFd, name.c_str(), 0);
  }

  // 0, or the errno of the failure.
  int create(int directory) {
    dirFd = directory;
    fd = ::openat(dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return 0;
    return createNamed();
  }

  int createNamed() {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; attempt++) {
      std::string candidate =
          TEMPORARY_PREFIX + std::to_string(::getpid()) + "-" + std::to_string(++counter);
      fd = ::openat(dirFd, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd >= 0) {
        name = candidate;
        return 0;
      }
      if (errno != EEXIST) return errno;
    }
    return EEXIST;
  }

  // Give the unnamed file a name in its directory; 0 or the errno.
  int linkIn() {
    static unsigned counter = 0;
    std::string candidate =
        TEMPORARY_PREFIX + std::to_string(::getpid()) + "-l" + std::to_string(++counter);
    // AT_EMPTY_PATH needs a capability that ordinary users lack; the
    // descriptor's entry under /proc does not.
    if (::linkat(fd, "", dirFd, candidate.c_str(), AT_EMPTY_PATH) != 0) {
      std::string self = "/proc/self/fd/" + std::to_string(fd);
      if (::linkat(AT_FDCWD, self.c_str(), dirFd, candidate.c_str(), AT_SYMLINK_FOLLOW) != 0)
        return errno;
    }
    name = candidate;
    return 0;
  }
};

// Copy size bytes from the start of one descriptor to the start of another;
// 0 or the errno of the failure.
int copyContent(int from, int to, off_t size) {
  std::unique_ptr<char[]> buffer(new char[BLOCK_SIZE]);
  for (off_t done = 0; done < size;) {
    ssize_t n = ::pread(from, buffer.get(), (size_t)std::min<off_t>(BLOCK_SIZE, size - done), done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    for (ssize_t written = 0; written < n;) {
      ssize_t m = ::pwrite(to, buffer.get() + written, (size_t)(n - written), done + written);
      if (m < 0 && errno == EINTR) continue;
      if (m <= 0) return m < 0 ? errno : EIO;
      written += m;
    }
    done += n;
  }
  return 0;
}

// Write the content to fd and sync it; 0 or the errno of the failure.
int writeAndSync(int fd, const ContentWriter& write) {
  FdWriteBuffer buffer(fd);
  std::ostream out(&buffer);
  write(out);
  out.flush();
  if (buffer.error()) return buffer.error();
  if (!out.good()) return EIO;
  if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) return errno;
  return 0;
}

// The process's umask, read without changing it (umask() would change it
// for every thread for a moment).
mode_t currentUmask() {
  FILE* f = std::fopen("/proc/self/status", "r");
  char line[128];
  unsigned mask = 0;
  bool found = false;
  while (f && !found && std::fgets(line, sizeof line, f))
    found = std::sscanf(line, "Umask: %o", &mask) == 1;
  if (f) std::fclose(f);
  if (found) return (mode_t)mask;
  mode_t old = ::umask(022);
  ::umask(old);
  return old;
}

// 0 when the user may write the existing file st at target, else the errno:
// access() with the effective ids; root may write anything, so for root a
// file without any write permission bit counts as write-protected.
int writeAccess(const std::string& target, const struct stat& st) {
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errno;
  if (::geteuid() == 0 && (st.st_mode & 0222) == 0) return EACCES;
  return 0;
}

// Ignores SIGXFSZ while alive: beyond a file size limit (ulimit -f) a write
// then fails with EFBIG instead of killing the program with unsaved work.
class FileSizeSignalGuard {
public:
  FileSizeSignalGuard() {
    struct sigaction ignore;
    std::memset(&ignore, 0, sizeof ignore);
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGXFSZ, &ignore, &previous);
  }
  ~FileSizeSignalGuard() { ::sigaction(SIGXFSZ, &previous, nullptr); }

private:
  struct sigaction previous;
};

// Rename the complete temporary over the target, with the target's mode and
// owner (a new file gets what a plain create gives); 0 or the errno.
int replaceTarget(Temporary& temp, const std::string& name, bool exists, const struct stat& old) {
  if (temp.name.empty() && temp.linkIn() != 0) {
    // No way to name the unnamed file here: copy it into a named one.
    Temporary named;
    named.dirFd = temp.dirFd;
    struct stat st;
    int error = named.createNamed();
    if (error == 0 && ::fstat(temp.fd, &st) != 0) error = errno;
    if (error == 0) error = copyContent(temp.fd, named.fd, st.st_size);
    if (error == 0 && ::fsync(named.fd) != 0) error = errno;
    if (error != 0) return error;
    std::swap(temp.fd, named.fd);
    std::swap(temp.name, named.name);
  }
  if (exists) {
    // Owner first: a change of owner clears the set-id bits. Keeping the
    // owner is possible only for root, the group for its members.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
      (void)!::fchown(temp.fd, old.st_uid, old.st_gid);
    if (::fchmod(temp.fd, old.st_mode & 07777) != 0) return errno;
  } else if (::fchmod(temp.fd, 0666 & ~currentUmask()) != 0) {
    return errno;
  }
  if (::renameat(temp.dirFd, temp.name.c_str(), temp.dirFd, name.c_str()) != 0) return errno;
  temp.name.clear();
  return 0;
}

// Rewrite the target in place with the complete, synced temporary. The
// space is reserved first, so that most failures come before anything
// changed (the file size limit already stopped the temporary); partly is
// set once the target was touched.
int rewriteInPlace(Temporary& temp, const std::string& target, bool& partly) {
  partly = false;
  struct stat st;
  if (::fstat(temp.fd, &st) != 0) return errno;
  const off_t size = st.st_size;
  int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = 0;
  if (::fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    error = EINVAL;
  } else if (size > st.st_size && ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) != 0 &&
             (errno == ENOSPC || errno == EDQUOT || errno == EFBIG)) {
    error = errno;
  }
  if (error == 0) {
    partly = true;
    error = copyContent(temp.fd, fd, size);
    if (error == 0 && ::ftruncate(fd, size) != 0) error = errno;
    if (error == 0 && ::fsync(fd) != 0 && errno != EINVAL) error = errno;
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

// A directory's descriptor for the *at calls; -1 and errno on failure.
int openDirectory(const std::string& dir) {
  return ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

SaveStatus saveSafely(const char* path, const ContentWriter& write, int& errorNumber) {
  errorNumber = 0;
  std::string target = path;
  if (!resolveLinks(target)) {
    errorNumber = errno;
    return SAVE_WRITE_FAILED;
  }
  struct stat old;
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) {
    errorNumber = errno;
    return SAVE_CREATE_FAILED;
  }
  if (exists && !S_ISREG(old.st_mode)) return SAVE_NOT_REGULAR;
  if (exists) {
    errorNumber = writeAccess(target, old);
    if (errorNumber == EACCES || errorNumber == EPERM) return SAVE_WRITE_PROTECTED;
    if (errorNumber != 0) return SAVE_WRITE_FAILED;
  }

  int dirFd = openDirectory(directoryOf(target));
  if (dirFd < 0) {
    errorNumber = errno;
    return SAVE_CREATE_FAILED;
  }
  removeStaleTemporaries(dirFd);
  FileSizeSignalGuard guard;
  // Several links: rewrite the one file that they all name.
  bool inPlace = exists && old.st_nlink > 1;
  int spareDirFd = -1;
  SaveStatus status = SAVE_OK;
  {
    Temporary temp;
    int error = temp.create(dirFd);
    if (error != 0 && exists && (error == EACCES || error == EPERM || error == EROFS)) {
      // No temporary next to the target: make one elsewhere, then write in place.
      const char* tmp = std::getenv("TMPDIR");
      spareDirFd = openDirectory(tmp && *tmp ? tmp : "/tmp");
      if (spareDirFd >= 0) {
        removeStaleTemporaries(spareDirFd);
        error = temp.create(spareDirFd);
      }
      inPlace = true;
    }
    if (error != 0) {
      errorNumber = error;
      status = SAVE_CREATE_FAILED;
    } else if ((error = writeAndSync(temp.fd, write)) != 0) {
      errorNumber = error;
      status = SAVE_WRITE_FAILED;
    } else if (inPlace) {
      bool partly = false;
      if ((error = rewriteInPlace(temp, target, partly)) != 0) {
        errorNumber = error;
        status = partly ? SAVE_PARTLY_WRITTEN : SAVE_WRITE_FAILED;
      }
    } else if ((error = replaceTarget(temp, baseOf(target), exists, old)) != 0) {
      errorNumber = error;
      status = SAVE_WRITE_FAILED;
    }
  }
  if (status == SAVE_OK && !inPlace) {
    // Make the rename itself durable; a failure here leaves a complete file.
    int syncFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (syncFd >= 0) {
      ::fsync(syncFd);
      ::close(syncFd);
    }
  }
  if (spareDirFd >= 0) ::close(spareDirFd);
  ::close(dirFd);
  return status;
}

std::string saveFailureText(SaveStatus status, int errorNumber) {
  const std::string unchanged = "\nThe file on disk is unchanged.";
  switch (status) {
    case SAVE_OK:
      return "";
    case SAVE_NOT_REGULAR:
      return " is not a regular file: not saved." + unchanged;
    case SAVE_WRITE_PROTECTED:
      return " is write-protected: not saved." + unchanged;
    case SAVE_PARTLY_WRITTEN:
      return " was only partly rewritten: " + std::string(std::strerror(errorNumber)) +
             "\nThe file on disk may be incomplete: save it again, or elsewhere.";
    default:
      return " not saved: " + std::string(std::strerror(errorNumber)) + unchanged;
  }
}
