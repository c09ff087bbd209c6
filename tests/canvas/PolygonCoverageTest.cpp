// Polygon coverage against a per-pixel point-in-polygon test, at edge ties,
// for rectangles against PixelMap, and far from coordinate 0.
#include "canvas/PolygonCoverage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>

#include "canvas/PixelMap.h"
#include "model/GroupNode.h"

namespace {

using Mask = std::vector<uint8_t>;

Mask maskOf(const std::vector<PixelSpan>& spans, int w, int h) {
  Mask m((size_t)w * h, 0);
  for (size_t i = 0; i < spans.size(); i++) {
    const PixelSpan& s = spans[i];
    EXPECT_TRUE(s.y >= 0 && s.y < h && s.x0 >= 0 && s.x0 <= s.x1 && s.x1 < w);
    if (i > 0) {
      EXPECT_TRUE(spans[i - 1].y < s.y || spans[i - 1].x1 + 1 < s.x0) << "spans out of order";
    }
    for (int x = s.x0; x <= s.x1; x++) m[(size_t)s.y * w + x]++;
  }
  return m;
}

Mask covered(const ViewTransform& view, const Contours& c, int units) {
  std::vector<PixelSpan> spans;
  PolygonCoverage(view).cover(c, units, spans);
  return maskOf(spans, view.width, view.height);
}

// Each centre on its own: non-zero winding at a point just right of (and
// above) the centre, from the window positions in double, exact for the
// dyadic views used here.
Mask bruteForce(const ViewTransform& view, const Contours& c, int units) {
  Mask m((size_t)view.width * view.height, 0);
  for (int j = 0; j < view.height; j++)
    for (int k = 0; k < view.width; k++) {
      double cx = k + 0.5, cy = j + 0.5;
      int winding = 0;
      size_t first = 0;
      for (uint32_t n : c.sizes) {
        for (uint32_t i = 0; i < n; i++) {
          const FinePoint& a = c.points[first + i];
          const FinePoint& b = c.points[first + (i + 1) % n];
          double ax = ((double)a.x / units - view.originX) * view.scale, ay = ((double)a.y / units - view.originY) * view.scale;
          double bx = ((double)b.x / units - view.originX) * view.scale, by = ((double)b.y / units - view.originY) * view.scale;
          if (ay == by) continue;
          bool up = by > ay;
          double lx = up ? ax : bx, ly = up ? ay : by, hx = up ? bx : ax, hy = up ? by : ay;
          if (!(ly <= cy && cy < hy)) continue;
          if ((hx - lx) * (cy - ly) - (hy - ly) * (cx - lx) <= 0) winding += up ? 1 : -1;
        }
        first += n;
      }
      m[(size_t)j * view.width + k] = winding != 0;
    }
  return m;
}

Contours rectangle(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  Contours c;
  c.points = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  c.close();
  return c;
}

}  // namespace

// Random contours of any angle, crossing themselves and each other, with
// many vertices and edges exactly on pixel centres, in several views.
TEST(PolygonCoverage, MatchesPointInPolygonEverywhere) {
  const ViewTransform views[] = {{0.5, 0.5, 1, 40, 30},   {-3.25, 2, 0.5f, 37, 29}, {10, -4, 3, 40, 30},
                                 {0, 0, 0.25f, 33, 41},   {1.5, 1.5, 2, 40, 30}};
  std::mt19937 random(7);
  for (const ViewTransform& view : views)
    for (int units = 1; units <= 2; units++)
      for (int trial = 0; trial < 60; trial++) {
        Contours c;
        int contours = 1 + trial % 3;
        double spanX = view.width / view.scale, spanY = view.height / view.scale;
        for (int k = 0; k < contours; k++) {
          int n = 3 + (int)(random() % 7);
          for (int i = 0; i < n; i++) {
            double fx = (random() % 1000) / 1000.0 * 1.4 - 0.2, fy = (random() % 1000) / 1000.0 * 1.4 - 0.2;
            c.points.push_back({(int64_t)std::floor((view.originX + fx * spanX) * units),
                                (int64_t)std::floor((view.originY + fy * spanY) * units)});
          }
          c.close();
        }
        ASSERT_EQ(covered(view, c, units), bruteForce(view, c, units)) << view.originX << " trial " << trial;
      }
}

// A rectangle's contour takes the left and bottom edges' centres and not
// the right and top ones', and agrees with every pixel PixelMap is sure of.
TEST(PolygonCoverage, RectanglesCoverTheirOwnPixels) {
  const ViewTransform tie{-0.5, -0.5, 1, 20, 20};  // pixel k centred on unit k
  Mask m = covered(tie, rectangle(2, 3, 5, 4), 1);
  for (int y = 0; y < 20; y++)
    for (int x = 0; x < 20; x++) EXPECT_EQ(m[y * 20 + x], x >= 2 && x < 5 && y == 3) << x << "," << y;
  Mask left = covered(tie, rectangle(0, 0, 5, 9), 1), right = covered(tie, rectangle(5, 0, 9, 9), 1);
  for (size_t i = 0; i < left.size(); i++) EXPECT_LE(left[i] + right[i], 1) << "shared edge taken twice";

  std::mt19937 random(11);
  const ViewTransform views[] = {{3.3, -7.1, 0.7071f, 90, 70}, {-100.01, 5.5, 1.414f, 90, 70}, {0.2, 0.3, 11.3f, 90, 70}};
  for (const ViewTransform& view : views) {
    PixelMap pm = pixelMapFor(view);
    for (int trial = 0; trial < 200; trial++) {
      int32_t left = (int32_t)(view.originX + random() % 120) - 10, low = (int32_t)(view.originY + random() % 100) - 10;
      ObjectCorners k{left, low, left + (int32_t)(random() % 60), low + (int32_t)(random() % 60)};
      double ax = (drawCoord(k.left(), pm.baseX) - pm.left) * pm.kx, bx = (drawCoord(k.right(), pm.baseX) - pm.left) * pm.kx;
      double ay = (drawCoord(k.low(), pm.baseY) - pm.bottom) * pm.ky, by = (drawCoord(k.high(), pm.baseY) - pm.bottom) * pm.ky;
      int x0, x1, y0, y1;
      if (!sureSpan(ax, bx, pm.sureMarginX, view.width, x0, x1) || !sureSpan(ay, by, pm.sureMarginY, view.height, y0, y1))
        continue;
      Mask m = covered(view, rectangle(k.left(), k.low(), k.right(), k.high()), 1);
      for (int y = 0; y < view.height; y++)
        for (int x = 0; x < view.width; x++)
          ASSERT_EQ(m[y * view.width + x], x >= x0 && x <= x1 && y >= y0 && y <= y1) << trial << " " << x << "," << y;
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
