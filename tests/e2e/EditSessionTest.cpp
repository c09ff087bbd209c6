// Undo, redo, the clipboard and moving the selection in the real program,
// proven by the files it saves and by what it offers other programs.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "e2e/KivoProcess.h"
#include "support/GuiTest.h"

using kivotest::Box;
using kivotest::KivoProcess;
using kivotest::View;

TEST(EditSession, UndoRedoClipboardAndMovesReachTheSavedFileAndTheSavedState) {
  std::string dir = kivotest::tempDir();
  KivoProcess kivo;
  kivotest::Geometry c = kivo.canvas();
  View view{0, 0, 10.0f, c.width, c.height};

  // Two rectangles on N Well; undo both, redo the first.
  kivo.canvasDrag(100, 300, 200, 200);
  kivo.canvasDrag(300, 300, 400, 250);
  kivo.key("ctrl+z ctrl+z ctrl+y");
  Box a = view.drag(100, 300, 200, 200);

  // Select it with a Ctrl-click, copy: other programs get the record as text.
  kivo.canvasDrag(150, 250, 150, 250, "ctrl");
  kivo.key("ctrl+c");
  unsigned long kivoOwns = 0;
  for (int i = 0; i < 100 && !(kivoOwns = kivotest::clipboardOwner()); i++) usleep(50000);
  ASSERT_NE(kivoOwns, 0u) << "Copy did not take the clipboard";
  std::string offered = kivotest::shell("timeout 5 xclip -o -selection clipboard 2>&1");
  EXPECT_NE((offered + "\n").find("\n" + kivotest::recordLine(a, "NW")), std::string::npos) << offered;

  // Paste under the pointer, then move the copy 1 right and 10 up.
  kivotest::shell("xdotool mousemove " + std::to_string(c.x + 500) + " " + std::to_string(c.y + 100));
  kivo.key("ctrl+v ctrl+Right ctrl+shift+Up");
  int32_t px, py;
  view.toLayout(500, 100, px, py);
  Box copy = {px + 1, py + 10, a.w, a.h};

  // Layout text from another program pastes too, codes and values kept.
  kivotest::shell("(printf 'REC(5,6,7,8,OP,42)\\n' | timeout 20 xclip -quiet -i -selection clipboard "
                  ">/dev/null 2>&1 &)");
  for (int i = 0; i < 100 && kivotest::clipboardOwner() == kivoOwns; i++) usleep(50000);
  ASSERT_NE(kivotest::clipboardOwner(), kivoOwns) << "xclip did not take the clipboard";
  kivo.key("ctrl+v");
  Box marker = {px, py, 7, 8};

  std::string saved = dir + "/edited.msk";
  kivo.saveAsFromMenu(saved);
  ASSERT_TRUE(kivotest::waitForFile(saved));
  EXPECT_EQ(kivotest::recordLine(a, "NW") + kivotest::recordLine(copy, "NW") + kivotest::recordLine(marker, "OP,42"),
            kivotest::savedRecords(saved));

  // Edit, then undo back to the saved state: the close box closes at once.
  kivo.key("ctrl+a Delete ctrl+z");
  kivo.closeBox();
  EXPECT_EQ(0, kivo.waitForExit(5)) << "the close box asked although the layout was as saved";
}
