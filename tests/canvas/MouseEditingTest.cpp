// Editing and navigating with synthesised pointer events on a real canvas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <typeinfo>

#include "app/KivoWindow.h"
#include "model/Shapes.h"
#include "support/GuiTest.h"

namespace {

class MouseEditingTest : public ::testing::Test {
protected:
  void SetUp() override { window = kivotest::newWindow(); }
  void TearDown() override { kivotest::deleteWindow(window); }

  // Send an event to a pixel inside layout unit (x, y), dx/dy pixels from its corner.
  int px(int x, int dx = 3) { return x * 10 + dx; }
  int py(int y, int dy = 3) { return window->canvas->getHeight() - (y * 10 + dy); }
  void at(FXSelType type, int x, int y, FXuint state = 0, int button = 1) {
    kivotest::canvasEvent(window, type, button, px(x), py(y), state);
  }
  std::string drag(int x0, int y0, int x1, int y1, FXuint state = 0) {
    at(SEL_LEFTBUTTONPRESS, x0, y0, state);
    at(SEL_MOTION, x1, y1);
    at(SEL_LEFTBUTTONRELEASE, x1, y1);
    return window->statusText.text();
  }
  // A box added through the document, which then counts as saved.
  GroupNode* add(int layer, int x, int y, int w, int h) {
    Box* box = new Box;
    box->setRect(x, y, w, h);
    window->layout.addObjects({{layer, box}}, "added");
    window->layout.markSaved(window->layout.fileName(), FORMAT_MSK);
    return box;
  }
  std::string labels(std::initializer_list<FXLabel*> all) {
    std::string text;
    for (FXLabel* l : all) text += l->getText().text() + std::string(" ");
    return text;
  }

  KivoWindow* window = nullptr;
};

// The modifiers at the press choose the edit: the press text names it, the
// release counts it. A click takes what contains the point, a band what it
// holds wholly; disabled layers take no part, single-layer mode takes the
// current layer only. A press during the drag is ignored, pointer included.
TEST_F(MouseEditingTest, ModifiersAtPressChooseTheEditOfClicksAndBands) {
  GroupNode* a = add(5, 4, 4, 4, 4);
  GroupNode* b = add(2, 0, 0, 10, 10);
  GroupNode* off = add(4, 5, 5, 1, 1);
  window->layout.toggleEnabled(4);
  struct Case { FXuint state; int from, to; const char* pressText; const char* releaseText; const char* selected; };
  const Case cases[] = {  // from unit (from, from) to (to, to): a click, or a band holding a but not b
      {0, 5, 5, "Use mouse to add object(s)", "2 object(s) selection changed", "ab"},
      {SHIFTMASK, 5, 5, "Use mouse to select object(s)", "2 object(s) deselected", ""},
      {CONTROLMASK | SHIFTMASK, 5, 5, "Use mouse to select object(s)", "2 object(s) selection changed", "ab"},
      {SHIFTMASK, 3, 9, "Use mouse to select object(s)", "1 object(s) deselected", "b"},
      {CONTROLMASK, 3, 9, "Use mouse to select object(s)", "1 object(s) selected", "ab"},
  };
  for (const Case& c : cases) {
    at(SEL_LEFTBUTTONPRESS, c.from, c.from, c.state);
    EXPECT_EQ(window->statusText.text(), std::string(c.pressText));
    kivotest::canvasPress(window, 1, 400, 20, CONTROLMASK | SHIFTMASK);
    EXPECT_EQ(window->pointerX, px(c.from));
    at(SEL_MOTION, c.to, c.to);
    at(SEL_LEFTBUTTONRELEASE, c.to, c.to);
    EXPECT_EQ(window->statusText.text(), std::string(c.releaseText));
    EXPECT_EQ(std::string(a->isSelected() ? "a" : "") + (b->isSelected() ? "b" : ""), c.selected) << c.releaseText;
  }
  window->currentLayer = 2;
  window->singleLayer = true;
  EXPECT_EQ(drag(5, 5, 5, 5), "1 object(s) selection changed");
  EXPECT_TRUE(a->isSelected() && !b->isSelected() && !off->isSelected());
  EXPECT_FALSE(window->layout.isModified());
}

TEST_F(MouseEditingTest, PlainDragAddsNormalisedObjectOfTheLayersClass) {
  struct Case { int layer; bool disabled; const char* text; };
  const Case cases[] = {{1, false, "1 object added"}, {LAYER_OPTIONS, false, "1 object added"},
                        {0, false, "1 object added"}, {3, true, "No object added: layer is disabled"}};
  for (const Case& c : cases) {
    window->currentLayer = c.layer;
    if (c.disabled) window->layout.toggleEnabled(c.layer);
    EXPECT_EQ(drag(10, 10, 4, 20), c.text);
    GroupNode* node = window->layout.layer(c.layer).first();
    ASSERT_EQ(node == nullptr, c.disabled) << c.layer;
    EXPECT_TRUE(!node || ((typeid(*node) == typeid(Opt)) == (c.layer == LAYER_OPTIONS) && node->getX() == 4 &&
                          node->getY() == 10 && node->getW() == 6 && node->getH() == 10)) << c.layer;
  }
  EXPECT_EQ(drag(10, 10, 10, 20), "Use mouse to add object(s)");  // a line adds nothing
}

// The right button measures; a left press during its drag starts an edit
// on the right drag's band. The labels change on motion and show any
// 32-bit value in full.
TEST_F(MouseEditingTest, RightDragMeasuresAndLabelsShowAnyValue) {
  GroupNode* inside = add(5, 5, 5, 3, 3);
  at(SEL_RIGHTBUTTONPRESS, 2, 2, 0, 3);
  at(SEL_MOTION, 20, 19);
  EXPECT_EQ(labels({window->widthLabel, window->heightLabel}), "18 17 ");
  at(SEL_LEFTBUTTONPRESS, 30, 30, CONTROLMASK);
  at(SEL_LEFTBUTTONRELEASE, 40, 40);
  EXPECT_TRUE(inside->isSelected());
  at(SEL_RIGHTBUTTONRELEASE, 22, 22, 0, 3);
  EXPECT_EQ(labels({window->posXLabel, window->posYLabel, window->widthLabel}), "20 19 18 ");
  window->view.originX = window->view.originY = -2147483648.0;
  kivotest::canvasMotion(window, 0, window->canvas->getHeight());
  EXPECT_EQ(labels({window->posXLabel, window->posYLabel}), "-2147483648 -2147483648 ");
  for (FXLabel* l : {window->posYLabel, window->widthLabel, window->heightLabel})
    EXPECT_LE(window->posXLabel->getDefaultWidth(), l->getWidth());
  window->currentLayer = LAYER_METAL1;
  kivotest::settle();
  EXPECT_EQ(labels({window->layerLabel}), "Metal 1 ");
}

// About the pointer, down to where the 4 mm x 2 mm layout fits twice over,
// up to 80; the middle drag keeps the grabbed point under the pointer until
// the release.
TEST_F(MouseEditingTest, WheelZoomsAboutThePointerWithinTheLayoutsRangeAndMiddleDragPans) {
  add(5, 0, 0, 4000000, 2000000);
  kivotest::canvasEvent(window, SEL_MOUSEWHEEL, 0, 200, 100);
  EXPECT_EQ(window->view.scale, 10.0f);
  int32_t before[2], after[2];
  window->toLayout(200, 100, before[0], before[1]);
  for (int i = 0; i < 40; i++) kivotest::canvasEvent(window, SEL_MOUSEWHEEL, -120, 200, 100);
  float fit = std::min(window->canvas->getWidth() / 8e6f, window->canvas->getHeight() / 4e6f);
  EXPECT_FLOAT_EQ(window->view.scale, fit);
  window->toLayout(200, 100, after[0], after[1]);
  EXPECT_LT(std::hypot(after[0] - before[0], after[1] - before[1]) * fit, 1.0);  // the point stays put
  kivotest::canvasEvent(window, SEL_MOUSEWHEEL, 120, 10, 10);
  EXPECT_FLOAT_EQ(window->view.scale, fit * 1.4142135f);
  // Notches turned while a frame was drawn come as one event: each counts.
  ViewTransform stepwise = window->view;
  for (int i = 0; i < 3; i++) stepwise.zoomAt(10, 10, 1, 0);
  kivotest::canvasEvent(window, SEL_MOUSEWHEEL, 360, 10, 10);
  EXPECT_TRUE(window->view.scale == stepwise.scale && window->view.originX == stepwise.originX &&
              window->view.originY == stepwise.originY);
  for (int i = 0; i < 60; i++) kivotest::canvasEvent(window, SEL_MOUSEWHEEL, 120, 10, 10);
  EXPECT_EQ(window->view.scale, 80.0f);
  window->toLayout(100, 50, before[0], before[1]);
  kivotest::canvasEvent(window, SEL_MIDDLEBUTTONPRESS, 2, 100, 50);
  kivotest::canvasMotion(window, 180, 90);
  kivotest::canvasEvent(window, SEL_MIDDLEBUTTONRELEASE, 2, 260, 130);
  kivotest::canvasMotion(window, 300, 300);  // released: no longer pulls
  window->toLayout(260, 130, after[0], after[1]);
  EXPECT_TRUE(after[0] == before[0] && after[1] == before[1]);
}

}  // namespace

// Go To puts the typed unit under the canvas's centre at the same scale and
// refuses malformed or out-of-range input with its reason, the view kept.
// Shift+right-drag fits the band and centres it; a plain right drag only measures.
TEST_F(MouseEditingTest, GoToCentresAPositionAndShiftRightDragZoomsToTheBand) {
  auto goTo = [&](const char* text, bool refused) {  // the error box's text, if refused
    kivotest::ModalResponder r;
    r.custom([text](FXWindow* w) { static_cast<FXInputDialog*>(w)->setText(text), w->handle(w, FXSEL(SEL_COMMAND, FXDialogBox::ID_ACCEPT), nullptr); });
    if (refused) r.pressButton(MBOX_CLICKED_OK);
    window->handle(window, FXSEL(SEL_COMMAND, KivoWindow::ID_GOTO), nullptr);
    EXPECT_EQ(0u, r.pending()) << text;
    return refused ? r.records().back().text : std::string();
  };
  const int w = window->canvas->getWidth(), h = window->canvas->getHeight();
  auto centre = [&] { int x, y; window->toLayout(w / 2, h / 2, x, y); return std::to_string(x) + "," + std::to_string(y); };
  at(SEL_RIGHTBUTTONPRESS, 0, 0, 0, 3), at(SEL_MOTION, 40, 20), at(SEL_RIGHTBUTTONRELEASE, 40, 20, 0, 3);
  EXPECT_EQ(centre(), std::to_string(w / 20) + "," + std::to_string(h / 20));  // unchanged: scale 10 from 0, 0
  at(SEL_RIGHTBUTTONPRESS, 40, 20, SHIFTMASK, 3), at(SEL_MOTION, 0, 0), at(SEL_RIGHTBUTTONRELEASE, 0, 0, 0, 3);
  EXPECT_FLOAT_EQ(window->scale, std::min(w / 40.0f, h / 20.0f));
  EXPECT_EQ(centre(), "20,10");
  const float scale = window->scale;
  EXPECT_EQ((goTo(" -2147483648 ,2147483647", false), centre()), "-2147483648,2147483647");
  EXPECT_EQ((goTo("120 -40", false), centre()), "120,-40");
  for (const char* bad : {"12", "1,,2", "1, 2x", "x, y", "", "0x10, 0", "2147483648, 0", "0, -99999999999999999999"})
    EXPECT_EQ(goTo(bad, true).rfind(std::strlen(bad) > 12 ? "Out of range" : "Not a position", 0), 0u) << bad;
  EXPECT_TRUE(centre() == "120,-40" && window->scale == scale);
}

// A click whose pixel centre lies 4 pixels or less from a label's anchor
// takes the label, wherever the anchor falls in its pixel; one farther
// than a pixel beyond does not.
TEST_F(MouseEditingTest, ClickWithinFourPixelsOfALabelsAnchorSelectsIt) {
  Label* label = new Label;
  label->text = "A", label->anchor = {30, 30}, label->unitsPerMicrometre = 10, label->refresh();
  window->layout.addObjects({{LAYER_METAL1, label}}, "added");
  window->view.scale = 1.0f, window->view.originX = window->view.originY = -69.19;  // the anchor at 99.19 pixels
  const int row = window->canvas->getHeight() - 100, columns[] = {95, 92};  // centres 3.69 and 6.69 left of it
  for (int c = 0; c < 2; c++) {
    window->layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
    kivotest::canvasPress(window, 1, columns[c], row, CONTROLMASK), kivotest::canvasRelease(window, 1, columns[c], row, CONTROLMASK);
    EXPECT_EQ(c == 0, label->isSelected() != 0) << columns[c];
  }
}
