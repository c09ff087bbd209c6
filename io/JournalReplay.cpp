#include "io/JournalReplay.h"

#include <cstring>

#include "io/Gdsii.h"
#include "io/JournalFiles.h"
#include "io/LayerMap.h"
#include "io/LayoutFile.h"

namespace {

std::string describe(const char* what, size_t count, int layer) {
  if (layer == LAYER_INSTANCES) return std::to_string(count) + " instance(s) " + what;
  return std::to_string(count) + " object(s) " + what + " on " + layerFacts(layer).name;
}

bool sameGeometry(const Rect& a, const Rect& b) { return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h; }

// Apply a CELL, DROP or SHOW entry after its kind.
bool applyCellEntry(uint8_t kind, JournalCursor& c, Layout& layout, std::string& what) {
  if (kind == ENTRY_CELL) {
    std::string name;
    std::vector<SlotObjects> content;
    if (!decodeCell(c, &layout.cells(), name, content)) return what = "a damaged entry", false;
    if (layout.cells().find(name) != UINT32_MAX) {
      for (SlotObjects& s : content)
        for (GroupNode* node : s.nodes) delete node;
      return what = "cell " + name + " made again", false;
    }
    CellChanges(layout).addCell(name, content);
    return true;
  }
  const std::string name = c.getString();
  if (c.failed) return what = "a damaged entry", false;
  const uint32_t index = layout.cells().find(name);
  if (kind == ENTRY_DROP) {
    // Only the last cell goes, as only the newest group is undone.
    if (index == UINT32_MAX || index + 1 != layout.cellCount() || index == layout.shownCell())
      return what = "cell " + name + " removed", false;
    CellChanges(layout).dropLastCell(false);
    return true;
  }
  if (index == UINT32_MAX) return what = "cell " + name + " shown", false;
  CellChanges(layout).show(index);
  return true;
}

// Apply one edit entry; false, with the layout unchanged, when it no longer
// fits the layout (a changed base file) or is malformed.
bool applyEntry(const JournalEntry& entry, Layout& layout, std::string& what) {
  JournalCursor c{entry.data, entry.data + entry.size};
  uint8_t kind = c.get<uint8_t>();
  if (kind == ENTRY_CELL || kind == ENTRY_DROP || kind == ENTRY_SHOW) return applyCellEntry(kind, c, layout, what);
  const int layer = decodeLayer(c);
  if (layer < 0) return what = "a damaged entry", false;
  const Layer& target = layout.layer(layer);
  std::vector<GroupNode*> nodes;
  if (kind == ENTRY_APPEND) {
    c.get<uint32_t>();
    if (!decodeObjects(c, layer, nodes, &layout.cells())) return what = "a damaged entry", false;
    LayerChanges(layout).appendTo(layer, nodes);
    return true;
  }
  JournalRanges ranges;
  if (kind == ENTRY_INSERT) {
    // Each inserted position has its object further on: that bounds them.
    uint64_t limit = target.size() + (uint64_t)(c.end - c.p) / JOURNAL_OBJECT_BYTES;
    if (!decodeRanges(c, limit, false, ranges) || ranges.beyond || !decodeObjects(c, layer, nodes, &layout.cells()) ||
        nodes.size() != ranges.positions.size()) {
      for (GroupNode* node : nodes) delete node;
      return what = "a damaged entry", false;
    }
    LayerChanges(layout).insertInto(layer, ranges.positions, nodes);
    return true;
  }
  if (kind == ENTRY_REMOVE) {
    if (!decodeRanges(c, target.size(), true, ranges)) return what = "a damaged entry", false;
    what = describe("removed", ranges.total, layer);
    if (ranges.beyond || ranges.positions.empty()) return false;
    // The objects now at the ranges' ends must be the ones removed then.
    std::vector<const GroupNode*> at;
    at.reserve(target.size());
    for (const GroupNode* node = target.first(); node; node = node->next()) at.push_back(node);
    for (const auto& end : ranges.ends)
      if (!sameGeometry(*at[ranges.positions[end.first]], end.second)) return false;
    for (GroupNode* node : LayerChanges(layout).removeFrom(layer, ranges.positions)) delete node;
    return true;
  }
  if (kind == ENTRY_MOVE) {
    int32_t dx = c.get<int32_t>();
    int32_t dy = c.get<int32_t>();
    if (!decodeRanges(c, target.size(), false, ranges)) return what = "a damaged entry", false;
    what = describe("moved", ranges.total, layer);
    if (ranges.beyond || ranges.positions.empty()) return false;
    const std::vector<uint32_t>& positions = ranges.positions;
    size_t k = 0, index = 0;
    for (GroupNode* node = target.first(); node && k < positions.size(); node = node->next(), index++)
      if (index == positions[k]) nodes.push_back(node), k++;
    LayerChanges(layout).moveIn(layer, positions, nodes, dx, dy);
    return true;
  }
  return what = "an entry of unknown kind", false;
}

// Read the base file into fresh layers; false with cause when it cannot be.
bool readBase(const JournalBase& base, Layer fresh[LAYER_COUNT], GdsLibraryInfo& info, CellLibrary& cells,
              std::string& cause) {
  if (base.format == FORMAT_MSK) {
    ReadResult r;
    if (readLayoutFile(base.path.c_str(), fresh, r) == READ_OK) return true;
    return cause = std::strerror(r.errorNumber), false;
  }
  // The session's own layer map, whatever map this one has.
  LayerMap map;
  GdsReadResult r;
  if (!base.layerMap.empty() && !map.parse(base.layerMap, cause)) return false;
  if (readGdsiiFile(base.path.c_str(), map, fresh, info, r, nullptr, &cells, base.cell) == READ_OK &&
      r.error.empty())
    return true;
  return cause = r.error.empty() ? std::strerror(r.errorNumber) : r.errorText(), false;
}

}  // namespace

ReplayResult replayJournal(const std::string& journal, Layout& layout) {
  ReplayResult result;
  std::string bytes;
  std::vector<JournalEntry> entries;
  if (!readWholeFile(journal, bytes, result.error) ||
      !splitJournal(bytes, entries, result.tornEntryDropped, result.error))
    return result;
  if (entries.empty() || !decodeBase(entries[0], result.base)) {
    result.error = "its first entry is damaged";
    return result;
  }
  const JournalBase& base = result.base;
  Layer fresh[LAYER_COUNT];
  for (Layer& layer : fresh) layer.enable();
  GdsLibraryInfo info;
  CellLibrary cells;
  if (!base.untitled) {
    result.baseChanged = !baseUnchanged(base);
    if (!readBase(base, fresh, info, cells, result.baseUnreadable)) {
      for (Layer& layer : fresh) delete layer.cutFrom(0);
      if (result.baseUnreadable.empty()) result.baseUnreadable = "unknown cause";
    }
  }
  layout.replaceContent(fresh, base.untitled ? UNTITLED_NAME : base.path.c_str(), true, base.format, info,
                        cells.size() ? &cells : nullptr);
  // Save, and the next journal, map the layers as the recovered session did.
  LayerMap sessionMap;
  std::string mapError;
  if (base.format == FORMAT_GDSII && (base.layerMap.empty() || sessionMap.parse(base.layerMap, mapError)))
    activeLayerMap() = sessionMap;
  for (size_t i = 1; i < entries.size(); i++) {
    std::string what;
    if (!applyEntry(entries[i], layout, what)) result.notApplied.push_back(what);
  }
  layout.markUnsaved();
  result.ok = true;
  return result;
}
