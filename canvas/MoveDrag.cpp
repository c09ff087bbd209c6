#include "canvas/MoveDrag.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdlib>

#include "model/Layout.h"

namespace {

// Depths of the moving objects' fill and outline: over the grid (0.88),
// under the rulers (0.92); the outline in front of its own fill.
const float MOVE_FILL_Z = 0.90f;
const float MOVE_OUTLINE_Z = 0.905f;
// Drawing each object in immediate mode costs about a microsecond under
// software OpenGL: up to this many keep a frame within a tenth of a second.
const size_t MOVE_PREVIEW_LIMIT = 100000;

bool reached(const Layout& layout, int only, int i) {
  return (only < 0 || i == only) && layout.layer(i).isEnabled();
}

// The box of a node displaced, outlined.
void outlineBox(const Rect& r, int64_t ox, int64_t oy) {
  const float x0 = drawCoord(r.x, ox), y0 = drawCoord(r.y, oy);
  const float x1 = drawCoord(wrapAdd(r.x, r.w), ox), y1 = drawCoord(wrapAdd(r.y, r.h), oy);
  glBegin(GL_LINE_LOOP);
  glVertex2f(x0, y0);
  glVertex2f(x1, y0);
  glVertex2f(x1, y1);
  glVertex2f(x0, y1);
  glEnd();
}

}  // namespace

void MoveDrag::begin(int32_t x, int32_t y, int px, int py) {
  active = true;
  fromX = x, fromY = y;
  pressPX = px, pressPY = py;
  dx = dy = 0;
}

bool MoveDrag::follow(int32_t x, int32_t y) {
  const int64_t nx = (int64_t)x - fromX, ny = (int64_t)y - fromY;
  if (!fitsInt32(nx) || !fitsInt32(ny)) return false;
  dx = (int32_t)nx, dy = (int32_t)ny;
  return true;
}

bool draggedFar(int ax, int ay, int px, int py) {
  return std::abs(px - ax) > DRAG_MIN_PIXELS || std::abs(py - ay) > DRAG_MIN_PIXELS;
}

void drawMovePreview(const ViewTransform& view, const Layout& layout, int only, int32_t dx, int32_t dy) {
  const int64_t ox = view.baseX() - dx, oy = view.baseY() - dy;
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT | GL_LINE_BIT | GL_CURRENT_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_LINE_STIPPLE);
  glPushMatrix();
  if (layout.selectedCount(only) > MOVE_PREVIEW_LIMIT) {
    Rect bounds;
    for (int i = 0; i < SLOT_COUNT; i++) {
      if (!reached(layout, only, i)) continue;
      for (GroupNode* node = layout.layer(i).first(); node; node = node->next())
        if (node->isSelected()) bounds.include(*node);
    }
    glColor4ub(255, 255, 255, 255);
    glTranslatef(0.0f, 0.0f, MOVE_OUTLINE_Z);
    outlineBox(bounds, ox, oy);
  } else {
    // Fills first, each layer in its colour and in drawing order, blending
    // over each other as the layers do (so they leave the depth buffer
    // alone), then every outline in white.
    glTranslatef(0.0f, 0.0f, MOVE_FILL_Z);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDepthMask(GL_FALSE);
    for (int i : drawingOrder()) {
      if (!reached(layout, only, i)) continue;
      setGLColor(layout.layer(i).getColor());
      for (GroupNode* node = layout.layer(i).first(); node; node = node->next())
        if (node->isSelected()) node->draw(ox, oy);
    }
    glDepthMask(GL_TRUE);
    glTranslatef(0.0f, 0.0f, MOVE_OUTLINE_Z - MOVE_FILL_Z);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glColor4ub(255, 255, 255, 255);
    for (int i = 0; i < SLOT_COUNT; i++) {
      if (!reached(layout, only, i)) continue;
      for (GroupNode* node = layout.layer(i).first(); node; node = node->next()) {
        if (!node->isSelected()) continue;
        if (i == LAYER_INSTANCES) outlineBox(*node, ox, oy);
        else node->draw(ox, oy);
      }
    }
  }
  glPopMatrix();
  glPopAttrib();
}
