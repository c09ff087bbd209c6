#ifndef KIVO_CANVASPAINTER_H
#define KIVO_CANVASPAINTER_H

#include <cstdint>
#include <vector>

#include "canvas/ViewTransform.h"
#include "model/LayerTable.h"

class GroupNode;
struct ObjectCorners;
class Layer;
class MouseRect;

// Draws the canvas: crosshair, rubber band and the fourteen layers, into the
// current OpenGL context's back buffer (the caller makes the context current
// and swaps).
//
// Both paths give OpenGL coordinates relative to the view's whole-unit base
// (ViewTransform::baseX, baseY), subtracted in integer arithmetic: single
// floats hold those small numbers exactly, so the picture is the same
// wherever the layout lies.
//
// The plain path calls each layer's draw, one immediate-mode quadrilateral
// per object. The fast path gives the same pixels with less work:
// - Each layer keeps one copy of its objects' corners, in list order, with
//   the boxes sorted into a grid of tiles for culling. A change is found in
//   one pass over the layer's list: objects that match are only checked,
//   new ones at the end are appended, the rest copied again.
// - The layers' picture is composed from per-layer coverage masks (which
//   pixels a layer's fill and its selection outlines cover), so a change
//   redraws only the masks it touched. OpenGL draws the masks; boxes whose
//   pixels are certain without its rounding rules are set directly.
// - The layers' picture is kept in a texture. The crosshair and the band are
//   opaque and nearer than every layer, so drawing them over the kept image
//   gives the pixels of the full paint; pointer motion thus repaints without
//   drawing a single layer.
// Caches are keyed by each layer's revision (which every apply, enable
// switch, colour change and content swap raises), by the view and by the
// canvas size. Selection and geometry must therefore change through
// Layer::apply, never by calling Rect::select or setRect on a listed object.
class CanvasPainter {
public:
  CanvasPainter();
  ~CanvasPainter();
  CanvasPainter(const CanvasPainter&) = delete;
  CanvasPainter& operator=(const CanvasPainter&) = delete;

  // Clear the frame and draw crosshair, band and layers for this view.
  void paint(const ViewTransform& view, Layer layers[LAYER_COUNT], MouseRect& band);

  // Draw with the plain immediate-mode loop instead of the fast path.
  void setReferenceMode(bool on) { reference = on; }
  bool isReferenceMode() const { return reference; }
  // Free the OpenGL objects and the memory of the caches, before the
  // context goes (the caller makes it current); no thread of the painter's
  // runs afterwards. A later paint starts afresh.
  void releaseGL();
  // Forget the kept picture and vertex arrays.
  void invalidate();
  // Forget the kept picture and masks, so that the next paint draws the
  // layers again from the vertex arrays.
  void forgetPicture();
  // How many paints drew the layers (the others reused the kept picture).
  unsigned long layerRenderCount() const { return layerRenders; }
  // False when the fast path's test picture differed from the plain one's
  // at the first paint: every paint is then plain.
  bool isFastPathTrusted() const { return trusted; }
  // For tests: compose wrongly from now on and check the fast path again
  // at the next paint.
  void spoilCompositionForTest();

  using Corners = ObjectCorners;
  struct DrawCorners;
  struct LayerCache;
  struct VertexBuffer;
  struct Composer;
  struct EdgeBox;

private:
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
      return originX == o.originX && originY == o.originY && scale == o.scale &&
             width == o.width && height == o.height && layers == o.layers;
    }
  };
  struct ImageKey {
    ViewKey view;
    uint64_t revisions[LAYER_COUNT] = {};
    bool operator==(const ImageKey& o) const;
  };

  void paintReference(const ViewTransform& view, Layer layers[LAYER_COUNT], MouseRect& band);
  void paintFast(const ViewTransform& view, Layer layers[LAYER_COUNT], MouseRect& band);
  void checkFastPath(const ViewTransform& view, Layer layers[LAYER_COUNT]);
  void drawPictureFast(const ViewTransform& view, Layer layers[LAYER_COUNT]);
  void drawPicturePlain(const ViewTransform& view, Layer layers[LAYER_COUNT]);
  void updateCaches(Layer layers[LAYER_COUNT], int* changes = nullptr);
  void sortWhereCulled(const ViewTransform& view, Layer layers[LAYER_COUNT]);
  void drawLayersFast(const ViewTransform& view, Layer layers[LAYER_COUNT]);
  bool composeLayers(const ViewTransform& view, Layer layers[LAYER_COUNT]);
  void learnComposition(const ViewTransform& view, Layer layers[LAYER_COUNT]);
  void drawMasks(const ViewTransform& view, Layer layers[LAYER_COUNT], const bool chosen[LAYER_COUNT],
                 const uint32_t from[LAYER_COUNT], bool selection);
  void resolveEdges(const ViewTransform& view);
  bool ensureTexture(const ViewTransform& view);
  void restoreImage(const ViewTransform& view);
  void keepImage(const ViewTransform& view);

  bool reference = false;
  bool checked = false, trusted = true, spoiled = false;
  unsigned long layerRenders = 0;
  LayerCache* caches;  // LAYER_COUNT entries
  VertexBuffer* vertices;
  Composer* composer;
  unsigned int texture = 0;  // the kept picture, in the canvas's context
  int textureW = 0, textureH = 0;
  bool imageValid = false;
  ImageKey imageKey;
};

#endif
