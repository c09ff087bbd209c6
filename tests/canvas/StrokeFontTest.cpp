// The stroke font's glyph table and the placement of label strokes.
#include "canvas/StrokeFont.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>

namespace {

struct Extent {
  double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
};

// The extent of the letters' strokes, without the anchor cross (the last two).
Extent lettersOf(const std::vector<StrokeSegment>& s) {
  Extent e;
  for (size_t i = 0; i + 2 < s.size(); i++) {
    e.x0 = std::min({e.x0, s[i].x0, s[i].x1}), e.x1 = std::max({e.x1, s[i].x0, s[i].x1});
    e.y0 = std::min({e.y0, s[i].y0, s[i].y1}), e.y1 = std::max({e.y1, s[i].y0, s[i].y1});
  }
  return e;
}

}  // namespace

// Every printable character has its own strokes, each polyline at least two
// grid points within the glyph's box; anything else is the hollow box.
TEST(StrokeFont, GlyphsAreWellFormedAndDistinct) {
  std::set<std::string> seen;
  for (int c = 33; c < 127; c++) {
    std::string g = glyphStrokes((unsigned char)c);
    EXPECT_TRUE(seen.insert(g).second) << "same strokes as another: " << (char)c;
    size_t start = 0;
    do {
      size_t end = g.find(' ', start);
      std::string line = g.substr(start, end == std::string::npos ? std::string::npos : end - start);
      EXPECT_TRUE(line.size() >= 4 && line.size() % 2 == 0) << (char)c << " '" << line << "'";
      for (size_t i = 0; i + 1 < line.size(); i += 2) {
        EXPECT_TRUE(line[i] >= '0' && line[i] <= '0' + GLYPH_WIDTH) << (char)c;
        EXPECT_TRUE(line[i + 1] >= '1' && line[i + 1] <= '1' + GLYPH_DESCENT + GLYPH_CAP_HEIGHT) << (char)c;
      }
      start = end == std::string::npos ? end : end + 1;
    } while (start != std::string::npos);
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
      label.text = "HE", label.x = 100, label.y = -50, label.magnification = 2;
      label.presentation = (uint16_t)(h | v << 2);
      std::vector<StrokeSegment> s;
      labelStrokes(label, 1000, s);
      Extent e = lettersOf(s);
      double left = 100 - (h == JUSTIFY_CENTRE ? width / 2 : h == JUSTIFY_RIGHT ? width : 0);
      double low = -50 - (v == JUSTIFY_TOP ? 2000 : v == JUSTIFY_MIDDLE ? 1000 : 0);
      EXPECT_NEAR(e.x0, left, 1e-6) << h << v;
      EXPECT_NEAR(e.x1, left + width, 1e-6) << h << v;
      EXPECT_NEAR(e.y0, low, 1e-6) << h << v;
      EXPECT_NEAR(e.y1, low + 2000, 1e-6) << h << v;
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

  label.text.clear(), label.angle = 33, label.x = -7;
  s.clear();
  box = labelStrokes(label, 300, s);
  EXPECT_EQ(s.size(), 2u);  // the cross alone
  EXPECT_EQ(std::make_tuple(box.x, box.y, box.w, box.h), std::make_tuple(-127, -115, 240, 240));
}
