// Objects replaced in place or moved to another layer, as one undo step.
#include "model/ObjectReplace.h"

#include <gtest/gtest.h>

#include "model/ObjectOrigin.h"

namespace {

GroupNode* box(int slot, int32_t x, bool selected = false) {
  GroupNode* node = newLayoutObject(slot);
  node->setRect(x, 0, 4, 2);
  if (selected) node->select();
  return node;
}

// Each non-empty slot: its objects' x, width, class, value and pair.
std::string dump(const Layout& layout) {
  std::string text;
  for (int i = 0; i < SLOT_COUNT; i++)
    for (const GroupNode* n = layout.layer(i).first(); n; n = n->next()) {
      const Opt* opt = dynamic_cast<const Opt*>(n);
      text += std::to_string(i) + ":" + std::to_string(n->x) + "," + std::to_string(n->w) +
              (opt ? "=" + std::to_string(opt->value) : "") + (n->isSelected() ? "*" : "");
      if (originOf(n->origin).gdsLayer >= 0) text += "@" + std::to_string(originOf(n->origin).gdsLayer);
      text += " ";
    }
  return text;
}

}  // namespace

TEST(ObjectReplace, ReplaceKeepsThePlaceOnItsLayerAndUndoesExactly) {
  Layout layout;
  ObjectOrigin gds;
  gds.gdsLayer = 68, gds.gdsDatatype = 20;
  GroupNode* kept = box(5, 10);
  kept->origin = internOrigin(gds);
  layout.addObjects({{5, box(5, 0)}, {5, kept}, {5, box(5, 20)}}, "added");
  const std::string before = dump(layout);
  GroupNode* wider = objectForSlot(*kept, 5, 5);
  wider->setRect(11, 0, 9, 2);
  ASSERT_TRUE(layout.replaceObject(5, 1, 5, wider, "1 object changed"));
  EXPECT_EQ("5:0,4 5:11,9@68 5:20,4 ", dump(layout));
  EXPECT_EQ("1 object changed", layout.undo());
  EXPECT_EQ(before, dump(layout));
  layout.redo();
  // To the marker layer: last there, a marker, the file's pair forgotten.
  ASSERT_TRUE(layout.replaceObject(5, 1, LAYER_OPTIONS, objectForSlot(*layout.layer(5).first()->next(), 5, LAYER_OPTIONS), "m"));
  EXPECT_EQ("5:0,4 5:20,4 12:11,9=0 ", dump(layout));
  layout.undo();
  layout.undo();
  EXPECT_EQ(before, dump(layout));
  // An instance is replaced by an instance only; a disabled layer refuses.
  EXPECT_FALSE(layout.replaceObject(5, 0, LAYER_INSTANCES, box(5, 0), "no"));
  layout.toggleEnabled(6);
  EXPECT_FALSE(layout.replaceObject(5, 0, 6, box(6, 0), "no"));
  EXPECT_EQ(before, dump(layout));
}

TEST(ObjectReplace, MoveSelectedToLayerConvertsMarkersAndUndoes) {
  Layout layout;
  Opt* marker = static_cast<Opt*>(box(LAYER_OPTIONS, 30, true));
  marker->value = 7;
  layout.addObjects({{5, box(5, 0, true)}, {5, box(5, 10)}, {6, box(6, 20, true)}, {LAYER_OPTIONS, marker}}, "added");
  const std::string before = dump(layout);
  EXPECT_EQ(2u, layout.moveSelectedToLayer(LAYER_OPTIONS));
  EXPECT_EQ("5:10,4 12:30,4=7* 12:0,4=0* 12:20,4=0* ", dump(layout));
  EXPECT_EQ(std::string("2 object(s) moved to ") + layerFacts(LAYER_OPTIONS).name, layout.undo().text());
  EXPECT_EQ(before, dump(layout));
  // Single-layer reach moves that layer's only; a marker becomes a box.
  EXPECT_EQ(1u, layout.moveSelectedToLayer(2, LAYER_OPTIONS));
  EXPECT_EQ("2:30,4* 5:0,4* 5:10,4 6:20,4* ", dump(layout));
  layout.toggleEnabled(2);
  EXPECT_EQ(0u, layout.moveSelectedToLayer(2));
  layout.undo();
  EXPECT_EQ(before, dump(layout));
}
