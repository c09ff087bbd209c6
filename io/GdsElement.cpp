#include "io/GdsElement.h"

#include <string>

namespace {

bool isElementPart(int t) {
  return (t >= GDS_LAYER && t <= GDS_COLROW && t != GDS_ENDEL) || t == GDS_TEXTTYPE ||
         t == GDS_PRESENTATION || (t >= GDS_STRING && t <= GDS_ANGLE) || t == GDS_PATHTYPE ||
         t == GDS_ELFLAGS || (t >= GDS_NODETYPE && t <= GDS_PROPVALUE) ||
         (t >= GDS_BOXTYPE && t <= GDS_ENDEXTN);
}

void keep(const GdsRecordScanner& scan, const GdsRecord& r, GdsElement& e) {
  e.properties.append((const char*)scan.data + r.offset, r.size + 4);
}

}  // namespace

void splitKeptRecords(const std::string& kept, std::string& head, std::string& middle, std::string& tail) {
  head.clear(), middle.clear(), tail.clear();
  const unsigned char* p = (const unsigned char*)kept.data();
  for (size_t i = 0; i + 4 <= kept.size();) {
    const size_t n = be16(p + i);
    if (n < 4 || n > kept.size() - i) break;  // checked when read: only a damaged list stops here
    const int type = p[i + 2];
    std::string& to = type == GDS_ELFLAGS || type == GDS_PLEX ? head
                      : type == GDS_PATHTYPE || type == GDS_WIDTH ? middle : tail;
    to.append(kept, i, n);
    i += n;
  }
}

bool isGdsElementStart(int t) {
  return (t >= GDS_BOUNDARY && t <= GDS_TEXT) || t == GDS_NODE || t == GDS_BOX;
}

bool isGdsOther(int t) {
  return t != GDS_HEADER && t <= GDS_LAST_KNOWN && !isGdsElementStart(t) && !isElementPart(t) &&
         t != GDS_ENDEL && t != GDS_STRNAME && t != GDS_ENDSTR && t != GDS_BGNSTR &&
         t != GDS_ENDLIB && t != GDS_STRCLASS;
}

bool readGdsElement(GdsRecordScanner& scan, const GdsRecord& start, GdsElement& e) {
  GdsPlainBoundary plain;
  if (start.type == GDS_BOUNDARY &&
      matchPlainBoundary(scan.data + start.offset, scan.size - start.offset, plain)) {
    // Nearly every element of a large file: only what a BOUNDARY uses is set.
    e.type = start.type, e.offset = start.offset;
    e.hasLayer = true;
    e.layer = plain.layer, e.datatype = plain.datatype;
    e.xy = plain.xy, e.points = 5;
    e.properties.clear();
    scan.pos = start.offset + GDS_PLAIN_BOUNDARY;
    return true;
  }
  e = GdsElement();
  e.type = start.type;
  e.offset = start.offset;
  GdsRecord r;
  while (scan.next(r)) {
    switch (r.type) {
      case GDS_ENDEL:
        if (e.type == GDS_SREF || e.type == GDS_AREF) {
          if (!e.hasName || e.points == 0) return scan.fail(e.offset, "reference without SNAME or XY");
        } else if (e.type != GDS_TEXT && e.type != GDS_NODE && (!e.hasLayer || e.points == 0)) {
          return scan.fail(e.offset, "shape without LAYER or XY");
        }
        return true;
      case GDS_LAYER:
        if (!scan.needs(r, 2)) return false;
        e.layer = be16(r.data), e.hasLayer = true;
        break;
      case GDS_DATATYPE: case GDS_BOXTYPE: case GDS_TEXTTYPE: case GDS_NODETYPE:
        if (!scan.needs(r, 2)) return false;
        e.datatype = be16(r.data);
        break;
      case GDS_PATHTYPE:
        if (!scan.needs(r, 2)) return false;
        e.pathType = (int16_t)be16(r.data), e.hasPathType = true;
        if (e.type == GDS_TEXT) keep(scan, r, e);
        break;
      case GDS_WIDTH:
        if (!scan.needs(r, 4)) return false;
        e.width = be32(r.data), e.hasWidth = true;
        if (e.type == GDS_TEXT) keep(scan, r, e);
        break;
      case GDS_BGNEXTN: case GDS_ENDEXTN:
        if (!scan.needs(r, 4)) return false;
        (r.type == GDS_BGNEXTN ? e.beginExtension : e.endExtension) = be32(r.data);
        (r.type == GDS_BGNEXTN ? e.hasBeginExtension : e.hasEndExtension) = true;
        break;
      case GDS_PRESENTATION:
        if (!scan.needs(r, 2)) return false;
        e.presentation = be16(r.data), e.hasPresentation = true;
        break;
      case GDS_STRING:
        e.text = r.data, e.textSize = r.size;
        while (e.textSize > 0 && e.text[e.textSize - 1] == 0) --e.textSize;
        break;
      case GDS_ELFLAGS: case GDS_PLEX:
        keep(scan, r, e);
        break;
      case GDS_XY:
        e.xy = r.data, e.points = r.size / 8;
        break;
      case GDS_SNAME:
        e.name = r.data, e.nameSize = r.size, e.hasName = true;
        while (e.nameSize > 0 && e.name[e.nameSize - 1] == 0) --e.nameSize;
        break;
      case GDS_STRANS:
        if (!scan.needs(r, 2)) return false;
        e.strans = be16(r.data), e.hasStrans = true;
        break;
      case GDS_MAG: case GDS_ANGLE:
        if (!scan.needs(r, 8)) return false;
        (r.type == GDS_MAG ? e.mag : e.angle) = fromGdsReal(be64(r.data));
        (r.type == GDS_MAG ? e.magBits : e.angleBits) = be64(r.data);
        (r.type == GDS_MAG ? e.hasMag : e.hasAngle) = true;
        break;
      case GDS_COLROW:
        if (!scan.needs(r, 4)) return false;
        e.cols = (int16_t)be16(r.data), e.rows = (int16_t)be16(r.data + 2);
        break;
      case GDS_PROPATTR: case GDS_PROPVALUE:
        if (r.type == GDS_PROPATTR && !scan.needs(r, 2)) return false;
        keep(scan, r, e);
        break;
      default:
        if (!isElementPart(r.type) && !isGdsOther(r.type))
          return scan.fail(r.offset, "ENDEL missing before record type " + std::to_string(r.type));
    }
  }
  return false;
}
