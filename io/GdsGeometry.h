#ifndef KIVO_GDSGEOMETRY_H
#define KIVO_GDSGEOMETRY_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// The geometry of GDSII elements in 64-bit coordinates: placements and the
// rectangles that shapes are cut into.

struct GdsPoint {
  int64_t x, y;
};

// Covers x0..x1 and y0..y1 (x0 <= x1, y0 <= y1).
struct GdsBox {
  int64_t x0, y0, x1, y1;
};

// Offsets beyond this are held at it, so that sums of a few of them never
// overflow; anything this far out is outside the 32-bit range anyway.
const int64_t GDS_OFFSET_CLAMP = (int64_t)1 << 61;
inline int64_t clampOffset(int64_t v) {
  return std::max(-GDS_OFFSET_CLAMP, std::min(GDS_OFFSET_CLAMP, v));
}

// Reflect about x (orient & 4), then rotate by orient & 3 quarter turns
// counter-clockwise, then translate.
struct GdsTransform {
  int a = 1, b = 0, c = 0, d = 1;
  int64_t tx = 0, ty = 0;
  static GdsTransform of(int orient, int64_t x, int64_t y);
  // This transform applied after inner.
  GdsTransform after(const GdsTransform& inner) const;
  GdsBox apply(const GdsBox& r) const {
    int64_t x0 = a * r.x0 + b * r.y0 + tx, y0 = c * r.x0 + d * r.y0 + ty;
    int64_t x1 = a * r.x1 + b * r.y1 + tx, y1 = c * r.x1 + d * r.y1 + ty;
    return {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
  }
};

// An axis-parallel rectangle given as four corners (a fifth repeating the
// first), zero-sized ones included.
bool rectangleOf(const GdsPoint* p, size_t n, GdsBox& box);

// Cut a rectilinear polygon (the last point may repeat the first) into
// rectangles covering its inside without overlaps; false when an edge is
// not axis-parallel. Inside is where the winding number is not zero, as
// GDSII tools merge shapes: a loop wound twice fills, it is no hole.
bool polygonRects(const GdsPoint* p, size_t n, std::vector<GdsBox>& out);

// Cut the union of rectangles into rectangles without overlaps; empty
// ones are dropped. in is reordered.
void unionRects(std::vector<GdsBox>& in, std::vector<GdsBox>& out);

// The outline of a path along the axes, type 0 (flush ends) or 2 (ends
// extended by half the width), positive even width: each segment widened by
// half the width on both sides and, at bends, extended by it so that the
// corner is filled. False for anything else.
bool pathRects(const GdsPoint* p, size_t n, int pathType, int32_t width, std::vector<GdsBox>& out);

#endif
