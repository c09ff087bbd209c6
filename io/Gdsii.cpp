#include "io/Gdsii.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "model/ObjectOrigin.h"

// The reader works on the whole file in memory (mapped, not copied), in two
// passes. The first checks every record against this grammar and notes, per
// cell, where its elements are, its references and how many objects its own
// shapes give:
//
//   library   = HEADER { libitem } ENDLIB            (bytes after ENDLIB ignored)
//   libitem   = LIBNAME | UNITS | structure | other
//   structure = BGNSTR STRNAME { STRCLASS | other | element } ENDSTR
//   element   = start { elemrec | other } ENDEL
//   start     = BOUNDARY | PATH | SREF | AREF | TEXT | NODE | BOX
//   elemrec   = LAYER | DATATYPE | WIDTH | XY | SNAME | COLROW | TEXTTYPE |
//               PRESENTATION | STRING | STRANS | MAG | ANGLE | PATHTYPE |
//               ELFLAGS | NODETYPE | PROPATTR | PROPVALUE | BOXTYPE | PLEX |
//               BGNEXTN | ENDEXTN
//   other     = any other record type up to 0x3B except HEADER (skipped)
//
// A record's length is even, at least 4 and within the file; its data type
// is 0..6 and the one its record type has, and its data a whole number of
// values. Shapes need LAYER and XY, references SNAME and XY. Anything else is
// an error at the offset of the offending record, and the layers stay empty.
// Then references are resolved, cycles rejected and objects counted (64-bit,
// saturating) before the second pass places every top cell's objects.

namespace {

// ---------------------------------------------------------------- numbers

uint32_t be16(const unsigned char* p) { return (uint32_t)p[0] << 8 | p[1]; }
int32_t be32(const unsigned char* p) {
  return (int32_t)((uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]);
}
uint64_t be64(const unsigned char* p) {
  return (uint64_t)(uint32_t)be32(p) << 32 | (uint32_t)be32(p + 4);
}

const int64_t OFFSET_CLAMP = (int64_t)1 << 61;
int64_t clampOffset(int64_t v) { return std::max(-OFFSET_CLAMP, std::min(OFFSET_CLAMP, v)); }
uint64_t saturatingMul(uint64_t a, uint64_t b, uint64_t cap) {
  if (a == 0 || b == 0) return 0;
  return a > cap / b ? cap : std::min(cap, a * b);
}

// ---------------------------------------------------------------- geometry

struct Box64 {
  int64_t x0, y0, x1, y1;
};

// Reflect about x (bit 4 of orient), then rotate by orient & 3 quarter
// turns counter-clockwise, then translate.
struct Transform {
  int a = 1, b = 0, c = 0, d = 1;
  int64_t tx = 0, ty = 0;
  static Transform of(int orient, int64_t x, int64_t y) {
    static const int m[4][4] = {{1, 0, 0, 1}, {0, -1, 1, 0}, {-1, 0, 0, -1}, {0, 1, -1, 0}};
    const int* r = m[orient & 3];
    int s = orient & 4 ? -1 : 1;
    Transform t;
    t.a = r[0], t.b = r[1] * s, t.c = r[2], t.d = r[3] * s;
    t.tx = clampOffset(x), t.ty = clampOffset(y);
    return t;
  }
  // This transform applied after inner.
  Transform after(const Transform& in) const {
    Transform t;
    t.a = a * in.a + b * in.c, t.b = a * in.b + b * in.d;
    t.c = c * in.a + d * in.c, t.d = c * in.b + d * in.d;
    t.tx = clampOffset(a * in.tx + b * in.ty + tx);
    t.ty = clampOffset(c * in.tx + d * in.ty + ty);
    return t;
  }
  Box64 apply(const Box64& r) const {
    int64_t x0 = a * r.x0 + b * r.y0 + tx, y0 = c * r.x0 + d * r.y0 + ty;
    int64_t x1 = a * r.x1 + b * r.y1 + tx, y1 = c * r.x1 + d * r.y1 + ty;
    return {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
  }
};

struct Interval {
  int64_t x0, x1;
};

// Turns a region given slab by slab (bottom up; each slab's intervals
// sorted, disjoint) into rectangles, extending a rectangle upwards while the
// next slab has the same interval.
class SlabMerger {
public:
  explicit SlabMerger(std::vector<Box64>& o) : out(o) {}
  void slab(int64_t y0, int64_t y1, const std::vector<Interval>& cur) {
    next.clear();
    size_t i = 0;
    for (const Interval& iv : cur) {
      while (i < open.size() && (open[i].x0 < iv.x0 || (open[i].x0 == iv.x0 && open[i].x1 < iv.x1)))
        close(open[i++]);
      if (i < open.size() && open[i].x0 == iv.x0 && open[i].x1 == iv.x1 && open[i].y1 == y0) {
        next.push_back(open[i++]);
        next.back().y1 = y1;
      } else {
        next.push_back({iv.x0, y0, iv.x1, y1});
      }
    }
    while (i < open.size()) close(open[i++]);
    open.swap(next);
  }
  void finish() {
    for (const Box64& b : open) close(b);
    open.clear();
  }

private:
  void close(const Box64& b) { out.push_back(b); }
  std::vector<Box64>& out;
  std::vector<Box64> open, next;
};

struct Point {
  int64_t x, y;
};

std::vector<Point> readPoints(const unsigned char* xy, size_t n) {
  std::vector<Point> p(n);
  for (size_t i = 0; i < n; i++) p[i] = {be32(xy + 8 * i), be32(xy + 8 * i + 4)};
  return p;
}

// An axis-parallel rectangle given as four corners (a fifth repeating the
// first), zero-sized ones included.
bool rectangleOf(const unsigned char* xy, size_t n, Box64& box) {
  if (n != 5 && n != 4) return false;
  Point p[5];
  for (size_t i = 0; i < n; i++) p[i] = {be32(xy + 8 * i), be32(xy + 8 * i + 4)};
  if (n == 5 && (p[4].x != p[0].x || p[4].y != p[0].y)) return false;
  bool aligned = (p[0].x == p[1].x && p[1].y == p[2].y && p[2].x == p[3].x && p[3].y == p[0].y) ||
                 (p[0].y == p[1].y && p[1].x == p[2].x && p[2].y == p[3].y && p[3].x == p[0].x);
  if (!aligned) return false;
  box = {std::min(p[0].x, p[2].x), std::min(p[0].y, p[2].y), std::max(p[0].x, p[2].x),
         std::max(p[0].y, p[2].y)};
  return true;
}

// Visit the slabs between the distinct y values of the boxes (each with
// y0 < y1), bottom up, with the boxes that span each slab: a sweep, so that
// large polygons cost in proportion to their edges crossing each slab.
template <class Item, class Visit>
void sweep(std::vector<Item>& boxes, Visit visit) {
  std::vector<int64_t> ys;
  for (const Item& b : boxes) ys.push_back(b.y0), ys.push_back(b.y1);
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::sort(boxes.begin(), boxes.end(), [](const Item& a, const Item& b) { return a.y0 < b.y0; });
  std::vector<const Item*> active;
  size_t next = 0;
  for (size_t k = 0; k + 1 < ys.size(); k++) {
    active.erase(std::remove_if(active.begin(), active.end(),
                                [&](const Item* b) { return b->y1 <= ys[k]; }),
                 active.end());
    while (next < boxes.size() && boxes[next].y0 <= ys[k]) active.push_back(&boxes[next++]);
    visit(ys[k], ys[k + 1], active);
  }
}

// A vertical edge of a polygon: y0 < y1, dir +1 upwards, -1 downwards.
struct Edge {
  int64_t x, y0, y1;
  int dir;
};

// Cut a rectilinear polygon into rectangles covering its inside without
// overlaps; false when an edge is not axis-parallel. Inside is where the
// winding number is not zero, as GDSII tools merge shapes: a loop wound
// twice fills, it does not cut a hole.
bool polygonRects(const unsigned char* xy, size_t n, std::vector<Box64>& out) {
  std::vector<Point> p = readPoints(xy, n);
  if (p.size() > 1 && p.back().x == p.front().x && p.back().y == p.front().y) p.pop_back();
  if (p.size() < 4) return false;
  std::vector<Edge> edges;
  for (size_t i = 0; i < p.size(); i++) {
    const Point &a = p[i], &b = p[(i + 1) % p.size()];
    if (a.x != b.x && a.y != b.y) return false;
    if (a.x == b.x && a.y != b.y)
      edges.push_back({a.x, std::min(a.y, b.y), std::max(a.y, b.y), a.y < b.y ? 1 : -1});
  }
  SlabMerger merger(out);
  std::vector<const Edge*> xs;
  std::vector<Interval> cur;
  sweep(edges, [&](int64_t y0, int64_t y1, const std::vector<const Edge*>& active) {
    xs.assign(active.begin(), active.end());
    std::sort(xs.begin(), xs.end(), [](const Edge* a, const Edge* b) { return a->x < b->x; });
    cur.clear();
    int winding = 0;
    for (size_t i = 0; i + 1 < xs.size(); i++) {
      winding += xs[i]->dir;
      if (winding == 0 || xs[i]->x == xs[i + 1]->x) continue;
      if (!cur.empty() && cur.back().x1 == xs[i]->x)
        cur.back().x1 = xs[i + 1]->x;
      else
        cur.push_back({xs[i]->x, xs[i + 1]->x});
    }
    merger.slab(y0, y1, cur);
  });
  merger.finish();
  return true;
}

// Cut the union of rectangles into rectangles without overlaps.
void unionRects(std::vector<Box64>& in, std::vector<Box64>& out) {
  in.erase(std::remove_if(in.begin(), in.end(),
                          [](const Box64& r) { return r.x0 >= r.x1 || r.y0 >= r.y1; }),
           in.end());
  SlabMerger merger(out);
  std::vector<Interval> spans, cur;
  sweep(in, [&](int64_t y0, int64_t y1, const std::vector<const Box64*>& active) {
    spans.clear();
    for (const Box64* r : active) spans.push_back({r->x0, r->x1});
    std::sort(spans.begin(), spans.end(),
              [](const Interval& a, const Interval& b) { return a.x0 < b.x0; });
    cur.clear();
    for (const Interval& span : spans) {
      if (!cur.empty() && span.x0 <= cur.back().x1)
        cur.back().x1 = std::max(cur.back().x1, span.x1);
      else
        cur.push_back(span);
    }
    merger.slab(y0, y1, cur);
  });
  merger.finish();
}

// The outline of a path along the axes, type 0 (flush ends) or 2 (ends
// extended by half the width), positive even width: each segment widened by
// half the width on both sides and, at bends, extended by it so that the
// corner is filled. False for anything else.
bool pathRects(const unsigned char* xy, size_t n, int pathType, int32_t width,
               std::vector<Box64>& out) {
  if ((pathType != 0 && pathType != 2) || width <= 0 || width % 2 != 0) return false;
  std::vector<Point> p;
  for (const Point& q : readPoints(xy, n))
    if (p.empty() || q.x != p.back().x || q.y != p.back().y) p.push_back(q);
  if (p.size() < 2) return false;
  const int64_t half = width / 2;
  std::vector<Box64> pieces;
  for (size_t i = 0; i + 1 < p.size(); i++) {
    const Point &a = p[i], &b = p[i + 1];
    if (a.x != b.x && a.y != b.y) return false;
    const int64_t extendA = (i > 0 || pathType == 2) ? half : 0;
    const int64_t extendB = (i + 2 < p.size() || pathType == 2) ? half : 0;
    Box64 r;
    if (a.y == b.y) {
      const bool forward = a.x < b.x;
      r = {std::min(a.x, b.x) - (forward ? extendA : extendB), a.y - half,
           std::max(a.x, b.x) + (forward ? extendB : extendA), a.y + half};
    } else {
      const bool forward = a.y < b.y;
      r = {a.x - half, std::min(a.y, b.y) - (forward ? extendA : extendB), a.x + half,
           std::max(a.y, b.y) + (forward ? extendB : extendA)};
    }
    pieces.push_back(r);
  }
  if (pieces.size() == 1)
    out.push_back(pieces[0]);
  else
    unionRects(pieces, out);
  return true;
}

// ---------------------------------------------------------------- records

struct Record {
  int type, dataType;
  const unsigned char* data;
  size_t size;
  size_t offset;
};

// The data type of each known record type; -1: any.
int expectedDataType(int type) {
  switch (type) {
    case GDS_HEADER: case GDS_BGNLIB: case GDS_BGNSTR: case GDS_LAYER: case GDS_DATATYPE:
    case GDS_COLROW: case GDS_TEXTTYPE: case GDS_PATHTYPE: case GDS_NODETYPE:
    case GDS_PROPATTR: case GDS_BOXTYPE:
      return GDS_INT2;
    case GDS_WIDTH: case GDS_XY: case GDS_PLEX: case GDS_BGNEXTN: case GDS_ENDEXTN:
      return GDS_INT4;
    case GDS_LIBNAME: case GDS_STRNAME: case GDS_SNAME: case GDS_STRING: case GDS_PROPVALUE:
      return GDS_ASCII;
    case GDS_UNITS: case GDS_MAG: case GDS_ANGLE:
      return GDS_REAL8;
    case GDS_PRESENTATION: case GDS_STRANS: case GDS_ELFLAGS:
      return GDS_BITS;
    case GDS_ENDLIB: case GDS_ENDSTR: case GDS_BOUNDARY: case GDS_PATH: case GDS_SREF:
    case GDS_AREF: case GDS_TEXT: case GDS_ENDEL: case GDS_NODE: case GDS_BOX:
      return GDS_NO_DATA;
    default:
      return -1;
  }
}

bool isElementStart(int t) {
  return (t >= GDS_BOUNDARY && t <= GDS_TEXT) || t == GDS_NODE || t == GDS_BOX;
}
bool isElementPart(int t) {
  return (t >= GDS_LAYER && t <= GDS_COLROW && t != GDS_ENDEL) || t == GDS_TEXTTYPE ||
         t == GDS_PRESENTATION || (t >= GDS_STRING && t <= GDS_ANGLE) || t == GDS_PATHTYPE ||
         t == GDS_ELFLAGS || (t >= GDS_NODETYPE && t <= GDS_PROPVALUE) ||
         (t >= GDS_BOXTYPE && t <= GDS_ENDEXTN);
}
// Records skipped wherever they stand outside an element.
bool isOther(int t) {
  return t != GDS_HEADER && t <= GDS_LAST_KNOWN && !isElementStart(t) && !isElementPart(t) &&
         t != GDS_ENDEL && t != GDS_STRNAME && t != GDS_ENDSTR && t != GDS_BGNSTR &&
         t != GDS_ENDLIB && t != GDS_STRCLASS;
}

std::string text(const Record& r) {
  size_t n = r.size;
  while (n > 0 && r.data[n - 1] == 0) --n;
  return std::string((const char*)r.data, n);
}

// One element's fields; XY stays in the file.
struct Element {
  int type = 0;
  size_t offset = 0;
  bool hasLayer = false, hasName = false;
  uint32_t layer = 0, datatype = 0;
  int pathType = 0;
  int32_t width = 0;
  uint32_t strans = 0;
  double mag = 1, angle = 0;
  int cols = 0, rows = 0;
  const unsigned char* name = nullptr;
  size_t nameSize = 0;
  const unsigned char* xy = nullptr;
  size_t points = 0;
  int propAttr = -1;
  bool hasValue = false;
  int32_t value = 0;
};

class Scanner {
public:
  Scanner(const unsigned char* d, size_t n) : data(d), size(n) {}

  bool fail(size_t offset, const std::string& why) {
    if (error.empty()) {
      error = why;
      errorOffset = (int64_t)offset;
    }
    return false;
  }

  // The record at pos, checked; advances pos.
  bool next(Record& r) {
    if (size - pos < 4)
      return fail(pos, pos == size ? "the file ends before ENDLIB" : "truncated record header");
    const unsigned char* h = data + pos;
    size_t length = be16(h);
    r = {h[2], h[3], h + 4, length - 4, pos};
    if (length < 4 || length % 2 != 0)
      return fail(pos, "bad record length " + std::to_string(length));
    if (length > size - pos) return fail(pos, "record runs past the end of the file");
    if (r.type > GDS_LAST_KNOWN) return fail(pos, "unknown record type " + std::to_string(r.type));
    static const size_t unit[7] = {1, 2, 2, 4, 4, 8, 1};
    int expected = expectedDataType(r.type);
    if (r.dataType > GDS_ASCII || (expected >= 0 && r.dataType != expected))
      return fail(pos, "record type " + std::to_string(r.type) + " with data type " +
                           std::to_string(r.dataType));
    if (r.dataType != GDS_NO_DATA && r.size % unit[r.dataType] != 0)
      return fail(pos, "data size does not fit its type");
    pos += length;
    return true;
  }

  bool needs(const Record& r, size_t bytes) {
    return r.size >= bytes || fail(r.offset, "record too short");
  }

  // The element whose start record was just read, up to its ENDEL.
  bool element(const Record& start, Element& e) {
    if (start.type == GDS_BOUNDARY && plainBoundary(start.offset, e)) return true;
    e = Element();
    e.type = start.type;
    e.offset = start.offset;
    Record r;
    while (next(r)) {
      switch (r.type) {
        case GDS_ENDEL:
          if (e.type == GDS_SREF || e.type == GDS_AREF) {
            if (!e.hasName || e.points == 0) return fail(e.offset, "reference without SNAME or XY");
          } else if (e.type != GDS_TEXT && e.type != GDS_NODE && (!e.hasLayer || e.points == 0)) {
            return fail(e.offset, "shape without LAYER or XY");
          }
          return true;
        case GDS_LAYER:
          if (!needs(r, 2)) return false;
          e.layer = be16(r.data), e.hasLayer = true;
          break;
        case GDS_DATATYPE: case GDS_BOXTYPE: case GDS_TEXTTYPE: case GDS_NODETYPE:
          if (!needs(r, 2)) return false;
          e.datatype = be16(r.data);
          break;
        case GDS_PATHTYPE:
          if (!needs(r, 2)) return false;
          e.pathType = (int16_t)be16(r.data);
          break;
        case GDS_WIDTH:
          if (!needs(r, 4)) return false;
          e.width = be32(r.data);
          break;
        case GDS_XY:
          e.xy = r.data, e.points = r.size / 8;
          break;
        case GDS_SNAME:
          e.name = r.data, e.nameSize = r.size, e.hasName = true;
          while (e.nameSize > 0 && e.name[e.nameSize - 1] == 0) --e.nameSize;
          break;
        case GDS_STRANS:
          if (!needs(r, 2)) return false;
          e.strans = be16(r.data);
          break;
        case GDS_MAG: case GDS_ANGLE:
          if (!needs(r, 8)) return false;
          (r.type == GDS_MAG ? e.mag : e.angle) = fromGdsReal(be64(r.data));
          break;
        case GDS_COLROW:
          if (!needs(r, 4)) return false;
          e.cols = (int16_t)be16(r.data), e.rows = (int16_t)be16(r.data + 2);
          break;
        case GDS_PROPATTR:
          if (!needs(r, 2)) return false;
          e.propAttr = (int16_t)be16(r.data);
          break;
        case GDS_PROPVALUE:
          if (e.propAttr == 1) {
            std::string v = text(r);
            char* end = nullptr;
            errno = 0;
            long long n = std::strtoll(v.c_str(), &end, 10);
            if (end != v.c_str() && *end == '\0' && errno == 0 && n >= INT32_MIN && n <= INT32_MAX)
              e.hasValue = true, e.value = (int32_t)n;
          }
          break;
        default:
          if (!isElementPart(r.type) && !isOther(r.type))
            return fail(r.offset, "ENDEL missing before record type " + std::to_string(r.type));
      }
    }
    return false;
  }

  // The common BOUNDARY of LAYER, DATATYPE, five points and ENDEL (64
  // bytes), matched as a whole: a shortcut through element() for the
  // records that make up nearly all of a large file.
  bool plainBoundary(size_t at, Element& e) {
    static const unsigned char head[] = {0, 4, GDS_BOUNDARY, 0, 0, 6, GDS_LAYER, GDS_INT2};
    static const unsigned char datatype[] = {0, 6, GDS_DATATYPE, GDS_INT2};
    static const unsigned char xy[] = {0, 44, GDS_XY, GDS_INT4};
    static const unsigned char endel[] = {0, 4, GDS_ENDEL, 0};
    const unsigned char* p = data + at;
    if (size - at < 64 || std::memcmp(p, head, 8) || std::memcmp(p + 10, datatype, 4) ||
        std::memcmp(p + 16, xy, 4) || std::memcmp(p + 60, endel, 4))
      return false;
    e = Element();
    e.type = GDS_BOUNDARY;
    e.offset = at;
    e.hasLayer = true;
    e.layer = be16(p + 8);
    e.datatype = be16(p + 14);
    e.xy = p + 20;
    e.points = 5;
    pos = at + 64;
    return true;
  }

  const unsigned char* data;
  size_t size;
  size_t pos = 0;
  std::string error;
  int64_t errorOffset = -1;
};

// ---------------------------------------------------------------- cells

struct Ref {
  uint32_t child;
  size_t offset;
  int orient;
  Point origin, colStep, rowStep;
  int64_t cols, rows;
  Transform instance(int64_t c, int64_t r) const {
    return Transform::of(orient, origin.x + c * colStep.x + r * rowStep.x,
                         origin.y + c * colStep.y + r * rowStep.y);
  }
};

struct Cell {
  std::string name;
  bool defined = false, referenced = false;
  size_t begin = 0, end = 0, offset = 0;
  std::vector<Ref> refs;
  uint64_t own = 0, total = 0;
  int state = 0;  // 0 new, 1 on the search path, 2 counted
};

class Reader {
public:
  Reader(const unsigned char* d, size_t n, const LayerMap& m, Layer* l, uint64_t limit)
      : scan(d, n), map(m), layers(l), objectLimit(limit) {}

  GdsReadResult run(GdsLibraryInfo& info) {
    GdsLibraryInfo found;
    if (library(found) && resolve(found)) {
      info = found;
      place();
    }
    result.error = scan.error;
    result.errorOffset = scan.errorOffset;
    return result;
  }

private:
  bool library(GdsLibraryInfo& info) {
    Record r;
    if (!scan.next(r)) return false;
    if (r.type != GDS_HEADER) return scan.fail(0, "no HEADER record");
    while (scan.next(r)) {
      if (r.type == GDS_ENDLIB) return true;
      if (r.type == GDS_LIBNAME) {
        info.libraryName = text(r);
      } else if (r.type == GDS_UNITS) {
        if (!scan.needs(r, 16)) return false;
        info.userUnits = fromGdsReal(be64(r.data));
        info.metres = fromGdsReal(be64(r.data + 8));
        info.unitsBytes.assign((const char*)r.data, 16);
      } else if (r.type == GDS_BGNSTR) {
        if (!structure(r.offset)) return false;
      } else if (!isOther(r.type)) {
        return scan.fail(r.offset, "record type " + std::to_string(r.type) + " in the wrong place");
      }
    }
    return false;
  }

  bool structure(size_t offset) {
    Record r;
    if (!scan.next(r)) return false;
    if (r.type != GDS_STRNAME) return scan.fail(r.offset, "STRNAME missing after BGNSTR");
    uint32_t index = cellNamed(text(r));
    if (cells[index].defined)
      return scan.fail(r.offset, "cell " + cells[index].name + " defined twice");
    cells[index].defined = true;
    cells[index].offset = offset;
    cells[index].begin = scan.pos;
    order.push_back(index);
    Element e;
    while (scan.next(r)) {
      if (r.type == GDS_ENDSTR) {
        cells[index].end = r.offset;
        return true;
      }
      if (isElementStart(r.type)) {
        if (!scan.element(r, e)) return false;
        note(index, e);
      } else if (r.type != GDS_STRCLASS && !isOther(r.type)) {
        return scan.fail(r.offset, "record type " + std::to_string(r.type) + " in the wrong place");
      }
    }
    return false;
  }

  uint32_t cellNamed(const std::string& name) {
    auto found = names.find(name);
    if (found != names.end()) return found->second;
    cells.emplace_back();
    cells.back().name = name;
    names.emplace(name, (uint32_t)(cells.size() - 1));
    return (uint32_t)(cells.size() - 1);
  }

  // Shapes of an element in its cell's coordinates; false when skipped.
  bool shapes(const Element& e, std::vector<Box64>& out) {
    out.clear();
    Box64 box;
    if (e.type == GDS_PATH) return pathRects(e.xy, e.points, e.pathType, e.width, out);
    if (rectangleOf(e.xy, e.points, box)) {
      out.push_back(box);
      return true;
    }
    return e.type == GDS_BOUNDARY && polygonRects(e.xy, e.points, out);
  }

  // First pass: count the element's objects or what it skips, keep references.
  void note(uint32_t cell, const Element& e) {
    switch (e.type) {
      case GDS_TEXT: ++result.skipped[SKIP_TEXT]; return;
      case GDS_NODE: ++result.skipped[SKIP_NODE]; return;
      case GDS_SREF: case GDS_AREF: reference(cell, e); return;
    }
    if (shapes(e, boxes))
      cells[cell].own += boxes.size();
    else
      ++result.skipped[e.type == GDS_PATH ? SKIP_PATH : SKIP_POLYGON];
  }

  void reference(uint32_t cell, const Element& e) {
    Ref ref;
    ref.child = cellNamed(std::string((const char*)e.name, e.nameSize));
    cells[ref.child].referenced = true;
    ref.offset = e.offset;
    double turns = std::fmod(e.angle, 360.0) / 90.0;
    if (turns < 0) turns += 4;
    double quarter = std::round(turns);
    if ((e.strans & 0x0002) || std::fabs(e.mag - 1) > 1e-9 || std::fabs(turns - quarter) > 1e-9) {
      ++result.skipped[SKIP_TRANSFORM];
      return;
    }
    ref.orient = ((int)quarter & 3) | (e.strans & 0x8000 ? 4 : 0);
    std::vector<Point> p = readPoints(e.xy, std::min<size_t>(e.points, 3));
    ref.origin = p[0];
    ref.cols = ref.rows = 1;
    ref.colStep = ref.rowStep = {0, 0};
    if (e.type == GDS_AREF) {
      if (e.points < 3 || e.cols <= 0 || e.rows <= 0 || (p[1].x - p[0].x) % e.cols ||
          (p[1].y - p[0].y) % e.cols || (p[2].x - p[0].x) % e.rows || (p[2].y - p[0].y) % e.rows) {
        ++result.skipped[SKIP_ARRAY];
        return;
      }
      ref.cols = e.cols, ref.rows = e.rows;
      ref.colStep = {(p[1].x - p[0].x) / e.cols, (p[1].y - p[0].y) / e.cols};
      ref.rowStep = {(p[2].x - p[0].x) / e.rows, (p[2].y - p[0].y) / e.rows};
    }
    cells[cell].refs.push_back(ref);
  }

  // Drop references to missing cells, reject cycles, count objects.
  bool resolve(GdsLibraryInfo& info) {
    for (Cell& cell : cells) {
      auto gone = std::remove_if(cell.refs.begin(), cell.refs.end(),
                                 [&](const Ref& r) { return !cells[r.child].defined; });
      result.skipped[SKIP_MISSING_CELL] += (uint64_t)(cell.refs.end() - gone);
      cell.refs.erase(gone, cell.refs.end());
    }
    const uint64_t cap = objectLimit + 1;
    std::vector<std::pair<uint32_t, size_t>> path;
    uint64_t total = 0;
    for (uint32_t start : order) {
      if (cells[start].state == 0) path.push_back({start, 0});
      while (!path.empty()) {
        Cell& cell = cells[path.back().first];
        cell.state = 1;
        size_t& k = path.back().second;
        if (k < cell.refs.size()) {
          const Ref& ref = cell.refs[k++];
          Cell& child = cells[ref.child];
          if (child.state == 1)
            return scan.fail(ref.offset, "reference cycle through cell " + child.name);
          if (child.state == 0) path.push_back({ref.child, 0});
          continue;
        }
        cell.total = std::min(cap, cell.own);
        for (const Ref& ref : cell.refs) {
          uint64_t n = saturatingMul(saturatingMul((uint64_t)ref.cols, (uint64_t)ref.rows, cap),
                                     cells[ref.child].total, cap);
          cell.total = std::min(cap, cell.total + n);
        }
        cell.state = 2;
        path.pop_back();
      }
      if (!cells[start].referenced) {
        if (tops.empty()) info.cellName = cells[start].name;
        tops.push_back(start);
        total = std::min(cap, total + cells[start].total);
      }
    }
    if (total > objectLimit) {
      scan.error = "The design has more than " + std::to_string(objectLimit) +
                   " objects when flattened; it was not opened.";
      return false;
    }
    return true;
  }

  // Second pass: place the objects of every top cell and its instances.
  void place() {
    struct Frame {
      uint32_t cell;
      Transform t;
      size_t ref;
      int64_t c, r;
    };
    std::vector<Frame> stack;
    for (uint32_t top : tops) {
      stack.push_back({top, Transform(), 0, 0, 0});
      emitOwn(top, Transform());
      while (!stack.empty()) {
        Frame& f = stack.back();
        const Cell& cell = cells[f.cell];
        if (f.ref == cell.refs.size()) {
          stack.pop_back();
          continue;
        }
        const Ref& ref = cell.refs[f.ref];
        if (cells[ref.child].total == 0) {
          ++f.ref;
          continue;
        }
        Transform t = f.t.after(ref.instance(f.c, f.r));
        if (++f.c == ref.cols) f.c = 0, ++f.r;
        if (f.r == ref.rows) f.r = 0, ++f.ref;
        uint32_t child = ref.child;
        stack.push_back({child, t, 0, 0, 0});
        emitOwn(child, t);
      }
    }
  }

  void emitOwn(uint32_t index, const Transform& t) {
    const Cell& cell = cells[index];
    if (cell.own == 0) return;
    Scanner again(scan.data, cell.end);
    again.pos = cell.begin;
    Record r;
    Element e;
    while (again.pos < cell.end && again.next(r)) {
      if (!isElementStart(r.type) || !again.element(r, e)) continue;
      const bool shape = e.type == GDS_BOUNDARY || e.type == GDS_PATH || e.type == GDS_BOX;
      if (!shape || !shapes(e, boxes)) continue;
      for (const Box64& b : boxes) add(e, t.apply(b));
    }
  }

  void add(const Element& e, const Box64& b) {
    if (b.x0 < INT32_MIN || b.y0 < INT32_MIN || b.x1 > INT32_MAX || b.y1 > INT32_MAX ||
        b.x1 - b.x0 > INT32_MAX || b.y1 - b.y0 > INT32_MAX) {
      ++result.skipped[SKIP_RANGE];
      return;
    }
    if (!cached || e.layer != cachedLayer || e.datatype != cachedDatatype) {
      ObjectOrigin o;
      o.gdsLayer = (int32_t)e.layer;
      o.gdsDatatype = (int32_t)e.datatype;
      cachedOrigin = internOrigin(o);
      cachedSlot = map.slotOf(e.layer, e.datatype);
      cachedLayer = e.layer, cachedDatatype = e.datatype, cached = true;
    }
    GroupNode* node = newLayoutObject(cachedSlot);
    if (Opt* opt = dynamic_cast<Opt*>(node)) opt->value = e.hasValue ? e.value : 0;
    node->x = (int32_t)b.x0, node->y = (int32_t)b.y0;
    node->w = (int32_t)(b.x1 - b.x0), node->h = (int32_t)(b.y1 - b.y0);
    node->origin = cachedOrigin;
    // Appended at once, while the node is still in the cache.
    layers[cachedSlot].appendChain(node);
    ++result.objects;
  }

  Scanner scan;
  const LayerMap& map;
  Layer* layers;
  uint64_t objectLimit;
  GdsReadResult result;
  std::vector<Cell> cells;
  std::vector<uint32_t> order, tops;  // defined cells in file order; top cells
  std::unordered_map<std::string, uint32_t> names;
  std::vector<Box64> boxes;
  bool cached = false;
  uint32_t cachedLayer = 0, cachedDatatype = 0, cachedOrigin = 0;
  int cachedSlot = 0;
};

// ---------------------------------------------------------------- writing

class RecordWriter {
public:
  void head(int type, int dataType, size_t bytes) {
    put16((uint32_t)(bytes + 4));
    buffer.push_back((char)type);
    buffer.push_back((char)dataType);
  }
  void put16(uint32_t v) {
    buffer.push_back((char)(v >> 8));
    buffer.push_back((char)v);
  }
  void put32(int32_t v) {
    put16((uint32_t)v >> 16);
    put16((uint32_t)v & 0xFFFF);
  }
  void empty(int type) { head(type, GDS_NO_DATA, 0); }
  void int2(int type, uint32_t v) {
    head(type, GDS_INT2, 2);
    put16(v & 0xFFFF);
  }
  void string(int type, const std::string& s) {
    std::string t = s.substr(0, 65530);
    head(type, GDS_ASCII, t.size() + t.size() % 2);
    buffer.append(t);
    if (t.size() % 2) buffer.push_back('\0');
  }
  void dates(int type, const std::tm& tm) {
    head(type, GDS_INT2, 24);
    for (int i = 0; i < 2; i++) {
      const int v[6] = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                        tm.tm_hour,          tm.tm_min,     tm.tm_sec};
      for (int x : v) put16((uint32_t)x);
    }
  }
  void flush(std::ostream& out) {
    out.write(buffer.data(), (std::streamsize)buffer.size());
    buffer.clear();
  }
  std::string buffer;
};

template <size_t N>
unsigned char* put(unsigned char* q, const unsigned char (&bytes)[N]) {
  std::memcpy(q, bytes, N);
  return q + N;
}
unsigned char* store16(unsigned char* q, uint32_t v) {
  q[0] = (unsigned char)(v >> 8), q[1] = (unsigned char)v;
  return q + 2;
}
unsigned char* store32(unsigned char* q, uint32_t v) {
  q[0] = (unsigned char)(v >> 24), q[1] = (unsigned char)(v >> 16);
  q[2] = (unsigned char)(v >> 8), q[3] = (unsigned char)v;
  return q + 4;
}

bool writable(const GroupNode& n) {
  int64_t fx = (int64_t)n.x + n.w, fy = (int64_t)n.y + n.h;
  return fx >= INT32_MIN && fx <= INT32_MAX && fy >= INT32_MIN && fy <= INT32_MAX;
}

bool hasSuffix(const char* name, const char* suffix) {
  size_t n = std::strlen(name), s = std::strlen(suffix);
  return n >= s && strcasecmp(name + n - s, suffix) == 0;
}

const char* const skipNames[SKIP_KINDS] = {
    "text(s)",
    "node(s)",
    "polygon(s) that are not rectilinear",
    "path(s) not along the axes, of a type other than 0 or 2, or of an odd or non-positive width",
    "reference(s) with a magnification, an absolute angle or an angle not a multiple of 90 degrees",
    "array(s) whose steps do not divide by their column or row count",
    "reference(s) to cells not in the file",
    "object(s) outside the 32-bit coordinate range",
};

}  // namespace

std::string GdsReadResult::skipReport() const {
  std::string report;
  for (int k = 0; k < SKIP_KINDS; k++)
    if (skipped[k]) report += std::to_string(skipped[k]) + " " + skipNames[k] + "\n";
  return report;
}

std::string GdsReadResult::errorText() const {
  if (errorOffset < 0) return error;
  return "Not a readable GDSII file: " + error + " at byte " + std::to_string(errorOffset) + ".";
}

uint64_t toGdsReal(double value) {
  if (!(value != 0) || !std::isfinite(value)) return 0;
  uint64_t sign = value < 0 ? (uint64_t)1 << 63 : 0;
  double v = std::fabs(value);
  int exponent = 64;
  while (v >= 1 && exponent < 127) v /= 16, ++exponent;
  while (v < 1.0 / 16 && exponent > 0) v *= 16, --exponent;
  uint64_t mantissa = (uint64_t)std::llround(std::ldexp(std::min(v, 1.0), 56));
  if (mantissa >> 56) mantissa >>= 4, ++exponent;
  if (exponent > 127) return sign | 0x7FFFFFFFFFFFFFFFull;
  return sign | (uint64_t)exponent << 56 | (mantissa & 0x00FFFFFFFFFFFFFFull);
}

double fromGdsReal(uint64_t bits) {
  const int exponent = (int)(bits >> 56 & 0x7F) - 64;
  double v = std::ldexp((double)(bits & 0x00FFFFFFFFFFFFFFull), 4 * exponent - 56);
  return bits >> 63 ? -v : v;
}

bool isGdsii(const unsigned char* data, size_t size) {
  return size >= 6 && be16(data) >= 6 && data[2] == GDS_HEADER && data[3] == GDS_INT2;
}

bool isGdsiiFile(const char* path) {
  unsigned char head[6];
  ReadStatus status;
  int error = 0;
  int fd = openRegularFile(path, status, error);
  if (fd < 0) return false;
  ssize_t n = ::read(fd, head, sizeof head);
  ::close(fd);
  return n == (ssize_t)sizeof head && isGdsii(head, sizeof head);
}

GdsReadResult readGdsii(const unsigned char* data, size_t size, const LayerMap& map,
                        Layer layers[LAYER_COUNT], GdsLibraryInfo& info, uint64_t objectLimit) {
  return Reader(data, size, map, layers, objectLimit).run(info);
}

ReadStatus readGdsiiFile(const char* path, const LayerMap& map, Layer layers[LAYER_COUNT],
                         GdsLibraryInfo& info, GdsReadResult& result) {
  result = GdsReadResult();
  ReadStatus status;
  int fd = openRegularFile(path, status, result.errorNumber);
  if (fd < 0) return status;
  // Read into memory rather than mapped: a file that another program
  // truncates meanwhile must give a short read, not a fault. The buffer
  // asks for huge pages: faulting in a big file page by page would cost
  // more than reading it.
  struct stat st;
  const size_t size = ::fstat(fd, &st) == 0 ? (size_t)st.st_size : 0;
  const size_t HUGE_PAGE = 2 << 20;
  const size_t capacity = (size / HUGE_PAGE + 1) * HUGE_PAGE;
  std::unique_ptr<unsigned char, void (*)(void*)> data(
      static_cast<unsigned char*>(std::aligned_alloc(HUGE_PAGE, capacity)), std::free);
  if (!data) {
    ::close(fd);
    result.errorNumber = ENOMEM;
    return READ_IO_FAILED;
  }
  ::madvise(data.get(), capacity, MADV_HUGEPAGE);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, data.get() + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.errorNumber = errno;
      ::close(fd);
      return READ_IO_FAILED;
    }
    if (n == 0) break;
    done += (size_t)n;
  }
  ::close(fd);
  result = readGdsii(data.get(), done, map, layers, info);
  return READ_OK;
}

size_t writeGdsii(std::ostream& out, const Layer layers[LAYER_COUNT], const LayerMap& map,
                  const GdsLibraryInfo& info, std::time_t stamp) {
  std::tm tm;
  gmtime_r(&stamp, &tm);
  RecordWriter w;
  w.int2(GDS_HEADER, 600);
  w.dates(GDS_BGNLIB, tm);
  w.string(GDS_LIBNAME, info.libraryName);
  w.head(GDS_UNITS, GDS_REAL8, 16);
  if (info.unitsBytes.size() == 16) {
    w.buffer += info.unitsBytes;
  } else {
    for (double v : {info.userUnits, info.metres}) {
      uint64_t bits = toGdsReal(v);
      w.put32((int32_t)(bits >> 32));
      w.put32((int32_t)bits);
    }
  }
  w.dates(GDS_BGNSTR, tm);
  w.string(GDS_STRNAME, info.cellName.empty() ? "TOP" : info.cellName);
  w.flush(out);
  // Elements are laid out byte by byte in a block: 64 bytes per plain object.
  static const unsigned char boundary[] = {0, 4, GDS_BOUNDARY, 0, 0, 6, GDS_LAYER, GDS_INT2};
  static const unsigned char datatypeHead[] = {0, 6, GDS_DATATYPE, GDS_INT2};
  static const unsigned char xyHead[] = {0, 44, GDS_XY, GDS_INT4};
  static const unsigned char endel[] = {0, 4, GDS_ENDEL, 0};
  const size_t blockSize = 1 << 16;
  std::unique_ptr<unsigned char[]> block(new unsigned char[blockSize + 256]);
  unsigned char* q = block.get();
  size_t skipped = 0;
  for (int i = 0; i < LAYER_COUNT; i++) {
    uint32_t lastOrigin = UINT32_MAX, layer = 0, datatype = 0;
    for (GroupNode* n = layers[i].first(); n; n = n->next()) {
      if (!writable(*n)) {
        ++skipped;
        continue;
      }
      if (n->origin != lastOrigin) {
        const ObjectOrigin& o = originOf(n->origin);
        if (o.gdsLayer >= 0 && o.gdsDatatype >= 0)
          layer = (uint32_t)o.gdsLayer, datatype = (uint32_t)o.gdsDatatype;
        else if (i == LAYER_UNKNOWN)
          layer = datatype = 0;
        else
          map.pairOf(i, layer, datatype);
        lastOrigin = n->origin;
      }
      q = put(q, boundary);
      q = store16(q, layer);
      q = store16(put(q, datatypeHead), datatype);
      q = put(q, xyHead);
      const int32_t x1 = n->x + n->w, y1 = n->y + n->h;  // writable: no overflow
      const int32_t xy[10] = {n->x, n->y, x1, n->y, x1, y1, n->x, y1, n->x, n->y};
      for (int32_t v : xy) q = store32(q, (uint32_t)v);
      if (i == LAYER_OPTIONS) {
        if (const Opt* opt = dynamic_cast<const Opt*>(n)) {
          w.int2(GDS_PROPATTR, 1);
          w.string(GDS_PROPVALUE, std::to_string(opt->getValue()));
          std::memcpy(q, w.buffer.data(), w.buffer.size());
          q += w.buffer.size();
          w.buffer.clear();
        }
      }
      q = put(q, endel);
      if ((size_t)(q - block.get()) >= blockSize) {
        out.write((const char*)block.get(), q - block.get());
        q = block.get();
      }
    }
  }
  out.write((const char*)block.get(), q - block.get());
  w.empty(GDS_ENDSTR);
  w.empty(GDS_ENDLIB);
  w.flush(out);
  return skipped;
}

SaveStatus saveGdsiiFile(const char* path, const Layer layers[LAYER_COUNT], const LayerMap& map,
                         const GdsLibraryInfo& info, int& errorNumber) {
  const std::time_t now = std::time(nullptr);
  size_t skipped = 0;
  SaveStatus status = saveSafely(path, [&](std::ostream& out) {
    skipped = writeGdsii(out, layers, map, info, now);
    if (skipped > 0) out.setstate(std::ios::badbit);  // never keep an incomplete file
  }, errorNumber);
  if (skipped > 0) errorNumber = EOVERFLOW;
  return status;
}

FileFormat saveFormatFor(const char* name, FileFormat current) {
  if (hasSuffix(name, ".gds") || hasSuffix(name, ".gds2") || hasSuffix(name, ".gdsii"))
    return FORMAT_GDSII;
  if (hasSuffix(name, ".msk")) return FORMAT_MSK;
  return current;
}
