#include "model/Layout.h"

#include <algorithm>

#include "model/CountText.h"
#include "model/Rect.h"

namespace {

// The objects one step touches in one layer: their positions, ascending,
// and the nodes themselves.
struct LayerPart {
  int layer;
  std::vector<uint32_t> positions;
  std::vector<GroupNode*> nodes;
};

FXuint partsSize(const std::vector<LayerPart>& parts, size_t nodeBytes) {
  size_t bytes = 0;
  for (const LayerPart& part : parts)
    bytes += part.nodes.size() * (sizeof(GroupNode*) + sizeof(uint32_t) + nodeBytes);
  return (FXuint)std::min<size_t>(bytes, 0xFFFFFFFFu);
}

// A step that holds objects of several layers, and owns them while they are
// out of the layout: after an add was undone, or while a removal stands.
class ObjectsStep : public FXCommand {
public:
  ObjectsStep(Layout& l, std::vector<LayerPart> p, const FXString& m, size_t nodeBytes)
      : layout(l), parts(std::move(p)), message(m), bytes(nodeBytes) {}
  ~ObjectsStep() override {
    if (owned)
      for (LayerPart& part : parts)
        for (GroupNode* node : part.nodes) delete node;
  }
  FXuint size() const override { return sizeof(*this) + partsSize(parts, bytes); }
  FXString undoName() const override { return message; }
  FXString redoName() const override { return message; }

protected:
  Layout& layout;
  std::vector<LayerPart> parts;
  FXString message;
  size_t bytes;  // memory per object counted while owned
  bool owned = false;
};

// Objects added at the end of their layers (drawing, paste).
class AddStep : public ObjectsStep {
public:
  AddStep(Layout& l, std::vector<LayerPart> p, const FXString& m) : ObjectsStep(l, std::move(p), m, 0) {}
  void redo() override {
    for (LayerPart& part : parts) LayerChanges(layout).appendTo(part.layer, part.nodes);
    owned = false;
  }
  // The added objects are the last of their layers: later steps are undone first.
  void undo() override {
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
      size_t n = layout.layer(part->layer).size();
      std::vector<uint32_t> positions;
      positions.reserve(part->nodes.size());
      for (size_t i = n - part->nodes.size(); i < n; i++) positions.push_back((uint32_t)i);
      LayerChanges(layout).removeFrom(part->layer, positions);
    }
    owned = true;
  }
};

// Objects taken out of their layers (Delete, Cut); undo puts each back at
// its old position.
class RemoveStep : public ObjectsStep {
public:
  RemoveStep(Layout& l, std::vector<LayerPart> p, const FXString& m)
      : ObjectsStep(l, std::move(p), m, sizeof(Opt)) {}
  void redo() override {
    for (LayerPart& part : parts) part.nodes = LayerChanges(layout).removeFrom(part.layer, part.positions);
    owned = true;
  }
  void undo() override {
    for (LayerPart& part : parts) LayerChanges(layout).insertInto(part.layer, part.positions, part.nodes);
    owned = false;
  }
};

// Objects moved in place; moves of the same objects merge.
class MoveStep : public FXCommand {
public:
  MoveStep(Layout& l, std::vector<LayerPart> p, int32_t x, int32_t y, bool merging = true)
      : layout(l), parts(std::move(p)), dx(x), dy(y), mergeable(merging) {}
  void redo() override { apply(dx, dy); }
  void undo() override { apply(wrapNeg(dx), wrapNeg(dy)); }
  FXuint size() const override { return sizeof(*this) + partsSize(parts, 0); }
  FXString undoName() const override { return countText(count(), "object(s) moved"); }
  FXString redoName() const override { return undoName(); }
  bool canMerge() const override { return mergeable; }
  bool mergeWith(FXCommand* command) override {
    MoveStep* other = dynamic_cast<MoveStep*>(command);
    if (!other || other->parts.size() != parts.size()) return false;
    for (size_t i = 0; i < parts.size(); i++)
      if (parts[i].layer != other->parts[i].layer || parts[i].nodes != other->parts[i].nodes)
        return false;
    dx = wrapAdd(dx, other->dx);
    dy = wrapAdd(dy, other->dy);
    return true;
  }

private:
  void apply(int32_t x, int32_t y) {
    for (LayerPart& part : parts) LayerChanges(layout).moveIn(part.layer, part.positions, part.nodes, x, y);
  }
  size_t count() const {
    size_t n = 0;
    for (const LayerPart& part : parts) n += part.nodes.size();
    return n;
  }
  Layout& layout;
  std::vector<LayerPart> parts;
  int32_t dx, dy;
  bool mergeable;  // later moves of the same objects join this step
};

// Can the object move by (dx, dy) and keep its corners in the 32-bit range?
// A far edge that was already outside it is left to wrap as before.
bool movable(const Rect& r, int32_t dx, int32_t dy) {
  int64_t farX = (int64_t)r.x + r.w, farY = (int64_t)r.y + r.h;
  return fitsInt32((int64_t)r.x + dx) && fitsInt32((int64_t)r.y + dy) && (!fitsInt32(farX) || fitsInt32(farX + dx)) &&
         (!fitsInt32(farY) || fitsInt32(farY + dy));
}

}  // namespace

Layout::Layout() {
  applyStartupSettings(layers);
  layers[LAYER_INSTANCES].setId(LAYER_INSTANCES);
  layers[LAYER_INSTANCES].enable();
  library.add(gds.cellName);
  library.cell(0).showIn(layers);
  history.mark();
}

Layout::~Layout() { history.clear(); }

void Layout::markSaved(const FXString& name, FileFormat f) {
  filename = name;
  fileFormat = f;
  untitled = false;
  history.mark();
  if (observer) observer->savedStateReached();
}

void Layout::replaceContent(Layer fresh[LAYER_COUNT], const FXString& name, bool isUntitled,
                            FileFormat f, const GdsLibraryInfo& info, CellLibrary* cells) {
  history.clear();
  settleNewLayers();
  for (int i = 0; i < LAYER_COUNT; i++) {
    layers[i].enable();
    layers[i].swapContents(fresh[i]);
  }
  // The old library goes with its instances; the new shown cell's
  // instances (and any own objects it still holds) come in.
  delete layers[LAYER_INSTANCES].cutFrom(0);
  layers[LAYER_INSTANCES].enable();
  if (cells) {
    library = std::move(*cells);
  } else {
    library = CellLibrary();
    library.add(info.cellName);
  }
  if (library.size() == 0) library.add(info.cellName);
  library.cell(library.shown).showIn(layers);
  filename = name;
  untitled = isUntitled;
  fileFormat = f;
  gds = info;
  history.mark();
  if (observer) observer->savedStateReached();
}

void Layout::record(FXCommand* step, bool merge) {
  history.add(step, true, merge);
  // Drop the oldest steps while the history holds too much; the newest
  // stays whatever its size.
  while (history.undoCount() > 1 && history.size() > historyLimit)
    history.trimCount(history.undoCount() - 1);
}

size_t Layout::addObjects(const std::vector<PlacedObject>& objects, const FXString& message,
                          size_t* refused) {
  std::vector<LayerPart> parts;
  size_t added = 0, refusedCount = 0;
  // Sorted by slot in one pass: a paste may bring millions of objects.
  std::vector<std::vector<GroupNode*>> bySlot(SLOT_COUNT);
  for (const PlacedObject& o : objects) {
    // An instance of a cell this library does not have cannot be placed.
    const bool known = o.layer != LAYER_INSTANCES || static_cast<const Instance*>(o.node)->cell < library.size();
    if (o.layer >= 0 && o.layer < SLOT_COUNT && layers[o.layer].isEnabled() && known) {
      if (layers[o.layer].isHidden()) o.node->deselect();  // nothing hidden is selected
      bySlot[o.layer].push_back(o.node);
    } else
      delete o.node, ++refusedCount;
  }
  for (int i = 0; i < SLOT_COUNT; i++) {
    added += bySlot[i].size();
    if (!bySlot[i].empty()) parts.push_back(LayerPart{i, {}, std::move(bySlot[i])});
  }
  if (refused) *refused = refusedCount;
  if (added > 0) record(new AddStep(*this, std::move(parts), message), false);
  return added;
}

// The selected objects of the enabled layers in reach, layer by layer.
static std::vector<LayerPart> selectedParts(const Layer layers[SLOT_COUNT], int only, size_t& count) {
  std::vector<LayerPart> parts;
  count = 0;
  for (int i = 0; i < SLOT_COUNT; i++) {
    if ((only >= 0 && i != only) || !layers[i].isEnabled()) continue;
    LayerPart part{i, {}, {}};
    layers[i].collect(MATCH_SELECTED, part.positions, part.nodes);
    count += part.nodes.size();
    if (!part.nodes.empty()) parts.push_back(std::move(part));
  }
  return parts;
}

size_t Layout::removeSelected(int only, const char* verb) {
  size_t count;
  std::vector<LayerPart> parts = selectedParts(layers, only, count);
  if (count > 0) record(new RemoveStep(*this, std::move(parts), countText(count, "object(s) ") + verb), false);
  return count;
}

Layout::MoveResult Layout::moveSelected(int only, int32_t dx, int32_t dy, size_t* moved, bool ownStep) {
  size_t count;
  std::vector<LayerPart> parts = selectedParts(layers, only, count);
  for (const LayerPart& part : parts)
    for (GroupNode* node : part.nodes)
      if (!movable(*node, dx, dy)) return MOVE_OUT_OF_RANGE;
  if (moved) *moved = count;
  if (count == 0) return MOVE_NOTHING;
  record(new MoveStep(*this, std::move(parts), dx, dy, !ownStep), !ownStep);
  return MOVE_DONE;
}

void Layout::setLook(int i, const LayerLook& look) {
  applyLook(layers[i], look);
  if (look.hidden) deselectHidden();
}

// A switched-off layer refuses every apply: it is switched on for the
// moment of the deselection.
void Layout::deselectHidden() {
  for (int i = 0; i < SLOT_COUNT; i++) {
    Layer& l = layers[i];
    if (!l.isHidden()) continue;
    const bool off = !l.isEnabled();
    if (off) l.toggleEnabled();
    if (selectedCount(i) > 0) l.apply(OP_DESELECT, MATCH_ALL, nullptr);
    if (off) l.toggleEnabled();
  }
}

int Layout::applySelection(int only, int op, int filter, Rect* arg) {
  if (op == OP_ADD || op == OP_DELETE) return 0;
  // Hidden layers can lose their selection, never gain one.
  auto reaches = [op](const Layer& l) { return op == OP_DESELECT || !l.isHidden(); };
  if (only >= 0) return reaches(layers[only]) ? layers[only].apply(op, filter, arg) : 0;
  int count = 0;
  if (op != OP_SELECT && op != OP_DESELECT && op != OP_TOGGLE) {
    for (Layer& l : layers) count += l.apply(op, filter, arg);
    return count;
  }
  // All layers side by side: a click on millions of objects then costs a
  // fraction of walking the layers one after another.
  bool chosen[SLOT_COUNT];
  for (int i = 0; i < SLOT_COUNT; i++) {
    chosen[i] = layers[i].isEnabled() != 0 && reaches(layers[i]);
    if (chosen[i]) layers[i].beginSelection(op, filter, arg);
  }
  walkSideBySide(layers, chosen, SLOT_COUNT, [this](int i, GroupNode* const* nodes, uint32_t n) {
    layers[i].selectPiece(nodes, n);
  });
  for (int i = 0; i < SLOT_COUNT; i++)
    if (chosen[i]) count += layers[i].endSelection();
  return count;
}

// Counts are kept per layer and revision. A selection change or an append
// brings its count along; the layers that need counting are walked side by
// side.
size_t Layout::selectedCount(int only) const {
  bool walk[SLOT_COUNT] = {};
  for (int i = 0; i < SLOT_COUNT; i++) {
    if ((only >= 0 && i != only) || !layers[i].isEnabled()) continue;
    if (countedRevision[i] == layers[i].getRevision() + 1) continue;
    const Layer::ChangeRecord& r = layers[i].lastChanges();
    if (r.kind == Layer::ChangeRecord::SELECTION && countedRevision[i] == r.since + 1) {
      selectedInLayer[i] += r.selectedChange;
      countedRevision[i] = layers[i].getRevision() + 1;
      continue;
    }
    // Appended objects, or a whole content appended (a file just read).
    bool whole = r.appendedFrom == 0;
    if (r.kind == Layer::ChangeRecord::APPENDED && (whole || countedRevision[i] == r.since + 1)) {
      selectedInLayer[i] = (whole ? 0 : selectedInLayer[i]) + r.selected.size();
      countedRevision[i] = layers[i].getRevision() + 1;
      continue;
    }
    walk[i] = true;
    selectedInLayer[i] = 0;
    countedRevision[i] = layers[i].getRevision() + 1;
  }
  walkSideBySide(layers, walk, SLOT_COUNT, [this](int i, GroupNode* const* nodes, uint32_t n) {
    for (uint32_t j = 0; j < n; j++) selectedInLayer[i] += nodes[j]->isSelected() ? 1 : 0;
  });
  size_t total = 0;
  for (int i = 0; i < SLOT_COUNT; i++)
    if ((only < 0 || i == only) && layers[i].isEnabled()) total += selectedInLayer[i];
  return total;
}

FXString Layout::undo() {
  if (!history.canUndo()) return FXString();
  FXString message = history.undoName();
  history.undo();
  afterHistoryMove();
  return message;
}

FXString Layout::redo() {
  if (!history.canRedo()) return FXString();
  FXString message = history.redoName();
  history.redo();
  afterHistoryMove();
  return message;
}

void Layout::afterHistoryMove() {
  deselectHidden();  // undo may bring back selected objects
  if (observer && history.marked()) observer->savedStateReached();
}

void Layout::settleNewLayers() { settledSlots = settlePairSlots(layers, settledSlots); }

void Layout::appendTo(int i, const std::vector<GroupNode*>& nodes) {
  settleNewLayers();
  size_t first = layers[i].size();
  for (size_t k = 0; k + 1 < nodes.size(); k++) nodes[k]->links[0] = nodes[k + 1];
  if (!nodes.empty()) nodes.back()->links[0] = nullptr;
  layers[i].appendChain(nodes.empty() ? nullptr : nodes.front());
  if (observer) observer->objectsAppended(i, first, nodes);
}

std::vector<GroupNode*> Layout::removeFrom(int i, const std::vector<uint32_t>& positions) {
  std::vector<GroupNode*> nodes = layers[i].removeAt(positions);
  if (observer) observer->objectsRemoved(i, positions, nodes);
  return nodes;
}

void Layout::insertInto(int i, const std::vector<uint32_t>& positions,
                        const std::vector<GroupNode*>& nodes) {
  settleNewLayers();
  layers[i].insertAt(positions, nodes);
  if (observer) observer->objectsInserted(i, positions, nodes);
}

void Layout::moveIn(int i, const std::vector<uint32_t>& positions,
                    const std::vector<GroupNode*>& nodes, int32_t dx, int32_t dy) {
  for (GroupNode* node : nodes) node->moveBy(dx, dy);
  layers[i].refreshBounds();
  if (observer) observer->objectsMoved(i, positions, dx, dy);
}
