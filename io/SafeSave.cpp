#include "io/SafeSave.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Files are saved with the operating system's calls directly, not through
// C++ file streams: a save must detect every failed write, sync the data and
// replace the old file in one rename, so that no failure (a full disk, a
// file size limit, a crash midway) can ever destroy the previous copy.

namespace {

const size_t BLOCK_SIZE = 1 << 20;

}  // namespace


namespace {

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

// Create a new, unused file next to target; its descriptor, or -1.
int createTemporary(const std::string& target, std::string& temporary) {
  static unsigned counter = 0;
  std::string dir = directoryOf(target);
  size_t slash = target.rfind('/');
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 100; attempt++) {
    temporary = dir + "/." + base + ".kivo-" + std::to_string(::getpid()) + "-" +
                std::to_string(++counter);
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
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

  FileSizeSignalGuard guard;
  std::string temporary;
  int fd = createTemporary(target, temporary);
  if (fd < 0) {
    errorNumber = errno;
    return SAVE_CREATE_FAILED;
  }
  if (exists && S_ISREG(old.st_mode)) {
    // Best effort: keep owner and group (possible only for root).
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
      (void)!::fchown(fd, old.st_uid, old.st_gid);
    ::fchmod(fd, old.st_mode & 07777);
  }
  int error = writeAndSync(fd, write);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    errorNumber = error;
    return SAVE_WRITE_FAILED;
  }
  // Make the rename itself durable; a failure here leaves a complete file.
  int dirFd = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return SAVE_OK;
}
