// Images of random colours, the common subject of filter and geometry tests.
#pragma once

#include <memory>
#include <random>

#include "pgraphic/image/pixelgraphic.h"

namespace test_support {

inline std::unique_ptr<pgraphic::TPixelGraphic> RandomImage(int width, int height, unsigned seed) {
  std::mt19937 rng(seed);
  auto g = std::make_unique<pgraphic::TPixelGraphic>();
  g->SetSize(width, height, pgraphic::pf24Bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) g->SetPixel(x, y, rng() & 0xFFFFFF);
  return g;
}

// An image of the given pixel format with random bytes in every row (and, below
// 24 bits, a random palette of the format's full size).
inline std::unique_ptr<pgraphic::TPixelGraphic> NoiseOfFormat(int width, int height,
                                                              pgraphic::TPGPixelFormat format,
                                                              unsigned seed) {
  auto g = std::make_unique<pgraphic::TPixelGraphic>();
  g->SetSize(width, height, format);
  std::mt19937 rng(seed);
  if (format != pgraphic::pf24Bit) {
    g->SetPaletteCount(g->PaletteCapacity());
    for (int i = 0; i < g->PaletteCount(); ++i) g->SetPaletteColor(i, rng() & 0xFFFFFF);
  }
  for (int y = 0; y < height; ++y)
    for (int i = 0; i < g->RowStride(); ++i) g->ScanLine(y)[i] = static_cast<uint8_t>(rng());
  return g;
}

}  // namespace test_support
