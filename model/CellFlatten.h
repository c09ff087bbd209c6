#ifndef KIVO_CELLFLATTEN_H
#define KIVO_CELLFLATTEN_H

#include <cstdint>

#include "model/Cell.h"

// What a flattening made.
struct FlattenResult {
  uint64_t objects = 0;    // copies appended
  uint64_t instances = 0;  // instance elements expanded, nested ones included
  bool overLimit = false;  // more objects than the limit: nothing was made
};

// Append to out (LAYER_COUNT layers) a copy of every object the cell shows
// flattened: its own, then each instance's cell placed by its transform
// and array, nested instances within. Polygons and paths have their points
// placed, labels their anchor (rounded to nearest where the transform is
// not integral); a box placed by a transform that is not integral becomes
// the polygon of its placed corners, a path's width and extensions grow by
// the magnification, and other objects become the box around their placed
// corners. Nothing is made when the flattened count exceeds limit.
FlattenResult flattenCell(const CellLibrary& cells, uint32_t cell, Layer out[LAYER_COUNT],
                          uint64_t limit);
// The same for one instance of a cell of cells.
FlattenResult flattenInstance(const CellLibrary& cells, const Instance& instance,
                              Layer out[LAYER_COUNT], uint64_t limit);

#endif
