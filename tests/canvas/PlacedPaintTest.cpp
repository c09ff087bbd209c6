// Placed cells, pair layers and shapes other than rectangles: the fast
// painter paints the pixels of the flattened layout, as the plain loop does.
#include "CanvasPainterFixture.h"

namespace {

// A hierarchy of cells like a placed block: leaf cells of random shapes on
// several layers, a row cell placing them turned and mirrored, arrays of
// rows, and the shown cell placing those at offset, all but one selected;
// the shown cell's own objects are a random layout.
void buildHierarchy(KivoWindow* window, unsigned seed, int32_t offset, int array) {
  std::mt19937 rng(seed);
  // The named layers and two pair layers.
  std::uniform_int_distribution<int> pos(0, 40), size(0, 14), pick(0, NAMED_LAYER_COUNT + 1);
  auto slot = [&](std::mt19937& r) { int s = pick(r); return s < NAMED_LAYER_COUNT ? s : pairSlot(9200, s); };
  CellLibrary cells;
  for (int leaf = 0; leaf < 3; leaf++) {
    Cell& cell = cells.cell(cells.add("leaf" + std::to_string(leaf)));
    for (int k = 0; k < 12 + 8 * leaf; k++) {
      Box* box = new Box;
      box->setRect(pos(rng), pos(rng), size(rng), size(rng));
      cell.editLayer(slot(rng)).appendChain(box);
    }
    Opt* marker = new Opt;  // drawn as its outline and diagonals
    marker->setRect(pos(rng), pos(rng), 1 + size(rng), 1 + size(rng));
    cell.editLayer(LAYER_OPTIONS).appendChain(marker);
  }
  auto place = [&](uint32_t parent, uint32_t child, bool mirror, int quarter, int32_t x, int32_t y, int cols = 1,
                   int rows = 1, int32_t cx = 0, int32_t ry = 0) {
    Instance* inst = new Instance;
    inst->cell = child;
    inst->transform.mirrorX = mirror, inst->transform.quarterTurns = (uint8_t)quarter;
    inst->transform.x = x, inst->transform.y = y;
    inst->array.columns = (uint16_t)cols, inst->array.rows = (uint16_t)rows;
    inst->array.columnStep[0] = cx, inst->array.rowStep[1] = ry;
    inst->placeBounds(cells.cell(child).bounds());
    if (parent == 4 && x != offset) inst->select();
    cells.cell(parent).editLayer(LAYER_INSTANCES).appendChain(inst);
  };
  uint32_t row = cells.add("row"), top = cells.add("top");
  for (int k = 0; k < 8; k++) place(row, k % 3, k % 2, k % 4, 45 * k, (k % 2) * 40);
  place(row, 1, true, 0, 0, -50, 6, 1, 41);
  place(top, row, false, 0, offset, offset, array, array, 400, 95);
  place(top, row, true, 1, offset - 300, offset + 50, 2, 3, 0, 420);
  place(top, 2, false, 3, offset + 10, offset - 200, array * 4, array * 4, 37, 45);
  place(top, 0, true, 2, offset - 100, offset - 120);
  place(top, row, false, 0, offset - 250, offset - 350);  // turned by 30 degrees and magnified
  Instance* odd = static_cast<Instance*>(cells.cell(top).editLayer(LAYER_INSTANCES).first()->last());
  odd->transform.hasAngle = odd->transform.hasMagnification = true;
  odd->transform.angle = 30, odd->transform.magnification = 1.5;
  odd->placeBounds(cells.cell(row).bounds());
  cells.shown = top;
  Layer fresh[LAYER_COUNT];
  window->layout.replaceContent(fresh, "cells.gds", false, FORMAT_GDSII, GdsLibraryInfo(), &cells);
  fillRandomLayout(window, 300, seed, offset);
}

// The placed cells draw the pixels of their flattened shapes, the fast
// painter the plain one's, wherever they lie and whatever their size on the
// canvas (cells far below a pixel, arrays, turned and mirrored), with the
// shown cell's own objects and a layer in outline.
TEST_F(CanvasPainterTest, PlacedCellsPaintTheirFlattenedPixels) {
  for (int32_t offset : {0, 2147480000, -2147481000}) {
    buildHierarchy(window, 3, offset, 12);
    window->originX = offset - 700.25, window->originY = offset - 400.5, window->scale = 0.07f;
    EXPECT_EQ(fastAgainstPlain(), 0) << "whole, offset " << offset;
    std::mt19937 rng(offset & 0xFFFF);
    std::uniform_real_distribution<double> pos(-800, 5000), logScale(-4, 2.5);
    for (int i = 0; i < 8; i++) {
      window->originX = offset + pos(rng), window->originY = offset + pos(rng);
      window->scale = (float)std::exp(logScale(rng));
      if (i == 4) window->layout.toggleEnabled(6), window->layout.toggleEnabled(LAYER_OPTIONS);
      EXPECT_EQ(fastAgainstPlain(), 0) << window->originX << "," << window->originY << " x" << window->scale;
    }
    window->layout.toggleEnabled(6), window->layout.toggleEnabled(LAYER_OPTIONS);
    // The same picture from the document's own flattening, which copies
    // objects unselected.
    window->layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
    window->originX = offset - 700.25, window->originY = offset - 400.5, window->scale = 0.07f;
    auto hierarchy = paint();
    Layer flat[LAYER_COUNT];
    for (Layer& l : flat) l.enable();
    flattenCell(window->layout.cells(), window->layout.shownCell(), flat, UINT64_MAX);
    window->layout.replaceContent(flat, "flat.msk", false);
    EXPECT_EQ(differing(paint(), hierarchy), 0) << "flattened, offset " << offset;
  }
}

// Tens of thousands of cells in arrays below a pixel each: every pixel centre
// finds its shapes by division, and the picture stays the plain one's.
TEST_F(CanvasPainterTest, LargeArraysOfTinyCellsPaintTheSamePixels) {
  buildHierarchy(window, 8, -5000, 40);
  for (float scale : {0.0137f, 0.05f}) {
    window->originX = -5400.5, window->originY = -5300.75, window->scale = scale;
    EXPECT_EQ(fastAgainstPlain(), 0) << "x" << scale;
  }
}

}  // namespace

// Pair layers draw after the named ones, ordered by layer then datatype
// (not by when their slots were handed out), below the band; the fast path
// paints them exactly as the plain loop does.
TEST_F(CanvasPainterTest, PairLayersDrawInPairOrderAndAsThePlainLoop) {
  const int high = pairSlot(9000, 2), low = pairSlot(9000, 1);
  add(LAYER_METAL1, 0, 0, 40, 40), add(high, 10, 0, 40, 40), add(low, 20, 0, 40, 40);
  window->originX = window->originY = -10, window->scale = 4.0f;
  Rgba metal = blendOver(layerFacts(LAYER_METAL1).color, BLACK);
  EXPECT_EQ(at(paint(), colOf(25), rowOf(5)), blendOver(pairColor(9000, 2), blendOver(pairColor(9000, 1), metal)));
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> pos(-2000, 2000), size(1, 300), pick(0, 99);
  for (int i = 0; i < 6000; i++) {
    int p = pick(rng);
    add(p < 30 ? p % NAMED_LAYER_COUNT : pairSlot(9100 + p % 40, p % 3), pos(rng), pos(rng), p < 80 ? 1 + p % 4 : size(rng),
        p < 80 ? 1 + p % 3 : size(rng), false, p % 7 == 0);
  }
  window->layout.toggleEnabled(pairSlot(9105, 2));
  window->mouseRect.setRect(-100, -50, 300, 200);
  window->mouseRect.setMode(TRACK_SELECT);
  for (const auto& v : {std::vector<double>{-2100, -2100, 0.1}, {-300, -150, 1.0}, {-37, 400, 17.0}, {-1234.6, 77.2, 0.7}}) {
    window->originX = v[0], window->originY = v[1], window->scale = (float)v[2];
    EXPECT_EQ(fastAgainstPlain(), 0) << v[0] << "," << v[1] << " x" << v[2];
  }
  window->layout.applySelection(LAYER_METAL1, OP_TOGGLE, MATCH_ALL, nullptr);  // the kept masks follow
  add(low, -2000, -100, 3000, 50);
  EXPECT_EQ(fastAgainstPlain(), 0);
}

// Polygons and paths fill the pixels whose centres they hold, labels draw
// in the stroke font; both painters agree, selected or not, at any view.
TEST_F(CanvasPainterTest, PolygonsPathsAndLabelsPaintTheSamePixelsInBothPainters) {
  Polygon* triangle = new Polygon;
  triangle->setPoints({{0, 0}, {40, 0}, {0, 40}});
  Path* path = new Path;
  path->setPath({{0, 50}, {30, 80}, {60, 50}}, 5, ENDS_ROUND);
  Path* line = new Path;
  line->setPath({{50, 0}, {70, 30}}, 0, ENDS_FLUSH);
  Label* label = new Label;
  label->text = "VDD", label->anchor = {45, 45}, label->unitsPerMicrometre = 4;
  label->refresh();
  label->select(), path->select();
  window->layout.addObjects({{3, triangle}, {4, path}, {5, line}, {6, label}}, "added");
  window->originX = -5, window->originY = -5, window->scale = 4.0f;
  auto image = paint();
  const Rgba empty = at(image, colOf(30), rowOf(30));  // outside the triangle: x + y > 40
  EXPECT_TRUE(at(image, colOf(18), rowOf(20)) != empty && at(image, colOf(21), rowOf(20)) == empty);
  EXPECT_NE(at(image, colOf(30), rowOf(80) + 2), empty);  // the path's top
  struct View { double x, y; float scale; };
  const View views[] = {{-5, -5, 4.0f}, {-3.3, 7.7, 13.0f}, {-100, -100, 0.7f}, {20.25, 40.5, 80.0f}};
  for (const View& v : views) {
    window->originX = v.x, window->originY = v.y, window->scale = v.scale;
    EXPECT_EQ(fastAgainstPlain(), 0) << v.x << "," << v.y << " x" << v.scale;
  }
  // View > Labels: off takes the letters away, on brings them back.
  window->originX = -5, window->originY = -5, window->scale = 4.0f;
  const auto shown = paint();
  window->handle(window, FXSEL(SEL_COMMAND, KivoWindow::ID_VIEW_LABELS), nullptr);
  const auto hidden = paint();
  EXPECT_EQ(fastAgainstPlain(), 0);
  window->handle(window, FXSEL(SEL_COMMAND, KivoWindow::ID_VIEW_LABELS), nullptr);
  EXPECT_TRUE(differing(shown, hidden) > 0 && differing(shown, paint()) == 0);
}

// Inside placed cells, a 45-degree polygon, a round-ended diagonal path and
// a label paint the pixels of their flattened copies, also in a mirrored
// array and under a reference turned by 30 degrees and magnified, on named
// and pair layers, in both painters alike.
TEST_F(CanvasPainterTest, PlacedPolygonsPathsAndLabelsPaintTheirFlattenedPixels) {
  CellLibrary cells;
  const uint32_t leaf = cells.add("leaf"), top = cells.add("top");
  Polygon* diamond = new Polygon;
  diamond->setPoints({{0, 20}, {20, 0}, {40, 20}, {20, 40}});
  Polygon* triangle = new Polygon;
  triangle->setPoints({{50, 0}, {70, 0}, {50, 25}});
  Path* diagonal = new Path;
  diagonal->setPath({{0, 0}, {30, 30}, {60, 10}}, 6, ENDS_ROUND);
  Path* line = new Path;  // lights pixels with no centre near it
  line->setPath({{0, 60}, {50, 61}}, 0, ENDS_FLUSH);
  Label* label = new Label;
  label->text = "Q7", label->anchor = {10, 45}, label->unitsPerMicrometre = 6;
  label->refresh();
  Box* box = new Box;
  box->setRect(45, 30, 12, 20);
  cells.cell(leaf).editLayer(3).appendChain(diamond);
  cells.cell(leaf).editLayer(4).appendChain(diagonal);
  cells.cell(leaf).editLayer(6).appendChain(label);
  cells.cell(leaf).editLayer(7).appendChain(line);
  cells.cell(leaf).editLayer(5).appendChain(box);
  cells.cell(leaf).editLayer(pairSlot(9300, 1)).appendChain(triangle);
  auto place = [&](bool mirror, int quarter, int32_t x, int32_t y, double angle, double magnification) {
    Instance* inst = new Instance;
    inst->cell = leaf;
    inst->transform.mirrorX = mirror, inst->transform.quarterTurns = (uint8_t)quarter;
    inst->transform.x = x, inst->transform.y = y;
    inst->transform.hasAngle = inst->transform.hasMagnification = angle != 0;
    inst->transform.angle = angle, inst->transform.magnification = magnification;
    if (angle == 0) inst->array.columns = 3, inst->array.rows = 2, inst->array.columnStep[0] = 80, inst->array.rowStep[1] = 70;
    inst->placeBounds(cells.cell(leaf).bounds());
    cells.cell(top).editLayer(LAYER_INSTANCES).appendChain(inst);
  };
  place(false, 0, 0, 0, 0, 1);
  place(true, 1, -60, 300, 0, 1);
  place(false, 0, 350, 20, 30, 1.5);
  cells.shown = top;
  Layer fresh[LAYER_COUNT];
  window->layout.replaceContent(fresh, "cells.gds", false, FORMAT_GDSII, GdsLibraryInfo(), &cells);
  struct View { double x, y; float scale; };
  const View views[] = {{-20.5, -30.25, 1.9f}, {300.3, -10.7, 3.1f}, {-83.2, 150.6, 7.5f}, {-400, -400, 0.3f}};
  expectFlattenedPictures(4, [&](size_t k) {
    window->originX = views[k].x, window->originY = views[k].y, window->scale = views[k].scale;
  });
}

// Uneven arrays (each element rounded on its own) and absolute references
// under a magnified or a mirrored, turned parent paint in both painters
// the pixels of the flattened layout.
TEST_F(CanvasPainterTest, UnevenArraysAndAbsoluteReferencesPaintTheirFlattenedPixels) {
  CellLibrary cells;
  const uint32_t leaf = cells.add("leaf"), mid = cells.add("mid"), row = cells.add("row"), top = cells.add("top");
  Polygon* wedge = new Polygon;
  wedge->setPoints({{0, 0}, {9, 0}, {0, 5}});
  cells.cell(leaf).editLayer(3).appendChain(wedge), cells.cell(leaf).editLayer(5).appendChain(newLayoutObject(5));
  cells.cell(leaf).layer(5)->first()->setRect(2, 6, 5, 3);
  // Absolute when magnification is not 1; 3 x 2 elements when points are given.
  auto place = [&](uint32_t parent, uint32_t child, int32_t x, int32_t y, int quarter, bool mirror, double magnification,
                   std::vector<int32_t> points = {}) {
    Instance* inst = new Instance;
    CellTransform& t = inst->transform;
    inst->cell = child, t.x = x, t.y = y, t.quarterTurns = (uint8_t)quarter, t.mirrorX = mirror;
    t.magnification = magnification, t.hasMagnification = t.absoluteMagnification = t.absoluteAngle = magnification != 1;
    if (!points.empty()) inst->array.columns = 3, inst->array.rows = 2, inst->array.fromAref = true;
    std::copy(points.begin(), points.end(), inst->array.points);
    inst->placeBounds(cells);
    cells.cell(parent).editLayer(LAYER_INSTANCES).appendChain(inst);
  };
  place(mid, leaf, 20, 0, 0, false, 1.5), place(row, leaf, 0, 0, 0, false, 1, {0, 0, 37, 2, 3, 23});
  place(top, mid, 0, 0, 0, false, 2.5);  // absolute in the shown cell: as any other
  place(top, mid, 150, 0, 1, true, 1), place(top, row, 0, 80, 3, false, 1);
  place(top, leaf, 100, 100, 1, false, 1, {100, 100, 98, 137, 121, 103});
  cells.shown = top;
  Layer fresh[LAYER_COUNT];
  window->layout.replaceContent(fresh, "cells.gds", false, FORMAT_GDSII, GdsLibraryInfo(), &cells);
  const float scales[] = {0.8f, 2.3f, 5.1f};
  expectFlattenedPictures(3, [&](size_t k) { window->originX = -40.5, window->originY = -60.25, window->scale = scales[k]; });
}

// Cells placed side by side, whose rectangles abut within and across them
// on named and pair layers, paint the plain picture wherever the shared
// edges fall beside or near pixel centres.
TEST_F(CanvasPainterTest, AbuttingCellsPaintTheSamePixels) {
  CellLibrary cells;
  const uint32_t tile = cells.add("tile"), top = cells.add("top");
  const int boxes[][5] = {{3, 0, 0, 23, 3}, {3, 0, 17, 23, 3}, {2, 5, 3, 4, 14}, {2, 9, 3, 14, 14}, {-1, 0, 0, 23, 20}};
  for (const auto& b : boxes) {
    Box* box = new Box;
    box->setRect(b[1], b[2], b[3], b[4]);
    cells.cell(tile).editLayer(b[0] < 0 ? pairSlot(9400, 0) : b[0]).appendChain(box);
  }
  for (int k = 0; k < 2; k++) {
    Instance* inst = new Instance;
    inst->cell = tile, inst->transform.mirrorX = k == 1, inst->transform.y = k * 620;
    inst->array.columns = 40, inst->array.rows = 30, inst->array.columnStep[0] = 23, inst->array.rowStep[1] = 20;
    inst->placeBounds(cells.cell(tile).bounds());
    cells.cell(top).editLayer(LAYER_INSTANCES).appendChain(inst);
  }
  cells.shown = top;
  Layer fresh[LAYER_COUNT];
  window->layout.replaceContent(fresh, "tiles.gds", false, FORMAT_GDSII, GdsLibraryInfo(), &cells);
  // Edges on pixel centres (x = origin + (column + 0.5) / scale), and beside them.
  for (float scale : {1.0f, 0.5f, 2.0f, 0.37f, 1.3f}) {
    window->originX = window->originY = scale == 0.37f || scale == 1.3f ? -13.3 : -0.5 / scale;
    window->scale = scale;
    EXPECT_EQ(fastAgainstPlain(), 0) << "x" << scale;
  }
}
