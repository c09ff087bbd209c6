// A session killed with unsaved edits comes back at the next start: Yes
// replays it onto the opened file, No throws it away.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "e2e/KivoProcess.h"
#include "support/GuiTest.h"

using kivotest::Box;
using kivotest::Geometry;
using kivotest::KivoProcess;

TEST(RecoverySession, KilledSessionComesBackOnYesAndIsGoneOnNo) {
  std::string dir = kivotest::tempDir(), state = kivotest::tempDir(), input = dir + "/chip.msk";
  const char inputFile[] = "BB(0,0,60,40)\nREC(0,0,20,20,NW)\nREC(40,20,20,20,NW)\n";
  kivotest::writeFile(input, inputFile);
  for (const char* answer : {"alt+y", "alt+n"}) {
    SCOPED_TRACE(answer);
    std::string expected = kivotest::recordLine({40, 20, 20, 20}, "NW");
    {
      KivoProcess kivo({}, state);
      Geometry c = kivo.canvas();
      kivotest::View view{0, 0, std::min(c.width / 60.0f, c.height / 40.0f), c.width, c.height};  // Show All
      kivo.key("ctrl+o");
      kivo.answerFileDialog("Load Layout File", input);
      // Two rectangles in the free corners, then the first object goes: a
      // click toggles its selection and Ctrl+D deletes it.
      for (const Box& b : {Box{25, 5, 10, 10}, Box{5, 28, 10, 8}}) {
        int px0 = view.pixelX(b.x), py0 = view.pixelY(b.y), px1 = view.pixelX(b.x + b.w), py1 = view.pixelY(b.y + b.h);
        kivo.canvasDrag(px0, py0, px1, py1);
        expected += kivotest::recordLine(view.drag(px0, py0, px1, py1), "NW");
      }
      kivo.canvasDrag(view.pixelX(10), view.pixelY(10), view.pixelX(10), view.pixelY(10));
      auto journalBytes = [&] { return std::stol(kivotest::shell("cat '" + state + "'/kivo/recovery/* | wc -c")); };
      long before = journalBytes();
      kivo.key("ctrl+d");
      for (int i = 0; i < 100 && journalBytes() == before; i++) usleep(50000);
      ASSERT_GT(journalBytes(), before) << "the delete never reached the journal";
      kill(kivo.pid(), SIGKILL);
      ASSERT_EQ(kivo.waitForExit(5), 128 + SIGKILL);
    }
    std::string journals = "ls -A '" + state + "/kivo/recovery'";
    ASSERT_NE(kivotest::shell(journals), "") << "the killed session left no journal";
    KivoProcess kivo({}, state);
    std::string box = kivotest::waitForWindow("Recover");
    ASSERT_FALSE(box.empty()) << "the start did not offer the killed session's edits";
    kivo.keyTo(box, answer);
    if (answer == std::string("alt+y")) {
      std::string output = dir + "/recovered.msk";
      kivo.saveAsFromMenu(output);
      ASSERT_TRUE(kivotest::waitForFile(output)) << output;
      EXPECT_EQ(kivotest::savedRecords(output), expected);
    }
    EXPECT_EQ(kivotest::shell(journals), "") << "a journal outlived " << answer;
    EXPECT_EQ(kivotest::readFile(input), inputFile);
  }
}
