#ifndef KIVO_TOPMOSTSHAPE_H
#define KIVO_TOPMOSTSHAPE_H

// The shape painted last at a point of the shown cell, reaching into its
// placed cells: what the inspect field names and a right click picks.
// Painted last means the slot latest in drawingOrder(), and on one slot the
// shown cell's own objects over the placed shapes (the painter draws the
// placed ones first), each list's later objects over its earlier ones.
//
// Each cell keeps, per slot, a grid of its objects and one of its
// instances, built when first asked and kept while the slot's layer has not
// changed but for its selection; an array finds its elements near the point
// by solving for them. So a query costs the objects near the point, not
// the flattened count.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/CellPlacement.h"
#include "model/DisplayUnits.h"
#include "model/Layout.h"

struct TopmostShape {
  int slot = -1;                       // -1: no shape at the point
  const GroupNode* object = nullptr;   // as its cell holds it
  uint32_t cell = 0;                   // the cell holding it
  // The shown cell's instance that places it; null for the shown cell's own.
  const GroupNode* instance = nullptr;
  // The shape as placed in the shown cell (a copy), when inside an instance.
  std::shared_ptr<GroupNode> placed;

  bool found() const { return slot >= 0; }
  // Its box in the shown cell's coordinates.
  const GroupNode& box() const { return placed ? *placed : *object; }
};

class TopmostFinder {
public:
  TopmostFinder();
  ~TopmostFinder();
  TopmostFinder(const TopmostFinder&) = delete;
  TopmostFinder& operator=(const TopmostFinder&) = delete;

  // The topmost shape containing (x, y) on the slots that take part
  // (takesPart[slot], LAYER_COUNT entries: the window passes the enabled,
  // shown layers).
  TopmostShape find(const Layout& layout, int32_t x, int32_t y, const std::vector<bool>& takesPart);
  // Drop every index (a new layout: cells and layers are gone).
  void forget();

  struct Grid;
  struct CellIndex;

private:
  struct Search;
  std::vector<std::unique_ptr<CellIndex>> cells;
  CellIndex& indexOf(const Layout& layout, uint32_t cell);
};

// The shape as the inspect field shows it: layer name and GDSII pair,
// lower-left corner, width and height in the units given, the marker's
// value or the label's string, and the placing cell; "" for none.
std::string describeShape(const TopmostShape& shape, const Layout& layout, const DisplayUnits& units);

#endif
