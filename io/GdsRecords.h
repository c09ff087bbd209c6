#ifndef KIVO_GDSRECORDS_H
#define KIVO_GDSRECORDS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <iosfwd>
#include <string>

// GDSII stream records, both ways: big-endian records of a 2-byte length
// (header included), a record type and a data type, then the data.
enum GdsRecordType {
  GDS_HEADER = 0x00, GDS_BGNLIB = 0x01, GDS_LIBNAME = 0x02, GDS_UNITS = 0x03,
  GDS_ENDLIB = 0x04, GDS_BGNSTR = 0x05, GDS_STRNAME = 0x06, GDS_ENDSTR = 0x07,
  GDS_BOUNDARY = 0x08, GDS_PATH = 0x09, GDS_SREF = 0x0A, GDS_AREF = 0x0B,
  GDS_TEXT = 0x0C, GDS_LAYER = 0x0D, GDS_DATATYPE = 0x0E, GDS_WIDTH = 0x0F,
  GDS_XY = 0x10, GDS_ENDEL = 0x11, GDS_SNAME = 0x12, GDS_COLROW = 0x13,
  GDS_NODE = 0x15, GDS_TEXTTYPE = 0x16, GDS_PRESENTATION = 0x17, GDS_STRING = 0x19,
  GDS_STRANS = 0x1A, GDS_MAG = 0x1B, GDS_ANGLE = 0x1C, GDS_PATHTYPE = 0x21,
  GDS_ELFLAGS = 0x26, GDS_NODETYPE = 0x2A, GDS_PROPATTR = 0x2B, GDS_PROPVALUE = 0x2C,
  GDS_BOX = 0x2D, GDS_BOXTYPE = 0x2E, GDS_PLEX = 0x2F, GDS_BGNEXTN = 0x30,
  GDS_ENDEXTN = 0x31, GDS_STRCLASS = 0x34, GDS_LAST_KNOWN = 0x3B,
};
enum GdsDataType {
  GDS_NO_DATA = 0, GDS_BITS = 1, GDS_INT2 = 2, GDS_INT4 = 3, GDS_REAL4 = 4, GDS_REAL8 = 5,
  GDS_ASCII = 6,
};

inline uint32_t be16(const unsigned char* p) { return (uint32_t)p[0] << 8 | p[1]; }
inline int32_t be32(const unsigned char* p) {
  return (int32_t)((uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]);
}
inline uint64_t be64(const unsigned char* p) {
  return (uint64_t)(uint32_t)be32(p) << 32 | (uint32_t)be32(p + 4);
}

// 8-byte GDSII reals: sign, excess-64 base-16 exponent, 56-bit mantissa.
uint64_t toGdsReal(double value);
double fromGdsReal(uint64_t bits);

// The common BOUNDARY: LAYER, DATATYPE, five points and ENDEL, 64 bytes,
// nearly every element of a large file. Without its ENDEL, properties may
// follow the first GDS_PLAIN_BODY bytes.
const size_t GDS_PLAIN_BOUNDARY = 64;
const size_t GDS_PLAIN_BODY = 60;
struct GdsPlainBoundary {
  uint32_t layer, datatype;
  const unsigned char* xy;  // five points
};
// The plain BOUNDARY at p, up to its ENDEL, when the size bytes there hold one.
bool matchPlainBoundary(const unsigned char* p, size_t size, GdsPlainBoundary& found);

struct GdsRecord {
  int type, dataType;
  const unsigned char* data;
  size_t size;    // bytes of data
  size_t offset;  // of the header in the file
};

// The data type each record type must have; -1: any.
int gdsExpectedDataType(int type);
// The ASCII data without its padding.
std::string gdsText(const GdsRecord& r);

// Kept element properties: PROPATTR/PROPVALUE records as a file gave them.
// The text of the value of attribute attr; false when there is none.
bool findGdsProperty(const std::string& records, int attr, std::string& value);
// The records with the value of attribute attr replaced by value, or the
// pair added at the end when there is none.
std::string withGdsProperty(const std::string& records, int attr, const std::string& value);
// The marker value that property 1's text gives: its integer, else 0.
int32_t gdsMarkerValue(const std::string& text);

// Reads records one after another from memory, checking each: its length
// is even, at least 4 and within the data; its type is known (up to
// GDS_LAST_KNOWN); its data type is 0..6 and the one its type has; its
// data is a whole number of values. The first failure is kept.
class GdsRecordScanner {
public:
  GdsRecordScanner(const unsigned char* d, size_t n) : data(d), size(n) {}
  // The record at pos, checked; advances pos.
  bool next(GdsRecord& r);
  // Note a failure (the first one stays); returns false.
  bool fail(size_t offset, const std::string& why);
  bool needs(const GdsRecord& r, size_t bytes) {
    return r.size >= bytes || fail(r.offset, "record too short");
  }

  const unsigned char* data;
  size_t size;
  size_t pos = 0;
  std::string error;
  int64_t errorOffset = -1;
};

// Encodes records into a buffer that the owner flushes to a stream.
class GdsRecordWriter {
public:
  void head(int type, int dataType, size_t bytes);
  void put16(uint32_t v);
  void put32(uint32_t v);
  void empty(int type) { head(type, GDS_NO_DATA, 0); }
  void int2(int type, uint32_t v);
  void string(int type, const std::string& s);
  // Two copies of the date and time (last modified, last accessed).
  void dates(int type, const std::tm& tm);
  // Bytes that are whole records already (kept properties, for instance).
  void raw(const std::string& bytes);
  // A plain BOUNDARY; xy holds five points. Without its ENDEL the element
  // is left open for properties.
  void plainBoundary(uint32_t layer, uint32_t datatype, const int32_t xy[10], bool close = true);
  size_t pending() const { return used; }
  std::string bytes() const { return buffer.substr(0, used); }
  void flush(std::ostream& out);

private:
  // n bytes at the end of the buffer, to be written.
  unsigned char* room(size_t n) {
    if (buffer.size() - used < n) buffer.resize(std::max(2 * buffer.size(), used + n));
    unsigned char* p = (unsigned char*)&buffer[used];
    used += n;
    return p;
  }
  std::string buffer;
  size_t used = 0;
};

#endif
