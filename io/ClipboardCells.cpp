#include "io/ClipboardCells.h"

#include <cstring>

#include "io/JournalFormat.h"

namespace {

void appendEntry(std::string& out, const JournalPayload& payload) {
  const uint32_t size = (uint32_t)payload.size;
  out.append((const char*)&size, sizeof size);
  for (size_t i = 0; i < payload.blocks.size(); i++) out.append((const char*)payload.blocks[i], payload.blockBytes(i));
}

void deleteAll(std::vector<SlotObjects>& content) {
  for (SlotObjects& s : content)
    for (GroupNode* node : s.nodes) delete node;
  content.clear();
}

}  // namespace

std::string clipboardCells(const std::vector<PlacedObject>& objects, const CellLibrary& cells) {
  // The cells reached from the copied instances, down every level.
  std::vector<bool> reached(cells.size());
  std::vector<uint32_t> todo;
  for (const PlacedObject& o : objects)
    if (o.layer == LAYER_INSTANCES) todo.push_back(static_cast<const Instance*>(o.node)->cell);
  while (!todo.empty()) {
    const uint32_t c = todo.back();
    todo.pop_back();
    if (c >= cells.size() || reached[c]) continue;
    reached[c] = true;
    for (GroupNode* n = cells.cell(c).instances().first(); n; n = n->next())
      todo.push_back(static_cast<const Instance*>(n)->cell);
  }
  std::string out;
  for (uint32_t c : cells.childrenFirst())
    if (reached[c]) appendEntry(out, encodeCell(cells.cell(c), &cells));
  std::vector<std::vector<GroupNode*>> bySlot(SLOT_COUNT);
  for (const PlacedObject& o : objects)
    if (o.layer >= 0 && o.layer < SLOT_COUNT) bySlot[o.layer].push_back(o.node);
  for (int i = 0; i < SLOT_COUNT; i++)
    if (!bySlot[i].empty()) appendEntry(out, encodeAppend(i, 0, bySlot[i], &cells));
  return out;
}

bool objectsOfClipboardCells(const uint8_t* data, size_t size, CellLibrary& cells,
                             std::vector<PlacedObject>& objects) {
  const uint8_t* end = data + size;
  bool ok = true;
  while (ok && data < end) {
    uint32_t n = 0;
    if ((size_t)(end - data) < sizeof n) break;
    std::memcpy(&n, data, sizeof n);
    data += sizeof n;
    if ((size_t)(end - data) < n) {
      ok = false;
      break;
    }
    JournalCursor c{data, data + n};
    data += n;
    const uint8_t kind = c.get<uint8_t>();
    if (kind == ENTRY_CELL) {
      std::string name;
      std::vector<SlotObjects> content;
      ok = decodeCell(c, &cells, name, content) && cells.find(name) == UINT32_MAX;
      if (!ok) {
        deleteAll(content);
        break;
      }
      Cell& cell = cells.cell(cells.add(name));
      for (SlotObjects& s : content) {
        for (size_t k = 0; k + 1 < s.nodes.size(); k++) s.nodes[k]->links[0] = s.nodes[k + 1];
        if (!s.nodes.empty()) cell.editLayer(s.slot).appendChain(s.nodes.front());
      }
    } else if (kind == ENTRY_APPEND) {
      const int slot = decodeLayer(c);
      c.get<uint32_t>();
      std::vector<GroupNode*> nodes;
      ok = slot >= 0 && decodeObjects(c, slot, nodes, &cells);
      for (GroupNode* node : nodes) objects.push_back({slot, node});
    } else {
      ok = false;
    }
  }
  if (!ok || data != end) {
    for (PlacedObject& o : objects) delete o.node;
    objects.clear();
    cells = CellLibrary();
    return false;
  }
  return true;
}
