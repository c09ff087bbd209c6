// The recovery journal: what a replay rebuilds from it, what a start finds
// of journals left behind, and how it lives through failing writes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>


#include "app/KivoWindow.h"
#include "io/Gdsii.h"
#include "io/GdsShapes.h"
#include "io/JournalReplay.h"
#include "io/RecoverDialog.h"
#include "io/RecoveryJournal.h"
#include "model/ObjectOrigin.h"
#include "model/ObjectReplace.h"
#include "support/GuiTest.h"

namespace {

const char baseFile[] =
    "BB(0,0,50,25)\nREC(0,0,10,10,NW)\nREC(20,0,10,10,NW)\nREC(40,0,10,10,NW)\nREC(0,20,5,5,OP,7)\n";

// The layout's text, then the origin number of every object that has one.
std::string text(Layout& layout) {
  std::ostringstream out;
  writeLayout(out, layout.allLayers());
  for (int i = 0; i < LAYER_COUNT; i++)
    for (const GroupNode* node = layout.layer(i).first(); node; node = node->next())
      out << (node->origin ? "origin " + std::to_string(node->origin) + "\n" : "");
  return out.str();
}

// Every polygon, path and label of the layout as GDSII elements, in order.
std::string shapeBytes(Layout& layout) {
  GdsRecordWriter w;
  for (int i = 0; i < LAYER_COUNT; i++)
    for (const GroupNode* node = layout.layer(i).first(); node; node = node->next())
      if (const Shape* shape = dynamic_cast<const Shape*>(node)) writeGdsShape(w, *shape, (uint32_t)i, 0, std::string());
  return w.bytes();
}

// Read a GDSII file into the layout as Open does, telling the journal what was read.
void openGdsii(Layout& layout, RecoveryJournal& journal, const std::string& path) {
  FileIdentity read = FileIdentity::of(path);
  Layer fresh[LAYER_COUNT];
  for (Layer& layer : fresh) layer.enable();
  GdsReadResult gds;
  GdsLibraryInfo info;
  CellLibrary cells;
  ASSERT_EQ(readGdsiiFile(path.c_str(), activeLayerMap(), fresh, info, gds, nullptr, &cells), READ_OK);
  layout.replaceContent(fresh, path.c_str(), false, FORMAT_GDSII, info, &cells);
  journal.baseRead(read);
}

// A library whose TOP places a SkyWater cell twice: as it is, and as a
// mirrored, turned 2 x 3 array; false when the cell's file is missing.
bool writeHierarchy(const std::string& path) {
  const char* data = std::getenv("KIVO_DATA_DIR");
  const std::string cellFile = (data ? std::string(data) : std::string(std::getenv("KIVO_SOURCE_DIR")) + "/../shared/data") +
                               "/sky130_fd_sc_hd/sky130_fd_sc_hd__einvn_1.gds";
  if (access(cellFile.c_str(), R_OK) != 0) return false;
  Layer layers[SLOT_COUNT];
  CellLibrary lib;
  GdsLibraryInfo info;
  GdsReadResult r;
  EXPECT_EQ(readGdsiiFile(cellFile.c_str(), LayerMap(), layers, info, r, nullptr, &lib), READ_OK);
  const uint32_t cell = lib.shown;
  lib.cell(cell).showIn(layers), lib.cell(cell).showIn(nullptr);  // its objects back into the cell
  lib.shown = lib.add("TOP");
  for (int k = 0; k < 2; k++) {
    Instance* inst = new Instance;
    inst->cell = cell;
    inst->transform.x = 100000 * k, inst->transform.mirrorX = k, inst->transform.quarterTurns = k;
    inst->array.columns = 1 + k, inst->array.rows = 1 + 2 * k, inst->array.columnStep[0] = 5000 * k, inst->array.rowStep[1] = 4000 * k;
    inst->placeBounds(lib.cell(cell).bounds());
    lib.cell(lib.shown).editLayer(LAYER_INSTANCES).appendChain(inst);
  }
  lib.cell(lib.shown).showIn(layers);
  int error = 0;
  return saveGdsiiFile(path.c_str(), layers, LayerMap(), info, error, &lib) == SAVE_OK;
}

std::string gdsBytes(const Layout& layout) {
  std::ostringstream out;
  writeGdsii(out, layout.allLayers(), LayerMap(), layout.gdsInfo(), 0, &layout.cells());
  return out.str();
}

unsigned mode(const std::string& path) { struct stat st; return stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0; }

GroupNode* box(int layer, int32_t x, int32_t y, uint32_t origin = 0) {
  GroupNode* node = newLayoutObject(layer);
  node->setRect(x, y, 4, 4), node->origin = origin;
  return node;
}

// Select the objects at point (x, y) only.
void selectAt(Layout& layout, int32_t x, int32_t y) {
  Rect at{};
  at.setRect(x, y, 0, 0), layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
  layout.applySelection(-1, OP_SELECT, MATCH_AT, &at);
}

// A journal file named as if a process that has ended had left it.
std::string orphanName(const std::string& dir, int counter) {
  char host[256] = {};
  gethostname(host, sizeof(host) - 1);
  return dir + "/" + std::to_string(getpid()) + "-1-" + std::to_string(counter) + "-" + host + ".kivojournal";
}

// The name step journals after this one's ("pid-start-counter-host").
std::string nextName(const std::string& journal, unsigned step) {
  size_t at = journal.find('-', journal.find('-', journal.rfind('/')) + 1) + 1, end = journal.find('-', at);
  return journal.substr(0, at) + std::to_string(std::stoul(journal.substr(at, end - at)) + step) + journal.substr(end);
}

}  // namespace

TEST(RecoveryJournal, ReplayRebuildsAGdsiiSessionWithItsMapAndOriginsAndDropsATornLastEntry) {
  std::string dir = kivotest::tempDir(), base = dir + "/chip.gds", error, victim = dir + "/victim";
  ASSERT_EQ(mkdir((dir + "/recovery").c_str(), 0755), 0);
  ASSERT_TRUE(activeLayerMap().parse("40/3 NW\n", error)) << error;
  Layout layout, source;
  source.addObjects({{1, box(1, 0, 0)}, {1, box(1, 20, 0)}, {1, box(1, 40, 0)}, {LAYER_OPTIONS, box(LAYER_OPTIONS, 0, 20)}}, "");
  int saved = 0;
  ASSERT_EQ(saveGdsiiFile(base.c_str(), source.allLayers(), activeLayerMap(), source.gdsInfo(), saved), SAVE_OK);
  RecoveryJournal journal(layout, dir + "/recovery");
  layout.setObserver(&journal);
  openGdsii(layout, journal, base);
  uint32_t kept = internOrigin({"QQ", 7, 9, std::string("\0\6\x2b\2\0\5", 6)});
  layout.addObjects({{5, box(5, 60, 60)}, {0, box(0, 70, 70, kept)}, {LAYER_OPTIONS, box(LAYER_OPTIONS, 80, 0)}},
                    "3 added");
  selectAt(layout, 22, 2);
  layout.removeSelected(-1, "deleted");
  selectAt(layout, 42, 2);
  layout.moveSelected(-1, 3, -4);
  layout.undo();  // the move
  layout.undo();  // the delete: the object goes back to its place
  layout.redo();
  std::string beforeLast = text(layout);
  layout.redo();
  journal.flush();
  std::string journalPath = journal.path();
  std::vector<std::string> problems;
  EXPECT_TRUE(findOrphanJournals(dir + "/recovery", problems).empty()) << "a running session's journal was offered";
  activeLayerMap() = LayerMap();  // the replay reads the base with the session's map

  Layout replayed;
  ReplayResult result = replayJournal(journalPath, replayed);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(text(replayed), text(layout));
  EXPECT_TRUE(replayed.isModified() && replayed.isUntitled() && replayed.fileName().text() == base &&
              replayed.format() == FORMAT_GDSII && !result.baseChanged && result.notApplied.empty());
  EXPECT_EQ(activeLayerMap().text(), "40/3 NW\n") << "Save would map the layers otherwise";

  // A write cut short by a crash: the last entry goes, the rest stays.
  ASSERT_EQ(truncate(journalPath.c_str(), kivotest::readFile(journalPath).size() - 3), 0);
  result = replayJournal(journalPath, replayed);
  EXPECT_TRUE(result.ok && result.tornEntryDropped && text(replayed) == beforeLast) << text(replayed);

  // An undo back to the saved state leaves nothing to recover; the next
  // edit's journal is private and passes over names planted in its way.
  while (layout.canUndo()) layout.undo();
  journal.flush();
  EXPECT_NE(access(journalPath.c_str(), F_OK), 0) << "the journal outlived the saved state";
  std::string planted = nextName(journalPath, 2);
  kivotest::writeFile(victim, "mine");
  kivotest::writeFile(planted, "planted");
  ASSERT_TRUE(symlink(victim.c_str(), nextName(journalPath, 1).c_str()) == 0 && chmod(planted.c_str(), 0666) == 0);
  layout.redo();
  journal.flush();
  EXPECT_EQ(journal.path(), nextName(planted, 1));
  EXPECT_EQ(kivotest::readFile(victim) + kivotest::readFile(planted), "mineplanted");
  EXPECT_TRUE(mode(dir + "/recovery") == 0700 && mode(journal.path()) == 0600);
}

TEST(RecoveryJournal, ReplaysMovedAndDeletedInstancesAndRefusesAnOlderJournal) {
  const std::string dir = kivotest::tempDir(), base = dir + "/lib.gds";
  if (!writeHierarchy(base)) GTEST_SKIP() << "the sky130 cells are missing (set KIVO_DATA_DIR)";
  ASSERT_EQ(mkdir((dir + "/recovery").c_str(), 0755), 0);
  activeLayerMap() = LayerMap();
  Layout layout;
  RecoveryJournal journal(layout, dir + "/recovery");
  layout.setObserver(&journal);
  openGdsii(layout, journal, base);
  ASSERT_TRUE(layout.cellCount() == 2 && layout.instances().size() == 2 && layout.cell(layout.shownCell()).name() == "TOP");
  const Instance& array = *static_cast<const Instance*>(layout.instances().first()->next());
  selectAt(layout, array.x + array.w / 2, array.y + array.h / 2);
  EXPECT_EQ(1u, layout.selectedCount(LAYER_INSTANCES));
  layout.moveSelected(-1, 30, -40);
  EXPECT_TRUE(array.transform.x == 100030 && array.transform.y == -40);
  const std::string moved = gdsBytes(layout);
  selectAt(layout, 10, 10);  // within the plain instance only
  EXPECT_TRUE(layout.removeSelected(-1, "deleted") == 1 && layout.instances().size() == 1);
  layout.undo();
  EXPECT_TRUE(layout.instances().size() == 2 && gdsBytes(layout) == moved);
  layout.redo();
  journal.flush();
  const std::string journalPath = journal.path();
  Layout replayed;
  ReplayResult result = replayJournal(journalPath, replayed);
  ASSERT_TRUE(result.ok && result.notApplied.empty()) << result.error;
  EXPECT_TRUE(replayed.instances().size() == 1 && gdsBytes(replayed) == gdsBytes(layout));
  // A journal of the version before cells is refused whole, not replayed by guess.
  std::string bytes = kivotest::readFile(journalPath);
  const uint32_t older = 2;
  bytes.replace(8, 4, (const char*)&older, 4);
  kivotest::writeFile(journalPath, bytes);
  Layout untouched;
  result = replayJournal(journalPath, untouched);
  EXPECT_TRUE(!result.ok && result.error == "journal version 2 is not known" && untouched.cellCount() == 1) << result.error;
}

// A state folder that cannot be made, then a full disk: the user hears of
// it once, and the edits kept meanwhile reach the file when it works again.
TEST(RecoveryJournal, FailedWritesAreKeptToldOnceAndWrittenWholeWhenTheyWork) {
  std::string dir = kivotest::tempDir(), state = dir + "/state";
  kivotest::writeFile(state, "a file where the state folder goes");
  setenv("XDG_STATE_HOME", state.c_str(), 1);
  KivoWindow* window = kivotest::newWindow();
  kivotest::ModalResponder responder;
  responder.pressButton(MBOX_CLICKED_OK);
  RecoveryJournal& journal = *window->journal;
  const struct { int failure; bool unblock; const char* status; } steps[] = {
      {0, false, "The recovery journal cannot be written: the folder " },
      {ENOSPC, true, "The recovery journal cannot be written: the folder "},  // unchanged: not told again
      {0, false, "The recovery journal is written again"},
      {ENOSPC, false, "The recovery journal cannot be written: writing "},
      {0, false, "The recovery journal is written again"}};
  std::string first;
  for (const auto& step : steps) {
    if (step.unblock) unlink(state.c_str());
    journal.failWrites(step.failure);
    window->layout.addObjects({{1, box(1, (int32_t)first.size(), 0)}}, "1 added");
    journal.flush();
    window->handle(window, FXSEL(SEL_TIMEOUT, KivoWindow::ID_JOURNAL_TIMER), nullptr);  // tells, retries
    journal.flush();
    EXPECT_EQ(std::string(window->statusText.text()).find(step.status), 0u) << window->statusText.text();
    if (first.empty()) first = journal.path();
  }
  EXPECT_TRUE(responder.records().size() == 1 && journal.path() == first) << "told twice, or renamed on rewrite";
  Layout replayed;
  ASSERT_TRUE(replayJournal(journal.path(), replayed).ok);
  EXPECT_EQ(text(replayed), text(window->layout));
  kivotest::deleteWindow(window);
}

// A session opened a file that another program rewrote before the first
// edit, and ended with a torn last entry; another lost its file.
TEST(RecoveryJournal, StartOffersAnEndedSessionAndSaysWhatWasLeftOut) {
  std::string dir = kivotest::tempDir(), base = dir + "/chip.msk", journals = dir + "/kivo/recovery";
  setenv("XDG_STATE_HOME", dir.c_str(), 1);
  const struct { bool vanish; const char* question; const char* report; const char* layout; } cases[] = {
      {false, "The file has changed since", "These edits no longer apply to %s and were left out:\n1 object(s) "
       "removed on N Well\nThe last edit was cut short when the session ended and was left out.",
       "BB(0,0,31,10)\nREC(0,0,10,10,NW)\nREC(21,0,10,10,NW)\n"},
      {true, "The file cannot be read any more",
       "%s could not be read (No such file or directory): the edits were applied to an empty layout.\n"
       "These edits need the file's objects and were left out:\n1 object(s) removed on N Well",
       "BB(0,0,64,64)\nREC(60,60,4,4,ME)\n"}};
  for (const auto& c : cases) {
    kivotest::writeFile(base, baseFile);
    KivoWindow* window = kivotest::newWindow();
    ASSERT_TRUE(window->openFile(base.c_str()));
    if (!c.vanish) kivotest::writeFile(base, "REC(0,0,10,10,NW)\nREC(21,0,10,10,NW)\n");
    selectAt(window->layout, 25, 5);
    window->layout.removeSelected(-1, "deleted");
    window->layout.addObjects({{5, box(5, 60, 60)}}, "1 added");
    window->journal->flush();
    std::string journal = window->journal->path();
    ASSERT_EQ(truncate(journal.c_str(), kivotest::readFile(journal).size() - (c.vanish ? 0 : 3)), 0);
    ASSERT_EQ(rename(journal.c_str(), orphanName(journals, 1).c_str()), 0);
    kivotest::deleteWindow(window);
    std::string bytes = kivotest::readFile(orphanName(journals, 1));
    bytes[21] ^= 0x40;  // inside the base entry: a damaged copy is set aside and reported
    if (c.vanish) unlink(base.c_str()), kivotest::writeFile(orphanName(journals, 2), bytes + bytes.substr(12));

    window = kivotest::newWindow();
    std::string question;
    kivotest::ModalResponder responder;
    if (c.vanish) responder.pressButton(MBOX_CLICKED_OK);
    responder.custom([&](FXWindow* box) {
      for (FXWindow* w = box->getFirst()->getFirst(); w; w = w->getNext())
        if (FXLabel* label = dynamic_cast<FXLabel*>(w)) question = label->getText().text();
      box->handle(box, FXSEL(SEL_COMMAND, RecoverDialog::ID_YES), nullptr);
    });
    responder.pressButton(MBOX_CLICKED_OK);
    EXPECT_TRUE(window->recoverAtStart("other.msk"));
    ASSERT_EQ(responder.records().size(), c.vanish ? 3u : 2u);
    EXPECT_TRUE(!c.vanish || responder.records()[0].text.find("damaged (checksum)") != std::string::npos);
    EXPECT_TRUE(question.find("Recover unsaved changes to " + base + " from ") == 0 &&
                question.find(c.question) != std::string::npos) << question;
    EXPECT_EQ(responder.records().back().text, FXString().format(c.report, base.c_str()).text());
    EXPECT_EQ(text(window->layout), c.layout);
    EXPECT_NE(access(orphanName(journals, 1).c_str(), F_OK), 0) << "the recovered journal stayed";
    kivotest::deleteWindow(window);
  }
  EXPECT_EQ(access((orphanName(journals, 2) + ".unreadable").c_str(), F_OK), 0);
}

// Polygons, paths and labels come back from a replay with their exact
// points and fields, a deleted polygon deleted.
TEST(RecoveryJournal, ReplayKeepsShapesAndTheirDeletion) {
  std::string dir = kivotest::tempDir();
  ASSERT_EQ(mkdir((dir + "/recovery").c_str(), 0755), 0);
  Layout layout;
  RecoveryJournal journal(layout, dir + "/recovery");
  layout.setObserver(&journal);
  Polygon* triangle = new Polygon;
  triangle->setPoints({{0, 0}, {40, 0}, {0, 40}});
  Path* path = new Path;
  path->setPath({{100, 0}, {130, 31}}, 7, 4, -2, 5);
  path->gdsRecords = SHAPE_HAS_PATHTYPE | SHAPE_HAS_WIDTH;
  Label* label = new Label;
  label->text = "VSS", label->anchor = {-50, 7}, label->angle = 45, label->magnification = 2;
  label->unitsPerMicrometre = 1;  // letters 2 units high, clear of the triangle
  label->refresh();
  std::vector<PlacedObject> added;  // the shapes after more boxes than the journal encodes in one go
  for (int32_t k = 0; k < 300; k++) added.push_back({3, box(3, 200 + 5 * k, 200)});
  added.insert(added.end(), {{3, triangle}, {3, path}, {4, label}});
  layout.addObjects(added, "303 added");
  const std::string all = shapeBytes(layout);
  selectAt(layout, 5, 5);
  layout.removeSelected(-1, "deleted");
  const std::string left = shapeBytes(layout);
  layout.undo();
  layout.redo();
  journal.flush();
  Layout replayed;
  ASSERT_TRUE(replayJournal(journal.path(), replayed).ok);
  EXPECT_EQ(left, shapeBytes(replayed));
  EXPECT_EQ(text(layout), text(replayed));
  EXPECT_TRUE(left.size() < all.size() && left.find("VSS") != std::string::npos);
}

namespace {

// Every cell's name and objects per slot (the shown cell's in the layers),
// instances with the cell they place.
std::string library(const Layout& layout) {
  std::ostringstream out;
  for (uint32_t c = 0; c < layout.cellCount(); c++) {
    const Cell& cell = layout.cell(c);
    out << (c == layout.shownCell() ? "*" : "") << cell.name() << ":";
    for (int i = 0; i < SLOT_COUNT; i++) {
      const Layer* l = i == LAYER_INSTANCES ? &cell.instances() : cell.layer(i);
      for (const GroupNode* n = l ? l->first() : nullptr; n; n = n->next()) {
        out << " " << i << "@" << n->x << "," << n->y << "," << n->w << "," << n->h;
        if (i == LAYER_INSTANCES) out << ">" << layout.cell(static_cast<const Instance*>(n)->cell).name();
      }
    }
    out << "\n";
  }
  return out.str();
}

}  // namespace

TEST(RecoveryJournal, ReplayRebuildsGroupsUngroupsAndTheCellShown) {
  std::string dir = kivotest::tempDir();
  Layout layout;
  RecoveryJournal journal(layout, dir);
  layout.setObserver(&journal);
  layout.addObjects({{1, box(1, 0, 0)}, {1, box(1, 20, 0)}, {2, box(2, 40, 0)}}, "3 added");
  selectAt(layout, 2, 2);
  ASSERT_EQ(layout.groupSelected("A"), Layout::GROUP_DONE);
  layout.undo();
  layout.redo();
  layout.applySelection(-1, OP_SELECT, MATCH_ALL, nullptr);
  ASSERT_EQ(layout.groupSelected("B"), Layout::GROUP_DONE);  // A placed in B, beside two boxes
  ASSERT_EQ(layout.ungroupSelected(100), 1u);
  layout.undo();
  layout.redo();
  layout.showCell(layout.cells().find("A"));
  EXPECT_FALSE(layout.canUndo());  // the steps were the top cell's
  layout.addObjects({{3, box(3, 9, 9)}}, "1 added");
  layout.showCell(0);
  journal.flush();

  Layout replayed;
  ReplayResult result = replayJournal(journal.path(), replayed);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(result.notApplied.empty());
  EXPECT_EQ(library(replayed), library(layout));
  // B keeps its content though nothing places it; its instance of A grew with A.
  const std::string placeA = std::to_string(LAYER_INSTANCES) + "@0,0,13,13>A\n";
  EXPECT_EQ(library(layout), "*TOP: 1@20,0,4,4 2@40,0,4,4 " + placeA + "A: 1@0,0,4,4 3@9,9,4,4\nB: 1@20,0,4,4 2@40,0,4,4 " + placeA);
  layout.setObserver(nullptr);
}

// Properties and Move to Current Layer replace objects: the journal keeps
// their layer, place, geometry and value through undo and redo.
TEST(RecoveryJournal, ReplayFollowsReplacedAndMovedObjects) {
  std::string dir = kivotest::tempDir();
  ASSERT_EQ(mkdir((dir + "/recovery").c_str(), 0755), 0);
  Layout layout;
  RecoveryJournal journal(layout, dir + "/recovery");
  layout.setObserver(&journal);
  std::vector<PlacedObject> boxes;
  for (int k = 0; k < 3; k++) {
    boxes.push_back({5, newLayoutObject(5)});
    boxes.back().node->setRect(k * 10, 0, 4, 4);
  }
  layout.addObjects(boxes, "added");
  GroupNode* wider = objectForSlot(*layout.layer(5).first()->next(), 5, 5);
  wider->setRect(11, 1, 8, 2);
  layout.replaceObject(5, 1, 5, wider, "1 object changed");
  layout.layer(5).first()->select();
  layout.moveSelectedToLayer(LAYER_OPTIONS);
  layout.undo();
  layout.redo();
  journal.flush();
  Layout replayed;
  ASSERT_TRUE(replayJournal(journal.path(), replayed).ok);
  EXPECT_EQ(text(layout), text(replayed));
  EXPECT_NE(std::string::npos, text(replayed).find("REC(11,1,8,2,ME)"));
  {
    // Runs of 1, 2, 3, 5, 8 and 16 objects, at gaps of one, cover the ends
    // of the ranges the journal writes.
    Layout many;
    RecoveryJournal runs(many, dir + "/recovery");
    many.setObserver(&runs);
    std::vector<PlacedObject> row;
    for (int k = 0; k < 40; k++) row.push_back({5, newLayoutObject(5)}), row.back().node->setRect(k * 10, 0, 4, 4);
    many.addObjects(row, "added");
    int k = 0;
    for (GroupNode* n = many.layer(5).first(); n; n = n->next(), k++)
      if (k != 1 && k != 4 && k != 8 && k != 14 && k != 23) n->select();
    many.moveSelected(-1, 3, -4);
    many.removeSelected(-1, "deleted");
    many.undo();
    runs.flush();
    Layout replayed;
    ASSERT_TRUE(replayJournal(runs.path(), replayed).ok);
    EXPECT_EQ(text(many), text(replayed));
  }
}
