#include "canvas/CanvasPainter.h"

#include "canvas/ShapeFill.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "canvas/CellMasks.h"
#include "canvas/CellSceneSync.h"
#include "canvas/Composer.h"
#include "canvas/KeptPicture.h"
#include "canvas/LayerCache.h"
#include "canvas/LayerDrawing.h"
#include "canvas/SecondThread.h"
#include "model/Layer.h"
#include "model/MouseRect.h"

namespace {

// Depths of the crosshair and the band: nearer than every layer (see
// layerDepth), so both cover the layers, the crosshair over the band.
const float CROSSHAIR_Z = 0.99f;
const float BAND_Z = 0.95f;

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

// How far outside the canvas a band's clamped sides lie, in pixels.
const double BAND_CLAMP_PIXELS = 2.0;

void drawBand(const ViewTransform& view, MouseRect& band) {
  if (band.getMode() == 0) return;
  glColor4ub(0, 255, 0, 255);
  glPushMatrix();
  glTranslatef(0.0f, 0.0f, BAND_Z);
  // Each side its own line, pulled to just outside the canvas where it
  // reaches beyond: a dashed side then starts its dashes at its own end in
  // reach, not wherever the clipper or the side before left the count.
  const double margin = BAND_CLAMP_PIXELS / view.scale;
  auto clamp = [](double v, double lo, double hi) { return std::min(std::max(v, lo), hi); };
  const int64_t bx = view.baseX(), by = view.baseY();
  const double lo = view.left() - margin, hi = view.right() + margin;
  const double bottom = view.bottom() - margin, top = view.top() + margin;
  const double x0 = clamp((double)band.getX() - bx, lo, hi);
  const double x1 = clamp((double)((int64_t)band.getX() + band.getW()) - bx, lo, hi);
  const double y0 = clamp((double)band.getY() - by, bottom, top);
  const double y1 = clamp((double)((int64_t)band.getY() + band.getH()) - by, bottom, top);
  glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT);
  if ((band.getMode() & 0xF00) == TRACK_SELECT_FAMILY)
    glEnable(GL_LINE_STIPPLE);
  else
    glDisable(GL_LINE_STIPPLE);
  glBegin(GL_LINES);
  glVertex2d(x0, y0), glVertex2d(x1, y0);
  glVertex2d(x1, y0), glVertex2d(x1, y1);
  glVertex2d(x1, y1), glVertex2d(x0, y1);
  glVertex2d(x0, y1), glVertex2d(x0, y0);
  glEnd();
  glPopAttrib();
  glPopMatrix();
}

// The view of the test scene: 1.7 pixels a unit from a fractional origin,
// so that edges fall both between and near pixel centres, and the largest
// boxes (400 units) leave the canvas on the right and at the top.
const double CHECK_ORIGIN = -3.3;
const float CHECK_SCALE = 1.7f;
// The stipple of the test scene: the cross-hatch has dots and diagonals,
// so it catches a pattern laid out from another corner in either direction.
const int CHECK_STIPPLE = STYLE_STIPPLE1 + 3;

// The frame being drawn, as OpenGL holds it.
std::vector<uint8_t> readFrame(const ViewTransform& view) {
  GLint drawBuffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
  glReadBuffer((GLenum)drawBuffer);
  std::vector<uint8_t> pixels((size_t)std::max(view.width, 0) * std::max(view.height, 0) * 4);
  glReadPixels(0, 0, view.width, view.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

// Bring the caches of the chosen layers up to date, noting in changes what
// each update found. A cache follows its layer's record of changes where
// it can; the other layers are walked side by side.
void walkLayers(LayerCache* caches, const Layer* layers, const CornerHandOver* handOver,
                const bool chosen[LAYER_COUNT], int* changes) {
  bool walk[LAYER_COUNT] = {};
  const int slots = layerSlotsInUse();
  for (int i = 0; i < slots; i++) {
    if (!chosen[i]) continue;
    LayerCache::Change change;
    if (caches[i].follow(layers[i], i, handOver, change)) {
      changes[i] = change;
      continue;
    }
    walk[i] = true;
    caches[i].begin(layers[i]);
  }
  walkSideBySide(layers, walk, slots, [caches](int i, GroupNode* const* nodes, uint32_t n) {
    caches[i].feed(nodes, n);
  });
  for (int i = 0; i < slots; i++)
    if (walk[i]) changes[i] = caches[i].finish();
}

// Whether a pair layer of the shown cell holds objects: the masks then
// cannot compose the whole picture.
bool pairLayersHoldObjects(const Layer layers[LAYER_COUNT]) {
  for (int i = FIRST_PAIR_SLOT, n = layerSlotsInUse(); i < n; i++)
    if (layers[i].first()) return true;
  return false;
}

}  // namespace

CanvasPainter::CanvasPainter()
    : caches(new LayerCache[LAYER_COUNT]), vertices(new VertexBuffer), composer(new Composer),
      picture(new KeptPicture), cellMasks(new CellMasks) {}

CanvasPainter::~CanvasPainter() {
  delete[] caches;
  delete vertices;
  delete composer;
  delete picture;
  delete cellMasks;
}

void CanvasPainter::invalidate() {
  picture->forget();
  cellMasks->forget();
  composer->valid = false;
  for (int i = 0; i < LAYER_COUNT; i++) caches[i] = LayerCache();
}

// The painter's helper threads never outlive a paint (runBeside joins
// them), so only OpenGL's objects and the memory are left to free.
void CanvasPainter::releaseGL() {
  picture->release();
  invalidate();
  bool spoiled = composer->spoiled;
  delete composer;
  composer = new Composer;
  composer->spoiled = spoiled;
  checked = false;
}

void CanvasPainter::spoilCompositionForTest() {
  composer->spoiled = true;
  composer->learned = false;
  checked = false;
  invalidate();
}

void CanvasPainter::forgetPicture() {
  picture->forget();
  cellMasks->forget();
  composer->valid = false;
}

void CanvasPainter::paint(const ViewTransform& view, const Layer layers[LAYER_COUNT],
                          const CornerHandOver& takeCorners, MouseRect& band, const CellScene* cells) {
  setCanvasState(view);
  if (!reference && !checked) checkFastPath(view, layers);
  paintShapesIn(&view);
  handOver = &takeCorners;
  scene = cells && cells->hasPlacements() ? cells : nullptr;
  if (reference || !trusted)
    paintReference(view, layers, band);
  else
    paintFast(view, layers, band);
  handOver = nullptr;
  scene = nullptr;
  paintShapesIn(nullptr);
}

void CanvasPainter::paintLayers(const ViewTransform& view, const Layer layers[LAYER_COUNT],
                                const CornerHandOver& takeCorners, const CellScene* cells) {
  MouseRect none;
  overlays = false;
  paint(view, layers, takeCorners, none, cells);
  overlays = true;
}

// Crosshair and band first, then the layers.
void CanvasPainter::paintReference(const ViewTransform& view, const Layer layers[LAYER_COUNT],
                                   MouseRect& band) {
  beginFrame(view);
  if (overlays) drawCrosshair(view, band), drawBand(view, band);
  drawPicturePlain(view, layers);
  ++layerRenders;
}

// The layers back to front, each object in immediate mode.
void CanvasPainter::drawPicturePlain(const ViewTransform& view, const Layer layers[LAYER_COUNT]) {
  const std::vector<int> order = drawingOrder();
  const PixelMap map = pixelMapFor(view);
  for (size_t place = 0; place < order.size(); place++) {
    const int i = order[place];
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, layerDepth((int)place));
    drawScenePlain(view, layers[i], i, true);
    drawLayerPlain(layers[i], map);
    drawScenePlain(view, layers[i], i, false);
    glPopMatrix();
  }
}

void CanvasPainter::drawScenePlain(const ViewTransform& view, const Layer& layer, int i, bool before,
                                   const GatheredShapes* gathered) {
  if (!scene || (!before && i != OUTLINE_LAYER) || (before && layer.isHidden())) return;
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_BIT | GL_LINE_BIT | GL_CURRENT_BIT | GL_POLYGON_STIPPLE_BIT);
  glPushMatrix();
  if (before) {
    // In the layer's style, then under View > Outlines outlined again.
    // The runs the masks decided hold filled pixels only: outlines of
    // those slots walk the hierarchy, which gathered them not.
    auto shapes = [&](bool filled) {
      bool runs = pairRunsReady && i >= FIRST_PAIR_SLOT && i < WIDE_SLOTS;
      if (runs && filled)
        cellMasks->drawPairRuns(i, view);
      else if (gathered && !runs)
        drawGatheredShapes(*gathered, view, filled);
      else
        drawPlacedShapes(*scene, view, i, filled);
    };
    setColor(layer.getColor());
    beginLayerStyle(layer);
    shapes(layer.drawsFilled());
    glDisable(GL_POLYGON_STIPPLE);
    if (outlinesShown() && layer.drawsFilled()) {
      setColor(outlineColor(layer.getColor()));
      glTranslatef(0.0f, 0.0f, OUTLINE_Z);
      shapes(false);
    }
  } else {
    setColor(WHITE);
    glTranslatef(0.0f, 0.0f, SELECTION_Z);
    drawPlacementOutlines(*scene, view);
  }
  glPopMatrix();
  glPopAttrib();
}

// The layers' picture composed from the masks, or drawn from the caches
// where the frame buffer cannot hold the masks; kept either way. The masks
// hold the named layers; the pair layers, all drawn after them, are drawn
// from the caches over the composed picture, as the plain loop draws them
// over the named layers: every named depth lies below every pair depth.
void CanvasPainter::drawPictureFast(const ViewTransform& view, const Layer layers[LAYER_COUNT],
                                    const PictureKey& key) {
  pairRunsReady = pairsFolded = false;
  if (composeLayers(view, layers, key)) {
    picture->restore(view);
    if (!pairsFolded &&
        (pairLayersHoldObjects(layers) || (scene && scene->hasPlacements() && scene->top().pairsBelow))) {
      glDisable(GL_LINE_STIPPLE);
      drawLayersFast(view, layers, NAMED_LAYER_COUNT);
      picture->keep(view, key);
    }
    return;
  }
  beginFrame(view);
  glDisable(GL_LINE_STIPPLE);
  drawLayersFast(view, layers);
  picture->keep(view, key);
}

// The fast path proves itself where it runs: the first paint draws a small
// scene with every kind of object, overlapping in every order, both ways,
// and keeps the fast path only when every pixel agrees. The software
// rasteriser also compiles code for each combination of states the first
// time it draws with it, tens of milliseconds each, so the first frame of a
// file opened later does not pay for it. The frame is cleared and drawn for
// real afterwards.
void CanvasPainter::checkFastPath(const ViewTransform& view, const Layer layers[LAYER_COUNT]) {
  checked = true;
  ViewTransform probe = view;
  probe.originX = probe.originY = CHECK_ORIGIN;
  probe.scale = CHECK_SCALE;
  Layer scene[LAYER_COUNT];
  // The pair slots' colours too, which the composer learns with the
  // named layers'.
  for (int i = FIRST_PAIR_SLOT; i < LAYER_COUNT; i++) scene[i].setColor(layers[i].getColor());
  for (int i = 0; i < NAMED_LAYER_COUNT; i++) {
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
  // Placed cells too, in a mirrored and turned array, with their slanted
  // shapes and labels.
  CellScene cells;
  sampleCellScene(cells);
  this->scene = &cells;
  paintShapesIn(&probe);
  PictureKey key(probe, scene);
  key.scene = &cells;
  key.sceneRevision = cells.revision;
  drawPictureFast(probe, scene, key);
  std::vector<uint8_t> fast = readFrame(probe);
  beginFrame(probe);
  drawPicturePlain(probe, scene);
  trusted = readFrame(probe) == fast;
  // Once more with an outlined and a stippled layer, which the fast path
  // draws from its caches rather than from the masks.
  scene[LAYER_METAL1].setStyle(STYLE_OUTLINE);
  scene[LAYER_POLY].setStyle(CHECK_STIPPLE);
  PictureKey styled(probe, scene);
  styled.scene = &cells;
  styled.sceneRevision = cells.revision;
  beginFrame(probe);
  drawPictureFast(probe, scene, styled);
  fast = readFrame(probe);
  beginFrame(probe);
  drawPicturePlain(probe, scene);
  trusted = trusted && readFrame(probe) == fast;
  paintShapesIn(nullptr);
  this->scene = nullptr;
  if (!trusted)
    std::fprintf(stderr, "kivo: the fast painter's test picture differs from the plain one on this "
                         "display; painting plainly\n");
  // The second thread's plane too, so that the first large frame does not
  // wait for its memory.
  size_t n = (size_t)std::max(view.width, 0) * (size_t)std::max(view.height, 0);
  composer->theirPlane.assign(n, 0);
  cellMasks->reserve(n);
  invalidate();
  setCanvasState(view);
}

// The layers from the kept picture when nothing they depend on changed,
// else drawn again and kept; then crosshair and band over them. Both are
// opaque and nearer than any layer, so the order gives the reference's
// pixels.
void CanvasPainter::paintFast(const ViewTransform& view, const Layer layers[LAYER_COUNT],
                              MouseRect& band) {
  PictureKey key(view, layers);
  key.scene = scene;
  key.sceneRevision = scene ? scene->revision : 0;
  key.selectionRevision = scene ? scene->selectionRevision : 0;
  if (picture->shows(key)) {
    picture->restore(view);
  } else {
    drawPictureFast(view, layers, key);
    ++layerRenders;
  }
  if (overlays) drawCrosshair(view, band), drawBand(view, band);
}

// Sort the layers that this view does not hold whole: culling pays there.
// Many boxes are shared with a second thread, whole layers each.
void CanvasPainter::sortWhereCulled(const ViewTransform& view, const Layer layers[LAYER_COUNT]) {
  double left = view.originX, bottom = view.originY;
  double right = left + view.width / (double)view.scale, top = bottom + view.height / (double)view.scale;
  bool sort[LAYER_COUNT] = {}, theirs[LAYER_COUNT] = {};
  size_t work[LAYER_COUNT] = {};
  const int slots = layerSlotsInUse();
  for (int i = 0; i < slots; i++) {
    const Layer& l = layers[i];
    bool whole = l.getX() >= left && l.getY() >= bottom && (double)l.getX() + l.getW() <= right &&
                 (double)l.getY() + l.getH() <= top;
    sort[i] = caches[i].unsorted && !whole;
    if (sort[i]) work[i] = caches[i].corners.size();
  }
  auto sortChosen = [this, &sort, slots](const bool* chosen) {
    for (int i = 0; i < slots; i++)
      if (sort[i] && chosen[i]) caches[i].sortTiles();
  };
  bool mine[LAYER_COUNT];
  bool beside = shareLayers(work, theirs) > 0;
  for (int i = 0; i < LAYER_COUNT; i++) mine[i] = !theirs[i];
  runBeside(beside, [&] { sortChosen(theirs); }, [&] { sortChosen(mine); });
}

void CanvasPainter::drawLayersFast(const ViewTransform& view, const Layer layers[LAYER_COUNT], size_t from) {
  updateCaches(layers);
  sortWhereCulled(view, layers);
  const std::vector<int> order = drawingOrder();
  std::vector<GatheredShapes> pairShapes;
  if (scene) gatherPairShapes(*scene, view, pairShapes, pairRunsReady ? WIDE_SLOTS : FIRST_PAIR_SLOT);
  for (size_t place = from; place < order.size(); place++) {
    const int i = order[place];
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, layerDepth((int)place));
    drawScenePlain(view, layers[i], i, true, i >= FIRST_PAIR_SLOT && scene ? &pairShapes[i] : nullptr);
    drawLayerFast(layers[i], caches[i], view, *vertices);
    drawScenePlain(view, layers[i], i, false);
    glPopMatrix();
  }
  // Caches that followed changes here left the masks behind them; over a
  // composed picture (from > 0) the composition brought them up to date.
  if (from == 0) composer->valid = false;
}

// Bring every layer's cache up to date. When many objects are to be walked,
// a second thread takes about half of them, whole layers each: the walks
// wait on memory, and each cache is touched by one thread only.
void CanvasPainter::updateCaches(const Layer layers[LAYER_COUNT], int* changes) {
  bool changed[LAYER_COUNT] = {}, mine[LAYER_COUNT] = {}, theirs[LAYER_COUNT] = {};
  int found[LAYER_COUNT];
  size_t work[LAYER_COUNT] = {};
  std::fill(found, found + LAYER_COUNT, (int)LayerCache::SAME);
  for (int i = 0, n = layerSlotsInUse(); i < n; i++) {
    found[i] = LayerCache::SAME;
    changed[i] = !caches[i].isCurrent(layers[i]);
    if (changed[i]) work[i] = layers[i].size();
  }
  size_t given = shareLayers(work, theirs);
  for (int i = 0; i < LAYER_COUNT; i++) mine[i] = changed[i] && !theirs[i];
  runBeside(given > 0, [&] { walkLayers(caches, layers, handOver, theirs, found); },
            [&] { walkLayers(caches, layers, handOver, mine, found); });
  if (changes) std::copy(found, found + LAYER_COUNT, changes);
}

// Compose the layers' picture into the kept texture from the masks,
// redrawing the masks that changed; false where the frame buffer cannot
// hold them (the caller then draws the layers).
bool CanvasPainter::composeLayers(const ViewTransform& view, const Layer layers[LAYER_COUNT],
                                  const PictureKey& key) {
  Composer& c = *composer;
  if (!c.composes(layers) || !c.canCompose(view) || !picture->ensureTexture(view)) return false;
  glViewport(0, 0, view.width, view.height);
  GLint drawBuffer = GL_BACK;
  glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
  glReadBuffer((GLenum)drawBuffer);
  c.learn(view, layers);
  if (!c.learned) return false;

  bool sameView = c.valid && c.view == ViewKey(view, layers);
  bool fills[LAYER_COUNT], outlines[LAYER_COUNT];
  uint32_t from[LAYER_COUNT];
  int changes[LAYER_COUNT];
  updateCaches(layers, changes);
  sortWhereCulled(view, layers);
  for (int i = 0; i < NAMED_LAYER_COUNT; i++) {
    auto change = (LayerCache::Change)changes[i];
    if (!sameView) change = LayerCache::REBUILT;
    fills[i] = change == LayerCache::REBUILT || change == LayerCache::APPENDED;
    outlines[i] = change != LayerCache::SAME;
    from[i] = change == LayerCache::APPENDED ? caches[i].appendedFrom : 0;
  }
  size_t n = (size_t)view.width * view.height;
  if (!sameView) c.bits.assign(n, 0);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  c.drawMasks(view, layers, caches, *vertices, fills, from, false);
  c.drawMasks(view, layers, caches, *vertices, outlines, from, true);
  c.valid = glGetError() == GL_NO_ERROR;
  if (!c.valid) return false;
  c.view = ViewKey(view, layers);
  if (scene) {
    bool enabled[LAYER_COUNT];
    for (int i = 0; i < LAYER_COUNT; i++) enabled[i] = layers[i].drawsFilled();
    cellMasks->update(view, *scene, enabled, c.snap, *vertices);
    if (glGetError() != GL_NO_ERROR) return false;
    pairRunsReady = true;
  }
  c.fold(n, scene ? cellMasks->plane.data() : nullptr, scene ? cellMasks->outlines.data() : nullptr);
  pairsFolded = scene && scene->top().pairsBelow && c.foldsPairs(layers, *scene);
  if (pairsFolded) c.foldPairs(n, layers, cellMasks->wide.data());
  picture->upload(view, key, c.pixels.data());
  return picture->isValid();
}
