#ifndef KIVO_HUGEPAGES_H
#define KIVO_HUGEPAGES_H

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

// Huge pages are 2 MiB on x86-64.
const size_t HUGE_PAGE_BYTES = 2 << 20;

// A block of at least bytes, rounded up to whole huge pages and aligned to
// one, that the system is asked to back with huge pages; rounded gets its
// size. Release it with std::free. Null when memory is short.
inline void* allocateHugePages(size_t bytes, size_t& rounded) {
  rounded = (bytes / HUGE_PAGE_BYTES + (bytes % HUGE_PAGE_BYTES != 0)) * HUGE_PAGE_BYTES;
  if (rounded == 0) rounded = HUGE_PAGE_BYTES;
  void* p = std::aligned_alloc(HUGE_PAGE_BYTES, rounded);
  if (p) madvise(p, rounded, MADV_HUGEPAGE);
  return p;
}

// An allocator for big arrays. A page fault costs microseconds (more in a
// virtual machine), and filling tens of megabytes page by page faults
// thousands of times: blocks of 2 MiB or more therefore come in huge pages,
// and blocks from 64 KiB are mapped with their pages populated in one call.
// Smaller blocks come from the heap.
template <typename T>
struct HugePageAllocator {
  using value_type = T;
  static constexpr size_t HUGE_PAGE = HUGE_PAGE_BYTES;
  static constexpr size_t MAPPED = 64 << 10;

  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) {}

  T* allocate(size_t n) {
    size_t bytes = n * sizeof(T);
    if (bytes < MAPPED) return static_cast<T*>(::operator new(bytes));
    if (bytes < HUGE_PAGE) {
      void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
      if (p == MAP_FAILED) throw std::bad_alloc();
      return static_cast<T*>(p);
    }
    size_t rounded;
    void* p = allocateHugePages(bytes, rounded);
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) {
    size_t bytes = n * sizeof(T);
    if (bytes < MAPPED)
      ::operator delete(p);
    else if (bytes < HUGE_PAGE)
      munmap(p, bytes);
    else
      std::free(p);
  }
};

template <typename T, typename U>
bool operator==(const HugePageAllocator<T>&, const HugePageAllocator<U>&) {
  return true;
}
template <typename T, typename U>
bool operator!=(const HugePageAllocator<T>&, const HugePageAllocator<U>&) {
  return false;
}

template <typename T>
using BigVector = std::vector<T, HugePageAllocator<T>>;

#endif
