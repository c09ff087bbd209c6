#ifndef KIVO_LAYERCACHE_H
#define KIVO_LAYERCACHE_H

#include <cstdint>
#include <functional>
#include <vector>

#include "model/GroupNode.h"
#include "model/HugePages.h"
#include "model/Layer.h"

// Prefetch this many nodes or corners ahead: each is usually a cache miss
// of its own, and 16 covers the latency of memory at the rate the loops
// consume them.
const uint32_t PREFETCH_AHEAD = 16;

// Moves the corners of the objects last appended to a layer out of the
// layer's record of changes (Layout::takeAppendedCorners), so that a cache
// takes them over instead of copying them. The layers themselves are only
// read.
using CornerHandOver = std::function<BigVector<ObjectCorners>(int layer)>;

// One layer's objects as OpenGL sees them: one copy of every object's
// corners in list order, the boxes among them sorted into a grid of tiles
// for culling, objects appended since then in an unsorted tail. Objects
// that are not boxes are drawn by their own draw.
struct LayerCache {
  using Corners = ObjectCorners;
  struct Tile {
    uint32_t begin = 0, end = 0;  // into order
    Corners bounds{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  };
  struct Other {
    uint32_t position;
    GroupNode* node;
  };
  // What an update found, for the layer's coverage masks.
  enum Change { SAME, SELECTION, APPENDED, REBUILT };

  const Layer* layer = nullptr;
  uint64_t revision = 0;
  int32_t enabled = -1;  // drawnState of the layer drawn
  static int32_t drawnState(const Layer& l);
  BigVector<Corners> corners;
  enum { OTHER = 1, SELECTED = 2 };  // flags
  BigVector<uint8_t> flags;
  bool isOther(uint32_t i) const { return flags[i] & OTHER; }
  std::vector<Other> others;
  std::vector<uint32_t> selectedBoxes;  // positions, unless allBoxesSelected
  std::vector<GroupNode*> selectedOthers;
  // Every box is selected (after Select All): selectedBoxes is left empty
  // rather than filled with every position.
  bool allBoxesSelected = false;
  BigVector<uint32_t> order;            // positions of boxes, by tile
  uint32_t sortedCount = 0;             // positions below are in the tiles
  uint32_t appendedFrom = 0;            // after APPENDED: the first new one
  std::vector<Tile> tiles;

  // Whether the cache shows the layer as it is.
  bool isCurrent(const Layer& l) const { return layer == &l && revision == l.getRevision(); }
  // Bring the cache to the layer's content in one pass: begin, feed the
  // objects in list order (in pieces), finish. The objects that match the
  // cache are only checked; from the first that does not, they are copied.
  void begin(const Layer& l);
  void feed(GroupNode* const* nodes, uint32_t count);
  Change finish();
  // Follow the layer's record of its changes when it starts at this cache's
  // revision: flip the recorded flags, or take the appended objects (their
  // corners from handOver for slot i, copied without one). False when the
  // record does not apply; begin, feed and finish then.
  bool follow(const Layer& l, int i, const CornerHandOver* handOver, Change& change);
  // Sort the boxes into the tiles; until then they are read in list order.
  void sortTiles();
  bool unsorted = false;

private:
  bool followAppended(const Layer& l, int i, const CornerHandOver* handOver, Change& change);
  void truncate(uint32_t count);
  void take(GroupNode* node, uint32_t position);

  uint32_t fed = 0, keptCount = 0;
  size_t nextOther = 0;
  bool diverged = false, selectionChanged = false;
};

#endif
