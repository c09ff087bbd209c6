#include "model/TopmostShape.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "model/ObjectOrigin.h"
#include "model/Shapes.h"

namespace {

// An object wider or higher than this many buckets is kept apart and tried
// at every query, so that a few huge ones (a well over the whole block) do
// not fill every bucket.
const int64_t BIG_ITEM_BUCKETS = 16;
// Objects tried at every query, apart from the buckets (huge ones, and
// those appended since the grid was built): past this many the grid is
// built again, as trying them costs more than a build spread over motions.
const size_t MAX_APART = 1024;
// Nesting deeper than this is a cycle the reader let through, or no design
// anyone draws: the search stops there.
const int MAX_DEPTH = 64;
// Elements tried in one array whose steps do not span a plane (collinear
// or zero steps in both directions): a degenerate array from a file.
const int64_t MAX_DEGENERATE_ELEMENTS = 4096;

// The point of a placement's cell that lands on (px, py): exact for an
// integral transform, in floating point otherwise.
void inverse(const ElementPlacement& ep, int32_t px, int32_t py, double& u, double& v) {
  const CellTransform& t = ep.transform;
  const int64_t dx = (int64_t)px - t.x - ep.ex, dy = (int64_t)py - t.y - ep.ey;
  if (t.integral()) {
    int64_t a = dx, b = dy;
    for (int k = 0; k < (t.quarterTurns & 3); k++) {
      const int64_t turned = a;
      a = b, b = -turned;
    }
    if (t.mirrorX) b = -b;
    u = (double)a, v = (double)b;
    return;
  }
  const double angle = (t.hasAngle ? t.angle : 90.0 * t.quarterTurns) * M_PI / 180.0;
  const double c = std::cos(angle), s = std::sin(angle);
  const double m = t.magnification != 0 ? t.magnification : 1.0;
  u = (dx * c + dy * s) / m, v = (-dx * s + dy * c) / m;
  if (t.mirrorX) v = -v;
}

bool isPlainRect(const GroupNode* node) { return !dynamic_cast<const Shape*>(node); }

}  // namespace

// The objects of one list by their boxes: positions per bucket, ascending.
struct TopmostFinder::Grid {
  const Layer* layer = nullptr;
  uint64_t revision = 0;
  size_t size = 0;
  const GroupNode* first = nullptr;
  std::vector<const GroupNode*> nodes;  // by position
  int64_t x0 = 0, y0 = 0, across = 0, up = 0;
  int shift = 0;
  std::vector<uint32_t> start, items, big;

  bool current(const Layer* l) {
    if (l != layer || l->first() != first) return false;
    if (l->getRevision() == revision && l->size() == size) return true;
    const Layer::ChangeRecord& r = l->lastChanges();
    if (r.since != revision) return false;
    // A selection change alone leaves every box where it was.
    if (r.kind == Layer::ChangeRecord::SELECTION && l->size() == size) {
      revision = l->getRevision();
      return true;
    }
    // Objects drawn or pasted at the end are tried apart, until so many
    // that the grid is built again.
    if (r.kind != Layer::ChangeRecord::APPENDED || r.appendedFrom != size || size == 0 ||
        l->size() - size + big.size() > MAX_APART)
      return false;
    for (const GroupNode* n = nodes.back()->next(); n; n = n->next()) {
      big.push_back((uint32_t)nodes.size());
      nodes.push_back(n);
    }
    size = l->size(), revision = l->getRevision();
    return true;
  }

  static void boxOf(const GroupNode* n, int64_t b[4]) {
    const ObjectCorners c = cornersOf(*n);
    b[0] = c.left(), b[1] = c.low(), b[2] = c.right(), b[3] = c.high();
  }
  int64_t column(int64_t x) const { return std::min(std::max<int64_t>((x - x0) >> shift, 0), across - 1); }
  int64_t row(int64_t y) const { return std::min(std::max<int64_t>((y - y0) >> shift, 0), up - 1); }
  bool isBig(const int64_t b[4], const GroupNode* n) const {
    // Labels reach past their boxes (Label::clickReach).
    return typeid(*n) == typeid(Label) || column(b[2]) - column(b[0]) >= BIG_ITEM_BUCKETS ||
           row(b[3]) - row(b[1]) >= BIG_ITEM_BUCKETS;
  }

  void build(const Layer* l) {
    layer = l, revision = l->getRevision(), size = l->size(), first = l->first();
    nodes.clear(), start.clear(), items.clear(), big.clear();
    int64_t lo[2] = {INT64_MAX, INT64_MAX}, hi[2] = {INT64_MIN, INT64_MIN}, extent = 0;
    for (const GroupNode* n = l->first(); n; n = n->next()) {
      nodes.push_back(n);
      int64_t b[4];
      boxOf(n, b);
      lo[0] = std::min(lo[0], b[0]), lo[1] = std::min(lo[1], b[1]);
      hi[0] = std::max(hi[0], b[2]), hi[1] = std::max(hi[1], b[3]);
      extent += std::max(b[2] - b[0], b[3] - b[1]);
    }
    if (nodes.empty()) return;
    // Buckets about as wide as an average object, and at most one for two
    // objects (the grid then adds about 8 bytes an object to the list's 8),
    // whichever is coarser.
    const double n = (double)nodes.size();
    const double side = std::max({std::sqrt((double)(hi[0] - lo[0] + 1) * (double)(hi[1] - lo[1] + 1) / n),
                                  (double)extent / n, 1.0});
    shift = 0;
    while (shift < 40 && (double)(1ll << shift) < side) shift++;
    x0 = lo[0], y0 = lo[1];
    for (;; shift++) {
      across = ((hi[0] - x0) >> shift) + 1, up = ((hi[1] - y0) >> shift) + 1;
      if ((double)across * (double)up <= n / 2 + 16) break;
    }
    start.assign((size_t)(across * up + 1), 0);
    for (int pass = 0; pass < 2; pass++) {
      for (uint32_t p = 0; p < nodes.size(); p++) {
        int64_t b[4];
        boxOf(nodes[p], b);
        if (isBig(b, nodes[p])) {
          if (pass == 0) big.push_back(p);
          continue;
        }
        for (int64_t r = row(b[1]); r <= row(b[3]); r++)
          for (int64_t c = column(b[0]); c <= column(b[2]); c++) {
            const size_t bucket = (size_t)(r * across + c);
            if (pass == 0) start[bucket + 1]++;
            else items[start[bucket]++] = p;
          }
      }
      if (pass == 0) {
        for (size_t k = 1; k < start.size(); k++) start[k] += start[k - 1];
        items.resize(start.back());
      } else {
        // The fill moved each start to the next bucket's: shift them back.
        for (size_t k = start.size() - 1; k > 0; k--) start[k] = start[k - 1];
        start[0] = 0;
      }
    }
  }

  // visit(position) for every object whose bucket meets [ax, bx] x [ay, by],
  // some more than once.
  template <typename Visit>
  void near(int64_t ax, int64_t ay, int64_t bx, int64_t by, Visit visit) const {
    for (uint32_t p : big) visit(p);
    if (across == 0 || bx < x0 || by < y0 || ax > x0 + (across << shift) || ay > y0 + (up << shift)) return;
    for (int64_t r = row(ay); r <= row(by); r++)
      for (int64_t c = column(ax); c <= column(bx); c++) {
        const size_t bucket = (size_t)(r * across + c);
        for (uint32_t k = start[bucket]; k < start[bucket + 1]; k++) visit(items[k]);
      }
  }
};

struct TopmostFinder::CellIndex {
  uint64_t revision = UINT64_MAX;  // of the cell, when `slots` was listed
  std::vector<int> slots;          // layer slots holding objects
  std::vector<std::unique_ptr<Grid>> grids;  // by slot, LAYER_COUNT + instances
  Grid& grid(int slot, const Layer* l) {
    if (grids.empty()) grids.resize(SLOT_COUNT);
    if (!grids[slot]) grids[slot].reset(new Grid);
    if (!grids[slot]->current(l)) grids[slot]->build(l);
    return *grids[slot];
  }
};

TopmostFinder::TopmostFinder() = default;
TopmostFinder::~TopmostFinder() = default;

void TopmostFinder::forget() { cells.clear(); }

TopmostFinder::CellIndex& TopmostFinder::indexOf(const Layout& layout, uint32_t cell) {
  if (cells.size() < layout.cellCount()) cells.resize(layout.cellCount());
  if (!cells[cell]) cells[cell].reset(new CellIndex);
  CellIndex& index = *cells[cell];
  const Cell& c = layout.cell(cell);
  if (index.revision != c.revision()) {
    index.revision = c.revision();
    index.slots.clear();
    for (int s = 0; s < LAYER_COUNT; s++)
      if (c.layer(s)) index.slots.push_back(s);
  }
  return index;
}

// One query's walk of the placed cells, keeping the best placed shape by
// (slot's rank, element visited, position).
struct TopmostFinder::Search {
  TopmostFinder& finder;
  const Layout& layout;
  const std::vector<bool>& takesPart;
  std::vector<int> rank;
  int32_t px, py;
  uint64_t element = 0;
  const GroupNode* top = nullptr;
  struct Best {
    int rank = -1;
    uint64_t element = 0;
    uint32_t position = 0;
    int slot = -1;
    const GroupNode* node = nullptr;
    uint32_t cell = 0;
    const GroupNode* top = nullptr;
    ElementPlacement placement;
  } best;

  bool beats(int r, uint32_t position) const {
    return r > best.rank || (r == best.rank && (element > best.element || position > best.position));
  }

  void visitCell(uint32_t cell, const ElementPlacement& ep, bool shown, int depth) {
    if (depth > MAX_DEPTH) return;
    CellIndex& index = finder.indexOf(layout, cell);
    const Cell& c = layout.cell(cell);
    double u, v;
    inverse(ep, px, py, u, v);
    const bool exact = ep.transform.integral();
    // Placed points are rounded to whole units: look that far around.
    const double margin = exact ? 0 : std::ceil(1.0 / std::fabs(ep.transform.magnification)) + 1;
    const int64_t ax = (int64_t)std::floor(u - margin), bx = (int64_t)std::ceil(u + margin);
    const int64_t ay = (int64_t)std::floor(v - margin), by = (int64_t)std::ceil(v + margin);
    ++element;
    if (!shown) {
      for (int s : index.slots) {
        if (!takesPart[s] || rank[s] < best.rank) continue;
        Grid& g = index.grid(s, c.layer(s));
        g.near(ax, ay, bx, by, [&](uint32_t p) {
          const GroupNode* node = g.nodes[p];
          // Labels inside placed cells are not drawn.
          if (!beats(rank[s], p) || dynamic_cast<const Label*>(node)) return;
          bool hit;
          if (exact && isPlainRect(node)) {
            hit = node->contains((int32_t)u, (int32_t)v) == 1;
          } else {
            std::unique_ptr<GroupNode> placed(ep.object(*node));
            hit = placed->contains(px, py) == 1;
          }
          if (hit) best = Best{rank[s], element, p, s, node, cell, top, ep};
        });
      }
    }
    const Layer& list = c.instances();
    if (list.size() == 0) return;
    Grid& g = index.grid(LAYER_INSTANCES, &list);
    std::vector<uint32_t> candidates;
    g.near(ax, ay, bx, by, [&](uint32_t p) { candidates.push_back(p); });
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    for (uint32_t p : candidates) {
      const Instance* inst = dynamic_cast<const Instance*>(g.nodes[p]);
      if (!inst || inst->cell >= layout.cellCount()) continue;
      if (shown) top = inst;
      visitElements(*inst, ep, shown, depth, ax, ay, bx, by);
    }
  }

  // The elements of an instance whose boxes meet [ax, bx] x [ay, by] (in
  // the instance's parent's coordinates), row by row as the painter goes.
  void visitElements(const Instance& inst, const ElementPlacement& ep, bool shown, int depth, int64_t ax,
                     int64_t ay, int64_t bx, int64_t by) {
    const Cell& inside = layout.cell(inst.cell);
    const Rect bounds = inside.bounds();
    if (inside.flattenedCount() == 0) return;
    int64_t b0[4];
    inst.elementBox(bounds, 0, 0, b0);
    // Element (i, j) meets the box when i * col + j * row lies in d (an
    // uneven array's elements are rounded: a unit more around).
    const double r = inst.array.uneven() ? 1 : 0;
    const double d[4] = {(double)(ax - b0[2]) - r, (double)(ay - b0[3]) - r, (double)(bx - b0[0]) + r,
                         (double)(by - b0[1]) + r};
    double cx, cy, rx, ry;
    inst.array.steps(cx, cy, rx, ry);
    const int64_t columns = inst.array.columns, rows = inst.array.rows;
    double i0 = 0, i1 = (double)columns - 1, j0 = 0, j1 = (double)rows - 1;
    const double det = cx * ry - rx * cy;
    // A cell placing absolute references reaches beyond its bounds as
    // placed: its elements are all tried, as a degenerate array's.
    const bool absolute = inside.placesAbsolute();
    if (det != 0 && columns * rows > 1 && !absolute) {
      double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
      for (int k = 0; k < 4; k++) {
        const double x = d[(k & 1) ? 2 : 0], y = d[(k & 2) ? 3 : 1];
        const double i = (x * ry - y * rx) / det, j = (cx * y - cy * x) / det;
        lo[0] = std::min(lo[0], i), hi[0] = std::max(hi[0], i);
        lo[1] = std::min(lo[1], j), hi[1] = std::max(hi[1], j);
      }
      i0 = std::max(i0, std::floor(lo[0])), i1 = std::min(i1, std::ceil(hi[0]));
      j0 = std::max(j0, std::floor(lo[1])), j1 = std::min(j1, std::ceil(hi[1]));
    } else if (columns * rows > MAX_DEGENERATE_ELEMENTS) {
      return;
    }
    for (int64_t j = (int64_t)j0; j <= (int64_t)j1; j++)
      for (int64_t i = (int64_t)i0; i <= (int64_t)i1; i++) {
        int64_t b[4];
        inst.elementBox(bounds, (uint32_t)i, (uint32_t)j, b);
        if (!absolute && (b[0] > bx || b[2] < ax || b[1] > by || b[3] < ay)) continue;
        if (shown) {
          visitCell(inst.cell, elementPlacement(inst, (uint32_t)i, (uint32_t)j), false, depth + 1);
        } else {
          std::unique_ptr<Instance> composed(ep.instance(inst, bounds));
          visitCell(inst.cell, elementPlacement(*composed, (uint32_t)i, (uint32_t)j), false, depth + 1);
        }
      }
  }
};

TopmostShape TopmostFinder::find(const Layout& layout, int32_t x, int32_t y, const std::vector<bool>& takesPart) {
  if (layout.cellCount() < cells.size()) cells.resize(layout.cellCount());
  Search search{*this, layout, takesPart, std::vector<int>(SLOT_COUNT, -1), x, y, 0, nullptr, {}};
  const std::vector<int> order = drawingOrder();
  for (size_t k = 0; k < order.size(); k++) search.rank[order[k]] = (int)k;
  const uint32_t shown = layout.shownCell();
  search.visitCell(shown, ElementPlacement(), true, 0);
  // The shown cell's own objects lie over placed shapes of the same slot.
  CellIndex& index = indexOf(layout, shown);
  for (auto s = order.rbegin(); s != order.rend() && search.rank[*s] >= search.best.rank; ++s) {
    const Layer* l = layout.cell(shown).layer(*s);
    if (!l || !takesPart[*s]) continue;
    Grid& g = index.grid(*s, l);
    int64_t hit = -1;
    g.near(x, y, x, y, [&](uint32_t p) {
      if ((int64_t)p > hit && g.nodes[p]->contains(x, y) == 1) hit = p;
    });
    if (hit < 0) continue;
    TopmostShape found;
    found.slot = *s, found.object = g.nodes[hit], found.cell = shown;
    return found;
  }
  TopmostShape found;
  const Search::Best& b = search.best;
  if (b.slot < 0) return found;
  found.slot = b.slot, found.object = b.node, found.cell = b.cell, found.instance = b.top;
  found.placed.reset(b.placement.object(*b.node));
  return found;
}

std::string describeShape(const TopmostShape& shape, const Layout& layout, const DisplayUnits& units) {
  if (!shape.found()) return "";
  std::string text = layerFacts(shape.slot).name;
  const ObjectOrigin& origin = originOf(shape.object->origin);
  // The pair the object came from, else its slot's; not repeated when the
  // layer is named by it.
  std::string pair;
  uint32_t gdsLayer = 0, gdsDatatype = 0;
  if (origin.gdsLayer >= 0) pair = std::to_string(origin.gdsLayer) + "/" + std::to_string(origin.gdsDatatype);
  else if (pairOfSlot(shape.slot, gdsLayer, gdsDatatype)) pair = layerToCode(shape.slot);
  if (!pair.empty() && pair != text) text += " (" + pair + ")";
  const ObjectCorners c = cornersOf(shape.box());
  text += "  " + units.format(c.left()) + ", " + units.format(c.low());
  text += "  " + units.format((int64_t)c.right() - c.left()) + " x " + units.format((int64_t)c.high() - c.low());
  if (const Opt* opt = dynamic_cast<const Opt*>(shape.object)) text += "  value " + std::to_string(opt->value);
  if (const Label* label = dynamic_cast<const Label*>(shape.object)) text += "  \"" + label->text + "\"";
  if (shape.instance) text += "  in " + layout.cell(shape.cell).name();
  return text;
}
