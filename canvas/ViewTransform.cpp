#include "canvas/ViewTransform.h"

#include <algorithm>
#include <cmath>

#include "model/Layer.h"
#include "model/LayerTable.h"
#include "model/Rect.h"

namespace {

const double ORIGIN_LIMIT = 1099511627776.0;  // 2^40: far beyond any layout, exact in double
const float MAX_SCALE = 80.0f;
const float WHEEL_MIN_SCALE = 0.025f;
// Show All of a tiny layout stops here: a single unit then fills 50 pixels,
// leaving room to zoom in to MAX_SCALE.
const float SHOW_ALL_MAX_SCALE = 50.0f;

// A bounds' size along one axis, in units: its wrapped width read unsigned
// (a layout may span more than 2^31 units), and 1 for a single coordinate.
double extent(int32_t size) { return size == 0 ? 1.0 : (double)(uint32_t)size; }

double clampOrigin(double v) {
  if (!(v > -ORIGIN_LIMIT)) return std::isnan(v) ? 0.0 : -ORIGIN_LIMIT;
  return v < ORIGIN_LIMIT ? v : ORIGIN_LIMIT;
}

// Where the view's edges lie less than this many pixels from layout
// coordinate 0, single floats carry absolute coordinates through OpenGL to
// within a few thousandths of a pixel (2^-24 of 2^14 pixels, a few times).
const double ABSOLUTE_PIXELS = 16384.0;

// The drawing base along one axis: 0 near layout coordinate 0, so that the
// picture there is drawn from the same numbers as it always was; else the
// whole unit at or below the view's edge, so that coordinates stay small.
int64_t drawingBase(double origin, double extent, float scale) {
  if (std::fabs(origin) * scale < ABSOLUTE_PIXELS && std::fabs(origin + extent) * scale < ABSOLUTE_PIXELS)
    return 0;
  return (int64_t)std::floor(clampOrigin(origin));
}

// Whole units in n pixels at this scale, dropping the fraction toward zero.
int64_t wholeUnits(int n, float scale) {
  double units = n / (double)scale;
  if (!(std::fabs(units) < ORIGIN_LIMIT)) return std::isnan(units) ? 0 : (int64_t)ORIGIN_LIMIT;
  return (int64_t)units;
}

}  // namespace

int32_t truncToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return (int32_t)v;
}

int32_t floorToInt32(double v) { return truncToInt32(std::floor(v)); }

void ViewTransform::toLayout(int px, int py, int32_t& lx, int32_t& ly) const {
  lx = floorToInt32(originX + px / (double)scale);
  ly = floorToInt32(originY + ((double)height - py) / (double)scale);
}

int64_t ViewTransform::visibleWidth() const { return wholeUnits(width, scale); }

int64_t ViewTransform::visibleHeight() const { return wholeUnits(height, scale); }

int64_t ViewTransform::baseX() const { return drawingBase(originX, width / (double)scale, scale); }

int64_t ViewTransform::baseY() const { return drawingBase(originY, height / (double)scale, scale); }

void ViewTransform::zoomIn() {
  if (!(scale < MAX_SCALE)) return;
  originX = clampOrigin(originX + (double)(visibleWidth() / 4));
  originY = clampOrigin(originY + (double)(visibleHeight() / 4));
  scale = scale * 2.0f;
  if (scale > 1.0f) scale = std::floor(scale);
  if (scale > MAX_SCALE) scale = MAX_SCALE;
}

void ViewTransform::zoomOut(float minScale) {
  if (!(scale > minScale)) return;
  scale = scale * 0.5f;
  if (scale > 1.0f) scale = std::floor(scale);
  if (!(scale >= minScale)) scale = minScale;
  originX = clampOrigin(originX - (double)(visibleWidth() / 4));
  originY = clampOrigin(originY - (double)(visibleHeight() / 4));
}

void ViewTransform::zoomAt(int px, int py, int notches, float minScale) {
  if (notches == 0) return;
  double x, y;
  pointAt(px, py, x, y);
  float zoomed = (float)(scale * std::pow(std::sqrt(2.0), notches));
  if (zoomed > MAX_SCALE) zoomed = MAX_SCALE;
  if (!(zoomed >= minScale)) zoomed = minScale;
  scale = zoomed;
  placeAt(x, y, px, py);
}

void ViewTransform::showAll(const Rect& bounds) {
  originX = bounds.getX();
  originY = bounds.getY();
  float w = (float)extent(bounds.getW());
  float h = (float)extent(bounds.getH());
  float sx = (float)width / w;
  float sy = (float)height / h;
  scale = sx < sy ? sx : sy;
  float minScale = wheelMinScale(bounds, width, height);
  if (!(scale >= minScale)) scale = minScale;
  if (scale > SHOW_ALL_MAX_SCALE) scale = SHOW_ALL_MAX_SCALE;
}

void ViewTransform::move(int dx, int dy, int parts) {
  originX = clampOrigin(originX + (double)(dx * (visibleWidth() / parts)));
  originY = clampOrigin(originY + (double)(dy * (visibleHeight() / parts)));
}

void ViewTransform::pointAt(int px, int py, double& x, double& y) const {
  x = originX + px / (double)scale;
  y = originY + ((double)height - py) / (double)scale;
}

void ViewTransform::placeAt(double x, double y, int px, int py) {
  originX = clampOrigin(x - px / (double)scale);
  originY = clampOrigin(y - ((double)height - py) / (double)scale);
}

// Folded in 64 bits: a layout may span more than 2^31 units, which the
// result holds as a wrapped size and include would take for a small one.
// Hidden layers are left out: what cannot be seen is not fitted.
Rect layoutBounds(const Layer layers[], int count) {
  Rect bounds;
  int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool empty = true;
  for (int i = 0; i < count; i++) {
    const Layer& l = layers[i];
    if (!l.first() || l.isHidden() || (empty && l.isAllZero())) continue;
    int64_t lx = l.getX(), ly = l.getY(), rx = lx + (uint32_t)l.getW(), ry = ly + (uint32_t)l.getH();
    x0 = empty ? lx : std::min(x0, lx), y0 = empty ? ly : std::min(y0, ly);
    x1 = empty ? rx : std::max(x1, rx), y1 = empty ? ry : std::max(y1, ry);
    empty = false;
  }
  if (empty) return bounds;
  bounds.x = (int32_t)x0, bounds.y = (int32_t)y0;
  bounds.w = (int32_t)(uint32_t)(x1 - x0), bounds.h = (int32_t)(uint32_t)(y1 - y0);
  return bounds;
}

float wheelMinScale(const Rect& bounds, int width, int height) {
  double w = extent(bounds.getW()), h = extent(bounds.getH());
  float fit = (float)std::fmin(width / (2 * w), height / (2 * h));
  return fit > 0.0f && fit < WHEEL_MIN_SCALE ? fit : WHEEL_MIN_SCALE;
}
