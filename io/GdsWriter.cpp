#include "io/GdsWriter.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <ostream>
#include <string>

#include <strings.h>

#include "io/GdsRecords.h"
#include "model/ObjectOrigin.h"

namespace {

// 64 KiB of records are written at a time: few calls into the stream, and
// the buffer stays in the cache.
const size_t FLUSH_BYTES = 1 << 16;

bool writable(const GroupNode& n) {
  int64_t fx = (int64_t)n.x + n.w, fy = (int64_t)n.y + n.h;
  return fx >= INT32_MIN && fx <= INT32_MAX && fy >= INT32_MIN && fy <= INT32_MAX;
}

bool hasSuffix(const char* name, const char* suffix) {
  size_t n = std::strlen(name), s = std::strlen(suffix);
  return n >= s && strcasecmp(name + n - s, suffix) == 0;
}

}  // namespace

size_t writeGdsii(std::ostream& out, const Layer layers[LAYER_COUNT], const LayerMap& map,
                  const GdsLibraryInfo& info, std::time_t stamp) {
  std::tm tm;
  gmtime_r(&stamp, &tm);
  GdsRecordWriter w;
  w.int2(GDS_HEADER, 600);
  w.dates(GDS_BGNLIB, tm);
  w.string(GDS_LIBNAME, info.libraryName);
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
  w.dates(GDS_BGNSTR, tm);
  w.string(GDS_STRNAME, info.cellName.empty() ? "TOP" : info.cellName);
  size_t skipped = 0;
  for (int i : drawingOrder()) {  // the same order whatever slots the session handed out
    uint32_t lastOrigin = UINT32_MAX, layer = 0, datatype = 0;
    std::string properties, marker;
    bool hasMarker = false;
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
        properties = o.gdsProperties;
        hasMarker = findGdsProperty(properties, 1, marker);
        lastOrigin = n->origin;
      }
      const int32_t x1 = n->x + n->w, y1 = n->y + n->h;  // writable: no overflow
      const int32_t xy[10] = {n->x, n->y, x1, n->y, x1, y1, n->x, y1, n->x, n->y};
      // A marker's value is property 1: kept as read (text included) until
      // the value changes.
      const Opt* opt = i == LAYER_OPTIONS ? dynamic_cast<const Opt*>(n) : nullptr;
      if (!opt && properties.empty()) {
        w.plainBoundary(layer, datatype, xy);
      } else {
        w.plainBoundary(layer, datatype, xy, false);
        if (!opt || (hasMarker && gdsMarkerValue(marker) == opt->getValue()))
          w.raw(properties);
        else
          w.raw(withGdsProperty(properties, 1, std::to_string(opt->getValue())));
        w.empty(GDS_ENDEL);
      }
      if (w.pending() >= FLUSH_BYTES) w.flush(out);
    }
  }
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
