#include "model/LayerTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

// The rules around the table, not its entries: a code is read by its first
// two characters, case-sensitively; each slot's code reads back as the slot.
TEST(LayerTable, CodesAreReadByTheirFirstTwoCharactersAndReadBack) {
  const std::pair<const char*, int> reads[] = {{"M6xyz", 10}, {"nw", 0}, {" NW", 0}, {"N", 0}, {"", 0}, {"NULL!", 0}};
  for (const auto& r : reads) EXPECT_EQ(r.second, codeToLayer(r.first)) << r.first;
  for (int i = 0; i < NAMED_LAYER_COUNT; i++) EXPECT_EQ(i, codeToLayer(layerToCode(i))) << i;
  EXPECT_STREQ("UNKNOWN", layerToCode(LAYER_COUNT));
  EXPECT_STREQ("UNKNOWN", layerToCode(-1));
}

// A pair keeps its slot; the slots draw after the named ones by layer, then
// datatype; codes read back; a map's name replaces the default.
TEST(LayerTable, PairSlotsAreHandedOutOnceAndDrawnInPairOrder) {
  const int b = pairSlot(7000, 20), a = pairSlot(7000, 3), c = pairSlot(6999, 65535);
  EXPECT_GE(b, (int)FIRST_PAIR_SLOT);
  EXPECT_EQ(b, pairSlot(7000, 20));
  EXPECT_EQ(layerSlotsInUse() - 1, c);
  EXPECT_STREQ("7000/3", layerToCode(a));
  EXPECT_STREQ("7000/3", layerFacts(a).name);
  EXPECT_EQ(a, pairSlot(7000, 3, "pin"));
  EXPECT_STREQ("pin", layerFacts(a).name);
  uint32_t layer = 0, datatype = 0;
  EXPECT_TRUE(pairOfSlot(c, layer, datatype) && layer == 6999 && datatype == 65535);
  EXPECT_FALSE(pairOfSlot(LAYER_METAL1, layer, datatype) || pairOfSlot(layerSlotsInUse(), layer, datatype));
  const std::vector<int> order = drawingOrder();
  for (int i = 0; i < NAMED_LAYER_COUNT; i++) EXPECT_EQ(i, order[i]);
  auto place = [&order](int slot) { return std::find(order.begin(), order.end(), slot) - order.begin(); };
  EXPECT_LT(place(c), place(a));
  EXPECT_LT(place(a), place(b));
  EXPECT_EQ(layerSlotsInUse(), (int)order.size());
}

TEST(LayerTable, PairCodesAreTwoDecimalsUpTo65535) {
  uint32_t layer = 0, datatype = 0;
  EXPECT_TRUE(parsePairCode("68/16", 5, layer, datatype) && layer == 68 && datatype == 16);
  EXPECT_TRUE(parsePairCode("0/65535", 7, layer, datatype) && layer == 0 && datatype == 65535);
  for (const char* bad : {"68/", "/16", "68/65536", "68-16", "68/16 ", "a/1", "68/1/2", ""})
    EXPECT_FALSE(parsePairCode(bad, std::strlen(bad), layer, datatype)) << bad;
  EXPECT_FALSE(parsePairCode("68/16", 3, layer, datatype));  // only n characters count
}

// The colour is a fixed function of the pair, never a named layer's, and
// neighbouring pairs differ.
TEST(LayerTable, PairColoursAreStableTranslucentAndUnlikeNamedOnes) {
  EXPECT_EQ(0xAAu, pairColor(68, 16) >> 24);
  EXPECT_EQ(pairColor(68, 16), layerFacts(pairSlot(68, 16)).color);
  std::set<uint32_t> seen;
  for (int i = 0; i < NAMED_LAYER_COUNT; i++) seen.insert(layerFacts(i).color);
  const size_t named = seen.size();
  for (uint32_t l = 60; l < 80; l++)
    for (uint32_t d = 0; d < 50; d++) seen.insert(pairColor(l, d));
  EXPECT_EQ(named + 20 * 50, seen.size());
}
