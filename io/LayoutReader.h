#ifndef KIVO_LAYOUTREADER_H
#define KIVO_LAYOUTREADER_H

// The layout file reader's parts, shared by the reader (io/LayoutReader.cpp)
// and the two-part read of large files (io/LayoutFileParts.cpp). Callers
// outside io/ use io/LayoutFile.h.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "io/LayoutFile.h"

// A supplier of input blocks.
class Source {
public:
  virtual ~Source() = default;
  // Make the next block [begin, end); false at the end of the input or on a
  // failure (then failed is set).
  virtual bool next(const char*& begin, const char*& end) = 0;
  // Go on at this offset of the input with the next block; false where
  // the source cannot.
  virtual bool seek(size_t) { return false; }
  bool failed = false;
  int errorNumber = 0;
  size_t blockOffset = 0;  // where the last block made begins in the input
  // Every block is followed by the two bytes of TAIL (its own buffer's
  // bytes, not the input's), so that the quick path reads it unchecked.
  bool tailed = false;
  static constexpr char TAIL[2] = {'\n', 'x'};
  static const size_t TAIL_BYTES = sizeof TAIL;
};

// Reads a file from an offset on, so that two sources can read one
// descriptor.
class FileSource : public Source {
public:
  FileSource(int fd, size_t from);
  bool next(const char*& begin, const char*& end) override;
  bool seek(size_t to) override {
    position = to;
    return true;
  }

private:
  int fd;
  size_t position;
  std::unique_ptr<char[]> buffer;
};

// The slot of every two-character code, built once from codeToLayer so that
// both stay the same table.
struct CodeTable {
  uint8_t slot[256][256];
  CodeTable();
};

// Reads the records of a layout file (the grammar: io/LayoutReader.cpp).
class Reader {
public:
  // Objects go to the layers, or to chains when layers is null (then
  // enabled tells which layers take objects). Each layer's objects are made
  // in group firstGroup + slot.
  Reader(Source& s, Layer* l, const bool* enabled = nullptr, int firstGroup = 1);
  ~Reader() { flush(); }  // also when a read ends in an exception

  ReadResult run() {
    start();
    read();
    return finish();
  }
  // The beginning of the input: a byte-order mark, or a first line that
  // holds part of one.
  void start();
  // Read records up to the end of the input, or until a line starts at
  // stopAt or later, or (without layers) until a record has an unknown code.
  void read(size_t stopAt = SIZE_MAX);
  ReadResult finish();
  // Where reading is in the input.
  size_t offset() const { return source.blockOffset + (size_t)(p - begin); }
  // Append the objects read so far to the layers.
  void flush();
  // Take the part that another reader read from this reader's offset,
  // then go on where it halted (at the end of the input when it did not)
  // (io/LayoutFileParts.cpp).
  void takePart(Reader& part);

  static const int END = -1;

  // The current character, fetching the next block when needed; END at the
  // end of the input.
  int peek() {
    if (p == end && !fetch()) return END;
    return (unsigned char)*p;
  }
  void next() { ++p; }
  void newLine() { ++line; }

  PreparedChain chains[LAYER_COUNT];
  bool halted = false;

private:
  bool fetch();
  bool atLineStart() const {
    char c = p > begin ? p[-1] : lastOfPrevious;
    return c == '\n' || c == '\r';
  }
  bool skipByteOrderMark();
  void countSkipped(long at) {
    if (result.skippedLines++ == 0) result.firstSkippedLine = at;
  }
  bool skipLine(bool find);
  bool quickRecord();
  template <class Cursor> bool quickRecordWith();
  bool record();
  bool addUnknown(char first, int32_t x, int32_t y, int32_t w, int32_t h);
  bool add(int slot, int32_t x, int32_t y, int32_t w, int32_t h, int32_t value, uint32_t origin);
  void appendOnTwoThreads(Reader& part);

  Source& source;
  Layer* layers;
  const CodeTable& codes;
  const char* begin = nullptr;
  const char* p = nullptr;
  const char* end = nullptr;
  char lastOfPrevious = '\n';
  long line = 1;
  ReadResult result;
  // Unknown codes: the origin of each code field met.
  std::string code, lastCode, lastOriginCode;
  int lastSlot = LAYER_UNKNOWN;  // of lastCode
  uint32_t lastOrigin = 0;
  std::unordered_map<std::string, uint32_t> origins;
  bool takes[LAYER_COUNT];
  int group;
  bool atEnd = false;  // the rest of the input was read by another reader
  size_t haltOffset = 0;
  long haltLine = 0;
};

#endif
