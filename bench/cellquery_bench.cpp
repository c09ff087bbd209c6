// The masks of placed cells alone, timed: a GDSII file (argument 1, layer
// map argument 2) shown whole and zoomed in once on a 692 x 403 canvas of
// an X window ($DISPLAY); each view's masks are made REPEATS times and the
// least and the median time printed. The least is the figure to compare
// on a busy machine.
#include <GL/glx.h>
#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <string>
#include <time.h>
#include <vector>

#include "canvas/CellMasks.h"
#include "canvas/CellSceneSync.h"
#include "canvas/LayerDrawing.h"
#include "io/Gdsii.h"
#include "io/LayerMap.h"
#include "model/Layout.h"

// The process's processor time in ms, all threads: steadier than the
// clock on a busy machine.
static double processorMs() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

int main(int argc, char** argv) {
  const int REPEATS = argc > 3 ? std::max(1, std::atoi(argv[3])) : 15;
  if (argc < 3) return 2;
  Display* display = XOpenDisplay(nullptr);
  int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_DEPTH_SIZE, 16, None};
  XVisualInfo* visual = display ? glXChooseVisual(display, DefaultScreen(display), attributes) : nullptr;
  if (!visual) return 2;
  XSetWindowAttributes wa = {};
  Window root = RootWindow(display, visual->screen);
  wa.colormap = XCreateColormap(display, root, visual->visual, AllocNone);
  Window window = XCreateWindow(display, root, 0, 0, 692, 403, 0, visual->depth, InputOutput, visual->visual,
                                CWColormap, &wa);
  GLXContext context = glXCreateContext(display, visual, nullptr, True);
  glXMakeCurrent(display, window, context);
  LayerMap map;
  std::string error;
  if (!loadLayerMap(argv[2], map, error)) return 2;
  static Layer layers[LAYER_COUNT];
  GdsLibraryInfo info;
  GdsReadResult result;
  CellLibrary* library = new CellLibrary;
  auto t0 = std::chrono::steady_clock::now();
  if (readGdsiiFile(argv[1], map, layers, info, result, nullptr, library) != READ_OK) return 2;
  Layout* layout = new Layout;
  layout->replaceContent(layers, argv[1], false, FORMAT_GDSII, info, library);
  CellScene scene;
  syncCellScene(*layout, scene);
  auto t1 = std::chrono::steady_clock::now();
  size_t tables = 0;
  for (const SceneCell& c : scene.cells)
    tables += c.cover.entries.size() * sizeof(uint16_t) + c.cover.masks.size() * sizeof(uint64_t) +
              (c.cover.xs.size() + c.cover.ys.size()) * sizeof(int64_t) +
              (c.cover.xs.before.size() + c.cover.ys.before.size()) * sizeof(uint32_t);
  std::printf("read and scene %.1f ms, cover tables %zu kB\n", std::chrono::duration<double>(t1 - t0).count() * 1000,
              tables / 1024);
  const Box64& b = scene.top().bounds;
  Rect bounds;
  bounds.setRect((int32_t)b.x0, (int32_t)b.y0, (int32_t)(b.x1 - b.x0), (int32_t)(b.y1 - b.y0));
  ViewTransform view;
  view.width = 692, view.height = 403;
  view.showAll(bounds);
  bool enabled[LAYER_COUNT];
  std::fill(enabled, enabled + LAYER_COUNT, true);
  VertexBuffer* vertices = new VertexBuffer;
  CellMasks masks;
  for (int zoom = 0; zoom < 2; zoom++) {
    std::vector<double> times, processor;
    for (int r = 0; r < REPEATS; r++) {
      masks.forget();
      auto a = std::chrono::steady_clock::now();
      double p = processorMs();
      masks.update(view, scene, enabled, 1.0 / 512, *vertices);
      glFinish();
      processor.push_back(processorMs() - p);
      times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count() * 1000);
    }
    std::sort(times.begin(), times.end());
    std::sort(processor.begin(), processor.end());
    std::printf("%s: least %.1f ms, median %.1f ms; processor time least %.1f ms, median %.1f ms\n",
                zoom ? "zoomed in" : "whole", times[0], times[REPEATS / 2], processor[0], processor[REPEATS / 2]);
    view.zoomIn();
  }
  return 0;
}
