#ifndef KIVO_SELECTIONDASHES_H
#define KIVO_SELECTIONDASHES_H

// The dashed outline of a selected box, as whole pixels: which pixels it
// lights follows from the box's corners and the view alone, so that the
// plain painter (one quad per dash) and the fast one (mask bits set
// directly) light the same pixels without asking the rasteriser, and a
// view of 10^5 selected wires costs no line drawing at all.
//
// The outline runs on the ring of pixels that the box touches: columns
// c0..c1 and rows r0..r1 (rows from the bottom), where c0 holds the left
// edge and c1 the pixel just left of the right edge (a right edge on a
// pixel boundary leaves the pixel beyond it out), rows alike. The ring is
// walked from its lower-left pixel right, up, left and down again, one step
// per pixel, and a step k lights its pixel when bit k / DASH_REPEAT of
// DASH_PATTERN is set, as OpenGL's line stipple counts along a polygon's
// edges. A box within one pixel has no steps: it lights nothing.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "canvas/PixelMap.h"
#include "model/GroupNode.h"
#include "model/Rect.h"

#include <GL/gl.h>

// The dash of selection outlines and of the selecting band: each bit of
// the pattern covers 4 pixels, on and off in turn, so 4 pixels drawn and 4
// left out, wide enough to read as dashes at any zoom.
const GLint DASH_REPEAT = 4;
const GLushort DASH_PATTERN = 0xAAAA;

// Steps of the walk before the first lit one: rings shorter than that
// light nothing and are passed over at once.
const int64_t DASH_FIRST_ON = DASH_REPEAT * __builtin_ctz(DASH_PATTERN);

// Window coordinates are clamped to +/-2^40 pixels before they become
// integers: far beyond any canvas, far within int64_t.
const double DASH_COORD_LIMIT = 1099511627776.0;

namespace dashes {

// One side of the ring: from pixel (x, y), n steps in direction (dx, dy),
// the first one step k0 of the walk; run(x0, y0, x1, y1) for each lit run
// on the canvas, corners inclusive.
template <typename Run>
inline void side(int64_t x, int64_t y, int dx, int dy, int64_t n, int64_t k0, int width, int height, Run& run) {
  int64_t lo = 0, hi = n;  // steps t in [lo, hi) on the canvas
  auto limit = [&](int64_t s, int d, int size) {
    if (d == 0) {
      if (s < 0 || s >= size) hi = lo;
    } else if (d > 0) {
      lo = std::max(lo, -s), hi = std::min(hi, size - s);
    } else {
      lo = std::max(lo, s - size + 1), hi = std::min(hi, s + 1);
    }
  };
  limit(x, dx, width);
  limit(y, dy, height);
  for (int64_t t = lo; t < hi;) {
    const int64_t k = k0 + t, end = std::min(hi, t + DASH_REPEAT - k % DASH_REPEAT);
    if ((DASH_PATTERN >> (k / DASH_REPEAT % 16)) & 1) {
      int64_t ax = x + dx * t, ay = y + dy * t, bx = x + dx * (end - 1), by = y + dy * (end - 1);
      run((int)std::min(ax, bx), (int)std::min(ay, by), (int)std::max(ax, bx), (int)std::max(ay, by));
    }
    t = end;
  }
}

}  // namespace dashes

// Calls run(x0, y0, x1, y1) for every dash of the box's outline that lies
// on the canvas: pixels x0..x1 of rows y0..y1 (one of them a single pixel
// wide), rows from the bottom.
template <typename Run>
inline void forEachDash(const PixelMap& m, const ObjectCorners& corners, Run run) {
  if (!m.usable) return;
  const double x0 = ((double)drawCoord(corners.left(), m.baseX) - m.left) * m.kx;
  const double x1 = ((double)drawCoord(corners.right(), m.baseX) - m.left) * m.kx;
  const double y0 = ((double)drawCoord(corners.low(), m.baseY) - m.bottom) * m.ky;
  const double y1 = ((double)drawCoord(corners.high(), m.baseY) - m.bottom) * m.ky;
  if (!(x1 >= 0 && y1 >= 0 && x0 < m.width && y0 < m.height)) return;
  // Less than a pixel wide and high (most boxes of a chip shown whole): at
  // most one step a side.
  static_assert(DASH_FIRST_ON >= 4, "a ring of four steps lights a pixel");
  if (x1 - x0 < 1 && y1 - y0 < 1) return;
  auto whole = [](double v) { return (int64_t)std::min(std::max(v, -DASH_COORD_LIMIT), DASH_COORD_LIMIT); };
  const int64_t c0 = whole(std::floor(x0)), r0 = whole(std::floor(y0));
  const int64_t c1 = std::max(c0, whole(std::ceil(x1)) - 1), r1 = std::max(r0, whole(std::ceil(y1)) - 1);
  const int64_t w = c1 - c0, h = r1 - r0;
  if (2 * (w + h) <= DASH_FIRST_ON) return;
  dashes::side(c0, r0, 1, 0, w, 0, m.width, m.height, run);
  dashes::side(c1, r0, 0, 1, h, w, m.width, m.height, run);
  dashes::side(c1, r1, -1, 0, w, w + h, m.width, m.height, run);
  dashes::side(c0, r1, 0, -1, h, 2 * w + h, m.width, m.height, run);
}

// The quad in drawing coordinates that covers pixels x0..x1 of rows y0..y1
// exactly: its edges lie on pixel boundaries, half a pixel from every
// centre, so no rounding of the transform can move a centre across them.
struct DashQuad {
  float x0, y0, x1, y1;
};
inline DashQuad dashQuad(const PixelMap& m, int x0, int y0, int x1, int y1) {
  return {(float)(m.left + x0 / m.kx), (float)(m.bottom + y0 / m.ky), (float)(m.left + (x1 + 1) / m.kx),
          (float)(m.bottom + (y1 + 1) / m.ky)};
}

#endif
