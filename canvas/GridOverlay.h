#ifndef KIVO_GRIDOVERLAY_H
#define KIVO_GRIDOVERLAY_H

#include <cstdint>

#include "canvas/ViewTransform.h"
#include "model/DisplayUnits.h"

class Layout;

// Grid dots are never drawn closer than this many pixels: denser, they
// would grey the picture over rather than mark positions.
const double MIN_GRID_PIXELS = 8.0;

// The grid of the window: shown or not, whether edits snap to it, and its
// step in database units (at least 1).
struct GridSettings {
  bool shown = false;
  bool snap = true;
  int64_t step = 1;

  // The step a layout starts with: 5 database units for a GDSII layout of
  // 1 nm units (the usual manufacturing grid), else 1.
  static int64_t defaultStep(bool gdsii, double metres);
  // v moved to the nearest multiple of the step while snapping is on.
  int32_t snapped(int32_t v) const;
};

// The multiple of step nearest to v (a tie goes up), in 64-bit arithmetic;
// a multiple beyond the 32-bit range gives way to its neighbour inside it,
// so that a coordinate near +-2^31 never wraps to the other end.
int32_t snapToGrid(int32_t v, int64_t step);

// The step the grid is drawn with at scale pixels a unit: step times 1, 2,
// 5, 10, 20, 50, ..., the first that leaves MIN_GRID_PIXELS between dots.
int64_t shownGridStep(int64_t step, double scale);

// The grid as dots over the layers, under the band and the crosshair, the
// same for both painters. The painter's projection must be loaded.
void drawGrid(const ViewTransform& view, int64_t step);

// The units lengths are shown and typed in for this layout.
DisplayUnits layoutUnits(const Layout& layout);

#endif
