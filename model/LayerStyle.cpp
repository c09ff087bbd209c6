#include "model/LayerStyle.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "model/LayerTable.h"

namespace {

// The stipple patterns' side, fixed by glPolygonStipple.
const int STIPPLE_SIDE = 32;
const int STIPPLE_BYTES = STIPPLE_SIDE * STIPPLE_SIDE / 8;

// Each pattern's periods divide 32, so that it tiles the 32 x 32 stipple
// without a seam. Hatches are 8 pixels apart: close enough to read as a
// surface, far enough to let the layers beneath show through.
bool covers(int index, int x, int y) {
  switch (index) {
    case 0: return x % 4 == 0 && y % 4 == 0;                    // dots
    case 1: return (x - y + STIPPLE_SIDE) % 8 == 0;             // hatch at 45 degrees
    case 2: return (x + y) % 8 == 0;                            // hatch at 135 degrees
    case 3: return (x - y + STIPPLE_SIDE) % 8 == 0 || (x + y) % 8 == 0;  // cross-hatch
    case 4: return (x + y) % 2 == 0;                            // dense dots
    case 5: return x % 8 == 0 && y % 8 == 0;                    // sparse dots
    case 6: return y % 4 == 0;                                  // horizontal lines
    default: return x % 4 == 0;                                 // vertical lines
  }
}

const char* const descriptions[STIPPLE_COUNT] = {"dots", "hatch 45", "hatch 135", "cross-hatch",
                                                 "dense dots", "sparse dots", "horizontal", "vertical"};

struct Patterns {
  uint8_t bytes[STIPPLE_COUNT][STIPPLE_BYTES] = {};
  Patterns() {
    for (int p = 0; p < STIPPLE_COUNT; p++)
      for (int y = 0; y < STIPPLE_SIDE; y++)
        for (int x = 0; x < STIPPLE_SIDE; x++)
          if (covers(p, x, y)) bytes[p][y * 4 + x / 8] |= (uint8_t)(0x80 >> (x % 8));
  }
};

const char* const names[STYLE_COUNT] = {"fill",     "outline",  "stipple1", "stipple2", "stipple3",
                                        "stipple4", "stipple5", "stipple6", "stipple7", "stipple8"};

struct ChosenLooks {
  std::mutex lock;
  std::map<std::string, LayerLook> byKey;
};

ChosenLooks& chosen() {
  static ChosenLooks* table = new ChosenLooks;  // never destroyed: painters may read it at exit
  return *table;
}

// Named layers by slot, then pairs by layer and datatype.
bool keyBefore(const std::string& a, const std::string& b) {
  uint32_t la = 0, da = 0, lb = 0, db = 0;
  const bool pairA = parsePairCode(a.data(), a.size(), la, da), pairB = parsePairCode(b.data(), b.size(), lb, db);
  if (pairA != pairB) return pairB;
  if (pairA) return la != lb ? la < lb : da < db;
  return codeToLayer(a.c_str()) < codeToLayer(b.c_str());
}

}  // namespace

const char* styleName(int style) { return style >= 0 && style < STYLE_COUNT ? names[style] : names[STYLE_FILL]; }

int styleOfName(const std::string& name) {
  for (int s = 0; s < STYLE_COUNT; s++)
    if (name == names[s]) return s;
  return -1;
}

const char* styleDescription(int style) {
  if (style == STYLE_OUTLINE) return "outline";
  return isStippleStyle(style) ? descriptions[style - STYLE_STIPPLE1] : "filled";
}

const uint8_t* stipplePattern(int style) {
  static const Patterns patterns;
  return isStippleStyle(style) ? patterns.bytes[style - STYLE_STIPPLE1] : nullptr;
}

bool stippleCovers(int style, int x, int y) {
  return isStippleStyle(style) && covers(style - STYLE_STIPPLE1, x & (STIPPLE_SIDE - 1), y & (STIPPLE_SIDE - 1));
}

std::string layerKeyOf(const std::string& text) {
  uint32_t layer = 0, datatype = 0;
  if (parsePairCode(text.data(), text.size(), layer, datatype))
    return std::to_string(layer) + "/" + std::to_string(datatype);
  const int slot = text.size() == 2 ? codeToLayer(text.c_str()) : LAYER_UNKNOWN;
  return slot == LAYER_UNKNOWN ? std::string() : layerToCode(slot);
}

std::string layerKeyOfSlot(int slot) {
  if (slot <= LAYER_UNKNOWN || slot >= layerSlotsInUse()) return std::string();
  return layerToCode(slot);
}

LayerLook lookOfSlot(int slot) {
  LayerLook look;
  look.color = layerFacts(slot).color;
  const std::string key = layerKeyOfSlot(slot);
  if (key.empty()) return look;
  ChosenLooks& t = chosen();
  std::lock_guard<std::mutex> guard(t.lock);
  auto found = t.byKey.find(key);
  return found == t.byKey.end() ? look : found->second;
}

void chooseLook(const std::string& key, const LayerLook& look) {
  if (key.empty()) return;
  ChosenLooks& t = chosen();
  std::lock_guard<std::mutex> guard(t.lock);
  t.byKey[key] = look;
}

void clearChosenLooks() {
  ChosenLooks& t = chosen();
  std::lock_guard<std::mutex> guard(t.lock);
  t.byKey.clear();
}

std::vector<KeyedLook> chosenLooks() {
  std::vector<KeyedLook> out;
  {
    ChosenLooks& t = chosen();
    std::lock_guard<std::mutex> guard(t.lock);
    for (const auto& entry : t.byKey) out.push_back({entry.first, entry.second});
  }
  std::sort(out.begin(), out.end(), [](const KeyedLook& a, const KeyedLook& b) { return keyBefore(a.key, b.key); });
  return out;
}
