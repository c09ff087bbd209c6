// New, Open, Save, Save As, Quit and the close box, driven in process.
#include <gtest/gtest.h>
#include <X11/Xlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "app/KivoWindow.h"
#include "io/LayoutFile.h"
#include "support/GuiTest.h"

using kivotest::ModalResponder;

// Runs the application's main loop with a command sent from inside it, so
// that the loop's exit code shows whether the command ended the program.
class QuitProbe : public FXObject {
  FXDECLARE(QuitProbe)
public:
  enum { ID_SEND = 1, ID_GIVE_UP, STAYED = 77 };
  std::function<void()> send;

  long onSend(FXObject*, FXSelector, void*) {
    send();
    return 1;
  }
  long onGiveUp(FXObject*, FXSelector, void*) {
    kivotest::app()->exit(STAYED);
    return 1;
  }
  // 0 when the program was ended, STAYED when it was still running after 1.5 s.
  int run(std::function<void()> action) {
    send = action;
    FXApp* a = kivotest::app();
    a->addTimeout(this, ID_SEND, 10);
    a->addTimeout(this, ID_GIVE_UP, 1500);
    int code = a->run();
    a->removeTimeout(this, ID_SEND);
    a->removeTimeout(this, ID_GIVE_UP);
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

class FileCommands : public testing::Test {
protected:
  void SetUp() override {
    dir = kivotest::tempDir();
    window = kivotest::newWindow();
  }
  void TearDown() override { kivotest::deleteWindow(window); }

  void command(FXSelector id) { window->handle(window, FXSEL(SEL_COMMAND, id), nullptr); }
  // An edit as the mouse makes it: one object more, unsaved.
  void addObject(int slot = 5) {
    Box* box = new Box;
    box->setRect(1, 2, 3, 4);
    window->layout.addObjects({{slot, box}}, "1 object added");
  }
  long objects() const {
    long n = 0;
    for (int i = 0; i < LAYER_COUNT; i++)
      n += (long)window->layout.layer(i).size();
    return n;
  }
  std::string written() const {
    std::ostringstream out;
    writeLayout(out, window->layout.layersForDrawing());
    return out.str();
  }
  bool saveEnabled() {
    kivotest::settle();
    for (FXWindow* w = window->filemenu->getFirst(); w; w = w->getNext()) {
      FXMenuCommand* entry = dynamic_cast<FXMenuCommand*>(w);
      if (entry && entry->getSelector() == KivoWindow::ID_FILE_SAVE) return entry->isEnabled();
    }
    ADD_FAILURE() << "no Save entry";
    return false;
  }
  // The state that a failed or cancelled command must leave alone.
  std::string state() const {
    return written() + "|" + window->layout.fileName().text() + "|" + std::to_string(window->layout.isModified()) +
           std::to_string(window->layout.isUntitled());
  }
  // The window's close box, as the window manager reports it.
  void pressCloseBox() {
    Display* display = static_cast<Display*>(kivotest::app()->getDisplay());
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window->id();
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window->id(), False, NoEventMask, &event);
    XFlush(display);
  }

  std::string dir;
  KivoWindow* window = nullptr;
};

TEST_F(FileCommands, NewOnUnchangedLayoutAsksNothingAndEnablesEveryLayer) {
  addObject();
  window->layout.markSaved("/somewhere/else.msk", FORMAT_MSK);
  window->layout.toggleEnabled(5);
  ModalResponder responder;
  command(KivoWindow::ID_FILE_NEW);
  EXPECT_TRUE(responder.records().empty());
  EXPECT_EQ(0, objects());
  for (int i = 0; i < LAYER_COUNT; i++) EXPECT_EQ(1, window->layout.layer(i).isEnabled());
  EXPECT_STREQ("untitled.msk", window->layout.fileName().text());
  EXPECT_STREQ("Ready", window->statusText.text());
  EXPECT_TRUE(!window->layout.isModified() && window->layout.isUntitled());
  EXPECT_FALSE(saveEnabled());
}

TEST_F(FileCommands, SaveFirstAnswersDecideWhetherNewGoesOn) {
  struct Row {
    FXuint answer;
    std::string file;  // chosen in the save dialog after Yes; "" cancels it
    bool emptied;
  };
  const Row rows[] = {
      {MBOX_CLICKED_CANCEL, "", false},
      {0, "", false},
      {MBOX_CLICKED_YES, "", false},
      {MBOX_CLICKED_NO, "", true},
      {MBOX_CLICKED_YES, "saved.msk", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.answer);
    window->layout.markSaved(window->layout.fileName(), FORMAT_MSK);
    command(KivoWindow::ID_FILE_NEW);
    addObject();
    std::string before = written();
    ModalResponder responder;
    responder.pressButton(row.answer);
    if (row.answer == MBOX_CLICKED_YES) responder.chooseFile(row.file.empty() ? "" : dir + "/" + row.file);
    command(KivoWindow::ID_FILE_NEW);
    ASSERT_EQ(0u, responder.pending());
    EXPECT_EQ("Warning!", responder.records()[0].title);
    EXPECT_EQ("Save First?", responder.records()[0].text);
    EXPECT_EQ(row.emptied ? 0 : 1, objects());
    EXPECT_EQ(row.emptied, !window->layout.isModified());
    if (!row.file.empty()) {
      EXPECT_EQ(before, kivotest::readFile(dir + "/" + row.file));
    }
  }
}

TEST_F(FileCommands, OpenLoadsTheFileAndKeepsTheFlags) {
  kivotest::writeFile(dir + "/in.msk", twoRecords);
  addObject();
  window->layout.toggleEnabled(1);
  ModalResponder responder;
  responder.pressButton(MBOX_CLICKED_NO).chooseFile(dir + "/in.msk");
  command(KivoWindow::ID_FILE_OPEN);
  ASSERT_EQ(2u, responder.records().size());
  EXPECT_EQ("Load Layout File", responder.records()[1].title);
  EXPECT_EQ(twoRecords, written());
  for (int i = 0; i < LAYER_COUNT; i++) EXPECT_EQ(1, window->layout.layer(i).isEnabled());
  EXPECT_EQ(dir + "/in.msk", window->layout.fileName().text());
  EXPECT_EQ("active file " + dir + "/in.msk", window->statusText.text());
  EXPECT_FALSE(window->layout.isModified());  // a freshly opened file counts as saved
  EXPECT_TRUE(window->layout.isUntitled());
}

TEST_F(FileCommands, OpenThatCannotReadChangesNothing) {
  window->layout.markSaved("kept.msk", FORMAT_MSK);
  addObject();
  struct Row {
    std::string path;
    std::string text;
  };
  const std::string missing = dir + "/100%s%n.msk", fifo = dir + "/fifo";  // shown literally
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));  // without a writer: must not hang
  const Row rows[] = {
      {"", ""},  // the file dialog cancelled
      {missing, "File:\n" + missing + "\n not found!"},
      {dir, "File:\n" + dir + "\n is not a regular file: nothing was read."},
      {fifo, "File:\n" + fifo + "\n is not a regular file: nothing was read."},
  };
  for (const Row& row : rows) {
    std::string before = state();
    ModalResponder responder;
    responder.pressButton(MBOX_CLICKED_NO).chooseFile(row.path);
    if (!row.text.empty()) responder.pressButton(MBOX_CLICKED_OK);
    command(KivoWindow::ID_FILE_OPEN);
    EXPECT_EQ(0u, responder.pending());
    if (!row.text.empty()) {
      EXPECT_EQ("Error!", responder.records().back().title);
      EXPECT_EQ(row.text, responder.records().back().text);
    }
    EXPECT_EQ(before, state());
  }
}

TEST_F(FileCommands, OpenWarnsOnceAboutSkippedLines) {
  kivotest::writeFile(dir + "/bad.msk", "BB(0,0,0,0)\nREC(1,2,3,4,NW)\nRECORD\nREC(1,x\nREC(5,6,7,8,ME)");
  ModalResponder responder;
  responder.chooseFile(dir + "/bad.msk").pressButton(MBOX_CLICKED_OK);
  command(KivoWindow::ID_FILE_OPEN);
  ASSERT_EQ(2u, responder.records().size());
  EXPECT_EQ("Warning!", responder.records()[1].title);
  EXPECT_EQ("File:\n" + dir + "/bad.msk\n2 line(s) skipped: not well-formed records.\nFirst skipped line: 3",
            responder.records()[1].text);
  EXPECT_EQ(2, objects());
}

TEST_F(FileCommands, UnknownCodesAreNamedOnceAndKeptThroughEditsAndSave) {
  std::string text = "BB(0,0,9,9)\nREC(1,1,1,1,M1)\nREC(2,2,2,2,M1)\n";
  for (int i = 0; i < 10; i++) text += "REC(3,3,1,1,C" + std::to_string(i) + ")\n";
  kivotest::writeFile(dir + "/codes.msk", text);
  ModalResponder responder;
  responder.chooseFile(dir + "/codes.msk").pressButton(MBOX_CLICKED_OK);
  command(KivoWindow::ID_FILE_OPEN);
  ASSERT_EQ(2u, responder.records().size());
  EXPECT_EQ("File:\n" + dir + "/codes.msk\n12 object(s) with unknown layer codes: M1, C0, C1, C2, C3, C4, C5, C6, "
            "C7, C8, ...\nThey are kept on the unknown layer and saved with their codes.",
            responder.records()[1].text);
  for (FXSelector id : {KivoWindow::ID_SELECT_ALL, KivoWindow::ID_CUT, KivoWindow::ID_UNDO, KivoWindow::ID_PASTE})
    command(id);
  ModalResponder saving;
  saving.chooseFile(dir + "/out.msk");
  command(KivoWindow::ID_FILE_SAVE);
  std::string saved = kivotest::readFile(dir + "/out.msk");
  ASSERT_EQ(written(), saved);
  auto count = [&](const std::string& code) {
    size_t n = 0;
    for (size_t at = saved.find(code); at != std::string::npos; at = saved.find(code, at + 1)) n++;
    return n;
  };
  EXPECT_EQ(24u, count("REC("));  // the originals and the pasted copies
  EXPECT_TRUE(count(",M1)") == 4 && count(",C9)") == 2 && count("NULL!") == 0) << saved;
}

TEST_F(FileCommands, SaveRefusesWriteProtectedAndSpecialFilesSayingWhy) {
  const std::string locked = dir + "/locked.msk", fifo = dir + "/fifo";
  kivotest::writeFile(locked, twoRecords);
  ASSERT_EQ(0, chmod(locked.c_str(), 0444));
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
  addObject();
  for (const std::string& path : {locked, fifo}) {
    std::string before = state();
    ModalResponder responder;
    responder.chooseFile(path).pressButton(MBOX_CLICKED_YES).pressButton(MBOX_CLICKED_OK);
    command(KivoWindow::ID_FILE_SAVEAS);
    ASSERT_EQ(3u, responder.records().size());
    EXPECT_EQ("Error!", responder.records()[2].title);
    EXPECT_EQ("File:\n" + path + (path == fifo ? "\n is not a regular file" : "\n is write-protected") +
                  ": not saved.\nThe file on disk is unchanged.", responder.records()[2].text);
    EXPECT_EQ(before, state());
  }
  EXPECT_EQ(twoRecords, kivotest::readFile(locked));
}

TEST_F(FileCommands, FirstSaveOfAnOpenedFileAsksNameAndOverwrite) {
  const std::string path = dir + "/in.msk";
  kivotest::writeFile(path, twoRecords);
  {
    ModalResponder responder;
    responder.chooseFile(path);
    command(KivoWindow::ID_FILE_OPEN);
  }
  addObject();
  for (FXuint answer : {MBOX_CLICKED_NO, MBOX_CLICKED_YES}) {
    ModalResponder responder;
    responder.chooseFile(path).pressButton(answer);
    command(KivoWindow::ID_FILE_SAVE);
    ASSERT_EQ(2u, responder.records().size());
    EXPECT_EQ("Save Layout File As", responder.records()[0].title);
    EXPECT_EQ(path, responder.records()[0].filename);
    EXPECT_EQ("Owerwrite?\n" + path, responder.records()[1].text);
    EXPECT_EQ(answer == MBOX_CLICKED_YES ? written() : twoRecords, kivotest::readFile(path));
    EXPECT_EQ(answer == MBOX_CLICKED_YES, !window->layout.isModified() && !window->layout.isUntitled());
  }
  EXPECT_EQ("saved: " + path, window->statusText.text());
  EXPECT_FALSE(saveEnabled());
  addObject();  // titled and on disk: Save writes at once
  EXPECT_TRUE(saveEnabled());
  ModalResponder responder;
  command(KivoWindow::ID_FILE_SAVE);
  EXPECT_TRUE(responder.records().empty());
  EXPECT_EQ(written(), kivotest::readFile(path));
  EXPECT_TRUE(!window->layout.isModified());
}

TEST_F(FileCommands, SaveAsPresetsTheNameAndCancelKeepsAskingForOne) {
  EXPECT_FALSE(saveEnabled());
  {
    ModalResponder responder;
    responder.chooseFile("");
    command(KivoWindow::ID_FILE_SAVEAS);
    ASSERT_EQ(1u, responder.records().size());
    EXPECT_NE(std::string::npos, responder.records()[0].filename.find("untitled.msk"));
  }
  EXPECT_TRUE(window->layout.isUntitled());
  ModalResponder responder;
  responder.chooseFile(dir + "/empty.msk");
  command(KivoWindow::ID_FILE_SAVE);  // still untitled: asks again
  EXPECT_EQ(1u, responder.records().size());
  EXPECT_EQ("BB(0,0,0,0)\n", kivotest::readFile(dir + "/empty.msk"));
  EXPECT_TRUE(!window->layout.isModified() && !window->layout.isUntitled());
}

TEST_F(FileCommands, FailedSaveKeepsOldFileAndFlags) {
  const std::string path = dir + "/old.msk";
  kivotest::writeFile(path, twoRecords);
  window->layout.markSaved(path.c_str(), FORMAT_MSK);
  for (int i = 0; i < 20000; i++) addObject(i % LAYER_COUNT);  // about 400 KB
  std::string before = state();

  // A write that fails midway: a file size limit of 64 KB. The save ignores
  // SIGXFSZ itself, so the write fails instead of killing the program.
  rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 64 * 1024;
  {
    ModalResponder responder;
    responder.pressButton(MBOX_CLICKED_OK);
    setrlimit(RLIMIT_FSIZE, &small);
    command(KivoWindow::ID_FILE_SAVE);
    setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_EQ(1u, responder.records().size());
    EXPECT_EQ("Error!", responder.records()[0].title);
    EXPECT_EQ("File:\n" + path + "\n not saved: File too large\nThe file on disk is unchanged.",
              responder.records()[0].text);
  }
  EXPECT_EQ(twoRecords, kivotest::readFile(path));
  EXPECT_EQ(before, state());
  EXPECT_NE(0, system(("ls -A " + dir + " | grep -q kivo-").c_str()));  // no temporary left

  // A path in a directory that no longer exists: removed while the dialog
  // was open (the dialog itself offers only existing directories).
  const std::string gone = dir + "/gone";
  ASSERT_EQ(0, mkdir(gone.c_str(), 0755));
  ModalResponder responder;
  responder.custom([&](FXWindow* modal) {
    FXFileDialog* dialog = dynamic_cast<FXFileDialog*>(modal);
    dialog->setFilename((gone + "/new.msk").c_str());
    rmdir(gone.c_str());
    dialog->handle(dialog, FXSEL(SEL_COMMAND, FXDialogBox::ID_ACCEPT), nullptr);
  });
  responder.pressButton(MBOX_CLICKED_OK);
  command(KivoWindow::ID_FILE_SAVEAS);
  ASSERT_EQ(2u, responder.records().size());
  EXPECT_EQ("File:\n" + gone + "/new.msk\n not saved: No such file or directory\nThe file on disk is unchanged.",
            responder.records()[1].text);
  EXPECT_EQ(path, window->layout.fileName().text());  // a failed save keeps the name
  EXPECT_FALSE(!window->layout.isModified());
  EXPECT_TRUE(window->layout.isUntitled());
  EXPECT_EQ(twoRecords, kivotest::readFile(path));
}

TEST_F(FileCommands, QuitAsksEveryTimeAndStaysUnlessQuitOrSaved) {
  const FXSelector quit = FXSEL(SEL_COMMAND, KivoWindow::ID_QUIT);
  QuitProbe probe;
  for (FXuint answer : {(FXuint)MBOX_CLICKED_CANCEL, 0u}) {
    ModalResponder responder;
    responder.pressButton(answer);
    command(KivoWindow::ID_QUIT);
    ASSERT_EQ(1u, responder.records().size());
    EXPECT_EQ("Quit without saving?", responder.records()[0].text);
  }
  addObject();
  {
    ModalResponder responder;  // Save, then the dialog cancelled: stays, still unsaved
    responder.pressButton(MBOX_CLICKED_SAVE).chooseFile("");
    command(KivoWindow::ID_QUIT);
    EXPECT_EQ(0u, responder.pending());
    EXPECT_FALSE(!window->layout.isModified());
  }
  {
    ModalResponder responder;
    responder.pressButton(MBOX_CLICKED_SAVE).chooseFile(dir + "/q.msk");
    EXPECT_EQ(0, probe.run([&] { window->handle(window, quit, nullptr); }));
    EXPECT_EQ(written(), kivotest::readFile(dir + "/q.msk"));
  }
  ModalResponder responder;
  responder.pressButton(MBOX_CLICKED_QUIT);
  EXPECT_EQ(0, probe.run([&] { window->handle(window, quit, nullptr); }));
}

TEST_F(FileCommands, CloseBoxAsksOnlyWhenWorkIsUnsaved) {
  QuitProbe probe;
  {
    ModalResponder responder;
    EXPECT_EQ(0, probe.run([&] { pressCloseBox(); }));
    EXPECT_TRUE(responder.records().empty());
  }
  addObject();
  {
    ModalResponder responder;
    responder.pressButton(MBOX_CLICKED_CANCEL);
    EXPECT_EQ(QuitProbe::STAYED, probe.run([&] { pressCloseBox(); }));
    ASSERT_EQ(1u, responder.records().size());
    EXPECT_EQ("Quit without saving?", responder.records()[0].text);
    EXPECT_TRUE(window->shown());
    EXPECT_EQ(1, objects());
  }
  command(KivoWindow::ID_UNDO);  // back at the saved state: closes at once
  {
    ModalResponder responder;
    EXPECT_EQ(0, probe.run([&] { pressCloseBox(); }));
    EXPECT_TRUE(responder.records().empty());
  }
  command(KivoWindow::ID_REDO);
  ModalResponder responder;
  responder.pressButton(MBOX_CLICKED_QUIT);
  EXPECT_EQ(0, probe.run([&] { window->handle(window, FXSEL(SEL_CLOSE, 0), nullptr); }));
}

}  // namespace
