// Memory for large buffers (pixel storage, coefficient planes, transform
// rows): blocks of 4 MB and more lie on 2 MB boundaries and are offered huge
// pages. Passes that walk a buffer by columns touch a new 4 KB page on every row
// otherwise, and page-table walks and first-touch faults dominate them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pgraphic {

inline constexpr size_t kHugePageSize = size_t{2} << 20;
// Blocks from this size on are placed and advised for huge pages.
inline constexpr size_t kLargeBlockSize = 2 * kHugePageSize;

// Whether large blocks are offered huge pages (on by default). Huge pages make
// passes over a block faster, but on a virtual machine that hands free memory
// back to its host the first touch of a huge page can cost several times what
// ordinary pages do (36 MB: 130-200 ms against about 20 ms), and that cost
// falls on the read of every newly opened picture. A program that waits on
// such reads (the desktop program) turns the advice off before its first
// allocation; batch and command-line work keep it.
void SetHugePageAdvice(bool on);

// Gives madvise `advice` for the part of [data, data + size) that lies on whole
// blocks of `alignment` bytes (a power of two); nothing when there is none.
void AdviseAlignedInterior(void* data, size_t size, size_t alignment, int advice);

// Asks the kernel to back the 2 MB-aligned interior of [data, data + size) with
// huge pages. Only a hint: nothing changes where it is not supported or the
// advice is off.
void AdviseHugePages(void* data, size_t size);

// A zero-filled block mapped directly (the kernel clears pages as they are
// first touched), or nullptr when the mapping fails. `base` and `length` are
// what ReleaseLargeZeroed needs.
uint8_t* AllocateLargeZeroed(size_t size, void*& base, size_t& length);
void ReleaseLargeZeroed(void* base, size_t length) noexcept;

// A block whose contents are left as they are (for buffers every user writes
// before reading), or nullptr when memory runs out; freed with std::free.
void* AllocateLargeUncleared(size_t size);

}  // namespace pgraphic
