#ifndef KIVO_SHAPES_H
#define KIVO_SHAPES_H

#include <string>
#include <vector>

#include "model/Contours.h"
#include "model/GroupNode.h"

// The layout objects beside rectangles: a polygon, a path and a label, as
// GDSII keeps them. Each one's Rect part is its bounding box, kept up to
// date from its own geometry; so selection, culling and the tiles treat it
// like any object.
//
// Moves are exact: every point moves by (dx, dy), wrapping like all layout
// arithmetic. A shape's size follows from its points, so the Rect calls
// that set a size (setRect, setSize, resizeBy, moveAndSize) only move it by
// what they would move its corner.
//
// The painters fill polygons and paths from area() through PolygonCoverage,
// which decides each pixel exactly; draw() strokes the outline (a path of
// width 0 its centre line, a label its letters and anchor) with (ox, oy)
// subtracted in integer arithmetic first, as Rect::draw does.
//
// contains(px, py) is exact for polygons and paths: 1 for a point inside
// the area or on its edge (on the centre line for a path of width 0), as
// edges count as inside for rectangles; a label answers for its box.
class Shape : public GroupNode {
public:
  // The area as contours in 1/unitsPerUnit layout units; false when the
  // shape has no area (a label, a path of width 0).
  virtual bool area(Contours& out, int& unitsPerUnit) const = 0;

  // Which optional records the GDSII element had (the SHAPE_HAS_* bits of
  // its class), so that a save writes the same records again.
  uint8_t gdsRecords = 0;

  void moveBy(int32_t dx, int32_t dy) override;
  void moveTo(const Rect& r) override;
  void moveTo(int32_t nx, int32_t ny) override;
  void resizeBy(int32_t dw, int32_t dh) override;
  void setSize(int32_t nw, int32_t nh) override;
  void setSize(const Rect& r) override;
  void moveAndSize(int32_t dx, int32_t dy, int32_t nw, int32_t nh) override;
  void setRect(int32_t nx, int32_t ny, int32_t nw, int32_t nh) override;
  void setRect(const Rect& r) override;

protected:
  // Move the shape's own points, then set the box again.
  virtual void shift(int32_t dx, int32_t dy) = 0;
  virtual void updateBounds() = 0;
  void follow(const Rect& moved);
  void boundPoints(const std::vector<Point>& points);
};

// The shape an object is, or null, asked after its exact type (typeid(*node)).
inline const Shape* asShape(const GroupNode* node, const std::type_info& type) {
  return isPlainRectangle(type) ? nullptr : dynamic_cast<const Shape*>(node);
}

// A polygon's records: its last point repeated the first; it was a BOX or
// a NODE element rather than a BOUNDARY (kept, drawn like a polygon).
enum : uint8_t { SHAPE_HAS_CLOSING_POINT = 1, SHAPE_IS_BOX = 2, SHAPE_IS_NODE = 4 };
// A path's records.
enum : uint8_t { SHAPE_HAS_PATHTYPE = 1, SHAPE_HAS_WIDTH = 2, SHAPE_HAS_BGNEXTN = 4, SHAPE_HAS_ENDEXTN = 8 };
// A label's records.
enum : uint8_t { SHAPE_HAS_PRESENTATION = 1, SHAPE_HAS_STRANS = 2, SHAPE_HAS_MAG = 4, SHAPE_HAS_ANGLE = 8 };

// A GDSII BOUNDARY: its points without the closing repeat.
class Polygon : public Shape {
public:
  std::vector<Point> points;

  ~Polygon() override;
  // Set the points (a last one that repeats the first is dropped) and the box.
  void setPoints(std::vector<Point> p);
  bool area(Contours& out, int& unitsPerUnit) const override;
  using Rect::contains;
  int contains(int32_t px, int32_t py) const override;
  void draw(int64_t ox, int64_t oy) override;

protected:
  void shift(int32_t dx, int32_t dy) override;
  void updateBounds() override;
};

// A GDSII PATH: centre line, width (negative: absolute), PATHTYPE and the
// extensions of type 4.
class Path : public Shape {
public:
  std::vector<Point> points;
  int32_t width = 0;
  int16_t pathType = 0;
  int32_t beginExtension = 0, endExtension = 0;

  ~Path() override;
  // Set the geometry and the box from it.
  void setPath(std::vector<Point> p, int32_t w, int16_t type, int32_t begin = 0, int32_t end = 0);
  bool area(Contours& out, int& unitsPerUnit) const override;
  using Rect::contains;
  int contains(int32_t px, int32_t py) const override;
  void draw(int64_t ox, int64_t oy) override;

protected:
  void shift(int32_t dx, int32_t dy) override;
  void updateBounds() override;
};

// A GDSII TEXT: the string at an anchor point, with its TEXTTYPE,
// PRESENTATION, STRANS, MAG and ANGLE. Its box covers the letters drawn in
// the stroke font, MAG micrometres high at unitsPerMicrometre units each.
class Label : public Shape {
public:
  std::string text;
  Point anchor{0, 0};
  int16_t textType = 0;
  uint16_t presentation = 0, strans = 0;
  double magnification = 1.0, angle = 0.0;
  double unitsPerMicrometre = 1000.0;  // a 1 nm database unit, as most processes use
  // MAG and ANGLE as the file's reals had them, written back while they
  // still give the values; 0: none kept.
  uint64_t magnificationBits = 0, angleBits = 0;

  // A click this many layout units from the anchor (either way) reaches
  // the label as well as one inside its box: the canvas sets it from its
  // zoom (LABEL_CLICK_PIXELS) so that a label too small to draw is found.
  static int32_t clickReach;

  ~Label() override;
  // Set the box again after changing the fields above.
  void refresh() { updateBounds(); }
  using Rect::contains;
  int contains(int32_t px, int32_t py) const override;
  // A band takes a label whose anchor it holds, however far the text reaches.
  int liesInside(const Rect& band) const override { return band.contains(anchor.x, anchor.y); }
  bool area(Contours&, int&) const override { return false; }
  void draw(int64_t ox, int64_t oy) override;

protected:
  void shift(int32_t dx, int32_t dy) override;
  void updateBounds() override;
};

// How a canvas paints shapes: set while it paints (canvas/ShapeFill), it
// draws the shape in the current colour and polygon mode, exactly as the
// view's pixels decide, and returns true; null, or false, and draw()
// strokes the outline as above.
extern bool (*shapePainter)(Shape& shape, int64_t ox, int64_t oy);

// A new, unselected copy of a polygon, path or label, with its origin;
// null for any other object (cloneObject copies those).
GroupNode* cloneShape(const GroupNode& node);

#endif
