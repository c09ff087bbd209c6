#ifndef KIVO_CONTOURS_H
#define KIVO_CONTOURS_H

#include <cstddef>
#include <cstdint>
#include <vector>

// A layout point in whole units, as files and objects hold it.
struct Point {
  int32_t x, y;
};
inline bool operator==(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }

// A point in fine units (a fixed number of them to a layout unit, given by
// whoever makes it), wide enough for outlines that reach past the 32-bit
// layout range: an outline is where its shape is, never wrapped.
struct FinePoint {
  int64_t x, y;
};
inline bool operator==(const FinePoint& a, const FinePoint& b) { return a.x == b.x && a.y == b.y; }

// Closed polygons stored one after another: sizes[i] points each, the last
// point joined back to the first. Together they cover what the non-zero
// winding rule says: a point is inside when the contours wind around it a
// non-zero number of times, counter-clockwise counting +1.
struct Contours {
  std::vector<FinePoint> points;
  std::vector<uint32_t> sizes;

  void clear() { points.clear(), sizes.clear(), closed = 0; }
  bool empty() const { return sizes.empty(); }
  // Close the contour of the points added since the last close; fewer than
  // three points enclose nothing and are dropped.
  void close() {
    size_t n = points.size() - closed;
    if (n < 3) points.resize(closed);
    else sizes.push_back((uint32_t)n), closed = points.size();
  }

private:
  size_t closed = 0;  // points in closed contours
};

// Whether p lies inside the contours or on one of their edges: edges count
// as inside, as they do for a rectangle's contains. Exact (128-bit products).
bool containsPoint(const Contours& c, FinePoint p);
// Whether p lies on the polyline through the points (exact).
bool onPolyline(const std::vector<FinePoint>& line, FinePoint p);

#endif
