#ifndef KIVO_GDSII_H
#define KIVO_GDSII_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/GdsRecords.h"
#include "io/GdsWriter.h"
#include "io/LayerMap.h"
#include "io/LayoutFile.h"
#include "model/Layout.h"

// What a read left out, by kind.
enum GdsSkipKind {
  SKIP_ARRAY, SKIP_MISSING_CELL,
  SKIP_RANGE, SKIP_KINDS,
};

// Reading refuses designs whose cells hold more objects than this, and
// flattening (a save as text) designs with more objects flattened.
const uint64_t GDS_OBJECT_LIMIT = 100000000;

// Told how far a read has come: done of total steps (bytes scanned, then
// shapes placed and instances entered); answers false to stop the read.
class GdsProgress {
public:
  virtual ~GdsProgress() = default;
  virtual bool advance(uint64_t done, uint64_t total) = 0;
};

struct GdsReadLimits {
  uint64_t objects = GDS_OBJECT_LIMIT;  // in all cells together, not flattened
  uint64_t memory = 0;  // bytes the cells may take; 0: what the system has
  GdsProgress* progress = nullptr;
  std::string cell;     // the cell to show; empty: the largest top cell
};

// Where the first element of a kind was left out: its cell, its first
// point and, for an object, its layer/datatype pair (-1: none).
struct GdsSkipPlace {
  std::string cell;
  int64_t x = 0, y = 0;
  int32_t layer = -1, datatype = -1;
};

struct GdsReadResult {
  std::string error;        // empty when the file was read
  int64_t errorOffset = -1; // byte offset of the bad record, -1 for none
  int errorNumber = 0;      // errno when the file could not be opened or read
  bool cancelled = false;   // the progress callback stopped the read (error says so)
  uint64_t objects = 0;     // made, in all cells together
  // Elements left out, counted where they are defined; SKIP_RANGE counts
  // placed objects outside the 32-bit range.
  uint64_t skipped[SKIP_KINDS] = {};
  GdsSkipPlace firstSkipped[SKIP_KINDS];
  // Cells referenced and not defined, made empty; in the report.
  std::vector<std::string> missingCells;
  bool unknownCell = false;  // the cell asked for is not in the file
  // One line per kind that was skipped, with the cell, layer and position
  // of its first, empty when none.
  std::string skipReport() const;
  // The error with its offset, for the error box.
  std::string errorText() const;
};

// The data starts with a HEADER record.
bool isGdsii(const unsigned char* data, size_t size);
bool isGdsiiFile(const char* path);

// Read a GDSII library held in memory, keeping its hierarchy: every
// structure becomes a cell of cells, SREF and AREF its instances (their
// magnification, angle and reflection as read), a cell referenced and not
// defined an empty cell. The shown cell is limits.cell, else the top cell
// with most objects flattened (the first in the file among equals); its own
// objects go into the layers (enabled, empty), its instances stay in
// cells. Each object keeps its layer/datatype pair as its origin, and map
// chooses its slot; each element's properties stay with the objects cut
// from it. info gets the library's name, units and the shown cell's name.
// A design beyond the limits, or whose cells need more memory than there is
// (the system's available memory and the process's limits), is refused
// before anything is made. On an error or a cancel the layers and cells
// stay empty. Without cells, only the shown cell's own objects are kept.
GdsReadResult readGdsii(const unsigned char* data, size_t size, const LayerMap& map,
                        Layer layers[LAYER_COUNT], GdsLibraryInfo& info,
                        const GdsReadLimits& limits = GdsReadLimits(), CellLibrary* cells = nullptr);
ReadStatus readGdsiiFile(const char* path, const LayerMap& map, Layer layers[LAYER_COUNT],
                         GdsLibraryInfo& info, GdsReadResult& result,
                         GdsProgress* progress = nullptr, CellLibrary* cells = nullptr,
                         const std::string& cell = std::string());

// Bytes this process may still allocate: the least of the system's
// available memory and what its address-space and data limits leave.
uint64_t availableMemory();

#endif
