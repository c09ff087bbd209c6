// The layer panel and the Layers command on a real main window.
#include <fxkeys.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/KivoWindow.h"
#include "panels/LayerDlg.h"
#include "support/GuiTest.h"

namespace {

const int POLY_ROW = 9;

// Press and release the left button on a widget, as the user's click does.
void click(FXWindow* widget) {
  FXEvent event;
  event.win_x = event.win_y = event.root_x = event.root_y = 4;
  event.state = 0;
  event.code = event.click_button = LEFTBUTTON;
  event.click_count = 1;
  event.moved = false;
  widget->handle(widget, FXSEL(SEL_LEFTBUTTONPRESS, 0), &event);
  widget->handle(widget, FXSEL(SEL_LEFTBUTTONRELEASE, 0), &event);
}

class LayerDlgTest : public testing::Test {
protected:
  void SetUp() override {
    window = kivotest::newWindow();
    dialog = window->layerDlg;
    dialog->create();  // the program realises it with the application's create()
    FXWindow* child = dialog->getFirst()->getNext()->getNext()->getFirst();
    for (int r = 0; r < PANEL_ROWS; r++, child = nth(child, LayerDlg::COLUMNS)) {
      eyes[r] = dynamic_cast<FXToggleButton*>(child);
      checks[r] = dynamic_cast<FXCheckButton*>(nth(child, 1));
      styles[r] = dynamic_cast<FXListBox*>(nth(child, 3));
      names[r] = dynamic_cast<FXButton*>(nth(child, 4));
    }
  }
  void TearDown() override {
    kivotest::deleteWindow(window);
    clearChosenLooks();
  }
  static FXWindow* nth(FXWindow* w, int n) {
    while (n-- > 0) w = w->getNext();
    return w;
  }

  void layersCommand() {
    window->handle(nullptr, FXSEL(SEL_COMMAND, KivoWindow::ID_LAYERS), nullptr);
    kivotest::settle();
  }
  std::vector<int> engagedRows() {
    kivotest::settle();
    std::vector<int> result;
    for (int r = 0; r < PANEL_ROWS; r++)
      if (names[r]->getState() == STATE_ENGAGED) result.push_back(r);
    return result;
  }
  GroupNode* add(int slot, int32_t x, bool selected = false) {
    GroupNode* node = newLayoutObject(slot);
    node->setRect(x, 10, 20, 20);
    if (selected) node->select();
    window->layout.addObjects({{slot, node}}, "1 object added");
    return node;
  }
  std::string run(FXSelector id) {
    window->handle(nullptr, FXSEL(SEL_COMMAND, id), nullptr);
    return window->statusText.text();
  }

  KivoWindow* window = nullptr;
  LayerDlg* dialog = nullptr;
  FXToggleButton* eyes[PANEL_ROWS] = {};
  FXCheckButton* checks[PANEL_ROWS] = {};
  FXListBox* styles[PANEL_ROWS] = {};
  FXButton* names[PANEL_ROWS] = {};
};

}  // namespace

TEST_F(LayerDlgTest, LayersCommandShowsPanelAndEscapeOrCloseHidesIt) {
  layersCommand();
  EXPECT_TRUE(dialog->shown());
  EXPECT_GE(dialog->getX(), window->getX() + window->getWidth());  // beside, not over the menus
  dialog->setFocus();
  EXPECT_TRUE(kivotest::runUntil([&] { return window->hasFocus(); }));  // the keys keep reaching the main window
  FXEvent key;
  key.state = 0;
  key.code = KEY_Escape;
  key.text = "";
  dialog->handle(window, FXSEL(SEL_KEYPRESS, 0), &key);
  kivotest::settle();
  EXPECT_FALSE(dialog->shown());
  layersCommand();
  dialog->handle(window, FXSEL(SEL_CLOSE, 0), nullptr);
  kivotest::settle();
  EXPECT_FALSE(dialog->shown());
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

TEST_F(LayerDlgTest, UntickingPolisiliciumOutlinesItAtOnceAndLeavesItOutOfEditing) {
  // At scale 10 from (0, 0): the poly box covers canvas pixels 100..300.
  GroupNode* poly = add(4, 10);
  GroupNode* metal = add(5, 40);
  layersCommand();
  dialog->move(window->getWidth() + 20, 0);  // keep the panel off the canvas
  kivotest::settle();
  int width = 0, height = 0;
  auto image = kivotest::paintAndRead(window, width, height);
  const int midY = height - 200;
  auto redAt = [&](int x) { return kivotest::pixelAt(image, width, x, midY).r > 100; };
  EXPECT_TRUE(redAt(200));  // filled

  click(checks[POLY_ROW]);
  image = kivotest::readWindow(window->canvas, width, height);  // painted at once
  EXPECT_FALSE(redAt(200));
  EXPECT_TRUE(redAt(99) || redAt(100) || redAt(101));  // outline

  EXPECT_EQ("1 object(s) selected", run(KivoWindow::ID_SELECT_ALL));
  EXPECT_FALSE(poly->isSelected());
  EXPECT_TRUE(metal->isSelected());
  poly->select();
  EXPECT_EQ("1 object(s) deleted", run(KivoWindow::ID_DELETE));
  EXPECT_EQ(1u, window->layout.layer(4).size());
  kivotest::settle();
  EXPECT_FALSE(checks[POLY_ROW]->getCheck());

  kivotest::ModalResponder responder;
  responder.pressButton(MBOX_CLICKED_NO);  // "Save First?"
  window->handle(nullptr, FXSEL(SEL_COMMAND, KivoWindow::ID_FILE_NEW), nullptr);  // ticks all again
  kivotest::settle();
  EXPECT_TRUE(checks[POLY_ROW]->getCheck());
}

// A swatch shows its layer as the canvas draws it on black: P+ Diffusion,
// N Well and local interconnect filled, then P+ Diffusion outlined.
TEST_F(LayerDlgTest, SwatchesShowTheLayersAsTheCanvasDrawsThem) {
  layersCommand();
  auto pixel = [&](int row, int x) { return names[row]->getIcon()->getPixel(x, 7); };
  const std::pair<int, FXColor> rows[] = {{10, FXRGB(81, 58, 0)}, {12, FXRGB(132, 132, 0)}, {8, FXRGB(100, 0, 0)}};
  for (const auto& r : rows) EXPECT_TRUE(pixel(r.first, 0) == r.second && pixel(r.first, 7) == r.second) << r.first;
  click(checks[10]);
  kivotest::settle();
  EXPECT_TRUE(pixel(10, 0) == FXRGB(81, 58, 0) && pixel(10, 7) == FXRGB(0, 0, 0));
}

// Pair slots get rows below the named ones as they appear, in drawing
// order, named by their pair; each row chooses and switches its layer.
TEST_F(LayerDlgTest, PairLayersGetRowsThatChooseAndSwitchThem) {
  const int high = pairSlot(8000, 5), low = pairSlot(8000, 1, "low pin");
  add(high, 10);
  layersCommand();
  FXWindow* list = dynamic_cast<FXScrollWindow*>(dialog->getFirst()->getNext()->getNext()->getNext())->contentWindow();
  const std::vector<int> order = drawingOrder();
  auto widget = [&](int slot, int column) {
    return list->childAtIndex(LayerDlg::COLUMNS * (int)(std::find(order.begin(), order.end(), slot) - order.begin() - NAMED_LAYER_COUNT) + column);
  };
  FXButton *lowName = dynamic_cast<FXButton*>(widget(low, 4)), *highName = dynamic_cast<FXButton*>(widget(high, 4));
  ASSERT_TRUE(lowName && highName && list->shown());
  EXPECT_TRUE(lowName->getText() == "low pin" && highName->getText() == "8000/5" && nth(lowName, LayerDlg::COLUMNS) == highName);
  click(highName);
  EXPECT_TRUE(window->currentLayer == high && engagedRows().empty() && highName->getState() == STATE_ENGAGED);
  click(widget(high, 1));
  kivotest::settle();
  EXPECT_FALSE(window->layout.layer(high).isEnabled() || dynamic_cast<FXCheckButton*>(widget(high, 1))->getCheck());
  click(widget(high, 0));  // the pair row's eye
  kivotest::settle();
  EXPECT_TRUE(window->layout.layer(high).isHidden() && dynamic_cast<FXToggleButton*>(widget(high, 0))->getState());
  const int more = pairSlot(8001, 0);  // handed out while the panel shows
  kivotest::settle();
  EXPECT_TRUE(dialog->pairRowCount() == more - FIRST_PAIR_SLOT + 1 && window->layout.layer(more).getColor() == pairColor(8001, 0));
}

// The eye hides a layer and deselects it, the style list restyles it; each
// change is in the layer properties file at once.
TEST_F(LayerDlgTest, EyeAndStyleChangeTheLayerAndTheLayerPropertiesFile) {
  add(LAYER_POLY, 10, true);
  layersCommand();
  const std::string props = std::string(std::getenv("XDG_CONFIG_HOME")) + "/kivo/layers.props";
  click(eyes[POLY_ROW]);
  kivotest::settle();
  EXPECT_TRUE(window->layout.layer(LAYER_POLY).isHidden() && eyes[POLY_ROW]->getState());
  EXPECT_EQ(window->layout.selectedCount(-1), 0u);
  EXPECT_NE(kivotest::readFile(props).find("\nPO #FF0000A0 fill hidden\n"), std::string::npos);
  dialog->handle(styles[POLY_ROW], FXSEL(SEL_COMMAND, LayerDlg::ID_STYLE_FIRST + POLY_ROW), (void*)(FXival)STYLE_OUTLINE);
  click(eyes[POLY_ROW]);
  kivotest::settle();
  EXPECT_NE(kivotest::readFile(props).find("\nPO #FF0000A0 outline\n"), std::string::npos);
  EXPECT_TRUE(styles[POLY_ROW]->getCurrentItem() == STYLE_OUTLINE && !eyes[POLY_ROW]->getState());
}
