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
};

// Colour in FXColor layout: red in the lowest byte, alpha in the highest.
constexpr uint32_t layerRGBA(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return r | (g << 8) | (b << 16) | (a << 24);
}

// The slot of a file code: its first two characters compared case-sensitively
// with the known pairs; 0 for anything else, a text shorter than two included.
int codeToLayer(const char* code);
// The code written for a slot; "UNKNOWN" outside 0..13.
const char* layerToCode(int index);
// The name the layer panel shows for a slot; "Unknown" for slot 0 and
// outside 0..13.
const char* layerName(int index);
// A new, unselected object of the class that lives on a slot: an Opt on the
// options layer, a Box everywhere else, slot 0 included.
GroupNode* newLayoutObject(int index);
// Colour, id and enabled flag that the fourteen layers get at start-up.
void applyStartupSettings(Layer layers[LAYER_COUNT]);

#endif
