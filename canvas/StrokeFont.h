#ifndef KIVO_STROKEFONT_H
#define KIVO_STROKEFONT_H

#include <cstdint>
#include <string>
#include <vector>

#include "model/Rect.h"

// Kivo's built-in stroke font for labels: each printable ASCII character is
// a few polylines on a small grid, so that a label draws as line segments
// at any size, angle and reflection, with no font files to find.
//
// The grid: x from 0 to GLYPH_WIDTH, capitals from the baseline 0 up to
// GLYPH_CAP_HEIGHT, descenders down to -GLYPH_DESCENT; each character
// advances GLYPH_ADVANCE, which leaves two steps between neighbours.
const int GLYPH_WIDTH = 4;
const int GLYPH_CAP_HEIGHT = 6;
const int GLYPH_DESCENT = 2;
const int GLYPH_ADVANCE = 6;

// The polylines of a character: pairs of digits (x, then y + GLYPH_DESCENT
// + 1) one after another along a polyline, polylines separated by spaces.
// Characters outside printable ASCII get a hollow box.
const char* glyphStrokes(unsigned char c);

// Where the text lies beside its anchor point (the GDSII PRESENTATION
// word: bits 0-1 horizontal, 2-3 vertical; the value 3 reads as 0).
enum HorizontalJustification { JUSTIFY_LEFT = 0, JUSTIFY_CENTRE = 1, JUSTIFY_RIGHT = 2 };
// Top: the capitals' top at the anchor; middle: their middle; bottom: the
// baseline at the anchor, descenders below it.
enum VerticalJustification { JUSTIFY_TOP = 0, JUSTIFY_MIDDLE = 1, JUSTIFY_BOTTOM = 2 };

// The STRANS bit that reflects about the x axis, before the rotation.
const uint16_t STRANS_REFLECT = 0x8000;

// A GDSII TEXT element as a label: its string, anchor point,
// PRESENTATION, STRANS, MAG (1 when absent) and ANGLE (degrees counter-
// clockwise, 0 when absent). The absolute-magnification and absolute-angle
// bits of STRANS only matter under a reference and are the caller's.
struct LabelText {
  std::string text;
  int32_t x = 0, y = 0;
  uint16_t presentation = 0;
  uint16_t strans = 0;
  double magnification = 1.0;
  double angle = 0.0;
};

struct StrokeSegment {
  double x0, y0, x1, y1;
};

// The anchor cross's arms reach a fifth of the capitals' height each way:
// the point is easy to find beside the letters and is not read as one.
const double ANCHOR_ARM_PER_HEIGHT = 0.2;

// The label's strokes in layout units, appended to out: the capitals are
// |MAG| micrometres high (unitsPerMicrometre layout units each), placed
// by the justification, reflected, rotated and moved to the anchor in
// that order; then an upright cross on the anchor. Returns the bounding box
// of everything appended (the anchor alone for an empty string at zero
// magnification), whole units outward, saturated to the 32-bit range: the
// box a click must fall in to reach the label. Its size is never
// normalised: read it unsigned where the box spans more than 2^31 units.
Rect labelStrokes(const LabelText& label, double unitsPerMicrometre, std::vector<StrokeSegment>& out);

#endif
