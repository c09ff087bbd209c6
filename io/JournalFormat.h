#ifndef KIVO_JOURNALFORMAT_H
#define KIVO_JOURNALFORMAT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "model/CellEdits.h"
#include "model/Layout.h"

// The recovery journal's bytes: the one place where its writer and its
// reader agree.
//
// File format (host byte order: a journal never leaves its machine):
//   "KIVOJRNL", u32 version, then entries: u32 size, u32 checksum of the
//   payload (word-wise FNV-1a folded to 32 bits), payload of size bytes.
//   A payload starts with its kind:
//   BASE    what the layout started from (always the first entry)
//   APPEND  layer, u32 first position, origins, u32 n, n objects
//   REMOVE  layer, u32 n ranges of (start, count, first and last geometry)
//   INSERT  layer, u32 n ranges of (start, count), origins, u32 n, objects
//   MOVE    layer, i32 dx, i32 dy, u32 n ranges of (start, count)
//   CELL    a new last cell: name, u32 n slots, each a layer, origins,
//           u32 n, n objects (as APPEND's after its position)
//   DROP    name of the last cell, which goes
//   SHOW    name of the cell shown from now on
// A layer is a u8 slot number; 254 for the instance slot; for a pair slot
// 255 then the u32 GDSII layer and datatype. Objects are (x, y, w, h,
// value, origin number); on the instance slot each object's cell name,
// transform and array follow all of them; on other slots the
// polygons, paths and labels among them follow: u32 count, then each one's
// u32 index, u8 record bits, f64 label units per micrometre and its GDSII
// element (u32 size, bytes). "origins" lists the
// contents of the origin numbers the entry uses (code, GDSII pair and
// properties), so every entry stands alone.
// An entry whose size or checksum does not hold at the end of the file is a
// torn last write and is dropped; anywhere else the journal is unreadable.

// What a journal says its layout started from.
struct JournalBase {
  bool untitled = true;
  std::string path;         // the file, when not untitled
  FileFormat format = FORMAT_MSK;
  // The file as it was read: size, time and a hash of its content. Not
  // known when the file changed between the read and the first edit.
  bool fingerprinted = false;
  uint64_t size = 0;
  int64_t modified = 0;     // nanoseconds since the epoch
  uint64_t hash = 0;
  std::string layerMap;     // GDSII only
  std::string cell;         // the cell shown; empty: the file's choice
};

// An entry's encoded bytes, in blocks that go back to a pool when done.
struct JournalPayload {
  std::vector<uint8_t*> blocks;
  size_t size = 0;
  JournalPayload() = default;
  JournalPayload(JournalPayload&&) = default;
  JournalPayload& operator=(JournalPayload&& other);
  ~JournalPayload();
  size_t blockBytes(size_t i) const;
};

// The file's first bytes: magic and version.
const size_t JOURNAL_HEAD_BYTES = 12;
const uint8_t* journalHead();

// Word-wise FNV-1a: the entries' checksum and the base file's fingerprint.
// Fed in pieces, each but the last a multiple of 8 bytes long, it gives the
// same value as over the whole.
const uint64_t HASH_START = 1469598103934665603ull;
uint64_t hashBytes(uint64_t h, const uint8_t* data, size_t n);
// An entry's frame: its size and checksum.
void entryFrame(const JournalPayload& payload, uint32_t frame[2]);

JournalPayload encodeBase(const JournalBase& base);
// Instances name their cells in cells.
JournalPayload encodeAppend(int layer, size_t first, const std::vector<GroupNode*>& nodes,
                            const CellLibrary* cells = nullptr);
// By ranges, each with the geometry of its first and last object: enough for
// a replay onto a changed file to tell whether the same objects stand there,
// at a cost that does not grow with the objects of a range.
JournalPayload encodeRemove(int layer, const std::vector<uint32_t>& positions, const std::vector<GroupNode*>& nodes);
JournalPayload encodeInsert(int layer, const std::vector<uint32_t>& positions, const std::vector<GroupNode*>& nodes,
                            const CellLibrary* cells = nullptr);
JournalPayload encodeMove(int layer, const std::vector<uint32_t>& positions, int32_t dx, int32_t dy);
// Fault in spare blocks for the encoders (the writer thread, when idle).
void prepareJournalBlocks();

enum JournalEntryKind : uint8_t {
  ENTRY_BASE = 1, ENTRY_APPEND, ENTRY_REMOVE, ENTRY_INSERT, ENTRY_MOVE, ENTRY_CELL, ENTRY_DROP, ENTRY_SHOW
};
// A new cell with its content; its instances name their cells in cells.
JournalPayload encodeCell(const Cell& cell, const CellLibrary* cells);
// DROP or SHOW of the cell of this name.
JournalPayload encodeCellName(JournalEntryKind kind, const std::string& name);
const size_t JOURNAL_OBJECT_BYTES = 6 * sizeof(int32_t);

struct JournalEntry {
  const uint8_t* data;
  size_t size;
};
// Split a journal into checked entries; false with error when unreadable.
bool splitJournal(const std::string& bytes, std::vector<JournalEntry>& entries, bool& torn, std::string& error);
bool decodeBase(const JournalEntry& entry, JournalBase& base);

// Reads what the encoders wrote; any read past the end marks it failed.
struct JournalCursor {
  const uint8_t* p;
  const uint8_t* end;
  bool failed = false;
  template <typename T>
  T get() {
    T value{};
    if (failed || (size_t)(end - p) < sizeof(T)) return failed = true, value;
    std::memcpy(&value, p, sizeof(T));
    p += sizeof(T);
    return value;
  }
  std::string getString();
  const uint8_t* take(size_t n);
};

// The slot of an edit entry, after its kind: a named slot's number, or
// 255 and the u32 GDSII layer and datatype of a pair slot, found or handed
// out in this process; -1 when malformed.
int decodeLayer(JournalCursor& c);

// The objects of an APPEND or INSERT entry, made for layer, with their
// origins mapped to this process's numbers and instances' cells found by
// name in cells; false, with nothing made, when malformed or a cell is not
// there.
bool decodeObjects(JournalCursor& c, int layer, std::vector<GroupNode*>& nodes,
                   const CellLibrary* cells = nullptr);

// A CELL entry after its kind: the name and the objects per slot, made
// with their cells found in cells; false, with nothing made, when
// malformed.
bool decodeCell(JournalCursor& c, const CellLibrary* cells, std::string& name, std::vector<SlotObjects>& content);

// The ranges of a REMOVE, INSERT or MOVE entry, expanded into positions.
struct JournalRanges {
  std::vector<uint32_t> positions;
  std::vector<std::pair<size_t, Rect>> ends;  // index in positions, geometry then
  size_t total = 0;                           // positions, also those not expanded
  bool beyond = false;                        // some reached limit or past it
};
// Read ranges, ascending and apart; only positions below limit are
// expanded. With ends, each range's first and last object's geometry
// follows it. False when malformed.
bool decodeRanges(JournalCursor& c, uint64_t limit, bool withEnds, JournalRanges& out);

#endif
