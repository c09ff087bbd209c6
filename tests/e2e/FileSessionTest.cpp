// Open a layout file written by another tool, save it under a new name and
// quit, all through the real program's menus and dialogs.
#include <gtest/gtest.h>

#include "e2e/KivoProcess.h"
#include "support/GuiTest.h"

using kivotest::KivoProcess;

namespace {

// A code in lower case (kept as read, slot 0), a negative height, the alias
// VI of CO and a line that is not a record, in the order of no slot.
const char inputFile[] =
    "BB(999,999,1,1)\n"
    "REC(100,200,50,40,NW)\n"
    "this line is not a record\n"
    "REC(300,100,20,-30,PO)\n"
    "REC(140,230,4,4,VI)\n"
    "REC(130,220,10,10,nw)\n";
// Slots 0 to 13 in order.
const char expectedRecords[] =
    "REC(130,220,10,10,nw)\nREC(100,200,50,40,NW)\nREC(300,70,20,30,PO)\nREC(140,230,4,4,CO)\n";

}  // namespace

TEST(FileSession, OpenThenSaveAsWritesTheCanonicalLayoutAndQuitAsks) {
  std::string dir = kivotest::tempDir();
  std::string input = dir + "/from-other-tool.msk";
  std::string output = dir + "/saved copy.msk";
  kivotest::writeFile(input, inputFile);

  KivoProcess kivo;
  kivo.key("ctrl+o");
  kivo.answerFileDialog("Load Layout File", input);
  // The unknown code is kept and named, the other line skipped.
  std::string warning = kivotest::waitForWindow("Warning!");
  ASSERT_FALSE(warning.empty()) << "Open did not report the unknown codes and the skipped line";
  kivo.keyTo(warning, "Return");

  kivo.saveAsFromMenu(output);
  ASSERT_TRUE(kivotest::waitForFile(output)) << output;
  EXPECT_EQ(kivotest::savedRecords(output), expectedRecords);
  EXPECT_EQ(kivotest::readFile(input), inputFile) << "the opened file must stay as it was";

  ASSERT_TRUE(kivo.quitFromMenu("alt+q")) << "Quit did not ask";
  EXPECT_EQ(kivo.waitForExit(10), 0);
}
