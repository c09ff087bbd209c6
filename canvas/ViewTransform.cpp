#include "canvas/ViewTransform.h"

#include <cmath>

#include "model/Layer.h"
#include "model/LayerTable.h"
#include "model/Rect.h"

namespace {

const double ORIGIN_LIMIT = 1099511627776.0;  // 2^40: far beyond any layout, exact in double
const float MAX_SCALE = 80.0f;
const float WHEEL_MIN_SCALE = 0.025f;

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
  if (scale > 40.0f) return;
  originX = clampOrigin(originX + (double)(visibleWidth() / 4));
  originY = clampOrigin(originY + (double)(visibleHeight() / 4));
  scale = scale * 2.0f;
  if (scale > 1.0f) scale = std::floor(scale);
}

void ViewTransform::zoomOut() {
  if ((double)scale <= 0.05) return;
  scale = scale * 0.5f;
  if (scale > 1.0f) scale = std::floor(scale);
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
  float w = (float)bounds.getW();
  float h = (float)bounds.getH();
  if (w == 0.0f) w = 1.0f;
  if (h == 0.0f) h = 1.0f;
  float sx = (float)width / w;
  float sy = (float)height / h;
  scale = sx < sy ? sx : sy;
  // The negated test also catches a negative quotient of a wrapped size.
  if (!((double)scale >= 0.05)) scale = 0.05f;
  if (scale > 50.0f) scale = 50.0f;
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

Rect layoutBounds(const Layer layers[]) {
  Rect bounds;
  for (int i = 0; i < LAYER_COUNT; i++)
    if (layers[i].first()) bounds.include(layers[i]);
  return bounds;
}

float wheelMinScale(const Rect& bounds, int width, int height) {
  double w = bounds.getW() > 0 ? bounds.getW() : 1.0, h = bounds.getH() > 0 ? bounds.getH() : 1.0;
  float fit = (float)std::fmin(width / (2 * w), height / (2 * h));
  return fit > 0.0f && fit < WHEEL_MIN_SCALE ? fit : WHEEL_MIN_SCALE;
}
