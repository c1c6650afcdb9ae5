#include "pgraphic/filters/filter.h"

#include <algorithm>
#include <exception>

namespace pgraphic {

TRGB TPGFilter::FilterPixel(int, int) {
  return 0;
}

bool TPGFilter::FilterRow(int, uint8_t*) {
  return false;
}

namespace {

// Copies the source into a target at least as deep: the palette and the raw
// pixel values, so that filtering the palette filters every pixel.
void CopyIndices(TPixelGraphic& target, const TPixelGraphic& source) {
  target.AssignPalette(source);
  if (target.PixelFormat() == source.PixelFormat() && target.ImageSize() == source.ImageSize()) {
    std::copy(source.Bits(), source.Bits() + source.ImageSize(), target.Bits());
    return;
  }
  for (int y = 0; y < source.Height(); ++y)
    for (int x = 0; x < source.Width(); ++x) target.SetPixel(x, y, source.Pixel(x, y));
}

struct TFilterScope {
  TPGFilter& filter;
  explicit TFilterScope(TPGFilter& f, const TPixelGraphic& source) : filter(f) {
    filter.BeginFilter(source);
  }
  ~TFilterScope() { filter.EndFilter(); }
};

struct TDitherGuard {
  TPixelGraphic& image;
  bool active;
  TDitherGuard(TPixelGraphic& g, bool on) : image(g), active(on) {
    if (active) image.PrepareDither();
  }
  ~TDitherGuard() {
    if (active) image.ReleaseDither();
  }
};

}  // namespace

void ApplyFilter(TPixelGraphic& target, TPGFilter& filter, const TPixelGraphic& source) {
  const bool same = &target == &source;
  if (same && !filter.CanFilterPalette()) throw EPGFilter(LangStr(23));
  if (!same) target.SetSize(source.Width(), source.Height(), target.PixelFormat());
  if (target.Width() == 0 || target.Height() == 0 || target.Empty()) return;

  if (filter.CanFilterPalette() && target.PixelFormat() != pf24Bit &&
      target.BitsPerPixel() >= source.BitsPerPixel()) {
    // Palette path: only the palette entries change; the indices stay.
    if (!same) CopyIndices(target, source);
    if (target.PaletteCount() > 0) {
      TFilterScope scope(filter, source);
      for (int i = 0; i < target.PaletteCount(); ++i) {
        target.SetPaletteColor(i, filter.FilterColor(target.PaletteColor(i)) & 0xFFFFFF);
      }
    }
    target.Changed();
    return;
  }

  // Pixel path.
  const bool dithering = target.PixelFormat() != pf24Bit && target.Dither();
  {
    TDitherGuard dither(target, dithering);
    TFilterScope scope(filter, source);
    TProgressScope progress(target);
    const int w = target.Width(), h = target.Height();
    for (int y = 0; y < h; ++y) {
      if (target.PixelFormat() == pf24Bit) {
        uint8_t* row = target.ScanLine(y);
        if (!filter.FilterRow(y, row)) {
          for (int x = 0; x < w; ++x) {
            const TRGB c = filter.FilterPixel(x, y);
            row[3 * x] = static_cast<uint8_t>(GetB(c));
            row[3 * x + 1] = static_cast<uint8_t>(GetG(c));
            row[3 * x + 2] = static_cast<uint8_t>(GetR(c));
          }
        }
      } else {
        if (dithering) target.DitherNextRow();
        for (int k = 0; k < w; ++k) {
          const int x = (y & 1) ? w - 1 - k : k;
          const TRGB c = filter.FilterPixel(x, y);
          target.WriteColor(x, y, static_cast<int>(GetR(c)), static_cast<int>(GetG(c)),
                            static_cast<int>(GetB(c)), dithering);
        }
      }
      if (target.Progress(y, h - 1)) break;
    }
  }
  target.Changed();
}

}  // namespace pgraphic
