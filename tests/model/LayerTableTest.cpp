#include "model/LayerTable.h"

#include <gtest/gtest.h>

// The rules around the table, not its entries: a code is read by its first
// two characters, case-sensitively; each slot's code reads back as the slot.
TEST(LayerTable, CodesAreReadByTheirFirstTwoCharactersAndReadBack) {
  const std::pair<const char*, int> reads[] = {{"M6xyz", 10}, {"nw", 0}, {" NW", 0}, {"N", 0}, {"", 0}, {"NULL!", 0}};
  for (const auto& r : reads) EXPECT_EQ(r.second, codeToLayer(r.first)) << r.first;
  for (int i = 0; i < LAYER_COUNT; i++) EXPECT_EQ(i, codeToLayer(layerToCode(i))) << i;
  EXPECT_STREQ("UNKNOWN", layerToCode(LAYER_COUNT));
  EXPECT_STREQ("UNKNOWN", layerToCode(-1));
}
