// Cells, instances and the library inside the document.
#include "model/Cell.h"

#include <gtest/gtest.h>

#include "model/CellFlatten.h"
#include "model/Layout.h"
#include "model/Shapes.h"

namespace {

GroupNode* box(int slot, int32_t x, int32_t y, int32_t w, int32_t h) {
  GroupNode* node = newLayoutObject(slot);
  node->setRect(x, y, w, h);
  return node;
}

// An instance of cell at (x, y), mirrored and turned as asked, arrayed
// columns x rows with steps (columnStep, 0) and (0, rowStep).
Instance* instance(const CellLibrary& lib, uint32_t cell, int32_t x, int32_t y, bool mirror = false, int turns = 0,
                   uint16_t columns = 1, uint16_t rows = 1, int32_t columnStep = 0, int32_t rowStep = 0) {
  Instance* inst = new Instance;
  inst->cell = cell;
  inst->transform.x = x, inst->transform.y = y, inst->transform.mirrorX = mirror, inst->transform.quarterTurns = (uint8_t)turns;
  inst->array.columns = columns, inst->array.rows = rows, inst->array.columnStep[0] = columnStep, inst->array.rowStep[1] = rowStep;
  inst->placeBounds(lib.cell(cell).bounds());
  return inst;
}

std::string rectText(const Rect& r) {
  return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.w) + "," + std::to_string(r.h);
}

}  // namespace

TEST(Cell, TransformMirrorsThenTurnsThenTranslates) {
  const struct { bool mirror; int turns; int64_t x, y; } cases[] = {
      {false, 0, 2, 1}, {false, 1, -1, 2}, {false, 2, -2, -1}, {false, 3, 1, -2},
      {true, 0, 2, -1},  {true, 1, 1, 2},   {true, 2, -2, 1},   {true, 3, -1, -2},
  };
  for (const auto& c : cases) {
    CellTransform t;
    t.x = 100, t.y = -100, t.mirrorX = c.mirror, t.quarterTurns = (uint8_t)c.turns;
    int64_t x, y;
    t.apply(2, 1, x, y);
    EXPECT_TRUE(t.integral() && x == c.x + 100 && y == c.y - 100) << c.mirror << c.turns << ": " << x << "," << y;
  }
  CellTransform odd;
  odd.hasAngle = odd.hasMagnification = true, odd.angle = 45, odd.magnification = 2;
  int64_t x, y;
  odd.apply(10, 0, x, y);
  EXPECT_TRUE(!odd.integral() && x == 14 && y == 14) << x << "," << y;
}

TEST(Cell, InstanceBoundsCoverEveryElementAndMoveWithItsOrigin) {
  CellLibrary lib;
  const uint32_t leaf = lib.add("LEAF");
  lib.cell(leaf).editLayer(1).appendChain(box(1, 0, 0, 10, 5));
  Instance* inst = instance(lib, leaf, 100, 0, true, 1, 2, 3, 20, 30);
  // Mirrored and turned, (x, y) goes to (y, x): the element is 5 x 10.
  EXPECT_EQ("100,0,25,70", rectText(*inst));
  inst->array.fromAref = true, inst->array.points[0] = 100, inst->array.points[5] = 90;
  inst->moveBy(1, -2);
  EXPECT_TRUE(rectText(*inst) == "101,-2,25,70" && inst->transform.x == 101 && inst->transform.y == -2 &&
              inst->array.points[0] == 101 && inst->array.points[5] == 88);
  GroupNode* copy = cloneObject(*inst);
  const Instance* same = dynamic_cast<const Instance*>(copy);
  EXPECT_TRUE(same && same->cell == leaf && same->array.rows == 3 && same->transform.mirrorX && rectText(*same) == rectText(*inst));
  delete copy;
  delete inst;
}

TEST(Cell, LayoutEditsUndoesAndFlattensTheShownCellsInstances) {
  CellLibrary lib;
  const uint32_t leaf = lib.add("LEAF"), mid = lib.add("MID"), top = lib.add("TOP");
  lib.cell(leaf).editLayer(1).appendChain(box(1, 0, 0, 10, 5));
  lib.cell(mid).editLayer(LAYER_INSTANCES).appendChain(instance(lib, leaf, 0, 0, false, 0, 4, 1, 10, 0));
  lib.cell(top).editLayer(LAYER_INSTANCES).appendChain(instance(lib, mid, 0, 0));
  lib.cell(top).editLayer(LAYER_INSTANCES).appendChain(instance(lib, leaf, 1000, 0, false, 2));
  lib.shown = top;
  EXPECT_EQ((std::vector<uint32_t>{leaf, mid, top}), lib.childrenFirst());
  EXPECT_EQ(std::vector<uint32_t>{top}, lib.topCells());
  Layout layout;
  Layer fresh[LAYER_COUNT];
  fresh[5].appendChain(box(5, -50, -50, 5, 5));
  layout.replaceContent(fresh, "lib.gds", false, FORMAT_GDSII, GdsLibraryInfo(), &lib);
  const Cell& shown = layout.cell(layout.shownCell());
  ASSERT_TRUE(layout.cellCount() == 3 && shown.name() == "TOP" && layout.instances().size() == 2 && shown.layer(5));
  EXPECT_TRUE(shown.flattenedCount() == 6 && rectText(shown.bounds()) == "-50,-50,1050,55") << rectText(shown.bounds());
  uint64_t revision = shown.revision();
  // A band around the turned leaf selects that instance alone.
  Rect band;
  band.setRect(980, -10, 30, 20);
  EXPECT_EQ(1, layout.applySelection(-1, OP_SELECT, MATCH_INSIDE, &band));
  EXPECT_EQ(Layout::MOVE_DONE, layout.moveSelected(-1, 7, 0));
  const Instance* moved = static_cast<const Instance*>(layout.instances().first()->next());
  EXPECT_TRUE(moved->transform.x == 1007 && shown.revision() > revision);
  revision = shown.revision();
  EXPECT_EQ(1u, layout.removeSelected(-1, "deleted"));
  EXPECT_TRUE(layout.instances().size() == 1 && shown.flattenedCount() == 5 && shown.revision() > revision);
  layout.undo();
  layout.undo();
  EXPECT_TRUE(layout.instances().size() == 2 && moved->transform.x == 1000);
  // A paste takes instances of this library's cells only.
  Instance* pasted = cloneInstance(*moved);
  Instance* stranger = cloneInstance(*moved);
  stranger->cell = 3;
  size_t refused = 0;
  EXPECT_TRUE(layout.addObjects({{LAYER_INSTANCES, pasted}, {LAYER_INSTANCES, stranger}}, "pasted", &refused) == 1 && refused == 1);
  EXPECT_TRUE(layout.instances().size() == 3 && shown.flattenedCount() == 7);
  layout.undo();
  // Flattened: the own box, four leaves in a row, one turned about (1000, 0).
  Layer flat[LAYER_COUNT];
  FlattenResult r = flattenCell(layout.cells(), layout.shownCell(), flat, 100);
  EXPECT_TRUE(r.objects == 6 && r.instances == 6 && flat[1].size() == 5 && rectText(flat[1]) == "0,-5,1000,10") << rectText(flat[1]);
  EXPECT_TRUE(flattenCell(layout.cells(), layout.shownCell(), flat, 5).overLimit && flat[1].size() == 5);
  // A library read later never repeats a revision a painter may have cached.
  CellLibrary again;
  again.cell(again.add("LEAF")).editLayer(1).appendChain(box(1, 0, 0, 10, 5));
  EXPECT_NE(layout.cell(leaf).revision(), again.cell(0).revision());
}

// Flattening places a polygon's points through a mirrored, turned instance,
// not only its box.
TEST(Cell, FlatteningPlacesPolygonPoints) {
  CellLibrary lib;
  const uint32_t leaf = lib.add("LEAF"), top = lib.add("TOP");
  Polygon* ell = new Polygon;
  ell->setPoints({{0, 0}, {20, 0}, {20, 5}, {5, 5}, {5, 10}, {0, 10}});
  lib.cell(leaf).editLayer(3).appendChain(ell);
  lib.cell(top).editLayer(LAYER_INSTANCES).appendChain(instance(lib, leaf, 100, 50, true, 1));
  Layer flat[LAYER_COUNT];
  for (Layer& l : flat) l.enable();
  flattenCell(lib, top, flat, 100);
  const Polygon* placed = dynamic_cast<const Polygon*>(flat[3].first());
  ASSERT_NE(placed, nullptr);
  // (x, y) mirrored to (x, -y), then turned to (y, x), then moved.
  const std::vector<Point> expected = {{100, 50}, {100, 70}, {105, 70}, {105, 55}, {110, 55}, {110, 50}};
  EXPECT_EQ(expected, placed->points);
  EXPECT_EQ("100,50,10,20", rectText(*placed));
}
