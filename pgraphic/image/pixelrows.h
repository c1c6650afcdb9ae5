// A plain view of an image's pixel rows in top-down order: the address of the top
// row, the signed distance from one row to the next (negative, since storage runs
// bottom-up), the pixel format and the colour table. Code that walks rows (the
// codec, the view's drawing) takes this instead of rebuilding the pointer by hand.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {

template <class Byte>
struct TPixelRowsOf {
  Byte* Top = nullptr;   // row 0 (the top row); nullptr without storage
  ptrdiff_t Stride = 0;  // bytes from row y to row y + 1
  int Width = 0;
  int Height = 0;
  TPGPixelFormat Format = pf24Bit;
  const uint8_t* ColorTable = nullptr;  // ColorCount entries of blue, green, red, 0
  int ColorCount = 0;

  // Mutable rows read as constant ones.
  operator TPixelRowsOf<const uint8_t>() const {
    return {Top, Stride, Width, Height, Format, ColorTable, ColorCount};
  }

  Byte* Row(int y) const { return Top + Stride * static_cast<ptrdiff_t>(y); }
  bool Empty() const { return Top == nullptr; }
  // Colour-table entry i as a TRGB (0 outside the table).
  TRGB Color(int i) const {
    if (i < 0 || i >= ColorCount) return 0;
    const uint8_t* q = ColorTable + 4 * i;
    return RGB(q[2], q[1], q[0]);
  }
};

using TPixelRows = TPixelRowsOf<uint8_t>;
using TConstPixelRows = TPixelRowsOf<const uint8_t>;

TPixelRows PixelRows(TPixelGraphic& image);
TConstPixelRows PixelRows(const TPixelGraphic& image);

// Widens n 4-bit pixels (two per byte, high nibble first) to one byte each.
void Expand4BitRow(const uint8_t* source, int n, uint8_t* dest);

// Widens n 1-bit pixels (eight per byte, most significant bit first) to one byte each.
void Expand1BitRow(const uint8_t* source, int n, uint8_t* dest);

}  // namespace pgraphic
