// Pair slots through GDSII, .msk and the recovery journal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>

#include "io/GdsWriter.h"
#include "io/Gdsii.h"
#include "io/JournalFormat.h"
#include "io/LayerMap.h"
#include "io/LayoutFile.h"
#include "model/Shapes.h"

namespace {

struct Layers {
  Layer at[LAYER_COUNT];
  Layers() { applyStartupSettings(at); }
};

// "L/D x,y,w,h" of every object on a pair slot (labels too, or not).
std::multiset<std::string> pairObjects(const Layers& l, bool labels = true) {
  std::multiset<std::string> found;
  for (int i = FIRST_PAIR_SLOT; i < layerSlotsInUse(); i++)
    for (GroupNode* n = l.at[i].first(); n; n = n->next())
      if (labels || !dynamic_cast<const Label*>(n))
        found.insert(std::string(layerToCode(i)) + " " + std::to_string(n->x) + "," + std::to_string(n->y) + "," +
                   std::to_string(n->w) + "," + std::to_string(n->h));
  return found;
}

// The "L/D" codes among such objects.
std::set<std::string> pairsOf(const std::multiset<std::string>& objects) {
  std::set<std::string> found;
  for (const std::string& p : objects) found.insert(p.substr(0, p.find(' ')));
  return found;
}

void throughGdsii(const Layers& from, const LayerMap& map, Layers& to) {
  std::ostringstream out;
  writeGdsii(out, from.at, map, GdsLibraryInfo(), 0);
  GdsLibraryInfo info;
  EXPECT_EQ("", readGdsii((const unsigned char*)out.str().data(), out.str().size(), map, to.at, info).error);
}

}  // namespace

// Every pair the map gives no code gets a slot of its own, named by the
// map's name lines; GDSII, and .msk followed by GDSII, keep each pair.
TEST(PairSlots, SkyWaterPairsGetLayersOfTheirOwnAndKeepThem) {
  const std::string source = getenv("KIVO_SOURCE_DIR"), data = getenv("KIVO_DATA_DIR") ? getenv("KIVO_DATA_DIR") : source + "/../shared/data";
  const std::string path = data + "/sky130_fd_sc_hd/sky130_fd_sc_hd__dfrtp_2.gds";
  if (access(path.c_str(), R_OK) != 0) GTEST_SKIP() << path << " is missing (set KIVO_DATA_DIR)";
  LayerMap map;
  std::string error;
  ASSERT_TRUE(loadLayerMap((source + "/layermaps/sky130.map").c_str(), map, error));
  Layers cell, gds, msk, saved;
  GdsLibraryInfo info;
  GdsReadResult result;
  ASSERT_EQ(READ_OK, readGdsiiFile(path.c_str(), map, cell.at, info, result));
  const std::multiset<std::string> pairs = pairObjects(cell);
  EXPECT_EQ((std::set<std::string>{"122/16", "236/0", "64/16", "64/5", "64/59", "67/16", "67/5", "68/16", "68/5", "78/44", "81/4",
                                   "83/44", "93/44", "94/20", "95/20"}), pairsOf(pairs));  // labels on the ../5 pairs
  EXPECT_TRUE(cell.at[LAYER_UNKNOWN].size() == 0 && cell.at[LAYER_POLY].size() > 0 && !strcmp("met1 pin", layerFacts(pairSlot(68, 16)).name));
  throughGdsii(cell, map, gds);
  EXPECT_EQ(pairs, pairObjects(gds));
  std::ostringstream text;
  writeLayout(text, cell.at);
  readLayout(text.str().data(), text.str().size(), msk.at);
  throughGdsii(msk, map, saved);
  // A .msk file holds no labels and cuts polygons into rectangles: every
  // other pair comes back.
  EXPECT_EQ(pairsOf(pairObjects(cell, false)), pairsOf(pairObjects(saved)));
}

// An entry names a pair slot by its pair: a process where the pair has
// another slot, or none yet, replays it onto that pair's layer.
TEST(PairSlots, JournalEntriesNameThePairNotTheSlotNumber) {
  JournalPayload append = encodeAppend(pairSlot(4100, 7), 0, {});
  const uint32_t unmet[2] = {4300, 9};  // the same entry for a pair this process has not met
  std::memcpy(append.blocks[0] + 2, unmet, sizeof unmet);
  JournalCursor c{append.blocks[0] + 1, append.blocks[0] + append.size};
  const int before = layerSlotsInUse();
  EXPECT_EQ(pairSlot(4300, 9), decodeLayer(c));
  EXPECT_EQ(before + 1, layerSlotsInUse());
}
