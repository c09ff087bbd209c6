#ifndef KIVO_SHAPEFILL_H
#define KIVO_SHAPEFILL_H

#include "canvas/ViewTransform.h"

// Polygons, paths and labels as a canvas paints them, in both painters
// alike (they reach each shape through its draw()): in fill mode, a
// polygon's or path's area as the exact pixel spans PolygonCoverage gives,
// one quad per span, so that a pixel takes the colour when the shape holds
// its centre; a path of zero width as its one-pixel centre line; a label in
// the stroke font, unless labels are off or its capitals would be lower
// than LABEL_MIN_PIXELS. A selected shape's selection outline (the pass
// that stipples lines) is the dashed outline of its box, as a box's is.

// Labels lower than this many pixels are left out: below it the letters
// run together into a smudge that hides the shapes beneath.
const double LABEL_MIN_PIXELS = 5.0;

// A click within this many pixels of a label's anchor picks the label: a
// finger's width of slack around the small anchor cross, which also finds
// labels too small to be drawn.
const double LABEL_CLICK_PIXELS = 4.0;

// The view the canvas paints now; null after the paint, so that draw()
// elsewhere strokes outlines.
void paintShapesIn(const ViewTransform* view);
// View > Labels.
void showLabels(bool on);
bool labelsShown();

#endif
