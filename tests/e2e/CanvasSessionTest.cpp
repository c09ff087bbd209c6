// Draw, select, zoom and move on the real program's canvas with the mouse,
// the wheel and keys; the saved file and the screen must match a prediction
// made here with the view arithmetic the user is promised.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "e2e/KivoProcess.h"
#include "support/GuiTest.h"

namespace kivotest {
namespace {

const uint32_t NWellColour = 0x848400;  // (132,132,0), opaque
const uint32_t White = 0xFFFFFF;

// The saved file of a layout whose only objects are these N Well boxes: the
// all-zero slot 0 leaves the box alone, slot 1 sets it, the empty slots 2 to
// 13 pull it out to (0, 0).
std::string nWellFile(const std::vector<Box>& boxes) {
  Box bounds;
  for (const Box& b : boxes) bounds.include(b);
  bounds.include(Box());
  std::string text = bbLine(bounds);
  for (const Box& b : boxes) text += recordLine(b, "NW");
  return text;
}

// White pixels on the one-pixel frame just inside and on a box's edges.
int whiteOnFrame(const Screen& s, const View& v, const Geometry& c, const Box& b) {
  int left = c.x + v.pixelX(b.x), right = c.x + v.pixelX(b.x + b.w);
  int top = c.y + v.pixelY(b.y + b.h), bottom = c.y + v.pixelY(b.y);
  return s.count(left - 1, top - 1, right - left + 3, 3, White) + s.count(left - 1, bottom - 2, right - left + 3, 3, White) +
         s.count(left - 1, top + 2, 3, bottom - top - 4, White) + s.count(right - 2, top + 2, 3, bottom - top - 4, White);
}

TEST(CanvasSession, DrawnSelectedZoomedAndMovedRectanglesAreSavedAndShownWhereTheViewPutsThem) {
  KivoProcess kivo;
  Geometry c = kivo.canvas();
  View view{0, 0, 10.0f, c.width, c.height};

  // Three rectangles on N Well at the start view; the third is dragged from
  // its upper-right to its lower-left corner.
  std::vector<Box> drawn;
  for (const auto& d : {std::vector<int>{50, 350, 150, 250}, {200, 300, 300, 150}, {400, 100, 350, 200}}) {
    kivo.canvasDrag(d[0], d[1], d[2], d[3]);
    drawn.push_back(view.drag(d[0], d[1], d[2], d[3]));
  }

  // Ctrl-drag a band around the second one only: it shows a white dashed frame.
  kivo.canvasDrag(190, 310, 310, 140, "ctrl");
  Screen selected = grabScreenWhen([&](const Screen& s) { return whiteOnFrame(s, view, c, drawn[1]) > 0; });
  int whiteB = whiteOnFrame(selected, view, c, drawn[1]);
  EXPECT_GT(whiteB, 2 * (100 + 150) / 2 / 2) << "no dashed frame round the selected rectangle";
  EXPECT_LT(whiteB, 2 * (100 + 150) * 3) << "the frame is not dashed";
  for (int i : {0, 2}) EXPECT_EQ(whiteOnFrame(selected, view, c, drawn[i]), 0) << "unselected " << i << " framed";
  for (const Box& b : drawn)
    EXPECT_EQ(selected.at(c.x + view.pixelX(b.x) + 20, c.y + view.pixelY(b.y) - 20), NWellColour) << "N Well is opaque";

  // Zoom in twice, move right and up, zoom out, move down and left by a
  // third, then right and up by a quarter with the arrow keys: the moves do
  // not cancel, as each uses the visible extent at its own scale.
  for (std::string k : {"q", "q", "f", "e", "z", "d", "s", "Right", "Up"}) {
    kivo.key(k);
    if (k == "q") view.zoomIn();
    else if (k == "z") view.zoomOut();
    else if (k == "Right") view.ox += view.visibleWidth() / 4;
    else if (k == "Up") view.oy += view.visibleHeight() / 4;
    else view.move((k == "f") - (k == "s"), (k == "e") - (k == "d"));
  }
  kivo.canvasDrag(500, 380, 660, 250);
  drawn.push_back(view.drag(500, 380, 660, 250));

  // The new rectangle fills its predicted place, less the crosshair at its corner.
  const Box& fourth = drawn[3];
  int left = c.x + view.pixelX(fourth.x), top = c.y + view.pixelY(fourth.y + fourth.h);
  int width = (int)(fourth.w * view.scale), height = (int)(fourth.h * view.scale);
  auto fills = [&](const Screen& s) { return s.count(left, top, width, height, NWellColour) > width * height * .95; };
  Screen moved = grabScreenWhen(fills);
  EXPECT_TRUE(fills(moved)) << "the new rectangle is not where the view puts it";
  EXPECT_EQ(moved.count(left - 12, top + 5, 10, height - 10, NWellColour), 0) << "drawn too far left";
  EXPECT_EQ(moved.count(left + 5, top + height + 2, width - 10, 10, NWellColour), 0) << "drawn too low";
  // The selected second rectangle keeps its frame at the new place.
  EXPECT_GT(whiteOnFrame(moved, view, c, drawn[1]), 2 * (200 + 300) / 2 / 2);

  std::string saved = tempDir() + "/drawn.msk";
  kivo.key("ctrl+s");
  kivo.answerFileDialog("Save Layout File As", saved);
  ASSERT_TRUE(waitForFile(saved)) << saved;
  EXPECT_EQ(readFile(saved), nWellFile(drawn));
}

// Two 3 x 3 N Well boxes 3 units apart, 10^8 units from the origin, every
// other layer empty: `kivo FILE` shows them whole at scale 50, each filling
// its exact 150 x 150 pixels.
TEST(CanvasSession, FarAwayChipOpensWholeAndTheWheelAndMiddleDragMoveIt) {
  std::string file = tempDir() + "/far.msk";
  const Box a{100000000, 100000000, 3, 3}, b{100000006, 100000000, 3, 3};
  writeFile(file, nWellFile({a, b}));
  KivoProcess kivo({file});
  Geometry c = kivo.canvas();
  View view{0, 0, 10.0f, c.width, c.height};
  view.showAll(Box{a.x, a.y, 9, 3});  // scale 50
  // Percent of N Well in a box's predicted place, 3 pixels in from each edge.
  auto filled = [&](const Screen& s, const Box& box) {
    int left = c.x + view.pixelX(box.x) + 3, top = c.y + view.pixelY(box.y + box.h) + 3;
    return s.count(left, top, 144, 144, NWellColour) * 100 / (144 * 144);
  };
  auto shown = [&] { return grabScreenWhen([&](const Screen& s) { return filled(s, a) > 97; }); };
  Screen whole = shown();
  for (const Box& box : {a, b}) EXPECT_GT(filled(whole, box), 97);
  EXPECT_EQ(whole.count(c.x + 150, c.y + c.height - 152, 150, 152, NWellColour), 0) << "the gap or above";

  // A notch toward the user zooms out about the pointer, one away zooms back.
  int px = c.x + 75, py = c.y + c.height - 75;
  shell("xdotool mousemove " + std::to_string(px) + " " + std::to_string(py) + " click 5");
  Screen out = grabScreenWhen([&](const Screen& s) { return filled(s, a) < 90; });
  EXPECT_NEAR(out.count(c.x, py + 10, 200, 1, NWellColour), 106, 2) << "3 units at 50 / sqrt 2";
  EXPECT_EQ(out.at(px + 5, py + 10), NWellColour) << "the point under the pointer moved";
  shell("xdotool click 4");
  EXPECT_GT(filled(shown(), a), 97);

  // The middle button drags the view 200 pixels right and 50 up: 4 and 1 units.
  shell("xdotool mousedown 2 sleep 0.1 mousemove " + std::to_string(px + 100) + " " + std::to_string(py - 25) +
        " sleep 0.1 mousemove " + std::to_string(px + 200) + " " + std::to_string(py - 50) + " sleep 0.1 mouseup 2");
  view.ox -= 4, view.oy -= 1;
  EXPECT_GT(filled(shown(), a), 97);
}

}  // namespace
}  // namespace kivotest
