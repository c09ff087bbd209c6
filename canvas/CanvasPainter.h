#ifndef KIVO_CANVASPAINTER_H
#define KIVO_CANVASPAINTER_H

#include <cstdint>
#include <vector>

#include "canvas/LayerCache.h"
#include "canvas/ViewTransform.h"
#include "model/LayerTable.h"

struct CellMasks;
struct CellScene;
struct Composer;
struct GatheredShapes;
class KeptPicture;
class Layer;
class MouseRect;
struct LayerCache;
struct PictureKey;
struct VertexBuffer;

// Draws the canvas: crosshair, rubber band and the layers in drawing order, into the
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
//   pixels are certain without its rounding rules are set directly. The
//   masks hold the named layers only: pair layers, drawn after them, are
//   drawn from the caches over the composed picture.
// - The layers' picture is kept in a texture. The crosshair and the band are
//   opaque and nearer than every layer, so drawing them over the kept image
//   gives the pixels of the full paint; pointer motion thus repaints without
//   drawing a single layer.
// The parts: LayerCache (the corners and tiles), PixelMap (which pixels a
// box covers for certain), LayerDrawing (vertex arrays from the caches),
// SelectionDashes (the pixels of selected boxes' dashes, which neither
// painter leaves to OpenGL's stipple), Composer (the masks and their
// fold), KeptPicture (the texture) and
// SecondThread (the one way work is shared with a second processor).
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

  // Clear the frame and draw crosshair, band and layers for this view. The
  // layers are only read; takeCorners gives up the corners of appended
  // objects. The shown cell's placements of other cells, when there are
  // any, are drawn with the layers as their flattened shapes would be
  // (scene prepared, its revision raised with every change).
  void paint(const ViewTransform& view, const Layer layers[LAYER_COUNT], const CornerHandOver& takeCorners,
             MouseRect& band, const CellScene* scene = nullptr);

  // Clear the frame and draw the layers alone, without crosshair and band:
  // the picture that File > Export Picture writes, tile by tile.
  void paintLayers(const ViewTransform& view, const Layer layers[LAYER_COUNT], const CornerHandOver& takeCorners,
                   const CellScene* scene = nullptr);

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

private:
  void paintReference(const ViewTransform& view, const Layer layers[LAYER_COUNT], MouseRect& band);
  void paintFast(const ViewTransform& view, const Layer layers[LAYER_COUNT], MouseRect& band);
  void checkFastPath(const ViewTransform& view, const Layer layers[LAYER_COUNT]);
  void drawPictureFast(const ViewTransform& view, const Layer layers[LAYER_COUNT], const PictureKey& key);
  void drawPicturePlain(const ViewTransform& view, const Layer layers[LAYER_COUNT]);
  // What the plain painter draws of the scene on layer i: before the layer's
  // own objects the placed shapes, after them the outlines of selected
  // placements (with the frontmost layer). gathered: the layer's placed
  // shapes when the fast path gathered them beforehand.
  void drawScenePlain(const ViewTransform& view, const Layer& layer, int i, bool before,
                      const GatheredShapes* gathered = nullptr);
  void updateCaches(const Layer layers[LAYER_COUNT], int* changes = nullptr);
  void sortWhereCulled(const ViewTransform& view, const Layer layers[LAYER_COUNT]);
  // The layers from place `from` of the drawing order on, from the caches.
  void drawLayersFast(const ViewTransform& view, const Layer layers[LAYER_COUNT], size_t from = 0);
  bool composeLayers(const ViewTransform& view, const Layer layers[LAYER_COUNT], const PictureKey& key);

  bool reference = false;
  bool overlays = true;  // crosshair and band drawn over the layers
  bool checked = false, trusted = true;
  unsigned long layerRenders = 0;
  LayerCache* caches;  // LAYER_COUNT entries
  VertexBuffer* vertices;
  Composer* composer;
  KeptPicture* picture;
  CellMasks* cellMasks;
  // The hand-over of the paint under way; none for the test picture.
  const CornerHandOver* handOver = nullptr;
  // The scene of the paint under way (the test picture's own while it is
  // drawn).
  const CellScene* scene = nullptr;
  // The cell masks of this picture hold the pair slots' placed pixels.
  bool pairRunsReady = false;
  // The composed picture holds the pair slots' placed pixels too: no pair
  // layer is left to draw over it.
  bool pairsFolded = false;
};

#endif
