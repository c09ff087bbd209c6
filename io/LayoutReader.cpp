#include "io/LayoutReader.h"

#include "model/ObjectOrigin.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <vector>

#include <unistd.h>

// The reader of layout files. It reads records with this grammar, byte by
// byte from the source's blocks:
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
// A code field "L/D" (a GDSII layer and datatype, decimals 0..65535) puts
// the object on that pair's own slot. Any other code that the table does
// not know puts the object on the unknown slot and keeps its whole code field: the first code character, then every
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
// io/LayoutFileParts.cpp). A Reader made without layers reads such a part:
// it keeps its objects in chains for the caller, and halts before the first
// record with an unknown code, whose origin only the first part may intern.
//
// The grammar is written once, in the templates below, for two kinds of
// input: the Reader itself, which fetches blocks as it goes (the general
// path), and a cursor over the current block alone (the quick path, for the
// common record). A record the cursor cannot finish inside its block, or
// one with an unknown code, is parsed again by the Reader, with the same
// rules.

namespace {

// 1 MiB blocks: the cost of a read call vanishes next to parsing a block.
const size_t BLOCK_SIZE = 1 << 20;

const int END = Reader::END;

// The grammar's steps are inlined into both of their callers: the quick
// path's cursor then lives in registers, which makes the quick path quick.
#define ALWAYS_INLINE inline __attribute__((always_inline))

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
  StreamSource(std::istream& s, size_t blockSize) : in(s), buffer((blockSize > 0 ? blockSize : 1) + TAIL_BYTES) {
    tailed = true;
  }
  bool next(const char*& begin, const char*& end) override {
    if (!in.good()) return false;
    in.read(buffer.data(), buffer.size() - TAIL_BYTES);
    std::streamsize n = in.gcount();
    if (in.bad()) {
      failed = true;
      errorNumber = EIO;
      return false;
    }
    if (n <= 0) return false;
    std::memcpy(&buffer[n], TAIL, TAIL_BYTES);
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

// The current block alone. A record that reaches the block's end may go on
// in the next block, so the quick path leaves it to record().
//
// BlockCursor reads its end as END. TailedCursor reads a block followed by
// Source::TAIL without a check: every step of the grammar stops at its line
// end, except the white space before a number, which stops at the "x" after
// it; so no read goes past the tail, and reaching it ends at or past the end.
struct BlockCursor {
  const char* p;
  const char* end;
  long lines = 0;
  int peek() const { return p != end ? (unsigned char)*p : END; }
  void next() { ++p; }
  void newLine() { ++lines; }
  bool reachedEnd() const { return p == end; }
};

struct TailedCursor {
  const char* p;
  const char* end;
  long lines = 0;
  int peek() const { return (unsigned char)*p; }
  void next() { ++p; }
  void newLine() { ++lines; }
  bool reachedEnd() const { return p >= end; }
};

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

// END, LF and CR are the only values up to CR that are not white space or
// NUL; most characters are past them, and one comparison tells.
bool isLineEnd(int c) { return c <= '\r' && (c == END || c == '\n' || c == '\r'); }

// The far edge x + w (or y + h) and the size's positive form fit in 32 bits.
bool extentFits(int32_t at, int32_t size) { return size != INT32_MIN && fitsInt32((int64_t)at + size); }

// prefix: true after the "(".
template <class In> ALWAYS_INLINE bool prefix(In& in) {
  for (int i = 0; i < 3; i++) {
    int c = in.peek();
    if (isLineEnd(c)) return false;
    in.next();
    if (c == '(') return true;
  }
  return false;
}

template <class In> ALWAYS_INLINE bool separator(In& in) {
  if (isLineEnd(in.peek())) return false;
  in.next();
  return true;
}

// Digits a number takes before its value is tested: ten digits are below
// 10^10, far inside 64 bits, and every 32-bit value has at most ten.
const int MOST_PLAIN_DIGITS = 10;

// int: a signed decimal that fits in 32 bits, after optional white space.
template <class In> ALWAYS_INLINE bool number(In& in, int32_t& out) {
  int c = in.peek();
  while (c <= ' ' && (c == ' ' || (c >= '\t' && c <= '\r'))) {
    in.next();
    if (c == '\n' || (c == '\r' && in.peek() != '\n')) in.newLine();
    c = in.peek();
  }
  bool negative = false;
  if (c < '0' && (c == '-' || c == '+')) {
    negative = c == '-';
    in.next();
    c = in.peek();
  }
  unsigned digit = (unsigned)(c - '0');  // END and every non-digit give more than 9
  if (digit > 9) return false;
  // Most numbers end within ten digits, and this loop, which tests only
  // for a digit, reads them: digits are most of a file.
  uint64_t magnitude = 0;
  int digits = 0;
  do {
    magnitude = magnitude * 10 + digit;
    in.next();
    digit = (unsigned)(in.peek() - '0');
  } while (digit <= 9 && ++digits < MOST_PLAIN_DIGITS);
  // More digits: leading zeros, or a number too large.
  const uint64_t limit = negative ? 2147483648u : 2147483647u;
  for (; digit <= 9; digit = (unsigned)(in.peek() - '0')) {
    if (magnitude <= limit) magnitude = magnitude * 10 + digit;  // once too large, it stays so
    in.next();
  }
  if (magnitude > limit) return false;
  out = negative ? (int32_t)(0u - (uint32_t)magnitude) : (int32_t)magnitude;
  return true;
}

// The fields of one record.
struct Fields {
  int32_t x, y, w, h, value = 0;
  int slot, first;  // first: the code's first character
};

// record, from its "R" up to its code (and value). For a code the table
// does not know, the input is left at the code's second character and slot
// is LAYER_UNKNOWN: the caller reads the rest of the code field.
template <class In> ALWAYS_INLINE bool recordFields(In& in, const CodeTable& codes, Fields& f) {
  in.next();
  if (!prefix(in) || !number(in, f.x) || !separator(in) || !number(in, f.y) || !separator(in) ||
      !number(in, f.w) || !separator(in) || !number(in, f.h) || !separator(in))
    return false;
  if (!extentFits(f.x, f.w) || !extentFits(f.y, f.h)) return false;
  f.first = in.peek();
  if (isLineEnd(f.first)) return false;
  in.next();
  int second = in.peek();
  if (isLineEnd(second)) return false;
  f.slot = codes.slot[f.first][second];
  if (f.slot == LAYER_UNKNOWN) return true;
  in.next();
  return f.slot != LAYER_OPTIONS || (separator(in) && number(in, f.value));
}

const CodeTable& codeTable() {
  static const CodeTable table;
  return table;
}

}  // namespace

// codeToLayer matches the first two characters of a named slot's code or
// alias, so only rows whose first character starts one of them can hold a
// known code: the others are left unknown without asking (which would be
// most of the cost of reading a small file).
CodeTable::CodeTable() {
  bool starts[256] = {};
  for (int i = 1; i < NAMED_LAYER_COUNT; i++) {
    const LayerFacts& facts = layerFacts(i);
    starts[(unsigned char)facts.code[0]] = true;
    if (facts.alias) starts[(unsigned char)facts.alias[0]] = true;
  }
  starts[0] = false;  // an empty code is unknown
  char code[3] = {0, 0, 0};
  for (int a = 0; a < 256; a++) {
    if (!starts[a]) {
      std::memset(slot[a], LAYER_UNKNOWN, sizeof slot[a]);
      continue;
    }
    for (int b = 0; b < 256; b++) {
      code[0] = (char)a;
      code[1] = (char)b;
      slot[a][b] = (uint8_t)codeToLayer(code);
    }
  }
}

FileSource::FileSource(int f, size_t from) : fd(f), position(from), buffer(new char[BLOCK_SIZE + TAIL_BYTES]) {
  tailed = true;
}

bool FileSource::next(const char*& b, const char*& e) {
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
  std::memcpy(buffer.get() + n, TAIL, TAIL_BYTES);
  b = buffer.get();
  e = b + n;
  blockOffset = position;
  position += (size_t)n;
  return true;
}

Reader::Reader(Source& s, Layer* l, const bool* enabled, int firstGroup)
    : source(s), layers(l), codes(codeTable()), group(firstGroup) {
  for (int i = 0; i < LAYER_COUNT; i++) takes[i] = l ? l[i].isEnabled() != 0 : enabled[i];
}

void Reader::start() {
  if (!skipByteOrderMark() && skipLine(true)) countSkipped(1);
}

void Reader::read(size_t stopAt) {
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
      if (!atLineStart() && skipLine(failLine != startLine) && failLine != startLine) countSkipped(failLine);
      continue;
    }
    skipLine(false);
  }
}

ReadResult Reader::finish() {
  flush();
  result.ioError = source.failed;
  result.errorNumber = source.errorNumber;
  return result;
}

void Reader::flush() {
  if (!layers) return;
  for (int i = 0, n = layerSlotsInUse(); i < n; i++) layers[i].appendPrepared({&chains[i]});
}

inline bool Reader::fetch() {
  if (atEnd) return false;
  if (end != begin) lastOfPrevious = end[-1];
  const char* b;
  const char* e;
  if (!source.next(b, e)) return false;
  begin = p = b;
  end = e;
  return true;
}

// Skip a UTF-8 byte-order mark; false when the input starts with only a
// part of one (that first line is then not a record).
bool Reader::skipByteOrderMark() {
  static const int mark[] = {0xEF, 0xBB, 0xBF};
  for (int i = 0; i < 3; i++) {
    if (peek() != mark[i]) return i == 0;
    ++p;
  }
  return true;
}

// Discard up to and including the next line end; true when find is set
// and the discarded text held "REC(".
inline bool Reader::skipLine(bool find) {
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

// The common record, with a known code and wholly in the current block,
// parsed by a BlockCursor; true when it was taken. Anything else is left as
// it was for record().
inline bool Reader::quickRecord() {
  return source.tailed ? quickRecordWith<TailedCursor>() : quickRecordWith<BlockCursor>();
}

template <class Cursor> inline bool Reader::quickRecordWith() {
  Cursor in{p, end};
  Fields f;
  if (!recordFields(in, codes, f) || in.reachedEnd() || f.slot == LAYER_UNKNOWN) return false;
  p = in.p;
  line += in.lines;
  add(f.slot, f.x, f.y, f.w, f.h, f.value, 0);
  return true;
}

// Parse one record at "R"; true when it was added.
inline bool Reader::record() {
  Fields f;
  if (!recordFields(*this, codes, f)) return false;
  if (f.slot != LAYER_UNKNOWN) {
    add(f.slot, f.x, f.y, f.w, f.h, f.value, 0);
    return true;
  }
  if (!layers) {
    halted = true;
    return false;
  }
  return addUnknown((char)f.first, f.x, f.y, f.w, f.h);
}

// The object of an unknown code; p is at the code's second character.
bool Reader::addUnknown(char first, int32_t x, int32_t y, int32_t w, int32_t h) {
  code.assign(1, first);
  for (int c = peek(); c != END && c != ')' && c != '\n' && c != '\r'; c = peek()) {
    const char* q = p;
    while (q < end && *q != ')' && *q != '\n' && *q != '\r') ++q;
    code.append(p, q);
    p = q;
  }
  if (code != lastCode) {
    lastCode = code;
    uint32_t layer = 0, datatype = 0;
    lastSlot = parsePairCode(code.data(), code.size(), layer, datatype) ? pairSlot(layer, datatype) : LAYER_UNKNOWN;
  }
  if (lastSlot != LAYER_UNKNOWN) {
    add(lastSlot, x, y, w, h, 0, 0);
    return true;
  }
  if (code != lastOriginCode) {
    lastOriginCode = code;
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
inline bool Reader::add(int slot, int32_t x, int32_t y, int32_t w, int32_t h, int32_t value, uint32_t origin) {
  if (!takes[slot]) return false;
  // Each named layer's objects in a group of their own (GroupNode.h), the
  // pair slots' in one after them: only the first part of a file (the
  // reader of a part halts at a code it does not know) makes those.
  GroupNode* node;
  const int inGroup = group + std::min(slot, (int)NAMED_LAYER_COUNT);
  const bool isOpt = layerFacts(slot).objectClass == CLASS_OPT;
  if (isOpt) {
    Opt* opt = new (ObjectGroup{inGroup}) Opt;
    opt->setValue(value);
    node = opt;
  } else {
    node = new (ObjectGroup{inGroup}) Box;
  }
  node->Rect::setRect(x, y, w, h);
  node->origin = origin;
  chains[slot].add(node, !isOpt);
  ++result.records;
  return true;
}

ReadResult readLayout(const char* data, size_t size, Layer layers[LAYER_COUNT]) {
  MemorySource source(data, size);
  return Reader(source, layers).run();
}

ReadResult readLayout(std::istream& in, Layer layers[LAYER_COUNT], size_t blockSize) {
  StreamSource source(in, blockSize);
  return Reader(source, layers).run();
}
