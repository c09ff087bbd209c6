// The inspect field, the right click's pick, Properties, Move to Current
// Layer and the units of the status bar, on a real window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "app/KivoWindow.h"
#include "app/PropertiesDialog.h"
#include "support/GuiTest.h"

namespace {

class PointerCommandsTest : public testing::Test {
protected:
  void SetUp() override { window = kivotest::newWindow(); }
  void TearDown() override { kivotest::deleteWindow(window); }

  // Pixel 3 right of and 3 above the corner of layout unit (x, y), at scale 10.
  void at(FXSelType type, int x, int y, FXuint state = 0, int button = 3, int dx = 3) {
    kivotest::canvasEvent(window, type, button, x * 10 + dx, window->canvas->getHeight() - (y * 10 + 3), state);
  }
  GroupNode* add(int layer, int x, int y, int w, int h, bool selected = false) {
    GroupNode* node = newLayoutObject(layer);
    node->setRect(x, y, w, h);
    if (selected) node->select();
    window->layout.addObjects({{layer, node}}, "added");
    return node;
  }
  std::string status() const { return window->statusText.text(); }
  void command(FXSelector id) { window->handle(window, FXSEL(SEL_COMMAND, id), nullptr); }

  KivoWindow* window = nullptr;
};

}  // namespace

// The field names the topmost shape as the pointer moves; a right click
// selects it alone, a right drag only measures, a disabled layer is looked
// through and keeps its selection.
TEST_F(PointerCommandsTest, RightClickPicksTheShapeTheInspectFieldNames) {
  GroupNode* under = add(2, 0, 0, 10, 10);
  GroupNode* over = add(5, 2, 2, 4, 4);
  GroupNode* far = add(5, 20, 20, 2, 2, true);
  at(SEL_MOTION, 3, 3);
  EXPECT_EQ(std::string(layerFacts(5).name) + "  2, 2  4 x 4", window->inspectLabel->getText().text());
  at(SEL_RIGHTBUTTONPRESS, 3, 3), at(SEL_RIGHTBUTTONRELEASE, 3, 3, 0, 3, 5);
  EXPECT_TRUE(over->isSelected() && !under->isSelected() && !far->isSelected());
  EXPECT_EQ("1 object(s) selected", status());
  at(SEL_RIGHTBUTTONPRESS, 8, 8), at(SEL_MOTION, 3, 3), at(SEL_RIGHTBUTTONRELEASE, 3, 3);
  EXPECT_TRUE(over->isSelected() && !under->isSelected());
  EXPECT_EQ("5 5", std::string(window->widthLabel->getText().text()) + " " + window->heightLabel->getText().text());
  window->layout.toggleEnabled(5);
  at(SEL_MOTION, 4, 4);
  EXPECT_EQ(std::string(layerFacts(2).name) + "  0, 0  10 x 10", window->inspectLabel->getText().text());
  at(SEL_RIGHTBUTTONPRESS, 4, 4, CONTROLMASK), at(SEL_RIGHTBUTTONRELEASE, 4, 4);
  EXPECT_FALSE(under->isSelected());
  at(SEL_RIGHTBUTTONPRESS, 4, 4), at(SEL_RIGHTBUTTONRELEASE, 4, 4);
  EXPECT_TRUE(under->isSelected() && over->isSelected());
  at(SEL_MOTION, 30, 30);
  EXPECT_EQ("", std::string(window->inspectLabel->getText().text()));
}

// On a layout too large for one step the index is built while idle: the
// field stays empty until it reaches the pointer, then names what a search
// that builds everything at once names there.
TEST_F(PointerCommandsTest, InspectFieldWaitsForTheIndexThenNamesTheShape) {
  std::vector<PlacedObject> many;
  for (int i = 0; i < 1500; i++) {
    GroupNode* node = newLayoutObject(5);
    node->setRect(i % 64 * 3, i / 64 * 3, 2, 2);
    many.push_back({5, node});
  }
  window->layout.addObjects(many, "added");
  window->inspectStep = 100;
  at(SEL_MOTION, 3, 3);
  EXPECT_EQ("", std::string(window->inspectLabel->getText().text()));
  ASSERT_TRUE(window->inspectPending);
  ASSERT_TRUE(kivotest::runUntil([this] { return !window->inspectPending; }, 30000));
  TopmostFinder atOnce;
  const std::string expected = describeShape(atOnce.find(window->layout, 3, 3, window->inspectedSlots()),
                                             window->layout, window->units);
  EXPECT_EQ(std::string(layerFacts(5).name) + "  3, 3  2 x 2", expected);
  EXPECT_EQ(expected, window->inspectLabel->getText().text());
}

// A field out of range is refused with its reason; a good answer
// replaces the object on its new layer as one step, undone whole. A double
// click opens the box on the shape under the pointer.
TEST_F(PointerCommandsTest, PropertiesAppliesAsOneUndoStep) {
  add(5, 2, 2, 4, 4, true);
  add(5, 20, 2, 4, 4, true);
  command(KivoWindow::ID_PROPERTIES);
  EXPECT_EQ("Properties: select exactly one object", status());
  kivotest::ModalResponder r;
  std::string why;
  r.custom([&why](FXWindow* w) {
    PropertiesDialog* d = static_cast<PropertiesDialog*>(w);
    int slot = 0;
    d->xField->setText("7"), d->widthField->setText("0");
    EXPECT_EQ(nullptr, d->build(slot, why));
    d->widthField->setText("9"), d->layerBox->setCurrentItem(6);
    d->handle(d, FXSEL(SEL_COMMAND, PropertiesDialog::ID_APPLY), nullptr);
  });
  FXEvent event;
  event.type = SEL_LEFTBUTTONPRESS, event.click_count = 2, event.state = 0;
  event.win_x = 33, event.win_y = window->canvas->getHeight() - 33;
  window->handle(window->canvas, FXSEL(SEL_LEFTBUTTONPRESS, KivoWindow::ID_CANVAS), &event);
  ASSERT_EQ(0u, r.pending());
  EXPECT_EQ(0u, why.find("Width must be a length from 1")) << why;
  const GroupNode* moved = window->layout.layer(6).first();
  ASSERT_TRUE(moved && window->layout.layer(5).size() == 1);
  EXPECT_TRUE(moved->x == 7 && moved->y == 2 && moved->w == 9 && moved->h == 4 && moved->isSelected());
  EXPECT_EQ("1 object changed", status());
  command(KivoWindow::ID_UNDO);
  EXPECT_TRUE(window->layout.layer(6).size() == 0 && window->layout.layer(5).first()->w == 4);
}

TEST_F(PointerCommandsTest, MoveToCurrentLayerAsOneUndoStep) {
  add(2, 0, 0, 5, 5, true);
  add(5, 0, 0, 5, 5, true);
  add(5, 9, 0, 5, 5);
  at(SEL_MOTION, 3, 1);
  window->currentLayer = 6;
  command(KivoWindow::ID_MOVE_TO_LAYER);
  EXPECT_EQ(std::string("2 object(s) moved to ") + layerFacts(6).name, status());
  kivotest::settle();  // the field follows the repaint, without a motion
  EXPECT_EQ(std::string(layerFacts(6).name) + "  0, 0  5 x 5", window->inspectLabel->getText().text());
  EXPECT_TRUE(window->layout.layer(6).size() == 2 && window->layout.layer(5).size() == 1);
  command(KivoWindow::ID_UNDO);
  EXPECT_TRUE(window->layout.layer(6).size() == 0 && window->layout.layer(2).size() == 1);
}

// A GDSII layout shows micrometres from its units; View > Micrometres
// switches to database units; New goes back to a .msk layout's units.
TEST_F(PointerCommandsTest, StatusBarShowsMicrometresForGdsii) {
  const char* source = std::getenv("KIVO_SOURCE_DIR");
  const std::string file = std::string(source ? source : ".") +
                           "/../shared/data/sky130_fd_sc_hd/sky130_fd_sc_hd__a211o_2.gds";
  ASSERT_TRUE(window->openFile(file.c_str()));
  kivotest::canvasMotion(window, 37, 41);
  const int32_t x = window->mouseRect.getCurX();
  EXPECT_TRUE(window->units.micrometres);
  EXPECT_EQ(DisplayUnits::forLayout(true, 1e-9).format(x), window->posXLabel->getText().text());
  EXPECT_NE(std::string::npos, std::string(window->posXLabel->getText().text()).find('.')) << x;
  command(KivoWindow::ID_UNITS);
  EXPECT_EQ(std::to_string(x), window->posXLabel->getText().text());
  command(KivoWindow::ID_UNITS);
  EXPECT_TRUE(window->units.micrometres);
  // Go To reads micrometres too.
  kivotest::ModalResponder r;
  r.custom([](FXWindow* w) {
    static_cast<FXInputDialog*>(w)->setText("1.2, -0.5");
    w->handle(w, FXSEL(SEL_COMMAND, FXDialogBox::ID_ACCEPT), nullptr);
  });
  command(KivoWindow::ID_GOTO);
  int cx, cy;
  window->toLayout(window->canvas->getWidth() / 2, window->canvas->getHeight() / 2, cx, cy);
  EXPECT_TRUE(cx == 1200 && cy == -500) << cx << "," << cy;
  EXPECT_EQ("centred on 1.2, -0.5", status());
  command(KivoWindow::ID_FILE_NEW);
  EXPECT_FALSE(window->units.micrometres);
}

// An instance's fields: position, mirror, rotation and array, checked
// against the range of its elements.
TEST_F(PointerCommandsTest, PropertiesOfAnInstanceMoveTurnAndArrayIt) {
  add(5, 0, 0, 10, 4, true);
  ASSERT_EQ(Layout::GROUP_DONE, window->layout.groupSelected("LEAF"));
  const Instance* inst = static_cast<const Instance*>(window->layout.instances().first());
  PropertiesDialog dialog(window, window->layout, LAYER_INSTANCES, *inst, window->units);
  dialog.xField->setText("100"), dialog.rotationBox->setCurrentItem(1), dialog.mirrorCheck->setCheck(TRUE);
  dialog.columnsField->setText("3"), dialog.columnStep[0]->setText("2000000000");
  int slot = 0;
  std::string why;
  EXPECT_EQ(nullptr, dialog.build(slot, why));
  EXPECT_EQ("The array's last element lies outside the 32-bit range.", why);
  dialog.columnStep[0]->setText("20");
  GroupNode* built = dialog.build(slot, why);
  const Instance* placed = dynamic_cast<const Instance*>(built);
  ASSERT_TRUE(placed && slot == LAYER_INSTANCES);
  EXPECT_TRUE(placed->transform.x == 100 && placed->transform.quarterTurns == 1 && placed->transform.mirrorX);
  // Mirrored then turned, the 10 x 4 box lies over x 100..104, y 0..10; three columns 20 apart.
  EXPECT_TRUE(placed->x == 100 && placed->y == 0 && placed->w == 44 && placed->h == 10 && placed->array.points[2] == 160)
      << placed->x << "," << placed->y << "," << placed->w << "," << placed->h;
  delete built;
  // An uneven array shows its fractional step and stays uneven until a step is typed.
  Instance uneven;
  uneven.array.columns = 3, uneven.array.fromAref = true, uneven.array.points[2] = 10;
  PropertiesDialog steps(window, window->layout, LAYER_INSTANCES, uneven, window->units);
  EXPECT_EQ("3.333333", std::string(steps.columnStep[0]->getText().text()));
  std::unique_ptr<GroupNode> same(steps.build(slot, why));
  ASSERT_TRUE(same) << why;
  steps.columnStep[0]->setText("4");
  std::unique_ptr<GroupNode> even(steps.build(slot, why));
  EXPECT_TRUE(static_cast<Instance*>(same.get())->array.uneven() && static_cast<Instance*>(even.get())->array.points[2] == 12);
}
