#include "model/Shapes.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "canvas/StrokeFont.h"
#include "model/PathOutline.h"

namespace {

int32_t saturate(int64_t v) { return v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : (int32_t)v; }

// Floor and ceiling of v / d for d > 0.
int64_t floorDiv(int64_t v, int64_t d) { return v >= 0 ? v / d : -((-v + d - 1) / d); }
int64_t ceilDiv(int64_t v, int64_t d) { return -floorDiv(-v, d); }

// Set a box's corners without normalising: a wrapped size reads unsigned.
void setCorners(Rect& r, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  r.x = x0, r.y = y0, r.w = wrapSub(x1, x0), r.h = wrapSub(y1, y0);
}

void setFineBounds(Rect& r, const std::vector<FinePoint>& points, int unitsPerUnit) {
  if (points.empty()) return setCorners(r, 0, 0, 0, 0);
  int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
  for (const FinePoint& p : points) x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
  setCorners(r, saturate(floorDiv(x0, unitsPerUnit)), saturate(floorDiv(y0, unitsPerUnit)),
             saturate(ceilDiv(x1, unitsPerUnit)), saturate(ceilDiv(y1, unitsPerUnit)));
}

void shiftPoints(std::vector<Point>& points, int32_t dx, int32_t dy) {
  for (Point& p : points) p.x = wrapAdd(p.x, dx), p.y = wrapAdd(p.y, dy);
}

float fineCoord(int64_t v, int64_t base, int unitsPerUnit) { return (float)((double)(v - base * unitsPerUnit) / unitsPerUnit); }

LabelText labelText(const Label& l) {
  LabelText t;
  t.text = l.text, t.x = l.anchor.x, t.y = l.anchor.y;
  t.presentation = l.presentation, t.strans = l.strans, t.magnification = l.magnification, t.angle = l.angle;
  return t;
}

}  // namespace

bool (*shapePainter)(Shape& shape, int64_t ox, int64_t oy) = nullptr;

void Shape::moveBy(int32_t dx, int32_t dy) { shift(dx, dy); }

// Each call that sets a size asks Rect where the corner goes, and the shape
// moves there.
void Shape::follow(const Rect& moved) { shift(wrapSub(moved.x, x), wrapSub(moved.y, y)); }

void Shape::moveTo(const Rect& to) {
  Rect r(*this);
  r.moveTo(to);
  follow(r);
}

void Shape::moveTo(int32_t nx, int32_t ny) {
  Rect r(*this);
  r.moveTo(nx, ny);
  follow(r);
}

void Shape::resizeBy(int32_t dw, int32_t dh) {
  Rect r(*this);
  r.resizeBy(dw, dh);
  follow(r);
}

void Shape::setSize(int32_t nw, int32_t nh) {
  Rect r(*this);
  r.setSize(nw, nh);
  follow(r);
}

void Shape::setSize(const Rect& to) {
  Rect r(*this);
  r.setSize(to);
  follow(r);
}

void Shape::moveAndSize(int32_t dx, int32_t dy, int32_t nw, int32_t nh) {
  Rect r(*this);
  r.moveAndSize(dx, dy, nw, nh);
  follow(r);
}

void Shape::setRect(int32_t nx, int32_t ny, int32_t nw, int32_t nh) {
  Rect r(*this);
  r.setRect(nx, ny, nw, nh);
  follow(r);
}

void Shape::setRect(const Rect& to) {
  Rect r(*this);
  r.setRect(to);
  follow(r);
}

void Shape::boundPoints(const std::vector<Point>& points) {
  if (points.empty()) return setCorners(*this, 0, 0, 0, 0);
  int32_t x0 = points[0].x, y0 = points[0].y, x1 = x0, y1 = y0;
  for (const Point& p : points) x0 = std::min(x0, p.x), y0 = std::min(y0, p.y), x1 = std::max(x1, p.x), y1 = std::max(y1, p.y);
  setCorners(*this, x0, y0, x1, y1);
}

Polygon::~Polygon() {}

void Polygon::setPoints(std::vector<Point> p) {
  points = std::move(p);
  if (points.size() > 1 && points.back() == points.front()) points.pop_back();
  updateBounds();
}

bool Polygon::area(Contours& out, int& unitsPerUnit) const {
  out.clear();
  for (const Point& p : points) out.points.push_back({p.x, p.y});
  out.close();
  unitsPerUnit = 1;
  return !out.empty();
}

int Polygon::contains(int32_t px, int32_t py) const {
  Contours c;
  int units;
  return area(c, units) && containsPoint(c, {px, py}) ? 1 : 0;
}

void Polygon::draw(int64_t ox, int64_t oy) {
  if (shapePainter && shapePainter(*this, ox, oy)) return;
  glBegin(GL_LINE_LOOP);
  for (const Point& p : points) glVertex2f(drawCoord(p.x, ox), drawCoord(p.y, oy));
  glEnd();
}

void Polygon::shift(int32_t dx, int32_t dy) {
  shiftPoints(points, dx, dy);
  updateBounds();
}

void Polygon::updateBounds() { boundPoints(points); }

Path::~Path() {}

void Path::setPath(std::vector<Point> p, int32_t wide, int16_t type, int32_t begin, int32_t end) {
  points = std::move(p);
  width = wide, pathType = type, beginExtension = begin, endExtension = end;
  updateBounds();
}

bool Path::area(Contours& out, int& unitsPerUnit) const {
  PathOutline outline;
  pathOutline(points.data(), points.size(), width, pathType, beginExtension, endExtension, outline);
  out = std::move(outline.polygons);
  unitsPerUnit = OUTLINE_UNITS_PER_UNIT;
  return !out.empty();
}

int Path::contains(int32_t px, int32_t py) const {
  PathOutline outline;
  pathOutline(points.data(), points.size(), width, pathType, beginExtension, endExtension, outline);
  FinePoint p{(int64_t)px * OUTLINE_UNITS_PER_UNIT, (int64_t)py * OUTLINE_UNITS_PER_UNIT};
  return containsPoint(outline.polygons, p) || onPolyline(outline.centreLine, p) ? 1 : 0;
}

void Path::draw(int64_t ox, int64_t oy) {
  if (shapePainter && shapePainter(*this, ox, oy)) return;
  PathOutline outline;
  pathOutline(points.data(), points.size(), width, pathType, beginExtension, endExtension, outline);
  const int u = OUTLINE_UNITS_PER_UNIT;
  if (!outline.centreLine.empty()) {
    glBegin(GL_LINE_STRIP);
    for (const FinePoint& p : outline.centreLine) glVertex2f(fineCoord(p.x, ox, u), fineCoord(p.y, oy, u));
    glEnd();
  }
  size_t first = 0;
  for (uint32_t n : outline.polygons.sizes) {
    glBegin(GL_LINE_LOOP);
    for (size_t i = first; i < first + n; i++) {
      const FinePoint& p = outline.polygons.points[i];
      glVertex2f(fineCoord(p.x, ox, u), fineCoord(p.y, oy, u));
    }
    glEnd();
    first += n;
  }
}

void Path::shift(int32_t dx, int32_t dy) {
  shiftPoints(points, dx, dy);
  updateBounds();
}

void Path::updateBounds() {
  PathOutline outline;
  pathOutline(points.data(), points.size(), width, pathType, beginExtension, endExtension, outline);
  setFineBounds(*this, outline.polygons.empty() ? outline.centreLine : outline.polygons.points, OUTLINE_UNITS_PER_UNIT);
}

Label::~Label() {}

int32_t Label::clickReach = 0;

int Label::contains(int32_t px, int32_t py) const {
  // Distances in 64 bits: the anchor and the point may lie 2^32 apart.
  const int64_t dx = (int64_t)px - anchor.x, dy = (int64_t)py - anchor.y;
  if (dx >= -clickReach && dx <= clickReach && dy >= -clickReach && dy <= clickReach) return 1;
  return Rect::contains(px, py);
}

void Label::draw(int64_t ox, int64_t oy) {
  if (shapePainter && shapePainter(*this, ox, oy)) return;
  std::vector<StrokeSegment> strokes;
  labelStrokes(labelText(*this), unitsPerMicrometre, strokes);
  glBegin(GL_LINES);
  for (const StrokeSegment& s : strokes) {
    glVertex2f((float)(s.x0 - (double)ox), (float)(s.y0 - (double)oy));
    glVertex2f((float)(s.x1 - (double)ox), (float)(s.y1 - (double)oy));
  }
  glEnd();
}

void Label::shift(int32_t dx, int32_t dy) {
  anchor.x = wrapAdd(anchor.x, dx), anchor.y = wrapAdd(anchor.y, dy);
  updateBounds();
}

void Label::updateBounds() {
  std::vector<StrokeSegment> strokes;
  Rect box = labelStrokes(labelText(*this), unitsPerMicrometre, strokes);
  x = box.x, y = box.y, w = box.w, h = box.h;
}

GroupNode* cloneShape(const GroupNode& node) {
  Shape* copy = nullptr;
  if (const Polygon* p = dynamic_cast<const Polygon*>(&node)) {
    Polygon* c = new Polygon;
    c->points = p->points;
    copy = c;
  } else if (const Path* p = dynamic_cast<const Path*>(&node)) {
    Path* c = new Path;
    c->points = p->points, c->width = p->width, c->pathType = p->pathType;
    c->beginExtension = p->beginExtension, c->endExtension = p->endExtension;
    copy = c;
  } else if (const Label* l = dynamic_cast<const Label*>(&node)) {
    Label* c = new Label;
    c->text = l->text, c->anchor = l->anchor, c->textType = l->textType, c->presentation = l->presentation;
    c->strans = l->strans, c->magnification = l->magnification, c->angle = l->angle;
    c->unitsPerMicrometre = l->unitsPerMicrometre;
    c->magnificationBits = l->magnificationBits, c->angleBits = l->angleBits;
    copy = c;
  }
  if (copy) copy->gdsRecords = static_cast<const Shape&>(node).gdsRecords;
  if (copy) copy->x = node.x, copy->y = node.y, copy->w = node.w, copy->h = node.h, copy->origin = node.origin;
  return copy;
}
