#include "canvas/PlacedShapes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

namespace {

int32_t wrapped(int64_t v) { return (int32_t)(uint32_t)(uint64_t)v; }

void placePoints(const std::vector<Point>& from, const PlaceTransform& t, std::vector<Point>& to) {
  to.resize(from.size());
  for (size_t k = 0; k < from.size(); k++)
    to[k] = {wrapped(t.x(from[k].x, from[k].y)), wrapped(t.y(from[k].x, from[k].y))};
}

auto fields(const ShapeHit& h) {
  const PlaceTransform& t = h.transform;
  return std::make_tuple(h.cell, h.index, t.dx, t.dy, t.a, t.b, t.c, t.d);
}

// Starting size of a hit table: a frame usually finds a few hundred shapes.
const size_t FIRST_TABLE = 1024;

}  // namespace

SceneShape sceneShapeOf(int slot, const GroupNode& node) {
  SceneShape s;
  s.slot = slot;
  s.shape.reset(static_cast<const Shape*>(cloneShape(node)));
  ObjectCorners c = cornersOf(node);
  // A placed path's outline is made of its placed points and may round
  // half a unit the other way than the placed box of its own outline: one
  // unit more on every side holds it.
  s.reach.x0 = (int64_t)c.x0 - 1, s.reach.y0 = (int64_t)c.y0 - 1;
  s.reach.x1 = (int64_t)c.x1 + 1, s.reach.y1 = (int64_t)c.y1 + 1;
  if (const Label* label = dynamic_cast<const Label*>(&node)) {
    // A placed label keeps its own orientation, only its anchor moves: a
    // square around the anchor holds its letters under every transform.
    int64_t ax = label->anchor.x, ay = label->anchor.y, r = 0;
    for (int64_t v : {ax - s.reach.x0, s.reach.x1 - ax, ay - s.reach.y0, s.reach.y1 - ay}) r = std::max(r, std::abs(v));
    s.reach.x0 = ax - r, s.reach.x1 = ax + r, s.reach.y0 = ay - r, s.reach.y1 = ay + r;
    s.label = true;
    s.labelHeight = std::fabs(label->magnification) * label->unitsPerMicrometre;
  }
  return s;
}

Shape& ShapePlacer::place(const Shape& shape, const PlaceTransform& t) {
  if (const Polygon* p = dynamic_cast<const Polygon*>(&shape)) {
    placePoints(p->points, t, polygon.points);
    polygon.setPoints(std::move(polygon.points));
    return polygon;
  }
  if (const Path* p = dynamic_cast<const Path*>(&shape)) {
    std::vector<Point> points;
    placePoints(p->points, t, points);
    path.setPath(std::move(points), p->width, p->pathType, p->beginExtension, p->endExtension);
    return path;
  }
  const Label& l = static_cast<const Label&>(shape);
  label.text = l.text, label.textType = l.textType, label.presentation = l.presentation, label.strans = l.strans;
  label.magnification = l.magnification, label.angle = l.angle, label.unitsPerMicrometre = l.unitsPerMicrometre;
  label.anchor = {wrapped(t.x(l.anchor.x, l.anchor.y)), wrapped(t.y(l.anchor.x, l.anchor.y))};
  label.refresh();
  return label;
}

bool ShapeHit::operator==(const ShapeHit& o) const { return fields(*this) == fields(o); }
bool ShapeHit::operator<(const ShapeHit& o) const { return fields(*this) < fields(o); }

void ShapeHitSet::add(const ShapeHit& hit) {
  if ((count + 1) * 2 > table.size()) {
    std::vector<ShapeHit> old;
    collect(old);
    table.assign(std::max(FIRST_TABLE, table.size() * 2), ShapeHit());
    used.assign(table.size(), 0);
    count = 0;
    for (const ShapeHit& h : old) add(h);
  }
  const PlaceTransform& t = hit.transform;
  uint64_t h = hit.cell * 0x9E3779B97F4A7C15ull ^ (hit.index + 1) * 0xC2B2AE3D27D4EB4Full;
  h ^= ((uint64_t)t.dx * 0x165667B19E3779F9ull) ^ ((uint64_t)t.dy * 0x27D4EB2F165667C5ull);
  h ^= (uint64_t)(t.a + 2 * t.b + 4 * t.c + 8 * t.d + 16);
  h ^= h >> 29;
  size_t mask = table.size() - 1;
  for (size_t k = (size_t)(h * 0x9E3779B97F4A7C15ull >> 20) & mask;; k = (k + 1) & mask) {
    if (!used[k]) {
      used[k] = 1, table[k] = hit, count++;
      return;
    }
    if (table[k] == hit) return;
  }
}

void ShapeHitSet::collect(std::vector<ShapeHit>& out) const {
  for (size_t k = 0; k < table.size(); k++)
    if (used[k]) out.push_back(table[k]);
}
