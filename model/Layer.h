#ifndef KIVO_LAYER_H
#define KIVO_LAYER_H

#include <cstdint>
#include <iosfwd>
#include <algorithm>
#include <initializer_list>
#include <vector>

#include "model/GroupNode.h"
#include "model/HugePages.h"
#include "model/LayerStyle.h"

// Operation codes of Layer::apply.
enum {
  OP_SELECT = 1,
  OP_DESELECT = 2,
  OP_TOGGLE = 3,
  OP_ADD = 4,
  OP_DELETE = 5,
  OP_BOUND = 6,
};

// Filter codes of Layer::apply and Layer::findNext. MATCH_INSIDE and
// MATCH_AT compare with the argument rectangle, edges included.
enum {
  MATCH_ALL = 2,
  MATCH_SELECTED = 3,
  MATCH_UNSELECTED = 4,
  MATCH_INSIDE = 5,      // the node lies wholly inside arg (a label: its anchor)
  MATCH_NOT_INSIDE = 6,
  MATCH_AT = 7,          // the node contains arg's corner (x, y)
  MATCH_NOT_AT = 8,
  MATCH_OBJECT = 9,      // the node is arg itself (a right click's pick)
};

// The objects of one layer slot, in the order they were added. The Rect part
// is the layer's bounding box: the union of its objects, all zero while the
// layer is empty. A disabled layer refuses every apply.
class Layer : public Rect {
public:
  Layer();
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;
  ~Layer() override;

  // Change or visit the objects that pass the filter; returns how many were
  // touched (OP_ADD: 1, also for a null object). OP_ADD takes ownership of
  // arg, a GroupNode on the heap, only when it returns 1 on an enabled layer.
  int apply(int op, int filter, Rect* arg);
  // A selection change (OP_SELECT, OP_DESELECT, OP_TOGGLE) in steps, so
  // that a caller can walk several layers side by side: beginSelection,
  // then every object once, in list order and in pieces, through
  // selectPiece, then endSelection, which returns what apply would. apply
  // runs the same steps over the list. A disabled layer takes no steps.
  void beginSelection(int op, int filter, const Rect* arg);
  void selectPiece(GroupNode* const* nodes, uint32_t count);
  int endSelection();
  // Move the cursor to the next object passing the filter; null at the end,
  // after which the next call starts again at the first object.
  GroupNode* findNext(int filter, Rect* arg);
  void rewind() { cursor = nullptr; }

  void setColor(uint32_t c);
  void setId(int32_t i) { id = i; }
  void enable();
  void toggleEnabled();
  int32_t isEnabled() const { return enabled; }
  uint32_t getColor() const { return color; }
  int32_t getId() const { return id; }
  // How the layer is drawn (LayerStyle.h) and whether it is hidden: a
  // hidden layer is neither drawn nor selected. Both stay with the layer
  // when its content is swapped.
  void setStyle(int s);
  int getStyle() const { return style; }
  void setHidden(bool h);
  bool isHidden() const { return hidden; }
  // Shapes are filled: the layer is enabled and not drawn in outline.
  bool drawsFilled() const { return enabled != 0 && style != STYLE_OUTLINE; }

  // Draw every object in the layer's colour, filled while enabled and in
  // outline while not, relative to (ox, oy); selected objects of an enabled
  // layer get a dashed white outline just in front. Drawing only reads.
  void draw(int64_t ox, int64_t oy) const;
  void draw(int64_t ox, int64_t oy) override { static_cast<const Layer&>(*this).draw(ox, oy); }

  // Write one record line per object, in list order; false when the stream
  // failed (writing stops soon after).
  bool writeRecords(std::ostream& out) const;

  GroupNode* first() const { return head->links[0]; }
  // How many objects the layer holds.
  size_t size() const { return count; }

  // Changes for the document's undo history (model/Layout). They ignore the
  // enabled flag: undo and redo restore, they do not edit. Positions count
  // objects from 0 in list order and are given ascending.
  // Append a chain of nodes linked through links[0].
  void appendChain(GroupNode* chain);
  // Unlink the objects from position keep on and return them as a chain.
  GroupNode* cutFrom(size_t keep);
  // Unlink the objects at these positions; returns them in list order.
  std::vector<GroupNode*> removeAt(const std::vector<uint32_t>& positions);
  // Put objects back so that they stand at these positions again.
  void insertAt(const std::vector<uint32_t>& positions, const std::vector<GroupNode*>& nodes);
  // Positions and nodes of the objects that pass the filter, enabled or not.
  void collect(int filter, std::vector<uint32_t>& positions, std::vector<GroupNode*>& nodes) const;
  // Rebuild the bounding box from the objects after some were moved.
  void refreshBounds();
  // Exchange the objects and bounding box with another layer; colour, id and
  // enabled flag stay with each layer.
  void swapContents(Layer& other);
  // Rises with every change that may alter what the layer looks like, so
  // that caches of its drawing know when to rebuild.
  uint64_t getRevision() const { return revision; }

  // The last change, from revision `since` to the current one, so that a
  // cache of the layer's drawing that is at `since` can follow it without
  // walking every object. Kinds:
  // - APPENDED: the objects from position appendedFrom on are new, with
  //   their corners in order, the positions (counted from appendedFrom) of
  //   those that are not plain Boxes, with the objects, and of those
  //   selected. With appendedFrom 0 the record describes the whole
  //   content, whatever came before: a file just read, for instance.
  // - SELECTION: selection flags only (all set to uniform first when that is
  //   0 or 1, then the flags at the positions in flipped toggled); the
  //   number of selected objects changed by selectedChange.
  // Any other change makes it OTHER.
  struct ChangeRecord {
    enum Kind { OTHER, APPENDED, SELECTION };
    Kind kind = OTHER;
    uint64_t since = 0;
    size_t appendedFrom = 0;
    BigVector<ObjectCorners> corners;
    struct Placed {
      uint32_t position;
      GroupNode* node;
    };
    std::vector<Placed> notBoxes;
    std::vector<uint32_t> selected;
    // APPENDED only: the corners were moved out (takeAppendedCorners); the
    // rest still holds, and the next append starts a new record.
    bool cornersTaken = false;
    int uniform = -1;
    std::vector<uint32_t> flipped;
    int64_t selectedChange = 0;
  };
  const ChangeRecord& lastChanges() const { return record; }
  // Append the objects of chains prepared apart from the layer, in the
  // order given, their corners written once into the record (with little
  // room to spare when it was empty); the chains are left empty.
  void appendPrepared(std::initializer_list<struct PreparedChain*> chains);
  // The corners of an APPENDED record, moved out.
  BigVector<ObjectCorners> takeAppendedCorners();

private:
  bool passes(const GroupNode* node, int filter, const Rect* arg) const;
  int deleteMatching(int filter, Rect* arg);
  int changeSelection(int op, int filter, Rect* arg);
  // Raise the revision for a change the record cannot describe.
  void changed();
  // Start the record of a change of this kind.
  void beginRecord(ChangeRecord::Kind kind);
  // Appends in a row coalesce into one APPENDED record, until its corners
  // are taken.
  void continueAppendRecord();
  // Note appended objects (a chain from node) in the record.
  void recordAppended(GroupNode* node);

  GroupNode* head;
  GroupNode* cursor;
  uint32_t color = 0;
  int32_t id = 0;
  int32_t enabled = 0;
  int style = 0;
  bool hidden = false;
  GroupNode* tail;  // last node of the chain (head when empty): O(1) append
  size_t count = 0;
  uint64_t revision = 0;
  ChangeRecord record;
  struct SelectionPass {
    int op = 0, filter = 0;
    const Rect* arg = nullptr;
    bool whole = false, recording = false;
    size_t limit = 0;
    uint32_t index = 0;
    int touched = 0;
    ChangeRecord previous;
  } pass;
};

// Objects made apart from any layer, on any thread, for one append
// (Layer::appendPrepared): a chain linked through links[0], and the
// positions (from 0) of those that are not Boxes and of those selected.
// Owns its nodes until appended.
struct PreparedChain {
  GroupNode* head = nullptr;
  GroupNode* tail = nullptr;
  size_t count = 0;
  BigVector<Layer::ChangeRecord::Placed> notBoxes;
  BigVector<uint32_t> selected;

  PreparedChain() = default;
  PreparedChain(const PreparedChain&) = delete;
  PreparedChain& operator=(const PreparedChain&) = delete;
  ~PreparedChain() { delete head; }
  void add(GroupNode* node, bool isBox) {
    if (!isBox) notBoxes.push_back({(uint32_t)count, node});
    if (node->isSelected()) selected.push_back((uint32_t)count);
    if (tail) tail->links[0] = node;
    else head = node;
    tail = node;
    ++count;
  }
};

// Make a layer colour (FXColor layout: red in the lowest byte, alpha in the
// highest) the current OpenGL colour.
void setGLColor(uint32_t color);

// Visit the objects of the chosen layers (of n) in list order, in pieces:
// visit(i, nodes, count) for layer i. The lists are walked side by side:
// objects made one after another interleave in memory, and independent
// walks let the processor fetch many nodes at once where one walk waits for
// each (a walk of millions is bound by memory latency).
template <typename Visit>
void walkSideBySide(const Layer* layers, const bool* chosen, int n, Visit visit) {
  const uint32_t PIECE = 256;
  // Only the chosen layers that hold objects are walked: most of the slots
  // are usually empty, and each round would otherwise visit them all.
  std::vector<int> active;
  std::vector<GroupNode*> at;
  for (int i = 0; i < n; i++)
    if (chosen[i] && layers[i].first()) active.push_back(i), at.push_back(layers[i].first());
  const size_t k = active.size();
  std::vector<GroupNode*> pieces((size_t)PIECE * k);
  std::vector<uint32_t> filled(k);
  for (bool more = k > 0; more;) {
    std::fill(filled.begin(), filled.end(), 0);
    more = false;
    for (uint32_t j = 0; j < PIECE; j++) {
      for (size_t a = 0; a < k; a++) {
        if (!at[a]) continue;
        pieces[a * PIECE + filled[a]++] = at[a];
        at[a] = at[a]->next();
      }
    }
    for (size_t a = 0; a < k; a++) {
      if (filled[a]) visit(active[a], &pieces[a * PIECE], filled[a]);
      more = more || at[a];
    }
  }
}

#endif
