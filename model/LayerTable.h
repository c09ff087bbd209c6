#ifndef KIVO_LAYERTABLE_H
#define KIVO_LAYERTABLE_H

#include <cstddef>
#include <cstdint>
#include <vector>

class GroupNode;
class Layer;

// The layer slots: fourteen named ones, then one slot for each GDSII
// layer/datatype pair that the layer map gives no code of its own. Slot 0
// catches objects whose code is unknown; slot 12 holds Opt markers.
enum {
  NAMED_LAYER_COUNT = 14,
  FIRST_PAIR_SLOT = NAMED_LAYER_COUNT,
  // Pair slots: real process kits use well under 256 layer/datatype pairs
  // (SkyWater's sky130 about 120), and every slot costs a Layer in each
  // layer array; pairs beyond land on the unknown slot with a warning.
  PAIR_SLOT_CAPACITY = 256,
  LAYER_COUNT = NAMED_LAYER_COUNT + PAIR_SLOT_CAPACITY,
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

// The facts of a slot; slot 0's for anything outside the named slots and
// the pair slots handed out.
const LayerFacts& layerFacts(int slot);
// The slot shown in a panel row (0 = top).
int layerOfPanelRow(int row);

// The slot of a file code: its first two characters compared case-sensitively
// with the known pairs; 0 for anything else, a text shorter than two included.
int codeToLayer(const char* code);
// The code written for a slot ("L/D" for a pair slot); "UNKNOWN" outside
// the slots in use.
const char* layerToCode(int index);
// A new, unselected object of the class that lives on a slot.
GroupNode* newLayoutObject(int index);
// Colour, style, hidden flag (the look: lookOfSlot, LayerStyle.h), id and
// enabled flag that the layers get at start-up; the pair slots handed out
// later get theirs from settlePairSlots.
void applyStartupSettings(Layer layers[LAYER_COUNT]);
// Give a layer a look: colour, style and hidden flag.
void applyLook(Layer& layer, const struct LayerLook& look);
// Look and id of the pair slots handed out since `settled` (the count of
// slots set up before); returns the new count (layerSlotsInUse).
int settlePairSlots(Layer layers[LAYER_COUNT], int settled);

// ---- pair slots: a process-wide table, pair -> slot, never shrinking, so
// a slot number stays valid for undo, the clipboard and the journal.

// The slot of a GDSII layer/datatype pair, handed out when new; a name
// (from the layer map) replaces the default "L/D". LAYER_UNKNOWN, with a
// warning on standard error once, when every pair slot is taken.
int pairSlot(uint32_t layer, uint32_t datatype, const char* name = nullptr);
// The pair of a pair slot; false for any other slot.
bool pairOfSlot(int slot, uint32_t& layer, uint32_t& datatype);
// FIRST_PAIR_SLOT + the pair slots handed out: every loop over slots
// may stop there.
int layerSlotsInUse();
// The slots in drawing order: the named slots, then the pair slots by
// layer, then datatype. A later slot draws over an earlier one.
std::vector<int> drawingOrder();
// A pair's colour, fixed by a hash of the pair: the same in every run,
// translucent, and never the colour of a named slot.
uint32_t pairColor(uint32_t layer, uint32_t datatype);
// Read a code "L/D" (decimals 0..65535, n characters); false otherwise.
bool parsePairCode(const char* text, size_t n, uint32_t& layer, uint32_t& datatype);

#endif
