#include "canvas/PolygonCoverage.h"

#include <algorithm>
#include <cmath>

namespace {

const int64_t GRID = int64_t(1) << COVERAGE_SUBPIXEL_BITS;  // grid steps in a pixel
const int64_t HALF = GRID / 2;                               // a pixel centre above its edge
// Window positions saturate here: far beyond any view (a layout point at
// 2^33 units from an origin at 2^40, at 80 pixels a unit, lies at 2^55
// grid steps), and the product of two still fits in 128 bits.
const double GRID_LIMIT = 1152921504606846976.0;  // 2^60
// Below this every factor of crossingColumn's products fits 64-bit sums.
const int64_t SMALL = int64_t(1) << 30;

// The least integer at or above num / den, for den > 0.
template <typename T> T ceilDiv(T num, T den) {
  T q = num / den;
  return (num % den != 0 && num > 0) ? q + 1 : q;
}

int clampToInt(int64_t v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : (int)v; }

}  // namespace

PolygonCoverage::PolygonCoverage(const ViewTransform& view) {
  double ox = std::isfinite(view.originX) ? view.originX : 0, oy = std::isfinite(view.originY) ? view.originY : 0;
  baseX = (int64_t)std::floor(ox), baseY = (int64_t)std::floor(oy);
  fractionX = ox - (double)baseX, fractionY = oy - (double)baseY;
  scale = view.scale;
  width = view.width > 0 ? view.width : 0, height = view.height > 0 ? view.height : 0;
}

int64_t PolygonCoverage::snap(int64_t v, int unitsPerUnit, int64_t base, double fraction) const {
  // Exact up to here: v and base * unitsPerUnit stay far inside 64 bits.
  int64_t offset = v - base * unitsPerUnit;
  double g = ((double)offset / unitsPerUnit - fraction) * scale * (double)GRID;
  if (!(g < GRID_LIMIT)) return std::isnan(g) ? 0 : (int64_t)GRID_LIMIT;
  if (!(g > -GRID_LIMIT)) return -(int64_t)GRID_LIMIT;
  return std::llround(g);
}

// The first pixel whose centre lies at or right of edge e in the given row:
// the crossing counts for the winding of that pixel and those after it.
int PolygonCoverage::crossingColumn(const Edge& e, int row) const {
  int64_t t = row * GRID + HALF - e.yLow, x = e.xLow - HALF;
  int64_t column;
  if (e.dy < SMALL && t < SMALL && e.dx < SMALL && e.dx > -SMALL && x < SMALL && x > -SMALL) {
    column = ceilDiv<int64_t>(x * e.dy + t * e.dx, GRID * e.dy);
  } else {
    __int128 c = ceilDiv<__int128>((__int128)x * e.dy + (__int128)t * e.dx, (__int128)GRID * e.dy);
    column = c < 0 ? -1 : c > width ? (int64_t)width + 1 : (int64_t)c;
  }
  return clampToInt(column, 0, width);
}

void PolygonCoverage::cover(const Contours& contours, int unitsPerUnit, std::vector<PixelSpan>& out) {
  cover(contours.points.data(), contours.sizes.data(), contours.sizes.size(), unitsPerUnit, out);
}

void PolygonCoverage::cover(const FinePoint* points, const uint32_t* sizes, size_t contours, int unitsPerUnit,
                            std::vector<PixelSpan>& out) {
  if (width == 0 || height == 0 || !(scale > 0) || unitsPerUnit <= 0) return;
  edges.clear();
  int lowRow = height, highRow = 0;  // rows lowRow..highRow-1 may be crossed
  for (size_t c = 0; c < contours; c++) {
    uint32_t n = sizes[c];
    if (n == 0) continue;
    int64_t px = gridX(points[n - 1].x, unitsPerUnit), py = gridY(points[n - 1].y, unitsPerUnit);
    for (uint32_t i = 0; i < n; i++) {
      int64_t x = gridX(points[i].x, unitsPerUnit), y = gridY(points[i].y, unitsPerUnit);
      if (y != py) {
        Edge e;
        bool up = y > py;
        e.xLow = up ? px : x, e.yLow = up ? py : y;
        e.dx = up ? x - px : px - x, e.dy = up ? y - py : py - y;
        e.direction = up ? 1 : -1;
        // Rows whose centre lies in [low, high): a vertex on a centre line
        // counts for the edge above it only.
        e.firstRow = clampToInt(ceilDiv<int64_t>(e.yLow - HALF, GRID), 0, height);
        e.endRow = clampToInt(ceilDiv<int64_t>(e.yLow + e.dy - HALF, GRID), 0, height);
        if (e.firstRow < e.endRow) {
          edges.push_back(e);
          lowRow = std::min(lowRow, e.firstRow), highRow = std::max(highRow, e.endRow);
        }
      }
      px = x, py = y;
    }
    points += n;
  }
  if (edges.empty()) return;
  std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.firstRow < b.firstRow; });
  active.clear();
  size_t next = 0, ownFirst = out.size();
  for (int row = lowRow; row < highRow; row++) {
    // The edges crossing this row: drop those that ended, take those that start.
    size_t kept = 0;
    for (size_t i = 0; i < active.size(); i++)
      if (active[i].endRow > row) active[kept++] = active[i];
    active.resize(kept);
    while (next < edges.size() && edges[next].firstRow <= row) active.push_back(edges[next++]);
    crossings.clear();
    for (const Edge& e : active) crossings.push_back({crossingColumn(e, row), e.direction});
    std::sort(crossings.begin(), crossings.end(), [](const Crossing& a, const Crossing& b) { return a.from < b.from; });
    int winding = 0;
    for (size_t i = 0; i < crossings.size();) {
      int from = crossings[i].from;
      for (; i < crossings.size() && crossings[i].from == from; i++) winding += crossings[i].direction;
      int to = i < crossings.size() ? crossings[i].from : width;  // the next crossing's pixel
      if (winding == 0 || from >= to) continue;
      if (out.size() > ownFirst && out.back().y == row && out.back().x1 + 1 == from) out.back().x1 = to - 1;
      else out.push_back({row, from, to - 1});
    }
  }
}
