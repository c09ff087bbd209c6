// The layout file format: writer, tolerant reader, hostile input, safe save.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

#include "io/LayoutFile.h"
#include "support/GuiTest.h"

namespace {

struct Layout {
  Layer layers[LAYER_COUNT];
  Layout() { applyStartupSettings(layers); }
  void add(int slot, int32_t x, int32_t y, int32_t w, int32_t h, int32_t value = 0) {
    GroupNode* node = newLayoutObject(slot);
    if (Opt* opt = dynamic_cast<Opt*>(node)) opt->setValue(value);
    node->setRect(x, y, w, h);
    layers[slot].apply(OP_ADD, MATCH_ALL, node);
  }
  std::string write() {
    std::ostringstream out;
    writeLayout(out, layers);
    return out.str();
  }
  ReadResult read(const std::string& text) { return readLayout(text.data(), text.size(), layers); }
  // "slot:x,y,w,h[,value]" per object, in layer and list order.
  std::string dump() const {
    std::string s;
    for (int i = 0; i < LAYER_COUNT; i++) {
      for (GroupNode* n = layers[i].first(); n; n = n->next()) {
        s += std::to_string(i) + ":" + std::to_string(n->x) + "," + std::to_string(n->y) + "," +
             std::to_string(n->w) + "," + std::to_string(n->h);
        if (Opt* opt = dynamic_cast<Opt*>(n)) s += "," + std::to_string(opt->getValue());
        s += n->isSelected() ? "*" : "";
        s += " ";
      }
    }
    return s;
  }
};

const char exampleFile[] =
    "BB(0,0,120,60)\n"
    "REC(0,0,120,20,NW)\n"
    "REC(10,5,30,10,DN)\n"
    "REC(60,30,4,30,PO)\n"
    "REC(20,40,50,8,ME)\n"
    "REC(22,42,4,4,CO)\n"
    "REC(70,10,10,10,OP,3)\n";

TEST(LayoutFile, ExampleFileRoundTripsByteForByte) {
  Layout layout;
  ReadResult r = layout.read(exampleFile);
  EXPECT_EQ(6, r.records);
  EXPECT_EQ(0, r.skippedLines);
  EXPECT_EQ("1:0,0,120,20 2:10,5,30,10 4:60,30,4,30 5:20,40,50,8 11:22,42,4,4 12:70,10,10,10,3 ",
            layout.dump());
  EXPECT_EQ(exampleFile, layout.write());
}

TEST(LayoutFile, BoundingBoxLineFollowsAllZeroRules) {
  Layout empty;
  EXPECT_EQ("BB(0,0,0,0)\n", empty.write());
  Layout one;  // empty layers after it pull the box out to (0, 0)
  one.add(5, 10, 10, 5, 5);
  EXPECT_EQ("BB(0,0,15,15)\nREC(10,10,5,5,ME)\n", one.write());
  Layout negative;
  negative.add(0, -30, -20, 10, 10);
  negative.add(13, 5, 5, 1, 1);
  EXPECT_EQ("BB(-30,-20,36,26)\nREC(-30,-20,10,10,NULL!)\nREC(5,5,1,1,LC)\n", negative.write());
}

TEST(LayoutFile, RandomLayoutsRoundTripByteForByte) {
  std::mt19937 rng(12345);
  // A size of INT32_MIN has no positive form, so sizes stay above it.
  const int32_t extremes[] = {INT32_MAX, 0, -1, 1, -INT32_MAX, INT32_MIN};
  auto value = [&](bool extreme, int choices = 6) {
    return extreme ? extremes[rng() % choices] : (int32_t)(rng() % 2001) - 1000;
  };
  for (int round = 0; round < 20; round++) {
    Layout original;
    int count = (int)(rng() % 300);
    for (int i = 0; i < count; i++) {
      bool extreme = rng() % 10 == 0;
      original.add((int)(rng() % LAYER_COUNT), value(extreme), value(extreme), value(extreme, 5),
                   value(extreme, 5), value(true));
    }
    original.layers[3].apply(OP_SELECT, MATCH_ALL, nullptr);  // selection is not stored
    original.layers[4].toggleEnabled();                       // nor the enabled flag
    std::string first = original.write();
    Layout copy;
    ReadResult r = copy.read(first);
    ASSERT_EQ(count, r.records);
    EXPECT_EQ(0, r.skippedLines);
    original.layers[3].apply(OP_DESELECT, MATCH_ALL, nullptr);
    EXPECT_EQ(original.dump(), copy.dump());
    ASSERT_EQ(first, copy.write());
    Layout viaStream;  // the block-reading stream path gives the same layout
    std::istringstream in(first);
    readLayout(in, viaStream.layers);
    EXPECT_EQ(copy.dump(), viaStream.dump());
  }
}

// A literal with its NUL bytes.
template <size_t N>
std::string bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

struct Case {
  std::string input;
  std::string layout;
  long skipped;
  long firstSkipped;
};

void expectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    Layout layout;
    ReadResult r = layout.read(c.input);
    SCOPED_TRACE(c.input.size() < 200 ? c.input : c.input.substr(0, 200));
    EXPECT_EQ(c.layout, layout.dump());
    EXPECT_EQ(c.skipped, r.skippedLines);
    EXPECT_EQ(c.firstSkipped, r.firstSkippedLine);
    EXPECT_FALSE(r.ioError);
    std::vector<size_t> blockSizes = {1, 2, 3, 7};  // the same when blocks end anywhere
    if (c.input.size() > 4096) blockSizes = {4093};
    for (size_t block : blockSizes) {
      Layout blocks;
      std::istringstream in(c.input);
      ReadResult rb = readLayout(in, blocks.layers, block);
      EXPECT_EQ(c.layout, blocks.dump()) << "block size " << block;
      EXPECT_EQ(c.skipped, rb.skippedLines) << "block size " << block;
      EXPECT_EQ(c.firstSkipped, rb.firstSkippedLine) << "block size " << block;
    }
  }
}

TEST(LayoutFile, ReaderAcceptsTolerantRecords) {
  expectCases({
      {"", "", 0, 0},
      {"BB(0,0,5,5)\n", "", 0, 0},
      {"REC( 1,\t2, 3,  4,NW)\n", "1:1,2,3,4 ", 0, 0},
      {"REC(1;2 3x4/NW)\n", "1:1,2,3,4 ", 0, 0},
      {"R(1,2,3,4,DN)\nRE(1,2,3,4,DP)\nRXY(1,2,3,4,PO)\n", "2:1,2,3,4 3:1,2,3,4 4:1,2,3,4 ", 0, 0},
      {"REC(1,2,3,4,M6xyz)\nREC(1,2,3,4,nw)\nREC(1,2,3,4, NW)\n", "0:1,2,3,4 0:1,2,3,4 10:1,2,3,4 ", 0, 0},
      {"REC(1,2,3,4,VI)\nREC(1,2,3,4,PA)\nREC(1,2,3,4,LC)\nREC(1,2,3,4,M1)\nREC(1,2,3,4,NULL!)\n",
       "0:1,2,3,4 0:1,2,3,4 11:1,2,3,4 13:1,2,3,4 13:1,2,3,4 ", 0, 0},
      {"REC(10,10,-5,3,NW)\nREC(7,8,0,0,ME)\n", "1:5,10,5,3 5:7,8,0,0 ", 0, 0},
      {"REC(1,2,3,4,NW)", "1:1,2,3,4 ", 0, 0},
      {"REC(1,2,3,4,NW", "1:1,2,3,4 ", 0, 0},
      {"REC(1,2,3,4,OP,-7", "12:1,2,3,4,-7 ", 0, 0},
      {"\n\nREC(1,2,3,4,NW)\n\n\nREC(5,6,7,8,ME)\n\n", "1:1,2,3,4 5:5,6,7,8 ", 0, 0},
      {" REC(1,2,3,4,NW)\nbb\n#REC(1,2,3,4,NW)\n", "", 0, 0},
      {"BB(0,0,1,1)\r\nREC(1,2,3,4,NW)\r\n\r\nREC(1,2,3,4,OP,9)\r\n", "1:1,2,3,4 12:1,2,3,4,9 ", 0, 0},
      {"REC(1,\n  2,\r\n3,4,NW)\nREC(+5,-6,+7,8,ME) trailing text\n", "1:1,2,3,4 5:5,-6,7,8 ", 0, 0},
      {"REC(-2147483648,2147483647,0,0,ME)\nREC(000000000000012,2,3,4,NW)\n",
       "1:12,2,3,4 5:-2147483648,2147483647,0,0 ", 0, 0},
  });
}

TEST(LayoutFile, ReaderSkipsBadLinesAndKeepsEveryGoodRecord) {
  const std::string good = "REC(5,6,7,8,ME)\n";
  const std::string goodDump = "5:5,6,7,8 ";
  expectCases({
      {"REXX(1,2,3,4,NW)\n" + good, goodDump, 1, 1},
      {"Random words\n" + good, goodDump, 1, 1},
      {"R\n" + good + "R", goodDump, 2, 1},
      {"REC\n" + good, goodDump, 1, 1},
      {"REC(1,2,x,4,NW)\n" + good, goodDump, 1, 1},
      {"REC(2147483648,0,0,0,NW)\nREC(-2147483649,0,0,0,NW)\n" + good, goodDump, 2, 1},
      {"REC(99999999999999999999,0,0,0,NW)\n" + good, goodDump, 1, 1},
      {"REC(1,2,3,4,OP)\n" + good, goodDump, 1, 1},
      {"REC(1,2,3,4,OP,\n" + good, goodDump, 1, 1},
      {"REC(1,2,3,4\n" + good, goodDump, 1, 1},
      {"REC(1,2,3,\n" + good, goodDump, 1, 1},
      {"REC(1,2,3,4,N\n" + good, goodDump, 1, 1},
      {"REC(1,2,3,\n\n   \n" + good, goodDump, 1, 1},
      {"REC(1,\n 2x,3,4\n" + good, goodDump, 1, 1},
      {good + "REC(1,2", goodDump, 1, 2},
      {good + "REC(1,2,3,4,N", goodDump, 1, 2},
      {"BB(0,0,0,0)\n" + good + "\nREC(bad\nREC(bad2\n" + good, goodDump + goodDump, 2, 4},
      {bytes("REC(\0001,2,3,4,NW)\n") + good, goodDump, 1, 1},
      {bytes("\0\0REC(1,2,3,4,NW)\nREC(1\0002,3,4,\0NW)\n") + good, "0:1,2,3,4 " + goodDump, 0, 0},
  });
}

TEST(LayoutFile, LongLinesNeverTurnTheirTailIntoRecords) {
  std::string repeated;
  for (int i = 0; i < 700000; i++) repeated += "REC(9,9,9,9,M2)";  // about 10 MB on one line
  expectCases({
      {"B" + repeated + "\nREC(5,6,7,8,ME)\n", "5:5,6,7,8 ", 0, 0},
      {"REC(5,6,7,8,ME)" + repeated + "\nREC(5,6,7,8,ME)", "5:5,6,7,8 5:5,6,7,8 ", 0, 0},
      {"REXX" + repeated + "\nREC(5,6,7,8,ME)", "5:5,6,7,8 ", 1, 1},
  });
}

// A stream buffer that hands out its text, then fails as a broken disk does.
class FailingBuffer : public std::streambuf {
public:
  explicit FailingBuffer(std::string t) : text(std::move(t)) {
    setg(&text[0], &text[0], &text[0] + text.size());
  }

protected:
  int_type underflow() override { throw std::runtime_error("I/O error"); }

private:
  std::string text;
};

TEST(LayoutFile, StreamFailureIsReportedAsIoError) {
  FailingBuffer buffer("REC(1,2,3,4,NW)\nREC(5,6,7");
  std::istream in(&buffer);
  Layout layout;
  ReadResult r = readLayout(in, layout.layers);
  EXPECT_TRUE(r.ioError);
}

TEST(LayoutFile, WriteRecordsStopsOnAFailedStream) {
  Layout layout;
  layout.add(2, 1, 1, 1, 1);
  layout.add(2, 2, 2, 2, 2);
  layout.layers[2].toggleEnabled();  // disabled layers are written all the same
  std::ostringstream good;
  EXPECT_TRUE(layout.layers[2].writeRecords(good));
  EXPECT_EQ("REC(1,1,1,1,DN)\nREC(2,2,2,2,DN)\n", good.str());
  std::ostringstream failed;
  failed.setstate(std::ios::badbit);
  EXPECT_FALSE(layout.layers[2].writeRecords(failed));
  EXPECT_EQ("", failed.str());
}

TEST(LayoutFile, ReadLayoutFileRefusesWhatIsNotAReadableFile) {
  std::string dir = kivotest::tempDir();
  Layout layout;
  ReadResult r;
  EXPECT_EQ(READ_OPEN_FAILED, readLayoutFile(dir.c_str(), layout.layers, r));
  EXPECT_EQ(EISDIR, r.errorNumber);
  EXPECT_EQ(READ_OPEN_FAILED, readLayoutFile((dir + "/missing.msk").c_str(), layout.layers, r));
  EXPECT_EQ(ENOENT, r.errorNumber);
  kivotest::writeFile(dir + "/a.msk", exampleFile);
  EXPECT_EQ(READ_OK, readLayoutFile((dir + "/a.msk").c_str(), layout.layers, r));
  EXPECT_EQ(6, r.records);
}

TEST(LayoutFile, SaveKeepsModeAndReplacesTheTargetOfALink) {
  std::string dir = kivotest::tempDir();
  Layout layout;
  layout.read(exampleFile);
  std::string target = dir + "/real.msk", link = dir + "/link.msk";
  kivotest::writeFile(target, "old\n");
  ASSERT_EQ(0, chmod(target.c_str(), 0640));
  ASSERT_EQ(0, symlink("real.msk", link.c_str()));
  int error = -1;
  ASSERT_EQ(SAVE_OK, saveLayoutFile(link.c_str(), layout.layers, error));
  EXPECT_EQ(0, error);
  struct stat st;
  ASSERT_EQ(0, lstat(link.c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(0, stat(target.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777);
  EXPECT_EQ(exampleFile, kivotest::readFile(target));
  EXPECT_EQ(SAVE_CREATE_FAILED, saveLayoutFile((dir + "/no/such/dir.msk").c_str(), layout.layers, error));
  EXPECT_EQ(ENOENT, error);
  EXPECT_EQ(0, std::system(("test $(ls -A " + dir + " | wc -l) -eq 2").c_str()));  // no temporaries
}

}  // namespace
