// The scale bar's round length and its label.
#include "canvas/ScaleBar.h"

#include <gtest/gtest.h>

TEST(ScaleBar, RoundLengthBetweenSixtyAndOneHundredFiftyPixels) {
  const DisplayUnits dbu, um = DisplayUnits::forLayout(true, 1e-9);
  const struct { double scale; const DisplayUnits& units; double pixels; const char* label; } cases[] = {
      {10, dbu, 100, "10 dbu"},      {0.6, dbu, 60, "100 dbu"},   {0.59, dbu, 118, "200 dbu"},
      {0.059, dbu, 118, "2000 dbu"}, {0.06, um, 60, "1 um"},      {0.05, um, 100, "2 um"},
      {0.025, um, 125, "5 um"},      {80, um, 80, "0.001 um"},    {0.00001, um, 100, "10000 um"},
  };
  for (const auto& c : cases) {
    const ScaleBar bar = scaleBarFor(c.scale, c.units);
    EXPECT_NEAR(c.pixels, bar.pixels, 1e-6) << c.label;
    EXPECT_EQ(c.label, bar.label);
    EXPECT_TRUE(bar.pixels >= SCALE_BAR_MIN_PIXELS - 1e-6 && bar.pixels <= SCALE_BAR_MAX_PIXELS) << c.label;
  }
}
