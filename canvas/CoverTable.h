#ifndef KIVO_COVERTABLE_H
#define KIVO_COVERTABLE_H

// Which slots a cell's rectangles cover at a pixel centre, answered without
// visiting the rectangles. The distinct x and y edges of the cell's items
// cut its plane into elementary rectangles (open), and each of those is
// covered whole, or missed whole, by every item; the table holds per
// elementary rectangle the slots covering it. A centre's zone (the open
// box between the coordinates clear below and clear above it) meets a few
// elementary rectangles: the slots covering all of them are those whose
// rectangles together cover the zone (closed rectangles covering each open
// piece cover the edges between), the slots covering any of them those with
// a rectangle reaching into it. Where the two agree, no rectangle has an
// edge in the zone that the rasteriser alone could decide. Where a polygon,
// path or label may reach, the table says to ask item by item.

#include <cstddef>
#include <cstdint>
#include <vector>

struct Box64;

// The distinct edges of one axis, ascending, with buckets of 2^shift units
// from the first edge giving where to start looking for a coordinate.
struct EdgeAxis {
  std::vector<int64_t> edges;
  std::vector<uint32_t> before;  // per bucket: the edges below its start
  int shift = 0;
  void build();
  size_t size() const { return edges.size(); }
  // The edges below v (a bucket holds one or two: a short count).
  size_t below(int64_t v) const {
    size_t k = 0;
    if (v > edges[0]) {
      uint64_t b = (uint64_t)(v - edges[0]) >> shift;
      k = before[b < before.size() ? b : before.size() - 1];
    }
    while (k < edges.size() && edges[k] < v) k++;
    return k;
  }
  // The edges at or below v, from the first at or above `from`, counting
  // at most limit of them beyond it (more stands for "too many").
  size_t atOrBelow(int64_t v, size_t from, size_t limit) const {
    const size_t end = from + limit < edges.size() ? from + limit : edges.size();
    while (from < end && edges[from] <= v) from++;
    return from == end && end < edges.size() && edges[end] <= v ? end + 1 : from;
  }
};

struct CoverTable {
  EdgeAxis xs, ys;
  std::vector<uint16_t> entries;  // per elementary rectangle (rows of xs.size() + 1): an index into masks
  std::vector<uint64_t> masks;    // the distinct sets of slots
  static const uint16_t ASK_ITEMS = UINT16_MAX;  // an entry where other shapes may reach

  bool empty() const { return entries.empty(); }
  // Built from a cell's items (boxes, both ends included, with their slots;
  // items from rectItems on are drawn by their own code) unless the table
  // would be large beside them; empty then.
  void build(const std::vector<Box64>& boxes, const std::vector<uint8_t>& slots, uint32_t rectItems);
  // For the zone of whole coordinates [u0, u1] x [v0, v1] (u0 = u1 + 1 when
  // it lies between two whole units): the slots covering it (all) and those
  // reaching into it (any); false when other shapes may reach it or it
  // meets too many elementary rectangles to be quicker than the items.
  bool lookup(int64_t u0, int64_t u1, int64_t v0, int64_t v1, uint64_t& all, uint64_t& any) const {
    size_t j0, j1;
    rows(v0, v1, j0, j1);
    return lookupInRows(u0, u1, j0, j1, all, any);
  }
  // The rows of elementary rectangles [v0, v1] meets: the part of lookup
  // that a row of pixel centres shares.
  void rows(int64_t v0, int64_t v1, size_t& j0, size_t& j1) const {
    j0 = ys.below(v0), j1 = ys.atOrBelow(v1, j0, MAX_PIECES);
  }
  // lookup for [u0, u1] within the rows j0 to j1.
  bool lookupInRows(int64_t u0, int64_t u1, size_t j0, size_t j1, uint64_t& all, uint64_t& any) const {
    const size_t i0 = xs.below(u0), i1 = xs.atOrBelow(u1, i0, MAX_PIECES);
    if ((i1 - i0 + 1) * (j1 - j0 + 1) > MAX_PIECES) return false;
    all = ~0ull, any = 0;
    const size_t width = xs.size() + 1;
    for (size_t j = j0; j <= j1; j++)
      for (size_t i = i0; i <= i1; i++) {
        uint16_t e = entries[j * width + i];
        if (e == ASK_ITEMS) return false;
        all &= masks[e], any |= masks[e];
      }
    return true;
  }

private:
  // A zone meeting more elementary rectangles than this is answered item
  // by item: at a pixel centre it meets one to four.
  static const size_t MAX_PIECES = 16;
};

#endif
