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

// Inside placed cells the exact outlines count, as placed: a triangle's
// slanted edge in the second element of an array turned a quarter, and the
// side of a square turned 45 degrees and magnified twice. Their boxes are
// out of reach of both points.
TEST(EdgeSnap, EndsGoToSlantedEdgesInsideTurnedArrayElements) {
  CellLibrary lib;
  const uint32_t leaf = lib.add("LEAF"), square = lib.add("SQUARE"), top = lib.add("TOP");
  Polygon* triangle = new Polygon;
  triangle->setPoints({{0, 0}, {100, 0}, {0, 100}});
  lib.cell(leaf).editLayer(LAYER_POLY).appendChain(triangle);
  Box* box = new Box;
  box->setRect(0, 0, 100, 100);
  lib.cell(square).editLayer(LAYER_METAL1).appendChain(box);
  Instance* array = new Instance;  // elements at x 0 and 1000, turned: (x, y) -> (-y, x)
  array->cell = leaf, array->transform.quarterTurns = 1;
  array->array.columns = 2, array->array.columnStep[0] = 1000;
  array->placeBounds(lib.cell(leaf).bounds());
  Instance* turned = new Instance;  // corners (3000, 0), (3141, 141), (3000, 283), (2859, 141)
  turned->cell = square, turned->transform.x = 3000;
  turned->transform.hasAngle = turned->transform.hasMagnification = true;
  turned->transform.angle = 45, turned->transform.magnification = 2;
  turned->placeBounds(lib.cell(square).bounds());
  lib.cell(top).editLayer(LAYER_INSTANCES).appendChain(array);
  lib.cell(top).editLayer(LAYER_INSTANCES).appendChain(turned);
  lib.shown = top;
  Layer fresh[LAYER_COUNT];
  Layout layout;
  layout.replaceContent(fresh, "lib.gds", false, FORMAT_GDSII, GdsLibraryInfo(), &lib);
  TopmostFinder shapes;
  // The second element's slanted edge runs from (1000, 100) to (900, 0).
  int32_t x = 7, y = 7;
  EXPECT_TRUE(snapToEdge(layout, shapes, 8, 945, 55, x, y));
  EXPECT_TRUE(x == 950 && y == 50) << x << ", " << y;
  EXPECT_TRUE(snapToEdge(layout, shapes, 8, 3060, 50, x, y));
  EXPECT_TRUE(x == 3055 && y == 55) << x << ", " << y;
  EXPECT_FALSE(snapToEdge(layout, shapes, 8, 960, 30, x, y));
  layout.toggleEnabled(LAYER_POLY);
  EXPECT_FALSE(snapToEdge(layout, shapes, 8, 945, 55, x, y));
}

}  // namespace
