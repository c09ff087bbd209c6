#include "app/KivoWindow.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "panels/LayerDlg.h"
#include "support/GuiTest.h"

namespace {

class KivoWindowTest : public testing::Test {
protected:
  void SetUp() override { window = kivotest::newWindow(); }
  void TearDown() override { kivotest::deleteWindow(window); }

  std::vector<FXWindow*> children(FXWindow* parent) const {
    std::vector<FXWindow*> all;
    for (FXWindow* c = parent->getFirst(); c; c = c->getNext()) all.push_back(c);
    return all;
  }
  FXButton* toolbarButton(FXSelector id) const {
    for (FXWindow* c : children(window->toolbar))
      if (c->getSelector() == id) return dynamic_cast<FXButton*>(c);
    return nullptr;
  }
  // Every menu command reachable from the menu bar, with the pane it is in.
  std::vector<FXMenuCommand*> menuCommands(FXMenuPane* pane) const {
    std::vector<FXMenuCommand*> all;
    for (FXWindow* c : children(pane))
      if (FXMenuCommand* command = dynamic_cast<FXMenuCommand*>(c)) all.push_back(command);
    return all;
  }
  FXMenuCommand* menuCommand(FXSelector id) const {
    for (FXMenuPane* pane : {window->filemenu, window->editmenu, window->selectmenu, window->viewmenu,
                             window->helpmenu})
      for (FXMenuCommand* command : menuCommands(pane))
        if (command->getSelector() == id) return command;
    return nullptr;
  }
  void pressKey(const char* accel) {
    FXHotKey hotkey = parseAccel(accel);
    FXEvent event;
    event.type = SEL_KEYPRESS;
    event.code = FXSELID(hotkey);
    event.state = FXSELTYPE(hotkey);
    window->getAccelTable()->handle(window, FXSEL(SEL_KEYPRESS, 0), &event);
    event.type = SEL_KEYRELEASE;
    window->getAccelTable()->handle(window, FXSEL(SEL_KEYRELEASE, 0), &event);
  }

  KivoWindow* window = nullptr;
};

}  // namespace

TEST_F(KivoWindowTest, WindowAndWidgetTree) {
  EXPECT_STREQ(window->getTitle().text(), "Kivo");
  EXPECT_EQ(window->getX(), 0);
  EXPECT_EQ(window->getY(), 0);
  EXPECT_EQ(window->getWidth(), 700);
  EXPECT_EQ(window->getHeight(), 500);
  EXPECT_EQ(window->getIcon(), window->icons[27]);

  std::vector<FXWindow*> top = children(window);
  ASSERT_EQ(top.size(), 5u);
  EXPECT_EQ(top[0], window->menubar);
  EXPECT_TRUE(dynamic_cast<FXHorizontalSeparator*>(top[1]));
  EXPECT_EQ(top[2], window->toolbar);
  EXPECT_EQ(top[3], window->statusbar);
  EXPECT_EQ(window->canvas->getParent(), top[4]);
  // Top to bottom: menu bar, rule, tool bar, canvas, status bar.
  EXPECT_LT(window->menubar->getY(), top[1]->getY());
  EXPECT_LT(top[1]->getY(), window->toolbar->getY());
  EXPECT_LT(window->toolbar->getY(), top[4]->getY());
  EXPECT_LT(top[4]->getY(), window->statusbar->getY());

  std::vector<FXWindow*> tools = children(window->toolbar);
  ASSERT_EQ(tools.size(), 22u);
  const std::vector<int> gaps = {3, 7, 9, 12, 16, 19};
  for (int i = 0; i < 22; i++) {
    bool gap = std::find(gaps.begin(), gaps.end(), i) != gaps.end();
    if (gap) {
      EXPECT_STREQ(tools[i]->getClassName(), "FXFrame") << i;
      EXPECT_EQ(tools[i]->getWidth(), 8) << i;
    } else {
      EXPECT_TRUE(dynamic_cast<FXButton*>(tools[i]) || dynamic_cast<FXToggleButton*>(tools[i])) << i;
    }
  }
  FXToggleButton* toggle = dynamic_cast<FXToggleButton*>(tools[21]);
  ASSERT_NE(toggle, nullptr);
  EXPECT_EQ(toggle->getIcon(), window->icons[22]);
  EXPECT_EQ(toggle->getAltIcon(), window->icons[33]);
  EXPECT_EQ(toggle->getState(), FALSE);

  // The status bar reads: status line, "layer:", the current layer, "size:",
  // height, width, "position:", X, Y.
  std::vector<FXWindow*> readOrder = {window->statusline};
  std::map<std::string, FXWindow*> captions;
  for (FXWindow* c : children(window->statusbar))
    if (FXLabel* label = dynamic_cast<FXLabel*>(c)) captions[label->getText().text()] = c;
  ASSERT_TRUE(captions.count("size:") && captions.count("position:") && captions.count("layer:"));
  readOrder.insert(readOrder.end(), {captions["layer:"], window->layerLabel, captions["size:"], window->heightLabel, window->widthLabel,
                                     captions["position:"], window->posXLabel, window->posYLabel});
  for (size_t i = 1; i < readOrder.size(); i++) EXPECT_LT(readOrder[i - 1]->getX(), readOrder[i]->getX()) << i;
  for (FXLabel* value : {window->posXLabel, window->posYLabel, window->widthLabel, window->heightLabel}) {
    EXPECT_STREQ(value->getText().text(), " ");
  }
  EXPECT_FALSE(window->layerDlg->shown());
}

TEST_F(KivoWindowTest, MenuEntriesHaveTheirTextsIconsAndCommands) {
  struct Entry {
    FXMenuPane* pane;
    const char* label;
    const char* accel;
    const char* help;
    int icon;  // -1: none
    FXSelector id;
  };
  const Entry entries[] = {
    {window->filemenu, "&New...", "Ctl-N", "Create new file", 23, KivoWindow::ID_FILE_NEW},
    {window->filemenu, "&Open...", "Ctl-O", "Open file from disk", 24, KivoWindow::ID_FILE_OPEN},
    {window->filemenu, "&Save", "Ctl-S", "Save file to disk", 31, KivoWindow::ID_FILE_SAVE},
    {window->filemenu, "Save &As...", "", "Save file to disk as", -1, KivoWindow::ID_FILE_SAVEAS},
    {window->filemenu, "&Quit", "", "Quit program", -1, KivoWindow::ID_QUIT},
    {window->editmenu, "&Single-layer", "Ctl-M", "Single-layer mode", -1, KivoWindow::ID_SINGLE_LAYER},
    {window->editmenu, "&Undo", "Ctl-Z", "Undo last action", 35, KivoWindow::ID_UNDO},
    {window->editmenu, "&Redo", "Ctl-Y", "Redo last action", 30, KivoWindow::ID_REDO},
    {window->editmenu, "Copy", "Ctl-C", "Copy selected to clipboard", 1, KivoWindow::ID_COPY},
    {window->editmenu, "Cut", "Ctl-X", "Cut selected to clipboard", 2, KivoWindow::ID_CUT},
    {window->editmenu, "Paste", "Ctl-V", "Paste from clipboard", 26, KivoWindow::ID_PASTE},
    {window->editmenu, "Delete", "Ctl-D", "Delete selected", 3, KivoWindow::ID_DELETE},
    {window->editmenu, "&Group", "Ctl-G", "Group selected", 6, KivoWindow::ID_GROUP},
    {window->editmenu, "&Ungroup", "Ctl-U", "Ungroup selected", 36, KivoWindow::ID_UNGROUP},
    {window->selectmenu, "&All", "Ctl-A", "Select all", -1, KivoWindow::ID_SELECT_ALL},
    {window->selectmenu, "&None", "Ctl-E", "Select none", -1, KivoWindow::ID_SELECT_NONE},
    {window->selectmenu, "&Invert", "Ctl-I", "Invert selection", -1, KivoWindow::ID_SELECT_INVERT},
    {window->viewmenu, "Zoom &In", "Q", "Zoom In", 42, KivoWindow::ID_ZOOM_IN},
    {window->viewmenu, "Zoom &Out", "Z", "Zoom Out", 41, KivoWindow::ID_ZOOM_OUT},
    {window->viewmenu, " &Show All", "A", "Show All", 40, KivoWindow::ID_SHOW_ALL},
    {window->viewmenu, "Move Up", "E", "Move Up", -1, KivoWindow::ID_MOVE_UP},
    {window->viewmenu, "Move Down", "D", "Move Down", -1, KivoWindow::ID_MOVE_DOWN},
    {window->viewmenu, "Move Left", "S", "Move Left", -1, KivoWindow::ID_MOVE_LEFT},
    {window->viewmenu, "Move Right", "F", "Move Right", -1, KivoWindow::ID_MOVE_RIGHT},
    {window->viewmenu, "&Layers", "Ctl-L", "Show/hide layers list", 20, KivoWindow::ID_LAYERS},
    {window->helpmenu, "&About", "", "Show some info about program", -1, KivoWindow::ID_ABOUT},
  };
  std::map<FXMenuPane*, size_t> seen;
  for (const Entry& e : entries) {
    std::vector<FXMenuCommand*> commands = menuCommands(e.pane);
    ASSERT_LT(seen[e.pane], commands.size()) << e.label;
    FXMenuCommand* command = commands[seen[e.pane]++];
    FXString label(e.label);
    label.substitute("&", "");  // the toolkit keeps the mnemonic apart
    EXPECT_STREQ(command->getText().text(), label.text());
    EXPECT_STREQ(command->getAccelText().text(), e.accel) << e.label;
    EXPECT_STREQ(command->getHelpText().text(), e.help) << e.label;
    EXPECT_EQ(command->getIcon(), e.icon < 0 ? nullptr : window->icons[e.icon]) << e.label;
    EXPECT_EQ(command->getSelector(), e.id) << e.label;
    EXPECT_EQ(command->getTarget(), window) << e.label;
  }
  for (const auto& [pane, count] : seen) EXPECT_EQ(menuCommands(pane).size(), count);

  std::vector<std::string> titles;
  for (FXWindow* c : children(window->menubar))
    if (FXMenuTitle* title = dynamic_cast<FXMenuTitle*>(c)) titles.push_back(title->getText().text());
  EXPECT_EQ(titles, (std::vector<std::string>{"File", "Edit", "View", "Help"}));
}

TEST_F(KivoWindowTest, AcceleratorsSendTheirCommands) {
  struct Key {
    const char* accel;
    FXSelector id;
  };
  const Key keys[] = {
    {"Ctl-N", KivoWindow::ID_FILE_NEW},    {"Ctl-O", KivoWindow::ID_FILE_OPEN},
    {"Ctl-S", KivoWindow::ID_FILE_SAVE},   {"Ctl-M", KivoWindow::ID_SINGLE_LAYER},
    {"Ctl-D", KivoWindow::ID_DELETE},      {"Ctl-A", KivoWindow::ID_SELECT_ALL},
    {"Ctl-E", KivoWindow::ID_SELECT_NONE}, {"Ctl-I", KivoWindow::ID_SELECT_INVERT},
    {"Q", KivoWindow::ID_ZOOM_IN},         {"Z", KivoWindow::ID_ZOOM_OUT},
    {"A", KivoWindow::ID_SHOW_ALL},        {"E", KivoWindow::ID_MOVE_UP},
    {"D", KivoWindow::ID_MOVE_DOWN},       {"S", KivoWindow::ID_MOVE_LEFT},
    {"F", KivoWindow::ID_MOVE_RIGHT},      {"Ctl-L", KivoWindow::ID_LAYERS},
    {"Ctl-Z", KivoWindow::ID_UNDO},        {"Ctl-Y", KivoWindow::ID_REDO},
    {"Ctl-C", KivoWindow::ID_COPY},        {"Ctl-X", KivoWindow::ID_CUT},
    {"Ctl-V", KivoWindow::ID_PASTE},       {"Ctl-G", KivoWindow::ID_GROUP},
    {"Ctl-U", KivoWindow::ID_UNGROUP},
  };
  FXAccelTable* table = window->getAccelTable();
  for (const Key& k : keys) {
    FXObject* target = table->targetOfAccel(parseAccel(k.accel));
    FXMenuCommand* command = dynamic_cast<FXMenuCommand*>(target);
    ASSERT_NE(command, nullptr) << k.accel;
    EXPECT_EQ(command->getSelector(), k.id) << k.accel;
  }
  EXPECT_FALSE(table->hasAccel(parseAccel("Ctl-P")));

  // Dispatched through the table, Ctl-M switches the mode back and forth.
  kivotest::settle();
  pressKey("Ctl-M");
  EXPECT_TRUE(window->singleLayer);
  pressKey("Ctl-M");
  EXPECT_FALSE(window->singleLayer);
  // The never-available commands' keys change nothing.
  for (const char* accel : {"Ctl-C", "Ctl-X", "Ctl-V", "Ctl-Z", "Ctl-Y", "Ctl-G", "Ctl-U"}) pressKey(accel);
  EXPECT_TRUE(window->saved);
  EXPECT_FALSE(window->singleLayer);
}

TEST_F(KivoWindowTest, UpdateRulesGreyAndCheckTheControls) {
  kivotest::settle();
  EXPECT_FALSE(toolbarButton(KivoWindow::ID_FILE_SAVE)->isEnabled());
  EXPECT_FALSE(menuCommand(KivoWindow::ID_FILE_SAVE)->isEnabled());
  EXPECT_TRUE(menuCommand(KivoWindow::ID_FILE_SAVEAS)->isEnabled());
  window->saved = false;
  kivotest::settle();
  EXPECT_TRUE(toolbarButton(KivoWindow::ID_FILE_SAVE)->isEnabled());
  EXPECT_TRUE(menuCommand(KivoWindow::ID_FILE_SAVE)->isEnabled());
  window->saved = true;
  kivotest::settle();
  EXPECT_FALSE(toolbarButton(KivoWindow::ID_FILE_SAVE)->isEnabled());

  for (FXSelector id : {KivoWindow::ID_COPY, KivoWindow::ID_CUT, KivoWindow::ID_PASTE, KivoWindow::ID_UNDO,
                        KivoWindow::ID_REDO, KivoWindow::ID_GROUP, KivoWindow::ID_UNGROUP}) {
    EXPECT_FALSE(toolbarButton(id)->isEnabled()) << id;
    EXPECT_FALSE(menuCommand(id)->isEnabled()) << id;
  }
  EXPECT_TRUE(toolbarButton(KivoWindow::ID_DELETE)->isEnabled());

  // The mode follows from the menu entry, the tool bar toggle and the key.
  FXToggleButton* toggle = dynamic_cast<FXToggleButton*>(children(window->toolbar).back());
  FXMenuCheck* entry = dynamic_cast<FXMenuCheck*>(menuCommand(KivoWindow::ID_SINGLE_LAYER));
  ASSERT_NE(entry, nullptr);
  auto expectMode = [&](bool on) {
    kivotest::settle();
    EXPECT_EQ(window->singleLayer, on);
    EXPECT_EQ(toggle->getState(), on ? TRUE : FALSE);
    EXPECT_EQ(entry->getCheck(), on ? TRUE : FALSE);
  };
  entry->handle(entry, FXSEL(SEL_COMMAND, FXMenuCommand::ID_ACCEL), nullptr);
  expectMode(true);
  FXEvent click;
  click.win_x = click.win_y = 5;
  click.click_count = 1;
  click.code = LEFTBUTTON;
  click.state = 0;
  toggle->handle(toggle, FXSEL(SEL_LEFTBUTTONPRESS, 0), &click);
  toggle->handle(toggle, FXSEL(SEL_LEFTBUTTONRELEASE, 0), &click);
  expectMode(false);
  pressKey("Ctl-M");
  expectMode(true);
}

TEST_F(KivoWindowTest, StatusLineShowsTimedMessagesThenReady) {
  kivotest::settle();
  EXPECT_STREQ(window->statusline->getText().text(), "Welcome to Kivo");
  kivotest::runFor(5300);
  kivotest::settle();
  EXPECT_STREQ(window->statusline->getText().text(), "Ready");

  window->setStatusMessage("first");
  kivotest::runFor(3000);
  kivotest::settle();
  EXPECT_STREQ(window->statusline->getText().text(), "first");
  window->setStatusMessage("second");
  kivotest::runFor(4000);  // 7 s after the first: the second still stands
  kivotest::settle();
  EXPECT_STREQ(window->statusline->getText().text(), "second");
  kivotest::runFor(1300);
  kivotest::settle();
  EXPECT_STREQ(window->statusline->getText().text(), "Ready");
}

TEST_F(KivoWindowTest, AboutBoxShowsTheVersion) {
  kivotest::ModalResponder responder;
  responder.pressButton(MBOX_CLICKED_OK);
  window->handle(window, FXSEL(SEL_COMMAND, KivoWindow::ID_ABOUT), nullptr);
  ASSERT_EQ(responder.records().size(), 1u);
  EXPECT_EQ(responder.records()[0].kind, "message");
  EXPECT_EQ(responder.records()[0].title, "About");
  EXPECT_EQ(responder.records()[0].text.substr(0, 12), "Kivo 0.0.1b\n");
  EXPECT_TRUE(window->saved);
}
