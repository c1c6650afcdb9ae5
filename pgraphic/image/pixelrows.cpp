#include "pgraphic/image/pixelrows.h"

namespace pgraphic {

namespace {

template <class Rows, class Image>
Rows MakeRows(Image& image) {
  Rows rows;
  rows.Width = image.Width();
  rows.Height = image.Height();
  rows.Format = image.PixelFormat();
  if (image.Empty() || image.Height() <= 0) return rows;
  rows.Top = image.ScanLine(0);
  rows.Stride = -static_cast<ptrdiff_t>(image.RowStride());
  const auto& info = image.BitmapInfo();
  if (image.PixelFormat() != pf24Bit && info.size() >= 40) {
    rows.ColorTable = info.data() + 40;
    const int capacity = static_cast<int>((info.size() - 40) / 4);
    rows.ColorCount = image.PaletteCount() < capacity ? image.PaletteCount() : capacity;
  }
  return rows;
}

}  // namespace

TPixelRows PixelRows(TPixelGraphic& image) {
  return MakeRows<TPixelRows>(image);
}

TConstPixelRows PixelRows(const TPixelGraphic& image) {
  return MakeRows<TConstPixelRows>(image);
}

void Expand4BitRow(const uint8_t* source, int n, uint8_t* dest) {
  int x = 0;
  for (; x + 1 < n; x += 2) {
    const uint8_t b = source[x >> 1];
    dest[x] = static_cast<uint8_t>(b >> 4);
    dest[x + 1] = static_cast<uint8_t>(b & 0x0F);
  }
  if (x < n) dest[x] = static_cast<uint8_t>(source[x >> 1] >> 4);
}

void Expand1BitRow(const uint8_t* source, int n, uint8_t* dest) {
  for (int x = 0; x < n; ++x) dest[x] = static_cast<uint8_t>((source[x >> 3] >> (7 - (x & 7))) & 1);
}

}  // namespace pgraphic
