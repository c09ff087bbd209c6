#include "io/MskShapes.h"

#include <typeinfo>

#include "io/GdsGeometry.h"
#include "model/ObjectOrigin.h"

bool mskRectangles(const Shape& shape, std::vector<Rect>& out) {
  out.clear();
  std::vector<GdsPoint> points;
  std::vector<GdsBox> boxes;
  bool cut = false;
  if (const Polygon* polygon = dynamic_cast<const Polygon*>(&shape)) {
    for (const Point& p : polygon->points) points.push_back({p.x, p.y});
    cut = !(shape.gdsRecords & SHAPE_IS_NODE) && polygonRects(points.data(), points.size(), boxes);
  } else if (const Path* path = dynamic_cast<const Path*>(&shape)) {
    for (const Point& p : path->points) points.push_back({p.x, p.y});
    cut = pathRects(points.data(), points.size(), path->pathType, path->width, boxes);
  }
  if (!cut) return false;
  for (const GdsBox& b : boxes) {
    // Layout coordinates wrap: a piece beyond the 32-bit range cannot be written.
    if (b.x0 < INT32_MIN || b.y0 < INT32_MIN || b.x1 > INT32_MAX || b.y1 > INT32_MAX ||
        b.x1 - b.x0 > INT32_MAX || b.y1 - b.y0 > INT32_MAX)
      return out.clear(), false;
    Rect r;
    r.setRect((int32_t)b.x0, (int32_t)b.y0, (int32_t)(b.x1 - b.x0), (int32_t)(b.y1 - b.y0));
    out.push_back(r);
  }
  return true;
}

MskLoss mskLoss(const Layer layers[LAYER_COUNT]) {
  MskLoss loss;
  std::vector<Rect> pieces;
  for (int i = 0; i < LAYER_COUNT; i++) {
    uint32_t lastOrigin = 0;
    bool lastHas = false;
    for (const GroupNode* node = layers[i].first(); node; node = node->next()) {
      if (node->origin != lastOrigin) lastOrigin = node->origin, lastHas = !originOf(node->origin).gdsProperties.empty();
      loss.properties += node->origin != 0 && lastHas;
      if (typeid(*node) == typeid(Box) || typeid(*node) == typeid(Opt)) continue;
      if (dynamic_cast<const Label*>(node))
        ++loss.labels;
      else if (const Shape* shape = dynamic_cast<const Shape*>(node))
        loss.shapes += !mskRectangles(*shape, pieces);
    }
  }
  return loss;
}

std::string MskLoss::question(uint64_t instances) const {
  std::string parts;
  auto add = [&](uint64_t n, const char* what) {
    if (!n) return;
    if (!parts.empty()) parts += ", ";
    parts += std::to_string(n) + " " + what;
  };
  add(labels, "label(s)");
  add(shapes, "polygon(s) and path(s)");
  add(properties, "propert(ies)");
  std::string text = parts + " cannot be written to a .msk file and will be left out";
  if (instances) text += "; " + std::to_string(instances) + " instance(s) are written flat";
  return text + ".\nSave anyway?";
}
