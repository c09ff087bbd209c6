// The layout file format: writer, tolerant reader, hostile input, safe save.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

#include "io/LayoutFile.h"
#include "model/ObjectOrigin.h"
#include "support/GuiTest.h"

namespace {

struct Layout {
  Layer layers[LAYER_COUNT];
  Layout() { applyStartupSettings(layers); }
  void add(int slot, int32_t x, int32_t y, int32_t w, int32_t h, int32_t value = 0, const char* code = "") {
    GroupNode* node = newLayoutObject(slot);
    if (Opt* opt = dynamic_cast<Opt*>(node)) opt->setValue(value);
    node->setRect(x, y, w, h), node->origin = internOrigin({code});
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
        s += (n->origin ? "=" + originOf(n->origin).code : "") + (n->isSelected() ? "* " : " ");
      }
    return s;
  }
};

const char exampleFile[] = "BB(0,0,120,60)\nREC(0,0,120,20,NW)\nREC(10,5,30,10,DN)\nREC(60,30,4,30,PO)\n"
                           "REC(20,40,50,8,ME)\nREC(22,42,4,4,CO)\nREC(70,10,10,10,OP,3)\n";

TEST(LayoutFile, BoundingBoxLineFollowsAllZeroRules) {
  Layout empty, one, negative, wide;
  one.add(5, 10, 10, 5, 5);  // empty layers after it pull the box out to (0, 0)
  negative.add(0, -30, -20, 10, 10);
  negative.add(13, 5, 5, 1, 1);
  wide.add(1, INT32_MIN, 0, INT32_MAX, 1), wide.add(2, INT32_MAX - 1, -INT32_MAX, 1, INT32_MAX);
  EXPECT_EQ("BB(0,0,0,0)\n", empty.write());
  EXPECT_EQ("BB(0,0,15,15)\nREC(10,10,5,5,ME)\n", one.write());
  EXPECT_EQ("BB(-30,-20,36,26)\nREC(-30,-20,10,10,NULL!)\nREC(5,5,1,1,LC)\n", negative.write());
  const std::string wideText = wide.write();  // the true extent, beyond 32 bits
  EXPECT_EQ("BB(-2147483648,-2147483647,4294967295,2147483648)\n", wideText.substr(0, wideText.find('\n') + 1));
  Layout copy;
  EXPECT_TRUE(copy.read(wideText).records == 2 && copy.write() == wideText);
}

TEST(LayoutFile, RandomLayoutsRoundTripByteForByte) {
  std::mt19937 rng(12345);
  const int32_t extremes[] = {INT32_MAX, 0, -1, 1, -INT32_MAX, INT32_MIN};
  auto value = [&](bool extreme) { return extreme ? extremes[rng() % 6] : (int32_t)(rng() % 2001) - 1000; };
  auto size = [&](bool extreme, int32_t at) {  // one that the reader accepts
    int32_t w = value(extreme);
    return w == INT32_MIN || (int64_t)at + w > INT32_MAX || (int64_t)at + w < INT32_MIN ? 0 : w;
  };
  const char* codes[] = {"", "", "M1", "XYZ12", " nw", "X", ")"};
  for (int round = 0; round < 20; round++) {
    Layout original;
    int count = (int)(rng() % 300);
    for (int i = 0; i < count; i++) {
      bool extreme = rng() % 10 == 0;
      int32_t x = value(extreme), y = value(extreme), slot = (int)(rng() % LAYER_COUNT);
      original.add(slot, x, y, size(extreme, x), size(extreme, y), value(true), slot ? "" : codes[rng() % 7]);
    }
    original.layers[3].apply(OP_SELECT, MATCH_ALL, nullptr);  // selection is not stored
    original.layers[4].toggleEnabled();                       // nor the enabled flag
    std::string first = original.write();
    Layout copy;
    ReadResult r = copy.read(first);
    ASSERT_TRUE(r.records == count && r.skippedLines == 0) << r.records;
    original.layers[3].apply(OP_DESELECT, MATCH_ALL, nullptr);
    EXPECT_EQ(original.dump(), copy.dump());
    ASSERT_EQ(first, copy.write());
    Layout viaStream;  // the same through blocks that end at every place in a record
    std::istringstream in(first);
    readLayout(in, viaStream.layers, 80 + round * 7);
    EXPECT_EQ(copy.dump(), viaStream.dump());
  }
}

// A literal with its NUL bytes.
template <size_t N> std::string bytes(const char (&text)[N]) { return std::string(text, N - 1); }

struct Case {
  std::string input, layout;
  long skipped, firstSkipped;
};

void expectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    Layout layout;
    ReadResult r = layout.read(c.input);
    SCOPED_TRACE(c.input.size() < 200 ? c.input : c.input.substr(0, 200));
    const std::string want = c.layout + "|" + std::to_string(c.skipped) + "," + std::to_string(c.firstSkipped);
    EXPECT_EQ(want, layout.dump() + "|" + std::to_string(r.skippedLines) + "," + std::to_string(r.firstSkippedLine));
    EXPECT_FALSE(r.ioError);
    Layout padded;  // with the whole line in the block, as the quick record reading wants it
    ReadResult rp = padded.read(c.input + std::string(80, '\n'));
    EXPECT_EQ(want, padded.dump() + "|" + std::to_string(rp.skippedLines) + "," + std::to_string(rp.firstSkippedLine));
    // The same when blocks end anywhere.
    for (size_t block : c.input.size() > 4096 ? std::vector<size_t>{4093} : std::vector<size_t>{1, 2, 3, 7}) {
      Layout blocks;
      std::istringstream in(c.input);
      ReadResult rb = readLayout(in, blocks.layers, block);
      EXPECT_EQ(want, blocks.dump() + "|" + std::to_string(rb.skippedLines) + "," + std::to_string(rb.firstSkippedLine))
          << "block size " << block;
    }
    // And from a file read in two parts at once, the second part from every line start.
    const std::string path = kivotest::tempDir() + "/parts.msk";
    std::ofstream(path, std::ios::binary) << c.input;
    const size_t step = c.input.size() > 4096 ? c.input.size() / 5 : 1;
    for (size_t from = 1; from <= c.input.size(); from += step) {
      Layout parts;
      ReadResult rp2;
      ASSERT_EQ(READ_OK, readLayoutFile(path.c_str(), parts.layers, rp2, from));
      EXPECT_EQ(want, parts.dump() + "|" + std::to_string(rp2.skippedLines) + "," + std::to_string(rp2.firstSkippedLine))
          << "second part from " << from;
      EXPECT_EQ(r.unknownCodes, rp2.unknownCodes);
    }
  }
}

TEST(LayoutFile, ReaderAcceptsTolerantRecords) {
  expectCases({
      {"", "", 0, 0}, {"BB(0,0,5,5)\n", "", 0, 0},
      {exampleFile, "1:0,0,120,20 2:10,5,30,10 4:60,30,4,30 5:20,40,50,8 11:22,42,4,4 12:70,10,10,10,3 ", 0, 0},
      {"REC( 1,\t2, 3,  4,NW)\n", "1:1,2,3,4 ", 0, 0}, {"REC(1;2 3x4/NW)\n", "1:1,2,3,4 ", 0, 0},
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
                          "REC(99999999999999999999,0,0,0,NW)", "REC(1,2,3,4,OP,", "REC(1,2,3,4", "REC(1,2,3,",
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
  for (int i = 0; i < 10; i++) records += "REC(0,0,1,1,U" + std::to_string(i) + ")\n";
  Layout layout;
  layout.add(0, 9, 9, 1, 1);  // drawn on the unknown slot: no code kept
  ReadResult r = layout.read("BB(0,0,5,5)\n" + records);
  EXPECT_TRUE(r.unknownObjects == 14 && r.unknownCodeCount == 13);
  ASSERT_EQ(10u, r.unknownCodes.size());
  EXPECT_EQ("M1 ND " + longCode + " U6", r.unknownCodes[0] + " " + r.unknownCodes[1] + " " + r.unknownCodes[2] + " " +
                                            r.unknownCodes[9]);
  const std::string written = layout.write();
  EXPECT_EQ("BB(0,0,10,10)\nREC(9,9,1,1,NULL!)\n" + records, written);
  Layout again;  // the same through small blocks
  std::istringstream in(written);
  readLayout(in, again.layers, 7);
  EXPECT_EQ(written, again.write());
  const std::string path = kivotest::tempDir() + "/unknown.msk";  // and in two parts
  std::ofstream(path, std::ios::binary) << written;
  for (size_t from : {30, 60, 5100, 5150}) {
    Layout parts;
    ReadResult rp;
    ASSERT_EQ(READ_OK, readLayoutFile(path.c_str(), parts.layers, rp, from));
    EXPECT_EQ(written, parts.write()) << from;
    EXPECT_TRUE(rp.unknownCodes == r.unknownCodes && rp.unknownCodeCount == 13) << from;
  }
}

// A stream buffer that hands out its text, then fails as a broken disk does.
struct FailingBuffer : std::streambuf {
  std::string text;
  explicit FailingBuffer(std::string t) : text(std::move(t)) { setg(&text[0], &text[0], &text[0] + text.size()); }
  int_type underflow() override { throw std::runtime_error("I/O error"); }
};

TEST(LayoutFile, StreamFailureIsReportedAsIoError) {
  FailingBuffer buffer("REC(1,2,3,4,NW)\nREC(5,6,7");
  std::istream in(&buffer);
  Layout layout;
  EXPECT_TRUE(readLayout(in, layout.layers).ioError);
}

TEST(LayoutFile, WriteRecordsStopsOnAFailedStream) {
  Layout layout;
  for (int i : {1, 2}) layout.add(2, i, i, i, i);
  layout.layers[2].toggleEnabled();  // disabled layers are written all the same
  std::ostringstream good, failed;
  EXPECT_TRUE(layout.layers[2].writeRecords(good));
  EXPECT_EQ("REC(1,1,1,1,DN)\nREC(2,2,2,2,DN)\n", good.str());
  failed.setstate(std::ios::badbit);
  EXPECT_FALSE(layout.layers[2].writeRecords(failed));
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
  kivotest::writeFile(dir + "/a.msk", exampleFile);
  EXPECT_TRUE(readLayoutFile((dir + "/a.msk").c_str(), layout.layers, r) == READ_OK && r.records == 6);
}

struct stat statOf(const std::string& path) { struct stat st = {}; EXPECT_EQ(0, lstat(path.c_str(), &st)) << path; return st; }

// The names in a directory, hidden ones included, one line each.
std::string entries(const std::string& dir) {
  std::string names;
  FILE* ls = popen(("LC_ALL=C ls -A " + dir).c_str(), "r");
  for (int c; (c = fgetc(ls)) != EOF;) names += (char)c;
  return pclose(ls), names;
}

class SafeSave : public testing::Test {
protected:
  void SetUp() override { dir = kivotest::tempDir(), layout.read(exampleFile); }
  SaveStatus save(const std::string& path) { return saveLayoutFile(path.c_str(), layout.layers, error); }

  std::string dir;
  Layout layout;
  int error = 0;
};

TEST_F(SafeSave, RefusesWhatIsNotAWritableRegularFileAndChangesNothing) {
  const std::string fifo = dir + "/fifo", sub = dir + "/sub", locked = dir + "/locked.msk", device = dir + "/null";
  kivotest::writeFile(locked, "old\n");
  // Root may write the locked file, but no one is meant to.
  ASSERT_TRUE(mkfifo(fifo.c_str(), 0644) == 0 && mkdir(sub.c_str(), 0755) == 0 && chmod(locked.c_str(), 0444) == 0 &&
              mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0);
  const std::pair<std::string, SaveStatus> rows[] = {
      {fifo, SAVE_NOT_REGULAR}, {sub, SAVE_NOT_REGULAR}, {device, SAVE_NOT_REGULAR},
      {locked, SAVE_WRITE_PROTECTED}, {dir + "/no/a.msk", SAVE_CREATE_FAILED}};
  for (const auto& row : rows) EXPECT_EQ(row.second, save(row.first)) << row.first;
  EXPECT_EQ(" not saved: No such file or directory\nThe file on disk is unchanged.",
            saveFailureText(SAVE_CREATE_FAILED, error));
  EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode) && S_ISCHR(statOf(device).st_mode));
  EXPECT_EQ(0444u, statOf(locked).st_mode & 07777);
  EXPECT_EQ("old\n", kivotest::readFile(locked));
  EXPECT_EQ("fifo\nlocked.msk\nnull\nsub\n", entries(dir));  // no temporaries left
}

TEST_F(SafeSave, KeepsModeOwnerLinksAndLeavesNoTemporary) {
  const std::string target = dir + "/real.msk", link = dir + "/link.msk", hard = dir + "/hard.msk";
  kivotest::writeFile(target, "old\n");
  ASSERT_TRUE(chmod(target.c_str(), 0640) == 0 && chown(target.c_str(), 65534, 65534) == 0 &&
              symlink("real.msk", link.c_str()) == 0);
  // The content is written while the temporary is readable by its owner alone.
  std::vector<mode_t> modes;  // of the files open in dir
  ASSERT_EQ(SAVE_OK, saveSafely(link.c_str(), [&](std::ostream& out) {
    for (int fd = 3; fd < 1024; fd++) {
      std::string self = "/proc/self/fd/" + std::to_string(fd), name(4096, '\0');
      struct stat st;
      if (readlink(self.c_str(), &name[0], name.size()) > 0 && name.rfind(dir + "/", 0) == 0 &&
          stat(self.c_str(), &st) == 0)
        modes.push_back(st.st_mode & 07777);
    }
    writeLayout(out, layout.layers);
  }, error));
  EXPECT_EQ(std::vector<mode_t>{0600}, modes);
  EXPECT_TRUE(S_ISLNK(statOf(link).st_mode));
  struct stat st = statOf(target);
  EXPECT_TRUE((st.st_mode & 07777) == 0640 && st.st_uid == 65534 && st.st_gid == 65534) << std::oct << st.st_mode;
  EXPECT_EQ(exampleFile, kivotest::readFile(target));

  // Every name of a file with several links sees the new content.
  kivotest::writeFile(hard, "old\n");
  ASSERT_EQ(0, ::link(hard.c_str(), (dir + "/other.msk").c_str()));
  ino_t inode = statOf(hard).st_ino;
  layout.add(3, 1, 1, 1, 1);
  ASSERT_EQ(SAVE_OK, save(hard));
  EXPECT_EQ(layout.write(), kivotest::readFile(dir + "/other.msk"));
  EXPECT_EQ(inode, statOf(hard).st_ino);

  // New files: 0666 less the umask, also with the longest names.
  mode_t oldMask = umask(027);
  const std::string longName = dir + "/" + std::string(250, 'a') + ".msk";
  EXPECT_EQ(SAVE_OK, save(longName));
  umask(oldMask);
  EXPECT_EQ(0640u, statOf(longName).st_mode & 07777);
  EXPECT_EQ(layout.write(), kivotest::readFile(longName));

  // Temporaries of a save that crashed go; those of running processes stay.
  pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  const std::string stale = dir + "/.kivo-" + std::to_string(child) + "-7", live = dir + "/.kivo-1-7";
  kivotest::writeFile(stale, "crashed");
  kivotest::writeFile(live, "saving");
  ASSERT_EQ(SAVE_OK, save(target));
  EXPECT_EQ(".kivo-1-7\n" + std::string(250, 'a') + ".msk\nhard.msk\nlink.msk\nother.msk\nreal.msk\n", entries(dir));
}

// Takes the ids of the user nobody while alive, as an ordinary user runs Kivo.
struct AsNobody {
  AsNobody() { EXPECT_TRUE(setegid(65534) == 0 && seteuid(65534) == 0); }
  ~AsNobody() { EXPECT_TRUE(seteuid(0) == 0 && setegid(0) == 0); }
};

TEST_F(SafeSave, OrdinaryUserMayNotReplaceFilesTheyCannotWrite) {
  const std::string own = dir + "/own.msk", open = dir + "/open", spare = dir + "/spare";
  for (const std::string& d : {open, spare}) ASSERT_TRUE(mkdir(d.c_str(), 0755) == 0 && chown(d.c_str(), 65534, 65534) == 0);
  ASSERT_EQ(0, chmod(dir.c_str(), 0755));  // not writable for nobody
  const std::string locked = open + "/locked.msk", foreign = open + "/root.msk";
  for (const std::string& f : {own, locked, foreign}) kivotest::writeFile(f, "old\n");
  ASSERT_TRUE(chown(own.c_str(), 65534, 65534) == 0 && chown(locked.c_str(), 65534, 65534) == 0 &&
              chmod(locked.c_str(), 0444) == 0);
  ino_t inode = statOf(own).st_ino;
  setenv("TMPDIR", spare.c_str(), 1);
  mode_t oldMask = umask(022);
  {
    AsNobody nobody;
    EXPECT_TRUE(save(locked) == SAVE_WRITE_PROTECTED && save(foreign) == SAVE_WRITE_PROTECTED);
    EXPECT_EQ(SAVE_CREATE_FAILED, save(dir + "/new.msk"));
    EXPECT_EQ(" not saved: Permission denied\nThe file on disk is unchanged.", saveFailureText(SAVE_CREATE_FAILED, error));
    EXPECT_TRUE(save(own) == SAVE_OK && save(open + "/new.msk") == SAVE_OK);  // own: in place, after a copy in $TMPDIR
  }
  umask(oldMask);
  unsetenv("TMPDIR");
  EXPECT_EQ("old\nold\n", kivotest::readFile(locked) + kivotest::readFile(foreign));
  EXPECT_EQ(exampleFile, kivotest::readFile(own));
  struct stat st = statOf(own), fresh = statOf(open + "/new.msk");
  EXPECT_TRUE(st.st_ino == inode && st.st_uid == 65534 && (st.st_mode & 07777) == 0644 && fresh.st_uid == 65534 &&
              (fresh.st_mode & 07777) == 0644);
  EXPECT_EQ("locked.msk\nnew.msk\nroot.msk\n||open\nown.msk\nspare\n", entries(open) + "|" + entries(spare) + "|" + entries(dir));
}

}  // namespace
