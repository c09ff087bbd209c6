// Frame times of the real program, measured from outside: the release kivo
// of this build opens a layout file under Xvfb with the frametime library
// preloaded (it logs "open", "clear" and "swap" with their times), and
// xdotool does what a user does. A frame runs from the first clear after a
// swap to the next swap. Each layout (10^5, 10^6 and 10^7 rectangles, dense
// and sparse) is timed with the plain painter (KIVO_PLAIN_PAINTER=1) and
// with the fast one, each program started three times (once at 10^7) in
// turn; a figure is the median over the starts and their repetitions.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/CellDesign.h"
#include "bench/LayoutSets.h"
#include "io/LayoutFile.h"
#include "model/Layer.h"
#include "support/GuiTest.h"
#include "support/ProgramWindow.h"

using kivotest::shell;

namespace {

const int CANVAS_W = 692, CANVAS_H = 403;
// The hole after Open: centre and half side in canvas pixels (y down).
// One box of half side BOX_HALF sits at its centre; the rest is empty.
const int HOLE_X = 200, HOLE_Y = 200, HOLE_HALF = 40, BOX_HALF = 6;

double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Write the layout to path with the hole cut where Show All will put canvas
// pixel (HOLE_X, HOLE_Y), and one box on Metal 1 in its middle.
void writeLayoutFile(const std::string& path, bool dense, int count) {
  int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
  forEachObject(dense, count, [&](int, int x, int y, int w, int h) {
    x0 = std::min<int64_t>(x0, x), y0 = std::min<int64_t>(y0, y);
    x1 = std::max<int64_t>(x1, (int64_t)x + w), y1 = std::max<int64_t>(y1, (int64_t)y + h);
  });
  // Show All: the bounds' lower-left corner on the canvas's, scale clamped.
  float scale = std::min(CANVAS_W / (float)(x1 - x0), CANVAS_H / (float)(y1 - y0));
  scale = std::min(std::max(scale, 0.05f), 50.0f);
  auto layoutX = [&](int px) { return x0 + (int64_t)(px / scale); };
  auto layoutY = [&](int py) { return y0 + (int64_t)((CANVAS_H - py) / scale); };
  int64_t hx0 = layoutX(HOLE_X - HOLE_HALF), hx1 = layoutX(HOLE_X + HOLE_HALF);
  int64_t hy0 = layoutY(HOLE_Y + HOLE_HALF), hy1 = layoutY(HOLE_Y - HOLE_HALF);

  Layer* layers = new Layer[LAYER_COUNT];
  applyStartupSettings(layers);  // each layer writes its own code
  forEachObject(dense, count, [&](int l, int x, int y, int w, int h) {
    if (x <= hx1 && (int64_t)x + w >= hx0 && y <= hy1 && (int64_t)y + h >= hy0) return;
    GroupNode* node = newLayoutObject(l);
    node->setRect(x, y, w, h);
    layers[l].apply(OP_ADD, MATCH_ALL, node);
  });
  GroupNode* box = newLayoutObject(5);
  int64_t bx = layoutX(HOLE_X - BOX_HALF), by = layoutY(HOLE_Y + BOX_HALF);
  box->setRect((int)bx, (int)by, (int)(layoutX(HOLE_X + BOX_HALF) - bx), (int)(layoutY(HOLE_Y - BOX_HALF) - by));
  layers[5].apply(OP_ADD, MATCH_ALL, box);
  std::ofstream out(path, std::ios::binary);
  writeLayout(out, layers);
  delete[] layers;
}

struct Frame {
  double clear, swap;
};

// The log's frames and its open time (-1 when not yet opened).
struct Log {
  double open = -1, last = 0;
  bool endsWithSwap = false;
  std::vector<Frame> frames;
};

Log readLog(const std::string& path) {
  Log log;
  std::ifstream in(path);
  double clear = -1;
  for (std::string what, line; std::getline(in, line);) {
    std::istringstream fields(line);
    double t;
    if (!(fields >> what >> t)) continue;
    log.last = t;
    log.endsWithSwap = what == "swap";
    if (what == "open" && log.open < 0) log.open = t;
    if (what == "clear" && clear < 0) clear = t;
    if (what == "swap" && clear >= 0) log.frames.push_back({clear, t}), clear = -1;
  }
  return log;
}

// Wait until a frame has begun after start and the log has been quiet for
// a while after a swap; the log then, or an empty one on time-out.
Log waitQuiet(const std::string& path, double start, double seconds = 180) {
  for (double end = now() + seconds; now() < end; usleep(20000)) {
    Log log = readLog(path);
    bool frameAfter = !log.frames.empty() && log.frames.back().clear >= start;
    if (frameAfter && log.endsWithSwap && now() - log.last > 0.3) return log;
  }
  return Log();
}

enum Row { OPEN, FIRST, CLICK, DRAW, SELECT_ALL, ZOOM, FIRST_MOTION, LATER_MOTION, MOTION, ROWS };
const char* const ROW_NAMES[ROWS] = {"Open -> first frame shown", "first frame after Open",
                                     "frame after a click toggling one", "frame after drawing one rect",
                                     "frame after Select All",         "frame after Zoom In / Zoom Out",
                                     "first pointer motion -> its frame", "later pointer motion -> its frame",
                                     "pointer motion"};
// The motions from xdotool to their frames include starting xdotool: the
// first motion's cost is its figure less a later one's.
const double TARGETS[ROWS] = {0.20, 60, 20, 20, 100, 60, NAN, NAN, 5};

double median(std::vector<double> v) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// One run of the program on a file: Open, then each action `runs` times.
// Every sample but Open's is the largest frame (ms) after the action.
struct Run {
  std::string log;
  std::string window;
  kivotest::Geometry canvas;
  std::vector<uint32_t> picture;  // the canvas after Open
  long residentKb = 0;            // the program's resident memory after Open
  long motionKb = 0;              // and after the first pointer motion's frame
  std::vector<double> samples[ROWS];
  bool failed = false;

  double lastLatency = NAN;  // of the last action: from it to its first frame's end (ms)
  // Do the xdotool commands, then the largest frame begun after them (ms).
  double action(const std::string& commands) {
    double start = now();
    shell("xdotool " + commands);
    Log after = waitQuiet(log, start, 60);
    double largest = -1;
    lastLatency = NAN;
    for (const Frame& f : after.frames)
      if (f.clear >= start) {
        largest = std::max(largest, (f.swap - f.clear) * 1000);
        if (std::isnan(lastLatency)) lastLatency = (f.swap - start) * 1000;
      }
    if (largest < 0) failed = true;
    return largest < 0 ? NAN : largest;
  }
  // Do the commands, then the time from them to the end of the first frame
  // begun after them (ms): what the program spent on the event shows too.
  double latency(const std::string& commands) {
    double start = now();
    shell("xdotool " + commands);
    Log after = waitQuiet(log, start, 60);
    for (const Frame& f : after.frames)
      if (f.clear >= start) return (f.swap - start) * 1000;
    failed = true;
    return NAN;
  }
  // Do the commands and wait until the program is done with them, untimed.
  void prepare(const std::string& commands) {
    double start = now();
    shell("xdotool " + commands);
    usleep(100000);
    if (readLog(log).last >= start) waitQuiet(log, start, 60);
  }
  std::string at(int px, int py) const {
    return " mousemove " + std::to_string(canvas.x + px) + " " + std::to_string(canvas.y + py) + " ";
  }
};

// The resident memory of a process in kB, 0 when unknown.
long residentKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
  return 0;
}

// The layer map of the SkyWater cells, for the hierarchical designs.
const std::string SKY130_MAP = std::string(KIVO_SOURCE_DIR) + "/layermaps/sky130.map";

// The program timed: this build's, or KIVO_BENCH_PROGRAM's (to time two
// builds alternately on a busy machine).
const char* program() {
  const char* other = std::getenv("KIVO_BENCH_PROGRAM");
  return other && *other ? other : KIVO_PROGRAM;
}

Run measure(const std::string& file, bool plain, int runs, bool sky130 = false) {
  Run run;
  std::string dir = kivotest::tempDir();
  run.log = dir + "/frames.log";
  pid_t child = fork();
  if (child == 0) {
    setenv("LD_PRELOAD", FRAMETIME_LIBRARY, 1);
    setenv("FRAMETIME_LOG", run.log.c_str(), 1);
    setenv("KIVO_NO_RECOVERY", "1", 1);
    setenv("XDG_STATE_HOME", dir.c_str(), 1);
    if (plain) setenv("KIVO_PLAIN_PAINTER", "1", 1);
    else unsetenv("KIVO_PLAIN_PAINTER");
    if (file.empty())
      execl(program(), program(), (char*)nullptr);
    else if (sky130)
      execl(program(), program(), "--layer-map", SKY130_MAP.c_str(), file.c_str(), (char*)nullptr);
    else
      execl(program(), program(), file.c_str(), (char*)nullptr);
    _exit(127);
  }
  if (child < 0) {
    run.failed = true;
    return run;
  }
  Log opened = waitQuiet(run.log, 0);
  run.window = kivotest::waitForWindow("Kivo", 20);
  run.canvas = kivotest::findCanvas(run.window);
  run.residentKb = residentKb(child);
  if (file.empty()) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return run;
  }
  if (opened.open < 0 || run.window.empty() || run.canvas.width == 0) {
    std::printf("  the program did not open %s\n", file.c_str());
    run.failed = true;
  } else {
    for (const Frame& f : opened.frames)
      if (f.swap > opened.open) {
        run.samples[OPEN].push_back(f.swap - opened.open);
        run.samples[FIRST].push_back((f.swap - f.clear) * 1000);
        break;
      }
    // Bring the canvas to the size the figures are for.
    if (run.canvas.width != CANVAS_W || run.canvas.height != CANVAS_H) {
      std::string size = shell("xdotool getwindowgeometry " + run.window + " | sed -n 's/.*Geometry: //p'");
      int w = 0, h = 0;
      std::sscanf(size.c_str(), "%dx%d", &w, &h);
      run.prepare("windowsize " + run.window + " " + std::to_string(w + CANVAS_W - run.canvas.width) + " " +
                  std::to_string(h + CANVAS_H - run.canvas.height));
      run.canvas = kivotest::findCanvas(run.window);
    }
    run.picture = kivotest::settledScreen(child).area(run.canvas);
    std::vector<double>* times = run.samples;
    run.prepare("windowfocus --sync " + run.window);
    times[FIRST_MOTION].push_back(run.latency(run.at(110, 290)));
    run.motionKb = residentKb(child);
    for (int i = 0; i < runs; i++) {
      times[MOTION].push_back(run.action(run.at(100 + 20 * i, 300 - 10 * i)));
      times[LATER_MOTION].push_back(run.lastLatency);
    }
    for (int i = 0; i < 2 * runs; i++) {  // on, off, on, ...
      run.prepare(run.at(HOLE_X, HOLE_Y));
      times[CLICK].push_back(run.action("click 1"));
    }
    for (int i = 0; i < runs; i++) {  // 8 x 8 pixel rectangles down the hole's left side
      int px = HOLE_X - HOLE_HALF + 4, py = HOLE_Y - HOLE_HALF + 4 + 14 * i;
      run.prepare(run.at(px, py) + "sleep 0.05 mousedown 1 sleep 0.05" + run.at(px + 4, py + 4) + "sleep 0.05" +
                  run.at(px + 8, py + 8));
      times[DRAW].push_back(run.action("mouseup 1"));
    }
    for (int i = 0; i < runs; i++) {
      times[SELECT_ALL].push_back(run.action("key ctrl+a"));
      run.prepare("key ctrl+e");
    }
    for (int i = 0; i < runs; i++) {
      times[ZOOM].push_back(run.action("key q"));
      times[ZOOM].push_back(run.action("key z"));
    }
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  return run;
}

}  // namespace

// A hierarchical design of the SkyWater cells of about count objects
// flattened: the fast painter's figures, its memory beside an empty
// program's, and its first picture against the plain painter's (which is
// timed at Open only: its frames take seconds here).
bool measureCells(uint64_t count, int starts) {
  const double targets[ROWS] = {count > 10000000 ? 1.0 : 0.2, 1000, count > 10000000 ? 150.0 : 50.0,
                                count > 10000000 ? 150.0 : 50.0, 1000, count > 10000000 ? 150.0 : 50.0, NAN, NAN, 5};
  const long MEMORY_KB = 200 * 1024;  // at most 200 MB more than an empty program
  std::string file = kivotest::tempDir() + "/cells.gds";
  LayerMap map;
  std::string error;
  if (!loadLayerMap(SKY130_MAP.c_str(), map, error)) {
    std::printf("  %s\n", error.c_str());
    return false;
  }
  uint64_t flattened = celldesign::writeDesign(file, SKY130_DATA, map, count);
  std::printf("... cells: %llu objects flattened\n", (unsigned long long)flattened);
  std::fflush(stdout);
  if (flattened == 0) return false;
  long empty = measure("", false, 0).residentKb;
  Run plainRun = measure(file, true, 0, true);
  std::vector<double> samples[ROWS];
  std::vector<long> memory, motionMemory;
  size_t wrong = 0;
  bool failed = plainRun.failed;
  for (int start = 0; start < starts; start++) {
    std::printf("... fast painter, start %d of %d\n", start + 1, starts);
    std::fflush(stdout);
    Run run = measure(file, false, 3, true);
    failed = failed || run.failed;
    memory.push_back(run.residentKb);
    motionMemory.push_back(run.motionKb);
    for (int r = 0; r < ROWS; r++) samples[r].insert(samples[r].end(), run.samples[r].begin(), run.samples[r].end());
    for (size_t i = 0; i < std::max(run.picture.size(), plainRun.picture.size()); i++)
      wrong += i >= run.picture.size() || i >= plainRun.picture.size() || run.picture[i] != plainRun.picture[i];
  }
  std::remove(file.c_str());
  std::printf("cells: %llu objects flattened in one array of blocks\n", (unsigned long long)flattened);
  if (wrong > 0) {
    std::printf("  WRONG PICTURE: %zu canvas pixels after Open differ between the fast and the plain painter\n", wrong);
    return false;
  }
  std::printf("  %-36s %9s %9s %9s %8s\n", "(Open in s, frames in ms)", "median", "least", "most", "target");
  bool ok = !failed;
  for (int r = 0; r < ROWS; r++) {
    if (r == FIRST || r == SELECT_ALL) continue;
    std::vector<double>& v = samples[r];
    double m = median(v), lo = v.empty() ? NAN : *std::min_element(v.begin(), v.end()),
           hi = v.empty() ? NAN : *std::max_element(v.begin(), v.end());
    const char* format = r == OPEN ? "  %-36s %9.3f %9.3f %9.3f %8.2f %s\n" : "  %-36s %9.1f %9.1f %9.1f %8.0f %s\n";
    std::printf(format, ROW_NAMES[r], m, lo, hi, targets[r],
                std::isnan(targets[r]) || m <= targets[r] ? "" : "MISSED");
  }
  long added = memory.empty() ? 0 : *std::max_element(memory.begin(), memory.end()) - empty;
  std::printf("  %-36s %9ld kB (empty program %ld kB) %s\n", "memory added by the design", added, empty,
              added <= MEMORY_KB ? "" : "MISSED");
  long afterMotion = motionMemory.empty() ? 0 : *std::max_element(motionMemory.begin(), motionMemory.end()) - empty;
  std::printf("  %-36s %9ld kB %s\n", "  ... after the first pointer motion", afterMotion,
              afterMotion <= MEMORY_KB ? "" : "MISSED");
  std::printf("  %-36s %9.3f\n", "plain painter: Open -> first frame (s)", median(plainRun.samples[OPEN]));
  std::fflush(stdout);
  return ok;
}

// Arguments: the counts to measure (default 100000 1000000 10000000), and
// cells:N for a hierarchical design of N objects flattened.
int main(int argc, char** argv) {
  std::vector<int> counts;
  std::vector<uint64_t> cellCounts;
  for (int i = 1; i < argc; i++) {
    // write:N:PATH only writes the hierarchical design, to look at by hand.
    if (std::strncmp(argv[i], "write:", 6) == 0) {
      char* path = nullptr;
      uint64_t n = std::strtoull(argv[i] + 6, &path, 10);
      LayerMap map;
      std::string error;
      loadLayerMap(SKY130_MAP.c_str(), map, error);
      return path && *path == ':' && celldesign::writeDesign(path + 1, SKY130_DATA, map, n) ? 0 : 1;
    }
    if (std::strncmp(argv[i], "cells:", 6) == 0) cellCounts.push_back(std::strtoull(argv[i] + 6, nullptr, 10));
    else counts.push_back(std::atoi(argv[i]));
  }
  if (counts.empty() && cellCounts.empty()) counts = {100000, 1000000, 10000000}, cellCounts = {10000000, 100000000};
  kivotest::display();
  bool cellsOk = true;
  for (uint64_t count : cellCounts) cellsOk = measureCells(count, 3) && cellsOk;
  std::printf("program %s, frames clear to swap; each figure after Open is the largest frame after the "
              "action; every figure is the median over the repetitions and the program's starts\n", program());
  bool ok = true;
  for (int count : counts) {
    int runs = count >= 10000000 ? 1 : count >= 1000000 ? 3 : 5;
    int starts = count >= 10000000 ? 1 : 3;
    for (bool dense : {true, false}) {
      const char* set = dense ? "dense" : "sparse";
      std::string file = kivotest::tempDir() + "/" + set + ".msk";
      std::printf("... %d rectangles, %s: writing the file\n", count, set);
      std::fflush(stdout);
      writeLayoutFile(file, dense, count);
      // Each painter's program is started `starts` times, alternately: the
      // figures are medians over all of them.
      double row[2][ROWS];
      Run fast, plainRun;
      bool failed = false;
      size_t wrong = 0;  // canvas pixels where the fast painter's Open differs from the plain one's
      std::vector<double> samples[2][ROWS];
      for (int start = 0; start < starts; start++) {
        for (bool plain : {true, false}) {
          std::printf("... %s painter, start %d of %d, %d repetitions\n", plain ? "plain" : "fast", start + 1,
                      starts, runs);
          std::fflush(stdout);
          Run run = measure(file, plain, runs);
          failed = failed || run.failed;
          for (int r = 0; r < ROWS; r++)
            samples[plain ? 0 : 1][r].insert(samples[plain ? 0 : 1][r].end(), run.samples[r].begin(),
                                             run.samples[r].end());
          if (plain) plainRun = run;
          else fast = run;
          for (size_t i = 0; !plain && i < std::max(run.picture.size(), plainRun.picture.size()); i++)
            wrong += i >= run.picture.size() || i >= plainRun.picture.size() || run.picture[i] != plainRun.picture[i];
        }
      }
      for (int k = 0; k < 2; k++)
        for (int r = 0; r < ROWS; r++) row[k][r] = median(samples[k][r]);
      std::remove(file.c_str());
      std::printf("%d rectangles, %s, canvas %d x %d; fast painter's memory %ld kB after Open, %ld kB after the "
                  "first pointer motion\n", count, set, fast.canvas.width, fast.canvas.height, fast.residentKb,
                  fast.motionKb);
      // A figure is worth nothing on a wrong picture: none is shown then.
      if (wrong > 0 || fast.picture.empty()) {
        std::printf("  WRONG PICTURE: %zu canvas pixels after Open differ between the fast and the plain painter\n", wrong);
        ok = false;
        continue;
      }
      std::printf("  %-36s %8s %9s %8s\n", "(Open in s, frames in ms)", "plain", "fast", "target");
      for (int r = 0; r < ROWS; r++) {
        double target = r == OPEN && count >= 10000000 ? 2.0 : TARGETS[r];
        bool marked = count == 1000000 || (r == OPEN && count >= 10000000);
        const char* format = r == OPEN ? "  %-36s %8.3f %9.3f %8.2f %s\n" : "  %-36s %8.1f %9.1f %8.0f %s\n";
        std::printf(format, ROW_NAMES[r], row[0][r], row[1][r], target,
                    marked && !std::isnan(target) && !(row[1][r] <= target) ? "MISSED" : "");
      }
      std::fflush(stdout);
      ok = ok && !failed;
    }
  }
  return ok && cellsOk ? 0 : 1;
}
