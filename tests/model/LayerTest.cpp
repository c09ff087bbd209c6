#include "model/Layer.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

using Span = std::array<int32_t, 4>;

Span span(const Rect& r) { return {r.x, r.y, r.w, r.h}; }

Box* box(int32_t x, int32_t y, int32_t w, int32_t h, bool selected = false) {
  Box* b = new Box;
  b->setRect(x, y, w, h);
  if (selected) b->select();
  return b;
}

// An enabled layer holding these boxes.
struct Fixture {
  Layer layer;
  explicit Fixture(const std::vector<Box*>& boxes = {}) {
    layer.enable();
    for (Box* b : boxes) layer.apply(OP_ADD, MATCH_ALL, b);
  }
  // Each object's x in list order, "*" after a selected one.
  std::string list() const {
    std::string all;
    for (GroupNode* n = layer.first(); n; n = n->next()) all += std::to_string(n->x) + (n->isSelected() ? "* " : " ");
    return all;
  }
};

}  // namespace

// Delete takes the first, a middle, the last or every object; the box is
// rebuilt and appending goes on after the old tail went.
TEST(Layer, AddAppendsInOrderAndDeleteRebuildsTheBoundingBox) {
  Fixture f;
  EXPECT_EQ(f.layer.apply(OP_ADD, 0, box(10, 10, 5, 5)), 1);  // any filter
  EXPECT_EQ(f.layer.apply(OP_ADD, MATCH_ALL, nullptr), 1);    // counted, nothing added
  f.layer.apply(OP_ADD, MATCH_ALL, box(-4, 2, 1, 1));
  EXPECT_EQ(f.list(), "10 -4 ");
  EXPECT_EQ(span(f.layer), (Span{-4, 2, 19, 13}));
  struct Case { std::string selected; int removed; const char* left; Span bounds; };
  const Case cases[] = {{"111", 3, "99 ", {0, 0, 0, 0}}, {"0110", 2, "0 30 99 ", {0, 0, 35, 8}},
                        {"100", 1, "10 20 99 ", {10, 1, 15, 6}}, {"001", 1, "0 10 99 ", {0, 0, 15, 6}}};
  for (const Case& c : cases) {
    Fixture g;
    for (size_t i = 0; i < c.selected.size(); i++)
      g.layer.apply(OP_ADD, MATCH_ALL, box(10 * (int32_t)i, (int32_t)i, 5, 5, c.selected[i] == '1'));
    EXPECT_EQ(g.layer.apply(OP_DELETE, MATCH_SELECTED, nullptr), c.removed);
    EXPECT_EQ(span(g.layer), c.bounds) << c.selected;
    g.layer.apply(OP_ADD, MATCH_ALL, box(99, 0, 1, 1));
    EXPECT_EQ(g.list(), c.left);
  }
}

// Counts include objects the operation leaves unchanged; filters compare
// with the argument edges included. A disabled layer refuses everything.
TEST(Layer, OperationsCountEveryPassingObjectUnlessDisabled) {
  Fixture f({box(0, 0, 10, 10, true), box(10, 0, 10, 10, true), box(30, 30, 5, 5)});  // sharing x = 10
  Rect at, band, narrow;
  at.setRect(10, 5, 0, 0);
  band.setRect(0, 0, 20, 10);  // holds the first two exactly
  narrow.setRect(0, 0, 19, 10);
  struct Step { int op, filter; Rect* arg; int count; const char* list; };
  const Step steps[] = {
    {OP_SELECT, MATCH_ALL, nullptr, 3, "0* 10* 30* "},  {OP_DESELECT, MATCH_SELECTED, nullptr, 3, "0 10 30 "},
    {OP_TOGGLE, MATCH_AT, &at, 2, "0* 10* 30 "},        {OP_TOGGLE, MATCH_NOT_AT, &at, 1, "0* 10* 30* "},
    {OP_TOGGLE, MATCH_ALL, nullptr, 3, "0 10 30 "},     {OP_SELECT, MATCH_INSIDE, &band, 2, "0* 10* 30 "},
    {OP_DESELECT, MATCH_NOT_INSIDE, &band, 1, "0* 10* 30 "}, {OP_DESELECT, MATCH_INSIDE, &narrow, 1, "0 10* 30 "},
    {OP_SELECT, MATCH_UNSELECTED, nullptr, 2, "0* 10* 30* "}, {99, MATCH_ALL, nullptr, 0, "0* 10* 30* "},
    {OP_DESELECT, 42, nullptr, 0, "0* 10* 30* "},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(f.layer.apply(s.op, s.filter, s.arg), s.count) << s.op << " " << s.filter;
    EXPECT_EQ(f.list(), s.list) << s.op << " " << s.filter;
  }
  f.layer.toggleEnabled();
  for (int op = OP_SELECT; op <= OP_BOUND; op++) EXPECT_EQ(f.layer.apply(op, MATCH_ALL, nullptr), 0) << op;
  Box* refused = box(5, 5, 1, 1);
  EXPECT_EQ(f.layer.apply(OP_ADD, MATCH_ALL, refused), 0);
  delete refused;  // not linked: the caller still owns it
  EXPECT_EQ(f.list(), "0* 10* 30* ");
}

// A million objects would overflow the stack if deleting or destroying
// them recursed.
TEST(Layer, AMillionObjectsAreDeletedAndDestroyedWithoutRecursion) {
  const int count = 1000000;
  Fixture f;
  for (int i = 0; i < count; i++) f.layer.apply(OP_ADD, MATCH_ALL, box(i, 0, 1, 1));
  EXPECT_EQ(f.layer.apply(OP_DELETE, MATCH_ALL, nullptr), count);
  EXPECT_EQ(f.layer.first(), nullptr);
  for (int i = 0; i < count; i++) f.layer.apply(OP_ADD, MATCH_ALL, box(i, 0, 1, 1));
  EXPECT_EQ(f.layer.size(), (size_t)count);
}  // destroyed here with every object
