#include "io/LayerProps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "model/Layer.h"
#include "model/LayerTable.h"
#include "support/GuiTest.h"

// Good lines read whatever their spacing; each malformed one is named by
// its number; what is written reads back to the same bytes.
TEST(LayerProps, LinesReadBackAndMalformedOnesAreNamed) {
  const std::string text =
      "# comment\n"
      "ME #3264FF96 fill\n"
      "\n"
      "  68/16\t#96b4ffFF  stipple2 hidden\r\n"
      "PO #FF0000A0 outline\n"
      "XX #FF0000A0 fill\n"        // 6: no such layer
      "PO #FF0000 fill\n"          // 7: short colour
      "PO #FF0000A0 stipple9\n"    // 8: no such style
      "PO #FF0000A0 fill shown\n"  // 9: unknown flag
      "PO #FF0000A0\n"             // 10: no style
      "68/65536 #FF0000A0 fill\n"  // 11: datatype out of range
      "   # indented comment\n";
  std::vector<int> bad;
  const std::vector<KeyedLook> looks = parseLayerProps(text, bad);
  EXPECT_EQ(bad, (std::vector<int>{6, 7, 8, 9, 10, 11}));
  ASSERT_EQ(looks.size(), 3u);
  EXPECT_TRUE(looks[0].key == "ME" && looks[0].look.color == layerRGBA(0x32, 0x64, 0xFF, 0x96) && looks[0].look.style == STYLE_FILL);
  EXPECT_TRUE(looks[1].key == "68/16" && looks[1].look.hidden && looks[1].look.style == STYLE_STIPPLE1 + 1);
  EXPECT_TRUE(looks[2].key == "PO" && looks[2].look.style == STYLE_OUTLINE && !looks[2].look.hidden);
  const std::string written = formatLayerProps(looks);
  std::vector<int> none;
  EXPECT_EQ(formatLayerProps(parseLayerProps(written, none)), written);
  EXPECT_TRUE(none.empty());
  EXPECT_NE(written.find("68/16 #96B4FFFF stipple2 hidden\n"), std::string::npos);
}

// The file sits under XDG_CONFIG_HOME, is made with its folder, holds every
// named layer and the chosen pairs, and gives the layers their looks when
// read; a missing file is no error, a bad line a warning with its number.
TEST(LayerProps, FileIsWrittenWholeAndReadIntoTheLayersLooks) {
  const std::string dir = kivotest::tempDir();
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
  EXPECT_EQ(layerPropsPath(), dir + "/kivo/layers.props");
  clearChosenLooks();
  chooseLook("68/20", {layerRGBA(1, 2, 3, 4), STYLE_OUTLINE, true});
  std::string error;
  ASSERT_TRUE(saveLayerProps(layerPropsPath(), error)) << error;
  const std::string written = kivotest::readFile(layerPropsPath());
  EXPECT_NE(written.find("\nNW #848400FF fill\n"), std::string::npos);
  EXPECT_NE(written.find("\n68/20 #01020304 outline hidden\n"), std::string::npos);
  clearChosenLooks();
  kivotest::writeFile(dir + "/other.props", "CO #10203040 stipple8\nCO red\n");
  setLayerPropsPath(dir + "/other.props");
  testing::internal::CaptureStderr();
  EXPECT_TRUE(loadLayerProps(layerPropsPath(), error));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "kivo: " + dir + "/other.props:2: malformed layer line skipped\n");
  EXPECT_TRUE(loadLayerProps(dir + "/none.props", error));
  Layer layers[LAYER_COUNT];
  applyStartupSettings(layers);
  EXPECT_TRUE(layers[11].getColor() == layerRGBA(0x10, 0x20, 0x30, 0x40) && layers[11].getStyle() == STYLE_STIPPLE1 + 7);
  EXPECT_EQ(layers[LAYER_POLY].getColor(), layerFacts(LAYER_POLY).color);
  setLayerPropsPath("");
  clearChosenLooks();
}

// The sample file gives every named layer and every pair of sky130.map a
// colour of its own.
TEST(LayerProps, DistinctSampleColoursEveryLayerApart) {
  const char* source = std::getenv("KIVO_SOURCE_DIR");
  if (!source) GTEST_SKIP() << "KIVO_SOURCE_DIR is not set";
  std::vector<int> bad;
  const std::vector<KeyedLook> looks = parseLayerProps(kivotest::readFile(std::string(source) + "/layermaps/distinct.props"), bad);
  std::set<std::string> keys;
  std::set<uint32_t> colours;
  for (const KeyedLook& k : looks) keys.insert(k.key), colours.insert(k.look.color);
  EXPECT_TRUE(bad.empty() && keys.size() == looks.size() && colours.size() == looks.size());
  EXPECT_EQ(looks.size(), (size_t)(NAMED_LAYER_COUNT - 1 + 11));  // 11 pairs with names in sky130.map
}
