#include "model/GroupNode.h"

#include <GL/gl.h>

#include <sys/mman.h>

#include <cstdlib>
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

// Fixed-size blocks carved from 2 MiB chunks, one free list per size. Freed
// blocks are reused by the next objects of that size; chunks stay with the
// process. Sanitizer builds use the heap directly so that every object is
// still checked on its own.
class NodePool {
public:
  static void* allocate(size_t size) {
    size_t slot = slotOf(size);
    if (slot >= SLOTS) return ::operator new(size);
    FreeBlock*& head = freeLists[slot];
    if (!head) refill(slot);
    FreeBlock* block = head;
    head = block->next;
    return block;
  }

  static void release(void* p, size_t size) {
    size_t slot = slotOf(size);
    if (slot >= SLOTS) {
      ::operator delete(p);
      return;
    }
    FreeBlock* block = static_cast<FreeBlock*>(p);
    block->next = freeLists[slot];
    freeLists[slot] = block;
  }

private:
  struct FreeBlock {
    FreeBlock* next;
  };
  struct Chunk {
    Chunk* next;
  };
  static constexpr size_t GRAIN = 8;
  static constexpr size_t SLOTS = 16;  // blocks up to 128 bytes
  static constexpr size_t CHUNK_BYTES = 2 << 20;  // one huge page where the system has them

  static size_t slotOf(size_t size) { return (size + GRAIN - 1) / GRAIN; }

  static void refill(size_t slot) {
    size_t blockBytes = slot * GRAIN;
    char* chunk = static_cast<char*>(std::aligned_alloc(CHUNK_BYTES, CHUNK_BYTES));
    if (!chunk) throw std::bad_alloc();
    // Huge pages: a million objects fault in a few dozen pages instead of
    // tens of thousands, which is most of the cost of loading a big layout.
    madvise(chunk, CHUNK_BYTES, MADV_HUGEPAGE);
    reinterpret_cast<Chunk*>(chunk)->next = chunks;
    chunks = reinterpret_cast<Chunk*>(chunk);
    // Linked lowest address first, so that objects made one after another
    // lie one after another in memory.
    const size_t first = 2 * sizeof(Chunk);
    const size_t count = (CHUNK_BYTES - first) / blockBytes;
    FreeBlock* head = freeLists[slot];
    for (size_t i = count; i-- > 0;) {
      FreeBlock* block = reinterpret_cast<FreeBlock*>(chunk + first + i * blockBytes);
      block->next = head;
      head = block;
    }
    freeLists[slot] = head;
  }

  static FreeBlock* freeLists[SLOTS];
  static Chunk* chunks;  // every chunk, so the memory stays reachable
};

NodePool::FreeBlock* NodePool::freeLists[NodePool::SLOTS] = {};
NodePool::Chunk* NodePool::chunks = nullptr;

}  // namespace

void* GroupNode::operator new(size_t size) {
#ifdef KIVO_PLAIN_ALLOCATION
  return ::operator new(size);
#else
  return NodePool::allocate(size);
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
  GroupNode* copy;
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
  glBegin(GL_LINE_LOOP);
  glVertex2f(x0, y0);
  glVertex2f(x1, y0);
  glVertex2f(x1, y1);
  glVertex2f(x0, y1);
  glEnd();
  glBegin(GL_LINES);
  glVertex2f(x0, y0);
  glVertex2f(x1, y1);
  glVertex2f(x1, y0);
  glVertex2f(x0, y1);
  glEnd();
}
