// Drawing rows into a pixel buffer: nearest-neighbour stretching, every pixel
// format through its colour table, tiles and mirrors, and the background.
#include "pgraphic/view/render.h"

#include <gtest/gtest.h>

#include <vector>

namespace pgraphic {
namespace {

constexpr uint32_t kBack = 0xFF102030u;

uint32_t Argb(TRGB c) {
  return 0xFF000000u | (GetR(c) << 16) | (GetG(c) << 8) | GetB(c);
}

// A small image with a distinct colour for every pixel (through the palette for
// palette formats).
TPixelGraphic& Distinct(TPixelGraphic& g, int w, int h, TPGPixelFormat format) {
  g.SetSize(w, h, format);
  if (format != pf24Bit) {
    g.SetPaletteCount(g.PaletteCapacity());
    for (int i = 0; i < g.PaletteCount(); ++i) g.SetPaletteColor(i, RGB(10 * i, 255 - i, 77));
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      g.SetPixel(x, y,
                 format == pf24Bit ? RGB(x * 20, y * 20, 200) : (x + w * y) % g.PaletteCount());
  return g;
}

struct Canvas {
  Canvas(TPGRect area)
      : pixels(size_t((area.Right - area.Left) * (area.Bottom - area.Top)), 0), area(area) {}
  uint32_t At(int x, int y) const {
    return pixels[size_t((y - area.Top) * (area.Right - area.Left) + (x - area.Left))];
  }
  TRenderTarget Target() { return {pixels.data(), area.Right - area.Left, area}; }
  std::vector<uint32_t> pixels;
  TPGRect area;
};

TEST(RenderPicture, StretchesEveryFormatByNearestNeighbour) {
  for (TPGPixelFormat format : {pf1Bit, pf4Bit, pf8Bit, pf24Bit}) {
    TPixelGraphic g;
    Distinct(g, 3, 2, format);
    // Twice the size at (1, 1) inside a 10 x 8 area.
    Canvas c({0, 0, 10, 8});
    RenderPicture(PixelRows(g), {{1, 1, 7, 5}}, c.Target(), kBack);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 10; ++x) {
        const bool inside = x >= 1 && x < 7 && y >= 1 && y < 5;
        const uint32_t want = inside ? Argb(g.PixelColor((x - 1) / 2, (y - 1) / 2)) : kBack;
        ASSERT_EQ(c.At(x, y), want) << "format " << int(format) << " at " << x << "," << y;
      }
  }
}

TEST(RenderPicture, ShrinksAndDrawsOnlyTheTargetArea) {
  TPixelGraphic g;
  Distinct(g, 8, 6, pf24Bit);
  // Half size at (-2, 0): only the part inside the area [0, 3) x [1, 3) is drawn.
  Canvas c({0, 1, 3, 3});
  RenderPicture(PixelRows(g), {{-2, 0, 2, 3}}, c.Target(), kBack);
  for (int y = 1; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      const uint32_t want = x < 2 ? Argb(g.PixelColor((x + 2) * 2, y * 2)) : kBack;
      EXPECT_EQ(c.At(x, y), want) << x << "," << y;
    }
}

TEST(RenderPicture, TilesAndMirrors) {
  TPixelGraphic g;
  Distinct(g, 4, 3, pf8Bit);
  struct Case {
    TTiling tiling;
    bool flipH, flipV;
  };
  const Case cases[] = {{tNone, true, false},           {tNone, false, true},
                        {tRepeat, false, false},        {tMirrorHorizontal, false, false},
                        {tMirrorVertical, false, true}, {tMirror, true, true}};
  for (const Case& k : cases) {
    // The child at (3, 2): tiles reach left of and above it as well.
    Canvas c({0, 0, 16, 12});
    RenderPicture(PixelRows(g), {{3, 2, 7, 5}, k.tiling, k.flipH, k.flipV}, c.Target(), kBack);
    for (int y = 0; y < 12; ++y)
      for (int x = 0; x < 16; ++x) {
        const int i = (x + 4 - 3) / 4 - 1, j = (y + 3 - 2) / 3 - 1;  // tile column and row
        const int lx = x - 3 - 4 * i, ly = y - 2 - 3 * j;
        uint32_t want = kBack;
        if (k.tiling != tNone || (i == 0 && j == 0)) {
          const bool mh =
              k.flipH != ((i & 1) && (k.tiling == tMirrorHorizontal || k.tiling == tMirror));
          const bool mv =
              k.flipV != ((j & 1) && (k.tiling == tMirrorVertical || k.tiling == tMirror));
          want = Argb(g.PixelColor(mh ? 3 - lx : lx, mv ? 2 - ly : ly));
        }
        ASSERT_EQ(c.At(x, y), want) << "tiling " << int(k.tiling) << " at " << x << "," << y;
      }
  }
}

TEST(RenderPicture, NothingToDrawFillsTheBackground) {
  TPixelGraphic empty;
  TPixelGraphic g;
  Distinct(g, 2, 2, pf24Bit);
  for (auto [image, child] :
       {std::pair{&empty, TPGRect{0, 0, 4, 4}}, std::pair{&g, TPGRect{1, 1, 1, 1}}}) {
    Canvas c({0, 0, 4, 4});
    RenderPicture(PixelRows(*image), {child}, c.Target(), kBack);
    for (uint32_t p : c.pixels) EXPECT_EQ(p, kBack);
  }
}

}  // namespace
}  // namespace pgraphic
