#include "canvas/CellSceneSync.h"

#include <cmath>
#include <typeinfo>

#include "canvas/PlacedShapes.h"
#include "io/MskShapes.h"
#include "model/Cell.h"
#include "model/CellFlatten.h"
#include "model/Layout.h"
#include "model/PathOutline.h"
#include "model/Shapes.h"

namespace {

// Instances placed beyond this many objects by a transform that is not
// integral are left out: their shapes are copied flattened.
const uint64_t FLATTENED_LIMIT = 10000000;

// A layer's objects into a scene cell: rectangles, and polygons and paths
// that cut into rectangles, as their corners (they place exactly); other
// polygons and paths, and labels, as shapes of their own.
void copyShapes(const Layer& layer, int slot, SceneCell& c) {
  std::vector<Rect> cut;
  for (GroupNode* node = layer.first(); node; node = node->next()) {
    const Shape* shape = dynamic_cast<const Shape*>(node);
    cut.clear();
    if (shape && (dynamic_cast<const Label*>(node) || !mskRectangles(*shape, cut))) {
      c.drawn.push_back(sceneShapeOf(slot, *node));
      continue;
    }
    if (!shape) {
      cut.resize(1);
      cut[0].setRect(node->x, node->y, node->w, node->h);
    }
    bool opt = typeid(*node) == typeid(Opt);
    for (const Rect& r : cut) {
      int64_t x0 = r.x, y0 = r.y, x1 = x0 + r.w, y1 = y0 + r.h;
      (opt ? c.opts : c.shapes[slot])
          .push_back({(int32_t)std::min(x0, x1), (int32_t)std::min(y0, y1), (int32_t)std::max(x0, x1),
                      (int32_t)std::max(y0, y1)});
    }
  }
}

// An uneven array's elements as placements of one element each (the
// painter's arrays step evenly); the first carries the outline.
void unevenElements(const Instance& inst, const CellPlacement& p, int quarter, std::vector<CellPlacement>& out) {
  for (uint32_t j = 0; j < inst.array.rows; j++)
    for (uint32_t i = 0; i < inst.array.columns; i++) {
      int64_t ex, ey;
      inst.array.offset(i, j, ex, ey);
      CellPlacement e = p;
      e.transform = PlaceTransform::of(inst.transform.mirrorX, quarter, inst.transform.x + ex, inst.transform.y + ey);
      e.selected = p.selected && i == 0 && j == 0;
      out.push_back(e);
    }
}

// The instances of a list as placements. One whose transform is not
// integral places a cell of its own, added to the scene: its shapes
// flattened as the document flattens them (points placed and rounded);
// so does one of the shown cell whose cell places absolute references,
// which stand as its transform leaves them. An uneven array places each
// element apart.
void placementsOf(const Layer& list, const Layout& layout, CellScene& scene, std::vector<CellPlacement>& out,
                  bool shown) {
  out.clear();
  for (GroupNode* n = list.first(); n; n = n->next()) {
    const Instance* inst = dynamic_cast<const Instance*>(n);
    if (!inst || inst->cell >= layout.cellCount()) continue;
    const CellTransform& t = inst->transform;
    CellPlacement p;
    p.selected = inst->isSelected() != 0;
    p.outline = cornersOf(*inst);
    if (!t.integral() || (shown && layout.cell(inst->cell).placesAbsolute())) {
      Layer flat[LAYER_COUNT];
      if (flattenInstance(layout.cells(), *inst, flat, FLATTENED_LIMIT).overLimit) continue;
      SceneCell placed;
      for (int s = 0; s < LAYER_COUNT; s++) copyShapes(flat[s], s, placed);
      p.cell = (uint32_t)scene.cells.size();
      scene.cells.push_back(std::move(placed));
      out.push_back(p);
      continue;
    }
    int quarter = t.hasAngle ? ((int)std::lround(t.angle / 90.0) % 4 + 4) % 4 : (t.quarterTurns & 3);
    p.cell = inst->cell;
    if (inst->array.uneven()) {
      unevenElements(*inst, p, quarter, out);
      continue;
    }
    p.transform = PlaceTransform::of(t.mirrorX, quarter, t.x, t.y);
    p.columns = inst->array.columns, p.rows = inst->array.rows;
    p.colX = inst->array.columnStep[0], p.colY = inst->array.columnStep[1];
    p.rowX = inst->array.rowStep[0], p.rowY = inst->array.rowStep[1];
    out.push_back(p);
  }
}

bool sameGeometry(const std::vector<CellPlacement>& a, const std::vector<CellPlacement>& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); k++) {
    const CellPlacement &p = a[k], &q = b[k];
    const PlaceTransform &s = p.transform, &t = q.transform;
    if (p.cell != q.cell || s.a != t.a || s.b != t.b || s.c != t.c || s.d != t.d || s.dx != t.dx || s.dy != t.dy ||
        p.columns != q.columns || p.rows != q.rows || p.colX != q.colX || p.colY != q.colY || p.rowX != q.rowX ||
        p.rowY != q.rowY)
      return false;
  }
  return true;
}

}  // namespace

void sampleCellScene(CellScene& scene) {
  scene = CellScene();
  scene.cells.resize(2);
  SceneCell& leaf = scene.cells[0];
  for (int s = 0; s < NAMED_LAYER_COUNT; s++) leaf.shapes[s].push_back({s, 2 * s, s + 9, 2 * s + 3});
  Polygon* slanted = new Polygon;
  slanted->setPoints({{0, 0}, {14, 5}, {3, 17}});
  Path* path = new Path;
  path->setPath({{2, 20}, {12, 26}, {20, 21}}, 3, ENDS_ROUND);
  Label* label = new Label;
  label->text = "K1", label->anchor = {16, 2}, label->unitsPerMicrometre = 6;
  label->refresh();
  const std::pair<int, GroupNode*> drawn[] = {{2, slanted}, {5, path}, {9, label}};
  for (const auto& d : drawn) {
    leaf.drawn.push_back(sceneShapeOf(d.first, *d.second));
    delete d.second;
  }
  CellPlacement plain, array;
  plain.transform = PlaceTransform::of(false, 0, 30, 40);
  array.transform = PlaceTransform::of(true, 1, 120, 10);
  array.columns = 3, array.rows = 2, array.colX = 31, array.rowY = 47;
  scene.cells[1].placements = {plain, array};
  scene.shown = 1;
  scene.libraryCells = 2;
  scene.revision = 1;
  scene.prepare();
}

void syncCellScene(const Layout& layout, CellScene& scene) {
  const size_t n = layout.cellCount();
  bool reset = scene.libraryCells != n || scene.cells.size() < n || scene.shown != layout.shownCell();
  // Cells of flattened placements follow the library's: any change makes
  // them afresh.
  for (uint32_t i = 0; i < n && !reset && scene.cells.size() > n; i++)
    reset = scene.cells[i].revision != (i == scene.shown ? layout.instances().getRevision() : layout.cell(i).revision());
  bool changed = reset;
  if (reset) scene.cells.assign(n, SceneCell());
  scene.libraryCells = n;
  scene.shown = layout.shownCell();
  std::vector<CellPlacement> placements;
  for (uint32_t i = 0; i < n; i++) {
    const Cell& cell = layout.cell(i);
    if (i == scene.shown) {
      // Its own objects are the layers; only its instances are the scene's.
      uint64_t revision = layout.instances().getRevision();
      if (!reset && scene.cells[i].revision == revision) continue;
      placementsOf(layout.instances(), layout, scene, placements, true);
      SceneCell& c = scene.cells[i];
      bool moved = reset || !sameGeometry(placements, c.placements);
      c.shapes.clear();
      c.drawn.clear();
      c.placements.swap(placements);
      c.revision = revision;
      if (moved) changed = true;
      else scene.selectionRevision++;
      continue;
    }
    if (!reset && scene.cells[i].revision == cell.revision()) continue;
    placementsOf(cell.instances(), layout, scene, placements, false);
    SceneCell& c = scene.cells[i];
    c.placements.swap(placements);
    c.opts.clear();
    c.drawn.clear();
    c.shapes.clear();
    for (int s = 0; s < LAYER_COUNT; s++)
      if (const Layer* l = cell.layer(s)) copyShapes(*l, s, c);
    c.revision = cell.revision();
    changed = true;
  }
  if (changed) {
    scene.revision++;
    scene.prepare();
  }
}
