#include "canvas/ScaleBar.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>

#include "canvas/StrokeFont.h"

namespace {

// The bar stands this many pixels from the canvas's left and bottom edges,
// clear of the frame and of the first row of pixels a user looks at.
const int MARGIN = 10;
// The end ticks, the label's capitals and the gap before the label, in
// pixels: readable, and low enough to leave the layout above it in view.
const int TICK = 5;
const double CAP_PIXELS = 9;
const int LABEL_GAP = 4;

// The length's digits: whole numbers as they are, fractions with as many
// decimals as the power of ten needs.
std::string lengthText(double length, int power) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", power < 0 ? -power : 0, length);
  return text;
}

// Lines of the characters of text from (x, y), CAP_PIXELS high.
void strokeText(const std::string& text, double x, double y) {
  const double unit = CAP_PIXELS / GLYPH_CAP_HEIGHT;
  for (size_t k = 0; k < text.size(); k++, x += GLYPH_ADVANCE * unit) {
    const char* s = glyphStrokes((unsigned char)text[k]);
    while (*s) {
      glBegin(GL_LINE_STRIP);
      for (; s[0] && s[0] != ' ' && s[1]; s += 2)
        glVertex2d(x + (s[0] - '0') * unit, y + (s[1] - '0' - GLYPH_DESCENT - 1) * unit);
      glEnd();
      while (*s == ' ') s++;
    }
  }
}

}  // namespace

ScaleBar scaleBarFor(double scale, const DisplayUnits& units) {
  ScaleBar bar;
  // Pixels per unit shown.
  const double perUnit = units.micrometres ? scale / units.micronsPerUnit : scale;
  if (!(perUnit > 0) || !std::isfinite(perUnit)) return bar;
  // The smallest 1, 2 or 5 times 10^k at least SCALE_BAR_MIN_PIXELS long:
  // the next is at most 2.5 times as long, so it stays under the maximum.
  int power = (int)std::floor(std::log10(SCALE_BAR_MIN_PIXELS / perUnit));
  const double steps[3] = {1, 2, 5};
  for (;; power++) {
    for (double step : steps) {
      const double length = step * std::pow(10.0, power);
      if (length * perUnit >= SCALE_BAR_MIN_PIXELS - 1e-9) {
        bar.length = length, bar.pixels = length * perUnit;
        bar.label = lengthText(length, power) + " " + units.name();
        return bar;
      }
    }
  }
}

void drawScaleBar(const ViewTransform& view, const DisplayUnits& units) {
  const ScaleBar bar = scaleBarFor(view.scale, units);
  if (bar.pixels <= 0) return;
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LINE_BIT);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, view.width, 0, view.height, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_LINE_STIPPLE);
  glDisable(GL_BLEND);
  glLineWidth(1.0f);
  glColor4ub(255, 255, 255, 255);
  // Lines through pixel centres, so that every pixel they cross lights.
  const double x0 = MARGIN + 0.5, x1 = x0 + std::round(bar.pixels), y = MARGIN + 0.5;
  glBegin(GL_LINES);
  glVertex2d(x0, y), glVertex2d(x1, y);
  glVertex2d(x0, y), glVertex2d(x0, y + TICK);
  glVertex2d(x1, y), glVertex2d(x1, y + TICK);
  glEnd();
  strokeText(bar.label, x1 + LABEL_GAP, y);
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopAttrib();
}
