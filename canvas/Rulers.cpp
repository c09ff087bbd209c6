#include "canvas/Rulers.h"

#include <GL/gl.h>

#include <cmath>

#include "canvas/MoveDrag.h"
#include "canvas/StrokeFont.h"

namespace {

// Depth of the rulers: over the grid (0.88), under the band (0.95).
const float RULER_Z = 0.92f;
// The capitals of a length label are this many pixels high: readable, and
// small enough to leave the measured shapes visible.
const double LABEL_PIXELS = 12.0;
// The label starts this many pixels right of and above the far end, so
// that it does not cover the point measured to.
const double LABEL_GAP_PIXELS = 4.0;
// Ticks reach this many pixels to each side of an end: marks the exact
// point where the line alone would fade into an edge.
const double TICK_PIXELS = 4.0;

// Glyph grid rows are stored shifted up by GLYPH_DESCENT + 1 (StrokeFont.h).
const int GLYPH_ROW_SHIFT = GLYPH_DESCENT + 1;

void vertex(const ViewTransform& view, int32_t x, int32_t y, double pxRight = 0, double pxUp = 0) {
  glVertex2d((double)((int64_t)x - view.baseX()) + pxRight / view.scale,
             (double)((int64_t)y - view.baseY()) + pxUp / view.scale);
}

// Text in the stroke font with its baseline starting at (x, y) moved by the
// pixel offset; sizes in pixels whatever the zoom.
void drawText(const ViewTransform& view, int32_t x, int32_t y, double offX, double offY, const std::string& text) {
  const double unit = LABEL_PIXELS / GLYPH_CAP_HEIGHT;
  for (size_t i = 0; i < text.size(); i++) {
    const char* p = glyphStrokes((unsigned char)text[i]);
    const double left = offX + (double)i * GLYPH_ADVANCE * unit;
    while (*p) {
      glBegin(GL_LINE_STRIP);
      for (; p[0] && p[0] != ' ' && p[1]; p += 2)
        vertex(view, x, y, left + (p[0] - '0') * unit, offY + (p[1] - '0' - GLYPH_ROW_SHIFT) * unit);
      glEnd();
      while (*p == ' ') p++;
    }
  }
}

void drawRuler(const ViewTransform& view, const Ruler& r, const DisplayUnits& units) {
  const double dx = ((double)r.x1 - r.x0) * view.scale, dy = ((double)r.y1 - r.y0) * view.scale;
  const double length = std::hypot(dx, dy);
  // The ticks run across the line, in pixels.
  const double tx = length > 0 ? -dy / length * TICK_PIXELS : 0, ty = length > 0 ? dx / length * TICK_PIXELS : TICK_PIXELS;
  glBegin(GL_LINES);
  vertex(view, r.x0, r.y0);
  vertex(view, r.x1, r.y1);
  vertex(view, r.x0, r.y0, tx, ty);
  vertex(view, r.x0, r.y0, -tx, -ty);
  vertex(view, r.x1, r.y1, tx, ty);
  vertex(view, r.x1, r.y1, -tx, -ty);
  glEnd();
  drawText(view, r.x1, r.y1, LABEL_GAP_PIXELS, LABEL_GAP_PIXELS, rulerLabel(r.length(), units));
}

}  // namespace

int64_t Ruler::length() const {
  return std::llround(std::hypot((double)x1 - x0, (double)y1 - y0));
}

std::string rulerLabel(int64_t length, const DisplayUnits& units) {
  return units.format(length) + " " + units.name();
}

void Rulers::begin(int32_t x, int32_t y, int px, int py) {
  drag = Ruler{x, y, x, y};
  live = true;
  longEnough = false;
  pressPX = px, pressPY = py;
}

void Rulers::stretchTo(int32_t x, int32_t y, int px, int py, double scale) {
  drag.x1 = x;
  drag.y1 = y;
  const double pixels = std::hypot((double)x - drag.x0, (double)y - drag.y0) * scale;
  longEnough = draggedFar(pressPX, pressPY, px, py) && pixels > DRAG_MIN_PIXELS;
}

void Rulers::finish(bool keep) {
  if (keep && isLong()) rulers.push_back(drag);
  live = false;
}

void Rulers::draw(const ViewTransform& view, const DisplayUnits& units) const {
  if (rulers.empty() && !isLong()) return;
  glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
  glDisable(GL_LINE_STIPPLE);
  glDisable(GL_LINE_SMOOTH);
  glLineWidth(1.0f);
  glColor4ub(255, 255, 0, 255);
  glPushMatrix();
  glTranslatef(0.0f, 0.0f, RULER_Z);
  for (const Ruler& r : rulers) drawRuler(view, r, units);
  if (isLong()) drawRuler(view, drag, units);
  glPopMatrix();
  glPopAttrib();
}
