#include "canvas/CellMasks.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "canvas/Composer.h"
#include "canvas/PixelMap.h"
#include "canvas/PlacedShapes.h"
#include "canvas/SecondThread.h"

namespace {

// Canvases of at least this many pixels share their rows with a second
// thread: a pixel's query takes a fraction of a microsecond, so smaller
// ones finish before a thread would start.
const size_t SHARED_PIXELS = 1 << 16;
// At most this many rectangles of a layer near one centre are tried for
// covering it together: abutting cells bring two to four.
const size_t MAX_UNION = 8;
// Thresholds beyond the 32-bit range by this much stand for "beyond every
// coordinate": shapes lie within it.
const int64_t BEYOND = (int64_t)1 << 33;

int64_t floorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
int64_t ceilDiv(int64_t a, int64_t b) { return -floorDiv(-a, b); }

// One axis of the view: where a whole-unit coordinate lands in window
// pixels, computed as PixelMap and the layer painter compute it.
struct AxisMap {
  int64_t base;
  double origin, k;
  int pixels;
  double at(int64_t v) const { return ((double)(float)(v - base) - origin) * k; }
  // The largest coordinate whose position passes, within +/-BEYOND of the
  // 32-bit range; pass holds for small coordinates and fails above some.
  template <typename Pass>
  int64_t last(Pass pass, double target) const {
    const int64_t low = INT32_MIN - BEYOND, high = INT32_MAX + BEYOND;
    if (!pass(at(low))) return low - 1;
    if (pass(at(high))) return high;
    double guess = std::floor(origin + target / k) + (double)base;
    int64_t lo = guess <= (double)low ? low : guess >= (double)high ? high : (int64_t)guess, hi;
    if (pass(at(lo))) {
      int64_t step = 1;
      while (lo + step < high && pass(at(lo + step))) lo += step, step *= 2;
      hi = std::min(high, lo + step);
    } else {
      hi = lo;
      int64_t step = 1;
      while (hi - step > low && !pass(at(hi - step))) hi -= step, step *= 2;
      lo = std::max(low, hi - step);
    }
    while (hi - lo > 1) {
      int64_t mid = lo + (hi - lo) / 2;
      (pass(at(mid)) ? lo : hi) = mid;
    }
    return lo;
  }
  // Edges at or below lo lie clear below centre c, at or above hi clear above.
  void around(int c, double margin, int64_t& lo, int64_t& hi) const {
    double centre = c + 0.5;
    lo = last([&](double a) { return a < centre - margin; }, centre - margin);
    hi = last([&](double a) { return a <= centre + margin; }, centre + margin) + 1;
  }
};

struct Unsure {
  int slot;
  ObjectCorners c;
  bool operator==(const Unsure& o) const { return slot == o.slot && !(c != o.c); }
  bool operator<(const Unsure& o) const {
    if (slot != o.slot) return slot < o.slot;
    if (c.x0 != o.c.x0) return c.x0 < o.c.x0;
    if (c.y0 != o.c.y0) return c.y0 < o.c.y0;
    if (c.x1 != o.c.x1) return c.x1 < o.c.x1;
    return c.y1 < o.c.y1;
  }
};
// Shapes near centres, by slot, each once after tidy.
struct UnsureList {
  std::vector<Unsure> items;
  void tidy() {
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
  }
};

// Elements i of 0..n-1 with [e0, e1] + i * step overlapping [q0, q1].
void elementRange(int64_t e0, int64_t e1, int64_t step, int32_t n, int64_t q0, int64_t q1, int32_t& first,
                  int32_t& last) {
  int64_t lo = 0, hi = (int64_t)n - 1;
  if (step > 0) {
    lo = std::max(lo, ceilDiv(q0 - e1, step)), hi = std::min(hi, floorDiv(q1 - e0, step));
  } else if (step < 0) {
    lo = std::max(lo, ceilDiv(q1 - e0, step)), hi = std::min(hi, floorDiv(q0 - e1, step));
  } else if (!(e0 <= q1 && e1 >= q0)) {
    hi = -1;
  }
  first = (int32_t)lo, last = (int32_t)std::max<int64_t>(hi, lo - 1);
}

// One axis of a box through the inverse of a transform's row (s on the
// axis from, offset d): an inverted box (a1 = a0 - 1) stays inverted.
void mapAxis(int s, int64_t a0, int64_t a1, int64_t d, int64_t& o0, int64_t& o1) {
  if (s > 0) o0 = a0 + d, o1 = a1 + d;
  else o0 = d - a1, o1 = d - a0;
}

// The question one pixel centre asks of the hierarchy: which slots' shapes
// cover it clear of rounding, and which shapes lie too near to tell.
struct CentreQuery {
  explicit CentreQuery(const CellScene& s) : scene(s) {}
  const CellScene& scene;
  int64_t canvasX0 = 0, canvasX1 = 0, canvasY0 = 0, canvasY1 = 0;  // edges on the canvas
  int64_t loX = 0, hiX = 0, loY = 0, hiY = 0;
  uint64_t wanted = 0, bits = 0;
  std::vector<Unsure> near;
  ShapeHitSet* hits = nullptr;  // polygons, paths and labels near the centre
  double scale = 1;  // the view's, pixels a unit

  // The grid's answer from the cell's table, when every wanted slot either
  // covers the zone together or stays out of it, and the placed shapes lie
  // on the canvas and in the 32-bit range: the grid would find no shape
  // near the centre then.
  bool coveredClear(const SceneCell& c, const PlaceTransform& t, int64_t u0, int64_t u1, int64_t v0, int64_t v1) {
    uint64_t all, any;
    if (c.cover.empty() || !c.cover.lookup(u0, u1, v0, v1, all, any) || ((all ^ any) & wanted & ~bits)) return false;
    Box64 p = c.shapeGrid.bounds.placed(t);
    if (!(p.x0 >= canvasX0 && p.x1 <= canvasX1 && p.y0 >= canvasY0 && p.y1 <= canvasY1 && p.fitsInt32()))
      return false;
    bits |= all & wanted;
    return true;
  }

  void ask(uint32_t index, const PlaceTransform& t, bool own) {
    const SceneCell& c = scene.cells[index];
    PlaceTransform inv = t.inverse();
    int64_t u0, u1, v0, v1;  // the centre's box in the cell's coordinates
    if (inv.a != 0) mapAxis(inv.a, loX + 1, hiX - 1, inv.dx, u0, u1);
    else mapAxis(inv.b, loY + 1, hiY - 1, inv.dx, u0, u1);
    if (inv.c != 0) mapAxis(inv.c, loX + 1, hiX - 1, inv.dy, v0, v1);
    else mapAxis(inv.d, loY + 1, hiY - 1, inv.dy, v0, v1);
    if (!c.bounds.overlaps(u0, v0, u1, v1)) return;
    if (own && (wanted & ~bits & c.slotsShownAt(scale)) && !coveredClear(c, t, u0, u1, v0, v1))
      c.shapeGrid.near(c.shapeBoxes, u0, v0, u1, v1, [&](uint32_t k, const Box64& b) {
        int s = c.shapeSlots[k];
        if (!(wanted & ~bits & (1ull << s))) return;
        if (k >= c.rectItems) {
          // Drawn by their own code; those reaching past 32 bits with the
          // wrapped shapes.
          uint32_t d = c.drawnItems[k - c.rectItems];
          if (c.drawn[d].shownAt(scale) && c.drawn[d].reach.placed(t).fitsInt32()) hits->add({index, d, t});
          return;
        }
        bool exact;
        ObjectCorners shape{(int32_t)b.x0, (int32_t)b.y0, (int32_t)b.x1, (int32_t)b.y1};
        ObjectCorners p = placedCorners(shape, t, &exact);
        if (!exact) return;  // drawn with the wrapped shapes
        if (p.x0 <= loX && p.x1 >= hiX && p.y0 <= loY && p.y1 >= hiY && p.x0 >= canvasX0 && p.x1 <= canvasX1 &&
            p.y0 >= canvasY0 && p.y1 <= canvasY1)
          bits |= 1ull << s;
        else
          near.push_back({s, p});
      });
    c.placementGrid.near(c.placementBoxes, u0, v0, u1, v1, [&](uint32_t k, const Box64&) {
      const CellPlacement& p = c.placements[k];
      if ((wanted & ~bits & scene.cells[p.cell].slotsShownAt(scale)) == 0) return;
      if (p.columns == 1 && p.rows == 1) {
        // Its box is the placed cell's: the grid found it near.
        ask(p.cell, t.after(p.transform), true);
        return;
      }
      Box64 e = scene.cells[p.cell].bounds.placed(p.transform);
      int32_t i0 = 0, i1 = p.columns - 1, j0 = 0, j1 = p.rows - 1;
      if (p.axisArray()) {
        elementRange(e.x0, e.x1, p.colX, p.columns, u0, u1, i0, i1);
        elementRange(e.y0, e.y1, p.rowY, p.rows, v0, v1, j0, j1);
      }
      for (int32_t j = j0; j <= j1; j++)
        for (int32_t i = i0; i <= i1; i++) ask(p.cell, t.after(p.element(i, j)), true);
    });
  }
};

// Whether rectangles of one layer, near a centre each, together cover the
// centre for certain: their union holds every point of the centre's box
// [lo, hi] (whose edges lie clear of it) that a pixel centre may stand for.
// The rasteriser moves every edge by the same rule, keeping their order, so
// rectangles that abut or overlap leave no gap for the centre to fall in.
// Cells placed side by side abut on every layer their edges share.
bool unionCovers(const Unsure* shapes, size_t n, int64_t loX, int64_t hiX, int64_t loY, int64_t hiY) {
  int64_t xs[2 * MAX_UNION + 2], ys[2 * MAX_UNION + 2];
  size_t nx = 0, ny = 0;
  xs[nx++] = loX, xs[nx++] = hiX, ys[ny++] = loY, ys[ny++] = hiY;
  for (size_t k = 0; k < n; k++) {
    const ObjectCorners& c = shapes[k].c;
    for (int64_t x : {(int64_t)c.x0, (int64_t)c.x1})
      if (x > loX && x < hiX) xs[nx++] = x;
    for (int64_t y : {(int64_t)c.y0, (int64_t)c.y1})
      if (y > loY && y < hiY) ys[ny++] = y;
  }
  std::sort(xs, xs + nx), std::sort(ys, ys + ny);
  nx = std::unique(xs, xs + nx) - xs, ny = std::unique(ys, ys + ny) - ys;
  // Each cell of the grid of edges is covered whole by one rectangle or
  // has a point no rectangle holds.
  for (size_t i = 0; i + 1 < nx; i++)
    for (size_t j = 0; j + 1 < ny; j++) {
      bool covered = false;
      for (size_t k = 0; k < n && !covered; k++) {
        const ObjectCorners& c = shapes[k].c;
        covered = c.x0 <= xs[i] && c.x1 >= xs[i + 1] && c.y0 <= ys[j] && c.y1 >= ys[j + 1];
      }
      if (!covered) return false;
    }
  return true;
}

// Fill every step-th row of the plane from row0; shapes too near a centre
// go to unsure. Threads take rows in turn: a design often fills only part
// of the canvas.
void queryRows(const CellScene& scene, const AxisMap& mx, const AxisMap& my, double marginY,
               uint64_t wanted, double scale, const std::vector<int64_t>& lo, const std::vector<int64_t>& hi, int row0, int step,
               uint64_t* plane, UnsureList& unsure, ShapeHitSet& hits) {
  CentreQuery q(scene);
  q.wanted = wanted;
  q.hits = &hits;
  q.scale = scale;
  q.canvasX0 = mx.last([](double a) { return a < 0; }, 0) + 1;
  q.canvasX1 = mx.last([&](double a) { return a <= mx.pixels; }, mx.pixels);
  q.canvasY0 = my.last([](double a) { return a < 0; }, 0) + 1;
  q.canvasY1 = my.last([&](double a) { return a <= my.pixels; }, my.pixels);
  const Box64& all = scene.top().bounds;
  for (int y = row0; y < my.pixels; y += step) {
    my.around(y, marginY, q.loY, q.hiY);
    if (!all.overlaps(all.x0, q.loY + 1, all.x1, q.hiY - 1)) continue;
    uint64_t* row = plane + (size_t)y * mx.pixels;
    for (int x = 0; x < mx.pixels; x++) {
      q.loX = lo[x], q.hiX = hi[x];
      if (!all.overlaps(q.loX + 1, all.y0, q.hiX - 1, all.y1)) continue;
      q.bits = 0;
      q.near.clear();
      q.ask(scene.shown, PlaceTransform(), false);
      if (q.near.size() >= 2) {
        std::sort(q.near.begin(), q.near.end());
        for (size_t k = 0, end; k < q.near.size(); k = end) {
          int s = q.near[k].slot;
          for (end = k; end < q.near.size() && q.near[end].slot == s; end++) {}
          if (end - k < 2 || end - k > MAX_UNION || (q.bits >> s & 1)) continue;
          bool inside = true;
          for (size_t i = k; i < end; i++) {
            const ObjectCorners& c = q.near[i].c;
            inside = inside && c.x0 >= q.canvasX0 && c.x1 <= q.canvasX1 && c.y0 >= q.canvasY0 && c.y1 <= q.canvasY1;
          }
          if (inside && unionCovers(&q.near[k], end - k, q.loX, q.hiX, q.loY, q.hiY)) q.bits |= 1ull << s;
        }
      }
      row[x] |= q.bits;
      for (const Unsure& u : q.near)
        if (!(q.bits & (1ull << u.slot)) && (unsure.items.empty() || !(unsure.items.back() == u)))
          unsure.items.push_back(u);
    }
  }
}

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
static void drawPass(BigVector<uint64_t>& wide, const ViewTransform& v, const CellScene& scene,
                     const bool enabled[LAYER_COUNT], VertexBuffer& vertices, const std::vector<Unsure>& list,
                     const std::vector<ShapeHit>& hits, int first, int count, bool usable, bool opts) {
  auto colour = [&](int s) {
    if (s < first || s >= first + count) return false;
    int b = s - first;
    glColor4ub(b < 8 ? 1 << b : 0, b >= 8 && b < 16 ? 1 << (b - 8) : 0, b >= 16 ? 1 << (b - 16) : 0, 0);
    return true;
  };
  const SceneCell& top = scene.top();
  const uint64_t present = top.areaSlotsBelow | top.labelSlotsBelow;
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_DITHER);
  glDisable(GL_LINE_STIPPLE);
  glEnable(GL_COLOR_LOGIC_OP);
  glLogicOp(GL_OR);
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
  BigVector<uint8_t> pixels(n * 4);
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
  pairRuns.assign(WIDE_SLOTS, {});
  if (!scene.hasPlacements() || n == 0) return;
  const SceneCell& top = scene.top();
  PixelMap map = pixelMapFor(v, snap);
  bool usable = map.usable;
  uint64_t wanted = enabledBits & top.slotsShownAt(v.scale);
  UnsureList mine, theirs;
  ShapeHitSet myHits, theirHits;
  if (usable && wanted) {
    AxisMap mx{map.baseX, map.left, map.kx, v.width}, my{map.baseY, map.bottom, map.ky, v.height};
    std::vector<int64_t> lo(v.width), hi(v.width);
    for (int x = 0; x < v.width; x++) mx.around(x, map.sureMarginX, lo[x], hi[x]);
    bool shared = n >= SHARED_PIXELS;
    runBeside(
        shared,
        [&] { queryRows(scene, mx, my, map.sureMarginY, wanted, v.scale, lo, hi, 1, 2, wide.data(), theirs, theirHits); },
        [&] {
          queryRows(scene, mx, my, map.sureMarginY, wanted, v.scale, lo, hi, 0, shared ? 2 : 1, wide.data(), mine,
                    myHits);
        });
  }
  mine.items.insert(mine.items.end(), theirs.items.begin(), theirs.items.end());
  mine.tidy();
  std::vector<ShapeHit> hits;
  myHits.collect(hits);
  theirHits.collect(hits);
  std::sort(hits.begin(), hits.end());
  hits.erase(std::unique(hits.begin(), hits.end()), hits.end());

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
    if (drawn & range) drawPass(wide, v, scene, enabled, vertices, mine.items, hits, first, perPass, usable, opts);
  }
  const uint64_t named = (1ull << NAMED_LAYER_COUNT) - 1;
  for (size_t p = 0; p < n; p++) plane[p] = (uint16_t)(wide[p] & named);
  findPairRuns(v.width, v.height);
}

// Runs of pixels along rows per pair slot, ended where the slot's bit
// ends: the work follows the runs, not the slots.
void CellMasks::findPairRuns(int width, int height) {
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
