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
  std::vector<Rect> cut;
  for (GroupNode* node = first(); node; node = node->next()) {
    // A polygon or path writes the rectangles it is cut into, if any.
    const Rect* pieces = node;
    size_t count = 1;
    if (typeid(*node) != typeid(Box) && typeid(*node) != typeid(Opt)) {
      if (const Shape* shape = dynamic_cast<const Shape*>(node)) {
        if (!mskRectangles(*shape, cut)) cut.clear();
        pieces = cut.data(), count = cut.size();
      }
    }
    for (size_t k = 0; k < count; k++) {
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
    q = putRect(q + 4, pieces[k]);
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
  }
  out.write(block, q - block);
  return !out.fail();
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
