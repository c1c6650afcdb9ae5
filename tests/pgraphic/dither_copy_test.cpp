// Colour-mapping copies: error diffusion, plain nearest mapping, CopyRect.
#include <gtest/gtest.h>

#include <random>

#include "pgraphic/image/palettes.h"
#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {
namespace {

// A smooth colourful 24-bit test image with some noise.
void FillPicture(TPixelGraphic& g, int w, int h, unsigned seed) {
  g.SetSize(w, h, pf24Bit);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int r = std::clamp(x * 255 / std::max(w - 1, 1) + int(rng() % 21) - 10, 0, 255);
      const int gr = std::clamp(y * 255 / std::max(h - 1, 1) + int(rng() % 21) - 10, 0, 255);
      const int b = std::clamp(128 + int(rng() % 121) - 60, 0, 255);
      g.SetPixel(x, y, RGB(r, gr, b));
    }
  }
}

std::vector<uint32_t> Pixels(const TPixelGraphic& g) {
  std::vector<uint32_t> v;
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) v.push_back(g.Pixel(x, y));
  return v;
}

// Error diffusion written out from its rules, independent of the library's code:
// the limit table, rounding of the accumulated error, serpentine rows, the
// 7/3/5/1 weights and the gray or colour variant.
void ReferenceDither(const TPixelGraphic& source, TPixelGraphic& out, bool soft, int limit) {
  int t[256];
  for (int i = 0; i < 256; ++i) t[i] = i;
  if (limit != 255)
    for (int i = limit; i < 256; ++i) t[i] = limit;
  if (soft)
    for (int i = limit / 2; i <= 3 * limit / 2 && i < 255; ++i) t[i] = i / 2 + limit / 4;
  auto T = [&](int e) { return e < 0 ? -t[-e] : t[e]; };
  auto round16 = [](int e) { return e >= 0 ? (e + 8) / 16 : -((-e + 8) / 16); };
  auto clamp = [](int v) { return std::clamp(v, 0, 255); };
  bool gray = true;
  for (int i = 0; i < out.PaletteCount(); ++i) {
    const TRGB c = out.PaletteColor(i);
    if (GetR(c) != GetG(c) || GetG(c) != GetB(c)) gray = false;
  }
  const int w = out.Width();
  std::vector<int> cur(3 * (w + 2)), next(3 * (w + 2));
  for (int y = 0; y < out.Height(); ++y) {
    std::swap(cur, next);
    std::fill(next.begin(), next.end(), 0);
    const int dir = (y % 2) ? -1 : 1;
    for (int k = 0; k < w; ++k) {
      const int x = dir > 0 ? k : w - 1 - k;
      const TRGB c = source.PixelColor(x, y);
      auto E = [&](std::vector<int>& row, int px, int ch) -> int& {
        return row[3 * (px + 1) + ch];
      };
      if (gray) {
        const int v = clamp(Gray(c, out.RGBWeighting()) / 3 + T(round16(E(cur, x, 1))));
        const TRGB index = out.NearestIndex(RGB(v, v, v));
        out.SetPixel(x, y, index);
        const int d = v - int(GetG(out.PaletteColor(int(index))));
        E(cur, x + dir, 1) += 7 * d;
        E(next, x - dir, 1) += 3 * d;
        E(next, x, 1) += 5 * d;
        E(next, x + dir, 1) += d;
      } else {
        const int comp[3] = {int(GetR(c)), int(GetG(c)), int(GetB(c))};
        int v[3];
        for (int ch = 0; ch < 3; ++ch) v[ch] = clamp(comp[ch] + T(round16(E(cur, x, ch))));
        const TRGB index = out.NearestIndex(RGB(v[0], v[1], v[2]));
        out.SetPixel(x, y, index);
        const TRGB e = out.PaletteColor(int(index));
        const int ec[3] = {int(GetR(e)), int(GetG(e)), int(GetB(e))};
        for (int ch = 0; ch < 3; ++ch) {
          const int d = v[ch] - ec[ch];
          E(cur, x + dir, ch) += 7 * d;
          E(next, x - dir, ch) += 3 * d;
          E(next, x, ch) += 5 * d;
          E(next, x + dir, ch) += d;
        }
      }
    }
  }
}

void AutoLimit(TPaletteIdent kind, bool& soft, int& limit) {
  soft = true;
  switch (kind) {
    case pBlackWhite:
      limit = 255;
      break;
    case pSysGray4:
    case pSys16:
    case pGray4:
      limit = 128;
      break;
    case pGray236:
      limit = 3;
      break;
    case pGray256:
      limit = 2;
      break;
    case pSpecial125:
    case pSpecial252:
      limit = 104;
      break;
    case pSpecial216:
      limit = 86;
      break;
    default:
      limit = 32;
  }
}

struct Target {
  TPGPixelFormat format;
  TPaletteIdent kind;  // pUnknown: a random palette
  bool cache;
};

void SetUpTarget(TPixelGraphic& g, int w, int h, const Target& t) {
  g.SetSize(w, h, t.format);
  g.SetUseColorCache(t.cache);
  if (t.kind != pUnknown) {
    g.SetPaletteIdent(t.kind);
    return;
  }
  std::mt19937 rng(99);
  const int n = std::min(g.PaletteCapacity(), 60);
  g.SetPaletteCount(n);
  for (int i = 0; i < n; ++i) g.SetPaletteColor(i, rng() & 0xFFFFFF);
}

TEST(DitherCopy, MatchesTheDiffusionRulesForEveryPaletteKind) {
  TPixelGraphic source;
  FillPicture(source, 37, 23, 1);
  // A palette source as well: 4-bit with an arbitrary palette.
  TPixelGraphic paletted;
  paletted.SetSize(37, 23, pf4Bit);
  paletted.SetPaletteCount(16);
  std::mt19937 rng(5);
  for (int i = 0; i < 16; ++i) paletted.SetPaletteColor(i, rng() & 0xFFFFFF);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x) paletted.SetPixel(x, y, rng() % 16);

  const Target targets[] = {
      {pf1Bit, pBlackWhite, true}, {pf4Bit, pSysGray4, true},   {pf4Bit, pGray4, true},
      {pf4Bit, pGray16, true},     {pf8Bit, pGray236, true},    {pf8Bit, pGray256, true},
      {pf4Bit, pSys16, true},      {pf8Bit, pSpecial125, true}, {pf8Bit, pSpecial216, true},
      {pf8Bit, pSpecial252, true}, {pf8Bit, pUnknown, true},    {pf8Bit, pUnknown, false},
      {pf4Bit, pUnknown, true},    {pf1Bit, pUnknown, false},
  };
  for (const TPixelGraphic* src : {&source, &paletted}) {
    for (const Target& t : targets) {
      for (bool weighting : {true, false}) {
        SCOPED_TRACE(testing::Message() << "kind " << int(t.kind) << " format " << int(t.format)
                                        << " cache " << t.cache << " weighting " << weighting
                                        << " source " << int(src->PixelFormat()));
        TPixelGraphic dest, ref;
        SetUpTarget(dest, 37, 23, t);
        SetUpTarget(ref, 37, 23, t);
        dest.SetRGBWeighting(weighting);
        ref.SetRGBWeighting(weighting);
        dest.CopyFrom(*src);
        bool soft;
        int limit;
        AutoLimit(dest.PaletteIdent(), soft, limit);
        ReferenceDither(*src, ref, soft, limit);
        ASSERT_EQ(Pixels(dest), Pixels(ref));
      }
    }
  }
}

TEST(DitherCopy, ManualErrorLimitAndKnee) {
  TPixelGraphic source;
  FillPicture(source, 40, 17, 2);
  for (int limit : {0, 1, 50, 128, 255}) {
    for (bool soft : {false, true}) {
      TPixelGraphic dest, ref;
      SetUpTarget(dest, 40, 17, {pf4Bit, pSys16, true});
      SetUpTarget(ref, 40, 17, {pf4Bit, pSys16, true});
      dest.SetDitherErrorLimitAuto(false);
      dest.SetDitherErrorLimit(uint8_t(limit));
      dest.SetDitherErrorLimitSoft(soft);
      dest.CopyFrom(source);
      ReferenceDither(source, ref, soft, limit);
      ASSERT_EQ(Pixels(dest), Pixels(ref)) << limit << " " << soft;
    }
  }
  // Limit 0 without a knee diffuses nothing: the result is the plain mapping.
  TPixelGraphic dithered, plain;
  SetUpTarget(dithered, 40, 17, {pf8Bit, pSpecial216, true});
  SetUpTarget(plain, 40, 17, {pf8Bit, pSpecial216, true});
  dithered.SetDitherErrorLimitAuto(false);
  dithered.SetDitherErrorLimit(0);
  dithered.SetDitherErrorLimitSoft(false);
  plain.SetDither(false);
  dithered.CopyFrom(source);
  plain.CopyFrom(source);
  EXPECT_EQ(Pixels(dithered), Pixels(plain));
}

// The single-pixel interface other operations use gives the same result as the
// bulk copy.
TEST(DitherCopy, PixelInterfaceEqualsRowCopy) {
  TPixelGraphic source;
  FillPicture(source, 29, 11, 3);
  for (TPaletteIdent kind : {pSys16, pGray16, pUnknown}) {
    for (bool dither : {true, false}) {
      TPixelGraphic bulk, single;
      SetUpTarget(bulk, 29, 11, {pf8Bit, kind, true});
      SetUpTarget(single, 29, 11, {pf8Bit, kind, true});
      bulk.SetDither(dither);
      single.SetDither(dither);
      bulk.CopyFrom(source);
      const bool dithering = single.PrepareDither();
      EXPECT_EQ(dithering, dither);
      for (int y = 0; y < 11; ++y) {
        single.DitherNextRow();
        for (int k = 0; k < 29; ++k) {
          const int x = (y % 2) ? 28 - k : k;
          const TRGB c = source.Pixel(x, y);
          single.WriteColor(x, y, int(GetR(c)), int(GetG(c)), int(GetB(c)), dithering);
        }
      }
      single.ReleaseDither();
      EXPECT_EQ(Pixels(bulk), Pixels(single)) << int(kind) << " " << dither;
    }
  }
}

TEST(DitherBehaviour, FlatGraysBecomeMatchingDotDensities) {
  for (int level : {64, 128, 192}) {
    TPixelGraphic source;
    source.SetSize(64, 64, pf24Bit);
    source.SetBackGroundColor(RGB(level, level, level));
    source.Clear();
    TPixelGraphic bw;
    bw.SetSize(64, 64, pf1Bit);
    bw.SetPaletteIdent(pBlackWhite);
    bw.CopyFrom(source);
    int white = 0;
    for (uint32_t p : Pixels(bw)) white += int(p);
    EXPECT_NEAR(white / 4096.0, level / 255.0, 0.03) << level;
    bw.SetDither(false);
    bw.CopyFrom(source);
    white = 0;
    for (uint32_t p : Pixels(bw)) white += int(p);
    EXPECT_EQ(white, level >= 128 ? 4096 : 0);
  }
}

// 256 grays with the automatic limit (2 with a knee): every pixel is the truncated
// gray value, without noise; the plain mapping rounds instead.
TEST(DitherBehaviour, Gray256AddsNoNoise) {
  TPixelGraphic source;
  FillPicture(source, 50, 30, 4);
  TPixelGraphic gray, plain;
  for (TPixelGraphic* g : {&gray, &plain}) {
    g->SetSize(50, 30, pf8Bit);
    g->SetPaletteIdent(pGray256);
  }
  plain.SetDither(false);
  gray.CopyFrom(source);
  plain.CopyFrom(source);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 50; ++x) {
      const int g = Gray(source.Pixel(x, y), true);
      ASSERT_EQ(gray.Pixel(x, y), uint32_t(g / 3));
      ASSERT_EQ(plain.Pixel(x, y), uint32_t((g + 1) / 3));
    }
  }
}

TEST(CopyRectTest, ClipsAndMovesTrueColourBlocksWithoutRowProgress) {
  TPixelGraphic source, dest;
  FillPicture(source, 10, 8, 6);
  dest.SetSize(6, 5, pf24Bit);
  dest.SetBackGroundColor(RGB(1, 2, 3));
  dest.Clear();
  int starts = 0, steps = 0, ends = 0, changes = 0;
  dest.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
  dest.OnProgress = [&](TPixelGraphic&, int, int, bool&) { ++steps; };
  dest.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  dest.OnChange = [&](TPixelGraphic&) { ++changes; };
  // Destination (-2, 1) .. (5, 9) from source (3, 2): clipped on every side.
  dest.CopyRect(-2, 1, source, 3, 2, 8, 9);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 6; ++x) {
      const int sx = x + 3 + 2, sy = y + 2 - 1;
      const bool inside = y >= 1 && sx < 10 && sy < 8;
      EXPECT_EQ(dest.Pixel(x, y), inside ? source.Pixel(sx, sy) : RGB(1, 2, 3)) << x << "," << y;
    }
  }
  EXPECT_EQ(steps, 0);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(changes, 1);

  // No column overlaps: only the change notification.
  starts = changes = 0;
  dest.CopyRect(0, 0, source, 20, 0, 5, 5);
  EXPECT_EQ(starts, 0);
  EXPECT_EQ(changes, 1);
  // An empty image on either side: nothing at all.
  TPixelGraphic empty;
  changes = 0;
  dest.CopyRect(0, 0, empty, 0, 0, 5, 5);
  EXPECT_EQ(changes, 0);
}

TEST(CopyRectTest, RowProgressAbortAndUntouchedNeighbours) {
  TPixelGraphic source;
  FillPicture(source, 12, 12, 7);
  TPixelGraphic dest;
  dest.SetSize(9, 7, pf4Bit);
  dest.SetPaletteIdent(pSys16);
  dest.SetBackGroundColor(5);
  dest.Clear();
  std::vector<std::pair<int, int>> calls;
  dest.OnProgress = [&](TPixelGraphic&, int step, int max, bool& abort) {
    calls.push_back({step, max});
    abort = step == 1;
  };
  dest.CopyRect(2, 1, source, 0, 0, 5, 10);  // rows 1..6, columns 2..6
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], std::make_pair(0, 5));
  EXPECT_EQ(calls[1], std::make_pair(1, 5));
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 9; ++x) {
      const bool written = y >= 1 && y <= 2 && x >= 2 && x <= 6;
      if (!written) {
        EXPECT_EQ(dest.Pixel(x, y), 5u) << x << "," << y;
      }
    }
  }
  // Column 7 of row 1 has the same byte as column 6: the neighbour nibble is kept.
  EXPECT_EQ(dest.Pixel(7, 1), 5u);
  EXPECT_EQ(dest.Pixel(1, 1), 5u);
}

// Rows run serpentine, which decides whose colour a shared cache cell keeps.
TEST(CopyRectTest, OddRowsRunRightToLeft) {
  TPixelGraphic source;
  source.SetSize(2, 2, pf24Bit);
  for (int y = 0; y < 2; ++y) {
    source.SetPixel(0, y, RGB(120, 0, 0));
    source.SetPixel(1, y, RGB(127, 0, 0));
  }
  for (int row = 0; row < 2; ++row) {
    TPixelGraphic dest;
    dest.SetSize(2, 2, pf8Bit);
    dest.SetPaletteCount(2);
    dest.SetPaletteColor(0, RGB(0, 0, 0));
    dest.SetPaletteColor(1, RGB(250, 0, 0));
    dest.SetDither(false);
    dest.CopyRect(0, row, source, 0, row, 2, 1);
    const uint32_t expected = row == 0 ? 0 : 1;  // the first pixel visited decides
    EXPECT_EQ(dest.Pixel(0, row), expected);
    EXPECT_EQ(dest.Pixel(1, row), expected);
  }
}

TEST(CopyRectTest, PaletteSourcesAndOverlappingSelfCopy) {
  TPixelGraphic g;
  g.SetSize(6, 2, pf8Bit);
  g.SetPaletteIdent(pGray256);
  for (int x = 0; x < 6; ++x) g.SetPixel(x, 0, uint32_t(10 * x));
  g.SetDither(false);
  g.CopyRect(1, 0, g, 0, 0, 5, 1);  // row 0 runs left to right: the first value smears
  for (int x = 0; x < 6; ++x) EXPECT_EQ(g.Pixel(x, 0), 0u);

  TPixelGraphic source;
  source.SetSize(3, 1, pf1Bit);
  source.SetPaletteIdent(pBlackWhite);
  source.SetPixel(1, 0, 1);
  TPixelGraphic dest;
  dest.SetSize(3, 1, pf24Bit);
  dest.CopyFrom(source);
  EXPECT_EQ(dest.Pixel(0, 0), 0u);
  EXPECT_EQ(dest.Pixel(1, 0), RGB(255, 255, 255));

  // Indices beyond a short palette read as its first entry.
  source.SetPaletteCount(1);
  source.SetPaletteColor(0, RGB(9, 9, 9));
  dest.CopyFrom(source);
  EXPECT_EQ(dest.Pixel(1, 0), RGB(9, 9, 9));
}

}  // namespace
}  // namespace pgraphic
