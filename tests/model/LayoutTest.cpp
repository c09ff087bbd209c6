#include "model/Layout.h"

#include <gtest/gtest.h>

#include <functional>
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

// Every object as "slot:x,y,w,h[*][=value][@origin]" in layer and list order.
std::string dump(const Layout& layout) {
  std::string text;
  for (int i = 0; i < LAYER_COUNT; i++) {
    for (GroupNode* n = layout.layer(i).first(); n; n = n->next()) {
      text += std::to_string(i) + ":" + std::to_string(n->x) + "," + std::to_string(n->y) + "," +
              std::to_string(n->w) + "," + std::to_string(n->h);
      if (n->isSelected()) text += "*";
      if (const Opt* o = dynamic_cast<const Opt*>(n)) text += "=" + std::to_string(o->getValue());
      if (n->origin) text += "@" + originOf(n->origin).code;
      text += " ";
    }
    const Layer& l = layout.layer(i);
    if (l.first()) text += "[" + std::to_string(l.x) + "," + std::to_string(l.w) + "] ";
  }
  return text;
}

// A layout of five objects on three layers, two of them selected; counts
// as saved.
void fill(Layout& layout) {
  GroupNode* kept = object(0, 7, 0, true);
  kept->origin = internOrigin({"XYZ12", -1, -1});
  layout.addObjects({{5, object(5, 1)}, {5, object(5, 2, 0, true)}, {5, object(5, 3)},
                     {LAYER_OPTIONS, object(LAYER_OPTIONS, 4, 0, true)}, {0, kept}},
                    "5 object(s) added");
  layout.markSaved("a.msk", FORMAT_MSK);
}

}  // namespace

TEST(Layout, EveryEditUndoesAndRedoesToTheSameContentAndSavedState) {
  Layout layout;
  fill(layout);
  const std::string saved = dump(layout);
  struct Step {
    const char* message;
    std::function<void(Layout&)> edit;
  };
  const Step steps[] = {
      {"1 object added", [](Layout& l) { l.addObjects({{5, object(5, 9)}}, "1 object added"); }},
      {"3 object(s) deleted", [](Layout& l) { l.removeSelected(-1, "deleted"); }},
      {"1 object(s) cut", [](Layout& l) { l.removeSelected(LAYER_OPTIONS, "cut"); }},
      {"3 object(s) moved", [](Layout& l) { l.moveSelected(-1, 5, -1); }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.message);
    step.edit(layout);
    const std::string edited = dump(layout);
    EXPECT_NE(saved, edited);
    EXPECT_TRUE(layout.isModified());
    EXPECT_STREQ(step.message, layout.undo().text());
    EXPECT_EQ(saved, dump(layout));  // old places, selection, values, kept codes
    EXPECT_FALSE(layout.isModified());
    EXPECT_STREQ(step.message, layout.redo().text());
    EXPECT_EQ(edited, dump(layout));
    layout.undo();
  }
  EXPECT_STREQ("5 object(s) added", layout.undo().text());
  EXPECT_TRUE(layout.isModified());  // before the saved state
  EXPECT_STREQ("", layout.undo().text());
}

TEST(Layout, UndoReachesDisabledLayersAndEditsSkipThem) {
  Layout layout;
  fill(layout);
  layout.toggleEnabled(LAYER_OPTIONS);
  EXPECT_EQ(2u, layout.removeSelected(-1, "deleted"));  // slot 5 and slot 0
  EXPECT_EQ(Layout::MOVE_NOTHING, layout.moveSelected(-1, 1, 1));
  size_t refused = 0;
  EXPECT_EQ(0u, layout.addObjects({{LAYER_OPTIONS, object(LAYER_OPTIONS, 1)}}, "x", &refused));
  EXPECT_EQ(1u, refused);
  layout.toggleEnabled(LAYER_OPTIONS);
  layout.removeSelected(LAYER_OPTIONS, "deleted");
  layout.toggleEnabled(LAYER_OPTIONS);
  layout.toggleEnabled(5);
  layout.undo();
  layout.undo();
  EXPECT_EQ(5u, layout.layer(5).size() + layout.layer(0).size() + layout.layer(LAYER_OPTIONS).size());
  EXPECT_FALSE(layout.isModified());
}

TEST(Layout, MovesMergeAndStopAtTheCoordinateRange) {
  Layout layout;
  fill(layout);
  for (int i = 0; i < 3; i++) EXPECT_EQ(Layout::MOVE_DONE, layout.moveSelected(-1, 10, 0));
  EXPECT_STREQ("3 object(s) moved", layout.undo().text());
  EXPECT_FALSE(layout.isModified());

  GroupNode* edge = object(5, INT32_MAX - 3, 0, true);
  layout.addObjects({{5, edge}}, "1 object added");
  const std::string before = dump(layout);
  EXPECT_EQ(Layout::MOVE_OUT_OF_RANGE, layout.moveSelected(-1, 2, 0));
  EXPECT_EQ(before, dump(layout));
  EXPECT_EQ(Layout::MOVE_DONE, layout.moveSelected(-1, 1, 0));
  EXPECT_EQ(INT32_MAX - 2, edge->x);
}

TEST(Layout, HistoryDropsOldestStepsButKeepsTheNewest) {
  Layout layout;
  fill(layout);
  layout.setHistoryLimit(4096);
  for (int i = 0; i < 100; i++) layout.addObjects({{6, object(6, i)}}, "1 object added");
  EXPECT_LE(layout.historySize(), 4096u);
  int undone = 0;
  while (layout.canUndo()) layout.undo(), undone++;
  EXPECT_GT(undone, 10);
  EXPECT_LT(undone, 100);
  EXPECT_TRUE(layout.isModified());  // the saved state was trimmed away

  std::vector<PlacedObject> many;
  for (int i = 0; i < 1000; i++) many.push_back({7, object(7, i, 0, true)});
  layout.addObjects(many, "1000 object(s) pasted");
  layout.removeSelected(-1, "deleted");  // far above the limit, still kept
  EXPECT_STREQ("1003 object(s) deleted", layout.undo().text());
  EXPECT_EQ(1000u, layout.layer(7).size());
}

TEST(Layout, ReplacingContentClearsHistoryAndCountsAsSaved) {
  Layout layout;
  fill(layout);
  layout.removeSelected(-1, "deleted");
  layout.toggleEnabled(3);
  Layer fresh[LAYER_COUNT];
  fresh[4].enable();
  fresh[4].apply(OP_ADD, MATCH_ALL, object(4, 1));
  layout.replaceContent(fresh, "b.msk", true);
  EXPECT_FALSE(layout.isModified());
  EXPECT_FALSE(layout.canUndo());
  EXPECT_EQ(1u, layout.layer(4).size());
  EXPECT_EQ(1, layout.layer(3).isEnabled());
  EXPECT_EQ(2u, fresh[5].size());  // the old objects left with the fresh layers
}

// The count of selected objects in enabled layers follows each selection
// change (clicks bring their own count).
TEST(Layout, SelectedCountFollowsEverySelectionChange) {
  Layout layout;
  fill(layout);
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
      [&] {  // a whole content appended, as a file read brings it
        Layer fresh[LAYER_COUNT];
        fresh[2].enable();
        for (int k : {0, 1, 2}) fresh[2].apply(OP_ADD, MATCH_ALL, object(2, k, 0, k != 1));
        layout.replaceContent(fresh, "b.msk", false);
      },
  };
  for (size_t k = 0; k < std::size(changes); k++) {
    layout.selectedCount(-1);
    changes[k]();
    EXPECT_EQ(layout.selectedCount(-1), counted()) << "change " << k;
  }
}
