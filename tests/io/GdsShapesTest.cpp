// Every GDSII element comes back from a read and a write byte for byte.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "io/Gdsii.h"
#include "io/GdsShapes.h"
#include "model/Shapes.h"
#include "support/GuiTest.h"

namespace {

// The layers and cells a read fills, and the bytes a write gives back.
struct Doc {
  Layer layers[SLOT_COUNT];
  CellLibrary lib;
  GdsLibraryInfo info;
  LayerMap map;
  Doc() { applyStartupSettings(layers); }
  std::string roundTrip(const std::string& bytes) {
    GdsReadResult r = readGdsii((const unsigned char*)bytes.data(), bytes.size(), map, layers, info, {}, &lib);
    EXPECT_EQ("", r.error + r.skipReport());
    std::ostringstream o;
    writeGdsii(o, layers, map, info, 0, &lib);
    return o.str();
  }
};

// Each element's bytes, start record to ENDEL, and a count of TEXT elements.
std::multiset<std::string> elements(const std::string& bytes, int* texts = nullptr) {
  std::multiset<std::string> out;
  GdsRecordScanner scan((const unsigned char*)bytes.data(), bytes.size());
  GdsRecord r;
  size_t start = 0;
  while (scan.next(r) && r.type != GDS_ENDLIB) {
    if (isGdsElementStart(r.type)) start = r.offset;
    if (texts && r.type == GDS_TEXT) ++*texts;
    if (r.type == GDS_ENDEL) out.insert(bytes.substr(start, scan.pos - start));
  }
  return out;
}

void xy(GdsRecordWriter& w, std::vector<int32_t> v) {
  w.head(GDS_XY, GDS_INT4, 4 * v.size());
  for (int32_t x : v) w.put32((uint32_t)x);
}
void int4(GdsRecordWriter& w, int type, int32_t v) { w.head(type, GDS_INT4, 4), w.put32((uint32_t)v); }
void bits(GdsRecordWriter& w, int type, uint32_t v) { w.head(type, GDS_BITS, 2), w.put16(v); }
void dates(GdsRecordWriter& w, int type, int from) {
  w.head(type, GDS_INT2, 24);
  for (int i = 0; i < 12; i++) w.put16((uint32_t)(from + i));
}
void layer(GdsRecordWriter& w, int start, int typeRecord, int type) {
  w.empty(start), w.int2(GDS_LAYER, 1), w.int2(typeRecord, (uint32_t)type);
}
void path(GdsRecordWriter& w, int type, int32_t width, std::vector<int32_t> points, bool extensions = false) {
  layer(w, GDS_PATH, GDS_DATATYPE, 0), w.int2(GDS_PATHTYPE, (uint32_t)type), int4(w, GDS_WIDTH, width);
  if (extensions) int4(w, GDS_BGNEXTN, -3), int4(w, GDS_ENDEXTN, 7);
  xy(w, points), w.empty(GDS_ENDEL);
}

}  // namespace

// A library of every element kind, on one pair so that the write keeps
// their order: the whole file comes back, dates and header records too.
TEST(GdsShapes, EveryElementKindIsWrittenBackByteForByte) {
  GdsRecordWriter w;
  w.int2(GDS_HEADER, 600), dates(w, GDS_BGNLIB, 1990);
  w.string(GDS_LIBNAME, "ALL"), w.string(0x1F, "REFLIB_A"), w.string(0x20, "FONT0");
  w.head(GDS_UNITS, GDS_REAL8, 16), w.put32(0x3E418937), w.put32(0x4BC6A7F0), w.put32(0x3944B82F), w.put32(0xA09B5A54);
  dates(w, GDS_BGNSTR, 2001), w.string(GDS_STRNAME, "TOP"), bits(w, GDS_STRCLASS, 3);
  // A label with everything a TEXT may hold, ELFLAGS, PLEX and properties.
  w.empty(GDS_TEXT), bits(w, GDS_ELFLAGS, 2), int4(w, GDS_PLEX, 77), w.int2(GDS_LAYER, 1), w.int2(GDS_TEXTTYPE, 0);
  bits(w, GDS_PRESENTATION, 0x0A), w.int2(GDS_PATHTYPE, 1), int4(w, GDS_WIDTH, 5), bits(w, GDS_STRANS, 0x8000);
  putGdsReal(w, GDS_MAG, 0.5, 0), putGdsReal(w, GDS_ANGLE, 30, 0), xy(w, {-100, 250}), w.string(GDS_STRING, "VPWR");
  w.int2(GDS_PROPATTR, 5), w.string(GDS_PROPVALUE, "net=VPWR"), w.empty(GDS_ENDEL);
  layer(w, GDS_TEXT, GDS_TEXTTYPE, 0), xy(w, {0, 0}), w.string(GDS_STRING, "A"), w.empty(GDS_ENDEL);
  layer(w, GDS_BOUNDARY, GDS_DATATYPE, 0), xy(w, {0, 0, 10, 0, 20, 10, 20, 20, 0, 20, 0, 0}), w.empty(GDS_ENDEL);  // 45 degrees
  layer(w, GDS_BOUNDARY, GDS_DATATYPE, 0), xy(w, {0, 0, 17, 3, 5, 11, 0, 0}), w.empty(GDS_ENDEL);                // any angle
  layer(w, GDS_BOUNDARY, GDS_DATATYPE, 0), xy(w, {0, 0, 3, 0, 3, 1, 1, 1, 1, 2, 0, 2, 0, 0}), w.empty(GDS_ENDEL);  // an L
  w.empty(GDS_BOUNDARY), int4(w, GDS_PLEX, 3), w.int2(GDS_LAYER, 1), w.int2(GDS_DATATYPE, 0);  // a rectangle with PLEX
  xy(w, {0, 0, 4, 0, 4, 4, 0, 4, 0, 0}), w.int2(GDS_PROPATTR, 9), w.string(GDS_PROPVALUE, "x"), w.empty(GDS_ENDEL);
  for (int type : {0, 1, 2}) path(w, type, 7, {0, 0, 30, 0, 50, 20});
  path(w, 4, 6, {0, 0, 0, 40}, true), path(w, 0, 0, {5, 5, 9, 40}), path(w, 2, -4, {1, 1, 2, 2});
  layer(w, GDS_BOX, GDS_BOXTYPE, 3), xy(w, {0, 0, 8, 0, 8, 8, 0, 8, 0, 0}), w.empty(GDS_ENDEL);
  layer(w, GDS_NODE, GDS_NODETYPE, 2), xy(w, {1, 1, 5, 9}), w.empty(GDS_ENDEL);
  w.empty(GDS_ENDSTR), w.empty(GDS_ENDLIB);
  const std::string file = w.bytes();
  Doc d;
  const std::string back = d.roundTrip(file);
  EXPECT_EQ(elements(file), elements(back));
  EXPECT_TRUE(file == back) << back.size() << " bytes written for " << file.size();
  // Each kind became its own object: two labels, four polygons (the BOX
  // among them), one rectangle, six paths and the node, in file order.
  std::string kinds;
  const int slot = d.map.slotOf(1, 0);
  for (GroupNode* n = d.layers[slot].first(); n; n = n->next())
    kinds += dynamic_cast<Label*>(n) ? 'T' : dynamic_cast<Path*>(n) ? 'P' : dynamic_cast<Polygon*>(n) ? 'G' : 'R';
  EXPECT_EQ("TTGGGRPPPPPPGG", kinds);
  const Label* label = static_cast<Label*>(d.layers[slot].first());
  EXPECT_TRUE(label->text == "VPWR" && label->anchor == (Point{-100, 250}) && label->magnification == 0.5 &&
              label->angle == 30 && label->strans == 0x8000 && label->presentation == 0x0A);
  // A copy is the same kind of object, with its origin.
  GroupNode* copy = cloneObject(*label);
  EXPECT_TRUE(dynamic_cast<Label*>(copy) && static_cast<Label*>(copy)->text == "VPWR" && copy->origin == label->origin);
  delete copy;
}

// The SkyWater cells keep every element, their labels among them.
TEST(GdsShapes, SkyWaterCellsKeepAllTheirLabels) {
  const std::string source = getenv("KIVO_SOURCE_DIR"), data = getenv("KIVO_DATA_DIR") ? getenv("KIVO_DATA_DIR") : source + "/../shared/data";
  const std::string dir = data + "/sky130_fd_sc_hd";
  DIR* listing = opendir(dir.c_str());
  if (!listing) GTEST_SKIP() << dir << " is missing (set KIVO_DATA_DIR)";
  int files = 0;
  while (dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.size() < 4 || name.substr(name.size() - 4) != ".gds") continue;
    const std::string file = kivotest::readFile(dir + "/" + name);
    int texts = 0, textsBack = 0;
    Doc d;
    const std::multiset<std::string> read = elements(file, &texts), written = elements(d.roundTrip(file), &textsBack);
    EXPECT_TRUE(read == written && texts > 0 && texts == textsBack) << name;
    ++files;
  }
  closedir(listing);
  EXPECT_GE(files, 16);
}
