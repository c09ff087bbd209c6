#include "canvas/LayerDrawing.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <typeinfo>

#include "model/Layer.h"

void setColor(uint32_t color) { setGLColor(color); }

namespace {
bool outlines = false;
}  // namespace

void showOutlines(bool on) { outlines = on; }
bool outlinesShown() { return outlines; }

void beginLayerStyle(const Layer& layer) {
  const bool filled = layer.drawsFilled();
  glPolygonMode(GL_FRONT_AND_BACK, filled ? GL_FILL : GL_LINE);
  const uint8_t* pattern = filled ? stipplePattern(layer.getStyle()) : nullptr;
  if (pattern) {
    glPolygonStipple(pattern);
    glEnable(GL_POLYGON_STIPPLE);
  } else {
    glDisable(GL_POLYGON_STIPPLE);
  }
}

// The selection pass of Layer::draw, and under View > Outlines the outline
// pass before it: both in immediate mode, the plain painter's way. The
// dashes of selected boxes are quads over their pixels, all of one colour
// and depth, so they may go before the other objects' stippled outlines.
void drawLayerPlain(const Layer& layer, const PixelMap& map) {
  if (layer.isHidden()) return;
  const int64_t ox = map.baseX, oy = map.baseY;
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_STIPPLE_BIT | GL_POLYGON_BIT | GL_LINE_BIT);
  setColor(layer.getColor());
  beginLayerStyle(layer);
  for (GroupNode* node = layer.first(); node; node = node->next()) node->draw(ox, oy);
  glDisable(GL_POLYGON_STIPPLE);
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  if (outlinesShown() && layer.drawsFilled()) {
    setColor(outlineColor(layer.getColor()));
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, OUTLINE_Z);
    for (GroupNode* node = layer.first(); node; node = node->next()) node->draw(ox, oy);
    glPopMatrix();
  }
  if (layer.isEnabled()) {
    setColor(WHITE);
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, SELECTION_Z);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glBegin(GL_QUADS);
    for (GroupNode* node = layer.first(); node; node = node->next()) {
      if (!node->isSelected() || typeid(*node) != typeid(Box)) continue;
      forEachDash(map, cornersOf(*node), [&](int x0, int y0, int x1, int y1) {
        DashQuad q = dashQuad(map, x0, y0, x1, y1);
        glVertex2f(q.x0, q.y0), glVertex2f(q.x1, q.y0), glVertex2f(q.x1, q.y1), glVertex2f(q.x0, q.y1);
      });
    }
    glEnd();
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glEnable(GL_LINE_STIPPLE);
    for (GroupNode* node = layer.first(); node; node = node->next())
      if (node->isSelected() && typeid(*node) != typeid(Box)) node->draw(ox, oy);
    glPopMatrix();
  }
  glPopAttrib();
}

void loadProjection(const ViewTransform& view) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluOrtho2D(view.left(), view.right(), view.bottom(), view.top());
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

void pushBitDrawing(unsigned more, bool fill) {
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_POLYGON_BIT | GL_LINE_BIT | more);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_DITHER);
  glDisable(GL_LINE_STIPPLE);
  if (fill) glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glEnable(GL_COLOR_LOGIC_OP);
  glLogicOp(GL_OR);
}

void VertexBuffer::flush() {
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

namespace {

void drawNode(GroupNode* node, const PixelMap& map) {
  DrawCorners c(cornersOf(*node), map.baseX, map.baseY);
  if (!map.usable || lineVisible(map, c.left(), c.low(), c.right(), c.high()))
    node->draw(map.baseX, map.baseY);
}

// The objects of a layer from list position from on, in the current colour
// and polygon mode: filled boxes that can cover a pixel centre, or outlines
// that can reach the canvas.
template <typename Visible, typename Out>
void drawObjects(const LayerCache& cache, uint32_t from, const PixelMap& map,
                 Visible visible, Out& out, SureFill sure = SureFill(), bool withOthers = true) {
  const uint16_t bit = (uint16_t)(1u << sure.layer);
  // Set once at the end, not per box: the two threads' flags may share a
  // cache line, and a store per box from each would bounce it between them.
  bool touched = false;
  auto send = [&](uint32_t position) __attribute__((always_inline)) {
    int x0, x1, y0, y1;
    auto setPixels = [&] {
      for (int y = y0; y <= y1; y++) {
        uint16_t* row = sure.plane + (size_t)y * map.width;
        for (int x = x0; x <= x1; x++) row[x] |= bit;
      }
      touched = true;
    };
    if (sure.table && sure.table->sure(cache.corners[position], x0, x1, y0, y1)) {
      setPixels();
      return;
    }
    DrawCorners c(cache.corners[position], map.baseX, map.baseY);
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
    // and is asked once per coordinate (Composer::resolveEdges).
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
    DrawCorners b(tile.bounds, map.baseX, map.baseY);
    allTiles = tile.begin == tile.end || !map.usable || lineVisible(map, b.x0, b.y0, b.x1, b.y1);
  }
  if (from == 0 && !allTiles) {
    for (const auto& tile : cache.tiles) {
      if (tile.begin == tile.end) continue;
      DrawCorners t(tile.bounds, map.baseX, map.baseY);
      if (map.usable && !lineVisible(map, t.x0, t.y0, t.x1, t.y1)) continue;
      // A tile's boxes lie all over the layer's corners: fetch ahead.
      for (uint32_t i = tile.begin; i < tile.end; i++) {
        if (i + PREFETCH_AHEAD < tile.end) __builtin_prefetch(&cache.corners[cache.order[i + PREFETCH_AHEAD]]);
        send(cache.order[i]);
      }
    }
  }
  uint32_t first = from == 0 && allTiles ? 0 : std::max(from, cache.sortedCount);
  for (uint32_t p = first; p < cache.corners.size(); p++)
    if (!cache.isOther(p)) send(p);
  out.flush();
  if (touched) *sure.touched = true;
  if (withOthers) drawOthers(cache, from, map);
}

}  // namespace

// Opts go in one batch of the segments Opt::draw draws: the four
// sides of their outline and the two diagonals.
void drawOthers(const LayerCache& cache, uint32_t from, const PixelMap& map) {
  std::vector<float> lines;
  for (const auto& o : cache.others) {
    if (o.position < from) continue;
    if (typeid(*o.node) != typeid(Opt)) {
      drawNode(o.node, map);
      continue;
    }
    DrawCorners c(cache.corners[o.position], map.baseX, map.baseY);
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

void drawFill(const Layer& layer, const LayerCache& cache, uint32_t from, const PixelMap& map,
              VertexBuffer& out, SureFill sure) {
  bool filled = layer.drawsFilled();
  glPolygonMode(GL_FRONT_AND_BACK, filled ? GL_FILL : GL_LINE);
  if (filled)
    drawObjects(cache, from, map, fillVisible, out, sure);
  else
    drawObjects(cache, from, map, lineVisible, out);
}

void sortFill(const LayerCache& cache, uint32_t from, const PixelMap& map, QuadList& out, SureFill sure) {
  drawObjects(cache, from, map, fillVisible, out, sure, false);
}

void drawSelection(const Layer& layer, const LayerCache& cache, const PixelMap& map,
                   VertexBuffer& out, DashMask mask) {
  if (!layer.isEnabled()) return;
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glDisable(GL_LINE_STIPPLE);
  auto dashesOf = [&](uint32_t p) __attribute__((always_inline)) {
    if (mask.bits) {
      forEachDash(map, cache.corners[p], [&](int x0, int y0, int x1, int y1) {
        for (int y = y0; y <= y1; y++) {
          uint32_t* row = mask.bits + (size_t)y * map.width;
          for (int x = x0; x <= x1; x++) row[x] |= mask.bit;
        }
      });
    } else {
      forEachDash(map, cache.corners[p], [&](int x0, int y0, int x1, int y1) {
        DashQuad q = dashQuad(map, x0, y0, x1, y1);
        out.push(DrawCorners(q.x0, q.y0, q.x1, q.y1));
      });
    }
  };
  if (cache.allBoxesSelected) {
    for (uint32_t p = 0; p < (uint32_t)cache.corners.size(); p++)
      if (!cache.isOther(p)) dashesOf(p);
  } else {
    for (uint32_t p : cache.selectedBoxes) dashesOf(p);
  }
  out.flush();
  glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
  glEnable(GL_LINE_STIPPLE);
  for (GroupNode* node : cache.selectedOthers) drawNode(node, map);
}

void drawLayerFast(const Layer& layer, const LayerCache& cache,
                   const ViewTransform& view, VertexBuffer& scratch) {
  if (layer.first() == nullptr || layer.isHidden()) return;
  PixelMap map = pixelMapFor(view);
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_STIPPLE_BIT | GL_POLYGON_BIT | GL_LINE_BIT);
  setColor(layer.getColor());
  beginLayerStyle(layer);
  drawFill(layer, cache, 0, map, scratch);
  glDisable(GL_POLYGON_STIPPLE);
  if (outlinesShown() && layer.drawsFilled()) {
    setColor(outlineColor(layer.getColor()));
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, OUTLINE_Z);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    drawObjects(cache, 0, map, lineVisible, scratch);
    glPopMatrix();
  }
  setColor(WHITE);
  glPushMatrix();
  glTranslatef(0.0f, 0.0f, SELECTION_Z);
  drawSelection(layer, cache, map, scratch);
  glPopMatrix();
  glPopAttrib();
}
