// New, Open, Save, Save As, Quit and the close box, driven in process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "app/KivoWindow.h"
#include "io/Gdsii.h"
#include "io/LayoutFile.h"
#include "model/Shapes.h"
#include "support/GuiTest.h"

using kivotest::ModalRecord;
using kivotest::ModalResponder;

namespace {

const std::string twoRecords = "BB(0,0,30,30)\nREC(0,0,10,10,NW)\nREC(20,20,10,10,OP,5)\n";

// The answer to one dialog: a button to press, a file to choose ("" cancels) or an action.
struct Answer {
  enum { CHOOSE_FILE = ~0u };
  Answer(FXuint button) : button(button) {}
  Answer(std::string file) : button(CHOOSE_FILE), file(std::move(file)) {}
  Answer(const char* file) : Answer(std::string(file)) {}
  Answer(std::function<void(FXWindow*)> action) : action(std::move(action)) {}
  FXuint button = 0;
  std::string file;
  std::function<void(FXWindow*)> action;
};

std::string said(const ModalRecord& r) { return r.title + "|" + r.text; }

class FileCommands : public testing::Test {
protected:
  void SetUp() override { dir = kivotest::tempDir(), window = kivotest::newWindow(); }
  void TearDown() override { kivotest::deleteWindow(window); }

  void command(FXSelector id) { window->handle(window, FXSEL(SEL_COMMAND, id), nullptr); }
  // Runs an action with its dialogs answered in order; every answer must be used.
  std::vector<ModalRecord> answering(const std::vector<Answer>& answers, std::function<void()> action) {
    ModalResponder responder;
    for (const Answer& a : answers)
      a.action ? responder.custom(a.action)
               : a.button == Answer::CHOOSE_FILE ? responder.chooseFile(a.file) : responder.pressButton(a.button);
    action();
    EXPECT_EQ(0u, responder.pending());
    return responder.records();
  }
  std::vector<ModalRecord> run(FXSelector id, const std::vector<Answer>& answers = {}) {
    return answering(answers, [&] { command(id); });
  }
  // "0" when the action asked the application to exit, "77" when the program stayed, then the texts of the dialogs shown.
  std::string quitting(std::function<void()> action, const std::vector<Answer>& answers = {}) {
    const int before = kivotest::exitRequests();
    std::string result;
    for (const ModalRecord& r : answering(answers, action)) result += "|" + r.text;
    return (kivotest::exitRequests() > before ? "0" : "77") + result;
  }
  // An edit as the mouse makes it: one object more, unsaved.
  void addObject(int slot = 5) { Box* b = new Box; b->setRect(1, 2, 3, 4); window->layout.addObjects({{slot, b}}, "1 object added"); }
  long objects() const { long n = 0; for (int i = 0; i < LAYER_COUNT; i++) n += window->layout.layer(i).size(); return n; }
  std::string written() const { std::ostringstream out; writeLayout(out, window->layout.allLayers()); return out.str(); }
  // Content, file name, modified and untitled, enabled layers: what a failed or cancelled command must leave alone.
  std::string state() const {
    int enabled = 0;
    for (int i = 0; i < LAYER_COUNT; i++) enabled += window->layout.layer(i).isEnabled();
    return written() + "|" + window->layout.fileName().text() + "|" + std::to_string(window->layout.isModified()) +
           std::to_string(window->layout.isUntitled()) + "|" + std::to_string(enabled);
  }
  std::string dir;
  KivoWindow* window = nullptr;
};

TEST_F(FileCommands, NewAndOpenReplaceTheLayoutAndEnableEveryLayer) {
  addObject();
  window->layout.markSaved("/somewhere/else.msk", FORMAT_MSK);
  window->layout.toggleEnabled(5);
  EXPECT_TRUE(run(KivoWindow::ID_FILE_NEW).empty());  // unchanged: nothing to ask
  EXPECT_EQ("BB(0,0,0,0)\n|untitled.msk|01|" + std::to_string(LAYER_COUNT), state());
  kivotest::writeFile(dir + "/in.msk", twoRecords);
  addObject();
  window->layout.toggleEnabled(1);
  std::vector<ModalRecord> shown = run(KivoWindow::ID_FILE_OPEN, {MBOX_CLICKED_NO, dir + "/in.msk"});
  EXPECT_EQ("Load Layout File", shown.at(1).title);
  EXPECT_EQ(twoRecords + "|" + dir + "/in.msk|01|" + std::to_string(LAYER_COUNT), state());  // a freshly opened file counts as saved
  EXPECT_EQ("active file " + dir + "/in.msk", window->statusText.text());
}

TEST_F(FileCommands, SaveFirstAnswersDecideWhetherNewGoesOn) {
  const std::string saved = dir + "/saved.msk";
  const struct { std::vector<Answer> answers; bool emptied; } rows[] = {{{MBOX_CLICKED_CANCEL}, false}, {{0u}, false},
      {{MBOX_CLICKED_YES, ""}, false}, {{MBOX_CLICKED_NO}, true}, {{MBOX_CLICKED_YES, saved}, true}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answers[0].button);
    window->layout.markSaved(window->layout.fileName(), FORMAT_MSK);
    command(KivoWindow::ID_FILE_NEW);
    addObject();
    std::string before = written();
    std::vector<ModalRecord> shown = run(KivoWindow::ID_FILE_NEW, row.answers);
    EXPECT_EQ("Warning!|Save First?", said(shown.at(0)));
    EXPECT_EQ(row.emptied ? 0 : 1, objects());
    EXPECT_EQ(row.emptied, !window->layout.isModified());
    if (row.answers.size() == 2 && row.emptied) { EXPECT_EQ(before, kivotest::readFile(saved)); }
  }
}

// A failed Open or Save says why and leaves the layout, its name and flags.
TEST_F(FileCommands, FailedOpenOrSaveSaysWhyAndChangesNothing) {
  addObject();
  const std::string missing = dir + "/100%s%n.msk", fifo = dir + "/fifo", locked = dir + "/locked.msk",
                    gone = dir + "/gone", notSaved = ": not saved.\nThe file on disk is unchanged.";
  kivotest::writeFile(locked, twoRecords);
  ASSERT_TRUE(chmod(locked.c_str(), 0444) == 0 && mkfifo(fifo.c_str(), 0644) == 0 && mkdir(gone.c_str(), 0755) == 0);
  // A directory removed while the dialog was open (it offers only existing ones).
  std::function<void(FXWindow*)> removeDirAndAccept = [&](FXWindow* modal) {
    dynamic_cast<FXFileDialog*>(modal)->setFilename((gone + "/new.msk").c_str());
    rmdir(gone.c_str());
    modal->handle(modal, FXSEL(SEL_COMMAND, FXDialogBox::ID_ACCEPT), nullptr);
  };
  const struct { FXSelector id; std::vector<Answer> answers; std::string said; } rows[] = {
      {KivoWindow::ID_FILE_OPEN, {MBOX_CLICKED_NO, ""}, ""},  // the file dialog cancelled
      {KivoWindow::ID_FILE_OPEN, {MBOX_CLICKED_NO, missing, MBOX_CLICKED_OK}, missing + "\n not found!"},
      {KivoWindow::ID_FILE_OPEN, {MBOX_CLICKED_NO, dir, MBOX_CLICKED_OK}, dir + "\n is not a regular file: nothing was read."},
      {KivoWindow::ID_FILE_SAVEAS, {fifo, MBOX_CLICKED_YES, MBOX_CLICKED_OK}, fifo + "\n is not a regular file" + notSaved},
      {KivoWindow::ID_FILE_SAVEAS, {locked, MBOX_CLICKED_YES, MBOX_CLICKED_OK}, locked + "\n is write-protected" + notSaved},
      {KivoWindow::ID_FILE_SAVEAS, {removeDirAndAccept, MBOX_CLICKED_OK},
       gone + "/new.msk\n not saved: No such file or directory\nThe file on disk is unchanged."}};
  for (const auto& row : rows) {
    std::string before = state();
    std::vector<ModalRecord> shown = run(row.id, row.answers);
    if (!row.said.empty()) { EXPECT_EQ("Error!|File:\n" + row.said, said(shown.back())); }
    EXPECT_EQ(before, state());
  }
  EXPECT_EQ(twoRecords, kivotest::readFile(locked));
}

TEST_F(FileCommands, OpenWarnsOnceAboutSkippedLinesAndUnknownCodes) {
  std::string codes = "BB(0,0,9,9)\nREC(1,1,1,1,M1)\nREC(2,2,2,2,M1)\n";
  for (int i = 0; i < 10; i++) codes += "REC(3,3,1,1,C" + std::to_string(i) + ")\n";
  const struct { std::string name, content, warning; long objects; } rows[] = {
      {"bad.msk", "BB(0,0,0,0)\nREC(1,2,3,4,NW)\nRECORD\nREC(1,x\nREC(5,6,7,8,ME)",
       "2 line(s) skipped: not well-formed records.\nFirst skipped line: 3", 2},
      {"codes.msk", codes, "12 object(s) with unknown layer codes: M1, C0, C1, C2, C3, C4, C5, C6, C7, C8, ...\n"
       "They are kept on the unknown layer and saved with their codes.", 12}};
  for (const auto& row : rows) {
    kivotest::writeFile(dir + "/" + row.name, row.content);
    std::vector<ModalRecord> shown = run(KivoWindow::ID_FILE_OPEN, {dir + "/" + row.name, MBOX_CLICKED_OK});
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ("Warning!|File:\n" + dir + "/" + row.name + "\n" + row.warning, said(shown[1]));
    EXPECT_EQ(row.objects, objects());
  }
}

TEST_F(FileCommands, SaveAsksNameAndOverwriteUntilSavedOnceThenWritesAtOnce) {
  EXPECT_NE(std::string::npos, run(KivoWindow::ID_FILE_SAVEAS, {""}).at(0).filename.find("untitled.msk"));
  // Still untitled after the cancel, and opening a file does not change that: Save asks.
  const std::string path = dir + "/in.msk";
  kivotest::writeFile(path, twoRecords);
  run(KivoWindow::ID_FILE_OPEN, {path});
  addObject();
  for (FXuint answer : {MBOX_CLICKED_NO, MBOX_CLICKED_YES}) {
    std::vector<ModalRecord> shown = run(KivoWindow::ID_FILE_SAVE, {path, answer});
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ("Save Layout File As|" + path + "|Owerwrite?\n" + path,
              shown[0].title + "|" + shown[0].filename + "|" + shown[1].text);
    EXPECT_EQ(answer == MBOX_CLICKED_YES ? written() : twoRecords, kivotest::readFile(path));
    EXPECT_EQ(answer == MBOX_CLICKED_YES, !window->layout.isModified() && !window->layout.isUntitled());
  }
  EXPECT_EQ("saved: " + path, window->statusText.text());
  addObject();  // titled and on disk: Save writes at once
  EXPECT_TRUE(run(KivoWindow::ID_FILE_SAVE).empty());
  EXPECT_EQ(written(), kivotest::readFile(path));
  EXPECT_FALSE(window->layout.isModified());
}

TEST_F(FileCommands, AHierarchicalFileOpensWithItsCellsAndSavesAsTextFlat) {
  // TOP places LEAF, a 10 x 10 rectangle, three times in a row.
  CellLibrary lib;
  Layer layers[SLOT_COUNT];
  const uint32_t leaf = lib.add("LEAF");
  Box* b = new Box;
  b->setRect(0, 0, 10, 10), lib.cell(leaf).editLayer(LAYER_N_WELL).appendChain(b);
  Label* pin = new Label;
  pin->text = "A", pin->unitsPerMicrometre = 1, pin->anchor = {2, 2}, pin->refresh();
  lib.cell(leaf).editLayer(LAYER_METAL1).appendChain(pin);
  lib.shown = lib.add("TOP");
  Instance* row = new Instance;
  row->cell = leaf, row->array.columns = 3, row->array.columnStep[0] = 20, row->placeBounds(lib.cell(leaf).bounds());
  lib.cell(lib.shown).editLayer(LAYER_INSTANCES).appendChain(row);
  lib.cell(lib.shown).showIn(layers);
  const std::string gds = dir + "/row.gds", flat = dir + "/row.msk";
  int error = 0;
  ASSERT_EQ(SAVE_OK, saveGdsiiFile(gds.c_str(), layers, activeLayerMap(), GdsLibraryInfo(), error, &lib));
  // A cell asked for that the file lacks fails the open quietly, for the command line to report.
  window->startCell = "NOPE";
  EXPECT_TRUE(answering({}, [&] { EXPECT_FALSE(window->openFile(gds.c_str())); }).empty());
  EXPECT_TRUE(window->cellError == "There is no cell NOPE in the file." && window->layout.cellCount() == 1);
  ASSERT_TRUE(window->openFile(gds.c_str()));
  EXPECT_TRUE(window->layout.cellCount() == 2 && window->layout.instances().size() == 1 && objects() == 0);
  // The labels inside the placed cell cannot be written: the save asks first.
  std::vector<ModalRecord> shown = run(KivoWindow::ID_FILE_SAVE, {flat, MBOX_CLICKED_YES});
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ("Warning!|3 label(s) cannot be written to a .msk file and will be left out; 3 instance(s) are written flat.\nSave anyway?",
            said(shown[1]));
  EXPECT_EQ("saved: " + flat + " (3 instance(s) written flat)", window->statusText.text());
  const std::string text = kivotest::readFile(flat);
  EXPECT_EQ("REC(0,0,10,10,NW)\nREC(20,0,10,10,NW)\nREC(40,0,10,10,NW)\n", text.substr(text.find('\n') + 1));
}

// Quit asks every time; the close box only when work is unsaved.
TEST_F(FileCommands, QuitAndCloseBoxEndTheProgramOnlyWhenNothingIsLost) {
  auto quit = [&] { command(KivoWindow::ID_QUIT); };
  auto closeBox = [&] { window->handle(window, FXSEL(SEL_CLOSE, 0), nullptr); };  // what the window manager's close box sends
  for (FXuint answer : {(FXuint)MBOX_CLICKED_CANCEL, 0u}) EXPECT_EQ("77|Quit without saving?", quitting(quit, {answer}));
  EXPECT_EQ("0", quitting(closeBox));
  addObject();
  EXPECT_EQ("77|Quit without saving?", quitting(closeBox, {MBOX_CLICKED_CANCEL}));
  EXPECT_EQ("77|Quit without saving?|", quitting(quit, {MBOX_CLICKED_SAVE, ""}));  // the save dialog cancelled
  EXPECT_TRUE(window->shown() && window->layout.isModified());
  EXPECT_EQ("0|Quit without saving?|", quitting(quit, {MBOX_CLICKED_SAVE, dir + "/q.msk"}));
  EXPECT_EQ(written(), kivotest::readFile(dir + "/q.msk"));
  addObject();
  EXPECT_EQ("0|Quit without saving?", quitting(closeBox, {MBOX_CLICKED_QUIT}));
}

}  // namespace

// Opening or saving puts the file first in Recent Files; an entry opens its
// file as Open does, asking first about unsaved changes. Open's first
// pattern takes every layout file whatever the case of its name.
TEST_F(FileCommands, RecentFilesReopenAndOpenListsLayoutFilesOfAnyCase) {
  FXRecentFiles* recent = window->recentFiles;
  const std::string a = (recent->clear(), dir + "/a.msk"), b = dir + "/B.MSK";
  kivotest::writeFile(a, twoRecords), kivotest::writeFile(b, twoRecords);
  ASSERT_TRUE(window->openFile(a.c_str()) && window->openFile(b.c_str()));
  auto listed = [&] { return std::string(recent->getFile(1).text()) + "|" + recent->getFile(2).text() + "|" + recent->getFile(3).text(); };
  EXPECT_EQ(listed(), b + "|" + a + "|");
  auto choose = [&](int entry) { recent->handle(nullptr, FXSEL(SEL_COMMAND, FXRecentFiles::ID_FILE_1 + entry - 1), nullptr); };
  addObject();
  EXPECT_EQ(said(answering({MBOX_CLICKED_CANCEL}, [&] { choose(2); }).at(0)) + window->layout.fileName().text(), "Warning!|Save First?" + b);
  answering({MBOX_CLICKED_NO}, [&] { choose(2); });
  EXPECT_EQ(window->layout.fileName().text() + ("|" + listed()), a + "|" + a + "|" + b + "|");
  run(KivoWindow::ID_FILE_OPEN, {Answer([](FXWindow* w) {
        FXFileDialog* d = static_cast<FXFileDialog*>(w);  // the first pattern is the one shown
        EXPECT_EQ(std::string(d->getPattern().text()), "*.msk,*.gds,*.gds2,*.gdsii");
        for (const char* name : {"INV.GDS", "nand.Gds2", "TOP.GDSII", "X.MSK", "y.gds"})
          EXPECT_TRUE(FXPath::match(d->getPattern(), name, d->getMatchMode())) << name;
        EXPECT_FALSE(FXPath::match(d->getPattern(), "NOTES.TXT", d->getMatchMode()));
        d->handle(d, FXSEL(SEL_COMMAND, FXDialogBox::ID_CANCEL), nullptr);
      })});
}

// A .msk save writes rectilinear polygons as their rectangles and asks
// before leaving out a label and a triangle; No writes nothing.
TEST_F(FileCommands, MskSaveCutsRectilinearShapesAndAsksBeforeLeavingTheRestOut) {
  Polygon* l = new Polygon;
  l->setPoints({{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 2}, {0, 2}});
  Polygon* triangle = new Polygon;
  triangle->setPoints({{0, 0}, {4, 0}, {0, 4}});
  Label* label = new Label;
  label->text = "A";
  label->refresh();
  window->layout.addObjects({{5, l}, {5, triangle}, {6, label}}, "3 added");
  const std::string path = dir + "/shapes.msk";
  for (FXuint answer : {MBOX_CLICKED_NO, MBOX_CLICKED_YES}) {
    std::vector<ModalRecord> shown = run(KivoWindow::ID_FILE_SAVE, {path, answer});
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ("Warning!|1 label(s), 1 polygon(s) and path(s) cannot be written to a .msk file and will be left out.\nSave anyway?",
              said(shown[1]));
    EXPECT_EQ(answer == MBOX_CLICKED_YES, access(path.c_str(), F_OK) == 0);
  }
  const std::string text = kivotest::readFile(path);
  EXPECT_TRUE(text.find("REC(0,0,3,1,") != std::string::npos && text.find("REC(0,1,1,1,") != std::string::npos &&
              std::count(text.begin(), text.end(), '\n') == 3) << text;
}
