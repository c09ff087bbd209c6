#ifndef KIVO_LAYERSTYLE_H
#define KIVO_LAYERSTYLE_H

#include <cstdint>
#include <string>
#include <vector>

// How a layer's shapes are drawn: filled in the layer's translucent colour,
// as outlines only, or filled through one of eight stipple patterns.
enum {
  STYLE_FILL = 0,
  STYLE_OUTLINE = 1,
  STYLE_STIPPLE1 = 2,
  STIPPLE_COUNT = 8,
  STYLE_COUNT = STYLE_STIPPLE1 + STIPPLE_COUNT,
};

inline bool isStippleStyle(int style) { return style >= STYLE_STIPPLE1 && style < STYLE_COUNT; }

// A style's name as the layer properties file and the layer panel show it:
// "fill", "outline", "stipple1" .. "stipple8".
const char* styleName(int style);
// The style of a name; -1 for anything else.
int styleOfName(const std::string& name);
// What a stipple style's pattern looks like, in a few words ("dots", ...).
const char* styleDescription(int style);
// A stipple style's 32 x 32 pattern as glPolygonStipple takes it: rows from
// the bottom, 4 bytes each, the most significant bit leftmost. OpenGL lays
// it out from the window's corner, so every painter puts a pattern's dots
// on the same pixels. Null for the other styles.
const uint8_t* stipplePattern(int style);
// Whether a stipple pattern sets the pixel at window position (x, y).
bool stippleCovers(int style, int x, int y);

// A layer's look: colour (FXColor layout), style and whether it is hidden.
struct LayerLook {
  uint32_t color = 0;
  int style = STYLE_FILL;
  bool hidden = false;
  bool operator==(const LayerLook& o) const { return color == o.color && style == o.style && hidden == o.hidden; }
  bool operator!=(const LayerLook& o) const { return !(*this == o); }
};

// ---- the looks the user chose, a process-wide table by layer key: a named
// layer's code ("ME") or "L/D" for a GDSII pair layer. Layers without a
// chosen look keep their start-up colour, filled and shown.

// The key of a layer text ("ME", "me" is not one; "68/20"), in its written
// form; empty when it names no layer.
std::string layerKeyOf(const std::string& text);
// The key of a slot (its code); empty for the unknown slot and unused slots.
std::string layerKeyOfSlot(int slot);
// The look of a slot: the chosen one, else its start-up colour, filled.
LayerLook lookOfSlot(int slot);
// Choose the look of the layer with this key (made by layerKeyOf).
void chooseLook(const std::string& key, const LayerLook& look);
// Forget every chosen look.
void clearChosenLooks();
// The keys with a chosen look, in the order of the layer table: named
// layers first, then pairs by layer and datatype.
struct KeyedLook {
  std::string key;
  LayerLook look;
};
std::vector<KeyedLook> chosenLooks();

#endif
