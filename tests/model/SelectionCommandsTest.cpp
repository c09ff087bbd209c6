// Delete, Select All, Select None and Invert on a real window.
#include <gtest/gtest.h>

#include "app/KivoWindow.h"
#include "support/GuiTest.h"

// Over every enabled layer, or over the current layer alone in single-layer
// mode (the current layer of each step, -1 for all); a disabled layer takes
// no part.
TEST(SelectionCommands, CountAllEnabledLayersOrTheCurrentOne) {
  KivoWindow* window = kivotest::newWindow();
  for (int slot : {0, 1, 4, 5, 5}) {
    GroupNode* node = newLayoutObject(slot);
    node->setRect(0, 10, 20, 20);
    if (slot == 4) node->select();  // kept through Delete: its layer is disabled
    window->layout.addObjects({{slot, node}}, "1 object added");
  }
  window->layout.toggleEnabled(4);
  struct Step { int current; FXSelector id; const char* status; };
  const Step steps[] = {
      {-1, KivoWindow::ID_SELECT_INVERT, "4 object(s) selection changed"},
      {5, KivoWindow::ID_SELECT_NONE, "2 object(s) deselected"},
      {5, KivoWindow::ID_DELETE, "0 object(s) deleted"},
      {-1, KivoWindow::ID_SELECT_ALL, "4 object(s) selected"},
      {-1, KivoWindow::ID_DELETE, "4 object(s) deleted"},
      {-1, KivoWindow::ID_UNDO, "Undo: 4 object(s) deleted"},
  };
  for (const Step& s : steps) {
    window->singleLayer = s.current >= 0;
    window->currentLayer = s.current >= 0 ? s.current : 1;
    window->handle(nullptr, FXSEL(SEL_COMMAND, s.id), nullptr);
    EXPECT_EQ(window->statusText.text(), std::string(s.status)) << &s - steps;
  }
  EXPECT_EQ(window->layout.selectedCount(-1), 4u);
  EXPECT_EQ(window->layout.layer(4).size(), 1u);
  kivotest::deleteWindow(window);
}
