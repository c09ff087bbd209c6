#include "canvas/GridOverlay.h"

#include <GL/gl.h>

#include <cmath>

#include "model/Layout.h"

namespace {

// Depth of the grid: in front of every layer (the last pair layer's
// outlines end at 0.855) and behind the rulers, the band and the crosshair.
const float GRID_Z = 0.88f;
// Mid grey: seen on the black background and over every layer colour.
const unsigned char GRID_GREY = 128;
// A shown step never grows past this: at the smallest scale a 2^32-unit
// layout spans a few pixels, so the sequence stops long before it.
const int64_t MAX_SHOWN_STEP = int64_t(1) << 50;
// How near a GDSII unit must come to 1 nm to count as 1 nm: the UNITS reals
// are stored as hexadecimal floats, so 1e-9 arrives with a rounding error.
const double NANOMETRE_TOLERANCE = 1e-6;

// The largest multiple of step at most v (floor division).
int64_t floorMultiple(int64_t v, int64_t step) {
  int64_t q = v / step;
  if (v % step != 0 && v < 0) q--;
  return q * step;
}

}  // namespace

int64_t GridSettings::defaultStep(bool gdsii, double metres) {
  return gdsii && std::fabs(metres / 1e-9 - 1.0) < NANOMETRE_TOLERANCE ? 5 : 1;
}

int32_t GridSettings::snapped(int32_t v) const { return snap ? snapToGrid(v, step) : v; }

int32_t snapToGrid(int32_t v, int64_t step) {
  if (step <= 1) return v;
  int64_t below = floorMultiple(v, step);
  int64_t nearest = (int64_t)v - below >= step - ((int64_t)v - below) ? below + step : below;
  if (nearest > INT32_MAX) nearest -= step;
  if (nearest < INT32_MIN) nearest += step;
  // A step wider than the whole range has no multiple but 0 inside it.
  if (!fitsInt32(nearest)) return v;
  return (int32_t)nearest;
}

int64_t shownGridStep(int64_t step, double scale) {
  if (step < 1) step = 1;
  if (!(scale > 0)) return MAX_SHOWN_STEP;
  static const int factors[3] = {1, 2, 5};
  for (int64_t decade = 1;; decade *= 10)
    for (int f : factors) {
      int64_t shown = step * f * decade;
      if (shown >= MAX_SHOWN_STEP || (double)shown * scale >= MIN_GRID_PIXELS) return shown;
    }
}

void drawGrid(const ViewTransform& view, int64_t step) {
  const int64_t shown = shownGridStep(step, view.scale);
  const double right = view.originX + view.width / (double)view.scale;
  const double top = view.originY + view.height / (double)view.scale;
  if (!(right < 1e15 && top < 1e15 && view.originX > -1e15 && view.originY > -1e15)) return;
  const int64_t x0 = floorMultiple((int64_t)std::floor(view.originX), shown) + shown;
  const int64_t y0 = floorMultiple((int64_t)std::floor(view.originY), shown) + shown;
  const int64_t baseX = view.baseX(), baseY = view.baseY();
  glPushAttrib(GL_ENABLE_BIT | GL_POINT_BIT | GL_CURRENT_BIT);
  glDisable(GL_POINT_SMOOTH);
  glPointSize(1.0f);
  glColor4ub(GRID_GREY, GRID_GREY, GRID_GREY, 255);
  glPushMatrix();
  glTranslatef(0.0f, 0.0f, GRID_Z);
  glBegin(GL_POINTS);
  // Whole multiples only, starting past the origin's own (possibly
  // fractional) column, so that no dot sits on the canvas's very edge.
  for (int64_t y = y0 - shown; (double)y <= top; y += shown) {
    if ((double)y < view.originY) continue;
    for (int64_t x = x0 - shown; (double)x <= right; x += shown)
      if ((double)x >= view.originX) glVertex2d((double)(x - baseX), (double)(y - baseY));
  }
  glEnd();
  glPopMatrix();
  glPopAttrib();
}

DisplayUnits layoutUnits(const Layout& layout) {
  return DisplayUnits::forLayout(layout.format() == FORMAT_GDSII, layout.gdsInfo().metres);
}
