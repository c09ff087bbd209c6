#ifndef KIVO_SHAPEGRID_H
#define KIVO_SHAPEGRID_H

// The objects of one layer list by their boxes, to find those near a point
// without walking the list. An object is kept once, by its lower-left
// corner, in one of a few grids whose buckets are wider and higher than it
// (a grid for each order of magnitude of width and of height that occurs),
// so a point looks at two by two buckets per grid. Objects are named by
// their positions in the list (32 bits) and reached again through every
// MARK_EVERY-th node: the whole costs about 7 bytes an object.
//
// It is built in steps of a given number of objects, so that a caller can
// spread a large build over idle moments, and follows objects appended at
// the end and selection changes without a rebuild.

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <vector>

#include "model/Layer.h"

class ShapeGrid {
public:
  // Whether the grid is built for l as it is now (following appends and
  // selection changes since).
  bool current(const Layer* l);
  // Build for l, visiting about budget objects at most, which is lowered by
  // those visited; true when built. Goes on from where the last call
  // stopped while l has not changed since, else starts again.
  bool build(const Layer* l, size_t& budget);
  // Build for l at once.
  void build(const Layer* l) {
    size_t all = SIZE_MAX;
    build(l, all);
  }

  // The object at a position; quickest when asked in ascending order.
  const GroupNode* at(uint32_t position) const;

  // visit(position) for every object whose box may meet [ax, bx] x [ay, by],
  // each once.
  template <typename Visit>
  void near(int64_t ax, int64_t ay, int64_t bx, int64_t by, Visit visit) const {
    for (uint32_t p : apart) visit(p);
    if (bx < x0 || by < y0) return;
    for (const Bin& g : bins) {
      // An object of this grid starts less than a bucket left of and below
      // any point it covers.
      const int64_t c0 = g.column(ax - (1ll << g.sx) + 1, x0), c1 = g.column(bx, x0);
      const int64_t r0 = g.row(ay - (1ll << g.sy) + 1, y0), r1 = g.row(by, y0);
      for (int64_t r = r0; r <= r1; r++)
        for (int64_t c = c0; c <= c1; c++) {
          const size_t bucket = g.base + (size_t)(r * g.across + c);
          for (uint32_t i = start[bucket]; i < start[bucket + 1]; i++) visit(items[i]);
        }
    }
  }

private:
  // One grid: buckets 2^sx wide and 2^sy high from (x0, y0).
  struct Bin {
    int sx = 0, sy = 0;
    int64_t across = 1, up = 1;
    size_t base = 0, count = 0;
    int64_t column(int64_t x, int64_t x0) const { return clamp((x - x0) >> sx, across); }
    int64_t row(int64_t y, int64_t y0) const { return clamp((y - y0) >> sy, up); }
    static int64_t clamp(int64_t k, int64_t n) { return k < 0 ? 0 : k >= n ? n - 1 : k; }
  };
  enum Stage { COLLECT, COUNT, FILL, DONE };
  // Widths and heights by their bit lengths (int64 differences of int32).
  static const int BITS = 34;

  void restart(const Layer* l);
  // The grids, from the bounds and the sizes counted.
  void layOut();
  // The bucket an object goes to; false for one tried apart.
  bool place(const GroupNode* n, size_t& bucket) const;
  // Walk the objects from the cursor, at most budget of them.
  template <typename Each>
  bool walk(size_t& budget, Each each);

  const Layer* layer = nullptr;
  uint64_t revision = 0;
  size_t size = 0;
  const GroupNode* first = nullptr;
  const GroupNode* last = nullptr;      // the last object indexed
  std::vector<const GroupNode*> marks;  // every MARK_EVERY-th object
  int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  // While building: the objects by the bit lengths of their widths and
  // heights, and the grid each such pair goes to.
  std::vector<uint32_t> sizes;
  std::vector<uint16_t> binOf;
  std::vector<Bin> bins;
  std::vector<uint32_t> start, items, apart;

  // Where a build in steps stands.
  Stage stage = DONE;
  const GroupNode* cursor = nullptr;
  uint32_t position = 0;

  // The last object at() reached.
  mutable uint32_t walkPosition = UINT32_MAX;
  mutable const GroupNode* walkNode = nullptr;
};

#endif
