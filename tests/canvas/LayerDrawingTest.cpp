// The layers' looks on the canvas: hidden layers, outline and stipple
// styles and View > Outlines, painted alike by the fast and plain painters.
#include "canvas/LayerDrawing.h"

#include <gtest/gtest.h>

#include <random>

#include "app/KivoWindow.h"
#include "model/Shapes.h"
#include "panels/LayerDlg.h"
#include "support/GuiTest.h"

using kivotest::Rgba;

namespace {

const Rgba BLACK{0, 0, 0, 255};

class LayerDrawingTest : public ::testing::Test {
protected:
  void SetUp() override {
    window = kivotest::newWindow();
    kivotest::settle();
  }
  void TearDown() override {
    showOutlines(false);
    kivotest::deleteWindow(window);
  }
  std::vector<Rgba> paint() { return kivotest::paintAndRead(window, width, height); }
  void look(int slot, int style, bool hidden = false) {
    LayerLook l = lookOfSlot(slot);
    l.style = style, l.hidden = hidden;
    window->layout.setLook(slot, l);
  }
  KivoWindow* window = nullptr;
  int width = 0, height = 0;
};

}  // namespace

// Boxes, a polygon and a pair layer, own and in a placed cell, in every
// style, hidden or outlined, at views where edges fall anywhere near pixel
// centres: the same pixels.
TEST_F(LayerDrawingTest, EveryStyleIsPaintedAlikeByBothPainters) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> pos(-500, 500), size(1, 300), layer(1, NAMED_LAYER_COUNT - 1);
  std::vector<PlacedObject> objects;
  const int pair = pairSlot(68, 16);
  for (int i = 0; i < 600; i++) {
    const int slot = i % 10 == 0 ? pair : layer(rng);
    GroupNode* box = newLayoutObject(slot);
    box->setRect(pos(rng), pos(rng), size(rng), size(rng));
    if (i % 7 == 0) box->select();
    objects.push_back({slot, box});
  }
  Polygon* poly = new Polygon;
  poly->setPoints({{-100, -100}, {200, -50}, {50, 250}});
  objects.push_back({LAYER_POLY, poly});
  window->layout.addObjects(objects, "added");
  Rect half;  // the left half goes into a placed cell
  half.setRect(-500, -500, 500, 1300);
  window->layout.applySelection(-1, OP_SELECT, MATCH_INSIDE, &half);
  ASSERT_EQ(window->layout.groupSelected("HALF"), Layout::GROUP_DONE);
  const int styles[][3] = {{LAYER_METAL1, STYLE_OUTLINE, 0}, {LAYER_POLY, STYLE_STIPPLE1 + 2, 0},
                           {pair, STYLE_STIPPLE1 + 3, 0},    {LAYER_N_WELL, STYLE_FILL, 1},
                           {LAYER_POLY, STYLE_STIPPLE1, 0},  {LAYER_METAL1, STYLE_FILL, 0}};
  struct View { double x, y; float scale; };
  const View views[] = {{-600.3, -600.7, 0.45f}, {-37.25, 12.5, 3.3f}, {-2.1, -3.3, 17.0f}};
  for (int outlines = 0; outlines < 2; outlines++) {
    showOutlines(outlines == 1);
    window->painter.forgetPicture();
    for (const auto& s : styles) {
      look(s[0], s[1], s[2] == 1);
      for (const View& v : views) {
        window->originX = v.x, window->originY = v.y, window->scale = v.scale;
        EXPECT_EQ(kivotest::paintersDiffer(window), 0) << "slot " << s[0] << " style " << s[1] << " outlines " << outlines
                                          << " view x" << v.scale;
      }
    }
  }
  EXPECT_TRUE(window->painter.isFastPathTrusted());  // the fast path painted, not the plain one twice
}

// A hidden layer leaves the canvas black where it alone lies; a stippled
// one alternates with black at the dense pattern's pitch.
TEST_F(LayerDrawingTest, HiddenLayersAreNotDrawnAndStipplesLeaveGaps) {
  GroupNode* box = newLayoutObject(LAYER_POLY);
  box->setRect(0, 0, 40, 40);
  window->layout.addObjects({{LAYER_POLY, box}}, "added");
  window->originX = window->originY = -10, window->scale = 4.0f;
  const int cx = 120;
  auto image = paint();
  const int y = height - 120;
  EXPECT_NE(kivotest::pixelAt(image, width, cx, y), BLACK);
  look(LAYER_POLY, STYLE_STIPPLE1 + 4);
  image = paint();
  EXPECT_NE(kivotest::pixelAt(image, width, cx, y) == BLACK, kivotest::pixelAt(image, width, cx + 1, y) == BLACK);
  look(LAYER_POLY, STYLE_FILL, true);
  image = paint();
  EXPECT_EQ(kivotest::pixelAt(image, width, cx, y), BLACK);
  EXPECT_EQ(kivotest::pixelAt(image, width, cx + 1, y), BLACK);
}
