// Polygon coverage against a per-pixel point-in-polygon test, at edge ties,
// for rectangles against PixelMap, and far from coordinate 0.
#include "canvas/PolygonCoverage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>

#include "canvas/PixelMap.h"
#include "model/Rect.h"

namespace {

using Mask = std::vector<uint8_t>;

// The pixels of the spans, checking that they lie in the canvas, in order
// and apart.
Mask covered(const ViewTransform& view, const Contours& c, int units) {
  std::vector<PixelSpan> spans;
  PolygonCoverage(view).cover(c, units, spans);
  Mask m((size_t)view.width * view.height, 0);
  for (size_t i = 0; i < spans.size(); i++) {
    const PixelSpan& s = spans[i];
    EXPECT_TRUE(s.y >= 0 && s.y < view.height && s.x0 >= 0 && s.x0 <= s.x1 && s.x1 < view.width);
    EXPECT_TRUE(i == 0 || spans[i - 1].y < s.y || spans[i - 1].x1 + 1 < s.x0) << "spans out of order";
    for (int x = s.x0; x <= s.x1; x++) m[(size_t)s.y * view.width + x]++;
  }
  return m;
}

// Each centre on its own: non-zero winding at a point just right of (and
// above) the centre, from the window positions in double, exact for the
// dyadic views used here.
Mask bruteForce(const ViewTransform& view, const Contours& c, int units) {
  Mask m((size_t)view.width * view.height, 0);
  auto window = [&](const FinePoint& p, double& x, double& y) {
    x = ((double)p.x / units - view.originX) * view.scale, y = ((double)p.y / units - view.originY) * view.scale;
  };
  for (int j = 0; j < view.height; j++)
    for (int k = 0; k < view.width; k++) {
      double cx = k + 0.5, cy = j + 0.5, ax, ay, bx, by;
      int winding = 0;
      for (size_t first = 0, n = 0; n < c.sizes.size(); first += c.sizes[n++])
        for (size_t i = 0; i < c.sizes[n]; i++) {
          window(c.points[first + i], ax, ay), window(c.points[first + (i + 1) % c.sizes[n]], bx, by);
          int direction = by > ay ? 1 : -1;
          if (ay > by) std::swap(ax, bx), std::swap(ay, by);
          if (ay <= cy && cy < by && (bx - ax) * (cy - ay) - (by - ay) * (cx - ax) <= 0) winding += direction;
        }
      m[(size_t)j * view.width + k] = winding != 0;
    }
  return m;
}

Contours rectangle(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  Contours c;
  c.points = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}, c.close();
  return c;
}

}  // namespace

// Random contours of any angle, crossing themselves and each other, with
// many vertices and edges exactly on pixel centres, in several views.
TEST(PolygonCoverage, MatchesPointInPolygonEverywhere) {
  const ViewTransform views[] = {{0.5, 0.5, 1, 40, 30},   {-3.25, 2, 0.5f, 37, 29}, {10, -4, 3, 40, 30},
                                 {0, 0, 0.25f, 33, 41},   {1.5, 1.5, 2, 40, 30}};
  std::mt19937 random(7);
  auto within = [&](double origin, int pixels, float scale) {  // around the view
    return origin + ((random() % 1000) / 1000.0 * 1.4 - 0.2) * pixels / scale;
  };
  for (const ViewTransform& view : views)
    for (int units = 1; units <= 2; units++)
      for (int trial = 0; trial < 60; trial++) {
        Contours c;
        for (int k = 0; k <= trial % 3; k++, c.close())
          for (int i = 0, n = 3 + (int)(random() % 7); i < n; i++)
            c.points.push_back({(int64_t)std::floor(within(view.originX, view.width, view.scale) * units),
                                (int64_t)std::floor(within(view.originY, view.height, view.scale) * units)});
        ASSERT_EQ(covered(view, c, units), bruteForce(view, c, units)) << view.originX << " trial " << trial;
      }
}

// A rectangle's contour takes the left and bottom edges' centres and not
// the right and top ones', and agrees with every pixel PixelMap is sure of.
TEST(PolygonCoverage, RectanglesCoverTheirOwnPixels) {
  const ViewTransform tie{-0.5, -0.5, 1, 20, 20};  // pixel k centred on unit k
  Mask m = covered(tie, rectangle(2, 3, 5, 4), 1), left = covered(tie, rectangle(0, 0, 5, 9), 1);
  Mask right = covered(tie, rectangle(5, 0, 9, 9), 1);
  for (int i = 0; i < 400; i++) {
    EXPECT_EQ(m[i], i % 20 >= 2 && i % 20 < 5 && i / 20 == 3) << i % 20 << "," << i / 20;
    EXPECT_LE(left[i] + right[i], 1) << "shared edge taken twice";
  }
  std::mt19937 random(11);
  for (ViewTransform view : {ViewTransform{3.3, -7.1, 0.7071f, 90, 70}, ViewTransform{-100.01, 5.5, 1.414f, 90, 70},
                             ViewTransform{0.2, 0.3, 11.3f, 90, 70}}) {
    PixelMap pm = pixelMapFor(view);
    for (int trial = 0; trial < 200; trial++) {
      int32_t x0 = (int32_t)(view.originX + random() % 120) - 10, y0 = (int32_t)(view.originY + random() % 100) - 10;
      int32_t x1 = x0 + (int32_t)(random() % 60), y1 = y0 + (int32_t)(random() % 60);
      int lo, hi, bottom, top;
      if (!sureSpan((drawCoord(x0, pm.baseX) - pm.left) * pm.kx, (drawCoord(x1, pm.baseX) - pm.left) * pm.kx,
                    pm.sureMarginX, view.width, lo, hi) ||
          !sureSpan((drawCoord(y0, pm.baseY) - pm.bottom) * pm.ky, (drawCoord(y1, pm.baseY) - pm.bottom) * pm.ky,
                    pm.sureMarginY, view.height, bottom, top))
        continue;
      Mask m = covered(view, rectangle(x0, y0, x1, y1), 1);
      for (int i = 0; i < view.width * view.height; i++) {
        int x = i % view.width, y = i / view.width;
        ASSERT_EQ(m[i], x >= lo && x <= hi && y >= bottom && y <= top) << trial << " " << x << "," << y;
      }
    }
  }
}

// Shapes and views moved by the same whole amount give the same spans, up
// to both ends of the 32-bit range; a contour from corner to corner of the
// range covers the whole canvas.
TEST(PolygonCoverage, SameSpansFarFromZero) {
  Contours near;
  near.points = {{0, 0}, {50, 7}, {13, 40}, {30, -3}, {-2, 21}};
  near.close();
  const ViewTransform view{-0.75, -1.25, 1.7f, 64, 48};
  Mask expected = covered(view, near, 1);
  EXPECT_GT(std::count(expected.begin(), expected.end(), 1), 200);
  for (int64_t shift : {(int64_t)INT32_MAX - 50, (int64_t)INT32_MIN + 3}) {
    Contours far = near;
    for (FinePoint& p : far.points) p.x += shift, p.y += shift;
    ViewTransform moved = view;
    moved.originX += (double)shift, moved.originY += (double)shift;
    EXPECT_EQ(covered(moved, far, 1), expected) << shift;
  }
  Mask all = covered(view, rectangle(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), 1);
  EXPECT_EQ(all, Mask(all.size(), 1));
}
