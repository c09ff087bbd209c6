#include "model/MouseRect.h"

#include <GL/gl.h>

MouseRect::~MouseRect() {}

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
