#include "io/LayoutFile.h"

#include "io/MskShapes.h"
#include "model/ObjectOrigin.h"
#include "model/Shapes.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ostream>
#include <string>
#include <typeinfo>
#include <vector>

// The writer of layout files (the format: io/LayoutFile.h; its reader:
// io/LayoutReader.cpp). Files are saved through saveSafely.

namespace {

// A record line needs at most 6 * 11 + 16 characters (a longer kept code
// is not copied), so a block with LINE_BYTES left always takes the next;
// the fixed-size copies below stay inside those bytes too.
const size_t LINE_BYTES = 128;
const size_t BLOCK_BYTES = 32 << 10;
// Codes up to this length are copied with the line; a longer kept code goes
// to the stream on its own.
const size_t SHORT_CODE = 32;

// "00" to "99": two digits per table look-up halve the divisions.
const char DIGIT_PAIRS[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";
const uint32_t POWERS_OF_TEN[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

// Append the decimal form of v at q, as std::to_chars writes it. Saving
// writes four of these per record, so they are written here without a call:
// the number of digits from the highest set bit (1233 / 4096 is just above
// log10(2)), then two digits at a time from the right.
inline char* putInt(char* q, int32_t v) {
  uint32_t u = (uint32_t)v;
  if (v < 0) {
    *q++ = '-';
    u = 0u - u;
  }
  const int bits = 32 - __builtin_clz(u | 1);
  const int guess = (bits * 1233) >> 12;
  const int digits = guess + ((u | 1) >= POWERS_OF_TEN[guess]);
  char* at = q + digits;
  while (u >= 100) {
    at -= 2;
    std::memcpy(at, DIGIT_PAIRS + 2 * (u % 100), 2);
    u /= 100;
  }
  if (u >= 10)
    std::memcpy(at - 2, DIGIT_PAIRS + 2 * u, 2);
  else
    at[-1] = (char)('0' + u);
  return q + digits;
}

char* putRect(char* q, const Rect& r) {
  q = putInt(q, r.x);
  *q++ = ',';
  q = putInt(q, r.y);
  *q++ = ',';
  q = putInt(q, r.w);
  *q++ = ',';
  return putInt(q, r.h);
}

// The lines of one layer, gathered in a block and handed to the stream a
// block at a time.
class RecordBlock {
public:
  explicit RecordBlock(std::ostream& s) : out(s) {}
  // Write one record line; false when the stream failed.
  // withValue: the line ends in ",value" (the options layer's lines).
  bool put(const Rect& r, const char* code, size_t codeLength, bool withValue, int32_t value) {
    if (q > full && !flush()) return false;
    std::memcpy(q, "REC(", 4);
    q = putRect(q + 4, r);
    *q++ = ',';
    if (codeLength > SHORT_CODE) {
      if (!flush()) return false;
      out.write(code, (std::streamsize)codeLength);
    } else if (code == padded) {
      std::memcpy(q, padded, SHORT_CODE);  // a fixed size is copied without a call
      q += codeLength;
    } else {
      std::memcpy(q, code, codeLength);
      q += codeLength;
    }
    if (withValue) {
      *q++ = ',';
      q = putInt(q, value);
    }
    *q++ = ')';
    *q++ = '\n';
    return true;
  }
  bool flush() {
    out.write(block, q - block);
    q = block;
    return !out.fail();
  }
  // The layer's own code, padded so that it can be copied at a fixed size.
  char padded[SHORT_CODE] = {};

private:
  std::ostream& out;
  char block[BLOCK_BYTES];
  char* const full = block + sizeof block - LINE_BYTES;
  char* q = block;
};

}  // namespace

// Objects on the unknown slot write the code field they were read with
// (ObjectOrigin::code), or the slot's own code when they have none. A
// polygon or path writes the rectangles it is cut into, if any.
bool Layer::writeRecords(std::ostream& out) const {
  if (out.fail()) return false;
  RecordBlock lines(out);
  const char* const ownCode = layerToCode(id);
  const size_t ownLength = std::strlen(ownCode);
  const char* const code = ownLength <= SHORT_CODE ? lines.padded : ownCode;
  if (ownLength <= SHORT_CODE) std::memcpy(lines.padded, ownCode, ownLength);
  uint32_t lastOrigin = 0;
  const std::string* kept = nullptr;
  std::vector<Rect> cut;
  for (GroupNode* node = first(); node; node = node->next()) {
    const std::type_info& type = typeid(*node);
    const bool withValue = id == LAYER_OPTIONS;
    int32_t value = 0;
    if (withValue) {
      if (const Opt* opt = asOpt(node, type)) value = opt->getValue();
    }
    if (id != LAYER_UNKNOWN || node->origin == 0) {
      if (isPlainRectangle(type)) {
        if (!lines.put(*node, code, ownLength, withValue, value)) return false;
        continue;
      }
    } else if (!kept || node->origin != lastOrigin) {
      lastOrigin = node->origin;
      kept = &originOf(lastOrigin).code;
    }
    const char* nodeCode = code;
    size_t codeLength = ownLength;
    if (id == LAYER_UNKNOWN && node->origin != 0 && !kept->empty()) nodeCode = kept->data(), codeLength = kept->size();
    const Rect* pieces = node;
    size_t count = 1;
    if (const Shape* shape = asShape(node, type)) {
      if (!mskRectangles(*shape, cut)) cut.clear();
      pieces = cut.data(), count = cut.size();
    }
    for (size_t k = 0; k < count; k++)
      if (!lines.put(pieces[k], nodeCode, codeLength, withValue, value)) return false;
  }
  return lines.flush();
}

// The BB line follows Rect::include's rules for all-zero boxes, but in 64
// bits: a layout may span more than 2^31 units, and its size is written as
// it is, not wrapped.
void writeLayout(std::ostream& out, const Layer layers[LAYER_COUNT]) {
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
  // The same order whatever slots the session handed out.
  for (int i : drawingOrder()) layers[i].writeRecords(out);
}

SaveStatus saveLayoutFile(const char* path, const Layer layers[LAYER_COUNT], int& errorNumber) {
  return saveSafely(path, [&](std::ostream& out) { writeLayout(out, layers); }, errorNumber);
}
