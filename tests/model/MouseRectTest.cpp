#include "model/MouseRect.h"

#include <gtest/gtest.h>

namespace {

void expectBand(const MouseRect& m, int32_t x, int32_t y, int32_t w, int32_t h) {
  EXPECT_EQ(m.getX(), x);
  EXPECT_EQ(m.getY(), y);
  EXPECT_EQ(m.getW(), w);
  EXPECT_EQ(m.getH(), h);
}

}  // namespace

TEST(MouseRect, LeftDragStretchesANormalisedBand) {
  MouseRect m;
  m.leftPress(10, 10);
  EXPECT_EQ(m.leftState, 1);
  expectBand(m, 10, 10, 0, 0);
  m.track(4, 20);
  expectBand(m, 4, 10, 6, 10);
  EXPECT_EQ(m.getCurX(), 4);
  m.leftRelease(12, 8);
  expectBand(m, 10, 8, 2, 2);
  EXPECT_EQ(m.leftState, 0);
  m.track(50, 50);  // no drag: the band stays, the point follows
  expectBand(m, 10, 8, 2, 2);
  EXPECT_EQ(m.getCurY(), 50);
}

TEST(MouseRect, PressDuringTheOtherButtonsDragIsRefused) {
  MouseRect m;
  m.rightPress(0, 0);
  m.leftPress(5, 5);
  EXPECT_EQ(m.leftState, -1);
  EXPECT_EQ(m.getCurX(), 5);
  m.track(3, 4);
  expectBand(m, 0, 0, 3, 4);  // the right drag goes on
  m.leftRelease(9, 9);        // a refused release leaves the band
  expectBand(m, 0, 0, 3, 4);
  EXPECT_EQ(m.leftState, 0);
  m.rightRelease(6, 6);
  expectBand(m, 0, 0, 6, 6);
  m.rightRelease(1, 1);  // a release without a press sets nothing
  expectBand(m, 0, 0, 6, 6);
  EXPECT_EQ(m.rightState, 0);
}
