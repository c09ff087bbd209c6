// The dashes of a selected box's outline: which pixels of its ring they light.
#include "canvas/SelectionDashes.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

// Lit pixels of a box at one pixel a unit on a canvas of 40 x 30, each once.
static std::set<std::pair<int, int>> lit(int32_t x0, int32_t y0, int32_t x1, int32_t y1, double left = 0) {
  PixelMap m;
  m.usable = true, m.kx = m.ky = 1, m.left = left, m.width = 40, m.height = 30;
  std::set<std::pair<int, int>> pixels;
  forEachDash(m, ObjectCorners{x0, y0, x1, y1}, [&](int a, int b, int c, int d) {
    EXPECT_TRUE(a >= 0 && b >= 0 && c < 40 && d < 30 && (a == c || b == d));
    for (int y = b; y <= d; y++)
      for (int x = a; x <= c; x++) EXPECT_TRUE(pixels.insert({x, y}).second) << x << "," << y;
  });
  return pixels;
}

// A box over pixels 10..29 x 5..14: a ring of 56 steps from its lower-left
// pixel, 4 left out and 4 lit in turn, whichever corner comes first; half
// a pixel to the left it takes in the column its left edge lies in.
TEST(SelectionDashes, RingIsWalkedFromItsLowerLeftPixel) {
  auto ring = lit(10, 5, 30, 15);
  EXPECT_TRUE(ring.size() == 28 && ring == lit(30, 15, 10, 5) && lit(10, 5, 30, 15, 0.5).count({29, 5}));
  EXPECT_TRUE(!ring.count({13, 5}) && ring.count({14, 5}) && ring.count({17, 5}) && !ring.count({18, 5}));
  EXPECT_TRUE(ring.count({29, 9}) && !ring.count({29, 10}) && ring.count({26, 14}) && !ring.count({25, 14}));
  EXPECT_TRUE(ring.count({10, 14}) && !ring.count({10, 11}) && ring.count({10, 8}));
  EXPECT_TRUE(lit(10, 10, 11, 11).empty() && lit(10, 10, 12, 11).empty());  // four steps or fewer
  // Clipped at the canvas, the dashes keep their places along the ring.
  auto wide = lit(-100, 5, 100, 15);
  EXPECT_TRUE(wide.count({4, 5}) != wide.count({0, 5}) && wide.size() == 40u);
}
