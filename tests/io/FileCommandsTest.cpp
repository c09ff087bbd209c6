// New, Open, Save, Save As, Quit and the close box, driven in process.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <sstream>
#include <string>

#include "app/KivoWindow.h"
#include "io/LayoutFile.h"
#include "io/RecoveryJournal.h"
#include "support/GuiTest.h"

using kivotest::ModalRecord;
using kivotest::ModalResponder;

// Runs the application's main loop with a command sent from inside it, so
// that the loop's exit code shows whether the command ended the program.
class QuitProbe : public FXObject {
  FXDECLARE(QuitProbe)
public:
  enum { ID_SEND = 1, ID_GIVE_UP, STAYED = 77 };
  std::function<void()> send;

  long onSend(FXObject*, FXSelector, void*) { send(); return 1; }
  long onGiveUp(FXObject*, FXSelector, void*) { kivotest::app()->exit(STAYED); return 1; }
  // 0 when the program was ended, STAYED when it was still running after 1.5 s.
  int run(std::function<void()> action) {
    send = action;
    FXApp* a = kivotest::app();
    a->addTimeout(this, ID_SEND, 10), a->addTimeout(this, ID_GIVE_UP, 1500);
    int code = a->run();
    a->removeTimeout(this, ID_SEND), a->removeTimeout(this, ID_GIVE_UP);
    return code;
  }
};

FXDEFMAP(QuitProbe) QuitProbeMap[] = {
  FXMAPFUNC(SEL_TIMEOUT, QuitProbe::ID_SEND, QuitProbe::onSend),
  FXMAPFUNC(SEL_TIMEOUT, QuitProbe::ID_GIVE_UP, QuitProbe::onGiveUp),
};
FXIMPLEMENT(QuitProbe, FXObject, QuitProbeMap, ARRAYNUMBER(QuitProbeMap))

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
  // The main loop's exit code (0 ended, 77 still running) and the texts of the dialogs shown, after an action.
  std::string quitting(std::function<void()> action, const std::vector<Answer>& answers = {}) {
    std::string result;
    for (const ModalRecord& r : answering(answers, [&] { result = std::to_string(probe.run(action)); }))
      result += "|" + r.text;
    return result;
  }
  // An edit as the mouse makes it: one object more, unsaved.
  void addObject(int slot = 5) { Box* b = new Box; b->setRect(1, 2, 3, 4); window->layout.addObjects({{slot, b}}, "1 object added"); }
  long objects() const { long n = 0; for (int i = 0; i < LAYER_COUNT; i++) n += window->layout.layer(i).size(); return n; }
  int enabledLayers() const { int n = 0; for (int i = 0; i < LAYER_COUNT; i++) n += window->layout.layer(i).isEnabled(); return n; }
  std::string written() const { std::ostringstream out; writeLayout(out, window->layout.layersForDrawing()); return out.str(); }
  bool saveEnabled() {
    kivotest::settle();
    for (FXWindow* w = window->filemenu->getFirst(); w; w = w->getNext())
      if (auto* entry = dynamic_cast<FXMenuCommand*>(w); entry && entry->getSelector() == KivoWindow::ID_FILE_SAVE)
        return entry->isEnabled();
    ADD_FAILURE() << "no Save entry";
    return false;
  }
  // Content, file name, modified and untitled: what a failed or cancelled command must leave alone.
  std::string state() const {
    return written() + "|" + window->layout.fileName().text() + "|" + std::to_string(window->layout.isModified()) +
           std::to_string(window->layout.isUntitled());
  }
  // The window's close box, as the window manager reports it.
  void pressCloseBox() {
    Display* display = static_cast<Display*>(kivotest::app()->getDisplay());
    XEvent event = {};
    event.xclient.type = ClientMessage, event.xclient.window = window->id(), event.xclient.format = 32;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False), event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window->id(), False, NoEventMask, &event), XFlush(display);
  }

  std::string dir;
  KivoWindow* window = nullptr;
  QuitProbe probe;
};

TEST_F(FileCommands, NewOnUnchangedLayoutAsksNothingAndEnablesEveryLayer) {
  addObject();
  window->layout.markSaved("/somewhere/else.msk", FORMAT_MSK);
  window->layout.toggleEnabled(5);
  EXPECT_TRUE(run(KivoWindow::ID_FILE_NEW).empty());
  EXPECT_EQ("BB(0,0,0,0)\n|untitled.msk|01", state());
  EXPECT_EQ(LAYER_COUNT, enabledLayers());
  EXPECT_STREQ("Ready", window->statusText.text());
  EXPECT_FALSE(saveEnabled());
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

TEST_F(FileCommands, OpenLoadsTheFileAndKeepsTheFlags) {
  kivotest::writeFile(dir + "/in.msk", twoRecords);
  addObject();
  window->layout.toggleEnabled(1);
  std::vector<ModalRecord> shown = run(KivoWindow::ID_FILE_OPEN, {MBOX_CLICKED_NO, dir + "/in.msk"});
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ("Load Layout File", shown[1].title);
  EXPECT_EQ(twoRecords + "|" + dir + "/in.msk|01", state());  // a freshly opened file counts as saved
  EXPECT_EQ(LAYER_COUNT, enabledLayers());
  EXPECT_EQ("active file " + dir + "/in.msk", window->statusText.text());
}

TEST_F(FileCommands, OpenThatCannotReadChangesNothing) {
  window->layout.markSaved("kept.msk", FORMAT_MSK);
  addObject();
  const std::string missing = dir + "/100%s%n.msk", fifo = dir + "/fifo";  // shown literally
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));  // without a writer: must not hang
  const std::string notRegular = "\n is not a regular file: nothing was read.";
  const std::pair<std::string, std::string> rows[] = {  // the first: the file dialog cancelled
      {"", ""}, {missing, "\n not found!"}, {dir, notRegular}, {fifo, notRegular}};
  for (const auto& row : rows) {
    std::string before = state();
    std::vector<Answer> answers = {MBOX_CLICKED_NO, row.first};
    if (!row.second.empty()) answers.push_back(MBOX_CLICKED_OK);
    std::vector<ModalRecord> shown = run(KivoWindow::ID_FILE_OPEN, answers);
    if (!row.second.empty()) { EXPECT_EQ("Error!|File:\n" + row.first + row.second, said(shown.back())); }
    EXPECT_EQ(before, state());
  }
}

TEST_F(FileCommands, OpenWarnsOnceAboutSkippedLinesAndUnknownCodesWhichSavesKeep) {
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
  // The unknown codes stay through cut, undo, paste and save.
  for (FXSelector id : {KivoWindow::ID_SELECT_ALL, KivoWindow::ID_CUT, KivoWindow::ID_UNDO, KivoWindow::ID_PASTE})
    command(id);
  run(KivoWindow::ID_FILE_SAVE, {dir + "/out.msk"});
  std::string saved = kivotest::readFile(dir + "/out.msk");
  ASSERT_EQ(written(), saved);
  auto count = [&](const char* re) {
    std::regex pattern(re);
    return std::to_string(std::distance(std::sregex_iterator(saved.begin(), saved.end(), pattern), {}));
  };
  EXPECT_EQ("24 4 2 0", count("REC\\(") + " " + count(",M1\\)") + " " + count(",C9\\)") + " " + count("NULL!"))
      << saved;  // the originals and the pasted copies
}

TEST_F(FileCommands, SaveRefusesWriteProtectedAndSpecialFilesSayingWhy) {
  const std::string locked = dir + "/locked.msk", fifo = dir + "/fifo";
  kivotest::writeFile(locked, twoRecords);
  ASSERT_TRUE(chmod(locked.c_str(), 0444) == 0 && mkfifo(fifo.c_str(), 0644) == 0);
  addObject();
  for (const std::string& path : {locked, fifo}) {
    std::string before = state();
    std::vector<ModalRecord> shown = run(KivoWindow::ID_FILE_SAVEAS, {path, MBOX_CLICKED_YES, MBOX_CLICKED_OK});
    ASSERT_EQ(3u, shown.size());
    EXPECT_EQ("Error!|File:\n" + path + (path == fifo ? "\n is not a regular file" : "\n is write-protected") +
                  ": not saved.\nThe file on disk is unchanged.", said(shown[2]));
    EXPECT_EQ(before, state());
  }
  EXPECT_EQ(twoRecords, kivotest::readFile(locked));
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
  EXPECT_FALSE(saveEnabled());
  addObject();  // titled and on disk: Save writes at once
  EXPECT_TRUE(saveEnabled());
  EXPECT_TRUE(run(KivoWindow::ID_FILE_SAVE).empty());
  EXPECT_EQ(written(), kivotest::readFile(path));
  EXPECT_FALSE(window->layout.isModified());
}

TEST_F(FileCommands, FailedSaveKeepsOldFileAndFlags) {
  const std::string path = dir + "/old.msk", gone = dir + "/gone";
  kivotest::writeFile(path, twoRecords);
  window->layout.markSaved(path.c_str(), FORMAT_MSK);
  for (int i = 0; i < 20000; i++) addObject(i % LAYER_COUNT);  // about 400 KB
  std::string before = state();
  // A write that fails midway: a file size limit of 64 KB. The save ignores
  // SIGXFSZ itself, so the write fails instead of killing the program.
  rlimit old, small;
  window->journal->flush();  // the journal is written before the limit, which it would meet too
  getrlimit(RLIMIT_FSIZE, &old), small = old, small.rlim_cur = 64 * 1024;
  setrlimit(RLIMIT_FSIZE, &small);
  std::vector<ModalRecord> shown = run(KivoWindow::ID_FILE_SAVE, {MBOX_CLICKED_OK});
  setrlimit(RLIMIT_FSIZE, &old);
  ASSERT_EQ(1u, shown.size());
  EXPECT_EQ("Error!|File:\n" + path + "\n not saved: File too large\nThe file on disk is unchanged.", said(shown[0]));
  EXPECT_EQ(before, state());
  EXPECT_NE(0, system(("ls -A " + dir + " | grep -q kivo-").c_str()));  // no temporary left
  // A path in a directory that no longer exists: removed while the dialog
  // was open (the dialog itself offers only existing directories).
  ASSERT_EQ(0, mkdir(gone.c_str(), 0755));
  std::function<void(FXWindow*)> removeDirAndAccept = [&](FXWindow* modal) {
    dynamic_cast<FXFileDialog*>(modal)->setFilename((gone + "/new.msk").c_str());
    rmdir(gone.c_str());
    modal->handle(modal, FXSEL(SEL_COMMAND, FXDialogBox::ID_ACCEPT), nullptr);
  };
  shown = run(KivoWindow::ID_FILE_SAVEAS, {removeDirAndAccept, MBOX_CLICKED_OK});
  ASSERT_EQ(2u, shown.size());
  EXPECT_EQ("File:\n" + gone + "/new.msk\n not saved: No such file or directory\nThe file on disk is unchanged.",
            shown[1].text);
  EXPECT_EQ(path, window->layout.fileName().text());  // a failed save keeps the name
  EXPECT_TRUE(window->layout.isModified() && window->layout.isUntitled());
  EXPECT_EQ(twoRecords, kivotest::readFile(path));
}

TEST_F(FileCommands, QuitAsksEveryTimeAndStaysUnlessQuitOrSaved) {
  auto quit = [&] { command(KivoWindow::ID_QUIT); };
  for (FXuint answer : {(FXuint)MBOX_CLICKED_CANCEL, 0u}) EXPECT_EQ("77|Quit without saving?", quitting(quit, {answer}));
  addObject();
  EXPECT_EQ("77|Quit without saving?|", quitting(quit, {MBOX_CLICKED_SAVE, ""}));  // the save dialog cancelled
  EXPECT_TRUE(window->layout.isModified());
  EXPECT_EQ("0|Quit without saving?|", quitting(quit, {MBOX_CLICKED_SAVE, dir + "/q.msk"}));
  EXPECT_EQ(written(), kivotest::readFile(dir + "/q.msk"));
  EXPECT_EQ("0|Quit without saving?", quitting(quit, {MBOX_CLICKED_QUIT}));
}

TEST_F(FileCommands, CloseBoxAsksOnlyWhenWorkIsUnsaved) {
  EXPECT_EQ("0", quitting([&] { pressCloseBox(); }));
  addObject();
  EXPECT_EQ("77|Quit without saving?", quitting([&] { pressCloseBox(); }, {MBOX_CLICKED_CANCEL}));
  EXPECT_TRUE(window->shown());
  EXPECT_EQ(1, objects());
  command(KivoWindow::ID_UNDO);  // back at the saved state: closes at once
  EXPECT_EQ("0", quitting([&] { pressCloseBox(); }));
  command(KivoWindow::ID_REDO);
  EXPECT_EQ("0|Quit without saving?",
            quitting([&] { window->handle(window, FXSEL(SEL_CLOSE, 0), nullptr); }, {MBOX_CLICKED_QUIT}));
}

}  // namespace
