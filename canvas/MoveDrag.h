#ifndef KIVO_MOVEDRAG_H
#define KIVO_MOVEDRAG_H

#include <cstdint>

#include "canvas/ViewTransform.h"

class Layout;

// A right drag whose end is within this many pixels of its press (either
// way) is a click, not a drag: it leaves no ruler and moves nothing. Three
// pixels absorb the jitter of a hand pressing a button.
const int DRAG_MIN_PIXELS = 3;

// Moving the selection with Ctrl+right drag: the objects are drawn displaced
// while the button is held and move in one step at the release.
struct MoveDrag {
  bool active = false;
  int32_t fromX = 0, fromY = 0;  // the press point, snapped
  int pressPX = 0, pressPY = 0;  // the press pixel
  int32_t dx = 0, dy = 0;        // the displacement shown now

  void begin(int32_t x, int32_t y, int px, int py);
  // The displacement from the press point to (x, y), both snapped by the
  // caller; false, with the displacement kept, when it exceeds 32 bits.
  bool follow(int32_t x, int32_t y);
};

// Whether the pixel (px, py) is more than DRAG_MIN_PIXELS from (ax, ay).
bool draggedFar(int ax, int ay, int px, int py);

// The selected objects of the enabled layers (only `only` when it is a
// slot) displaced by (dx, dy): filled in their layer's colour with a white
// outline, over the layers and the grid, the same for both painters. Past
// MOVE_PREVIEW_LIMIT objects only the selection's bounding box is outlined.
// The painter's projection must be loaded.
void drawMovePreview(const ViewTransform& view, const Layout& layout, int only, int32_t dx, int32_t dy);

#endif
