// The layout file format: writer, tolerant reader, hostile input.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "io/LayoutFile.h"
#include "io/LayoutReader.h"
#include "model/ObjectOrigin.h"
#include "support/GuiTest.h"

namespace {

struct Layout {
  Layer layers[LAYER_COUNT];
  Layout() { applyStartupSettings(layers); }
  void add(int slot, int32_t x, int32_t y, int32_t w, int32_t h, int32_t value = 0, const char* code = "") {
    GroupNode* node = newLayoutObject(slot);
    if (Opt* opt = dynamic_cast<Opt*>(node)) opt->setValue(value);
    ObjectOrigin origin;
    origin.code = code;
    node->setRect(x, y, w, h), node->origin = internOrigin(origin);
    layers[slot].apply(OP_ADD, MATCH_ALL, node);
  }
  std::string write() { std::ostringstream out; writeLayout(out, layers); return out.str(); }
  ReadResult read(const std::string& text) { return readLayout(text.data(), text.size(), layers); }
  // "slot:x,y,w,h[,value][=kept code]" per object, in layer and list order.
  std::string dump() const {
    std::string s;
    for (int i = 0; i < LAYER_COUNT; i++)
      for (GroupNode* n = layers[i].first(); n; n = n->next()) {
        s += std::to_string(i) + ":" + std::to_string(n->x) + "," + std::to_string(n->y) + "," +
             std::to_string(n->w) + "," + std::to_string(n->h);
        if (Opt* opt = dynamic_cast<Opt*>(n)) s += "," + std::to_string(opt->getValue());
        s += (n->origin ? "=" + originOf(n->origin).code : "") + " ";
      }
    return s;
  }
};

// The BB line, and a failed stream stops the writer.
TEST(LayoutFile, BoundingBoxLineFollowsAllZeroRules) {
  Layout empty, one, negative, wide;
  one.add(5, 10, 10, 5, 5);  // empty layers after it pull the box out to (0, 0)
  negative.add(0, -30, -20, 10, 10), negative.add(13, 5, 5, 1, 1);
  wide.add(1, INT32_MIN, 0, INT32_MAX, 1), wide.add(2, INT32_MAX - 1, -INT32_MAX, 1, INT32_MAX);
  EXPECT_EQ("BB(0,0,0,0)\n", empty.write());
  EXPECT_EQ("BB(0,0,15,15)\nREC(10,10,5,5,ME)\n", one.write());
  EXPECT_EQ("BB(-30,-20,36,26)\nREC(-30,-20,10,10,NULL!)\nREC(5,5,1,1,LC)\n", negative.write());
  const std::string wideText = wide.write();  // the true extent, beyond 32 bits
  EXPECT_EQ("BB(-2147483648,-2147483647,4294967295,2147483648)\n", wideText.substr(0, wideText.find('\n') + 1));
  Layout copy;
  EXPECT_TRUE(copy.read(wideText).records == 2 && copy.write() == wideText);
  std::ostringstream failed;
  failed.setstate(std::ios::badbit);
  EXPECT_FALSE(one.layers[5].writeRecords(failed));
}

// Numbers of every length and sign, at the edges of each length, are written
// in plain decimal.
TEST(LayoutFile, WriterWritesNumbersOfEveryLength) {
  Layout layout;
  std::string want;
  for (int64_t p = 1; p <= 1000000000; p *= 10)
    for (int64_t v : {p - 1, p, -p, -p + 1, 5 * p}) {
      const int32_t x = (int32_t)v, w = (int32_t)(std::abs(v) / 3), value = (int32_t)(-v / 7);
      layout.add(LAYER_OPTIONS, x, 0, w, 1, value);
      want += "REC(" + std::to_string(x) + ",0," + std::to_string(w) + ",1,OP," + std::to_string(value) + ")\n";
    }
  const std::string text = layout.write();
  EXPECT_EQ(want, text.substr(text.find('\n') + 1));
}

// The reader's table of two-character codes is codeToLayer's, entry by entry.
TEST(LayoutFile, CodeTableAgreesWithCodeToLayer) {
  const CodeTable table;
  long differ = 0;
  for (int a = 0; a < 256; a++)
    for (int b = 0; b < 256; b++) differ += table.slot[a][b] != codeToLayer(std::string{(char)a, (char)b}.c_str());
  EXPECT_EQ(0, differ);
}

// A literal with its NUL bytes.
template <size_t N> std::string bytes(const char (&text)[N]) { return std::string(text, N - 1); }

struct Case { std::string input, layout; long skipped, firstSkipped; };

// Each case read from memory (the quick record path where it can), from a
// stream in blocks that end anywhere (the general path), and from a file in
// two parts, the second part from every line start: all the same.
void expectCases(const std::vector<Case>& cases) {
  auto got = [](const Layout& l, const ReadResult& r) {
    return l.dump() + "|" + std::to_string(r.skippedLines) + "," + std::to_string(r.firstSkippedLine);
  };
  for (const Case& c : cases) {
    Layout layout;
    ReadResult r = layout.read(c.input);
    SCOPED_TRACE(c.input.size() < 200 ? c.input : c.input.substr(0, 200));
    const std::string want = c.layout + "|" + std::to_string(c.skipped) + "," + std::to_string(c.firstSkipped);
    EXPECT_EQ(want, got(layout, r));
    EXPECT_FALSE(r.ioError);
    for (size_t block : c.input.size() > 4096 ? std::vector<size_t>{4093} : std::vector<size_t>{1, 2, 3, 7}) {
      Layout blocks;
      std::istringstream in(c.input);
      EXPECT_EQ(want, got(blocks, readLayout(in, blocks.layers, block))) << "block size " << block;
    }
    const std::string path = kivotest::tempDir() + "/parts.msk";
    std::ofstream(path, std::ios::binary) << c.input;
    for (size_t from = 1; from <= c.input.size(); from += c.input.size() > 4096 ? c.input.size() / 5 : 1) {
      Layout parts;
      ReadResult rp;
      ASSERT_EQ(READ_OK, readLayoutFile(path.c_str(), parts.layers, rp, from));
      EXPECT_EQ(want, got(parts, rp)) << "second part from " << from;
      EXPECT_EQ(r.unknownCodes, rp.unknownCodes);
    }
  }
}

TEST(LayoutFile, ReaderAcceptsTolerantRecords) {
  expectCases({
      {"", "", 0, 0}, {"BB(0,0,5,5)\n", "", 0, 0},
      {"BB(0,0,120,60)\nREC(0,0,120,20,NW)\nREC(10,5,30,10,DN)\nREC(60,30,4,30,PO)\nREC(22,42,4,4,CO)\nREC(70,10,10,10,OP,3)\n",
       "1:0,0,120,20 2:10,5,30,10 4:60,30,4,30 11:22,42,4,4 12:70,10,10,10,3 ", 0, 0},
      {"REC( 1,\t2, 3,  4,NW)\nREC(1;2 3x4/NW)\n", "1:1,2,3,4 1:1,2,3,4 ", 0, 0},
      {"R(1,2,3,4,DN)\nRE(1,2,3,4,DP)\nRXY(1,2,3,4,PO)\n", "2:1,2,3,4 3:1,2,3,4 4:1,2,3,4 ", 0, 0},
      {"REC(1,2,3,4,M6xyz)\nREC(1,2,3,4,nw)\nREC(1,2,3,4, NW)\n", "0:1,2,3,4=nw 0:1,2,3,4= NW 10:1,2,3,4 ", 0, 0},
      {"REC(1,2,3,4,VI)\nREC(1,2,3,4,PA)\nREC(1,2,3,4,LC)\nREC(1,2,3,4,M1)\nREC(1,2,3,4,NULL!)\n",
       "0:1,2,3,4=M1 0:1,2,3,4 11:1,2,3,4 13:1,2,3,4 13:1,2,3,4 ", 0, 0},
      {"REC(1,2,3,4,X)\nREC(1,2,3,4,))\nREC(1,2,3,4,XYZ,12)x\rREC(1,2,3,4,NU",
       "0:1,2,3,4=X 0:1,2,3,4=) 0:1,2,3,4=XYZ,12 0:1,2,3,4=NU ", 0, 0},
      {"REC(10,10,-5,3,NW)\nREC(7,8,0,0,ME)\n", "1:5,10,5,3 5:7,8,0,0 ", 0, 0},
      {"REC(1,2,3,4,NW)", "1:1,2,3,4 ", 0, 0}, {"REC(1,2,3,4,NW", "1:1,2,3,4 ", 0, 0},
      {"REC(1,2,3,4,OP,-7", "12:1,2,3,4,-7 ", 0, 0}, {"\xEF\xBB\xBFREC(1,2,3,4,NW)\n", "1:1,2,3,4 ", 0, 0},
      {"\n\nREC(1,2,3,4,NW)\n\n\nREC(5,6,7,8,ME)\n\n", "1:1,2,3,4 5:5,6,7,8 ", 0, 0},
      {"BB(0,0,1,1)\rREC(1,2,3,4,NW)\r\rREC(1,\r2,3,4,ME)\rbad\rREC(\r\nREC(5,6,7,8,ME)\r",
       "1:1,2,3,4 5:1,2,3,4 5:5,6,7,8 ", 1, 7},
      {"BB(0,0,1,1)\r\nREC(1,2,3,4,NW)\r\n\r\nREC(1,2,3,4,OP,9)\r\n", "1:1,2,3,4 12:1,2,3,4,9 ", 0, 0},
      {"REC(1,\n  2,\r\n3,4,NW)\nREC(+5,-6,+7,8,ME) trailing text\n", "1:1,2,3,4 5:5,-6,7,8 ", 0, 0},
      {"REC(-2147483648,2147483647,0,0,ME)\nREC(000000000000012,2,3,4,NW)\n",
       "1:12,2,3,4 5:-2147483648,2147483647,0,0 ", 0, 0},
      {"REC(00000002147483647,-000000002147483648,0,0,ME)\n", "5:2147483647,-2147483648,0,0 ", 0, 0},
      {"REC(2147483640,5,7,-2147483647,ME)\nREC(-2147483647,0,-1,2147483647,ME)\n",
       "5:2147483640,-2147483642,7,2147483647 5:-2147483648,0,1,2147483647 ", 0, 0},
  });
}

TEST(LayoutFile, ReaderSkipsBadLinesAndKeepsEveryGoodRecord) {
  const std::string good = "REC(5,6,7,8,ME)\n", goodDump = "5:5,6,7,8 ";
  std::vector<Case> cases = {
      {" REC(1,2,3,4,NW)\nbb\n#REC(1,2,3,4,NW)\n" + good, goodDump, 2, 1},
      {"\xEF\xBBREC(1,2,3,4,NW)\n" + good + "xRE\nC(\nxREC", goodDump, 1, 1},
      {"REC(0,0,-2147483648,5,ME)\nREC(2147483000,0,10000,10,ME)\n" + good, goodDump, 2, 1},
      {"REC(0,-2147483648,5,-1,ME)\nREC(5,2147483647,0,1,ME)\nREC(0,0,0,-2147483648,OP,1)\n" + good, goodDump, 3, 1},
      {"REC(1,\n2xREC(5,6,7,8,ME)\n" + good, goodDump, 2, 1}, {"R\n" + good + "R", goodDump, 2, 1},
      {"REC(2147483648,0,0,0,NW)\nREC(-2147483649,0,0,0,NW)\n" + good, goodDump, 2, 1},
      {good + "REC(1,2", goodDump, 1, 2}, {good + "REC(1,2,3,4,N", goodDump, 1, 2},
      {"BB(0,0,0,0)\n" + good + "\nREC(bad\nREC(bad2\n" + good, goodDump + goodDump, 2, 4},
      {bytes("REC(\0001,2,3,4,NW)\n") + good, goodDump, 1, 1},
      {bytes("\0\0REC(1,2,3,4,NW)\nREC(1\0002,3,4,\0NW)\n") + good, bytes("0:1,2,3,4=\0NW ") + goodDump, 1, 1},
  };
  // One bad line, then a good record.
  for (const char* bad : {"REXX(1,2,3,4,NW)", "Random words", "REC", "REC(1,2,x,4,NW)", "REC(1,2,3,4,OP)",
                          "REC(99999999999999999999,0,0,0,NW)", "REC(9999999999,0,0,0,NW)",
                          "REC(000000000002147483648,0,0,0,NW)", "REC(1,2,3,4,OP,", "REC(1,2,3,4", "REC(1,2,3,",
                          "REC(1,2,3,4,N", "REC(1,2,3,\n\n   ", "REC(1,\n 2x,3,4"})
    cases.push_back({bad + ("\n" + good), goodDump, 1, 1});
  expectCases(cases);
}

TEST(LayoutFile, LongLinesNeverTurnTheirTailIntoRecords) {
  std::string repeated;
  for (int i = 0; i < 700000; i++) repeated += "REC(9,9,9,9,M2)";  // about 10 MB on one line
  expectCases({{"B" + repeated + "\nREC(5,6,7,8,ME)\n", "5:5,6,7,8 ", 1, 1},
               {"REC(5,6,7,8,ME)" + repeated + "\nREC(5,6,7,8,ME)", "5:5,6,7,8 5:5,6,7,8 ", 0, 0},
               {"REXX" + repeated + "\nREC(5,6,7,8,ME)", "5:5,6,7,8 ", 1, 1}});
}

TEST(LayoutFile, UnknownCodesAreKeptWrittenBackAndReported) {
  const std::string longCode(5000, 'Q');
  std::string records = "REC(1,1,1,1,M1)\nREC(2,2,2,2,ND)\nREC(3,3,3,3,M1)\nREC(4,4,4,4,NULL!)\nREC(5,5,5,5," +
                        longCode + ")\n";
  std::string dump = "0:1,1,1,1=M1 0:2,2,2,2=ND 0:3,3,3,3=M1 0:4,4,4,4 0:5,5,5,5=" + longCode + " ";
  for (int i = 0; i < 10; i++)
    records += "REC(0,0,1,1,U" + std::to_string(i) + ")\n", dump += "0:0,0,1,1=U" + std::to_string(i) + " ";
  Layout layout;
  layout.add(0, 9, 9, 1, 1);  // drawn on the unknown slot: no code kept
  ReadResult r = layout.read("BB(0,0,5,5)\n" + records);
  EXPECT_TRUE(r.unknownObjects == 14 && r.unknownCodeCount == 13);
  ASSERT_EQ(10u, r.unknownCodes.size());
  EXPECT_EQ("M1 ND " + longCode + " U6", r.unknownCodes[0] + " " + r.unknownCodes[1] + " " + r.unknownCodes[2] + " " +
                                            r.unknownCodes[9]);
  EXPECT_EQ("BB(0,0,10,10)\nREC(9,9,1,1,NULL!)\n" + records, layout.write());
  // The same through every path, the second part from inside the long code too.
  expectCases({{records, dump, 0, 0}});
}

// A stream buffer that fails as a broken disk does.
struct FailingBuffer : std::streambuf {
  int_type underflow() override { throw std::runtime_error("I/O error"); }
};

TEST(LayoutFile, StreamFailureIsReportedAsIoError) {
  FailingBuffer buffer;
  std::istream in(&buffer);
  Layout layout;
  EXPECT_TRUE(readLayout(in, layout.layers).ioError);
}

TEST(LayoutFile, ReadLayoutFileReadsOnlyRegularFilesAndNeverBlocks) {
  std::string dir = kivotest::tempDir(), fifo = dir + "/fifo";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));  // no writer: a blocking open would wait for ever
  Layout layout;
  ReadResult r;
  for (const std::string& path : {dir, fifo, std::string("/dev/null")})
    EXPECT_EQ(READ_NOT_REGULAR, readLayoutFile(path.c_str(), layout.layers, r)) << path;
  EXPECT_EQ(READ_OPEN_FAILED, readLayoutFile((dir + "/missing.msk").c_str(), layout.layers, r));
  EXPECT_EQ(ENOENT, r.errorNumber);
}

}  // namespace
