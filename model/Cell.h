#ifndef KIVO_CELL_H
#define KIVO_CELL_H

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/Layer.h"
#include "model/LayerTable.h"

// The slot of the shown cell's instances in the document's edits, after
// the layer slots; SLOT_COUNT counts every slot an edit may name.
enum { LAYER_INSTANCES = LAYER_COUNT, SLOT_COUNT = LAYER_COUNT + 1 };

// A coordinate computed in floating point as a 64-bit integer, rounded to
// nearest and held within +-2^60 (NaN gives 0): any magnification read from
// a file converts without undefined behaviour, and sums and differences of
// two such values still fit.
int64_t clampedCoordinate(double v);

// Where an instance puts its cell: mirror about the x axis when mirrorX,
// then turn quarterTurns x 90 degrees counter-clockwise, then translate by
// (x, y), as GDSII orders STRANS, MAG and ANGLE. magnification and angle
// (degrees) are kept exactly as read and written back when their flags
// say the file had them; quarterTurns is the angle in quarter turns when it
// is a multiple of 90. An absolute magnification or angle (the STRANS
// bits) places the cell at that magnification or angle whatever the
// references above it do; only its origin is placed by them.
struct CellTransform {
  int32_t x = 0, y = 0;
  uint8_t quarterTurns = 0;
  bool mirrorX = false;
  double magnification = 1.0;
  double angle = 0.0;
  bool hasMagnification = false, hasAngle = false;
  bool absoluteMagnification = false, absoluteAngle = false;
  // The file's bits of the two reals, written back while they still give
  // the values above (a real's last bits do not survive a double).
  uint64_t magnificationBits = 0, angleBits = 0;

  // Magnification 1 and an angle a multiple of 90 degrees: the placement
  // is exact in integers.
  bool integral() const;
  // A point of the cell in the parent's coordinates, exact for an integral
  // transform (64 bits, no wrap), rounded to nearest otherwise.
  void apply(int64_t px, int64_t py, int64_t& ox, int64_t& oy) const;
  // The same in floating point, for a transform that is not integral.
  void applyExact(double px, double py, double& ox, double& oy) const;
};

// The transform of a reference inner nested in a cell that outer places:
// mirrors compose; angles and magnifications compose too, but an absolute
// one of inner stands as it is; the origin is inner's placed by outer,
// rounded to the nearest unit. The result is absolute where either is, so
// that it places alike wherever it goes. Every placement of nested cells
// composes through this.
CellTransform composeTransforms(const CellTransform& outer, const CellTransform& inner);

// The elements of an instance: element (i, j), 0 <= i < columns and
// 0 <= j < rows, sits at the transform's origin + i * columnStep +
// j * rowStep. points are an AREF's three points P1, P2, P3 as read,
// written back unchanged (moved along with the instance). An uneven array
// is an AREF whose P2 - P1 does not divide by columns or P3 - P1 by rows:
// element (i, j) sits at P1 + i * (P2 - P1) / columns + j * (P3 - P1) /
// rows rounded to the nearest unit, halves away from zero, and the steps
// hold the rounded quotients (shown, never used to place).
struct CellArray {
  uint16_t columns = 1, rows = 1;
  int32_t columnStep[2] = {0, 0}, rowStep[2] = {0, 0};
  int32_t points[6] = {};
  bool fromAref = false;

  uint64_t elements() const { return (uint64_t)columns * rows; }
  bool uneven() const;
  // Element (column, row)'s offset from the origin, in 64 bits: every
  // placement of an element asks here.
  void offset(uint32_t column, uint32_t row, int64_t& ex, int64_t& ey) const;
  // The column and row vectors over their counts, fractional for an uneven
  // array.
  void steps(double& cx, double& cy, double& rx, double& ry) const;
};

// A placement of a cell (by its index in the library), possibly arrayed.
// The Rect part is the bounding box of all its placed elements in the
// parent's coordinates, so that selection, moves and undo treat it as any
// object; draw() draws nothing (the painter draws the cell's shapes).
class CellLibrary;

class Instance : public GroupNode {
public:
  uint32_t cell = 0;
  CellTransform transform;
  CellArray array;

  ~Instance() override;
  void draw(int64_t ox, int64_t oy) override;
  // Moving an instance moves its transform's origin and its array points.
  void moveBy(int32_t dx, int32_t dy) override;
  void moveTo(int32_t nx, int32_t ny) override;
  // Set the Rect part from the bounds of the cell placed (an all-zero
  // rectangle for an empty cell: the box is the origins' then).
  void placeBounds(const Rect& cellBounds);
  // The same from the cell in library; a cell placing absolute references
  // is placed level by level, as they stand under this transform.
  void placeBounds(const CellLibrary& library);
  // The box of the cell's bounds under one element's placement, in 64 bits.
  void elementBox(const Rect& cellBounds, uint32_t column, uint32_t row, int64_t box[4]) const;
};

// A new, unselected instance with the same cell, transform, array, origin
// and bounds.
Instance* cloneInstance(const Instance& instance);

// One cell of a library: its name, its own objects per layer slot (kept
// only for the slots it uses: a chip has thousands of cells) and its
// instances. The cell the document shows keeps its objects in the
// document's layers instead; it reports those.
class Cell {
public:
  explicit Cell(std::string name);
  ~Cell();
  Cell(const Cell&) = delete;
  Cell& operator=(const Cell&) = delete;

  const std::string& name() const { return cellName; }
  // The cell's own objects on a slot; nullptr when it has none there.
  const Layer* layer(int slot) const;
  // Its instances (Instance nodes).
  const Layer& instances() const;
  // The box of all its flattened content; all zero when it has none.
  Rect bounds() const;
  // Objects it has when flattened, its own and those of its instances.
  uint64_t flattenedCount() const;
  // Whether a reference with an absolute magnification or angle is among
  // its instances or theirs: then how it looks depends on how it is placed.
  bool placesAbsolute() const;
  // Rises with every change of the cell's content; never the same for two
  // cells, of this library or of another (a file opened later), so that a
  // cache keyed on it cannot take one cell for another.
  uint64_t revision() const;
  // Own objects, all slots.
  uint64_t ownCount() const;

  // ---- building (readers) and the document
  // The layer of a slot, made when missing; LAYER_INSTANCES gives the
  // instances.
  Layer& editLayer(int slot);
  // Hand the own objects of every layer slot to layers (swapped: the cell
  // receives what they held), then report layers' objects as the cell's;
  // the instances likewise with layers[LAYER_INSTANCES]. null ends it
  // and takes the objects back the same way.
  void showIn(Layer* layers);
  bool isShown() const { return shown != nullptr; }
  // Forget the cached bounds and counts (after a child changed).
  void contentChanged() { ++baseRevision; }

private:
  friend class CellLibrary;
  const Layer* slotLayer(int slot) const;

  std::string cellName;
  std::vector<std::pair<int, std::unique_ptr<Layer>>> own;  // by slot, ascending
  std::unique_ptr<Layer> instanceList;
  Layer* shown = nullptr;  // the document's slots while shown
  const CellLibrary* library = nullptr;
  uint64_t baseRevision;
  mutable uint64_t cachedAt = 0;  // revision the cached values belong to
  mutable Rect cachedBounds;
  mutable uint64_t cachedCount = 0;
  mutable bool cachedAbsolute = false;
};

// The cells of a document, by index; names are unique.
class CellLibrary {
public:
  CellLibrary() = default;
  CellLibrary(const CellLibrary&) = delete;
  CellLibrary& operator=(const CellLibrary&) = delete;
  // Moves keep each cell pointing at the library that holds it.
  CellLibrary(CellLibrary&& other) noexcept;
  CellLibrary& operator=(CellLibrary&& other) noexcept;

  size_t size() const { return cells.size(); }
  const Cell& cell(uint32_t i) const { return *cells[i]; }
  Cell& cell(uint32_t i) { return *cells[i]; }
  // The index of the cell of this name; UINT32_MAX when there is none.
  uint32_t find(const std::string& name) const;
  // The cell of this name, made (empty) when missing; its index.
  uint32_t add(const std::string& name);
  // Cells no instance places, in library order.
  std::vector<uint32_t> topCells() const;
  // Every cell once, each after the cells it places; empty when the
  // placements form a cycle.
  std::vector<uint32_t> childrenFirst() const;
  // The cell shown in the document.
  uint32_t shown = 0;
  // Take the last cell out (model/CellEdits.cpp: a Group undone); its
  // objects go with it.
  std::unique_ptr<Cell> removeLast();

private:
  std::vector<std::unique_ptr<Cell>> cells;
  std::unordered_map<std::string, uint32_t> names;
};

#endif
