#ifndef KIVO_RECT_H
#define KIVO_RECT_H

#include <cstdint>

// Two's-complement arithmetic on layout coordinates: wraps on overflow,
// computed in unsigned so that it is never undefined behaviour.
inline int32_t wrapAdd(int32_t a, int32_t b) { return (int32_t)((uint32_t)a + (uint32_t)b); }
inline int32_t wrapSub(int32_t a, int32_t b) { return (int32_t)((uint32_t)a - (uint32_t)b); }
// A layout coordinate relative to a drawing base, as OpenGL receives it.
inline float drawCoord(int32_t v, int64_t base) { return (float)((int64_t)v - base); }
inline int32_t wrapNeg(int32_t a) { return (int32_t)(0u - (uint32_t)a); }
// Whether a value computed in 64 bits is a layout coordinate.
inline bool fitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// An axis-aligned integer rectangle with a selection flag, the base of every
// layout object.
//
// Geometry contract:
// - The rectangle covers x to x + w and y to y + h, both ends included.
// - A rectangle whose x, y, w and h are all 0 counts as empty for include.
// - Normalising operations turn a negative size into its absolute value and
//   move the corner down by it, so the same span stays covered.
// - All arithmetic wraps (two's complement); nothing clamps or checks.
class Rect {
public:
  int32_t x = 0;
  int32_t y = 0;
  int32_t w = 0;
  int32_t h = 0;
  int32_t selected = 0;

  Rect() = default;
  Rect(const Rect&) = default;
  Rect& operator=(const Rect&) = default;
  virtual ~Rect();

  virtual void moveBy(int32_t dx, int32_t dy);
  virtual void moveTo(const Rect& r);
  virtual void moveTo(int32_t nx, int32_t ny);
  virtual void resizeBy(int32_t dw, int32_t dh);
  virtual void setSize(int32_t nw, int32_t nh);
  virtual void setSize(const Rect& r);
  virtual void moveAndSize(int32_t dx, int32_t dy, int32_t nw, int32_t nh);
  virtual void setRect(int32_t nx, int32_t ny, int32_t nw, int32_t nh);
  virtual void setRect(const Rect& r);
  // Grow to the union with (x, y, w, h), taken as normalised. An all-zero
  // receiver takes the argument over (normalised); an all-zero argument
  // still pulls a non-empty receiver out to the point (0, 0).
  virtual void include(int32_t ix, int32_t iy, int32_t iw, int32_t ih);
  virtual void include(const Rect& r);
  // 1 when x <= px <= x + w and y <= py <= y + h, else 0.
  virtual int contains(int32_t px, int32_t py) const;
  // 1 when both corners (r.x, r.y) and (r.x + r.w, r.y + r.h) are contained.
  virtual int contains(const Rect& r) const;
  // 1 when the object counts as lying inside band, as band selection asks:
  // its whole rectangle (band.contains(*this)); a label answers for its
  // anchor alone.
  virtual int liesInside(const Rect& band) const;
  // Edge bits of a contained point: 4 on x, else 16 on x + w; 1 on y, else
  // 8 on y + h; 0 for a point outside or strictly inside.
  virtual int edgeAt(int32_t px, int32_t py) const;
  // Draw with (ox, oy) subtracted from every vertex in integer arithmetic
  // before it becomes a float (drawCoord), so that OpenGL sees small exact
  // numbers wherever the layout lies.
  virtual void draw(int64_t ox, int64_t oy);

  void select() { selected = 1; }
  void deselect() { selected = 0; }
  void toggleSelect() { selected = selected ? 0 : 1; }
  int32_t isSelected() const { return selected; }
  int32_t getX() const { return x; }
  int32_t getY() const { return y; }
  int32_t getW() const { return w; }
  int32_t getH() const { return h; }
  bool isAllZero() const { return x == 0 && y == 0 && w == 0 && h == 0; }
};

#endif
