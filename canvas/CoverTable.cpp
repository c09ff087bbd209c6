#include "canvas/CoverTable.h"

#include <algorithm>
#include <unordered_map>

#include "canvas/CellScene.h"

namespace {

// The table may hold this many entries per item (two bytes each), or this
// many for any cell: the SkyWater standard cells need 40 to 260 an item,
// and a cell whose edges lie everywhere (thousands of unaligned shapes) is
// better asked item by item than kept as a table growing with the square
// of its edges.
const size_t ENTRIES_PER_ITEM = 512;
const size_t MIN_ENTRIES = 4096;

// The elementary intervals [first, last] of one axis that a box's zone
// may meet in [e0, e1]: those between its edges, or for a box of no
// extent those on either side of its one edge.
void inside(const EdgeAxis& axis, int64_t e0, int64_t e1, size_t& first, size_t& last) {
  first = axis.below(e0) + 1;
  last = axis.below(e1);
  if (e0 == e1) first--, last++;
}

}  // namespace

void EdgeAxis::build() {
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  before.clear();
  shift = 0;
  if (edges.empty()) return;
  // About one edge a bucket.
  const uint64_t extent = (uint64_t)(edges.back() - edges.front());
  while (shift < 63 && (extent >> shift) >= edges.size()) shift++;
  before.assign((size_t)(extent >> shift) + 1, 0);
  size_t k = 0;
  for (size_t b = 0; b < before.size(); b++) {
    while (k < edges.size() && (uint64_t)(edges[k] - edges.front()) < ((uint64_t)b << shift)) k++;
    before[b] = (uint32_t)k;
  }
}

void CoverTable::build(const std::vector<Box64>& boxes, const std::vector<uint8_t>& slots, uint32_t rectItems) {
  xs = ys = EdgeAxis();
  entries.clear(), masks.clear();
  for (const Box64& b : boxes)
    if (!b.empty()) xs.edges.push_back(b.x0), xs.edges.push_back(b.x1), ys.edges.push_back(b.y0), ys.edges.push_back(b.y1);
  xs.build(), ys.build();
  const size_t width = xs.size() + 1, height = ys.size() + 1;
  if (boxes.empty() || width * height > std::max(MIN_ENTRIES, ENTRIES_PER_ITEM * boxes.size())) {
    xs = ys = EdgeAxis();
    return;
  }
  // Each item's elementary intervals on both axes. A rectangle of no width
  // or height covers nothing and is near every centre it touches: there the
  // items answer, as for other shapes.
  struct Span {
    size_t i0, i1, j0, j1;
    uint64_t bit;
    bool covers;
  };
  std::vector<Span> spans;
  for (size_t k = 0; k < boxes.size(); k++) {
    const Box64& b = boxes[k];
    if (b.empty()) continue;
    Span s;
    inside(xs, b.x0, b.x1, s.i0, s.i1);
    inside(ys, b.y0, b.y1, s.j0, s.j1);
    s.bit = 1ull << slots[k];
    s.covers = k < rectItems && b.x0 < b.x1 && b.y0 < b.y1;
    spans.push_back(s);
  }
  // Row by row, so that only two rows of masks are held; an entry takes
  // its left or lower neighbour's index when it holds the same slots, and
  // the map is asked only where both differ.
  std::vector<uint64_t> row(width), below(width);
  std::vector<uint8_t> reached(width);
  std::unordered_map<uint64_t, uint16_t> index;
  entries.resize(width * height);
  for (size_t j = 0; j < height; j++) {
    std::fill(row.begin(), row.end(), 0);
    std::fill(reached.begin(), reached.end(), 0);
    for (const Span& s : spans) {
      if (j < s.j0 || j > s.j1) continue;
      for (size_t i = s.i0; i <= s.i1; i++) {
        if (s.covers) row[i] |= s.bit;
        else reached[i] = 1;
      }
    }
    uint16_t* out = entries.data() + j * width;
    for (size_t i = 0; i < width; i++) {
      if (reached[i]) {
        out[i] = ASK_ITEMS;
      } else if (i > 0 && out[i - 1] != ASK_ITEMS && row[i] == row[i - 1]) {
        out[i] = out[i - 1];
      } else if (j > 0 && out[i - width] != ASK_ITEMS && row[i] == below[i]) {
        out[i] = out[i - width];
      } else {
        auto found = index.emplace(row[i], (uint16_t)masks.size());
        if (found.second) {
          if (masks.size() + 1 >= ASK_ITEMS) {
            xs = ys = EdgeAxis(), entries.clear(), masks.clear();
            return;
          }
          masks.push_back(row[i]);
        }
        out[i] = found.first->second;
      }
    }
    row.swap(below);
  }
}
