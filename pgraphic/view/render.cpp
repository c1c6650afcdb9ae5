#include "pgraphic/view/render.h"

#include <algorithm>
#include <array>
#include <vector>

namespace pgraphic {

namespace {

// Floor division, also for negative numerators.
int FloorDiv(int a, int b) {
  const int q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// For each position of one axis of the target: the source index to draw, or -1
// where the background shows.
void MapAxis(int from, int count, int childStart, int childSize, int sourceSize, bool tiled,
             bool (*flipped)(int, TTiling, bool), TTiling tiling, bool flip, int* out) {
  for (int k = 0; k < count; ++k) {
    const int v = from + k - childStart;
    const int tile = FloorDiv(v, childSize);
    if (!tiled && tile != 0) {
      out[k] = -1;
      continue;
    }
    const int local = v - tile * childSize;
    out[k] = SourceIndex(local, childSize, sourceSize, flipped(tile, tiling, flip));
  }
}

uint32_t Opaque(TRGB c) {
  return 0xFF000000u | (GetR(c) << 16) | (GetG(c) << 8) | GetB(c);
}

}  // namespace

void RenderPicture(const TConstPixelRows& image, const TPictureLayout& layout,
                   const TRenderTarget& target, uint32_t background) {
  const TPGRect& a = target.Area;
  const int w = a.Right - a.Left, h = a.Bottom - a.Top;
  if (w <= 0 || h <= 0) return;
  const TPGRect& c = layout.Child;
  const int cw = c.Right - c.Left, ch = c.Bottom - c.Top;
  const bool drawable = !image.Empty() && image.Width > 0 && image.Height > 0 && cw > 0 && ch > 0;
  if (!drawable) {
    for (int y = 0; y < h; ++y) std::fill_n(target.Pixels + y * target.Stride, w, background);
    return;
  }
  const bool tiled = layout.Tiling != tNone;
  std::vector<int> columns(static_cast<size_t>(w)), rows(static_cast<size_t>(h));
  MapAxis(a.Left, w, c.Left, cw, image.Width, tiled, TileFlippedHorizontally, layout.Tiling,
          layout.FlipHorizontal, columns.data());
  MapAxis(a.Top, h, c.Top, ch, image.Height, tiled, TileFlippedVertically, layout.Tiling,
          layout.FlipVertical, rows.data());

  std::array<uint32_t, 256> lut;
  lut.fill(0xFF000000u);
  for (int i = 0; i < std::min(image.ColorCount, 256); ++i)
    lut[static_cast<size_t>(i)] = Opaque(image.Color(i));

  // The mapped columns form one run [first, last) (tiles cover everything; a
  // single image one contiguous stretch), background on either side.
  int first = 0, last = w;
  while (first < w && columns[static_cast<size_t>(first)] < 0) ++first;
  while (last > first && columns[static_cast<size_t>(last - 1)] < 0) --last;
  bool contiguous = first < last;
  for (int k = first + 1; k < last && contiguous; ++k)
    contiguous = columns[static_cast<size_t>(k)] == columns[static_cast<size_t>(k - 1)] + 1;

  // Byte offsets (and, below 8 bits, shifts) of the mapped columns.
  const int bits = BitsPerPixel(image.Format);
  std::vector<int> offset(static_cast<size_t>(w)), shift(static_cast<size_t>(w));
  for (int k = first; k < last; ++k) {
    const int x = columns[static_cast<size_t>(k)];
    offset[static_cast<size_t>(k)] = bits == 24 ? 3 * x : (x * bits) / 8;
    shift[static_cast<size_t>(k)] = bits >= 8 ? 0 : 8 - bits - (x * bits) % 8;
  }
  const uint32_t mask = bits >= 8 ? 0xFF : (1u << bits) - 1;
  const int* off = offset.data();
  const int* sh = shift.data();

  for (int k = 0; k < h; ++k) {
    uint32_t* out = target.Pixels + k * target.Stride;
    const int y = rows[static_cast<size_t>(k)];
    if (y < 0) {
      std::fill_n(out, w, background);
      continue;
    }
    std::fill_n(out, first, background);
    std::fill(out + last, out + w, background);
    const uint8_t* row = image.Row(y);
    if (bits == 24 && contiguous) {
      const uint8_t* p = row + off[first];
      for (int j = first; j < last; ++j, p += 3)
        out[j] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    } else if (bits == 24) {
      for (int j = first; j < last; ++j) {
        const uint8_t* p = row + off[j];
        out[j] = 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
      }
    } else if (bits == 8) {
      for (int j = first; j < last; ++j) out[j] = lut[row[off[j]]];
    } else {
      for (int j = first; j < last; ++j) out[j] = lut[(row[off[j]] >> sh[j]) & mask];
    }
  }
}

}  // namespace pgraphic
