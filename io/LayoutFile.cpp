#include "io/LayoutFile.h"

#include "model/ObjectOrigin.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <istream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Files are read with the operating system's calls directly, in large
// blocks, and saved through saveSafely (io/SafeSave.h).

namespace {

const size_t BLOCK_SIZE = 1 << 20;

// ---------------------------------------------------------------- writing

// A record line needs at most 6 * 11 + 16 characters (a longer kept code
// is not copied), so a block with LINE_BYTES left always takes the next.
const size_t LINE_BYTES = 128;
const size_t BLOCK_BYTES = 32 << 10;

// Append the decimal form of v at q.
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

// Objects on the unknown slot write the code field they were read with
// (ObjectOrigin::code), or the slot's own code when they have none. Lines
// are gathered in a block and handed to the stream a block at a time.
bool Layer::writeRecords(std::ostream& out) const {
  const char* const ownCode = layerToCode(id);
  const size_t ownLength = std::strlen(ownCode);
  uint32_t lastOrigin = 0;
  const std::string* kept = nullptr;
  char block[BLOCK_BYTES];
  char* const full = block + sizeof block - LINE_BYTES;
  char* q = block;
  if (out.fail()) return false;
  for (GroupNode* node = first(); node; node = node->next()) {
    if (q > full) {
      out.write(block, q - block);
      q = block;
      if (out.fail()) return false;
    }
    const char* code = ownCode;
    size_t codeLength = ownLength;
    if (id == LAYER_UNKNOWN && node->origin != 0) {
      if (!kept || node->origin != lastOrigin) {
        lastOrigin = node->origin;
        kept = &originOf(lastOrigin).code;
      }
      if (!kept->empty()) {
        code = kept->data();
        codeLength = kept->size();
      }
    }
    std::memcpy(q, "REC(", 4);
    q = putRect(q + 4, *node);
    *q++ = ',';
    if (codeLength > 32) {  // a long kept code goes straight to the stream
      out.write(block, q - block);
      out.write(code, (std::streamsize)codeLength);
      q = block;
    } else {
      std::memcpy(q, code, codeLength);
      q += codeLength;
    }
    if (id == LAYER_OPTIONS) {
      const Opt* opt = dynamic_cast<const Opt*>(node);
      *q++ = ',';
      q = putInt(q, opt ? opt->getValue() : 0);
    }
    *q++ = ')';
    *q++ = '\n';
  }
  out.write(block, q - block);
  return !out.fail();
}

// The BB line follows Rect::include's rules for all-zero boxes, but in 64
// bits: a layout may span more than 2^31 units, and its size is written as
// it is, not wrapped.
void writeLayout(std::ostream& out, Layer layers[LAYER_COUNT]) {
  int64_t left = 0, bottom = 0, right = 0, top = 0;
  for (int i = 0; i < LAYER_COUNT; i++) {
    const Layer& l = layers[i];  // normalised: its size read unsigned is its true extent
    const int64_t r = (int64_t)l.x + (uint32_t)l.w, t = (int64_t)l.y + (uint32_t)l.h;
    if (left == 0 && bottom == 0 && right == 0 && top == 0) {
      left = l.x, bottom = l.y, right = r, top = t;
    } else {
      left = std::min<int64_t>(left, l.x), bottom = std::min<int64_t>(bottom, l.y);
      right = std::max(right, r), top = std::max(top, t);
    }
  }
  char line[96];
  char* q = line;
  std::memcpy(q, "BB(", 3);
  q = putInt(q + 3, (int32_t)left);
  *q++ = ',';
  q = putInt(q, (int32_t)bottom);
  *q++ = ',';
  q = std::to_chars(q, q + 20, right - left).ptr;
  *q++ = ',';
  q = std::to_chars(q, q + 20, top - bottom).ptr;
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
  // Go on at this offset of the input with the next block; false where
  // the source cannot.
  virtual bool seek(size_t) { return false; }
  bool failed = false;
  int errorNumber = 0;
  size_t blockOffset = 0;  // where the last block made begins in the input
};

class MemorySource : public Source {
public:
  MemorySource(const char* d, size_t n) : data(d), size(n) {}
  bool next(const char*& begin, const char*& end) override {
    if (done || size == 0) return false;
    done = true;
    begin = data;
    end = data + size;
    blockOffset = 0;
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
    blockOffset = position;
    position += (size_t)n;
    return true;
  }

private:
  std::istream& in;
  std::vector<char> buffer;
  size_t position = 0;
};

// Reads from an offset on, so that two sources can read one descriptor.
class FileSource : public Source {
public:
  FileSource(int f, size_t from) : fd(f), position(from), buffer(new char[BLOCK_SIZE]) {}
  bool next(const char*& begin, const char*& end) override {
    ssize_t n;
    do {
      n = ::pread(fd, buffer.get(), BLOCK_SIZE, (off_t)position);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      failed = true;
      errorNumber = errno;
      return false;
    }
    if (n == 0) return false;
    begin = buffer.get();
    end = begin + n;
    blockOffset = position;
    position += (size_t)n;
    return true;
  }
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

// Whether "REC(" occurs in [a, b), given that the text before a ended with
// its first `matched` characters; leaves in matched how many of them the
// text ends with, so that a search can go on in the next block.
bool holdsRecordStart(const char* a, const char* b, int& matched) {
  static const char key[] = "REC(";
  while (matched > 0 && a < b && *a == key[matched]) {
    ++a;
    if (++matched == 4) return true;
  }
  if (a == b) return false;
  if (memmem(a, (size_t)(b - a), key, 4)) return true;
  matched = 0;
  for (int k = 3; k > 0 && matched == 0; k--)
    if (b - a >= k && std::memcmp(b - k, key, (size_t)k) == 0) matched = k;
  return false;
}

// The far edge x + w (or y + h) and the size's positive form fit in 32 bits.
bool extentFits(int32_t at, int32_t size) {
  int64_t edge = (int64_t)at + size;
  return size != INT32_MIN && edge >= INT32_MIN && edge <= INT32_MAX;
}

// Reads records with this grammar, byte by byte from the source's blocks:
//
//   file      = [ BOM ] { line }       BOM: the UTF-8 mark EF BB BF, skipped
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
//   rest      = anything up to and including the next line end, or the end
//               of the input (so ")" and the line end may be missing)
//
// A line end is LF, CR LF or a lone CR. Lines have no length limit. x + w
// and y + h must fit in 32 bits, and w and h must not be -2^31 (no positive
// form), so that no object wraps when it is normalised or written back.
//
// A code that the table does not know puts the object on the unknown slot
// and keeps its whole code field: the first code character, then every
// character up to ")", a line end or the end of the input. The writer
// writes it back unchanged; "NULL!", the slot's own code, is kept as none.
//
// A line that starts with "R" but does not match "record" (including one
// cut off by the end of the input), or an "other" line that holds "REC(",
// adds nothing and is counted. Reading resumes at the character where the
// match failed when that character starts a line (so a well-formed record
// on the next line is never swallowed), otherwise after the failing line's
// end.
//
// Between lines nothing carries over from one line to the next, so a part
// of the input that starts at a line start can be read on its own (see
// readParts). A Reader made without layers reads such a part: it keeps
// its objects in chains for the caller, and halts before the first record
// with an unknown code, whose origin only the first part may intern.
class Reader {
public:
  // Objects go to the layers, or to chains when layers is null (then
  // enabled tells which layers take objects). Each layer's objects are made
  // in group firstGroup + slot.
  Reader(Source& s, Layer* l, const bool* enabled = nullptr, int firstGroup = 1)
      : source(s), layers(l), codes(codeTable()), group(firstGroup) {
    for (int i = 0; i < LAYER_COUNT; i++) takes[i] = l ? l[i].isEnabled() != 0 : enabled[i];
  }
  ~Reader() { flush(); }  // also when a read ends in an exception

  ReadResult run() {
    start();
    read();
    return finish();
  }

  // The beginning of the input: a byte-order mark, or a first line that
  // holds part of one.
  void start() {
    if (!skipByteOrderMark() && skipLine(true)) countSkipped(1);
  }

  // Read records up to the end of the input, or until a line starts at
  // stopAt or later, or (without layers) until a record has an unknown code.
  void read(size_t stopAt = SIZE_MAX) {
    while (peek() != END) {
      if (offset() >= stopAt) return;
      long startLine = line;
      size_t startOffset = offset();
      if (*p != 'R') {
        if (skipLine(true)) countSkipped(startLine);
        continue;
      }
      if (!quickRecord() && !record()) {
        if (halted) {
          haltOffset = startOffset;
          haltLine = startLine;
          return;
        }
        countSkipped(startLine);
        long failLine = line;  // a record may fail on a later line
        if (!atLineStart() && skipLine(failLine != startLine) && failLine != startLine)
          countSkipped(failLine);
        continue;
      }
      skipLine(false);
    }
  }

  ReadResult finish() {
    flush();
    result.ioError = source.failed;
    result.errorNumber = source.errorNumber;
    return result;
  }

  // Where reading is in the input.
  size_t offset() const { return source.blockOffset + (size_t)(p - begin); }

  // Append the objects read so far to the layers.
  void flush() {
    if (!layers) return;
    for (int i = 0; i < LAYER_COUNT; i++) layers[i].appendPrepared({&chains[i]});
  }

  // Take the part that another reader read from this reader's offset,
  // then go on where it halted (at the end of the input when it did not).
  void takePart(Reader& part) {
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

  PreparedChain chains[LAYER_COUNT];
  bool halted = false;

private:
  // Append this reader's chains and then the part's to each layer, the
  // layers holding the first half of the objects on this thread and the
  // rest on another: an append writes each object's corners into memory
  // that is new to the process, which costs about as much as reading them.
  void appendOnTwoThreads(Reader& part) {
    auto append = [&](int from, int to) {
      for (int i = from; i < to; i++) layers[i].appendPrepared({&chains[i], &part.chains[i]});
    };
    size_t total = 0, first = 0;
    for (int i = 0; i < LAYER_COUNT; i++) total += chains[i].count + part.chains[i].count;
    int split = 0;
    while (split < LAYER_COUNT && 2 * first < total) {
      first += chains[split].count + part.chains[split].count;
      ++split;
    }
    std::exception_ptr failure;
    std::thread other([&] {
      try {
        append(split, LAYER_COUNT);
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

  static const int END = -1;

  // The current character, fetching the next block when needed; END at the
  // end of the input.
  int peek() {
    if (p == end && !fetch()) return END;
    return (unsigned char)*p;
  }

  bool fetch() {
    if (atEnd) return false;
    if (end != begin) lastOfPrevious = end[-1];
    const char* b;
    const char* e;
    if (!source.next(b, e)) return false;
    begin = p = b;
    end = e;
    return true;
  }

  bool atLineStart() const {
    char c = p > begin ? p[-1] : lastOfPrevious;
    return c == '\n' || c == '\r';
  }

  // Skip a UTF-8 byte-order mark; false when the input starts with only a
  // part of one (that first line is then not a record).
  bool skipByteOrderMark() {
    static const int mark[] = {0xEF, 0xBB, 0xBF};
    for (int i = 0; i < 3; i++) {
      if (peek() != mark[i]) return i == 0;
      ++p;
    }
    return true;
  }

  void countSkipped(long at) {
    if (result.skippedLines++ == 0) result.firstSkippedLine = at;
  }

  // Discard up to and including the next line end; true when find is set
  // and the discarded text held "REC(".
  bool skipLine(bool find) {
    int matched = 0;
    bool found = false;
    while (peek() != END) {
      const char* stop = p;  // lines after a record end after a few characters
      while (stop < end && *stop != '\n' && *stop != '\r') ++stop;
      if (find && !found) found = holdsRecordStart(p, stop, matched);
      if (stop != end) {
        p = stop + 1;
        ++line;
        if (*stop == '\r' && peek() == '\n') ++p;
        return found;
      }
      p = end;
    }
    return found;
  }

  // The common record "REC(x,y,w,h,code)" or "REC(x,y,w,h,OP,value)" with
  // plain numbers (an optional "-", one to ten digits) and a known code,
  // parsed straight from the block; true when it was taken. Anything else,
  // and a record that could reach the block's end, is left as it was for
  // record(), which reads it the same way.
  bool quickRecord() {
    if (end - p < 80 || std::memcmp(p, "REC(", 4) != 0) return false;
    const char* q = p + 4;
    int32_t v[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < 4; i++)
      if (!(q = quickNumber(q, v[i])) || *q++ != ',') return false;
    if (!extentFits(v[0], v[2]) || !extentFits(v[1], v[3])) return false;
    int slot = codes.slot[(unsigned char)q[0]][(unsigned char)q[1]];  // no known code holds a line end
    if (slot == LAYER_UNKNOWN) return false;
    q += 2;
    if (slot == LAYER_OPTIONS && (*q++ != ',' || !(q = quickNumber(q, v[4])))) return false;
    p = q;
    add(slot, v[0], v[1], v[2], v[3], v[4], 0);
    return true;
  }

  static bool isDigit(char c) { return (unsigned)(c - '0') < 10; }

  // An optional "-" and one to ten digits that fit in 32 bits at q; the
  // position after them, or null.
  static const char* quickNumber(const char* q, int32_t& out) {
    const bool negative = *q == '-';
    const char* digits = q + negative;
    uint64_t magnitude = 0;
    for (q = digits; isDigit(*q) && q - digits < 10; ++q) magnitude = magnitude * 10 + (unsigned)(*q - '0');
    if (q == digits || isDigit(*q) || magnitude > (negative ? 2147483648u : 2147483647u)) return nullptr;
    out = negative ? (int32_t)(0u - (uint32_t)magnitude) : (int32_t)magnitude;
    return q;
  }

  // Parse one record at "R"; true when it was added.
  bool record() {
    ++p;
    if (!prefix()) return false;
    int32_t x, y, w, h, value = 0;
    if (!number(x) || !separator() || !number(y) || !separator() || !number(w) ||
        !separator() || !number(h) || !separator())
      return false;
    if (!extentFits(x, w) || !extentFits(y, h)) return false;
    int c0 = peek();
    if (c0 == END || c0 == '\n' || c0 == '\r') return false;
    ++p;
    int c1 = peek();
    if (c1 == END || c1 == '\n' || c1 == '\r') return false;
    int slot = codes.slot[c0][c1];
    if (slot == LAYER_UNKNOWN && !layers) {
      halted = true;
      return false;
    }
    if (slot == LAYER_UNKNOWN) return addUnknown((char)c0, x, y, w, h);
    ++p;
    if (slot == LAYER_OPTIONS && (!separator() || !number(value))) return false;
    add(slot, x, y, w, h, value, 0);
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
      ++p;
      if (c == '\n' || (c == '\r' && peek() != '\n')) ++line;
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

  // The object of an unknown code; p is at the code's second character.
  bool addUnknown(char first, int32_t x, int32_t y, int32_t w, int32_t h) {
    code.assign(1, first);
    for (int c = peek(); c != END && c != ')' && c != '\n' && c != '\r'; c = peek()) {
      const char* q = p;
      while (q < end && *q != ')' && *q != '\n' && *q != '\r') ++q;
      code.append(p, q);
      p = q;
    }
    if (code != lastCode) {
      lastCode = code;
      auto known = origins.find(code);
      if (known != origins.end()) {
        lastOrigin = known->second;
      } else {
        ObjectOrigin origin;
        if (code != layerToCode(LAYER_UNKNOWN)) origin.code = code;
        lastOrigin = internOrigin(origin);
        origins.emplace(code, lastOrigin);
        if (lastOrigin != 0 && result.unknownCodeCount++ < 10) result.unknownCodes.push_back(code);
      }
    }
    if (add(LAYER_UNKNOWN, x, y, w, h, 0, lastOrigin) && lastOrigin != 0) ++result.unknownObjects;
    return true;
  }

  // A disabled layer does not take the object. The others' objects wait in
  // a chain per layer, with their corners, and join it at the end: one
  // append per layer costs less than one apply per object.
  bool add(int slot, int32_t x, int32_t y, int32_t w, int32_t h, int32_t value, uint32_t origin) {
    if (!takes[slot]) return false;
    // Each layer's objects in a group of their own (GroupNode.h).
    GroupNode* node;
    const bool isOpt = layerFacts(slot).objectClass == CLASS_OPT;
    if (isOpt) {
      Opt* opt = new (ObjectGroup{group + slot}) Opt;
      opt->setValue(value);
      node = opt;
    } else {
      node = new (ObjectGroup{group + slot}) Box;
    }
    node->Rect::setRect(x, y, w, h);
    node->origin = origin;
    chains[slot].add(node, !isOpt);
    ++result.records;
    return true;
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
  // Unknown codes: the origin of each code field met.
  std::string code, lastCode;
  uint32_t lastOrigin = 0;
  std::unordered_map<std::string, uint32_t> origins;
  bool takes[LAYER_COUNT];
  int group;
  bool atEnd = false;  // the rest of the input was read by another reader
  size_t haltOffset = 0;
  long haltLine = 0;
};

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
    Reader part(rest, nullptr, enabled, 1 + LAYER_COUNT + 1);
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

ReadResult readLayout(const char* data, size_t size, Layer layers[LAYER_COUNT]) {
  MemorySource source(data, size);
  return Reader(source, layers).run();
}

ReadResult readLayout(std::istream& in, Layer layers[LAYER_COUNT], size_t blockSize) {
  StreamSource source(in, blockSize);
  return Reader(source, layers).run();
}

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

SaveStatus saveLayoutFile(const char* path, Layer layers[LAYER_COUNT], int& errorNumber) {
  return saveSafely(path, [&](std::ostream& out) { writeLayout(out, layers); }, errorNumber);
}
