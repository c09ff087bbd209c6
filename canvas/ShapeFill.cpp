#include "canvas/ShapeFill.h"

#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "canvas/PolygonCoverage.h"
#include "model/Shapes.h"

namespace {

const ViewTransform* painting = nullptr;
bool labels = true;

// The box outline in the current polygon mode, as Box::draw draws it.
void drawBox(const Shape& s, int64_t ox, int64_t oy) {
  const ObjectCorners c = cornersOf(s);
  glBegin(GL_QUADS);
  glVertex2f(drawCoord(c.x0, ox), drawCoord(c.y0, oy));
  glVertex2f(drawCoord(c.x1, ox), drawCoord(c.y0, oy));
  glVertex2f(drawCoord(c.x1, ox), drawCoord(c.y1, oy));
  glVertex2f(drawCoord(c.x0, ox), drawCoord(c.y1, oy));
  glEnd();
}

bool paint(Shape& s, int64_t ox, int64_t oy) {
  const ViewTransform& view = *painting;
  if (glIsEnabled(GL_LINE_STIPPLE)) {  // the selection pass
    drawBox(s, ox, oy);
    return true;
  }
  if (const Label* label = dynamic_cast<const Label*>(&s))
    return !labels || std::fabs(label->magnification) * label->unitsPerMicrometre * view.scale < LABEL_MIN_PIXELS;
  GLint mode[2];
  glGetIntegerv(GL_POLYGON_MODE, mode);
  Contours area;
  int units;
  if (mode[0] != GL_FILL || !s.area(area, units)) return false;  // outlines: draw() strokes them
  std::vector<PixelSpan> spans;
  PolygonCoverage(view).cover(area, units, spans);
  // Pixel edges in the projection's coordinates (loadProjection): a span's
  // quad holds exactly its pixels' centres.
  const double left = view.left(), bottom = view.bottom(), unit = 1.0 / view.scale;
  glBegin(GL_QUADS);
  for (const PixelSpan& p : spans) {
    const float x0 = (float)(left + p.x0 * unit), x1 = (float)(left + (p.x1 + 1) * unit);
    const float y0 = (float)(bottom + p.y * unit), y1 = (float)(bottom + (p.y + 1) * unit);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
  }
  glEnd();
  return true;
}

}  // namespace

void paintShapesIn(const ViewTransform* view) {
  painting = view;
  shapePainter = view ? paint : nullptr;
}

void showLabels(bool on) { labels = on; }
bool labelsShown() { return labels; }
