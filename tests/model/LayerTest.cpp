#include "model/Layer.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "model/LayerTable.h"

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
  // "1" per selected node, "0" per other, in list order.
  std::string marks() const {
    std::string all;
    for (GroupNode* n = layer.first(); n; n = n->next()) all += n->isSelected() ? '1' : '0';
    return all;
  }
  std::vector<int32_t> xs() const {
    std::vector<int32_t> all;
    for (GroupNode* n = layer.first(); n; n = n->next()) all.push_back(n->getX());
    return all;
  }
};

}  // namespace

TEST(Layer, AddAppendsInOrderAndGrowsTheBoundingBox) {
  Fixture f;
  EXPECT_EQ(f.layer.apply(OP_ADD, MATCH_ALL, box(10, 10, 5, 5)), 1);
  EXPECT_EQ(span(f.layer), (Span{10, 10, 5, 5}));
  EXPECT_EQ(f.layer.apply(OP_ADD, 0, box(30, 0, 1, 1)), 1);
  EXPECT_EQ(f.layer.apply(OP_ADD, MATCH_ALL, nullptr), 1);
  EXPECT_EQ(f.layer.apply(OP_ADD, MATCH_ALL, box(-4, 2, 1, 1)), 1);
  EXPECT_EQ(f.xs(), (std::vector<int32_t>{10, 30, -4}));
  EXPECT_EQ(span(f.layer), (Span{-4, 0, 35, 15}));
}

TEST(Layer, DisabledLayerRefusesEveryOperation) {
  Fixture f({box(0, 0, 1, 1, true)});
  f.layer.toggleEnabled();
  for (int op = OP_SELECT; op <= OP_BOUND; op++) EXPECT_EQ(f.layer.apply(op, MATCH_ALL, nullptr), 0) << op;
  Box* refused = box(5, 5, 1, 1);
  EXPECT_EQ(f.layer.apply(OP_ADD, MATCH_ALL, refused), 0);
  delete refused;  // not linked: the caller still owns it
  EXPECT_EQ(f.marks(), "1");
  f.layer.toggleEnabled();
  EXPECT_EQ(f.layer.apply(OP_DELETE, MATCH_SELECTED, nullptr), 1);
}

// Counts include nodes the operation leaves unchanged; filters compare with
// the argument edges included.
TEST(Layer, OperationsCountEveryPassingNode) {
  Fixture f({box(0, 0, 10, 10, true), box(10, 0, 10, 10, true), box(30, 30, 5, 5)});  // sharing x = 10
  Rect at, band, narrow;
  at.setRect(10, 5, 0, 0);
  band.setRect(0, 0, 20, 10);  // holds the first two exactly
  narrow.setRect(0, 0, 19, 10);
  struct Step { int op, filter; Rect* arg; int count; const char* marks; };
  const Step steps[] = {
    {OP_SELECT, MATCH_ALL, nullptr, 3, "111"},     {OP_DESELECT, MATCH_SELECTED, nullptr, 3, "000"},
    {OP_TOGGLE, MATCH_AT, &at, 2, "110"},          {OP_TOGGLE, MATCH_NOT_AT, &at, 1, "111"},
    {OP_TOGGLE, MATCH_ALL, nullptr, 3, "000"},     {OP_SELECT, MATCH_INSIDE, &band, 2, "110"},
    {OP_DESELECT, MATCH_NOT_INSIDE, &band, 1, "110"}, {OP_DESELECT, MATCH_INSIDE, &narrow, 1, "010"},
    {OP_SELECT, MATCH_UNSELECTED, nullptr, 2, "111"}, {99, MATCH_ALL, nullptr, 0, "111"},
    {OP_DESELECT, 42, nullptr, 0, "111"},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(f.layer.apply(s.op, s.filter, s.arg), s.count) << s.op << " " << s.filter;
    EXPECT_EQ(f.marks(), s.marks) << s.op << " " << s.filter;
  }
}

TEST(Layer, DeleteRemovesPassingNodesAndRebuildsTheBox) {
  struct Case { std::vector<bool> selected; int removed; std::vector<int32_t> left; Span bounds; };
  const Case cases[] = {
    {{true, true, true}, 3, {}, {0, 0, 0, 0}},
    {{false, true, true, false}, 2, {0, 30}, {0, 0, 35, 8}},
    {{true, false, false}, 1, {10, 20}, {10, 1, 15, 6}},
    {{false, false, true}, 1, {0, 10}, {0, 0, 15, 6}},
  };
  for (const Case& c : cases) {
    Fixture f;
    for (size_t i = 0; i < c.selected.size(); i++)
      f.layer.apply(OP_ADD, MATCH_ALL, box(10 * (int32_t)i, (int32_t)i, 5, 5, c.selected[i]));
    EXPECT_EQ(f.layer.apply(OP_DELETE, MATCH_SELECTED, nullptr), c.removed);
    EXPECT_EQ(f.xs(), c.left);
    EXPECT_EQ(span(f.layer), c.bounds);
    f.layer.apply(OP_ADD, MATCH_ALL, box(99, 0, 1, 1));  // appending still works after the tail went
    EXPECT_EQ(f.xs().back(), 99);
  }
}

TEST(Layer, TenMillionObjectsAreDeletedAndDestroyedWithoutRecursion) {
  const int count = 10000000;
  {
    Fixture f;
    for (int i = 0; i < count; i++) f.layer.apply(OP_ADD, MATCH_ALL, box(i, 0, 1, 1));
    EXPECT_EQ(f.layer.getW(), count);
    EXPECT_EQ(f.layer.apply(OP_DELETE, MATCH_ALL, nullptr), count);
    EXPECT_EQ(f.layer.first(), nullptr);
    for (int i = 0; i < count; i++) f.layer.apply(OP_ADD, MATCH_ALL, box(i, 0, 1, 1));
  }  // destroyed here with every object
  GroupNode* chain = new GroupNode;
  GroupNode* tail = chain;
  for (int i = 0; i < count; i++) tail = tail->append(new Box);
  delete chain;
}

TEST(Layer, RevisionRisesOnlyWhenTheLayerChanges) {
  Fixture f;
  Rect miss;
  miss.setRect(100, 100, 0, 0);
  uint64_t last = f.layer.getRevision();
  auto rose = [&] {
    uint64_t before = std::exchange(last, f.layer.getRevision());
    return last > before;
  };
  f.layer.apply(OP_TOGGLE, MATCH_AT, &miss);
  f.layer.apply(OP_DELETE, MATCH_SELECTED, nullptr);
  EXPECT_FALSE(rose());
  f.layer.apply(OP_ADD, MATCH_ALL, box(0, 0, 1, 1));
  EXPECT_TRUE(rose());
  f.layer.apply(OP_SELECT, MATCH_ALL, nullptr);
  EXPECT_TRUE(rose());
  f.layer.toggleEnabled();
  EXPECT_TRUE(rose());
}
