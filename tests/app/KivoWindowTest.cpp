#include "app/KivoWindow.h"

#include <fxkeys.h>
#include <gtest/gtest.h>
#include <X11/Xlib.h>

#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>

#include "io/ClipboardText.h"
#include "io/LayoutFile.h"
#include "support/GuiTest.h"

namespace {

class KivoWindowTest : public testing::Test {
protected:
  void SetUp() override { created = std::chrono::steady_clock::now(), window = kivotest::newWindow(); }
  void TearDown() override { kivotest::deleteWindow(window); }

  // "1" or "0" per control (menu entry and tool bar button) of each id, in the order given.
  std::string enabled(const std::vector<FXSelector>& ids) {
    kivotest::settle();
    std::string text;
    for (FXSelector id : ids)
      for (FXWindow* parent : {(FXWindow*)window->toolbar, (FXWindow*)window->filemenu,
                               (FXWindow*)window->editmenu, (FXWindow*)window->selectmenu})
        for (FXWindow* c = parent->getFirst(); c; c = c->getNext())
          if (c->getSelector() == id && c->getTarget() == window) text += c->isEnabled() ? "1" : "0";
    return text;
  }
  void pressKey(FXuint key, FXuint state = 0) {
    FXEvent event;
    event.code = key, event.state = state;
    for (FXSelType type : {SEL_KEYPRESS, SEL_KEYRELEASE})
      event.type = type, window->getAccelTable()->handle(window, FXSEL(type, 0), &event);
  }
  void command(FXSelector id) { window->handle(window, FXSEL(SEL_COMMAND, id), nullptr); }
  std::string status() const { return window->statusText.text(); }
  std::string records() {
    std::ostringstream out;
    writeLayout(out, window->layout.allLayers());
    return out.str().substr(out.str().find('\n') + 1);
  }
  // Objects on slot 5 and the options slot, the second and third selected.
  void fill() {
    const char text[] = "REC(0,5,4,4,ME)\nREC(10,5,4,4,ME)\nREC(20,5,4,4,OP,0)\n";
    std::vector<PlacedObject> objects = objectsOfClipboardText(text, sizeof text - 1);
    objects[1].node->select(), objects[2].node->select();
    window->layout.addObjects(objects, "3 object(s) added");
  }

  KivoWindow* window = nullptr;
  std::chrono::steady_clock::time_point created;
};

}  // namespace

TEST_F(KivoWindowTest, KeysDeleteMoveAndCancel) {
  // Delete deletes; Ctrl+arrows move the selection by 1, with Shift by 10.
  fill();
  kivotest::settle();
  pressKey(KEY_Right, CONTROLMASK);
  pressKey(KEY_Up, CONTROLMASK | SHIFTMASK);
  pressKey(KEY_Left, CONTROLMASK | SHIFTMASK);
  EXPECT_EQ("REC(0,5,4,4,ME)\nREC(1,15,4,4,ME)\nREC(11,15,4,4,OP,0)\n", records());
  EXPECT_EQ("Undo: 2 object(s) moved", (command(KivoWindow::ID_UNDO), status()));
  EXPECT_EQ("REC(0,5,4,4,ME)\nREC(10,5,4,4,ME)\nREC(20,5,4,4,OP,0)\n", records());
  pressKey(KEY_Delete);
  EXPECT_EQ("REC(0,5,4,4,ME)\n", records());
  // Escape during a drag: nothing is added and the band goes.
  kivotest::canvasPress(window, LEFTBUTTON, 10, 10);
  kivotest::canvasMotion(window, 200, 200);
  pressKey(KEY_Escape);
  EXPECT_EQ(TRACK_NONE, window->mouseRect.getMode());
  kivotest::canvasRelease(window, LEFTBUTTON, 200, 200);
  EXPECT_EQ("REC(0,5,4,4,ME)\n", records());
}

TEST_F(KivoWindowTest, UpdateRulesFollowHistorySelectionAndClipboard) {
  using K = KivoWindow;
  const std::vector<FXSelector> ids = {K::ID_FILE_SAVE, K::ID_UNDO, K::ID_REDO, K::ID_COPY, K::ID_CUT, K::ID_PASTE};
  // Each id has a menu entry and a tool bar button: two digits per id.
  EXPECT_EQ("00" "00" "00" "00" "00" "00", enabled(ids));
  fill();
  EXPECT_EQ("11" "11" "00" "11" "11" "00", enabled(ids));
  command(K::ID_COPY);
  EXPECT_EQ("2 object(s) copied", status());
  EXPECT_EQ("11" "11" "00" "11" "11" "11", enabled(ids));
  command(K::ID_UNDO);
  EXPECT_EQ("Undo: 3 object(s) added", status());
  EXPECT_EQ("00" "00" "11" "00" "00" "11", enabled(ids));  // back at the saved state
  window->singleLayer = true;
  window->currentLayer = 7;
  command(K::ID_REDO);
  EXPECT_EQ("11" "11" "00" "00" "00" "11", enabled(ids));  // nothing selected on slot 7
  EXPECT_EQ("00", enabled({K::ID_GROUP}));
}

TEST_F(KivoWindowTest, CutAndPasteAtThePointerUndoAndRedo) {
  fill();
  window->layout.toggleEnabled(LAYER_OPTIONS);
  command(KivoWindow::ID_CUT);  // the disabled options layer keeps its object
  EXPECT_EQ("1 object(s) cut", status());
  window->layout.toggleEnabled(LAYER_OPTIONS);
  command(KivoWindow::ID_SELECT_ALL);
  command(KivoWindow::ID_COPY);
  kivotest::canvasMotion(window, 100, window->canvas->getHeight() - 50);  // layout point (10, 5)
  window->layout.toggleEnabled(LAYER_OPTIONS);
  command(KivoWindow::ID_PASTE);
  EXPECT_EQ("1 object(s) pasted, 1 refused: layer disabled", status());
  window->layout.toggleEnabled(LAYER_OPTIONS);
  EXPECT_EQ("REC(0,5,4,4,ME)\nREC(10,5,4,4,ME)\nREC(20,5,4,4,OP,0)\n", records());
  EXPECT_EQ(1u, window->layout.selectedCount(5));  // only the pasted copy
  command(KivoWindow::ID_UNDO);
  command(KivoWindow::ID_REDO);
  EXPECT_EQ("Redo: 1 object(s) pasted", status());

  // A paste beyond the coordinate range does nothing and says so.
  window->scale = 1e-9f;
  std::string before = records();
  command(KivoWindow::ID_PASTE);
  EXPECT_EQ("Nothing pasted: the objects would leave the coordinate range", status());
  EXPECT_EQ(before, records());
}

// A message stands for 5 s after the last one, then "Ready" follows.
TEST_F(KivoWindowTest, StatusMessagesStandUntilTheirTimerThenReady) {
  kivotest::settle();
  // The welcome stands for 5 s from the window's making, which on a busy
  // machine may be over before the window is up.
  const std::string shown = window->statusline->getText().text();
  const bool welcomeStands = std::chrono::steady_clock::now() - created < std::chrono::milliseconds(5000);
  EXPECT_TRUE(shown == "Welcome to Kivo" || (!welcomeStands && shown == "Ready")) << shown;
  window->setStatusMessage("first");
  kivotest::app()->addTimeout(window, KivoWindow::ID_STATUS_TIMER, 100);  // as if its 5 s were almost over
  window->setStatusMessage("second");
  EXPECT_LT(4900u, kivotest::app()->remainingTimeout(window, KivoWindow::ID_STATUS_TIMER));
  kivotest::settle();
  EXPECT_STREQ("second", window->statusline->getText().text());
  window->handle(window, FXSEL(SEL_TIMEOUT, KivoWindow::ID_STATUS_TIMER), nullptr);
  kivotest::settle();
  EXPECT_STREQ("Ready", window->statusline->getText().text());
}

static int xErrors = 0;

// Another program offers text of one type: Kivo asks which types are offered
// and requests only one it reads, with no X error nor a wait for an answer
// that never comes.
TEST_F(KivoWindowTest, PasteRequestsOnlyATypeTheOwnerOffers) {
  Display* display = (Display*)kivotest::app()->getDisplay();
  const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
  const std::string none = "Nothing to paste: the clipboard holds no layout objects";
  const struct { const char *text, *type; std::string said; } rows[] = {
      {"hello world", "UTF8_STRING", none}, {"\\377\\376\\000\\001", "UTF8_STRING", none},
      {"bad \\303\\050", "STRING", none}, {"REC(1,2,3,4,ME)", "image/png", none},
      {"REC(1,2,3,4,ME)", "STRING", "1 object(s) pasted"}};
  kivotest::canvasMotion(window, 0, window->canvas->getHeight());  // layout point (0, 0)
  for (const auto& row : rows) {
    XSetSelectionOwner(display, clipboard, None, CurrentTime), XSync(display, False);
    const std::string offer = "printf '" + std::string(row.text) + "' | DISPLAY=" + kivotest::display() +
                              " timeout 20 xclip -quiet -i -selection clipboard -t " + row.type + " >/dev/null 2>&1 &";
    ASSERT_EQ(0, system(offer.c_str()));
    for (int i = 0; i < 4000 && XGetSelectionOwner(display, clipboard) == None; i++) usleep(5000);
    ASSERT_NE((Window)None, XGetSelectionOwner(display, clipboard)) << "xclip did not start";
    xErrors = 0;
    XErrorHandler foxHandler = XSetErrorHandler([](Display*, XErrorEvent*) { return ++xErrors, 0; });
    command(KivoWindow::ID_PASTE);
    XSetErrorHandler(foxHandler);
    EXPECT_EQ(row.said + "|0", status() + "|" + std::to_string(xErrors)) << row.text << " as " << row.type;
  }
  EXPECT_EQ("REC(0,0,3,4,ME)\n", records());
}

TEST_F(KivoWindowTest, CopyToAnotherWindowKeepsInstancesAndRenamesCellsOfOtherContent) {
  fill();
  ASSERT_EQ(window->layout.groupSelected("INV"), Layout::GROUP_DONE);
  command(KivoWindow::ID_COPY);
  KivoWindow* other = kivotest::newWindow();
  GroupNode* own = newLayoutObject(5);
  own->setRect(0, 0, 1, 1), own->select();
  other->layout.addObjects({{5, own}}, "added");
  ASSERT_EQ(other->layout.groupSelected("INV"), Layout::GROUP_DONE);  // another INV
  other->layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
  for (int paste = 0; paste < 2; paste++) other->handle(other, FXSEL(SEL_COMMAND, KivoWindow::ID_PASTE), nullptr);
  EXPECT_EQ(other->statusText, "1 object(s) pasted");
  // Pasted twice, made once: INV$1 holds the copied cell's two objects.
  ASSERT_EQ(other->layout.cellCount(), 3u);
  const Cell& pasted = other->layout.cell(2);
  EXPECT_EQ(pasted.name(), "INV$1");
  EXPECT_EQ(pasted.ownCount(), 2u);
  const Instance* last = static_cast<const Instance*>(other->layout.instances().first()->next()->next());
  EXPECT_EQ(last->cell, 2u);
  other->layout.undo(), other->layout.undo();
  EXPECT_EQ(other->layout.cellCount(), 2u);
  kivotest::deleteWindow(other);

  // In the same window the copy keeps its cell though Group is undone and
  // another INV of other content takes its place.
  window->layout.undo();
  window->layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
  window->layout.applySelection(-1, OP_SELECT, MATCH_ALL, nullptr);
  ASSERT_EQ(window->layout.groupSelected("INV"), Layout::GROUP_DONE);
  ASSERT_EQ(window->layout.cell(1).ownCount(), 3u);
  command(KivoWindow::ID_PASTE);
  ASSERT_EQ(window->layout.cellCount(), 3u);
  EXPECT_EQ(window->layout.cell(2).name(), "INV$1");
  EXPECT_EQ(window->layout.cell(2).ownCount(), 2u);
}
