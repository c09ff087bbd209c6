// The main window's Layers command and the panel's ways of closing.
#include <fxkeys.h>
#include <gtest/gtest.h>

#include "app/KivoWindow.h"
#include "panels/LayerDlg.h"
#include "support/GuiTest.h"

namespace {

class LayerCommandsTest : public testing::Test {
protected:
  void SetUp() override {
    window = kivotest::newWindow();
    window->layerDlg->create();
    menuEntry = findLayersEntry(window->viewmenu);
    toolButton = findLayersEntry(window->toolbar);
  }
  void TearDown() override { kivotest::deleteWindow(window); }

  FXWindow* findLayersEntry(FXWindow* parent) {
    for (FXWindow* child = parent->getFirst(); child; child = child->getNext())
      if (child->getSelector() == KivoWindow::ID_LAYERS) return child;
    return nullptr;
  }
  void layers() {
    window->handle(nullptr, FXSEL(SEL_COMMAND, KivoWindow::ID_LAYERS), nullptr);
    kivotest::settle();
  }
  // The panel's state as the Layers entry and button show it.
  void expectShown(bool shown) {
    EXPECT_EQ(window->layerDlg->shown(), shown);
    ASSERT_NE(toolButton, nullptr);
    EXPECT_EQ(static_cast<FXButton*>(toolButton)->getState(), shown ? STATE_ENGAGED : STATE_UP);
    FXMenuCheck* check = dynamic_cast<FXMenuCheck*>(menuEntry);
    ASSERT_NE(check, nullptr) << "the Layers menu entry cannot show a check mark";
    EXPECT_EQ(check->getCheck(), shown);
  }

  KivoWindow* window = nullptr;
  FXWindow* menuEntry = nullptr;
  FXWindow* toolButton = nullptr;
};

TEST_F(LayerCommandsTest, LayersCommandShowsAndHidesPanel) {
  expectShown(false);
  layers();
  expectShown(true);
  layers();
  expectShown(false);
}

// Keyboard shortcuts keep reaching the main window while the panel is open.
TEST_F(LayerCommandsTest, UpdateGivesFocusBackToMainWindow) {
  layers();
  window->layerDlg->setFocus();
  kivotest::runFor(100);
  kivotest::settle();
  EXPECT_TRUE(window->hasFocus());
  EXPECT_FALSE(window->layerDlg->hasFocus());
}

TEST_F(LayerCommandsTest, EscapeAndCloseRequestHidePanel) {
  layers();
  FXEvent key;
  key.type = SEL_KEYPRESS;
  key.time = 0;
  key.state = 0;
  key.code = KEY_Escape;
  key.text = "";
  window->layerDlg->handle(window, FXSEL(SEL_KEYPRESS, 0), &key);
  kivotest::settle();
  expectShown(false);

  layers();
  expectShown(true);
  window->layerDlg->handle(window, FXSEL(SEL_CLOSE, 0), nullptr);
  kivotest::settle();
  expectShown(false);
}

}  // namespace
