#include "io/GdsWriter.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ostream>
#include <string>
#include <typeinfo>

#include <strings.h>

#include "io/GdsRecords.h"
#include "io/GdsShapes.h"
#include "model/ObjectOrigin.h"

namespace {

// 64 KiB of records are written at a time: few calls into the stream, and
// the buffer stays in the cache.
const size_t FLUSH_BYTES = 1 << 16;

bool writable(const GroupNode& n) {
  int64_t fx = (int64_t)n.x + n.w, fy = (int64_t)n.y + n.h;
  return fx >= INT32_MIN && fx <= INT32_MAX && fy >= INT32_MIN && fy <= INT32_MAX;
}

// The dates a file gave, else now.
void keptDates(GdsRecordWriter& w, int type, const std::string& dates, const std::tm& now) {
  if (dates.empty()) return w.dates(type, now);
  w.head(type, GDS_INT2, dates.size());
  w.raw(dates);
}

bool hasSuffix(const char* name, const char* suffix) {
  size_t n = std::strlen(name), s = std::strlen(suffix);
  return n >= s && strcasecmp(name + n - s, suffix) == 0;
}

}  // namespace

// The BOUNDARY records of one layer's objects; how many could not be written.
static size_t writeShapes(GdsRecordWriter& w, std::ostream& out, const Layer& objects, int i,
                          const LayerMap& map) {
  size_t skipped = 0;
  uint32_t lastOrigin = UINT32_MAX, layer = 0, datatype = 0;
  std::string properties, marker, head, middle, tail;
  bool hasMarker = false;
  for (GroupNode* n = objects.first(); n; n = n->next()) {
    const std::type_info& type = typeid(*n);
    const Shape* shape = asShape(n, type);
    if (!shape && !writable(*n)) {
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
      properties = o.gdsProperties;
      hasMarker = findGdsProperty(properties, 1, marker);
      lastOrigin = n->origin;
    }
    if (shape) {
      writeGdsShape(w, *shape, layer, datatype, properties);
      if (w.pending() >= FLUSH_BYTES) w.flush(out);
      continue;
    }
    const int32_t x1 = n->x + n->w, y1 = n->y + n->h;  // writable: no overflow
    const int32_t xy[10] = {n->x, n->y, x1, n->y, x1, y1, n->x, y1, n->x, n->y};
    // A marker's value is property 1: kept as read (text included) until
    // the value changes.
    const Opt* opt = i != LAYER_OPTIONS ? nullptr : asOpt(n, type);
    if (!opt && properties.empty()) {
      w.plainBoundary(layer, datatype, xy);
    } else if (properties.empty()) {  // a marker read from a .msk file or drawn: its value alone
      w.plainBoundary(layer, datatype, xy, false);
      w.int2(GDS_PROPATTR, 1);
      w.string(GDS_PROPVALUE, std::to_string(opt->getValue()));
      w.empty(GDS_ENDEL);
    } else {
      const std::string kept = !opt || (hasMarker && gdsMarkerValue(marker) == opt->getValue())
                                   ? properties
                                   : withGdsProperty(properties, 1, std::to_string(opt->getValue()));
      splitKeptRecords(kept, head, middle, tail);
      if (head.empty()) {
        w.plainBoundary(layer, datatype, xy, false);
      } else {  // ELFLAGS or PLEX come first
        w.empty(GDS_BOUNDARY);
        w.raw(head);
        w.int2(GDS_LAYER, layer);
        w.int2(GDS_DATATYPE, datatype);
        w.head(GDS_XY, GDS_INT4, sizeof xy);
        for (int32_t v : xy) w.put32((uint32_t)v);
      }
      w.raw(tail);
      w.empty(GDS_ENDEL);
    }
    if (w.pending() >= FLUSH_BYTES) w.flush(out);
  }
  return skipped;
}

// An SREF, or an AREF with its three points, with STRANS, MAG and ANGLE
// as read.
static void writeInstance(GdsRecordWriter& w, const Instance& inst, const std::string& name) {
  const CellTransform& t = inst.transform;
  const CellArray& a = inst.array;
  const bool aref = a.fromAref || a.columns != 1 || a.rows != 1;
  std::string head, middle, tail;
  splitKeptRecords(originOf(inst.origin).gdsProperties, head, middle, tail);
  w.empty(aref ? GDS_AREF : GDS_SREF);
  w.raw(head);
  w.string(GDS_SNAME, name);
  const bool turned = t.hasAngle || t.quarterTurns != 0;
  if (t.mirrorX || t.hasMagnification || turned || t.absoluteMagnification || t.absoluteAngle) {
    // Bit 0 reflects about x; bits 13 and 14 make the magnification and the
    // angle absolute.
    w.head(GDS_STRANS, GDS_BITS, 2);
    w.put16((t.mirrorX ? 0x8000 : 0) | (t.absoluteMagnification ? 0x0004 : 0) | (t.absoluteAngle ? 0x0002 : 0));
    if (t.hasMagnification) putGdsReal(w, GDS_MAG, t.magnification, t.magnificationBits);
    if (turned) putGdsReal(w, GDS_ANGLE, t.hasAngle ? t.angle : 90.0 * (t.quarterTurns & 3), t.angleBits);
  }
  if (aref) {
    w.head(GDS_COLROW, GDS_INT2, 4);
    w.put16(a.columns);
    w.put16(a.rows);
    int32_t p[6] = {t.x, t.y, 0, 0, 0, 0};
    if (a.fromAref) {
      std::copy(a.points, a.points + 6, p);
    } else {
      p[2] = wrapAdd(t.x, (int32_t)((uint32_t)a.columnStep[0] * a.columns));
      p[3] = wrapAdd(t.y, (int32_t)((uint32_t)a.columnStep[1] * a.columns));
      p[4] = wrapAdd(t.x, (int32_t)((uint32_t)a.rowStep[0] * a.rows));
      p[5] = wrapAdd(t.y, (int32_t)((uint32_t)a.rowStep[1] * a.rows));
    }
    w.head(GDS_XY, GDS_INT4, 24);
    for (int32_t v : p) w.put32((uint32_t)v);
  } else {
    w.head(GDS_XY, GDS_INT4, 8);
    w.put32((uint32_t)t.x);
    w.put32((uint32_t)t.y);
  }
  w.raw(tail);
  w.empty(GDS_ENDEL);
}

size_t writeGdsii(std::ostream& out, const Layer layers[LAYER_COUNT], const LayerMap& map,
                  const GdsLibraryInfo& info, std::time_t stamp, const CellLibrary* cells) {
  std::tm tm;
  gmtime_r(&stamp, &tm);
  GdsRecordWriter w;
  w.int2(GDS_HEADER, 600);
  keptDates(w, GDS_BGNLIB, info.libraryDates, tm);
  w.raw(info.recordsBeforeName);
  w.string(GDS_LIBNAME, info.libraryName);
  w.raw(info.recordsAfterName);
  w.head(GDS_UNITS, GDS_REAL8, 16);
  if (info.unitsBytes.size() == 16) {
    w.raw(info.unitsBytes);
  } else {
    for (double v : {info.userUnits, info.metres}) {
      uint64_t bits = toGdsReal(v);
      w.put32((uint32_t)(bits >> 32));
      w.put32((uint32_t)bits);
    }
  }
  size_t skipped = 0;
  // Every cell after the cells it places; the shown one's objects are the
  // layers given.
  std::vector<uint32_t> order;
  if (cells) order = cells->childrenFirst();
  if (order.empty()) order.push_back(UINT32_MAX);
  for (uint32_t c : order) {
    const bool shown = !cells || c == UINT32_MAX || c == cells->shown;
    const Cell* cell = c == UINT32_MAX ? nullptr : &cells->cell(c);
    // A library's names go back as read, even an empty one.
    const std::string name = cell ? cell->name() : info.cellName.empty() ? "TOP" : info.cellName;
    auto kept = info.cellRecords.find(name);
    keptDates(w, GDS_BGNSTR, kept == info.cellRecords.end() ? std::string() : kept->second.dates, tm);
    w.string(GDS_STRNAME, name);
    if (kept != info.cellRecords.end()) w.raw(kept->second.structureClass);
    for (int i : drawingOrder()) {  // the same order whatever slots the session handed out
      const Layer* objects = shown ? &layers[i] : cell->layer(i);
      if (objects) skipped += writeShapes(w, out, *objects, i, map);
    }
    if (cell) {
      const Layer& instances = shown ? layers[LAYER_INSTANCES] : cell->instances();
      for (GroupNode* n = instances.first(); n; n = n->next()) {
        const Instance* inst = static_cast<const Instance*>(n);
        writeInstance(w, *inst, cells->cell(inst->cell).name());
        if (w.pending() >= FLUSH_BYTES) w.flush(out);
      }
    }
    w.empty(GDS_ENDSTR);
  }
  w.empty(GDS_ENDLIB);
  w.flush(out);
  return skipped;
}

SaveStatus saveGdsiiFile(const char* path, const Layer layers[LAYER_COUNT], const LayerMap& map,
                         const GdsLibraryInfo& info, int& errorNumber, const CellLibrary* cells) {
  const std::time_t now = std::time(nullptr);
  size_t skipped = 0;
  SaveStatus status = saveSafely(path, [&](std::ostream& out) {
    skipped = writeGdsii(out, layers, map, info, now, cells);
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
