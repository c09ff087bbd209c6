// Polygons, paths and labels as layout objects: boxes, moves, copies.
#include "model/Shapes.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <tuple>

#include "canvas/StrokeFont.h"
#include "model/Layer.h"
#include "model/PathOutline.h"

namespace {

std::tuple<int32_t, int32_t, int32_t, int32_t> box(const Rect& r) { return {r.x, r.y, r.w, r.h}; }

}  // namespace

// Each shape's box follows its geometry; moves wrap every point exactly,
// and the calls that set a size move the shape as they move a corner.
TEST(Shapes, BoxesFollowExactWrappingMoves) {
  Polygon poly;
  poly.setPoints({{0, 0}, {10, 0}, {10, 5}, {3, 9}});
  EXPECT_EQ(box(poly), std::make_tuple(0, 0, 10, 9));
  poly.moveBy(INT32_MAX - 4, -3);
  EXPECT_EQ(poly.points, (std::vector<Point>{{INT32_MAX - 4, -3}, {INT32_MIN + 5, -3}, {INT32_MIN + 5, 2}, {INT32_MAX - 1, 6}}));
  poly.moveBy(INT32_MIN + 5, 3);  // and back: the wrap is exact
  EXPECT_EQ(box(poly), std::make_tuple(0, 0, 10, 9));
  poly.setRect(-20, 7, 1000, 1000);  // moves only
  EXPECT_EQ(box(poly), std::make_tuple(-20, 7, 10, 9));

  Path path;
  path.setPath({{0, 0}, {10, 0}}, 5, ENDS_HALF_WIDTH);
  EXPECT_EQ(box(path), std::make_tuple(-3, -3, 16, 6));  // +-2.5, whole units outward
  path.moveTo(100, 100);
  EXPECT_EQ(path.points[0], (Point{103, 103}));
  path.setPath({{1, 1}, {1, 8}}, 0, ENDS_ROUND);
  EXPECT_EQ(box(path), std::make_tuple(1, 1, 0, 7));

  Label label;
  label.text = "A", label.anchor = {50, 60}, label.unitsPerMicrometre = 60, label.presentation = JUSTIFY_BOTTOM << 2;
  label.refresh();
  EXPECT_EQ(box(label), std::make_tuple(38, 48, 52, 72));  // 4 steps of 10 wide, the cross's arms 12
  label.moveBy(-50, -60);
  EXPECT_EQ(box(label), std::make_tuple(-12, -12, 52, 72));
}

// Clicks reach a polygon or path exactly where it covers, edges included.
TEST(Shapes, ContainsIsExactWithEdgesInside) {
  Polygon notch;  // a U: the notch between its arms is outside
  notch.setPoints({{0, 0}, {9, 0}, {9, 9}, {6, 9}, {6, 3}, {3, 3}, {3, 9}, {0, 9}, {0, 0}});
  EXPECT_EQ(notch.points.size(), 8u);  // without the closing repeat
  Path path;
  path.setPath({{0, 0}, {10, 0}, {10, 10}}, 3, ENDS_FLUSH);  // edges at +-1.5
  Path wire;
  wire.setPath({{0, 0}, {4, 2}}, 0, ENDS_FLUSH);
  struct Case { const Rect* shape; int32_t x, y; int inside; };
  const Case cases[] = {{&notch, 1, 8, 1}, {&notch, 4, 5, 0}, {&notch, 6, 5, 1}, {&notch, 4, 3, 1}, {&notch, 9, 9, 1},
                        {&notch, 10, 9, 0}, {&path, 5, 1, 1}, {&path, 5, 2, 0}, {&path, 11, -1, 1}, {&path, 8, 2, 0},
                        {&path, -1, 0, 0}, {&wire, 2, 1, 1}, {&wire, 1, 1, 0}};
  for (const Case& c : cases) EXPECT_EQ(c.shape->contains(c.x, c.y), c.inside) << c.x << "," << c.y;
}

// A copy keeps every field and the box, comes unselected and is its own.
TEST(Shapes, CloneCopiesEveryField) {
  Path path;
  path.setPath({{0, 0}, {0, 10}, {7, 10}}, -3, ENDS_CUSTOM, 2, -1);
  path.origin = 5, path.select();
  std::unique_ptr<GroupNode> copy(cloneShape(path));
  auto* p = dynamic_cast<Path*>(copy.get());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::make_tuple(p->points, p->width, p->pathType, p->beginExtension, p->endExtension, p->origin, box(*p)),
            std::make_tuple(path.points, -3, (int16_t)ENDS_CUSTOM, 2, -1, 5u, box(path)));
  EXPECT_FALSE(p->isSelected());

  Label label;
  label.text = "Vdd", label.textType = 3, label.strans = STRANS_REFLECT, label.magnification = 0.5, label.angle = 30;
  label.refresh();
  std::unique_ptr<GroupNode> l(cloneShape(label));
  auto* c = dynamic_cast<Label*>(l.get());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(std::make_tuple(c->text, c->textType, c->strans, c->magnification, c->angle, box(*c)),
            std::make_tuple("Vdd", 3, STRANS_REFLECT, 0.5, 30.0, box(label)));
  Box plain;
  EXPECT_EQ(cloneShape(plain), nullptr);
}

// A click reaches a label inside its box, or within the canvas's reach of
// its anchor, whatever the label's size.
TEST(Shapes, ALabelAnswersClicksNearItsAnchor) {
  Label label;
  label.text = "A", label.anchor = {100, 100}, label.unitsPerMicrometre = 10;
  label.refresh();
  Label::clickReach = 0;
  EXPECT_TRUE(label.contains(100, 100) == 1 && label.contains(97, 103) == 0);
  Label::clickReach = 4;
  EXPECT_TRUE(label.contains(97, 103) == 1 && label.contains(96, 104) == 1 && label.contains(95, 100) == 0);
  Label::clickReach = 0;
}

// A band selects a label by its anchor, however far the text reaches.
TEST(Shapes, ABandTakesALabelByItsAnchor) {
  Layer layer;
  layer.enable();
  Label* label = new Label;
  label->text = "LONG TEXT", label->anchor = {100, 100}, label->unitsPerMicrometre = 10, label->refresh();
  layer.apply(OP_ADD, MATCH_ALL, label);
  Rect anchorOnly, textOnly;
  anchorOnly.setRect(100, 100, 0, 0), textOnly.setRect(101, label->y - 5, label->w + 10, label->h + 10);
  EXPECT_EQ(1, layer.apply(OP_SELECT, MATCH_INSIDE, &anchorOnly));
  EXPECT_EQ(0, layer.apply(OP_DESELECT, MATCH_INSIDE, &textOnly));
}
