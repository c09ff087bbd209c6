// Path outlines: ends, corners, odd and negative widths, symmetry and reach.
#include "model/PathOutline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

struct Box64 {
  int64_t x0, y0, x1, y1;
};

Box64 boundsOf(const Contours& c) {
  Box64 b{INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN};
  for (const FinePoint& p : c.points)
    b = {std::min(b.x0, p.x), std::min(b.y0, p.y), std::max(b.x1, p.x), std::max(b.y1, p.y)};
  return b;
}

// Non-zero winding of all contours around (x, y), in half units.
bool covers(const Contours& c, double x, double y) {
  int winding = 0;
  size_t first = 0;
  for (uint32_t n : c.sizes) {
    for (size_t i = 0; i < n; i++) {
      const FinePoint& a = c.points[first + i];
      const FinePoint& b = c.points[first + (i + 1) % n];
      if ((a.y <= y) != (b.y <= y)) {
        double cx = a.x + (y - a.y) * (double)(b.x - a.x) / (double)(b.y - a.y);
        if (cx > x) winding += b.y > a.y ? 1 : -1;
      }
    }
    first += n;
  }
  return winding != 0;
}

PathOutline outline(std::vector<Point> points, int32_t width, int type, int32_t begin = 0, int32_t end = 0) {
  PathOutline out;
  pathOutline(points.data(), points.size(), width, type, begin, end, out);
  return out;
}

}  // namespace

// Straight axis paths are exact rectangles in half units, whatever the
// direction, the sign of the width or its parity, with each kind of end.
TEST(PathOutline, StraightPathsCoverTheirExactRectangle) {
  struct Case { std::vector<Point> points; int32_t width; int type, begin, end; Box64 bounds; };
  const Case cases[] = {
      {{{0, 0}, {10, 0}}, 4, ENDS_FLUSH, 0, 0, {0, -4, 20, 4}},
      {{{10, 0}, {0, 0}}, -4, ENDS_FLUSH, 0, 0, {0, -4, 20, 4}},
      {{{0, 0}, {10, 0}}, 3, ENDS_HALF_WIDTH, 0, 0, {-3, -3, 23, 3}},
      {{{0, 0}, {0, 10}}, 4, ENDS_CUSTOM, 3, -1, {-4, -6, 4, 18}},
      {{{0, 0}, {0, 10}}, 4, 3, 5, 5, {-4, 0, 4, 20}},  // unknown type: flush
      {{{5, 5}}, 2, ENDS_HALF_WIDTH, 0, 0, {8, 8, 12, 12}},
  };
  for (const Case& c : cases) {
    PathOutline out = outline(c.points, c.width, c.type, c.begin, c.end);
    ASSERT_EQ(out.polygons.sizes, std::vector<uint32_t>{4});
    Box64 b = boundsOf(out.polygons);
    EXPECT_EQ(std::make_tuple(b.x0, b.y0, b.x1, b.y1), std::make_tuple(c.bounds.x0, c.bounds.y0, c.bounds.x1, c.bounds.y1));
  }
  EXPECT_TRUE(outline({{0, 0}, {3, 0}}, 4, ENDS_CUSTOM, -2, -2).polygons.empty());
  EXPECT_TRUE(outline({{1, 1}, {1, 1}}, 4, ENDS_FLUSH).polygons.empty());
}

// A right-angle turn gets a square outer corner; a hairpin's mitre is cut at
// MITRE_LIMIT half-widths instead of reaching far out.
TEST(PathOutline, CornersAreMitredUpToTheLimit) {
  PathOutline l = outline({{0, 0}, {10, 0}, {10, 10}}, 4, ENDS_FLUSH);
  EXPECT_TRUE(covers(l.polygons, 23.9, -3.9));  // outer corner at (24, -4)
  EXPECT_FALSE(covers(l.polygons, 24.1, -3.9));
  EXPECT_FALSE(covers(l.polygons, 15.9, 4.1));  // the inner side is no wider
  PathOutline hairpin = outline({{0, 0}, {10, 0}, {0, 1}}, 4, ENDS_FLUSH);
  Box64 b = boundsOf(hairpin.polygons);
  EXPECT_LE(b.x1, 20 + (int64_t)std::ceil(MITRE_LIMIT * 4) + 1);
  EXPECT_GE(b.x1, 20 + 4);
  EXPECT_TRUE(covers(hairpin.polygons, 21, 0));
}

// Round ends are half discs of ROUND_END_SEGMENTS pieces on the circle,
// mirror images of each other across the centre line for axis and 45-degree
// paths, and a single point gives a whole disc.
TEST(PathOutline, RoundEndsAreSymmetricArcs) {
  const Point directions[] = {{1, 0}, {0, 1}, {-1, 0}, {1, 1}, {-1, 1}, {1, -1}};
  for (const Point& d : directions) {
    PathOutline out = outline({{0, 0}, {d.x * 40, d.y * 40}}, 7, ENDS_ROUND);
    ASSERT_EQ(out.polygons.sizes.size(), 3u);
    size_t start = out.polygons.sizes[0];
    for (int cap = 0; cap < 2; cap++) {
      const FinePoint* p = &out.polygons.points[start];
      ASSERT_EQ(out.polygons.sizes[1 + cap], (uint32_t)ROUND_END_SEGMENTS + 1);
      FinePoint centre = cap == 0 ? FinePoint{0, 0} : FinePoint{d.x * 80, d.y * 80};
      for (int i = 0; i <= ROUND_END_SEGMENTS; i++) {
        double r = std::hypot((double)(p[i].x - centre.x), (double)(p[i].y - centre.y));
        EXPECT_NEAR(r, 7.0, 0.75);
        // Mirror across the centre line through centre, along d.
        int64_t rx = p[i].x - centre.x, ry = p[i].y - centre.y;
        FinePoint m = d.x == 0 ? FinePoint{-rx, ry} : d.y == 0 ? FinePoint{rx, -ry}
                      : d.x == d.y ? FinePoint{ry, rx} : FinePoint{-ry, -rx};
        const FinePoint& q = p[ROUND_END_SEGMENTS - i];
        EXPECT_EQ(std::make_pair(m.x, m.y), std::make_pair(q.x - centre.x, q.y - centre.y)) << d.x << "," << d.y;
      }
      start += ROUND_END_SEGMENTS + 1;
    }
  }
  PathOutline dot = outline({{3, 3}}, 2, ENDS_ROUND);
  EXPECT_TRUE(covers(dot.polygons, 6, 7.9) && covers(dot.polygons, 6, 4.1) && covers(dot.polygons, 4.1, 6));
  EXPECT_FALSE(covers(dot.polygons, 7.5, 7.5));
}

// Zero width gives the centre line without repeats; paths at the edge of
// the 32-bit range reach past it instead of wrapping.
TEST(PathOutline, ZeroWidthAndRangeEdges) {
  PathOutline line = outline({{1, 2}, {1, 2}, {5, 2}, {5, 9}}, 0, ENDS_ROUND);
  EXPECT_TRUE(line.polygons.empty());
  EXPECT_EQ(line.centreLine, (std::vector<FinePoint>{{2, 4}, {10, 4}, {10, 18}}));
  PathOutline edge = outline({{INT32_MAX - 1, INT32_MIN}, {INT32_MAX, INT32_MIN}}, INT32_MIN, ENDS_HALF_WIDTH);
  Box64 b = boundsOf(edge.polygons);
  EXPECT_EQ(b.x1, 2 * (int64_t)INT32_MAX + 2147483648LL);
  EXPECT_EQ(b.y0, 2 * (int64_t)INT32_MIN - 2147483648LL);
}
