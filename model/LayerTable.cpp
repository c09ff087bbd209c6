#include "model/LayerTable.h"

#include <cstring>

#include "model/Layer.h"

namespace {

const char* const writtenCodes[LAYER_COUNT] = {
  "NULL!", "NW", "DN", "DP", "PO", "ME", "M2", "M3", "M4", "M5", "M6", "CO", "OP", "LC",
};

const char* const names[LAYER_COUNT] = {
  "Unknown", "N Well", "N+ Diffusion", "P+ Diffusion", "Polisilicium", "Metal 1", "Metal 2",
  "Metal 3", "Metal 4", "Metal 5", "Metal 6", "Contact", "Options", "Local Inerc",
};

struct Alias {
  const char* pair;
  int index;
};

// Codes accepted when reading, beyond the written ones.
const Alias aliases[] = {{"VI", 11}, {"PA", 13}};

const uint32_t defaultColor = layerRGBA(0, 255, 0, 255);

struct StartColor {
  int index;
  uint32_t color;
};

// Applied in this order over the default colour.
const StartColor startColors[] = {
  {12, layerRGBA(255, 255, 0, 200)},
  {5, layerRGBA(55, 55, 255, 150)},
  {6, layerRGBA(0, 0, 255, 150)},
  {1, layerRGBA(132, 132, 0, 255)},
  {2, layerRGBA(0, 132, 0, 180)},
  {3, layerRGBA(115, 82, 0, 180)},
  {4, layerRGBA(255, 0, 0, 160)},
  {11, layerRGBA(225, 225, 225, 225)},
  {13, layerRGBA(255, 0, 0, 100)},
};

}  // namespace

int codeToLayer(const char* code) {
  if (!code || code[0] == '\0' || code[1] == '\0') return LAYER_UNKNOWN;
  for (int i = 1; i < LAYER_COUNT; i++)
    if (std::strncmp(code, writtenCodes[i], 2) == 0) return i;
  for (const Alias& alias : aliases)
    if (std::strncmp(code, alias.pair, 2) == 0) return alias.index;
  return LAYER_UNKNOWN;
}

const char* layerName(int index) {
  return index >= 0 && index < LAYER_COUNT ? names[index] : names[LAYER_UNKNOWN];
}

const char* layerToCode(int index) {
  if (index < 0 || index >= LAYER_COUNT) return "UNKNOWN";
  return writtenCodes[index];
}

GroupNode* newLayoutObject(int index) {
  if (index == LAYER_OPTIONS) return new Opt;
  return new Box;
}

void applyStartupSettings(Layer layers[LAYER_COUNT]) {
  for (int i = 0; i < LAYER_COUNT; i++) {
    layers[i].setColor(defaultColor);
    layers[i].setId(i);
    layers[i].enable();
  }
  for (const StartColor& start : startColors) layers[start.index].setColor(start.color);
}
