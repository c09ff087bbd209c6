// The view transform and the view commands' arithmetic, without a display.
#include "canvas/ViewTransform.h"

#include <gtest/gtest.h>

#include <climits>

#include "model/GroupNode.h"
#include "model/Layer.h"
#include "model/LayerTable.h"

namespace {

ViewTransform canvas700x400() {
  ViewTransform view;
  view.width = 700;
  view.height = 400;
  return view;
}

void addBox(Layer& layer, int x, int y, int w, int h) {
  Box* box = new Box;
  box->setRect(x, y, w, h);
  layer.apply(OP_ADD, MATCH_ALL, box);
}

}  // namespace

TEST(ViewTransform, ToLayoutTruncatesTowardZero) {
  struct Case { int px, py, x, y; };
  const Case cases[] = {
      {0, 400, 0, 0}, {15, 0, 1, 40}, {9, 391, 0, 0}, {-5, 405, 0, 0}, {-15, 415, -1, -1},
      {699, 0, 69, 40}, {10, 390, 1, 1},
  };
  ViewTransform view = canvas700x400();
  for (const Case& c : cases) {
    int32_t x, y;
    view.toLayout(c.px, c.py, x, y);
    EXPECT_EQ(x, c.x) << c.px << "," << c.py;
    EXPECT_EQ(y, c.y) << c.px << "," << c.py;
  }
  view.originX = 100;
  view.originY = -50;
  int32_t x, y;
  view.toLayout(15, 0, x, y);
  EXPECT_EQ(x, 101);
  EXPECT_EQ(y, -10);
}

TEST(ViewTransform, ExtremePointersAndOriginsWrapOrSaturate) {
  ViewTransform view = canvas700x400();
  int32_t x, y;
  view.scale = 0.025f;
  view.toLayout(INT_MAX, INT_MIN, x, y);
  EXPECT_EQ(x, INT32_MAX);  // 8.6e10 units saturates
  EXPECT_EQ(y, INT32_MAX);
  view.toLayout(INT_MIN, INT_MAX, x, y);
  EXPECT_EQ(x, INT32_MIN);
  EXPECT_EQ(y, INT32_MIN);
  view.scale = 10.0f;
  view.originX = INT32_MAX;
  view.originY = INT32_MIN;
  view.toLayout(15, 415, x, y);
  EXPECT_EQ(x, INT32_MIN);  // INT32_MAX + 1 wraps
  EXPECT_EQ(y, INT32_MAX);  // INT32_MIN - 1 wraps
  view.move(1, -1);
  EXPECT_EQ(view.originX, INT32_MIN + 22);
  EXPECT_EQ(view.originY, INT32_MAX - 12);
  EXPECT_EQ(truncToInt32(0.0 / 0.0), 0);
  EXPECT_EQ(truncToInt32(-7.9), -7);
}

TEST(ViewTransform, ZoomStepsAndLimits) {
  ViewTransform view = canvas700x400();
  const float ins[] = {20, 40, 80, 80};
  for (float expected : ins) {
    view.zoomIn();
    EXPECT_EQ(view.scale, expected);
  }
  view = canvas700x400();
  const float outs[] = {5, 2, 1, 0.5f, 0.25f, 0.125f, 0.0625f, 0.03125f, 0.03125f};
  for (float expected : outs) {
    view.zoomOut();
    EXPECT_EQ(view.scale, expected);
  }
}

TEST(ViewTransform, ZoomMovesOriginByAQuarterOfTheView) {
  ViewTransform view = canvas700x400();
  view.zoomIn();
  EXPECT_EQ(view.originX, 17);
  EXPECT_EQ(view.originY, 10);
  EXPECT_EQ(view.scale, 20.0f);
  view.zoomOut();
  EXPECT_EQ(view.originX, 0);
  EXPECT_EQ(view.originY, 0);
  EXPECT_EQ(view.scale, 10.0f);
  view.zoomOut();
  EXPECT_EQ(view.originX, -35);
  EXPECT_EQ(view.originY, -20);
  EXPECT_EQ(view.scale, 5.0f);
  view.zoomOut();
  EXPECT_EQ(view.originX, -122);
  EXPECT_EQ(view.originY, -70);
  EXPECT_EQ(view.scale, 2.0f);
}

TEST(ViewTransform, ShowAllFitsTheUnionOfLayers) {
  Layer layers[LAYER_COUNT];
  applyStartupSettings(layers);
  addBox(layers[5], 10, 20, 100, 50);
  ViewTransform view = canvas700x400();
  Rect bounds = layoutBounds(layers);
  // The empty layer 6 pulls the union out to (0, 0).
  EXPECT_EQ(bounds.getX(), 0);
  EXPECT_EQ(bounds.getY(), 0);
  EXPECT_EQ(bounds.getW(), 110);
  EXPECT_EQ(bounds.getH(), 70);
  view.showAll(bounds);
  EXPECT_EQ(view.originX, 0);
  EXPECT_EQ(view.originY, 0);
  EXPECT_EQ(view.scale, 400.0f / 70.0f);

  for (int i = 6; i < LAYER_COUNT; i++) addBox(layers[i], 10, 20, 100, 50);
  bounds = layoutBounds(layers);
  EXPECT_EQ(bounds.getX(), 10);
  EXPECT_EQ(bounds.getY(), 20);
}

TEST(ViewTransform, ShowAllClampsScale) {
  struct Case { int w, h; float scale; };
  const Case cases[] = {{100000, 10, 0.05f}, {1, 1, 50.0f}, {0, 0, 50.0f}, {70, 400, 1.0f}};
  for (const Case& c : cases) {
    ViewTransform view = canvas700x400();
    Rect bounds;
    bounds.setRect(-5, 7, c.w, c.h);
    view.showAll(bounds);
    EXPECT_EQ(view.scale, c.scale) << c.w << "x" << c.h;
    EXPECT_EQ(view.originX, -5);
    EXPECT_EQ(view.originY, 7);
  }
  ViewTransform view = canvas700x400();
  Rect wide;
  wide.setRect(0, 0, 100000, 1);
  view.showAll(wide);
  view.zoomOut();  // the float 0.05 lies above the double 0.05
  EXPECT_EQ(view.scale, 0.025f);
  view.zoomOut();
  EXPECT_EQ(view.scale, 0.025f);
}

TEST(ViewTransform, MoveByAThirdOfTheVisibleUnits) {
  ViewTransform view = canvas700x400();
  view.move(1, 0);
  EXPECT_EQ(view.originX, 23);
  view.move(0, 1);
  EXPECT_EQ(view.originY, 13);
  view.move(-1, -1);
  EXPECT_EQ(view.originX, 0);
  EXPECT_EQ(view.originY, 0);
  view.width = 200;
  view.scale = 80.0f;
  EXPECT_EQ(view.visibleWidth(), 2);
  view.move(1, 0);
  view.move(-1, 0);
  EXPECT_EQ(view.originX, 0);
  view.width = 700;
  EXPECT_EQ(view.visibleWidth(), 8);
}
