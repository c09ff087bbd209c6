#ifndef KIVO_PLACEDSHAPES_H
#define KIVO_PLACEDSHAPES_H

// The polygons, paths and labels of placed cells, moved into place as the
// flattened layout holds them (points, or a label's anchor, through the
// placement's transform, wrapped to 32 bits), so that the shapes' own code
// draws them: a placed shape gives the pixels of its flattened copy.

#include <cstdint>
#include <vector>

#include "canvas/CellScene.h"
#include "model/Shapes.h"

class GroupNode;

// The scene's copy of a polygon, path or label of a cell.
SceneShape sceneShapeOf(int slot, const GroupNode& node);

// Places shapes into copies of its own, reused from call to call.
class ShapePlacer {
public:
  // The shape moved by t; valid until the next call.
  Shape& place(const Shape& shape, const PlaceTransform& t);

private:
  Polygon polygon;
  Path path;
  Label label;
};

// A placed shape: drawn[index] of cells[cell] under transform.
struct ShapeHit {
  uint32_t cell, index;
  PlaceTransform transform;
  bool operator==(const ShapeHit& o) const;
  bool operator<(const ShapeHit& o) const;
};

// Placed shapes, each once however often it is added: a large shape is
// found near every pixel centre it covers.
class ShapeHitSet {
public:
  void add(const ShapeHit& hit);
  bool empty() const { return count == 0; }
  // Every hit once, in no particular order.
  void collect(std::vector<ShapeHit>& out) const;

private:
  std::vector<ShapeHit> table;
  std::vector<uint8_t> used;
  size_t count = 0;
};

#endif
