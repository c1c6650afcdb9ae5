#include "pgraphic/largememory.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>

namespace pgraphic {

namespace {

uintptr_t RoundUp(uintptr_t v) {
  return (v + kHugePageSize - 1) & ~(kHugePageSize - 1);
}

std::atomic<bool> hugePageAdvice{true};

}  // namespace

void SetHugePageAdvice(bool on) {
  hugePageAdvice.store(on, std::memory_order_relaxed);
}

void AdviseAlignedInterior(void* data, size_t size, size_t alignment, int advice) {
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + alignment - 1) & ~(alignment - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(alignment - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, advice);
}

void AdviseHugePages(void* data, size_t size) {
  if (!hugePageAdvice.load(std::memory_order_relaxed)) return;
#if defined(MADV_HUGEPAGE)
  AdviseAlignedInterior(data, size, kHugePageSize, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

uint8_t* AllocateLargeZeroed(size_t size, void*& base, size_t& length) {
  length = size + kHugePageSize;
  base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) {
    base = nullptr;
    length = 0;
    return nullptr;
  }
  uint8_t* data = reinterpret_cast<uint8_t*>(RoundUp(reinterpret_cast<uintptr_t>(base)));
  AdviseHugePages(data, size);
  return data;
}

void ReleaseLargeZeroed(void* base, size_t length) noexcept {
  if (base) munmap(base, length);
}

void* AllocateLargeUncleared(size_t size) {
  void* p = std::aligned_alloc(kHugePageSize, RoundUp(size));
  if (p) AdviseHugePages(p, size);
  return p;
}

}  // namespace pgraphic
