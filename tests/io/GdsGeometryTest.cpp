// GDSII geometry: the cutters cover a shape's inside exactly, each unit once.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "io/GdsGeometry.h"

namespace {

// Unit cells of the boxes; a cell covered twice adds (1 << 30, 0).
std::set<std::pair<int64_t, int64_t>> covered(const std::vector<GdsBox>& boxes) {
  std::set<std::pair<int64_t, int64_t>> s;
  for (const GdsBox& b : boxes)
    for (int64_t x = b.x0; x < b.x1; x++) for (int64_t y = b.y0; y < b.y1; y++)
        if (!s.insert({x, y}).second) s.insert({1 << 30, 0});
  return s;
}

TEST(GdsGeometry, CuttersCoverExactlyTheInsideOrRefuse) {
  enum { POLYGON = -1, BOX = -2 };  // else the path type
  struct Case { int kind, width; std::vector<GdsPoint> points; std::vector<GdsBox> inside; } cases[] = {  // no inside: refused
    {POLYGON, 0, {{0, 0}, {9, 0}, {9, 7}, {6, 7}, {6, 3}, {3, 3}, {3, 7}, {0, 7}}, {{0, 0, 9, 3}, {0, 3, 3, 7}, {6, 3, 9, 7}}},
    {POLYGON, 0, {{0, 0}, {4, 0}, {4, 2}, {6, 2}, {6, 5}, {2, 5}, {2, 3}, {0, 3}, {0, 0}}, {{0, 0, 4, 2}, {0, 2, 6, 3}, {2, 3, 6, 5}}},
    {POLYGON, 0, {{0, 0}, {15, 0}, {15, 15}, {0, 15}, {0, 0}, {15, 0}, {15, 15}, {0, 15}, {0, 0}}, {{0, 0, 15, 15}}},  // wound twice
    {POLYGON, 0, {{0, 0}, {4, 0}, {0, 4}, {0, 0}}, {}}, {BOX, 0, {{-3, -2}, {5, -2}, {5, 4}, {-3, 4}, {-3, -2}}, {{-3, -2, 5, 4}}},
    {0, 4, {{0, 0}, {10, 0}}, {{0, -2, 10, 2}}}, {2, 2, {{0, 0}, {0, 8}}, {{-1, -1, 1, 9}}}, {0, 3, {{0, 0}, {4, 0}}, {}}, {1, 2, {{0, 0}, {4, 0}}, {}},
    {0, 2, {{0, 0}, {10, 0}, {10, 10}}, {{0, -1, 11, 1}, {9, 1, 11, 10}}},
    {2, 2, {{0, 0}, {0, 6}, {8, 6}, {8, 0}}, {{-1, -1, 1, 5}, {7, -1, 9, 5}, {-1, 5, 9, 7}}},
    {2, 4, {{10, 0}, {0, 0}, {0, -6}}, {{-2, -8, 2, -2}, {-2, -2, 12, 2}}},
  };
  for (const Case& c : cases) {
    std::vector<GdsBox> out(c.kind == BOX ? 1 : 0);
    const GdsPoint* p = c.points.data();
    const size_t n = c.points.size();
    const bool cut = c.kind == BOX ? rectangleOf(p, n, out[0]) : c.kind == POLYGON ? polygonRects(p, n, out) : pathRects(p, n, c.kind, c.width, out);
    EXPECT_TRUE(cut == !c.inside.empty() && (!cut || covered(out) == covered(c.inside))) << "case " << (&c - cases);
  }
}

}  // namespace
