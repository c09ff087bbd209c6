// Pixels of the canvas read back under Xvfb: what is drawn, in which colour,
// and that the fast path paints exactly what the plain loop paints.
#include "canvas/CanvasPainter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <random>

#include "app/KivoWindow.h"
#include "model/CellFlatten.h"
#include "model/PathOutline.h"
#include "model/Shapes.h"
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
  int n = 0;
  for (size_t i = 0; i < a.size(); i++) n += a[i] != b[i];
  return n;
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

  std::vector<Rgba> paint() { return kivotest::paintAndRead(window, width, height); }
  Rgba at(const std::vector<Rgba>& image, int px, int py) { return kivotest::pixelAt(image, width, px, py); }
  // Pixel column and row of the centre of layout unit (x, y).
  int colOf(double x) { return (int)((x + 0.5 - window->originX) * window->scale); }
  int rowOf(double y) { return window->canvas->getHeight() - 1 - (int)((y + 0.5 - window->originY) * window->scale); }
  GroupNode* add(int layer, int x, int y, int w, int h, bool opt = false, bool selected = false) {
    GroupNode* node = opt ? static_cast<GroupNode*>(new Opt) : static_cast<GroupNode*>(new Box);
    node->setRect(x, y, w, h);
    if (selected) node->select();
    window->layout.addObjects({{layer, node}}, "added");
    return node;
  }
  // Paint with the fast path, then with the plain loop; differing pixels.
  // A fast path that failed its own check paints plainly: that fails too.
  int fastAgainstPlain() {
    auto fast = paint();
    EXPECT_TRUE(window->painter.isFastPathTrusted());
    window->painter.setReferenceMode(true);
    auto plain = paint();
    window->painter.setReferenceMode(false);
    return differing(fast, plain);
  }
  // Each view (show(k) sets it) painted through the cells, fast against
  // plain; then the same views of the flattened layout, pixel for pixel.
  void expectFlattenedPictures(size_t views, const std::function<void(size_t)>& show) {
    std::vector<std::vector<Rgba>> pictures;
    for (size_t k = 0; k < views; k++) {
      show(k);
      EXPECT_EQ(fastAgainstPlain(), 0) << "view " << k;
      pictures.push_back(paint());
    }
    Layer flat[LAYER_COUNT];
    for (Layer& l : flat) l.enable();
    flattenCell(window->layout.cells(), window->layout.shownCell(), flat, UINT64_MAX);
    window->layout.replaceContent(flat, "flat.msk", false);
    for (size_t k = 0; k < views; k++) {
      show(k);
      EXPECT_EQ(differing(paint(), pictures[k]), 0) << "flattened, view " << k;
    }
  }
  // Of the rows row-1..row+1, the most pixels of colour c in columns a..b;
  // runs gets that row's number of colour changes.
  int countInBestRow(const std::vector<Rgba>& image, int row, int a, int b, Rgba c, int* runs) {
    int best = 0;
    for (int r = row - 1; r <= row + 1; r++) {
      int n = at(image, a, r) == c, changes = 0;
      for (int px = a + 1; px <= b; px++) n += at(image, px, r) == c, changes += (at(image, px, r) == c) != (at(image, px - 1, r) == c);
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

// A random layout of chip-like objects: many tiny, some large, some Opts,
// some with negative width, some selected.
void fillRandomLayout(KivoWindow* window, int count, unsigned seed, int32_t offset = 0) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> pos(-2000, 2000), layer(0, NAMED_LAYER_COUNT - 1), pick(0, 99);
  std::vector<PlacedObject> objects;
  for (int i = 0; i < count; i++) {
    int l = layer(rng), p = pick(rng);
    int w = p < 80 ? 1 + p % 5 : p < 97 ? 10 + p * 3 : 400 + p * 20, h = p < 80 ? 1 + (p * 7) % 6 : p < 97 ? 5 + p : 300;
    GroupNode* node = l == LAYER_OPTIONS && p % 2 ? static_cast<GroupNode*>(new Opt) : static_cast<GroupNode*>(new Box);
    node->setRect(offset + pos(rng), offset + pos(rng), p % 9 == 0 ? -w : w, h);
    if (p % 11 == 0) node->select();  // before the layer owns it
    objects.push_back({l, node});
  }
  window->layout.addObjects(objects, "added");
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

// Enough objects that a second thread builds caches and sorts fills.
TEST_F(CanvasPainterTest, HundredsOfThousandsOfObjectsPaintTheSamePixels) {
  fillRandomLayout(window, 300000, 13);
  fillRandomLayout(window, 100000, 29, 150000);  // drawn from coordinates near 2^14 pixels
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
  for (int i = 0; i < 24; i++) {
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

// A hierarchy of cells like a placed block: leaf cells of random shapes on
// several layers, a row cell placing them turned and mirrored, arrays of
// rows, and the shown cell placing those at offset, all but one selected;
// the shown cell's own objects are a random layout.
void buildHierarchy(KivoWindow* window, unsigned seed, int32_t offset, int array) {
  std::mt19937 rng(seed);
  // The named layers and two pair layers.
  std::uniform_int_distribution<int> pos(0, 40), size(0, 14), pick(0, NAMED_LAYER_COUNT + 1);
  auto slot = [&](std::mt19937& r) { int s = pick(r); return s < NAMED_LAYER_COUNT ? s : pairSlot(9200, s); };
  CellLibrary cells;
  for (int leaf = 0; leaf < 3; leaf++) {
    Cell& cell = cells.cell(cells.add("leaf" + std::to_string(leaf)));
    for (int k = 0; k < 12 + 8 * leaf; k++) {
      Box* box = new Box;
      box->setRect(pos(rng), pos(rng), size(rng), size(rng));
      cell.editLayer(slot(rng)).appendChain(box);
    }
    Opt* marker = new Opt;  // drawn as its outline and diagonals
    marker->setRect(pos(rng), pos(rng), 1 + size(rng), 1 + size(rng));
    cell.editLayer(LAYER_OPTIONS).appendChain(marker);
  }
  auto place = [&](uint32_t parent, uint32_t child, bool mirror, int quarter, int32_t x, int32_t y, int cols = 1,
                   int rows = 1, int32_t cx = 0, int32_t ry = 0) {
    Instance* inst = new Instance;
    inst->cell = child;
    inst->transform.mirrorX = mirror, inst->transform.quarterTurns = (uint8_t)quarter;
    inst->transform.x = x, inst->transform.y = y;
    inst->array.columns = (uint16_t)cols, inst->array.rows = (uint16_t)rows;
    inst->array.columnStep[0] = cx, inst->array.rowStep[1] = ry;
    inst->placeBounds(cells.cell(child).bounds());
    if (parent == 4 && x != offset) inst->select();
    cells.cell(parent).editLayer(LAYER_INSTANCES).appendChain(inst);
  };
  uint32_t row = cells.add("row"), top = cells.add("top");
  for (int k = 0; k < 8; k++) place(row, k % 3, k % 2, k % 4, 45 * k, (k % 2) * 40);
  place(row, 1, true, 0, 0, -50, 6, 1, 41);
  place(top, row, false, 0, offset, offset, array, array, 400, 95);
  place(top, row, true, 1, offset - 300, offset + 50, 2, 3, 0, 420);
  place(top, 2, false, 3, offset + 10, offset - 200, array * 4, array * 4, 37, 45);
  place(top, 0, true, 2, offset - 100, offset - 120);
  place(top, row, false, 0, offset - 250, offset - 350);  // turned by 30 degrees and magnified
  Instance* odd = static_cast<Instance*>(cells.cell(top).editLayer(LAYER_INSTANCES).first()->last());
  odd->transform.hasAngle = odd->transform.hasMagnification = true;
  odd->transform.angle = 30, odd->transform.magnification = 1.5;
  odd->placeBounds(cells.cell(row).bounds());
  cells.shown = top;
  Layer fresh[LAYER_COUNT];
  window->layout.replaceContent(fresh, "cells.gds", false, FORMAT_GDSII, GdsLibraryInfo(), &cells);
  fillRandomLayout(window, 300, seed, offset);
}

// The placed cells draw the pixels of their flattened shapes, the fast
// painter the plain one's, wherever they lie and whatever their size on the
// canvas (cells far below a pixel, arrays, turned and mirrored), with the
// shown cell's own objects and a layer in outline.
TEST_F(CanvasPainterTest, PlacedCellsPaintTheirFlattenedPixels) {
  for (int32_t offset : {0, 2147480000, -2147481000}) {
    buildHierarchy(window, 3, offset, 12);
    window->originX = offset - 700.25, window->originY = offset - 400.5, window->scale = 0.07f;
    EXPECT_EQ(fastAgainstPlain(), 0) << "whole, offset " << offset;
    std::mt19937 rng(offset & 0xFFFF);
    std::uniform_real_distribution<double> pos(-800, 5000), logScale(-4, 2.5);
    for (int i = 0; i < 12; i++) {
      window->originX = offset + pos(rng), window->originY = offset + pos(rng);
      window->scale = (float)std::exp(logScale(rng));
      if (i == 5) window->layout.toggleEnabled(6), window->layout.toggleEnabled(LAYER_OPTIONS);
      EXPECT_EQ(fastAgainstPlain(), 0) << window->originX << "," << window->originY << " x" << window->scale;
    }
    window->layout.toggleEnabled(6), window->layout.toggleEnabled(LAYER_OPTIONS);
    // The same picture from the document's own flattening, which copies
    // objects unselected.
    window->layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
    window->originX = offset - 700.25, window->originY = offset - 400.5, window->scale = 0.07f;
    auto hierarchy = paint();
    Layer flat[LAYER_COUNT];
    for (Layer& l : flat) l.enable();
    flattenCell(window->layout.cells(), window->layout.shownCell(), flat, UINT64_MAX);
    window->layout.replaceContent(flat, "flat.msk", false);
    EXPECT_EQ(differing(paint(), hierarchy), 0) << "flattened, offset " << offset;
  }
}

// Tens of thousands of cells in arrays below a pixel each: every pixel centre
// finds its shapes by division, and the picture stays the plain one's.
TEST_F(CanvasPainterTest, LargeArraysOfTinyCellsPaintTheSamePixels) {
  buildHierarchy(window, 8, -5000, 40);
  for (float scale : {0.0137f, 0.05f}) {
    window->originX = -5400.5, window->originY = -5300.75, window->scale = scale;
    EXPECT_EQ(fastAgainstPlain(), 0) << "x" << scale;
  }
}

}  // namespace

// Pair layers draw after the named ones, ordered by layer then datatype
// (not by when their slots were handed out), below the band; the fast path
// paints them exactly as the plain loop does.
TEST_F(CanvasPainterTest, PairLayersDrawInPairOrderAndAsThePlainLoop) {
  const int high = pairSlot(9000, 2), low = pairSlot(9000, 1);
  add(LAYER_METAL1, 0, 0, 40, 40), add(high, 10, 0, 40, 40), add(low, 20, 0, 40, 40);
  window->originX = window->originY = -10, window->scale = 4.0f;
  Rgba metal = blendOver(layerFacts(LAYER_METAL1).color, BLACK);
  EXPECT_EQ(at(paint(), colOf(25), rowOf(5)), blendOver(pairColor(9000, 2), blendOver(pairColor(9000, 1), metal)));
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> pos(-2000, 2000), size(1, 300), pick(0, 99);
  for (int i = 0; i < 6000; i++) {
    int p = pick(rng);
    add(p < 30 ? p % NAMED_LAYER_COUNT : pairSlot(9100 + p % 40, p % 3), pos(rng), pos(rng), p < 80 ? 1 + p % 4 : size(rng),
        p < 80 ? 1 + p % 3 : size(rng), false, p % 7 == 0);
  }
  window->layout.toggleEnabled(pairSlot(9105, 2));
  window->mouseRect.setRect(-100, -50, 300, 200);
  window->mouseRect.setMode(TRACK_SELECT);
  for (const auto& v : {std::vector<double>{-2100, -2100, 0.1}, {-300, -150, 1.0}, {-37, 400, 17.0}, {-1234.6, 77.2, 0.7}}) {
    window->originX = v[0], window->originY = v[1], window->scale = (float)v[2];
    EXPECT_EQ(fastAgainstPlain(), 0) << v[0] << "," << v[1] << " x" << v[2];
  }
  window->layout.applySelection(LAYER_METAL1, OP_TOGGLE, MATCH_ALL, nullptr);  // the kept masks follow
  add(low, -2000, -100, 3000, 50);
  EXPECT_EQ(fastAgainstPlain(), 0);
}

// Polygons and paths fill the pixels whose centres they hold, labels draw
// in the stroke font; both painters agree, selected or not, at any view.
TEST_F(CanvasPainterTest, PolygonsPathsAndLabelsPaintTheSamePixelsInBothPainters) {
  Polygon* triangle = new Polygon;
  triangle->setPoints({{0, 0}, {40, 0}, {0, 40}});
  Path* path = new Path;
  path->setPath({{0, 50}, {30, 80}, {60, 50}}, 5, ENDS_ROUND);
  Path* line = new Path;
  line->setPath({{50, 0}, {70, 30}}, 0, ENDS_FLUSH);
  Label* label = new Label;
  label->text = "VDD", label->anchor = {45, 45}, label->unitsPerMicrometre = 4;
  label->refresh();
  label->select(), path->select();
  window->layout.addObjects({{3, triangle}, {4, path}, {5, line}, {6, label}}, "added");
  window->originX = -5, window->originY = -5, window->scale = 4.0f;
  auto image = paint();
  const Rgba empty = at(image, colOf(30), rowOf(30));  // outside the triangle: x + y > 40
  EXPECT_TRUE(at(image, colOf(18), rowOf(20)) != empty && at(image, colOf(21), rowOf(20)) == empty);
  EXPECT_NE(at(image, colOf(30), rowOf(80) + 2), empty);  // the path's top
  struct View { double x, y; float scale; };
  const View views[] = {{-5, -5, 4.0f}, {-3.3, 7.7, 13.0f}, {-100, -100, 0.7f}, {20.25, 40.5, 80.0f}};
  for (const View& v : views) {
    window->originX = v.x, window->originY = v.y, window->scale = v.scale;
    EXPECT_EQ(fastAgainstPlain(), 0) << v.x << "," << v.y << " x" << v.scale;
  }
  // View > Labels: off takes the letters away, on brings them back.
  window->originX = -5, window->originY = -5, window->scale = 4.0f;
  const auto shown = paint();
  window->handle(window, FXSEL(SEL_COMMAND, KivoWindow::ID_VIEW_LABELS), nullptr);
  const auto hidden = paint();
  EXPECT_EQ(fastAgainstPlain(), 0);
  window->handle(window, FXSEL(SEL_COMMAND, KivoWindow::ID_VIEW_LABELS), nullptr);
  EXPECT_TRUE(differing(shown, hidden) > 0 && differing(shown, paint()) == 0);
}

// Inside placed cells, a 45-degree polygon, a round-ended diagonal path and
// a label paint the pixels of their flattened copies, also in a mirrored
// array and under a reference turned by 30 degrees and magnified, on named
// and pair layers, in both painters alike.
TEST_F(CanvasPainterTest, PlacedPolygonsPathsAndLabelsPaintTheirFlattenedPixels) {
  CellLibrary cells;
  const uint32_t leaf = cells.add("leaf"), top = cells.add("top");
  Polygon* diamond = new Polygon;
  diamond->setPoints({{0, 20}, {20, 0}, {40, 20}, {20, 40}});
  Polygon* triangle = new Polygon;
  triangle->setPoints({{50, 0}, {70, 0}, {50, 25}});
  Path* diagonal = new Path;
  diagonal->setPath({{0, 0}, {30, 30}, {60, 10}}, 6, ENDS_ROUND);
  Path* line = new Path;  // lights pixels with no centre near it
  line->setPath({{0, 60}, {50, 61}}, 0, ENDS_FLUSH);
  Label* label = new Label;
  label->text = "Q7", label->anchor = {10, 45}, label->unitsPerMicrometre = 6;
  label->refresh();
  Box* box = new Box;
  box->setRect(45, 30, 12, 20);
  cells.cell(leaf).editLayer(3).appendChain(diamond);
  cells.cell(leaf).editLayer(4).appendChain(diagonal);
  cells.cell(leaf).editLayer(6).appendChain(label);
  cells.cell(leaf).editLayer(7).appendChain(line);
  cells.cell(leaf).editLayer(5).appendChain(box);
  cells.cell(leaf).editLayer(pairSlot(9300, 1)).appendChain(triangle);
  auto place = [&](bool mirror, int quarter, int32_t x, int32_t y, double angle, double magnification) {
    Instance* inst = new Instance;
    inst->cell = leaf;
    inst->transform.mirrorX = mirror, inst->transform.quarterTurns = (uint8_t)quarter;
    inst->transform.x = x, inst->transform.y = y;
    inst->transform.hasAngle = inst->transform.hasMagnification = angle != 0;
    inst->transform.angle = angle, inst->transform.magnification = magnification;
    if (angle == 0) inst->array.columns = 3, inst->array.rows = 2, inst->array.columnStep[0] = 80, inst->array.rowStep[1] = 70;
    inst->placeBounds(cells.cell(leaf).bounds());
    cells.cell(top).editLayer(LAYER_INSTANCES).appendChain(inst);
  };
  place(false, 0, 0, 0, 0, 1);
  place(true, 1, -60, 300, 0, 1);
  place(false, 0, 350, 20, 30, 1.5);
  cells.shown = top;
  Layer fresh[LAYER_COUNT];
  window->layout.replaceContent(fresh, "cells.gds", false, FORMAT_GDSII, GdsLibraryInfo(), &cells);
  struct View { double x, y; float scale; };
  const View views[] = {{-20.5, -30.25, 1.9f}, {300.3, -10.7, 3.1f}, {-83.2, 150.6, 7.5f}, {-400, -400, 0.3f}};
  expectFlattenedPictures(4, [&](size_t k) {
    window->originX = views[k].x, window->originY = views[k].y, window->scale = views[k].scale;
  });
}

// Uneven arrays (each element rounded on its own) and absolute references
// under a magnified or a mirrored, turned parent paint in both painters
// the pixels of the flattened layout.
TEST_F(CanvasPainterTest, UnevenArraysAndAbsoluteReferencesPaintTheirFlattenedPixels) {
  CellLibrary cells;
  const uint32_t leaf = cells.add("leaf"), mid = cells.add("mid"), row = cells.add("row"), top = cells.add("top");
  Polygon* wedge = new Polygon;
  wedge->setPoints({{0, 0}, {9, 0}, {0, 5}});
  cells.cell(leaf).editLayer(3).appendChain(wedge), cells.cell(leaf).editLayer(5).appendChain(newLayoutObject(5));
  cells.cell(leaf).layer(5)->first()->setRect(2, 6, 5, 3);
  // Absolute when magnification is not 1; 3 x 2 elements when points are given.
  auto place = [&](uint32_t parent, uint32_t child, int32_t x, int32_t y, int quarter, bool mirror, double magnification,
                   std::vector<int32_t> points = {}) {
    Instance* inst = new Instance;
    CellTransform& t = inst->transform;
    inst->cell = child, t.x = x, t.y = y, t.quarterTurns = (uint8_t)quarter, t.mirrorX = mirror;
    t.magnification = magnification, t.hasMagnification = t.absoluteMagnification = t.absoluteAngle = magnification != 1;
    if (!points.empty()) inst->array.columns = 3, inst->array.rows = 2, inst->array.fromAref = true;
    std::copy(points.begin(), points.end(), inst->array.points);
    inst->placeBounds(cells);
    cells.cell(parent).editLayer(LAYER_INSTANCES).appendChain(inst);
  };
  place(mid, leaf, 20, 0, 0, false, 1.5), place(row, leaf, 0, 0, 0, false, 1, {0, 0, 37, 2, 3, 23});
  place(top, mid, 0, 0, 0, false, 2.5);  // absolute in the shown cell: as any other
  place(top, mid, 150, 0, 1, true, 1), place(top, row, 0, 80, 3, false, 1);
  place(top, leaf, 100, 100, 1, false, 1, {100, 100, 98, 137, 121, 103});
  cells.shown = top;
  Layer fresh[LAYER_COUNT];
  window->layout.replaceContent(fresh, "cells.gds", false, FORMAT_GDSII, GdsLibraryInfo(), &cells);
  const float scales[] = {0.8f, 2.3f, 5.1f};
  expectFlattenedPictures(3, [&](size_t k) { window->originX = -40.5, window->originY = -60.25, window->scale = scales[k]; });
}

// Cells placed side by side, whose rectangles abut within and across them
// on named and pair layers, paint the plain picture wherever the shared
// edges fall beside or near pixel centres.
TEST_F(CanvasPainterTest, AbuttingCellsPaintTheSamePixels) {
  CellLibrary cells;
  const uint32_t tile = cells.add("tile"), top = cells.add("top");
  const int boxes[][5] = {{3, 0, 0, 23, 3}, {3, 0, 17, 23, 3}, {2, 5, 3, 4, 14}, {2, 9, 3, 14, 14}, {-1, 0, 0, 23, 20}};
  for (const auto& b : boxes) {
    Box* box = new Box;
    box->setRect(b[1], b[2], b[3], b[4]);
    cells.cell(tile).editLayer(b[0] < 0 ? pairSlot(9400, 0) : b[0]).appendChain(box);
  }
  for (int k = 0; k < 2; k++) {
    Instance* inst = new Instance;
    inst->cell = tile, inst->transform.mirrorX = k == 1, inst->transform.y = k * 620;
    inst->array.columns = 40, inst->array.rows = 30, inst->array.columnStep[0] = 23, inst->array.rowStep[1] = 20;
    inst->placeBounds(cells.cell(tile).bounds());
    cells.cell(top).editLayer(LAYER_INSTANCES).appendChain(inst);
  }
  cells.shown = top;
  Layer fresh[LAYER_COUNT];
  window->layout.replaceContent(fresh, "tiles.gds", false, FORMAT_GDSII, GdsLibraryInfo(), &cells);
  // Edges on pixel centres (x = origin + (column + 0.5) / scale), and beside them.
  for (float scale : {1.0f, 0.5f, 2.0f, 0.37f, 1.3f}) {
    window->originX = window->originY = scale == 0.37f || scale == 1.3f ? -13.3 : -0.5 / scale;
    window->scale = scale;
    EXPECT_EQ(fastAgainstPlain(), 0) << "x" << scale;
  }
}
