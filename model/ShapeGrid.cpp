#include "model/ShapeGrid.h"

#include <cmath>
#include <typeinfo>

#include "model/Shapes.h"

namespace {

// Every this many objects one node is kept: reaching an object then walks
// at most MARK_EVERY - 1 links, and the marks cost half a byte an object.
const uint32_t MARK_EVERY = 16;
// Objects tried at every query, apart from the grids (labels, and those
// appended since the grids were built): past this many the grids are built
// again, as trying them costs more than a build spread over motions.
const size_t MAX_APART = 1024;
// A grid has at most one bucket for two of its objects (plus a few for the
// smallest): coarser buckets when the objects are spread thin.
const int64_t SPARE_BUCKETS = 16;

int bitLength(int64_t v) {
  int n = 0;
  while (v > 0) v >>= 1, n++;
  return n;
}

}  // namespace

bool ShapeGrid::current(const Layer* l) {
  if (stage != DONE || l != layer || l->first() != first) return false;
  if (l->getRevision() == revision && l->size() == size) return true;
  const Layer::ChangeRecord& r = l->lastChanges();
  if (r.since != revision) return false;
  // A selection change alone leaves every box where it was.
  if (r.kind == Layer::ChangeRecord::SELECTION && l->size() == size) {
    revision = l->getRevision();
    return true;
  }
  // Objects drawn or pasted at the end are tried apart, until so many that
  // the grids are built again.
  if (r.kind != Layer::ChangeRecord::APPENDED || r.appendedFrom != size || size == 0 ||
      l->size() - size + apart.size() > MAX_APART)
    return false;
  for (const GroupNode* n = last->next(); n; n = n->next(), size++) {
    if (size % MARK_EVERY == 0) marks.push_back(n);
    apart.push_back((uint32_t)size);
    last = n;
  }
  revision = l->getRevision();
  return size == l->size();
}

void ShapeGrid::restart(const Layer* l) {
  layer = l, revision = l->getRevision(), size = l->size(), first = l->first(), last = nullptr;
  marks.clear(), bins.clear(), start.clear(), items.clear(), apart.clear();
  x0 = y0 = INT64_MAX, x1 = y1 = INT64_MIN;
  sizes.assign((BITS + 1) * (BITS + 1), 0);
  stage = COLLECT, cursor = first, position = 0;
  walkPosition = UINT32_MAX, walkNode = nullptr;
}

template <typename Each>
bool ShapeGrid::walk(size_t& budget, Each each) {
  for (; cursor && budget > 0; cursor = cursor->next(), position++, budget--) each(cursor, position);
  if (cursor) return false;
  cursor = first, position = 0;
  return true;
}

bool ShapeGrid::build(const Layer* l, size_t& budget) {
  if (stage == DONE && current(l)) return true;
  bool same = stage != DONE && l == layer && l->first() == first && l->size() == size;
  if (same && l->getRevision() != revision) {
    // Selection changes leave the objects and their boxes as they were.
    const Layer::ChangeRecord& r = l->lastChanges();
    same = r.since == revision && r.kind == Layer::ChangeRecord::SELECTION;
    if (same) revision = l->getRevision();
  }
  if (!same) restart(l);
  if (stage == COLLECT) {
    const bool done = walk(budget, [&](const GroupNode* n, uint32_t p) {
      if (p % MARK_EVERY == 0) marks.push_back(n);
      const ObjectCorners c = cornersOf(*n);
      x0 = std::min<int64_t>(x0, c.left()), y0 = std::min<int64_t>(y0, c.low());
      x1 = std::max<int64_t>(x1, c.right()), y1 = std::max<int64_t>(y1, c.high());
      sizes[bitLength((int64_t)c.right() - c.left()) * (BITS + 1) + bitLength((int64_t)c.high() - c.low())]++;
      last = n;
    });
    if (!done) return false;
    layOut();
    stage = COUNT;
  }
  size_t bucket = 0;
  if (stage == COUNT) {
    const bool done = walk(budget, [&](const GroupNode* n, uint32_t p) {
      if (place(n, bucket)) start[bucket + 1]++;
      else apart.push_back(p);
    });
    if (!done) return false;
    for (size_t k = 1; k < start.size(); k++) start[k] += start[k - 1];
    items.resize(start.back());
    stage = FILL;
  }
  const bool done = walk(budget, [&](const GroupNode* n, uint32_t p) {
    if (place(n, bucket)) items[start[bucket]++] = p;
  });
  if (!done) return false;
  // The fill moved each start to the next bucket's: shift them back.
  for (size_t k = start.size() - 1; k > 0; k--) start[k] = start[k - 1];
  start[0] = 0;
  sizes.clear(), sizes.shrink_to_fit(), binOf.clear(), binOf.shrink_to_fit();
  stage = DONE;
  return true;
}

void ShapeGrid::layOut() {
  binOf.assign(sizes.size(), 0);
  if (size == 0) {
    start.assign(1, 0);
    return;
  }
  // The finest buckets hold about one object each where the objects are
  // spread evenly.
  const double side = std::sqrt((double)(x1 - x0 + 1) * (double)(y1 - y0 + 1) / (double)size);
  int shift = 0;
  while (shift < 40 && (double)(1ll << shift) < side) shift++;
  // Past these an axis has one bucket, which takes objects of any size.
  int coarsest[2] = {shift, shift};
  while ((x1 - x0) >> coarsest[0]) coarsest[0]++;
  while ((y1 - y0) >> coarsest[1]) coarsest[1]++;
  for (int bw = 0; bw <= BITS; bw++)
    for (int bh = 0; bh <= BITS; bh++) {
      const uint32_t n = sizes[bw * (BITS + 1) + bh];
      if (n == 0) continue;
      // Buckets wider than every width of bit length bw: 2^bw.
      const int sx = std::min(std::max(shift, bw), coarsest[0]), sy = std::min(std::max(shift, bh), coarsest[1]);
      size_t k = 0;
      while (k < bins.size() && (bins[k].sx != sx || bins[k].sy != sy)) k++;
      if (k == bins.size()) {
        bins.emplace_back();
        bins[k].sx = sx, bins[k].sy = sy;
      }
      bins[k].count += n;
      binOf[bw * (BITS + 1) + bh] = (uint16_t)k;
    }
  size_t total = 0;
  for (Bin& g : bins) {
    for (;;) {
      g.across = ((x1 - x0) >> g.sx) + 1, g.up = ((y1 - y0) >> g.sy) + 1;
      if ((double)g.across * (double)g.up <= (double)(g.count / 2) + SPARE_BUCKETS) break;
      if (g.across >= g.up) g.sx++;
      else g.sy++;
    }
    g.base = total;
    total += (size_t)(g.across * g.up);
  }
  start.assign(total + 1, 0);
}

bool ShapeGrid::place(const GroupNode* n, size_t& bucket) const {
  // Labels reach past their boxes (Label::clickReach).
  if (typeid(*n) == typeid(Label)) return false;
  const ObjectCorners c = cornersOf(*n);
  const int bw = bitLength((int64_t)c.right() - c.left()), bh = bitLength((int64_t)c.high() - c.low());
  const Bin& g = bins[binOf[bw * (BITS + 1) + bh]];
  bucket = g.base + (size_t)(g.row(c.low(), y0) * g.across + g.column(c.left(), x0));
  return true;
}

const GroupNode* ShapeGrid::at(uint32_t p) const {
  const GroupNode* n;
  uint32_t steps;
  if (walkNode && p >= walkPosition && p - walkPosition < MARK_EVERY) n = walkNode, steps = p - walkPosition;
  else n = marks[p / MARK_EVERY], steps = p % MARK_EVERY;
  for (; steps > 0; steps--) n = n->next();
  walkPosition = p, walkNode = n;
  return n;
}
