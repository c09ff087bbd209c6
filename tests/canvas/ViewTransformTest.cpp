// The view transform and the view commands' arithmetic, without a display.
#include "canvas/ViewTransform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <tuple>
#include <utility>

#include "model/GroupNode.h"
#include "model/Layer.h"
#include "model/LayerTable.h"

namespace {

ViewTransform canvas700x400(double ox = 0, double oy = 0, float scale = 10.0f) { return {ox, oy, scale, 700, 400}; }

void addBox(Layer& layer, int x, int y, int w, int h) {
  Box* box = new Box;
  box->setRect(x, y, w, h);
  layer.apply(OP_ADD, MATCH_ALL, box);
}

}  // namespace

TEST(ViewTransform, ToLayoutRoundsDownAndSaturates) {
  struct Case { double ox, oy; float scale; int px, py, x, y; };
  const Case cases[] = {
      {0, 0, 10, 9, 391, 0, 0},      {0, 0, 10, -5, 405, -1, -1},  {100, -50, 10, 15, 0, 101, -10},
      {0.5, 0.5, 10, 4, 396, 0, 0},  {0.5, 0.5, 10, 5, 395, 1, 1}, {-0.25, 0, 10, 0, 400, -1, 0},
      {0, 0, .025f, INT_MAX, INT_MIN, INT_MAX, INT_MAX}, {2147483640.0, -2147483648.0, 1, 20, 401, INT32_MAX, INT32_MIN},
  };
  for (const Case& c : cases) {
    int32_t x, y;
    canvas700x400(c.ox, c.oy, c.scale).toLayout(c.px, c.py, x, y);
    EXPECT_EQ(std::make_pair(x, y), std::make_pair(c.x, c.y)) << c.ox << "," << c.oy << " " << c.px << "," << c.py;
  }
}

// Zoom In doubles up to 80, Zoom Out halves down to the smallest scale
// given, both keeping the scale whole above 1; moves go by a third (E/S/D/F)
// or a quarter (arrows) of the view.
TEST(ViewTransform, ZoomAndMoveKeepTheirSteps) {
  // zoom: 1 Zoom In, -1 Zoom Out, 0 a move by 1/parts.
  struct Step { int zoom, dx, dy, parts; double ox, oy; float scale; };
  const Step steps[] = {
      {1, 0, 0, 0, 17, 10, 20},     {-1, 0, 0, 0, 0, 0, 10},      {-1, 0, 0, 0, -35, -20, 5},
      {-1, 0, 0, 0, -122, -70, 2},  {0, 1, 0, 3, -6, -70, 2},     {0, 0, 1, 3, -6, -4, 2},
      {0, -1, -1, 3, -122, -70, 2}, {0, 1, 1, 4, -35, -20, 2},    {0, -1, -1, 4, -122, -70, 2},
  };
  ViewTransform view = canvas700x400();
  for (const Step& s : steps) {
    if (s.zoom) s.zoom > 0 ? view.zoomIn() : view.zoomOut(0.025f);
    else view.move(s.dx, s.dy, s.parts);
    EXPECT_EQ(std::make_tuple(view.originX, view.originY, view.scale), std::make_tuple(s.ox, s.oy, s.scale));
  }
  view = canvas700x400();
  for (int i = 0; i < 6; i++) view.zoomIn();
  EXPECT_EQ(view.scale, 80.0f);
  for (int i = 0; i < 15; i++) view.zoomOut(0.025f);
  EXPECT_EQ(view.scale, 0.025f);  // after 0.03125, the smallest given
  view.scale = 50.0f;             // Show All's largest
  view.zoomIn();
  EXPECT_EQ(view.scale, 80.0f);
}

TEST(ViewTransform, ShowAllFitsTheLayersThatHoldObjects) {
  struct Case { int x, y, w, h; float scale; };
  // However large the layout, it fits whole, and Zoom Out halves the scale
  // once more, to the wheel's smallest.
  const Case cases[] = {{-5, 7, 100000, 10, 0.007f}, {-5, 7, 1, 1, 50.0f}, {-5, 7, 70, 400, 1.0f},
                        {100000000, -2147483648, 2000000, 1000000, 0.00035f}};
  for (const Case& c : cases) {
    Layer layers[LAYER_COUNT];
    applyStartupSettings(layers);
    addBox(layers[3], c.x, c.y, c.w / 2, c.h);
    addBox(layers[9], c.x + c.w / 2, c.y, c.w - c.w / 2, c.h / 2);
    ViewTransform view = canvas700x400();
    view.showAll(layoutBounds(layers));  // the empty layers 4..8, 10..13 play no part
    EXPECT_EQ(std::make_pair(view.originX, view.originY), std::make_pair((double)c.x, (double)c.y)) << c.w;
    EXPECT_FLOAT_EQ(view.scale, c.scale) << c.w;
    const float minScale = wheelMinScale(layoutBounds(layers), view.width, view.height);
    for (int i = 0; i < 20; i++) view.zoomOut(minScale);
    EXPECT_FLOAT_EQ(view.scale, std::min(0.025f, c.scale / 2)) << c.w;
  }
  Layer layers[LAYER_COUNT];
  ViewTransform view = canvas700x400(3, 3);
  view.showAll(layoutBounds(layers));
  EXPECT_EQ(view.originX + view.scale, 50.0f);
  applyStartupSettings(layers);
  addBox(layers[3], INT32_MIN, 0, 1, 1), addBox(layers[3], INT32_MAX - 1, 0, 1, 1);  // wider than 2^31
  view.showAll(layoutBounds(layers));
  EXPECT_FLOAT_EQ(view.scale, 700.0f / 4294967295.0f);
  layers[3].setHidden(true);  // Show All leaves hidden layers out
  EXPECT_TRUE(layoutBounds(layers).isAllZero());
}

TEST(ViewTransform, WheelZoomsAboutThePointerWithinItsRange) {
  Rect chip;
  chip.setRect(1000000, 2000000, 4000000, 1000000);
  const float chipMin = wheelMinScale(chip, 700, 400);
  EXPECT_FLOAT_EQ(chipMin, 700.0f / 8000000);
  EXPECT_EQ(wheelMinScale(Rect(), 700, 400), 0.025f);
  struct Case { double ox; float scale; int px, py, notches; float minScale, expected; };
  const Case cases[] = {
      {0, 10, 350, 200, 1, 0.025f, 14.142136f},  {0, 10, 100, 50, -1, 0.025f, 7.0710678f},
      {0.5, 70, 3, 397, 1, 0.025f, 80},          {0, 0.03f, 600, 100, -1, 0.025f, 0.025f},
      {1e6, 0.0001f, 10, 10, -1, chipMin, chipMin}, {-2147483648.0, 60, 699, 0, 1, 0.025f, 80},
  };
  for (const Case& c : cases) {
    ViewTransform view = canvas700x400(c.ox, c.ox, c.scale);
    double x0, y0, x1, y1;
    view.pointAt(c.px, c.py, x0, y0);
    view.zoomAt(c.px, c.py, c.notches, c.minScale);
    EXPECT_FLOAT_EQ(view.scale, c.expected) << c.scale;
    view.pointAt(c.px, c.py, x1, y1);
    EXPECT_LT(std::hypot(x1 - x0, y1 - y0) * view.scale, 0.01) << c.scale;  // the point stays put
  }
}
