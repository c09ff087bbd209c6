#include <gtest/gtest.h>

#include "e2e/KivoProcess.h"
#include "support/GuiTest.h"

using kivotest::shell;

namespace {

// Count the pixels of a PNG region that have exactly this colour.
int countColour(const std::string& png, const std::string& geometry, const std::string& colour) {
  std::string out = shell("convert '" + png + "' -crop " + geometry + " +repage -fill white +opaque '" + colour +
                          "' -fill black -opaque '" + colour + "' -format '%[fx:w*h*(1-mean)]' info:");
  return (int)std::atof(out.c_str());
}

}  // namespace

TEST(Startup, WindowShowsMenusToolbarAndBlackCanvasThenQuitsFromTheMenu) {
  kivotest::KivoProcess kivo;
  std::string info = shell("xwininfo -id " + kivo.window());
  EXPECT_NE(info.find("\"Kivo\""), std::string::npos) << info;
  EXPECT_NE(info.find("Width: 700"), std::string::npos) << info;
  EXPECT_NE(info.find("Height: 500"), std::string::npos) << info;
  EXPECT_NE(info.find("Absolute upper-left X:  0"), std::string::npos) << info;
  EXPECT_NE(info.find("Absolute upper-left Y:  0"), std::string::npos) << info;

  std::string png = kivotest::tempDir() + "/start.png";
  ASSERT_TRUE(kivotest::screenshot(png));
  // The canvas below the tool bar is black; the menu bar is the toolkit's grey.
  EXPECT_GT(countColour(png, "600x300+50+120", "#000000"), 600 * 300 * 99 / 100);
  EXPECT_LT(countColour(png, "700x20+0+0", "#000000"), 700 * 20 / 5);
  // The tool bar holds coloured icons: more than a handful of distinct colours.
  int colours = std::atoi(shell("convert '" + png + "' -crop 440x30+0+28 +repage -unique-colors -format '%w' info:").c_str());
  EXPECT_GT(colours, 12);

  ASSERT_TRUE(kivo.quitFromMenu("alt+q"));
  EXPECT_EQ(kivo.waitForExit(15), 0);
}
