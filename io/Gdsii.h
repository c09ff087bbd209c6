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
// ...and designs that take more steps than this to flatten (a step: one
// shape placed, or one instance entered). An array of one-shape cells at
// the object limit takes twice the limit: one instance and one shape per
// object; only hierarchies that place little for their instances go beyond.
const uint64_t GDS_WORK_PER_OBJECT = 2;

// Told how far a read has come: done of total steps (bytes scanned, then
// shapes placed and instances entered); answers false to stop the read.
class GdsProgress {
public:
  virtual ~GdsProgress() = default;
  virtual bool advance(uint64_t done, uint64_t total) = 0;
};

struct GdsReadLimits {
  uint64_t objects = GDS_OBJECT_LIMIT;  // the work limit follows from it
  uint64_t memory = 0;  // bytes the flattened objects may take; 0: what the system has
  GdsProgress* progress = nullptr;
};

struct GdsReadResult {
  std::string error;        // empty when the file was read
  int64_t errorOffset = -1; // byte offset of the bad record, -1 for none
  int errorNumber = 0;      // errno when the file could not be opened or read
  bool cancelled = false;   // the progress callback stopped the read (error says so)
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
// the library's name, units and first top cell's name. Each element's
// properties stay with the objects cut from it. A design beyond the limits,
// or whose objects need more memory than there is (the system's available
// memory and the process's limits), is refused before anything is placed.
// On an error or a cancel the layers stay empty.
GdsReadResult readGdsii(const unsigned char* data, size_t size, const LayerMap& map,
                        Layer layers[LAYER_COUNT], GdsLibraryInfo& info,
                        const GdsReadLimits& limits = GdsReadLimits());
ReadStatus readGdsiiFile(const char* path, const LayerMap& map, Layer layers[LAYER_COUNT],
                         GdsLibraryInfo& info, GdsReadResult& result,
                         GdsProgress* progress = nullptr);

// Bytes this process may still allocate: the least of the system's
// available memory and what its address-space and data limits leave.
uint64_t availableMemory();

#endif
