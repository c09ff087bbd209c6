#ifndef KIVO_CELLEDITS_H
#define KIVO_CELLEDITS_H

#include <string>
#include <utility>
#include <vector>

#include "model/Layout.h"

// Objects of one slot, in list order.
struct SlotObjects {
  int slot;
  std::vector<GroupNode*> nodes;
};

// The changes of the library beneath the hierarchy edits: Group's steps make
// and reverse them, the recovery journal's replay repeats recorded ones.
// Each tells the document's observer.
class CellChanges {
public:
  explicit CellChanges(Layout& l) : layout(l) {}
  // A new last cell named name holding these objects (taken over); its
  // index.
  uint32_t addCell(const std::string& name, const std::vector<SlotObjects>& content);
  // Take the last cell out of the library. Its objects are unlinked from it
  // and left to the caller when keep, else deleted.
  void dropLastCell(bool keep);
  // Show cell i in the layers (Layout::showCell without the history).
  void show(uint32_t i);

private:
  Layout& layout;
};

#endif
