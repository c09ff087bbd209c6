// Frame times of the canvas under Mesa's software OpenGL in Xvfb, at the
// size the user sees (692 x 403): the plain immediate-mode painter beside the
// fast path, for each kind of change a user waits for (Open reads the set
// from a saved file, as the File menu does), on a dense layout
// (rectangles of 1 to 20 units in about 8000 x 8000, the twelve box layers)
// and a sparse one (a chip of mostly tiny objects in 2 mm x 1.5 mm).
// Fails only when the two paths give different pixels.
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/KivoWindow.h"
#include "bench/LayoutSets.h"
#include "bench/ResidentMemory.h"
#include "io/LayoutFile.h"
#include "support/GuiTest.h"

namespace {

const int CANVAS_W = 692, CANVAS_H = 403;

double nowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Paint once and wait until the pixels are done.
double paintMs(KivoWindow* window) {
  double start = nowMs();
  window->handle(window->canvas, FXSEL(SEL_PAINT, KivoWindow::ID_CANVAS), nullptr);
  if (window->canvas->makeCurrent()) {
    glFinish();
    window->canvas->makeNonCurrent();
  }
  return nowMs() - start;
}

double median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Median paint time, each paint after its change.
double medianMs(KivoWindow* window, int runs, const std::function<void(int)>& change) {
  std::vector<double> times;
  for (int i = 0; i < runs; i++) {
    change(i);
    times.push_back(paintMs(window));
  }
  return median(std::move(times));
}

// A set (LayoutSets.h) in fresh layers, as a file read places it.
void fill(Layer layers[LAYER_COUNT], bool dense, int count) {
  for (int i = 0; i < LAYER_COUNT; i++) layers[i].enable(), layers[i].setId(i);
  forEachObject(dense, count, [&](int l, int x, int y, int w, int h) {
    GroupNode* node = newLayoutObject(l);
    node->setRect(x, y, w, h);
    layers[l].apply(OP_ADD, MATCH_ALL, node);
  });
}

void sizeCanvas(KivoWindow* window) {
  for (int i = 0; i < 5; i++) {
    int dw = CANVAS_W - window->canvas->getWidth(), dh = CANVAS_H - window->canvas->getHeight();
    if (dw == 0 && dh == 0) return;
    window->resize(window->getWidth() + dw, window->getHeight() + dh);
    kivotest::runFor(100);
    kivotest::settle();
  }
}

// The view in which the wheel shows the whole chip: its bounds fill the
// canvas in one direction (as Show All shows a layout of any size).
void showWholeChip(KivoWindow* window) {
  Rect bounds = layoutBounds(window->layout.allLayers());
  window->originX = bounds.getX();
  window->originY = bounds.getY();
  window->scale = std::min(window->canvas->getWidth() / (float)bounds.getW(),
                           window->canvas->getHeight() / (float)bounds.getH());
}

// Pixels that differ between the two paths in the current state.
int differingPixels(KivoWindow* window) {
  int w, h;
  bool was = window->painter.isReferenceMode();
  window->painter.setReferenceMode(true);
  auto plain = kivotest::paintAndRead(window, w, h);
  window->painter.setReferenceMode(false);
  auto fast = kivotest::paintAndRead(window, w, h);
  window->painter.setReferenceMode(was);
  int differ = 0;
  for (size_t i = 0; i < plain.size(); i++) differ += !(plain[i] == fast[i]);
  return differ;
}

// The lower-left corners of the first `wanted` objects of one layer, in list
// order, that no other object contains: a click there toggles one object.
// Each object of the layout is visited once: the candidate corners sit in a
// grid of about one per cell, and an object looks only at the cells it
// covers (checking every corner against every object took minutes at 10^7).
std::vector<Rect> isolatedCorners(const Layout& layout, int layer, int wanted) {
  struct Corner {
    int64_t x, y;
    int hits;
  };
  std::vector<Corner> corners;
  int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
  for (GroupNode* n = layout.layer(layer).first(); n; n = n->next()) {
    corners.push_back({n->getX(), n->getY(), 0});
    x0 = std::min(x0, corners.back().x), x1 = std::max(x1, corners.back().x);
    y0 = std::min(y0, corners.back().y), y1 = std::max(y1, corners.back().y);
  }
  if (corners.empty()) return {};
  const int64_t side = std::max<int64_t>(1, (int64_t)std::sqrt((double)corners.size()));
  const int64_t cellW = (x1 - x0) / side + 1, cellH = (y1 - y0) / side + 1;
  auto cellOf = [&](int64_t x, int64_t y) {
    return (size_t)((y - y0) / cellH * side + (x - x0) / cellW);
  };
  std::vector<size_t> start(side * side + 1, 0), inCell(corners.size());
  for (const Corner& c : corners) start[cellOf(c.x, c.y) + 1]++;
  for (size_t i = 1; i < start.size(); i++) start[i] += start[i - 1];
  std::vector<size_t> fill(start.begin(), start.end() - 1);
  for (size_t i = 0; i < corners.size(); i++)
    inCell[fill[cellOf(corners[i].x, corners[i].y)]++] = i;
  for (int l = 0; l < LAYER_COUNT; l++)
    for (GroupNode* o = layout.layer(l).first(); o; o = o->next()) {
      int64_t bx0 = o->getX(), by0 = o->getY(), bx1 = bx0 + o->getW(), by1 = by0 + o->getH();
      if (bx1 < x0 || bx0 > x1 || by1 < y0 || by0 > y1) continue;
      int64_t cx0 = (std::max(bx0, x0) - x0) / cellW, cx1 = (std::min(bx1, x1) - x0) / cellW;
      int64_t cy0 = (std::max(by0, y0) - y0) / cellH, cy1 = (std::min(by1, y1) - y0) / cellH;
      for (int64_t cy = cy0; cy <= cy1; cy++)
        for (int64_t cx = cx0; cx <= cx1; cx++)
          for (size_t k = start[cy * side + cx]; k < start[cy * side + cx + 1]; k++) {
            Corner& c = corners[inCell[k]];
            c.hits += bx0 <= c.x && c.x <= bx1 && by0 <= c.y && c.y <= by1;
          }
    }
  std::vector<Rect> points;
  for (size_t i = 0; i < corners.size() && (int)points.size() < wanted; i++) {
    if (corners[i].hits != 1) continue;
    points.emplace_back();
    points.back().setRect(corners[i].x, corners[i].y, 0, 0);
  }
  return points;
}

enum Row { OPEN_SHOWN, OPEN, FULL, CLICK, DRAW, SELECT_ALL, ZOOM, MOTION, CHIP_FULL, ROWS };
const char* const ROW_NAMES[ROWS] = {"Open (read the file) -> frame shown",
                                     "first frame after Open", "full frame at Show All",
                                     "frame after a click toggling one", "frame after drawing one rect",
                                     "frame after Select All",     "frame after Zoom In / Zoom Out",
                                     "pointer motion",             "full frame, whole chip (wheel)"};
const double TARGETS[ROWS] = {200, 60, 60, 20, 20, 100, 60, 5, 60};
// Frames per row of the fast painter, the median printed. Single frames of
// this machine vary by a third; the median of three still moved a row by
// 20 to 50% from one run to the next at 10^7, too much to compare builds.
const int FAST_FRAMES = 9;
// Pointer motion frames of the fast painter. They come in runs of 10 to 20
// at one speed (here 0.8, 1.1, 1.3 or 1.7 ms) as the renderer's threads
// fall on the processors; nine frames took one run's speed, so the row
// moved by a sixth between two runs of one build. A hundred frames take a
// few runs, at about 0.15 s.
const int MOTION_FRAMES = 101;
// Clicks and drawn rectangles of the fast painter. Nine of these frames of
// 3 to 5 ms moved a row by a fifth between runs of one build at 10^6; a
// hundred agreed within 5%, at about half a second each.
const int CLICK_FRAMES = 101;
// Opens of each layout by the fast painter, the median printed: one open
// moved by a fifth between runs. Five cost about 4 s at 10^7.
const int FAST_OPENS = 5;
bool comparePaths = true;  // off with the argument "fast": profiling only

struct Figures {
  double row[ROWS] = {};
  int differing = 0;
};

// Open the set (content replaced, Show All), then each change of the table
// and its frame. In fast mode the pixels are compared with the plain
// painter's after each kind of change.
Figures measure(KivoWindow* window, bool dense, int count, bool reference, int runs) {
  Figures f;
  CanvasPainter& painter = window->painter;
  Layout& layout = window->layout;
  auto check = [&] {
    if (!reference && comparePaths) f.differing += differingPixels(window);
  };
  const std::string path = "/tmp/kivo-canvas-bench.msk";
  {
    Layer fresh[LAYER_COUNT];
    fill(fresh, dense, count);
    int error = 0;
    if (saveLayoutFile(path.c_str(), fresh, error) != SAVE_OK) {
      std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(error));
      std::exit(1);
    }
  }
  painter.invalidate();
  painter.setReferenceMode(reference);
  std::vector<double> shown, first;
  for (int i = 0; i < (reference ? 1 : FAST_OPENS); i++) {
    Layer empty[LAYER_COUNT];  // each open replaces an empty layout
    layout.replaceContent(empty, "empty.msk", false);
    paintMs(window);
    double start = nowMs();
    window->openFile(path.c_str());
    first.push_back(paintMs(window));
    shown.push_back(nowMs() - start);
  }
  f.row[OPEN] = median(first);
  f.row[OPEN_SHOWN] = median(shown);
  std::remove(path.c_str());
  f.row[FULL] = medianMs(window, runs, [&](int) { painter.forgetPicture(); });
  check();

  // Each click toggles one object.
  const int clicks = reference ? runs : CLICK_FRAMES;
  std::vector<Rect> points = isolatedCorners(layout, 5, clicks);
  if (points.empty()) {
    std::fprintf(stderr, "no object of layer 5 stands alone to be clicked\n");
    std::exit(1);
  }
  f.row[CLICK] = medianMs(window, clicks, [&](int i) {
    layout.applySelection(-1, OP_TOGGLE, MATCH_AT, &points[i % points.size()]);
  });
  check();
  Rect bounds = layoutBounds(layout.allLayers());
  f.row[DRAW] = medianMs(window, clicks, [&](int i) {
    Box* box = new Box;  // rows of nine, inside the layout's bounds
    box->setRect(bounds.getX() + 100 * (i % 9), bounds.getY() + 50 * (i % 9) + 600 * (i / 9), 20, 10);
    layout.addObjects({PlacedObject{5, box}}, "added");
  });
  check();
  f.row[SELECT_ALL] = medianMs(window, runs, [&](int) {
    layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
    paintMs(window);
    layout.applySelection(-1, OP_SELECT, MATCH_ALL, nullptr);
  });
  check();
  layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
  paintMs(window);
  // In and out in turn, at least twice each: the first zoom in sorts the
  // layers into tiles once, and is one frame among them at every size.
  f.row[ZOOM] = medianMs(window, 2 * std::max(runs, 2), [&](int i) {
    if (i % 2)
      window->onCmdZoomOut(nullptr, 0, nullptr);
    else
      window->onCmdZoomIn(nullptr, 0, nullptr);
  });
  check();
  f.row[MOTION] = medianMs(window, reference ? runs : MOTION_FRAMES, [&](int i) {
    kivotest::canvasMotion(window, 300 + 7 * (i % 9), 200 + 5 * (i % 9));  // inside the canvas
  });
  showWholeChip(window);
  f.row[CHIP_FULL] = medianMs(window, runs, [&](int) { painter.forgetPicture(); });
  check();
  painter.setReferenceMode(false);
  return f;
}

// Resident bytes per object of a fresh dense layout: the objects alone
// (all the plain painter needs) and with the fast path's caches.
void memoryPerObject(KivoWindow* window, int count) {
  Layout& layout = window->layout;
  window->painter.setReferenceMode(false);
  window->painter.invalidate();
  paintMs(window);
  long before = residentBytes();
  Layer fresh[LAYER_COUNT];
  fill(fresh, true, count);
  long objects = residentBytes();
  layout.replaceContent(fresh, "bench.msk", false);
  window->onCmdShowAll(nullptr, 0, nullptr);
  paintMs(window);
  long total = residentBytes();
  std::printf("%d rectangles, dense: resident bytes per object: plain %.1f, fast (objects and "
              "every paint cache) %.1f, target 64 %s\n",
              count, (double)(objects - before) / count, (double)(total - before) / count,
              (total - before) / (double)count <= 64 ? "met" : "MISSED");
}

}  // namespace

// Arguments: the counts to measure (default 10^5, 10^6 and 10^7); "fast" skips
// comparing the pixels with the plain painter's (for profiling).

int main(int argc, char** argv) {
  std::vector<int> counts;
  for (int i = 1; i < argc; i++) {
    if (std::strcmp(argv[i], "fast") == 0)
      comparePaths = false;
    else
      counts.push_back(std::atoi(argv[i]));
  }
  if (counts.empty()) counts = {100000, 1000000, 10000000};
  kivotest::app();
  KivoWindow* window = kivotest::newWindow();
  sizeCanvas(window);
  std::printf("canvas %d x %d, %s\n", window->canvas->getWidth(), window->canvas->getHeight(),
              window->canvas->makeCurrent() ? (const char*)glGetString(GL_RENDERER) : "no GL");
  window->canvas->makeNonCurrent();
  memoryPerObject(window, *std::max_element(counts.begin(), counts.end()));
  bool ok = true;
  Figures atMillion[2];  // dense, sparse
  for (int count : counts) {
    for (bool dense : {true, false}) {
      // The plain painter takes seconds per frame at 10^7: one run there.
      int runs = count >= 1000000 ? 3 : 5;
      Figures plain = comparePaths ? measure(window, dense, count, true, count >= 10000000 ? 1 : runs) : Figures();
      Figures fast = measure(window, dense, count, false, FAST_FRAMES);
      if (count == 1000000) atMillion[dense ? 0 : 1] = fast;
      const Figures& million = atMillion[dense ? 0 : 1];
      std::printf("%d rectangles, %s           plain      fast    target\n", count,
                  dense ? "dense" : "sparse");
      // The targets hold at 10^6; at 10^7 a figure may grow at most tenfold.
      for (int r = 0; r < ROWS; r++) {
        bool missed = count == 1000000 ? fast.row[r] > TARGETS[r]
                      : count == 10000000 && million.row[r] > 0
                          ? fast.row[r] > std::max(TARGETS[r], 10 * million.row[r])
                          : false;
        std::printf("  %-36s %8.1f %9.2f %8.0f %s\n", ROW_NAMES[r], plain.row[r], fast.row[r],
                    count == 10000000 ? std::max(TARGETS[r], 10 * million.row[r]) : TARGETS[r],
                    missed ? "MISSED" : "");
      }
      std::printf("  (times in ms) pixels differing between the paths: %d\n", fast.differing);
      if (fast.differing != 0) ok = false;  // the fast path must draw the same picture
      std::fflush(stdout);
    }
  }
  kivotest::deleteWindow(window);
  return ok ? 0 : 1;
}
