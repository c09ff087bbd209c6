#ifndef KIVO_BENCH_CELLDESIGN_H
#define KIVO_BENCH_CELLDESIGN_H

// A hierarchical GDSII design from the real SkyWater cells, as placers
// build them: a block of 8 rows of cells side by side, every other row
// mirrored about x, and the block arrayed N x N (one AREF) until the
// flattened count reaches a target. The cells' own structures are copied
// record for record from their files, but for their texts.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "io/Gdsii.h"
#include "io/LayerMap.h"
#include "model/Cell.h"

namespace celldesign {

const int ROWS = 8;
// The standard cells' site row height, in database units (2.72 um).
const int32_t ROW_HEIGHT = 2720;
// prBoundary, the layer/datatype of the cells' outlines: they abut on it.
const int BOUNDARY_LAYER = 236, BOUNDARY_TYPE = 0;

inline void record(std::string& out, int type, int dataType, const std::string& data = std::string()) {
  size_t n = 4 + data.size();
  out += (char)(n >> 8), out += (char)(n & 255), out += (char)type, out += (char)dataType;
  out += data;
}
inline std::string int2(int v) { return std::string{(char)((v >> 8) & 255), (char)(v & 255)}; }
inline std::string int4(int64_t v) {
  uint32_t u = (uint32_t)v;
  return std::string{(char)(u >> 24), (char)((u >> 16) & 255), (char)((u >> 8) & 255), (char)(u & 255)};
}
inline std::string text(const std::string& s) { return s.size() % 2 ? s + '\0' : s; }

struct SourceCell {
  std::string name, records;  // its structures, BGNSTR to ENDSTR
  int64_t width = 0;
  uint64_t objects = 0;  // as Kivo reads it with the map, flattened
};

// The cells of the folder, each file's structures and the main one's width
// (from its outline) and flattened object count; units gets the UNITS record.
inline std::vector<SourceCell> readCells(const std::string& folder, const LayerMap& map, std::string& units) {
  std::vector<std::string> files;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (std::strstr(e->d_name, ".gds")) files.push_back(folder + "/" + e->d_name);
    closedir(d);
  }
  std::sort(files.begin(), files.end());
  std::vector<SourceCell> cells;
  for (const std::string& path : files) {
    std::ifstream in(path, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    SourceCell cell;
    int64_t x0 = INT64_MAX, x1 = INT64_MIN;
    bool inStructure = false, outline = false, label = false;
    int layer = -1, dataType = -1;
    for (size_t at = 0; at + 4 <= data.size();) {
      size_t n = (uint8_t)data[at] << 8 | (uint8_t)data[at + 1];
      int type = (uint8_t)data[at + 2];
      if (n < 4 || at + n > data.size()) break;
      const char* body = data.data() + at + 4;
      if (type == 0x03) units = data.substr(at, n);
      if (type == 0x05) inStructure = true;
      if (type == 0x0C) label = true;  // texts are left out: Kivo would report them skipped
      if (inStructure && !label) cell.records.append(data, at, n);
      if (type == 0x11) label = false;
      if (type == 0x06 && cell.name.empty()) cell.name = std::string(body, strnlen(body, n - 4));
      if (type == 0x07) inStructure = false;
      if (type == 0x08) outline = true, layer = dataType = -1;
      if (type == 0x0D) layer = (uint8_t)body[0] << 8 | (uint8_t)body[1];
      if (type == 0x0E) dataType = (uint8_t)body[0] << 8 | (uint8_t)body[1];
      if (type == 0x10 && outline && layer == BOUNDARY_LAYER && dataType == BOUNDARY_TYPE)
        for (size_t k = 0; k + 8 <= n - 4; k += 8) {
          int32_t x = (int32_t)((uint8_t)body[k] << 24 | (uint8_t)body[k + 1] << 16 | (uint8_t)body[k + 2] << 8 |
                                (uint8_t)body[k + 3]);
          x0 = std::min<int64_t>(x0, x), x1 = std::max<int64_t>(x1, x);
        }
      if (type == 0x11) outline = false;
      if (type == 0x04) break;
      at += n;
    }
    cell.width = x1 > x0 ? x1 - x0 : 0;
    Layer layers[LAYER_COUNT];
    GdsLibraryInfo info;
    GdsReadResult result;
    CellLibrary library;
    readGdsiiFile(path.c_str(), map, layers, info, result, nullptr, &library);
    // The file's cell is a leaf: the read put its objects into the layers.
    for (const Layer& l : layers) cell.objects += l.size();
    if (cell.width > 0 && cell.objects > 0) cells.push_back(cell);
  }
  return cells;
}

// Write the design of at least target flattened objects to path; returns
// the flattened count (0 when the cells could not be read).
inline uint64_t writeDesign(const std::string& path, const std::string& folder, const LayerMap& map,
                            uint64_t target) {
  std::string units;
  std::vector<SourceCell> cells = readCells(folder, map, units);
  if (cells.empty() || units.empty()) return 0;
  std::string out, block, top;
  record(out, 0x00, 2, int2(600));
  std::string dates;
  for (int k = 0; k < 12; k++) dates += int2(1);
  record(out, 0x01, 2, dates);
  record(out, 0x02, 6, text("BENCH"));
  out += units;
  for (const SourceCell& c : cells) out += c.records;
  // The block: row r holds every cell once, starting at cell r.
  uint64_t perBlock = 0;
  int64_t width = 0;
  record(block, 0x05, 2, dates);
  record(block, 0x06, 6, text("BLOCK"));
  for (int r = 0; r < ROWS; r++) {
    int64_t x = 0;
    bool mirrored = r % 2 == 1;
    for (size_t k = 0; k < cells.size(); k++) {
      const SourceCell& c = cells[(k + r) % cells.size()];
      record(block, 0x0A, 0);
      record(block, 0x12, 6, text(c.name));
      if (mirrored) record(block, 0x1A, 1, int2(0x8000));
      record(block, 0x10, 3, int4(x) + int4((int64_t)ROW_HEIGHT * (r + (mirrored ? 1 : 0))));
      record(block, 0x11, 0);
      x += c.width;
      perBlock += c.objects;
    }
    width = std::max(width, x);
  }
  record(block, 0x07, 0);
  int n = std::max(1, (int)std::ceil(std::sqrt((double)target / (double)perBlock)));
  int64_t height = (int64_t)ROW_HEIGHT * ROWS;
  record(top, 0x05, 2, dates);
  record(top, 0x06, 6, text("TOP"));
  record(top, 0x0B, 0);
  record(top, 0x12, 6, text("BLOCK"));
  record(top, 0x13, 2, int2(n) + int2(n));
  record(top, 0x10, 3, int4(0) + int4(0) + int4(width * n) + int4(0) + int4(0) + int4(height * n));
  record(top, 0x11, 0);
  record(top, 0x07, 0);
  out += block + top;
  record(out, 0x04, 0);
  std::ofstream file(path, std::ios::binary);
  file << out;
  return file ? perBlock * (uint64_t)n * (uint64_t)n : 0;
}

}  // namespace celldesign

#endif
