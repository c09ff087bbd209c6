#include "canvas/CellScene.h"

#include <algorithm>
#include <cmath>

#include "canvas/SecondThread.h"
#include "canvas/ShapeFill.h"

namespace {

// Items per grid bucket: a query reads one or two buckets, so a few items
// each keep it short while the table stays small beside the items.
const double ITEMS_PER_BUCKET = 1.0;
// Cells whose cover tables are built again hold at least this many items
// in all before a second thread takes half of them: a table takes a few
// microseconds an item, a thread tens of microseconds to start.
const size_t SHARED_TABLE_ITEMS = 500;
// At most this many buckets across a cell's grid: 64 x 64 covers the
// largest cells of a standard-cell block with a few items each.
const int MAX_BUCKETS_ACROSS = 128;

// Saturating sums and products of counts of placed shapes.
uint64_t addCount(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }
uint64_t mulCount(uint64_t a, uint64_t b) { return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b; }

}  // namespace

PlaceTransform PlaceTransform::of(bool mirror, int quarter, int64_t x, int64_t y) {
  static const int turns[4][4] = {{1, 0, 0, 1}, {0, -1, 1, 0}, {-1, 0, 0, -1}, {0, 1, -1, 0}};
  const int* r = turns[quarter & 3];
  PlaceTransform t;
  int m = mirror ? -1 : 1;  // (u, v) -> (u, m v) first
  t.a = r[0], t.b = r[1] * m, t.c = r[2], t.d = r[3] * m;
  t.dx = x, t.dy = y;
  return t;
}

void Box64::include(const Box64& o) {
  x0 = std::min(x0, o.x0), y0 = std::min(y0, o.y0);
  x1 = std::max(x1, o.x1), y1 = std::max(y1, o.y1);
}

// A counting sort of the items into every bucket their boxes touch.
void ItemGrid::build(const std::vector<Box64>& boxes) {
  bounds = Box64();
  for (const Box64& b : boxes) bounds.include(b);
  start.clear(), items.clear();
  across = up = 0;
  if (boxes.empty() || bounds.empty()) return;
  int n = std::max(1, std::min((int)std::sqrt(boxes.size() / ITEMS_PER_BUCKET), MAX_BUCKETS_ACROSS));
  // Buckets of a power of two units, so that finding one is a shift.
  auto shiftFor = [n](int64_t extent) {
    int shift = 0;
    while (shift < 62 && ((extent >> shift) + 1) > n) shift++;
    return shift;
  };
  shiftX = shiftFor(bounds.x1 - bounds.x0), shiftY = shiftFor(bounds.y1 - bounds.y0);
  across = (int)((bounds.x1 - bounds.x0) >> shiftX) + 1, up = (int)((bounds.y1 - bounds.y0) >> shiftY) + 1;
  start.assign((size_t)across * up + 1, 0);
  for (int pass = 0; pass < 2; pass++) {
    std::vector<uint32_t> at(start.begin(), start.end() - 1);
    for (uint32_t k = 0; k < boxes.size(); k++)
      for (int r = row(boxes[k].y0); r <= row(boxes[k].y1); r++)
        for (int c = column(boxes[k].x0); c <= column(boxes[k].x1); c++) {
          size_t bucket = (size_t)r * across + c;
          if (pass == 0) start[bucket + 1]++;
          else items[at[bucket]++] = k;
        }
    if (pass == 0) {
      for (size_t b = 1; b < start.size(); b++) start[b] += start[b - 1];
      items.resize(start.back());
    }
  }
}

// Depth first, so that a cell's placements see their cells' bounds. A
// cell whose items changed ends in state 3: its cover table is built after.
bool CellScene::prepareCell(uint32_t index, std::vector<int>& state) {
  if (state[index] >= 2) return true;
  if (state[index] == 1) return false;
  state[index] = 1;
  SceneCell& c = cells[index];
  for (const CellPlacement& p : c.placements)
    if (p.cell >= cells.size() || !prepareCell(p.cell, state)) return false;
  c.bounds = Box64();
  c.flattened = 0;
  c.slotsBelow = 0;
  c.areaSlotsBelow = c.labelSlotsBelow = 0;
  c.labelHeightBelow = 0;
  c.pairsBelow = c.highPairsBelow = false;
  c.lineSlotsBelow = 0;
  if (c.indexed != c.revision) {
    // The grid serves the masks, which hold the slots below WIDE_SLOTS; the
    // later slots' shapes are drawn by flattening and only count for the
    // bounds.
    c.shapeBoxes.clear(), c.shapeSlots.clear();
    c.pairBounds = Box64();
    for (const auto& list : c.shapes.lists)
      for (const ObjectCorners& o : list.second) {
        Box64 b;
        b.x0 = o.x0, b.y0 = o.y0, b.x1 = o.x1, b.y1 = o.y1;
        if (list.first >= WIDE_SLOTS) {
          c.pairBounds.include(b);
          continue;
        }
        c.shapeBoxes.push_back(b);
        c.shapeSlots.push_back((uint8_t)list.first);
      }
    c.rectItems = (uint32_t)c.shapeBoxes.size();
    c.drawnItems.clear();
    for (uint32_t k = 0; k < c.drawn.size(); k++) {
      const SceneShape& d = c.drawn[k];
      if (d.slot >= WIDE_SLOTS || d.line) {
        c.pairBounds.include(d.reach);
        continue;
      }
      c.drawnItems.push_back(k);
      c.shapeBoxes.push_back(d.reach);
      c.shapeSlots.push_back((uint8_t)d.slot);
    }
    c.shapeGrid.build(c.shapeBoxes);
  }
  const bool changed = c.indexed != c.revision;
  if (!c.shapeGrid.bounds.empty()) c.bounds.include(c.shapeGrid.bounds);
  if (!c.opts.empty()) c.slotsBelow |= SceneCell::OPTS_BELOW;
  c.flattened = addCount(c.flattened, c.opts.size());
  if (!c.pairBounds.empty()) c.bounds.include(c.pairBounds);
  c.flattened = addCount(c.flattened, c.drawn.size());
  auto note = [&c](int slot, bool label) {
    c.pairsBelow = c.pairsBelow || slot >= NAMED_LAYER_COUNT;
    if (slot >= WIDE_SLOTS) c.highPairsBelow = true;
    else (label ? c.labelSlotsBelow : c.areaSlotsBelow) |= 1ull << slot;
  };
  for (const SceneShape& d : c.drawn) {
    note(d.slot, d.label);
    if (d.line && d.slot < WIDE_SLOTS) c.lineSlotsBelow |= 1ull << d.slot;
    if (d.label) c.labelHeightBelow = std::max(c.labelHeightBelow, d.labelHeight);
  }
  for (const auto& list : c.shapes.lists) {
    c.flattened = addCount(c.flattened, list.second.size());
    if (!list.second.empty()) note(list.first, false);
  }
  c.placementBoxes.clear();
  for (const CellPlacement& p : c.placements) {
    const SceneCell& inner = cells[p.cell];
    Box64 box;
    c.areaSlotsBelow |= inner.areaSlotsBelow, c.labelSlotsBelow |= inner.labelSlotsBelow;
    c.slotsBelow |= inner.slotsBelow & SceneCell::OPTS_BELOW;
    c.labelHeightBelow = std::max(c.labelHeightBelow, inner.labelHeightBelow);
    c.pairsBelow = c.pairsBelow || inner.pairsBelow;
    c.highPairsBelow = c.highPairsBelow || inner.highPairsBelow;
    c.lineSlotsBelow |= inner.lineSlotsBelow;
    if (p.columns < 1 || p.rows < 1) {
      c.placementBoxes.push_back(box);
      continue;
    }
    for (int32_t j : {0, p.rows - 1})
      for (int32_t i : {0, p.columns - 1}) box.include(inner.bounds.placed(p.element(i, j)));
    c.placementBoxes.push_back(box);
    if (!box.empty()) c.bounds.include(box);
    c.flattened = addCount(c.flattened, mulCount(inner.flattened, (uint64_t)p.columns * (uint64_t)p.rows));
  }
  c.slotsBelow |= (uint16_t)((c.areaSlotsBelow | c.labelSlotsBelow) & ((1u << NAMED_LAYER_COUNT) - 1));
  c.placementGrid.build(c.placementBoxes);
  c.indexed = c.revision;
  state[index] = changed ? 3 : 2;
  return true;
}

std::vector<ObjectCorners>& SlotShapes::operator[](int slot) {
  auto at = std::lower_bound(lists.begin(), lists.end(), slot,
                             [](const std::pair<int, std::vector<ObjectCorners>>& l, int s) { return l.first < s; });
  if (at == lists.end() || at->first != slot) at = lists.insert(at, {slot, {}});
  return at->second;
}

bool labelShownAt(double height, double scale) { return labelsShown() && !(height * scale < LABEL_MIN_PIXELS); }

bool SceneShape::shownAt(double scale) const { return !label || labelShownAt(labelHeight, scale); }

bool CellScene::prepare() {
  std::vector<int> state(cells.size(), 0);
  bool acyclic = true;
  for (uint32_t i = 0; i < cells.size() && acyclic; i++) acyclic = prepareCell(i, state);
  // The cover tables of the changed cells, about half of their items on a
  // second thread when there are many.
  size_t total = 0, given = 0;
  for (uint32_t i = 0; i < cells.size(); i++)
    if (state[i] == 3) total += cells[i].shapeBoxes.size();
  std::vector<uint32_t> mine, theirs;
  for (uint32_t i = 0; i < cells.size(); i++) {
    if (state[i] != 3) continue;
    const size_t items = cells[i].shapeBoxes.size();
    if (total >= SHARED_TABLE_ITEMS && 2 * (given + items) <= total + items) theirs.push_back(i), given += items;
    else mine.push_back(i);
  }
  auto build = [this](const std::vector<uint32_t>& list) {
    for (uint32_t i : list) cells[i].cover.build(cells[i].shapeBoxes, cells[i].shapeSlots, cells[i].rectItems);
  };
  runBeside(!theirs.empty(), [&] { build(theirs); }, [&] { build(mine); });
  return acyclic;
}
