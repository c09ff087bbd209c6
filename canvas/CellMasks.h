#ifndef KIVO_CELLMASKS_H
#define KIVO_CELLMASKS_H

// The placed shapes of a cell hierarchy on the canvas, exactly as drawing
// every flattened shape would put them, with work bounded by the pixels
// rather than the flattened count. Each pixel centre asks the hierarchy for
// the shapes near it (CellScene's grids, arrays by division): a shape that
// covers the centre clear of the rasteriser's rounding sets the layer's bit;
// one with an edge too near the centre, or reaching past the canvas, is
// handed to OpenGL as the plain painter draws it (once, however many
// centres it is near), so that only the rasteriser decides there.
// Layers drawn in outline (disabled), shapes whose placed corners wrap past
// 32 bits and the dashed outlines of selected placements are drawn by
// OpenGL too.

#include <cstdint>
#include <utility>
#include <vector>

#include "canvas/CellScene.h"
#include "canvas/EdgeProbe.h"
#include "canvas/KeptPicture.h"
#include "canvas/LayerDrawing.h"
#include "canvas/PixelMap.h"
#include "canvas/PolygonCoverage.h"
#include "canvas/RowQuery.h"
#include "model/HugePages.h"

// The dashed outlines of selected placements go into the mask bit of the
// frontmost layer's selection: they are drawn white at its depth.
const int OUTLINE_LAYER = NAMED_LAYER_COUNT - 1;

struct CellMasks {
  // Per pixel, rows from the bottom: bit s where slot s's placed shapes
  // cover the centre (wide: the slots below WIDE_SLOTS; plane: the named
  // ones); outlines: 1 where a selected placement's outline lies.
  BigVector<uint64_t> wide;
  BigVector<uint16_t> plane;
  BigVector<uint8_t> outlines;
  // Per pair slot below WIDE_SLOTS, the runs of its pixels in wide, found
  // when first drawn.
  mutable std::vector<std::vector<PixelSpan>> pairRuns;

  // Bring plane and outlines to this view of the scene (snap: how far the
  // rasteriser may move a vertex), each unless it shows it already. The
  // caller's OpenGL context draws what is left to the rasteriser; the
  // frame's colour buffer is used and left cleared.
  void update(const ViewTransform& view, const CellScene& scene, const bool enabled[LAYER_COUNT], double snap,
              VertexBuffer& vertices);
  void forget() { valid = outlinesValid = false; }
  // Room for the work of a canvas of this many pixels, taken before a file
  // makes the user wait: the pages of fresh memory fault one by one.
  void reserve(size_t pixels);
  // A pair slot's pixels, in the current colour and depth, as the plain
  // painter's placed shapes of the slot give them: each pixel once.
  void drawPairRuns(int slot, const ViewTransform& view) const;

private:
  void updatePlane(const ViewTransform& view, const CellScene& scene, const bool enabled[LAYER_COUNT],
                   VertexBuffer& vertices);
  void probeNear(const ViewTransform& view, const PixelMap& map, VertexBuffer& vertices);
  void findPairRuns(int width, int height) const;
  mutable bool runsFound = false;
  // Kept from one update to the next: the searching threads' shapes near
  // centres, the probed ones (sorted by each thread) and their answers,
  // the frame read back.
  UnsureList nearMine, nearTheirs;
  BigVector<EdgeBox> probed, theirProbed;
  BigVector<ProbedSpan> spans;
  BigVector<uint8_t> decided, readBack;
  bool valid = false, outlinesValid = false;
  ViewKey view, outlinesView;
  uint64_t revision = 0, outlinesRevision = 0, selectionRevision = 0;
  uint64_t enabledBits = 0;  // slots below WIDE_SLOTS drawn filled
  double snap = 0;
};

// What the plain painter draws of the scene for slot s, in the current
// colour and depth: every placed shape as a quad, filled when enabled and in
// outline when not (elements far off the canvas left out).
void drawPlacedShapes(const CellScene& scene, const ViewTransform& view, int slot, bool enabled);
// The dashed outlines of the selected placements, in the current colour.
void drawPlacementOutlines(const CellScene& scene, const ViewTransform& view);
// The placed shapes of one pair slot in view: rectangles, and the other
// shapes with their placements.
struct GatheredShapes {
  std::vector<ObjectCorners> rects;
  std::vector<std::pair<const SceneShape*, PlaceTransform>> drawn;
};
// The placed shapes of the pair slots in view, gathered in one walk of the
// hierarchy into bySlot (indexed by slot; the named slots stay empty), so
// that the fast path walks the hierarchy once for all pair layers; each
// then draws its list with drawGatheredShapes, as drawPlacedShapes would.
// Only slots from `from` on are gathered.
void gatherPairShapes(const CellScene& scene, const ViewTransform& view, std::vector<GatheredShapes>& bySlot,
                      int from = FIRST_PAIR_SLOT);
void drawGatheredShapes(const GatheredShapes& shapes, const ViewTransform& view, bool enabled);

#endif
