#include "canvas/LayerCache.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

namespace {

// Boxes per tile when sorting: enough that a tile's bounds are worth
// testing, few enough that a view cuts off most of a layer it shows part of.
const double BOXES_PER_TILE = 64.0;
// At most this many tiles across (128 x 128 in all): the tile table stays
// small beside the corners.
const int MAX_TILES_ACROSS = 128;
// The flags of appended objects reserve 1/FLAG_SLACK more: small appends
// that follow (a paste, a drawn box) then fit without copying them all.
const size_t FLAG_SLACK = 64;
// Corners taken over from a file's record give back their spare room when
// it exceeds 1/SPARE_KEPT of them; the record grew by doubling.
const size_t SPARE_KEPT = 8;
// After a sort, arrays that hold more than SHRINK_FROM times their content
// (a layer that lost most of its objects) give the memory back.
const size_t SHRINK_FROM = 2;

}  // namespace

void LayerCache::take(GroupNode* node, uint32_t position) {
  bool isOther = typeid(*node) != typeid(Box), sel = node->isSelected() != 0;
  corners.push_back(cornersOf(*node));
  flags.push_back((isOther ? OTHER : 0) | (sel ? SELECTED : 0));
  if (isOther) others.push_back({position, node});
  if (sel && isOther) selectedOthers.push_back(node);
  if (sel && !isOther) selectedBoxes.push_back(position);
}

void LayerCache::truncate(uint32_t count) {
  corners.resize(count);
  flags.resize(count);
  while (!others.empty() && others.back().position >= count) others.pop_back();
  diverged = true;
}

// What the coverage masks of a layer's drawing depend on besides its
// objects: filled, outlined and selectable, or outlined only.
int32_t LayerCache::drawnState(const Layer& l) { return (l.isEnabled() ? 1 : 0) | (l.drawsFilled() ? 2 : 0); }

void LayerCache::begin(const Layer& l) {
  bool same = layer == &l && enabled == drawnState(l);
  layer = &l;
  enabled = drawnState(l);
  diverged = selectionChanged = false;
  if (!same) truncate(0);
  keptCount = (uint32_t)corners.size();
  fed = 0;
  nextOther = 0;
  selectedBoxes.clear();
  selectedOthers.clear();
  allBoxesSelected = false;
  corners.reserve(l.size());
  flags.reserve(l.size());
}

// Appended objects come with their corners, and the few that are not
// Boxes with their nodes: no walk of the list. A record of the whole
// content replaces the cache's; the corners of a file just read are taken
// over, not copied.
bool LayerCache::followAppended(const Layer& l, int i, const CornerHandOver* handOver,
                                Change& change) {
  const Layer::ChangeRecord& r = l.lastChanges();
  if (r.cornersTaken) return false;
  const size_t from = r.appendedFrom, n = r.corners.size();
  bool partOf = layer == &l && enabled == drawnState(l) && revision != 0 && r.since <= revision &&
                corners.size() >= from && corners.size() <= from + n;
  if (from + n != l.size() || (from > 0 && !partOf)) return false;
  if (!partOf) {
    layer = &l;
    enabled = drawnState(l);
    truncate(0);
    selectedBoxes.clear();
    selectedOthers.clear();
  } else {
    diverged = false;
  }
  if (allBoxesSelected) {  // the appended boxes may not be selected
    for (uint32_t p = 0; p < (uint32_t)corners.size(); p++)
      if (!isOther(p)) selectedBoxes.push_back(p);
    allBoxesSelected = false;
  }
  const uint32_t skip = (uint32_t)(corners.size() - from), base = (uint32_t)from;
  keptCount = (uint32_t)corners.size();
  selectionChanged = false;
  flags.reserve(from + n + (from + n) / FLAG_SLACK);
  flags.resize(from + n, 0);
  for (const auto& o : r.notBoxes) {
    if (o.position < skip) continue;
    flags[base + o.position] |= OTHER;
    others.push_back({base + o.position, o.node});
  }
  for (uint32_t p : r.selected) {
    if (p < skip) continue;
    flags[base + p] |= SELECTED;
    if (!(flags[base + p] & OTHER)) selectedBoxes.push_back(base + p);
  }
  for (const auto& o : r.notBoxes)
    if (o.position >= skip && (flags[base + o.position] & SELECTED)) selectedOthers.push_back(o.node);
  if (corners.empty() && handOver) {
    corners = (*handOver)(i);
    if (corners.capacity() > corners.size() + corners.size() / SPARE_KEPT) corners.shrink_to_fit();
  } else
    corners.insert(corners.end(), r.corners.begin() + skip, r.corners.end());
  fed = (uint32_t)corners.size();
  change = finish();
  return true;
}

bool LayerCache::follow(const Layer& l, int i, const CornerHandOver* handOver, Change& change) {
  const Layer::ChangeRecord& r = l.lastChanges();
  if (r.kind == Layer::ChangeRecord::APPENDED) return followAppended(l, i, handOver, change);
  if (layer != &l || enabled != drawnState(l) || r.kind == Layer::ChangeRecord::OTHER ||
      r.since != revision || revision == 0)
    return false;
  if (r.uniform >= 0)
    for (uint8_t& f : flags) f = (uint8_t)(r.uniform ? f | SELECTED : f & ~SELECTED);
  for (uint32_t p : r.flipped) {
    if (p >= flags.size()) return false;
    flags[p] ^= SELECTED;
  }
  selectedBoxes.clear();
  selectedOthers.clear();
  allBoxesSelected = r.uniform == 1 && r.flipped.empty();
  if (allBoxesSelected)
    for (const Other& other : others) selectedOthers.push_back(other.node);
  size_t o = 0;
  for (uint32_t p = 0; p < (uint32_t)flags.size() && !allBoxesSelected; p++) {
    if (!(flags[p] & SELECTED)) continue;
    if (!(flags[p] & OTHER)) {
      selectedBoxes.push_back(p);
      continue;
    }
    while (others[o].position < p) ++o;
    selectedOthers.push_back(others[o].node);
  }
  revision = l.getRevision();
  change = SELECTION;
  return true;
}

void LayerCache::feed(GroupNode* const* nodes, uint32_t count) {
  for (uint32_t j = 0; j < count; j++) {
    if (j + PREFETCH_AHEAD < count) __builtin_prefetch(nodes[j + PREFETCH_AHEAD]);
    GroupNode* node = nodes[j];
    uint32_t k = fed + j;
    if (k < corners.size()) {
      bool isOther = typeid(*node) != typeid(Box), sel = node->isSelected() != 0;
      if (cornersOf(*node) != corners[k] || isOther != this->isOther(k) ||
          (isOther && others[nextOther++].node != node)) {
        truncate(k);
        take(node, k);
        continue;
      }
      if (sel != ((flags[k] & SELECTED) != 0)) flags[k] ^= SELECTED, selectionChanged = true;
      if (sel && isOther) selectedOthers.push_back(node);
      if (sel && !isOther) selectedBoxes.push_back(k);
    } else {
      take(node, k);
    }
  }
  fed += count;
}

LayerCache::Change LayerCache::finish() {
  if (fed < corners.size()) truncate(fed);
  revision = layer->getRevision();
  if (diverged) {
    // Sorted when a view first culls (CanvasPainter::sortWhereCulled): a
    // view of the whole layer reads it in list order anyway.
    tiles.clear();
    BigVector<uint32_t>().swap(order);
    sortedCount = 0;
    unsorted = true;
    appendedFrom = 0;
    return REBUILT;
  }
  if (fed > keptCount) {
    appendedFrom = keptCount;
    return APPENDED;
  }
  return selectionChanged ? SELECTION : SAME;
}

// A counting sort of the boxes by the tile of their lower-left corner.
void LayerCache::sortTiles() {
  unsorted = false;
  uint32_t k = (uint32_t)corners.size();
  sortedCount = k;
  int32_t minX = INT32_MAX, minY = INT32_MAX, maxX = INT32_MIN, maxY = INT32_MIN;
  size_t boxes = 0;
  for (uint32_t i = 0; i < k; i++) {
    if (isOther(i)) continue;
    const Corners& c = corners[i];
    minX = std::min(minX, c.left());
    maxX = std::max(maxX, c.right());
    minY = std::min(minY, c.low());
    maxY = std::max(maxY, c.high());
    boxes++;
  }
  int grid = std::max(1, std::min((int)std::sqrt(boxes / BOXES_PER_TILE), MAX_TILES_ACROSS));
  double cellW = ((double)maxX - minX) / grid, cellH = ((double)maxY - minY) / grid;
  if (!(cellW > 0)) cellW = 1;
  if (!(cellH > 0)) cellH = 1;
  double perW = 1 / cellW, perH = 1 / cellH;
  auto tileFor = [&](const Corners& c) {
    int tx = std::min(grid - 1, std::max(0, (int)((c.left() - (double)minX) * perW)));
    int ty = std::min(grid - 1, std::max(0, (int)((c.low() - (double)minY) * perH)));
    return (uint32_t)(ty * grid + tx);
  };
  tiles.assign(boxes ? (size_t)grid * grid : 0, Tile());
  std::vector<uint32_t> count(tiles.size() + 1, 0);
  for (uint32_t i = 0; i < k; i++) {
    if (isOther(i)) continue;
    const Corners& c = corners[i];
    uint32_t t = tileFor(c);
    count[t + 1]++;
    Corners& b = tiles[t].bounds;
    b.x0 = std::min(b.x0, c.left());
    b.x1 = std::max(b.x1, c.right());
    b.y0 = std::min(b.y0, c.low());
    b.y1 = std::max(b.y1, c.high());
  }
  for (size_t t = 0; t < tiles.size(); t++) {
    count[t + 1] += count[t];
    tiles[t].begin = tiles[t].end = count[t];
  }
  order.assign(boxes, 0);
  if (order.capacity() > SHRINK_FROM * boxes) order.shrink_to_fit();
  if (corners.capacity() > SHRINK_FROM * (size_t)k) {
    corners.shrink_to_fit();
    flags.shrink_to_fit();
  }
  for (uint32_t i = 0; i < k; i++)
    if (!isOther(i)) order[tiles[tileFor(corners[i])].end++] = i;
}
