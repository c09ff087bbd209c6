#include "model/LayerTable.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "icons/Icons.h"
#include "model/Layer.h"
#include "model/LayerStyle.h"

namespace {

const uint32_t GREEN = layerRGBA(0, 255, 0, 255);

// clang-format off
const LayerFacts facts[NAMED_LAYER_COUNT] = {
  {"NULL!", nullptr, "Unknown",      GREEN,                         CLASS_BOX, -1, ICON_NONE},
  {"NW",    nullptr, "N Well",       layerRGBA(132, 132, 0, 255),   CLASS_BOX, 12, ICON_SWATCH_NWELL},
  {"DN",    nullptr, "N+ Diffusion", layerRGBA(0, 132, 0, 180),     CLASS_BOX, 11, ICON_SWATCH_NDIFF},
  {"DP",    nullptr, "P+ Diffusion", layerRGBA(115, 82, 0, 180),    CLASS_BOX, 10, ICON_SWATCH_PDIFF},
  {"PO",    nullptr, "Polisilicium", layerRGBA(255, 0, 0, 160),     CLASS_BOX, 9,  ICON_SWATCH_POLY},
  {"ME",    nullptr, "Metal 1",      layerRGBA(55, 55, 255, 150),   CLASS_BOX, 6,  ICON_SWATCH_METAL1},
  {"M2",    nullptr, "Metal 2",      layerRGBA(0, 0, 255, 150),     CLASS_BOX, 5,  ICON_SWATCH_METAL2},
  {"M3",    nullptr, "Metal 3",      GREEN,                         CLASS_BOX, 4,  ICON_SWATCH_METAL3},
  {"M4",    nullptr, "Metal 4",      GREEN,                         CLASS_BOX, 3,  ICON_SWATCH_METAL4},
  {"M5",    nullptr, "Metal 5",      GREEN,                         CLASS_BOX, 2,  ICON_SWATCH_METAL5},
  {"M6",    nullptr, "Metal 6",      GREEN,                         CLASS_BOX, 1,  ICON_SWATCH_METAL6},
  {"CO",    "VI",    "Contact",      layerRGBA(225, 225, 225, 225), CLASS_BOX, 7,  ICON_SWATCH_CONTACT},
  {"OP",    nullptr, "Options",      layerRGBA(255, 255, 0, 200),   CLASS_OPT, 0,  ICON_SWATCH_OPTIONS},
  {"LC",    "PA",    "Local Inerc",  layerRGBA(255, 0, 0, 100),     CLASS_BOX, 8,  ICON_NONE},
};
// clang-format on

// The alpha of every pair slot's colour: lighter than the named layers,
// because pair layers are drawn over them and in real files they are mostly
// implants, boundaries and marker areas that cover whole cells (the named
// layers beneath must stay readable); and a value none of the named layers
// uses, so that no pair colour equals a named one.
const uint32_t PAIR_ALPHA = 90;
// Each channel of a pair colour lies in PAIR_FLOOR..255: darker colours
// vanish on the black canvas.
const uint32_t PAIR_FLOOR = 64;
// Objects of pair slots are made in one placement group after the named
// slots' (GroupNode.h).
const int PAIR_OBJECT_GROUP = NAMED_LAYER_COUNT + 1;

// A pair slot's facts, with the strings they point at. Entries below the
// published count are written once, before the count is raised, so readers
// need no lock; only a rename by the layer map changes one later.
struct PairEntry {
  uint32_t layer = 0, datatype = 0;
  std::string code, name;
  LayerFacts facts{};
};

struct PairTable {
  std::mutex lock;
  PairEntry entries[PAIR_SLOT_CAPACITY];
  std::atomic<int> count{0};
  std::unordered_map<uint64_t, int> slots;  // by pair key
  std::vector<int> order;                   // drawingOrder, for `ordered` pairs
  int ordered = -1;
  bool warned = false;
};

PairTable& pairs() {
  static PairTable* table = new PairTable;  // never destroyed: threads may read it at exit
  return *table;
}

uint64_t pairKey(uint32_t layer, uint32_t datatype) { return (uint64_t)layer << 32 | datatype; }

bool isPairSlot(int slot) { return slot >= FIRST_PAIR_SLOT && slot < layerSlotsInUse(); }

}  // namespace

const LayerFacts& layerFacts(int slot) {
  if (slot >= 0 && slot < NAMED_LAYER_COUNT) return facts[slot];
  if (isPairSlot(slot)) return pairs().entries[slot - FIRST_PAIR_SLOT].facts;
  return facts[LAYER_UNKNOWN];
}

int layerOfPanelRow(int row) {
  for (int i = 1; i < NAMED_LAYER_COUNT; i++)
    if (facts[i].panelRow == row) return i;
  return LAYER_UNKNOWN;
}

int codeToLayer(const char* code) {
  if (!code || code[0] == '\0' || code[1] == '\0') return LAYER_UNKNOWN;
  for (int i = 1; i < NAMED_LAYER_COUNT; i++)
    if (std::strncmp(code, facts[i].code, 2) == 0) return i;
  for (int i = 1; i < NAMED_LAYER_COUNT; i++)
    if (facts[i].alias && std::strncmp(code, facts[i].alias, 2) == 0) return i;
  return LAYER_UNKNOWN;
}

const char* layerToCode(int index) {
  if (index < 0 || index >= layerSlotsInUse()) return "UNKNOWN";
  return layerFacts(index).code;
}

GroupNode* newLayoutObject(int index) {
  // each layer's objects together in memory
  ObjectGroup group{index < NAMED_LAYER_COUNT ? index + 1 : PAIR_OBJECT_GROUP};
  if (layerFacts(index).objectClass == CLASS_OPT) return new (group) Opt;
  return new (group) Box;
}

void applyLook(Layer& layer, const LayerLook& look) {
  layer.setColor(look.color);
  layer.setStyle(look.style);
  layer.setHidden(look.hidden);
}

void applyStartupSettings(Layer layers[LAYER_COUNT]) {
  for (int i = 0; i < LAYER_COUNT; i++) {
    applyLook(layers[i], lookOfSlot(i));
    layers[i].setId(i);
    layers[i].enable();
  }
}

int settlePairSlots(Layer layers[LAYER_COUNT], int settled) {
  const int inUse = layerSlotsInUse();
  for (int i = std::max(settled, (int)FIRST_PAIR_SLOT); i < inUse; i++) {
    applyLook(layers[i], lookOfSlot(i));
    layers[i].setId(i);
  }
  return inUse;
}

int pairSlot(uint32_t layer, uint32_t datatype, const char* name) {
  PairTable& t = pairs();
  std::lock_guard<std::mutex> guard(t.lock);
  auto found = t.slots.find(pairKey(layer, datatype));
  int index = found == t.slots.end() ? -1 : found->second;
  if (index < 0) {
    index = t.count.load();
    if (index == PAIR_SLOT_CAPACITY) {
      if (!t.warned)
        std::fprintf(stderr, "kivo: more than %d GDSII layer/datatype pairs; the rest go to the unknown layer\n",
                     (int)PAIR_SLOT_CAPACITY);
      t.warned = true;
      return LAYER_UNKNOWN;
    }
    PairEntry& e = t.entries[index];
    e.layer = layer, e.datatype = datatype;
    e.code = std::to_string(layer) + "/" + std::to_string(datatype);
    e.name = e.code;
    e.facts = {e.code.c_str(), nullptr, e.name.c_str(), pairColor(layer, datatype), CLASS_BOX, -1, ICON_NONE};
    t.slots.emplace(pairKey(layer, datatype), index);
    t.count.store(index + 1);
  }
  PairEntry& e = t.entries[index];
  if (name && e.name != name) {
    e.name = name;
    e.facts.name = e.name.c_str();
  }
  return FIRST_PAIR_SLOT + index;
}

bool pairOfSlot(int slot, uint32_t& layer, uint32_t& datatype) {
  if (!isPairSlot(slot)) return false;
  const PairEntry& e = pairs().entries[slot - FIRST_PAIR_SLOT];
  layer = e.layer, datatype = e.datatype;
  return true;
}

int layerSlotsInUse() { return FIRST_PAIR_SLOT + pairs().count.load(); }

std::vector<int> drawingOrder() {
  PairTable& t = pairs();
  std::lock_guard<std::mutex> guard(t.lock);
  const int n = t.count.load();
  if (t.ordered != n) {
    t.order.clear();
    for (int i = 0; i < FIRST_PAIR_SLOT + n; i++) t.order.push_back(i);
    std::sort(t.order.begin() + FIRST_PAIR_SLOT, t.order.end(), [&t](int a, int b) {
      const PairEntry &x = t.entries[a - FIRST_PAIR_SLOT], &y = t.entries[b - FIRST_PAIR_SLOT];
      return pairKey(x.layer, x.datatype) < pairKey(y.layer, y.datatype);
    });
    t.ordered = n;
  }
  return t.order;
}

// The splitmix64 finaliser: every bit of the pair stirs every bit of the
// colour, so neighbouring pairs (68/16, 68/20) look unlike each other.
uint32_t pairColor(uint32_t layer, uint32_t datatype) {
  uint64_t z = pairKey(layer, datatype) + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  auto channel = [z](int shift) { return PAIR_FLOOR + (uint32_t)(z >> shift & 0xFF) * (255 - PAIR_FLOOR) / 255; };
  return layerRGBA(channel(0), channel(8), channel(16), PAIR_ALPHA);
}

bool parsePairCode(const char* text, size_t n, uint32_t& layer, uint32_t& datatype) {
  const char* end = text + n;
  auto number = [end](const char*& p, uint32_t& value) {
    if (p == end || *p < '0' || *p > '9') return false;
    for (value = 0; p < end && *p >= '0' && *p <= '9'; ++p)
      if ((value = value * 10 + (uint32_t)(*p - '0')) > 65535) return false;
    return true;
  };
  const char* p = text;
  if (!number(p, layer) || p == end || *p++ != '/' || !number(p, datatype)) return false;
  return p == end;
}
