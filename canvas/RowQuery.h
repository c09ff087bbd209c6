#ifndef KIVO_ROWQUERY_H
#define KIVO_ROWQUERY_H

// Which slots' placed shapes cover each pixel centre of a canvas clear of
// the rasteriser's rounding, and which shapes lie too near a centre to
// tell, searched a pixel row at a time: each placed cell that reaches the
// row is found once per row (its grid and array division asked for the
// row's band, not for every pixel), and it then asks its own shapes at the
// pixel centres it reaches, which follow from its placed bounds.

#include <cstdint>
#include <vector>

#include "canvas/CellScene.h"
#include "canvas/PlacedShapes.h"
#include "model/HugePages.h"

// One axis of the view: where a whole-unit coordinate lands in window
// pixels, computed as PixelMap and the layer painter compute it.
struct AxisMap {
  int64_t base;
  double origin, k;
  int pixels;
  double at(int64_t v) const { return ((double)(float)(v - base) - origin) * k; }
  // The largest coordinate whose position passes, within reach of the
  // 32-bit range; pass holds for small coordinates and fails above some.
  template <typename Pass>
  int64_t last(Pass pass, double target) const;
  // Edges at or below lo lie clear below centre c, at or above hi clear
  // above (both ascend with c).
  void around(int c, double margin, int64_t& lo, int64_t& hi) const;
};

// A placed rectangle too near a centre to decide there: drawn by OpenGL.
struct Unsure {
  int slot;
  ObjectCorners c;
  bool operator==(const Unsure& o) const { return slot == o.slot && !(c != o.c); }
  bool operator<(const Unsure& o) const {
    if (slot != o.slot) return slot < o.slot;
    if (c.x0 != o.c.x0) return c.x0 < o.c.x0;
    if (c.y0 != o.c.y0) return c.y0 < o.c.y0;
    if (c.x1 != o.c.x1) return c.x1 < o.c.x1;
    return c.y1 < o.c.y1;
  }
};
// Shapes near centres, by slot, each once after tidy.
// The list keeps its memory from one search to the next: a fresh page
// costs a fault.
struct UnsureList {
  BigVector<Unsure> items;
  void tidy();
};

// The view's pixel centres as the search takes them: per column the clear
// coordinates around it (lo, hi from AxisMap::around with the x margin),
// the y axis and its margin.
struct CentreGrid {
  AxisMap mx, my;
  double marginY;
  std::vector<int64_t> lo, hi;
};

// Set in plane (a word per pixel, rows from the bottom) the wanted slots
// whose placed shapes cover each centre of every step-th row from row0;
// shapes too near a centre go to unsure (left tidy), polygons, paths and
// labels near one to hits. Threads take rows in turn: a design often fills only part of
// the canvas.
void queryRows(const CellScene& scene, const CentreGrid& grid, uint64_t wanted, double scale, int row0, int step,
               uint64_t* plane, UnsureList& unsure, ShapeHitSet& hits);

#endif
