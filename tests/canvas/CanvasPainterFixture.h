// The canvas painter tests' fixture: a window under Xvfb, its pixels read
// back, and the fast painter compared with the plain loop.
#ifndef KIVO_TESTS_CANVASPAINTERFIXTURE_H
#define KIVO_TESTS_CANVASPAINTERFIXTURE_H

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

// A colour blended with its alpha over a pixel.
inline Rgba blendOver(uint32_t color, Rgba dst) {
  int a = color >> 24;
  auto mix = [a](int src, int d) { return (uint8_t)std::min(255, (src * a + 127) / 255 + (d * (255 - a) + 127) / 255); };
  return Rgba{mix(color & 0xFF, dst.r), mix((color >> 8) & 0xFF, dst.g), mix((color >> 16) & 0xFF, dst.b), 255};
}

inline int differing(const std::vector<Rgba>& a, const std::vector<Rgba>& b) {
  int n = 0;
  for (size_t i = 0; i < a.size(); i++) n += a[i] != b[i];
  return n;
}

inline const Rgba BLACK{0, 0, 0, 255}, RED{255, 0, 0, 255}, GREEN{0, 255, 0, 255}, WHITE{255, 255, 255, 255};

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

// A random layout of chip-like objects: many tiny, some large, some Opts,
// some with negative width, some selected.
inline void fillRandomLayout(KivoWindow* window, int count, unsigned seed, int32_t offset = 0) {
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


#endif
