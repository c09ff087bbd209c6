// The pixel spans of 10^5 small polygons and of 10^5 short paths per frame,
// at the size the user sees (692 x 403), from the whole set in view to a
// close zoom: the cost the painters pay for shapes that are not
// rectangles. Prints processor milliseconds per frame, the median of a few
// frames.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "canvas/PolygonCoverage.h"
#include "model/PathOutline.h"

namespace {

const int CANVAS_W = 692, CANVAS_H = 403;  // the canvas of the window as it opens
const int SHAPES = 100000;                 // of each kind: the load a frame must bear cheaply
// The median of five frames: one slow frame (a page fault, another
// process) does not move it, and the run stays under a second.
const int FRAMES = 5;
// Shapes of 2 to 20 units spread over a square this wide: about as dense
// as the rectangles of canvas_bench's dense layout.
const int SPREAD = 8000;

// The thread's processor time: the work measured alone, whatever else the
// machine runs meanwhile.
double nowMs() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Triangles, quadrilaterals of any angle and 45-degree octagons.
Contours polygons(std::mt19937& random) {
  Contours all;
  for (int i = 0; i < SHAPES; i++) {
    int64_t x = random() % SPREAD, y = random() % SPREAD, s = 2 + random() % 19;
    switch (i % 3) {
      case 0: all.points.insert(all.points.end(), {{x, y}, {x + s, y + s / 3}, {x + s / 2, y + s}}); break;
      case 1: all.points.insert(all.points.end(), {{x, y}, {x + s, y + 1}, {x + s - 2, y + s}, {x + 1, y + s / 2}}); break;
      default: {
        int64_t c = s / 3;
        all.points.insert(all.points.end(), {{x + c, y}, {x + s - c, y}, {x + s, y + c}, {x + s, y + s - c},
                                             {x + s - c, y + s}, {x + c, y + s}, {x, y + s - c}, {x, y + c}});
      }
    }
    all.close();
  }
  return all;
}

std::vector<PathOutline> paths(std::mt19937& random, double& outlineMs) {
  std::vector<std::vector<Point>> lines(SHAPES);
  for (int i = 0; i < SHAPES; i++) {
    int32_t x = random() % SPREAD, y = random() % SPREAD, s = 2 + random() % 19;
    lines[i] = {{x, y}, {x + s, y}, {x + s, y + (i % 2 ? s : -s)}};
  }
  // Timed into one reused outline: the arithmetic, not the memory the
  // system hands out for keeping them all.
  PathOutline scratch;
  double start = nowMs();
  for (int i = 0; i < SHAPES; i++) pathOutline(lines[i].data(), 3, 1 + i % 4, i % 3, 0, 0, scratch);
  outlineMs = nowMs() - start;
  std::vector<PathOutline> out(SHAPES);
  for (int i = 0; i < SHAPES; i++) pathOutline(lines[i].data(), 3, 1 + i % 4, i % 3, 0, 0, out[i]);
  return out;
}

template <typename Cover> double frameMs(Cover cover, size_t& spans) {
  std::vector<double> times;
  std::vector<PixelSpan> out;
  for (int f = 0; f < FRAMES; f++) {
    out.clear();
    double start = nowMs();
    cover(out);
    times.push_back(nowMs() - start);
  }
  spans = out.size();
  std::sort(times.begin(), times.end());
  return times[FRAMES / 2];
}

}  // namespace

int main() {
  std::mt19937 random(1);
  Contours shapes = polygons(random);
  double outlineMs;
  std::vector<PathOutline> outlines = paths(random, outlineMs);
  std::printf("outlines of %d paths: %.1f ms\n", SHAPES, outlineMs);
  const float scales[] = {0.05f, 1.0f, 10.0f};
  for (float scale : scales) {
    ViewTransform view{0.3, 0.7, scale, CANVAS_W, CANVAS_H};
    PolygonCoverage coverage(view);
    size_t polygonSpans, pathSpans;
    double polygonMs = frameMs(
        [&](std::vector<PixelSpan>& out) {
          const FinePoint* p = shapes.points.data();
          for (uint32_t n : shapes.sizes) coverage.cover(p, &n, 1, 1, out), p += n;
        },
        polygonSpans);
    double pathMs = frameMs(
        [&](std::vector<PixelSpan>& out) {
          for (const PathOutline& o : outlines) coverage.cover(o.polygons, OUTLINE_UNITS_PER_UNIT, out);
        },
        pathSpans);
    std::printf("scale %5.2f: %d polygons %6.1f ms (%zu spans), %d path outlines %6.1f ms (%zu spans)\n", scale,
                SHAPES, polygonMs, polygonSpans, SHAPES, pathMs, pathSpans);
  }
  return 0;
}
