#ifndef KIVO_LAYERTABLE_H
#define KIVO_LAYERTABLE_H

#include <cstdint>

class GroupNode;
class Layer;

// The fourteen layer slots. Slot 0 catches objects whose code is unknown;
// slot 12 holds Opt markers.
enum {
  LAYER_COUNT = 14,
  LAYER_UNKNOWN = 0,
  LAYER_N_WELL = 1,
  LAYER_POLY = 4,
  LAYER_METAL1 = 5,
  LAYER_OPTIONS = 12,
  LAYER_LOCAL_INTERCONNECT = 13,
  PANEL_ROWS = 13,
};

// Colour in FXColor layout: red in the lowest byte, alpha in the highest.
constexpr uint32_t layerRGBA(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return r | (g << 8) | (b << 16) | (a << 24);
}

// Object classes of a slot.
enum { CLASS_BOX = 0, CLASS_OPT = 1 };

// Everything the program knows of one slot, for the reader, the writers,
// the painter and the layer panel.
struct LayerFacts {
  const char* code;      // written to .msk files
  const char* alias;     // also read as this slot; nullptr for none
  const char* name;      // in the layer panel and the main window
  uint32_t color;        // start-up colour
  int objectClass;       // CLASS_BOX or CLASS_OPT
  int panelRow;          // 0 = top row of the layer panel; -1 for none
  int icon;              // Icon of the panel row; ICON_NONE for none
};

// The facts of a slot; slot 0's for anything outside 0..13.
const LayerFacts& layerFacts(int slot);
// The slot shown in a panel row (0 = top).
int layerOfPanelRow(int row);

// The slot of a file code: its first two characters compared case-sensitively
// with the known pairs; 0 for anything else, a text shorter than two included.
int codeToLayer(const char* code);
// The code written for a slot; "UNKNOWN" outside 0..13.
const char* layerToCode(int index);
// A new, unselected object of the class that lives on a slot.
GroupNode* newLayoutObject(int index);
// Colour, id and enabled flag that the fourteen layers get at start-up.
void applyStartupSettings(Layer layers[LAYER_COUNT]);

#endif
