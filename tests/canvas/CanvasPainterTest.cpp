// Pixels of the canvas read back under Xvfb: what is drawn, in which colour,
// and that the fast path paints exactly what the plain loop paints.
#include "canvas/CanvasPainter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <utility>
#include <random>

#include "app/KivoWindow.h"
#include "panels/LayerDlg.h"
#include "support/GuiTest.h"

using kivotest::Rgba;

namespace {

// A colour blended with its alpha over a pixel.
Rgba blendOver(uint32_t color, Rgba dst) {
  int a = color >> 24;
  auto mix = [a](int src, int d) { return (uint8_t)std::min(255, (src * a + 127) / 255 + (d * (255 - a) + 127) / 255); };
  return Rgba{mix(color & 0xFF, dst.r), mix((color >> 8) & 0xFF, dst.g), mix((color >> 16) & 0xFF, dst.b), 255};
}

int differing(const std::vector<Rgba>& a, const std::vector<Rgba>& b) {
  return (int)std::inner_product(a.begin(), a.end(), b.begin(), 0, std::plus<int>(), std::not_equal_to<Rgba>());
}

const Rgba BLACK{0, 0, 0, 255}, RED{255, 0, 0, 255}, GREEN{0, 255, 0, 255}, WHITE{255, 255, 255, 255};

class CanvasPainterTest : public ::testing::Test {
protected:
  // Opened in main()'s order: the first paint comes before the canvas's
  // first configure, with OpenGL's state at its defaults.
  void SetUp() override {
    window = new KivoWindow(kivotest::app());
    window->create();
    window->layerDlg->create();
    static_cast<FXWindow*>(window)->layout();
    window->handle(window->canvas, FXSEL(SEL_PAINT, KivoWindow::ID_CANVAS), nullptr);
    for (int i = 0; i < 500 && !(window->shown() && window->canvas->getWidth() > 1); i++) kivotest::runFor(10);
    kivotest::settle();
  }
  void TearDown() override { kivotest::deleteWindow(window); }

  Layer& layer(int i) { return window->layout.layersForDrawing()[i]; }
  std::vector<Rgba> paint() { return kivotest::paintAndRead(window, width, height); }
  Rgba at(const std::vector<Rgba>& image, int px, int py) { return kivotest::pixelAt(image, width, px, py); }
  // Pixel column and row of the centre of layout unit (x, y).
  int colOf(double x) { return (int)((x + 0.5 - window->originX) * window->scale); }
  int rowOf(double y) { return window->canvas->getHeight() - 1 - (int)((y + 0.5 - window->originY) * window->scale); }
  GroupNode* add(int layer, int x, int y, int w, int h, bool opt = false, bool selected = false) {
    GroupNode* node = opt ? static_cast<GroupNode*>(new Opt) : static_cast<GroupNode*>(new Box);
    node->setRect(x, y, w, h);
    if (selected) node->select();
    this->layer(layer).apply(OP_ADD, MATCH_ALL, node);
    return node;
  }
  // Paint with the fast path, then with the plain loop; differing pixels.
  int fastAgainstPlain() {
    auto fast = paint();
    window->painter.setReferenceMode(true);
    auto plain = paint();
    return window->painter.setReferenceMode(false), differing(fast, plain);
  }
  // Of the rows row-1..row+1, the most pixels of colour c in columns a..b;
  // runs gets that row's number of colour changes.
  int countInBestRow(const std::vector<Rgba>& image, int row, int a, int b, Rgba c, int* runs) {
    int best = 0;
    for (int r = row - 1, n = 0, changes = 0; r <= row + 1; r++, n = changes = 0) {
      for (int px = a; px <= b; px++) n += at(image, px, r) == c, changes += px > a && (at(image, px, r) == c) != (at(image, px - 1, r) == c);
      if (n > best) best = n, *runs = changes;
    }
    return best;
  }

  KivoWindow* window = nullptr;
  int width = 0, height = 0;
};

TEST_F(CanvasPainterTest, CrosshairFollowsPointerAndEndsAtWholeUnits) {
  window->scale = 80.0f;
  int units = window->canvas->getWidth() / 80;
  ASSERT_GT(window->canvas->getWidth() - units * 80, 4) << "canvas width a multiple of 80";
  kivotest::canvasMotion(window, 2 * 80 + 40, window->canvas->getHeight() - 80 - 40);
  auto image = paint();
  int row = rowOf(1) + 40 + (at(image, 20, rowOf(1) + 40) != RED);  // y = 1 lies on a pixel boundary: one of two rows
  int col = colOf(2) - 40 - (at(image, colOf(2) - 40, 5) != RED);
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
  Rgba only3 = blendOver(layer(3).getColor(), BLACK), c4 = blendOver(layer(4).getColor(), BLACK);
  EXPECT_EQ(at(image, colOf(8), rowOf(10)), only3);
  EXPECT_EQ(only3, (Rgba{81, 58, 0, 255}));  // P+ diffusion over black, blended by hand
  EXPECT_EQ(at(image, colOf(30), rowOf(10)), c4);
  EXPECT_EQ(at(image, colOf(20), rowOf(10)), blendOver(layer(4).getColor(), only3));
  EXPECT_EQ(at(image, colOf(40), rowOf(10)), BLACK);
  Rgba line = blendOver(layer(LAYER_OPTIONS).getColor(), BLACK);
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
  auto image = (paint(), paint());
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(window->painter.isFastPathTrusted());
  EXPECT_EQ(at(image, colOf(8), rowOf(10)), (Rgba{81, 58, 0, 255}));
  EXPECT_TRUE(said.find("painting plainly") != std::string::npos && said.find("painting plainly") == said.rfind("painting plainly")) << said;
}

// Outlines along the top edge of a 20-unit rectangle: the band green, solid
// when adding and dashed (4 on, 4 off) when selecting; a selected object
// dashed white; a disabled layer's object in its colour, without fill.
TEST_F(CanvasPainterTest, BandSelectionAndDisabledLayersAreOutlined) {
  struct Case { int bandMode; bool select, disable; bool useLayerColour; int expected; Rgba fillAt; };
  add(5, 2, 2, 20, 10);
  const Rgba fill = blendOver(layer(5).getColor(), BLACK);
  const Case cases[] = {{TRACK_ADD, false, false, false, 128, fill}, {TRACK_SELECT, false, false, false, 64, fill},
                        {TRACK_NONE, true, false, false, 64, fill},  {TRACK_NONE, false, true, true, 128, BLACK}};
  window->mouseRect.setRect(2, 2, 20, 10);
  for (const Case& c : cases) {
    window->mouseRect.setMode(c.bandMode);
    if (c.select) layer(5).apply(OP_SELECT, MATCH_ALL, nullptr);
    if (c.disable) layer(5).toggleEnabled();
    Rgba line = c.useLayerColour ? fill : c.bandMode ? GREEN : WHITE;
    auto image = paint();
    int runs = 0;
    EXPECT_EQ(countInBestRow(image, rowOf(12) + 5, colOf(4), colOf(4) + 127, line, &runs), c.expected) << c.bandMode;
    EXPECT_GE(runs, c.expected == 64 ? 30 : 0);
    EXPECT_EQ(at(image, colOf(10), rowOf(9)), c.fillAt);
  }
}

struct View { double x, y; float scale; };

// A random layout of chip-like objects: many tiny (selected ones among them
// light no pixel at small scales), some large, some Opts, some with negative
// width, some selected.
void fillRandomLayout(Layer* layers, int count, unsigned seed, int32_t offset = 0) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> pos(-2000, 2000), layer(0, LAYER_COUNT - 1), pick(0, 99);
  for (int i = 0; i < count; i++) {
    int l = layer(rng), p = pick(rng);
    int w = p < 80 ? 1 + p % 5 : p < 97 ? 10 + p * 3 : 400 + p * 20, h = p < 80 ? 1 + (p * 7) % 6 : p < 97 ? 5 + p : 300;
    GroupNode* node = l == LAYER_OPTIONS && p % 2 ? static_cast<GroupNode*>(new Opt) : static_cast<GroupNode*>(new Box);
    node->setRect(offset + pos(rng), offset + pos(rng), p % 9 == 0 ? -w : w, h);
    if (p % 11 == 0) node->select();  // before the layer owns it
    layers[l].apply(OP_ADD, MATCH_ALL, node);
  }
}

// Random layouts, some wrapping past 2^31, some layers disabled, under a
// selecting band: the same pixels at chosen views and at random ones, where
// pixel centres fall anywhere relative to the edges. With 4 * 10^5 objects a
// second thread builds caches and sorts fills, many edges lie within
// thousandths of a pixel of a centre (only the rasteriser's rounding decides
// there), and far from 0 the transform's error adds most.
TEST_F(CanvasPainterTest, FastPathPaintsTheSamePixelsAsThePlainLoop) {
  std::mt19937 rng(5);
  auto expectSame = [&](std::initializer_list<View> views, int n, const std::function<View(int)>& next) {
    for (size_t i = 0; i < views.size() + n; i++) {
      View v = i < views.size() ? views.begin()[i] : next((int)(i - views.size()));
      window->originX = v.x, window->originY = v.y, window->scale = v.scale;
      EXPECT_EQ(fastAgainstPlain(), 0) << v.x << "," << v.y << " x" << v.scale;
    }
  };
  fillRandomLayout(&layer(0), 10000, 7);
  fillRandomLayout(&layer(0), 3000, 9, 2147481000);
  layer(2).toggleEnabled(), layer(9).toggleEnabled();
  window->mouseRect.setRect(-100, -50, 300, 200);
  window->mouseRect.setMode(TRACK_SELECT);
  kivotest::canvasMotion(window, 300, 200);
  std::uniform_real_distribution<double> pos(-2500, 1500), logScale(-3.5, 3.5);
  expectSame({{-2100, -2100, 0.09f}, {-2000, -2000, 0.25f}, {-300, -150, 1.0f}, {10, 20, 3.0f}, {-37, 400, 17.0f},
              {1990, 1990, 80.0f}, {-2100, -2100, 0.0125f}, {2147479000, 2147479000, 0.09f},
              {2147482900.5, 2147481000.25, 17.0f}, {-3e9, -3e9, 1e-7f}},
             40, [&](int) { return View{pos(rng), pos(rng), (float)std::exp(logScale(rng))}; });

  Layer empty[LAYER_COUNT];
  window->layout.replaceContent(empty, "large.msk", false);
  fillRandomLayout(&layer(0), 300000, 13);
  fillRandomLayout(&layer(0), 100000, 29, 150000);  // drawn from coordinates near 2^14 pixels
  layer(4).toggleEnabled();
  rng.seed(11);
  std::uniform_real_distribution<double> near(-2500, -1500), far(147500, 148500), scale(0.08, 0.105);
  expectSame({{-2100.25, -2100.25, 0.09f}, {-2100.25, -2100.25, 0.7f}, {-2013.7, -1777.1, 0.1337f}}, 24, [&](int i) {
    auto& at = i % 3 ? near : far;
    return View{at(rng), at(rng), (float)scale(rng)};
  });
}

TEST_F(CanvasPainterTest, KeptPictureFollowsEveryChange) {
  fillRandomLayout(&layer(0), 2000, 11);
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

  add(5, -1800, -1800, 50, 50);
  add(LAYER_OPTIONS, -1700, -1700, 40, 40, true);
  auto toggleAt = [&](int x, int y) {
    Rect at;
    at.setRect(x, y, 0, 0);
    window->layout.applySelection(-1, OP_TOGGLE, MATCH_AT, &at);
  };
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"toggling a box", [&] { toggleAt(-1790, -1790); }},
      {"toggling an Opt", [&] { toggleAt(-1690, -1690); }},
      {"appending an Opt", [&] { add(LAYER_OPTIONS, -1600, -1600, 80, 30, true, true); }},
      {"selecting all", [&] { window->layout.applySelection(-1, OP_SELECT, MATCH_ALL, nullptr); }},
      {"appending after selecting all", [&] { add(5, -1400, -1400, 60, 60), add(5, -1300, -1400, 60, 60, false, true); }},
      {"replacing the content", [&] {
         Layer fresh[LAYER_COUNT];
         for (Layer& l : fresh) l.enable();
         fillRandomLayout(fresh, 40, 3);
         window->layout.replaceContent(fresh, "replaced.msk", false);
       }},
      {"deselecting all", [&] { window->layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr); }},
      {"selecting", [&] { layer(3).apply(OP_SELECT, MATCH_ALL, nullptr); }},
      {"deleting", [&] { layer(3).apply(OP_DELETE, MATCH_SELECTED, nullptr); }},
      {"disabling", [&] { layer(4).toggleEnabled(); }},
      {"a colour change", [&] { layer(6).setColor(layerRGBA(10, 200, 30, 200)); }},
      {"swapping", [&] { layer(7).swapContents(layer(8)); }},
      {"moving by a fraction", [&] { window->originX += 500.5; }},
      {"zooming", [&] { window->scale = 0.2f; }},
      {"resizing", [&] { window->resize(window->getWidth() - 60, window->getHeight() - 40), kivotest::settle(); }},
      {"a canvas too small for masks", [&] { window->resize(260, 200), kivotest::settle(); }},
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

}  // namespace
