#include "model/CellFlatten.h"

#include <algorithm>
#include <cmath>
#include <typeinfo>
#include <vector>

#include "model/Shapes.h"

namespace {

// A placement from the flattened cell: its orientation and magnification
// as a transform without origin, composed level by level by
// composeTransforms (so that absolute magnifications and angles hold), and
// its origin in doubles, exact below 2^53.
struct Placement {
  CellTransform linear;
  double tx = 0, ty = 0;

  void apply(double x, double y, double& ox, double& oy) const {
    if (linear.integral()) {
      int64_t px, py;
      linear.apply((int64_t)x, (int64_t)y, px, py);
      ox = (double)px + tx, oy = (double)py + ty;
      return;
    }
    linear.applyExact(x, y, ox, oy);
    ox += tx, oy += ty;
  }
  // Quarter turns, mirrors and whole-unit moves only.
  bool integral() const { return linear.integral() && tx == std::floor(tx) && ty == std::floor(ty); }
  // How much lengths grow.
  double magnification() const { return std::fabs(linear.magnification); }
  // This placement after an instance element's.
  Placement then(const CellTransform& t, int64_t ex, int64_t ey) const {
    Placement p;
    p.linear = composeTransforms(linear, t);
    p.linear.x = p.linear.y = 0;
    apply((double)t.x + (double)ex, (double)t.y + (double)ey, p.tx, p.ty);
    return p;
  }
};

int32_t wrapped(int64_t v) { return (int32_t)(uint32_t)(uint64_t)v; }

class Flattener {
public:
  Flattener(const CellLibrary& c, Layer* o) : cells(c), out(o) {}

  void cell(uint32_t index, const Placement& p) {
    const Cell& from = cells.cell(index);
    for (int i = 0; i < LAYER_COUNT; i++)
      if (const Layer* l = from.layer(i))
        for (GroupNode* n = l->first(); n; n = n->next()) place(i, *n, p);
    for (GroupNode* n = from.instances().first(); n; n = n->next())
      instance(*static_cast<const Instance*>(n), p);
  }

  void instance(const Instance& inst, const Placement& p) {
    if (inst.cell >= cells.size()) return;
    for (uint32_t j = 0; j < inst.array.rows; j++)
      for (uint32_t i = 0; i < inst.array.columns; i++) {
        int64_t ex, ey;
        inst.array.offset(i, j, ex, ey);
        ++result.instances;
        cell(inst.cell, p.then(inst.transform, ex, ey));
      }
  }

  FlattenResult result;

private:
  void place(int slot, const GroupNode& n, const Placement& p) {
    const double xs[2] = {(double)n.x, (double)n.x + n.w}, ys[2] = {(double)n.y, (double)n.y + n.h};
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (double x : xs)
      for (double y : ys) {
        double px, py;
        p.apply(x, y, px, py);
        x0 = std::min(x0, px), x1 = std::max(x1, px), y0 = std::min(y0, py), y1 = std::max(y1, py);
      }
    GroupNode* copy = cloneObject(n);
    if (typeid(n) == typeid(Box) && !p.integral()) {
      // A turned or magnified box is the polygon of its placed corners.
      Polygon* turned = new Polygon;
      turned->setPoints({{n.x, n.y}, {wrapAdd(n.x, n.w), n.y}, {wrapAdd(n.x, n.w), wrapAdd(n.y, n.h)},
                         {n.x, wrapAdd(n.y, n.h)}});
      delete copy;
      copy = turned;
    }
    if (!placeShape(copy, p)) {
      const int64_t left = clampedCoordinate(x0), low = clampedCoordinate(y0);
      copy->setRect(wrapped(left), wrapped(low), wrapped(clampedCoordinate(x1) - left), wrapped(clampedCoordinate(y1) - low));
    }
    out[slot].appendChain(copy);
    ++result.objects;
  }

  // A polygon's or a path's points, or a label's anchor, placed one by one
  // (exact for integral placements, rounded to the unit otherwise); false
  // for an object that is its box.
  static bool placeShape(GroupNode* copy, const Placement& p) {
    auto at = [&](const Point& q) {
      double x, y;
      p.apply(q.x, q.y, x, y);
      return Point{wrapped(clampedCoordinate(std::nearbyint(x))), wrapped(clampedCoordinate(std::nearbyint(y)))};
    };
    auto all = [&](const std::vector<Point>& from) {
      std::vector<Point> placed;
      placed.reserve(from.size());
      for (const Point& q : from) placed.push_back(at(q));
      return placed;
    };
    if (Polygon* polygon = dynamic_cast<Polygon*>(copy)) {
      polygon->setPoints(all(polygon->points));
    } else if (Path* path = dynamic_cast<Path*>(copy)) {
      // A magnification scales the width (a negative, absolute one stays)
      // and the extensions.
      auto scaled = [&](int32_t v) {
        return p.integral() ? v : wrapped(clampedCoordinate(std::nearbyint(v * p.magnification())));
      };
      path->setPath(all(path->points), path->width < 0 ? path->width : scaled(path->width), path->pathType,
                    scaled(path->beginExtension), scaled(path->endExtension));
    } else if (Label* label = dynamic_cast<Label*>(copy)) {
      label->anchor = at(label->anchor);
      label->refresh();
    } else {
      return false;
    }
    return true;
  }

  const CellLibrary& cells;
  Layer* out;
};

}  // namespace

FlattenResult flattenCell(const CellLibrary& cells, uint32_t cell, Layer out[LAYER_COUNT], uint64_t limit) {
  FlattenResult result;
  if (cells.cell(cell).flattenedCount() > limit) {
    result.overLimit = true;
    return result;
  }
  Flattener f(cells, out);
  f.cell(cell, Placement());
  return f.result;
}

FlattenResult flattenInstance(const CellLibrary& cells, const Instance& instance, Layer out[LAYER_COUNT],
                              uint64_t limit) {
  FlattenResult result;
  if (instance.cell >= cells.size()) return result;
  const uint64_t n = cells.cell(instance.cell).flattenedCount();
  if (n != 0 && instance.array.elements() > limit / n) {
    result.overLimit = true;
    return result;
  }
  Flattener f(cells, out);
  f.instance(instance, Placement());
  return f.result;
}
