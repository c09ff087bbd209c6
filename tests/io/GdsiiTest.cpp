// GDSII: the hierarchy kept, skipped kinds, malformed files, limits, round trip.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/KivoWindow.h"
#include "io/Gdsii.h"
#include "model/Shapes.h"
#include "model/CellFlatten.h"
#include "model/ObjectOrigin.h"
#include "support/GuiTest.h"

namespace {

using Pts = std::vector<std::pair<int, int>>;

// Builds GDSII files record by record.
struct Gds {
  std::string b;
  Gds& rec(int type, int dt, std::vector<int64_t> v = {}) {
    size_t unit = dt == GDS_INT4 ? 4 : dt == GDS_REAL8 ? 8 : 2;
    put(4 + v.size() * unit, 2) += std::string{(char)type, (char)dt};
    for (int64_t x : v) put(dt == GDS_REAL8 ? toGdsReal(std::ldexp((double)x, -20)) : (uint64_t)x, unit);
    return *this;
  }
  std::string& put(uint64_t v, size_t bytes) { for (size_t i = bytes; i-- > 0;) b.push_back((char)(v >> (8 * i))); return b; }
  Gds& str(int type, std::string s) {  // padded to an even length
    return s.resize(s.size() + s.size() % 2), put(4 + s.size(), 2) += std::string{(char)type, (char)GDS_ASCII} + s, *this;
  }
  Gds& xy(const Pts& p) { std::vector<int64_t> v; for (auto& q : p) v.push_back((uint32_t)q.first), v.push_back((uint32_t)q.second); return rec(GDS_XY, GDS_INT4, v); }
  Gds& begin(double userUnits = 0.001, int lastBits = 0) {  // lastBits: added to the metres' real
    rec(GDS_HEADER, GDS_INT2, {600}).rec(GDS_BGNLIB, GDS_INT2, std::vector<int64_t>(12, 1));
    str(GDS_LIBNAME, "LIB").put(20, 2) += std::string{(char)GDS_UNITS, (char)GDS_REAL8};  // two reals
    return put(toGdsReal(userUnits), 8), put(toGdsReal(userUnits * 1e-6) + lastBits, 8), *this;
  }
  Gds& cell(const std::string& name) { return rec(GDS_BGNSTR, GDS_INT2, std::vector<int64_t>(12, 1)).str(GDS_STRNAME, name); }
  Gds& endCell() { return rec(GDS_ENDSTR, 0); }
  Gds& end() { return endCell().rec(GDS_ENDLIB, 0); }  // the last cell and the library
  Gds& shape(int start, int layer, int dt, const Pts& p, const std::string& properties = "") {
    rec(start, 0).rec(GDS_LAYER, 2, {layer}).rec(start == GDS_BOX ? GDS_BOXTYPE : GDS_DATATYPE, 2, {dt}).xy(p).b += properties;
    return rec(GDS_ENDEL, 0);
  }
  Gds& path(int layer, int type, int width, const Pts& p) {
    rec(GDS_PATH, 0).rec(GDS_LAYER, 2, {layer}).rec(GDS_DATATYPE, 2, {0}).rec(GDS_PATHTYPE, 2, {type});
    return rec(GDS_WIDTH, 3, {width}).xy(p).rec(GDS_ENDEL, 0);
  }
  // A reference; angle in degrees, mag (x 2^-20 as in rec's reals) 0 for none.
  Gds& ref(const std::string& name, int strans, int angle, const Pts& p, int cols = 0, int rows = 0, int64_t mag = 0) {
    rec(p.size() == 1 ? GDS_SREF : GDS_AREF, 0).str(GDS_SNAME, name).rec(GDS_STRANS, GDS_BITS, {strans});
    if (mag) rec(GDS_MAG, GDS_REAL8, {mag});
    if (rec(GDS_ANGLE, GDS_REAL8, {(int64_t)angle << 20}), cols) rec(GDS_COLROW, 2, {cols, rows});
    return xy(p).rec(GDS_ENDEL, 0);
  }
  Gds& text(int layer) {
    return rec(GDS_TEXT, 0).rec(GDS_LAYER, 2, {layer}).rec(GDS_TEXTTYPE, 2, {0}).xy({{0, 0}}).str(GDS_STRING, "VDD").rec(GDS_ENDEL, 0);
  }
};

std::string prop(int attr, const std::string& value) { return Gds().rec(GDS_PROPATTR, 2, {attr}).str(GDS_PROPVALUE, value).b; }
Pts rect(int x0, int y0, int x1, int y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}}; }

// The layers and cells of a document, its shown cell's slots in layers.
struct Doc {
  Layer layers[SLOT_COUNT], flat[LAYER_COUNT];
  CellLibrary lib;
  GdsLibraryInfo info;
  Doc() { applyStartupSettings(layers); }
  GdsReadResult read(const std::string& bytes, const LayerMap& map = LayerMap(), GdsReadLimits limits = {}) {
    GdsReadResult r = readGdsii((const unsigned char*)bytes.data(), bytes.size(), map, layers, info, limits, &lib);
    if (lib.size()) lib.cell(lib.shown).showIn(layers);
    return r;
  }
  std::string write(const LayerMap& map = LayerMap()) {
    std::ostringstream o;
    writeGdsii(o, layers, map, info, 86400, lib.size() ? &lib : nullptr);
    return o.str();
  }
  // The shown cell flattened into flat.
  FlattenResult flatten(uint64_t limit = GDS_OBJECT_LIMIT) { return flattenCell(lib, lib.shown, flat, limit); }
  // Unit cells covered on one slot; an overlap of two objects adds (1 << 30, 0).
  std::set<std::pair<int, int>> cells(int slot, bool flattened = false) const {
    std::set<std::pair<int, int>> s;
    for (GroupNode* n = (flattened ? flat : layers)[slot].first(); n; n = n->next())
      if (!dynamic_cast<Shape*>(n)) for (int x = n->x; x < n->x + n->w; x++) for (int y = n->y; y < n->y + n->h; y++)
          if (!s.insert({x, y}).second) s.insert({1 << 30, 0});
    return s;
  }
};

const Pts shapeL = {{0, 0}, {3, 0}, {3, 1}, {1, 1}, {1, 2}, {0, 2}, {0, 0}};

TEST(Gdsii, KeepsCellsAndInstancesAndTheirFlattenedGeometryThroughARoundTrip) {
  Gds g;
  g.begin().cell("L").shape(GDS_BOUNDARY, 1, 0, rect(0, 0, 3, 1)).shape(GDS_BOUNDARY, 1, 0, rect(0, 1, 1, 2)).endCell();
  g.cell("MID").ref("L", 0x8000, 90, {{0, 0}}).endCell().cell("TOP");  // MID: reflect, then a quarter turn
  for (int k = 0; k < 8; k++) g.ref("L", k >= 4 ? 0x8000 : 0, 90 * (k % 4), {{10 * k, 0}});
  g.ref("L", 0, 270, {{0, 20}, {15, 20}, {0, 28}}, 3, 2);  // 3 x 2, steps (5, 0) and (0, 4)
  g.ref("MID", 0x8000, 180, {{60, 30}}).end();
  Doc d;
  ASSERT_EQ("", d.read(g.b).error);
  ASSERT_TRUE(d.lib.size() == 3 && d.lib.cell(d.lib.shown).name() == "TOP" && d.layers[LAYER_INSTANCES].size() == 10);
  EXPECT_EQ(2u * 15, d.lib.cell(d.lib.shown).flattenedCount());  // L is two rectangles, placed 15 times
  // Expected: each unit cell of L mapped through the instance's transform.
  std::set<std::pair<int, int>> want;
  auto place = [&](bool reflect, int angle, int tx, int ty) {
    for (auto c : {std::pair<int, int>{0, 0}, {1, 0}, {2, 0}, {0, 1}}) {  // the cells of L
      double x = c.first + .5, y = (reflect ? -1 : 1) * (c.second + .5), a = angle * M_PI / 180;
      want.insert({(int)std::floor(x * std::cos(a) - y * std::sin(a) + tx), (int)std::floor(x * std::sin(a) + y * std::cos(a) + ty)});
    }
  };
  for (int k = 0; k < 8; k++) place(k >= 4, 90 * (k % 4), 10 * k, 0);
  for (int k = 0; k < 6; k++) place(false, 270, 5 * (k % 3), 20 + 4 * (k / 3));
  place(false, 90, 60, 30);  // two reflections cancel: a quarter turn in all
  EXPECT_EQ(16u, d.flatten().instances);  // MID and the L within it count apart
  EXPECT_EQ(want, d.cells(1, true));
  EXPECT_EQ("TOP", d.info.cellName);
  // Written back: the same cells, children first, and the same bytes again.
  const std::string first = d.write();
  Doc again;
  ASSERT_EQ("", again.read(first).error);
  again.flatten();
  EXPECT_TRUE(again.cells(1, true) == want && again.lib.size() == 3 && again.write() == first);
  EXPECT_TRUE(first.find("\x06\x06L\x00") < first.find("\x06\x06MID\x00") && first.find("MID") < first.find("TOP"));
}

TEST(Gdsii, CountsEachKindItSkips) {
  Gds g;
  g.begin().cell("A").shape(GDS_BOUNDARY, 1, 0, rect(0, 0, 4, 4)).text(1).endCell();
  g.cell("FAR").shape(GDS_BOUNDARY, 2, 0, rect(0, 0, 10, 10)).endCell();
  g.cell("TOP").text(1).rec(GDS_NODE, 0).rec(GDS_LAYER, 2, {1}).rec(GDS_NODETYPE, 2, {0}).xy({{0, 0}}).rec(GDS_ENDEL, 0);
  g.shape(GDS_BOUNDARY, 1, 0, {{0, 0}, {4, 0}, {0, 4}, {0, 0}});                    // triangle
  g.path(1, 1, 2, {{0, 0}, {4, 0}}).path(1, 0, 3, {{0, 0}, {4, 0}}).path(1, 0, 2, {{0, 0}, {4, 4}});
  g.ref("A", 0, 45, {{0, 0}}).ref("A", 0, 0, {{0, 0}}, 0, 0, 2 << 20);             // 45 degrees, magnification 2
  g.ref("A", 0, 0, {{0, 0}, {10, 0}, {0, 10}}).ref("NOPE", 0, 0, {{0, 0}});  // an array without COLROW
  g.ref("A", 0, 0, {{100, 0}, {140, 0}, {100, 30}}, 4, 3).ref("FAR", 0, 0, {{2147483640, 0}}).end();  // 12 placed
  Doc d;
  GdsReadResult r = d.read(g.b);
  ASSERT_EQ("", r.error);
  EXPECT_EQ((std::vector<uint64_t>{1, 1, 0}), std::vector<uint64_t>(r.skipped, r.skipped + SKIP_KINDS));
  // Kept: 45 degrees and magnification 2 as read; NOPE as an empty cell, named and written back.
  EXPECT_TRUE(r.objects == 9 && d.lib.cell(d.lib.shown).flattenedCount() == 35 && d.lib.size() == 4);  // 6 own, 2 in each of 13 A, 3 in FAR
  EXPECT_NE(std::string::npos, r.skipReport().find("Missing cells: NOPE\n"));
  EXPECT_NE(std::string::npos, r.skipReport().find("or three points, the first in cell TOP at (0, 0)\n")) << r.skipReport();
  const std::string bytes = d.write();
  EXPECT_TRUE(bytes.find(Gds().str(GDS_STRNAME, "NOPE").b) != std::string::npos &&
              bytes.find(Gds().rec(GDS_MAG, GDS_REAL8, {2 << 20}).b) != std::string::npos &&
              bytes.find(Gds().rec(GDS_ANGLE, GDS_REAL8, {45 << 20}).b) != std::string::npos);
}

TEST(Gdsii, MalformedFilesFailAtTheirOffsetAndLoadNothing) {
  Gds cycle, huge;
  // A file cut where its ENDSTR record would start.
  const std::string head = Gds().begin().cell("TOP").shape(GDS_BOUNDARY, 1, 0, rect(0, 0, 4, 4)).b;
  const int64_t cut = head.size();
  cycle.begin().cell("A").ref("B", 0, 0, {{0, 0}}).endCell().cell("B");
  const int64_t cycleAt = cycle.b.size();
  cycle.ref("A", 0, 0, {{0, 0}}).end();
  auto then = [&](const char* record, size_t n) { return head + std::string(record, n); };
  struct Case { std::string bytes; int64_t offset; const char* says; } cases[] = {
    {then("\x00\x04", 2), cut, "truncated"}, {head, cut, "ends before ENDLIB"},
    {then("\x00\x05\x07\x00", 4), cut, "length 5"}, {then("\x00\x02\x07\x00", 4), cut, "length 2"},
    {then("\x00\x08\x07\x00", 4), cut, "past the end"}, {then("\x00\x04\x50\x00", 4), cut, "unknown record type 80"},
    {then("\x00\x06\x0d\x03\x00\x01", 6), cut, "data type 3"}, {then("\x00\x04\x11\x00", 4), cut, "wrong place"},
    {head.substr(0, cut - 4) + std::string("\x00\x04\x07\x00", 4), cut - 4, "ENDEL missing"}, {cycle.b, cycleAt, "cycle"},
  };
  for (const Case& c : cases) {
    Doc d;
    GdsReadResult r = d.read(c.bytes);
    EXPECT_TRUE(r.error.find(c.says) != std::string::npos && r.errorOffset == c.offset && d.cells(1).empty() && !d.lib.size() &&
                r.errorText().find("at byte " + std::to_string(c.offset)) != std::string::npos) << c.says << ": " << r.errorText();
  }
}

TEST(Gdsii, MemoryFollowsTheHierarchyAndLimitsRefuseOrCancelLoadingNothing) {
  struct Stop : GdsProgress { uint64_t calls = 0; bool advance(uint64_t, uint64_t) override { return ++calls < 2; } } stop;
  Gds huge, many;  // 10^12 objects flattened from one rectangle; a cell of 70000 rectangles
  huge.begin().cell("A").shape(GDS_BOUNDARY, 1, 0, rect(0, 0, 1, 1)).endCell().cell("B").ref("A", 0, 0, {{0, 0}, {1000, 0}, {0, 1000}}, 1000, 1000);
  huge.endCell().cell("C").ref("B", 0, 0, {{0, 0}, {1000000, 0}, {0, 1000000}}, 1000, 1000).end();
  many.begin().cell("TOP");
  for (int i = 0; i < 70000; i++) many.shape(GDS_BOUNDARY, 1, 0, rect(i, 0, i + 1, 1));
  many.end();
  Doc d;
  GdsReadResult r = d.read(huge.b, LayerMap(), {GDS_OBJECT_LIMIT, 100000, nullptr});
  EXPECT_TRUE(r.error.empty() && r.objects == 1 && d.lib.cell(d.lib.shown).flattenedCount() == 1000000000000u) << r.error;
  EXPECT_TRUE(d.flatten().overLimit && d.cells(1, true).empty());
  EXPECT_EQ(1000000, d.lib.cell(d.lib.shown).bounds().w);
  struct Case { std::string bytes; GdsReadLimits limits; const char* says; } cases[] = {
    {many.b, {69999, 0, nullptr}, "more than 69999 objects in its cells"},
    {many.b, {GDS_OBJECT_LIMIT, 5000000, nullptr}, "needs about 9 MiB of memory, and only 4 MiB"},
    {many.b, {GDS_OBJECT_LIMIT, 0, &stop}, "cancelled"},
  };
  for (const Case& c : cases) {
    Doc d;
    EXPECT_TRUE(d.read(c.bytes, LayerMap(), c.limits).errorText().find(c.says) != std::string::npos && d.cells(1).empty() &&
                !d.lib.size()) << c.says;
  }
}

TEST(Gdsii, ShowsTheTopCellWithMostObjectsFirstInFileOrderOrTheOneAskedFor) {
  Gds g;
  g.begin().cell("A").shape(GDS_BOUNDARY, 1, 0, rect(0, 0, 4, 4)).endCell().cell("SMALL").ref("A", 0, 0, {{0, 0}}).endCell();
  g.cell("BIG").ref("A", 0, 0, {{0, 0}}).ref("A", 0, 0, {{9, 0}}).endCell().cell("BIG2").ref("A", 0, 0, {{0, 0}, {18, 0}, {0, 9}}, 2, 1).end();
  struct Case { const char* asked; const char* shown; size_t own, instances; } cases[] = {
    {"", "BIG", 0, 2}, {"A", "A", 1, 0}, {"BIG2", "BIG2", 0, 1},
  };
  for (const Case& c : cases) {
    Doc d;
    GdsReadLimits limits;
    limits.cell = c.asked;
    ASSERT_EQ("", d.read(g.b, LayerMap(), limits).error);
    EXPECT_TRUE(d.info.cellName == c.shown && d.lib.cell(d.lib.shown).name() == c.shown && d.layers[LAYER_N_WELL].size() == c.own &&
                d.layers[LAYER_INSTANCES].size() == c.instances && d.lib.size() == 4) << c.asked;
  }
  Doc d;
  GdsReadLimits limits;
  limits.cell = "NONE";
  GdsReadResult r = d.read(g.b, LayerMap(), limits);
  EXPECT_TRUE(r.unknownCell && r.error == "There is no cell NONE in the file." && !d.lib.size());
}

TEST(Gdsii, SaveKeepsPairsValuesAndUnitsAndReadsBackByteForByte) {
  LayerMap map;
  std::string error;
  ASSERT_TRUE(map.parse("# test map\n5 ME\n5/3 M2\n63/0 OP\n7 ME\n", error)) << error;
  Gds g;
  g.begin(0.01, 3).cell("CHIP").shape(GDS_BOUNDARY, 5, 3, shapeL, prop(5, "net=VDD")).shape(GDS_BOUNDARY, 50, 7, rect(1, 1, 2, 2), prop(1, "7"));
  g.shape(GDS_BOX, 7, 9, rect(-5, -5, 0, 0)).shape(GDS_BOUNDARY, 65535, 65535, rect(3, 3, 3, 9));
  g.shape(GDS_BOUNDARY, 63, 0, rect(0, 0, 1, 1), prop(1, "-42")).shape(GDS_BOUNDARY, 63, 0, rect(2, 2, 3, 3), prop(7, "k") + prop(1, "abc")).end();
  Doc d;
  ASSERT_EQ("", d.read(g.b, map).error);
  for (int slot : {LAYER_METAL1, LAYER_OPTIONS, LAYER_UNKNOWN}) d.layers[slot].apply(OP_ADD, MATCH_ALL, newLayoutObject(slot));
  auto dump = [](const Doc& doc) {
    std::string s;
    for (int i : drawingOrder())
      for (GroupNode* n = doc.layers[i].first(); n; n = n->next()) {
        const ObjectOrigin& o = originOf(n->origin);
        const Opt* opt = dynamic_cast<const Opt*>(n);
        s += (i < NAMED_LAYER_COUNT ? std::to_string(i) : layerToCode(i)) + ":" + std::to_string(n->x) + "," + std::to_string(n->y) + "," + std::to_string(n->w) + "," +
             std::to_string(n->h) + (opt ? "=" + std::to_string(opt->value) : "") + "@" + std::to_string(o.gdsLayer) + "/" +
             std::to_string(o.gdsDatatype) + "+" + std::to_string(o.gdsProperties.size()) + " ";
      }
    return s;
  };
  EXPECT_EQ("0:0,0,0,0@-1/-1+0 5:-5,-5,5,5@7/9+0 5:0,0,0,0@-1/-1+0 6:0,0,3,2@5/3+18 "
            "12:0,0,1,1=-42@63/0+14 12:2,2,1,1=0@63/0+26 12:0,0,0,0=0@-1/-1+0 50/7:1,1,1,1@50/7+12 "
            "65535/65535:3,3,0,6@65535/65535+0 ", dump(d));
  const std::string first = d.write(map);
  Doc again, third;
  ASSERT_EQ("", again.read(first, map).error);
  // The unknown slot's object was written as 0/0 and came back on that pair's slot.
  const std::string second = again.write(map);
  ASSERT_EQ("", third.read(second, map).error);
  EXPECT_EQ(second, third.write(map));
  EXPECT_EQ("5:-5,-5,5,5@7/9+0 5:0,0,0,0@5/0+0 6:0,0,3,2@5/3+18 12:0,0,1,1=-42@63/0+14 "
            "12:2,2,1,1=0@63/0+26 12:0,0,0,0=0@63/0+12 0/0:0,0,0,0@0/0+0 50/7:1,1,1,1@50/7+12 "
            "65535/65535:3,3,0,6@65535/65535+0 ", dump(again));
  EXPECT_TRUE(again.info.cellName == "CHIP" && std::fabs(again.info.metres - 1e-8) < 1e-20 && first.substr(42, 20) == g.b.substr(42, 20));
  for (std::string kept : {prop(5, "net=VDD"), prop(1, "7"), prop(7, "k") + prop(1, "abc")}) EXPECT_NE(std::string::npos, first.find(kept));
  static_cast<Opt*>(again.layers[LAYER_OPTIONS].first()->next())->setValue(9);  // the "abc" marker, edited
  EXPECT_NE(std::string::npos, again.write(map).find(prop(7, "k") + prop(1, "9")));
  // Units of a new layout: 0.001 and 1e-9 as common tools write them.
  Doc fresh;
  std::string bytes = fresh.write();
  EXPECT_NE(std::string::npos, bytes.find(std::string("\x3E\x41\x89\x37\x4B\xC6\xA7\xF0\x39\x44\xB8\x2F\xA0\x9B\x5A\x54", 16)));
  EXPECT_EQ(std::string("\x00\x04\x07\x00\x00\x04\x04\x00", 8), bytes.substr(bytes.size() - 8));
  // An object whose far corner leaves the 32-bit range fails the save; nothing is written.
  GroupNode* far = newLayoutObject(LAYER_POLY);
  far->setRect(INT32_MAX - 1, 0, 5, 5), fresh.layers[LAYER_POLY].apply(OP_ADD, MATCH_ALL, far);
  const std::string farPath = kivotest::tempDir() + "/far.gds"; int saveError = 0;
  EXPECT_TRUE(saveGdsiiFile(farPath.c_str(), fresh.layers, LayerMap(), fresh.info, saveError) == SAVE_WRITE_FAILED &&
              saveError == EOVERFLOW && kivotest::readFile(farPath).empty());
}

TEST(Gdsii, OpenReadsByContentWarnsAndSaveFollowsTheNameElseTheFormatRead) {
  for (const char* name : {"a/chip.GDS", "chip.gds2", "chip.GdsII"}) EXPECT_EQ(FORMAT_GDSII, saveFormatFor(name, FORMAT_MSK)) << name;
  EXPECT_EQ(FORMAT_MSK, saveFormatFor("chip.MSK", FORMAT_GDSII));
  for (FileFormat f : {FORMAT_MSK, FORMAT_GDSII}) EXPECT_EQ(f, saveFormatFor("chip.gds.layout", f));
  const std::string dir = kivotest::tempDir(), path = dir + "/chip.layout";
  const std::string bytes = Gds().begin().cell("TOP").shape(GDS_BOUNDARY, 1, 0, rect(0, 0, 4, 4)).text(1).text(2).end().b;
  kivotest::writeFile(path, bytes);
  kivotest::writeFile(dir + "/bad.gds", bytes.substr(0, 100));
  KivoWindow* window = kivotest::newWindow();
  kivotest::ModalResponder responder;
  responder.pressButton(MBOX_CLICKED_OK).chooseFile(path).pressButton(MBOX_CLICKED_YES);
  EXPECT_TRUE(window->openFile(path.c_str()) && !window->openFile((dir + "/bad.gds").c_str()));
  EXPECT_TRUE(window->layout.format() == FORMAT_GDSII && window->layout.layer(LAYER_N_WELL).size() == 2);  // the box and a label
  EXPECT_TRUE(window->saveLayout());
  ASSERT_EQ(3u, responder.records().size());  // labels are read: no warning
  EXPECT_NE(std::string::npos, responder.records()[0].text.find("at byte 98"));
  Doc d;
  EXPECT_EQ("", d.read(kivotest::readFile(path)).error);
  EXPECT_TRUE(d.cells(LAYER_N_WELL).size() == 16 && d.cells(LAYER_N_WELL).count({3, 3}));
  kivotest::deleteWindow(window);
}

// An absolute reference keeps its own magnification and angle under a
// magnified, turned parent; uneven arrays round each element's place (the
// total, halves away from zero). Both open without warning, flatten so and
// go back byte for byte.
TEST(Gdsii, AbsoluteReferencesAndUnevenArraysAreKeptPlacedAndWrittenBack) {
  Gds g, mid, top, odd;
  mid.ref("L", 0x0006, 0, {{10, 0}});                                          // absolute magnification and angle
  top.ref("MID", 0, 90, {{100, 100}}, 0, 0, 2 << 20);                            // magnification 2, a quarter turn
  top.ref("D", 0, 0, {{0, 50}, {10, 51}, {1, 55}}, 3, 2);                       // steps (10/3, 1/3), (1/2, 5/2)
  odd.ref("D", 0, 0, {{200, 0}, {201, 6}, {197, 0}}, 2, 2);                     // steps (1/2, 3), (-3/2, 0)
  g.begin().cell("L").shape(GDS_BOUNDARY, 1, 0, rect(0, 0, 4, 2)).endCell().cell("D").shape(GDS_BOUNDARY, 1, 0, rect(0, 0, 1, 1));
  g.endCell().cell("MID").b += mid.b, g.endCell().cell("TOP").b += top.b + odd.b, g.end();
  Doc d;
  GdsReadResult r = d.read(g.b);
  ASSERT_EQ("", r.error + r.skipReport());
  std::set<std::pair<int, int>> want = {{0, 50}, {3, 50}, {7, 51}, {1, 53}, {4, 53}, {7, 53}, {200, 0}, {201, 3}, {198, 0}, {199, 3}};
  for (int x = 100; x < 104; x++) want.insert({x, 120}), want.insert({x, 121});  // L unturned, at MID's place of it
  d.flatten();
  EXPECT_EQ(want, d.cells(1, true));
  const GroupNode* placed = d.layers[LAYER_INSTANCES].first();
  EXPECT_TRUE(placed->x == 100 && placed->y == 120 && placed->w == 4 && placed->h == 2);
  const std::string bytes = d.write();
  for (const std::string& element : {mid.b, top.b, odd.b}) EXPECT_NE(std::string::npos, bytes.find(element));
  Doc again;
  EXPECT_TRUE(again.read(bytes).error.empty() && again.write() == bytes);
}

}  // namespace
