// The two-part read of large layout files: the second half of a file is
// read on a thread of its own while the first half is read, and the two
// are joined so that the result is that of reading the file in one pass.
#include "io/LayoutReader.h"

#include <exception>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

void Reader::takePart(Reader& part) {
  appendOnTwoThreads(part);
  result.records += part.result.records;
  if (part.result.skippedLines > 0 && result.skippedLines == 0)
    result.firstSkippedLine = line + part.result.firstSkippedLine - 1;
  result.skippedLines += part.result.skippedLines;
  if (!part.halted) {  // the part reached the end of the input
    begin = p = end;
    atEnd = true;
    return;
  }
  line += part.haltLine - 1;
  source.seek(part.haltOffset);
  begin = p = end = nullptr;
  lastOfPrevious = '\n';
}

// Append this reader's chains and then the part's to each layer, the
// layers holding the first half of the objects on this thread and the
// rest on another: an append writes each object's corners into memory
// that is new to the process, which costs about as much as reading them.
void Reader::appendOnTwoThreads(Reader& part) {
  auto append = [&](int from, int to) {
    for (int i = from; i < to; i++) layers[i].appendPrepared({&chains[i], &part.chains[i]});
  };
  size_t total = 0, first = 0;
  const int slots = layerSlotsInUse();
  for (int i = 0; i < slots; i++) total += chains[i].count + part.chains[i].count;
  int split = 0;
  while (split < slots && 2 * first < total) {
    first += chains[split].count + part.chains[split].count;
    ++split;
  }
  std::exception_ptr failure;
  std::thread other([&] {
    try {
      append(split, slots);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  try {
    append(0, split);
  } catch (...) {
    other.join();
    throw;
  }
  other.join();
  if (failure) std::rethrow_exception(failure);
}

namespace {

// The offset of the first line that starts at from or later (after LF, CR
// LF or a lone CR), or 0 when there is none before the end.
size_t lineStartFrom(int fd, size_t from, size_t size) {
  char buffer[1 << 16];
  for (size_t at = from - 1; at < size;) {
    ssize_t n = ::pread(fd, buffer, sizeof buffer, (off_t)at);
    if (n <= 0) return 0;
    for (ssize_t i = 0; i < n; i++) {
      char c = buffer[i];
      if (c == '\n') return at + i + 1 < size ? at + i + 1 : 0;
      if (c != '\r') continue;
      if (i + 1 == n) {  // the next block tells whether an LF follows
        n = i;
        break;
      }
      if (buffer[i + 1] != '\n') return at + i + 1;
    }
    at += (size_t)n > 0 ? (size_t)n : 1;
  }
  return 0;
}

// Files from this size on are read in two parts at once, one on another
// thread, each making its objects in groups of its own.
const size_t TWO_PARTS_FROM = 4 << 20;

// Read the file in two parts at once where it is large: the second part,
// from the first line start after the middle (or after secondPartFrom when
// that is not 0), on a thread of its own. The first part is read up to that
// line; where its last record reaches past it, or the second part could not
// be read, the first reader reads on alone, so the result is always that of
// reading the file in one pass.
ReadResult readParts(int fd, size_t size, Layer layers[LAYER_COUNT], size_t secondPartFrom) {
  FileSource source(fd, 0);
  Reader reader(source, layers);
  reader.start();
  if (secondPartFrom == 0 && size >= TWO_PARTS_FROM) secondPartFrom = size / 2;
  size_t middle = secondPartFrom > 0 && secondPartFrom <= size ? lineStartFrom(fd, secondPartFrom, size) : 0;
  if (middle > 0) {
    bool enabled[LAYER_COUNT];
    for (int i = 0; i < LAYER_COUNT; i++) enabled[i] = layers[i].isEnabled() != 0;
    FileSource rest(fd, middle);
    // Groups after the named slots' and the pair slots' of the first part.
    Reader part(rest, nullptr, enabled, 1 + NAMED_LAYER_COUNT + 1);
    bool partRead = false;
    struct Joined {
      std::thread thread;
      ~Joined() {
        if (thread.joinable()) thread.join();
      }
    } helper;
    helper.thread = std::thread([&] {
      try {
        part.read();
        partRead = !rest.failed;
      } catch (...) {
      }
    });
    reader.read(middle);
    helper.thread.join();
    if (partRead && reader.offset() == middle) reader.takePart(part);
  }
  reader.read();
  return reader.finish();
}

}  // namespace

ReadStatus readLayoutFile(const char* path, Layer layers[LAYER_COUNT], ReadResult& result,
                          size_t secondPartFrom) {
  result = ReadResult();
  ReadStatus status;
  int fd = openRegularFile(path, status, result.errorNumber);
  if (fd < 0) return status;
  struct stat st;
  size_t size = ::fstat(fd, &st) == 0 && st.st_size > 0 ? (size_t)st.st_size : 0;
  result = readParts(fd, size, layers, secondPartFrom);
  ::close(fd);
  return result.ioError ? READ_IO_FAILED : READ_OK;
}
