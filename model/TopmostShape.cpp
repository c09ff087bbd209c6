#include "model/TopmostShape.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "model/ObjectOrigin.h"
#include "model/ShapeGrid.h"
#include "model/Shapes.h"

namespace {

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

struct TopmostFinder::CellIndex {
  uint64_t revision = UINT64_MAX;  // of the cell, when `slots` was listed
  std::vector<int> slots;          // layer slots holding objects
  std::vector<std::unique_ptr<ShapeGrid>> grids;  // by slot, LAYER_COUNT + instances
  ShapeGrid& slotGrid(int slot) {
    if (grids.empty()) grids.resize(SLOT_COUNT);
    if (!grids[slot]) grids[slot].reset(new ShapeGrid);
    return *grids[slot];
  }
  // The slot's grid brought up to date, or null when it is not and may not
  // be built now.
  ShapeGrid* grid(int slot, const Layer* l, bool mayBuild) {
    ShapeGrid& g = slotGrid(slot);
    if (!g.current(l)) {
      if (!mayBuild) return nullptr;
      g.build(l);
    }
    return &g;
  }
};

TopmostFinder::TopmostFinder() = default;
TopmostFinder::~TopmostFinder() = default;

void TopmostFinder::forget() {
  cells.clear();
  building = Building();
}

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

// One query's walk of the placed cells. A pick keeps the best placed shape
// at (px, py) by (slot's rank, element visited, position); a gathering
// (collect set) hands over every placed shape near the box [px, qx] x
// [py, qy] instead. It stops, incomplete, at the first grid that is not
// built when it may not build.
struct TopmostFinder::Search {
  TopmostFinder& finder;
  const Layout& layout;
  const std::vector<bool>& takesPart;
  std::vector<int> rank;
  int32_t px, py, qx, qy;
  bool mayBuild = true;
  const ShapeVisit* collect = nullptr;
  bool incomplete = false;
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

  Search(TopmostFinder& f, const Layout& l, const std::vector<bool>& part, int32_t x0, int32_t y0, int32_t x1,
         int32_t y1, bool build, const ShapeVisit* visit)
      : finder(f), layout(l), takesPart(part), rank(SLOT_COUNT, -1), px(x0), py(y0), qx(x1), qy(y1),
        mayBuild(build), collect(visit) {}

  ShapeGrid* grid(CellIndex& index, int slot, const Layer* l) {
    ShapeGrid* g = index.grid(slot, l, mayBuild);
    if (!g) incomplete = true;
    return g;
  }

  void visitCell(uint32_t cell, const ElementPlacement& ep, bool shown, int depth) {
    if (depth > MAX_DEPTH || incomplete) return;
    CellIndex& index = finder.indexOf(layout, cell);
    const Cell& c = layout.cell(cell);
    // The query's corners in the cell's coordinates.
    double ulo = INFINITY, uhi = -INFINITY, vlo = INFINITY, vhi = -INFINITY, u = 0, v = 0;
    for (int k = 0; k < 4; k++) {
      inverse(ep, (k & 1) ? qx : px, (k & 2) ? qy : py, u, v);
      ulo = std::min(ulo, u), uhi = std::max(uhi, u), vlo = std::min(vlo, v), vhi = std::max(vhi, v);
    }
    inverse(ep, px, py, u, v);
    const bool exact = ep.transform.integral();
    // Placed points are rounded to whole units: look that far around.
    const double margin = exact ? 0 : std::ceil(1.0 / std::fabs(ep.transform.magnification)) + 1;
    const int64_t ax = (int64_t)std::floor(ulo - margin), bx = (int64_t)std::ceil(uhi + margin);
    const int64_t ay = (int64_t)std::floor(vlo - margin), by = (int64_t)std::ceil(vhi + margin);
    ++element;
    if (!shown) {
      for (int s : index.slots) {
        if (!takesPart[s] || rank[s] < best.rank) continue;
        ShapeGrid* g = grid(index, s, c.layer(s));
        if (!g) return;
        g->near(ax, ay, bx, by, [&](uint32_t p) {
          if (!collect && !beats(rank[s], p)) return;
          const GroupNode* node = g->at(p);
          // Labels inside placed cells are not drawn.
          if (dynamic_cast<const Label*>(node)) return;
          if (collect) {
            std::unique_ptr<GroupNode> placed(ep.object(*node));
            (*collect)(s, *placed);
            return;
          }
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
    ShapeGrid* g = grid(index, LAYER_INSTANCES, &list);
    if (!g) return;
    std::vector<uint32_t> candidates;
    g->near(ax, ay, bx, by, [&](uint32_t p) { candidates.push_back(p); });
    std::sort(candidates.begin(), candidates.end());
    for (uint32_t p : candidates) {
      const Instance* inst = dynamic_cast<const Instance*>(g->at(p));
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
  TopmostShape found;
  search(layout, x, y, takesPart, true, found);
  return found;
}

bool TopmostFinder::findBuilt(const Layout& layout, int32_t x, int32_t y, const std::vector<bool>& takesPart,
                              TopmostShape& found) {
  return search(layout, x, y, takesPart, false, found);
}

bool TopmostFinder::search(const Layout& layout, int32_t x, int32_t y, const std::vector<bool>& takesPart,
                           bool mayBuild, TopmostShape& found) {
  if (layout.cellCount() < cells.size()) cells.resize(layout.cellCount());
  Search search(*this, layout, takesPart, x, y, x, y, mayBuild, nullptr);
  const std::vector<int> order = drawingOrder();
  for (size_t k = 0; k < order.size(); k++) search.rank[order[k]] = (int)k;
  const uint32_t shown = layout.shownCell();
  search.visitCell(shown, ElementPlacement(), true, 0);
  if (search.incomplete) return false;
  // The shown cell's own objects lie over placed shapes of the same slot.
  CellIndex& index = indexOf(layout, shown);
  for (auto s = order.rbegin(); s != order.rend() && search.rank[*s] >= search.best.rank; ++s) {
    const Layer* l = layout.cell(shown).layer(*s);
    if (!l || !takesPart[*s]) continue;
    ShapeGrid* g = index.grid(*s, l, mayBuild);
    if (!g) return false;
    int64_t hit = -1;
    g->near(x, y, x, y, [&](uint32_t p) {
      if ((int64_t)p > hit && g->at(p)->contains(x, y) == 1) hit = p;
    });
    if (hit < 0) continue;
    found = TopmostShape();
    found.slot = *s, found.object = g->at((uint32_t)hit), found.cell = shown;
    return true;
  }
  found = TopmostShape();
  const Search::Best& b = search.best;
  if (b.slot < 0) return true;
  found.slot = b.slot, found.object = b.node, found.cell = b.cell, found.instance = b.top;
  found.placed.reset(b.placement.object(*b.node));
  return true;
}

void TopmostFinder::forEachNear(const Layout& layout, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                                const std::vector<bool>& takesPart, const ShapeVisit& visit) {
  if (layout.cellCount() < cells.size()) cells.resize(layout.cellCount());
  const uint32_t shown = layout.shownCell();
  CellIndex& index = indexOf(layout, shown);
  for (int s : std::vector<int>(index.slots)) {
    const Layer* l = layout.cell(shown).layer(s);
    if (!takesPart[s] || !l) continue;
    ShapeGrid* g = index.grid(s, l, true);
    g->near(x0, y0, x1, y1, [&](uint32_t p) {
      const GroupNode* node = g->at(p);
      if (!dynamic_cast<const Label*>(node)) visit(s, *node);
    });
  }
  Search search(*this, layout, takesPart, x0, y0, x1, y1, true, &visit);
  search.visitCell(shown, ElementPlacement(), true, 0);
}

bool TopmostFinder::buildSome(const Layout& layout, size_t budget) {
  const size_t count = layout.cellCount();
  if (cells.size() > count) cells.resize(count);
  const std::vector<int> order = drawingOrder();
  // The shown cell first, its instances then its slots from the top down:
  // what a query there reaches first.
  const uint32_t shown = layout.shownCell();
  while (budget > 0) {
    if (building.cell >= count) {
      building.cell = 0;
      if (!building.worked) return true;
      building.worked = false;
    }
    const uint32_t cell = building.cell == 0 ? shown : building.cell <= shown ? building.cell - 1 : building.cell;
    const Cell& c = layout.cell(cell);
    const int slot = building.slot == 0 ? LAYER_INSTANCES : order[order.size() - building.slot];
    const Layer* l = slot == LAYER_INSTANCES ? &c.instances() : c.layer(slot);
    if (l && l->size() > 0) {
      ShapeGrid& g = indexOf(layout, cell).slotGrid(slot);
      if (!g.current(l)) {
        building.worked = true;
        if (!g.build(l, budget)) return false;
      }
    }
    if (++building.slot > order.size()) building.slot = 0, building.cell++;
  }
  return false;
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
