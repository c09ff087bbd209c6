#ifndef KIVO_RULERS_H
#define KIVO_RULERS_H

#include <cstdint>
#include <string>
#include <vector>

#include "canvas/ViewTransform.h"
#include "model/DisplayUnits.h"

// A measurement left on the canvas: a line between two layout points.
struct Ruler {
  int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  // Its length to the nearest database unit.
  int64_t length() const;
};

// The rulers of a window: view state, never part of the layout, never saved
// or undone. A right drag makes the live one; its release keeps it.
class Rulers {
public:
  const std::vector<Ruler>& kept() const { return rulers; }
  bool dragging() const { return live; }
  const Ruler& current() const { return drag; }

  // Start the live ruler at (x, y), pressed at pixel (px, py).
  void begin(int32_t x, int32_t y, int px, int py);
  // Its far end to (x, y), the pointer at pixel (px, py), scale pixels a
  // unit. It is long (drawn, and kept at the release) while the pointer is
  // more than DRAG_MIN_PIXELS from the press and the ruler itself spans
  // more than that many pixels.
  void stretchTo(int32_t x, int32_t y, int px, int py, double scale);
  bool isLong() const { return live && longEnough; }
  // End the drag; the live ruler stays when keep holds and it is long.
  void finish(bool keep);
  void clear() { rulers.clear(); }

  // Every ruler, the live one too: a yellow line with short ticks across its
  // ends and its length beside the far end in the stroke font, over the
  // layers and the grid, under the band and the crosshair. The painter's
  // projection must be loaded.
  void draw(const ViewTransform& view, const DisplayUnits& units) const;

private:
  std::vector<Ruler> rulers;
  Ruler drag;
  bool live = false;
  bool longEnough = false;
  int pressPX = 0, pressPY = 0;
};

// The label of a ruler of this length: "12.5 um", "125 dbu".
std::string rulerLabel(int64_t length, const DisplayUnits& units);

#endif
