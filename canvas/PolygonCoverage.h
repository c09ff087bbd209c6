#ifndef KIVO_POLYGONCOVERAGE_H
#define KIVO_POLYGONCOVERAGE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "canvas/ViewTransform.h"
#include "model/Contours.h"

// Pixels x0..x1 (both included) of row y, counted as OpenGL counts window
// pixels: x from the canvas's left edge, y from its bottom edge.
struct PixelSpan {
  int y, x0, x1;
};

// Vertices land on a grid of 1/2^COVERAGE_SUBPIXEL_BITS pixel, as they do in
// a rasteriser (llvmpipe snaps to 1/256 too): an edge that close to a pixel
// centre decides that pixel by the tie rule below, which is also where
// OpenGL leaves a rectangle's pixels to its own rules (PixelMap's margins
// are wider than half a grid step).
const int COVERAGE_SUBPIXEL_BITS = 8;

// Which pixel centres of a view a set of closed contours contains, under
// the non-zero winding rule, with any edge angle and self-touching or
// self-crossing contours allowed. Both painters fill exactly these spans.
//
// Rule at edges: a centre lying exactly on the boundary is inside when the
// points just right of it (and, on a horizontal edge, just above it) are
// inside. So a rectangle's left and bottom edges include their centres and
// its right and top edges do not: half-open spans. Mesa's llvmpipe fills
// a window's quads and triangles the same way (centres on left edges of
// any slope and on bottom edges are in, on right and top edges out), so a
// contour that is a rectangle covers the rectangle's own pixels. Two shapes
// that share an edge never both take a centre on it.
//
// Arithmetic: each vertex's window position is computed once in double
// from its exact offset to the view's whole-unit base and rounded to the
// grid (64-bit integers, halves rounding up). Everything after that is
// exact integer arithmetic, 64-bit where the numbers are small (the usual
// case) and 128-bit where a far vertex makes them large: the answer for the
// snapped contours never depends on further rounding, and the snap itself
// only on IEEE double arithmetic, the same on every machine and for a
// layout moved with its view by whole units.
class PolygonCoverage {
public:
  explicit PolygonCoverage(const ViewTransform& view);

  // Append the covered spans of the contours, in rows from bottom to top,
  // each row's spans left to right and apart from each other. The contours'
  // coordinates are in 1/unitsPerUnit layout units (1 for polygons, 2 for
  // path outlines).
  void cover(const Contours& contours, int unitsPerUnit, std::vector<PixelSpan>& out);
  void cover(const FinePoint* points, const uint32_t* sizes, size_t contours, int unitsPerUnit,
             std::vector<PixelSpan>& out);

  // Where a layout coordinate (in 1/unitsPerUnit units) lands on the grid.
  int64_t gridX(int64_t x, int unitsPerUnit) const { return snap(x, unitsPerUnit, baseX, fractionX); }
  int64_t gridY(int64_t y, int unitsPerUnit) const { return snap(y, unitsPerUnit, baseY, fractionY); }

private:
  struct Edge {
    int64_t xLow, yLow, dx, dy;  // lower end, and the way up to the upper end (dy > 0)
    int firstRow, endRow;        // rows first..end-1 cross it
    int direction;               // +1 going up, -1 going down
  };
  struct Crossing {
    int from;  // pixels from this one on lie right of the crossing
    int direction;
  };

  bool mayCover(const FinePoint* points, const uint32_t* sizes, size_t contours, int unitsPerUnit) const;
  int64_t snap(int64_t v, int unitsPerUnit, int64_t base, double fraction) const;
  int crossingColumn(const Edge& e, int row) const;

  int64_t baseX, baseY;
  double fractionX, fractionY;  // the origin above the base, in units
  double scale;
  int width, height;
  std::vector<Edge> edges, active;
  std::vector<Crossing> crossings;
};

#endif
