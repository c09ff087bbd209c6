#ifndef KIVO_GDSELEMENT_H
#define KIVO_GDSELEMENT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "io/GdsRecords.h"

// One element of a structure, as its records gave it; XY stays in the file.
struct GdsElement {
  int type = 0;
  size_t offset = 0;  // of its start record
  bool hasLayer = false, hasName = false;
  uint32_t layer = 0, datatype = 0;  // datatype: also BOXTYPE, TEXTTYPE, NODETYPE
  int pathType = 0;
  int32_t width = 0;
  uint32_t strans = 0;
  double mag = 1, angle = 0;
  bool hasMag = false, hasAngle = false;
  uint64_t magBits = 0, angleBits = 0;  // the reals as the file had them
  int cols = 0, rows = 0;
  const unsigned char* name = nullptr;  // SNAME without padding
  size_t nameSize = 0;
  const unsigned char* xy = nullptr;
  size_t points = 0;
  // Records kept byte for byte, in file order: ELFLAGS and PLEX, a TEXT's
  // PATHTYPE and WIDTH, and the PROPATTR/PROPVALUE pairs. A writer puts
  // each kind back where the element's grammar has it (splitKeptRecords).
  std::string properties;
  // Optional records present (a shape's SHAPE_HAS_* bits) and what the
  // ones above do not hold.
  bool hasPathType = false, hasWidth = false, hasPresentation = false, hasStrans = false;
  bool hasBeginExtension = false, hasEndExtension = false;
  uint32_t presentation = 0;
  int32_t beginExtension = 0, endExtension = 0;
  const unsigned char* text = nullptr;  // STRING without padding
  size_t textSize = 0;
};

// Kept records split by where an element writes them: head (ELFLAGS, PLEX)
// after the start record, middle (a TEXT's PATHTYPE and WIDTH) after its
// PRESENTATION, tail (properties) before ENDEL.
void splitKeptRecords(const std::string& kept, std::string& head, std::string& middle, std::string& tail);

bool isGdsElementStart(int type);
// Records skipped wherever they stand outside an element.
bool isGdsOther(int type);

// The element whose start record the scanner just read, up to its ENDEL;
// false, with the scanner's error set, when it is malformed. Shapes need
// LAYER and XY, references SNAME and XY.
bool readGdsElement(GdsRecordScanner& scan, const GdsRecord& start, GdsElement& e);

#endif
