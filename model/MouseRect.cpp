#include "model/MouseRect.h"

#include <GL/gl.h>

MouseRect::~MouseRect() {}

// Outline the band, dashed for a selection drag and solid otherwise; the
// caller sets colour, depth and the stipple pattern.
void MouseRect::draw(int64_t ox, int64_t oy) {
  if ((mode & 0xFF) == 0) return;
  glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT);
  if ((mode & 0xF00) == TRACK_SELECT_FAMILY)
    glEnable(GL_LINE_STIPPLE);
  else
    glDisable(GL_LINE_STIPPLE);
  float x0 = drawCoord(x, ox), y0 = drawCoord(y, oy);
  float x1 = drawCoord(wrapAdd(x, w), ox), y1 = drawCoord(wrapAdd(y, h), oy);
  glBegin(GL_LINE_LOOP);
  glVertex2f(x0, y0);
  glVertex2f(x1, y0);
  glVertex2f(x1, y1);
  glVertex2f(x0, y1);
  glEnd();
  glPopAttrib();
}

void MouseRect::stretchTo(int32_t px, int32_t py) {
  setRect(pressX, pressY, wrapSub(px, pressX), wrapSub(py, pressY));
}

void MouseRect::press(int32_t& state, int32_t px, int32_t py) {
  if (leftState == 0 && rightState == 0) {
    pressX = px;
    pressY = py;
    setRect(px, py, 0, 0);
    state = 1;
  } else {
    state = -1;
  }
  curX = px;
  curY = py;
}

void MouseRect::release(int32_t& state, int32_t px, int32_t py) {
  if (state == 1) stretchTo(px, py);
  state = 0;
  curX = px;
  curY = py;
}

void MouseRect::leftPress(int32_t px, int32_t py) { press(leftState, px, py); }
void MouseRect::leftRelease(int32_t px, int32_t py) { release(leftState, px, py); }
void MouseRect::rightPress(int32_t px, int32_t py) { press(rightState, px, py); }
void MouseRect::rightRelease(int32_t px, int32_t py) { release(rightState, px, py); }

void MouseRect::track(int32_t px, int32_t py) {
  if (leftState >= 1 || rightState >= 1) stretchTo(px, py);
  curX = px;
  curY = py;
}

int32_t MouseRect::setMode(int32_t m) {
  int32_t old = mode;
  mode = m;
  return old;
}
