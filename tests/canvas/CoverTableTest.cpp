// The cover table against the items themselves: random cells of rectangles
// (some of no width or height) and other shapes, asked at random small
// zones, also between two whole units.
#include "canvas/CoverTable.h"

#include <gtest/gtest.h>

#include <random>

#include "canvas/CellScene.h"

namespace {

TEST(CoverTableTest, AnswersAsTheItemsDoOrLeavesThemToAnswer) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> pos(-20, 40), size(0, 25), pick(0, 9), zone(0, 2);
  for (int cell = 0; cell < 40; cell++) {
    std::vector<Box64> boxes;
    std::vector<uint8_t> slots;
    const uint32_t rects = 6 + cell % 20, drawn = cell % 3;
    for (uint32_t k = 0; k < rects + drawn; k++) {
      Box64 b;
      b.x0 = pos(rng), b.y0 = pos(rng), b.x1 = b.x0 + size(rng) / (k % 7 ? 1 : 9), b.y1 = b.y0 + size(rng);
      boxes.push_back(b), slots.push_back((uint8_t)(k % 5 == 0 ? 63 : pick(rng)));
    }
    CoverTable table;
    table.build(boxes, slots, rects);
    ASSERT_FALSE(table.empty());
    int answered = 0;
    for (int q = 0; q < 400; q++) {
      const int64_t u0 = pos(rng), u1 = u0 + zone(rng) - 1, v0 = pos(rng), v1 = v0 + zone(rng) - 1;
      uint64_t all, any, covered = 0, reached = 0;
      bool other = false;
      // Covered together: every half unit of the open zone in a rectangle of the slot.
      for (int s = 0; s < 64; s++) {
        bool whole = true;
        for (int64_t x2 = 2 * u0 - 1; x2 <= 2 * u1 + 1 && whole; x2++)
          for (int64_t y2 = 2 * v0 - 1; y2 <= 2 * v1 + 1 && whole; y2++) {
            bool in = false;
            for (uint32_t k = 0; k < rects && !in; k++)
              in = slots[k] == s && 2 * boxes[k].x0 <= x2 && 2 * boxes[k].x1 >= x2 && 2 * boxes[k].y0 <= y2 &&
                   2 * boxes[k].y1 >= y2;
            whole = in;
          }
        if (whole) covered |= 1ull << s;
      }
      for (uint32_t k = 0; k < rects + drawn; k++) {
        const Box64& b = boxes[k];
        if (!b.overlaps(u0, v0, u1, v1)) continue;
        if (k >= rects || b.x0 == b.x1 || b.y0 == b.y1) other = true;
        else reached |= 1ull << slots[k];
      }
      if (!table.lookup(u0, u1, v0, v1, all, any)) continue;
      answered++;
      EXPECT_FALSE(other) << "a shape drawn by its own code reaches " << u0 << "," << v0;
      EXPECT_EQ(all, covered) << u0 << ".." << u1 << ", " << v0 << ".." << v1;
      EXPECT_EQ(any, reached) << u0 << ".." << u1 << ", " << v0 << ".." << v1;
    }
    EXPECT_GT(answered, 100);
  }
}

}  // namespace
