#include "model/MouseRect.h"

#include <gtest/gtest.h>

#include <array>

// After each press, motion or release: the band, the left and right state
// words and the pointer. A press while the other button drags is refused and
// leaves the band to that drag; without a drag the band stays put.
TEST(MouseRect, OneButtonAtATimeStretchesANormalisedBand) {
  using State = std::array<int32_t, 8>;
  struct Step { void (MouseRect::*event)(int32_t, int32_t); int32_t x, y; State after; };
  const Step steps[] = {
      {&MouseRect::leftPress, 10, 10, {10, 10, 0, 0, 1, 0, 10, 10}},
      {&MouseRect::track, 4, 20, {4, 10, 6, 10, 1, 0, 4, 20}},
      {&MouseRect::leftRelease, 12, 8, {10, 8, 2, 2, 0, 0, 12, 8}},
      {&MouseRect::track, 50, 50, {10, 8, 2, 2, 0, 0, 50, 50}},
      {&MouseRect::rightPress, 0, 0, {0, 0, 0, 0, 0, 1, 0, 0}},
      {&MouseRect::leftPress, 5, 5, {0, 0, 0, 0, -1, 1, 5, 5}},
      {&MouseRect::track, 3, 4, {0, 0, 3, 4, -1, 1, 3, 4}},
      {&MouseRect::leftRelease, 9, 9, {0, 0, 3, 4, 0, 1, 9, 9}},
      {&MouseRect::rightRelease, 6, 6, {0, 0, 6, 6, 0, 0, 6, 6}},
      {&MouseRect::rightRelease, 1, 1, {0, 0, 6, 6, 0, 0, 1, 1}},
  };
  MouseRect m;
  for (const Step& s : steps) {
    (m.*s.event)(s.x, s.y);
    State now{m.getX(), m.getY(), m.getW(), m.getH(), m.leftState, m.rightState, m.getCurX(), m.getCurY()};
    EXPECT_EQ(now, s.after) << &s - steps;
  }
}
