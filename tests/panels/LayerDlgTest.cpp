// The layer panel and the Layers command on a real main window.
#include <fxkeys.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/KivoWindow.h"
#include "panels/LayerDlg.h"
#include "support/GuiTest.h"

namespace {

const int POLY_ROW = 9;

// What a click on a button sends: its command, to its target.
void click(FXWindow* widget) { widget->getTarget()->handle(widget, FXSEL(SEL_COMMAND, widget->getSelector()), nullptr); }

class LayerDlgTest : public testing::Test {
protected:
  void SetUp() override {
    window = kivotest::newWindow();
    dialog = window->layerDlg;
    FXWindow* child = dialog->getFirst()->getNext()->getNext()->getFirst();
    for (int r = 0; r < PANEL_ROWS; r++) {
      checks[r] = dynamic_cast<FXCheckButton*>(child);
      names[r] = dynamic_cast<FXButton*>(child->getNext());
      child = child->getNext()->getNext();
    }
  }
  void TearDown() override { kivotest::deleteWindow(window); }

  void layersCommand() { run(KivoWindow::ID_LAYERS), kivotest::settle(); }
  std::vector<int> engagedRows() {
    kivotest::settle();
    std::vector<int> result;
    for (int r = 0; r < PANEL_ROWS; r++)
      if (names[r]->getState() == STATE_ENGAGED) result.push_back(r);
    return result;
  }
  void add(int slot, int32_t x, bool selected = false) {
    GroupNode* node = newLayoutObject(slot);
    node->setRect(x, 10, 20, 20);
    if (selected) node->select();
    window->layout.addObjects({{slot, node}}, "1 object added");
  }
  std::string run(FXSelector id) { return window->handle(nullptr, FXSEL(SEL_COMMAND, id), nullptr), window->statusText.text(); }

  KivoWindow* window = nullptr;
  LayerDlg* dialog = nullptr;
  FXCheckButton* checks[PANEL_ROWS] = {};
  FXButton* names[PANEL_ROWS] = {};
};

}  // namespace

TEST_F(LayerDlgTest, LayersCommandShowsPanelAndEscapeOrCloseHidesIt) {
  layersCommand();
  EXPECT_TRUE(dialog->shown());
  EXPECT_GE(dialog->getX(), window->getX() + window->getWidth());  // beside, not over the menus
  dialog->setFocus();
  for (int i = 0; i < 500 && !window->hasFocus(); i++) kivotest::runFor(10), kivotest::settle();
  EXPECT_TRUE(window->hasFocus());  // the keys keep reaching the main window
  FXEvent key{};
  key.code = KEY_Escape;
  for (FXSelector sel : {FXSEL(SEL_KEYPRESS, 0), FXSEL(SEL_CLOSE, 0)}) {
    if (!dialog->shown()) layersCommand();
    dialog->handle(window, sel, &key);
    kivotest::settle();
    EXPECT_FALSE(dialog->shown());
  }
}

TEST_F(LayerDlgTest, NamedButtonsChooseCurrentLayerAsRadioGroup) {
  layersCommand();
  EXPECT_EQ(engagedRows(), std::vector<int>{12});  // N Well at start
  const int rowLayers[][2] = {{6, 5}, {0, LAYER_OPTIONS}, {8, 13}, {POLY_ROW, 4}, {3, 8}, {3, 8}};
  for (const auto& rl : rowLayers) {
    click(names[rl[0]]);
    EXPECT_EQ(window->currentLayer, rl[1]);
    EXPECT_EQ(engagedRows(), std::vector<int>{rl[0]});
  }
  window->currentLayer = 2;  // chosen elsewhere: shown at the next update
  EXPECT_EQ(engagedRows(), std::vector<int>{11});
}

// Each swatch shows its layer as the canvas draws it on black (P+
// Diffusion, N Well, local interconnect, Polisilicium); unticking
// Polisilicium outlines it at once, on the canvas and in its swatch.
TEST_F(LayerDlgTest, UntickingALayerOutlinesItAtOnceOnTheCanvasAndInItsSwatch) {
  add(4, 10);  // at scale 10 from (0, 0): canvas pixels 100..300
  layersCommand();
  dialog->move(window->getWidth() + 20, 0);  // keep the panel off the canvas
  kivotest::settle();
  auto swatch = [&](int row, int x) { return names[row]->getIcon()->getPixel(x, 7); };
  const std::pair<int, FXColor> rows[] = {
      {10, FXRGB(81, 58, 0)}, {12, FXRGB(132, 132, 0)}, {8, FXRGB(100, 0, 0)}, {POLY_ROW, FXRGB(160, 0, 0)}};
  for (const auto& r : rows) EXPECT_TRUE(swatch(r.first, 0) == r.second && swatch(r.first, 7) == r.second) << r.first;
  int width = 0, height = 0;
  auto image = kivotest::paintAndRead(window, width, height);
  auto redAt = [&](int x) { return kivotest::pixelAt(image, width, x, height - 200).r > 100; };
  EXPECT_TRUE(redAt(200));  // filled
  click(checks[POLY_ROW]);
  image = kivotest::readWindow(window->canvas, width, height);  // painted at once
  EXPECT_FALSE(redAt(200));
  EXPECT_TRUE(redAt(99) || redAt(100) || redAt(101));  // outline
  kivotest::settle();
  EXPECT_FALSE(checks[POLY_ROW]->getCheck());
  EXPECT_TRUE(swatch(POLY_ROW, 0) == FXRGB(160, 0, 0) && swatch(POLY_ROW, 7) == FXRGB(0, 0, 0));
}
