#include "model/PathOutline.h"

#include <algorithm>
#include <cmath>

namespace {

const double PI = 3.14159265358979323846;

// A unit vector in double; exact for axis directions, and the same value in
// both components for 45-degree ones.
struct Unit {
  double x, y;
};

// Round to the nearest integer, half away from zero: -v rounds to minus
// what v rounds to, so outlines stay symmetric about their centre line.
// The cast truncates and leaves an exact fraction; no library call.
int64_t roundAway(double v) {
  int64_t r = (int64_t)v;
  double fraction = v - (double)r;
  return fraction >= 0.5 ? r + 1 : fraction <= -0.5 ? r - 1 : r;
}

FinePoint add(FinePoint p, FinePoint v) { return {p.x + v.x, p.y + v.y}; }
FinePoint sub(FinePoint p, FinePoint v) { return {p.x - v.x, p.y - v.y}; }
FinePoint scaled(Unit u, double length) { return {roundAway(u.x * length), roundAway(u.y * length)}; }

Unit direction(FinePoint a, FinePoint b) {
  double dx = (double)(b.x - a.x), dy = (double)(b.y - a.y);
  if (dy == 0) return {dx > 0 ? 1.0 : -1.0, 0.0};
  if (dx == 0) return {0.0, dy > 0 ? 1.0 : -1.0};
  double length = std::sqrt(dx * dx + dy * dy);
  return {dx / length, dy / length};
}

// The left normal.
Unit leftOf(Unit d) { return {-d.y, d.x}; }

// Twice the signed area, positive when counter-clockwise.
__int128 doubleArea(const FinePoint* p, size_t n) {
  __int128 sum = 0;
  for (size_t i = 0, j = n - 1; i < n; j = i++) sum += (__int128)p[j].x * p[i].y - (__int128)p[i].x * p[j].y;
  return sum;
}

// Close the contour just added, turned counter-clockwise.
void closeCounterClockwise(Contours& c, size_t first) {
  size_t n = c.points.size() - first;
  if (n >= 3 && doubleArea(&c.points[first], n) < 0) {
    for (size_t i = first, j = c.points.size() - 1; i < j; i++, j--) std::swap(c.points[i], c.points[j]);
  }
  c.close();
}

// The cosine and sine of the arc's inner points, k * PI / ROUND_END_SEGMENTS
// for k from 1 - half to half - 1 (negated angles give the same cosine and
// the negated sine, so the arcs stay symmetric), computed once.
struct ArcTable {
  double cs[ROUND_END_SEGMENTS], sn[ROUND_END_SEGMENTS];
  ArcTable() {
    for (int k = 1 - ROUND_END_SEGMENTS / 2; k < ROUND_END_SEGMENTS / 2; k++) {
      double angle = k * (PI / ROUND_END_SEGMENTS);
      cs[k + ROUND_END_SEGMENTS / 2] = std::cos(angle), sn[k + ROUND_END_SEGMENTS / 2] = std::sin(angle);
    }
  }
};

// The half disc beyond end point p of a path heading along d (away from the
// path), from p - side round to p + side; side is the rounded left offset.
void roundEnd(Contours& c, FinePoint p, Unit d, FinePoint side, double radius) {
  size_t first = c.points.size();
  c.points.push_back(sub(p, side));
  static const ArcTable arc;
  for (int i = 1; i < ROUND_END_SEGMENTS; i++) {
    double cs = arc.cs[i], sn = arc.sn[i];
    c.points.push_back(add(p, {roundAway(radius * (cs * d.x - sn * d.y)), roundAway(radius * (cs * d.y + sn * d.x))}));
  }
  c.points.push_back(add(p, side));
  closeCounterClockwise(c, first);
}

// The wedge that fills the outer side of the corner at v between a segment
// heading d1 (left offset s1) and the next heading d2 (left offset s2).
void joinWedge(Contours& c, FinePoint v, FinePoint prev, FinePoint next, Unit d1, Unit d2, FinePoint s1,
               FinePoint s2, double radius) {
  __int128 cross = (__int128)(v.x - prev.x) * (next.y - v.y) - (__int128)(v.y - prev.y) * (next.x - v.x);
  // Clamped: rounding may carry the product of two unit vectors past 1.
  double cosTurn = std::max(-1.0, std::min(1.0, d1.x * d2.x + d1.y * d2.y));
  if (cross == 0 && cosTurn > 0) return;  // straight on
  // A left turn's outer side is on the right; a reversal takes the right.
  bool right = cross >= 0;
  FinePoint c1 = right ? sub(v, s1) : add(v, s1), c2 = right ? sub(v, s2) : add(v, s2);
  Unit m1 = right ? Unit{d1.y, -d1.x} : leftOf(d1), m2 = right ? Unit{d2.y, -d2.x} : leftOf(d2);
  double cosHalf = std::sqrt((1 + cosTurn) / 2), sinHalf = std::sqrt((1 - cosTurn) / 2);
  size_t first = c.points.size();
  c.points.push_back(v);
  c.points.push_back(c1);
  if (cosHalf * MITRE_LIMIT >= 1) {
    double k = radius / (1 + cosTurn);
    c.points.push_back(add(v, {roundAway((m1.x + m2.x) * k), roundAway((m1.y + m2.y) * k)}));
  } else {
    double t = radius * (MITRE_LIMIT - cosHalf) / sinHalf;
    c.points.push_back(add(c1, scaled(d1, t)));
    c.points.push_back(sub(c2, scaled(d2, t)));
  }
  c.points.push_back(c2);
  closeCounterClockwise(c, first);
}

// The union of the segments' rectangles, the corners' wedges and the round
// ends of a centre line (half units, no repeats) of a path with width.
void outlineOf(const std::vector<FinePoint>& line, int32_t width, int pathType, int32_t beginExtension,
               int32_t endExtension, Contours& c) {
  // Half the width, in half units: the absolute width in whole units.
  const double radius = std::fabs((double)width);
  double begin = 0, end = 0;
  if (pathType == ENDS_HALF_WIDTH) begin = end = radius;
  if (pathType == ENDS_CUSTOM) begin = (double)beginExtension * 2, end = (double)endExtension * 2;
  const bool round = pathType == ENDS_ROUND;

  if (line.size() == 1) {
    const Unit along{1, 0};
    FinePoint side = scaled(leftOf(along), radius);
    if (round) {
      roundEnd(c, line[0], along, side, radius);
      roundEnd(c, line[0], {-1, 0}, sub({0, 0}, side), radius);
    } else if (begin + end > 0) {
      FinePoint a = sub(line[0], scaled(along, begin)), b = add(line[0], scaled(along, end));
      c.points.insert(c.points.end(), {sub(a, side), sub(b, side), add(b, side), add(a, side)});
      c.close();
    }
    return;
  }

  const size_t last = line.size() - 2;  // the last segment
  Unit previous{0, 0};
  FinePoint previousSide{0, 0};
  for (size_t i = 0; i + 1 < line.size(); i++) {
    FinePoint a = line[i], b = line[i + 1];
    Unit d = direction(a, b);
    FinePoint side = scaled(leftOf(d), radius);
    if (i == 0) a = sub(a, scaled(d, begin));
    if (i == last) b = add(b, scaled(d, end));
    // An extension shorter than minus the segment leaves nothing of it.
    if ((double)(b.x - a.x) * d.x + (double)(b.y - a.y) * d.y > 0) {
      c.points.insert(c.points.end(), {sub(a, side), sub(b, side), add(b, side), add(a, side)});
      c.close();
    }
    if (i > 0) joinWedge(c, line[i], line[i - 1], line[i + 1], previous, d, previousSide, side, radius);
    if (round && i == 0) roundEnd(c, line[0], {-d.x, -d.y}, sub({0, 0}, side), radius);
    if (round && i == last) roundEnd(c, line[i + 1], d, side, radius);
    previous = d, previousSide = side;
  }
}

}  // namespace

void pathOutline(const Point* points, size_t count, int32_t width, int pathType, int32_t beginExtension,
                 int32_t endExtension, PathOutline& out) {
  out.polygons.clear();
  // The centre line without repeats, kept in out.centreLine (whose memory a
  // caller that reuses out keeps) and cleared at the end for a path with width.
  std::vector<FinePoint>& line = out.centreLine;
  line.clear();
  for (size_t i = 0; i < count; i++) {
    FinePoint p{(int64_t)points[i].x * OUTLINE_UNITS_PER_UNIT, (int64_t)points[i].y * OUTLINE_UNITS_PER_UNIT};
    if (line.empty() || !(line.back() == p)) line.push_back(p);
  }
  if (line.empty() || width == 0) return;
  outlineOf(line, width, pathType, beginExtension, endExtension, out.polygons);
  line.clear();
}
