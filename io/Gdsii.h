#ifndef KIVO_GDSII_H
#define KIVO_GDSII_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "io/GdsRecords.h"
#include "io/GdsWriter.h"
#include "io/LayerMap.h"
#include "io/LayoutFile.h"
#include "model/Layout.h"

// What a read left out, by kind.
enum GdsSkipKind {
  SKIP_TEXT, SKIP_NODE, SKIP_POLYGON, SKIP_PATH, SKIP_TRANSFORM, SKIP_ARRAY, SKIP_MISSING_CELL,
  SKIP_RANGE, SKIP_KINDS,
};

// Flattening refuses designs with more objects than this.
const uint64_t GDS_OBJECT_LIMIT = 100000000;

struct GdsReadResult {
  std::string error;        // empty when the file was read
  int64_t errorOffset = -1; // byte offset of the bad record, -1 for none
  int errorNumber = 0;      // errno when the file could not be opened or read
  uint64_t objects = 0;
  // Elements left out, counted where they are defined; SKIP_RANGE counts
  // placed objects outside the 32-bit range.
  uint64_t skipped[SKIP_KINDS] = {};
  // One line per kind that was skipped ("3 text(s)"), empty when none.
  std::string skipReport() const;
  // The error with its offset, for the error box.
  std::string errorText() const;
};

// The data starts with a HEADER record.
bool isGdsii(const unsigned char* data, size_t size);
bool isGdsiiFile(const char* path);

// Read a GDSII library held in memory into the layers (enabled, empty):
// the hierarchy is flattened from every top cell, each object keeps its
// layer/datatype pair as its origin, and map chooses its slot. info gets
// the library's name, units and first top cell's name. On an error the
// layers stay empty.
GdsReadResult readGdsii(const unsigned char* data, size_t size, const LayerMap& map,
                        Layer layers[LAYER_COUNT], GdsLibraryInfo& info,
                        uint64_t objectLimit = GDS_OBJECT_LIMIT);
ReadStatus readGdsiiFile(const char* path, const LayerMap& map, Layer layers[LAYER_COUNT],
                         GdsLibraryInfo& info, GdsReadResult& result);

#endif
