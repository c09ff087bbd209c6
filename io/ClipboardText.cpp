#include "io/ClipboardText.h"

#include <sstream>

#include "io/Gdsii.h"
#include "io/LayoutFile.h"
#include "model/CellFlatten.h"

std::string clipboardText(const std::vector<PlacedObject>& objects, const CellLibrary* cells) {
  Layer layers[LAYER_COUNT];
  for (int i = 0; i < LAYER_COUNT; i++) {
    layers[i].setId(i);
    layers[i].enable();
  }
  for (const PlacedObject& o : objects) {
    if (o.layer == LAYER_INSTANCES) {
      // Other programs know no cells: an instance goes as its flattened objects.
      if (cells) flattenInstance(*cells, *static_cast<const Instance*>(o.node), layers, GDS_OBJECT_LIMIT);
    } else if (o.layer >= 0 && o.layer < LAYER_COUNT) {
      layers[o.layer].apply(OP_ADD, MATCH_ALL, cloneObject(*o.node));
    }
  }
  std::ostringstream out;
  writeLayout(out, layers);
  return out.str();
}

// The layers own the objects until the vector has room for all of them, so
// an allocation that fails leaves nothing behind.
std::vector<PlacedObject> objectsOfClipboardText(const char* text, size_t size) {
  Layer layers[LAYER_COUNT];
  for (Layer& layer : layers) layer.enable();
  readLayout(text, size, layers);
  size_t count = 0;
  for (const Layer& layer : layers) count += layer.size();
  std::vector<PlacedObject> objects;
  objects.reserve(count);
  for (int i = 0; i < LAYER_COUNT; i++) {
    for (GroupNode* node = layers[i].cutFrom(0); node;) {
      GroupNode* next = node->links[0];
      node->links[0] = nullptr;
      objects.push_back({i, node});
      node = next;
    }
  }
  return objects;
}
