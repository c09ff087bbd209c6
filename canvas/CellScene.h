#ifndef KIVO_CELLSCENE_H
#define KIVO_CELLSCENE_H

// The cell hierarchy as the painter reads it: per cell its own shapes per
// layer slot, in cell coordinates, and its placements of other cells (single
// instances or arrays) with integral transforms. A placed shape's corners are
// the exact transform of its cell's corners, wrapped to 32 bits as the
// flattened layout holds them. Each cell keeps grids of its shapes and
// placements, so that the shapes near a point are found without visiting
// the others; an array finds its elements near a point by division.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "canvas/CoverTable.h"
#include "model/GroupNode.h"
#include "model/LayerTable.h"

// An integral orientation (mirror about x, then a quarter turn) as the
// matrix x' = a x + b y, y' = c x + d y, and an offset added after it.
struct PlaceTransform {
  int a = 1, b = 0, c = 0, d = 1;
  int64_t dx = 0, dy = 0;
  // Mirrored about x first when mirror, then turned by quarter * 90 degrees
  // counter-clockwise, then moved by (x, y): GDSII's order.
  static PlaceTransform of(bool mirror, int quarter, int64_t x, int64_t y);
  int64_t x(int64_t u, int64_t v) const { return a * u + b * v + dx; }
  int64_t y(int64_t u, int64_t v) const { return c * u + d * v + dy; }
  // This transform applied after inner.
  PlaceTransform after(const PlaceTransform& in) const {
    PlaceTransform t;
    t.a = a * in.a + b * in.c, t.b = a * in.b + b * in.d;
    t.c = c * in.a + d * in.c, t.d = c * in.b + d * in.d;
    t.dx = x(in.dx, in.dy), t.dy = y(in.dx, in.dy);
    return t;
  }
  // Where cell coordinates (u, v) come from for a point (x, y): the
  // inverse. The matrices are orthogonal: the inverse is the transpose.
  PlaceTransform inverse() const {
    PlaceTransform t;
    t.a = a, t.b = c, t.c = b, t.d = d;
    t.dx = -(t.a * dx + t.b * dy), t.dy = -(t.c * dx + t.d * dy);
    return t;
  }
};

// A box with 64-bit edges, both ends included; empty while x0 > x1.
struct Box64 {
  int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
  bool empty() const { return x0 > x1 || y0 > y1; }
  void include(const Box64& o);
  bool overlaps(int64_t ax, int64_t ay, int64_t bx, int64_t by) const {
    return x0 <= bx && x1 >= ax && y0 <= by && y1 >= ay;
  }
  bool fitsInt32() const { return x0 >= INT32_MIN && x1 <= INT32_MAX && y0 >= INT32_MIN && y1 <= INT32_MAX; }
  Box64 placed(const PlaceTransform& t) const {
    if (empty()) return *this;
    int64_t xa = t.x(x0, y0), ya = t.y(x0, y0), xb = t.x(x1, y1), yb = t.y(x1, y1);
    Box64 b;
    b.x0 = xa < xb ? xa : xb, b.x1 = xa < xb ? xb : xa, b.y0 = ya < yb ? ya : yb, b.y1 = ya < yb ? yb : ya;
    return b;
  }
};

// A placement of a cell: columns x rows elements, element (i, j) moved by
// i * (colX, colY) + j * (rowX, rowY) from the transform's offset.
struct CellPlacement {
  uint32_t cell = 0;
  PlaceTransform transform;
  int32_t columns = 1, rows = 1;
  int64_t colX = 0, colY = 0, rowX = 0, rowY = 0;
  bool selected = false;
  ObjectCorners outline{0, 0, 0, 0};  // drawn dashed while selected
  // The transform of element (i, j).
  PlaceTransform element(int32_t i, int32_t j) const {
    PlaceTransform t = transform;
    t.dx += i * colX + j * rowX, t.dy += i * colY + j * rowY;
    return t;
  }
  // Whether elements are found by division: steps along the axes.
  bool axisArray() const { return colY == 0 && rowX == 0; }
};

// A grid of items by their boxes, for the items near a box.
struct ItemGrid {
  Box64 bounds;
  int across = 0, up = 0;
  int shiftX = 0, shiftY = 0;  // buckets are 2^shift units wide and high
  std::vector<uint32_t> start;  // per bucket, into items; one more at the end
  std::vector<uint32_t> items;
  void build(const std::vector<Box64>& boxes);
  // Each item whose box overlaps [ax, bx] x [ay, by] once: visit(item, box).
  template <typename Visit>
  void near(const std::vector<Box64>& boxes, int64_t ax, int64_t ay, int64_t bx, int64_t by, Visit visit) const;

private:
  int column(int64_t x) const {
    int64_t c = x <= bounds.x0 ? 0 : (x - bounds.x0) >> shiftX;
    return c < across ? (int)c : across - 1;
  }
  int row(int64_t y) const {
    int64_t r = y <= bounds.y0 ? 0 : (y - bounds.y0) >> shiftY;
    return r < up ? (int)r : up - 1;
  }
};

class Shape;

// Slots below this one are decided per pixel: bit s of a 64-bit word per
// pixel. The named slots and the first pair slots fit; later pair slots,
// rare, are drawn shape by shape.
const int WIDE_SLOTS = 64;

// A cell's rectangles per slot, kept for the slots it uses only: a cell
// uses a few of the hundreds of slots.
struct SlotShapes {
  std::vector<std::pair<int, std::vector<ObjectCorners>>> lists;  // by slot, ascending
  // The slot's list, made when missing.
  std::vector<ObjectCorners>& operator[](int slot);
  void clear() { lists.clear(); }
};

// Whether a label this high (layout units) shows at this scale, as ShapeFill decides.
bool labelShownAt(double height, double scale);

// A polygon or path that is not a set of rectangles, or a label: placed
// point by point and drawn by the shapes' own code, as the flattened copy
// would be.
struct SceneShape {
  int slot;
  std::shared_ptr<const Shape> shape;
  Box64 reach;  // in cell coordinates, holding the placed shape under every integral transform
  bool label = false;
  // A path of zero width: a line whose pixels need not hold a centre near
  // it at any scale, so no centre finds it; drawn by walking the cells.
  bool line = false;
  double labelHeight = 0;  // a label's capitals, in layout units
  // Whether the canvas draws it at this many pixels a unit: labels lower
  // than LABEL_MIN_PIXELS, or all while labels are off, are left out.
  bool shownAt(double scale) const;
};

struct SceneCell {
  SlotShapes shapes;  // normalised, in cell coordinates
  std::vector<SceneShape> drawn;
  // Marker objects of the options layer, drawn as Opt draws them (outline
  // and diagonals) by OpenGL alone: a cell rarely holds any.
  std::vector<ObjectCorners> opts;
  static const uint16_t OPTS_BELOW = 1u << 15;  // in slotsBelow
  std::vector<CellPlacement> placements;
  uint64_t revision = 0;  // of the content, as its source counts it

  // Filled by CellScene::prepare: every shape of every named slot in one
  // list (a point asks one grid for all slots), rectangles first (the
  // rest, item k, is drawn[drawnItems[k - rectItems]]), and the placements'
  // boxes.
  Box64 bounds;  // shapes and placements, exact
  std::vector<Box64> shapeBoxes, placementBoxes;
  std::vector<uint8_t> shapeSlots;
  uint32_t rectItems = 0;
  std::vector<uint32_t> drawnItems;
  ItemGrid shapeGrid, placementGrid;
  CoverTable cover;  // the grid's answer where no edge lies near: a look-up
  uint64_t indexed = UINT64_MAX;  // the revision the grids are of
  uint64_t flattened = 0;         // placed shapes below it, saturating
  Box64 pairBounds;  // of the shapes outside the grid
  uint16_t slotsBelow = 0;  // named slots with shapes here or below (bit s for slot s), and OPTS_BELOW
  // Slots below WIDE_SLOTS with shapes here or below: bit s for slot s,
  // but for labels; those with labels.
  uint64_t areaSlotsBelow = 0, labelSlotsBelow = 0;
  bool highPairsBelow = false;  // shapes on slots from WIDE_SLOTS on
  uint64_t lineSlotsBelow = 0;  // slots below WIDE_SLOTS with lines here or below
  double labelHeightBelow = 0;  // the highest label here or below, in layout units
  // The slots below WIDE_SLOTS whose shapes here or below may show at this scale.
  uint64_t slotsShownAt(double scale) const {
    return areaSlotsBelow | (labelSlotsBelow && labelShownAt(labelHeightBelow, scale) ? labelSlotsBelow : 0);
  }
  bool pairsBelow = false;  // shapes on pair slots here or below
  // Shapes on this slot here or below.
  bool slotBelow(int s) const { return s < NAMED_LAYER_COUNT ? (slotsBelow >> s) & 1 : pairsBelow; }
};

// The cells and the one shown (whose own shapes the layers hold: the scene
// gives only its placements).
struct CellScene {
  std::vector<SceneCell> cells;
  uint32_t shown = 0;
  size_t libraryCells = 0;  // the document's; cells after them place flattened shapes
  uint64_t revision = 0;  // rises with every change of anything here but the selection
  uint64_t selectionRevision = 0;  // rises when placements are selected or deselected

  // Bring bounds and grids up to date (cells whose revision moved, and those
  // placing them); false when a cell places itself, directly or not.
  bool prepare();
  const SceneCell& top() const { return cells[shown]; }
  bool hasPlacements() const { return !cells.empty() && !top().placements.empty(); }
  // Every placed shape below the shown cell but those of elements that lie
  // outside cull (SHAPES), only those whose corners wrap past 32 bits
  // (WRAPPED), or the placed markers of the options layer instead (OPTS):
  // visit(slot, corners), the corners wrapped; and each placed SceneShape
  // (but for OPTS; only the lines for LINES): place(shape, transform).
  enum Part { SHAPES, WRAPPED, OPTS, LINES };
  template <typename Visit, typename Place>
  void flatten(const Box64& cull, Part part, Visit visit, Place place) const;
  template <typename Visit>
  void flatten(const Box64& cull, Part part, Visit visit) const {
    flatten(cull, part, visit, [](const SceneShape&, const PlaceTransform&) {});
  }

private:
  template <typename Visit, typename Place>
  void flattenPlacements(const SceneCell& c, const PlaceTransform& t, const Box64& cull, Part part,
                         Visit& visit, Place& place) const;
  bool prepareCell(uint32_t cell, std::vector<int>& state);
};

// The corners of a placed shape, wrapped to 32 bits as the flattened layout
// holds them, and whether they were exact.
inline ObjectCorners placedCorners(const ObjectCorners& s, const PlaceTransform& t, bool* exact = nullptr) {
  int64_t xa = t.x(s.x0, s.y0), ya = t.y(s.x0, s.y0), xb = t.x(s.x1, s.y1), yb = t.y(s.x1, s.y1);
  int64_t x0 = xa < xb ? xa : xb, x1 = xa < xb ? xb : xa, y0 = ya < yb ? ya : yb, y1 = ya < yb ? yb : ya;
  if (exact) *exact = x0 >= INT32_MIN && x1 <= INT32_MAX && y0 >= INT32_MIN && y1 <= INT32_MAX;
  return {(int32_t)(uint32_t)(uint64_t)x0, (int32_t)(uint32_t)(uint64_t)y0, (int32_t)(uint32_t)(uint64_t)x1,
          (int32_t)(uint32_t)(uint64_t)y1};
}

template <typename Visit>
void ItemGrid::near(const std::vector<Box64>& boxes, int64_t ax, int64_t ay, int64_t bx, int64_t by,
                    Visit visit) const {
  if (across == 0 || !bounds.overlaps(ax, ay, bx, by)) return;
  // A box between two whole units (ax = bx + 1) reads the buckets of both.
  int c0 = column(ax < bx ? ax : bx), c1 = column(ax < bx ? bx : ax);
  int r0 = row(ay < by ? ay : by), r1 = row(ay < by ? by : ay);
  for (int r = r0; r <= r1; r++)
    for (int c = c0; c <= c1; c++) {
      size_t bucket = (size_t)r * across + c;
      for (uint32_t k = start[bucket]; k < start[bucket + 1]; k++) {
        const Box64& b = boxes[items[k]];
        if (!b.overlaps(ax, ay, bx, by)) continue;
        // Reported from the first bucket of the query the item lies in.
        if ((c > c0 && column(b.x0) < c) || (r > r0 && row(b.y0) < r)) continue;
        visit(items[k], b);
      }
    }
}

template <typename Visit, typename Place>
void CellScene::flattenPlacements(const SceneCell& c, const PlaceTransform& t, const Box64& cull, Part part,
                                  Visit& visit, Place& place) const {
  for (const CellPlacement& p : c.placements) {
    const SceneCell& inside = cells[p.cell];
    if (part == OPTS && !(inside.slotsBelow & SceneCell::OPTS_BELOW)) continue;
    if (part == LINES && !inside.lineSlotsBelow) continue;
    for (int32_t j = 0; j < p.rows; j++)
      for (int32_t i = 0; i < p.columns; i++) {
        PlaceTransform e = t.after(p.element(i, j));
        Box64 box = inside.bounds.placed(e);
        bool fits = box.fitsInt32();
        if (fits && (part == WRAPPED || !box.overlaps(cull.x0, cull.y0, cull.x1, cull.y1))) continue;
        if (part == SHAPES || part == WRAPPED)
          for (const auto& list : inside.shapes.lists)
            for (const ObjectCorners& shape : list.second) {
              bool exact;
              ObjectCorners placed = placedCorners(shape, e, &exact);
              if (part == SHAPES || !exact) visit(list.first, placed);
            }
        if (part != OPTS)
          for (const SceneShape& shape : inside.drawn)
            if (part == LINES ? shape.line : part == SHAPES || !shape.reach.placed(e).fitsInt32()) place(shape, e);
        if (part == OPTS)
          for (const ObjectCorners& opt : inside.opts) visit(LAYER_OPTIONS, placedCorners(opt, e));
        flattenPlacements(inside, e, cull, part, visit, place);
      }
  }
}

template <typename Visit, typename Place>
void CellScene::flatten(const Box64& cull, Part part, Visit visit, Place place) const {
  if (hasPlacements()) flattenPlacements(top(), PlaceTransform(), cull, part, visit, place);
}

#endif
