// Fuzzes the GDSII reader: any input reads without a fault, an error leaves
// the layers and cells empty, and what was read writes, reads back and
// writes again to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "io/Gdsii.h"
#include "model/Cell.h"

namespace {

struct Doc {
  Layer layers[SLOT_COUNT];
  CellLibrary cells;
  GdsLibraryInfo info;
  uint64_t count = 0;
  Doc() { applyStartupSettings(layers); }
  GdsReadResult read(const unsigned char* data, size_t size) {
    GdsReadLimits limits;
    limits.objects = 100000;
    GdsReadResult r = readGdsii(data, size, activeLayerMap(), layers, info, limits, &cells);
    if (cells.size()) cells.cell(cells.shown).showIn(layers);
    for (uint32_t i = 0; i < cells.size(); i++) count += cells.cell(i).ownCount();
    if (count != r.objects || (!r.error.empty() && (count != 0 || cells.size() != 0))) std::abort();
    return r;
  }
  std::string write() {
    std::ostringstream out;
    writeGdsii(out, layers, activeLayerMap(), info, 0, cells.size() ? &cells : nullptr);
    return out.str();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Doc first;
  if (!first.read(data, size).error.empty()) return 0;
  std::string written = first.write();
  Doc again;
  if (!again.read((const unsigned char*)written.data(), written.size()).error.empty() ||
      again.count != first.count || again.write() != written)
    std::abort();
  return 0;
}
