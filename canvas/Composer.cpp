#include "canvas/Composer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "canvas/EdgeProbe.h"
#include "canvas/SecondThread.h"
#include "model/Layer.h"
#include "model/LayerStyle.h"

BlendState BlendState::current() {
  BlendState s;
  s.enabled = glIsEnabled(GL_BLEND);
  s.dither = glIsEnabled(GL_DITHER);
  glGetIntegerv(GL_BLEND_SRC, &s.source);
  glGetIntegerv(GL_BLEND_DST, &s.destination);
  glGetIntegerv(GL_DEPTH_FUNC, &s.depthFunc);
  glGetFloatv(GL_DEPTH_RANGE, s.depthRange);
  return s;
}

bool BlendState::operator==(const BlendState& o) const {
  return enabled == o.enabled && dither == o.dither && source == o.source && destination == o.destination &&
         depthFunc == o.depthFunc && depthRange[0] == o.depthRange[0] && depthRange[1] == o.depthRange[1];
}

namespace {

// Bits 0 to 13 of a pixel's mask hold the layers' fills, bits 16 to 29
// their selection outlines: each half fits the 16 bits of red and green.
const uint32_t SELECTION_SHIFT = 16;
const uint32_t FILL_BITS = (1u << NAMED_LAYER_COUNT) - 1;
// llvmpipe snaps vertices to 1/256 pixel, so it moves one by at most 1/512.
const double LLVMPIPE_SNAP = 1.0 / 512;
// Boxes that wait for resolveEdges: about a tenth at a whole view; the lists
// reserve an eighth of the boxes, since growing them would touch more
// memory than they hold.
const size_t PENDING_SHARE = 8;
// Colours of masks folded already, by a hash of the mask: few distinct
// masks recur over a canvas, and 4096 entries (a 12-bit hash) stay in the
// processor's cache.
const int MEMO_BITS = 12;
const uint32_t GOLDEN_HASH = 0x9E3779B1u;  // Fibonacci hashing: 2^32 / golden ratio

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

void setBitColor(int i) { glColor4ub(i < 8 ? 1 << i : 0, i < 8 ? 0 : 1 << (i - 8), 0, 0); }

bool Composer::canCompose(const ViewTransform& view) {
  if (supported < 0) {
    GLint red = 0, green = 0, depth = 0;
    glGetIntegerv(GL_RED_BITS, &red);
    glGetIntegerv(GL_GREEN_BITS, &green);
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    supported = red >= 8 && green >= 8 && depth > 0;
    const char* renderer = (const char*)glGetString(GL_RENDERER);
    llvmpipe = renderer && std::strncmp(renderer, "llvmpipe", 8) == 0;
    if (llvmpipe) snap = LLVMPIPE_SNAP;
  }
  return supported && view.width >= MIN_WIDTH && view.height >= MIN_HEIGHT;
}

bool Composer::composes(const Layer layers[NAMED_LAYER_COUNT]) const {
  if (outlinesShown()) return false;
  for (int i = 0; i < NAMED_LAYER_COUNT; i++)
    if (!layers[i].isHidden() && isStippleStyle(layers[i].getStyle())) return false;
  return true;
}

// The pair slots whose looks are learned besides the named layers': all
// of them, when every one fits the cell masks' words and the canvas holds
// their rows; none otherwise.
static int pairsToLearn(const ViewTransform& view) {
  const int pairs = layerSlotsInUse() - FIRST_PAIR_SLOT;
  return layerSlotsInUse() <= WIDE_SLOTS && NAMED_LAYER_COUNT + pairs + 2 <= view.height ? pairs : 0;
}

void Composer::learn(const ViewTransform& view, const Layer layers[LAYER_COUNT]) {
  Composer& c = *this;
  c.shownBits = 0;
  for (int i = 0; i < NAMED_LAYER_COUNT; i++)
    if (!layers[i].isHidden()) c.shownBits |= (1u << i) | (1u << (i + SELECTION_SHIFT));
  const BlendState state = BlendState::current();
  const int pairs = pairsToLearn(view);
  bool same = c.learned && c.learnedState == state && c.learnedPairs == pairs;
  for (int i = 0; i < NAMED_LAYER_COUNT + pairs; i++) same = same && c.learnedColors[i] == layers[i].getColor();
  if (same) return;
  // A row per colour: the named layers', white, the pair slots'.
  const int rows = NAMED_LAYER_COUNT + 1 + pairs;
  auto colourOf = [&](int row) {
    return row < NAMED_LAYER_COUNT ? layers[row].getColor() : row == NAMED_LAYER_COUNT ? WHITE : layers[row - 1].getColor();
  };
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
    setColor(colourOf(row));
    pixelRow(0, 256, row);
  }
  glReadPixels(0, 0, 256, rows, GL_RGBA, GL_UNSIGNED_BYTE, ramp.data());
  for (int row = 0; row < rows; row++)
    for (int v = 0; v < 256; v++)
      for (int ch = 0; ch < 4; ch++)
        (row <= NAMED_LAYER_COUNT ? c.blend[row] : c.pairBlend[row - NAMED_LAYER_COUNT - 1])[ch][v] =
            ramp[(row * 256 + v) * 4 + ch];

  // The depths, under the same translations as the layers' drawing: the
  // named layers' fills and selections, then the pair slots' places.
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_ALWAYS);
  glDepthMask(GL_TRUE);
  for (int i = 0; i < NAMED_LAYER_COUNT; i++) {
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, layerDepth(i));
    pixelRow(2 * i, 2 * i + 1, rows);
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, SELECTION_Z);
    pixelRow(2 * i + 1, 2 * i + 2, rows);
    glPopMatrix();
    glPopMatrix();
  }
  for (int k = 0; k < pairs; k++) {
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, layerDepth(NAMED_LAYER_COUNT + k));
    pixelRow(2 * NAMED_LAYER_COUNT + k, 2 * NAMED_LAYER_COUNT + k + 1, rows);
    glPopMatrix();
  }
  uint32_t depths[2 * NAMED_LAYER_COUNT + WIDE_SLOTS];
  glReadPixels(0, rows, 2 * NAMED_LAYER_COUNT + pairs, 1, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, depths);
  for (int i = 0; i < NAMED_LAYER_COUNT; i++) {
    c.fillDepth[i] = depths[2 * i];
    c.selectionDepth[i] = depths[2 * i + 1];
  }
  for (int k = 0; k < pairs; k++) c.pairDepth[k] = depths[2 * NAMED_LAYER_COUNT + k];
  for (int i = 0; i < NAMED_LAYER_COUNT + pairs; i++) c.learnedColors[i] = layers[i].getColor();
  glPopAttrib();
  if (spoiled)
    for (auto& row : c.blend) row[0][0] ^= 0x40;
  c.learnedState = state;
  c.learnedPairs = pairs;
  c.learned = glGetError() == GL_NO_ERROR;
}

bool Composer::foldsPairs(const Layer layers[LAYER_COUNT], const CellScene& scene) const {
  const SceneCell& top = scene.top();
  if (!learned || top.highPairsBelow || layerSlotsInUse() - FIRST_PAIR_SLOT != learnedPairs) return false;
  const uint64_t present = top.areaSlotsBelow | top.labelSlotsBelow;
  for (int i = FIRST_PAIR_SLOT; i < layerSlotsInUse(); i++) {
    if (layers[i].first()) return false;  // the layer's own objects are drawn from its cache
    if ((present >> i & 1) && !layers[i].isHidden() &&
        (!layers[i].drawsFilled() || isStippleStyle(layers[i].getStyle())))
      return false;
  }
  return true;
}

// Each pixel's pair slots in drawing order over the composed colour, each
// blended where its depth is nearer than the one stored (the depth buffer
// starts cleared over the composed picture).
// Colours are remembered by composed colour and slots, as in fold.
void Composer::foldPairs(size_t n, const Layer layers[LAYER_COUNT], const uint64_t* wide) {
  const std::vector<int> order = drawingOrder();
  uint64_t shown = 0;
  for (int i = FIRST_PAIR_SLOT; i < layerSlotsInUse(); i++) shown |= layers[i].isHidden() ? 0 : 1ull << i;
  const int MEMO = 1 << MEMO_BITS;
  std::vector<uint64_t> memoBits(MEMO, 0);
  std::vector<uint32_t> memoFrom(MEMO), memoColor(MEMO);
  std::vector<bool> memoUsed(MEMO, false);
  uint32_t* out = reinterpret_cast<uint32_t*>(pixels.data());
  const int places = std::min(learnedPairs, (int)order.size() - NAMED_LAYER_COUNT);
  for (size_t p = 0; p < n; p++) {
    const uint64_t b = wide[p] & shown;
    if (!b) continue;
    const uint32_t from = out[p];
    const uint32_t slot = (uint32_t)((b ^ (b >> 32) ^ from) * GOLDEN_HASH) >> (32 - MEMO_BITS);
    if (!memoUsed[slot] || memoBits[slot] != b || memoFrom[slot] != from) {
      uint8_t rgba[4];
      std::memcpy(rgba, &from, 4);
      uint32_t depth = UINT32_MAX;
      for (int k = 0; k < places; k++) {
        const int s = order[NAMED_LAYER_COUNT + k];
        if (!(b >> s & 1) || pairDepth[k] >= depth) continue;
        for (int ch = 0; ch < 4; ch++) rgba[ch] = pairBlend[s - FIRST_PAIR_SLOT][ch][rgba[ch]];
        depth = pairDepth[k];
      }
      memoUsed[slot] = true, memoBits[slot] = b, memoFrom[slot] = from;
      std::memcpy(&memoColor[slot], rgba, 4);
    }
    out[p] = memoColor[slot];
  }
}

// Ask OpenGL how it decides at each edge coordinate of the waiting boxes
// (EdgeProbe), then set the boxes' pixels. Edges whose probe finds no free
// row are drawn by OpenGL.
void Composer::resolveEdges(const ViewTransform& view, const LayerCache caches[NAMED_LAYER_COUNT],
                            VertexBuffer& vertices) {
  Composer& c = *this;
  PixelMap map = pixelMapFor(view, c.snap);
  BigVector<ProbedSpan> spans;
  probeEdges(view, map, vertices, c.pending.data(), c.pending.size(), spans);
  pushBitDrawing(0, true);
  bool drawn = false;
  uint32_t* bits = c.bits.data();
  for (size_t k = 0; k < c.pending.size(); k++) {
    const EdgeBox& b = c.pending[k];
    if (!spans[k].asked) {
      setBitColor(b.layer);
      vertices.push(DrawCorners(caches[b.layer].corners[b.position], map.baseX, map.baseY));
      vertices.flush();
      drawn = true;
      continue;
    }
    setProbedPixels(bits, view.width, b, spans[k], (uint32_t)1 << b.layer);
  }
  BigVector<EdgeBox>().swap(c.pending);
  glPopAttrib();
  if (!drawn) return;
  size_t n = (size_t)view.width * view.height;
  glReadPixels(0, 0, view.width, view.height, GL_RGBA, GL_UNSIGNED_BYTE, c.pixels.data());
  const uint8_t* px = c.pixels.data();
  for (size_t p = 0; p < n; p++, px += 4) bits[p] |= (uint32_t)px[0] | (uint32_t)px[1] << 8;
}


void Composer::drawMasks(const ViewTransform& view, const Layer layers[NAMED_LAYER_COUNT],
                         const LayerCache caches[NAMED_LAYER_COUNT], VertexBuffer& vertices,
                         const bool chosen[NAMED_LAYER_COUNT], const uint32_t from[NAMED_LAYER_COUNT], bool selection) {
  Composer& c = *this;
  uint32_t keep = ~0u;
  bool any = false;
  for (int i = 0; i < NAMED_LAYER_COUNT; i++) {
    if (!chosen[i]) continue;
    any = true;
    if (selection || from[i] == 0) keep &= ~(1u << (i + (selection ? SELECTION_SHIFT : 0)));
  }
  if (!any) return;
  size_t n = (size_t)view.width * view.height;
  for (size_t p = 0; p < n; p++) c.bits[p] &= keep;
  // Layers without objects leave their bits cleared: OpenGL has nothing
  // to draw for them.
  bool objects = false;
  for (int i = 0; i < NAMED_LAYER_COUNT; i++) objects = objects || (chosen[i] && layers[i].first());
  if (!objects) return;
  glClear(GL_COLOR_BUFFER_BIT);
  loadProjection(view);
  pushBitDrawing(0, false);
  PixelMap map = pixelMapFor(view, c.snap);
  // Asking pays where few coordinates fall near each centre: a unit is
  // wider than the band around a centre.
  bool askEdges = c.llvmpipe && map.usable && map.kx > 2 * map.sureMarginX &&
                  map.ky > 2 * map.sureMarginY && view.width < 32768 && view.height < 32768;
  // With many boxes to fill, a second thread sorts about half of them
  // (whole enabled layers) into certain pixels, edges to ask about and
  // quads, which this thread, the owner of the context, draws after it.
  struct Share {
    bool layers[NAMED_LAYER_COUNT] = {};
    BigVector<EdgeBox> pending;
    QuadList quads[NAMED_LAYER_COUNT];
  } theirs;
  auto boxesOf = [&](int i) { return caches[i].corners.size() - std::min<size_t>(from[i], caches[i].corners.size()); };
  auto shareable = [&](int i) { return !selection && chosen[i] && layers[i].first() && layers[i].drawsFilled(); };
  // Only where most boxes are settled on the CPU: at views so small that
  // they go to OpenGL, the kept quads would cost more than the thread gains.
  size_t work[NAMED_LAYER_COUNT] = {};
  for (int i = 0; i < NAMED_LAYER_COUNT && askEdges; i++)
    if (shareable(i)) work[i] = boxesOf(i);
  size_t given = shareLayers(work, theirs.layers, NAMED_LAYER_COUNT);
  Rect bounds;
  size_t boxes = 0;
  for (int i = 0; i < NAMED_LAYER_COUNT; i++) {
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
    c.pending.reserve(boxes / PENDING_SHARE);
    theirs.pending.reserve(given / PENDING_SHARE);
  }
  bool theyTouched = false, touched = false;
  auto sortTheirs = [&] {
    c.theirPlane.resize(n);
    for (int i = 0; i < NAMED_LAYER_COUNT; i++) {
      if (!theirs.layers[i]) continue;
      sortFill(caches[i], from[i], map, theirs.quads[i],
               SureFill{c.theirPlane.data(), &theyTouched, askEdges ? &theirs.pending : nullptr, i, edges});
    }
  };
  auto drawMine = [&] {
    for (int i = 0; i < NAMED_LAYER_COUNT; i++) {
      if (!chosen[i] || theirs.layers[i]) continue;
      setBitColor(i);
      if (selection) {
        drawSelection(layers[i], caches[i], map, vertices, DashMask{c.bits.data(), 1u << (i + SELECTION_SHIFT)});
        continue;
      }
      if (layers[i].first() == nullptr) continue;
      c.plane.resize(n);
      drawFill(layers[i], caches[i], from[i], map, vertices,
               SureFill{c.plane.data(), &touched, askEdges ? &c.pending : nullptr, i, edges});
    }
    if (touched) merge(c.plane);
  };
  runBeside(given > 0, sortTheirs, drawMine);
  if (given > 0) {
    if (theyTouched) merge(c.theirPlane);
    c.pending.insert(c.pending.end(), theirs.pending.begin(), theirs.pending.end());
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    for (int i = 0; i < NAMED_LAYER_COUNT; i++) {
      if (!theirs.layers[i]) continue;
      setBitColor(i);
      for (const DrawCorners& q : theirs.quads[i].quads) vertices.push(q);
      vertices.flush();
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
  if (!c.pending.empty()) resolveEdges(view, caches, vertices);
}


// Fold the layers over each pixel; few distinct masks recur over the
// canvas, so the colours are remembered in a small table by mask.
void Composer::fold(size_t n, const uint16_t* placed, const uint8_t* outlines) {
  Composer& c = *this;
  c.pixels.resize(n * 4);
  const uint32_t EMPTY = ~0u;  // bits 14, 15, 30 and 31 are never set
  std::vector<uint32_t> memoBits(1u << MEMO_BITS, EMPTY), memoColor(1u << MEMO_BITS);
  uint32_t* out = reinterpret_cast<uint32_t*>(c.pixels.data());
  for (size_t p = 0; p < n; p++) {
    uint32_t b = c.bits[p] & c.shownBits;
    if (placed) b |= (placed[p] & FILL_BITS & c.shownBits) | (uint32_t)outlines[p] << (SELECTION_SHIFT + NAMED_LAYER_COUNT - 1);
    uint32_t slot = (b * GOLDEN_HASH) >> (32 - MEMO_BITS);
    if (memoBits[slot] != b) {
      uint8_t rgba[4] = {0, 0, 0, 0};
      uint32_t depth = UINT32_MAX;
      for (int i = 0; i < NAMED_LAYER_COUNT; i++) {
        if ((b >> i & 1) && c.fillDepth[i] < depth) {
          for (int ch = 0; ch < 4; ch++) rgba[ch] = c.blend[i][ch][rgba[ch]];
          depth = c.fillDepth[i];
        }
        if ((b >> (i + SELECTION_SHIFT) & 1) && c.selectionDepth[i] < depth) {
          for (int ch = 0; ch < 4; ch++) rgba[ch] = c.blend[NAMED_LAYER_COUNT][ch][rgba[ch]];
          depth = c.selectionDepth[i];
        }
      }
      memoBits[slot] = b;
      std::memcpy(&memoColor[slot], rgba, 4);
    }
    out[p] = memoColor[slot];
  }
}
