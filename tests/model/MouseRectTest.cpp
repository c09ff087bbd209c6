#include "model/MouseRect.h"

#include <gtest/gtest.h>

#include <array>

namespace {

using State = std::array<int32_t, 8>;

// The band, then the left and right state words and the pointer.
State state(const MouseRect& m) {
  return {m.getX(), m.getY(), m.getW(), m.getH(), m.leftState, m.rightState, m.getCurX(), m.getCurY()};
}

}  // namespace

TEST(MouseRect, LeftDragStretchesANormalisedBand) {
  MouseRect m;
  m.leftPress(10, 10);
  EXPECT_EQ(state(m), (State{10, 10, 0, 0, 1, 0, 10, 10}));
  m.track(4, 20);
  EXPECT_EQ(state(m), (State{4, 10, 6, 10, 1, 0, 4, 20}));
  m.leftRelease(12, 8);
  m.track(50, 50);  // no drag: the band stays, the point follows
  EXPECT_EQ(state(m), (State{10, 8, 2, 2, 0, 0, 50, 50}));
}

TEST(MouseRect, PressDuringTheOtherButtonsDragIsRefused) {
  MouseRect m;
  m.rightPress(0, 0);
  m.leftPress(5, 5);
  EXPECT_EQ(state(m), (State{0, 0, 0, 0, -1, 1, 5, 5}));
  m.track(3, 4);  // the right drag goes on
  EXPECT_EQ(state(m), (State{0, 0, 3, 4, -1, 1, 3, 4}));
  m.leftRelease(9, 9);  // a refused release leaves the band
  EXPECT_EQ(state(m), (State{0, 0, 3, 4, 0, 1, 9, 9}));
  m.rightRelease(6, 6);
  m.rightRelease(1, 1);  // a release without a press sets nothing but the point
  EXPECT_EQ(state(m), (State{0, 0, 6, 6, 0, 0, 1, 1}));
}
