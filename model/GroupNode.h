#ifndef KIVO_GROUPNODE_H
#define KIVO_GROUPNODE_H

#include <cstddef>
#include <typeinfo>

#include "model/Rect.h"

// Where new layout objects go in memory, 0 to 31: objects made in the same
// group lie one after another, apart from other groups'. Readers give each
// layer its own group, so that walking a layer walks memory in order.
// Threads may make objects at the same time in different groups; objects
// are destroyed on one thread while no other thread makes any.
struct ObjectGroup {
  int number;
};

// A layout object in a layer's singly linked list. links[0] is the next node;
// a node owns it, so destroying the first node of a chain destroys the whole
// chain. origin numbers what its file said of its layer (ObjectOrigin.h).
class GroupNode : public Rect {
public:
  uint32_t origin = 0;
  GroupNode* links[1] = {nullptr};

  GroupNode() = default;
  GroupNode(const GroupNode&) = delete;
  GroupNode& operator=(const GroupNode&) = delete;
  ~GroupNode() override;

  // Layout objects come from a pool of large blocks: millions of them load
  // faster and take less memory than one heap allocation each.
  static void* operator new(size_t size);  // in group 0
  static void* operator new(size_t size, ObjectGroup group);
  static void operator delete(void* p, size_t size);

  GroupNode* next() const { return links[0]; }
  // The final node reached through links[0]; this node when it has no next.
  GroupNode* last();
  // Link node after last(); returns node, or last() when node is null.
  GroupNode* append(GroupNode* node);
  // Unlink and destroy the next node alone; returns the new next.
  GroupNode* removeNext();
};

// A plain layout rectangle, drawn as one filled quadrilateral.
class Box : public GroupNode {
public:
  ~Box() override;
  void draw(int64_t ox, int64_t oy) override;
};

// A marker rectangle of the options layer carrying one integer value, drawn
// as an outline with both diagonals.
class Opt : public GroupNode {
public:
  int32_t value = 0;

  ~Opt() override;
  void draw(int64_t ox, int64_t oy) override;
  void setValue(int32_t v) { value = v; }
  int32_t getValue() const { return value; }
};

// Writers and encoders tell the plain rectangles, nearly every object, by
// their exact type (typeid(*node)): a failed dynamic_cast costs more than
// writing the rectangle.
inline bool isPlainRectangle(const std::type_info& type) { return type == typeid(Box) || type == typeid(Opt); }
inline const Opt* asOpt(const GroupNode* node, const std::type_info& type) {
  return type == typeid(Opt) ? static_cast<const Opt*>(node) : dynamic_cast<const Opt*>(node);
}

// A new, unselected object of the same class, geometry, value and origin.
GroupNode* cloneObject(const GroupNode& node);

// The corners of an object as its own draw takes them: (x0, y0) and
// (x1, y1) = (x + w, y + h), wrapped, so x1 may lie left of x0.
struct ObjectCorners {
  int32_t x0, y0, x1, y1;
  int32_t left() const { return x0 < x1 ? x0 : x1; }
  int32_t right() const { return x0 < x1 ? x1 : x0; }
  int32_t low() const { return y0 < y1 ? y0 : y1; }
  int32_t high() const { return y0 < y1 ? y1 : y0; }
};

inline ObjectCorners cornersOf(const GroupNode& node) {
  return {node.getX(), node.getY(), wrapAdd(node.getX(), node.getW()),
          wrapAdd(node.getY(), node.getH())};
}
inline bool operator!=(const ObjectCorners& a, const ObjectCorners& b) {
  return a.x0 != b.x0 || a.y0 != b.y0 || a.x1 != b.x1 || a.y1 != b.y1;
}

#endif
