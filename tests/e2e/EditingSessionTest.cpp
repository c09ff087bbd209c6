// A designer's session with the real program: open a layout, pick Metal 1 in
// the layer panel and draw on it, switch Polisilicium off, save, delete
// everything else, save again under a new name, quit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "e2e/KivoProcess.h"
#include "support/GuiTest.h"

using kivotest::Box;
using kivotest::Geometry;
using kivotest::KivoProcess;
using kivotest::View;

namespace {

const char inputFile[] =
    "BB(0,0,70,45)\n"
    "REC(10,10,60,30,NW)\n"
    "REC(20,15,10,10,DN)\n"
    "REC(40,5,5,40,PO)\n"
    "REC(50,5,5,40,PO)\n"
    "REC(15,30,50,5,ME)\n"
    "REC(30,32,3,3,CO)\n"
    "REC(60,20,5,5,OP,9)\n";

// Show All after Open fits the objects of the layers that hold any.
const Box openedBounds = {10, 5, 60, 40};

const uint32_t NWellColour = 0x848400;
// Polisilicium (255,0,0) at alpha 160 over N Well (132,132,0).
const uint32_t PolyOverNWell = 0xD13100;

// Panel rows, top to bottom, as the panel lists its layers.
enum PanelRow { RowMetal1 = 6, RowPolisilicium = 9, PanelRows = 13 };

struct PanelRowPlace {
  int checkX, checkY;    // centre of the check box
  int buttonX, buttonY;  // centre of the named button
};

// The panel's named buttons are its 120-pixel-wide children; the check box
// of a row is the small square child left of its button.
std::vector<PanelRowPlace> panelRows(const std::string& panel) {
  std::vector<Geometry> all = kivotest::descendants(panel);
  std::vector<Geometry> buttons, boxes;
  for (const Geometry& g : all) {
    if (g.width == 120) buttons.push_back(g);
    if (g.width == g.height && g.width < 24) boxes.push_back(g);
  }
  auto byY = [](const Geometry& a, const Geometry& b) { return a.y < b.y; };
  std::sort(buttons.begin(), buttons.end(), byY);
  std::sort(boxes.begin(), boxes.end(), byY);
  std::vector<PanelRowPlace> rows;
  if (buttons.size() != PanelRows || boxes.size() != PanelRows) return rows;
  for (int r = 0; r < PanelRows; r++)
    rows.push_back({boxes[r].x + boxes[r].width / 2, boxes[r].y + boxes[r].height / 2,
                    buttons[r].x + buttons[r].width / 2, buttons[r].y + buttons[r].height / 2});
  return rows;
}

// The saved file: records in slot order (the marker's code carries its value),
// the box folded from the fourteen slots' boxes.
std::string layoutFile(const std::vector<std::pair<Box, std::string>>& recordsInSlotOrder,
                       const std::vector<Box>& slotBoxes) {
  Box bounds;
  for (const Box& b : slotBoxes) bounds.include(b);
  std::string text = kivotest::bbLine(bounds);
  for (const auto& record : recordsInSlotOrder) text += kivotest::recordLine(record.first, record.second);
  return text;
}

}  // namespace

TEST(EditingSession, DisabledPolisiliciumSurvivesDeleteAllAndEverySaveMatchesTheSession) {
  std::string dir = kivotest::tempDir();
  std::string input = dir + "/chip.msk";
  kivotest::writeFile(input, inputFile);

  KivoProcess kivo;
  Geometry c = kivo.canvas();
  View view;
  view.width = c.width;
  view.height = c.height;
  kivo.key("ctrl+o");
  kivo.answerFileDialog("Load Layout File", input);
  view.showAll(openedBounds);

  kivo.key("ctrl+l");
  std::string panel = kivo.waitForWindow("Layers");
  ASSERT_FALSE(panel.empty()) << "Ctrl+L did not show the layer panel";
  kivotest::shell("xdotool windowmove " + panel + " 750 0");
  usleep(300000);
  std::vector<PanelRowPlace> rows = panelRows(panel);
  ASSERT_EQ(rows.size(), (size_t)PanelRows) << kivotest::shell("xwininfo -tree -id " + panel);
  ASSERT_GT(rows[RowMetal1].buttonX, c.x + c.width) << "the panel still covers the canvas";

  // Metal 1 becomes current: two rectangles drawn now land on it.
  kivo.clickAt(rows[RowMetal1].buttonX, rows[RowMetal1].buttonY);
  const int drags[2][4] = {{100, 60, 300, 30}, {400, 380, 620, 330}};
  std::vector<Box> metal;
  for (const auto& d : drags) {
    kivo.canvasDrag(d[0], d[1], d[2], d[3]);
    metal.push_back(view.drag(d[0], d[1], d[2], d[3]));
    ASSERT_GT(metal.back().w, 0);
    ASSERT_GT(metal.back().h, 0);
  }

  // Polisilicium filled: inside its first rectangle, over N Well, the two blend.
  int insideX = c.x + view.pixelX(42.5), insideY = c.y + view.pixelY(20);
  int edgeX = c.x + view.pixelX(40), edgeTop = c.y + view.pixelY(28);
  int edgeRows = view.pixelY(12) - view.pixelY(28);
  kivotest::Screen filled = kivotest::grabScreenWhen([&](const kivotest::Screen& s) {
    return s.count(insideX - 2, insideY - 2, 5, 5, PolyOverNWell, 3) == 25;
  });
  ASSERT_TRUE(filled.valid());
  EXPECT_EQ(filled.count(insideX - 2, insideY - 2, 5, 5, PolyOverNWell, 3), 25);

  // Unticked, it is drawn as an outline: N Well shows inside, red-ish edges.
  kivo.clickAt(rows[RowPolisilicium].checkX, rows[RowPolisilicium].checkY);
  kivotest::Screen outlined = kivotest::grabScreenWhen([&](const kivotest::Screen& s) {
    return s.count(insideX - 2, insideY - 2, 5, 5, NWellColour) == 25;
  });
  EXPECT_EQ(outlined.count(insideX - 2, insideY - 2, 5, 5, NWellColour), 25) << "a disabled layer still fills";
  EXPECT_GE(outlined.count(edgeX - 2, edgeTop, 5, edgeRows, PolyOverNWell, 3), edgeRows * 9 / 10)
      << "no outline on the disabled layer's left edge";
  EXPECT_EQ(outlined.count(edgeX + 3, edgeTop, 10, edgeRows, PolyOverNWell, 3), 0) << "the outline is not thin";

  // Save As keeps every object, the disabled layer's too; the drawn ones
  // follow the opened Metal 1 object on slot 5.
  std::string all = dir + "/chip-with-metal.msk";
  kivo.saveAsFromMenu(all);
  ASSERT_TRUE(kivotest::waitForFile(all)) << all;
  Box metalSlot = {15, 30, 50, 5};
  for (const Box& b : metal) metalSlot.include(b);
  std::string expectedAll = layoutFile(
      {{{10, 10, 60, 30}, "NW"}, {{20, 15, 10, 10}, "DN"}, {{40, 5, 5, 40}, "PO"}, {{50, 5, 5, 40}, "PO"},
       {{15, 30, 50, 5}, "ME"}, {metal[0], "ME"}, {metal[1], "ME"}, {{30, 32, 3, 3}, "CO"},
       {{60, 20, 5, 5}, "OP,9"}},
      {Box(), {10, 10, 60, 30}, {20, 15, 10, 10}, Box(), {40, 5, 15, 40}, metalSlot, Box(), Box(), Box(), Box(), Box(),
       {30, 32, 3, 3}, {60, 20, 5, 5}, Box()});
  EXPECT_EQ(kivotest::readFile(all), expectedAll);

  // Select all, delete, select none: only the disabled Polisilicium is left.
  kivo.key("ctrl+a");
  kivo.key("ctrl+d");
  kivo.key("ctrl+e");
  kivotest::Screen emptied = kivotest::grabScreenWhen(
      [&](const kivotest::Screen& s) { return s.count(c.x, c.y, c.width, c.height, NWellColour) == 0; });
  EXPECT_EQ(emptied.count(c.x, c.y, c.width, c.height, NWellColour), 0) << "N Well objects survived the delete";
  EXPECT_GE(emptied.count(edgeX - 2, edgeTop, 5, edgeRows, 0xA00000, 3), edgeRows * 9 / 10)
      << "the Polisilicium outline is gone";

  std::string left = dir + "/poly-only.msk";
  kivo.saveAsFromMenu(left);
  ASSERT_TRUE(kivotest::waitForFile(left)) << left;
  // Slots 0 to 3 are empty, PO sets the box, the empty slot 5 pulls it to (0,0).
  EXPECT_EQ(kivotest::readFile(left), "BB(0,0,55,45)\nREC(40,5,5,40,PO)\nREC(50,5,5,40,PO)\n");
  EXPECT_EQ(kivotest::readFile(input), inputFile) << "the opened file must stay as it was";

  ASSERT_TRUE(kivo.quitFromMenu("alt+q")) << "Quit did not ask";
  EXPECT_EQ(kivo.waitForExit(10), 0);
}
