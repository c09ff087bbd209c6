// Group's name box, the cells panel's tree, opening a cell and Back, on a
// real main window.
#include <fxkeys.h>
#include <gtest/gtest.h>

#include <string>

#include "app/KivoWindow.h"
#include "panels/CellsPanel.h"
#include "support/GuiTest.h"

namespace {

// The rows of a tree two levels deep, children indented.
std::string rows(FXTreeList* tree) {
  std::string out;
  for (FXTreeItem* top = tree->getFirstItem(); top; top = top->getNext()) {
    out += std::string(top->getText().text()) + "\n";
    for (FXTreeItem* child = top->getFirst(); child; child = child->getNext())
      out += std::string("  ") + child->getText().text() + "\n";
  }
  return out;
}

// Answer the Group box with a name, noting what it offered.
void answerName(kivotest::ModalResponder& responder, const char* name, std::string* offered = nullptr) {
  responder.custom([=](FXWindow* modal) {
    FXInputDialog* box = dynamic_cast<FXInputDialog*>(modal);
    ASSERT_TRUE(box);
    if (offered) *offered = box->getText().text();
    box->setText(name);
    modal->handle(modal, FXSEL(SEL_COMMAND, name[0] ? FXDialogBox::ID_ACCEPT : FXDialogBox::ID_CANCEL), nullptr);
  });
}

class CellsPanelTest : public testing::Test {
protected:
  void SetUp() override { window = kivotest::newWindow(); }
  void TearDown() override { kivotest::deleteWindow(window); }
  void command(FXSelector id) {
    window->handle(nullptr, FXSEL(SEL_COMMAND, id), nullptr);
    kivotest::settle();
  }
  void addBox(int32_t x) {
    GroupNode* node = newLayoutObject(5);
    node->setRect(x, 0, 10, 10);
    node->select();
    window->layout.addObjects({{5, node}}, "added");
  }
  KivoWindow* window = nullptr;
};

}  // namespace

TEST_F(CellsPanelTest, GroupAsksForAFreeNameAndThePanelOpensCellsAndGoesBack) {
  addBox(0);
  std::string offered;
  {
    kivotest::ModalResponder responder;
    answerName(responder, "INV", &offered);
    command(KivoWindow::ID_GROUP);
    EXPECT_EQ(responder.pending(), 0u);
    EXPECT_EQ(responder.records().at(0).title, "Group");
  }
  EXPECT_EQ(offered, "CELL1");
  EXPECT_EQ(window->statusText, "Grouped into cell INV");
  addBox(50);
  {
    // A taken name is refused with a message, and the box asks again.
    kivotest::ModalResponder responder;
    answerName(responder, "INV");
    responder.pressButton(MBOX_CLICKED_OK);
    answerName(responder, "");
    command(KivoWindow::ID_GROUP);
    ASSERT_EQ(responder.records().size(), 3u);
    EXPECT_EQ(responder.records()[1].text, "A cell named INV already exists.\nChoose another name.");
    EXPECT_EQ(window->layout.cellCount(), 2u);
  }

  for (FXuint key : {KEY_g, KEY_u, KEY_k}) EXPECT_TRUE(window->getAccelTable()->hasAccel(MKUINT(key, CONTROLMASK)));
  command(KivoWindow::ID_CELLS);
  CellsPanel* panel = window->cellsPanel;
  EXPECT_TRUE(panel->shown());
  EXPECT_EQ(rows(panel->tree()), "TOP (0)\n  INV (1)\n");
  FXTreeItem* inv = panel->tree()->getFirstItem()->getFirst();
  FXTreeList* tree = panel->tree();
  tree->getTarget()->handle(tree, FXSEL(SEL_DOUBLECLICKED, tree->getSelector()), inv);
  kivotest::settle();
  EXPECT_EQ(window->layout.cell(window->layout.shownCell()).name(), "INV");
  EXPECT_EQ(window->getTitle(), "Kivo - INV");
  EXPECT_EQ(window->layout.layer(5).size(), 1u);

  // Back, found as the user sees it: the panel's first button.
  FXButton* back = dynamic_cast<FXButton*>(panel->getFirst()->getFirst());
  ASSERT_TRUE(back && back->isEnabled());
  back->getTarget()->handle(back, FXSEL(SEL_COMMAND, back->getSelector()), nullptr);
  kivotest::settle();
  EXPECT_EQ(window->layout.shownCell(), 0u);
  EXPECT_EQ(window->getTitle(), "Kivo");
  EXPECT_FALSE(back->isEnabled());
  command(KivoWindow::ID_CELLS);
  EXPECT_FALSE(panel->shown());
}
