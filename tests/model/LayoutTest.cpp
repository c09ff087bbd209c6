#include "model/Layout.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "model/ObjectOrigin.h"

namespace {

GroupNode* object(int slot, int32_t x, int32_t y = 0, bool selected = false) {
  GroupNode* node = newLayoutObject(slot);
  node->setRect(x, y, 2, 3);
  if (Opt* opt = dynamic_cast<Opt*>(node)) opt->setValue(x * 10);
  if (selected) node->select();
  return node;
}

// A layout of five objects on three layers, two of them selected, one with
// a kept code; counts as saved.
class LayoutTest : public testing::Test {
protected:
  void SetUp() override {
    GroupNode* kept = object(0, 7, 0, true);
    kept->origin = internOrigin({"XYZ12", -1, -1, {}});
    layout.addObjects({{5, object(5, 1)}, {5, object(5, 2, 0, true)}, {5, object(5, 3)},
                       {LAYER_OPTIONS, object(LAYER_OPTIONS, 4, 0, true)}, {0, kept}},
                      "5 object(s) added");
    layout.markSaved("a.msk", FORMAT_MSK);
  }

  // Every object as "slot:x,y[*][=value][@origin]" in layer and list order,
  // each layer's bounds after its objects.
  std::string dump() const {
    std::ostringstream text;
    for (int i = 0; i < LAYER_COUNT; i++) {
      const Layer& l = layout.layer(i);
      for (GroupNode* n = l.first(); n; n = n->next()) {
        const Opt* o = dynamic_cast<const Opt*>(n);
        text << i << ':' << n->x << ',' << n->y << (n->isSelected() ? "*" : "") << (o ? "=" + std::to_string(o->getValue()) : "")
             << (n->origin ? "@" + originOf(n->origin).code : "") << ' ';
      }
      if (l.first()) text << '[' << l.x << ',' << l.w << "] ";
    }
    return text.str();
  }

  Layout layout;
};

}  // namespace

TEST_F(LayoutTest, EveryEditUndoesAndRedoesToTheSameContentAndSavedState) {
  const std::string saved = dump();
  const std::pair<const char*, std::function<void()>> steps[] = {
      {"1 object added", [&] { layout.addObjects({{5, object(5, 9)}}, "1 object added"); }},
      {"3 object(s) deleted", [&] { layout.removeSelected(-1, "deleted"); }},
      {"1 object(s) cut", [&] { layout.removeSelected(LAYER_OPTIONS, "cut"); }},
      {"3 object(s) moved", [&] { layout.moveSelected(-1, 5, -1), layout.moveSelected(-1, 1, 1); }},  // one step
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.first);
    step.second();
    const std::string edited = dump();
    EXPECT_TRUE(saved != edited && layout.isModified());
    EXPECT_STREQ(step.first, layout.undo().text());
    EXPECT_EQ(saved, dump());  // old places, selection, values, kept codes
    EXPECT_FALSE(layout.isModified());
    EXPECT_STREQ(step.first, layout.redo().text());
    EXPECT_EQ(edited, dump());
    layout.undo();
  }
  EXPECT_STREQ("5 object(s) added", layout.undo().text());
  EXPECT_TRUE(layout.isModified());  // before the saved state
  EXPECT_STREQ("", layout.undo().text());
}

// Edits skip disabled layers; undo restores into them all the same.
TEST_F(LayoutTest, UndoReachesDisabledLayersAndEditsSkipThem) {
  layout.toggleEnabled(LAYER_OPTIONS);
  EXPECT_EQ(2u, layout.removeSelected(-1, "deleted"));  // slot 5 and slot 0
  EXPECT_EQ(Layout::MOVE_NOTHING, layout.moveSelected(-1, 1, 1));
  size_t refused = 0;
  EXPECT_EQ(0u, layout.addObjects({{LAYER_OPTIONS, object(LAYER_OPTIONS, 1)}, {-1, object(1, 1)}}, "x", &refused));
  EXPECT_EQ(2u, refused);
  layout.toggleEnabled(LAYER_OPTIONS);
  layout.removeSelected(LAYER_OPTIONS, "deleted");
  layout.toggleEnabled(LAYER_OPTIONS);
  layout.undo(), layout.undo();
  EXPECT_EQ(5u, layout.layer(5).size() + layout.layer(0).size() + layout.layer(LAYER_OPTIONS).size());
  EXPECT_FALSE(layout.isModified());
}

TEST_F(LayoutTest, MovesStopAtTheCoordinateRange) {
  GroupNode* edge = object(5, INT32_MAX - 3, 0, true);
  layout.addObjects({{5, edge}}, "1 object added");
  const std::string before = dump();
  EXPECT_EQ(Layout::MOVE_OUT_OF_RANGE, layout.moveSelected(-1, 2, 0));
  EXPECT_EQ(before, dump());
  EXPECT_EQ(Layout::MOVE_DONE, layout.moveSelected(-1, 1, 0));
  EXPECT_EQ(INT32_MAX - 2, edge->x);
}

TEST_F(LayoutTest, HistoryDropsOldestStepsButKeepsTheNewest) {
  layout.setHistoryLimit(4096);
  for (int i = 0; i < 100; i++) layout.addObjects({{6, object(6, i)}}, "1 object added");
  EXPECT_LE(layout.historySize(), 4096u);
  int undone = 0;
  while (layout.canUndo()) layout.undo(), undone++;
  EXPECT_TRUE(undone > 10 && undone < 100) << undone;
  EXPECT_TRUE(layout.isModified());  // the saved state was trimmed away
  std::vector<PlacedObject> many;
  for (int i = 0; i < 1000; i++) many.push_back({7, object(7, i, 0, true)});
  layout.addObjects(many, "1000 object(s) pasted");
  layout.removeSelected(-1, "deleted");  // far above the limit, still kept
  EXPECT_STREQ("1003 object(s) deleted", layout.undo().text());
}

// The history goes, the old objects go to the fresh layers, and the
// selected count starts again from the new content.
TEST_F(LayoutTest, ReplacingContentClearsHistoryAndHandsTheOldObjectsOver) {
  EXPECT_EQ(3u, layout.selectedCount(-1));
  Layer fresh[LAYER_COUNT];
  fresh[4].enable();
  for (int k : {0, 1, 2}) fresh[4].apply(OP_ADD, MATCH_ALL, object(4, k, 0, k != 1));
  layout.replaceContent(fresh, "b.msk", true);
  EXPECT_FALSE(layout.isModified() || layout.canUndo());
  EXPECT_EQ(2u, layout.selectedCount(-1));
  EXPECT_EQ(3u, fresh[5].size());
}

// The count of selected objects in enabled layers follows each selection
// change (clicks bring their own count) and each addition.
TEST_F(LayoutTest, SelectedCountFollowsEverySelectionChange) {
  auto counted = [&] {
    size_t n = 0;
    for (int i = 0; i < LAYER_COUNT; i++)
      for (GroupNode* node = layout.layer(i).first(); node && layout.layer(i).isEnabled(); node = node->next())
        n += node->isSelected() != 0;
    return n;
  };
  Rect at, none;
  at.setRect(2, 1, 0, 0);  // in objects 1 and 2 of slot 5
  none.setRect(900, 900, 0, 0);
  const std::function<void()> changes[] = {
      [&] { layout.applySelection(-1, OP_TOGGLE, MATCH_AT, &at); },
      [&] { layout.applySelection(-1, OP_TOGGLE, MATCH_AT, &none); },
      [&] { layout.applySelection(5, OP_TOGGLE, MATCH_AT, &at); },
      [&] { layout.applySelection(-1, OP_SELECT, MATCH_ALL, nullptr); },
      [&] { layout.toggleEnabled(5), layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr); },
      [&] { layout.toggleEnabled(5), layout.applySelection(-1, OP_TOGGLE, MATCH_ALL, nullptr); },
      [&] { layout.addObjects({{5, object(5, 9, 0, true)}, {3, object(3, 8)}}, "2 object(s) added"); },
  };
  for (size_t k = 0; k < std::size(changes); k++) {
    layout.selectedCount(-1);
    changes[k]();
    EXPECT_EQ(layout.selectedCount(-1), counted()) << "change " << k;
  }
}

// Hiding deselects a layer's objects; no selection reaches them while it is
// hidden, whichever way it comes; they stay in the layout; shown again they
// are selectable.
TEST_F(LayoutTest, HiddenLayersLoseTheirSelectionAndGainNone) {
  Rect at;
  at.setRect(2, 1, 0, 0);
  layout.setLook(5, {layout.layer(5).getColor(), STYLE_FILL, true});
  EXPECT_TRUE(layout.layer(5).isHidden() && layout.layer(5).size() == 3);
  EXPECT_EQ(layout.selectedCount(5), 0u);
  layout.applySelection(-1, OP_SELECT, MATCH_ALL, nullptr);  // slot 0's object and the Opt
  EXPECT_EQ(layout.applySelection(5, OP_TOGGLE, MATCH_AT, &at), 0);
  EXPECT_EQ(layout.applySelection(-1, OP_TOGGLE, MATCH_AT, &at), 0);
  layout.addObjects({{5, object(5, 9, 0, true)}}, "1 object(s) pasted");  // arrives unselected
  EXPECT_EQ(layout.selectedCount(-1), 2u);

  layout.setLook(5, {layout.layer(5).getColor(), STYLE_OUTLINE, false});
  EXPECT_EQ(layout.applySelection(-1, OP_TOGGLE, MATCH_AT, &at), 2);
  EXPECT_EQ(layout.layer(5).getStyle(), STYLE_OUTLINE);
  EXPECT_EQ(layout.removeSelected(5, "deleted"), 2u);
  layout.setLook(5, {layout.layer(5).getColor(), STYLE_FILL, true});
  layout.undo();  // back they come, into a hidden layer: unselected
  EXPECT_TRUE(layout.layer(5).size() == 4 && layout.selectedCount(5) == 0);
}
