// Fuzzes the layout file reader: any input must read without a fault, the
// block-reading path must agree with the in-memory one, and what was read
// must write back and read again unchanged.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "io/LayoutFile.h"

namespace {

struct Layout {
  Layer layers[LAYER_COUNT];
  Layout() { applyStartupSettings(layers); }
  std::string write() {
    std::ostringstream out;
    writeLayout(out, layers);
    return out.str();
  }
  bool hasNegativeSize() const {
    for (const Layer& layer : layers)
      for (GroupNode* n = layer.first(); n; n = n->next())
        if (n->w < 0 || n->h < 0) return true;
    return false;
  }
};

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  Layout memory;
  ReadResult r = readLayout(text, size, memory.layers);
  check(!r.ioError && r.records >= 0 && r.skippedLines >= 0);
  check((r.skippedLines == 0) == (r.firstSkippedLine == 0));
  std::string first = memory.write();

  Layout blocks;
  std::istringstream in(std::string(text, size));
  ReadResult rb = readLayout(in, blocks.layers, 1 + size % 5);
  check(rb.records == r.records && rb.skippedLines == r.skippedLines &&
        rb.firstSkippedLine == r.firstSkippedLine);
  check(blocks.write() == first);

  // A size of -2^31 has no positive form; such an object moves when read again.
  if (memory.hasNegativeSize()) return 0;
  Layout again;
  ReadResult ra = readLayout(first.data(), first.size(), again.layers);
  check(ra.records == r.records && ra.skippedLines == 0);
  check(again.write() == first);
  return 0;
}
