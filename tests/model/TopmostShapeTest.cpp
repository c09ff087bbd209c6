// The shape painted last at a point, inside placed cells too.
#include "model/TopmostShape.h"

#include <gtest/gtest.h>

namespace {

GroupNode* box(int slot, int32_t x, int32_t y, int32_t w, int32_t h) {
  GroupNode* node = newLayoutObject(slot);
  node->setRect(x, y, w, h);
  return node;
}

Instance* instance(const CellLibrary& lib, uint32_t cell, int32_t x, int32_t y, int turns = 0, uint16_t columns = 1,
                   uint16_t rows = 1, int32_t step = 0) {
  Instance* inst = new Instance;
  inst->cell = cell;
  inst->transform.x = x, inst->transform.y = y, inst->transform.quarterTurns = (uint8_t)turns;
  inst->array.columns = columns, inst->array.rows = rows, inst->array.columnStep[0] = step, inst->array.rowStep[1] = step;
  inst->placeBounds(lib.cell(cell).bounds());
  return inst;
}

// LEAF holds a 10 x 10 box on slot 2 under a 10 x 5 one on slot 5; MID
// arrays it 4 times along x; TOP places MID at the origin, LEAF turned
// half round at (1000, 0) and a huge array of LEAF far off, and has its
// own slot 5 box over the turned LEAF.
class TopmostShapeTest : public testing::Test {
protected:
  void SetUp() override {
    CellLibrary lib;
    const uint32_t leaf = lib.add("LEAF"), mid = lib.add("MID"), top = lib.add("TOP");
    lib.cell(leaf).editLayer(2).appendChain(box(2, 0, 0, 10, 10));
    lib.cell(leaf).editLayer(5).appendChain(box(5, 0, 0, 10, 5));
    lib.cell(mid).editLayer(LAYER_INSTANCES).appendChain(instance(lib, leaf, 0, 0, 0, 4, 1, 10));
    Layer& placed = lib.cell(top).editLayer(LAYER_INSTANCES);
    placed.appendChain(instance(lib, mid, 0, 0));
    placed.appendChain(instance(lib, leaf, 1000, 0, 2));
    placed.appendChain(instance(lib, leaf, 100000, 0, 0, 4000, 4000, 20));
    lib.shown = top;
    Layer fresh[LAYER_COUNT];
    fresh[5].appendChain(box(5, 996, -4, 2, 2));
    layout.replaceContent(fresh, "lib.gds", false, FORMAT_GDSII, GdsLibraryInfo(), &lib);
  }
  std::string at(int32_t x, int32_t y) {
    TopmostShape s = finder.find(layout, x, y, takesPart);
    return describeShape(s, layout, DisplayUnits()) + (s.instance == layout.instances().first() ? " first" : "");
  }

  Layout layout;
  TopmostFinder finder;
  std::vector<bool> takesPart = std::vector<bool>(LAYER_COUNT, true);
};

}  // namespace

TEST_F(TopmostShapeTest, FindsTheLastPaintedShapeThroughInstancesAndArrays) {
  const std::string metal = layerFacts(5).name, diffusion = layerFacts(2).name;
  const struct { int32_t x, y; std::string expected; } cases[] = {
      {15, 2, metal + "  10, 0  10 x 5  in LEAF first"},    // the later slot, in MID's second element
      {15, 8, diffusion + "  10, 0  10 x 10  in LEAF first"},
      {41, 2, ""},                                            // past the array's last element
      {992, -2, metal + "  990, -5  10 x 5  in LEAF"},        // turned half round
      {997, -3, metal + "  996, -4  2 x 2"},                  // the shown cell's own, over placed ones
      {100000 + 3999 * 20 + 3, 3999 * 20 + 7, diffusion + "  179980, 79980  10 x 10  in LEAF"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, at(c.x, c.y)) << c.x << "," << c.y;
  // A layer that takes no part is looked through.
  takesPart[5] = false;
  EXPECT_EQ(diffusion + "  10, 0  10 x 10  in LEAF first", at(15, 2));
  EXPECT_EQ(diffusion + "  990, -10  10 x 10  in LEAF", at(997, -3));
  // An edit is followed: the own box moved away uncovers the placed one.
  takesPart[5] = true;
  Rect band;
  band.setRect(990, -10, 20, 20);
  layout.applySelection(5, OP_SELECT, MATCH_INSIDE, &band);
  layout.moveSelected(5, 100, 0);
  EXPECT_EQ(metal + "  990, -5  10 x 5  in LEAF", at(997, -3));
  EXPECT_EQ(metal + "  1096, -4  2 x 2", at(1097, -3));
  layout.addObjects({{5, box(5, 1094, -6, 9, 9)}}, "drawn");
  EXPECT_EQ(metal + "  1094, -6  9 x 9", at(1097, -3));
}
