// Path outlines: ends, corners, odd and negative widths, symmetry and reach.
#include "model/PathOutline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <random>
#include <tuple>

namespace {

using Bounds = std::tuple<int64_t, int64_t, int64_t, int64_t>;  // x0, y0, x1, y1

Bounds boundsOf(const Contours& c) {
  Bounds b{INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN};
  for (const FinePoint& p : c.points)
    b = {std::min(std::get<0>(b), p.x), std::min(std::get<1>(b), p.y), std::max(std::get<2>(b), p.x), std::max(std::get<3>(b), p.y)};
  return b;
}

// Whether the outline takes the point (half units), edges included.
bool covers(const PathOutline& o, int64_t x, int64_t y) { return containsPoint(o.polygons, {x, y}); }

PathOutline outline(std::vector<Point> points, int32_t width, int type, int32_t begin = 0, int32_t end = 0) {
  PathOutline out;
  pathOutline(points.data(), points.size(), width, type, begin, end, out);
  return out;
}

}  // namespace

// Straight axis paths are exact rectangles in half units, whatever the
// direction, the sign of the width or its parity, with each kind of end.
TEST(PathOutline, StraightPathsCoverTheirExactRectangle) {
  struct Case { std::vector<Point> points; int32_t width; int type, begin, end; Bounds bounds; };
  const Case cases[] = {
      {{{0, 0}, {10, 0}}, 4, ENDS_FLUSH, 0, 0, {0, -4, 20, 4}},   {{{10, 0}, {0, 0}}, -4, ENDS_FLUSH, 0, 0, {0, -4, 20, 4}},
      {{{0, 0}, {10, 0}}, 3, ENDS_HALF_WIDTH, 0, 0, {-3, -3, 23, 3}}, {{{0, 0}, {0, 10}}, 4, ENDS_CUSTOM, 3, -1, {-4, -6, 4, 18}},
      {{{0, 0}, {0, 10}}, 4, 3, 5, 5, {-4, 0, 4, 20}},  // unknown type: flush
      {{{5, 5}}, 2, ENDS_HALF_WIDTH, 0, 0, {8, 8, 12, 12}},
  };
  for (const Case& c : cases) {
    PathOutline out = outline(c.points, c.width, c.type, c.begin, c.end);
    ASSERT_EQ(out.polygons.sizes, std::vector<uint32_t>{4});
    EXPECT_EQ(boundsOf(out.polygons), c.bounds);
  }
  EXPECT_TRUE(outline({{0, 0}, {3, 0}}, 4, ENDS_CUSTOM, -2, -2).polygons.empty());
  EXPECT_TRUE(outline({{1, 1}, {1, 1}}, 4, ENDS_FLUSH).polygons.empty());
}

// A right-angle turn gets a square outer corner; a hairpin's mitre is cut at
// MITRE_LIMIT half-widths instead of reaching far out.
TEST(PathOutline, CornersAreMitredUpToTheLimit) {
  PathOutline l = outline({{0, 0}, {10, 0}, {10, 10}}, 4, ENDS_FLUSH);
  EXPECT_TRUE(covers(l, 24, -4) && covers(l, 16, 5));  // the outer corner; the inner side's edge
  EXPECT_FALSE(covers(l, 25, -4) || covers(l, 24, -5) || covers(l, 15, 5));
  PathOutline hairpin = outline({{0, 0}, {10, 0}, {0, 1}}, 4, ENDS_FLUSH);
  int64_t right = std::get<2>(boundsOf(hairpin.polygons));
  EXPECT_TRUE(right >= 24 && right <= 20 + (int64_t)std::ceil(MITRE_LIMIT * 4) + 1) << right;
  EXPECT_TRUE(covers(hairpin, 21, 0));
}

// Round ends are half discs of ROUND_END_SEGMENTS pieces on the circle,
// mirror images of each other across the centre line for axis and 45-degree
// paths, and a single point gives a whole disc.
TEST(PathOutline, RoundEndsAreSymmetricArcs) {
  for (Point d : {Point{1, 0}, Point{0, 1}, Point{-1, 0}, Point{1, 1}, Point{-1, 1}, Point{1, -1}}) {
    PathOutline out = outline({{0, 0}, {d.x * 40, d.y * 40}}, 7, ENDS_ROUND);
    ASSERT_EQ(out.polygons.sizes, (std::vector<uint32_t>{4, ROUND_END_SEGMENTS + 1, ROUND_END_SEGMENTS + 1}));
    for (int cap = 0; cap < 2; cap++) {
      const FinePoint* p = &out.polygons.points[4 + cap * (ROUND_END_SEGMENTS + 1)];
      int64_t cx = cap * d.x * 80, cy = cap * d.y * 80;
      int64_t beyond = (cap ? 1 : -1) * (d.x && d.y ? 4 : 6);  // 5.7 or 6 half units past the end
      EXPECT_TRUE(covers(out, cx + d.x * beyond, cy + d.y * beyond)) << d.x << "," << d.y;
      for (int i = 0; i <= ROUND_END_SEGMENTS; i++) {
        int64_t rx = p[i].x - cx, ry = p[i].y - cy;
        EXPECT_NEAR(std::hypot((double)rx, (double)ry), 7.0, 0.75);
        // Mirrored across the centre line, along d, it is the point opposite.
        FinePoint m = d.x == 0 ? FinePoint{-rx, ry} : d.y == 0 ? FinePoint{rx, -ry} : d.x == d.y ? FinePoint{ry, rx} : FinePoint{-ry, -rx};
        EXPECT_EQ(m, (FinePoint{p[ROUND_END_SEGMENTS - i].x - cx, p[ROUND_END_SEGMENTS - i].y - cy})) << d.x << "," << d.y;
      }
    }
  }
  PathOutline dot = outline({{3, 3}}, 2, ENDS_ROUND);
  EXPECT_TRUE(covers(dot, 6, 8) && covers(dot, 6, 4) && covers(dot, 4, 6) && covers(dot, 8, 6));
  EXPECT_FALSE(covers(dot, 8, 8) || covers(dot, 6, 9));
}

// Zero width gives the centre line without repeats; paths at the edge of
// the 32-bit range reach past it instead of wrapping.
TEST(PathOutline, ZeroWidthAndRangeEdges) {
  PathOutline line = outline({{1, 2}, {1, 2}, {5, 2}, {5, 9}}, 0, ENDS_ROUND);
  EXPECT_TRUE(line.polygons.empty());
  EXPECT_EQ(line.centreLine, (std::vector<FinePoint>{{2, 4}, {10, 4}, {10, 18}}));
  PathOutline edge = outline({{INT32_MAX - 1, INT32_MIN}, {INT32_MAX, INT32_MIN}}, INT32_MIN, ENDS_HALF_WIDTH);
  Bounds b = boundsOf(edge.polygons);
  EXPECT_EQ(std::get<2>(b), 2 * (int64_t)INT32_MAX + 2147483648LL);
  EXPECT_EQ(std::get<1>(b), 2 * (int64_t)INT32_MIN - 2147483648LL);
}

// Any path, anywhere in the range, with any width and ends: every outline
// point lies near a centre-line point (a cut mitre reaches furthest), and
// the sanitizers see no overflow on the way.
TEST(PathOutline, RandomPathsStayNearTheirCentreLine) {
  std::mt19937 random(3);
  for (int trial = 0; trial < 2000; trial++) {
    int32_t span = trial % 2 ? INT32_MAX : 50, width = trial % 7 ? (int32_t)random() % 40 : INT32_MIN;
    std::vector<Point> line(1 + random() % 6);
    for (Point& p : line) p = {(int32_t)(random() % ((uint32_t)span + 1)) - span / 2 * (trial % 3 ? 1 : 0), (int32_t)random()};
    int32_t begin = (int32_t)(random() % 41) - 20, end = (int32_t)(random() % 41) - 20;
    PathOutline out = outline(line, width, (int)(random() % 5), begin, end);
    double reach = 2 * (std::sqrt(1 + MITRE_LIMIT * MITRE_LIMIT) * std::fabs((double)width) / 2 + 20) + 2;
    for (const FinePoint& p : out.polygons.points) {
      double nearest = 1e300;
      for (const Point& q : line) nearest = std::min(nearest, std::hypot((double)p.x - 2.0 * q.x, (double)p.y - 2.0 * q.y));
      ASSERT_LE(nearest, reach) << trial;
    }
  }
}
