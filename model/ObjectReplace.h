#ifndef KIVO_OBJECTREPLACE_H
#define KIVO_OBJECTREPLACE_H

#include <cstdint>

#include "model/Layout.h"

// Objects that change in place (Properties) or move to another layer (Move
// to Current Layer): each is replaced by a new object in one undoable step
// through the document (Layout::replaceObject, Layout::moveSelectedToLayer),
// so the recovery journal sees a removal and an insertion.

// A copy of node fit for slot: a rectangle becomes the slot's class (a
// marker on the options layer, a box elsewhere; a marker keeps its value),
// other objects keep theirs. Moved to another slot, it forgets the code and
// GDSII pair its file gave it (properties stay), so a save writes the new
// layer's. The copy keeps the selection.
GroupNode* objectForSlot(const GroupNode& node, int from, int to);

// Whether cell `from` places cell `target`, directly or further down (a
// cell counts as placing itself).
bool cellPlaces(const CellLibrary& cells, uint32_t from, uint32_t target);

#endif
