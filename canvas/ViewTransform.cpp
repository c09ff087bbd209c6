#include "canvas/ViewTransform.h"

#include <cmath>

#include "model/Layer.h"
#include "model/LayerTable.h"
#include "model/Rect.h"

int32_t truncToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return (int32_t)v;
}

void ViewTransform::toLayout(int px, int py, int32_t& lx, int32_t& ly) const {
  lx = wrapAdd(originX, truncToInt32(px / (double)scale));
  ly = wrapAdd(originY, truncToInt32(((double)height - py) / (double)scale));
}

int32_t ViewTransform::visibleWidth() const { return truncToInt32(width / (double)scale); }

int32_t ViewTransform::visibleHeight() const { return truncToInt32(height / (double)scale); }

void ViewTransform::zoomIn() {
  if (scale > 40.0f) return;
  originX = wrapAdd(originX, visibleWidth() / 4);
  originY = wrapAdd(originY, visibleHeight() / 4);
  scale = scale * 2.0f;
  if (scale > 1.0f) scale = std::floor(scale);
}

void ViewTransform::zoomOut() {
  if ((double)scale <= 0.05) return;
  scale = scale * 0.5f;
  if (scale > 1.0f) scale = std::floor(scale);
  originX = wrapSub(originX, visibleWidth() / 4);
  originY = wrapSub(originY, visibleHeight() / 4);
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

void ViewTransform::move(int dx, int dy) {
  originX = wrapAdd(originX, dx * (visibleWidth() / 3));
  originY = wrapAdd(originY, dy * (visibleHeight() / 3));
}

Rect layoutBounds(const Layer layers[]) {
  Rect bounds;
  for (int i = 0; i < LAYER_COUNT; i++) bounds.include(layers[i]);
  return bounds;
}
