#include "model/CellEdits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "model/CellFlatten.h"

namespace {

GroupNode* box(int slot, int32_t x, int32_t y, bool selected) {
  GroupNode* node = newLayoutObject(slot);
  node->setRect(x, y, 4, 2);
  if (selected) node->select();
  return node;
}

std::string slotText(const Layer& l, int slot, const CellLibrary& cells) {
  std::ostringstream text;
  for (GroupNode* n = l.first(); n; n = n->next()) {
    text << slot << ':' << n->x << ',' << n->y << ',' << n->w << ',' << n->h << (n->isSelected() ? "*" : "");
    if (slot == LAYER_INSTANCES) text << '>' << cells.cell(static_cast<Instance*>(n)->cell).name();
    text << ' ';
  }
  return text.str();
}

// The shown layers, then every cell with its name, bounds and content.
std::string dump(const Layout& layout) {
  std::string text;
  for (int i = 0; i < SLOT_COUNT; i++) text += slotText(layout.layer(i), i, layout.cells());
  for (uint32_t c = 0; c < layout.cellCount(); c++) {
    const Cell& cell = layout.cell(c);
    const Rect b = cell.bounds();
    text += "| " + cell.name() + " " + std::to_string(b.x) + "," + std::to_string(b.y) + " ";
    if (c == layout.shownCell()) continue;
    for (int i = 0; i < LAYER_COUNT; i++)
      if (cell.layer(i)) text += slotText(*cell.layer(i), i, layout.cells());
    text += slotText(cell.instances(), LAYER_INSTANCES, layout.cells());
  }
  return text;
}

// Sorted boxes of flattened layers, to compare placements in any order.
std::vector<std::string> boxes(const Layer* layers) {
  std::vector<std::string> out;
  for (int i = 0; i < LAYER_COUNT; i++)
    for (GroupNode* n = layers[i].first(); n; n = n->next())
      out.push_back(std::to_string(i) + ":" + std::to_string(n->x) + "," + std::to_string(n->y) + "," +
                    std::to_string(n->w) + "," + std::to_string(n->h));
  std::sort(out.begin(), out.end());
  return out;
}

class CellEditsTest : public testing::Test {
protected:
  void SetUp() override {
    layout.addObjects({{5, box(5, 1, 1, true)}, {5, box(5, 9, 0, false)}, {6, box(6, 20, 5, true)}}, "added");
  }
  Layout layout;
};

TEST_F(CellEditsTest, GroupUndoRedoRestoresObjectsAndLibrary) {
  const std::string before = dump(layout);
  EXPECT_EQ(layout.freeCellName(), "CELL1");
  ASSERT_EQ(layout.groupSelected("CELL1"), Layout::GROUP_DONE);
  const std::string grouped = dump(layout);
  // The unselected box stays; the two selected went into CELL1 at their
  // coordinates, and one selected instance covering them replaced them.
  EXPECT_EQ(grouped, "5:9,0,4,2 " + std::to_string(LAYER_INSTANCES) +
                         ":1,1,23,6*>CELL1 | TOP 1,0 | CELL1 1,1 5:1,1,4,2 6:20,5,4,2 ");
  EXPECT_EQ(layout.freeCellName(), "CELL2");
  EXPECT_EQ(layout.groupSelected("CELL1"), Layout::GROUP_NAME_TAKEN);
  EXPECT_EQ(layout.groupSelected(""), Layout::GROUP_NAME_EMPTY);
  EXPECT_FALSE(layout.undo().empty());
  EXPECT_EQ(dump(layout), before);
  EXPECT_FALSE(layout.redo().empty());
  EXPECT_EQ(dump(layout), grouped);
  layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
  EXPECT_EQ(layout.groupSelected("CELL2"), Layout::GROUP_NOTHING);
}

TEST_F(CellEditsTest, UngroupOfTurnedMirroredArrayMatchesFlattening) {
  ASSERT_EQ(layout.groupSelected("LEAF"), Layout::GROUP_DONE);
  // A second level: LEAF placed inside MID, then a turned, mirrored 3 x 2
  // array of MID.
  ASSERT_EQ(layout.groupSelected("MID"), Layout::GROUP_DONE);
  Instance* inst = cloneInstance(*static_cast<const Instance*>(layout.instances().first()));
  inst->transform.mirrorX = true;
  inst->transform.quarterTurns = 1;
  inst->transform.x = 100, inst->transform.y = -50;
  inst->array.columns = 3, inst->array.rows = 2;
  inst->array.columnStep[0] = 40, inst->array.rowStep[1] = 30;
  inst->placeBounds(layout.cell(inst->cell).bounds());
  inst->select();
  layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
  layout.addObjects({{LAYER_INSTANCES, inst}}, "placed");
  Layer expected[LAYER_COUNT];
  flattenInstance(layout.cells(), *inst, expected, 1000);
  ASSERT_EQ(boxes(expected).size(), 12u);

  bool over = true;
  EXPECT_EQ(layout.ungroupSelected(1000, &over), 1u);
  EXPECT_FALSE(over);
  // One level undone: six LEAF instances, placed so that they flatten to
  // the same shapes.
  Layer flat[LAYER_COUNT];
  size_t leaves = 0;
  for (GroupNode* n = layout.instances().first(); n; n = n->next())
    if (layout.cell(static_cast<Instance*>(n)->cell).name() == "LEAF") {
      ++leaves;
      flattenInstance(layout.cells(), *static_cast<Instance*>(n), flat, 1000);
      EXPECT_TRUE(n->isSelected());
    }
  EXPECT_EQ(leaves, 6u);
  EXPECT_EQ(boxes(flat), boxes(expected));
  // Ungrouping them gives the boxes themselves.
  layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
  layout.applySelection(LAYER_INSTANCES, OP_SELECT, MATCH_ALL, nullptr);
  for (GroupNode* n = layout.instances().first(); n; n = n->next())
    if (layout.cell(static_cast<Instance*>(n)->cell).name() != "LEAF") n->deselect();
  EXPECT_EQ(layout.ungroupSelected(1000), 6u);
  Layer shown[LAYER_COUNT];
  for (int i = 0; i < LAYER_COUNT; i++)
    for (GroupNode* n = layout.layer(i).first(); n; n = n->next())
      if (n->isSelected()) shown[i].appendChain(cloneObject(*n));
  EXPECT_EQ(boxes(shown), boxes(expected));
  // Over the limit nothing changes.
  layout.undo();
  EXPECT_EQ(layout.ungroupSelected(5, &over), 0u);
  EXPECT_TRUE(over);
}

}  // namespace
