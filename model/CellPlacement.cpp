#include "model/CellPlacement.h"

#include <cmath>

#include "model/Shapes.h"

namespace {

int32_t wrapped(int64_t v) { return (int32_t)(uint32_t)(uint64_t)v; }

double angleOf(const CellTransform& t) { return t.hasAngle ? t.angle : 90.0 * (t.quarterTurns & 3); }

}  // namespace

Point ElementPlacement::point(int32_t px, int32_t py) const {
  int64_t ox, oy;
  transform.apply(px, py, ox, oy);
  return Point{wrapped(ox + ex), wrapped(oy + ey)};
}

GroupNode* ElementPlacement::object(const GroupNode& node) const {
  const bool exact = transform.integral();
  if (const Polygon* p = dynamic_cast<const Polygon*>(&node)) {
    Polygon* copy = static_cast<Polygon*>(cloneShape(*p));
    std::vector<Point> points;
    for (const Point& q : p->points) points.push_back(point(q.x, q.y));
    copy->setPoints(std::move(points));
    return copy;
  }
  if (const Path* p = dynamic_cast<const Path*>(&node)) {
    Path* copy = static_cast<Path*>(cloneShape(*p));
    std::vector<Point> points;
    for (const Point& q : p->points) points.push_back(point(q.x, q.y));
    const double m = transform.magnification;
    auto scaled = [m](int32_t v) { return wrapped(std::llround(v * m)); };
    copy->setPath(std::move(points), scaled(p->width), p->pathType, scaled(p->beginExtension),
                  scaled(p->endExtension));
    return copy;
  }
  if (const Label* l = dynamic_cast<const Label*>(&node)) {
    Label* copy = static_cast<Label*>(cloneShape(*l));
    // A label's own reflection and angle compose with the placement's, as
    // GDSII composes them for nested instances.
    const uint16_t REFLECTION_BIT = 0x8000;  // STRANS bit 0: reflect about x
    copy->anchor = point(l->anchor.x, l->anchor.y);
    copy->magnification = l->magnification * transform.magnification;
    double angle = angleOf(transform) + (transform.mirrorX ? -l->angle : l->angle);
    copy->angle = std::fmod(std::fmod(angle, 360.0) + 360.0, 360.0);
    if (transform.mirrorX) copy->strans ^= REFLECTION_BIT;
    copy->refresh();
    return copy;
  }
  if (exact || !dynamic_cast<const Box*>(&node)) {
    // A rectangle's placed corners span the placed rectangle.
    GroupNode* copy = cloneObject(node);
    const Point a = point(node.x, node.y), b = point(wrapAdd(node.x, node.w), wrapAdd(node.y, node.h));
    const int32_t x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    copy->setRect(x0, y0, wrapSub(std::max(a.x, b.x), x0), wrapSub(std::max(a.y, b.y), y0));
    return copy;
  }
  Polygon* copy = new Polygon;
  const int32_t x1 = wrapAdd(node.x, node.w), y1 = wrapAdd(node.y, node.h);
  copy->setPoints({point(node.x, node.y), point(x1, node.y), point(x1, y1), point(node.x, y1)});
  copy->origin = node.origin;
  return copy;
}

Instance* ElementPlacement::instance(const Instance& nested, const Rect& cellBounds) const {
  Instance* copy = cloneInstance(nested);
  copy->deselect();
  copy->transform = composeTransforms(transform, nested.transform);
  const Point at = point(nested.transform.x, nested.transform.y);
  copy->transform.x = at.x, copy->transform.y = at.y;
  // Steps are vectors: they turn and scale but do not move.
  const Point origin = point(0, 0);
  auto turn = [&](int32_t* v) {
    const Point p = point(v[0], v[1]);
    v[0] = wrapSub(p.x, origin.x), v[1] = wrapSub(p.y, origin.y);
  };
  turn(copy->array.columnStep);
  turn(copy->array.rowStep);
  for (int k = 0; k < 6; k += 2) {
    const Point p = point(nested.array.points[k], nested.array.points[k + 1]);
    copy->array.points[k] = p.x, copy->array.points[k + 1] = p.y;
  }
  // Rounded placed points may not divide where the steps did: an even
  // array stays even, its points following its steps.
  CellArray& a = copy->array;
  if (!nested.array.uneven() && a.uneven())
    for (int k = 0; k < 2; k++) {
      a.points[2 + k] = wrapAdd(a.points[k], (int32_t)((uint32_t)a.columnStep[k] * a.columns));
      a.points[4 + k] = wrapAdd(a.points[k], (int32_t)((uint32_t)a.rowStep[k] * a.rows));
    }
  copy->placeBounds(cellBounds);
  return copy;
}

ElementPlacement elementPlacement(const Instance& instance, uint32_t column, uint32_t row) {
  ElementPlacement p;
  p.transform = instance.transform;
  instance.array.offset(column, row, p.ex, p.ey);
  return p;
}
