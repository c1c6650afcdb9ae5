// Large working buffers: tens of megabytes that are written once and read once.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>

namespace codec {

// Asks the kernel to back the 2 MB-aligned interior of [data, data + size) with
// huge pages, which saves most of the page faults of touching it for the first
// time. Only a hint: nothing changes where it is not supported.
void AdviseHugePages(void* data, size_t size);

// Allocates buffers of 4 MB and more on 2 MB boundaries with that hint, and leaves
// elements default-initialised: every user writes each element before reading it,
// so clearing them first would only cost a pass over the memory.
template <class T>
struct LargeBufferAllocator {
  using value_type = T;
  static constexpr size_t kHuge = size_t{2} << 20;
  LargeBufferAllocator() = default;
  template <class U>
  LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept {}
  T* allocate(size_t n) {
    if (n > static_cast<size_t>(-1) / sizeof(T) - kHuge) throw std::bad_alloc();
    const size_t bytes = n * sizeof(T);
    if (bytes < 2 * kHuge) return static_cast<T*>(::operator new(bytes));
    void* p = std::aligned_alloc(kHuge, (bytes + kHuge - 1) / kHuge * kHuge);
    if (!p) throw std::bad_alloc();
    AdviseHugePages(p, bytes);
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t n) noexcept {
    if (n * sizeof(T) < 2 * kHuge)
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
