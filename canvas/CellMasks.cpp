#include "canvas/CellMasks.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "canvas/Composer.h"
#include "canvas/EdgeProbe.h"
#include "canvas/PixelMap.h"
#include "canvas/PlacedShapes.h"
#include "canvas/RowQuery.h"
#include "canvas/SecondThread.h"

namespace {

// Canvases of at least this many pixels share their rows with a second
// thread: a pixel's query takes a fraction of a microsecond, so smaller
// ones finish before a thread would start.
const size_t SHARED_PIXELS = 1 << 16;
// Shapes near centres, about a tenth of the pixels at a whole view: the
// lists reserve an eighth.
const size_t NEAR_SHARE = 8;
// Probed boxes keep their centres in 16 bits.
const int PROBED_SIDE = 32768;

// The four corners of a placed shape, inside glBegin(GL_QUADS).
inline void quadVertices(const ObjectCorners& c, int64_t bx, int64_t by) {
  float x0 = drawCoord(c.x0, bx), y0 = drawCoord(c.y0, by), x1 = drawCoord(c.x1, bx), y1 = drawCoord(c.y1, by);
  glVertex2f(x0, y0);
  glVertex2f(x1, y0);
  glVertex2f(x1, y1);
  glVertex2f(x0, y1);
}

// A placed shape as the plain painter draws it.
inline void quad(const ObjectCorners& c, int64_t bx, int64_t by) {
  glBegin(GL_QUADS);
  quadVertices(c, bx, by);
  glEnd();
}

// A placed marker as Opt draws it: the four sides and both diagonals, each
// a segment of its own.
void optLines(const ObjectCorners& c, int64_t bx, int64_t by) {
  float x0 = drawCoord(c.x0, bx), y0 = drawCoord(c.y0, by), x1 = drawCoord(c.x1, bx), y1 = drawCoord(c.y1, by);
  const float v[] = {x0, y0, x1, y0, x1, y0, x1, y1, x1, y1, x0, y1,
                     x0, y1, x0, y0, x0, y0, x1, y1, x1, y0, x0, y1};
  glBegin(GL_LINES);
  for (int i = 0; i < 24; i += 2) glVertex2f(v[i], v[i + 1]);
  glEnd();
}

// The layout box of the view grown by the view's extent on every side:
// elements outside it cannot put a fragment on the canvas.
Box64 cullBox(const ViewTransform& view) {
  const double limit = std::ldexp(1.0, 62);
  double w = view.width / (double)view.scale, h = view.height / (double)view.scale;
  auto clamp = [&](double v) { return (int64_t)std::max(-limit, std::min(limit, std::floor(v))); };
  Box64 b;
  b.x0 = clamp(view.originX - w - 2), b.x1 = clamp(view.originX + 2 * w + 2);
  b.y0 = clamp(view.originY - h - 2), b.y1 = clamp(view.originY + 2 * h + 2);
  return b;
}

// The rectangles of a thread's list that come near centres on one axis
// only, as boxes for EdgeProbe (position: the place in the list).
void sortNear(const BigVector<Unsure>& unsure, const PixelMap& map, BigVector<EdgeBox>& boxes) {
  for (size_t k = 0; k < unsure.size(); k++) {
    EdgeBox b;
    if (!nearOnOneAxis(DrawCorners(unsure[k].c, map.baseX, map.baseY), map, b)) continue;
    b.position = (uint32_t)k, b.layer = (uint8_t)unsure[k].slot;
    boxes.push_back(b);
  }
}

}  // namespace

void drawPlacedShapes(const CellScene& scene, const ViewTransform& view, int slot, bool enabled) {
  if (!scene.hasPlacements()) return;
  int64_t bx = view.baseX(), by = view.baseY();
  if (scene.top().slotBelow(slot)) {
    glPolygonMode(GL_FRONT_AND_BACK, enabled ? GL_FILL : GL_LINE);
    ShapePlacer placer;
    scene.flatten(
        cullBox(view), CellScene::SHAPES,
        [&](int s, const ObjectCorners& c) {
          if (s == slot) quad(c, bx, by);
        },
        [&](const SceneShape& d, const PlaceTransform& t) {
          if (d.slot == slot && d.shownAt(view.scale)) placer.place(*d.shape, t).draw(bx, by);
        });
  }
  if (slot == LAYER_OPTIONS && (scene.top().slotsBelow & SceneCell::OPTS_BELOW))
    scene.flatten(cullBox(view), CellScene::OPTS, [&](int, const ObjectCorners& c) { optLines(c, bx, by); });
}

void gatherPairShapes(const CellScene& scene, const ViewTransform& view, std::vector<GatheredShapes>& bySlot,
                      int from) {
  bySlot.assign(LAYER_COUNT, {});
  if (!scene.hasPlacements() || !scene.top().pairsBelow || (from >= WIDE_SLOTS && !scene.top().highPairsBelow)) return;
  scene.flatten(
      cullBox(view), CellScene::SHAPES,
      [&](int s, const ObjectCorners& c) {
        if (s >= from) bySlot[s].rects.push_back(c);
      },
      [&](const SceneShape& d, const PlaceTransform& t) {
        if (d.slot >= from && d.shownAt(view.scale)) bySlot[d.slot].drawn.push_back({&d, t});
      });
}

void drawGatheredShapes(const GatheredShapes& shapes, const ViewTransform& view, bool enabled) {
  int64_t bx = view.baseX(), by = view.baseY();
  glPolygonMode(GL_FRONT_AND_BACK, enabled ? GL_FILL : GL_LINE);
  if (!shapes.rects.empty()) {
    glBegin(GL_QUADS);
    for (const ObjectCorners& c : shapes.rects) quadVertices(c, bx, by);
    glEnd();
  }
  ShapePlacer placer;
  for (const auto& d : shapes.drawn) placer.place(*d.first->shape, d.second).draw(bx, by);
}

void drawPlacementOutlines(const CellScene& scene, const ViewTransform& view) {
  if (!scene.hasPlacements()) return;
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glEnable(GL_LINE_STIPPLE);
  for (const CellPlacement& p : scene.top().placements)
    if (p.selected) quad(p.outline, view.baseX(), view.baseY());
}

// The outlines of selected placements, drawn by OpenGL alone: a click that
// selects one redraws only them.
void CellMasks::update(const ViewTransform& v, const CellScene& scene, const bool enabled[LAYER_COUNT],
                       double rasterSnap, VertexBuffer& vertices) {
  uint64_t on = 0;
  for (int i = 0; i < WIDE_SLOTS; i++) on |= enabled[i] ? 1ull << i : 0;
  ViewKey key(v, nullptr);
  if (!(valid && key == view && revision == scene.revision && enabledBits == on && snap == rasterSnap)) {
    view = key, revision = scene.revision, enabledBits = on, snap = rasterSnap, valid = true;
    updatePlane(v, scene, enabled, vertices);
  }
  if (outlinesValid && key == outlinesView && outlinesRevision == scene.revision &&
      selectionRevision == scene.selectionRevision)
    return;
  outlinesView = key, outlinesRevision = scene.revision, selectionRevision = scene.selectionRevision;
  outlinesValid = true;
  size_t n = (size_t)std::max(v.width, 0) * (size_t)std::max(v.height, 0);
  outlines.assign(n, 0);
  bool any = false;
  for (const CellPlacement& p : scene.top().placements) any = any || p.selected;
  if (!any) return;
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT | GL_LINE_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_DITHER);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  loadProjection(v);
  glColor4ub(255, 255, 255, 255);
  drawPlacementOutlines(scene, v);
  glPopAttrib();
  BigVector<uint8_t> pixels(n * 4);
  glReadPixels(0, 0, v.width, v.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  for (size_t p = 0; p < n; p++) outlines[p] = pixels[p * 4] != 0;
  glClear(GL_COLOR_BUFFER_BIT);
}

// Bits first..first+count-1 of the plane by OpenGL: slot s in first +
// its bit of red, green and blue, as the layers' masks are drawn.
static void drawPass(BigVector<uint64_t>& wide, BigVector<uint8_t>& pixels, const ViewTransform& v, const CellScene& scene,
                     const bool enabled[LAYER_COUNT], VertexBuffer& vertices, const BigVector<Unsure>& list,
                     const std::vector<ShapeHit>& hits, int first, int count, bool usable, bool opts) {
  auto colour = [&](int s) {
    if (s < first || s >= first + count) return false;
    int b = s - first;
    glColor4ub(b < 8 ? 1 << b : 0, b >= 8 && b < 16 ? 1 << (b - 8) : 0, b >= 16 ? 1 << (b - 16) : 0, 0);
    return true;
  };
  const SceneCell& top = scene.top();
  const uint64_t present = top.areaSlotsBelow | top.labelSlotsBelow;
  pushBitDrawing(GL_CURRENT_BIT, false);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  loadProjection(v);
  int64_t bx = v.baseX(), by = v.baseY();
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  // In vertex arrays, as the layers' fills go: the same quads as the
  // plain painter's.
  for (size_t k = 0; k < list.size(); k++) {
    if (k == 0 || list[k].slot != list[k - 1].slot) vertices.flush();
    if (!colour(list[k].slot)) continue;
    vertices.push(DrawCorners(list[k].c, bx, by));
  }
  vertices.flush();
  ShapePlacer placer;
  for (const ShapeHit& h : hits) {
    const SceneShape& d = scene.cells[h.cell].drawn[h.index];
    if (colour(d.slot)) placer.place(*d.shape, h.transform).draw(bx, by);
  }
  for (int s = first; s < first + count && s < WIDE_SLOTS; s++) {
    if (!(present >> s & 1) || (enabled[s] && usable)) continue;
    colour(s);
    drawPlacedShapes(scene, v, s, enabled[s]);
  }
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  if (usable && !top.bounds.fitsInt32())
    scene.flatten(
        cullBox(v), CellScene::WRAPPED,
        [&](int slot, const ObjectCorners& c) {
          if (slot < WIDE_SLOTS && enabled[slot] && colour(slot)) quad(c, bx, by);
        },
        [&](const SceneShape& d, const PlaceTransform& t) {
          if (d.slot < WIDE_SLOTS && enabled[d.slot] && d.shownAt(v.scale) && colour(d.slot))
            placer.place(*d.shape, t).draw(bx, by);
        });
  if (usable && top.lineSlotsBelow)
    scene.flatten(
        cullBox(v), CellScene::LINES, [](int, const ObjectCorners&) {},
        [&](const SceneShape& d, const PlaceTransform& t) {
          if (d.slot < WIDE_SLOTS && enabled[d.slot] && colour(d.slot)) placer.place(*d.shape, t).draw(bx, by);
        });
  if (opts && colour(LAYER_OPTIONS))
    scene.flatten(cullBox(v), CellScene::OPTS, [&](int, const ObjectCorners& c) { optLines(c, bx, by); });
  glPopAttrib();
  size_t n = wide.size();
  pixels.resize(n * 4);
  glReadPixels(0, 0, v.width, v.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  const uint8_t* px = pixels.data();
  uint64_t* out = wide.data();
  for (size_t p = 0; p < n; p++, px += 4) out[p] |= (uint64_t)(px[0] | px[1] << 8 | px[2] << 16) << first;
  glClear(GL_COLOR_BUFFER_BIT);
}

void CellMasks::updatePlane(const ViewTransform& v, const CellScene& scene, const bool enabled[LAYER_COUNT],
                            VertexBuffer& vertices) {
  size_t n = (size_t)std::max(v.width, 0) * (size_t)std::max(v.height, 0);
  wide.assign(n, 0);
  plane.assign(n, 0);
  runsFound = false;
  if (!scene.hasPlacements() || n == 0) return;
  const SceneCell& top = scene.top();
  PixelMap map = pixelMapFor(v, snap);
  bool usable = map.usable;
  uint64_t wanted = enabledBits & top.slotsShownAt(v.scale);
  UnsureList &mine = nearMine, &theirs = nearTheirs;
  mine.items.clear(), theirs.items.clear();
  probed.clear(), theirProbed.clear();
  // Asking OpenGL about edge coordinates pays where the rasteriser's
  // snapping is known: a narrow band around each centre, which few
  // coordinates fall in.
  const bool probing = usable && snap < ANY_SNAP && v.width < PROBED_SIDE && v.height < PROBED_SIDE;
  ShapeHitSet myHits, theirHits;
  if (usable && wanted) {
    CentreGrid grid{{map.baseX, map.left, map.kx, v.width}, {map.baseY, map.bottom, map.ky, v.height},
                    map.sureMarginY, std::vector<int64_t>(v.width), std::vector<int64_t>(v.width)};
    for (int x = 0; x < v.width; x++) grid.mx.around(x, map.sureMarginX, grid.lo[x], grid.hi[x]);
    bool shared = n >= SHARED_PIXELS;
    runBeside(
        shared,
        [&] {
          queryRows(scene, grid, wanted, v.scale, 1, 2, wide.data(), theirs, theirHits);
          if (probing) sortNear(theirs.items, map, theirProbed);
        },
        [&] {
          queryRows(scene, grid, wanted, v.scale, 0, shared ? 2 : 1, wide.data(), mine, myHits);
          if (probing) sortNear(mine.items, map, probed);
        });
  }
  std::vector<ShapeHit> hits;
  myHits.collect(hits);
  theirHits.collect(hits);
  std::sort(hits.begin(), hits.end());
  hits.erase(std::unique(hits.begin(), hits.end()), hits.end());

  probeNear(v, map, vertices);
  // The slots OpenGL draws into: those of shapes too near a centre, layers
  // in outline, markers, and every slot where shapes wrap or the pixel map
  // cannot be used.
  const uint64_t present = top.areaSlotsBelow | top.labelSlotsBelow;
  uint64_t drawn = present & ~enabledBits;
  for (const Unsure& u : mine.items) drawn |= 1ull << u.slot;
  for (const ShapeHit& h : hits) drawn |= 1ull << scene.cells[h.cell].drawn[h.index].slot;
  bool optsDrawn = !enabled[LAYER_OPTIONS] && (present >> LAYER_OPTIONS & 1);
  bool opts = (top.slotsBelow & SceneCell::OPTS_BELOW) && !optsDrawn;
  if (opts) drawn |= 1ull << LAYER_OPTIONS;
  bool wrapped = !top.bounds.fitsInt32();
  if (!usable || wrapped) drawn |= present;
  drawn |= top.lineSlotsBelow & enabledBits;
  GLint blue = 0;
  glGetIntegerv(GL_BLUE_BITS, &blue);
  const int perPass = blue >= 8 ? 24 : 16;  // bits of a pixel OpenGL gives back: 8 per colour
  for (int first = 0; first < WIDE_SLOTS; first += perPass) {
    const uint64_t range = (perPass + first >= 64 ? ~0ull : (1ull << (first + perPass)) - 1) & ~((1ull << first) - 1);
    if (drawn & range)
      drawPass(wide, readBack, v, scene, enabled, vertices, mine.items, hits, first, perPass, usable, opts);
  }
  const uint64_t named = (1ull << NAMED_LAYER_COUNT) - 1;
  for (size_t p = 0; p < n; p++) plane[p] = (uint16_t)(wide[p] & named);
}

// The sorted rectangles of both threads decided by asking OpenGL about
// each distinct edge coordinate (EdgeProbe) and set in wide; the others
// (both threads' lists, which may share a rectangle: OpenGL's OR draws it
// alike twice) left in nearMine for OpenGL to draw.
void CellMasks::probeNear(const ViewTransform& v, const PixelMap& map, VertexBuffer& vertices) {
  BigVector<Unsure>&mine = nearMine.items, &theirs = nearTheirs.items;
  const size_t offset = mine.size();
  for (EdgeBox b : theirProbed) b.position += (uint32_t)offset, probed.push_back(b);
  decided.assign(offset + theirs.size(), 0);
  if (!probed.empty()) {
    loadProjection(v);
    probeEdges(v, map, vertices, probed.data(), probed.size(), spans);
    uint64_t* out = wide.data();
    for (size_t k = 0; k < probed.size(); k++) {
      const EdgeBox& b = probed[k];
      if (!spans[k].asked) continue;
      decided[b.position] = 1;
      setProbedPixels(out, v.width, b, spans[k], (uint64_t)1 << b.layer);
    }
  }
  size_t kept = 0;
  for (size_t k = 0; k < offset; k++)
    if (!decided[k]) mine[kept++] = mine[k];
  mine.resize(kept);
  for (size_t k = 0; k < theirs.size(); k++)
    if (!decided[offset + k]) mine.push_back(theirs[k]);
}

void CellMasks::reserve(size_t pixels) {
  const size_t near = pixels / NEAR_SHARE;
  nearMine.items.reserve(near), nearTheirs.items.reserve(near);
  probed.reserve(near), theirProbed.reserve(near), spans.reserve(near), decided.reserve(near);
  readBack.reserve(pixels * 4);
}

// Runs of pixels along rows per pair slot, ended where the slot's bit
// ends: the work follows the runs, not the slots.
void CellMasks::findPairRuns(int width, int height) const {
  pairRuns.assign(WIDE_SLOTS, {});
  runsFound = true;
  if (wide.size() != (size_t)std::max(width, 0) * (size_t)std::max(height, 0)) return;
  const uint64_t pairs = ~((1ull << FIRST_PAIR_SLOT) - 1);
  for (int y = 0; y < height; y++) {
    const uint64_t* row = wide.data() + (size_t)y * width;
    uint64_t before = 0;
    for (int x = 0; x <= width; x++) {
      uint64_t b = x < width ? row[x] & pairs : 0;
      for (uint64_t s = b & ~before; s; s &= s - 1) pairRuns[__builtin_ctzll(s)].push_back({y, x, x});
      for (uint64_t e = before & ~b; e; e &= e - 1) pairRuns[__builtin_ctzll(e)].back().x1 = x - 1;
      before = b;
    }
  }
}

void CellMasks::drawPairRuns(int slot, const ViewTransform& view) const {
  if (!runsFound) findPairRuns(view.width, view.height);
  if (slot >= (int)pairRuns.size() || pairRuns[slot].empty()) return;
  // Pixel edges in the projection's coordinates, as ShapeFill draws a
  // polygon's spans: each quad holds exactly its pixels' centres.
  const double left = view.left(), bottom = view.bottom(), unit = 1.0 / view.scale;
  std::vector<float> corners;
  corners.reserve(pairRuns[slot].size() * 8);
  for (const PixelSpan& p : pairRuns[slot]) {
    const float x0 = (float)(left + p.x0 * unit), x1 = (float)(left + (p.x1 + 1) * unit);
    const float y0 = (float)(bottom + p.y * unit), y1 = (float)(bottom + (p.y + 1) * unit);
    corners.insert(corners.end(), {x0, y0, x1, y0, x1, y1, x0, y1});
  }
  glPushAttrib(GL_POLYGON_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, corners.data());
  glDrawArrays(GL_QUADS, 0, (GLsizei)(corners.size() / 2));
  glPopClientAttrib();
  glPopAttrib();
}
