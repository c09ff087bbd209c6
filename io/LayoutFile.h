#ifndef KIVO_LAYOUTFILE_H
#define KIVO_LAYOUTFILE_H

#include <iosfwd>

#include "model/Layer.h"
#include "model/LayerTable.h"

// Write the BB line and every layer's records.
void writeLayout(std::ostream& out, Layer layers[LAYER_COUNT]);

#endif
