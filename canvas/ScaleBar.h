#ifndef KIVO_SCALEBAR_H
#define KIVO_SCALEBAR_H

#include <string>

#include "canvas/ViewTransform.h"
#include "model/DisplayUnits.h"

// The scale bar in the canvas's lower-left corner: a round length (1, 2 or
// 5 times a power of ten) of the units shown, drawn SCALE_BAR_MIN_PIXELS to
// SCALE_BAR_MAX_PIXELS long, with its label after it in the stroke font.
const double SCALE_BAR_MIN_PIXELS = 60;
const double SCALE_BAR_MAX_PIXELS = 150;

struct ScaleBar {
  double length = 0;   // in the units shown
  double pixels = 0;   // on the canvas
  std::string label;   // "2 um", "500 dbu"
};

// The bar for a view at `scale` pixels per database unit.
ScaleBar scaleBarFor(double scale, const DisplayUnits& units);

// Draw it over the finished frame in the current OpenGL context, the same
// whichever painter drew the layers; leaves the matrices and the enabled
// state as it found them.
void drawScaleBar(const ViewTransform& view, const DisplayUnits& units);

#endif
