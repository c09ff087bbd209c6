#ifndef KIVO_KEPTPICTURE_H
#define KIVO_KEPTPICTURE_H

#include <cstdint>

#include "canvas/ViewTransform.h"
#include "model/LayerTable.h"

class Layer;

// What a picture of the layers depends on besides their content.
struct ViewKey {
  double originX = 0, originY = 0;
  float scale = 0.0f;
  int width = -1, height = -1;
  const Layer* layers = nullptr;
  ViewKey() = default;
  ViewKey(const ViewTransform& view, const Layer* l)
      : originX(view.originX), originY(view.originY), scale(view.scale), width(view.width),
        height(view.height), layers(l) {}
  bool operator==(const ViewKey& o) const {
    return originX == o.originX && originY == o.originY && scale == o.scale && width == o.width &&
           height == o.height && layers == o.layers;
  }
};

// What a picture of the layers depends on: the view and every layer's
// revision (which every apply, enable switch, colour change and content
// swap raises).
struct PictureKey {
  ViewKey view;
  uint64_t revisions[LAYER_COUNT] = {};
  // The cells placed in the shown one, and their revision.
  const void* scene = nullptr;
  uint64_t sceneRevision = 0, selectionRevision = 0;
  PictureKey() = default;
  PictureKey(const ViewTransform& v, const Layer layers[LAYER_COUNT]);
  bool operator==(const PictureKey& o) const;
};

// The layers' picture kept in a texture of the canvas's context. A texture
// stays inside the OpenGL implementation, so keeping and restoring it is a
// copy within the renderer rather than a trip through client memory.
class KeptPicture {
public:
  // Whether the kept picture shows this key.
  bool shows(const PictureKey& k) const { return valid && key == k; }
  void forget() { valid = false; }
  // Copy the colour buffer being drawn into the texture.
  void keep(const ViewTransform& view, const PictureKey& k);
  // Take a composed image (rows from the bottom, RGBA) into the texture.
  void upload(const ViewTransform& view, const PictureKey& k, const uint8_t* pixels);
  // Put the kept picture back texel for pixel, with an empty depth buffer,
  // and reload the view's projection.
  void restore(const ViewTransform& view);
  // A texture at least the canvas's size; false where OpenGL cannot give it.
  bool ensureTexture(const ViewTransform& view);
  // Delete the texture; the caller makes its context current.
  void release();
  bool isValid() const { return valid; }

private:
  unsigned int texture = 0;
  int textureW = 0, textureH = 0;
  bool valid = false;
  PictureKey key;
};

#endif
