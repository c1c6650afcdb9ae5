// A 24-bit image of random colours, the common subject of filter and geometry
// tests.
#pragma once

#include <memory>
#include <random>

#include "pgraphic/image/pixelgraphic.h"

namespace test_support {

inline std::unique_ptr<pgraphic::TPixelGraphic> RandomImage(int width, int height,
                                                            unsigned seed) {
  std::mt19937 rng(seed);
  auto g = std::make_unique<pgraphic::TPixelGraphic>();
  g->SetSize(width, height, pgraphic::pf24Bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) g->SetPixel(x, y, rng() & 0xFFFFFF);
  return g;
}

}  // namespace test_support
