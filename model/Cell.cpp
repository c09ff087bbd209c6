#include "model/Cell.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

// An empty layer to report for a cell without instances.
const Layer& noInstances() {
  static const Layer empty;
  return empty;
}

int32_t wrapped(int64_t v) { return (int32_t)(uint32_t)(uint64_t)v; }

uint64_t saturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }
uint64_t saturatingMul(uint64_t a, uint64_t b) {
  if (a == 0 || b == 0) return 0;
  return a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

// Grow box (x0, y0, x1, y1) to take in another; first: box is still unset.
void unite(int64_t box[4], const int64_t add[4], bool& first) {
  if (first) {
    std::copy(add, add + 4, box);
    first = false;
    return;
  }
  box[0] = std::min(box[0], add[0]), box[1] = std::min(box[1], add[1]);
  box[2] = std::max(box[2], add[2]), box[3] = std::max(box[3], add[3]);
}

void uniteRect(int64_t box[4], const Rect& r, bool& first) {
  const int64_t add[4] = {std::min<int64_t>(r.x, (int64_t)r.x + r.w), std::min<int64_t>(r.y, (int64_t)r.y + r.h),
                          std::max<int64_t>(r.x, (int64_t)r.x + r.w), std::max<int64_t>(r.y, (int64_t)r.y + r.h)};
  unite(box, add, first);
}

Rect rectOf(const int64_t box[4]) {
  Rect r;
  r.x = wrapped(box[0]), r.y = wrapped(box[1]);
  r.w = wrapped(box[2] - box[0]), r.h = wrapped(box[3] - box[1]);
  return r;
}

}  // namespace

// ---------------------------------------------------------------- transform

int64_t clampedCoordinate(double v) {
  const double limit = 1152921504606846976.0;  // 2^60
  if (!(v == v)) return 0;
  return (int64_t)std::llround(std::max(-limit, std::min(limit, v)));
}

bool CellTransform::integral() const {
  if (magnification != 1.0) return false;
  return !hasAngle || std::fmod(angle, 90.0) == 0.0;
}

void CellTransform::apply(int64_t px, int64_t py, int64_t& ox, int64_t& oy) const {
  if (!integral()) {
    double dx, dy;
    applyExact((double)px, (double)py, dx, dy);
    ox = clampedCoordinate(dx), oy = clampedCoordinate(dy);
    return;
  }
  if (mirrorX) py = -py;
  for (int k = 0; k < (quarterTurns & 3); k++) {
    int64_t t = px;
    px = -py, py = t;
  }
  ox = px + x, oy = py + y;
}

void CellTransform::applyExact(double px, double py, double& ox, double& oy) const {
  if (mirrorX) py = -py;
  px *= magnification, py *= magnification;
  const double a = (hasAngle ? angle : 90.0 * quarterTurns) * M_PI / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  ox = px * c - py * s + x, oy = px * s + py * c + y;
}

namespace {

double angleOf(const CellTransform& t) { return t.hasAngle ? t.angle : 90.0 * (t.quarterTurns & 3); }

// whole + n / d rounded to the nearest integer, halves away from zero;
// d > 0.
int64_t roundedSum(int64_t whole, int64_t n, int64_t d) {
  int64_t q = n / d, r = n % d;
  if (r < 0) q -= 1, r += d;  // floor, remainder in [0, d)
  q += whole;
  return 2 * r > d || (2 * r == d && q >= 0) ? q + 1 : q;
}

// column * v / columns + row * w / rows rounded as roundedSum does,
// without overflow: the whole parts apart, then the fractions over
// columns * rows (below 2^32).
int64_t unevenOffset(int64_t v, uint32_t column, uint32_t columns, int64_t w, uint32_t row, uint32_t rows) {
  const int64_t a = (int64_t)column * v, b = (int64_t)row * w;
  return roundedSum(a / columns + b / rows, a % columns * rows + b % rows * columns, (int64_t)columns * rows);
}

}  // namespace

CellTransform composeTransforms(const CellTransform& outer, const CellTransform& inner) {
  CellTransform t = inner;
  int64_t x, y;
  outer.apply(inner.x, inner.y, x, y);
  t.x = wrapped(x), t.y = wrapped(y);
  t.mirrorX = outer.mirrorX != inner.mirrorX;
  // Reflecting about x turns later angles the other way.
  const double angle =
      inner.absoluteAngle ? angleOf(inner) : angleOf(outer) + (outer.mirrorX ? -angleOf(inner) : angleOf(inner));
  t.angle = std::fmod(std::fmod(angle, 360.0) + 360.0, 360.0);
  t.hasAngle = t.angle != 0.0 || outer.hasAngle || inner.hasAngle;
  t.quarterTurns = std::fmod(t.angle, 90.0) == 0.0 ? (uint8_t)((int)(t.angle / 90.0) & 3) : 0;
  if (!inner.absoluteMagnification) t.magnification = outer.magnification * inner.magnification;
  t.hasMagnification = t.magnification != 1.0 || outer.hasMagnification || inner.hasMagnification;
  t.magnificationBits = t.angleBits = 0;
  t.absoluteMagnification = outer.absoluteMagnification || inner.absoluteMagnification;
  t.absoluteAngle = outer.absoluteAngle || inner.absoluteAngle;
  return t;
}

// ---------------------------------------------------------------- array

bool CellArray::uneven() const {
  if (!fromAref || columns == 0 || rows == 0) return false;
  const int64_t v[4] = {(int64_t)points[2] - points[0], (int64_t)points[3] - points[1], (int64_t)points[4] - points[0],
                        (int64_t)points[5] - points[1]};
  return v[0] % columns || v[1] % columns || v[2] % rows || v[3] % rows;
}

void CellArray::offset(uint32_t column, uint32_t row, int64_t& ex, int64_t& ey) const {
  if (!uneven()) {
    ex = (int64_t)column * columnStep[0] + (int64_t)row * rowStep[0];
    ey = (int64_t)column * columnStep[1] + (int64_t)row * rowStep[1];
    return;
  }
  ex = unevenOffset((int64_t)points[2] - points[0], column, columns, (int64_t)points[4] - points[0], row, rows);
  ey = unevenOffset((int64_t)points[3] - points[1], column, columns, (int64_t)points[5] - points[1], row, rows);
}

void CellArray::steps(double& cx, double& cy, double& rx, double& ry) const {
  cx = columnStep[0], cy = columnStep[1], rx = rowStep[0], ry = rowStep[1];
  if (!uneven()) return;
  cx = ((double)points[2] - points[0]) / columns, cy = ((double)points[3] - points[1]) / columns;
  rx = ((double)points[4] - points[0]) / rows, ry = ((double)points[5] - points[1]) / rows;
}

// ---------------------------------------------------------------- instance

Instance::~Instance() = default;

void Instance::draw(int64_t, int64_t) {}

void Instance::moveBy(int32_t dx, int32_t dy) {
  GroupNode::moveBy(dx, dy);
  transform.x = wrapAdd(transform.x, dx), transform.y = wrapAdd(transform.y, dy);
  for (int k = 0; k < 6; k += 2)
    array.points[k] = wrapAdd(array.points[k], dx), array.points[k + 1] = wrapAdd(array.points[k + 1], dy);
}

void Instance::moveTo(int32_t nx, int32_t ny) { moveBy(wrapSub(nx, x), wrapSub(ny, y)); }

void Instance::elementBox(const Rect& b, uint32_t column, uint32_t row, int64_t box[4]) const {
  int64_t ex, ey;
  array.offset(column, row, ex, ey);
  const int64_t xs[2] = {b.x, (int64_t)b.x + b.w}, ys[2] = {b.y, (int64_t)b.y + b.h};
  bool first = true;
  for (int64_t cx : xs)
    for (int64_t cy : ys) {
      int64_t px, py;
      if (transform.integral()) {
        transform.apply(cx, cy, px, py);
        const int64_t p[4] = {px, py, px, py};
        unite(box, p, first);
      } else {
        // Outward to whole units, so the box holds every shape placed.
        double fx, fy;
        transform.applyExact((double)cx, (double)cy, fx, fy);
        const int64_t p[4] = {clampedCoordinate(std::floor(fx)), clampedCoordinate(std::floor(fy)),
                              clampedCoordinate(std::ceil(fx)), clampedCoordinate(std::ceil(fy))};
        unite(box, p, first);
      }
    }
  box[0] += ex, box[2] += ex, box[1] += ey, box[3] += ey;
}

void Instance::placeBounds(const Rect& cellBounds) {
  // The elements are translations of one another: the corner elements
  // reach furthest (also rounded: rounding keeps the order).
  const uint32_t lastColumn = array.columns ? array.columns - 1u : 0, lastRow = array.rows ? array.rows - 1u : 0;
  int64_t box[4], one[4];
  bool first = true;
  for (uint32_t c : {0u, lastColumn})
    for (uint32_t r : {0u, lastRow}) {
      elementBox(cellBounds, c, r, one);
      unite(box, one, first);
    }
  const Rect r = rectOf(box);
  setRect(r.x, r.y, r.w, r.h);
}

namespace {

// A whole-unit point placed by t: exact for an integral transform.
void placePoint(const CellTransform& t, double x, double y, double& ox, double& oy) {
  if (!t.integral()) return t.applyExact(x, y, ox, oy);
  int64_t px, py;
  t.apply((int64_t)x, (int64_t)y, px, py);
  ox = (double)px, oy = (double)py;
}

// Grow box by a rectangle of a cell placed by linear (a transform without
// origin) and moved by (tx, ty), outward to whole units.
void unitePlaced(int64_t box[4], const Rect& r, const CellTransform& linear, double tx, double ty, bool& first) {
  const int64_t xs[2] = {r.x, (int64_t)r.x + r.w}, ys[2] = {r.y, (int64_t)r.y + r.h};
  for (int64_t cx : xs)
    for (int64_t cy : ys) {
      double fx, fy;
      placePoint(linear, (double)cx, (double)cy, fx, fy);
      fx += tx, fy += ty;
      const int64_t p[4] = {clampedCoordinate(std::floor(fx)), clampedCoordinate(std::floor(fy)),
                            clampedCoordinate(std::ceil(fx)), clampedCoordinate(std::ceil(fy))};
      unite(box, p, first);
    }
}

// The box of a cell's flattened content placed as unitePlaced places. A
// cell placing absolute references is taken level by level, its instances'
// transforms composed with linear; the corner elements of each array reach
// furthest.
void unitePlacedCell(int64_t box[4], const CellLibrary& library, uint32_t index, const CellTransform& linear,
                     double tx, double ty, bool& first) {
  const Cell& cell = library.cell(index);
  if (!cell.placesAbsolute()) return unitePlaced(box, cell.bounds(), linear, tx, ty, first);
  for (int i = 0; i < LAYER_COUNT; i++)
    if (const Layer* l = cell.layer(i)) unitePlaced(box, *l, linear, tx, ty, first);
  for (GroupNode* n = cell.instances().first(); n; n = n->next()) {
    const Instance& inst = *static_cast<const Instance*>(n);
    if (inst.cell >= library.size()) continue;
    CellTransform inner = composeTransforms(linear, inst.transform);
    inner.x = inner.y = 0;
    const uint32_t columns = inst.array.columns ? inst.array.columns - 1u : 0, rows = inst.array.rows ? inst.array.rows - 1u : 0;
    for (uint32_t c : {0u, columns})
      for (uint32_t r : {0u, rows}) {
        int64_t ex, ey;
        inst.array.offset(c, r, ex, ey);
        double x = (double)inst.transform.x + (double)ex, y = (double)inst.transform.y + (double)ey, px, py;
        placePoint(linear, x, y, px, py);
        unitePlacedCell(box, library, inst.cell, inner, px + tx, py + ty, first);
      }
  }
}

}  // namespace

void Instance::placeBounds(const CellLibrary& library) {
  const Cell& placed = library.cell(cell);
  if (!placed.placesAbsolute()) return placeBounds(placed.bounds());
  CellTransform linear = transform;
  linear.x = linear.y = 0;
  const uint32_t lastColumn = array.columns ? array.columns - 1u : 0, lastRow = array.rows ? array.rows - 1u : 0;
  int64_t box[4];
  bool first = true;
  for (uint32_t c : {0u, lastColumn})
    for (uint32_t r : {0u, lastRow}) {
      int64_t ex, ey;
      array.offset(c, r, ex, ey);
      unitePlacedCell(box, library, cell, linear, (double)transform.x + ex, (double)transform.y + ey, first);
    }
  const Rect r = rectOf(box);
  setRect(r.x, r.y, r.w, r.h);
}

Instance* cloneInstance(const Instance& instance) {
  Instance* copy = new Instance;
  copy->cell = instance.cell;
  copy->transform = instance.transform;
  copy->array = instance.array;
  copy->setRect(instance.x, instance.y, instance.w, instance.h);
  copy->origin = instance.origin;
  return copy;
}

// ---------------------------------------------------------------- cell

// Each cell's revisions start 2^32 above the last cell's, so that no two
// cells, of this library or of one read later, ever report the same value.
static std::atomic<uint64_t> revisionBases{0};

Cell::Cell(std::string name) : cellName(std::move(name)), baseRevision(revisionBases.fetch_add(1ull << 32) + 1) {}

Cell::~Cell() = default;

const Layer* Cell::slotLayer(int slot) const {
  if (shown) return &shown[slot];
  if (slot == LAYER_INSTANCES) return instanceList.get();
  for (const auto& entry : own)
    if (entry.first == slot) return entry.second.get();
  return nullptr;
}

const Layer* Cell::layer(int slot) const {
  if (slot < 0 || slot >= LAYER_COUNT) return nullptr;
  const Layer* l = slotLayer(slot);
  return l && l->size() > 0 ? l : nullptr;
}

const Layer& Cell::instances() const {
  const Layer* l = slotLayer(LAYER_INSTANCES);
  return l ? *l : noInstances();
}

Layer& Cell::editLayer(int slot) {
  if (shown) return shown[slot];
  if (slot == LAYER_INSTANCES) {
    if (!instanceList) instanceList.reset(new Layer);
    return *instanceList;
  }
  auto at = std::lower_bound(own.begin(), own.end(), slot,
                             [](const std::pair<int, std::unique_ptr<Layer>>& e, int s) { return e.first < s; });
  if (at == own.end() || at->first != slot) at = own.emplace(at, slot, std::unique_ptr<Layer>(new Layer));
  return *at->second;
}

uint64_t Cell::revision() const {
  uint64_t sum = baseRevision;
  if (shown) {
    for (int i = 0; i < SLOT_COUNT; i++) sum += shown[i].getRevision();
    return sum;
  }
  for (const auto& entry : own) sum += entry.second->getRevision();
  if (instanceList) sum += instanceList->getRevision();
  return sum;
}

// Move a layer's objects to the end of another (swapped when it is empty,
// so that a whole content's record of changes comes along).
static void handOver(Layer& from, Layer& to) {
  if (from.size() == 0) return;
  if (to.size() == 0)
    to.swapContents(from);
  else
    to.appendChain(from.cutFrom(0));
}

void Cell::showIn(Layer* layers) {
  const uint64_t before = revision();
  if (layers) {
    for (auto& entry : own) handOver(*entry.second, layers[entry.first]);
    own.clear();
    if (instanceList) handOver(*instanceList, layers[LAYER_INSTANCES]);
    instanceList.reset();
    shown = layers;
  } else if (shown) {
    Layer* from = shown;
    shown = nullptr;
    for (int i = 0; i < SLOT_COUNT; i++)
      if (from[i].size() > 0) handOver(from[i], editLayer(i));
  }
  // Never below what it was: the layers' own revisions change hands.
  const uint64_t layersSum = revision() - baseRevision;
  baseRevision = layersSum <= before ? before + 1 - layersSum : 1;
}

uint64_t Cell::ownCount() const {
  uint64_t n = 0;
  for (int i = 0; i < LAYER_COUNT; i++)
    if (const Layer* l = layer(i)) n += l->size();
  return n;
}

Rect Cell::bounds() const {
  const uint64_t now = revision();
  if (cachedAt == now) return cachedBounds;
  int64_t box[4] = {0, 0, 0, 0};
  bool first = true;
  for (int i = 0; i < SLOT_COUNT; i++) {
    const Layer* l = i == LAYER_INSTANCES ? &instances() : layer(i);
    if (l && l->size() > 0) uniteRect(box, *l, first);
  }
  cachedBounds = first ? Rect() : rectOf(box);
  uint64_t count = ownCount();
  for (GroupNode* n = instances().first(); n; n = n->next()) {
    const Instance* inst = static_cast<const Instance*>(n);
    if (library && inst->cell < library->size())
      count = saturatingAdd(count, saturatingMul(inst->array.elements(), library->cell(inst->cell).flattenedCount()));
  }
  bool absolute = false;
  for (GroupNode* n = instances().first(); n && !absolute; n = n->next()) {
    const Instance* inst = static_cast<const Instance*>(n);
    absolute = inst->transform.absoluteMagnification || inst->transform.absoluteAngle ||
               (library && inst->cell < library->size() && library->cell(inst->cell).placesAbsolute());
  }
  cachedCount = count;
  cachedAbsolute = absolute;
  cachedAt = now;
  return cachedBounds;
}

uint64_t Cell::flattenedCount() const {
  bounds();
  return cachedCount;
}

bool Cell::placesAbsolute() const {
  bounds();
  return cachedAbsolute;
}

// ---------------------------------------------------------------- library

uint32_t CellLibrary::find(const std::string& name) const {
  auto at = names.find(name);
  return at == names.end() ? UINT32_MAX : at->second;
}

uint32_t CellLibrary::add(const std::string& name) {
  uint32_t found = find(name);
  if (found != UINT32_MAX) return found;
  cells.emplace_back(new Cell(name));
  cells.back()->library = this;
  names.emplace(name, (uint32_t)(cells.size() - 1));
  return (uint32_t)(cells.size() - 1);
}

CellLibrary::CellLibrary(CellLibrary&& other) noexcept { *this = std::move(other); }

CellLibrary& CellLibrary::operator=(CellLibrary&& other) noexcept {
  cells = std::move(other.cells);
  names = std::move(other.names);
  shown = other.shown;
  other.cells.clear();
  other.names.clear();
  other.shown = 0;
  for (auto& c : cells) c->library = this;
  return *this;
}

std::vector<uint32_t> CellLibrary::topCells() const {
  std::vector<bool> placed(cells.size());
  for (const auto& c : cells)
    for (GroupNode* n = c->instances().first(); n; n = n->next())
      if (static_cast<const Instance*>(n)->cell < placed.size()) placed[static_cast<const Instance*>(n)->cell] = true;
  std::vector<uint32_t> tops;
  for (uint32_t i = 0; i < cells.size(); i++)
    if (!placed[i]) tops.push_back(i);
  return tops;
}

std::vector<uint32_t> CellLibrary::childrenFirst() const {
  std::vector<uint32_t> order;
  std::vector<int> state(cells.size());  // 0 new, 1 on the path, 2 done
  std::vector<std::pair<uint32_t, GroupNode*>> path;
  for (uint32_t start = 0; start < cells.size(); start++) {
    if (state[start]) continue;
    path.push_back({start, cells[start]->instances().first()});
    state[start] = 1;
    while (!path.empty()) {
      GroupNode*& at = path.back().second;
      if (!at) {
        state[path.back().first] = 2;
        order.push_back(path.back().first);
        path.pop_back();
        continue;
      }
      const uint32_t child = static_cast<const Instance*>(at)->cell;
      at = at->next();
      if (child >= cells.size() || state[child] == 2) continue;
      if (state[child] == 1) return {};
      state[child] = 1;
      path.push_back({child, cells[child]->instances().first()});
    }
  }
  return order;
}
