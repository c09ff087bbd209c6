#include "io/GdsShapes.h"

#include <vector>

namespace {

std::vector<Point> pointsOf(const GdsElement& e) {
  std::vector<Point> p(e.points);
  for (size_t i = 0; i < e.points; i++) p[i] = {be32(e.xy + 8 * i), be32(e.xy + 8 * i + 4)};
  return p;
}

void putPoints(GdsRecordWriter& w, const std::vector<Point>& p, bool close) {
  const size_t n = p.size() + (close && !p.empty() ? 1 : 0);
  w.head(GDS_XY, GDS_INT4, 8 * n);
  for (size_t i = 0; i < n; i++) {
    const Point& q = p[i % p.size()];
    w.put32((uint32_t)q.x);
    w.put32((uint32_t)q.y);
  }
}

void put32Record(GdsRecordWriter& w, int type, int32_t v) {
  w.head(type, GDS_INT4, 4);
  w.put32((uint32_t)v);
}

void bits16(GdsRecordWriter& w, int type, uint32_t v) {
  w.head(type, GDS_BITS, 2);
  w.put16(v);
}

}  // namespace

void putGdsReal(GdsRecordWriter& w, int type, double value, uint64_t bits) {
  if (bits == 0 || fromGdsReal(bits) != value) bits = toGdsReal(value);
  w.head(type, GDS_REAL8, 8);
  w.put32((uint32_t)(bits >> 32));
  w.put32((uint32_t)bits);
}

Shape* gdsShapeOf(const GdsElement& e, double unitsPerMicrometre) {
  if (e.type == GDS_PATH) {
    Path* path = new Path;
    path->gdsRecords = (e.hasPathType ? SHAPE_HAS_PATHTYPE : 0) | (e.hasWidth ? SHAPE_HAS_WIDTH : 0) |
                       (e.hasBeginExtension ? SHAPE_HAS_BGNEXTN : 0) |
                       (e.hasEndExtension ? SHAPE_HAS_ENDEXTN : 0);
    path->setPath(pointsOf(e), e.width, (int16_t)e.pathType, e.beginExtension, e.endExtension);
    return path;
  }
  if (e.type == GDS_TEXT) {
    Label* label = new Label;
    label->gdsRecords = (e.hasPresentation ? SHAPE_HAS_PRESENTATION : 0) |
                        (e.hasStrans ? SHAPE_HAS_STRANS : 0) | (e.hasMag ? SHAPE_HAS_MAG : 0) |
                        (e.hasAngle ? SHAPE_HAS_ANGLE : 0);
    if (e.text) label->text.assign((const char*)e.text, e.textSize);
    if (e.points > 0) label->anchor = {be32(e.xy), be32(e.xy + 4)};
    label->textType = (int16_t)e.datatype;
    label->presentation = (uint16_t)e.presentation, label->strans = (uint16_t)e.strans;
    label->magnification = e.mag, label->angle = e.angle;
    label->magnificationBits = e.magBits, label->angleBits = e.angleBits;
    label->unitsPerMicrometre = unitsPerMicrometre;
    label->refresh();
    return label;
  }
  Polygon* polygon = new Polygon;
  std::vector<Point> p = pointsOf(e);
  const bool closed = p.size() > 1 && p.back() == p.front();
  polygon->gdsRecords = (closed ? SHAPE_HAS_CLOSING_POINT : 0) | (e.type == GDS_BOX ? SHAPE_IS_BOX : 0) |
                        (e.type == GDS_NODE ? SHAPE_IS_NODE : 0);
  polygon->setPoints(std::move(p));
  return polygon;
}

void writeGdsShape(GdsRecordWriter& w, const Shape& shape, uint32_t layer, uint32_t datatype,
                   const std::string& kept) {
  std::string head, middle, tail;
  splitKeptRecords(kept, head, middle, tail);
  const uint8_t has = shape.gdsRecords;
  if (const Path* path = dynamic_cast<const Path*>(&shape)) {
    w.empty(GDS_PATH);
    w.raw(head);
    w.int2(GDS_LAYER, layer);
    w.int2(GDS_DATATYPE, datatype);
    if ((has & SHAPE_HAS_PATHTYPE) || path->pathType != 0) w.int2(GDS_PATHTYPE, (uint16_t)path->pathType);
    if ((has & SHAPE_HAS_WIDTH) || path->width != 0) put32Record(w, GDS_WIDTH, path->width);
    if ((has & SHAPE_HAS_BGNEXTN) || path->beginExtension != 0) put32Record(w, GDS_BGNEXTN, path->beginExtension);
    if ((has & SHAPE_HAS_ENDEXTN) || path->endExtension != 0) put32Record(w, GDS_ENDEXTN, path->endExtension);
    putPoints(w, path->points, false);
  } else if (const Label* label = dynamic_cast<const Label*>(&shape)) {
    w.empty(GDS_TEXT);
    w.raw(head);
    w.int2(GDS_LAYER, layer);
    w.int2(GDS_TEXTTYPE, datatype);
    if ((has & SHAPE_HAS_PRESENTATION) || label->presentation != 0)
      bits16(w, GDS_PRESENTATION, label->presentation);
    w.raw(middle);
    const bool mag = (has & SHAPE_HAS_MAG) || label->magnification != 1.0;
    const bool angle = (has & SHAPE_HAS_ANGLE) || label->angle != 0.0;
    if ((has & SHAPE_HAS_STRANS) || label->strans != 0 || mag || angle) bits16(w, GDS_STRANS, label->strans);
    if (mag) putGdsReal(w, GDS_MAG, label->magnification, label->magnificationBits);
    if (angle) putGdsReal(w, GDS_ANGLE, label->angle, label->angleBits);
    putPoints(w, {label->anchor}, false);
    w.string(GDS_STRING, label->text);
  } else if (const Polygon* polygon = dynamic_cast<const Polygon*>(&shape)) {
    const int type = has & SHAPE_IS_BOX ? GDS_BOX : has & SHAPE_IS_NODE ? GDS_NODE : GDS_BOUNDARY;
    w.empty(type);
    w.raw(head);
    w.int2(GDS_LAYER, layer);
    w.int2(type == GDS_BOX ? GDS_BOXTYPE : type == GDS_NODE ? GDS_NODETYPE : GDS_DATATYPE, datatype);
    putPoints(w, polygon->points, (has & SHAPE_HAS_CLOSING_POINT) || type == GDS_BOUNDARY);
  } else {
    return;
  }
  w.raw(tail);
  w.empty(GDS_ENDEL);
}
