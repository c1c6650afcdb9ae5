// Large working buffers: tens of megabytes that are written once and read once.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "pgraphic/largememory.h"

namespace codec {

using pgraphic::AdviseHugePages;

// Has the kernel map (and clear) the pages of a fresh buffer now, without
// changing what it holds, so that the thread which fills it later takes no page
// faults. Only a hint: nothing happens where the kernel cannot do it.
inline void PopulatePages(void* data, size_t size) {
#ifdef MADV_POPULATE_WRITE
  pgraphic::AdviseAlignedInterior(data, size, 4096, MADV_POPULATE_WRITE);
#else
  (void)data;
  (void)size;
#endif
}

// Allocates buffers through the library's huge-page blocks, and leaves elements
// default-initialised: every user writes each element before reading it, so
// clearing them first would only cost a pass over the memory.
template <class T>
struct LargeBufferAllocator {
  using value_type = T;
  LargeBufferAllocator() = default;
  template <class U>
  LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > (static_cast<size_t>(-1) - pgraphic::kHugePageSize) / sizeof(T)) throw std::bad_alloc();
    const size_t bytes = n * sizeof(T);
    if (bytes < pgraphic::kLargeBlockSize) return static_cast<T*>(::operator new(bytes));
    void* p = pgraphic::AllocateLargeUncleared(bytes);
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) noexcept {
    if (n * sizeof(T) < pgraphic::kLargeBlockSize)
      ::operator delete(p);
    else
      std::free(p);
  }
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(static_cast<Args&&>(args)...);
  }
  template <class U>
  bool operator==(const LargeBufferAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace codec
