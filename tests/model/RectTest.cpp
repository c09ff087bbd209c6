#include "model/Rect.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct Span {
  int32_t x, y, w, h;
};

void expectRect(const Rect& r, Span s) {
  EXPECT_EQ(r.x, s.x);
  EXPECT_EQ(r.y, s.y);
  EXPECT_EQ(r.w, s.w);
  EXPECT_EQ(r.h, s.h);
}

Rect make(int32_t x, int32_t y, int32_t w, int32_t h) {
  Rect r;
  r.setRect(x, y, w, h);
  return r;
}

}  // namespace

TEST(Rect, NormalisingOperationsKeepTheCoveredSpan) {
  Rect r = make(10, 5, -4, 3);
  expectRect(r, {6, 5, 4, 3});
  expectRect(make(0, 0, -5, -7), {-5, -7, 5, 7});

  Rect s = make(1, 0, 1, 1);
  s.setSize(-3, 2);
  expectRect(s, {-2, 0, 3, 2});

  Rect t = make(10, 0, 3, 1);
  t.resizeBy(-5, 0);  // the edge at 13 - 5 ... keeps x + w at 10
  expectRect(t, {8, 0, 2, 1});
  t.resizeBy(0, 0);
  expectRect(t, {8, 0, 2, 1});
  t.resizeBy(-2, 0);
  expectRect(t, {8, 0, 0, 1});

  Rect u = make(0, 0, 1, 1);
  u.moveAndSize(10, 10, -4, 2);  // normalised against the moved corner
  expectRect(u, {6, 10, 4, 2});
}

TEST(Rect, CopyingSetSizeAndSetRectDoNotNormalise) {
  Rect negative;
  negative.w = -4;
  negative.h = 2;
  Rect r = make(0, 0, 1, 1);
  r.setSize(negative);
  EXPECT_EQ(r.w, -4);
  for (int px = -5; px <= 5; px++) EXPECT_EQ(r.contains(px, 1), 0);

  Rect selected = make(1, 2, 3, 4);
  selected.select();
  Rect copy;
  copy.setRect(selected);
  expectRect(copy, {1, 2, 3, 4});
  EXPECT_EQ(copy.isSelected(), 0);
}

TEST(Rect, IncludeTreatsOnlyAllZeroReceiverAsEmpty) {
  Rect empty;
  empty.include(10, 10, -4, 2);  // taken over, normalised
  expectRect(empty, {6, 10, 4, 2});

  Rect point;  // (0, 0) of size 0 counts as empty: replaced, not grown
  point.include(5, 5, 1, 1);
  expectRect(point, {5, 5, 1, 1});

  Rect r = make(10, 20, 100, 50);
  r.include(20, 30, 10, 10);  // inside: unchanged
  expectRect(r, {10, 20, 100, 50});
  r.include(0, 0, 0, 0);  // an empty layer's box still pulls to (0, 0)
  expectRect(r, {0, 0, 110, 70});

  Rect g = make(10, 10, 10, 10);
  g.include(15, 5, -3, 30);  // argument taken as is on a non-empty receiver
  expectRect(g, {10, 5, 10, 30});
  g.include(-5, 12, 40, 1);
  expectRect(g, {-5, 5, 40, 30});
}

TEST(Rect, ContainsIncludesEveryEdgeAndCorner) {
  Rect r = make(10, 20, 5, 3);
  struct Case {
    int32_t px, py;
    int inside;
    int edge;
  };
  const Case cases[] = {
    {10, 20, 1, 5},  {15, 20, 1, 17}, {10, 23, 1, 12}, {15, 23, 1, 24},
    {15, 21, 1, 16}, {12, 20, 1, 1},  {12, 23, 1, 8},  {10, 22, 1, 4},
    {12, 21, 1, 0},  {9, 21, 0, 0},   {16, 21, 0, 0},  {12, 19, 0, 0},
    {12, 24, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(r.contains(c.px, c.py), c.inside) << c.px << "," << c.py;
    EXPECT_EQ(r.edgeAt(c.px, c.py), c.edge) << c.px << "," << c.py;
  }
  Rect line = make(3, 0, 0, 10);
  EXPECT_EQ(line.contains(3, 5), 1);
  EXPECT_EQ(line.edgeAt(3, 5), 4);

  EXPECT_EQ(r.contains(make(10, 20, 5, 3)), 1);
  EXPECT_EQ(r.contains(make(15, 21, 0, 0)), 1);
  EXPECT_EQ(r.contains(make(14, 21, 2, 1)), 0);
}

TEST(Rect, ArithmeticWrapsAtTheLimits) {
  Rect r = make(INT32_MAX, INT32_MIN, 1, 1);
  r.moveBy(1, -1);
  EXPECT_EQ(r.x, INT32_MIN);
  EXPECT_EQ(r.y, INT32_MAX);

  Rect m = make(0, 0, 1, 1);
  m.setRect(5, 5, INT32_MIN, INT32_MIN);  // -INT32_MIN wraps to itself
  EXPECT_EQ(m.w, INT32_MIN);
  EXPECT_EQ(m.x, (int32_t)(5u - 0x80000000u));

  Rect edge = make(INT32_MAX - 1, 0, 1, 1);
  EXPECT_EQ(edge.contains(INT32_MAX, 0), 1);
  EXPECT_EQ(edge.edgeAt(INT32_MAX, 1), 16 | 8);
  Rect wrapped = make(INT32_MAX, 0, 1, 1);  // x + w wraps below x
  EXPECT_EQ(wrapped.contains(INT32_MAX, 0), 0);

  Rect big = make(INT32_MIN, INT32_MIN, 10, 10);
  big.include(INT32_MAX - 5, INT32_MAX - 5, 5, 5);
  EXPECT_EQ(big.x, INT32_MIN);
  EXPECT_EQ(big.w, -1);  // the true width overflows and wraps
}
