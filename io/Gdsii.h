#ifndef KIVO_GDSII_H
#define KIVO_GDSII_H

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <iosfwd>
#include <string>

#include "io/LayerMap.h"
#include "io/LayoutFile.h"
#include "model/Layout.h"

// GDSII stream files: big-endian records of a 2-byte length (header
// included), a record type and a data type.
enum GdsRecordType {
  GDS_HEADER = 0x00, GDS_BGNLIB = 0x01, GDS_LIBNAME = 0x02, GDS_UNITS = 0x03,
  GDS_ENDLIB = 0x04, GDS_BGNSTR = 0x05, GDS_STRNAME = 0x06, GDS_ENDSTR = 0x07,
  GDS_BOUNDARY = 0x08, GDS_PATH = 0x09, GDS_SREF = 0x0A, GDS_AREF = 0x0B,
  GDS_TEXT = 0x0C, GDS_LAYER = 0x0D, GDS_DATATYPE = 0x0E, GDS_WIDTH = 0x0F,
  GDS_XY = 0x10, GDS_ENDEL = 0x11, GDS_SNAME = 0x12, GDS_COLROW = 0x13,
  GDS_NODE = 0x15, GDS_TEXTTYPE = 0x16, GDS_PRESENTATION = 0x17, GDS_STRING = 0x19,
  GDS_STRANS = 0x1A, GDS_MAG = 0x1B, GDS_ANGLE = 0x1C, GDS_PATHTYPE = 0x21,
  GDS_ELFLAGS = 0x26, GDS_NODETYPE = 0x2A, GDS_PROPATTR = 0x2B, GDS_PROPVALUE = 0x2C,
  GDS_BOX = 0x2D, GDS_BOXTYPE = 0x2E, GDS_PLEX = 0x2F, GDS_BGNEXTN = 0x30,
  GDS_ENDEXTN = 0x31, GDS_STRCLASS = 0x34, GDS_LAST_KNOWN = 0x3B,
};
enum GdsDataType {
  GDS_NO_DATA = 0, GDS_BITS = 1, GDS_INT2 = 2, GDS_INT4 = 3, GDS_REAL4 = 4, GDS_REAL8 = 5,
  GDS_ASCII = 6,
};

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

// Write one library with one cell: a BOUNDARY of five points per object, in
// layer and list order, on its kept pair or its slot's pair in map; an Opt's
// value as PROPATTR 1. stamp fills the dates of BGNLIB and BGNSTR. Objects
// whose far corner is outside the 32-bit range cannot be written: they are
// left out and counted in the result.
size_t writeGdsii(std::ostream& out, const Layer layers[LAYER_COUNT], const LayerMap& map,
                  const GdsLibraryInfo& info, std::time_t stamp);
// Save through saveSafely. When an object cannot be written nothing is
// saved, and errorNumber is EOVERFLOW.
SaveStatus saveGdsiiFile(const char* path, const Layer layers[LAYER_COUNT], const LayerMap& map,
                         const GdsLibraryInfo& info, int& errorNumber);

// The format a save to name uses: GDSII for .gds, .gds2 and .gdsii, text
// for .msk (any case), else the format the layout has now.
FileFormat saveFormatFor(const char* name, FileFormat current);

// 8-byte GDSII reals: sign, excess-64 base-16 exponent, 56-bit mantissa.
uint64_t toGdsReal(double value);
double fromGdsReal(uint64_t bits);

#endif
