#include "canvas/PixelMap.h"

#include "model/Rect.h"

PixelMap pixelMapFor(const ViewTransform& view, double snap) {
  PixelMap m;
  m.width = view.width;
  m.height = view.height;
  m.baseX = view.baseX();
  m.baseY = view.baseY();
  m.left = view.left();
  m.bottom = view.bottom();
  m.kx = view.width / (view.right() - view.left());
  m.ky = view.height / (view.top() - view.bottom());
  m.usable = std::isfinite(m.kx) && std::isfinite(m.ky) && m.kx > 0 && m.ky > 0;
  // Single-precision transforms err by a few ulps of the largest term. For
  // an edge near the canvas that is at most the view's own extent in drawing
  // coordinates; 2^-18 of twice that is a generous bound. An edge far away
  // errs by far less than its distance and stays off the canvas.
  const double rel = std::ldexp(1.0, -18);
  double spanX = std::fabs(view.left()) + std::fabs(view.right());
  double spanY = std::fabs(view.bottom()) + std::fabs(view.top());
  m.fillMarginX = ANY_SNAP + rel * 2 * spanX * m.kx;
  m.fillMarginY = ANY_SNAP + rel * 2 * spanY * m.ky;
  // A line's fragments lie within a pixel of it; two leave room to spare.
  m.lineMarginX = m.fillMarginX + 2.0;
  m.lineMarginY = m.fillMarginY + 2.0;
  // Where the painter settles pixels itself the bound is a tight one: an
  // on-canvas vertex passes through about eight roundings of at most 2^-24
  // of the view's extent in pixels (the projection's float edges, its two
  // entries, the product, the sum, the viewport's scale and offset, and the
  // vertex itself beyond 2^24). 2^-20 is twice that; the error measured
  // with llvmpipe stays under 2^-24.
  const double sureRel = std::ldexp(1.0, -20);
  m.sureMarginX = snap + sureRel * spanX * m.kx;
  m.sureMarginY = snap + sureRel * spanY * m.ky;
  return m;
}

namespace {

// A table pays where each entry serves several boxes: filling it costs
// about what looking up BOXES_PER_ENTRY boxes saves.
const size_t BOXES_PER_ENTRY = 8;

// The entries of one axis, from coordinate first on.
void fillAxis(std::vector<int32_t>& entries, int64_t first, int64_t base, double origin, double k,
              double margin, int n) {
  for (size_t i = 0; i < entries.size(); i++) {
    double a = ((double)drawCoord((int32_t)(first + (int64_t)i), base) - origin) * k;
    int32_t e = (a >= 0 ? EdgeTable::FROM_LEFT : 0) | (a <= n ? EdgeTable::TO_RIGHT : 0);
    if (a >= 0 && a <= n) {  // as sureSpan
      double above;
      int below = centreBelow(a, above);
      e |= (nearCentre(above, margin) ? EdgeTable::NEAR : 0) | (int32_t)((uint32_t)below << EdgeTable::SHIFT);
    }
    entries[i] = e;
  }
}

}  // namespace

EdgeTable::EdgeTable(const PixelMap& m, const Rect& bounds, size_t boxes) {
  int64_t w = (int64_t)(uint32_t)bounds.w + 1, h = (int64_t)(uint32_t)bounds.h + 1;
  if (!m.usable || (size_t)(w + h) > boxes / BOXES_PER_ENTRY) return;
  xFirst = bounds.x, yFirst = bounds.y;
  xs.resize((size_t)w), ys.resize((size_t)h);
  fillAxis(xs, xFirst, m.baseX, m.left, m.kx, m.sureMarginX, m.width);
  fillAxis(ys, yFirst, m.baseY, m.bottom, m.ky, m.sureMarginY, m.height);
}
