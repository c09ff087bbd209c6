#ifndef KIVO_LAYOUTFILE_H
#define KIVO_LAYOUTFILE_H

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

#include "model/Layer.h"
#include "io/RegularFile.h"
#include "io/SafeSave.h"
#include "model/LayerTable.h"
#include "model/Untitled.h"

// Layout files: one "BB(x,y,w,h)" line, then one "REC(x,y,w,h,code)" line
// per object ("REC(x,y,w,h,OP,value)" on the options layer), in layer order
// and, within a layer, in the order the objects were added.

// Write the BB line and every layer's records. The stream is not flushed;
// the caller checks its state afterwards.
void writeLayout(std::ostream& out, const Layer layers[LAYER_COUNT]);

// What a read found. Lines that are not records and hold no "REC(" (the
// BB line, blank or foreign lines) are ignored silently; lines that start
// with "R" or hold "REC(" but give no object are skipped and counted.
struct ReadResult {
  bool ioError = false;    // the source failed; the layers hold what came before
  int errorNumber = 0;     // errno of the failure, when there was one
  long records = 0;        // objects added
  long skippedLines = 0;   // record lines that gave no object
  long firstSkippedLine = 0;  // 1-based line number of the first, 0 when none
  long unknownObjects = 0;    // objects whose code the layer table does not know
  long unknownCodeCount = 0;  // distinct such codes
  std::vector<std::string> unknownCodes;  // the first ten of them, in file order
};

// Append the records of a file held in memory to the layers, which the
// caller has enabled (a disabled layer refuses every object).
ReadResult readLayout(const char* data, size_t size, Layer layers[LAYER_COUNT]);
// The same from a stream, read in blocks of blockSize bytes (small blocks
// only make sense for testing the reader at block boundaries).
ReadResult readLayout(std::istream& in, Layer layers[LAYER_COUNT], size_t blockSize = 1 << 20);

// Read the file at path into the layers; result.errorNumber tells the cause
// of a failure. Only regular files are read (io/RegularFile.h). On a
// failure the layers hold a partial layout: read into fresh layers and keep
// them only on READ_OK.
// Large files are read in two parts at once, the second part from the
// first line start after the middle; secondPartFrom > 0 puts that search
// at this offset instead, whatever the size (so tests read small files so).
ReadStatus readLayoutFile(const char* path, Layer layers[LAYER_COUNT], ReadResult& result,
                          size_t secondPartFrom = 0);

// Save the layout as a .msk file through saveSafely.
SaveStatus saveLayoutFile(const char* path, const Layer layers[LAYER_COUNT], int& errorNumber);

#endif
