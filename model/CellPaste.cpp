// Pasting instances with the cells they place, from another document.
#include <algorithm>
#include <sstream>

#include "model/CellEdits.h"

namespace {

// A cell's content as text, its instances' cells by the names nameOf
// gives: two cells with the same text are taken for the same cell.
template <typename NameOf>
std::string contentText(const Cell& cell, NameOf nameOf) {
  std::ostringstream out;
  for (int i = 0; i < SLOT_COUNT; i++) {
    const Layer* l = i == LAYER_INSTANCES ? &cell.instances() : cell.layer(i);
    for (const GroupNode* n = l ? l->first() : nullptr; n; n = n->next()) {
      out << i << ' ' << n->x << ' ' << n->y << ' ' << n->w << ' ' << n->h << ' ' << n->origin;
      if (i == LAYER_INSTANCES) {
        const Instance& inst = *static_cast<const Instance*>(n);
        const CellTransform& t = inst.transform;
        out << ' ' << nameOf(inst.cell) << ' ' << t.x << ' ' << t.y << ' ' << (int)t.quarterTurns << t.mirrorX << ' '
            << t.magnification << ' ' << t.angle << ' ' << inst.array.columns << ' ' << inst.array.rows << ' '
            << inst.array.columnStep[0] << ' ' << inst.array.columnStep[1] << ' ' << inst.array.rowStep[0] << ' '
            << inst.array.rowStep[1] << ' ' << t.absoluteMagnification << t.absoluteAngle;
        // An uneven array's elements follow its points.
        if (inst.array.uneven())
          for (int32_t v : inst.array.points) out << ' ' << v;
      }
      out << '\n';
    }
  }
  return out.str();
}

// A copy of a cell's content with its instances placing the cells map gives.
std::vector<SlotObjects> copyContent(const Cell& cell, const std::vector<uint32_t>& map) {
  std::vector<SlotObjects> content;
  for (int i = 0; i < SLOT_COUNT; i++) {
    const Layer* l = i == LAYER_INSTANCES ? &cell.instances() : cell.layer(i);
    if (!l || l->size() == 0) continue;
    SlotObjects s{i, {}};
    for (const GroupNode* n = l->first(); n; n = n->next()) {
      GroupNode* copy = cloneObject(*n);
      if (i == LAYER_INSTANCES) static_cast<Instance*>(copy)->cell = map[static_cast<const Instance*>(n)->cell];
      s.nodes.push_back(copy);
    }
    content.push_back(std::move(s));
  }
  return content;
}

struct NewCell {
  std::string name;
  std::vector<SlotObjects> content;
};

// New cells, then the objects; while undone the step owns both.
class PasteStep : public FXCommand {
public:
  PasteStep(Layout& l, std::vector<NewCell> c, std::vector<SlotObjects> o, const FXString& m)
      : layout(l), cells(std::move(c)), objects(std::move(o)), message(m) {}
  ~PasteStep() override {
    if (!owned) return;
    for (NewCell& cell : cells)
      for (SlotObjects& s : cell.content)
        for (GroupNode* node : s.nodes) delete node;
    for (SlotObjects& s : objects)
      for (GroupNode* node : s.nodes) delete node;
  }
  void redo() override {
    for (NewCell& cell : cells) CellChanges(layout).addCell(cell.name, cell.content);
    for (SlotObjects& s : objects) LayerChanges(layout).appendTo(s.slot, s.nodes);
    owned = false;
  }
  void undo() override {
    for (auto s = objects.rbegin(); s != objects.rend(); ++s) {
      const size_t n = layout.layer(s->slot).size();
      std::vector<uint32_t> positions;
      for (size_t i = n - s->nodes.size(); i < n; i++) positions.push_back((uint32_t)i);
      LayerChanges(layout).removeFrom(s->slot, positions);
    }
    for (size_t k = 0; k < cells.size(); k++) CellChanges(layout).dropLastCell(true);
    owned = true;
  }
  FXuint size() const override {
    size_t n = 0;
    for (const SlotObjects& s : objects) n += s.nodes.size();
    for (const NewCell& cell : cells)
      for (const SlotObjects& s : cell.content) n += s.nodes.size();
    return (FXuint)std::min<size_t>(sizeof(*this) + n * (sizeof(GroupNode*) + sizeof(Rect)), 0xFFFFFFFFu);
  }
  FXString undoName() const override { return message; }
  FXString redoName() const override { return message; }

private:
  Layout& layout;
  std::vector<NewCell> cells;
  std::vector<SlotObjects> objects;
  FXString message;
  bool owned = true;
};

}  // namespace

size_t Layout::pasteWithCells(const CellLibrary& from, const std::vector<PlacedObject>& objects,
                              const FXString& message, size_t* refused) {
  // Each cell of from, children first, to a cell of this library: one of
  // the same name and content, or a new one.
  std::vector<uint32_t> map(from.size(), UINT32_MAX);
  std::vector<std::string> names(from.size());
  std::vector<NewCell> cells;
  const auto nameHere = [this](uint32_t c) { return library.cell(c).name(); };
  const auto nameThere = [&names](uint32_t c) { return c < names.size() ? names[c] : std::string(); };
  const size_t firstNew = library.size();
  for (uint32_t c : from.childrenFirst()) {
    const std::string text = contentText(from.cell(c), nameThere);
    std::string name = from.cell(c).name();
    for (uint64_t n = 1;; n++) {
      const uint32_t found = library.find(name);
      bool taken = found != UINT32_MAX && contentText(library.cell(found), nameHere) != text;
      for (const NewCell& cell : cells) taken = taken || cell.name == name;
      if (found != UINT32_MAX && !taken) {
        map[c] = found;
        break;
      }
      if (!taken) {
        map[c] = (uint32_t)(firstNew + cells.size());
        cells.push_back(NewCell{name, copyContent(from.cell(c), map)});
        break;
      }
      name = from.cell(c).name() + "$" + std::to_string(n);
    }
    names[c] = name;
  }
  std::vector<std::vector<GroupNode*>> bySlot(SLOT_COUNT);
  size_t added = 0, refusedCount = 0;
  for (const PlacedObject& o : objects) {
    const uint32_t cell = o.layer == LAYER_INSTANCES ? static_cast<const Instance*>(o.node)->cell : 0;
    const bool placed = o.layer != LAYER_INSTANCES || (cell < map.size() && map[cell] != UINT32_MAX);
    if (o.layer >= 0 && o.layer < SLOT_COUNT && layers[o.layer].isEnabled() && placed) {
      if (o.layer == LAYER_INSTANCES) static_cast<Instance*>(o.node)->cell = map[static_cast<Instance*>(o.node)->cell];
      if (layers[o.layer].isHidden()) o.node->deselect();  // nothing hidden is selected
      bySlot[o.layer].push_back(o.node), ++added;
    } else {
      delete o.node, ++refusedCount;
    }
  }
  if (refused) *refused = refusedCount;
  std::vector<SlotObjects> parts;
  for (int i = 0; i < SLOT_COUNT; i++)
    if (!bySlot[i].empty()) parts.push_back(SlotObjects{i, std::move(bySlot[i])});
  if (added == 0) {
    for (NewCell& cell : cells)
      for (SlotObjects& s : cell.content)
        for (GroupNode* node : s.nodes) delete node;
    return 0;
  }
  record(new PasteStep(*this, std::move(cells), std::move(parts), message), false);
  return added;
}
