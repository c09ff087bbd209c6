// Delete, Select All, Select None and Invert on a real window.
#include <gtest/gtest.h>

#include "app/KivoWindow.h"
#include "support/GuiTest.h"

// Over every enabled layer, or over the current layer alone in single-layer
// mode (the current layer of each step, -1 for all); a disabled layer takes
// no part.
TEST(SelectionCommands, CountAllEnabledLayersOrTheCurrentOne) {
  KivoWindow* window = kivotest::newWindow();
  const struct { int slot, x; bool selected; } objects[] = {{0, 0, true}, {1, 0, false}, {5, 0, true}, {5, 30, false},
                                                             {4, 0, true}};
  for (const auto& o : objects) {
    GroupNode* node = newLayoutObject(o.slot);
    node->setRect(o.x, 10, 20, 20);
    if (o.selected) node->select();
    window->layout.addObjects({{o.slot, node}}, "1 object added");
  }
  window->layout.toggleEnabled(4);
  struct Step { int current; FXSelector id; const char* status; };
  const Step steps[] = {
      {-1, KivoWindow::ID_SELECT_INVERT, "4 object(s) selection changed"},
      {-1, KivoWindow::ID_SELECT_NONE, "4 object(s) deselected"},
      {-1, KivoWindow::ID_SELECT_ALL, "4 object(s) selected"},
      {5, KivoWindow::ID_SELECT_NONE, "2 object(s) deselected"},
      {5, KivoWindow::ID_DELETE, "0 object(s) deleted"},
      {5, KivoWindow::ID_SELECT_ALL, "2 object(s) selected"},
      {5, KivoWindow::ID_DELETE, "2 object(s) deleted"},
      {-1, KivoWindow::ID_DELETE, "2 object(s) deleted"},  // slots 0 and 1
      {-1, KivoWindow::ID_UNDO, "Undo: 2 object(s) deleted"},
  };
  for (const Step& s : steps) {
    window->singleLayer = s.current >= 0;
    window->currentLayer = s.current >= 0 ? s.current : 1;
    window->handle(nullptr, FXSEL(SEL_COMMAND, s.id), nullptr);
    EXPECT_EQ(window->statusText.text(), std::string(s.status)) << &s - steps;
  }
  EXPECT_EQ(window->layout.selectedCount(-1), 2u);
  EXPECT_TRUE(window->layout.layer(4).size() == 1 && window->layout.layer(4).first()->isSelected());
  kivotest::deleteWindow(window);
}
