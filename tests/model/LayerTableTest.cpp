#include "model/LayerTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
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

// A pair keeps its slot and reads back as its code; pair slots draw after
// the named ones by layer, then datatype; a map's name replaces "L/D".
TEST(LayerTable, PairSlotsAreHandedOutOnceAndDrawnInPairOrder) {
  const int b = pairSlot(7000, 20), a = pairSlot(7000, 3, "pin"), c = pairSlot(6999, 65535);
  EXPECT_TRUE(b >= FIRST_PAIR_SLOT && b == pairSlot(7000, 20) && c == layerSlotsInUse() - 1);
  EXPECT_TRUE(!std::strcmp("pin", layerFacts(a).name) && !std::strcmp("7000/3", layerToCode(a)));
  const std::vector<int> order = drawingOrder();
  auto place = [&order](int slot) { return std::find(order.begin(), order.end(), slot) - order.begin(); };
  EXPECT_TRUE(place(LAYER_LOCAL_INTERCONNECT) == LAYER_LOCAL_INTERCONNECT && place(c) < place(a) && place(a) < place(b));
  uint32_t layer = 0, datatype = 0;
  for (const char* bad : {"68/", "/16", "68/65536", "68/16 ", "68/1/2"}) EXPECT_FALSE(parsePairCode(bad, std::strlen(bad), layer, datatype));
  EXPECT_TRUE(parsePairCode("0/65535x", 7, layer, datatype) && layer == 0 && datatype == 65535);
}

// Fixed by the pair in every run, translucent, unlike named and neighbouring layers' colours.
TEST(LayerTable, PairColoursAreStableAndUnlikeOtherLayers) {
  EXPECT_EQ(0x5AF8569Du, pairColor(68, 16));
  std::set<uint32_t> named, seen;
  for (int i = 0; i < NAMED_LAYER_COUNT; i++) named.insert(layerFacts(i).color), seen.insert(layerFacts(i).color);
  for (uint32_t p = 0; p < 1000; p++) seen.insert(pairColor(60 + p / 50, p % 50));
  EXPECT_EQ(named.size() + 1000, seen.size());
}

// Beyond the capacity pairs land on the unknown slot, with one warning.
TEST(LayerTableDeathTest, PairsBeyondTheCapacityGoToTheUnknownSlot) {
  auto fill = [] {
    for (uint32_t d = 0; d < PAIR_SLOT_CAPACITY; d++) pairSlot(60000, d);
    std::exit(pairSlot(60001, 0) == LAYER_UNKNOWN && pairSlot(60001, 1) == LAYER_UNKNOWN && pairSlot(60000, 5) > 0 ? 0 : 1);
  };
  EXPECT_EXIT(fill(), testing::ExitedWithCode(0), "^kivo: more than 256 GDSII layer/datatype pairs; the rest go to the unknown layer\n$");
}
