// Bulk pixel moves behind the quarter turns and mirrors of TPixelGraphic: gathering
// source columns into destination rows, and reversing rows of pixels. On x86-64
// processors with SSSE3 (checked at run time) they move 3-byte pixels through
// byte shuffles; elsewhere they use plain loops with the same results.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pgraphic::pixelmoves {

// For k in [0, n) and j in [0, w): pixel j of dst[k] becomes the 3-byte pixel at
// byte offset 3 * (firstColumn + step * k) of rows[j]; step is 1 or -1. rowBytes
// is the number of readable bytes from the start of every source row (the row
// stride of the source image), which allows reading a little beyond a pixel.
void GatherColumns24(uint8_t* const* dst, size_t n, const uint8_t* const* rows, size_t w,
                     int64_t firstColumn, int step, size_t rowBytes);

// dst pixel i = src pixel n - 1 - i, for n 3-byte pixels; the ranges must not overlap.
void ReverseCopy24(uint8_t* dst, const uint8_t* src, size_t n);

// Reverses the order of n 3-byte pixels in place.
void Reverse24(uint8_t* row, size_t n);

// Reverses the order of n bytes in place.
void Reverse8(uint8_t* row, size_t n);

// Copies n bytes into memory that will not be read again soon: large blocks
// bypass the caches where the processor allows it. Call FinishStreaming after
// the last such copy.
void StreamCopy(uint8_t* dst, const uint8_t* src, size_t n);
void FinishStreaming();

}  // namespace pgraphic::pixelmoves
