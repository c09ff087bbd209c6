#include "canvas/CellSceneSync.h"

#include <cmath>
#include <typeinfo>

#include "model/Cell.h"
#include "model/Layout.h"

namespace {

// The instances of a list that can be placed in integers, as placements.
void placementsOf(const Layer& list, size_t cellCount, std::vector<CellPlacement>& out) {
  out.clear();
  for (GroupNode* n = list.first(); n; n = n->next()) {
    const Instance* inst = dynamic_cast<const Instance*>(n);
    if (!inst || inst->cell >= cellCount || !inst->transform.integral()) continue;
    const CellTransform& t = inst->transform;
    int quarter = t.hasAngle ? ((int)std::lround(t.angle / 90.0) % 4 + 4) % 4 : (t.quarterTurns & 3);
    CellPlacement p;
    p.cell = inst->cell;
    p.transform = PlaceTransform::of(t.mirrorX, quarter, t.x, t.y);
    p.columns = inst->array.columns, p.rows = inst->array.rows;
    p.colX = inst->array.columnStep[0], p.colY = inst->array.columnStep[1];
    p.rowX = inst->array.rowStep[0], p.rowY = inst->array.rowStep[1];
    p.selected = inst->isSelected() != 0;
    p.outline = cornersOf(*inst);
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

void syncCellScene(const Layout& layout, CellScene& scene) {
  const size_t n = layout.cellCount();
  bool reset = scene.cells.size() != n || scene.shown != layout.shownCell(), changed = reset;
  if (reset) scene.cells.assign(n, SceneCell());
  scene.shown = layout.shownCell();
  for (uint32_t i = 0; i < n; i++) {
    SceneCell& c = scene.cells[i];
    const Cell& cell = layout.cell(i);
    if (i == scene.shown) {
      // Its own objects are the layers; only its instances are the scene's.
      uint64_t revision = layout.instances().getRevision();
      if (!reset && c.revision == revision) continue;
      std::vector<CellPlacement> placements;
      placementsOf(layout.instances(), n, placements);
      bool moved = reset || !sameGeometry(placements, c.placements);
      for (auto& shapes : c.shapes) shapes.clear();
      c.placements.swap(placements);
      c.revision = revision;
      if (moved) changed = true;
      else scene.selectionRevision++;
      continue;
    }
    if (!reset && c.revision == cell.revision()) continue;
    c.opts.clear();
    for (int s = 0; s < LAYER_COUNT; s++) {
      c.shapes[s].clear();
      if (const Layer* l = cell.layer(s))
        for (GroupNode* node = l->first(); node; node = node->next()) {
          int64_t x0 = node->x, y0 = node->y, x1 = x0 + node->w, y1 = y0 + node->h;
          bool opt = typeid(*node) == typeid(Opt);
          (opt ? c.opts : c.shapes[s])
              .push_back({(int32_t)std::min(x0, x1), (int32_t)std::min(y0, y1), (int32_t)std::max(x0, x1),
                          (int32_t)std::max(y0, y1)});
        }
    }
    placementsOf(cell.instances(), n, c.placements);
    c.revision = cell.revision();
    changed = true;
  }
  if (changed) {
    scene.revision++;
    scene.prepare();
  }
}
