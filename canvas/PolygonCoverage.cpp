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

// The nearest integer, halves rounding up, without a library call: the cast
// truncates, and the fraction left is exact (beyond 2^52 there is none).
int64_t nearest(double g) {
  int64_t r = (int64_t)g;
  double fraction = g - (double)r;
  return fraction >= 0.5 ? r + 1 : fraction < -0.5 ? r - 1 : r;
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
  return nearest(g);
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

// Whether the box of the points holds a pixel centre of the canvas that
// the rule could take: centres on its left or bottom edge but not on its
// right or top one. Most shapes of a frame are off the canvas or smaller
// than a pixel, and this answers for them at the cost of four snaps.
bool PolygonCoverage::mayCover(const FinePoint* points, const uint32_t* sizes, size_t contours,
                               int unitsPerUnit) const {
  size_t n = 0;
  for (size_t c = 0; c < contours; c++) n += sizes[c];
  if (n == 0) return false;
  int64_t x0 = points[0].x, y0 = points[0].y, x1 = x0, y1 = y0;
  for (size_t i = 1; i < n; i++) {
    x0 = std::min(x0, points[i].x), x1 = std::max(x1, points[i].x);
    y0 = std::min(y0, points[i].y), y1 = std::max(y1, points[i].y);
  }
  // The snap never reverses the order of two coordinates.
  int64_t firstColumn = ceilDiv<int64_t>(gridX(x0, unitsPerUnit) - HALF, GRID);
  int64_t endColumn = ceilDiv<int64_t>(gridX(x1, unitsPerUnit) - HALF, GRID);
  int64_t firstRow = ceilDiv<int64_t>(gridY(y0, unitsPerUnit) - HALF, GRID);
  int64_t endRow = ceilDiv<int64_t>(gridY(y1, unitsPerUnit) - HALF, GRID);
  return std::max<int64_t>(firstColumn, 0) < std::min<int64_t>(endColumn, width) &&
         std::max<int64_t>(firstRow, 0) < std::min<int64_t>(endRow, height);
}

void PolygonCoverage::cover(const Contours& contours, int unitsPerUnit, std::vector<PixelSpan>& out) {
  cover(contours.points.data(), contours.sizes.data(), contours.sizes.size(), unitsPerUnit, out);
}

void PolygonCoverage::cover(const FinePoint* points, const uint32_t* sizes, size_t contours, int unitsPerUnit,
                            std::vector<PixelSpan>& out) {
  if (width == 0 || height == 0 || !(scale > 0) || unitsPerUnit <= 0) return;
  if (!mayCover(points, sizes, contours, unitsPerUnit)) return;
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
