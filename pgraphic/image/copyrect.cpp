// Same-size rectangle copy with colour mapping, and CopyFrom.
#include <algorithm>
#include <cstring>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {

void TPixelGraphic::CopyRect(int destLeft, int destTop, const TPixelGraphic& source, int srcLeft,
                             int srcTop, int width, int height) {
  if (width_ == 0 || height_ == 0 || source.width_ == 0 || source.height_ == 0) return;
  if (!bits_ || !source.bits_) return;
  // Everything in 64 bits: the rectangle may reach far outside both images.
  const int64_t shift = static_cast<int64_t>(srcLeft) - destLeft;  // source x - dest x
  const int64_t firstRow = std::max<int64_t>(destTop, 0);
  const int64_t lastRow =
      std::min<int64_t>(static_cast<int64_t>(destTop) + height - 1, height_ - 1);
  int64_t firstCol = std::max<int64_t>({destLeft, 0, -shift});
  int64_t lastCol = std::min<int64_t>(
      {static_cast<int64_t>(destLeft) + width - 1, width_ - 1, source.width_ - 1 - shift});
  if (firstCol > lastCol || firstRow > lastRow) {
    Changed();
    return;
  }
  const int x0 = static_cast<int>(firstCol);
  const int n = static_cast<int>(lastCol - firstCol + 1);
  const int sx0 = static_cast<int>(firstCol + shift);
  const int64_t rowShift = static_cast<int64_t>(srcTop) - destTop;
  const bool blockMove = pixelFormat_ == pf24Bit && source.pixelFormat_ == pf24Bit;
  const bool self = &source == this;

  const bool dithering = pixelFormat_ != pf24Bit && dither_;
  struct DitherGuard {
    TPixelGraphic& g;
    bool active;
    ~DitherGuard() {
      if (active) g.ReleaseDither();
    }
  } guard{*this, dithering};
  if (dithering) PrepareDither();

  // Colours of the source's palette indices, as PixelColor reads them.
  TRGB lut[256] = {};
  if (source.pixelFormat_ != pf24Bit) {
    for (int i = 0; i < source.PaletteCapacity(); ++i)
      lut[i] = source.EntryColor(static_cast<TRGB>(i));
  }
  std::vector<uint8_t> buffer;
  if (!blockMove && !(self || source.pixelFormat_ == pf24Bit))
    buffer.resize(3 * static_cast<size_t>(n));

  {
    TProgressScope progress(*this);
    for (int64_t y = firstRow; y <= lastRow; ++y) {
      const int64_t sy = y + rowShift;
      if (sy < 0 || sy >= source.height_) continue;
      const uint8_t* srcRow = source.ScanLine(static_cast<int>(sy));
      uint8_t* dstRow = ScanLine(static_cast<int>(y));
      if (blockMove) {
        std::memmove(dstRow + 3 * static_cast<size_t>(x0), srcRow + 3 * static_cast<size_t>(sx0),
                     3 * static_cast<size_t>(n));
        continue;
      }
      if (dithering) DitherNextRow();
      if (self) {
        // Source and destination share storage: pixel by pixel, reading each source
        // pixel just before its destination is written.
        const bool reverse = (y & 1) != 0;
        for (int k = 0; k < n; ++k) {
          const int i = reverse ? n - 1 - k : k;
          const TRGB c = PixelColor(sx0 + i, static_cast<int>(sy));
          WriteColor(x0 + i, static_cast<int>(y), GetR(c), GetG(c), GetB(c), dithering);
        }
      } else if (source.pixelFormat_ == pf24Bit) {
        WriteColorRow(static_cast<int>(y), x0, n, srcRow + 3 * static_cast<size_t>(sx0), dithering);
      } else {
        uint8_t* p = buffer.data();
        for (int i = 0; i < n; ++i, p += 3) {
          const TRGB c = lut[IndexAt(srcRow, source.pixelFormat_, sx0 + i)];
          p[0] = static_cast<uint8_t>(GetB(c));
          p[1] = static_cast<uint8_t>(GetG(c));
          p[2] = static_cast<uint8_t>(GetR(c));
        }
        WriteColorRow(static_cast<int>(y), x0, n, buffer.data(), dithering);
      }
      if (Progress(static_cast<int>(y - firstRow), static_cast<int>(lastRow - firstRow))) break;
    }
  }
  Changed();
}

void TPixelGraphic::CopyFrom(const TPixelGraphic& source) {
  if (source.width_ == width_ && source.height_ == height_) {
    CopyRect(0, 0, source, 0, 0, width_, height_);
  } else {
    StretchCopy(0, 0, width_, height_, source, 0, 0, source.width_, source.height_);
  }
}

}  // namespace pgraphic
