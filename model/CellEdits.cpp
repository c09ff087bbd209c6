#include "model/CellEdits.h"

#include <algorithm>

#include "model/CellPlacement.h"
#include "model/CountText.h"

namespace {

// Link nodes into a chain in their order; its first node.
GroupNode* chainOf(const std::vector<GroupNode*>& nodes) {
  for (size_t k = 0; k + 1 < nodes.size(); k++) nodes[k]->links[0] = nodes[k + 1];
  if (nodes.empty()) return nullptr;
  nodes.back()->links[0] = nullptr;
  return nodes.front();
}

// The selected objects of the document's enabled slots, with their positions.
struct Picked {
  int slot;
  std::vector<uint32_t> positions;
  std::vector<GroupNode*> nodes;
};

std::vector<Picked> pickSelected(const Layout& layout, int only) {
  std::vector<Picked> picked;
  for (int i = 0; i < SLOT_COUNT; i++) {
    if ((only >= 0 && i != only) || !layout.layer(i).isEnabled()) continue;
    Picked p{i, {}, {}};
    layout.layer(i).collect(MATCH_SELECTED, p.positions, p.nodes);
    if (!p.nodes.empty()) picked.push_back(std::move(p));
  }
  return picked;
}

// Selected objects and instances into a new cell, one instance in their
// place. While done, the cell owns the objects; while undone, the step
// owns the instance.
class GroupStep : public FXCommand {
public:
  GroupStep(Layout& l, std::vector<Picked> p, std::string n) : layout(l), picked(std::move(p)), name(std::move(n)) {}
  ~GroupStep() override {
    if (instanceOwned) delete instance;
  }
  void redo() override {
    std::vector<SlotObjects> content;
    for (Picked& p : picked) {
      p.nodes = LayerChanges(layout).removeFrom(p.slot, p.positions);
      for (GroupNode* node : p.nodes) node->deselect();
      content.push_back(SlotObjects{p.slot, p.nodes});
    }
    const uint32_t cell = CellChanges(layout).addCell(name, content);
    if (!instance) instance = new Instance;
    instance->cell = cell;
    instance->placeBounds(layout.cell(cell).bounds());
    instance->select();
    LayerChanges(layout).appendTo(LAYER_INSTANCES, {instance});
    instanceOwned = false;
  }
  void undo() override {
    const uint32_t last = (uint32_t)layout.instances().size() - 1;
    LayerChanges(layout).removeFrom(LAYER_INSTANCES, {last});
    instanceOwned = true;
    CellChanges(layout).dropLastCell(true);
    for (Picked& p : picked) {
      for (GroupNode* node : p.nodes) node->select();
      LayerChanges(layout).insertInto(p.slot, p.positions, p.nodes);
    }
  }
  FXuint size() const override {
    size_t n = 0;
    for (const Picked& p : picked) n += p.nodes.size();
    return (FXuint)std::min<size_t>(sizeof(*this) + n * (sizeof(uint32_t) + sizeof(GroupNode*)), 0xFFFFFFFFu);
  }
  FXString undoName() const override { return FXString("grouped into ") + name.c_str(); }
  FXString redoName() const override { return undoName(); }

private:
  Layout& layout;
  std::vector<Picked> picked;
  std::string name;
  Instance* instance = nullptr;
  bool instanceOwned = false;
};

// Selected instances replaced by their cells' contents. While done, the
// step owns the instances; while undone, the objects made.
class UngroupStep : public FXCommand {
public:
  UngroupStep(Layout& l, Picked p, std::vector<SlotObjects> m) : layout(l), picked(std::move(p)), made(std::move(m)) {}
  ~UngroupStep() override {
    if (instancesOwned)
      for (GroupNode* node : picked.nodes) delete node;
    else
      for (SlotObjects& s : made)
        for (GroupNode* node : s.nodes) delete node;
  }
  void redo() override {
    picked.nodes = LayerChanges(layout).removeFrom(LAYER_INSTANCES, picked.positions);
    for (SlotObjects& s : made) LayerChanges(layout).appendTo(s.slot, s.nodes);
    instancesOwned = true;
  }
  void undo() override {
    for (auto s = made.rbegin(); s != made.rend(); ++s) {
      const size_t n = layout.layer(s->slot).size();
      std::vector<uint32_t> positions;
      for (size_t i = n - s->nodes.size(); i < n; i++) positions.push_back((uint32_t)i);
      LayerChanges(layout).removeFrom(s->slot, positions);
    }
    LayerChanges(layout).insertInto(LAYER_INSTANCES, picked.positions, picked.nodes);
    instancesOwned = false;
  }
  FXuint size() const override {
    size_t n = picked.nodes.size();
    for (const SlotObjects& s : made) n += s.nodes.size();
    return (FXuint)std::min<size_t>(sizeof(*this) + n * (sizeof(GroupNode*) + sizeof(Rect)), 0xFFFFFFFFu);
  }
  FXString undoName() const override { return countText(picked.nodes.size(), "instance(s) ungrouped"); }
  FXString redoName() const override { return undoName(); }

private:
  Layout& layout;
  Picked picked;
  std::vector<SlotObjects> made;
  bool instancesOwned = false;
};

// Every instance's box from its cell's bounds, children before parents.
void refreshInstanceBoxes(CellLibrary& library) {
  for (uint32_t i = 0; i < library.size(); i++) library.cell(i).contentChanged();
  for (uint32_t i : library.childrenFirst()) {
    Cell& cell = library.cell(i);
    if (cell.instances().size() == 0) continue;
    Layer& list = cell.editLayer(LAYER_INSTANCES);
    for (GroupNode* n = list.first(); n; n = n->next()) {
      Instance* inst = static_cast<Instance*>(n);
      if (inst->cell < library.size()) inst->placeBounds(library);
    }
    list.refreshBounds();
    cell.contentChanged();
  }
}

}  // namespace

std::unique_ptr<Cell> CellLibrary::removeLast() {
  std::unique_ptr<Cell> last = std::move(cells.back());
  cells.pop_back();
  names.erase(last->name());
  last->library = nullptr;
  return last;
}

uint32_t CellChanges::addCell(const std::string& name, const std::vector<SlotObjects>& content) {
  CellLibrary& library = layout.library;
  const uint32_t index = library.add(name);
  Cell& cell = library.cell(index);
  for (const SlotObjects& s : content)
    if (!s.nodes.empty()) cell.editLayer(s.slot).appendChain(chainOf(s.nodes));
  cell.contentChanged();
  if (layout.observer) layout.observer->cellAdded(cell);
  return index;
}

void CellChanges::dropLastCell(bool keep) {
  std::unique_ptr<Cell> last = layout.library.removeLast();
  if (keep)
    for (int i = 0; i < SLOT_COUNT; i++)
      if (i == LAYER_INSTANCES ? last->instances().size() > 0 : last->layer(i) != nullptr)
        last->editLayer(i).cutFrom(0);
  if (layout.observer) layout.observer->lastCellDropped(last->name());
}

void CellChanges::show(uint32_t i) {
  CellLibrary& library = layout.library;
  if (i >= library.size() || i == library.shown) return;
  layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
  library.cell(library.shown).showIn(nullptr);
  library.shown = i;
  library.cell(i).showIn(layout.layers);
  refreshInstanceBoxes(library);
  for (Layer& l : layout.layers) l.refreshBounds();
  if (layout.observer) layout.observer->cellShown(library.cell(i));
}

std::string Layout::freeCellName() const {
  for (uint64_t n = 1;; n++) {
    std::string name = "CELL" + std::to_string(n);
    if (library.find(name) == UINT32_MAX) return name;
  }
}

Layout::GroupResult Layout::groupSelected(const std::string& name, int only) {
  if (name.empty()) return GROUP_NAME_EMPTY;
  if (library.find(name) != UINT32_MAX) return GROUP_NAME_TAKEN;
  std::vector<Picked> picked = pickSelected(*this, only);
  if (picked.empty()) return GROUP_NOTHING;
  record(new GroupStep(*this, std::move(picked), name), false);
  return GROUP_DONE;
}

size_t Layout::ungroupSelected(uint64_t limit, bool* overLimit) {
  if (overLimit) *overLimit = false;
  std::vector<Picked> picked = pickSelected(*this, LAYER_INSTANCES);
  if (picked.empty()) return 0;
  // Count first: an array of a large cell may make more than memory holds.
  uint64_t total = 0;
  for (GroupNode* node : picked[0].nodes) {
    const Instance& inst = *static_cast<const Instance*>(node);
    const Cell& cell = library.cell(inst.cell);
    const uint64_t each = cell.ownCount() + cell.instances().size();
    if (each != 0 && inst.array.elements() > (limit - total) / each) {
      if (overLimit) *overLimit = true;
      return 0;
    }
    total += inst.array.elements() * each;
  }
  std::vector<std::vector<GroupNode*>> bySlot(SLOT_COUNT);
  for (GroupNode* node : picked[0].nodes) {
    const Instance& inst = *static_cast<const Instance*>(node);
    const Cell& cell = library.cell(inst.cell);
    for (uint32_t row = 0; row < inst.array.rows; row++)
      for (uint32_t column = 0; column < inst.array.columns; column++) {
        const ElementPlacement place = elementPlacement(inst, column, row);
        for (int i = 0; i < LAYER_COUNT; i++)
          if (const Layer* l = cell.layer(i))
            for (GroupNode* n = l->first(); n; n = n->next()) bySlot[i].push_back(place.object(*n));
        for (GroupNode* n = cell.instances().first(); n; n = n->next()) {
          const Instance& nested = *static_cast<const Instance*>(n);
          Instance* moved = place.instance(nested, library.cell(nested.cell).bounds());
          moved->placeBounds(library);  // nested absolute references stand as they will be placed
          bySlot[LAYER_INSTANCES].push_back(moved);
        }
      }
  }
  std::vector<SlotObjects> made;
  for (int i = 0; i < SLOT_COUNT; i++) {
    for (GroupNode* node : bySlot[i]) node->select();
    if (!bySlot[i].empty()) made.push_back(SlotObjects{i, std::move(bySlot[i])});
  }
  const size_t count = picked[0].nodes.size();
  record(new UngroupStep(*this, std::move(picked[0]), std::move(made)), false);
  return count;
}

void Layout::showCell(uint32_t i) {
  if (i >= library.size() || i == library.shown) return;
  const bool wasMarked = history.marked();
  history.clear();
  CellChanges(*this).show(i);
  if (wasMarked)
    history.mark();
  else
    history.unmark();
}
