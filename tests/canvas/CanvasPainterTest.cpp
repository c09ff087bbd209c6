// Pixels of the canvas read back under Xvfb: what is drawn, in which colour,
// and that the fast path paints exactly what the plain loop paints.
#include "CanvasPainterFixture.h"

namespace {

TEST_F(CanvasPainterTest, CrosshairFollowsPointerAndEndsAtWholeUnits) {
  window->scale = 80.0f;
  int units = window->canvas->getWidth() / 80;
  ASSERT_GT(window->canvas->getWidth() - units * 80, 4) << "canvas width a multiple of 80";
  kivotest::canvasMotion(window, 2 * 80 + 40, window->canvas->getHeight() - 80 - 40);
  auto image = paint();
  int row = rowOf(1) + 40;  // the line y = 1 lies on a pixel boundary: one of two rows
  if (at(image, 20, row) != RED) row++;
  int col = colOf(2) - 40;
  if (at(image, col, 5) != RED) col--;
  const int red[][2] = {{20, row}, {units * 80 - 3, row}, {col, height - 20}};
  const int black[][2] = {{width / 2, 20}, {units * 80 + 2, row}, {20, row - 3}, {col + 3, height - 20}};
  for (auto p : red) EXPECT_EQ(at(image, p[0], p[1]), RED) << p[0] << "," << p[1];
  for (auto p : black) EXPECT_EQ(at(image, p[0], p[1]), BLACK) << p[0] << "," << p[1];
}

// Translucent layers blend over black and over each other; an Opt is an
// outline with both diagonals, which cross row y = 7 at x = 7.5 and 16.5.
TEST_F(CanvasPainterTest, LayersBlendAndOptsShowTheirDiagonals) {
  add(3, 5, 5, 20, 10);
  add(4, 15, 5, 20, 10);
  add(LAYER_OPTIONS, 2, 22, 20, 20, true);
  auto image = paint();
  Rgba only3 = blendOver(window->layout.layer(3).getColor(), BLACK), c4 = blendOver(window->layout.layer(4).getColor(), BLACK);
  EXPECT_EQ(at(image, colOf(8), rowOf(10)), only3);
  EXPECT_EQ(only3, (Rgba{81, 58, 0, 255}));  // P+ diffusion over black, blended by hand
  EXPECT_EQ(at(image, colOf(30), rowOf(10)), c4);
  EXPECT_EQ(at(image, colOf(20), rowOf(10)), blendOver(window->layout.layer(4).getColor(), only3));
  EXPECT_EQ(at(image, colOf(40), rowOf(10)), BLACK);
  Rgba line = blendOver(window->layout.layer(LAYER_OPTIONS).getColor(), BLACK);
  int hits = 0;
  for (int px = colOf(3); px < colOf(21); px++) hits += at(image, px, rowOf(27)) == line;
  EXPECT_EQ(hits, 2);
  EXPECT_EQ(at(image, colOf(7), rowOf(27)), line);
}

// The fast path checks itself at its first paint: composing wrongly, it
// gives way to the plain loop and says so once.
TEST_F(CanvasPainterTest, FastPathThatFailsItsCheckPaintsPlainly) {
  add(3, 5, 5, 20, 10);
  EXPECT_TRUE(window->painter.isFastPathTrusted());
  window->painter.spoilCompositionForTest();
  testing::internal::CaptureStderr();
  auto image = paint();
  paint();
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(window->painter.isFastPathTrusted());
  EXPECT_EQ(at(image, colOf(8), rowOf(10)), (Rgba{81, 58, 0, 255}));
  size_t first = said.find("painting plainly");
  EXPECT_TRUE(first != std::string::npos && said.find("painting plainly", first + 1) == std::string::npos) << said;
}

// Outlines along the top edge of a 20-unit rectangle: the band green, solid
// when adding and dashed (4 on, 4 off) when selecting; a selected object
// dashed white; a disabled layer's object in its colour, without fill.
TEST_F(CanvasPainterTest, BandSelectionAndDisabledLayersAreOutlined) {
  struct Case { int bandMode; bool select, disable; bool useLayerColour; int expected; Rgba fillAt; };
  add(5, 2, 2, 20, 10);
  const Rgba fill = blendOver(window->layout.layer(5).getColor(), BLACK);
  const Case cases[] = {{TRACK_ADD, false, false, false, 128, fill}, {TRACK_SELECT, false, false, false, 64, fill},
                        {TRACK_NONE, true, false, false, 64, fill},  {TRACK_NONE, false, true, true, 128, BLACK}};
  window->mouseRect.setRect(2, 2, 20, 10);
  for (const Case& c : cases) {
    window->mouseRect.setMode(c.bandMode);
    if (c.select) window->layout.applySelection(5, OP_SELECT, MATCH_ALL, nullptr);
    if (c.disable) window->layout.toggleEnabled(5);
    Rgba line = c.useLayerColour ? fill : c.bandMode ? GREEN : WHITE;
    auto image = paint();
    int runs = 0;
    EXPECT_EQ(countInBestRow(image, rowOf(12) + 5, colOf(4), colOf(4) + 127, line, &runs), c.expected) << c.bandMode;
    EXPECT_GE(runs, c.expected == 64 ? 30 : 0);
    EXPECT_EQ(at(image, colOf(10), rowOf(9)), c.fillAt);
  }
}

// Two 3 x 3 boxes 3 units apart, a selected Opt between them, the band and the
// crosshair, shown with Show All: the same pixels at every offset on both
// paths, two 150-pixel runs across the boxes.
TEST_F(CanvasPainterTest, PictureIsExactAtAnyOffset) {
  const int64_t offsets[] = {0, 1000000, 10000000, 100000000, 2147483620, -2147483648LL};
  std::vector<Rgba> first;
  for (int64_t offset : offsets) {
    int32_t o = (int32_t)offset;
    window->layout.applySelection(-1, OP_SELECT, MATCH_ALL, nullptr), window->layout.removeSelected(-1, "deleted");
    add(4, o, o, 3, 3), add(4, o + 6, o, 3, 3);
    add(LAYER_OPTIONS, o + 3, o + 1, 3, 1, true, true);
    window->onCmdShowAll(nullptr, 0, nullptr);
    window->mouseRect.setRect(o + 1, o + 2, 6, 1);
    window->mouseRect.setMode(TRACK_SELECT);
    kivotest::canvasMotion(window, 620, 40);
    for (bool plain : {false, true}) {
      window->painter.setReferenceMode(plain);
      auto image = paint();
      if (first.empty()) first = image;
      EXPECT_EQ(differing(image, first), 0) << "offset " << offset << (plain ? " plain" : " fast");
    }
    window->painter.setReferenceMode(false);
  }
  Rgba red = blendOver(window->layout.layer(4).getColor(), BLACK);
  int row = height - 1 - 25, runs = 0;  // y = offset + 0.5
  EXPECT_EQ(countInBestRow(first, row, 0, 449, red, &runs) * 10 + runs, 3002);
  EXPECT_TRUE(at(first, 149, row) == red && at(first, 150, row) == BLACK && at(first, 300, row) == red);
}
TEST_F(CanvasPainterTest, FastPathPaintsTheSamePixelsAsThePlainLoop) {
  fillRandomLayout(window, 10000, 7);
  fillRandomLayout(window, 3000, 9, 2147481000);  // some wrap past 2^31
  window->layout.toggleEnabled(2), window->layout.toggleEnabled(9);
  window->mouseRect.setRect(-100, -50, 300, 200);
  window->mouseRect.setMode(TRACK_SELECT);
  kivotest::canvasMotion(window, 300, 200);
  struct View { double x, y; float scale; };
  const View views[] = {{-2100, -2100, 0.09f}, {-2000, -2000, 0.25f}, {-300, -150, 1.0f},
                        {10, 20, 3.0f},       {-37, 400, 17.0f},      {1990, 1990, 80.0f},
                        {-2100, -2100, 0.0125f}, {2147479000, 2147479000, 0.09f},
                        {2147482900.5, 2147481000.25, 17.0f}, {-3e9, -3e9, 1e-7f}};
  for (const View& v : views) {
    window->originX = v.x, window->originY = v.y, window->scale = v.scale;
    EXPECT_EQ(fastAgainstPlain(), 0) << v.x << "," << v.y << " x" << v.scale;
  }
  // Random views: pixel centres fall anywhere relative to the edges.
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> pos(-2500, 1500), logScale(-3.5, 3.5);
  for (int i = 0; i < 40; i++) {
    window->originX = pos(rng), window->originY = pos(rng), window->scale = (float)std::exp(logScale(rng));
    EXPECT_EQ(fastAgainstPlain(), 0) << window->originX << "," << window->originY << " x" << window->scale;
  }
}

// Enough objects that a second thread builds caches and sorts fills: the
// filled, enabled layers hold more than the 200,000 boxes from which the
// painter shares its work.
TEST_F(CanvasPainterTest, HundredsOfThousandsOfObjectsPaintTheSamePixels) {
  fillRandomLayout(window, 250000, 13);
  fillRandomLayout(window, 70000, 29, 150000);  // drawn from coordinates near 2^14 pixels
  window->layout.toggleEnabled(4);
  struct View { double x, y; float scale; };
  for (View v : {View{-2100.25, -2100.25, 0.09f}, View{-2100.25, -2100.25, 0.7f}, View{-2013.7, -1777.1, 0.1337f}}) {
    window->originX = v.x, window->originY = v.y, window->scale = v.scale;
    EXPECT_EQ(fastAgainstPlain(), 0) << "x" << v.scale;
  }
  // Many edges lie within thousandths of a pixel of a centre, where only the
  // rasteriser's rounding decides, and far from 0 the transform's adds most.
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> near(-2500, -1500), far(147500, 148500), scale(0.08, 0.105);
  for (int i = 0; i < 12; i++) {
    auto& pos = i % 3 ? near : far;
    window->originX = pos(rng), window->originY = pos(rng), window->scale = (float)scale(rng);
    EXPECT_EQ(fastAgainstPlain(), 0) << window->originX << "," << window->originY << " x" << window->scale;
  }
}

TEST_F(CanvasPainterTest, KeptPictureFollowsEveryChange) {
  fillRandomLayout(window, 2000, 11);
  window->originX = window->originY = -2100;
  window->scale = 0.1f;
  auto check = [&](const char* what) { EXPECT_EQ(fastAgainstPlain(), 0) << what; };
  check("first paint");

  // Pointer motion alone reuses the layers' picture.
  unsigned long renders = window->painter.layerRenderCount();
  kivotest::canvasMotion(window, 140, 90);
  paint();
  EXPECT_EQ(window->painter.layerRenderCount(), renders);
  check("after motion");

  KivoWindow* w = window;
  add(5, -1800, -1800, 50, 50);
  add(LAYER_OPTIONS, -1700, -1700, 40, 40, true);
  auto toggleAt = [w](int x, int y) {
    Rect at;
    at.setRect(x, y, 0, 0);
    w->layout.applySelection(-1, OP_TOGGLE, MATCH_AT, &at);
  };
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"toggling a box", [=] { toggleAt(-1790, -1790); }},
      {"toggling an Opt", [=] { toggleAt(-1690, -1690); }},
      {"two toggles before a paint", [=] { toggleAt(-1790, -1790), toggleAt(-1690, -1690); }},
      {"appending an Opt", [this] { add(LAYER_OPTIONS, -1600, -1600, 80, 30, true, true); }},
      {"appending there again", [this] { add(LAYER_OPTIONS, -1500, -1650, 30, 80, true), add(LAYER_OPTIONS, -1450, -1650, 30, 30, false, true); }},
      {"selecting all", [w] { w->layout.applySelection(-1, OP_SELECT, MATCH_ALL, nullptr); }},
      {"appending after selecting all", [this] { add(5, -1400, -1400, 60, 60), add(5, -1300, -1400, 60, 60, false, true); }},
      {"replacing the content", [w] {
         Layer fresh[LAYER_COUNT];
         for (Layer& l : fresh) l.enable();
         for (int i = 0; i < 40; i++) {
           GroupNode* node = i % 3 ? static_cast<GroupNode*>(new Box) : static_cast<GroupNode*>(new Opt);
           node->setRect(-2000 + 97 * i, -1900 + 41 * i, 60 + i, 50);
           if (i % 4 == 0) node->select();
           fresh[i % 3 ? 2 + i % 5 : LAYER_OPTIONS].apply(OP_ADD, MATCH_ALL, node);
         }
         w->layout.replaceContent(fresh, "replaced.msk", false);
       }},
      {"deselecting all", [w] { w->layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr); }},
      {"selecting", [w] { w->layout.applySelection(3, OP_SELECT, MATCH_ALL, nullptr); }},
      {"deleting", [w] { w->layout.removeSelected(3, "deleted"); }},
      {"disabling", [w] { w->layout.toggleEnabled(4); }},
      {"adding", [this] { add(7, -1500, -1500, 2000, 2000); }},
      {"undoing the addition", [w] { w->layout.undo(); }},
      {"moving by a fraction", [w] { w->originX += 500.5; }},
      {"zooming", [w] { w->scale = 0.2f; }},
      {"resizing", [w] { w->resize(w->getWidth() - 60, w->getHeight() - 40), kivotest::settle(); }},
      {"a canvas too small for masks", [w] { w->resize(260, 200), kivotest::settle(); }},
  };
  for (const auto& change : changes) {
    change.second();
    check(change.first);
  }
  window->canvas->makeCurrent();
  window->painter.releaseGL();
  window->canvas->makeNonCurrent();
  check("after releasing OpenGL's objects");
}

// Dashed outlines of selected boxes up to four pixels and of wires up to
// sixty long, at sub-pixel positions, some across the canvas's edge; every
// other scene selected by Select All, which the caches record as such.
TEST_F(CanvasPainterTest, SmallSelectedOutlinesLightTheSamePixels) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> frac(0, 1);
  for (int round = 0; round < 6; round++) {
    Layer fresh[LAYER_COUNT];
    for (Layer& l : fresh) l.enable();
    float scale = (float)(0.6 + 2.5 * frac(rng));
    for (int k = 0; k < 6000; k++) {
      int w = 1 + (int)(frac(rng) * 4.2 / scale), h = 1 + (int)(frac(rng) * 4.2 / scale);
      if (k % 5 == 0) (k % 2 ? w : h) = 1 + (int)(frac(rng) * 60 / scale);
      Box* box = new Box;
      box->setRect((int)(frac(rng) * 700 / scale) - 30, (int)(frac(rng) * 420 / scale) - 30, w, h);
      box->select();
      fresh[1 + k % 12].apply(OP_ADD, MATCH_ALL, box);
    }
    window->layout.replaceContent(fresh, "small.msk", false);
    window->originX = frac(rng) * 3 - 1.5, window->originY = frac(rng) * 3 - 1.5, window->scale = scale;
    if (round % 2) {
      window->layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr), paint();
      window->layout.applySelection(-1, OP_SELECT, MATCH_ALL, nullptr);
    }
    EXPECT_EQ(fastAgainstPlain(), 0) << "x" << scale;
  }
}

}  // namespace
