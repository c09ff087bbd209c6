// Layer map files: pairs, line ends, the bad line, and what may be read.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "io/LayerMap.h"
#include "support/GuiTest.h"

namespace {

TEST(LayerMap, ReadsPairsAndNamesTheBadLine) {
  struct Case { std::string text, error; uint32_t layer, datatype; int slot; } cases[] = {
    {"", "", 5, 0, pairSlot(5, 0)}, {"68/20 ME  # met1\n68 M2\n\n", "", 68, 20, LAYER_METAL1},
    {"68/20 ME\n68 M2\n", "", 68, 5, 6}, {"68 M2\n68/20 ME\n", "", 68, 20, LAYER_METAL1},
    {"\xEF\xBB\xBF" "68/20 ME\r\r68 M2\r", "", 68, 5, 6}, {"\xEF\xBB\xBF# a\r1 NW\r\r5 ZZ\r\n", "line 4: \"ZZ\"", 0, 0, 0},
    {"# header\n68 ZZ\n", "line 2: \"ZZ\" is not a layer code", 0, 0, 0}, {"1 NW\n\n68/x ME\n", "line 3: \"68/x\"", 0, 0, 0},
    {"65536 ME\n", "line 1: \"65536\"", 0, 0, 0}, {"5 ME extra\n", "line 1: expected", 0, 0, 0},
    {"5 ME\n5 PO\n", "line 2: \"5\" is mapped twice", 0, 0, 0},
  };
  std::string error;
  for (const Case& c : cases) {
    LayerMap map;
    const bool bad = !c.error.empty();
    EXPECT_TRUE(map.parse(c.text, error) == !bad && error.find(c.error) == 0 &&
                map.slotOf(bad ? 3 : c.layer, c.datatype) == (bad ? 3 : c.slot)) << c.text << " -> " << error;
  }
}

// A name line gives its pair a slot of its own, before a line for the
// whole layer; the pair slot's pair is written back.
TEST(LayerMap, NameLinesGivePairsTheirOwnNamedSlot) {
  LayerMap map;
  std::string error;
  ASSERT_TRUE(map.parse("71 M4\n71/16 - \"met4 # pin\"  # comment\n", error)) << error;
  uint32_t layer = 0, datatype = 0;
  map.pairOf(map.slotOf(71, 16), layer, datatype);
  EXPECT_TRUE(layer == 71 && datatype == 16 && map.slotOf(71, 16) == pairSlot(71, 16) && map.slotOf(71, 5) == codeToLayer("M4"));
  EXPECT_STREQ("met4 # pin", layerFacts(pairSlot(71, 16)).name);
  for (const char* bad : {"72 - \"x\"\n", "72/1 ME \"x\"\n", "72/1 - \"x\n", "72/1 ME\n72/1 - \"x\"\n", "72/1 - \"x\"\n72/1 M2\n"})
    EXPECT_FALSE(map.parse(bad, error)) << bad;
  EXPECT_EQ("line 2: \"72/1\" is mapped twice", error);
}

TEST(LayerMap, LoadsRegularFilesOnly) {
  LayerMap sample;  // the map shipped with Kivo
  uint32_t layer = 0, datatype = 0;
  std::string error;
  EXPECT_TRUE(loadLayerMap((std::string(getenv("KIVO_SOURCE_DIR")) + "/layermaps/sky130.map").c_str(), sample, error)) << error;
  const std::string fifo = kivotest::tempDir() + "/map.fifo";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  for (const std::string& path : {fifo, std::string("/dev/zero"), kivotest::tempDir()}) {
    EXPECT_FALSE(loadLayerMap(path.c_str(), sample, error)) << path;
    EXPECT_EQ(path + ": not a regular file", error);
  }
  sample.pairOf(LAYER_METAL1, layer, datatype);  // read, and kept through the refusals
  EXPECT_EQ(68u * 1000 + 20, layer * 1000 + datatype);
}

}  // namespace
