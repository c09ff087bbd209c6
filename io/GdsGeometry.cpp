#include "io/GdsGeometry.h"

namespace {

struct Interval {
  int64_t x0, x1;
};

// A vertical edge of a polygon: y0 < y1, dir +1 upwards, -1 downwards.
struct Edge {
  int64_t x, y0, y1;
  int dir;
};

// Turns a region given slab by slab (bottom up; each slab's intervals
// sorted, disjoint) into rectangles, extending a rectangle upwards while the
// next slab has the same interval.
class SlabMerger {
public:
  explicit SlabMerger(std::vector<GdsBox>& o) : out(o) {}
  void slab(int64_t y0, int64_t y1, const std::vector<Interval>& cur) {
    next.clear();
    size_t i = 0;
    for (const Interval& iv : cur) {
      while (i < open.size() && (open[i].x0 < iv.x0 || (open[i].x0 == iv.x0 && open[i].x1 < iv.x1)))
        out.push_back(open[i++]);
      if (i < open.size() && open[i].x0 == iv.x0 && open[i].x1 == iv.x1 && open[i].y1 == y0) {
        next.push_back(open[i++]);
        next.back().y1 = y1;
      } else {
        next.push_back({iv.x0, y0, iv.x1, y1});
      }
    }
    while (i < open.size()) out.push_back(open[i++]);
    open.swap(next);
  }
  void finish() {
    out.insert(out.end(), open.begin(), open.end());
    open.clear();
  }

private:
  std::vector<GdsBox>& out;
  std::vector<GdsBox> open, next;
};

// Visit the slabs between the distinct y values of the items (each with
// y0 < y1), bottom up, with the items that span each slab: a sweep, so that
// large polygons cost in proportion to their edges crossing each slab.
template <class Item, class Visit>
void sweep(std::vector<Item>& items, Visit visit) {
  std::vector<int64_t> ys;
  for (const Item& b : items) ys.push_back(b.y0), ys.push_back(b.y1);
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.y0 < b.y0; });
  std::vector<const Item*> active;
  size_t next = 0;
  for (size_t k = 0; k + 1 < ys.size(); k++) {
    active.erase(std::remove_if(active.begin(), active.end(),
                                [&](const Item* b) { return b->y1 <= ys[k]; }),
                 active.end());
    while (next < items.size() && items[next].y0 <= ys[k]) active.push_back(&items[next++]);
    visit(ys[k], ys[k + 1], active);
  }
}

}  // namespace

GdsTransform GdsTransform::of(int orient, int64_t x, int64_t y) {
  static const int m[4][4] = {{1, 0, 0, 1}, {0, -1, 1, 0}, {-1, 0, 0, -1}, {0, 1, -1, 0}};
  const int* r = m[orient & 3];
  int s = orient & 4 ? -1 : 1;
  GdsTransform t;
  t.a = r[0], t.b = r[1] * s, t.c = r[2], t.d = r[3] * s;
  t.tx = clampOffset(x), t.ty = clampOffset(y);
  return t;
}

GdsTransform GdsTransform::after(const GdsTransform& in) const {
  GdsTransform t;
  t.a = a * in.a + b * in.c, t.b = a * in.b + b * in.d;
  t.c = c * in.a + d * in.c, t.d = c * in.b + d * in.d;
  t.tx = clampOffset(a * in.tx + b * in.ty + tx);
  t.ty = clampOffset(c * in.tx + d * in.ty + ty);
  return t;
}

bool rectangleOf(const GdsPoint* p, size_t n, GdsBox& box) {
  if (n != 5 && n != 4) return false;
  if (n == 5 && (p[4].x != p[0].x || p[4].y != p[0].y)) return false;
  bool aligned = (p[0].x == p[1].x && p[1].y == p[2].y && p[2].x == p[3].x && p[3].y == p[0].y) ||
                 (p[0].y == p[1].y && p[1].x == p[2].x && p[2].y == p[3].y && p[3].x == p[0].x);
  if (!aligned) return false;
  box = {std::min(p[0].x, p[2].x), std::min(p[0].y, p[2].y), std::max(p[0].x, p[2].x),
         std::max(p[0].y, p[2].y)};
  return true;
}

bool polygonRects(const GdsPoint* p, size_t n, std::vector<GdsBox>& out) {
  if (n > 1 && p[n - 1].x == p[0].x && p[n - 1].y == p[0].y) --n;
  if (n < 4) return false;
  std::vector<Edge> edges;
  for (size_t i = 0; i < n; i++) {
    const GdsPoint &a = p[i], &b = p[(i + 1) % n];
    if (a.x != b.x && a.y != b.y) return false;
    if (a.x == b.x && a.y != b.y)
      edges.push_back({a.x, std::min(a.y, b.y), std::max(a.y, b.y), a.y < b.y ? 1 : -1});
  }
  SlabMerger merger(out);
  std::vector<const Edge*> xs;
  std::vector<Interval> cur;
  sweep(edges, [&](int64_t y0, int64_t y1, const std::vector<const Edge*>& active) {
    xs.assign(active.begin(), active.end());
    std::sort(xs.begin(), xs.end(), [](const Edge* a, const Edge* b) { return a->x < b->x; });
    cur.clear();
    int winding = 0;
    for (size_t i = 0; i + 1 < xs.size(); i++) {
      winding += xs[i]->dir;
      if (winding == 0 || xs[i]->x == xs[i + 1]->x) continue;
      if (!cur.empty() && cur.back().x1 == xs[i]->x)
        cur.back().x1 = xs[i + 1]->x;
      else
        cur.push_back({xs[i]->x, xs[i + 1]->x});
    }
    merger.slab(y0, y1, cur);
  });
  merger.finish();
  return true;
}

void unionRects(std::vector<GdsBox>& in, std::vector<GdsBox>& out) {
  in.erase(std::remove_if(in.begin(), in.end(),
                          [](const GdsBox& r) { return r.x0 >= r.x1 || r.y0 >= r.y1; }),
           in.end());
  SlabMerger merger(out);
  std::vector<Interval> spans, cur;
  sweep(in, [&](int64_t y0, int64_t y1, const std::vector<const GdsBox*>& active) {
    spans.clear();
    for (const GdsBox* r : active) spans.push_back({r->x0, r->x1});
    std::sort(spans.begin(), spans.end(),
              [](const Interval& a, const Interval& b) { return a.x0 < b.x0; });
    cur.clear();
    for (const Interval& span : spans) {
      if (!cur.empty() && span.x0 <= cur.back().x1)
        cur.back().x1 = std::max(cur.back().x1, span.x1);
      else
        cur.push_back(span);
    }
    merger.slab(y0, y1, cur);
  });
  merger.finish();
}

bool pathRects(const GdsPoint* points, size_t n, int pathType, int32_t width,
               std::vector<GdsBox>& out) {
  if ((pathType != 0 && pathType != 2) || width <= 0 || width % 2 != 0) return false;
  std::vector<GdsPoint> p;
  for (size_t i = 0; i < n; i++)
    if (p.empty() || points[i].x != p.back().x || points[i].y != p.back().y) p.push_back(points[i]);
  if (p.size() < 2) return false;
  const int64_t half = width / 2;
  std::vector<GdsBox> pieces;
  for (size_t i = 0; i + 1 < p.size(); i++) {
    const GdsPoint &a = p[i], &b = p[i + 1];
    if (a.x != b.x && a.y != b.y) return false;
    const int64_t extendA = (i > 0 || pathType == 2) ? half : 0;
    const int64_t extendB = (i + 2 < p.size() || pathType == 2) ? half : 0;
    GdsBox r;
    if (a.y == b.y) {
      const bool forward = a.x < b.x;
      r = {std::min(a.x, b.x) - (forward ? extendA : extendB), a.y - half,
           std::max(a.x, b.x) + (forward ? extendB : extendA), a.y + half};
    } else {
      const bool forward = a.y < b.y;
      r = {a.x - half, std::min(a.y, b.y) - (forward ? extendA : extendB), a.x + half,
           std::max(a.y, b.y) + (forward ? extendB : extendA)};
    }
    pieces.push_back(r);
  }
  if (pieces.size() == 1)
    out.push_back(pieces[0]);
  else
    unionRects(pieces, out);
  return true;
}
