#include "model/DisplayUnits.h"

#include <gtest/gtest.h>

TEST(DisplayUnitsTest, FormatsAndParsesBothUnits) {
  DisplayUnits dbu = DisplayUnits::forLayout(false, 1e-9);
  EXPECT_EQ("-12500", dbu.format(-12500));
  int64_t v = 0;
  EXPECT_TRUE(dbu.parse(" -42 ", v));
  EXPECT_EQ(-42, v);
  EXPECT_FALSE(dbu.parse("1.5", v));  // database units are whole
  EXPECT_FALSE(dbu.parse("2147483648", v));

  DisplayUnits um = DisplayUnits::forLayout(true, 1e-9);
  EXPECT_EQ("12.5", um.format(12500));
  EXPECT_EQ("0.005", um.format(5));
  EXPECT_EQ("-3", um.format(-3000));
  EXPECT_TRUE(um.parse("0.46", v));
  EXPECT_EQ(460, v);
  EXPECT_TRUE(um.parse("-2147483.648", v));
  EXPECT_EQ(INT32_MIN, v);
  EXPECT_FALSE(um.parse("2147483.648", v));
  EXPECT_FALSE(um.parse("1e3", v));
  EXPECT_FALSE(um.parse("", v));
  EXPECT_FALSE(um.parse(".", v));

  DisplayUnits tenth = DisplayUnits::forLayout(true, 1e-7);  // 0.1 um per unit
  EXPECT_EQ("0.3", tenth.format(3));
}
