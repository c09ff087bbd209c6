#ifndef KIVO_LAYERMAP_H
#define KIVO_LAYERMAP_H

#include <cstdint>
#include <string>
#include <unordered_map>

#include "model/LayerTable.h"

// Which layer slot a GDSII layer/datatype pair is read onto, and which pair
// an object without one of its own is written with. A pair that no line
// maps to a code gets a pair slot of its own (LayerTable.h).
//
// Map file: one pair per line, "GDSLAYER[/DATATYPE] CODE", where CODE is one
// of the thirteen slot codes (NW, DN, DP, PO, ME, M2..M6, CO, OP, LC) and a
// line without a datatype matches every datatype of its layer; or
// "LAYER/DATATYPE - "NAME"", which names the pair's own slot (any
// characters but a double quote). Layers and datatypes are 0..65535. "#"
// outside a name starts a comment; blank lines are ignored.
// Lines end in LF, CR LF or CR alone; a UTF-8 byte order mark at the start
// is skipped. Several pairs may name one code; a pair may appear only once.
class LayerMap {
public:
  // The default: GDS layer L, any datatype, on slot L for L = 1..13.
  LayerMap();

  // The slot of a pair: a line with exactly this pair, else a line with its
  // layer and no datatype, else the pair's own slot (named by its name
  // line, if any), else (every pair slot taken) the unknown slot.
  int slotOf(uint32_t layer, uint32_t datatype) const;
  // The pair written for an object of slot that has none of its own: a pair
  // slot's pair, else the slot's first line (datatype 0 where it gave none);
  // 0/0 when no line names the slot.
  void pairOf(int slot, uint32_t& layer, uint32_t& datatype) const;

  // Replace the map by the lines of a map file; false, with the map
  // unchanged, and error = "line N: cause" on the first bad line.
  bool parse(const std::string& text, std::string& error);
  // The map file text this map was parsed from; empty for the default.
  const std::string& text() const { return source; }

private:
  // A pair's key: the layer, and the datatype + 1 (0: any datatype).
  static uint64_t key(uint32_t layer, int64_t datatype) {
    return (uint64_t)layer << 32 | (uint64_t)(datatype + 1);
  }
  std::unordered_map<uint64_t, int> slots;  // by key
  std::unordered_map<uint64_t, std::string> names;  // of pair slots, by key
  struct Pair {
    bool named = false;
    uint32_t layer = 0, datatype = 0;
  } firstPair[NAMED_LAYER_COUNT];  // the first line naming each slot
  std::string source;
};

// The map that Open and Save use, for the whole process.
LayerMap& activeLayerMap();

// Read a map file into map; false, with map unchanged, and error naming the
// file and the cause (with the line number for a bad line).
bool loadLayerMap(const char* path, LayerMap& map, std::string& error);

#endif
