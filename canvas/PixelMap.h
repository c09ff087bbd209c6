#ifndef KIVO_PIXELMAP_H
#define KIVO_PIXELMAP_H

// Where drawing coordinates land among the canvas's pixel centres, and which
// pixels a box covers for certain, whatever the rasteriser's rounding: the
// one place that arithmetic lives, for culling, for the pixels the painter
// sets itself and for the table of edges.

#include <cmath>
#include <cstdint>
#include <vector>

#include "canvas/ViewTransform.h"
#include "model/GroupNode.h"

// Where drawing coordinates land in window pixels, with error margins wide
// enough to cover the float arithmetic of the OpenGL pipeline.
struct PixelMap {
  bool usable = false;
  int64_t baseX = 0, baseY = 0;
  double left = 0, bottom = 0, kx = 0, ky = 0;
  double fillMarginX = 0, fillMarginY = 0;  // sub-pixel: snapping, rounding
  double lineMarginX = 0, lineMarginY = 0;  // an outline reaches a pixel further
  double sureMarginX = 0, sureMarginY = 0;  // for sureSpan and axisSpan
  int width = 0, height = 0;
};

// How far a rasteriser may move a vertex, in pixels, unless it is known to
// move it less: generous for any implementation of OpenGL 1.1.
const double ANY_SNAP = 1.0 / 16;

PixelMap pixelMapFor(const ViewTransform& view, double snap = ANY_SNAP);

// The pixel centre at or below window coordinate a >= 0 (centre k lies at
// k + 0.5; -1 below the first), and how far a lies above it, in [0, 1).
inline int centreBelow(double a, double& above) {
  double c = a - 0.5;
  int f = (int)(c + 1.0) - 1;  // the cast floors: c + 1 is positive
  above = c - f;
  return f;
}

// Whether a coordinate that far above a centre lies within margin of one:
// only the rasteriser's snapping and tie rules decide there.
inline bool nearCentre(double above, double margin) { return above <= margin || above >= 1 - margin; }

// True when some pixel centre of 0..n-1 lies within [a - margin, b + margin].
inline bool spansPixelCentre(double a, double b, double margin, int n) {
  double lo = std::ceil(a - margin - 0.5), hi = std::floor(b + margin - 0.5);
  if (lo < 0) lo = 0;
  if (hi > n - 1) hi = n - 1;
  return lo <= hi;
}

// The pixel centres lo..hi (in window coordinates, lo > hi for none) that
// the span a..b covers for certain: false when the span leaves the canvas
// (clipping would add vertices) or an end lies near a centre.
inline bool sureSpan(double a, double b, double margin, int n, int& lo, int& hi) {
  if (!(a >= 0 && b <= n)) return false;
  double ra, rb;
  int fa = centreBelow(a, ra), fb = centreBelow(b, rb);
  if (nearCentre(ra, margin) || nearCentre(rb, margin)) return false;
  lo = fa + 1;
  hi = fb;
  return true;
}

// One axis of a box in view: the centres lo..hi it covers for certain, and
// the centre its low and high end lie too near to tell (-1: none). False
// when the span leaves the canvas.
struct AxisSpan {
  int lo, hi, nearLo, nearHi;
};
inline bool axisSpan(double a, double b, double margin, int n, AxisSpan& s) {
  if (!(a >= 0 && b <= n)) return false;
  double ra, rb;
  int fa = centreBelow(a, ra), fb = centreBelow(b, rb);
  s.nearLo = ra <= margin ? fa : ra >= 1 - margin ? fa + 1 : -1;
  s.nearHi = rb <= margin ? fb : rb >= 1 - margin ? fb + 1 : -1;
  s.lo = s.nearLo >= 0 ? s.nearLo + 1 : fa + 1;
  s.hi = s.nearHi >= 0 ? s.nearHi - 1 : fb;
  if (s.nearLo >= n) s.nearLo = -1;
  if (s.nearHi >= n) s.nearHi = -1;
  return true;
}

inline bool overlapsCanvas(double a, double b, double margin, int n) {
  return b + margin >= 0 && a - margin <= n;
}

// Could a filled quad with these layout bounds put a fragment on the canvas?
inline bool fillVisible(const PixelMap& m, float x0, float y0, float x1, float y1) {
  return spansPixelCentre((x0 - m.left) * m.kx, (x1 - m.left) * m.kx, m.fillMarginX, m.width) &&
         spansPixelCentre((y0 - m.bottom) * m.ky, (y1 - m.bottom) * m.ky, m.fillMarginY, m.height);
}

// Could an outline with these layout bounds put a fragment on the canvas?
inline bool lineVisible(const PixelMap& m, float x0, float y0, float x1, float y1) {
  return overlapsCanvas((x0 - m.left) * m.kx, (x1 - m.left) * m.kx, m.lineMarginX, m.width) &&
         overlapsCanvas((y0 - m.bottom) * m.ky, (y1 - m.bottom) * m.ky, m.lineMarginY, m.height);
}

// Where each whole-unit coordinate lands among the pixel centres of one
// axis, for the span of the layers' coordinates when that is small beside
// the number of boxes (a layout shown whole): an entry holds the centre
// below the coordinate and whether the coordinate is in the canvas and
// clear of the centres, computed as sureSpan computes them, so a box's four
// entries give sureSpan's answer without its arithmetic.
struct EdgeTable {
  enum { FROM_LEFT = 1, TO_RIGHT = 2, NEAR = 4, SHIFT = 3 };
  int64_t xFirst = 0, yFirst = 0;
  std::vector<int32_t> xs, ys;

  // Built where the spans hold at most 1/BOXES_PER_ENTRY as many
  // coordinates as there are boxes; empty otherwise.
  EdgeTable(const PixelMap& m, const Rect& bounds, size_t boxes);
  // sureSpan on both axes of a box, when its coordinates are in the table.
  bool sure(const ObjectCorners& c, int& x0, int& x1, int& y0, int& y1) const {
    uint64_t l = (uint64_t)((int64_t)c.left() - xFirst), r = (uint64_t)((int64_t)c.right() - xFirst);
    uint64_t b = (uint64_t)((int64_t)c.low() - yFirst), t = (uint64_t)((int64_t)c.high() - yFirst);
    if (r >= xs.size() || l >= xs.size() || t >= ys.size() || b >= ys.size()) return false;
    int32_t el = xs[l], er = xs[r], eb = ys[b], et = ys[t];
    if (!(el & eb & FROM_LEFT) || !(er & et & TO_RIGHT) || ((el | er | eb | et) & NEAR)) return false;
    x0 = (el >> SHIFT) + 1, x1 = er >> SHIFT, y0 = (eb >> SHIFT) + 1, y1 = et >> SHIFT;
    return true;
  }
};

#endif
