// Editing and navigating with synthesised pointer events on a real canvas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <typeinfo>

#include "app/KivoWindow.h"
#include "support/GuiTest.h"

namespace {

class MouseEditingTest : public ::testing::Test {
protected:
  void SetUp() override { (window = kivotest::newWindow())->scale = 10.0f; }
  void TearDown() override { kivotest::deleteWindow(window); }

  // Send an event to a pixel inside layout unit (x, y), dx/dy pixels from its corner.
  int px(int x, int dx = 3) { return x * 10 + dx; }
  int py(int y, int dy = 3) { return window->canvas->getHeight() - (y * 10 + dy); }
  void at(FXSelType type, int x, int y, FXuint state = 0, int button = 1) { kivotest::canvasEvent(window, type, button, px(x), py(y), state); }
  void drag(int x0, int y0, int x1, int y1, FXuint state = 0) {
    at(SEL_LEFTBUTTONPRESS, x0, y0, state), at(SEL_MOTION, x1, y1), at(SEL_LEFTBUTTONRELEASE, x1, y1);
  }
  GroupNode* add(int layer, int x, int y, int w, int h) {
    Box* box = new Box;
    box->setRect(x, y, w, h);
    return window->layout.layersForDrawing()[layer].apply(OP_ADD, MATCH_ALL, box), box;
  }
  std::string status() { return window->statusText.text(); }
  std::string label(FXLabel* l) { return l->getText().text(); }

  KivoWindow* window = nullptr;
};

// The press text names the edit, the release text and the selection show it.
TEST_F(MouseEditingTest, ModifiersAtPressChooseTheEdit) {
  GroupNode* node = add(5, 4, 4, 4, 4);
  struct Case { FXuint state; const char* pressText; const char* releaseText; bool selected; };
  const Case cases[] = {
      {0, "Use mouse to add object(s)", "1 object(s) selection changed", true},
      {SHIFTMASK, "Use mouse to select object(s)", "1 object(s) deselected", false},
      {CONTROLMASK | SHIFTMASK, "Use mouse to select object(s)", "1 object(s) selection changed", true},
      {CONTROLMASK, "Use mouse to select object(s)", "1 object(s) selected", true},
  };
  for (const Case& c : cases) {
    at(SEL_LEFTBUTTONPRESS, 5, 5, c.state);
    EXPECT_EQ(status(), c.pressText);
    kivotest::canvasPress(window, 1, 400, 20, CONTROLMASK | SHIFTMASK);  // ignored, pointer included
    EXPECT_EQ(window->pointerX, px(5));
    at(SEL_LEFTBUTTONRELEASE, 5, 5);
    EXPECT_EQ(status(), c.releaseText);
    EXPECT_EQ(node->isSelected() != 0, c.selected) << c.releaseText;
  }
  EXPECT_FALSE(window->layout.isModified());
}

// Clicks pick what contains the point, bands what lies wholly inside, edges
// included; disabled layers are never touched, single-layer mode touches
// the current layer only.
TEST_F(MouseEditingTest, ClicksAndBandsPickObjectsEdgesIncluded) {
  GroupNode* a = add(2, 0, 0, 10, 10);
  GroupNode* b = add(5, 10, 0, 10, 10);  // shares a's right edge
  GroupNode* c = add(9, 3, 3, 5, 5);
  GroupNode* off = add(4, 3, 3, 2, 2);
  window->layout.toggleEnabled(4);
  kivotest::canvasPress(window, 1, px(5, 1), py(5, 1));
  kivotest::canvasMotion(window, px(20), py(20));
  kivotest::canvasRelease(window, 1, px(5, 6), py(5, 6));  // 5 pixels away, same unit
  EXPECT_EQ(status(), "2 object(s) selection changed");
  EXPECT_TRUE(a->isSelected() && c->isSelected() && !b->isSelected() && !off->isSelected());
  drag(10, 5, 10, 5, CONTROLMASK);
  EXPECT_EQ(status(), "2 object(s) selected");
  drag(0, 0, 10, 10, SHIFTMASK);  // a and c lie wholly inside, b crosses
  EXPECT_EQ(status(), "2 object(s) deselected");
  EXPECT_TRUE(!a->isSelected() && !c->isSelected() && b->isSelected());
  window->currentLayer = 9;
  window->singleLayer = true;
  drag(0, 0, 20, 10, CONTROLMASK);
  EXPECT_EQ(status(), "1 object(s) selected");
  EXPECT_TRUE(!a->isSelected() && c->isSelected());
}

TEST_F(MouseEditingTest, PlainDragAddsNormalisedObjectOfTheLayersClass) {
  struct Case { int layer; bool disabled; const char* text; };
  const Case cases[] = {{1, false, "1 object added"}, {LAYER_OPTIONS, false, "1 object added"},
                        {0, false, "1 object added"}, {3, true, "No object added: layer is disabled"}};
  for (const Case& c : cases) {
    window->currentLayer = c.layer;
    if (c.disabled) window->layout.toggleEnabled(c.layer);
    drag(10, 10, 4, 20);
    EXPECT_EQ(status(), c.text);
    GroupNode* node = window->layout.layer(c.layer).first();
    ASSERT_EQ(node == nullptr, c.disabled) << c.layer;
    EXPECT_TRUE(!node || ((typeid(*node) == typeid(Opt)) == (c.layer == LAYER_OPTIONS) && node->getX() == 4 &&
                          node->getY() == 10 && node->getW() == 6 && node->getH() == 10)) << c.layer;
  }
  drag(10, 10, 10, 20);  // a line adds nothing and says nothing more
  EXPECT_EQ(status(), "Use mouse to add object(s)");
}

// The right button measures; a left press during its drag starts an edit
// that works on the right drag's band. The labels change only on motion and
// show any 32-bit value in full; the current layer is named beside them.
TEST_F(MouseEditingTest, RightDragMeasuresAndLabelsShowAnyValue) {
  GroupNode* inside = add(5, 5, 5, 3, 3);
  at(SEL_RIGHTBUTTONPRESS, 2, 2, 0, 3);
  at(SEL_MOTION, 20, 19);
  EXPECT_EQ(label(window->widthLabel) + label(window->heightLabel), "1817");
  at(SEL_LEFTBUTTONPRESS, 30, 30, CONTROLMASK);  // refused as a drag, but starts the edit
  at(SEL_LEFTBUTTONRELEASE, 40, 40);
  EXPECT_EQ(status(), "1 object(s) selected");
  EXPECT_TRUE(inside->isSelected());
  at(SEL_RIGHTBUTTONRELEASE, 22, 22, 0, 3);
  EXPECT_EQ(label(window->posXLabel) + label(window->posYLabel) + label(window->widthLabel), "201918");
  window->originX = window->originY = -2147483648.0;
  kivotest::canvasMotion(window, 0, window->canvas->getHeight());
  EXPECT_EQ(label(window->posXLabel), "-2147483648");
  for (FXLabel* l : {window->posXLabel, window->posYLabel, window->widthLabel, window->heightLabel})
    EXPECT_LE(window->posXLabel->getDefaultWidth(), l->getWidth()) << window->posXLabel->getDefaultWidth();
  window->currentLayer = LAYER_METAL1;
  kivotest::settle();
  EXPECT_EQ(label(window->layerLabel), "Metal 1");
}

// About the pointer, down to where the 4 mm x 2 mm layout fits twice over,
// up to 80. (The middle drag is driven end to end.)
TEST_F(MouseEditingTest, WheelZoomsAboutThePointerWithinTheLayoutsRange) {
  add(5, 0, 0, 4000000, 2000000);
  kivotest::canvasEvent(window, SEL_MOUSEWHEEL, 0, 200, 100);
  EXPECT_EQ(window->scale, 10.0f);
  int32_t before[2], after[2];
  window->toLayout(200, 100, before[0], before[1]);
  for (int i = 0; i < 40; i++) kivotest::canvasEvent(window, SEL_MOUSEWHEEL, -120, 200, 100);
  float fit = std::min(window->canvas->getWidth() / 8e6f, window->canvas->getHeight() / 4e6f);
  EXPECT_FLOAT_EQ(window->scale, fit);
  window->toLayout(200, 100, after[0], after[1]);
  EXPECT_LT(std::hypot(after[0] - before[0], after[1] - before[1]) * fit, 1.0);  // the point stays put
  kivotest::canvasEvent(window, SEL_MOUSEWHEEL, 120, 10, 10);
  EXPECT_FLOAT_EQ(window->scale, fit * 1.4142135f);
  for (int i = 0; i < 60; i++) kivotest::canvasEvent(window, SEL_MOUSEWHEEL, 120, 10, 10);
  EXPECT_EQ(window->scale, 80.0f);
}

}  // namespace
