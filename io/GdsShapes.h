#ifndef KIVO_GDSSHAPES_H
#define KIVO_GDSSHAPES_H

#include <cstdint>
#include <string>

#include "io/GdsElement.h"
#include "io/GdsRecords.h"
#include "model/Shapes.h"

// GDSII elements beside plain rectangles, both ways: a BOUNDARY that is not
// a rectangle as a Polygon with its exact points, a PATH as a Path, a TEXT
// as a Label, BOX and NODE as polygons flagged as such. Everything the
// element held comes back on writing: the records it had (a shape's
// gdsRecords bits), its reals bit for bit while their values stand, and the
// kept records (ELFLAGS, PLEX, a TEXT's PATHTYPE and WIDTH, properties) of
// its origin, each where the element's grammar puts it.

// The shape of an element (BOUNDARY, PATH, TEXT, BOX or NODE), new and
// without origin; unitsPerMicrometre sizes a label's letters.
Shape* gdsShapeOf(const GdsElement& e, double unitsPerMicrometre);

// Append a shape's element on the pair given, with the kept records.
void writeGdsShape(GdsRecordWriter& w, const Shape& shape, uint32_t layer, uint32_t datatype,
                   const std::string& kept);

// A real as read while it still gives the value, else the value encoded.
void putGdsReal(GdsRecordWriter& w, int type, double value, uint64_t bits);

#endif
