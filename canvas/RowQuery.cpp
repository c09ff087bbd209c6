#include "canvas/RowQuery.h"

#include <algorithm>
#include <cmath>

namespace {

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

// The box [x0, x1] x [y0, y1] of the view in the coordinates of a cell
// placed by the inverse of inv.
void mapBox(const PlaceTransform& inv, int64_t x0, int64_t x1, int64_t y0, int64_t y1, int64_t& u0, int64_t& u1,
            int64_t& v0, int64_t& v1) {
  if (inv.a != 0) mapAxis(inv.a, x0, x1, inv.dx, u0, u1);
  else mapAxis(inv.b, y0, y1, inv.dx, u0, u1);
  if (inv.c != 0) mapAxis(inv.c, x0, x1, inv.dy, v0, v1);
  else mapAxis(inv.d, y0, y1, inv.dy, v0, v1);
}

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

// The search of one pixel row. Each placed cell whose bounds reach the
// row's band is visited once, with the columns whose centres' boxes its
// bounds meet; a cell with shapes of its own asks them at each of those
// centres, as every placed cell near a centre would be asked for it. What
// a centre gathers does not depend on the order the cells come in: a slot
// once covered only saves asking for it again.
struct RowSweep {
  RowSweep(const CellScene& s, const CentreGrid& g) : scene(s), mx(g.mx), lo(g.lo), hi(g.hi) {}
  const CellScene& scene;
  const AxisMap& mx;
  const std::vector<int64_t>&lo, &hi;
  int64_t canvasX0 = 0, canvasX1 = 0, canvasY0 = 0, canvasY1 = 0;  // edges on the canvas
  int64_t loY = 0, hiY = 0;  // the row's clear coordinates
  uint64_t wanted = 0;
  double scale = 1;  // the view's, pixels a unit
  ShapeHitSet* hits = nullptr;
  std::vector<uint64_t> bits;  // per column: the slots covering its centre so far
  std::vector<std::vector<Unsure>> near;  // per column: rectangles too near its centre

  // The columns from first to last whose centre's box [lo + 1, hi - 1]
  // meets [x0, x1]: lo and hi ascend, so they run from the first with
  // hi > x0 to the last with lo < x1. The view's map puts each end within
  // a column of its place; the arrays settle it. False when there are none.
  bool columns(int64_t x0, int64_t x1, int first, int last, int& a, int& b) const {
    a = columnAt(x0, first, last);
    while (a > first && hi[a - 1] > x0) a--;
    while (a <= last && hi[a] <= x0) a++;
    b = columnAt(x1, first, last);
    while (b < last && lo[b + 1] < x1) b++;
    while (b >= a && lo[b] >= x1) b--;
    return a <= b;
  }
  // The column of [first, last] nearest where v lands.
  int columnAt(int64_t v, int first, int last) const {
    const double at = mx.at(v);
    return at > first ? at < last ? (int)at : last : first;
  }

  void sweep(uint32_t index, const PlaceTransform& t, bool own, int first, int last) {
    const SceneCell& c = scene.cells[index];
    if (!(wanted & c.slotsShownAt(scale))) return;
    const Box64 placed = c.bounds.placed(t);
    if (!(placed.y0 <= hiY - 1 && placed.y1 >= loY + 1)) return;
    int a, b;
    if (!columns(placed.x0, placed.x1, first, last, a, b)) return;
    const PlaceTransform inv = t.inverse();
    if (own && !c.shapeBoxes.empty()) {
      // The table's answer holds only where the cell's shapes lie on the
      // canvas and in the 32-bit range.
      Box64 p = c.shapeGrid.bounds.placed(t);
      bool inside = p.x0 >= canvasX0 && p.x1 <= canvasX1 && p.y0 >= canvasY0 && p.y1 <= canvasY1 && p.fitsInt32();
      Zone z;
      if (inv.b == 0 && inv.c == 0) {
        // Unturned: the row's band is one band of the cell's, and the
        // columns move along its other axis only.
        mapAxis(inv.d, loY + 1, hiY - 1, inv.dy, z.v0, z.v1);
        if (c.bounds.y0 <= z.v1 && c.bounds.y1 >= z.v0) {
          if (!c.cover.empty()) c.cover.rows(z.v0, z.v1, z.j0, z.j1);
          for (int x = a; x <= b; x++) {
            mapAxis(inv.a, lo[x] + 1, hi[x] - 1, inv.dx, z.u0, z.u1);
            if (c.bounds.x0 <= z.u1 && c.bounds.x1 >= z.u0) askOwn(c, index, t, inside, x, z);
          }
        }
      } else {
        for (int x = a; x <= b; x++) {
          mapBox(inv, lo[x] + 1, hi[x] - 1, loY + 1, hiY - 1, z.u0, z.u1, z.v0, z.v1);
          if (!c.bounds.overlaps(z.u0, z.v0, z.u1, z.v1)) continue;
          if (!c.cover.empty()) c.cover.rows(z.v0, z.v1, z.j0, z.j1);
          askOwn(c, index, t, inside, x, z);
        }
      }
    }
    if (c.placements.empty()) return;
    int64_t u0, u1, v0, v1;  // the columns' boxes together, in the cell's coordinates
    mapBox(inv, lo[a] + 1, hi[b] - 1, loY + 1, hiY - 1, u0, u1, v0, v1);
    c.placementGrid.near(c.placementBoxes, u0, v0, u1, v1, [&](uint32_t k, const Box64&) {
      const CellPlacement& p = c.placements[k];
      if (p.columns == 1 && p.rows == 1) {
        sweep(p.cell, t.after(p.transform), true, a, b);
        return;
      }
      if (!(wanted & scene.cells[p.cell].slotsShownAt(scale))) return;
      Box64 e = scene.cells[p.cell].bounds.placed(p.transform);
      int32_t i0 = 0, i1 = p.columns - 1, j0 = 0, j1 = p.rows - 1;
      if (p.axisArray()) {
        elementRange(e.x0, e.x1, p.colX, p.columns, u0, u1, i0, i1);
        elementRange(e.y0, e.y1, p.rowY, p.rows, v0, v1, j0, j1);
      }
      for (int32_t j = j0; j <= j1; j++)
        for (int32_t i = i0; i <= i1; i++) sweep(p.cell, t.after(p.element(i, j)), true, a, b);
    });
  }

  // A centre's box in a cell's coordinates (the cell's bounds meet it),
  // and the rows of the cell's table it meets.
  struct Zone {
    int64_t u0 = 0, u1 = 0, v0 = 0, v1 = 0;
    size_t j0 = 0, j1 = 0;
  };

  // The cell's own shapes at the centre of column x: those covering its
  // box set their slots, those reaching into it are too near to tell.
  void askOwn(const SceneCell& c, uint32_t index, const PlaceTransform& t, bool inside, int x, const Zone& z) {
    const int64_t loX = lo[x], hiX = hi[x], u0 = z.u0, u1 = z.u1, v0 = z.v0, v1 = z.v1;
    uint64_t& got = bits[x];
    if (!(wanted & ~got & c.slotsShownAt(scale))) return;
    uint64_t all, any, unsettled = wanted;
    // The slots whose shapes cover the box together cover the centre;
    // those that stay out of it have no shape near it: only the slots
    // with an edge in the box are left for the shapes to answer.
    if (inside && !c.cover.empty() && c.cover.lookupInRows(u0, u1, z.j0, z.j1, all, any)) {
      got |= all & wanted;
      unsettled = any & ~all & wanted;
      if (!(unsettled & ~got)) return;
    }
    std::vector<Unsure>& mine = near[x];
    auto visit = [&](uint32_t k, const Box64& box) {
      int s = c.shapeSlots[k];
      if (!(unsettled & ~got & (1ull << s))) return;
      if (k >= c.rectItems) {
        // Drawn by their own code; those reaching past 32 bits with the
        // wrapped shapes.
        uint32_t d = c.drawnItems[k - c.rectItems];
        if (c.drawn[d].shownAt(scale) && c.drawn[d].reach.placed(t).fitsInt32()) hits->add({index, d, t});
        return;
      }
      bool exact;
      ObjectCorners shape{(int32_t)box.x0, (int32_t)box.y0, (int32_t)box.x1, (int32_t)box.y1};
      ObjectCorners p = placedCorners(shape, t, &exact);
      if (!exact) return;  // drawn with the wrapped shapes
      if (p.x0 <= loX && p.x1 >= hiX && p.y0 <= loY && p.y1 >= hiY && p.x0 >= canvasX0 && p.x1 <= canvasX1 &&
          p.y0 >= canvasY0 && p.y1 <= canvasY1)
        got |= 1ull << s;
      else
        mine.push_back({s, p});
    };
    c.shapeGrid.near(c.shapeBoxes, u0, v0, u1, v1, visit);
  }

  // Column x's answer into the row and its undecided rectangles into
  // unsure (rectangles of one slot that cover the centre together decide
  // it); the column is then ready for the next row.
  void finish(int x, uint64_t& word, UnsureList& unsure) {
    std::vector<Unsure>& list = near[x];
    uint64_t& got = bits[x];
    if (list.size() >= 2) {
      std::sort(list.begin(), list.end());
      for (size_t k = 0, end; k < list.size(); k = end) {
        int s = list[k].slot;
        for (end = k; end < list.size() && list[end].slot == s; end++) {}
        if (end - k < 2 || end - k > MAX_UNION || (got >> s & 1)) continue;
        bool inside = true;
        for (size_t i = k; i < end; i++) {
          const ObjectCorners& c = list[i].c;
          inside = inside && c.x0 >= canvasX0 && c.x1 <= canvasX1 && c.y0 >= canvasY0 && c.y1 <= canvasY1;
        }
        if (inside && unionCovers(&list[k], end - k, lo[x], hi[x], loY, hiY)) got |= 1ull << s;
      }
    }
    word |= got;
    for (const Unsure& u : list)
      if (!(got & (1ull << u.slot)) && (unsure.items.empty() || !(unsure.items.back() == u)))
        unsure.items.push_back(u);
    list.clear();
    got = 0;
  }
};

}  // namespace

template <typename Pass>
int64_t AxisMap::last(Pass pass, double target) const {
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

void AxisMap::around(int c, double margin, int64_t& lo, int64_t& hi) const {
  double centre = c + 0.5;
  lo = last([&](double a) { return a < centre - margin; }, centre - margin);
  hi = last([&](double a) { return a <= centre + margin; }, centre + margin) + 1;
}

void UnsureList::tidy() {
  std::sort(items.begin(), items.end());
  items.erase(std::unique(items.begin(), items.end()), items.end());
}

void queryRows(const CellScene& scene, const CentreGrid& grid, uint64_t wanted, double scale, int row0, int step,
               uint64_t* plane, UnsureList& unsure, ShapeHitSet& hits) {
  const AxisMap &mx = grid.mx, &my = grid.my;
  const int width = mx.pixels;
  if (width <= 0) return;
  RowSweep q(scene, grid);
  q.wanted = wanted;
  q.hits = &hits;
  q.scale = scale;
  q.canvasX0 = mx.last([](double a) { return a < 0; }, 0) + 1;
  q.canvasX1 = mx.last([&](double a) { return a <= mx.pixels; }, mx.pixels);
  q.canvasY0 = my.last([](double a) { return a < 0; }, 0) + 1;
  q.canvasY1 = my.last([&](double a) { return a <= my.pixels; }, my.pixels);
  q.bits.assign(width, 0);
  q.near.resize(width);
  const Box64& all = scene.top().bounds;
  for (int y = row0; y < my.pixels; y += step) {
    my.around(y, grid.marginY, q.loY, q.hiY);
    if (!all.overlaps(all.x0, q.loY + 1, all.x1, q.hiY - 1)) continue;
    q.sweep(scene.shown, PlaceTransform(), false, 0, width - 1);
    uint64_t* row = plane + (size_t)y * width;
    for (int x = 0; x < width; x++) q.finish(x, row[x], unsure);
  }
  unsure.tidy();
}
