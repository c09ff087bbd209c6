#include "io/JournalFormat.h"

#include <algorithm>
#include <cassert>
#include <functional>
#include <cstdlib>
#include <mutex>
#include <new>
#include <typeinfo>

#include "io/GdsShapes.h"
#include "model/ObjectOrigin.h"

namespace {

// 2: origins carry the GDSII element's properties; the base says whether
// its fingerprint is known. 3: the base names the shown cell, and objects
// of the instance slot carry their cell, transform and array. 4: pair slots
// are named by their GDSII pair, the instance slot by 254. 5: polygons,
// paths and labels carry their GDSII element; cells are defined, dropped
// and shown by entries of their own. 6: instances carry absolute
// magnifications and angles, and arrays whose points do not divide by
// their counts (placed from the points). A journal of version 5 replays as
// it did: an array of its whose points do not divide (placed by its steps
// then) makes the entry damaged. A journal of another version is refused
// whole, never replayed by guess.
const uint32_t VERSION = 6, OLDEST_VERSION = 5;
const char MAGIC[8] = {'K', 'I', 'V', 'O', 'J', 'R', 'N', 'L'};

// An instance's flags beside its quarter turns (bits 0-1), mirror (4)
// and the presence of a magnification (8) and an angle (16). Writers that
// know uneven arrays say so: without the bit, an array whose points do not
// divide was placed by its steps and is refused.
const uint8_t INSTANCE_ABSOLUTE_MAGNIFICATION = 32, INSTANCE_ABSOLUTE_ANGLE = 64, INSTANCE_UNEVEN_KNOWN = 128;

uint32_t fold(uint64_t h) { return (uint32_t)(h ^ (h >> 32)); }

// Entries are encoded into blocks of 256 KiB that the writer hands back
// once written. Fresh memory faults in page by page, which for a paste of
// 10^6 objects costs more than encoding them; so while a journal is open the
// writer thread, when idle, faults in enough blocks ahead for such a paste.
const size_t BLOCK = 256 << 10;
const size_t SPARE_AHEAD = 128, SPARE_MOST = 160;
struct BlockPool {
  std::mutex lock;
  std::vector<uint8_t*> spare;
};
// Never destroyed: writer threads may still run while the process exits.
BlockPool& pool = *new BlockPool;

uint8_t* newBlock() {
  uint8_t* block = static_cast<uint8_t*>(std::malloc(BLOCK));
  if (!block) throw std::bad_alloc();
  return block;
}

uint8_t* takeBlock() {
  {
    std::lock_guard<std::mutex> guard(pool.lock);
    if (!pool.spare.empty()) {
      uint8_t* block = pool.spare.back();
      pool.spare.pop_back();
      return block;
    }
  }
  return newBlock();
}

void giveBlocks(std::vector<uint8_t*>& blocks) {
  {
    std::lock_guard<std::mutex> guard(pool.lock);
    while (!blocks.empty() && pool.spare.size() < SPARE_MOST) {
      pool.spare.push_back(blocks.back());
      blocks.pop_back();
    }
  }
  for (uint8_t* block : blocks) std::free(block);
  blocks.clear();
}

// Appends bytes to a payload, block after block.
class Encoder {
public:
  JournalPayload out;
  void put(const void* data, size_t n) {
    if (n <= left) {
      std::memcpy(at, data, n);
      at += n, left -= n, out.size += n;
      return;
    }
    for (const uint8_t* p = static_cast<const uint8_t*>(data); n > 0;) {
      if (left == 0) {
        out.blocks.push_back(at = takeBlock());
        left = BLOCK;
      }
      size_t k = std::min(n, left);
      std::memcpy(at, p, k);
      at += k, left -= k, out.size += k, p += k, n -= k;
    }
  }
  template <typename T>
  void put(T value) {
    put(&value, sizeof(T));
  }
  void putString(const std::string& s) {
    put<uint32_t>((uint32_t)s.size());
    put(s.data(), s.size());
  }
  void putRect(const Rect& r) {
    int32_t g[4] = {r.x, r.y, r.w, r.h};
    put(g, sizeof(g));
  }
  // Runs of consecutive positions as a count, then (start, count) pairs;
  // with ends, the geometry of each run's first and last object follows its
  // pair (nodes are in the order of positions). Positions ascend strictly, so
  // a run from i reaches j exactly when positions[j] - positions[i] == j - i:
  // each run's end is found by galloping, and a selection of one range of
  // 10^6 objects costs a few dozen comparisons instead of two passes.
  void putRanges(const std::vector<uint32_t>& positions, const std::vector<GroupNode*>* ends) {
    assert(std::adjacent_find(positions.begin(), positions.end(), std::greater_equal<uint32_t>()) ==
           positions.end());
    uint32_t runs = 0;
    for (size_t i = 0; i < positions.size(); runs++) i = runEnd(positions, i);
    put<uint32_t>(runs);
    for (size_t i = 0; i < positions.size();) {
      size_t j = runEnd(positions, i);
      uint32_t pair[2] = {positions[i], (uint32_t)(j - i)};
      put(pair, sizeof(pair));
      if (ends) putRect(*(*ends)[i]), putRect(*(*ends)[j - 1]);
      i = j;
    }
  }
  // One past the last position of the run of consecutive positions from i.
  static size_t runEnd(const std::vector<uint32_t>& positions, size_t i) {
    auto joins = [&](size_t j) { return positions[j] - positions[i] == (uint32_t)(j - i); };
    size_t inside = i, step = 1;  // positions[inside] is in the run
    while (step < positions.size() - inside && joins(inside + step)) inside += step, step *= 2;
    size_t outside = std::min(inside + step, positions.size());  // first index known outside, or the end
    while (outside - inside > 1) {
      size_t mid = inside + (outside - inside) / 2;
      (joins(mid) ? inside : outside) = mid;
    }
    return inside + 1;
  }
  // The origins the objects use, then the objects themselves.
  void putObjects(int layer, const std::vector<GroupNode*>& nodes, const CellLibrary* cells) {
    std::vector<uint32_t> origins;
    uint32_t last = 0;
    for (const GroupNode* node : nodes) {
      if (node->origin == last) continue;
      last = node->origin;
      if (std::find(origins.begin(), origins.end(), last) == origins.end()) origins.push_back(last);
    }
    put<uint32_t>((uint32_t)origins.size());
    for (uint32_t number : origins) {
      const ObjectOrigin& o = originOf(number);
      put<uint32_t>(number);
      putString(o.code);
      put<int32_t>(o.gdsLayer);
      put<int32_t>(o.gdsDatatype);
      putString(o.gdsProperties);
    }
    put<uint32_t>((uint32_t)nodes.size());
    const bool options = layerFacts(layer).objectClass == CLASS_OPT;
    std::vector<uint32_t> shapes;  // the positions of polygons, paths and labels
    // Records are gathered in a chunk and copied into the blocks a chunk at
    // a time: one copy per record cost as much as making it. 256 records
    // (6 KiB) stay in the first-level cache.
    static_assert(JOURNAL_OBJECT_BYTES == 6 * sizeof(int32_t), "a record is six 32-bit fields");
    const uint32_t CHUNK = 256;
    int32_t chunk[CHUNK * 6];
    int32_t* record = chunk;
    const GroupNode* const* list = nodes.data();
    const uint32_t count = (uint32_t)nodes.size();
    const bool mayHoldShapes = layer != LAYER_INSTANCES;
    for (uint32_t i = 0; i < count; i++) {
      const GroupNode* node = list[i];
      // Shapes are found in the one pass over the objects.
      const std::type_info& type = typeid(*node);
      int32_t value = 0;
      if (options) {
        if (const Opt* opt = asOpt(node, type)) value = opt->value;
      }
      record[0] = node->x, record[1] = node->y, record[2] = node->w, record[3] = node->h;
      record[4] = value, record[5] = (int32_t)node->origin;
      record += 6;
      if (record == chunk + CHUNK * 6) put(chunk, sizeof chunk), record = chunk;
      if (mayHoldShapes && asShape(node, type)) shapes.push_back(i);
    }
    put(chunk, (size_t)(record - chunk) * sizeof(int32_t));
    if (layer == LAYER_INSTANCES)
      for (const GroupNode* node : nodes) putInstance(*static_cast<const Instance*>(node), cells);
    else
      putShapes(nodes, shapes);
  }
  // The polygons, paths and labels among the objects (at the positions
  // given): their positions, then each one's record bits, label size and
  // element as GDSII writes it.
  void putShapes(const std::vector<GroupNode*>& nodes, const std::vector<uint32_t>& shapes) {
    put<uint32_t>((uint32_t)shapes.size());
    for (uint32_t i : shapes) {
      const Shape& shape = *static_cast<const Shape*>(nodes[i]);
      const Label* label = dynamic_cast<const Label*>(&shape);
      put<uint32_t>(i);
      put<uint8_t>(shape.gdsRecords);
      put<double>(label ? label->unitsPerMicrometre : 0.0);
      GdsRecordWriter w;
      // A label's TEXTTYPE is the element's datatype: the label's own, kept.
      writeGdsShape(w, shape, 0, label ? (uint16_t)label->textType : 0, std::string());
      putString(w.bytes());
    }
  }
  // An instance's cell by name, its transform and its array.
  void putInstance(const Instance& inst, const CellLibrary* cells) {
    putString(cells && inst.cell < cells->size() ? cells->cell(inst.cell).name() : std::string());
    const CellTransform& t = inst.transform;
    int32_t whole[2] = {t.x, t.y};
    put(whole, sizeof(whole));
    put<uint8_t>((uint8_t)(t.quarterTurns | (t.mirrorX ? 4 : 0) | (t.hasMagnification ? 8 : 0) |
                           (t.hasAngle ? 16 : 0) | (t.absoluteMagnification ? INSTANCE_ABSOLUTE_MAGNIFICATION : 0) |
                           (t.absoluteAngle ? INSTANCE_ABSOLUTE_ANGLE : 0) | INSTANCE_UNEVEN_KNOWN));
    put<double>(t.magnification);
    put<double>(t.angle);
    put<uint64_t>(t.magnificationBits);
    put<uint64_t>(t.angleBits);
    const CellArray& a = inst.array;
    put<uint16_t>(a.columns);
    put<uint16_t>(a.rows);
    int32_t steps[10] = {a.columnStep[0], a.columnStep[1], a.rowStep[0], a.rowStep[1],
                         a.points[0], a.points[1], a.points[2], a.points[3], a.points[4], a.points[5]};
    put(steps, sizeof(steps));
    put<uint8_t>(a.fromAref ? 1 : 0);
  }

private:
  uint8_t* at = nullptr;
  size_t left = 0;
};

// A pair slot's number differs from process to process: its entries name
// the pair instead, after JOURNAL_PAIR_LAYER.
const uint8_t JOURNAL_PAIR_LAYER = 255;
// The shown cell's instances, whatever the number of layer slots.
const uint8_t JOURNAL_INSTANCE_LAYER = 254;

// A slot as decodeLayer reads it.
void putSlot(Encoder& out, int layer) {
  uint32_t pair[2];
  if (pairOfSlot(layer, pair[0], pair[1])) {
    out.put<uint8_t>(JOURNAL_PAIR_LAYER);
    out.put(pair, sizeof pair);
  } else {
    out.put<uint8_t>(layer == LAYER_INSTANCES ? JOURNAL_INSTANCE_LAYER : (uint8_t)layer);
  }
}

Encoder start(JournalEntryKind kind, int layer) {
  Encoder out;
  out.put<uint8_t>(kind);
  putSlot(out, layer);
  return out;
}

}  // namespace

JournalPayload::~JournalPayload() { giveBlocks(blocks); }

JournalPayload& JournalPayload::operator=(JournalPayload&& other) {
  if (this != &other) {
    giveBlocks(blocks);
    blocks.swap(other.blocks);
    size = other.size;
  }
  return *this;
}

size_t JournalPayload::blockBytes(size_t i) const {
  return i + 1 < blocks.size() ? BLOCK : size - BLOCK * (blocks.size() - 1);
}

const uint8_t* journalHead() {
  static const struct Head {
    uint8_t bytes[JOURNAL_HEAD_BYTES];
    Head() { std::memcpy(bytes, MAGIC, 8), std::memcpy(bytes + 8, &VERSION, 4); }
  } head;
  return head.bytes;
}

uint64_t hashBytes(uint64_t h, const uint8_t* data, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    h = (h ^ word) * 1099511628211ull;
  }
  for (; i < n; i++) h = (h ^ data[i]) * 1099511628211ull;
  return h;
}

void entryFrame(const JournalPayload& payload, uint32_t frame[2]) {
  uint64_t h = HASH_START;
  for (size_t i = 0; i < payload.blocks.size(); i++) h = hashBytes(h, payload.blocks[i], payload.blockBytes(i));
  frame[0] = (uint32_t)payload.size;
  frame[1] = fold(h);
}

// Fault blocks in until SPARE_AHEAD are ready.
void prepareJournalBlocks() {
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(pool.lock);
      if (pool.spare.size() >= SPARE_AHEAD) return;
    }
    std::vector<uint8_t*> one{newBlock()};
    std::memset(one[0], 0, BLOCK);
    giveBlocks(one);
  }
}

JournalPayload encodeBase(const JournalBase& base) {
  Encoder entry;
  entry.put<uint8_t>(ENTRY_BASE);
  entry.put<uint8_t>(base.untitled ? 1 : 0);
  entry.putString(base.path);
  entry.put<uint8_t>((uint8_t)base.format);
  entry.put<uint8_t>(base.fingerprinted ? 1 : 0);
  entry.put<uint64_t>(base.size);
  entry.put<int64_t>(base.modified);
  entry.put<uint64_t>(base.hash);
  entry.putString(base.layerMap);
  entry.putString(base.cell);
  return std::move(entry.out);
}

JournalPayload encodeAppend(int layer, size_t first, const std::vector<GroupNode*>& nodes,
                            const CellLibrary* cells) {
  Encoder out = start(ENTRY_APPEND, layer);
  out.put<uint32_t>((uint32_t)first);
  out.putObjects(layer, nodes, cells);
  return std::move(out.out);
}

JournalPayload encodeRemove(int layer, const std::vector<uint32_t>& positions, const std::vector<GroupNode*>& nodes) {
  Encoder out = start(ENTRY_REMOVE, layer);
  out.putRanges(positions, &nodes);
  return std::move(out.out);
}

JournalPayload encodeInsert(int layer, const std::vector<uint32_t>& positions, const std::vector<GroupNode*>& nodes,
                            const CellLibrary* cells) {
  Encoder out = start(ENTRY_INSERT, layer);
  out.putRanges(positions, nullptr);
  out.putObjects(layer, nodes, cells);
  return std::move(out.out);
}

JournalPayload encodeMove(int layer, const std::vector<uint32_t>& positions, int32_t dx, int32_t dy) {
  Encoder out = start(ENTRY_MOVE, layer);
  out.put<int32_t>(dx);
  out.put<int32_t>(dy);
  out.putRanges(positions, nullptr);
  return std::move(out.out);
}

// ---------------------------------------------------------------- reading

bool splitJournal(const std::string& bytes, std::vector<JournalEntry>& entries, bool& torn, std::string& error) {
  const uint8_t* p = (const uint8_t*)bytes.data();
  const uint8_t* end = p + bytes.size();
  if (bytes.size() < JOURNAL_HEAD_BYTES || std::memcmp(p, MAGIC, 8) != 0) return error = "not a recovery journal", false;
  uint32_t version = 0;
  std::memcpy(&version, p + 8, 4);
  if (version < OLDEST_VERSION || version > VERSION) return error = "journal version " + std::to_string(version) + " is not known", false;
  torn = false;
  for (p += JOURNAL_HEAD_BYTES; p < end;) {
    uint32_t frame[2];
    if (end - p < 8) return torn = true, true;
    std::memcpy(frame, p, 8);
    if ((size_t)(end - p - 8) < frame[0]) return torn = true, true;
    if (fold(hashBytes(HASH_START, p + 8, frame[0])) != frame[1]) {
      if (p + 8 + frame[0] == end) return torn = true, true;
      error = "entry " + std::to_string(entries.size() + 1) + " is damaged (checksum)";
      return false;
    }
    entries.push_back({p + 8, frame[0]});
    p += 8 + frame[0];
  }
  return true;
}

bool decodeBase(const JournalEntry& entry, JournalBase& base) {
  JournalCursor c{entry.data, entry.data + entry.size};
  if (c.get<uint8_t>() != ENTRY_BASE) return false;
  base.untitled = c.get<uint8_t>() != 0;
  base.path = c.getString();
  base.format = c.get<uint8_t>() == FORMAT_GDSII ? FORMAT_GDSII : FORMAT_MSK;
  base.fingerprinted = c.get<uint8_t>() != 0;
  base.size = c.get<uint64_t>();
  base.modified = c.get<int64_t>();
  base.hash = c.get<uint64_t>();
  base.layerMap = c.getString();
  base.cell = c.getString();
  return !c.failed;
}

std::string JournalCursor::getString() {
  uint32_t n = get<uint32_t>();
  const uint8_t* at = take(n);
  return at ? std::string((const char*)at, n) : std::string();
}

const uint8_t* JournalCursor::take(size_t n) {
  if (failed || (size_t)(end - p) < n) return failed = true, nullptr;
  const uint8_t* at = p;
  p += n;
  return at;
}

int decodeLayer(JournalCursor& c) {
  const int layer = c.get<uint8_t>();
  if (c.failed) return -1;
  if (layer == JOURNAL_INSTANCE_LAYER) return LAYER_INSTANCES;
  if (layer != JOURNAL_PAIR_LAYER) return layer < NAMED_LAYER_COUNT ? layer : -1;
  const uint32_t gdsLayer = c.get<uint32_t>(), gdsDatatype = c.get<uint32_t>();
  if (c.failed || gdsLayer > 65535 || gdsDatatype > 65535) return -1;
  return pairSlot(gdsLayer, gdsDatatype);
}

// An instance's cell, transform and array as putInstance wrote them; false
// when malformed or its cell is not in cells.
static bool decodeInstance(JournalCursor& c, const CellLibrary* cells, Instance& inst) {
  const std::string name = c.getString();
  CellTransform& t = inst.transform;
  t.x = c.get<int32_t>();
  t.y = c.get<int32_t>();
  const uint8_t flags = c.get<uint8_t>();
  t.quarterTurns = flags & 3, t.mirrorX = flags & 4, t.hasMagnification = flags & 8, t.hasAngle = flags & 16;
  t.absoluteMagnification = flags & INSTANCE_ABSOLUTE_MAGNIFICATION, t.absoluteAngle = flags & INSTANCE_ABSOLUTE_ANGLE;
  t.magnification = c.get<double>();
  t.angle = c.get<double>();
  t.magnificationBits = c.get<uint64_t>();
  t.angleBits = c.get<uint64_t>();
  CellArray& a = inst.array;
  a.columns = c.get<uint16_t>();
  a.rows = c.get<uint16_t>();
  int32_t steps[10];
  for (int32_t& v : steps) v = c.get<int32_t>();
  a.columnStep[0] = steps[0], a.columnStep[1] = steps[1], a.rowStep[0] = steps[2], a.rowStep[1] = steps[3];
  std::copy(steps + 4, steps + 10, a.points);
  a.fromAref = c.get<uint8_t>() != 0;
  inst.cell = cells ? cells->find(name) : UINT32_MAX;
  return !c.failed && inst.cell != UINT32_MAX && ((flags & INSTANCE_UNEVEN_KNOWN) || !a.uneven());
}

// The shapes putShapes wrote, in place of the boxes decodeObjects made.
static bool decodeShapes(JournalCursor& c, std::vector<GroupNode*>& nodes) {
  const uint32_t n = c.get<uint32_t>();
  for (uint32_t k = 0; k < n && !c.failed; k++) {
    const uint32_t i = c.get<uint32_t>();
    const uint8_t records = c.get<uint8_t>();
    const double units = c.get<double>();
    const std::string bytes = c.getString();
    if (c.failed || i >= nodes.size()) return false;
    GdsRecordScanner scan((const unsigned char*)bytes.data(), bytes.size());
    GdsRecord r;
    GdsElement e;
    if (!scan.next(r) || !isGdsElementStart(r.type) || !readGdsElement(scan, r, e)) return false;
    Shape* shape = gdsShapeOf(e, units > 0 ? units : 1000.0);
    shape->gdsRecords = records;
    shape->origin = nodes[i]->origin;
    delete nodes[i];
    nodes[i] = shape;
  }
  return !c.failed;
}

bool decodeObjects(JournalCursor& c, int layer, std::vector<GroupNode*>& nodes, const CellLibrary* cells) {
  std::vector<std::pair<uint32_t, uint32_t>> origins;
  uint32_t n = c.get<uint32_t>();
  for (uint32_t i = 0; i < n && !c.failed; i++) {
    uint32_t number = c.get<uint32_t>();
    ObjectOrigin o;
    o.code = c.getString();
    o.gdsLayer = c.get<int32_t>();
    o.gdsDatatype = c.get<int32_t>();
    o.gdsProperties = c.getString();
    origins.push_back({number, internOrigin(o)});
  }
  uint32_t count = c.get<uint32_t>();
  const uint8_t* p = c.take((size_t)count * JOURNAL_OBJECT_BYTES);
  if (c.failed) return false;
  nodes.reserve(count);
  for (uint32_t i = 0; i < count; i++, p += JOURNAL_OBJECT_BYTES) {
    int32_t r[6];
    std::memcpy(r, p, JOURNAL_OBJECT_BYTES);
    GroupNode* node = layer == LAYER_INSTANCES ? new Instance : newLayoutObject(layer);
    node->setRect(r[0], r[1], r[2], r[3]);
    if (Opt* opt = dynamic_cast<Opt*>(node)) opt->setValue(r[4]);
    for (const auto& o : origins)
      if (o.first == (uint32_t)r[5]) node->origin = o.second;
    nodes.push_back(node);
  }
  if (layer != LAYER_INSTANCES && !decodeShapes(c, nodes)) {
    for (GroupNode* made : nodes) delete made;
    nodes.clear();
    return false;
  }
  if (layer == LAYER_INSTANCES)
    for (GroupNode* node : nodes)
      if (!decodeInstance(c, cells, *static_cast<Instance*>(node))) {
        for (GroupNode* made : nodes) delete made;
        nodes.clear();
        return false;
      }
  return true;
}

bool decodeRanges(JournalCursor& c, uint64_t limit, bool withEnds, JournalRanges& out) {
  uint32_t n = c.get<uint32_t>();
  uint64_t next = 0;
  for (uint32_t i = 0; i < n && !c.failed; i++) {
    uint64_t first = c.get<uint32_t>();
    uint64_t count = c.get<uint32_t>();
    if (c.failed || count == 0 || first < next) return false;
    next = first + count;
    out.total += count;
    out.beyond = out.beyond || next > limit;
    size_t at = out.positions.size();
    if (!out.beyond)
      for (uint64_t k = first; k < next; k++) out.positions.push_back((uint32_t)k);
    for (int e = 0; withEnds && e < 2; e++) {
      Rect r;
      r.x = c.get<int32_t>();
      r.y = c.get<int32_t>();
      r.w = c.get<int32_t>();
      r.h = c.get<int32_t>();
      out.ends.push_back({e == 0 ? at : at + count - 1, r});
    }
  }
  return !c.failed;
}

JournalPayload encodeCell(const Cell& cell, const CellLibrary* cells) {
  Encoder out;
  out.put<uint8_t>(ENTRY_CELL);
  out.putString(cell.name());
  std::vector<int> slots;
  for (int i = 0; i < SLOT_COUNT; i++)
    if (i == LAYER_INSTANCES ? cell.instances().size() > 0 : cell.layer(i) != nullptr) slots.push_back(i);
  out.put<uint32_t>((uint32_t)slots.size());
  for (int slot : slots) {
    const Layer& l = slot == LAYER_INSTANCES ? cell.instances() : *cell.layer(slot);
    std::vector<GroupNode*> nodes;
    for (GroupNode* n = l.first(); n; n = n->next()) nodes.push_back(n);
    putSlot(out, slot);
    out.putObjects(slot, nodes, cells);
  }
  return std::move(out.out);
}

JournalPayload encodeCellName(JournalEntryKind kind, const std::string& name) {
  Encoder out;
  out.put<uint8_t>(kind);
  out.putString(name);
  return std::move(out.out);
}

bool decodeCell(JournalCursor& c, const CellLibrary* cells, std::string& name, std::vector<SlotObjects>& content) {
  name = c.getString();
  const uint32_t n = c.get<uint32_t>();
  for (uint32_t k = 0; k < n && !c.failed; k++) {
    const int slot = decodeLayer(c);
    SlotObjects objects{slot, {}};
    if (slot < 0 || !decodeObjects(c, slot, objects.nodes, cells)) break;
    content.push_back(std::move(objects));
  }
  if (!c.failed && content.size() == n && !name.empty()) return true;
  for (SlotObjects& s : content)
    for (GroupNode* node : s.nodes) delete node;
  content.clear();
  return false;
}
