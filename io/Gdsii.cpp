#include "io/Gdsii.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "io/GdsElement.h"
#include "io/GdsGeometry.h"
#include "io/GdsShapes.h"
#include "model/Cell.h"
#include "model/HugePages.h"
#include "model/ObjectOrigin.h"

// The reader works on the whole file in memory, in two
// passes. The first checks every record against this grammar and notes, per
// cell, where its elements are, its references and how many objects its own
// shapes give:
//
//   library   = HEADER { libitem } ENDLIB            (bytes after ENDLIB ignored)
//   libitem   = LIBNAME | UNITS | structure | other
//   structure = BGNSTR STRNAME { STRCLASS | other | element } ENDSTR
//   element   = start { elemrec | other } ENDEL
//   start     = BOUNDARY | PATH | SREF | AREF | TEXT | NODE | BOX
//   elemrec   = LAYER | DATATYPE | WIDTH | XY | SNAME | COLROW | TEXTTYPE |
//               PRESENTATION | STRING | STRANS | MAG | ANGLE | PATHTYPE |
//               ELFLAGS | NODETYPE | PROPATTR | PROPVALUE | BOXTYPE | PLEX |
//               BGNEXTN | ENDEXTN
//   other     = any other record type up to 0x3B except HEADER (skipped)
//
// A record's length is even, at least 4 and within the file; its data type
// is 0..6 and the one its record type has, and its data a whole number of
// values. Shapes need LAYER and XY, references SNAME and XY. Anything else is
// an error at the offset of the offending record, and the layers stay empty.
// Then references are resolved, cycles rejected, and objects and memory
// counted (64-bit, saturating) before the second pass reads every cell's
// shapes from its records once and makes its instances: nothing is
// flattened, so memory follows the hierarchy.

namespace {

uint64_t saturatingMul(uint64_t a, uint64_t b) {
  if (a == 0 || b == 0) return 0;
  return a > UINT64_MAX / b ? UINT64_MAX : a * b;
}
uint64_t saturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// The points of an XY record.
void readPoints(const unsigned char* xy, size_t n, std::vector<GdsPoint>& p) {
  if (p.size() != n) p.resize(n);
  for (size_t i = 0; i < n; i++) p[i] = {be32(xy + 8 * i), be32(xy + 8 * i + 4)};
}

// ---------------------------------------------------------------- cells

// A reference as the first pass found it.
struct Ref {
  uint32_t child;
  size_t offset;
  CellTransform transform;
  CellArray array;
  uint32_t origin;  // its properties
};

struct FileCell {
  std::string name;
  bool defined = false, referenced = false;
  size_t begin = 0, end = 0, offset = 0;
  std::vector<Ref> refs;
  uint64_t own = 0;    // objects of its own shapes
  uint64_t total = 0;  // when flattened (saturating)
  int state = 0;       // 0 new, 1 on the search path, 2 counted
};

// Memory per object kept: its node (40 to 48 bytes in the object pool),
// its corners in the layer's change record (16 bytes, up to twice that
// while the record grows) and the painter's arrays. Measured: the
// program's data grows by 126 bytes per object at the peak of opening
// 10^7 rectangles and showing them.
const uint64_t BYTES_PER_OBJECT = 128;
// An instance: its node (about 150 bytes on the heap) and the painter's
// record of it.
const uint64_t BYTES_PER_INSTANCE = 256;
// A cell: its name and index (about 200 bytes) and a layer (about 450
// bytes) for each slot it uses, eight in a typical standard cell.
const uint64_t BYTES_PER_CELL = 4096;
// How often the progress callback is asked: every this many bytes scanned
// or objects made, a few hundred times a second.
const uint64_t PROGRESS_BYTES = 1 << 20;
const uint64_t PROGRESS_STEPS = 1 << 16;

class Reader {
public:
  Reader(const unsigned char* d, size_t n, const LayerMap& m, Layer* l, CellLibrary& c,
         const GdsReadLimits& lim)
      : scan(d, n), map(m), layers(l), library(c), limits(lim) {}

  GdsReadResult run(GdsLibraryInfo& info) {
    GdsLibraryInfo found;
    if (readLibrary(found) && resolve() && affordable() && chooseShown(found)) {
      build();
      if (!stopped) info = found;
      // The shown cell's own objects go to the layers; its instances stay
      // with the library until the document shows it.
      for (int i = 0; i < LAYER_COUNT && !stopped && library.size() > 0; i++) {
        Cell& shown = library.cell(library.shown);
        if (shown.layer(i)) layers[i].swapContents(shown.editLayer(i));
      }
    }
    if (stopped) {
      scan.error = "The read was cancelled.";
      result.cancelled = true;
    }
    if (!scan.error.empty()) {
      library = CellLibrary();
      for (int i = 0; i < LAYER_COUNT; i++) delete layers[i].cutFrom(0);
      result.objects = 0;
    }
    result.error = scan.error;
    result.errorOffset = scan.errorOffset;
    return result;
  }

private:
  // Tell the progress callback; false once it asked to stop.
  bool report(uint64_t done, uint64_t total) {
    if (limits.progress && !stopped && !limits.progress->advance(done, total)) stopped = true;
    return !stopped;
  }

  bool readLibrary(GdsLibraryInfo& info) {
    GdsRecord r;
    if (!scan.next(r)) return false;
    if (r.type != GDS_HEADER) return scan.fail(0, "no HEADER record");
    while (scan.next(r)) {
      if (r.type == GDS_ENDLIB) return true;
      if (r.type == GDS_LIBNAME) {
        info.libraryName = gdsText(r);
        named = true;
      } else if (r.type == GDS_UNITS) {
        if (!scan.needs(r, 16)) return false;
        info.userUnits = fromGdsReal(be64(r.data));
        info.metres = fromGdsReal(be64(r.data + 8));
        info.unitsBytes.assign((const char*)r.data, 16);
        // A database unit of that many micrometres sizes the labels.
        if (info.metres > 0 && std::isfinite(1e-6 / info.metres)) unitsPerMicrometre = 1e-6 / info.metres;
      } else if (r.type == GDS_BGNSTR) {
        if (!structure(r.offset, std::string((const char*)r.data, r.size), info)) return false;
      } else if (r.type == GDS_BGNLIB) {
        info.libraryDates.assign((const char*)r.data, r.size);
      } else if (!isGdsOther(r.type)) {
        return scan.fail(r.offset, "record type " + std::to_string(r.type) + " in the wrong place");
      } else if (order.empty()) {
        (named ? info.recordsAfterName : info.recordsBeforeName)
            .append((const char*)scan.data + r.offset, r.size + 4);
      }
    }
    return false;
  }

  // The structure whose BGNSTR (data: its dates) the scanner just read.
  bool structure(size_t offset, const std::string& dates, GdsLibraryInfo& info) {
    GdsRecord r;
    if (!scan.next(r)) return false;
    if (r.type != GDS_STRNAME) return scan.fail(r.offset, "STRNAME missing after BGNSTR");
    uint32_t index = cellNamed(gdsText(r));
    if (cells[index].defined)
      return scan.fail(r.offset, "cell " + cells[index].name + " defined twice");
    cells[index].defined = true;
    cells[index].offset = offset;
    GdsLibraryInfo::CellRecords& kept = info.cellRecords[cells[index].name];
    kept.dates = dates;
    cells[index].begin = scan.pos;
    order.push_back(index);
    GdsElement e;
    while (scan.next(r)) {
      if (scan.pos >= nextReport) {
        nextReport = scan.pos + PROGRESS_BYTES;
        if (!report(scan.pos, scan.size + scan.size / GDS_PLAIN_BOUNDARY)) return false;
      }
      if (r.type == GDS_ENDSTR) {
        cells[index].end = r.offset;
        return true;
      }
      if (isGdsElementStart(r.type)) {
        if (!readGdsElement(scan, r, e)) return false;
        note(index, e);
      } else if (r.type == GDS_STRCLASS) {
        kept.structureClass.assign((const char*)scan.data + r.offset, r.size + 4);
      } else if (!isGdsOther(r.type)) {
        return scan.fail(r.offset, "record type " + std::to_string(r.type) + " in the wrong place");
      }
    }
    return false;
  }

  uint32_t cellNamed(const std::string& name) {
    auto found = names.find(name);
    if (found != names.end()) return found->second;
    cells.emplace_back();
    cells.back().name = name;
    names.emplace(name, (uint32_t)(cells.size() - 1));
    return (uint32_t)(cells.size() - 1);
  }

  // First pass: count the element's objects (one each), keep references.
  void note(uint32_t cell, const GdsElement& e) {
    if (e.type == GDS_SREF || e.type == GDS_AREF)
      reference(cell, e);
    else
      ++cells[cell].own;
  }

  // Count an element left out, and where the first of its kind was.
  void skip(int kind, const std::string& cell, int64_t x, int64_t y, int32_t layer = -1, int32_t datatype = -1) {
    if (result.skipped[kind]++ == 0) result.firstSkipped[kind] = {cell, x, y, layer, datatype};
  }

  void reference(uint32_t cell, const GdsElement& e) {
    Ref ref;
    ref.child = cellNamed(std::string((const char*)e.name, e.nameSize));
    cells[ref.child].referenced = true;
    ref.offset = e.offset;
    CellTransform& t = ref.transform;
    double turns = std::fmod(e.angle, 360.0) / 90.0;
    if (!std::isfinite(turns)) turns = 0;  // an infinite angle: not integral, placed in floating point
    if (turns < 0) turns += 4;
    t.quarterTurns = (uint8_t)((int)std::round(turns) & 3);
    t.mirrorX = (e.strans & 0x8000) != 0;
    t.hasMagnification = e.hasMag, t.magnification = e.mag, t.magnificationBits = e.magBits;
    t.hasAngle = e.hasAngle, t.angle = e.angle, t.angleBits = e.angleBits;
    t.absoluteMagnification = (e.strans & 0x0004) != 0, t.absoluteAngle = (e.strans & 0x0002) != 0;
    std::vector<GdsPoint>& p = points;
    readPoints(e.xy, std::min<size_t>(e.points, 3), p);
    t.x = p[0].x, t.y = p[0].y;
    if (e.type == GDS_AREF) {
      if (e.points < 3 || e.cols <= 0 || e.rows <= 0) {
        skip(SKIP_ARRAY, cells[cell].name, p[0].x, p[0].y);
        return;
      }
      // Steps that do not divide are kept as their rounded quotients; the
      // elements are placed from the points (CellArray::offset).
      CellArray& a = ref.array;
      a.columns = (uint16_t)e.cols, a.rows = (uint16_t)e.rows, a.fromAref = true;
      auto step = [](int64_t from, int64_t to, int count) { return (int32_t)std::llround((double)(to - from) / count); };
      a.columnStep[0] = step(p[0].x, p[1].x, e.cols), a.columnStep[1] = step(p[0].y, p[1].y, e.cols);
      a.rowStep[0] = step(p[0].x, p[2].x, e.rows), a.rowStep[1] = step(p[0].y, p[2].y, e.rows);
      for (int k = 0; k < 3; k++) a.points[2 * k] = p[k].x, a.points[2 * k + 1] = p[k].y;
    }
    ObjectOrigin o;
    o.gdsProperties = e.properties;
    ref.origin = internOrigin(o);
    cells[cell].refs.push_back(ref);
    ++instanceCount;
  }

  // Note missing cells, reject cycles, count flattened objects; children
  // come before their parents in `counted`.
  bool resolve() {
    for (FileCell& cell : cells)
      for (const Ref& r : cell.refs)
        if (!cells[r.child].defined) skip(SKIP_MISSING_CELL, cell.name, r.transform.x, r.transform.y);
    for (uint32_t i = 0; i < cells.size(); i++)
      if (!cells[i].defined) result.missingCells.push_back(cells[i].name), order.push_back(i);
    std::vector<std::pair<uint32_t, size_t>> path;
    for (uint32_t start : order) {
      if (cells[start].state == 0) path.push_back({start, 0});
      while (!path.empty()) {
        FileCell& cell = cells[path.back().first];
        cell.state = 1;
        size_t& k = path.back().second;
        if (k < cell.refs.size()) {
          const Ref& ref = cell.refs[k++];
          FileCell& child = cells[ref.child];
          if (child.state == 1)
            return scan.fail(ref.offset, "reference cycle through cell " + child.name);
          if (child.state == 0) path.push_back({ref.child, 0});
          continue;
        }
        cell.total = cell.own;
        for (const Ref& ref : cell.refs)
          cell.total = saturatingAdd(cell.total, saturatingMul(ref.array.elements(), cells[ref.child].total));
        cell.state = 2;
        counted.push_back(path.back().first);
        path.pop_back();
      }
    }
    for (const FileCell& cell : cells) objects = saturatingAdd(objects, cell.own);
    if (objects > limits.objects) {
      scan.error = "The design has more than " + std::to_string(limits.objects) +
                   " objects in its cells; it was not opened.";
      return false;
    }
    return true;
  }

  // The memory the cells, their objects and instances will take is there.
  bool affordable() {
    uint64_t need = objects * BYTES_PER_OBJECT + instanceCount * BYTES_PER_INSTANCE +
                    cells.size() * BYTES_PER_CELL;
    const uint64_t have = limits.memory ? limits.memory : availableMemory();
    if (need <= have) return true;
    scan.error = "The design needs about " + std::to_string((need >> 20) + 1) +
                 " MiB of memory, and only " + std::to_string(have >> 20) +
                 " MiB are available; it was not opened.";
    return false;
  }

  // The cell asked for, else the top cell with most objects flattened
  // (the first in the file of those with as many).
  bool chooseShown(GdsLibraryInfo& info) {
    uint32_t shown = UINT32_MAX;
    if (!limits.cell.empty()) {
      auto named = names.find(limits.cell);
      if (named == names.end() || !cells[named->second].defined) {
        result.unknownCell = true;
        scan.error = "There is no cell " + limits.cell + " in the file.";
        return false;
      }
      shown = named->second;
    } else {
      for (uint32_t i : order)
        if (!cells[i].referenced && (shown == UINT32_MAX || cells[i].total > cells[shown].total)) shown = i;
    }
    if (shown != UINT32_MAX) info.cellName = cells[shown].name;
    shownIndex = shown;
    return true;
  }

  // Second pass: every cell's objects and instances into the library,
  // children first so that an instance knows its cell's bounds.
  void build() {
    std::vector<uint32_t> index(cells.size());
    for (uint32_t i : order) index[i] = library.add(cells[i].name);
    library.shown = shownIndex == UINT32_MAX ? 0 : index[shownIndex];
    for (uint32_t c : counted) {
      const FileCell& cell = cells[c];
      Cell& into = library.cell(index[c]);
      if (cell.defined && cell.own > 0) readShapes(cell, into);
      if (stopped) return;
      Layer& list = into.editLayer(LAYER_INSTANCES);
      for (const Ref& ref : cell.refs) {
        Instance* node = new Instance;
        node->cell = index[ref.child];
        node->transform = ref.transform;
        node->array = ref.array;
        node->origin = ref.origin;
        node->placeBounds(library);
        list.appendChain(node);
        step();
      }
    }
  }

  // One object or instance of the second pass made.
  void step() {
    if (++steps % PROGRESS_STEPS == 0) report(scan.size + steps, scan.size + objects + instanceCount);
  }

  // The shapes of a cell's own elements, in file order, from its records.
  void readShapes(const FileCell& cell, Cell& into) {
    shapesOf = &cell.name;
    GdsRecordScanner again(scan.data, cell.end);
    again.pos = cell.begin;
    GdsRecord r;
    GdsElement e;
    while (again.pos < cell.end && again.next(r) && !stopped) {
      if (!isGdsElementStart(r.type) || !readGdsElement(again, r, e)) continue;
      if (e.type == GDS_SREF || e.type == GDS_AREF) continue;
      describe(e);
      readPoints(e.xy, e.points, points);
      GdsBox box;
      if (e.type == GDS_BOUNDARY && rectangleOf(points.data(), e.points, box)) {
        add(into, box);
      } else {
        step();
        Shape* shape = gdsShapeOf(e, unitsPerMicrometre);
        shape->origin = lastOrigin;
        into.editLayer(lastSlot).appendChain(shape);
        ++result.objects;
      }
    }
  }

  // The slot, origin and marker value of an element's objects; the last
  // ones again while plain elements keep their pair.
  void describe(const GdsElement& e) {
    const bool plain = e.properties.empty();
    if (!plain || !lastPlain || !described || e.layer != lastLayer || e.datatype != lastDatatype) {
      ObjectOrigin o;
      o.gdsLayer = (int32_t)e.layer;
      o.gdsDatatype = (int32_t)e.datatype;
      o.gdsProperties = e.properties;
      lastOrigin = internOrigin(o);
      lastSlot = map.slotOf(e.layer, e.datatype);
      std::string marker;
      lastValue = findGdsProperty(e.properties, 1, marker) ? gdsMarkerValue(marker) : 0;
      lastLayer = e.layer, lastDatatype = e.datatype, described = true, lastPlain = plain;
    }
  }

  void add(Cell& into, const GdsBox& b) {
    step();
    if (b.x0 < INT32_MIN || b.y0 < INT32_MIN || b.x1 > INT32_MAX || b.y1 > INT32_MAX ||
        b.x1 - b.x0 > INT32_MAX || b.y1 - b.y0 > INT32_MAX) {
      skip(SKIP_RANGE, *shapesOf, b.x0, b.y0, (int32_t)lastLayer, (int32_t)lastDatatype);
      return;
    }
    GroupNode* node = newLayoutObject(lastSlot);
    if (lastSlot == LAYER_OPTIONS)
      if (Opt* opt = dynamic_cast<Opt*>(node)) opt->value = lastValue;
    node->x = (int32_t)b.x0, node->y = (int32_t)b.y0;
    node->w = (int32_t)(b.x1 - b.x0), node->h = (int32_t)(b.y1 - b.y0);
    node->origin = lastOrigin;
    // Appended at once, while the node is still in the cache.
    into.editLayer(lastSlot).appendChain(node);
    ++result.objects;
  }

  GdsRecordScanner scan;
  const LayerMap& map;
  Layer* layers;
  CellLibrary& library;
  GdsReadLimits limits;
  GdsReadResult result;
  std::vector<FileCell> cells;
  std::vector<uint32_t> order, counted;  // cells in file order (missing ones last); children first
  std::unordered_map<std::string, uint32_t> names;
  const std::string* shapesOf = nullptr;  // the name of the cell readShapes reads
  std::vector<GdsPoint> points;
  uint64_t objects = 0, instanceCount = 0, steps = 0;
  uint32_t shownIndex = UINT32_MAX;
  size_t nextReport = 0;
  bool stopped = false, named = false;
  double unitsPerMicrometre = 1000.0;  // a 1 nm unit until UNITS says otherwise
  bool described = false, lastPlain = false;
  uint32_t lastLayer = 0, lastDatatype = 0, lastOrigin = 0;
  int32_t lastSlot = 0, lastValue = 0;
};

const char* const skipNames[SKIP_KINDS] = {
    "array(s) without a column and row count or three points",
    "reference(s) to cells not in the file (kept as empty cells)",
    "object(s) outside the 32-bit coordinate range",
};

}  // namespace

std::string GdsReadResult::skipReport() const {
  std::string report;
  for (int k = 0; k < SKIP_KINDS; k++)
    if (skipped[k]) {
      const GdsSkipPlace& p = firstSkipped[k];
      report += std::to_string(skipped[k]) + " " + skipNames[k] + ", the first in cell " + p.cell;
      if (p.layer >= 0) report += " on layer " + std::to_string(p.layer) + "/" + std::to_string(p.datatype);
      report += " at (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")\n";
    }
  if (!missingCells.empty()) {
    report += "Missing cells:";
    for (size_t i = 0; i < missingCells.size(); i++) report += (i ? ", " : " ") + missingCells[i];
    report += "\n";
  }
  return report;
}

std::string GdsReadResult::errorText() const {
  if (errorOffset < 0) return error;
  return "Not a readable GDSII file: " + error + " at byte " + std::to_string(errorOffset) + ".";
}

bool isGdsii(const unsigned char* data, size_t size) {
  return size >= 6 && be16(data) >= 6 && data[2] == GDS_HEADER && data[3] == GDS_INT2;
}

bool isGdsiiFile(const char* path) {
  unsigned char head[6];
  ReadStatus status;
  int error = 0;
  int fd = openRegularFile(path, status, error);
  if (fd < 0) return false;
  ssize_t n = ::read(fd, head, sizeof head);
  ::close(fd);
  return n == (ssize_t)sizeof head && isGdsii(head, sizeof head);
}

GdsReadResult readGdsii(const unsigned char* data, size_t size, const LayerMap& map,
                        Layer layers[LAYER_COUNT], GdsLibraryInfo& info,
                        const GdsReadLimits& limits, CellLibrary* cells) {
  CellLibrary own;
  return Reader(data, size, map, layers, cells ? *cells : own, limits).run(info);
}

uint64_t availableMemory() {
  uint64_t have = UINT64_MAX;
  if (FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[128];
    unsigned long long kib;
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) have = (uint64_t)kib << 10;
    std::fclose(f);
  }
  // What the process holds now, in pages: its address space and its data.
  unsigned long long size = 0, data = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    unsigned long long resident, shared, text, lib;
    if (std::fscanf(f, "%llu %llu %llu %llu %llu %llu", &size, &resident, &shared, &text, &lib,
                    &data) != 6)
      size = data = 0;
    std::fclose(f);
  }
  const uint64_t page = (uint64_t)sysconf(_SC_PAGESIZE);
  const std::pair<int, uint64_t> used[] = {{RLIMIT_AS, size * page}, {RLIMIT_DATA, data * page}};
  for (const auto& u : used) {
    struct rlimit limit;
    if (getrlimit(u.first, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
      have = std::min(have, limit.rlim_cur > u.second ? (uint64_t)(limit.rlim_cur - u.second) : 0);
  }
  return have;
}

ReadStatus readGdsiiFile(const char* path, const LayerMap& map, Layer layers[LAYER_COUNT],
                         GdsLibraryInfo& info, GdsReadResult& result, GdsProgress* progress,
                         CellLibrary* cells, const std::string& cell) {
  result = GdsReadResult();
  ReadStatus status;
  int fd = openRegularFile(path, status, result.errorNumber);
  if (fd < 0) return status;
  // Read into memory rather than mapped: a file that another program
  // truncates meanwhile must give a short read, not a fault. The buffer
  // asks for huge pages: faulting in a big file page by page would cost
  // more than reading it.
  struct stat st;
  const size_t size = ::fstat(fd, &st) == 0 ? (size_t)st.st_size : 0;
  size_t capacity;
  std::unique_ptr<unsigned char, void (*)(void*)> data(
      static_cast<unsigned char*>(allocateHugePages(size + 1, capacity)), std::free);
  if (!data) {
    ::close(fd);
    result.errorNumber = ENOMEM;
    return READ_IO_FAILED;
  }
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, data.get() + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.errorNumber = errno;
      ::close(fd);
      return READ_IO_FAILED;
    }
    if (n == 0) break;
    done += (size_t)n;
  }
  ::close(fd);
  GdsReadLimits limits;
  limits.progress = progress;
  limits.cell = cell;
  result = readGdsii(data.get(), done, map, layers, info, limits, cells);
  return READ_OK;
}

