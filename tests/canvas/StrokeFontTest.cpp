// The stroke font's glyph table and the placement of label strokes.
#include "canvas/StrokeFont.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>

namespace {

// The extent (x0, y0, x1, y1) of the letters' strokes, without the anchor
// cross (the last two).
std::vector<double> lettersOf(const std::vector<StrokeSegment>& s) {
  std::vector<double> e{1e300, 1e300, -1e300, -1e300};
  for (size_t i = 0; i + 2 < s.size(); i++)
    e = {std::min({e[0], s[i].x0, s[i].x1}), std::min({e[1], s[i].y0, s[i].y1}), std::max({e[2], s[i].x0, s[i].x1}),
         std::max({e[3], s[i].y0, s[i].y1})};
  return e;
}

}  // namespace

// Every printable character has its own strokes, each polyline at least two
// grid points within the glyph's box; anything else is the hollow box.
TEST(StrokeFont, GlyphsAreWellFormedAndDistinct) {
  std::set<std::string> seen;
  for (int c = 33; c < 127; c++) {
    std::string g = glyphStrokes((unsigned char)c) + std::string(" ");
    EXPECT_TRUE(seen.insert(g).second) << "same strokes as another: " << (char)c;
    for (size_t start = 0, end; (end = g.find(' ', start)) != std::string::npos; start = end + 1) {
      EXPECT_TRUE(end - start >= 4 && (end - start) % 2 == 0) << (char)c << " '" << g << "'";
      for (size_t i = start; i + 1 < end; i += 2)
        EXPECT_TRUE(g[i] >= '0' && g[i] <= '0' + GLYPH_WIDTH && g[i + 1] >= '1' &&
                    g[i + 1] <= '1' + GLYPH_DESCENT + GLYPH_CAP_HEIGHT) << (char)c;
    }
  }
  EXPECT_STREQ(glyphStrokes(' '), "");
  EXPECT_STREQ(glyphStrokes('\n'), glyphStrokes(0x80));
  EXPECT_STRNE(glyphStrokes(0x80), glyphStrokes('0'));
}

// The nine justifications put the capitals' box on the anchor as the
// PRESENTATION word says, MAG micrometres high.
TEST(StrokeFont, JustificationPlacesTheText) {
  const double step = 2000.0 / GLYPH_CAP_HEIGHT;  // MAG 2 at 1000 units a micrometre
  const double width = (2 * GLYPH_ADVANCE - (GLYPH_ADVANCE - GLYPH_WIDTH)) * step;
  for (int h = 0; h < 3; h++)
    for (int v = 0; v < 3; v++) {
      LabelText label;
      label.text = "HE", label.x = 100, label.y = -50, label.magnification = 2, label.presentation = (uint16_t)(h | v << 2);
      std::vector<StrokeSegment> s;
      labelStrokes(label, 1000, s);
      double left = 100 - (h == JUSTIFY_CENTRE ? width / 2 : h == JUSTIFY_RIGHT ? width : 0);
      double low = -50 - (v == JUSTIFY_TOP ? 2000 : v == JUSTIFY_MIDDLE ? 1000 : 0);
      std::vector<double> e = lettersOf(s), expected{left, low, left + width, low + 2000};
      for (int i = 0; i < 4; i++) EXPECT_NEAR(e[i], expected[i], 1e-6) << h << v << i;
    }
}

// Reflection comes before the rotation; quarter turns are exact; the box
// takes whole units outward and saturates at the edge of the range.
TEST(StrokeFont, ReflectRotateAndBound) {
  LabelText label;
  label.text = "L", label.x = INT32_MAX - 10, label.y = 5, label.magnification = 2, label.angle = 90;
  label.strans = STRANS_REFLECT, label.presentation = JUSTIFY_BOTTOM << 2;
  std::vector<StrokeSegment> s;
  Rect box = labelStrokes(label, 300, s);  // capitals 600 high, 100 a step
  ASSERT_EQ(s.size(), 4u);
  const double x = INT32_MAX - 10.0;
  // L: (0, 6) down to (0, 0), across to (4, 0); reflected and turned a
  // quarter, the stem runs along +x and the foot up +y.
  EXPECT_EQ(std::make_tuple(s[0].x0, s[0].y0, s[0].x1, s[0].y1), std::make_tuple(x + 600, 5.0, x, 5.0));
  EXPECT_EQ(std::make_tuple(s[1].x0, s[1].y0, s[1].x1, s[1].y1), std::make_tuple(x, 5.0, x, 405.0));
  EXPECT_EQ(std::make_tuple(box.x, box.y, box.w, box.h), std::make_tuple(INT32_MAX - 130, -115, 130, 520));

  label.text.clear(), label.angle = 33, label.x = -7, s.clear();
  box = labelStrokes(label, 300, s);  // the cross alone
  EXPECT_EQ(std::make_tuple(s.size(), box.x, box.y, box.w, box.h), std::make_tuple(2u, -127, -115, 240, 240));
}
