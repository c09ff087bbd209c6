#include "io/RegularFile.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The type is checked before the open, so that a device is never opened,
// and again on the open descriptor, in case the name was replaced in
// between; O_NONBLOCK keeps the open of a FIFO from waiting for a writer.
int openRegularFile(const char* path, ReadStatus& status, int& errorNumber) {
  struct stat st;
  status = READ_OPEN_FAILED;
  if (::stat(path, &st) != 0) {
    errorNumber = errno;
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    status = READ_NOT_REGULAR;
    return -1;
  }
  int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    errorNumber = errno;
    return -1;
  }
  bool statFailed = ::fstat(fd, &st) != 0;
  if (statFailed || !S_ISREG(st.st_mode)) {
    errorNumber = statFailed ? errno : 0;
    if (!statFailed) status = READ_NOT_REGULAR;
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  status = READ_OK;
  return fd;
}

std::string userFolder(const char* variable, const char* homeFolder) {
  const char* folder = std::getenv(variable);
  if (folder && folder[0] == '/') return folder;
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/" + homeFolder;
  return std::string();
}
