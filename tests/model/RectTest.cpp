#include "model/Rect.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>

namespace {

using Span = std::array<int32_t, 4>;

Span span(const Rect& r) { return {r.x, r.y, r.w, r.h}; }

Rect make(int32_t x, int32_t y, int32_t w, int32_t h) {
  Rect r;
  r.setRect(x, y, w, h);
  return r;
}

}  // namespace

// Normalising operations keep the covered span; copying a size or a
// rectangle takes it as it is, without the selection.
TEST(Rect, NormalisingOperationsKeepTheCoveredSpanCopiesDoNot) {
  EXPECT_EQ(span(make(0, 0, -5, -7)), (Span{-5, -7, 5, 7}));
  Rect s = make(1, 0, 1, 1);
  s.setSize(-3, 2);
  EXPECT_EQ(span(s), (Span{-2, 0, 3, 2}));
  Rect t = make(10, 0, 3, 1);
  t.resizeBy(-5, 0);  // the edge at 13 - 5 ... keeps x + w at 10
  EXPECT_EQ(span(t), (Span{8, 0, 2, 1}));
  Rect u = make(0, 0, 1, 1);
  u.moveAndSize(10, 10, -4, 2);  // normalised against the moved corner
  EXPECT_EQ(span(u), (Span{6, 10, 4, 2}));
  Rect negative = make(1, 2, 3, 4), copy;
  negative.w = -4;
  negative.select();
  u.setSize(negative);
  EXPECT_EQ(span(u), (Span{6, 10, -4, 4}));
  EXPECT_EQ(u.contains(5, 10), 0);
  copy.setRect(negative);
  EXPECT_EQ(span(copy), (Span{1, 2, -4, 4}));
  EXPECT_EQ(copy.isSelected(), 0);
}

// The argument is normalised only when an all-zero receiver takes it over.
TEST(Rect, IncludeTreatsOnlyAllZeroReceiverAsEmpty) {
  const Span cases[][3] = {  // receiver, argument, union
      {{0, 0, 0, 0}, {10, 10, -4, 2}, {6, 10, 4, 2}},
      {{10, 20, 100, 50}, {20, 30, 10, 10}, {10, 20, 100, 50}},
      {{10, 20, 100, 50}, {0, 0, 0, 0}, {0, 0, 110, 70}},  // an empty layer's box still pulls to (0, 0)
      {{10, 10, 10, 10}, {15, 5, -3, 30}, {10, 5, 10, 30}},
      {{10, 5, 10, 30}, {-5, 12, 40, 1}, {-5, 5, 40, 30}},
      {{INT32_MIN, INT32_MIN, 10, 10}, {INT32_MAX - 5, INT32_MAX - 5, 5, 5}, {INT32_MIN, INT32_MIN, -1, -1}},  // wraps
  };
  for (const auto& c : cases) {
    Rect r = make(c[0][0], c[0][1], c[0][2], c[0][3]);
    r.include(c[1][0], c[1][1], c[1][2], c[1][3]);
    EXPECT_EQ(span(r), c[2]) << c[1][0];
  }
}

TEST(Rect, ContainsIncludesEveryEdgeAndCorner) {
  Rect r = make(10, 20, 5, 3);
  struct Case { int32_t px, py; int inside, edge; };
  const Case cases[] = {
    {10, 20, 1, 5},  {15, 20, 1, 17}, {10, 23, 1, 12}, {15, 23, 1, 24}, {15, 21, 1, 16},  // corners, edges
    {12, 20, 1, 1},  {12, 23, 1, 8},  {10, 22, 1, 4},  {12, 21, 1, 0},                    // and inside
    {9, 21, 0, 0},   {16, 21, 0, 0},  {12, 19, 0, 0},  {12, 24, 0, 0},                    // one unit out
  };
  for (const Case& c : cases) {
    EXPECT_EQ(r.contains(c.px, c.py), c.inside) << c.px << "," << c.py;
    EXPECT_EQ(r.edgeAt(c.px, c.py), c.edge) << c.px << "," << c.py;
  }
  Rect line = make(3, 0, 0, 10);
  EXPECT_EQ(line.edgeAt(3, 5), 4);  // contained, and x takes precedence over x + w
  EXPECT_EQ(r.contains(make(10, 20, 5, 3)), 1);
  EXPECT_EQ(r.contains(make(14, 21, 2, 1)), 0);
}

TEST(Rect, ArithmeticWrapsAtTheLimits) {
  Rect r = make(INT32_MAX, INT32_MIN, 1, 1);
  r.moveBy(1, -1);
  EXPECT_EQ(span(r), (Span{INT32_MIN, INT32_MAX, 1, 1}));
  Rect m = make(5, 5, INT32_MIN, 1);  // -INT32_MIN wraps to itself
  EXPECT_EQ(span(m), (Span{(int32_t)(5u - 0x80000000u), 5, INT32_MIN, 1}));
  Rect edge = make(INT32_MAX - 1, 0, 1, 1);
  EXPECT_EQ(edge.contains(INT32_MAX, 0), 1);
  EXPECT_EQ(edge.edgeAt(INT32_MAX, 1), 16 | 8);
  EXPECT_EQ(make(INT32_MAX, 0, 1, 1).contains(INT32_MAX, 0), 0);  // x + w wraps below x
}
