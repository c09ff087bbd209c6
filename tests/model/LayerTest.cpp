#include "model/Layer.h"

#include <gtest/gtest.h>

#include <vector>

#include "model/LayerTable.h"

namespace {

Box* box(int32_t x, int32_t y, int32_t w, int32_t h, bool selected = false) {
  Box* b = new Box;
  b->setRect(x, y, w, h);
  if (selected) b->select();
  return b;
}

struct Fixture {
  Layer layer;
  Fixture() { layer.enable(); }
  std::vector<GroupNode*> nodes() const {
    std::vector<GroupNode*> all;
    for (GroupNode* n = layer.first(); n; n = n->next()) all.push_back(n);
    return all;
  }
  std::vector<int32_t> xs() const {
    std::vector<int32_t> all;
    for (GroupNode* n : nodes()) all.push_back(n->getX());
    return all;
  }
};

void expectBox(const Rect& r, int32_t x, int32_t y, int32_t w, int32_t h) {
  EXPECT_EQ(r.getX(), x);
  EXPECT_EQ(r.getY(), y);
  EXPECT_EQ(r.getW(), w);
  EXPECT_EQ(r.getH(), h);
}

}  // namespace

TEST(Layer, AddAppendsInOrderAndGrowsTheBoundingBox) {
  Fixture f;
  expectBox(f.layer, 0, 0, 0, 0);
  EXPECT_EQ(f.layer.apply(OP_ADD, MATCH_ALL, box(10, 10, 5, 5)), 1);
  expectBox(f.layer, 10, 10, 5, 5);
  EXPECT_EQ(f.layer.apply(OP_ADD, 0, box(30, 0, 1, 1)), 1);
  EXPECT_EQ(f.layer.apply(OP_ADD, MATCH_ALL, nullptr), 1);
  EXPECT_EQ(f.layer.apply(OP_ADD, MATCH_ALL, box(-4, 2, 1, 1)), 1);
  EXPECT_EQ(f.xs(), (std::vector<int32_t>{10, 30, -4}));
  expectBox(f.layer, -4, 0, 35, 15);
}

TEST(Layer, DisabledLayerRefusesEveryOperation) {
  Fixture f;
  f.layer.apply(OP_ADD, MATCH_ALL, box(0, 0, 1, 1, true));
  f.layer.toggleEnabled();
  ASSERT_EQ(f.layer.isEnabled(), 0);
  for (int op = OP_SELECT; op <= OP_BOUND; op++) EXPECT_EQ(f.layer.apply(op, MATCH_ALL, nullptr), 0) << op;
  Box* refused = box(5, 5, 1, 1);
  EXPECT_EQ(f.layer.apply(OP_ADD, MATCH_ALL, refused), 0);
  EXPECT_EQ(f.nodes().size(), 1u);  // not linked: the caller still owns it
  EXPECT_EQ(refused->next(), nullptr);
  delete refused;
  EXPECT_EQ(f.nodes()[0]->isSelected(), 1);
  f.layer.toggleEnabled();
  EXPECT_EQ(f.layer.apply(OP_DELETE, MATCH_SELECTED, nullptr), 1);
}

TEST(Layer, SelectionCountsIncludeUnchangedNodes) {
  Fixture f;
  f.layer.apply(OP_ADD, MATCH_ALL, box(0, 0, 1, 1, true));
  f.layer.apply(OP_ADD, MATCH_ALL, box(2, 0, 1, 1, true));
  f.layer.apply(OP_ADD, MATCH_ALL, box(4, 0, 1, 1));
  EXPECT_EQ(f.layer.apply(OP_SELECT, MATCH_ALL, nullptr), 3);
  EXPECT_EQ(f.layer.apply(OP_DESELECT, MATCH_SELECTED, nullptr), 3);
  f.nodes()[1]->select();
  EXPECT_EQ(f.layer.apply(OP_TOGGLE, MATCH_ALL, nullptr), 3);
  EXPECT_EQ(f.layer.apply(OP_TOGGLE, MATCH_ALL, nullptr), 3);
  EXPECT_EQ(f.nodes()[1]->isSelected(), 1);
  EXPECT_EQ(f.nodes()[0]->isSelected(), 0);
  EXPECT_EQ(f.layer.apply(OP_SELECT, MATCH_UNSELECTED, nullptr), 2);
  EXPECT_EQ(f.layer.apply(99, MATCH_ALL, nullptr), 0);
  EXPECT_EQ(f.layer.apply(OP_SELECT, 42, nullptr), 0);
}

TEST(Layer, FiltersAgainstTheArgumentIncludeEdges) {
  Fixture f;
  f.layer.apply(OP_ADD, MATCH_ALL, box(0, 0, 10, 10));    // shares the edge x = 10
  f.layer.apply(OP_ADD, MATCH_ALL, box(10, 0, 10, 10));
  f.layer.apply(OP_ADD, MATCH_ALL, box(30, 30, 5, 5));
  Rect at;
  at.setRect(10, 5, 0, 0);
  EXPECT_EQ(f.layer.apply(OP_SELECT, MATCH_AT, &at), 2);
  EXPECT_EQ(f.layer.apply(OP_SELECT, MATCH_NOT_AT, &at), 1);
  Rect band;
  band.setRect(0, 0, 20, 10);  // holds the first two exactly, edges included
  EXPECT_EQ(f.layer.apply(OP_DESELECT, MATCH_INSIDE, &band), 2);
  EXPECT_EQ(f.layer.apply(OP_DESELECT, MATCH_NOT_INSIDE, &band), 1);
  band.setRect(0, 0, 19, 10);
  EXPECT_EQ(f.layer.apply(OP_SELECT, MATCH_INSIDE, &band), 1);
}

TEST(Layer, DeleteRemovesPassingNodesAndRebuildsTheBox) {
  struct Case {
    std::vector<bool> selected;
    int removed;
    std::vector<int32_t> left;
  };
  const Case cases[] = {
    {{true, true, true}, 3, {}},
    {{false, true, true, false}, 2, {0, 30}},
    {{true, false, false}, 1, {10, 20}},
    {{false, false, true}, 1, {0, 10}},
    {{false, false}, 0, {0, 10}},
  };
  for (const Case& c : cases) {
    Fixture f;
    for (size_t i = 0; i < c.selected.size(); i++)
      f.layer.apply(OP_ADD, MATCH_ALL, box(10 * (int32_t)i, (int32_t)i, 5, 5, c.selected[i]));
    EXPECT_EQ(f.layer.apply(OP_DELETE, MATCH_SELECTED, nullptr), c.removed);
    EXPECT_EQ(f.xs(), c.left);
    Rect expected;
    for (GroupNode* n : f.nodes()) expected.include(*n);
    expectBox(f.layer, expected.x, expected.y, expected.w, expected.h);
    // Appending still works after the tail was removed.
    f.layer.apply(OP_ADD, MATCH_ALL, box(99, 0, 1, 1));
    EXPECT_EQ(f.xs().back(), 99);
  }
}

TEST(Layer, TenMillionObjectsAreDeletedAndDestroyedWithoutRecursion) {
  const int count = 10000000;
  {
    Layer layer;
    layer.enable();
    for (int i = 0; i < count; i++) layer.apply(OP_ADD, MATCH_ALL, box(i, 0, 1, 1));
    EXPECT_EQ(layer.getW(), count);
    EXPECT_EQ(layer.apply(OP_DELETE, MATCH_ALL, nullptr), count);
    EXPECT_EQ(layer.first(), nullptr);
    for (int i = 0; i < count; i++) layer.apply(OP_ADD, MATCH_ALL, box(i, 0, 1, 1));
  }  // destroyed here with every object
  GroupNode* chain = new GroupNode;
  GroupNode* tail = chain;
  for (int i = 0; i < count; i++) tail = tail->append(new Box);
  delete chain;
}


TEST(Layer, RevisionRisesOnlyWhenTheLayerChanges) {
  Fixture f;
  uint64_t start = f.layer.getRevision();
  Rect miss;
  miss.setRect(100, 100, 0, 0);
  EXPECT_EQ(f.layer.apply(OP_TOGGLE, MATCH_AT, &miss), 0);
  EXPECT_EQ(f.layer.apply(OP_DELETE, MATCH_SELECTED, nullptr), 0);
  EXPECT_EQ(f.layer.getRevision(), start);
  f.layer.apply(OP_ADD, MATCH_ALL, box(0, 0, 1, 1));
  uint64_t added = f.layer.getRevision();
  EXPECT_GT(added, start);
  f.layer.apply(OP_SELECT, MATCH_ALL, nullptr);
  EXPECT_GT(f.layer.getRevision(), added);
  uint64_t selected = f.layer.getRevision();
  f.layer.toggleEnabled();
  EXPECT_GT(f.layer.getRevision(), selected);
}
