// Pair slots through the file formats and the recovery journal: a real
// SkyWater cell, GDSII and .msk round trips, and replay by pair.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <string>

#include "io/GdsWriter.h"
#include "io/Gdsii.h"
#include "io/JournalFormat.h"
#include "io/JournalReplay.h"
#include "io/LayerMap.h"
#include "io/LayoutFile.h"
#include "model/ObjectOrigin.h"
#include "support/GuiTest.h"

namespace {

struct Layers {
  Layer at[LAYER_COUNT];
  Layers() { applyStartupSettings(at); }
};

// "L/D x,y,w,h" of every object on a pair slot, checking that each sits on
// its own pair's slot.
std::multiset<std::string> pairObjects(const Layers& l) {
  std::multiset<std::string> found;
  for (int i = FIRST_PAIR_SLOT; i < layerSlotsInUse(); i++)
    for (GroupNode* n = l.at[i].first(); n; n = n->next()) {
      const ObjectOrigin& o = originOf(n->origin);
      uint32_t layer = 0, datatype = 0;
      EXPECT_TRUE(pairOfSlot(i, layer, datatype));
      EXPECT_TRUE(n->origin == 0 || ((uint32_t)o.gdsLayer == layer && (uint32_t)o.gdsDatatype == datatype));
      found.insert(std::string(layerToCode(i)) + " " + std::to_string(n->x) + "," + std::to_string(n->y) + "," +
                   std::to_string(n->w) + "," + std::to_string(n->h));
    }
  return found;
}

std::string gdsBytes(const Layers& l, const LayerMap& map) {
  std::ostringstream out;
  writeGdsii(out, l.at, map, GdsLibraryInfo(), 0);
  return out.str();
}

void readGds(const std::string& bytes, const LayerMap& map, Layers& l) {
  GdsLibraryInfo info;
  ASSERT_EQ("", readGdsii((const unsigned char*)bytes.data(), bytes.size(), map, l.at, info).error);
}

}  // namespace

// Every pair the map gives no code lands on a slot of its own, named by
// the map's name lines; GDSII and .msk round trips keep each pair.
TEST(PairSlots, SkyWaterCellPairsGetLayersOfTheirOwnAndKeepThem) {
  const std::string source = getenv("KIVO_SOURCE_DIR");
  LayerMap map;
  std::string error;
  ASSERT_TRUE(loadLayerMap((source + "/layermaps/sky130.map").c_str(), map, error)) << error;
  Layers cell;
  GdsLibraryInfo info;
  GdsReadResult result;
  ASSERT_EQ(READ_OK, readGdsiiFile("/work/shared/data/sky130_fd_sc_hd/sky130_fd_sc_hd__dfrtp_2.gds", map, cell.at,
                                   info, result));
  EXPECT_EQ(0u, cell.at[LAYER_UNKNOWN].size());
  const std::multiset<std::string> pairs = pairObjects(cell);
  std::set<std::string> codes;
  for (const std::string& p : pairs) codes.insert(p.substr(0, p.find(' ')));
  EXPECT_EQ((std::set<std::string>{"122/16", "236/0", "64/16", "67/16", "68/16", "78/44", "81/4", "93/44", "94/20",
                                   "95/20"}),
            codes);
  EXPECT_STREQ("met1 pin", layerFacts(pairSlot(68, 16)).name);
  EXPECT_STREQ("236/0", layerFacts(pairSlot(236, 0)).name);
  EXPECT_GT(cell.at[LAYER_POLY].size(), 0u);

  Layers again;
  readGds(gdsBytes(cell, map), map, again);
  EXPECT_EQ(pairs, pairObjects(again));

  // .msk keeps the pair in the code field, and a later GDSII save writes it.
  std::ostringstream msk;
  writeLayout(msk, cell.at);
  EXPECT_NE(std::string::npos, msk.str().find(",68/16)\n"));
  Layers fromMsk, saved;
  readLayout(msk.str().data(), msk.str().size(), fromMsk.at);
  EXPECT_EQ(0u, fromMsk.at[LAYER_UNKNOWN].size());
  EXPECT_EQ(pairs, pairObjects(fromMsk));
  readGds(gdsBytes(fromMsk, map), map, saved);
  EXPECT_EQ(pairs, pairObjects(saved));
}

// Codes that are not pairs keep landing on the unknown slot, with their
// code written back; pair codes write back as L/D.
TEST(PairSlots, MskPairCodesReadOntoTheirSlotAndOthersStayUnknown) {
  const std::string text = "REC(0,0,5,5,68/16)\nREC(1,1,2,2,68/16x)\nREC(3,3,1,1,7/65536)\nREC(4,4,1,1,0/0)\n";
  Layers l;
  const ReadResult r = readLayout(text.data(), text.size(), l.at);
  EXPECT_EQ(4, (int)r.records);
  EXPECT_EQ(2u, l.at[LAYER_UNKNOWN].size());
  EXPECT_EQ(1u, l.at[pairSlot(68, 16)].size());
  EXPECT_EQ(1u, l.at[pairSlot(0, 0)].size());
  std::ostringstream out;
  writeLayout(out, l.at);
  for (const char* line : {"REC(0,0,5,5,68/16)\n", "REC(1,1,2,2,68/16x)\n", "REC(3,3,1,1,7/65536)\n", "REC(4,4,1,1,0/0)\n"})
    EXPECT_NE(std::string::npos, out.str().find(line)) << line;
}

// A journal names a pair slot by its pair, so that a process where the
// pair has another slot, or none yet, replays onto the right layer.
TEST(PairSlots, JournalEntriesNameThePairNotTheSlot) {
  GroupNode* node = newLayoutObject(pairSlot(4100, 7));
  node->setRect(1, 2, 3, 4);
  JournalPayload append = encodeAppend(pairSlot(4100, 7), 0, {node});
  delete node;
  JournalCursor c{append.blocks[0], append.blocks[0] + append.size};
  EXPECT_EQ(ENTRY_APPEND, c.get<uint8_t>());
  EXPECT_EQ(pairSlot(4100, 7), decodeLayer(c));
  // The same entry for a pair this process has not met: patch the pair.
  const uint32_t fresh[2] = {4300, 9};
  std::memcpy(append.blocks[0] + 2, fresh, sizeof fresh);
  const int before = layerSlotsInUse();
  JournalPayload base = encodeBase(JournalBase());
  std::string bytes((const char*)journalHead(), JOURNAL_HEAD_BYTES);
  for (JournalPayload* p : {&base, &append}) {
    uint32_t frame[2];
    entryFrame(*p, frame);
    bytes.append((const char*)frame, sizeof frame).append((const char*)p->blocks[0], p->size);
  }
  const std::string path = kivotest::tempDir() + "/pairs.journal";
  kivotest::writeFile(path, bytes);
  Layout layout;
  ASSERT_TRUE(replayJournal(path, layout).ok);
  EXPECT_EQ(before + 1, layerSlotsInUse());
  const Layer& replayed = layout.layer(pairSlot(4300, 9));
  ASSERT_EQ(1u, replayed.size());
  EXPECT_EQ(3, replayed.first()->w);
  EXPECT_EQ(pairColor(4300, 9), replayed.getColor());
  EXPECT_EQ(0u, layout.layer(pairSlot(4100, 7)).size());
}
