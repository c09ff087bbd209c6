// The layer panel: its widgets, the current-layer buttons and the layer
// switches, on a real main window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/KivoWindow.h"
#include "panels/LayerDlg.h"
#include "support/GuiTest.h"

// After gtest and FOX: Xlib defines macros such as None.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

struct Row {
  const char* label;
  int layer;
  int icon;  // -1: none
};

const Row rows[13] = {
  {"Options", 12, 17},      {"Metal 6", 10, 15},      {"Metal 5", 9, 14},
  {"Metal 4", 8, 13},       {"Metal 3", 7, 12},       {"Metal 2", 6, 11},
  {"Metal 1", 5, 10},       {"Contact", 11, 7},       {"Local Inerc", 13, -1},
  {"Polisilicium", 4, 18},  {"P+ Diffusion", 3, 9},   {"N+ Diffusion", 2, 8},
  {"N Well", 1, 16},
};

const int POLY_ROW = 9;
const int NWELL_ROW = 12;

// Press and release the left button on a widget, as the user's click does.
void click(FXWindow* widget) {
  FXEvent event;
  event.type = SEL_LEFTBUTTONPRESS;
  event.time = 0;
  event.win_x = event.win_y = event.root_x = event.root_y = 4;
  event.state = 0;
  event.code = LEFTBUTTON;
  event.click_button = LEFTBUTTON;
  event.click_count = 1;
  event.moved = false;
  widget->handle(widget, FXSEL(SEL_LEFTBUTTONPRESS, 0), &event);
  event.type = SEL_LEFTBUTTONRELEASE;
  widget->handle(widget, FXSEL(SEL_LEFTBUTTONRELEASE, 0), &event);
}

// The canvas as the X server shows it now, without painting: rows from the
// top. Read from the window itself, so that only a paint already made counts.
std::vector<kivotest::Rgba> readScreen(FXGLCanvas* canvas, int& width, int& height) {
  width = canvas->getWidth();
  height = canvas->getHeight();
  std::vector<kivotest::Rgba> image(static_cast<size_t>(width) * height);
  Display* display = static_cast<Display*>(canvas->getApp()->getDisplay());
  XSync(display, False);
  XImage* shot = XGetImage(display, canvas->id(), 0, 0, width, height, AllPlanes, ZPixmap);
  if (!shot) return image;
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      unsigned long pixel = XGetPixel(shot, x, y);
      image[static_cast<size_t>(y) * width + x] = {static_cast<uint8_t>(pixel >> 16),
                                                   static_cast<uint8_t>(pixel >> 8),
                                                   static_cast<uint8_t>(pixel), 255};
    }
  XDestroyImage(shot);
  return image;
}

class LayerDlgTest : public testing::Test {
protected:
  void SetUp() override {
    window = kivotest::newWindow();
    dialog = window->layerDlg;
    // The program realises the panel with the application's create(); a
    // test window is created on its own, so realise the panel here.
    dialog->create();
    FXWindow* child = dialog->getFirst();
    frames[0] = dynamic_cast<FXHorizontalFrame*>(child);
    child = child ? child->getNext() : nullptr;
    frames[1] = dynamic_cast<FXHorizontalFrame*>(child);
    child = child ? child->getNext() : nullptr;
    matrix = dynamic_cast<FXMatrix*>(child);
    ASSERT_NE(matrix, nullptr);
    child = matrix->getFirst();
    for (int r = 0; r < 13 && child; r++) {
      checks[r] = dynamic_cast<FXCheckButton*>(child);
      child = child->getNext();
      names[r] = child ? dynamic_cast<FXButton*>(child) : nullptr;
      child = child ? child->getNext() : nullptr;
    }
  }
  void TearDown() override { kivotest::deleteWindow(window); }

  void showPanel() {
    window->handle(nullptr, FXSEL(SEL_COMMAND, KivoWindow::ID_LAYERS), nullptr);
    kivotest::settle();
  }
  // Rows whose named button shows pressed in.
  std::vector<int> engagedRows() {
    std::vector<int> result;
    for (int r = 0; r < 13; r++)
      if (names[r]->getState() == STATE_ENGAGED) result.push_back(r);
    return result;
  }

  KivoWindow* window = nullptr;
  LayerDlg* dialog = nullptr;
  FXHorizontalFrame* frames[2] = {};
  FXMatrix* matrix = nullptr;
  FXCheckButton* checks[13] = {};
  FXButton* names[13] = {};
};

TEST_F(LayerDlgTest, PanelHasItsWidgetTree) {
  EXPECT_EQ(dialog->getTitle(), "Layers");
  EXPECT_EQ(dialog->getDecorations(), (FXuint)(DECOR_TITLE | DECOR_CLOSE | DECOR_BORDER));
  EXPECT_EQ(dialog->getOwner(), window);
  EXPECT_FALSE(dialog->shown());
  EXPECT_EQ(LayerDlg::ID_CURRENT_FIRST, (int)FXDialogBox::ID_LAST);
  EXPECT_EQ(LayerDlg::ID_ENABLE_FIRST, LayerDlg::ID_CURRENT_FIRST + 13);
  EXPECT_EQ(LayerDlg::ID_ENABLE_LAST, LayerDlg::ID_ENABLE_FIRST + 12);

  const int toolIcons[2][5] = {{37, 32, 29, 34, 25}, {39, 4, 5, 28, 38}};
  for (int f = 0; f < 2; f++) {
    ASSERT_NE(frames[f], nullptr);
    EXPECT_EQ(frames[f]->getFrameStyle(), (FXuint)FRAME_SUNKEN);
    EXPECT_TRUE(frames[f]->getLayoutHints() & LAYOUT_FILL_X);
    ASSERT_EQ(frames[f]->numChildren(), 5);
    FXWindow* child = frames[f]->getFirst();
    for (int b = 0; b < 5; b++, child = child->getNext()) {
      FXButton* button = dynamic_cast<FXButton*>(child);
      ASSERT_NE(button, nullptr);
      EXPECT_EQ(button->getIcon(), window->icons[toolIcons[f][b]]) << f << "," << b;
      EXPECT_EQ(button->getText(), "");
      EXPECT_EQ(button->getTipText(), "");
      EXPECT_EQ(button->getTarget(), nullptr);
    }
  }

  EXPECT_EQ(matrix->getMatrixStyle(), (FXuint)MATRIX_BY_COLUMNS);
  EXPECT_EQ(matrix->getNumColumns(), 2);
  ASSERT_EQ(matrix->numChildren(), 26);
  showPanel();
  for (int r = 0; r < 13; r++) {
    ASSERT_NE(checks[r], nullptr) << r;
    ASSERT_NE(names[r], nullptr) << r;
    EXPECT_EQ(checks[r]->getText(), "");
    EXPECT_EQ(checks[r]->getTarget(), dialog);
    EXPECT_EQ(checks[r]->getSelector(), (FXSelector)(LayerDlg::ID_ENABLE_FIRST + r));
    EXPECT_EQ(names[r]->getText(), rows[r].label);
    EXPECT_EQ(names[r]->getIcon(), rows[r].icon < 0 ? nullptr : window->icons[rows[r].icon]) << r;
    EXPECT_EQ(names[r]->getTarget(), dialog);
    EXPECT_EQ(names[r]->getSelector(), (FXSelector)(LayerDlg::ID_CURRENT_FIRST + r));
    EXPECT_EQ(names[r]->getIconPosition(), (FXuint)ICON_BEFORE_TEXT);
    EXPECT_EQ(names[r]->getJustify(), (FXuint)JUSTIFY_LEFT);
    EXPECT_EQ(names[r]->getWidth(), 120);
    for (FXLabel* button : {static_cast<FXLabel*>(checks[r]), static_cast<FXLabel*>(names[r])}) {
      EXPECT_EQ(button->getPadLeft(), 2);
      EXPECT_EQ(button->getPadRight(), 2);
      EXPECT_EQ(button->getPadTop(), 2);
      EXPECT_EQ(button->getPadBottom(), 2);
    }
    // Start-up state: every layer ticked, N Well current.
    EXPECT_TRUE(checks[r]->getCheck()) << r;
  }
  EXPECT_EQ(engagedRows(), std::vector<int>{NWELL_ROW});
}

TEST_F(LayerDlgTest, NamedButtonsChooseCurrentLayerAsRadioGroup) {
  showPanel();
  for (int r : {6, 0, 8, 12, 9, 11, 3}) {  // Metal 1 -> 5, Options -> 12, Local Inerc -> 13 ...
    click(names[r]);
    EXPECT_EQ(window->currentLayer, rows[r].layer) << rows[r].label;
    kivotest::settle();
    EXPECT_EQ(engagedRows(), std::vector<int>{r}) << rows[r].label;
  }
  // The button already pressed in stays so and changes nothing.
  click(names[3]);
  kivotest::settle();
  EXPECT_EQ(window->currentLayer, 8);
  EXPECT_EQ(engagedRows(), std::vector<int>{3});
  // A change made elsewhere shows at the next update.
  window->currentLayer = 2;
  kivotest::settle();
  EXPECT_EQ(engagedRows(), std::vector<int>{11});
}

TEST_F(LayerDlgTest, UntickingPolisiliciumOutlinesItAtOnceAndLeavesItOutOfSelection) {
  // At scale 10 from origin (0, 0): layout (10..30, 10..30) covers canvas
  // pixels x 100..300 and 100..300 above the bottom edge.
  Box* poly = new Box;
  poly->setRect(10, 10, 20, 20);
  window->layers[4].apply(OP_ADD, MATCH_ALL, poly);
  Box* metal = new Box;
  metal->setRect(40, 10, 5, 5);
  window->layers[5].apply(OP_ADD, MATCH_ALL, metal);
  showPanel();
  // Nothing manages windows on the test display: move the panel off the
  // canvas so that the canvas pixels read back are its own.
  dialog->move(window->getWidth() + 20, 0);
  kivotest::settle();
  int width = 0, height = 0;
  kivotest::paintAndRead(window, width, height);
  std::vector<kivotest::Rgba> image = readScreen(window->canvas, width, height);
  ASSERT_GT(height, 320);
  const int midY = height - 200;
  auto redAt = [&](int x) { return kivotest::pixelAt(image, width, x, midY).r > 100; };
  auto redEdge = [&]() { return redAt(99) || redAt(100) || redAt(101); };
  EXPECT_TRUE(redAt(200));  // filled

  click(checks[POLY_ROW]);
  EXPECT_EQ(window->layers[4].isEnabled(), 0);
  image = readScreen(window->canvas, width, height);  // no update cycle in between
  EXPECT_FALSE(redAt(200));
  EXPECT_TRUE(redEdge());

  window->handle(nullptr, FXSEL(SEL_COMMAND, KivoWindow::ID_SELECT_ALL), nullptr);
  EXPECT_EQ(window->statusText, "1 object(s) selected");
  EXPECT_FALSE(poly->isSelected());
  EXPECT_TRUE(metal->isSelected());
  kivotest::settle();
  EXPECT_FALSE(checks[POLY_ROW]->getCheck());

  click(checks[POLY_ROW]);
  EXPECT_EQ(window->layers[4].isEnabled(), 1);
  image = readScreen(window->canvas, width, height);
  EXPECT_TRUE(redAt(200));
}

TEST_F(LayerDlgTest, CheckBoxesFollowLayersSwitchedElsewhere) {
  showPanel();
  window->layers[2].toggleEnabled();
  window->layers[13].toggleEnabled();
  kivotest::settle();
  for (int r = 0; r < 13; r++)
    EXPECT_EQ(checks[r]->getCheck(), rows[r].layer != 2 && rows[r].layer != 13) << r;
  for (Layer& layer : window->layers) layer.enable();  // as New and Open do
  kivotest::settle();
  for (int r = 0; r < 13; r++) EXPECT_TRUE(checks[r]->getCheck()) << r;
}

}  // namespace
