#ifndef KIVO_CLIPBOARDTEXT_H
#define KIVO_CLIPBOARDTEXT_H

#include <cstddef>
#include <string>
#include <vector>

#include "model/Layout.h"

// What Kivo offers other programs as the clipboard's text and reads back
// from them: the objects as a layout file (io/LayoutFile.h), a BB line and
// one record per object. Objects keep their slot, value and kept code.

// The objects as layout file text; they stay the caller's. Instances (slot
// LAYER_INSTANCES) of cells give their flattened objects.
std::string clipboardText(const std::vector<PlacedObject>& objects, const CellLibrary* cells = nullptr);

// New objects, the caller's, for the records of layout file text, in slot
// order; none when the text holds no record. On std::bad_alloc nothing is
// left allocated.
std::vector<PlacedObject> objectsOfClipboardText(const char* text, size_t size);

#endif
