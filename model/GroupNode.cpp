#include "model/GroupNode.h"

#include "model/Shapes.h"
#include "model/Cell.h"
#include "model/HugePages.h"

#include <GL/gl.h>

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define KIVO_PLAIN_ALLOCATION 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIVO_PLAIN_ALLOCATION 1
#endif
#endif

namespace {

// Destroy a chain node by node. A recursive teardown through the links would
// overflow the stack on layers of millions of objects.
void destroyChain(GroupNode* node) {
  while (node) {
    GroupNode* following = node->links[0];
    node->links[0] = nullptr;
    delete node;
    node = following;
  }
}

// Fixed-size blocks in 64 KiB slabs of one block size each, the slabs cut
// from 2 MiB regions (one huge page where the system has them). Each
// placement group has its own current slab per size, so that the objects a
// file read puts on one layer lie one after another in memory: drawing,
// saving and freeing such a layer then walks memory in order instead of
// missing the cache on every object. A slab whose objects are all freed
// becomes free for any size and group, and is filled from its start again,
// so a layout read after another one closed is laid out as well as the
// first. Slabs stay with the process. Sanitizer builds use the heap
// directly so that every object is still checked on its own.
// Threads may make objects at once in different groups: the lists and
// regions shared by all groups are changed under a lock, once per slab.
class NodePool {
public:
  static constexpr int GROUPS = 32;

  static void* allocate(size_t size, int group) {
    size_t slot = slotOf(size);
    if (slot >= SLOTS) return ::operator new(size);
    Slab*& slab = current[slot][group & (GROUPS - 1)];
    if (slab && slab->live == 0) slab->reset();
    if (!slab || !slab->hasRoom()) slab = replace(slab, slot);
    return slab->take();
  }

  static void release(void* p, size_t size) {
    if (slotOf(size) >= SLOTS) {
      ::operator delete(p);
      return;
    }
    Slab* slab = reinterpret_cast<Slab*>(reinterpret_cast<uintptr_t>(p) & ~(SLAB_BYTES - 1));
    slab->give(p);
    if (slab->isCurrent || (slab->live > 0 && slab->listed)) return;
    std::lock_guard<std::mutex> hold(lock);
    if (slab->live == 0) {
      if (slab->listed) unlink(partial[slab->slot], slab);
      append(empty, slab);
    } else if (!slab->listed) {
      append(partial[slab->slot], slab);
    }
  }

private:
  struct FreeBlock {
    FreeBlock* next;
  };
  struct Slab {
    FreeBlock* freeList;
    char* bump;   // the next block never handed out
    char* limit;  // the end of the last whole block
    Slab* prev;
    Slab* next;
    uint32_t live;
    uint16_t slot;
    bool listed;     // on a partial list or the empty list
    bool isCurrent;  // some group's current slab

    void format(size_t s) {
      slot = (uint16_t)s;
      limit = reinterpret_cast<char*>(this) + HEADER_BYTES +
              (SLAB_BYTES - HEADER_BYTES) / (s * GRAIN) * (s * GRAIN);
      reset();
    }
    void reset() {
      freeList = nullptr;
      bump = reinterpret_cast<char*>(this) + HEADER_BYTES;
    }
    bool hasRoom() const { return freeList || bump < limit; }
    void* take() {
      ++live;
      if (FreeBlock* block = freeList) {
        freeList = block->next;
        return block;
      }
      void* block = bump;
      bump += slot * GRAIN;
      return block;
    }
    void give(void* p) {
      FreeBlock* block = static_cast<FreeBlock*>(p);
      block->next = freeList;
      freeList = block;
      --live;
    }
  };
  static constexpr size_t GRAIN = 8;
  static constexpr size_t SLOTS = 16;  // blocks up to 120 bytes
  static constexpr size_t SLAB_BYTES = 64 << 10;
  static constexpr size_t HEADER_BYTES = 64;
  static_assert(sizeof(Slab) <= HEADER_BYTES, "a slab's header fits before its blocks");
  static constexpr size_t REGION_BYTES = HUGE_PAGE_BYTES;

  static size_t slotOf(size_t size) { return (size + GRAIN - 1) / GRAIN; }

  // Slabs in the order they were put in: slabs freed while a layer is torn
  // down come back in address order, and are filled again in that order.
  struct SlabList {
    Slab* first;
    Slab* last;
  };

  static void append(SlabList& list, Slab* slab) {
    slab->prev = list.last;
    slab->next = nullptr;
    if (list.last) list.last->next = slab;
    else list.first = slab;
    list.last = slab;
    slab->listed = true;
  }

  static void unlink(SlabList& list, Slab* slab) {
    if (slab->prev) slab->prev->next = slab->next;
    else list.first = slab->next;
    if (slab->next) slab->next->prev = slab->prev;
    else list.last = slab->prev;
    slab->listed = false;
  }

  // A slab with room for blocks of this slot in place of a group's full
  // (or missing) current one: a partly used slab first, then a free one,
  // then a new one.
  static Slab* replace(Slab* full, size_t slot) {
    std::lock_guard<std::mutex> hold(lock);
    if (full) full->isCurrent = false;
    Slab* slab = partial[slot].first;
    if (slab) {
      unlink(partial[slot], slab);
    } else if ((slab = empty.first) != nullptr) {
      unlink(empty, slab);
      slab->format(slot);
    } else {
      slab = newSlab();
      slab->live = 0;
      slab->listed = false;
      slab->format(slot);
    }
    slab->isCurrent = true;
    return slab;
  }

  static Slab* newSlab() {
    if (regionNext == regionEnd) {
      // Huge pages: a million objects fault in a few dozen pages instead of
      // tens of thousands, which is most of the cost of loading a big layout.
      size_t rounded;
      char* region = static_cast<char*>(allocateHugePages(REGION_BYTES, rounded));
      if (!region) throw std::bad_alloc();
      regionNext = region;
      regionEnd = region + REGION_BYTES;
    }
    Slab* slab = reinterpret_cast<Slab*>(regionNext);
    regionNext += SLAB_BYTES;
    return slab;
  }

  static Slab* current[SLOTS][GROUPS];
  static SlabList partial[SLOTS];  // slabs with free blocks that are no group's current
  static SlabList empty;           // slabs without objects
  static char* regionNext;         // the region's slabs not yet handed out
  static char* regionEnd;
  static std::mutex lock;
};

NodePool::Slab* NodePool::current[NodePool::SLOTS][NodePool::GROUPS] = {};
NodePool::SlabList NodePool::partial[NodePool::SLOTS] = {};
NodePool::SlabList NodePool::empty = {};
char* NodePool::regionNext = nullptr;
char* NodePool::regionEnd = nullptr;
std::mutex NodePool::lock;

}  // namespace

void* GroupNode::operator new(size_t size) { return operator new(size, ObjectGroup{0}); }

void* GroupNode::operator new(size_t size, ObjectGroup group) {
#ifdef KIVO_PLAIN_ALLOCATION
  (void)group;
  return ::operator new(size);
#else
  return NodePool::allocate(size, group.number);
#endif
}

void GroupNode::operator delete(void* p, size_t size) {
#ifdef KIVO_PLAIN_ALLOCATION
  (void)size;
  ::operator delete(p);
#else
  NodePool::release(p, size);
#endif
}

GroupNode::~GroupNode() { destroyChain(links[0]); }

GroupNode* cloneObject(const GroupNode& node) {
  GroupNode* copy = cloneShape(node);
  if (copy) return copy;
  if (const Instance* instance = dynamic_cast<const Instance*>(&node)) return cloneInstance(*instance);
  if (const Opt* opt = dynamic_cast<const Opt*>(&node)) {
    Opt* o = new Opt;
    o->setValue(opt->getValue());
    copy = o;
  } else {
    copy = new Box;
  }
  copy->setRect(node.x, node.y, node.w, node.h);
  copy->origin = node.origin;
  return copy;
}

GroupNode* GroupNode::last() {
  GroupNode* node = this;
  while (node->links[0]) node = node->links[0];
  return node;
}

GroupNode* GroupNode::append(GroupNode* node) {
  GroupNode* end = last();
  if (!node) return end;
  end->links[0] = node;
  return node;
}

GroupNode* GroupNode::removeNext() {
  GroupNode* victim = links[0];
  if (victim) {
    GroupNode* successor = victim->links[0];
    victim->links[0] = nullptr;
    delete victim;
    links[0] = successor;
  }
  return links[0];
}

Box::~Box() {}

void Box::draw(int64_t ox, int64_t oy) {
  float x0 = drawCoord(x, ox), y0 = drawCoord(y, oy);
  float x1 = drawCoord(wrapAdd(x, w), ox), y1 = drawCoord(wrapAdd(y, h), oy);
  glBegin(GL_QUADS);
  glVertex2f(x0, y0);
  glVertex2f(x1, y0);
  glVertex2f(x1, y1);
  glVertex2f(x0, y1);
  glEnd();
}

Opt::~Opt() {}

void Opt::draw(int64_t ox, int64_t oy) {
  float x0 = drawCoord(x, ox), y0 = drawCoord(y, oy);
  float x1 = drawCoord(wrapAdd(x, w), ox), y1 = drawCoord(wrapAdd(y, h), oy);
  // The four sides and the two diagonals, each a segment of its own: they
  // cover the pixels of a line loop (a segment leaves out its last pixel,
  // where the next side starts), and the dashes of a selected one start
  // afresh on every side. Along a loop they would go on from whatever line
  // was drawn before when the loop's first side lies wholly off the canvas.
  const float v[] = {x0, y0, x1, y0, x1, y0, x1, y1, x1, y1, x0, y1,
                     x0, y1, x0, y0, x0, y0, x1, y1, x1, y0, x0, y1};
  glBegin(GL_LINES);
  for (int i = 0; i < 24; i += 2) glVertex2f(v[i], v[i + 1]);
  glEnd();
}
