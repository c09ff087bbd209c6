#include "model/Rect.h"

namespace {

// Set a span to a size, normalising a negative size against the corner.
void normalise(int32_t& corner, int32_t& size, int32_t newSize) {
  if (newSize < 0) {
    size = wrapNeg(newSize);
    corner = wrapSub(corner, size);
  } else {
    size = newSize;
  }
}

}  // namespace

Rect::~Rect() {}

void Rect::moveBy(int32_t dx, int32_t dy) {
  x = wrapAdd(x, dx);
  y = wrapAdd(y, dy);
}

void Rect::moveTo(const Rect& r) {
  x = r.x;
  y = r.y;
}

void Rect::moveTo(int32_t nx, int32_t ny) {
  x = nx;
  y = ny;
}

void Rect::resizeBy(int32_t dw, int32_t dh) {
  normalise(x, w, wrapAdd(w, dw));
  normalise(y, h, wrapAdd(h, dh));
}

void Rect::setSize(int32_t nw, int32_t nh) {
  normalise(x, w, nw);
  normalise(y, h, nh);
}

void Rect::setSize(const Rect& r) {
  w = r.w;
  h = r.h;
}

void Rect::moveAndSize(int32_t dx, int32_t dy, int32_t nw, int32_t nh) {
  moveBy(dx, dy);
  setSize(nw, nh);
}

void Rect::setRect(int32_t nx, int32_t ny, int32_t nw, int32_t nh) {
  x = nx;
  y = ny;
  normalise(x, w, nw);
  normalise(y, h, nh);
}

void Rect::setRect(const Rect& r) {
  x = r.x;
  y = r.y;
  w = r.w;
  h = r.h;
}

void Rect::include(int32_t ix, int32_t iy, int32_t iw, int32_t ih) {
  if (isAllZero()) {
    setRect(ix, iy, iw, ih);
    return;
  }
  if (ix < x) {
    w = wrapAdd(w, wrapSub(x, ix));
    x = ix;
  }
  if (iy < y) {
    h = wrapAdd(h, wrapSub(y, iy));
    y = iy;
  }
  if (wrapAdd(ix, iw) > wrapAdd(x, w)) w = wrapSub(wrapAdd(ix, iw), x);
  if (wrapAdd(iy, ih) > wrapAdd(y, h)) h = wrapSub(wrapAdd(iy, ih), y);
}

void Rect::include(const Rect& r) { include(r.x, r.y, r.w, r.h); }

int Rect::contains(int32_t px, int32_t py) const {
  return x <= px && px <= wrapAdd(x, w) && y <= py && py <= wrapAdd(y, h);
}

int Rect::contains(const Rect& r) const {
  return contains(r.x, r.y) && contains(wrapAdd(r.x, r.w), wrapAdd(r.y, r.h));
}

int Rect::liesInside(const Rect& band) const { return band.contains(*this); }

int Rect::edgeAt(int32_t px, int32_t py) const {
  if (!contains(px, py)) return 0;
  int horizontal = px == x ? 4 : (px == wrapAdd(x, w) ? 16 : 0);
  int vertical = py == y ? 1 : (py == wrapAdd(y, h) ? 8 : 0);
  return horizontal | vertical;
}

void Rect::draw(int64_t, int64_t) {}
