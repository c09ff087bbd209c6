#include "model/LayerTable.h"

#include <cstring>

#include "icons/Icons.h"
#include "model/Layer.h"

namespace {

const uint32_t GREEN = layerRGBA(0, 255, 0, 255);

// clang-format off
const LayerFacts facts[LAYER_COUNT] = {
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

}  // namespace

const LayerFacts& layerFacts(int slot) {
  return slot >= 0 && slot < LAYER_COUNT ? facts[slot] : facts[LAYER_UNKNOWN];
}

int layerOfPanelRow(int row) {
  for (int i = 1; i < LAYER_COUNT; i++)
    if (facts[i].panelRow == row) return i;
  return LAYER_UNKNOWN;
}

int codeToLayer(const char* code) {
  if (!code || code[0] == '\0' || code[1] == '\0') return LAYER_UNKNOWN;
  for (int i = 1; i < LAYER_COUNT; i++)
    if (std::strncmp(code, facts[i].code, 2) == 0) return i;
  for (int i = 1; i < LAYER_COUNT; i++)
    if (facts[i].alias && std::strncmp(code, facts[i].alias, 2) == 0) return i;
  return LAYER_UNKNOWN;
}

const char* layerToCode(int index) {
  if (index < 0 || index >= LAYER_COUNT) return "UNKNOWN";
  return facts[index].code;
}

GroupNode* newLayoutObject(int index) {
  ObjectGroup group{index + 1};  // each layer's objects together in memory
  if (layerFacts(index).objectClass == CLASS_OPT) return new (group) Opt;
  return new (group) Box;
}

void applyStartupSettings(Layer layers[LAYER_COUNT]) {
  for (int i = 0; i < LAYER_COUNT; i++) {
    layers[i].setColor(facts[i].color);
    layers[i].setId(i);
    layers[i].enable();
  }
}
