// Optimised palettes and the colour-resolution conversions.
#include "pgraphic/image/colorres.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "pgraphic/image/palettes.h"

namespace pgraphic {
namespace {

std::vector<TRGB> PaletteOf(const TPixelGraphic& g) {
  std::vector<TRGB> v;
  for (int i = 0; i < g.PaletteCount(); ++i) v.push_back(g.PaletteColor(i));
  return v;
}

// The centre of a colour's histogram cell (red div 8, green div 4, blue div 8).
TRGB CellCentre(TRGB c) {
  return RGB(GetR(c) / 8 * 8 + 4, GetG(c) / 4 * 4 + 2, GetB(c) / 8 * 8 + 4);
}

void Colourful(TPixelGraphic& g, int w, int h) {
  g.SetSize(w, h, pf24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      g.SetPixel(x, y, RGB(x * 255 / (w - 1), y * 255 / (h - 1), (x * y) % 256));
}

TEST(OptimizedPalette, SixteenWithSystemColoursIsTheSystemPalette) {
  TPixelGraphic source, dest;
  Colourful(source, 64, 48);
  dest.SetSize(64, 48, pf4Bit);
  BuildOptimizedPalette(dest, source, 16, true);
  EXPECT_EQ(dest.PaletteIdent(), pSys16);
  EXPECT_EQ(PaletteOf(dest), std::vector<TRGB>(PGSystemColors.begin(), PGSystemColors.end()));

  // Nothing to optimise from: min(colours, 16) system colours.
  TPixelGraphic empty, small;
  small.SetSize(1, 1, pf8Bit);
  BuildOptimizedPalette(small, empty, 8, false);
  EXPECT_EQ(PaletteOf(small),
            std::vector<TRGB>(PGSystemColors.begin(), PGSystemColors.begin() + 8));
  BuildOptimizedPalette(small, empty, 256, true);
  EXPECT_EQ(small.PaletteCount(), 16);
  EXPECT_EQ(small.PaletteIdent(), pSys16);
}

TEST(OptimizedPalette, MedianCutFindsTheColoursOfFewColourImages) {
  TPixelGraphic source, dest;
  source.SetSize(5, 4, pf24Bit);
  source.SetBackGroundColor(RGB(100, 150, 200));
  source.Clear();
  dest.SetSize(5, 4, pf8Bit);
  BuildOptimizedPalette(dest, source, 256, false);
  EXPECT_EQ(PaletteOf(dest), std::vector<TRGB>{RGB(100, 150, 204)});
  EXPECT_EQ(dest.PaletteIdent(), pUnknown);
  BuildOptimizedPalette(dest, source, 256, true);
  ASSERT_EQ(dest.PaletteCount(), 17);
  EXPECT_EQ(dest.PaletteColor(0), RGB(100, 150, 204));
  EXPECT_EQ(dest.PaletteColor(16), RGB(255, 255, 255));

  const TRGB colours[] = {RGB(250, 10, 10), RGB(10, 250, 10), RGB(10, 10, 250), RGB(0, 0, 0),
                          RGB(200, 200, 200)};
  for (int x = 0; x < 5; ++x)
    for (int y = 0; y < 4; ++y) source.SetPixel(x, y, colours[x]);
  BuildOptimizedPalette(dest, source, 16, false);
  std::set<TRGB> expected;
  for (TRGB c : colours) expected.insert(CellCentre(c));
  const auto got = PaletteOf(dest);
  EXPECT_EQ(std::set<TRGB>(got.begin(), got.end()), expected);
  EXPECT_EQ(got.size(), 5u);

  // Fewer boxes than colours: each entry is a weighted mean of what it covers.
  BuildOptimizedPalette(dest, source, 2, false);
  EXPECT_EQ(dest.PaletteCount(), 2);
}

TEST(OptimizedPalette, ManyColoursFillEveryBoxAndMapWell) {
  TPixelGraphic source, dest;
  Colourful(source, 256, 128);
  dest.SetSize(256, 128, pf8Bit);
  BuildOptimizedPalette(dest, source, 256, true);
  ASSERT_EQ(dest.PaletteCount(), 256);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(dest.PaletteColor(240 + i), PGSystemColors[i]);
  const auto entries = PaletteOf(dest);
  EXPECT_EQ(std::set<TRGB>(entries.begin(), entries.end()).size(), 256u);
  // Undithered, the optimised palette maps the pixels at least as closely as the
  // uniform 216-colour grid, and far better than the 16 system colours.
  auto meanError = [&](TPixelGraphic& target) {
    target.SetDither(false);
    target.CopyFrom(source);
    double total = 0;
    for (int y = 0; y < 128; ++y)
      for (int x = 0; x < 256; ++x)
        total += std::sqrt(ColorDistance(source.Pixel(x, y), target.PixelColor(x, y)));
    return total / (256 * 128);
  };
  TPixelGraphic grid, sys;
  grid.SetSize(256, 128, pf8Bit);
  grid.SetPaletteIdent(pSpecial216);
  sys.SetSize(256, 128, pf8Bit);
  sys.SetPaletteIdent(pSys16);
  const double optimised = meanError(dest);
  EXPECT_LT(optimised, meanError(grid));
  EXPECT_LT(optimised * 2, meanError(sys));
}

TEST(OptimizedPalette, HistogramPassReportsAndStopsOnAbort) {
  TPixelGraphic source, dest;
  source.SetSize(4, 6, pf24Bit);
  source.SetBackGroundColor(RGB(0, 0, 255));
  source.Clear();
  for (int x = 0; x < 4; ++x) source.SetPixel(x, 0, RGB(255, 0, 0));
  dest.SetSize(4, 6, pf8Bit);
  std::vector<std::pair<int, int>> calls;
  dest.OnProgress = [&](TPixelGraphic&, int step, int max, bool& abort) {
    calls.push_back({step, max});
    abort = true;
  };
  BuildOptimizedPalette(dest, source, 16, false);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], std::make_pair(0, 5));
  EXPECT_EQ(PaletteOf(dest), std::vector<TRGB>{CellCentre(RGB(255, 0, 0))});

  calls.clear();
  dest.OnProgress = [&](TPixelGraphic&, int step, int max, bool&) { calls.push_back({step, max}); };
  BuildOptimizedPalette(dest, source, 16, false);
  EXPECT_EQ(calls.size(), 6u);
  EXPECT_EQ(dest.PaletteCount(), 2);
}

TEST(OptimizedPalette, OctreeForPaletteSources) {
  TPixelGraphic source, dest;
  source.SetSize(8, 8, pf8Bit);
  source.SetPaletteIdent(pGray256);
  // Only four palette entries are used: the octree returns exactly them.
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) source.SetPixel(x, y, uint32_t((x / 2) * 60));
  dest.SetSize(8, 8, pf8Bit);
  BuildOptimizedPalette(dest, source, 16, false);
  EXPECT_EQ(PaletteOf(dest),
            (std::vector<TRGB>{0, RGB(60, 60, 60), RGB(120, 120, 120), RGB(180, 180, 180)}));

  // All 256 grays used, 4 wanted: at most 4 gray entries covering dark to light.
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) source.SetPixel(x, y, uint32_t(4 * (8 * y + x)));
  BuildOptimizedPalette(dest, source, 4, false);
  ASSERT_GE(dest.PaletteCount(), 2);
  ASSERT_LE(dest.PaletteCount(), 4);
  for (TRGB c : PaletteOf(dest)) EXPECT_TRUE(GetR(c) == GetG(c) && GetG(c) == GetB(c));
  EXPECT_LT(GetR(dest.PaletteColor(0)), 100u);
  EXPECT_GT(GetR(dest.PaletteColor(dest.PaletteCount() - 1)), 150u);

  // Weighted means: three pixels of 100 and one of 104 merge to 101.
  TPixelGraphic two;
  two.SetSize(5, 1, pf4Bit);
  two.SetPaletteCount(3);
  two.SetPaletteColor(0, RGB(100, 100, 100));
  two.SetPaletteColor(1, RGB(104, 100, 100));
  two.SetPaletteColor(2, RGB(0, 0, 0));
  for (int x : {0, 1, 2}) two.SetPixel(x, 0, 0);
  two.SetPixel(3, 0, 1);
  two.SetPixel(4, 0, 2);
  BuildOptimizedPalette(dest, two, 2, false);
  const auto got = PaletteOf(dest);
  EXPECT_EQ(std::set<TRGB>(got.begin(), got.end()), (std::set<TRGB>{RGB(101, 100, 100), 0}));

  // Random palette images never give more entries than asked for.
  std::mt19937 rng(11);
  for (int target : {1, 2, 7, 16, 100, 236}) {
    source.SetPaletteCount(256);
    for (int i = 0; i < 256; ++i) source.SetPaletteColor(i, rng() & 0xFFFFFF);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) source.SetPixel(x, y, rng() % 256);
    BuildOptimizedPalette(dest, source, target, false);
    EXPECT_GE(dest.PaletteCount(), 1);
    EXPECT_LE(dest.PaletteCount(), target);
  }
}

TEST(ColorResolution, CommandsProduceTheirFormatsAndPalettes) {
  TPixelGraphic source;
  Colourful(source, 40, 30);
  struct Case {
    TColorCommand command;
    TPGPixelFormat format;
    TPaletteIdent kind;
  };
  for (Case c : {Case{ccColors2, pf1Bit, pBlackWhite}, Case{ccColors16, pf4Bit, pSys16},
                 Case{ccColors256, pf8Bit, pUnknown}, Case{ccGray256, pf8Bit, pGray256},
                 Case{ccTrueColor, pf24Bit, pTrueColor}}) {
    auto image = ApplyColorCommand(source, c.command);
    EXPECT_EQ(image->Width(), 40);
    EXPECT_EQ(image->Height(), 30);
    EXPECT_EQ(image->PixelFormat(), c.format);
    EXPECT_EQ(image->PaletteIdent(), c.kind);
  }
  auto gray = ApplyColorCommand(source, ccGray256);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(gray->Pixel(x, y), uint32_t(Gray(source.Pixel(x, y), true) / 3));

  auto many = ApplyColorCommand(source, ccColors256);
  EXPECT_EQ(many->PaletteColor(many->PaletteCount() - 1), RGB(255, 255, 255));
  auto back = ApplyColorCommand(*many, ccTrueColor);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(back->Pixel(x, y), many->PixelColor(x, y));
}

TEST(ColorResolution, SaveRecipesReachTheRequestedResolution) {
  TPixelGraphic source;
  Colourful(source, 33, 17);
  int starts = 0, ends = 0, steps = 0;
  source.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
  source.OnProgress = [&](TPixelGraphic&, int, int, bool&) { ++steps; };
  source.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  for (int r = crBlackWhite; r <= crTrueColor; ++r) {
    starts = ends = steps = 0;
    auto image = ConvertToColorResolution(source, TPGColorResolution(r));
    EXPECT_EQ(CurrentColorResolution(*image), TPGColorResolution(r));
    EXPECT_EQ(image->Width(), 33);
    EXPECT_EQ(starts, 1) << r;
    EXPECT_EQ(ends, 1) << r;
    if (r != crTrueColor) {
      EXPECT_GE(steps, 17) << r;
    }
    if (r == cr256Colors) {
      EXPECT_LE(image->PaletteCount(), 252);
    }
    if (r == cr2Colors) {
      EXPECT_EQ(image->PaletteCount(), 2);
    }
  }
  EXPECT_EQ(CurrentColorResolution(source), crTrueColor);
  TPixelGraphic p;
  p.SetSize(1, 1, pf4Bit);
  EXPECT_EQ(CurrentColorResolution(p), cr16Colors);
  p.SetPaletteIdent(pGray16);
  EXPECT_EQ(CurrentColorResolution(p), cr16Grays);
  p.SetSize(1, 1, pf1Bit);
  EXPECT_EQ(CurrentColorResolution(p), cr2Colors);
}

// Our 8-bit gray against a peer's: the same luma weights, truncated by us and
// rounded by the peer, so the peer is equal or one higher on every pixel.
TEST(ColorResolutionPeer, GrayMatchesPillowLumaWithinRounding) {
  if (std::system("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) {
    GTEST_SKIP() << "Pillow is not installed";
  }
  const auto dir =
      std::filesystem::temp_directory_path() / ("korvane-gray-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const int w = 97, h = 61;
  std::mt19937 rng(21);
  TPixelGraphic source;
  source.SetSize(w, h, pf24Bit);
  {
    std::ofstream out(dir / "in.ppm", std::ios::binary);
    out << "P6\n" << w << " " << h << "\n255\n";
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const uint8_t c[3] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
        out.write(reinterpret_cast<const char*>(c), 3);
        source.SetPixel(x, y, RGB(c[0], c[1], c[2]));
      }
    }
  }
  const std::string cmd = "/usr/bin/python3 -c \"from PIL import Image; Image.open('" +
                          (dir / "in.ppm").string() + "').convert('L').save('" +
                          (dir / "out.pgm").string() + "')\"";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(dir / "out.pgm", std::ios::binary);
  std::string magic;
  int pw, ph, maxval;
  in >> magic >> pw >> ph >> maxval;
  in.get();
  ASSERT_EQ(magic, "P5");
  ASSERT_EQ(pw, w);
  ASSERT_EQ(ph, h);
  std::vector<uint8_t> peer(size_t(w) * h);
  in.read(reinterpret_cast<char*>(peer.data()), std::streamsize(peer.size()));
  ASSERT_TRUE(in);
  std::filesystem::remove_all(dir);

  auto gray = ApplyColorCommand(source, ccGray256);
  int equal = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int ours = int(gray->Pixel(x, y));
      const int theirs = peer[size_t(y) * w + x];
      ASSERT_TRUE(theirs == ours || theirs == ours + 1)
          << x << "," << y << ": " << ours << " vs " << theirs;
      equal += theirs == ours;
    }
  }
  EXPECT_GT(equal, w * h / 4);
  EXPECT_LT(equal, w * h * 3 / 4);
}

}  // namespace
}  // namespace pgraphic
