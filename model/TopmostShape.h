#ifndef KIVO_TOPMOSTSHAPE_H
#define KIVO_TOPMOSTSHAPE_H

// The shape painted last at a point of the shown cell, reaching into its
// placed cells: what the inspect field names and a right click picks.
// Painted last means the slot latest in drawingOrder(), and on one slot the
// shown cell's own objects over the placed shapes (the painter draws the
// placed ones first), each list's later objects over its earlier ones.
//
// Each cell keeps, per slot, a grid of its objects and one of its
// instances (model/ShapeGrid), kept while the slot's layer has not changed
// but for its selection and appends; an array finds its elements near the
// point by solving for them. So a query costs the objects near the point,
// not the flattened count. A caller that must not wait builds the grids in
// steps (buildSome) and asks findBuilt, which never builds.

#include <cstddef>
#include <cstdint>
#include <functional>
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
  // Builds the grids it needs.
  TopmostShape find(const Layout& layout, int32_t x, int32_t y, const std::vector<bool>& takesPart);
  // The same answer into found when every grid it needs is built; false,
  // found untouched, when one is not.
  bool findBuilt(const Layout& layout, int32_t x, int32_t y, const std::vector<bool>& takesPart, TopmostShape& found);
  // Build grids of every cell, the shown one first, visiting about budget
  // objects; true when all are built and current.
  bool buildSome(const Layout& layout, size_t budget);
  // Drop every index (a new layout: cells and layers are gone).
  void forget();

  // visit(slot, shape) for every shape of the shown cell, and inside its
  // placed cells, on the slots that take part whose box may meet
  // [x0, x1] x [y0, y1], in the shown cell's coordinates: a placed one as a
  // copy, gone after the call. Labels are left out. Builds what it needs.
  using ShapeVisit = std::function<void(int slot, const GroupNode& shape)>;
  void forEachNear(const Layout& layout, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                   const std::vector<bool>& takesPart, const ShapeVisit& visit);

  struct CellIndex;

private:
  struct Search;
  std::vector<std::unique_ptr<CellIndex>> cells;
  // Where buildSome goes on: a cell (0 the shown one) and a slot (0 the
  // instances, then the slots from the top of the drawing order down), and
  // whether this round found a grid to build.
  struct Building {
    size_t cell = 0, slot = 0;
    bool worked = false;
  } building;
  CellIndex& indexOf(const Layout& layout, uint32_t cell);
  bool search(const Layout& layout, int32_t x, int32_t y, const std::vector<bool>& takesPart, bool mayBuild,
              TopmostShape& found);
};

// The shape as the inspect field shows it: layer name and GDSII pair,
// lower-left corner, width and height in the units given, the marker's
// value or the label's string, and the placing cell; "" for none.
std::string describeShape(const TopmostShape& shape, const Layout& layout, const DisplayUnits& units);

#endif
