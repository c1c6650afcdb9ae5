// The filter protocol: TPGFilter computes a new colour for every pixel of a
// target image from a source image, and ApplyFilter runs one filter.
#pragma once

#include <cstdint>

#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {

class TPGFilter {
 public:
  virtual ~TPGFilter() = default;

  // Remembers the source; descendants build their tables here.
  virtual void BeginFilter(const TPixelGraphic& source) { source_ = &source; }
  // The new colour of target pixel (x, y).
  virtual TRGB FilterPixel(int x, int y);
  // Forgets the source.
  virtual void EndFilter() { source_ = nullptr; }
  // True when the filter may be applied to palette entries and in place.
  virtual bool CanFilterPalette() const { return false; }
  // The new colour for a given source colour.
  virtual TRGB FilterColor(TRGB colour) { return colour; }

  // Fills one row of a 24-bit target (B, G, R bytes) with the FilterPixel values
  // of row y and returns true, or returns false when the filter has no faster
  // way than pixel by pixel. The row may be the source's own row y.
  virtual bool FilterRow(int y, uint8_t* bgr);

  const TPixelGraphic* Source() const { return source_; }

 private:
  const TPixelGraphic* source_ = nullptr;
};

// Runs filter from source into target. Source and target may be the same image
// only when filter.CanFilterPalette() is true; otherwise EPGFilter is raised.
void ApplyFilter(TPixelGraphic& target, TPGFilter& filter, const TPixelGraphic& source);

}  // namespace pgraphic
