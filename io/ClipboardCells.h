#ifndef KIVO_CLIPBOARDCELLS_H
#define KIVO_CLIPBOARDCELLS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/Layout.h"

// What Kivo offers another Kivo window on the clipboard: the copied objects
// with every cell their instances reach, so that a paste keeps the
// hierarchy (other programs get io/ClipboardText.h's flattened text).
//
// Bytes: entries, each a u32 size (host order: the clipboard never leaves
// the machine's X server) then a recovery-journal payload
// (io/JournalFormat.h): a CELL entry per cell, each after the cells it
// places, then one APPEND entry per slot of the objects.

// The objects and the cells of cells they reach; the objects stay the
// caller's.
std::string clipboardCells(const std::vector<PlacedObject>& objects, const CellLibrary& cells);

// New objects, the caller's, and the cells they place in cells (empty at
// the call), instances by cells' indices; false, with nothing made, when
// the bytes are malformed.
bool objectsOfClipboardCells(const uint8_t* data, size_t size, CellLibrary& cells,
                             std::vector<PlacedObject>& objects);

#endif
