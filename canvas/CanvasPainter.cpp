#include "canvas/CanvasPainter.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <typeinfo>
#include <unordered_map>

#include "model/HugePages.h"
#include "model/Layer.h"
#include "model/MouseRect.h"

namespace {

const float CROSSHAIR_Z = 0.99f;
const float BAND_Z = 0.95f;
const float LAYER_STEP_Z = 0.005f;
const float SELECTION_Z = 0.01f;
const int FLOATS_PER_QUAD = 8;  // four corners in drawing order

// Load the view's projection and an identity model-view matrix.
void loadProjection(const ViewTransform& view) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluOrtho2D(view.left(), view.right(), view.bottom(), view.top());
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// The dash of selection outlines and of the selecting band: each bit of
// the pattern covers 4 pixels, on and off in turn, so 4 pixels drawn and 4
// left out, wide enough to read as dashes at any zoom.
const GLint DASH_REPEAT = 4;
const GLushort DASH_PATTERN = 0xAAAA;

// Every piece of OpenGL state the picture depends on, set at the start of
// each paint: a context keeps its defaults (no blending, no depth test)
// until someone sets them, and the first paint may come before the
// canvas's configure, so the painter trusts nothing it did not set.
void setCanvasState(const ViewTransform& view) {
  glViewport(0, 0, view.width, view.height);
  glDepthRange(0.0, 1.0);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glDepthMask(GL_TRUE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  const GLenum off[] = {GL_ALPHA_TEST, GL_STENCIL_TEST, GL_SCISSOR_TEST, GL_COLOR_LOGIC_OP,
                        GL_CULL_FACE, GL_LIGHTING, GL_FOG, GL_TEXTURE_2D, GL_LINE_SMOOTH,
                        GL_POLYGON_SMOOTH, GL_POLYGON_STIPPLE, GL_LINE_STIPPLE};
  for (GLenum cap : off) glDisable(cap);
  glLineStipple(DASH_REPEAT, DASH_PATTERN);
  glLineWidth(1.0f);
  glShadeModel(GL_FLAT);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClearDepth(1.0);
  loadProjection(view);
}

// Cleared colour and depth, projection.
void beginFrame(const ViewTransform& view) {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  loadProjection(view);
}

// Red lines through the pointer, ending at whole units; leaves line
// stipple disabled.
void drawCrosshair(const ViewTransform& view, const MouseRect& band) {
  glColor4ub(255, 0, 0, 255);
  glPushMatrix();
  glTranslatef(0.0f, 0.0f, CROSSHAIR_Z);
  glDisable(GL_LINE_STIPPLE);
  float cx = drawCoord(band.getCurX(), view.baseX()), cy = drawCoord(band.getCurY(), view.baseY());
  double left = view.left(), bottom = view.bottom();
  glBegin(GL_LINES);
  glVertex2d(left, cy);
  glVertex2d(left + (double)view.visibleWidth(), cy);
  glVertex2d(cx, bottom);
  glVertex2d(cx, bottom + (double)view.visibleHeight());
  glEnd();
  glPopMatrix();
}

void drawBand(const ViewTransform& view, MouseRect& band) {
  if (band.getMode() == 0) return;
  glColor4ub(0, 255, 0, 255);
  glPushMatrix();
  glTranslatef(0.0f, 0.0f, BAND_Z);
  band.draw(view.baseX(), view.baseY());
  glPopMatrix();
}

float layerDepth(int i) { return (float)i * LAYER_STEP_Z; }

}  // namespace

// Corners as OpenGL receives them, relative to the view's base (drawCoord);
// rounding is monotonic, so the order of the edges is kept.
struct CanvasPainter::DrawCorners {
  float x0, y0, x1, y1;
  DrawCorners(const Corners& c, int64_t bx, int64_t by)
      : x0(drawCoord(c.x0, bx)), y0(drawCoord(c.y0, by)), x1(drawCoord(c.x1, bx)),
        y1(drawCoord(c.y1, by)) {}
  DrawCorners(float ax, float ay, float bx, float by) : x0(ax), y0(ay), x1(bx), y1(by) {}
  float left() const { return std::min(x0, x1); }
  float right() const { return std::max(x0, x1); }
  float low() const { return std::min(y0, y1); }
  float high() const { return std::max(y0, y1); }
};

// Vertices of quads on their way to OpenGL, sent in batches of a fixed
// size so that the buffer stays small whatever the layer holds.
struct CanvasPainter::VertexBuffer {
  static const size_t QUADS = 4096;
  float data[QUADS * FLOATS_PER_QUAD];
  size_t size = 0;  // floats
  void push(const CanvasPainter::DrawCorners& c) {
    float* v = &data[size];
    v[0] = c.x0, v[1] = c.y0, v[2] = c.x1, v[3] = c.y0;
    v[4] = c.x1, v[5] = c.y1, v[6] = c.x0, v[7] = c.y1;
    size += FLOATS_PER_QUAD;
    if (size == QUADS * FLOATS_PER_QUAD) flush();
  }
  void flush() {
    if (size == 0) return;
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, data);
    glDrawArrays(GL_QUADS, 0, (GLsizei)(size / 2));
    glDisableClientState(GL_VERTEX_ARRAY);
    // Each batch goes to the rasteriser at once: llvmpipe then rasterises
    // while the next is set up, and reuses a small scene instead of
    // filling one of tens of megabytes that a first use touches afresh.
    glFlush();
    size = 0;
  }
};

namespace {


// Where drawing coordinates land in window pixels, with error margins wide
// enough to cover the float arithmetic of the OpenGL pipeline.
struct PixelMap {
  bool usable = false;
  int64_t baseX = 0, baseY = 0;
  double left = 0, bottom = 0, kx = 0, ky = 0;
  double fillMarginX = 0, fillMarginY = 0;  // sub-pixel: snapping, rounding
  double lineMarginX = 0, lineMarginY = 0;  // an outline reaches a pixel further
  double sureMarginX = 0, sureMarginY = 0;  // see SureFill
  int width = 0, height = 0;
};

PixelMap pixelMapFor(const ViewTransform& view, double snap = 1.0 / 16) {
  PixelMap m;
  m.width = view.width;
  m.height = view.height;
  m.baseX = view.baseX();
  m.baseY = view.baseY();
  m.left = view.left();
  m.bottom = view.bottom();
  m.kx = view.width / (view.right() - view.left());
  m.ky = view.height / (view.top() - view.bottom());
  m.usable = std::isfinite(m.kx) && std::isfinite(m.ky) && m.kx > 0 && m.ky > 0;
  // Single-precision transforms err by a few ulps of the largest term. For
  // an edge near the canvas that is at most the view's own extent in drawing
  // coordinates; 2^-18 of twice that is a generous bound. An edge far away
  // errs by far less than its distance and stays off the canvas.
  const double rel = std::ldexp(1.0, -18);
  double spanX = std::fabs(view.left()) + std::fabs(view.right());
  double spanY = std::fabs(view.bottom()) + std::fabs(view.top());
  m.fillMarginX = 1.0 / 16 + rel * 2 * spanX * m.kx;
  m.fillMarginY = 1.0 / 16 + rel * 2 * spanY * m.ky;
  m.lineMarginX = m.fillMarginX + 2.0;
  m.lineMarginY = m.fillMarginY + 2.0;
  // Where the painter settles pixels itself the bound is a tight one: an
  // on-canvas vertex passes through about eight roundings of at most 2^-24
  // of the view's extent in pixels (the projection's float edges, its two
  // entries, the product, the sum, the viewport's scale and offset, and the
  // vertex itself beyond 2^24). 2^-20 is twice that; the error measured
  // with llvmpipe stays under 2^-24.
  const double sureRel = std::ldexp(1.0, -20);
  m.sureMarginX = snap + sureRel * spanX * m.kx;
  m.sureMarginY = snap + sureRel * spanY * m.ky;
  return m;
}

// True when some pixel centre of 0..n-1 lies within [a - margin, b + margin].
inline bool spansPixelCentre(double a, double b, double margin, int n) {
  double lo = std::ceil(a - margin - 0.5), hi = std::floor(b + margin - 0.5);
  if (lo < 0) lo = 0;
  if (hi > n - 1) hi = n - 1;
  return lo <= hi;
}

// The pixel centres lo..hi (in window coordinates, lo > hi for none) that
// the span a..b covers for certain: false when the span leaves the canvas
// (clipping would add vertices) or an end lies within margin of a centre
// (only the rasteriser's snapping and tie rules decide there).
inline bool sureSpan(double a, double b, double margin, int n, int& lo, int& hi) {
  if (!(a >= 0 && b <= n)) return false;
  // Centre k lies at k + 0.5; the casts floor these numbers, all above -1.
  double ca = a - 0.5, cb = b - 0.5;
  int fa = (int)(ca + 1.0) - 1, fb = (int)(cb + 1.0) - 1;
  double ra = ca - fa, rb = cb - fb;
  if (ra <= margin || ra >= 1 - margin || rb <= margin || rb >= 1 - margin) return false;
  lo = fa + 1;
  hi = fb;
  return true;
}

// One axis of a box in view: the centres lo..hi it covers for certain, and
// the centre its low and high end lie too near to tell (-1: none). False
// when the span leaves the canvas.
struct AxisSpan {
  int lo, hi, nearLo, nearHi;
};
inline bool axisSpan(double a, double b, double margin, int n, AxisSpan& s) {
  if (!(a >= 0 && b <= n)) return false;
  double ca = a - 0.5, cb = b - 0.5;
  int fa = (int)(ca + 1.0) - 1, fb = (int)(cb + 1.0) - 1;
  double ra = ca - fa, rb = cb - fb;
  s.nearLo = ra <= margin ? fa : ra >= 1 - margin ? fa + 1 : -1;
  s.nearHi = rb <= margin ? fb : rb >= 1 - margin ? fb + 1 : -1;
  s.lo = s.nearLo >= 0 ? s.nearLo + 1 : fa + 1;
  s.hi = s.nearHi >= 0 ? s.nearHi - 1 : fb;
  if (s.nearLo >= n) s.nearLo = -1;
  if (s.nearHi >= n) s.nearHi = -1;
  return true;
}

inline bool overlapsCanvas(double a, double b, double margin, int n) {
  return b + margin >= 0 && a - margin <= n;
}

// Could a filled quad with these layout bounds put a fragment on the canvas?
inline bool fillVisible(const PixelMap& m, float x0, float y0, float x1, float y1) {
  return spansPixelCentre((x0 - m.left) * m.kx, (x1 - m.left) * m.kx, m.fillMarginX, m.width) &&
         spansPixelCentre((y0 - m.bottom) * m.ky, (y1 - m.bottom) * m.ky, m.fillMarginY, m.height);
}

// Could an outline with these layout bounds put a fragment on the canvas?
inline bool lineVisible(const PixelMap& m, float x0, float y0, float x1, float y1) {
  return overlapsCanvas((x0 - m.left) * m.kx, (x1 - m.left) * m.kx, m.lineMarginX, m.width) &&
         overlapsCanvas((y0 - m.bottom) * m.ky, (y1 - m.bottom) * m.ky, m.lineMarginY, m.height);
}

}  // namespace

// One layer's objects as OpenGL sees them: one copy of every object's
// corners in list order, the boxes among them sorted into a grid of tiles
// for culling, objects appended since then in an unsorted tail. Objects
// that are not boxes are drawn by their own draw.
struct CanvasPainter::LayerCache {
  struct Tile {
    uint32_t begin = 0, end = 0;  // into order
    Corners bounds{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  };
  struct Other {
    uint32_t position;
    GroupNode* node;
  };
  // What an update found, for the layer's coverage masks.
  enum Change { SAME, SELECTION, APPENDED, REBUILT };

  const Layer* layer = nullptr;
  uint64_t revision = 0;
  int32_t enabled = -1;
  BigVector<Corners> corners;
  enum { OTHER = 1, SELECTED = 2 };  // flags
  BigVector<uint8_t> flags;
  bool isOther(uint32_t i) const { return flags[i] & OTHER; }
  std::vector<Other> others;
  std::vector<uint32_t> selectedBoxes;  // positions, unless allBoxesSelected
  std::vector<GroupNode*> selectedOthers;
  // Every box is selected (after Select All): selectedBoxes is left empty
  // rather than filled with every position.
  bool allBoxesSelected = false;
  BigVector<uint32_t> order;            // positions of boxes, by tile
  uint32_t sortedCount = 0;             // positions below are in the tiles
  uint32_t appendedFrom = 0;            // after APPENDED: the first new one
  std::vector<Tile> tiles;

  // Whether the cache shows the layer as it is.
  bool isCurrent(const Layer& l) const { return layer == &l && revision == l.getRevision(); }
  // Bring the cache to the layer's content in one pass: begin, feed the
  // objects in list order (in pieces), finish. The objects that match the
  // cache are only checked; from the first that does not, they are copied.
  void begin(const Layer& l);
  void feed(GroupNode* const* nodes, uint32_t count);
  Change finish();
  // Follow the layer's record of its changes when it starts at this cache's
  // revision: flip the recorded flags, or take the appended objects. False
  // when the record does not apply; begin, feed and finish then.
  bool follow(Layer& l, Change& change);
  // Sort the boxes into the tiles; until then they are read in list order.
  void sortTiles();
  bool unsorted = false;

private:
  bool followAppended(Layer& l, Change& change);
  void truncate(uint32_t count);
  void take(GroupNode* node, uint32_t position);

  uint32_t fed = 0, keptCount = 0;
  size_t nextOther = 0;
  bool diverged = false, selectionChanged = false;
};

void CanvasPainter::LayerCache::take(GroupNode* node, uint32_t position) {
  bool isOther = typeid(*node) != typeid(Box), sel = node->isSelected() != 0;
  corners.push_back(cornersOf(*node));
  flags.push_back((isOther ? OTHER : 0) | (sel ? SELECTED : 0));
  if (isOther) others.push_back({position, node});
  if (sel && isOther) selectedOthers.push_back(node);
  if (sel && !isOther) selectedBoxes.push_back(position);
}

void CanvasPainter::LayerCache::truncate(uint32_t count) {
  corners.resize(count);
  flags.resize(count);
  while (!others.empty() && others.back().position >= count) others.pop_back();
  diverged = true;
}

void CanvasPainter::LayerCache::begin(const Layer& l) {
  bool same = layer == &l && enabled == l.isEnabled();
  layer = &l;
  enabled = l.isEnabled();
  diverged = selectionChanged = false;
  if (!same) truncate(0);
  keptCount = (uint32_t)corners.size();
  fed = 0;
  nextOther = 0;
  selectedBoxes.clear();
  selectedOthers.clear();
  allBoxesSelected = false;
  corners.reserve(l.size());
  flags.reserve(l.size());
}

// Appended objects come with their corners, and the few that are not
// Boxes with their nodes: no walk of the list. A record of the whole
// content replaces the cache's; the corners of a file just read are taken
// over, not copied.
bool CanvasPainter::LayerCache::followAppended(Layer& l, Change& change) {
  const Layer::ChangeRecord& r = l.lastChanges();
  if (r.cornersTaken) return false;
  const size_t from = r.appendedFrom, n = r.corners.size();
  bool partOf = layer == &l && enabled == l.isEnabled() && revision != 0 && r.since <= revision &&
                corners.size() >= from && corners.size() <= from + n;
  if (from + n != l.size() || (from > 0 && !partOf)) return false;
  if (!partOf) {
    layer = &l;
    enabled = l.isEnabled();
    truncate(0);
    selectedBoxes.clear();
    selectedOthers.clear();
  } else {
    diverged = false;
  }
  if (allBoxesSelected) {  // the appended boxes may not be selected
    for (uint32_t p = 0; p < (uint32_t)corners.size(); p++)
      if (!isOther(p)) selectedBoxes.push_back(p);
    allBoxesSelected = false;
  }
  const uint32_t skip = (uint32_t)(corners.size() - from), base = (uint32_t)from;
  keptCount = (uint32_t)corners.size();
  selectionChanged = false;
  flags.reserve(from + n + (from + n) / 64);
  flags.resize(from + n, 0);
  for (const auto& o : r.notBoxes) {
    if (o.position < skip) continue;
    flags[base + o.position] |= OTHER;
    others.push_back({base + o.position, o.node});
  }
  for (uint32_t p : r.selected) {
    if (p < skip) continue;
    flags[base + p] |= SELECTED;
    if (!(flags[base + p] & OTHER)) selectedBoxes.push_back(base + p);
  }
  for (const auto& o : r.notBoxes)
    if (o.position >= skip && (flags[base + o.position] & SELECTED)) selectedOthers.push_back(o.node);
  if (corners.empty()) {
    corners = l.takeAppendedCorners();
    // The record grew by doubling: give back what it holds spare.
    if (corners.capacity() > corners.size() + corners.size() / 8) corners.shrink_to_fit();
  } else
    corners.insert(corners.end(), r.corners.begin() + skip, r.corners.end());
  fed = (uint32_t)corners.size();
  change = finish();
  return true;
}

bool CanvasPainter::LayerCache::follow(Layer& l, Change& change) {
  const Layer::ChangeRecord& r = l.lastChanges();
  if (r.kind == Layer::ChangeRecord::APPENDED) return followAppended(l, change);
  if (layer != &l || enabled != l.isEnabled() || r.kind == Layer::ChangeRecord::OTHER ||
      r.since != revision || revision == 0)
    return false;
  if (r.kind == Layer::ChangeRecord::APPENDED) return followAppended(l, change);
  if (r.uniform >= 0)
    for (uint8_t& f : flags) f = (uint8_t)(r.uniform ? f | SELECTED : f & ~SELECTED);
  for (uint32_t p : r.flipped) {
    if (p >= flags.size()) return false;
    flags[p] ^= SELECTED;
  }
  selectedBoxes.clear();
  selectedOthers.clear();
  allBoxesSelected = r.uniform == 1 && r.flipped.empty();
  if (allBoxesSelected)
    for (const Other& other : others) selectedOthers.push_back(other.node);
  size_t o = 0;
  for (uint32_t p = 0; p < (uint32_t)flags.size() && !allBoxesSelected; p++) {
    if (!(flags[p] & SELECTED)) continue;
    if (!(flags[p] & OTHER)) {
      selectedBoxes.push_back(p);
      continue;
    }
    while (others[o].position < p) ++o;
    selectedOthers.push_back(others[o].node);
  }
  revision = l.getRevision();
  change = SELECTION;
  return true;
}

// Prefetch this many nodes ahead: each is usually a cache miss of its own.
const uint32_t PREFETCH = 16;

void CanvasPainter::LayerCache::feed(GroupNode* const* nodes, uint32_t count) {
  for (uint32_t j = 0; j < count; j++) {
    if (j + PREFETCH < count) __builtin_prefetch(nodes[j + PREFETCH]);
    GroupNode* node = nodes[j];
    uint32_t k = fed + j;
    if (k < corners.size()) {
      bool isOther = typeid(*node) != typeid(Box), sel = node->isSelected() != 0;
      if (cornersOf(*node) != corners[k] || isOther != this->isOther(k) ||
          (isOther && others[nextOther++].node != node)) {
        truncate(k);
        take(node, k);
        continue;
      }
      if (sel != ((flags[k] & SELECTED) != 0)) flags[k] ^= SELECTED, selectionChanged = true;
      if (sel && isOther) selectedOthers.push_back(node);
      if (sel && !isOther) selectedBoxes.push_back(k);
    } else {
      take(node, k);
    }
  }
  fed += count;
}

CanvasPainter::LayerCache::Change CanvasPainter::LayerCache::finish() {
  if (fed < corners.size()) truncate(fed);
  revision = layer->getRevision();
  if (diverged) {
    // Sorted when a view first culls (CanvasPainter::sortWhereCulled): a
    // view of the whole layer reads it in list order anyway.
    tiles.clear();
    BigVector<uint32_t>().swap(order);
    sortedCount = 0;
    unsorted = true;
    appendedFrom = 0;
    return REBUILT;
  }
  if (fed > keptCount) {
    appendedFrom = keptCount;
    return APPENDED;
  }
  return selectionChanged ? SELECTION : SAME;
}

// A counting sort of the boxes by the tile of their lower-left corner.
void CanvasPainter::LayerCache::sortTiles() {
  unsorted = false;
  uint32_t k = (uint32_t)corners.size();
  sortedCount = k;
  int32_t minX = INT32_MAX, minY = INT32_MAX, maxX = INT32_MIN, maxY = INT32_MIN;
  size_t boxes = 0;
  for (uint32_t i = 0; i < k; i++) {
    if (isOther(i)) continue;
    const Corners& c = corners[i];
    minX = std::min(minX, c.left());
    maxX = std::max(maxX, c.right());
    minY = std::min(minY, c.low());
    maxY = std::max(maxY, c.high());
    boxes++;
  }
  int grid = std::max(1, std::min((int)std::sqrt(boxes / 64.0), 128));
  double cellW = ((double)maxX - minX) / grid, cellH = ((double)maxY - minY) / grid;
  if (!(cellW > 0)) cellW = 1;
  if (!(cellH > 0)) cellH = 1;
  double perW = 1 / cellW, perH = 1 / cellH;
  auto tileFor = [&](const Corners& c) {
    int tx = std::min(grid - 1, std::max(0, (int)((c.left() - (double)minX) * perW)));
    int ty = std::min(grid - 1, std::max(0, (int)((c.low() - (double)minY) * perH)));
    return (uint32_t)(ty * grid + tx);
  };
  tiles.assign(boxes ? (size_t)grid * grid : 0, Tile());
  std::vector<uint32_t> count(tiles.size() + 1, 0);
  for (uint32_t i = 0; i < k; i++) {
    if (isOther(i)) continue;
    const Corners& c = corners[i];
    uint32_t t = tileFor(c);
    count[t + 1]++;
    Corners& b = tiles[t].bounds;
    b.x0 = std::min(b.x0, c.left());
    b.x1 = std::max(b.x1, c.right());
    b.y0 = std::min(b.y0, c.low());
    b.y1 = std::max(b.y1, c.high());
  }
  for (size_t t = 0; t < tiles.size(); t++) {
    count[t + 1] += count[t];
    tiles[t].begin = tiles[t].end = count[t];
  }
  order.assign(boxes, 0);
  if (order.capacity() > 2 * boxes) order.shrink_to_fit();
  if (corners.capacity() > 2 * (size_t)k) {
    corners.shrink_to_fit();
    flags.shrink_to_fit();
  }
  for (uint32_t i = 0; i < k; i++)
    if (!isOther(i)) order[tiles[tileFor(corners[i])].end++] = i;
}

// A box waiting for the rasteriser's decision at its edges near centres:
// the spans of its axes (pixel numbers fit in 16 bits: X windows are
// smaller than 32768 pixels).
struct CanvasPainter::EdgeBox {
  float lo, hi;         // the near axis's edges, in drawing coordinates
  uint32_t position;    // in its layer's cache
  int16_t first, last;  // the near axis's centres covered for certain
  int16_t nearLo, nearHi;  // the centres its edges lie near (-1: none)
  int16_t otherFirst, otherLast;  // the other axis's, all certain
  uint8_t layer;
  bool alongY;  // the near axis is Y
};

namespace {

void drawNode(GroupNode* node, const PixelMap& map) {
  CanvasPainter::DrawCorners c(cornersOf(*node), map.baseX, map.baseY);
  if (!map.usable || lineVisible(map, c.left(), c.low(), c.right(), c.high()))
    node->draw(map.baseX, map.baseY);
}

// The objects that are not boxes, from list position from on, without
// stipple. Opts go in one batch of the segments Opt::draw draws: the four
// sides of their outline and the two diagonals.
void drawOthers(const CanvasPainter::LayerCache& cache, uint32_t from, const PixelMap& map) {
  std::vector<float> lines;
  for (const auto& o : cache.others) {
    if (o.position < from) continue;
    if (typeid(*o.node) != typeid(Opt)) {
      drawNode(o.node, map);
      continue;
    }
    CanvasPainter::DrawCorners c(cache.corners[o.position], map.baseX, map.baseY);
    if (map.usable && !lineVisible(map, c.left(), c.low(), c.right(), c.high())) continue;
    const float v[] = {c.x0, c.y0, c.x1, c.y0, c.x1, c.y0, c.x1, c.y1, c.x1, c.y1, c.x0, c.y1,
                       c.x0, c.y1, c.x0, c.y0, c.x0, c.y0, c.x1, c.y1, c.x1, c.y0, c.x0, c.y1};
    lines.insert(lines.end(), v, v + 24);
  }
  if (lines.empty()) return;
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, lines.data());
  glDrawArrays(GL_LINES, 0, (GLsizei)(lines.size() / 2));
  glDisableClientState(GL_VERTEX_ARRAY);
}

// Where each whole-unit coordinate lands among the pixel centres of one
// axis, for the span of the layers' coordinates when that is small beside
// the number of boxes (a layout shown whole): an entry holds the centre
// below the coordinate and whether the coordinate is in the canvas and
// clear of the centres, computed exactly as sureSpan computes them, so a
// box's four entries give sureSpan's answer without its arithmetic.
struct EdgeTable {
  enum { FROM_LEFT = 1, TO_RIGHT = 2, NEAR = 4, SHIFT = 3 };
  int64_t xFirst = 0, yFirst = 0;
  std::vector<int32_t> xs, ys;

  static void fill(std::vector<int32_t>& entries, int64_t first, int64_t base, double origin, double k,
                   double margin, int n) {
    for (size_t i = 0; i < entries.size(); i++) {
      double a = ((double)drawCoord((int32_t)(first + (int64_t)i), base) - origin) * k;
      int32_t e = (a >= 0 ? FROM_LEFT : 0) | (a <= n ? TO_RIGHT : 0);
      if (a >= 0 && a <= n) {  // as sureSpan
        double ca = a - 0.5;
        int fa = (int)(ca + 1.0) - 1;
        double ra = ca - fa;
        e |= (ra <= margin || ra >= 1 - margin ? NEAR : 0) | (int32_t)((uint32_t)fa << SHIFT);
      }
      entries[i] = e;
    }
  }
  // Built where the spans hold at most an eighth as many coordinates as
  // there are boxes; empty otherwise.
  EdgeTable(const PixelMap& m, const Rect& bounds, size_t boxes) {
    int64_t w = (int64_t)(uint32_t)bounds.w + 1, h = (int64_t)(uint32_t)bounds.h + 1;
    if (!m.usable || (size_t)(w + h) > boxes / 8) return;
    xFirst = bounds.x, yFirst = bounds.y;
    xs.resize((size_t)w), ys.resize((size_t)h);
    fill(xs, xFirst, m.baseX, m.left, m.kx, m.sureMarginX, m.width);
    fill(ys, yFirst, m.baseY, m.bottom, m.ky, m.sureMarginY, m.height);
  }
  // sureSpan on both axes of a box, when its coordinates are in the table.
  bool sure(const ObjectCorners& c, int& x0, int& x1, int& y0, int& y1) const {
    uint64_t l = (uint64_t)((int64_t)c.left() - xFirst), r = (uint64_t)((int64_t)c.right() - xFirst);
    uint64_t b = (uint64_t)((int64_t)c.low() - yFirst), t = (uint64_t)((int64_t)c.high() - yFirst);
    if (r >= xs.size() || l >= xs.size() || t >= ys.size() || b >= ys.size()) return false;
    int32_t el = xs[l], er = xs[r], eb = ys[b], et = ys[t];
    if (!(el & eb & FROM_LEFT) || !(er & et & TO_RIGHT) || ((el | er | eb | et) & NEAR)) return false;
    x0 = (el >> SHIFT) + 1, x1 = er >> SHIFT, y0 = (eb >> SHIFT) + 1, y1 = et >> SHIFT;
    return true;
  }
};

// Where a mask pass sets the bits of filled boxes whose pixels are certain
// itself (most boxes at a whole view: one pixel each), leaving OpenGL only
// the boxes whose edges pass near a pixel centre. Rows from the bottom.
struct SureFill {
  uint16_t* plane = nullptr;  // the fill bits of layers 0 to 13 per pixel
  bool* touched = nullptr;
  BigVector<CanvasPainter::EdgeBox>* pending = nullptr;
  int layer = 0;
  const EdgeTable* table = nullptr;
};

// The objects of a layer from list position from on, in the current colour
// and polygon mode: filled boxes that can cover a pixel centre, or outlines
// that can reach the canvas.
template <typename Visible, typename Out>
void drawObjects(const CanvasPainter::LayerCache& cache, uint32_t from, const PixelMap& map,
                 Visible visible, Out& out, SureFill sure = SureFill(), bool withOthers = true) {
  const uint16_t bit = (uint16_t)(1u << sure.layer);
  auto send = [&](uint32_t position) __attribute__((always_inline)) {
    int x0, x1, y0, y1;
    auto setPixels = [&] {
      for (int y = y0; y <= y1; y++) {
        uint16_t* row = sure.plane + (size_t)y * map.width;
        for (int x = x0; x <= x1; x++) row[x] |= bit;
      }
      *sure.touched = true;
    };
    if (sure.table && sure.table->sure(cache.corners[position], x0, x1, y0, y1)) {
      setPixels();
      return;
    }
    CanvasPainter::DrawCorners c(cache.corners[position], map.baseX, map.baseY);
    if (sure.plane && map.usable &&
        sureSpan((c.left() - map.left) * map.kx, (c.right() - map.left) * map.kx, map.sureMarginX,
                 map.width, x0, x1) &&
        sureSpan((c.low() - map.bottom) * map.ky, (c.high() - map.bottom) * map.ky,
                 map.sureMarginY, map.height, y0, y1)) {
      setPixels();
      return;
    }
    // A box with its edges near centres on one axis only: the rasteriser's
    // decision at each such edge depends on that edge's coordinate alone,
    // and is asked once per coordinate (CanvasPainter::resolveEdges).
    AxisSpan sx, sy;
    if (sure.pending && map.usable && c.x0 < c.x1 && c.y0 < c.y1 &&
        axisSpan((c.x0 - map.left) * map.kx, (c.x1 - map.left) * map.kx, map.sureMarginX,
                 map.width, sx) &&
        axisSpan((c.y0 - map.bottom) * map.ky, (c.y1 - map.bottom) * map.ky, map.sureMarginY,
                 map.height, sy)) {
      bool nearX = sx.nearLo >= 0 || sx.nearHi >= 0, nearY = sy.nearLo >= 0 || sy.nearHi >= 0;
      if (nearX != nearY) {
        const AxisSpan& near = nearX ? sx : sy;
        const AxisSpan& other = nearX ? sy : sx;
        sure.pending->push_back({nearX ? c.x0 : c.y0, nearX ? c.x1 : c.y1, position, (int16_t)near.lo,
                                 (int16_t)near.hi, (int16_t)near.nearLo, (int16_t)near.nearHi,
                                 (int16_t)other.lo, (int16_t)other.hi, (uint8_t)sure.layer, !nearX});
        return;
      }
    }
    if (!map.usable || visible(map, c.left(), c.low(), c.right(), c.high())) out.push(c);
  };
  // With every tile in view, list order reads the corners front to back.
  bool allTiles = true;
  for (size_t t = 0; t < cache.tiles.size() && allTiles && from == 0; t++) {
    const auto& tile = cache.tiles[t];
    CanvasPainter::DrawCorners b(tile.bounds, map.baseX, map.baseY);
    allTiles = tile.begin == tile.end || !map.usable || lineVisible(map, b.x0, b.y0, b.x1, b.y1);
  }
  if (from == 0 && !allTiles) {
    for (const auto& tile : cache.tiles) {
      if (tile.begin == tile.end) continue;
      CanvasPainter::DrawCorners t(tile.bounds, map.baseX, map.baseY);
      if (map.usable && !lineVisible(map, t.x0, t.y0, t.x1, t.y1)) continue;
      // A tile's boxes lie all over the layer's corners: fetch ahead.
      for (uint32_t i = tile.begin; i < tile.end; i++) {
        if (i + PREFETCH < tile.end) __builtin_prefetch(&cache.corners[cache.order[i + PREFETCH]]);
        send(cache.order[i]);
      }
    }
  }
  uint32_t first = from == 0 && allTiles ? 0 : std::max(from, cache.sortedCount);
  for (uint32_t p = first; p < cache.corners.size(); p++)
    if (!cache.isOther(p)) send(p);
  out.flush();
  if (withOthers) drawOthers(cache, from, map);
}

// Quads kept for OpenGL instead of sent: what a second thread gives the
// thread that owns the context.
struct QuadList {
  std::vector<CanvasPainter::DrawCorners> quads;
  void push(const CanvasPainter::DrawCorners& c) { quads.push_back(c); }
  void flush() {}
};

// What Layer::draw draws in the layer's colour: objects filled while the
// layer is enabled, outlined while not. The caller sets the colour.
void drawFill(const Layer& layer, const CanvasPainter::LayerCache& cache, uint32_t from,
              const PixelMap& map, CanvasPainter::VertexBuffer& out, SureFill sure = SureFill()) {
  bool enabled = layer.isEnabled() != 0;
  glPolygonMode(GL_FRONT_AND_BACK, enabled ? GL_FILL : GL_LINE);
  if (enabled)
    drawObjects(cache, from, map, fillVisible, out, sure);
  else
    drawObjects(cache, from, map, lineVisible, out);
}

// The dashed outlines of the selected objects of an enabled layer, in the
// current colour. With skipDots, boxes narrower and lower than a pixel are
// left out: see Composer::llvmpipe.
void drawSelection(const Layer& layer, const CanvasPainter::LayerCache& cache, const PixelMap& map,
                   CanvasPainter::VertexBuffer& out, bool skipDots = false) {
  if (!layer.isEnabled()) return;
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glEnable(GL_LINE_STIPPLE);
  double maxW = (1 - map.sureMarginX) / map.kx, maxH = (1 - map.sureMarginY) / map.ky;
  auto outline = [&](uint32_t p) {
    CanvasPainter::DrawCorners c(cache.corners[p], map.baseX, map.baseY);
    if (map.usable && skipDots && c.right() - c.left() < maxW && c.high() - c.low() < maxH) return;
    if (!map.usable || lineVisible(map, c.left(), c.low(), c.right(), c.high())) out.push(c);
  };
  if (cache.allBoxesSelected) {
    for (uint32_t p = 0; p < (uint32_t)cache.corners.size(); p++)
      if (!cache.isOther(p)) outline(p);
  } else {
    for (uint32_t p : cache.selectedBoxes) outline(p);
  }
  out.flush();
  for (GroupNode* node : cache.selectedOthers) drawNode(node, map);
}

void setColor(uint32_t color) {
  glColor4ub(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF, (color >> 24) & 0xFF);
}

const uint32_t WHITE = 0xFFFFFFFFu;

// The same picture as Layer::draw, from the layer's cache.
void drawLayerFast(const Layer& layer, const CanvasPainter::LayerCache& cache,
                   const ViewTransform& view, CanvasPainter::VertexBuffer& scratch) {
  if (layer.first() == nullptr) return;
  PixelMap map = pixelMapFor(view);
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_STIPPLE_BIT | GL_POLYGON_BIT | GL_LINE_BIT);
  setColor(layer.getColor());
  drawFill(layer, cache, 0, map, scratch);
  setColor(WHITE);
  glPushMatrix();
  glTranslatef(0.0f, 0.0f, SELECTION_Z);
  drawSelection(layer, cache, map, scratch);
  glPopMatrix();
  glPopAttrib();
}

}  // namespace

bool CanvasPainter::ImageKey::operator==(const ImageKey& o) const {
  if (!(view == o.view)) return false;
  for (int i = 0; i < LAYER_COUNT; i++)
    if (revisions[i] != o.revisions[i]) return false;
  return true;
}

namespace {

// The OpenGL state a learned blend table and depths hold for.
struct BlendState {
  GLboolean enabled = GL_FALSE, dither = GL_FALSE;
  GLint source = 0, destination = 0, depthFunc = 0;
  GLfloat depthRange[2] = {0, 0};
  static BlendState current() {
    BlendState s;
    s.enabled = glIsEnabled(GL_BLEND);
    s.dither = glIsEnabled(GL_DITHER);
    glGetIntegerv(GL_BLEND_SRC, &s.source);
    glGetIntegerv(GL_BLEND_DST, &s.destination);
    glGetIntegerv(GL_DEPTH_FUNC, &s.depthFunc);
    glGetFloatv(GL_DEPTH_RANGE, s.depthRange);
    return s;
  }
  bool operator==(const BlendState& o) const {
    return enabled == o.enabled && dither == o.dither && source == o.source &&
           destination == o.destination && depthFunc == o.depthFunc &&
           depthRange[0] == o.depthRange[0] && depthRange[1] == o.depthRange[1];
  }
};

}  // namespace

// How a kept picture is composed from coverage masks. The layers share one
// colour per layer and one depth per layer and kind (fill, selection), and
// the depth test (GL_LESS) lets only the first fragment of one depth through
// at a pixel, so a pixel's colour follows from which layers cover it: fold
// the layers in drawing order, each blending its colour over the pixel when
// its depth is nearer than the one stored. The masks are drawn by OpenGL
// itself (each layer one bit of the colour, combined with a logical OR), so
// the coverage is the rasteriser's own; the blend results and depths are
// read back from OpenGL too. A change then redraws only the masks of the
// layers it touched: a selection change only that layer's outlines, an
// added object only itself.
struct CanvasPainter::Composer {
  // Blend results: for each layer's colour (and white, last), each channel
  // and each byte already in the frame, the byte OpenGL writes; learned
  // for these colours under this blending and depth state, and learned
  // again when either differs.
  uint8_t blend[LAYER_COUNT + 1][4][256];
  uint32_t learnedColors[LAYER_COUNT] = {};
  BlendState learnedState;
  bool learned = false;
  uint32_t fillDepth[LAYER_COUNT] = {}, selectionDepth[LAYER_COUNT] = {};
  int supported = -1;  // the frame buffer holds the bits: unknown, 0, 1
  // The outline of a box less than a pixel wide and high draws nothing:
  // llvmpipe restarts the stipple count with every polygon and advances it
  // once per pixel step of an edge, at most once per edge here, and the
  // pattern's first bit (repeat 4 times or more) is off.
  bool llvmpipe = false;
  // How far the rasteriser may move a vertex, in pixels: llvmpipe rounds to
  // the nearest 1/256 pixel, so at most 1/512 (an edge that far from a
  // centre may land on it, and then the tie rule decides); others get the
  // generous 1/16.
  double snap = 1.0 / 16;

  // Per pixel: bit i covered by layer i's fill, bit 16 + i by its selection.
  BigVector<uint32_t> bits;
  BigVector<uint8_t> pixels;  // read back, then the composed image
  BigVector<uint16_t> plane;  // certain fill pixels, all zero between passes
  BigVector<uint16_t> theirPlane;  // the same for the second thread of drawMasks
  BigVector<EdgeBox> pending;  // boxes that wait for resolveEdges
  bool valid = false;
  ViewKey view;  // of the masks
};

namespace {

const uint32_t SELECTION_SHIFT = 16;

// Layer i's bit as a colour: red bits for layers 0 to 7, green for 8 to 13.
void setBitColor(int i) { glColor4ub(i < 8 ? 1 << i : 0, i < 8 ? 0 : 1 << (i - 8), 0, 0); }

void pixelProjection(int w, int h) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, w, 0, h, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// A quad over pixels x0..x1-1 of row y.
void pixelRow(int x0, int x1, int y) {
  glBegin(GL_QUADS);
  glVertex2i(x0, y);
  glVertex2i(x1, y);
  glVertex2i(x1, y + 1);
  glVertex2i(x0, y + 1);
  glEnd();
}

}  // namespace

CanvasPainter::CanvasPainter()
    : caches(new LayerCache[LAYER_COUNT]), vertices(new VertexBuffer), composer(new Composer) {}

CanvasPainter::~CanvasPainter() {
  delete[] caches;
  delete vertices;
  delete composer;
}

void CanvasPainter::invalidate() {
  imageValid = false;
  composer->valid = false;
  for (int i = 0; i < LAYER_COUNT; i++) caches[i] = LayerCache();
}

void CanvasPainter::releaseGL() {
  if (texture && glIsTexture(texture)) glDeleteTextures(1, &texture);
  texture = 0;
  textureW = textureH = 0;
  invalidate();
  delete composer;
  composer = new Composer;
  checked = false;
}

void CanvasPainter::spoilCompositionForTest() {
  spoiled = true;
  checked = false;
  composer->learned = false;
  invalidate();
}

void CanvasPainter::forgetPicture() {
  imageValid = false;
  composer->valid = false;
}

void CanvasPainter::paint(const ViewTransform& view, Layer layers[LAYER_COUNT], MouseRect& band) {
  setCanvasState(view);
  if (!reference && !checked) checkFastPath(view, layers);
  if (reference || !trusted)
    paintReference(view, layers, band);
  else
    paintFast(view, layers, band);
}

// Crosshair and band first, then the layers.
void CanvasPainter::paintReference(const ViewTransform& view, Layer layers[LAYER_COUNT],
                                   MouseRect& band) {
  beginFrame(view);
  drawCrosshair(view, band);
  drawBand(view, band);
  drawPicturePlain(view, layers);
  ++layerRenders;
}

// The layers back to front, each object in immediate mode.
void CanvasPainter::drawPicturePlain(const ViewTransform& view, Layer layers[LAYER_COUNT]) {
  for (int i = 0; i < LAYER_COUNT; i++) {
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, layerDepth(i));
    layers[i].draw(view.baseX(), view.baseY());
    glPopMatrix();
  }
}

// The layers' picture composed from the masks, or drawn from the caches
// where the frame buffer cannot hold the masks; kept either way.
void CanvasPainter::drawPictureFast(const ViewTransform& view, Layer layers[LAYER_COUNT]) {
  if (composeLayers(view, layers)) {
    restoreImage(view);
    return;
  }
  beginFrame(view);
  glDisable(GL_LINE_STIPPLE);
  drawLayersFast(view, layers);
  keepImage(view);
}

namespace {

// The view of the test scene: 1.7 pixels a unit from a fractional origin,
// so that edges fall both between and near pixel centres, and the largest
// boxes (400 units) leave the canvas on the right and at the top.
const double CHECK_ORIGIN = -3.3;
const float CHECK_SCALE = 1.7f;

// The frame being drawn, as OpenGL holds it.
std::vector<uint8_t> readFrame(const ViewTransform& view) {
  GLint drawBuffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
  glReadBuffer((GLenum)drawBuffer);
  std::vector<uint8_t> pixels((size_t)std::max(view.width, 0) * std::max(view.height, 0) * 4);
  glReadPixels(0, 0, view.width, view.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

}  // namespace

// The fast path proves itself where it runs: the first paint draws a small
// scene with every kind of object, overlapping in every order, both ways,
// and keeps the fast path only when every pixel agrees. The software
// rasteriser also compiles code for each combination of states the first
// time it draws with it, tens of milliseconds each, so the first frame of a
// file opened later does not pay for it. The frame is cleared and drawn for
// real afterwards.
void CanvasPainter::checkFastPath(const ViewTransform& view, Layer layers[LAYER_COUNT]) {
  checked = true;
  ViewTransform probe = view;
  probe.originX = probe.originY = CHECK_ORIGIN;
  probe.scale = CHECK_SCALE;
  Layer scene[LAYER_COUNT];
  for (int i = 0; i < LAYER_COUNT; i++) {
    scene[i].setColor(layers[i].getColor());
    scene[i].enable();
    for (int k = 0; k < 3; k++) {
      GroupNode* node = i == LAYER_OPTIONS && k == 2 ? static_cast<GroupNode*>(new Opt)
                                                     : static_cast<GroupNode*>(new Box);
      int32_t size = k == 0 ? 1 : 400;
      node->setRect(7 * k + i, 5 * k + i, size, size / 2 + 1);
      if (k > 0) node->select();
      scene[i].apply(OP_ADD, MATCH_ALL, node);
    }
  }
  drawPictureFast(probe, scene);
  std::vector<uint8_t> fast = readFrame(probe);
  beginFrame(probe);
  drawPicturePlain(probe, scene);
  trusted = readFrame(probe) == fast;
  if (!trusted)
    std::fprintf(stderr, "kivo: the fast painter's test picture differs from the plain one on this "
                         "display; painting plainly\n");
  // The second thread's plane too, so that the first large frame does not
  // wait for its memory.
  size_t n = (size_t)std::max(view.width, 0) * (size_t)std::max(view.height, 0);
  composer->theirPlane.assign(n, 0);
  for (int i = 0; i < LAYER_COUNT; i++) caches[i] = LayerCache();
  imageValid = false;
  composer->valid = false;
  setCanvasState(view);
}

// The layers from the kept picture when nothing they depend on changed,
// else drawn again and kept; then crosshair and band over them. Both are
// opaque and nearer than any layer, so the order gives the reference's
// pixels.
void CanvasPainter::paintFast(const ViewTransform& view, Layer layers[LAYER_COUNT],
                              MouseRect& band) {
  ImageKey key;
  key.view = ViewKey(view, layers);
  for (int i = 0; i < LAYER_COUNT; i++) key.revisions[i] = layers[i].getRevision();

  if (imageValid && key == imageKey) {
    restoreImage(view);
  } else {
    drawPictureFast(view, layers);
    imageKey = key;
    ++layerRenders;
  }
  drawCrosshair(view, band);
  drawBand(view, band);
}

namespace {

// The layers a second thread takes: whole ones, about half of the work
// (work[i] per layer, 0 where there is none), none when there is too little
// to share. Returns how much it takes.
size_t shareLayers(const size_t work[LAYER_COUNT], bool theirs[LAYER_COUNT]) {
  const size_t SHARED_FROM = 200000;
  size_t total = 0, given = 0;
  for (int i = 0; i < LAYER_COUNT; i++) total += work[i];
  for (int i = 0; i < LAYER_COUNT && total >= SHARED_FROM; i++) {
    if (work[i] == 0 || 2 * (given + work[i]) > total + work[i]) continue;
    theirs[i] = true;
    given += work[i];
  }
  return given;
}

}  // namespace

// Sort the layers that this view does not hold whole: culling pays there.
// Many boxes are shared with a second thread, whole layers each.
void CanvasPainter::sortWhereCulled(const ViewTransform& view, Layer layers[LAYER_COUNT]) {
  double left = view.originX, bottom = view.originY;
  double right = left + view.width / (double)view.scale, top = bottom + view.height / (double)view.scale;
  bool sort[LAYER_COUNT] = {}, theirs[LAYER_COUNT] = {};
  size_t work[LAYER_COUNT] = {};
  for (int i = 0; i < LAYER_COUNT; i++) {
    const Layer& l = layers[i];
    bool whole = l.getX() >= left && l.getY() >= bottom && (double)l.getX() + l.getW() <= right &&
                 (double)l.getY() + l.getH() <= top;
    sort[i] = caches[i].unsorted && !whole;
    if (sort[i]) work[i] = caches[i].corners.size();
  }
  std::thread helper;
  if (shareLayers(work, theirs) > 0)
    helper = std::thread([&] {
      for (int i = 0; i < LAYER_COUNT; i++)
        if (theirs[i]) caches[i].sortTiles();
    });
  for (int i = 0; i < LAYER_COUNT; i++)
    if (sort[i] && !theirs[i]) caches[i].sortTiles();
  if (helper.joinable()) helper.join();
}

void CanvasPainter::drawLayersFast(const ViewTransform& view, Layer layers[LAYER_COUNT]) {
  updateCaches(layers);
  sortWhereCulled(view, layers);
  for (int i = 0; i < LAYER_COUNT; i++) {
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, layerDepth(i));
    drawLayerFast(layers[i], caches[i], view, *vertices);
    glPopMatrix();
  }
  composer->valid = false;
}

namespace {

// Bring the caches of the chosen layers up to date, noting in changes what
// each update found. A cache follows its layer's record of changes where
// it can; the other layers are walked side by side.
void walkLayers(CanvasPainter::LayerCache* caches, Layer* layers, const bool chosen[LAYER_COUNT],
                int* changes) {
  bool walk[LAYER_COUNT] = {};
  for (int i = 0; i < LAYER_COUNT; i++) {
    if (!chosen[i]) continue;
    CanvasPainter::LayerCache::Change change;
    if (caches[i].follow(layers[i], change)) {
      changes[i] = change;
      continue;
    }
    walk[i] = true;
    caches[i].begin(layers[i]);
  }
  walkSideBySide(layers, walk, LAYER_COUNT, [caches](int i, GroupNode* const* nodes, uint32_t n) {
    caches[i].feed(nodes, n);
  });
  for (int i = 0; i < LAYER_COUNT; i++)
    if (walk[i]) changes[i] = caches[i].finish();
}

}  // namespace

// Bring every layer's cache up to date. When many objects are to be walked,
// a second thread takes about half of them, whole layers each: the walks
// wait on memory, and each cache is touched by one thread only.
void CanvasPainter::updateCaches(Layer layers[LAYER_COUNT], int* changes) {
  bool changed[LAYER_COUNT] = {}, mine[LAYER_COUNT] = {}, theirs[LAYER_COUNT] = {};
  int found[LAYER_COUNT];
  size_t work[LAYER_COUNT] = {};
  for (int i = 0; i < LAYER_COUNT; i++) {
    found[i] = LayerCache::SAME;
    changed[i] = !caches[i].isCurrent(layers[i]);
    if (changed[i]) work[i] = layers[i].size();
  }
  size_t given = shareLayers(work, theirs);
  for (int i = 0; i < LAYER_COUNT; i++) mine[i] = changed[i] && !theirs[i];
  std::thread helper;
  if (given > 0) helper = std::thread(walkLayers, caches, layers, theirs, found);
  walkLayers(caches, layers, mine, found);
  if (helper.joinable()) helper.join();
  if (changes) std::copy(found, found + LAYER_COUNT, changes);
}

// Learn from OpenGL, in the frame about to be cleared, what blending each
// layer's colour over every byte gives, and the depth each layer's fill and
// selection store. Needs 256 x 16 pixels.
void CanvasPainter::learnComposition(const ViewTransform& view, Layer layers[LAYER_COUNT]) {
  Composer& c = *composer;
  const BlendState state = BlendState::current();
  bool same = c.learned && c.learnedState == state;
  for (int i = 0; i < LAYER_COUNT; i++) same = same && c.learnedColors[i] == layers[i].getColor();
  if (same) return;
  const int rows = LAYER_COUNT + 1;
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_POLYGON_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_DITHER);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  pixelProjection(view.width, view.height);
  std::vector<uint8_t> ramp(256 * 4 * rows);
  for (size_t i = 0; i < ramp.size(); i++) ramp[i] = (uint8_t)(i / 4 % 256);
  glRasterPos2i(0, 0);
  glDrawPixels(256, rows, GL_RGBA, GL_UNSIGNED_BYTE, ramp.data());
  if (state.enabled) glEnable(GL_BLEND);
  for (int row = 0; row < rows; row++) {
    setColor(row < LAYER_COUNT ? layers[row].getColor() : WHITE);
    pixelRow(0, 256, row);
  }
  glReadPixels(0, 0, 256, rows, GL_RGBA, GL_UNSIGNED_BYTE, ramp.data());
  for (int row = 0; row < rows; row++)
    for (int v = 0; v < 256; v++)
      for (int ch = 0; ch < 4; ch++) c.blend[row][ch][v] = ramp[(row * 256 + v) * 4 + ch];

  // The depths, under the same translations as the layers' drawing.
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_ALWAYS);
  glDepthMask(GL_TRUE);
  for (int i = 0; i < LAYER_COUNT; i++) {
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, layerDepth(i));
    pixelRow(2 * i, 2 * i + 1, rows);
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, SELECTION_Z);
    pixelRow(2 * i + 1, 2 * i + 2, rows);
    glPopMatrix();
    glPopMatrix();
  }
  uint32_t depths[2 * LAYER_COUNT];
  glReadPixels(0, rows, 2 * LAYER_COUNT, 1, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, depths);
  for (int i = 0; i < LAYER_COUNT; i++) {
    c.fillDepth[i] = depths[2 * i];
    c.selectionDepth[i] = depths[2 * i + 1];
    c.learnedColors[i] = layers[i].getColor();
  }
  glPopAttrib();
  if (spoiled)
    for (auto& row : c.blend) row[0][0] ^= 0x40;
  c.learnedState = state;
  c.learned = glGetError() == GL_NO_ERROR;
}

// Ask OpenGL how it decides at each edge coordinate of the waiting boxes,
// with one small probe quad per coordinate: an edge at that coordinate
// beside a certain one, alone on its row (or column). Then set the boxes'
// pixels. Edges whose probe finds no free row are drawn by OpenGL.
void CanvasPainter::resolveEdges(const ViewTransform& view) {
  Composer& c = *composer;
  PixelMap map = pixelMapFor(view, c.snap);
  const int SLOTS = 8;
  struct Probe {
    float edge;
    int centre, slot;
    bool covers;
  };
  std::vector<Probe> probes;
  std::unordered_map<uint64_t, int> index;  // kind and edge bits to probe
  std::vector<uint8_t> used[4];             // slots taken per kind and centre
  used[0].assign(view.width, 0), used[1].assign(view.width, 0);
  used[2].assign(view.height, 0), used[3].assign(view.height, 0);
  auto probeOf = [&](int kind, float edge, int centre) {
    uint32_t bitsOf;
    std::memcpy(&bitsOf, &edge, 4);
    uint64_t key = (uint64_t)kind << 32 | bitsOf;
    auto found = index.find(key);
    if (found != index.end()) return found->second;
    int slot = used[kind][centre] < SLOTS ? used[kind][centre]++ : -1;
    probes.push_back({edge, centre, slot, false});
    index[key] = (int)probes.size() - 1;
    return (int)probes.size() - 1;
  };
  std::vector<int> probeLo(c.pending.size(), -1), probeHi(c.pending.size(), -1);
  for (size_t k = 0; k < c.pending.size(); k++) {
    const EdgeBox& b = c.pending[k];
    int kind = b.alongY ? 2 : 0;
    if (b.nearLo >= 0) probeLo[k] = probeOf(kind, b.lo, b.nearLo);
    if (b.nearHi >= 0) probeHi[k] = probeOf(kind + 1, b.hi, b.nearHi);
  }
  // Drawing coordinates of a window position.
  auto atX = [&](double w) { return (float)(map.left + w / map.kx); };
  auto atY = [&](double w) { return (float)(map.bottom + w / map.ky); };
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_DITHER);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_COLOR_LOGIC_OP);
  glLogicOp(GL_OR);
  glColor4ub(255, 255, 255, 255);
  for (int alongY = 0; alongY < 2; alongY++) {
    glClear(GL_COLOR_BUFFER_BIT);
    for (const auto& entry : index) {
      int kind = (int)(entry.first >> 32);
      const Probe& p = probes[entry.second];
      if ((kind >= 2) != (alongY == 1) || p.slot < 0) continue;
      double line = (kind & 1) + 2 * p.slot;  // the probe's row or column
      float a0 = kind & 1 ? (alongY ? atY(p.centre + 0.25) : atX(p.centre + 0.25)) : p.edge;
      float a1 = kind & 1 ? p.edge : (alongY ? atY(p.centre + 0.75) : atX(p.centre + 0.75));
      if (alongY)
        vertices->push(DrawCorners(atX(line + 0.25), a0, atX(line + 0.75), a1));
      else
        vertices->push(DrawCorners(a0, atY(line + 0.25), a1, atY(line + 0.75)));
    }
    vertices->flush();
    int w = alongY ? 2 * SLOTS : view.width, h = alongY ? view.height : 2 * SLOTS;
    std::vector<uint8_t> read((size_t)w * h * 4);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, read.data());
    for (const auto& entry : index) {
      int kind = (int)(entry.first >> 32);
      Probe& p = probes[entry.second];
      if ((kind >= 2) != (alongY == 1) || p.slot < 0) continue;
      int line = (kind & 1) + 2 * p.slot;
      size_t at = alongY ? (size_t)p.centre * w + line : (size_t)line * w + p.centre;
      p.covers = read[at * 4] != 0;
    }
  }

  // Set the pixels; boxes with an unasked edge go to OpenGL.
  glClear(GL_COLOR_BUFFER_BIT);
  bool drawn = false;
  uint32_t* bits = c.bits.data();
  for (size_t k = 0; k < c.pending.size(); k++) {
    const EdgeBox& b = c.pending[k];
    const Probe* lo = probeLo[k] >= 0 ? &probes[probeLo[k]] : nullptr;
    const Probe* hi = probeHi[k] >= 0 ? &probes[probeHi[k]] : nullptr;
    if ((lo && lo->slot < 0) || (hi && hi->slot < 0)) {
      setBitColor(b.layer);
      vertices->push(DrawCorners(caches[b.layer].corners[b.position], map.baseX, map.baseY));
      vertices->flush();
      drawn = true;
      continue;
    }
    int first = b.first, last = b.last;
    bool loOn = lo && lo->covers, hiOn = hi && hi->covers;
    if (lo && hi && lo->centre == hi->centre) loOn = hiOn = loOn && hiOn;
    if (loOn) first = lo->centre;
    if (hiOn) last = hi->centre;
    uint32_t bit = 1u << b.layer;
    for (int u = first; u <= last; u++)
      for (int v = b.otherFirst; v <= b.otherLast; v++)
        bits[b.alongY ? (size_t)u * view.width + v : (size_t)v * view.width + u] |= bit;
  }
  BigVector<EdgeBox>().swap(c.pending);
  glPopAttrib();
  if (!drawn) return;
  size_t n = (size_t)view.width * view.height;
  glReadPixels(0, 0, view.width, view.height, GL_RGBA, GL_UNSIGNED_BYTE, c.pixels.data());
  const uint8_t* px = c.pixels.data();
  for (size_t p = 0; p < n; p++, px += 4) bits[p] |= (uint32_t)px[0] | (uint32_t)px[1] << 8;
}

// Draw the masks of the chosen layers, each its bit, and merge them into
// the kept masks: fills (layers' fill from position from[i], the rest kept
// when from[i] > 0) or selection outlines.
void CanvasPainter::drawMasks(const ViewTransform& view, Layer layers[LAYER_COUNT],
                              const bool chosen[LAYER_COUNT], const uint32_t from[LAYER_COUNT],
                              bool selection) {
  Composer& c = *composer;
  uint32_t keep = ~0u;
  bool any = false;
  for (int i = 0; i < LAYER_COUNT; i++) {
    if (!chosen[i]) continue;
    any = true;
    if (selection || from[i] == 0) keep &= ~(1u << (i + (selection ? SELECTION_SHIFT : 0)));
  }
  if (!any) return;
  size_t n = (size_t)view.width * view.height;
  for (size_t p = 0; p < n; p++) c.bits[p] &= keep;
  glClear(GL_COLOR_BUFFER_BIT);
  loadProjection(view);
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT | GL_LINE_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_DITHER);
  glDisable(GL_LINE_STIPPLE);
  glEnable(GL_COLOR_LOGIC_OP);
  glLogicOp(GL_OR);
  PixelMap map = pixelMapFor(view, c.snap);
  GLint pattern = 0, repeat = 0;
  glGetIntegerv(GL_LINE_STIPPLE_PATTERN, &pattern);
  glGetIntegerv(GL_LINE_STIPPLE_REPEAT, &repeat);
  bool dotsVanish = c.llvmpipe && (pattern & 1) == 0 && repeat >= 4;
  // Asking pays where few coordinates fall near each centre: a unit is
  // wider than the band around a centre.
  bool askEdges = c.llvmpipe && map.usable && map.kx > 2 * map.sureMarginX &&
                  map.ky > 2 * map.sureMarginY && view.width < 32768 && view.height < 32768;
  // With many boxes to fill, a second thread sorts about half of them
  // (whole enabled layers) into certain pixels, edges to ask about and
  // quads, which this thread, the owner of the context, draws after it.
  struct Share {
    bool layers[LAYER_COUNT] = {};
    BigVector<EdgeBox> pending;
    QuadList quads[LAYER_COUNT];
  } theirs;
  auto boxesOf = [&](int i) { return caches[i].corners.size() - std::min<size_t>(from[i], caches[i].corners.size()); };
  auto shareable = [&](int i) { return !selection && chosen[i] && layers[i].first() && layers[i].isEnabled(); };
  // Only where most boxes are settled on the CPU: at views so small that
  // they go to OpenGL, the kept quads would cost more than the thread gains.
  size_t work[LAYER_COUNT] = {};
  for (int i = 0; i < LAYER_COUNT && askEdges; i++)
    if (shareable(i)) work[i] = boxesOf(i);
  size_t given = shareLayers(work, theirs.layers);
  Rect bounds;
  size_t boxes = 0;
  for (int i = 0; i < LAYER_COUNT; i++) {
    if (!shareable(i)) continue;
    bounds.include(layers[i]);
    boxes += boxesOf(i);
  }
  const EdgeTable table(map, bounds, boxes);
  const EdgeTable* edges = table.xs.empty() ? nullptr : &table;
  // Each thread's plane holds the bits of its layers; merged once.
  auto merge = [&](BigVector<uint16_t>& plane) {
    uint16_t* q = plane.data();
    uint32_t* b = c.bits.data();
    for (size_t p = 0; p < n; p++) b[p] |= q[p], q[p] = 0;
  };
  // Room for the boxes that wait for resolveEdges, a tenth or so at a
  // whole view: growing the lists would touch more memory than they hold.
  if (askEdges) {
    c.pending.reserve(boxes / 8);
    theirs.pending.reserve(given / 8);
  }
  bool theyTouched = false;
  std::thread helper;
  if (given > 0) {
    helper = std::thread([&] {
      c.theirPlane.resize(n);
      for (int i = 0; i < LAYER_COUNT; i++) {
        if (!theirs.layers[i]) continue;
        drawObjects(caches[i], from[i], map, fillVisible, theirs.quads[i],
                    SureFill{c.theirPlane.data(), &theyTouched, askEdges ? &theirs.pending : nullptr, i, edges},
                    false);
      }
    });
  }
  bool touched = false;
  for (int i = 0; i < LAYER_COUNT; i++) {
    if (!chosen[i] || theirs.layers[i]) continue;
    setBitColor(i);
    if (selection) {
      drawSelection(layers[i], caches[i], map, *vertices, dotsVanish);
      continue;
    }
    if (layers[i].first() == nullptr) continue;
    c.plane.resize(n);
    drawFill(layers[i], caches[i], from[i], map, *vertices,
             SureFill{c.plane.data(), &touched, askEdges ? &c.pending : nullptr, i, edges});
  }
  if (touched) merge(c.plane);
  if (helper.joinable()) {
    helper.join();
    if (theyTouched) merge(c.theirPlane);
    c.pending.insert(c.pending.end(), theirs.pending.begin(), theirs.pending.end());
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    for (int i = 0; i < LAYER_COUNT; i++) {
      if (!theirs.layers[i]) continue;
      setBitColor(i);
      for (const DrawCorners& q : theirs.quads[i].quads) vertices->push(q);
      vertices->flush();
      drawOthers(caches[i], from[i], map);
    }
  }
  glPopAttrib();
  c.pixels.resize(n * 4);
  glReadPixels(0, 0, view.width, view.height, GL_RGBA, GL_UNSIGNED_BYTE, c.pixels.data());
  uint32_t shift = selection ? SELECTION_SHIFT : 0;
  const uint8_t* px = c.pixels.data();
  for (size_t p = 0; p < n; p++, px += 4)
    c.bits[p] |= ((uint32_t)px[0] | (uint32_t)px[1] << 8) << shift;
  if (!c.pending.empty()) resolveEdges(view);
}

// Compose the layers' picture into the kept texture from the masks,
// redrawing the masks that changed; false where the frame buffer cannot
// hold them (the caller then draws the layers).
bool CanvasPainter::composeLayers(const ViewTransform& view, Layer layers[LAYER_COUNT]) {
  Composer& c = *composer;
  if (c.supported < 0) {
    GLint red = 0, green = 0, depth = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    c.supported = red >= 8 && green >= 8 && depth > 0;
    const char* renderer = (const char*)glGetString(GL_RENDERER);
    c.llvmpipe = renderer && std::strncmp(renderer, "llvmpipe", 8) == 0;
    if (c.llvmpipe) c.snap = 1.0 / 512;
  }
  if (!c.supported || view.width < 256 || view.height < 16) return false;
  if (!ensureTexture(view)) return false;
  glViewport(0, 0, view.width, view.height);
  GLint drawBuffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
  glReadBuffer((GLenum)drawBuffer);
  learnComposition(view, layers);
  if (!c.learned) return false;

  bool sameView = c.valid && c.view == ViewKey(view, layers);
  bool fills[LAYER_COUNT], outlines[LAYER_COUNT];
  uint32_t from[LAYER_COUNT];
  int changes[LAYER_COUNT];
  updateCaches(layers, changes);
  sortWhereCulled(view, layers);
  for (int i = 0; i < LAYER_COUNT; i++) {
    auto change = (LayerCache::Change)changes[i];
    if (!sameView) change = LayerCache::REBUILT;
    fills[i] = change == LayerCache::REBUILT || change == LayerCache::APPENDED;
    outlines[i] = change != LayerCache::SAME;
    from[i] = change == LayerCache::APPENDED ? caches[i].appendedFrom : 0;
  }
  size_t n = (size_t)view.width * view.height;
  if (!sameView) c.bits.assign(n, 0);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  drawMasks(view, layers, fills, from, false);
  drawMasks(view, layers, outlines, from, true);
  c.valid = glGetError() == GL_NO_ERROR;
  if (!c.valid) return false;
  c.view = ViewKey(view, layers);

  // Fold the layers over each pixel; few distinct masks recur over the
  // canvas, so the colours are remembered in a small table by mask.
  c.pixels.resize(n * 4);
  const uint32_t EMPTY = ~0u;  // bits 14, 15, 30 and 31 are never set
  std::vector<uint32_t> memoBits(4096, EMPTY), memoColor(4096);
  uint32_t* out = reinterpret_cast<uint32_t*>(c.pixels.data());
  for (size_t p = 0; p < n; p++) {
    uint32_t b = c.bits[p], slot = (b * 0x9E3779B1u) >> 20;
    if (memoBits[slot] != b) {
      uint8_t rgba[4] = {0, 0, 0, 0};
      uint32_t depth = UINT32_MAX;
      for (int i = 0; i < LAYER_COUNT; i++) {
        if ((b >> i & 1) && c.fillDepth[i] < depth) {
          for (int ch = 0; ch < 4; ch++) rgba[ch] = c.blend[i][ch][rgba[ch]];
          depth = c.fillDepth[i];
        }
        if ((b >> (i + SELECTION_SHIFT) & 1) && c.selectionDepth[i] < depth) {
          for (int ch = 0; ch < 4; ch++) rgba[ch] = c.blend[LAYER_COUNT][ch][rgba[ch]];
          depth = c.selectionDepth[i];
        }
      }
      memoBits[slot] = b;
      std::memcpy(&memoColor[slot], rgba, 4);
    }
    out[p] = memoColor[slot];
  }
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, view.width, view.height, GL_RGBA, GL_UNSIGNED_BYTE,
                  c.pixels.data());
  glBindTexture(GL_TEXTURE_2D, (GLuint)bound);
  imageValid = glGetError() == GL_NO_ERROR;
  return imageValid;
}

namespace {

int powerOfTwoAtLeast(int n) {
  int p = 1;
  while (p < n && p < (1 << 30)) p <<= 1;
  return p;
}

}  // namespace

// A texture at least the canvas's size for the kept picture.
bool CanvasPainter::ensureTexture(const ViewTransform& view) {
  if (view.width <= 0 || view.height <= 0) return false;
  if (texture && glIsTexture(texture) && view.width <= textureW && view.height <= textureH)
    return true;
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  if (!texture || !glIsTexture(texture)) glGenTextures(1, &texture);
  textureW = powerOfTwoAtLeast(view.width);
  textureH = powerOfTwoAtLeast(view.height);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, textureW, textureH, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glBindTexture(GL_TEXTURE_2D, (GLuint)bound);
  return glGetError() == GL_NO_ERROR;
}

// Copy the colour buffer being drawn into the kept texture. A texture
// stays inside the OpenGL implementation, so keeping and restoring it is a
// copy within the renderer rather than a trip through client memory.
void CanvasPainter::keepImage(const ViewTransform& view) {
  imageValid = false;
  if (!ensureTexture(view)) return;
  GLint drawBuffer = GL_BACK, readBuffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
  glGetIntegerv(GL_READ_BUFFER, &readBuffer);
  glReadBuffer((GLenum)drawBuffer);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, texture);
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, view.width, view.height);
  glBindTexture(GL_TEXTURE_2D, (GLuint)bound);
  glReadBuffer((GLenum)readBuffer);
  imageValid = glGetError() == GL_NO_ERROR;
}

// Put the kept picture back texel for pixel, with an empty depth buffer,
// and reload the view's projection. Nearest sampling at pixel centres
// reads each texel exactly once.
void CanvasPainter::restoreImage(const ViewTransform& view) {
  glViewport(0, 0, view.width, view.height);
  glClear(GL_DEPTH_BUFFER_BIT);
  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_POLYGON_BIT | GL_CURRENT_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_DITHER);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, view.width, 0, view.height, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  float s = (float)view.width / textureW, t = (float)view.height / textureH;
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2i(0, 0);
  glTexCoord2f(s, 0);
  glVertex2i(view.width, 0);
  glTexCoord2f(s, t);
  glVertex2i(view.width, view.height);
  glTexCoord2f(0, t);
  glVertex2i(0, view.height);
  glEnd();
  glPopAttrib();
  loadProjection(view);
}
