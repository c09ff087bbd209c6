#include "io/GdsRecords.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>

namespace {

// The fixed bytes of a plain BOUNDARY: its start and LAYER's header, then
// DATATYPE's, XY's (five points) and the ENDEL.
const unsigned char boundaryHead[8] = {0, 4, GDS_BOUNDARY, 0, 0, 6, GDS_LAYER, GDS_INT2};
const unsigned char datatypeHead[4] = {0, 6, GDS_DATATYPE, GDS_INT2};
const unsigned char xyHead[4] = {0, 44, GDS_XY, GDS_INT4};
const unsigned char endel[4] = {0, 4, GDS_ENDEL, 0};

unsigned char* store16(unsigned char* q, uint32_t v) {
  q[0] = (unsigned char)(v >> 8), q[1] = (unsigned char)v;
  return q + 2;
}
unsigned char* store32(unsigned char* q, uint32_t v) {
  q[0] = (unsigned char)(v >> 24), q[1] = (unsigned char)(v >> 16);
  q[2] = (unsigned char)(v >> 8), q[3] = (unsigned char)v;
  return q + 4;
}

}  // namespace

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

bool matchPlainBoundary(const unsigned char* p, size_t size, GdsPlainBoundary& found) {
  if (size < GDS_PLAIN_BOUNDARY || std::memcmp(p, boundaryHead, 8) ||
      std::memcmp(p + 10, datatypeHead, 4) || std::memcmp(p + 16, xyHead, 4) ||
      std::memcmp(p + GDS_PLAIN_BODY, endel, 4))
    return false;
  found = {be16(p + 8), be16(p + 14), p + 20};
  return true;
}

int gdsExpectedDataType(int type) {
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

std::string gdsText(const GdsRecord& r) {
  size_t n = r.size;
  while (n > 0 && r.data[n - 1] == 0) --n;
  return std::string((const char*)r.data, n);
}

namespace {

// The value record of attribute attr in records: its offset and length, or
// false. The records were checked when read; a damaged list finds nothing.
bool propertyAt(const std::string& records, int attr, size_t& at, size_t& length) {
  const unsigned char* p = (const unsigned char*)records.data();
  bool matched = false;
  for (size_t i = 0; i + 4 <= records.size();) {
    const size_t n = be16(p + i);
    if (n < 4 || n > records.size() - i) return false;
    if (p[i + 2] == GDS_PROPATTR && n >= 6) {
      matched = (int16_t)be16(p + i + 4) == attr;
    } else if (p[i + 2] == GDS_PROPVALUE && matched) {
      at = i, length = n;
      return true;
    }
    i += n;
  }
  return false;
}

}  // namespace

bool findGdsProperty(const std::string& records, int attr, std::string& value) {
  size_t at, length;
  if (!propertyAt(records, attr, at, length)) return false;
  GdsRecord r{GDS_PROPVALUE, GDS_ASCII, (const unsigned char*)records.data() + at + 4, length - 4, 0};
  value = gdsText(r);
  return true;
}

std::string withGdsProperty(const std::string& records, int attr, const std::string& value) {
  GdsRecordWriter w;
  size_t at, length;
  if (!propertyAt(records, attr, at, length)) {
    w.raw(records);
    w.int2(GDS_PROPATTR, (uint32_t)attr);
    w.string(GDS_PROPVALUE, value);
    return w.bytes();
  }
  w.raw(records.substr(0, at));
  w.string(GDS_PROPVALUE, value);
  w.raw(records.substr(at + length));
  return w.bytes();
}

int32_t gdsMarkerValue(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  long long n = std::strtoll(text.c_str(), &end, 10);
  const bool whole = end != text.c_str() && *end == '\0' && errno == 0;
  return whole && n >= INT32_MIN && n <= INT32_MAX ? (int32_t)n : 0;
}

bool GdsRecordScanner::fail(size_t offset, const std::string& why) {
  if (error.empty()) {
    error = why;
    errorOffset = (int64_t)offset;
  }
  return false;
}

bool GdsRecordScanner::next(GdsRecord& r) {
  if (size - pos < 4)
    return fail(pos, pos == size ? "the file ends before ENDLIB" : "truncated record header");
  const unsigned char* h = data + pos;
  size_t length = be16(h);
  r = {h[2], h[3], h + 4, length - 4, pos};
  if (length < 4 || length % 2 != 0) return fail(pos, "bad record length " + std::to_string(length));
  if (length > size - pos) return fail(pos, "record runs past the end of the file");
  if (r.type > GDS_LAST_KNOWN) return fail(pos, "unknown record type " + std::to_string(r.type));
  static const size_t unit[7] = {1, 2, 2, 4, 4, 8, 1};
  int expected = gdsExpectedDataType(r.type);
  if (r.dataType > GDS_ASCII || (expected >= 0 && r.dataType != expected))
    return fail(pos, "record type " + std::to_string(r.type) + " with data type " +
                         std::to_string(r.dataType));
  if (r.dataType != GDS_NO_DATA && r.size % unit[r.dataType] != 0)
    return fail(pos, "data size does not fit its type");
  pos += length;
  return true;
}

void GdsRecordWriter::head(int type, int dataType, size_t bytes) {
  unsigned char* q = store16(room(4), (uint32_t)(bytes + 4));
  q[0] = (unsigned char)type, q[1] = (unsigned char)dataType;
}

void GdsRecordWriter::put16(uint32_t v) { store16(room(2), v); }

void GdsRecordWriter::put32(uint32_t v) { store32(room(4), v); }

void GdsRecordWriter::int2(int type, uint32_t v) {
  head(type, GDS_INT2, 2);
  put16(v & 0xFFFF);
}

void GdsRecordWriter::string(int type, const std::string& s) {
  const size_t n = std::min<size_t>(s.size(), 65530);
  head(type, GDS_ASCII, n + n % 2);
  unsigned char* q = room(n + n % 2);
  std::memcpy(q, s.data(), n);
  if (n % 2) q[n] = 0;
}

void GdsRecordWriter::dates(int type, const std::tm& tm) {
  head(type, GDS_INT2, 24);
  for (int i = 0; i < 2; i++) {
    const int v[6] = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    for (int x : v) put16((uint32_t)x);
  }
}

void GdsRecordWriter::raw(const std::string& bytes) {
  if (!bytes.empty()) std::memcpy(room(bytes.size()), bytes.data(), bytes.size());
}

void GdsRecordWriter::plainBoundary(uint32_t layer, uint32_t datatype, const int32_t xy[10],
                                    bool close) {
  unsigned char* q = room(close ? GDS_PLAIN_BOUNDARY : GDS_PLAIN_BODY);
  std::memcpy(q, boundaryHead, 8);
  q = store16(q + 8, layer);
  std::memcpy(q, datatypeHead, 4);
  q = store16(q + 4, datatype);
  std::memcpy(q, xyHead, 4);
  q += 4;
  for (int i = 0; i < 10; i++) q = store32(q, (uint32_t)xy[i]);
  if (close) std::memcpy(q, endel, 4);
}

void GdsRecordWriter::flush(std::ostream& out) {
  out.write(buffer.data(), (std::streamsize)used);
  used = 0;
}
