#include "io/LayoutFile.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <istream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Files are read and saved with the operating system's calls directly, not
// through C++ streams: a save must detect every failed write, sync the data
// and replace the old file in one rename, so that no failure (a full disk,
// a file size limit, a crash midway) can ever destroy the previous copy.

namespace {

const size_t BLOCK_SIZE = 1 << 20;

// ---------------------------------------------------------------- writing

// Append the decimal form of v at q; a record needs at most 6 * 11 + 16
// characters, so the caller's buffer cannot overflow.
char* putInt(char* q, int32_t v) { return std::to_chars(q, q + 11, v).ptr; }

char* putRect(char* q, const Rect& r) {
  q = putInt(q, r.x);
  *q++ = ',';
  q = putInt(q, r.y);
  *q++ = ',';
  q = putInt(q, r.w);
  *q++ = ',';
  return putInt(q, r.h);
}

}  // namespace

bool Layer::writeRecords(std::ostream& out) const {
  const char* code = layerToCode(id);
  const size_t codeLength = std::strlen(code);
  char line[128];
  for (GroupNode* node = first(); node; node = node->next()) {
    if (out.fail()) return false;
    char* q = line;
    std::memcpy(q, "REC(", 4);
    q = putRect(q + 4, *node);
    *q++ = ',';
    std::memcpy(q, code, codeLength);
    q += codeLength;
    if (id == LAYER_OPTIONS) {
      const Opt* opt = dynamic_cast<const Opt*>(node);
      *q++ = ',';
      q = putInt(q, opt ? opt->getValue() : 0);
    }
    *q++ = ')';
    *q++ = '\n';
    out.write(line, q - line);
  }
  return true;
}

void writeLayout(std::ostream& out, Layer layers[LAYER_COUNT]) {
  Rect box;
  for (int i = 0; i < LAYER_COUNT; i++) box.include(layers[i]);
  char line[64];
  char* q = line;
  std::memcpy(q, "BB(", 3);
  q = putRect(q + 3, box);
  *q++ = ')';
  *q++ = '\n';
  out.write(line, q - line);
  for (int i = 0; i < LAYER_COUNT; i++) layers[i].writeRecords(out);
}

// ---------------------------------------------------------------- reading

namespace {

// A supplier of input blocks.
class Source {
public:
  virtual ~Source() = default;
  // Make the next block [begin, end); false at the end of the input or on a
  // failure (then failed is set).
  virtual bool next(const char*& begin, const char*& end) = 0;
  bool failed = false;
  int errorNumber = 0;
};

class MemorySource : public Source {
public:
  MemorySource(const char* d, size_t n) : data(d), size(n) {}
  bool next(const char*& begin, const char*& end) override {
    if (done || size == 0) return false;
    done = true;
    begin = data;
    end = data + size;
    return true;
  }

private:
  const char* data;
  size_t size;
  bool done = false;
};

class StreamSource : public Source {
public:
  StreamSource(std::istream& s, size_t blockSize) : in(s), buffer(blockSize > 0 ? blockSize : 1) {}
  bool next(const char*& begin, const char*& end) override {
    if (!in.good()) return false;
    in.read(buffer.data(), buffer.size());
    std::streamsize n = in.gcount();
    if (in.bad()) {
      failed = true;
      errorNumber = EIO;
      return false;
    }
    if (n <= 0) return false;
    begin = buffer.data();
    end = begin + n;
    return true;
  }

private:
  std::istream& in;
  std::vector<char> buffer;
};

class FileSource : public Source {
public:
  explicit FileSource(int f) : fd(f), buffer(new char[BLOCK_SIZE]) {}
  bool next(const char*& begin, const char*& end) override {
    ssize_t n;
    do {
      n = ::read(fd, buffer.get(), BLOCK_SIZE);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      failed = true;
      errorNumber = errno;
      return false;
    }
    if (n == 0) return false;
    begin = buffer.get();
    end = begin + n;
    return true;
  }

private:
  int fd;
  std::unique_ptr<char[]> buffer;
};

// The slot of every two-character code, built once from codeToLayer so that
// both stay the same table.
struct CodeTable {
  uint8_t slot[256][256];
  CodeTable() {
    char code[3] = {0, 0, 0};
    for (int a = 0; a < 256; a++) {
      for (int b = 0; b < 256; b++) {
        code[0] = (char)a;
        code[1] = (char)b;
        slot[a][b] = (uint8_t)codeToLayer(code);
      }
    }
  }
};

const CodeTable& codeTable() {
  static const CodeTable table;
  return table;
}

// Reads records with this grammar, byte by byte from the source's blocks:
//
//   file      = { line }
//   line      = record | other
//   other     = any line whose first character is not "R"; skipped whole
//               (the BB line, empty lines, lines starting with a blank)
//   record    = "R" prefix "(" int sep int sep int sep int sep code
//               [ sep int ]  rest
//   prefix    = zero to two characters, none of them "(" or a line end
//   int       = { white } [ "+" | "-" ] digit { digit }
//               white: blank, tab, VT, FF, CR, LF (a record may continue on
//               the next line only here); the value must fit in 32 bits
//   sep       = any one character but CR or LF (NUL included)
//   code      = two characters, neither CR nor LF, mapped by codeToLayer;
//               the "[ sep int ]" value part is present exactly when the
//               code maps to the options layer
//   rest      = anything up to and including the next LF, or the end of
//               the input (so ")" and the line end may be missing)
//
// A line end is LF; a CR before it is just another character of the line.
// Lines have no length limit. A line that starts with "R" but does not
// match "record" (including one cut off by the end of the input) adds
// nothing and is counted; reading resumes at the character where the match
// failed when that character starts a line (so a well-formed record on the
// next line is never swallowed), otherwise after the failing line's end.
class Reader {
public:
  Reader(Source& s, Layer* l) : source(s), layers(l), codes(codeTable()) {}

  ReadResult run() {
    while (peek() != END) {
      if (*p != 'R') {
        skipLine();
        continue;
      }
      long startLine = line;
      if (!record()) {
        if (result.skippedLines++ == 0) result.firstSkippedLine = startLine;
        if (!atLineStart()) skipLine();
        continue;
      }
      skipLine();
    }
    result.ioError = source.failed;
    result.errorNumber = source.errorNumber;
    return result;
  }

private:
  static const int END = -1;

  // The current character, fetching the next block when needed; END at the
  // end of the input.
  int peek() {
    if (p == end && !fetch()) return END;
    return (unsigned char)*p;
  }

  bool fetch() {
    if (end != begin) lastOfPrevious = end[-1];
    const char* b;
    const char* e;
    if (!source.next(b, e)) return false;
    begin = p = b;
    end = e;
    return true;
  }

  bool atLineStart() const { return (p > begin ? p[-1] : lastOfPrevious) == '\n'; }

  // Discard up to and including the next line end.
  void skipLine() {
    while (peek() != END) {
      const char* lf = (const char*)std::memchr(p, '\n', end - p);
      if (lf) {
        p = lf + 1;
        ++line;
        return;
      }
      p = end;
    }
  }

  // Parse one record at "R"; true when it was added.
  bool record() {
    ++p;
    if (!prefix()) return false;
    int32_t x, y, w, h, value = 0;
    if (!number(x) || !separator() || !number(y) || !separator() || !number(w) ||
        !separator() || !number(h) || !separator())
      return false;
    int c0 = peek();
    if (c0 == END || c0 == '\n' || c0 == '\r') return false;
    ++p;
    int c1 = peek();
    if (c1 == END || c1 == '\n' || c1 == '\r') return false;
    ++p;
    int slot = codes.slot[c0][c1];
    if (slot == LAYER_OPTIONS && (!separator() || !number(value))) return false;
    add(slot, x, y, w, h, value);
    return true;
  }

  bool prefix() {
    for (int i = 0; i < 3; i++) {
      int c = peek();
      if (c == END || c == '\n' || c == '\r') return false;
      ++p;
      if (c == '(') return true;
    }
    return false;
  }

  bool separator() {
    int c = peek();
    if (c == END || c == '\n' || c == '\r') return false;
    ++p;
    return true;
  }

  // A signed decimal that fits in 32 bits, after optional white space.
  bool number(int32_t& out) {
    int c = peek();
    while (c == ' ' || (c >= '\t' && c <= '\r')) {
      if (c == '\n') ++line;
      ++p;
      c = peek();
    }
    bool negative = false;
    if (c == '-' || c == '+') {
      negative = c == '-';
      ++p;
      c = peek();
    }
    if (c < '0' || c > '9') return false;
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? 2147483648u : 2147483647u;
    bool tooLarge = false;
    do {
      magnitude = magnitude * 10 + (uint64_t)(c - '0');
      if (magnitude > limit) {
        tooLarge = true;
        magnitude = limit;
      }
      ++p;
      c = peek();
    } while (c >= '0' && c <= '9');
    if (tooLarge) return false;
    out = negative ? (int32_t)(0u - (uint32_t)magnitude) : (int32_t)magnitude;
    return true;
  }

  void add(int slot, int32_t x, int32_t y, int32_t w, int32_t h, int32_t value) {
    GroupNode* node = newLayoutObject(slot);
    if (Opt* opt = dynamic_cast<Opt*>(node)) opt->setValue(value);
    node->setRect(x, y, w, h);
    if (layers[slot].apply(OP_ADD, MATCH_ALL, node) == 1)
      ++result.records;
    else
      delete node;  // a disabled layer does not take the object
  }

  Source& source;
  Layer* layers;
  const CodeTable& codes;
  const char* begin = nullptr;
  const char* p = nullptr;
  const char* end = nullptr;
  char lastOfPrevious = '\n';
  long line = 1;
  ReadResult result;
};

}  // namespace

ReadResult readLayout(const char* data, size_t size, Layer layers[LAYER_COUNT]) {
  MemorySource source(data, size);
  return Reader(source, layers).run();
}

ReadResult readLayout(std::istream& in, Layer layers[LAYER_COUNT], size_t blockSize) {
  StreamSource source(in, blockSize);
  return Reader(source, layers).run();
}

ReadStatus readLayoutFile(const char* path, Layer layers[LAYER_COUNT], ReadResult& result) {
  result = ReadResult();
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    result.errorNumber = errno;
    return READ_OPEN_FAILED;
  }
  struct stat st;
  int statError = ::fstat(fd, &st) != 0 ? errno : 0;
  if (statError || !S_ISREG(st.st_mode)) {
    result.errorNumber = statError ? statError : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return READ_OPEN_FAILED;
  }
  FileSource source(fd);
  result = Reader(source, layers).run();
  ::close(fd);
  return result.ioError ? READ_IO_FAILED : READ_OK;
}

// ---------------------------------------------------------------- saving

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

// Write the layout to fd and sync it; 0 or the errno of the failure.
int writeAndSync(int fd, Layer layers[LAYER_COUNT]) {
  FdWriteBuffer buffer(fd);
  std::ostream out(&buffer);
  writeLayout(out, layers);
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

SaveStatus saveLayoutFile(const char* path, Layer layers[LAYER_COUNT], int& errorNumber) {
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
  int error = writeAndSync(fd, layers);
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
