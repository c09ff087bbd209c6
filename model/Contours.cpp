#include "model/Contours.h"

#include <algorithm>

namespace {

// The sign of (b - a) x (p - a): positive when p lies left of the line a->b.
int side(FinePoint a, FinePoint b, FinePoint p) {
  __int128 cross = (__int128)(b.x - a.x) * (p.y - a.y) - (__int128)(b.y - a.y) * (p.x - a.x);
  return cross > 0 ? 1 : cross < 0 ? -1 : 0;
}

bool onSegment(FinePoint a, FinePoint b, FinePoint p) {
  return side(a, b, p) == 0 && p.x >= std::min(a.x, b.x) && p.x <= std::max(a.x, b.x) &&
         p.y >= std::min(a.y, b.y) && p.y <= std::max(a.y, b.y);
}

}  // namespace

bool containsPoint(const Contours& c, FinePoint p) {
  int winding = 0;
  const FinePoint* points = c.points.data();
  for (uint32_t n : c.sizes) {
    for (uint32_t i = 0; i < n; i++) {
      FinePoint a = points[i], b = points[i + 1 < n ? i + 1 : 0];
      if (onSegment(a, b, p)) return true;
      // Edges crossing the horizontal line through p, lower end included.
      if (a.y <= p.y && b.y > p.y && side(a, b, p) > 0) winding++;
      else if (b.y <= p.y && a.y > p.y && side(a, b, p) < 0) winding--;
    }
    points += n;
  }
  return winding != 0;
}

bool onPolyline(const std::vector<FinePoint>& line, FinePoint p) {
  for (size_t i = 0; i < line.size(); i++)
    if (onSegment(line[i], line[i + 1 < line.size() ? i + 1 : i], p)) return true;
  return false;
}
