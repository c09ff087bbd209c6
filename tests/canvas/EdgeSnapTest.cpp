// Where a ruler's end goes near the edges of boxes, polygons and paths.
#include "canvas/EdgeSnap.h"

#include <gtest/gtest.h>

#include "model/Layout.h"
#include "model/PathOutline.h"
#include "model/Shapes.h"
#include "model/TopmostShape.h"

namespace {

// The nearest edge point within reach, on slanted edges too and on a path's
// outline; a disabled layer's shapes and anything out of reach are left.
TEST(EdgeSnap, EndsGoToTheNearestEdgeOfEnabledShapesWithinReach) {
  Layout layout;
  Polygon* triangle = new Polygon;
  triangle->setPoints({{0, 0}, {100, 0}, {0, 100}});
  Path* path = new Path;
  path->setPath({{200, 0}, {200, 100}}, 10, ENDS_FLUSH);  // outline at x = 195 and 205
  Box* hidden = new Box;
  hidden->setRect(48, 40, 10, 10);
  layout.addObjects({{LAYER_POLY, triangle}, {LAYER_METAL1, path}, {LAYER_METAL1 + 1, hidden}}, "added");
  layout.toggleEnabled(LAYER_METAL1 + 1);
  struct Case { double px, py, reach; bool snapped; int32_t x, y; };
  const Case cases[] = {{52, 52, 3, true, 50, 50},    {52, 52, 2.5, false, 7, 7}, {40, -2, 5, true, 40, 0},
                        {207, 50, 3, true, 205, 50},  {199, 50, 3, false, 7, 7},  {196.4, 80, 3, true, 195, 80},
                        {-3, 120, 5, false, 7, 7},    {-3, 101, 5, true, 0, 100}};
  TopmostFinder shapes;
  for (const Case& c : cases) {
    int32_t x = 7, y = 7;
    EXPECT_EQ(snapToEdge(layout, shapes, c.reach, c.px, c.py, x, y), c.snapped) << c.px << ", " << c.py;
    EXPECT_TRUE(x == c.x && y == c.y) << c.px << ", " << c.py << " went to " << x << ", " << y;
  }
}

}  // namespace
