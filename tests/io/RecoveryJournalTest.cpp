// The recovery journal: what a replay rebuilds from it, and what a start
// finds of journals left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "app/KivoWindow.h"
#include "io/LayoutFile.h"
#include "io/RecoverDialog.h"
#include "io/RecoveryJournal.h"
#include "model/ObjectOrigin.h"
#include "support/GuiTest.h"

namespace {

const char baseFile[] =
    "BB(0,0,50,25)\nREC(0,0,10,10,NW)\nREC(20,0,10,10,NW)\nREC(40,0,10,10,NW)\nREC(0,20,5,5,OP,7)\n";

std::string text(Layout& layout) { std::ostringstream out; writeLayout(out, layout.layersForDrawing()); return out.str(); }

void open(Layout& layout, const std::string& path) {
  Layer fresh[LAYER_COUNT];
  for (Layer& layer : fresh) layer.enable();
  ReadResult result;
  ASSERT_EQ(readLayoutFile(path.c_str(), fresh, result), READ_OK);
  layout.replaceContent(fresh, path.c_str(), false);
}

GroupNode* box(int layer, int32_t x, int32_t y, uint32_t origin = 0) {
  GroupNode* node = newLayoutObject(layer);
  node->setRect(x, y, 4, 4), node->origin = origin;
  return node;
}

// Select the objects at point (x, y) only.
void selectAt(Layout& layout, int32_t x, int32_t y) {
  Rect at;
  at.setRect(x, y, 0, 0);
  layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
  layout.applySelection(-1, OP_SELECT, MATCH_AT, &at);
}

// A journal file named as if a process that has ended had left it.
std::string orphanName(const std::string& dir, int counter) {
  char host[256] = {};
  gethostname(host, sizeof(host) - 1);
  return dir + "/" + std::to_string(getpid()) + "-1-" + std::to_string(counter) + "-" + host + ".kivojournal";
}

}  // namespace

TEST(RecoveryJournal, ReplayRebuildsEditsUndoAndRedoAndDropsATornLastEntry) {
  std::string dir = kivotest::tempDir(), base = dir + "/chip.msk";
  kivotest::writeFile(base, baseFile);
  Layout layout;
  RecoveryJournal journal(layout, dir + "/recovery");
  layout.setObserver(&journal);
  open(layout, base);
  uint32_t kept = internOrigin({"QQ", -1, -1});
  layout.addObjects({{5, box(5, 60, 60)}, {0, box(0, 70, 70, kept)}, {LAYER_OPTIONS, box(LAYER_OPTIONS, 80, 0)}},
                    "3 added");
  selectAt(layout, 25, 5);
  layout.removeSelected(-1, "deleted");
  selectAt(layout, 45, 5);
  layout.moveSelected(-1, 3, -4);
  layout.undo();  // the move
  layout.undo();  // the delete: the object goes back to its place
  layout.redo();
  std::string beforeLast = text(layout);
  layout.redo();
  journal.flush();
  std::string journalPath = journal.path();
  ASSERT_FALSE(journalPath.empty());
  struct stat st;
  ASSERT_EQ(stat(journalPath.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  off_t journalSize = st.st_size;
  ASSERT_EQ(stat((dir + "/recovery").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  Layout replayed;
  ReplayResult result = replayJournal(journalPath, replayed);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(text(replayed), text(layout));
  EXPECT_EQ(text(replayed), "BB(0,-4,84,78)\nREC(70,70,4,4,QQ)\nREC(0,0,10,10,NW)\nREC(43,-4,10,10,NW)\n"
                            "REC(60,60,4,4,ME)\nREC(0,20,5,5,OP,7)\nREC(80,0,4,4,OP,0)\n");
  EXPECT_TRUE(replayed.isModified() && replayed.isUntitled() && replayed.fileName().text() == base &&
              !result.baseChanged && result.notApplied.empty()) << replayed.fileName().text();

  // A write cut short by a crash: the last entry goes, the rest stays.
  ASSERT_EQ(truncate(journalPath.c_str(), journalSize - 3), 0);
  Layout torn;
  result = replayJournal(journalPath, torn);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(result.tornEntryDropped && text(torn) == beforeLast) << text(torn);

  // An undo back to the saved state leaves nothing to recover.
  while (layout.canUndo()) layout.undo();
  journal.flush();
  EXPECT_NE(access(journalPath.c_str(), F_OK), 0) << "the journal outlived the saved state";
}

TEST(RecoveryJournal, TwoWindowsKeepTheirOwnJournalsAndAStartFindsOnlyEndedOnes) {
  std::string dir = kivotest::tempDir();
  Layout first, second;
  RecoveryJournal firstJournal(first, dir), secondJournal(second, dir);
  first.setObserver(&firstJournal);
  second.setObserver(&secondJournal);
  first.addObjects({{1, box(1, 1, 1)}}, "1 added");
  second.addObjects({{2, box(2, 2, 2)}}, "1 added");
  firstJournal.flush();
  secondJournal.flush();
  ASSERT_NE(firstJournal.path(), secondJournal.path());
  Layout replayed;
  ASSERT_TRUE(replayJournal(secondJournal.path(), replayed).ok);
  EXPECT_EQ(text(replayed), text(second));
  EXPECT_EQ(std::string(replayed.fileName().text()), "untitled.msk");

  // This process still runs: nothing to offer. Once "ended", the second is
  // offered, and a damaged copy of the first is moved aside and reported.
  std::vector<std::string> problems;
  EXPECT_TRUE(findOrphanJournals(dir, problems).empty());
  std::string damaged = orphanName(dir, 1), ended = orphanName(dir, 2);
  std::string bytes = kivotest::readFile(firstJournal.path());
  bytes[21] ^= 0x40;  // inside the base entry
  kivotest::writeFile(damaged, bytes + kivotest::readFile(secondJournal.path()).substr(12));
  ASSERT_EQ(rename(secondJournal.path().c_str(), ended.c_str()), 0);
  std::vector<FoundJournal> found = findOrphanJournals(dir, problems);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].path, ended);
  EXPECT_TRUE(found[0].base.untitled);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("damaged (checksum)"), std::string::npos) << problems[0];
  EXPECT_EQ(access((damaged + ".unreadable").c_str(), F_OK), 0);

  // Saving ends the first window's journal; the other window's stays.
  std::string firstPath = firstJournal.path();
  first.markSaved((dir + "/saved.msk").c_str(), FORMAT_MSK);
  firstJournal.flush();
  EXPECT_NE(access(firstPath.c_str(), F_OK), 0);
}

TEST(RecoveryJournal, StartOffersAnEndedSessionAndListsEditsThatNoLongerApply) {
  std::string dir = kivotest::tempDir(), base = dir + "/chip.msk", journals = dir + "/kivo/recovery";
  setenv("XDG_STATE_HOME", dir.c_str(), 1);
  kivotest::writeFile(base, baseFile);
  {
    Layout layout;
    RecoveryJournal journal(layout, journals);
    layout.setObserver(&journal);
    open(layout, base);
    selectAt(layout, 25, 5);
    layout.removeSelected(-1, "deleted");
    layout.addObjects({{5, box(5, 60, 60)}}, "1 added");
    journal.flush();
    ASSERT_EQ(rename(journal.path().c_str(), orphanName(journals, 1).c_str()), 0);
  }
  kivotest::writeFile(base, "REC(0,0,10,10,NW)\nREC(21,0,10,10,NW)\n");
  kivotest::writeFile(orphanName(journals, 2), "not a journal");

  KivoWindow* window = kivotest::newWindow();
  std::string question;
  kivotest::ModalResponder responder;
  responder.pressButton(MBOX_CLICKED_OK).custom([&](FXWindow* box) {
    for (FXWindow* w = box->getFirst()->getFirst(); w; w = w->getNext())
      if (FXLabel* label = dynamic_cast<FXLabel*>(w)) question = label->getText().text();
    box->handle(box, FXSEL(SEL_COMMAND, RecoverDialog::ID_YES), nullptr);
  });
  responder.pressButton(MBOX_CLICKED_OK);
  EXPECT_TRUE(window->recoverAtStart("other.msk"));
  ASSERT_EQ(responder.records().size(), 3u);
  EXPECT_EQ(responder.records()[0].title, "Error!");
  EXPECT_NE(responder.records()[0].text.find("not a recovery journal"), std::string::npos);
  EXPECT_EQ(responder.records()[1].title, "Recover");
  EXPECT_EQ(question.substr(0, question.find(" from ")), "Recover unsaved changes to " + base);
  EXPECT_NE(question.find("\nThe file has changed since"), std::string::npos) << question;
  EXPECT_EQ(responder.records()[2].text,
            "These edits no longer apply to " + base + " and were left out:\n1 object(s) removed on N Well");
  EXPECT_EQ(std::string(window->statusText.text()),
            "Recovered unsaved changes to " + base + "; other.msk was not opened");
  EXPECT_EQ(text(window->layout), "BB(0,0,64,64)\nREC(0,0,10,10,NW)\nREC(21,0,10,10,NW)\nREC(60,60,4,4,ME)\n");
  EXPECT_TRUE(window->layout.isModified());
  EXPECT_NE(access(orphanName(journals, 1).c_str(), F_OK), 0) << "the recovered journal stayed";
  EXPECT_EQ(access((orphanName(journals, 2) + ".unreadable").c_str(), F_OK), 0);
  kivotest::deleteWindow(window);
}
