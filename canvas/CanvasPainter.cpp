#include "canvas/CanvasPainter.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <typeinfo>

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

// Viewport, cleared colour and depth, projection.
void beginFrame(const ViewTransform& view) {
  glViewport(0, 0, view.width, view.height);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
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

// The corners of an object as its own draw takes them: (x0, y0) and
// (x1, y1) = (x + w, y + h), wrapped, so x1 may lie left of x0. Kept as
// integers: they become floats relative to the view's base only when drawn.
struct CanvasPainter::Corners {
  int32_t x0, y0, x1, y1;
  int32_t left() const { return std::min(x0, x1); }
  int32_t right() const { return std::max(x0, x1); }
  int32_t low() const { return std::min(y0, y1); }
  int32_t high() const { return std::max(y0, y1); }
};

// Corners as OpenGL receives them, relative to the view's base (drawCoord);
// rounding is monotonic, so the order of the edges is kept.
struct CanvasPainter::DrawCorners {
  float x0, y0, x1, y1;
  DrawCorners(const Corners& c, int64_t bx, int64_t by)
      : x0(drawCoord(c.x0, bx)), y0(drawCoord(c.y0, by)), x1(drawCoord(c.x1, bx)),
        y1(drawCoord(c.y1, by)) {}
  float left() const { return std::min(x0, x1); }
  float right() const { return std::max(x0, x1); }
  float low() const { return std::min(y0, y1); }
  float high() const { return std::max(y0, y1); }
};

// Vertices of the quads that one draw call sends; its memory is touched
// only as far as it is filled.
struct CanvasPainter::VertexBuffer {
  std::unique_ptr<float[]> data;
  size_t capacity = 0;  // floats
  size_t size = 0;
  void reset(size_t quads) {
    size = 0;
    if (quads * FLOATS_PER_QUAD > capacity) {
      capacity = quads * FLOATS_PER_QUAD;
      data.reset(new float[capacity]);
    }
  }
  void push(const CanvasPainter::DrawCorners& c) {
    float* v = &data[size];
    v[0] = c.x0, v[1] = c.y0, v[2] = c.x1, v[3] = c.y0;
    v[4] = c.x1, v[5] = c.y1, v[6] = c.x0, v[7] = c.y1;
    size += FLOATS_PER_QUAD;
  }
};

namespace {

CanvasPainter::Corners cornersOf(const GroupNode& node) {
  return {node.getX(), node.getY(), wrapAdd(node.getX(), node.getW()),
          wrapAdd(node.getY(), node.getH())};
}

// Where drawing coordinates land in window pixels, with error margins wide
// enough to cover the float arithmetic of the OpenGL pipeline.
struct PixelMap {
  bool usable = false;
  int64_t baseX = 0, baseY = 0;
  double left = 0, bottom = 0, kx = 0, ky = 0;
  double fillMarginX = 0, fillMarginY = 0;  // sub-pixel: snapping, rounding
  double lineMarginX = 0, lineMarginY = 0;  // an outline reaches a pixel further
  int width = 0, height = 0;
};

PixelMap pixelMapFor(const ViewTransform& view) {
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
  return m;
}

// True when some pixel centre of 0..n-1 lies within [a - margin, b + margin].
inline bool spansPixelCentre(double a, double b, double margin, int n) {
  double lo = std::ceil(a - margin - 0.5), hi = std::floor(b + margin - 0.5);
  if (lo < 0) lo = 0;
  if (hi > n - 1) hi = n - 1;
  return lo <= hi;
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

// One layer's objects as OpenGL sees them: boxes as quads sorted into a
// grid of tiles, everything else as nodes drawn by their own draw.
struct CanvasPainter::LayerCache {
  struct Tile {
    uint32_t begin = 0, end = 0;        // quads of all boxes
    uint32_t selBegin = 0, selEnd = 0;  // quads of selected boxes
    Corners bounds{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  };

  const Layer* layer = nullptr;
  uint64_t revision = 0;
  std::vector<Corners> boxes;
  std::vector<Corners> selectedBoxes;
  std::vector<GroupNode*> others;
  std::vector<GroupNode*> selectedOthers;
  std::vector<Tile> tiles;

  bool isCurrent(const Layer& l) const { return layer == &l && revision == l.getRevision(); }
  void rebuild(const Layer& l);

private:
  int grid = 1;
  double gridX = 0, gridY = 0, cellW = 1, cellH = 1;
  // The tile of a box's lower-left corner.
  uint32_t tileFor(const Corners& c) const {
    int tx = std::min(grid - 1, std::max(0, (int)((c.left() - gridX) / cellW)));
    int ty = std::min(grid - 1, std::max(0, (int)((c.low() - gridY) / cellH)));
    return (uint32_t)(ty * grid + tx);
  }
};

// Three walks along the list (bounds, tile counts, placement) and no
// temporary copy: walking is cheap, touching fresh memory is not, and a click
// that changes the selection rebuilds every layer.
void CanvasPainter::LayerCache::rebuild(const Layer& l) {
  layer = &l;
  revision = l.getRevision();
  others.clear();
  selectedOthers.clear();
  tiles.clear();

  size_t n = 0;
  int32_t minX = INT32_MAX, minY = INT32_MAX, maxX = INT32_MIN, maxY = INT32_MIN;
  for (GroupNode* node = l.first(); node; node = node->next()) {
    Corners c = cornersOf(*node);
    minX = std::min(minX, c.left());
    maxX = std::max(maxX, c.right());
    minY = std::min(minY, c.low());
    maxY = std::max(maxY, c.high());
    if (typeid(*node) == typeid(Box)) {
      n++;
    } else {
      others.push_back(node);
      if (node->isSelected()) selectedOthers.push_back(node);
    }
  }
  boxes.resize(n);
  if (l.first() == nullptr) {
    selectedBoxes.clear();
    return;
  }
  grid = std::max(1, std::min((int)std::sqrt(n / 64.0), 128));
  gridX = minX;
  gridY = minY;
  cellW = ((double)maxX - minX) / grid;
  cellH = ((double)maxY - minY) / grid;
  if (!(cellW > 0)) cellW = 1;
  if (!(cellH > 0)) cellH = 1;
  tiles.assign((size_t)grid * grid, Tile());

  // Counting sort of the boxes by tile.
  std::vector<uint32_t> count(tiles.size() + 1, 0), selCount(tiles.size() + 1, 0);
  for (GroupNode* node = l.first(); node; node = node->next()) {
    if (typeid(*node) != typeid(Box)) continue;
    Corners c = cornersOf(*node);
    uint32_t t = tileFor(c);
    count[t + 1]++;
    if (node->isSelected()) selCount[t + 1]++;
    Corners& b = tiles[t].bounds;
    b.x0 = std::min(b.x0, c.left());
    b.x1 = std::max(b.x1, c.right());
    b.y0 = std::min(b.y0, c.low());
    b.y1 = std::max(b.y1, c.high());
  }
  for (size_t t = 0; t < tiles.size(); t++) {
    count[t + 1] += count[t];
    selCount[t + 1] += selCount[t];
    tiles[t].begin = tiles[t].end = count[t];
    tiles[t].selBegin = tiles[t].selEnd = selCount[t];
  }
  selectedBoxes.resize(selCount[tiles.size()]);
  for (GroupNode* node = l.first(); node; node = node->next()) {
    if (typeid(*node) != typeid(Box)) continue;
    Corners c = cornersOf(*node);
    Tile& tile = tiles[tileFor(c)];
    boxes[tile.end++] = c;
    if (node->isSelected()) selectedBoxes[tile.selEnd++] = c;
  }
}

namespace {

// Collect the quads of visible tiles that pass the test, then draw them
// with one call.
template <typename Visible>
void drawQuads(const std::vector<CanvasPainter::LayerCache::Tile>& tiles,
               const std::vector<CanvasPainter::Corners>& quads, bool selectedOnly,
               const PixelMap& map, Visible visible, CanvasPainter::VertexBuffer& out) {
  out.reset(quads.size());
  for (const auto& tile : tiles) {
    uint32_t begin = selectedOnly ? tile.selBegin : tile.begin;
    uint32_t end = selectedOnly ? tile.selEnd : tile.end;
    if (begin == end) continue;
    CanvasPainter::DrawCorners t(tile.bounds, map.baseX, map.baseY);
    if (map.usable && !lineVisible(map, t.x0, t.y0, t.x1, t.y1)) continue;
    for (uint32_t i = begin; i < end; i++) {
      CanvasPainter::DrawCorners c(quads[i], map.baseX, map.baseY);
      if (!map.usable || visible(map, c.left(), c.low(), c.right(), c.high())) out.push(c);
    }
  }
  if (out.size == 0) return;
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, out.data.get());
  glDrawArrays(GL_QUADS, 0, (GLsizei)(out.size / 2));
  glDisableClientState(GL_VERTEX_ARRAY);
}

void drawNodes(const std::vector<GroupNode*>& nodes, const PixelMap& map) {
  for (GroupNode* node : nodes) {
    CanvasPainter::DrawCorners c(cornersOf(*node), map.baseX, map.baseY);
    if (!map.usable || lineVisible(map, c.left(), c.low(), c.right(), c.high()))
      node->draw(map.baseX, map.baseY);
  }
}

// The same picture as Layer::draw, from the layer's cache.
void drawLayerFast(const Layer& layer, const CanvasPainter::LayerCache& cache,
                   const ViewTransform& view, CanvasPainter::VertexBuffer& scratch) {
  if (layer.first() == nullptr) return;
  PixelMap map = pixelMapFor(view);
  uint32_t color = layer.getColor();
  bool enabled = layer.isEnabled() != 0;
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_STIPPLE_BIT | GL_POLYGON_BIT | GL_LINE_BIT);
  glColor4ub(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF, (color >> 24) & 0xFF);
  glPolygonMode(GL_FRONT_AND_BACK, enabled ? GL_FILL : GL_LINE);
  if (enabled)
    drawQuads(cache.tiles, cache.boxes, false, map, fillVisible, scratch);
  else
    drawQuads(cache.tiles, cache.boxes, false, map, lineVisible, scratch);
  drawNodes(cache.others, map);
  if (enabled) {
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glEnable(GL_LINE_STIPPLE);
    glColor4ub(255, 255, 255, 255);
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, SELECTION_Z);
    drawQuads(cache.tiles, cache.selectedBoxes, true, map, lineVisible, scratch);
    drawNodes(cache.selectedOthers, map);
    glPopMatrix();
  }
  glPopAttrib();
}

}  // namespace

bool CanvasPainter::ImageKey::operator==(const ImageKey& o) const {
  if (originX != o.originX || originY != o.originY || scale != o.scale || width != o.width ||
      height != o.height || layers != o.layers)
    return false;
  for (int i = 0; i < LAYER_COUNT; i++)
    if (revisions[i] != o.revisions[i]) return false;
  return true;
}

CanvasPainter::CanvasPainter() : caches(new LayerCache[LAYER_COUNT]), vertices(new VertexBuffer) {}

CanvasPainter::~CanvasPainter() {
  delete[] caches;
  delete vertices;
}

void CanvasPainter::invalidate() {
  imageValid = false;
  for (int i = 0; i < LAYER_COUNT; i++) caches[i] = LayerCache();
}

void CanvasPainter::paint(const ViewTransform& view, Layer layers[LAYER_COUNT], MouseRect& band) {
  if (reference)
    paintReference(view, layers, band);
  else
    paintFast(view, layers, band);
}

// Crosshair and band first, then the layers back to front, each object in
// immediate mode.
void CanvasPainter::paintReference(const ViewTransform& view, Layer layers[LAYER_COUNT],
                                   MouseRect& band) {
  beginFrame(view);
  drawCrosshair(view, band);
  drawBand(view, band);
  for (int i = 0; i < LAYER_COUNT; i++) {
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, layerDepth(i));
    layers[i].draw(view.baseX(), view.baseY());
    glPopMatrix();
  }
  ++layerRenders;
}

// The layers from the kept picture when nothing they depend on changed,
// else drawn from the caches and kept; then crosshair and band over them.
// Both are opaque and nearer than any layer, so the order gives the
// reference's pixels.
void CanvasPainter::paintFast(const ViewTransform& view, Layer layers[LAYER_COUNT],
                              MouseRect& band) {
  ImageKey key;
  key.originX = view.originX;
  key.originY = view.originY;
  key.scale = view.scale;
  key.width = view.width;
  key.height = view.height;
  key.layers = layers;
  for (int i = 0; i < LAYER_COUNT; i++) key.revisions[i] = layers[i].getRevision();

  if (imageValid && key == imageKey) {
    restoreImage(view);
  } else {
    beginFrame(view);
    glDisable(GL_LINE_STIPPLE);
    drawLayersFast(view, layers);
    keepImage(view);
    imageKey = key;
    ++layerRenders;
  }
  drawCrosshair(view, band);
  drawBand(view, band);
}

void CanvasPainter::drawLayersFast(const ViewTransform& view, Layer layers[LAYER_COUNT]) {
  for (int i = 0; i < LAYER_COUNT; i++) {
    if (!caches[i].isCurrent(layers[i])) caches[i].rebuild(layers[i]);
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, layerDepth(i));
    drawLayerFast(layers[i], caches[i], view, *vertices);
    glPopMatrix();
  }
}

namespace {

int powerOfTwoAtLeast(int n) {
  int p = 1;
  while (p < n && p < (1 << 30)) p <<= 1;
  return p;
}

}  // namespace

// Copy the colour buffer being drawn into the kept texture. A texture
// stays inside the OpenGL implementation, so keeping and restoring it is a
// copy within the renderer rather than a trip through client memory.
void CanvasPainter::keepImage(const ViewTransform& view) {
  imageValid = false;
  if (view.width <= 0 || view.height <= 0) return;
  GLint drawBuffer = GL_BACK, readBuffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
  glGetIntegerv(GL_READ_BUFFER, &readBuffer);
  glReadBuffer((GLenum)drawBuffer);
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  if (!texture || !glIsTexture(texture) || view.width > textureW || view.height > textureH) {
    if (!texture || !glIsTexture(texture)) glGenTextures(1, &texture);
    textureW = powerOfTwoAtLeast(view.width);
    textureH = powerOfTwoAtLeast(view.height);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, textureW, textureH, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  }
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
