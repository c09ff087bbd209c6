#ifndef KIVO_LAYERDRAWING_H
#define KIVO_LAYERDRAWING_H

// Drawing the layers from their caches: the same objects in the same order
// and OpenGL state as Layer::draw, sent in vertex arrays and culled by
// PixelMap; or, for the coverage masks, settled on the CPU where the pixels
// are certain.

#include <algorithm>
#include <cstdint>
#include <vector>

#include "canvas/LayerCache.h"
#include "canvas/PixelMap.h"
#include "canvas/SelectionDashes.h"
#include "model/HugePages.h"
#include "model/LayerTable.h"

class Layer;

// Depths by place in the drawing order (drawingOrder, LayerTable.h): each
// layer's fill one step above the one before (a later layer is nearer), its
// selection outlines SELECTION_Z above its fill, as Layer::draw puts them.
// The named layers take LAYER_STEP_Z each; the pair layers follow above the
// last named one's outlines with the smaller PAIR_STEP_Z, so that all of
// them, outlines included, stay below the band (0.08 + 255 * 0.003 + 0.01
// = 0.855 < BAND_Z) while each step still spans thousands of values of a
// 24-bit depth buffer.
const float LAYER_STEP_Z = 0.005f;
const float SELECTION_Z = 0.01f;
const float PAIR_STEP_Z = 0.003f;
const float FIRST_PAIR_Z = (NAMED_LAYER_COUNT - 1) * LAYER_STEP_Z + SELECTION_Z + LAYER_STEP_Z;
inline float layerDepth(int place) {
  return place < NAMED_LAYER_COUNT ? (float)place * LAYER_STEP_Z
                                   : FIRST_PAIR_Z + (float)(place - NAMED_LAYER_COUNT) * PAIR_STEP_Z;
}

const uint32_t WHITE = 0xFFFFFFFFu;
void setColor(uint32_t color);

// View > Outlines: every shape's outline drawn in its layer's colour, made
// opaque, around its fill, OUTLINE_Z above it: nearer than the fill, so the
// edge shows over it, and well below the next layer's fill (PAIR_STEP_Z,
// the smallest step, is three times as much).
const float OUTLINE_Z = 0.001f;
void showOutlines(bool on);
bool outlinesShown();
// The colour of a layer's outlines under View > Outlines.
inline uint32_t outlineColor(uint32_t color) { return color | 0xFF000000u; }
// The polygon mode and stipple of a layer's shapes (the caller saves
// GL_POLYGON_BIT, GL_ENABLE_BIT and GL_POLYGON_STIPPLE_BIT): filled,
// filled through its stipple pattern, or outlined.
void beginLayerStyle(const Layer& layer);
// What the plain painter draws of a layer's own objects, each in immediate
// mode: nothing while the layer is hidden; its objects in its style, their
// outlines under View > Outlines, the dashed outlines of selected objects
// (those of boxes as their dashes' pixels, SelectionDashes.h).
void drawLayerPlain(const Layer& layer, const PixelMap& map);
// Load the view's projection and an identity model-view matrix.
void loadProjection(const ViewTransform& view);
// Push the state that drawing coverage bits changes (enables, colour buffer,
// polygon and line state, and the OpenGL attribute bits in more), then set
// it: bits OR into the colour buffer, with no depth test, blending,
// dithering or line stipple; polygons filled when fill. glPopAttrib
// restores it.
void pushBitDrawing(unsigned more, bool fill);

// Corners as OpenGL receives them, relative to the view's base (drawCoord);
// rounding is monotonic, so the order of the edges is kept.
struct DrawCorners {
  float x0, y0, x1, y1;
  DrawCorners(const ObjectCorners& c, int64_t bx, int64_t by)
      : x0(drawCoord(c.x0, bx)), y0(drawCoord(c.y0, by)), x1(drawCoord(c.x1, bx)),
        y1(drawCoord(c.y1, by)) {}
  DrawCorners(float ax, float ay, float bx, float by) : x0(ax), y0(ay), x1(bx), y1(by) {}
  float left() const { return std::min(x0, x1); }
  float right() const { return std::max(x0, x1); }
  float low() const { return std::min(y0, y1); }
  float high() const { return std::max(y0, y1); }
};

// Vertices of quads on their way to OpenGL, sent in batches of a fixed
// size so that the buffer stays small whatever the layer holds.
struct VertexBuffer {
  // 4096 quads a batch: llvmpipe rasterises one batch while the next is
  // set up; larger batches wait longer, smaller ones pay more per call.
  static const size_t QUADS = 4096;
  static const int FLOATS_PER_QUAD = 8;  // four corners in drawing order
  float data[QUADS * FLOATS_PER_QUAD];
  size_t size = 0;  // floats
  void push(const DrawCorners& c) {
    float* v = &data[size];
    v[0] = c.x0, v[1] = c.y0, v[2] = c.x1, v[3] = c.y0;
    v[4] = c.x1, v[5] = c.y1, v[6] = c.x0, v[7] = c.y1;
    size += FLOATS_PER_QUAD;
    if (size == QUADS * FLOATS_PER_QUAD) flush();
  }
  void flush();
};

// Quads kept for OpenGL instead of sent: what a second thread gives the
// thread that owns the context.
struct QuadList {
  std::vector<DrawCorners> quads;
  void push(const DrawCorners& c) { quads.push_back(c); }
  void flush() {}
};

// A box waiting for the rasteriser's decision at its edges near centres:
// the spans of its axes (pixel numbers fit in 16 bits: X windows are
// smaller than 32768 pixels).
struct EdgeBox {
  float lo, hi;         // the near axis's edges, in drawing coordinates
  uint32_t position;    // in its layer's cache
  int16_t first, last;  // the near axis's centres covered for certain
  int16_t nearLo, nearHi;  // the centres its edges lie near (-1: none)
  int16_t otherFirst, otherLast;  // the other axis's, all certain
  uint8_t layer;
  bool alongY;  // the near axis is Y
};

// Where a mask pass sets the bits of filled boxes whose pixels are certain
// itself (most boxes at a whole view: one pixel each), leaving OpenGL only
// the boxes whose edges pass near a pixel centre. Rows from the bottom.
struct SureFill {
  uint16_t* plane = nullptr;  // the fill bits of layers 0 to 13 per pixel
  bool* touched = nullptr;
  BigVector<EdgeBox>* pending = nullptr;
  int layer = 0;
  const EdgeTable* table = nullptr;
};

// The objects that are not boxes, from list position from on, without
// stipple.
void drawOthers(const LayerCache& cache, uint32_t from, const PixelMap& map);
// What Layer::draw draws in the layer's colour: objects filled while the
// layer is enabled and not in the outline style, outlined otherwise. The
// caller sets the colour and any stipple.
void drawFill(const Layer& layer, const LayerCache& cache, uint32_t from, const PixelMap& map,
              VertexBuffer& out, SureFill sure = SureFill());
// The filled boxes of an enabled layer from position from on, settled as
// drawFill settles them, with the quads for OpenGL kept in out: the work of
// a thread that does not own the context.
void sortFill(const LayerCache& cache, uint32_t from, const PixelMap& map, QuadList& out, SureFill sure);
// Where the dashes of selected boxes go instead of OpenGL: bit set in
// bits[row * width + column] for each of their pixels.
struct DashMask {
  uint32_t* bits = nullptr;
  uint32_t bit = 0;
};
// The dashed outlines of the selected objects of an enabled layer, in the
// current colour: those of boxes as quads over their dashes' pixels, or set
// in mask when it has bits; the others' by OpenGL's line stipple.
void drawSelection(const Layer& layer, const LayerCache& cache, const PixelMap& map,
                   VertexBuffer& out, DashMask mask = DashMask());
// The same picture as drawLayerPlain, from the layer's cache.
void drawLayerFast(const Layer& layer, const LayerCache& cache, const ViewTransform& view,
                   VertexBuffer& scratch);

#endif
