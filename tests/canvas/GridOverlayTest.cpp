// The grid's shown step, snapping to it and the step a layout starts with.
#include "canvas/GridOverlay.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// The shown step is the first of step x 1, 2, 5, 10, 20, ... whose dots lie
// at least 8 pixels apart, however far the view zooms out.
TEST(GridOverlay, ShownStepGrowsByOneTwoFiveUntilDotsAreEightPixelsApart) {
  struct Case { int64_t step; double scale; int64_t shown; };
  const Case cases[] = {{1, 10, 1}, {1, 8, 1}, {1, 7.9, 2}, {1, 4, 2}, {1, 1.59, 10}, {5, 1.7, 5},
                        {5, 0.1, 100}, {5, 0.0799, 250}, {3, 0.001, 15000}, {1, 1e-20, 2000000000000000}};
  for (const Case& c : cases) EXPECT_EQ(shownGridStep(c.step, c.scale), c.shown) << c.step << " at " << c.scale;
}

// Nearest multiple, a tie going up; near the ends of the 32-bit range the
// neighbour inside it, never a wrapped value.
TEST(GridOverlay, SnapTakesTheNearestMultipleInsideTheRange) {
  struct Case { int32_t v; int64_t step; int32_t snapped; };
  const Case cases[] = {{7, 5, 5},       {8, 5, 10},     {-7, 5, -5},   {-8, 5, -10}, {5, 10, 10},
                        {-5, 10, 0},     {-15, 10, -10}, {123, 1, 123}, {0, 7, 0},    {3, int64_t(1) << 33, 0},
                        {INT32_MIN, 5, -2147483645},     {INT32_MAX, 10, 2147483640},
                        {INT32_MAX, 1, INT32_MAX},       {INT32_MIN + 1, 2, -2147483646},
                        {2147483644, 8, 2147483640},     {-2147483644, 8, -2147483640}};
  for (const Case& c : cases) EXPECT_EQ(snapToGrid(c.v, c.step), c.snapped) << c.v << " on " << c.step;
  GridSettings grid;
  grid.step = 5;
  EXPECT_EQ(grid.snapped(7), 5);
  grid.snap = false;
  EXPECT_EQ(grid.snapped(7), 7);
}

TEST(GridOverlay, LayoutsOfNanometreUnitsStartWithAStepOfFive) {
  EXPECT_EQ(GridSettings::defaultStep(true, 1e-9), 5);
  EXPECT_EQ(GridSettings::defaultStep(true, 1.0000000000001e-9), 5);
  EXPECT_EQ(GridSettings::defaultStep(true, 1e-8), 1);
  EXPECT_EQ(GridSettings::defaultStep(false, 1e-9), 1);
}

}  // namespace
