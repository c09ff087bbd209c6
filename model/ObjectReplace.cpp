#include "model/ObjectReplace.h"

#include "model/CountText.h"
#include "model/ObjectOrigin.h"
#include "model/Shapes.h"

namespace {

struct Part {
  int slot;
  std::vector<uint32_t> positions;
  std::vector<GroupNode*> nodes;
};

// Objects taken out of their lists and others put in: while done the step
// owns the ones taken out, while undone the ones put in. The positions of
// each part are those its objects stand at while in their list.
class ReplaceStep : public FXCommand {
public:
  ReplaceStep(Layout& l, std::vector<Part> out, std::vector<Part> in, const FXString& m)
      : layout(l), taken(std::move(out)), put(std::move(in)), message(m) {}
  ~ReplaceStep() override {
    for (Part& part : done ? taken : put)
      for (GroupNode* node : part.nodes) delete node;
  }
  void redo() override {
    for (Part& part : taken) part.nodes = LayerChanges(layout).removeFrom(part.slot, part.positions);
    for (Part& part : put) LayerChanges(layout).insertInto(part.slot, part.positions, part.nodes);
    done = true;
  }
  void undo() override {
    for (auto part = put.rbegin(); part != put.rend(); ++part)
      part->nodes = LayerChanges(layout).removeFrom(part->slot, part->positions);
    for (auto part = taken.rbegin(); part != taken.rend(); ++part)
      LayerChanges(layout).insertInto(part->slot, part->positions, part->nodes);
    done = false;
  }
  FXuint size() const override {
    size_t n = 0;
    for (const Part& part : taken) n += part.nodes.size();
    for (const Part& part : put) n += part.nodes.size();
    return (FXuint)(sizeof(*this) + n * (sizeof(GroupNode*) + sizeof(uint32_t) + sizeof(Opt)));
  }
  FXString undoName() const override { return message; }
  FXString redoName() const override { return message; }

private:
  Layout& layout;
  std::vector<Part> taken, put;
  FXString message;
  bool done = false;
};

}  // namespace

GroupNode* objectForSlot(const GroupNode& node, int from, int to) {
  GroupNode* copy;
  const Opt* opt = dynamic_cast<const Opt*>(&node);
  const bool marker = to < LAYER_COUNT && layerFacts(to).objectClass == CLASS_OPT;
  if (dynamic_cast<const Shape*>(&node)) {
    copy = cloneShape(node);
  } else if (dynamic_cast<const Instance*>(&node) || (opt != nullptr) == marker) {
    copy = cloneObject(node);
  } else {
    copy = newLayoutObject(to);
    copy->setRect(node.x, node.y, node.w, node.h);
    copy->origin = node.origin;
  }
  if (from != to) {
    ObjectOrigin origin = originOf(node.origin);
    origin.code.clear();
    origin.gdsLayer = origin.gdsDatatype = -1;
    copy->origin = internOrigin(origin);
  }
  if (node.isSelected()) copy->select();
  return copy;
}

bool cellPlaces(const CellLibrary& cells, uint32_t from, uint32_t target) {
  std::vector<uint32_t> todo{from};
  std::vector<bool> seen(cells.size());
  while (!todo.empty()) {
    const uint32_t c = todo.back();
    todo.pop_back();
    if (c == target) return true;
    if (c >= cells.size() || seen[c]) continue;
    seen[c] = true;
    for (const GroupNode* n = cells.cell(c).instances().first(); n; n = n->next())
      todo.push_back(static_cast<const Instance*>(n)->cell);
  }
  return false;
}

bool Layout::replaceObject(int slot, uint32_t position, int newSlot, GroupNode* replacement, const FXString& message) {
  if (slot < 0 || slot >= SLOT_COUNT || newSlot < 0 || newSlot >= SLOT_COUNT || position >= layers[slot].size() ||
      !layers[slot].isEnabled() || !layers[newSlot].isEnabled() || (slot == LAYER_INSTANCES) != (newSlot == LAYER_INSTANCES)) {
    delete replacement;
    return false;
  }
  settleNewLayers();
  // Kept in its place on its own layer; last on another.
  const uint32_t at = newSlot == slot ? position : (uint32_t)layers[newSlot].size();
  std::vector<Part> out{Part{slot, {position}, {}}}, in{Part{newSlot, {at}, {replacement}}};
  record(new ReplaceStep(*this, std::move(out), std::move(in), message), false);
  return true;
}

size_t Layout::moveSelectedToLayer(int to, int only) {
  if (to < 0 || to >= LAYER_COUNT || !layers[to].isEnabled()) return 0;
  settleNewLayers();
  std::vector<Part> out;
  Part in{to, {}, {}};
  for (int i = 0; i < LAYER_COUNT; i++) {
    if (i == to || (only >= 0 && i != only) || !layers[i].isEnabled()) continue;
    Part part{i, {}, {}};
    std::vector<GroupNode*> nodes;
    layers[i].collect(MATCH_SELECTED, part.positions, nodes);
    for (GroupNode* node : nodes) {
      in.positions.push_back((uint32_t)(layers[to].size() + in.nodes.size()));
      in.nodes.push_back(objectForSlot(*node, i, to));
    }
    if (!part.positions.empty()) out.push_back(std::move(part));
  }
  const size_t count = in.nodes.size();
  if (count == 0) return 0;
  const FXString message = countText(count, "object(s) moved to ") + layerFacts(to).name;
  record(new ReplaceStep(*this, std::move(out), {std::move(in)}, message), false);
  return count;
}
