#ifndef KIVO_PATHOUTLINE_H
#define KIVO_PATHOUTLINE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/Contours.h"

// The ends of a GDSII path (its PATHTYPE): flush with the end points, round
// (a half disc), extended by half the width, or extended by the path's own
// BGNEXTN and ENDEXTN. Any other value draws as flush.
enum PathEnds : int16_t { ENDS_FLUSH = 0, ENDS_ROUND = 1, ENDS_HALF_WIDTH = 2, ENDS_CUSTOM = 4 };

// Outline points are in half layout units: an odd width on an axis-parallel
// path puts its edges half way between two units, and this keeps them there.
const int OUTLINE_UNITS_PER_UNIT = 2;

// Each round end is a half disc drawn as this many straight pieces: at the
// largest zoom (80 pixels a unit) a 10-unit wide path's arc then strays
// from the true circle by under 2 pixels, a 1-unit path's by a fifth of one.
const int ROUND_END_SEGMENTS = 16;

// A join whose mitre would reach further than this many half-widths from
// its corner point is cut square at that distance. Two keeps every turn of
// up to 120 degrees a plain mitre (90 degrees reaches 1.41, 45-degree
// layouts never exceed it) and stops a hairpin turn from throwing a spike
// far across its neighbours.
const double MITRE_LIMIT = 2.0;

// What a path covers. polygons: counter-clockwise contours in half units
// whose union (non-zero winding) is the path's area. centreLine: for a path
// of zero width only, its points (half units), to draw as one-pixel lines.
struct PathOutline {
  Contours polygons;
  std::vector<FinePoint> centreLine;
};

// The outline of a GDSII path: its centre line points, width (negative: the
// absolute width, which a magnification leaves unscaled; the caller that
// magnifies checks the sign), PATHTYPE and, for type 4, the extensions
// beyond the first and last point (negative ones shorten the path).
//
// The outline is the union of one rectangle per segment (width wide, the
// segment's length plus the end extensions long), a wedge at each inner
// corner that fills the outer side out to where the two rectangles' outer
// edges meet (the mitre, as GDSII tools draw a path's corners, so that a
// right-angle turn gets a square corner), and a half disc at each round end.
// Corner points are exact where they fall on the half-unit grid (axis-
// parallel segments of any width); others (slanted segments, 45 degrees
// included, whose offsets are irrational, and arcs) round to the nearest
// half unit, half away from the centre line, so that the outline stays
// symmetric about it. Repeated points are skipped; a single point gives a
// disc for round ends, a square across x for half-width ends, the extended
// length along x for custom ends and nothing for flush ends.
//
// Coordinates are 64-bit: a path near the edge of the 32-bit layout range
// reaches past it rather than wrapping.
void pathOutline(const Point* points, size_t count, int32_t width, int pathType, int32_t beginExtension,
                 int32_t endExtension, PathOutline& out);

#endif
