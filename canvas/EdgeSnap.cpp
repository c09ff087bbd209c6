#include "canvas/EdgeSnap.h"

#include <cmath>
#include <limits>
#include <vector>
#include <typeinfo>

#include "model/Layout.h"
#include "model/Shapes.h"
#include "model/TopmostShape.h"

namespace {

// The nearest edge point seen so far.
struct Nearest {
  double px, py, reach;
  double edgeDistance = std::numeric_limits<double>::infinity();
  double edgeX = 0, edgeY = 0;

  bool near(double x0, double y0, double x1, double y1) const {
    return px >= x0 - reach && px <= x1 + reach && py >= y0 - reach && py <= y1 + reach;
  }
  // The edge from (ax, ay) to (bx, by).
  void edge(double ax, double ay, double bx, double by) {
    double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / length2 : 0;
    t = std::fmax(0.0, std::fmin(1.0, t));
    double x = ax + t * dx, y = ay + t * dy, d = std::hypot(x - px, y - py);
    if (d <= reach && d < edgeDistance) edgeDistance = d, edgeX = x, edgeY = y;
  }
  void box(double x0, double y0, double x1, double y1) {
    if (!near(x0, y0, x1, y1)) return;
    edge(x0, y0, x1, y0);
    edge(x1, y0, x1, y1);
    edge(x1, y1, x0, y1);
    edge(x0, y1, x0, y0);
  }
};

void shapeEdges(const Shape& shape, Nearest& nearest) {
  Contours contours;
  int fine = 1;
  if (shape.area(contours, fine)) {
    size_t at = 0;
    for (uint32_t n : contours.sizes) {
      for (uint32_t k = 0; k < n; k++) {
        const FinePoint& a = contours.points[at + k];
        const FinePoint& b = contours.points[at + (k + 1) % n];
        nearest.edge((double)a.x / fine, (double)a.y / fine, (double)b.x / fine, (double)b.y / fine);
      }
      at += n;
    }
    return;
  }
  if (const Path* path = dynamic_cast<const Path*>(&shape)) {
    const std::vector<Point>& p = path->points;
    for (size_t k = 0; k + 1 < p.size(); k++) nearest.edge(p[k].x, p[k].y, p[k + 1].x, p[k + 1].y);
    if (p.size() == 1) nearest.edge(p[0].x, p[0].y, p[0].x, p[0].y);
  }
}

int32_t roundedCoordinate(double v) {
  double r = std::round(v);
  return r <= (double)INT32_MIN ? INT32_MIN : r >= (double)INT32_MAX ? INT32_MAX : (int32_t)r;
}

}  // namespace

bool snapToEdge(const Layout& layout, TopmostFinder& shapes, double reach, double px, double py, int32_t& x,
                int32_t& y) {
  Nearest nearest{px, py, reach};
  std::vector<bool> enabled(LAYER_COUNT);
  for (int i = 0; i < LAYER_COUNT; i++) enabled[i] = layout.layer(i).isEnabled() != 0;
  const int32_t x0 = roundedCoordinate(std::floor(px - reach)), y0 = roundedCoordinate(std::floor(py - reach));
  const int32_t x1 = roundedCoordinate(std::ceil(px + reach)), y1 = roundedCoordinate(std::ceil(py + reach));
  shapes.forEachNear(layout, x0, y0, x1, y1, enabled, [&](int, const GroupNode& node) {
    const double bx0 = node.x, by0 = node.y, bx1 = bx0 + node.w, by1 = by0 + node.h;
    if (!nearest.near(std::fmin(bx0, bx1), std::fmin(by0, by1), std::fmax(bx0, bx1), std::fmax(by0, by1))) return;
    if (const Shape* shape = dynamic_cast<const Shape*>(&node))
      shapeEdges(*shape, nearest);
    else
      nearest.box(std::fmin(bx0, bx1), std::fmin(by0, by1), std::fmax(bx0, bx1), std::fmax(by0, by1));
  });
  if (nearest.edgeDistance <= reach) {
    x = roundedCoordinate(nearest.edgeX), y = roundedCoordinate(nearest.edgeY);
    return true;
  }
  return false;
}
