// Fuzzes the layout file reader: any input must read without a fault, the
// block-reading path must agree with the in-memory one, and what was read
// (kept unknown codes included) must write back and read again unchanged.
#include <algorithm>
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
  check(r.unknownCodes.size() == (size_t)std::min(r.unknownCodeCount, 10L) &&
        r.unknownCodeCount <= r.unknownObjects && r.unknownObjects <= r.records);
  std::string first = memory.write();

  Layout blocks;
  std::istringstream in(std::string(text, size));
  ReadResult rb = readLayout(in, blocks.layers, 1 + size % 5);
  check(rb.records == r.records && rb.skippedLines == r.skippedLines &&
        rb.firstSkippedLine == r.firstSkippedLine && rb.unknownCodes == r.unknownCodes);
  check(blocks.write() == first);

  // Every object read, its kept code included, reads back the same.
  Layout again;
  ReadResult ra = readLayout(first.data(), first.size(), again.layers);
  check(ra.records == r.records && ra.skippedLines == 0 && ra.unknownObjects == r.unknownObjects);
  check(again.write() == first);
  return 0;
}
