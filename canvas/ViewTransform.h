#ifndef KIVO_VIEWTRANSFORM_H
#define KIVO_VIEWTRANSFORM_H

#include <cstdint>

class Layer;
class Rect;

// Clamp a double to the 32-bit range and drop its fraction toward zero; NaN
// gives 0. Converting an out-of-range double straight to int is undefined.
int32_t truncToInt32(double v);

// The mapping between layout units and canvas pixels, and the view commands
// that change it. A layout point (X, Y) is drawn (X - originX) * scale pixels
// right of the canvas's left edge and (Y - originY) * scale pixels above its
// bottom edge. Origin arithmetic wraps; pixel-to-unit conversions saturate.
struct ViewTransform {
  int32_t originX = 0;
  int32_t originY = 0;
  float scale = 10.0f;  // canvas pixels per layout unit
  int width = 0;        // canvas size in pixels
  int height = 0;

  // Layout point under pixel (px, py), py growing downwards; each quotient
  // is truncated toward zero.
  void toLayout(int px, int py, int32_t& lx, int32_t& ly) const;
  // Whole layout units shown across and up the canvas.
  int32_t visibleWidth() const;
  int32_t visibleHeight() const;
  // The orthographic projection's edges, in layout units.
  double left() const { return originX; }
  double right() const { return originX + width / (double)scale; }
  double bottom() const { return originY; }
  double top() const { return originY + height / (double)scale; }

  // Double the scale up to 80, keeping the centre nearly in place.
  void zoomIn();
  // Halve the scale down to 0.03125 (0.025 after Show All's clamp).
  void zoomOut();
  // Put the lower-left corner of bounds on the canvas's lower-left corner
  // and fit bounds in one direction, scale clamped to 0.05 .. 50.
  void showAll(const Rect& bounds);
  // Shift the view by a third of the visible extent; dx and dy are -1, 0 or 1.
  void move(int dx, int dy);
};

// The union of the fourteen layers' bounding boxes, folded in index order
// with include: an empty layer after a non-empty one pulls the union out to
// the point (0, 0).
Rect layoutBounds(const Layer layers[]);

#endif
