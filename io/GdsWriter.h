#ifndef KIVO_GDSWRITER_H
#define KIVO_GDSWRITER_H

#include <cstddef>
#include <ctime>
#include <iosfwd>

#include "io/LayerMap.h"
#include "io/LayoutFile.h"
#include "model/Layout.h"

// Write one library: every cell of cells (children before their parents),
// or one cell named by info without them. A cell's objects are a BOUNDARY
// of five points each, in layer and list order, on its kept pair or its
// slot's pair in map, with its kept properties; an Opt's value as property
// 1 (the kept text while the value is the one read). Its instances follow:
// an SREF, or an AREF with its three points, with STRANS, MAG and ANGLE as
// read. The shown cell's objects and instances are those of layers
// (LAYER_INSTANCES included when cells are given). stamp fills the dates of
// BGNLIB and BGNSTR. Objects whose far corner is outside the 32-bit range
// cannot be written: they are left out and counted in the result.
size_t writeGdsii(std::ostream& out, const Layer layers[LAYER_COUNT], const LayerMap& map,
                  const GdsLibraryInfo& info, std::time_t stamp, const CellLibrary* cells = nullptr);
// Save through saveSafely. When an object cannot be written nothing is
// saved, and errorNumber is EOVERFLOW.
SaveStatus saveGdsiiFile(const char* path, const Layer layers[LAYER_COUNT], const LayerMap& map,
                         const GdsLibraryInfo& info, int& errorNumber,
                         const CellLibrary* cells = nullptr);

// The format a save to name uses: GDSII for .gds, .gds2 and .gdsii, text
// for .msk (any case), else the format the layout has now.
FileFormat saveFormatFor(const char* name, FileFormat current);

#endif
