#ifndef KIVO_COMPOSER_H
#define KIVO_COMPOSER_H

#include <GL/gl.h>

#include <cstdint>

#include "canvas/CellScene.h"
#include "canvas/KeptPicture.h"
#include "canvas/LayerCache.h"
#include "canvas/LayerDrawing.h"
#include "model/HugePages.h"
#include "model/LayerTable.h"

// Layer i's bit of a mask as the current colour: red bits for layers 0 to
// 7, green for 8 to 13.
void setBitColor(int i);

// The OpenGL state a learned blend table and depths hold for.
struct BlendState {
  GLboolean enabled = GL_FALSE, dither = GL_FALSE;
  GLint source = 0, destination = 0, depthFunc = 0;
  GLfloat depthRange[2] = {0, 0};
  static BlendState current();
  bool operator==(const BlendState& o) const;
};

// How a kept picture is composed from coverage masks. The layers share one
// colour per layer and one depth per layer and kind (fill, selection), and
// the depth test (GL_LESS) lets only the first fragment of one depth through
// at a pixel, so a pixel's colour follows from which layers cover it: fold
// the layers in drawing order, each blending its colour over the pixel when
// its depth is nearer than the one stored. The masks are drawn by OpenGL
// itself (each layer one bit of the colour, combined with a logical OR), so
// the coverage is the rasteriser's own; the blend results and depths are
// read back from OpenGL too. A change then redraws only the masks of the
// layers it touched: a selection change only that layer's outlines, an
// added object only itself. Only the named layers are composed so: a
// picture where pair layers hold objects is drawn from the caches instead.
struct Composer {
public:
  // The smallest canvas masks are composed for: the blend table is learned
  // in a ramp of 256 pixels by 15 rows, and the depths in one row more.
  static const int MIN_WIDTH = 256, MIN_HEIGHT = 16;

  // Blend results: for each layer's colour (and white, last), each channel
  // and each byte already in the frame, the byte OpenGL writes; learned
  // for these colours under this blending and depth state, and learned
  // again when either differs.
  uint8_t blend[NAMED_LAYER_COUNT + 1][4][256];
  uint32_t learnedColors[WIDE_SLOTS] = {};
  // The same for the pair slots (each at its place in the drawing order),
  // learned when the cell masks can hold them all: learnedPairs of them.
  uint8_t pairBlend[WIDE_SLOTS - FIRST_PAIR_SLOT][4][256];
  uint32_t pairDepth[WIDE_SLOTS - FIRST_PAIR_SLOT] = {};
  int learnedPairs = 0;
  BlendState learnedState;
  bool learned = false;
  uint32_t fillDepth[NAMED_LAYER_COUNT] = {}, selectionDepth[NAMED_LAYER_COUNT] = {};
  int supported = -1;  // the frame buffer holds the bits: unknown, 0, 1
  // The renderer is llvmpipe, whose snapping is known (snap).
  bool llvmpipe = false;
  // How far the rasteriser may move a vertex, in pixels: llvmpipe rounds to
  // the nearest 1/256 pixel, so at most 1/512 (an edge that far from a
  // centre may land on it, and then the tie rule decides); others get the
  // generous 1/16.
  double snap = ANY_SNAP;

  // Per pixel: bit i covered by layer i's fill, bit 16 + i by its selection.
  BigVector<uint32_t> bits;
  BigVector<uint8_t> pixels;  // read back, then the composed image
  BigVector<uint16_t> plane;  // certain fill pixels, all zero between passes
  BigVector<uint16_t> theirPlane;  // the same for the second thread of drawMasks
  BigVector<EdgeBox> pending;  // boxes that wait for resolveEdges
  bool valid = false;
  // The bits of the layers shown (not hidden), set by learn for fold.
  uint32_t shownBits = ~0u;
  ViewKey view;  // of the masks
  bool spoiled = false;  // compose wrongly, for a test of the check

  // Whether the masks can show the layers' looks: no layer they hold is
  // stippled (a pattern is no coverage a mask records) and View > Outlines
  // is off. Otherwise the layers are drawn from their caches, as the plain
  // painter draws them. Hidden layers are left out in fold.
  bool composes(const Layer layers[NAMED_LAYER_COUNT]) const;
  // Whether the frame buffer can hold the masks of this view (asked of
  // OpenGL once), and the rasteriser's facts with it.
  bool canCompose(const ViewTransform& view);
  // Learn from OpenGL, in the frame about to be cleared, what blending each
  // layer's colour over every byte gives, and the depth each layer's fill
  // and selection store, unless known for these colours and this state.
  // Needs MIN_WIDTH x MIN_HEIGHT pixels.
  void learn(const ViewTransform& view, const Layer layers[LAYER_COUNT]);
  // Draw the masks of the chosen layers, each its bit, and merge them into
  // the kept masks: fills (layers' fill from position from[i], the rest kept
  // when from[i] > 0) or selection outlines.
  void drawMasks(const ViewTransform& view, const Layer layers[NAMED_LAYER_COUNT], const LayerCache caches[NAMED_LAYER_COUNT],
                 VertexBuffer& vertices, const bool chosen[NAMED_LAYER_COUNT], const uint32_t from[NAMED_LAYER_COUNT],
                 bool selection);
  // The composed image of the masks, in pixels: fold the layers over each.
  // placed and outlines, when given, add per pixel the fills of placed
  // cells (bits 0 to 13) and the outlines of selected placements (1: the
  // frontmost layer's selection, drawn white at its depth).
  void fold(size_t n, const uint16_t* placed = nullptr, const uint8_t* outlines = nullptr);

  // Whether foldPairs gives the picture the pair layers' drawing over the
  // composed one would give: their looks are learned, the layers hold no
  // objects of their own and every pair slot of the scene is filled
  // without stipple (or hidden) and held in the cell masks' words.
  bool foldsPairs(const Layer layers[LAYER_COUNT], const CellScene& scene) const;
  // Fold the pair slots' placed pixels (wide: the cell masks' words) over
  // the composed image in pixels.
  void foldPairs(size_t n, const Layer layers[LAYER_COUNT], const uint64_t* wide);

private:
  void resolveEdges(const ViewTransform& view, const LayerCache caches[NAMED_LAYER_COUNT], VertexBuffer& vertices);
};

#endif
