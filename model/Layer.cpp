#include "model/Layer.h"

#include <GL/gl.h>

#include <algorithm>
#include <typeinfo>
#include <utility>

Layer::Layer() : head(new GroupNode), cursor(head), tail(head) {}

Layer::~Layer() { delete head; }

void Layer::setColor(uint32_t c) {
  color = c;
  changed();
}

void Layer::setStyle(int s) {
  if (style == s) return;
  style = s;
  changed();
}

void Layer::setHidden(bool h) {
  if (hidden == h) return;
  hidden = h;
  changed();
}

void Layer::enable() {
  if (enabled) return;
  enabled = 1;
  changed();
}

void Layer::toggleEnabled() {
  enabled = enabled == 0 ? 1 : 0;
  changed();
}

void Layer::changed() {
  beginRecord(ChangeRecord::OTHER);
  ++revision;
}

void Layer::continueAppendRecord() {
  if (record.kind != ChangeRecord::APPENDED || record.cornersTaken) beginRecord(ChangeRecord::APPENDED);
}

void Layer::beginRecord(ChangeRecord::Kind kind) {
  record.kind = kind;
  record.since = revision;
  record.appendedFrom = count;
  BigVector<ObjectCorners>().swap(record.corners);
  record.notBoxes.clear();
  record.selected.clear();
  record.uniform = -1;
  record.flipped.clear();
  record.selectedChange = 0;
  record.cornersTaken = false;
}

void Layer::appendPrepared(std::initializer_list<PreparedChain*> chains) {
  size_t n = 0;
  for (const PreparedChain* chain : chains) n += chain->count;
  if (n == 0) return;
  continueAppendRecord();
  // Room for a few more, so that the next objects drawn do not move them all.
  const size_t total = record.corners.size() + n;
  if (record.corners.capacity() < total) record.corners.reserve(total + total / 64 + 16);
  size_t notBoxes = record.notBoxes.size(), selected = record.selected.size();
  for (const PreparedChain* chain : chains) {
    notBoxes += chain->notBoxes.size();
    selected += chain->selected.size();
  }
  record.notBoxes.reserve(notBoxes);
  record.selected.reserve(selected);
  for (PreparedChain* chain : chains) {
    if (!chain->head) continue;
    const size_t base = record.corners.size();
    for (const auto& o : chain->notBoxes) record.notBoxes.push_back({(uint32_t)(base + o.position), o.node});
    for (uint32_t p : chain->selected) record.selected.push_back((uint32_t)(base + p));
    // The corners give each object's x, y, w and h back exactly. A chain
    // made on one group lies in memory in order, so this walk streams.
    for (const GroupNode* node = chain->head; node; node = node->next()) {
      const ObjectCorners c = cornersOf(*node);
      include(c.x0, c.y0, wrapSub(c.x1, c.x0), wrapSub(c.y1, c.y0));
      record.corners.push_back(c);
    }
    tail->links[0] = chain->head;
    tail = chain->tail;
    count += chain->count;
    chain->head = chain->tail = nullptr;
    chain->count = 0;
    chain->notBoxes.clear();
    chain->selected.clear();
  }
  rewind();
  ++revision;
}

BigVector<ObjectCorners> Layer::takeAppendedCorners() {
  BigVector<ObjectCorners> taken;
  taken.swap(record.corners);
  record.cornersTaken = true;
  return taken;
}

void Layer::recordAppended(GroupNode* node) {
  for (; node; node = node->next()) {
    uint32_t at = (uint32_t)record.corners.size();
    record.corners.push_back(cornersOf(*node));
    if (typeid(*node) != typeid(Box)) record.notBoxes.push_back({at, node});
    if (node->isSelected()) record.selected.push_back(at);
  }
}

bool Layer::passes(const GroupNode* node, int filter, const Rect* arg) const {
  switch (filter) {
    case MATCH_ALL: return true;
    case MATCH_SELECTED: return node->isSelected() != 0;
    case MATCH_UNSELECTED: return node->isSelected() == 0;
    case MATCH_INSIDE: return arg && node->liesInside(*arg) == 1;
    case MATCH_NOT_INSIDE: return arg && node->liesInside(*arg) == 0;
    case MATCH_AT: return arg && node->contains(arg->getX(), arg->getY()) == 1;
    case MATCH_NOT_AT: return arg && node->contains(arg->getX(), arg->getY()) == 0;
    case MATCH_OBJECT: return node == arg;
    default: return false;
  }
}

GroupNode* Layer::findNext(int filter, Rect* arg) {
  cursor = cursor ? cursor->next() : head->next();
  if (filter == MATCH_ALL) return cursor;
  while (cursor && !passes(cursor, filter, arg)) cursor = cursor->next();
  return cursor;
}

// One pass that unlinks every passing node, then one pass that rebuilds the
// bounding box from the nodes that remain.
int Layer::deleteMatching(int filter, Rect* arg) {
  int count = 0;
  GroupNode* prev = head;
  while (prev->next()) {
    if (passes(prev->next(), filter, arg)) {
      prev->removeNext();
      ++count;
    } else {
      prev = prev->next();
    }
  }
  tail = prev;
  this->count -= (size_t)count;
  rewind();
  setRect(0, 0, 0, 0);
  apply(OP_BOUND, MATCH_ALL, nullptr);
  return count;
}

int Layer::apply(int op, int filter, Rect* arg) {
  if (enabled == 0) return 0;
  if (op == OP_ADD) {
    GroupNode* node = dynamic_cast<GroupNode*>(arg);
    if (node) {
      continueAppendRecord();
      recordAppended(node);
      include(*node);
      tail->links[0] = node;
      for (tail = node, ++count; tail->links[0]; tail = tail->links[0]) ++count;
      ++revision;
    }
    return 1;
  }
  if (op == OP_SELECT || op == OP_DESELECT || op == OP_TOGGLE) return changeSelection(op, filter, arg);
  int count = 0;
  if (op == OP_DELETE) {
    count = deleteMatching(filter, arg);
  } else {
    rewind();
    while (GroupNode* node = findNext(filter, arg)) {
      switch (op) {
        case OP_BOUND: include(*node); break;
        default: continue;
      }
      ++count;
    }
  }
  if (count > 0) changed();
  return count;
}

// Selection changes note the positions whose flag flipped, so that a cache
// can follow a click without walking the layer. A record that grows beyond
// a quarter of the layer is dropped: walking is cheaper then.
void Layer::beginSelection(int op, int filter, const Rect* arg) {
  pass.op = op;
  pass.filter = filter;
  pass.arg = arg;
  pass.whole = filter == MATCH_ALL && op != OP_TOGGLE;
  pass.recording = true;
  pass.limit = std::max<size_t>(1024, count / 4);
  pass.index = 0;
  pass.touched = 0;
  pass.previous = std::move(record);
  beginRecord(ChangeRecord::SELECTION);
  if (pass.whole) record.uniform = op == OP_SELECT;
}

void Layer::selectPiece(GroupNode* const* nodes, uint32_t n) {
  for (uint32_t j = 0; j < n; j++, pass.index++) {
    GroupNode* node = nodes[j];
    if (!passes(node, pass.filter, pass.arg)) continue;
    int32_t before = node->isSelected();
    if (pass.op == OP_SELECT)
      node->select();
    else if (pass.op == OP_DESELECT)
      node->deselect();
    else
      node->toggleSelect();
    ++pass.touched;
    record.selectedChange += node->isSelected() - before;
    if (pass.recording && !pass.whole && node->isSelected() != before) {
      record.flipped.push_back(pass.index);
      pass.recording = record.flipped.size() <= pass.limit;
    }
  }
}

int Layer::endSelection() {
  rewind();
  if (pass.touched == 0) {
    record = std::move(pass.previous);  // nothing changed: the last change stays on record
    return 0;
  }
  BigVector<ObjectCorners>().swap(pass.previous.corners);
  if (pass.recording)
    ++revision;
  else
    changed();
  return pass.touched;
}

int Layer::changeSelection(int op, int filter, Rect* arg) {
  beginSelection(op, filter, arg);
  for (GroupNode* node = first(); node; node = node->next()) selectPiece(&node, 1);
  return endSelection();
}

void Layer::swapContents(Layer& other) {
  std::swap(head, other.head);
  std::swap(count, other.count);
  std::swap(tail, other.tail);
  std::swap(cursor, other.cursor);
  Rect box(*this);
  setRect(other);
  other.setRect(box);
  // A record of the whole content (a file read into the other layer) comes
  // along with it.
  ChangeRecord whole;
  bool bring = other.record.kind == ChangeRecord::APPENDED && other.record.appendedFrom == 0 &&
               !other.record.cornersTaken;
  if (bring) whole = std::move(other.record);
  changed();
  other.changed();
  if (bring) {
    // From the new revision on: what a cache kept of the old content is no
    // part of it, even when the cache was current just before.
    whole.since = revision;
    record = std::move(whole);
  }
}

void Layer::appendChain(GroupNode* chain) {
  if (!chain) return;
  continueAppendRecord();
  recordAppended(chain);
  tail->links[0] = chain;
  for (GroupNode* node = chain; node; node = node->next()) {
    include(*node);
    tail = node;
    ++count;
  }
  rewind();
  ++revision;
}

GroupNode* Layer::cutFrom(size_t keep) {
  GroupNode* prev = head;
  for (size_t i = 0; i < keep && prev->next(); i++) prev = prev->next();
  GroupNode* chain = prev->links[0];
  prev->links[0] = nullptr;
  tail = prev;
  count = keep < count ? keep : count;
  refreshBounds();
  return chain;
}

std::vector<GroupNode*> Layer::removeAt(const std::vector<uint32_t>& positions) {
  std::vector<GroupNode*> removed;
  removed.reserve(positions.size());
  GroupNode* prev = head;
  size_t k = 0;
  for (uint32_t index = 0; k < positions.size() && prev->next(); index++) {
    if (index == positions[k]) {
      GroupNode* node = prev->links[0];
      prev->links[0] = node->links[0];
      node->links[0] = nullptr;
      removed.push_back(node);
      ++k;
    } else {
      prev = prev->next();
    }
  }
  for (tail = prev; tail->next();) tail = tail->next();
  count -= removed.size();
  refreshBounds();
  return removed;
}

void Layer::insertAt(const std::vector<uint32_t>& positions, const std::vector<GroupNode*>& nodes) {
  GroupNode* prev = head;
  size_t k = 0;
  for (uint32_t index = 0; k < nodes.size(); index++) {
    if (k < positions.size() && index == positions[k]) {
      GroupNode* node = nodes[k++];
      node->links[0] = prev->links[0];
      prev->links[0] = node;
    } else if (!prev->next()) {
      break;  // positions beyond the end: append the rest below
    }
    prev = prev->next();
  }
  for (; k < nodes.size(); k++) {
    nodes[k]->links[0] = nullptr;
    prev->links[0] = nodes[k];
    prev = nodes[k];
  }
  for (tail = prev; tail->next();) tail = tail->next();
  count += nodes.size();
  refreshBounds();
}

void Layer::collect(int filter, std::vector<uint32_t>& positions, std::vector<GroupNode*>& nodes) const {
  uint32_t index = 0;
  for (GroupNode* node = first(); node; node = node->next(), index++) {
    if (passes(node, filter, nullptr)) {
      positions.push_back(index);
      nodes.push_back(node);
    }
  }
}

void Layer::refreshBounds() {
  setRect(0, 0, 0, 0);
  for (GroupNode* node = first(); node; node = node->next()) include(*node);
  rewind();
  changed();
}

void setGLColor(uint32_t color) {
  glColor4ub(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF, (color >> 24) & 0xFF);
}

void Layer::draw(int64_t ox, int64_t oy) const {
  glPushAttrib(GL_ENABLE_BIT | GL_POLYGON_STIPPLE_BIT | GL_POLYGON_BIT | GL_LINE_BIT);
  setGLColor(color);
  glPolygonMode(GL_FRONT_AND_BACK, enabled ? GL_FILL : GL_LINE);
  for (GroupNode* node = first(); node; node = node->next()) node->draw(ox, oy);
  if (enabled) {
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glEnable(GL_LINE_STIPPLE);
    glColor4ub(255, 255, 255, 255);
    glPushMatrix();
    glTranslatef(0.0f, 0.0f, 0.01f);
    for (GroupNode* node = first(); node; node = node->next())
      if (node->isSelected()) node->draw(ox, oy);
    glPopMatrix();
  }
  glPopAttrib();
}
