#ifndef KIVO_CELLPLACEMENT_H
#define KIVO_CELLPLACEMENT_H

#include <cstdint>

#include "model/Cell.h"
#include "model/Contours.h"

// One element of an instance: its transform, then the element's offset in
// the array. Ungroup places a cell's contents one level up with it.
struct ElementPlacement {
  CellTransform transform;
  int64_t ex = 0, ey = 0;

  // A point of the cell in the parent's coordinates, wrapped to 32 bits:
  // exact for an integral transform, rounded to nearest otherwise.
  Point point(int32_t px, int32_t py) const;
  // A copy of a cell's object in the parent's coordinates. Under an
  // integral transform a rectangle stays a rectangle and a shape's points
  // move exactly; under a magnification or an angle that is not a multiple
  // of 90 degrees a rectangle becomes the polygon of its four placed
  // corners, every point is rounded to the nearest unit and a path's width
  // and a label's size scale with the magnification.
  GroupNode* object(const GroupNode& node) const;
  // A copy of a nested instance placed into the parent: the transforms
  // compose (composeTransforms) and the array's steps and points turn
  // with it. cellBounds are the nested cell's.
  Instance* instance(const Instance& nested, const Rect& cellBounds) const;
};

// The placement of element (column, row) of an instance.
ElementPlacement elementPlacement(const Instance& instance, uint32_t column, uint32_t row);

#endif
