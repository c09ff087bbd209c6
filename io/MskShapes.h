#ifndef KIVO_MSKSHAPES_H
#define KIVO_MSKSHAPES_H

#include <cstdint>
#include <string>
#include <vector>

#include "model/Layer.h"
#include "model/LayerTable.h"
#include "model/Shapes.h"

// What a .msk file can keep of GDSII's shapes: rectangles only. A
// rectilinear polygon and a path along the axes (flush or half-width ends,
// an even positive width) are written as the exact rectangles they cut
// into; anything else, labels and properties are left out.

// The rectangles a shape is written as; false when it has none exactly.
bool mskRectangles(const Shape& shape, std::vector<Rect>& out);

// What a .msk save leaves out.
struct MskLoss {
  uint64_t labels = 0, shapes = 0, properties = 0;
  bool any() const { return labels || shapes || properties; }
  // The question before the save; instances: how many are written flat.
  std::string question(uint64_t instances) const;
};
MskLoss mskLoss(const Layer layers[LAYER_COUNT]);

#endif
