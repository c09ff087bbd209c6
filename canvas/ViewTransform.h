#ifndef KIVO_VIEWTRANSFORM_H
#define KIVO_VIEWTRANSFORM_H

#include <cstdint>

#include "model/LayerTable.h"

class Layer;
class Rect;

// Clamp a double to the 32-bit range and drop its fraction toward zero; NaN
// gives 0. Converting an out-of-range double straight to int is undefined.
int32_t truncToInt32(double v);
// The same, rounding toward minus infinity.
int32_t floorToInt32(double v);

// The mapping between layout units and canvas pixels, and the view commands
// that change it. A layout point (X, Y) is drawn (X - originX) * scale pixels
// right of the canvas's left edge and (Y - originY) * scale pixels above its
// bottom edge. The origin may hold fractions (the wheel and the middle drag
// put any layout point under any pixel) and stays within +/-2^40.
// Pixel-to-unit conversions saturate at the 32-bit range.
struct ViewTransform {
  double originX = 0;
  double originY = 0;
  float scale = 10.0f;  // canvas pixels per layout unit
  int width = 0;        // canvas size in pixels
  int height = 0;

  // Layout point under pixel (px, py), py growing downwards:
  // (floor(originX + px / scale), floor(originY + (H - py) / scale)).
  void toLayout(int px, int py, int32_t& lx, int32_t& ly) const;
  // Whole layout units shown across and up the canvas.
  int64_t visibleWidth() const;
  int64_t visibleHeight() const;

  // Drawing happens in coordinates relative to a whole-unit base: every
  // vertex is the exact integer difference X - baseX before it becomes a
  // float, so the picture does not depend on how far from 0 the layout
  // lies. The base is the floor of the origin, or 0 while the view lies
  // within 2^14 pixels of layout coordinate 0 (there absolute coordinates
  // are exact enough, and the picture stays the one drawn from them). The
  // projection's edges are given in drawing coordinates.
  int64_t baseX() const;
  int64_t baseY() const;
  double left() const { return originX - (double)baseX(); }
  double right() const { return left() + width / (double)scale; }
  double bottom() const { return originY - (double)baseY(); }
  double top() const { return bottom() + height / (double)scale; }

  // Double the scale up to 80, keeping the centre nearly in place.
  void zoomIn();
  // Halve the scale down to minScale (the wheel's smallest scale).
  void zoomOut(float minScale);
  // Multiply the scale by sqrt 2 per notch (notches > 0) or divide it
  // (notches < 0), within minScale .. 80, keeping the layout point under
  // pixel (px, py) there.
  void zoomAt(int px, int py, int notches, float minScale);
  // Put the lower-left corner of bounds on the canvas's lower-left corner
  // and fit bounds in one direction: the whole layout, however large, at
  // most 50 pixels a unit.
  void showAll(const Rect& bounds);
  // Shift the view by 1/parts of the visible extent (whole units); dx and
  // dy are -1, 0 or 1. E/S/D/F use thirds, the arrow keys quarters.
  void move(int dx, int dy, int parts = 3);
  // The exact layout point under pixel (px, py), and the origin that puts
  // layout point (x, y) under that pixel: the middle drag's grab and pull.
  void pointAt(int px, int py, double& x, double& y) const;
  void placeAt(double x, double y, int px, int py);
};

// The union of the bounding boxes of the layers (count of them: the
// document's instances follow its layers) that hold objects; all zero when
// every layer is empty. Its size wraps where the layout spans more than
// 2^31 units: read it unsigned.
Rect layoutBounds(const Layer layers[], int count = LAYER_COUNT);
// The wheel's smallest scale: 0.025, or less when the layout's bounds need
// less to fit the canvas twice over in both directions.
float wheelMinScale(const Rect& bounds, int width, int height);

#endif
