#ifndef KIVO_OBJECTORIGIN_H
#define KIVO_OBJECTORIGIN_H

#include <cstdint>
#include <string>

// What a file said of an object's layer beyond the slot it landed on, so
// that a save writes it back unchanged: the whole code field of a .msk
// record on the unknown slot, and the layer/datatype pair of a GDSII
// element, with the element's properties. Objects carry the number of their origin (GroupNode::origin);
// 0 is "none": the slot's own code and pair.
struct ObjectOrigin {
  std::string code;          // empty: none kept
  int32_t gdsLayer = -1;     // -1: no pair kept
  int32_t gdsDatatype = -1;
  // The element's PROPATTR/PROPVALUE records, byte for byte as the GDSII
  // file gave them (headers included); empty: none. Every object cut from
  // one element shares them.
  std::string gdsProperties;
  bool operator==(const ObjectOrigin& o) const {
    return code == o.code && gdsLayer == o.gdsLayer && gdsDatatype == o.gdsDatatype &&
           gdsProperties == o.gdsProperties;
  }
};

// The number of an origin in the process-wide table, adding it when new;
// 0 for the empty origin. Origins are never removed, so a number stays
// valid for undo, the clipboard and the recovery journal.
uint32_t internOrigin(const ObjectOrigin& origin);
// The origin of a number; the empty origin for 0 or an unknown number.
const ObjectOrigin& originOf(uint32_t number);

#endif
