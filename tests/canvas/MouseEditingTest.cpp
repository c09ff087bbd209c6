// Editing with synthesised pointer events on a real canvas.
#include <gtest/gtest.h>

#include <typeinfo>

#include "app/KivoWindow.h"
#include "support/GuiTest.h"

namespace {

class MouseEditingTest : public ::testing::Test {
protected:
  void SetUp() override {
    window = kivotest::newWindow();
    window->originX = 0;
    window->originY = 0;
    window->scale = 10.0f;
  }
  void TearDown() override { kivotest::deleteWindow(window); }

  // A pixel inside layout unit (x, y), dx/dy pixels from its corner.
  int px(int x, int dx = 3) { return x * 10 + dx; }
  int py(int y, int dy = 3) { return window->canvas->getHeight() - (y * 10 + dy); }
  void press(int x, int y, FXuint state = 0, int button = 1) {
    kivotest::canvasPress(window, button, px(x), py(y), state);
  }
  void release(int x, int y, int button = 1) { kivotest::canvasRelease(window, button, px(x), py(y)); }
  void motion(int x, int y) { kivotest::canvasMotion(window, px(x), py(y)); }
  void drag(int x0, int y0, int x1, int y1, FXuint state = 0) {
    press(x0, y0, state);
    motion(x1, y1);
    release(x1, y1);
  }
  GroupNode* add(int layer, int x, int y, int w, int h) {
    Box* box = new Box;
    box->setRect(x, y, w, h);
    window->layers[layer].apply(OP_ADD, MATCH_ALL, box);
    return box;
  }
  int objectCount(int layer) {
    int n = 0;
    for (GroupNode* node = window->layers[layer].first(); node; node = node->next()) n++;
    return n;
  }
  std::string status() { return window->statusText.text(); }
  std::string label(FXLabel* l) { return l->getText().text(); }

  KivoWindow* window = nullptr;
};

TEST_F(MouseEditingTest, ModifiersAtPressChooseTheEdit) {
  GroupNode* node = add(5, 4, 4, 4, 4);
  struct Case {
    FXuint state;
    int mode;
    const char* pressText;
    const char* releaseText;
    bool selectedAfter;
  };
  const Case cases[] = {
      {0, TRACK_ADD, "Use mouse to add object(s)", "1 object(s) selection changed", true},
      {CONTROLMASK, TRACK_SELECT, "Use mouse to select object(s)", "1 object(s) selected", true},
      {SHIFTMASK, TRACK_DESELECT, "Use mouse to select object(s)", "1 object(s) deselected", false},
      {SHIFTMASK, TRACK_DESELECT, "Use mouse to select object(s)", "1 object(s) deselected", false},
      {CONTROLMASK | SHIFTMASK, TRACK_TOGGLE, "Use mouse to select object(s)",
       "1 object(s) selection changed", true},
      {CONTROLMASK, TRACK_SELECT, "Use mouse to select object(s)", "1 object(s) selected", true},
  };
  for (const Case& c : cases) {
    press(5, 5, c.state);
    EXPECT_EQ(window->mouseRect.getMode(), c.mode);
    EXPECT_EQ(status(), c.pressText);
    // A second press during the edit is ignored, pointer included.
    kivotest::canvasPress(window, 1, 400, 20, CONTROLMASK | SHIFTMASK);
    EXPECT_EQ(window->mouseRect.getMode(), c.mode);
    EXPECT_EQ(window->pointerX, px(5));
    release(5, 5);
    EXPECT_EQ(window->mouseRect.getMode(), TRACK_NONE);
    EXPECT_EQ(status(), c.releaseText);
    EXPECT_EQ(node->isSelected() != 0, c.selectedAfter) << c.releaseText;
  }
  EXPECT_EQ(objectCount(5), 1);
  EXPECT_TRUE(window->saved);
}

TEST_F(MouseEditingTest, ClickInsideOneUnitTogglesEveryLayerThere) {
  GroupNode* a = add(2, 0, 0, 10, 10);
  GroupNode* b = add(5, 5, 5, 1, 1);
  GroupNode* c = add(9, 3, 3, 5, 5);
  kivotest::canvasPress(window, 1, px(5, 1), py(5, 1));
  kivotest::canvasMotion(window, px(20), py(20));
  kivotest::canvasRelease(window, 1, px(5, 6), py(5, 6));  // 5 pixels away, same unit
  EXPECT_EQ(status(), "3 object(s) selection changed");
  EXPECT_TRUE(a->isSelected() && b->isSelected() && c->isSelected());
  EXPECT_EQ(objectCount(1), 0);
  press(30, 30);
  release(30, 30);
  EXPECT_EQ(status(), "0 object(s) selection changed");
}

TEST_F(MouseEditingTest, CtrlClickOnSharedEdgeSelectsBoth) {
  GroupNode* left = add(5, 0, 0, 10, 10);
  GroupNode* right = add(5, 10, 0, 10, 10);
  press(10, 5, CONTROLMASK);
  release(10, 5);
  EXPECT_EQ(status(), "2 object(s) selected");
  EXPECT_TRUE(left->isSelected() && right->isSelected());
}

TEST_F(MouseEditingTest, CtrlDragSelectsOnlyObjectsWhollyInside) {
  GroupNode* inside = add(5, 2, 2, 4, 4);  // shares the band's left and bottom edges
  GroupNode* crossing = add(5, 8, 2, 10, 4);
  GroupNode* other = add(7, 3, 3, 9, 5);  // right edge on the band's right edge
  drag(2, 2, 12, 8, CONTROLMASK);
  EXPECT_EQ(status(), "2 object(s) selected");
  EXPECT_TRUE(inside->isSelected());
  EXPECT_FALSE(crossing->isSelected());
  EXPECT_TRUE(other->isSelected());
}

TEST_F(MouseEditingTest, SingleLayerModeLimitsEditAndCount) {
  GroupNode* onOther = add(1, 3, 3, 2, 2);
  GroupNode* onCurrent = add(5, 3, 3, 2, 2);
  window->currentLayer = 5;
  window->singleLayer = true;
  drag(1, 1, 10, 10, CONTROLMASK);
  EXPECT_EQ(status(), "1 object(s) selected");
  EXPECT_TRUE(onCurrent->isSelected());
  EXPECT_FALSE(onOther->isSelected());
  press(4, 4);
  release(4, 4);
  EXPECT_EQ(status(), "1 object(s) selection changed");
  EXPECT_FALSE(onCurrent->isSelected());
  EXPECT_FALSE(onOther->isSelected());
}

TEST_F(MouseEditingTest, DisabledLayersAreUntouchedAndUncounted) {
  GroupNode* enabled = add(3, 3, 3, 2, 2);
  GroupNode* disabled = add(4, 3, 3, 2, 2);
  window->layers[4].toggleEnabled();
  drag(1, 1, 10, 10, CONTROLMASK);
  EXPECT_EQ(status(), "1 object(s) selected");
  EXPECT_TRUE(enabled->isSelected());
  EXPECT_FALSE(disabled->isSelected());
  press(4, 4);
  release(4, 4);
  EXPECT_EQ(status(), "1 object(s) selection changed");
  EXPECT_FALSE(disabled->isSelected());
}

TEST_F(MouseEditingTest, PlainDragAddsNormalisedRectangleToCurrentLayer) {
  drag(10, 10, 4, 20);
  ASSERT_EQ(objectCount(1), 1);
  GroupNode* node = window->layers[1].first();
  EXPECT_EQ(typeid(*node), typeid(Box));
  EXPECT_EQ(node->getX(), 4);
  EXPECT_EQ(node->getY(), 10);
  EXPECT_EQ(node->getW(), 6);
  EXPECT_EQ(node->getH(), 10);
  EXPECT_FALSE(node->isSelected());
  EXPECT_FALSE(window->saved);
  EXPECT_EQ(status(), "1 object added");

  window->saved = true;
  drag(10, 10, 10, 20);  // a line adds nothing and says nothing more
  EXPECT_EQ(objectCount(1), 1);
  EXPECT_TRUE(window->saved);
  EXPECT_EQ(status(), "Use mouse to add object(s)");
}

TEST_F(MouseEditingTest, NewObjectIsAnOptOnlyOnTheOptionsLayer) {
  window->singleLayer = true;  // adding ignores the mode
  for (int layer : {0, (int)LAYER_OPTIONS, 13}) {
    window->currentLayer = layer;
    drag(1, 1, 3, 3);
    ASSERT_EQ(objectCount(layer), 1) << layer;
    GroupNode* node = window->layers[layer].first();
    if (layer == LAYER_OPTIONS)
      EXPECT_EQ(typeid(*node), typeid(Opt));
    else
      EXPECT_EQ(typeid(*node), typeid(Box)) << layer;
  }
}

TEST_F(MouseEditingTest, DragOnDisabledLayerAddsNothingAndSaysSo) {
  window->layers[1].toggleEnabled();
  drag(2, 2, 6, 6);
  EXPECT_EQ(objectCount(1), 0);
  EXPECT_TRUE(window->saved);
  EXPECT_EQ(status(), "No object added: layer is disabled");
}

TEST_F(MouseEditingTest, LeftPressDuringRightDragEditsTheRightDragsBand) {
  GroupNode* inside = add(5, 5, 5, 3, 3);
  GroupNode* outside = add(5, 25, 25, 3, 3);
  press(2, 2, 0, 3);
  motion(20, 20);
  press(30, 30, CONTROLMASK);  // refused as a drag, but starts the edit
  EXPECT_EQ(window->mouseRect.leftState, -1);
  motion(22, 22);
  release(40, 40);
  EXPECT_EQ(status(), "1 object(s) selected");
  EXPECT_TRUE(inside->isSelected());
  EXPECT_FALSE(outside->isSelected());
  release(22, 22, 3);
  EXPECT_EQ(window->mouseRect.rightState, 0);
}

TEST_F(MouseEditingTest, RightDragMeasuresAndChangesNothingElse) {
  GroupNode* node = add(5, 1, 1, 10, 10);
  std::string before = status();
  press(1, 1, 0, 3);
  motion(6, 4);
  release(6, 4, 3);
  EXPECT_EQ(label(window->widthLabel), "5");
  EXPECT_EQ(label(window->heightLabel), "3");
  EXPECT_EQ(window->mouseRect.getMode(), TRACK_NONE);
  EXPECT_FALSE(node->isSelected());
  EXPECT_EQ(objectCount(5), 1);
  EXPECT_TRUE(window->saved);
  EXPECT_EQ(status(), before);
}

TEST_F(MouseEditingTest, LabelsChangeOnlyOnMotion) {
  motion(3, 4);
  EXPECT_EQ(label(window->posXLabel), "3");
  EXPECT_EQ(label(window->posYLabel), "4");
  press(7, 8, CONTROLMASK);
  release(9, 9);
  EXPECT_EQ(label(window->posXLabel), "3");
  EXPECT_EQ(label(window->posYLabel), "4");
  EXPECT_EQ(label(window->widthLabel), "0");
  EXPECT_EQ(window->mouseRect.getW(), 2);  // the band has the release's size
  motion(12, 2);
  EXPECT_EQ(label(window->posXLabel), "12");
  EXPECT_EQ(label(window->posYLabel), "2");
  EXPECT_EQ(label(window->widthLabel), "2");  // the band stays after release
  EXPECT_EQ(label(window->heightLabel), "1");
}

}  // namespace
