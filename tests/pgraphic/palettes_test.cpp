// Fixed palettes, their recognition, and every nearest-index rule.
#include "pgraphic/image/palettes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>

namespace pgraphic {
namespace {

const TPaletteIdent kFixedKinds[] = {pBlackWhite, pSysGray4, pSys16,      pGray4,      pGray16,
                                     pGray236,    pGray256,  pSpecial125, pSpecial216, pSpecial252};

// Lowest index among the entries with the smallest squared distance.
int BruteNearest(const std::vector<TRGB>& pal, TRGB c) {
  int best = 0;
  long bestD = -1;
  for (size_t i = 0; i < pal.size(); ++i) {
    const long dr = long(GetR(c)) - long(GetR(pal[i]));
    const long dg = long(GetG(c)) - long(GetG(pal[i]));
    const long db = long(GetB(c)) - long(GetB(pal[i]));
    const long d = dr * dr + dg * dg + db * db;
    if (bestD < 0 || d < bestD) {
      bestD = d;
      best = int(i);
    }
  }
  return best;
}

std::unique_ptr<TPixelGraphic> WithPalette(TPaletteIdent kind) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(1, 1, pf8Bit);
  g->SetPaletteIdent(kind);
  return g;
}

TEST(PaletteGray, WeightedAndPlainGrayValues) {
  EXPECT_EQ(Gray(RGB(255, 0, 0), true), 228);
  EXPECT_EQ(Gray(RGB(0, 255, 0), true), 449);
  EXPECT_EQ(Gray(RGB(0, 0, 255), true), 87);
  EXPECT_EQ(Gray(RGB(255, 255, 255), true), 765);
  for (TRGB c : {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)}) EXPECT_EQ(Gray(c, false), 255);
  EXPECT_EQ(Gray(RGB(1, 1, 1), true), 3);
  EXPECT_EQ(Gray(RGB(1, 0, 0), true), 0);  // 0.897 truncates
}

TEST(PaletteFixed, EntriesOfEveryFixedPalette) {
  EXPECT_EQ(FixedPaletteEntries(pGray4),
            (std::vector<TRGB>{0, RGB(85, 85, 85), RGB(170, 170, 170), RGB(255, 255, 255)}));
  EXPECT_EQ(FixedPaletteEntries(pSysGray4),
            (std::vector<TRGB>{0, RGB(128, 128, 128), RGB(192, 192, 192), RGB(255, 255, 255)}));
  EXPECT_EQ(FixedPaletteEntries(pGray16)[1], RGB(17, 17, 17));
  EXPECT_EQ(FixedPaletteEntries(pGray16)[15], RGB(255, 255, 255));
  const auto& g236 = FixedPaletteEntries(pGray236);
  ASSERT_EQ(g236.size(), 236u);
  for (int i = 0; i < 236; ++i) {
    const int level = int(std::lround(255.0 * i / 235));
    EXPECT_EQ(g236[i], RGB(level, level, level)) << i;
  }
  const auto& s125 = FixedPaletteEntries(pSpecial125);
  EXPECT_EQ(s125[25 * 1 + 5 * 2 + 4], RGB(64, 128, 255));
  const auto& s216 = FixedPaletteEntries(pSpecial216);
  EXPECT_EQ(s216[36 * 5 + 6 * 1 + 3], RGB(255, 51, 153));
  EXPECT_EQ(FixedPaletteEntries(pSys16)[7], RGB(192, 192, 192));
  EXPECT_EQ(FixedPaletteEntries(pSys16)[9], RGB(255, 0, 0));

  const auto& s252 = FixedPaletteEntries(pSpecial252);
  ASSERT_EQ(s252.size(), 252u);
  EXPECT_TRUE(std::equal(PGSystemColors.begin(), PGSystemColors.end(), s252.begin()));
  EXPECT_EQ(s252[16], RGB(0, 0, 64));  // first grid colour outside the system list
  EXPECT_EQ(s252[124], RGB(255, 255, 192));
  EXPECT_EQ(s252[125], RGB(32, 32, 32));
  EXPECT_EQ(s252[251], RGB(224, 96, 192));
  EXPECT_EQ(std::set<TRGB>(s252.begin(), s252.end()).size(), 252u);
}

TEST(PaletteFixed, InstalledAndRecognisedInTestOrder) {
  for (TPaletteIdent kind : kFixedKinds) {
    auto gOwner = WithPalette(kind);
    TPixelGraphic& g = *gOwner;
    EXPECT_EQ(g.PaletteIdent(), kind);
    EXPECT_EQ(g.PaletteCount(), FixedPaletteSize(kind));
    // Rebuilt entry by entry the palette is arbitrary until classified.
    TPixelGraphic h;
    h.SetSize(1, 1, pf8Bit);
    h.SetPaletteCount(g.PaletteCount());
    for (int i = 0; i < g.PaletteCount(); ++i) h.SetPaletteColor(i, g.PaletteColor(i));
    EXPECT_EQ(h.PaletteIdent(), pUnknown);
    h.ClassifyPalette();
    EXPECT_EQ(h.PaletteIdent(), kind);
    const bool gray = kind != pSys16 && kind < pSpecial125;
    EXPECT_EQ(h.IsGray(), gray) << int(kind);
  }
  // A near miss stays arbitrary; an empty palette is none, or true colour at 24 bits.
  auto gOwner = WithPalette(pGray16);
  TPixelGraphic& g = *gOwner;
  g.SetPaletteColor(15, RGB(255, 255, 254));
  g.ClassifyPalette();
  EXPECT_EQ(g.PaletteIdent(), pUnknown);
  EXPECT_FALSE(g.IsGray());
  g.SetPaletteCount(0);
  g.ClassifyPalette();
  EXPECT_EQ(g.PaletteIdent(), pNone);
  EXPECT_TRUE(g.IsGray());
  TPixelGraphic t;
  t.ClassifyPalette();
  EXPECT_EQ(t.PaletteIdent(), pTrueColor);
  EXPECT_FALSE(t.IsGray());

  // Back to no palette.
  g.SetPaletteIdent(pGray256);
  g.SetPaletteIdent(pTrueColor);
  EXPECT_EQ(g.PaletteCount(), 0);
  EXPECT_EQ(g.PaletteIdent(), pTrueColor);
}

TEST(NearestIndexRules, GrayPalettesAndTheirThresholds) {
  auto bwOwner = WithPalette(pBlackWhite);
  TPixelGraphic& bw = *bwOwner;
  EXPECT_EQ(bw.NearestIndex(RGB(128, 127, 128)), 0u);  // gray 382
  EXPECT_EQ(bw.NearestIndex(RGB(128, 128, 127)), 1u);  // gray 383
  bw.SetRGBWeighting(false);
  EXPECT_EQ(bw.NearestIndex(RGB(255, 127, 0)), 0u);  // 382
  EXPECT_EQ(bw.NearestIndex(RGB(255, 128, 0)), 1u);  // 383

  // With weighting off the gray value is the channel sum; probe the boundaries.
  auto grayOf = [](int g) {
    return RGB(std::min(g, 255), std::min(std::max(g - 255, 0), 255), std::max(g - 510, 0));
  };
  struct Case {
    TPaletteIdent kind;
    int g;
    TRGB index;
  };
  for (Case c :
       {Case{pSysGray4, 192, 0}, Case{pSysGray4, 193, 1}, Case{pSysGray4, 480, 1},
        Case{pSysGray4, 481, 2}, Case{pSysGray4, 670, 2}, Case{pSysGray4, 671, 3},
        Case{pGray4, 127, 0}, Case{pGray4, 128, 1}, Case{pGray4, 765, 3}, Case{pGray16, 25, 0},
        Case{pGray16, 26, 1}, Case{pGray16, 765, 15}, Case{pGray256, 1, 0}, Case{pGray256, 2, 1},
        Case{pGray256, 764, 255}, Case{pGray256, 765, 255}}) {
    auto gOwner = WithPalette(c.kind);
    TPixelGraphic& g = *gOwner;
    g.SetRGBWeighting(false);
    EXPECT_EQ(g.NearestIndex(grayOf(c.g)), c.index) << int(c.kind) << " g=" << c.g;
  }

  // The 236-step ramp: the level whose triple is nearest to the gray value.
  auto g236Owner = WithPalette(pGray236);
  TPixelGraphic& g236 = *g236Owner;
  g236.SetRGBWeighting(false);
  for (int g = 0; g <= 765; ++g) {
    int best = 0;
    for (int i = 1; i < 236; ++i) {
      if (std::abs(3 * Gray236Level(i) - g) < std::abs(3 * Gray236Level(best) - g)) best = i;
    }
    ASSERT_EQ(g236.NearestIndex(grayOf(g)), TRGB(best)) << g;
  }
}

TEST(NearestIndexRules, ColourGridsAndSystemColours) {
  auto s125Owner = WithPalette(pSpecial125);
  TPixelGraphic& s125 = *s125Owner;
  EXPECT_EQ(s125.NearestIndex(RGB(224, 0, 0)), 100u);  // 224 reaches level 4
  EXPECT_EQ(s125.NearestIndex(RGB(223, 0, 0)), 75u);
  EXPECT_EQ(s125.NearestIndex(RGB(32, 33, 96)), 0u + 5 + 1);
  auto s216Owner = WithPalette(pSpecial216);
  TPixelGraphic& s216 = *s216Owner;
  EXPECT_EQ(s216.NearestIndex(RGB(26, 27, 255)), 0u + 6 + 5);
  EXPECT_EQ(s216.NearestIndex(RGB(25, 230, 229)), 0u + 6 * 4 + 4);

  // The system colours follow their candidate cells; for these colours the cells
  // decide exactly as a full search does.
  auto sysOwner = WithPalette(pSys16);
  TPixelGraphic& sys = *sysOwner;
  const auto& pal = FixedPaletteEntries(pSys16);
  EXPECT_EQ(sys.NearestIndex(RGB(200, 200, 200)), 7u);
  EXPECT_EQ(sys.NearestIndex(RGB(250, 250, 250)), 15u);
  EXPECT_EQ(sys.NearestIndex(RGB(100, 100, 100)), 8u);
  // Cell 39 lists 7, 8, 13.
  EXPECT_EQ(sys.NearestIndex(RGB(140, 100, 200)), 8u);
  EXPECT_EQ(sys.NearestIndex(RGB(180, 70, 250)), 13u);  // 8 is not nearer, 13 is
  EXPECT_EQ(sys.NearestIndex(RGB(150, 100, 230)), 7u);  // 7 and 8 tie: the first stays
  // A cell with one candidate answers it even where a full search would not.
  EXPECT_EQ(sys.NearestIndex(RGB(0, 64, 0)), 2u);
  EXPECT_EQ(BruteNearest(pal, RGB(0, 64, 0)), 0);
  std::mt19937 rng(7);
  for (int k = 0; k < 20000; ++k) {
    const TRGB c = rng() & 0xFFFFFF;
    const TRGB i = sys.NearestIndex(c);
    const uint8_t* cell = PGSys16Cells[16 * (GetR(c) / 64) + 4 * (GetG(c) / 64) + GetB(c) / 64];
    ASSERT_TRUE(i == cell[0] || i == cell[1] || i == cell[2]);
    ASSERT_LE(ColorDistance(c, pal[i]), ColorDistance(c, pal[cell[0]]));
  }
}

TEST(NearestIndexRules, Special252EqualsFullSearchWithLowestIndex) {
  auto gOwner = WithPalette(pSpecial252);
  TPixelGraphic& g = *gOwner;
  const auto& pal = FixedPaletteEntries(pSpecial252);
  std::mt19937 rng(252);
  for (int k = 0; k < 40000; ++k) {
    const TRGB c = rng() & 0xFFFFFF;
    ASSERT_EQ(g.NearestIndex(c), TRGB(BruteNearest(pal, c))) << std::hex << c;
  }
  // Cell borders and ties: every combination of interesting channel values.
  const int values[] = {0,   15,  16,  31,  32,  47,  48,  63,  64,  80,  95,  96,  112, 127,
                        128, 144, 159, 160, 176, 191, 192, 208, 223, 224, 239, 240, 255};
  for (int r : values)
    for (int gr : values)
      for (int b : values)
        ASSERT_EQ(g.NearestIndex(RGB(r, gr, b)), TRGB(BruteNearest(pal, RGB(r, gr, b))));
  const TSpecial252Grid& grid = Special252Grid();
  EXPECT_EQ(grid.start[0], 0);
  for (int k = 0; k < 729; ++k) ASSERT_LT(grid.start[k], grid.start[k + 1]);
}

TEST(NearestIndexRules, TrueColourAndArbitraryPalettes) {
  TPixelGraphic t;
  EXPECT_EQ(t.NearestIndex(RGB(1, 2, 3)), RGB(1, 2, 3));

  // Full search: the lowest index wins a tie.
  TPixelGraphic g;
  g.SetSize(1, 1, pf8Bit);
  g.SetUseColorCache(false);
  g.SetPaletteCount(4);
  g.SetPaletteColor(0, RGB(200, 0, 0));
  g.SetPaletteColor(1, RGB(0, 0, 10));
  g.SetPaletteColor(2, RGB(0, 10, 0));
  g.SetPaletteColor(3, RGB(0, 0, 10));
  EXPECT_EQ(g.NearestIndex(RGB(0, 5, 5)), 1u);
  EXPECT_EQ(g.NearestIndex(RGB(0, 0, 12)), 1u);
  EXPECT_EQ(g.NearestIndex(RGB(0, 9, 0)), 2u);
  std::mt19937 rng(3);
  std::vector<TRGB> pal;
  g.SetPaletteCount(200);
  for (int i = 0; i < 200; ++i) {
    pal.push_back(rng() & 0xFFFFFF);
    g.SetPaletteColor(i, pal.back());
  }
  for (int k = 0; k < 3000; ++k) {
    const TRGB c = rng() & 0xFFFFFF;
    ASSERT_EQ(g.NearestIndex(c), TRGB(BruteNearest(pal, c)));
  }
}

// The cache: pre-filled cubes around the entries, then the first colour looked up
// in a cell decides for the whole cell.
TEST(NearestIndexCache, PrefillAndCellSharing) {
  TPixelGraphic g;
  g.SetSize(1, 1, pf8Bit);
  g.SetPaletteCount(2);
  g.SetPaletteColor(0, RGB(0, 0, 0));
  g.SetPaletteColor(1, RGB(31, 28, 0));
  // Cell (3, 0, 0) lies 3 cells from black but 7 green cells from entry 1, so the
  // pre-fill gives it black although entry 1 is nearer.
  EXPECT_EQ(g.NearestIndex(RGB(31, 0, 0)), 0u);
  g.SetUseColorCache(false);
  EXPECT_EQ(g.NearestIndex(RGB(31, 0, 0)), 1u);

  // Black and (250, 0, 0) split at red 125/126, inside the cell of red 120..127,
  // which no pre-fill reaches.
  TPixelGraphic h;
  h.SetSize(1, 1, pf8Bit);
  h.SetPaletteCount(2);
  h.SetPaletteColor(0, RGB(0, 0, 0));
  h.SetPaletteColor(1, RGB(250, 0, 0));
  EXPECT_EQ(h.NearestIndex(RGB(120, 0, 0)), 0u);
  EXPECT_EQ(h.NearestIndex(RGB(127, 0, 0)), 0u);  // shares the cell
  h.FreeColorCache();
  EXPECT_EQ(h.NearestIndex(RGB(127, 0, 0)), 0u);  // the one-entry memo still answers
  EXPECT_EQ(h.NearestIndex(RGB(126, 0, 0)), 1u);  // new cache: this colour decides
  EXPECT_EQ(h.NearestIndex(RGB(120, 0, 0)), 1u);
  // A palette change drops both memo and cache.
  h.SetPaletteColor(1, RGB(250, 0, 0));
  EXPECT_EQ(h.NearestIndex(RGB(120, 0, 0)), 0u);

  // Within the pre-filled radius lower indices claim shared cells first.
  TPixelGraphic k;
  k.SetSize(1, 1, pf8Bit);
  k.SetPaletteCount(2);
  k.SetPaletteColor(0, RGB(64, 64, 64));
  k.SetPaletteColor(1, RGB(80, 64, 64));           // two red cells further
  EXPECT_EQ(k.NearestIndex(RGB(72, 64, 64)), 0u);  // radius 1 of both: index 0 first
  EXPECT_EQ(k.NearestIndex(RGB(80, 64, 64)), 1u);  // its own cell at radius 0
  EXPECT_EQ(k.NearestIndex(RGB(79, 64, 64)), 0u);  // exact search would say 1
}

}  // namespace
}  // namespace pgraphic
