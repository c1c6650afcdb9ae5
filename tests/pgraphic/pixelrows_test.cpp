// The top-down row view agrees with ScanLine and the palette for every pixel
// format, and widened 1- and 4-bit rows agree with the Pixel accessor.
#include "pgraphic/image/pixelrows.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {
namespace {

TPixelGraphic& Filled(TPixelGraphic& g, int w, int h, TPGPixelFormat format, unsigned seed) {
  g.SetSize(w, h, format);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < g.RowStride(); ++i) g.ScanLine(y)[i] = static_cast<uint8_t>(rng());
  if (format != pf24Bit) {
    g.SetPaletteCount(g.PaletteCapacity());
    for (int i = 0; i < g.PaletteCount(); ++i) g.SetPaletteColor(i, rng() & 0xFFFFFF);
  }
  return g;
}

TEST(PixelRows, RowsAndColourTableMatchTheImage) {
  for (TPGPixelFormat format : {pf1Bit, pf4Bit, pf8Bit, pf24Bit}) {
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 1}, {7, 3}, {33, 17}}) {
      TPixelGraphic g;
      Filled(g, w, h, format, static_cast<unsigned>(w * 31 + h + format));
      const TConstPixelRows rows = PixelRows(static_cast<const TPixelGraphic&>(g));
      ASSERT_EQ(rows.Width, w);
      ASSERT_EQ(rows.Height, h);
      EXPECT_EQ(rows.Format, format);
      for (int y = 0; y < h; ++y) EXPECT_EQ(rows.Row(y), g.ScanLine(y)) << "row " << y;
      EXPECT_EQ(rows.ColorCount, format == pf24Bit ? 0 : g.PaletteCount());
      for (int i = 0; i < rows.ColorCount; ++i) EXPECT_EQ(rows.Color(i), g.PaletteColor(i));
      EXPECT_EQ(PixelRows(g).Top, rows.Top);
    }
  }
}

TEST(PixelRows, EmptyImageHasNoRows) {
  TPixelGraphic g;
  EXPECT_TRUE(PixelRows(g).Empty());
  EXPECT_EQ(PixelRows(g).Color(0), 0u);
}

TEST(PixelRows, WidenedRowsMatchPixelValues) {
  struct Case {
    TPGPixelFormat format;
    void (*widen)(const uint8_t*, int, uint8_t*);
  };
  for (const Case& c : {Case{pf1Bit, Expand1BitRow}, Case{pf4Bit, Expand4BitRow}}) {
    for (int w : {1, 2, 3, 8, 9, 31}) {
      TPixelGraphic g;
      Filled(g, w, 4, c.format, static_cast<unsigned>(w));
      std::vector<uint8_t> wide(static_cast<size_t>(w) + 1, 0xEE);
      for (int y = 0; y < 4; ++y) {
        c.widen(g.ScanLine(y), w, wide.data());
        for (int x = 0; x < w; ++x) EXPECT_EQ(wide[static_cast<size_t>(x)], g.Pixel(x, y)) << x;
        EXPECT_EQ(wide.back(), 0xEE) << "writes past n";
      }
    }
  }
}

}  // namespace
}  // namespace pgraphic
