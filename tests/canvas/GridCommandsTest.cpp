// The grid, snapping, Ctrl+right-drag moves and rulers on a real canvas.
#include <gtest/gtest.h>

#include "app/KivoWindow.h"
#include "support/GuiTest.h"

using kivotest::Rgba;

namespace {

class GridCommandsTest : public ::testing::Test {
protected:
  void SetUp() override { window = kivotest::newWindow(); }
  void TearDown() override { kivotest::deleteWindow(window); }

  // Pixel (px, py) of the window for layout point (x, y) at the start view
  // (scale 10 from 0, 0), dx pixels right of the unit's corner.
  int px(int x, int dx = 3) { return x * 10 + dx; }
  int py(int y) { return window->canvas->getHeight() - (y * 10 + 3); }
  void at(FXSelType type, int x, int y, FXuint state = 0, int dx = 3) {
    kivotest::canvasEvent(window, type, 3, px(x, dx), py(y), state);
  }
  void command(FXSelector id) { window->handle(window, FXSEL(SEL_COMMAND, id), nullptr); }
  std::string status() { return window->statusText.text(); }

  KivoWindow* window = nullptr;
};

// The selection follows the pointer by whole grid steps while the button is
// held, moves once at the release as a step of its own (a Ctrl+arrow move
// before it stays its own step too), and Escape puts everything back.
TEST_F(GridCommandsTest, CtrlRightDragMovesTheSelectionAsOneStepAndEscapeCancels) {
  Box* box = new Box;
  box->setRect(10, 10, 5, 5);
  box->select();
  window->layout.addObjects({{LAYER_METAL1, box}}, "added");
  window->grid.step = 5;
  command(KivoWindow::ID_NUDGE_UP);
  int w, h;
  auto pixel = [&] {  // inside the box once it has moved right by 15
    auto image = kivotest::paintAndRead(window, w, h);
    return kivotest::pixelAt(image, w, px(27), py(12));
  };
  const Rgba before = pixel();
  at(SEL_RIGHTBUTTONPRESS, 11, 12, CONTROLMASK);
  for (int x : {14, 19, 23}) at(SEL_MOTION, x, 12, CONTROLMASK);
  EXPECT_TRUE(window->moveDrag.dx == 15 && window->moveDrag.dy == 0 && box->x == 10);
  EXPECT_NE(pixel(), before);
  EXPECT_EQ(kivotest::paintersDiffer(window), 0);
  at(SEL_RIGHTBUTTONRELEASE, 23, 12, CONTROLMASK);
  EXPECT_TRUE(box->x == 25 && box->y == 11 && !window->moveDrag.active);
  EXPECT_EQ(status(), "1 object(s) moved");
  command(KivoWindow::ID_UNDO);
  EXPECT_TRUE(box->x == 10 && box->y == 11);
  command(KivoWindow::ID_UNDO);
  EXPECT_TRUE(box->x == 10 && box->y == 10);
  command(KivoWindow::ID_REDO);
  at(SEL_RIGHTBUTTONPRESS, 11, 12, CONTROLMASK);
  at(SEL_MOTION, 40, 40, CONTROLMASK);
  command(KivoWindow::ID_CANCEL_DRAG);
  at(SEL_RIGHTBUTTONRELEASE, 40, 40, CONTROLMASK);
  EXPECT_TRUE(box->x == 10 && box->y == 11 && window->layout.canRedo() && !window->moveDrag.active);
}

// A plain right drag leaves a ruler whose ends go to an edge within 5
// pixels, else to the grid; a drag of 3 pixels or less and one ended by
// Escape leave none; Escape and Clear Rulers remove them.
TEST_F(GridCommandsTest, RightDragLeavesARulerSnappedToEdgesThatEscapeClears) {
  Box* box = new Box;
  box->setRect(20, 0, 10, 10);
  window->layout.addObjects({{LAYER_POLY, box}}, "added");
  window->grid.step = 2;
  at(SEL_RIGHTBUTTONPRESS, 3, 5);
  at(SEL_MOTION, 19, 5, 0, 8);
  at(SEL_RIGHTBUTTONRELEASE, 19, 5, 0, 8);  // 2 pixels left of x = 20
  ASSERT_EQ(window->rulers.kept().size(), 1u);
  const Ruler r = window->rulers.kept()[0];
  EXPECT_TRUE(r.x0 == 4 && r.y0 == 6 && r.x1 == 20 && r.y1 == 5) << r.x0 << " " << r.y0 << " " << r.x1 << " " << r.y1;
  EXPECT_EQ(rulerLabel(r.length(), DisplayUnits()), "16 dbu");
  window->grid.shown = true;
  EXPECT_EQ(kivotest::paintersDiffer(window), 0);
  at(SEL_RIGHTBUTTONPRESS, 3, 5);
  at(SEL_RIGHTBUTTONRELEASE, 3, 5, 0, 6);  // 3 pixels: a click
  at(SEL_RIGHTBUTTONPRESS, 3, 5);
  at(SEL_MOTION, 12, 5);
  command(KivoWindow::ID_CANCEL_DRAG);
  at(SEL_RIGHTBUTTONRELEASE, 12, 5);
  EXPECT_EQ(window->rulers.kept().size(), 1u);
  command(KivoWindow::ID_CANCEL_DRAG);
  EXPECT_TRUE(window->rulers.kept().empty());
  at(SEL_RIGHTBUTTONPRESS, 3, 5), at(SEL_MOTION, 12, 5), at(SEL_RIGHTBUTTONRELEASE, 12, 5);
  EXPECT_EQ(window->rulers.kept().size(), 1u);
  command(KivoWindow::ID_CLEAR_RULERS);
  EXPECT_TRUE(window->rulers.kept().empty());
}

// Grid dots lie on the shown step's multiples; the step is typed in the
// shown units, New brings the default back, and snapping shapes drawn rectangles.
TEST_F(GridCommandsTest, GridStepIsTypedInShownUnitsAndDrawnRectanglesSnap) {
  Layer empty[LAYER_COUNT];
  window->layout.replaceContent(empty, "chip.gds", false, FORMAT_GDSII, GdsLibraryInfo());
  window->layoutReplaced();
  EXPECT_EQ(window->grid.step, 5);
  auto typeStep = [&](const char* text, bool refused) {
    kivotest::ModalResponder r;
    r.custom([text](FXWindow* w) { static_cast<FXInputDialog*>(w)->setText(text), w->handle(w, FXSEL(SEL_COMMAND, FXDialogBox::ID_ACCEPT), nullptr); });
    if (refused) r.pressButton(MBOX_CLICKED_OK);
    command(KivoWindow::ID_GRID_STEP);
    EXPECT_EQ(r.pending(), 0u) << text;
  };
  typeStep("0.02", false);
  EXPECT_EQ(window->grid.step, 20);
  for (const char* bad : {"0", "-0.01", "abc", "3000000"}) typeStep(bad, true);
  EXPECT_EQ(window->grid.step, 20);
  command(KivoWindow::ID_VIEW_GRID);
  int w, h, dots = 0;
  auto image = kivotest::paintAndRead(window, w, h);
  for (int y = 0; y < h; y++)  // a dot every 200 pixels (20 units at 10 pixels a unit), nothing else grey
    for (int x = 0; x < w; x++)
      if (kivotest::pixelAt(image, w, x, y) == Rgba{128, 128, 128, 255}) {
        dots++;
        EXPECT_TRUE((x + 1) % 200 <= 2 && (h - y) % 200 <= 2) << x << ", " << y;
      }
  EXPECT_GE(dots, 2);
  window->grid.step = 4;
  kivotest::canvasEvent(window, SEL_LEFTBUTTONPRESS, 1, 13, h - 13);
  kivotest::canvasEvent(window, SEL_MOTION, 1, 93, h - 53);
  kivotest::canvasEvent(window, SEL_LEFTBUTTONRELEASE, 1, 93, h - 53);
  const GroupNode* added = window->layout.layer(window->currentLayer).first();
  ASSERT_NE(added, nullptr);
  EXPECT_TRUE(added->x == 0 && added->y == 0 && added->w == 8 && added->h == 4);
  window->layout.markSaved(window->layout.fileName(), FORMAT_GDSII);
  command(KivoWindow::ID_FILE_NEW);
  EXPECT_EQ(window->grid.step, 1);
}

}  // namespace
