// Delete, Select All, Select None and Invert on a real main window.
#include <gtest/gtest.h>

#include "app/KivoWindow.h"
#include "support/GuiTest.h"

namespace {

// Stands in as the canvas's target to see whether a repaint arrives, and
// passes every message on to the window.
class PaintSpy : public FXObject {
public:
  explicit PaintSpy(KivoWindow* w) : window(w) {}
  long handle(FXObject* sender, FXSelector sel, void* ptr) override {
    if (FXSELTYPE(sel) == SEL_PAINT) paints++;
    return window->handle(sender, sel, ptr);
  }
  KivoWindow* window;
  int paints = 0;
};

class SelectionCommandsTest : public testing::Test {
protected:
  void SetUp() override { window = kivotest::newWindow(); }
  void TearDown() override { kivotest::deleteWindow(window); }

  Box* add(int layer, bool selected) {
    Box* box = new Box;
    box->setRect(10 * layer, 10, 5, 5);
    if (selected) box->select();
    EXPECT_EQ(window->layers[layer].apply(OP_ADD, MATCH_ALL, box), 1);
    return box;
  }
  // Send a command, return the status text it set.
  std::string run(FXSelector id) {
    window->handle(nullptr, FXSEL(SEL_COMMAND, id), nullptr);
    return window->statusText.text();
  }
  // Objects in the layout; with selectedOnly, only the selected ones.
  int count(bool selectedOnly) {
    int n = 0;
    for (Layer& layer : window->layers)
      for (GroupNode* node = layer.first(); node; node = node->next())
        n += !selectedOnly || node->isSelected();
    return n;
  }

  KivoWindow* window = nullptr;
};

TEST_F(SelectionCommandsTest, NothingToDoReportsZeroKeepsSavedAndStillRepaints) {
  struct Case {
    FXSelector id;
    const char* status;
  } cases[] = {
    {KivoWindow::ID_DELETE, "0 object(s) deleted"},
    {KivoWindow::ID_SELECT_ALL, "0 object(s) selected"},
    {KivoWindow::ID_SELECT_NONE, "0 object(s) deselected"},
    {KivoWindow::ID_SELECT_INVERT, "0 object(s) selection changed"},
  };
  PaintSpy spy(window);
  window->canvas->setTarget(&spy);
  kivotest::settle();
  for (const Case& c : cases) {
    spy.paints = 0;
    EXPECT_EQ(run(c.id), c.status);
    EXPECT_TRUE(window->saved);
    kivotest::settle();
    EXPECT_GT(spy.paints, 0) << c.status;
  }
  window->canvas->setTarget(window);

  // Objects present but none selected: Delete still finds nothing.
  add(3, false);
  EXPECT_EQ(run(KivoWindow::ID_DELETE), "0 object(s) deleted");
  EXPECT_TRUE(window->saved);
  EXPECT_EQ(count(false), 1);
}

// Slot 0 (unknown codes) takes part like every other layer.
TEST_F(SelectionCommandsTest, CommandsCountEveryObjectOfAllLayers) {
  add(0, true);
  add(1, false);
  add(5, true);
  add(5, false);
  add(13, false);

  EXPECT_EQ(run(KivoWindow::ID_SELECT_INVERT), "5 object(s) selection changed");
  EXPECT_EQ(count(true), 3);
  EXPECT_FALSE(window->layers[0].first()->isSelected());
  EXPECT_TRUE(window->layers[1].first()->isSelected());
  EXPECT_TRUE(window->saved);

  EXPECT_EQ(run(KivoWindow::ID_SELECT_NONE), "5 object(s) deselected");
  EXPECT_EQ(count(true), 0);
  EXPECT_EQ(run(KivoWindow::ID_SELECT_ALL), "5 object(s) selected");
  EXPECT_EQ(count(true), 5);
  EXPECT_TRUE(window->saved);

  window->layers[1].apply(OP_DESELECT, MATCH_ALL, nullptr);
  EXPECT_EQ(run(KivoWindow::ID_DELETE), "4 object(s) deleted");
  EXPECT_FALSE(window->saved);
  EXPECT_EQ(count(false), 1);
  EXPECT_NE(window->layers[1].first(), nullptr);
  EXPECT_EQ(window->layers[0].first(), nullptr);
}

TEST_F(SelectionCommandsTest, SingleLayerModeLimitsChangeAndCount) {
  add(1, true);
  add(1, false);
  add(5, true);
  add(5, false);
  add(5, false);
  window->singleLayer = true;
  window->currentLayer = 5;

  EXPECT_EQ(run(KivoWindow::ID_SELECT_INVERT), "3 object(s) selection changed");
  EXPECT_TRUE(window->layers[1].first()->isSelected());  // other layer untouched
  EXPECT_FALSE(window->layers[1].first()->next()->isSelected());
  EXPECT_EQ(run(KivoWindow::ID_SELECT_ALL), "3 object(s) selected");
  EXPECT_EQ(run(KivoWindow::ID_DELETE), "3 object(s) deleted");
  EXPECT_EQ(window->layers[5].first(), nullptr);
  ASSERT_NE(window->layers[1].first(), nullptr);  // selected, yet survives
  EXPECT_TRUE(window->layers[1].first()->isSelected());

  // With the current layer switched off every command reports 0.
  window->currentLayer = 1;
  window->layers[1].toggleEnabled();
  EXPECT_EQ(run(KivoWindow::ID_SELECT_NONE), "0 object(s) deselected");
  EXPECT_EQ(run(KivoWindow::ID_DELETE), "0 object(s) deleted");
  EXPECT_EQ(count(true), 1);
  EXPECT_EQ(count(false), 2);
}

TEST_F(SelectionCommandsTest, SelectedObjectOnDisabledLayerSurvivesUntilReenabled) {
  add(4, true);
  add(6, false);
  window->layers[4].toggleEnabled();

  EXPECT_EQ(run(KivoWindow::ID_DELETE), "0 object(s) deleted");
  EXPECT_EQ(run(KivoWindow::ID_SELECT_NONE), "1 object(s) deselected");
  EXPECT_EQ(run(KivoWindow::ID_SELECT_INVERT), "1 object(s) selection changed");
  ASSERT_NE(window->layers[4].first(), nullptr);
  EXPECT_TRUE(window->layers[4].first()->isSelected());
  EXPECT_TRUE(window->layers[6].first()->isSelected());  // the inverted one
  EXPECT_TRUE(window->saved);

  window->layers[6].apply(OP_DESELECT, MATCH_ALL, nullptr);
  window->layers[4].toggleEnabled();
  EXPECT_EQ(run(KivoWindow::ID_DELETE), "1 object(s) deleted");
  EXPECT_EQ(window->layers[4].first(), nullptr);
  EXPECT_FALSE(window->saved);
}

}  // namespace
