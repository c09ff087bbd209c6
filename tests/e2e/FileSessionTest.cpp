// Open a layout file written by another tool, save it under a new name and
// quit, all through the real program's menus, dialogs and close box.
#include <gtest/gtest.h>

#include "e2e/KivoProcess.h"
#include "support/GuiTest.h"

using kivotest::KivoProcess;

namespace {

// Records in file order, with what the reader must make of them: blanks
// after "(" and after separators, a lower-case code kept as it was read and
// "NULL!" (slot 0), the
// read-only aliases VI and PA, ";" separators, negative sizes, a CR LF line
// end, an empty line and lines that are not records.
const char inputFile[] =
    "BB(999,999,1,1)\n"
    "REC(100,200,50,40,NW)\n"
    "REC( 120, 210,30,10,DN)\n"
    "this line is not a record\n"
    "REC(110,205,-5,3,NW)\n"
    "REC(300,100,20,-30,PO)\n"
    "\n"
    "REC(130,220,10,10,nw)\n"
    "REC(140,230,4,4,VI)\n"
    "REC(150,240,6,6,OP,-7)\n"
    "REC(160;250;8;8;ME)\n"
    "REC(170,260,2,2,PA)\n"
    " REC(1,1,1,1,NW)\n"
    "REC(180,270,3,3,M6)\r\n"
    "REC(105,215,5,5,NULL!)\n"
    "REC(190,280,1,1,OP,42)\n";

// Slots 0 to 13 in order, file order within a slot. The box: slot 0 gives
// (105,215,35,15), slot 1 widens it to (100,200,50,40), the empty slot 3
// pulls it to (0,0,150,240), then PO, ME, M6 and the second OP push the
// right and top edges out to 320 and 281.
const char expectedFile[] =
    "BB(0,0,320,281)\n"
    "REC(130,220,10,10,nw)\n"
    "REC(105,215,5,5,NULL!)\n"
    "REC(100,200,50,40,NW)\n"
    "REC(105,205,5,3,NW)\n"
    "REC(120,210,30,10,DN)\n"
    "REC(300,70,20,30,PO)\n"
    "REC(160,250,8,8,ME)\n"
    "REC(180,270,3,3,M6)\n"
    "REC(140,230,4,4,CO)\n"
    "REC(150,240,6,6,OP,-7)\n"
    "REC(190,280,1,1,OP,42)\n"
    "REC(170,260,2,2,LC)\n";

}  // namespace

TEST(FileSession, OpenThenSaveAsWritesTheCanonicalLayoutAndQuitAsks) {
  std::string dir = kivotest::tempDir();
  std::string input = dir + "/from-other-tool.msk";
  std::string output = dir + "/saved copy.msk";
  kivotest::writeFile(input, inputFile);

  KivoProcess kivo;
  kivo.key("ctrl+o");
  kivo.answerFileDialog("Load Layout File", input);
  // The unknown codes are kept and named, the blank-led record is skipped.
  std::string warning = kivotest::waitForWindow("Warning!");
  ASSERT_FALSE(warning.empty()) << "Open did not report the unknown codes and the skipped line";
  kivo.keyTo(warning, "Return");

  kivo.saveAsFromMenu(output);
  ASSERT_TRUE(kivotest::waitForFile(output)) << output;
  EXPECT_EQ(kivotest::readFile(output), expectedFile);
  EXPECT_EQ(kivotest::readFile(input), inputFile) << "the opened file must stay as it was";

  ASSERT_TRUE(kivo.quitFromMenu("alt+q")) << "Quit did not ask";
  EXPECT_EQ(kivo.waitForExit(10), 0);
}

TEST(FileSession, CloseBoxAsksAfterAnEditAndCancelKeepsTheProgram) {
  KivoProcess kivo;
  kivo.canvasDrag(100, 300, 200, 200);
  kivo.closeBox();
  std::string box = kivotest::waitForWindow("Warning!");
  ASSERT_FALSE(box.empty()) << "the close box dropped an unsaved rectangle without asking";
  kivo.keyTo(box, "alt+c");
  EXPECT_EQ(kivo.waitForExit(1), -1) << "Cancel must keep the program running";

  kivo.closeBox();
  box = kivotest::waitForWindow("Warning!");
  ASSERT_FALSE(box.empty()) << "the second close request did not ask";
  kivo.keyTo(box, "alt+q");
  EXPECT_EQ(kivo.waitForExit(10), 0);
}
