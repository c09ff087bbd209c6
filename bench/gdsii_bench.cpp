// GDSII read and save speed, and whether the cost stays linear.
//
// For files of 10^5 to 10^7 BOUNDARY rectangles (saved by Kivo into /tmp)
// it prints, per size: the read into fourteen layers (readGdsiiFile, best of
// three, the first read included in the figures), the save (saveGdsiiFile:
// write, sync, rename, best of three), objects per second and nanoseconds
// per object (flat when the cost is linear); "write s" is the writer alone,
// into a stream that discards the bytes. Targets for 10^6 rectangles:
// read <= 0.3 s, save <= 0.3 s. Then a cell of many texts placed by an
// array, and a large layer map.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
#include <string>

#include "io/Gdsii.h"
#include "model/Cell.h"

namespace {

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Discards what is written: the writer's own cost, without the disk.
class NullBuffer : public std::streambuf {
protected:
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

// One rectangle and 10^5 texts in a cell that a 1000 x 100 array places:
// 10^5 objects from 3.8 MB, where reading the cell for every placement
// would visit 10^10 elements.
std::string textsInAnArray() {
  GdsRecordWriter w;
  const std::tm tm{};
  w.int2(GDS_HEADER, 600);
  w.dates(GDS_BGNLIB, tm);
  w.string(GDS_LIBNAME, "BENCH");
  w.head(GDS_UNITS, GDS_REAL8, 16);
  for (double v : {0.001, 1e-9}) w.put32((uint32_t)(toGdsReal(v) >> 32)), w.put32((uint32_t)toGdsReal(v));
  w.dates(GDS_BGNSTR, tm);
  w.string(GDS_STRNAME, "CELL");
  const int32_t square[10] = {0, 0, 10, 0, 10, 10, 0, 10, 0, 0};
  w.plainBoundary(1, 0, square);
  for (int i = 0; i < 100000; i++) {
    w.empty(GDS_TEXT);
    w.int2(GDS_LAYER, 1);
    w.int2(GDS_TEXTTYPE, 0);
    w.head(GDS_XY, GDS_INT4, 8);
    w.put32((uint32_t)i), w.put32(0);
    w.string(GDS_STRING, "VDD");
    w.empty(GDS_ENDEL);
  }
  w.empty(GDS_ENDSTR);
  w.dates(GDS_BGNSTR, tm);
  w.string(GDS_STRNAME, "TOP");
  w.empty(GDS_AREF);
  w.string(GDS_SNAME, "CELL");
  w.head(GDS_COLROW, GDS_INT2, 4);
  w.put16(1000), w.put16(100);
  w.head(GDS_XY, GDS_INT4, 24);
  for (uint32_t v : {0u, 0u, 20000u, 0u, 0u, 2000u}) w.put32(v);
  w.empty(GDS_ENDEL);
  w.empty(GDS_ENDSTR);
  w.empty(GDS_ENDLIB);
  return w.bytes();
}

std::unique_ptr<Layer[]> freshLayers() {
  auto layers = std::make_unique<Layer[]>(LAYER_COUNT);
  applyStartupSettings(layers.get());
  return layers;
}

}  // namespace

int main() {
  std::printf("%9s %8s %8s %8s %8s %12s %9s %9s\n", "objects", "MB", "read s", "write s", "save s",
              "objects/s r", "ns/obj r", "ns/obj s");
  for (long n : {100000L, 1000000L, 10000000L}) {
    const std::string path = "/tmp/kivo-gdsii-bench-" + std::to_string(n) + ".gds";
    double read = 1e9, write = 1e9, save = 1e9;
    long bytes = 0;
    {
      // n rectangles spread over every slot, as a chip has them.
      auto layers = freshLayers();
      std::mt19937 rng(42);
      for (long i = 0; i < n; i++) {
        int slot = 1 + (int)(rng() % 13);
        GroupNode* node = newLayoutObject(slot);
        node->setRect((int)(rng() % 5000000), (int)(rng() % 5000000), (int)(rng() % 2000) + 1,
                      (int)(rng() % 2000) + 1);
        layers[slot].apply(OP_ADD, MATCH_ALL, node);
      }
      for (int i = 0; i < 3; i++) {
        NullBuffer discard;
        std::ostream sink(&discard);
        double start = now();
        writeGdsii(sink, layers.get(), activeLayerMap(), GdsLibraryInfo(), 0);
        write = std::min(write, now() - start);
      }
      for (int i = 0; i < 3; i++) {
        int error = 0;
        double start = now();
        SaveStatus status =
            saveGdsiiFile(path.c_str(), layers.get(), activeLayerMap(), GdsLibraryInfo(), error);
        if (status != SAVE_OK) {
          std::fprintf(stderr, "save failed: errno %d\n", error);
          return 1;
        }
        save = std::min(save, now() - start);
      }
    }
    for (int i = 0; i < 3; i++) {
      auto layers = freshLayers();
      GdsLibraryInfo info;
      GdsReadResult result;
      double start = now();
      if (readGdsiiFile(path.c_str(), activeLayerMap(), layers.get(), info, result) != READ_OK ||
          !result.error.empty() || (long)result.objects != n) {
        std::fprintf(stderr, "read failed: %s\n", result.errorText().c_str());
        return 1;
      }
      read = std::min(read, now() - start);
    }
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f && std::fseek(f, 0, SEEK_END) == 0) bytes = std::ftell(f);
    if (f) std::fclose(f);
    std::printf("%9ld %8.1f %8.3f %8.3f %8.3f %12.3g %9.1f %9.1f\n", n, bytes / 1e6, read, write,
                save, n / read,
                read * 1e9 / n, save * 1e9 / n);
    std::fflush(stdout);
    unlink(path.c_str());
  }
  {
    const std::string bytes = textsInAnArray();
    double read = 1e9;
    for (int i = 0; i < 3; i++) {
      auto layers = freshLayers();
      GdsLibraryInfo info;
      double start = now();
      CellLibrary cells;
      GdsReadResult result = readGdsii((const unsigned char*)bytes.data(), bytes.size(),
                                       activeLayerMap(), layers.get(), info, GdsReadLimits(), &cells);
      if (!result.error.empty() || cells.size() != 2) {
        std::fprintf(stderr, "array read failed: %s\n", result.errorText().c_str());
        return 1;
      }
      read = std::min(read, now() - start);
    }
    std::printf("10^5 texts in a cell placed 1000 x 100 (%.1f MB): read with its cells in %.3f s\n",
                bytes.size() / 1e6, read);
  }
  {
    // A map of 60,000 lines, and lookups alternating between two of its pairs
    // as the objects of a mixed layer do.
    std::string text;
    for (int i = 0; i < 60000; i++) text += std::to_string(i) + "/" + std::to_string(i % 7) + " ME\n";
    LayerMap map;
    std::string error;
    double start = now();
    const bool parsed = map.parse(text, error);
    const double parse = now() - start;
    long hits = 0;
    start = now();
    for (int i = 0; i < 100000; i++) hits += map.slotOf(i % 2 ? 59999 : 1, i % 2 ? 59999 % 7 : 1) == LAYER_METAL1;
    std::printf("layer map: %s 60000 lines in %.3f s, %ld alternating lookups in %.4f s\n",
                parsed ? "parsed" : "FAILED", parse, hits, now() - start);
  }
  return 0;
}
