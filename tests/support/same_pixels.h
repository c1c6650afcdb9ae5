// Whether two images show the same picture: equal sizes and equal colours at
// every pixel, whatever their pixel formats.
#pragma once

#include "pgraphic/image/pixelgraphic.h"

namespace korvane_test {

inline bool SamePixels(const pgraphic::TPixelGraphic& a, const pgraphic::TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.PixelColor(x, y) != b.PixelColor(x, y)) return false;
  return true;
}

}  // namespace korvane_test
