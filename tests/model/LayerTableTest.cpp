#include "model/LayerTable.h"

#include <gtest/gtest.h>

#include "model/Layer.h"

TEST(LayerTable, CodesMapBothWays) {
  struct Case {
    const char* code;
    int index;
  };
  const Case reads[] = {
    {"NW", 1}, {"DN", 2}, {"DP", 3}, {"PO", 4}, {"ME", 5}, {"M2", 6}, {"M3", 7},
    {"M4", 8}, {"M5", 9}, {"M6", 10}, {"CO", 11}, {"VI", 11}, {"OP", 12}, {"LC", 13},
    {"PA", 13}, {"M6xyz", 10}, {"M1", 0}, {"m2", 0}, {"op", 0}, {"nw", 0}, {"NULL!", 0},
    {"UNKNOWN", 0}, {"N", 0}, {"", 0}, {" NW", 0},
  };
  for (const Case& c : reads) EXPECT_EQ(codeToLayer(c.code), c.index) << c.code;
  for (int i = 0; i < LAYER_COUNT; i++) EXPECT_EQ(codeToLayer(layerToCode(i)), i) << i;
  EXPECT_STREQ(layerToCode(0), "NULL!");
  EXPECT_STREQ(layerToCode(5), "ME");
  EXPECT_STREQ(layerToCode(14), "UNKNOWN");
  EXPECT_STREQ(layerToCode(-1), "UNKNOWN");
}
