// The daily tools in the real program: the layer panel's looks, picking,
// Properties, the grid, the view commands, units and recent files, proven
// by the saved files, the canvas's pixels, the layer properties file and the
// status texts the program logs.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>

#include <fx.h>
#include <FXPNGImage.h>

#include "e2e/KivoProcess.h"
#include "model/LayerStyle.h"
#include "support/GuiTest.h"

namespace kivotest {
namespace {

// Rows at the canvas's foot that hold the scale bar, with room to spare.
const int ScaleBarHeight = 40;

// The canvas's pixels once the program has painted.
struct Picture {
  std::vector<uint32_t> pixels;
  int width;
  uint32_t at(int px, int py) const { return pixels[(size_t)py * width + px]; }
  // Whether a pixel within one of (px, py) differs from black.
  bool litNear(int px, int py) const {
    for (int dy = -1; dy <= 1; dy++)
      for (int dx = -1; dx <= 1; dx++)
        if (at(px + dx, py + dy) != 0) return true;
    return false;
  }
};
Picture picture(KivoProcess& kivo) {
  Geometry c = kivo.canvas();
  return {settledScreen(kivo.pid()).area(c), c.width};
}

// The view Open leaves: the layout's bounds from (0, 0) fit into the canvas.
View shownWhole(KivoProcess& kivo, int width, int height) {
  Geometry c = kivo.canvas();
  return View{0, 0, std::min(c.width / (float)width, c.height / (float)height), c.width, c.height};
}

// Save As a new file of dir each time; its records.
std::string savedAs(KivoProcess& kivo, const std::string& dir) {
  static int saves = 0;
  std::string path = dir + "/saved" + std::to_string(++saves) + ".msk";
  kivo.saveAsFromMenu(path);
  return waitForFile(path) ? savedRecords(path) : "(not saved)";
}

TEST(ToolsSession, LayerLooksShowOnTheCanvasAndPanelChangesReachThePropertiesFile) {
  std::string dir = tempDir(), props = dir + "/looks.props";
  writeFile(dir + "/looks.msk", "BB(0,0,60,40)\n" + recordLine({0, 0, 20, 20}, "NW") + recordLine({20, 0, 20, 20}, "DN") +
                                    recordLine({40, 0, 20, 20}, "PO") + recordLine({0, 20, 20, 20}, "ME"));
  writeFile(props, "NW #FF0000FF fill hidden\nDN #00FF00FF outline\nPO #0000FFFF stipple4\n");
  KivoProcess kivo({"--layer-props", props, dir + "/looks.msk"});
  View view = shownWhole(kivo, 60, 40);
  Picture shown = picture(kivo);
  EXPECT_EQ(shown.at(view.pixelX(10), view.pixelY(10)), 0u) << "the hidden N Well is drawn";
  EXPECT_EQ(shown.at(view.pixelX(30), view.pixelY(10)), 0u) << "the outline-only N+ Diffusion is filled";
  bool edge = false;
  for (int dx = -1; dx <= 1; dx++) edge = edge || shown.at(view.pixelX(20) + dx, view.pixelY(10)) == 0x00FF00u;
  EXPECT_TRUE(edge) << "no outline on the N+ Diffusion's left edge";
  // Inside Polisilicium its colour lies exactly where the cross-hatch covers
  // the pixel (counted from the canvas's lower-left corner), black elsewhere.
  int offPattern = 0;
  for (int py = view.pixelY(18); py < view.pixelY(2); py++)
    for (int px = view.pixelX(42); px < view.pixelX(58); px++)
      offPattern += shown.at(px, py) != (stippleCovers(STYLE_STIPPLE1 + 3, px, view.height - 1 - py) ? 0x0000FFu : 0u);
  EXPECT_EQ(offPattern, 0) << "pixels of the stippled layer off its pattern";

  // Select All passes over the hidden layer: after Delete its object is saved.
  kivo.key("ctrl+a Delete");
  EXPECT_EQ(savedAs(kivo, dir), recordLine({0, 0, 20, 20}, "NW"));

  // In the panel (rows from the top: Options ... N+ Diffusion, N Well) the eye
  // shows N Well again; a wheel notch on N+ Diffusion's style picks stipple1.
  kivo.key("ctrl+l");
  std::vector<Geometry> eyes = windowsIn("Layers", 18, 18), styles = windowsIn("Layers", 91, 23);
  ASSERT_GE(eyes.size(), 13u);
  ASSERT_GE(styles.size(), 13u);
  clickOn(eyes[12]);
  clickOn(styles[11], 5);
  auto written = [&](const char* line) { return waitUntil([&] { return readFile(props).find(line) != std::string::npos; }); };
  EXPECT_TRUE(written("\nNW #FF0000FF fill\n")) << readFile(props);
  EXPECT_TRUE(written("\nDN #00FF00FF stipple1\n")) << readFile(props);
  EXPECT_EQ(picture(kivo).at(view.pixelX(10), view.pixelY(10)), 0xFF0000u) << "N Well shown again is not drawn";
}

TEST(ToolsSession, PickPropertiesMoveToLayerAndTheGridReachTheSavedFile) {
  std::string dir = tempDir();
  const std::string nwell = recordLine({0, 0, 40, 40}, "NW");
  writeFile(dir + "/pick.msk", "BB(0,0,60,40)\n" + nwell + recordLine({20, 0, 40, 20}, "ME"));
  KivoProcess kivo({dir + "/pick.msk"});
  View view = shownWhole(kivo, 60, 40);
  auto rightClick = [&](int x, int y) { kivo.canvasDrag(view.pixelX(x), view.pixelY(y), view.pixelX(x), view.pixelY(y), "", 3); };

  // Where Metal 1 lies over N Well a right click picks Metal 1 alone, out of
  // a full selection: Delete takes only it.
  kivo.key("ctrl+a");
  rightClick(30, 10);
  kivo.key("Delete");
  EXPECT_EQ(savedAs(kivo, dir), nwell);
  // Undo brings it back selected; in Properties (Alt+Return) Tab reaches X,
  // then Y and Width; Return applies, and one undo restores it (as Move to
  // Current Layer below shows).
  kivo.key("ctrl+z alt+Return");
  kivo.keyTo(waitForWindow("Properties"), "Tab Tab Tab ctrl+a 2 5 Tab ctrl+a 5 Tab ctrl+a 1 0 Return");
  EXPECT_EQ(savedAs(kivo, dir), nwell + recordLine({25, 5, 10, 20}, "ME"));
  kivo.key("ctrl+z");

  // Move to Current Layer (the Edit menu's last entry), Polisilicium chosen in
  // the panel (its name buttons from the top: Options ... Polisilicium is the tenth).
  rightClick(50, 10);
  kivo.key("ctrl+l");
  std::vector<Geometry> names = windowsIn("Layers", 120, 23);
  ASSERT_GE(names.size(), 13u);
  clickOn(names[9]);
  kivo.menu("alt+e", "Up Return");
  EXPECT_TRUE(kivo.waitForStatus("status: 1 object(s) moved to Polisilicium"));
  const std::string moved = recordLine({20, 0, 40, 20}, "PO");

  // Grid step 10 (View > Grid Step..., above Micrometres while no ruler is
  // there); Ctrl+Shift+G shows the grid's dots on the empty canvas.
  kivo.menu("alt+v", "Up Up Return");
  kivo.answerInput("Grid Step", "10");
  EXPECT_TRUE(kivo.waitForStatus("status: grid step 10 dbu"));
  EXPECT_FALSE(picture(kivo).litNear(view.pixelX(50), view.pixelY(30)));
  kivo.key("ctrl+shift+g");
  EXPECT_TRUE(picture(kivo).litNear(view.pixelX(50), view.pixelY(30))) << "no grid dot at (50, 30)";
  // A drawn rectangle's corners go to the nearest multiples of 10.
  int px0 = view.pixelX(3.2), py0 = view.pixelY(23.3), px1 = view.pixelX(16.8), py1 = view.pixelY(36.6);
  kivo.canvasDrag(px0, py0, px1, py1);
  Box drawn = view.drag(px0, py0, px1, py1);
  auto snap = [](int32_t v) { return (int32_t)std::lround(v / 10.0) * 10; };
  drawn = {snap(drawn.x), snap(drawn.y), snap(drawn.x + drawn.w) - snap(drawn.x), snap(drawn.y + drawn.h) - snap(drawn.y)};
  // Ctrl + right drag 13 units to the right moves the picked object 10, and
  // one undo puts it back.
  rightClick(50, 10);
  px0 = view.pixelX(50), px1 = view.pixelX(63), py0 = view.pixelY(10);
  int32_t x0, x1, y;
  view.toLayout(px0, py0, x0, y), view.toLayout(px1, py0, x1, y);
  ASSERT_EQ(x1 - x0, 13);
  kivo.canvasDrag(px0, py0, px1, py0, "ctrl", 3);
  EXPECT_EQ(savedAs(kivo, dir), nwell + recordLine({30, 0, 40, 20}, "PO") + recordLine(drawn, "PO"));
  kivo.key("ctrl+z");
  EXPECT_EQ(savedAs(kivo, dir), nwell + moved + recordLine(drawn, "PO"));
}

TEST(ToolsSession, ViewCommandsUnitsAndRecentFiles) {
  std::string dir = tempDir(), home = getenv("HOME");
  writeFile(dir + "/view.msk", "BB(0,0,300,100)\n" + recordLine({0, 0, 100, 100}, "ME") + recordLine({200, 0, 100, 100}, "NW"));
  {
    setenv("HOME", dir.c_str(), 1);  // FOX's registry, with the recent files, of these runs alone
    KivoProcess kivo({dir + "/view.msk"});
    setenv("HOME", home.c_str(), 1);
    View view = shownWhole(kivo, 300, 100);
    const int row = view.pixelY(50), middle = view.pixelX(150);
    // File > Export Picture at the canvas's size holds the canvas's pixels,
    // but for what is drawn over them: the scale bar at the foot and the
    // crosshair, left where the pointer last moved on the canvas.
    std::string png = dir + "/shot.png", size = std::to_string(view.width) + " x " + std::to_string(view.height);
    kivo.menu("alt+f", "Down Down Down Down Return");
    kivo.answerFileDialog("Export Picture", png);
    kivo.keyTo(waitForWindow("Export Picture"), "Return");
    ASSERT_TRUE(kivo.waitForStatus("status: exported: " + png + " (" + size + ")"));
    Picture shown = picture(kivo);
    const uint32_t metal = shown.at(view.pixelX(50), row);
    FXPNGImage file(app());
    FXFileStream in;
    ASSERT_TRUE(in.open(png.c_str(), FXStreamLoad) && file.loadPixels(in) && file.getWidth() == view.width);
    int differing = 0;
    for (int py = 0; py < view.height - ScaleBarHeight; py++)
      for (int px = 0; px < view.width; px++) {
        if (shown.at(px, py) == 0xFF0000u) continue;  // the crosshair's red, of no layer here
        FXColor c = file.getData()[py * view.width + px];
        differing += (uint32_t)(FXREDVAL(c) << 16 | FXGREENVAL(c) << 8 | FXBLUEVAL(c)) != shown.at(px, py);
      }
    EXPECT_EQ(differing, 0) << "pixels of the exported picture unlike the canvas's";
    // A right drag across the empty middle leaves a ruler; Escape removes it.
    kivo.canvasDrag(view.pixelX(120), view.pixelY(30), view.pixelX(180), view.pixelY(70), "", 3);
    EXPECT_TRUE(picture(kivo).litNear(middle, row)) << "no ruler";
    kivo.key("Escape");
    EXPECT_FALSE(picture(kivo).litNear(middle, row)) << "Escape left the ruler";
    // Shift + right drag over a band inside Metal 1: the band fills the canvas.
    kivo.canvasDrag(view.pixelX(40), view.pixelY(60), view.pixelX(60), view.pixelY(40), "shift", 3);
    Picture zoomed = picture(kivo);
    for (int corner = 0; corner < 3; corner++)
      EXPECT_EQ(zoomed.at(corner == 1 ? 2 : view.width - 3, corner == 2 ? view.height / 2 : 2), metal) << corner;
    // Go To the middle of N Well: a rectangle drawn from the canvas's centre starts there.
    kivo.key("ctrl+j");
    kivo.answerInput("Go To", "250, 50");
    EXPECT_TRUE(kivo.waitForStatus("status: centred on 250, 50"));
    kivo.canvasDrag(view.width / 2, view.height / 2, view.width / 2 + 40, view.height / 2 - 40);
    std::string gds = dir + "/view.gds";
    kivo.saveAsFromMenu(gds);
    ASSERT_TRUE(waitForFile(gds));
    EXPECT_NE(savedAs(kivo, dir).find("\nREC(250,50,"), std::string::npos) << "Go To missed (250, 50)";

    // Opened as GDSII the inspect field speaks micrometres (1 nm units);
    // View > Micrometres switches it to database units.
    kivo.key("ctrl+o");
    kivo.answerFileDialog("Load Layout File", gds);
    ASSERT_TRUE(kivo.waitForStatus("status: active file " + gds));
    kivo.pointAt(view.pixelX(50), row);
    EXPECT_TRUE(kivo.waitForStatus("shape: Metal 1 (5/0)  0, 0  0.1 x 0.1"));
    kivo.menu("alt+v", "Up Return");
    EXPECT_TRUE(kivo.waitForStatus("shape: Metal 1 (5/0)  0, 0  100 x 100"));
    kivo.closeBox();
    ASSERT_EQ(kivo.waitForExit(), 0);
  }
  // The next start lists the file first under File > Recent Files and opens it from there.
  setenv("HOME", dir.c_str(), 1);
  KivoProcess again;
  setenv("HOME", home.c_str(), 1);
  again.menu("alt+f", "Down Down Down Right Down Return");
  EXPECT_TRUE(again.waitForStatus("status: active file " + dir + "/view.gds"));
}

}  // namespace
}  // namespace kivotest
