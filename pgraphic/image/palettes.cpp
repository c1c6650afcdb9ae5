// Fixed palettes, palette recognition and the nearest-colour rules with their
// one-entry memo and the 65536-cell colour cache.
#include "pgraphic/image/palettes.h"

#include <algorithm>
#include <cstring>

namespace pgraphic {

const uint8_t PGSys16Cells[64][3] = {
    {0, 0, 0},   {4, 4, 4},    {4, 4, 4},    {12, 12, 12}, {2, 2, 2},    {6, 6, 6},    {6, 6, 6},
    {6, 12, 12}, {2, 2, 2},    {6, 6, 6},    {6, 6, 6},    {6, 14, 14},  {10, 10, 10}, {6, 10, 10},
    {6, 14, 14}, {14, 14, 14}, {1, 1, 1},    {5, 5, 5},    {5, 5, 5},    {5, 12, 12},  {3, 3, 3},
    {8, 8, 8},   {8, 8, 8},    {8, 12, 12},  {3, 3, 3},    {8, 8, 8},    {8, 8, 8},    {7, 8, 14},
    {3, 10, 10}, {8, 10, 10},  {7, 8, 14},   {7, 14, 14},  {1, 1, 1},    {5, 5, 5},    {5, 5, 5},
    {5, 13, 13}, {3, 3, 3},    {8, 8, 8},    {8, 8, 8},    {7, 8, 13},   {3, 3, 3},    {8, 8, 8},
    {7, 8, 8},   {7, 7, 7},    {3, 11, 11},  {7, 8, 11},   {7, 7, 7},    {7, 7, 7},    {9, 9, 9},
    {5, 9, 9},   {5, 13, 13},  {13, 13, 13}, {3, 9, 9},    {8, 9, 9},    {7, 8, 13},   {7, 13, 13},
    {3, 11, 11}, {7, 8, 11},   {7, 7, 7},    {7, 7, 7},    {11, 11, 11}, {7, 11, 11},  {7, 7, 7},
    {7, 15, 15},
};

const std::array<TRGB, 16> PGSystemColors = {
    RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
    RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255),
};

namespace {

// Entries 125..251 of the 252-colour palette as (red, green, blue).
const uint8_t kSpecial252Tail[127][3] = {
    {32, 32, 32},    {96, 96, 96},    {160, 160, 160}, {224, 224, 224}, {255, 224, 255},
    {224, 224, 255}, {224, 255, 255}, {224, 255, 224}, {255, 255, 224}, {255, 224, 224},
    {255, 192, 224}, {224, 192, 255}, {192, 224, 255}, {192, 255, 224}, {224, 255, 192},
    {255, 224, 192}, {224, 192, 224}, {192, 192, 224}, {192, 224, 224}, {192, 224, 192},
    {224, 224, 192}, {224, 192, 192}, {255, 160, 192}, {255, 160, 224}, {255, 160, 255},
    {224, 160, 255}, {192, 160, 255}, {160, 160, 255}, {160, 192, 255}, {160, 224, 255},
    {160, 255, 255}, {160, 255, 224}, {160, 255, 192}, {160, 255, 160}, {192, 255, 160},
    {224, 255, 160}, {255, 255, 160}, {255, 224, 160}, {255, 192, 160}, {255, 160, 160},
    {224, 160, 192}, {224, 160, 224}, {192, 160, 224}, {160, 160, 224}, {160, 192, 224},
    {160, 224, 224}, {160, 224, 192}, {160, 224, 160}, {192, 224, 160}, {224, 224, 160},
    {224, 192, 160}, {224, 160, 160}, {255, 128, 160}, {255, 128, 224}, {224, 128, 255},
    {160, 128, 255}, {128, 160, 255}, {128, 224, 255}, {128, 255, 224}, {128, 255, 160},
    {160, 255, 128}, {224, 255, 128}, {255, 224, 128}, {255, 160, 128}, {192, 160, 192},
    {160, 160, 192}, {160, 192, 192}, {160, 192, 160}, {192, 192, 160}, {192, 160, 160},
    {224, 128, 160}, {224, 128, 192}, {224, 128, 224}, {192, 128, 224}, {160, 128, 224},
    {128, 128, 224}, {128, 160, 224}, {128, 192, 224}, {128, 224, 224}, {128, 224, 192},
    {128, 224, 160}, {128, 224, 128}, {160, 224, 128}, {192, 224, 128}, {224, 224, 128},
    {224, 192, 128}, {224, 160, 128}, {224, 128, 128}, {255, 96, 128},  {255, 96, 160},
    {255, 96, 192},  {255, 96, 224},  {255, 96, 255},  {224, 96, 255},  {192, 96, 255},
    {160, 96, 255},  {128, 96, 255},  {96, 96, 255},   {96, 128, 255},  {96, 160, 255},
    {96, 192, 255},  {96, 224, 255},  {96, 255, 255},  {96, 255, 224},  {96, 255, 192},
    {96, 255, 160},  {96, 255, 128},  {96, 255, 96},   {128, 255, 96},  {160, 255, 96},
    {192, 255, 96},  {224, 255, 96},  {255, 255, 96},  {255, 224, 96},  {255, 192, 96},
    {255, 160, 96},  {255, 128, 96},  {255, 96, 96},   {192, 128, 160}, {160, 128, 192},
    {128, 160, 192}, {128, 192, 160}, {160, 192, 128}, {192, 160, 128}, {224, 96, 128},
    {224, 96, 160},  {224, 96, 192},
};

std::vector<TRGB> Gray(int count, int (*level)(int)) {
  std::vector<TRGB> v;
  for (int i = 0; i < count; ++i) {
    const int g = level(i);
    v.push_back(RGB(g, g, g));
  }
  return v;
}

std::vector<TRGB> BuildSpecial252() {
  std::vector<TRGB> v(PGSystemColors.begin(), PGSystemColors.end());
  static const int levels[5] = {0, 64, 128, 192, 255};
  for (int r : levels) {
    for (int g : levels) {
      for (int b : levels) {
        const TRGB c = RGB(r, g, b);
        if (std::find(PGSystemColors.begin(), PGSystemColors.end(), c) == PGSystemColors.end()) {
          v.push_back(c);
        }
      }
    }
  }
  for (const auto& t : kSpecial252Tail) v.push_back(RGB(t[0], t[1], t[2]));
  return v;
}

struct TFixedPalettes {
  std::vector<TRGB> entries[pSource + 1];
  TFixedPalettes() {
    entries[pBlackWhite] = {RGB(0, 0, 0), RGB(255, 255, 255)};
    entries[pSysGray4] = {RGB(0, 0, 0), RGB(128, 128, 128), RGB(192, 192, 192), RGB(255, 255, 255)};
    entries[pSys16].assign(PGSystemColors.begin(), PGSystemColors.end());
    entries[pGray4] = Gray(4, [](int i) { return 255 * i / 3; });
    entries[pGray16] = Gray(16, [](int i) { return 255 * i / 15; });
    entries[pGray236] = Gray(236, Gray236Level);
    entries[pGray256] = Gray(256, [](int i) { return i; });
    for (int a = 0; a < 5; ++a) {
      for (int b = 0; b < 5; ++b) {
        for (int c = 0; c < 5; ++c) {
          auto v = [](int n) { return (255 * n + 3) / 4; };
          entries[pSpecial125].push_back(RGB(v(a), v(b), v(c)));
        }
      }
    }
    for (int a = 0; a < 6; ++a) {
      for (int b = 0; b < 6; ++b) {
        for (int c = 0; c < 6; ++c) {
          auto w = [](int n) { return (255 * n + 4) / 5; };
          entries[pSpecial216].push_back(RGB(w(a), w(b), w(c)));
        }
      }
    }
    entries[pSpecial252] = BuildSpecial252();
  }
};

const TFixedPalettes& Fixed() {
  static const TFixedPalettes palettes;
  return palettes;
}

// Index of the gray-ramp level nearest to a gray value 0..765 (lower index on a tie).
struct TGray236Lookup {
  uint8_t index[766];
  TGray236Lookup() {
    for (int g = 0; g < 766; ++g) {
      int best = 0, bestDistance = 1 << 30;
      for (int i = 0; i < 236; ++i) {
        const int d = std::abs(3 * Gray236Level(i) - g);
        if (d < bestDistance) {
          bestDistance = d;
          best = i;
        }
      }
      index[g] = static_cast<uint8_t>(best);
    }
  }
};

const TGray236Lookup& Gray236Lookup() {
  static const TGray236Lookup lookup;
  return lookup;
}

// Channel value range of level L of the 252-colour grid, (v + 16) div 32 = L.
inline int GridLow(int level) {
  return std::max(0, 32 * level - 16);
}
inline int GridHigh(int level) {
  return std::min(255, 32 * level + 15);
}

// Squared distance from a value to the nearest and the farthest point of a range.
inline int MinAxis(int v, int lo, int hi) {
  const int d = v < lo ? lo - v : (v > hi ? v - hi : 0);
  return d * d;
}
inline int MaxAxis(int v, int lo, int hi) {
  const int d = std::max(std::abs(v - lo), std::abs(v - hi));
  return d * d;
}

}  // namespace

int Gray236Level(int i) {
  return (510 * i + 235) / 470;
}

const std::vector<TRGB>& FixedPaletteEntries(TPaletteIdent kind) {
  static const std::vector<TRGB> none;
  if (kind >= pBlackWhite && kind <= pSpecial252) return Fixed().entries[kind];
  return none;
}

int FixedPaletteSize(TPaletteIdent kind) {
  return static_cast<int>(FixedPaletteEntries(kind).size());
}

// An entry belongs to a cell's list when its smallest possible distance to the
// cell is not larger than the largest distance of the entry that is best in the
// worst case; that keeps every entry that is nearest for some colour of the cell.
// Lists are in ascending index order, so scanning them with "strictly nearer
// replaces" gives the lowest-index nearest entry, exactly as a full search.
const TSpecial252Grid& Special252Grid() {
  static const TSpecial252Grid grid = [] {
    TSpecial252Grid g{};
    const auto& pal = Fixed().entries[pSpecial252];
    int cell = 0;
    for (int r = 0; r < 9; ++r) {
      for (int gr = 0; gr < 9; ++gr) {
        for (int b = 0; b < 9; ++b, ++cell) {
          const int rl = GridLow(r), rh = GridHigh(r);
          const int gl = GridLow(gr), gh = GridHigh(gr);
          const int bl = GridLow(b), bh = GridHigh(b);
          int minimax = 1 << 30;
          for (TRGB e : pal) {
            const int d =
                MaxAxis(GetR(e), rl, rh) + MaxAxis(GetG(e), gl, gh) + MaxAxis(GetB(e), bl, bh);
            minimax = std::min(minimax, d);
          }
          g.start[cell] = static_cast<uint16_t>(g.candidates.size());
          for (size_t i = 0; i < pal.size(); ++i) {
            const TRGB e = pal[i];
            const int d =
                MinAxis(GetR(e), rl, rh) + MinAxis(GetG(e), gl, gh) + MinAxis(GetB(e), bl, bh);
            if (d <= minimax) g.candidates.push_back(static_cast<uint8_t>(i));
          }
        }
      }
    }
    g.start[729] = static_cast<uint16_t>(g.candidates.size());
    return g;
  }();
  return grid;
}

void TPixelGraphic::FreeColorCache() {
  colorCacheRebuild_ = true;
}

void TPixelGraphic::SetPaletteIdent(TPaletteIdent kind) {
  if (kind == paletteIdent_) return;
  // The conversion-only kinds never describe a stored palette.
  if (kind == pOptimized252Sys16 || kind == pSource) kind = pUnknown;
  if (kind == pNone || kind == pTrueColor) {
    SetPaletteCount(0);
  } else if (kind != pUnknown) {
    const auto& entries = FixedPaletteEntries(kind);
    SetPaletteCount(static_cast<int>(entries.size()));
    std::copy(entries.begin(), entries.end(), palette_.begin());
    for (int i = 0; i < PaletteCapacity(); ++i) RebuildBitmapInfoEntry(i);
  }
  paletteIdent_ = kind;
  lastInvalid_ = true;
  paletteHandleDirty_ = true;
  FreeColorCache();
}

void TPixelGraphic::ClassifyPalette() {
  isGray_ = pixelFormat_ != pf24Bit;
  for (TRGB c : palette_) {
    if (GetR(c) != GetG(c) || GetG(c) != GetB(c)) isGray_ = false;
  }
  static const TPaletteIdent order[] = {pBlackWhite, pGray4, pSysGray4,   pGray16,     pGray236,
                                        pGray256,    pSys16, pSpecial216, pSpecial125, pSpecial252};
  for (TPaletteIdent kind : order) {
    if (palette_ == FixedPaletteEntries(kind)) {
      paletteIdent_ = kind;
      return;
    }
  }
  if (pixelFormat_ == pf24Bit && paletteCount_ == 0)
    paletteIdent_ = pTrueColor;
  else
    paletteIdent_ = paletteCount_ > 0 ? pUnknown : pNone;
}

uint32_t NearestSpecial252(TRGB c) {
  const TSpecial252Grid& grid = Special252Grid();
  const auto& pal = Fixed().entries[pSpecial252];
  const int cell = 81 * ((GetR(c) + 16) >> 5) + 9 * ((GetG(c) + 16) >> 5) + ((GetB(c) + 16) >> 5);
  int first = grid.start[cell];
  const int last = grid.start[cell + 1];
  uint32_t result = grid.candidates[first];
  int best = ColorDistance(c, pal[result]);
  for (++first; first < last; ++first) {
    const int d = ColorDistance(c, pal[grid.candidates[first]]);
    if (d < best) {
      best = d;
      result = grid.candidates[first];
    }
  }
  return result;
}

uint32_t NearestGrayIndex(TPaletteIdent kind, int g) {
  switch (kind) {
    case pBlackWhite:
      return static_cast<uint32_t>((g + 1) / 384);
    case pSysGray4:
      return g < 193 ? 0 : g < 481 ? 1 : g < 671 ? 2 : 3;
    case pGray4:
      return static_cast<uint32_t>((g + 127) / 255);
    case pGray16:
      return static_cast<uint32_t>((g + 25) / 51);
    case pGray256:
      return static_cast<uint32_t>((g + 1) / 3);
    case pGray236:
      return Gray236Lookup().index[g];
    default:
      return 0;
  }
}

// The rules of the fixed palettes and the 24-bit identity; pUnknown and pNone are
// handled by the caller.
TRGB TPixelGraphic::FixedNearest(TRGB c) const {
  switch (paletteIdent_) {
    case pTrueColor:
      return c;
    case pBlackWhite:
    case pSysGray4:
    case pGray4:
    case pGray16:
    case pGray256:
    case pGray236:
      return NearestGrayIndex(paletteIdent_, Gray(c, rgbWeighting_));
    case pSys16:
      return NearestSys16(c);
    case pSpecial125:
      return NearestSpecial125(c);
    case pSpecial216:
      return NearestSpecial216(c);
    case pSpecial252:
      return NearestSpecial252(c);
    default:
      return 0;
  }
}

TRGB TPixelGraphic::EntryColor(TRGB index) const {
  if (paletteIdent_ == pTrueColor) return index;
  if (index < static_cast<TRGB>(paletteCount_)) return palette_[index];
  return paletteCount_ > 0 ? palette_[0] : 0;
}

TRGB TPixelGraphic::NearestIndex(TRGB colour) {
  if (!lastInvalid_ && colour == lastColor_) return lastResult_;
  TRGB result;
  switch (paletteIdent_) {
    case pNone:
      throw EPGNoPalette(LangStr(msgNoPalette));
    case pUnknown:
    case pOptimized252Sys16:
    case pSource:
      result =
          (useColorCache_ && paletteCount_ <= 256) ? CachedNearest(colour) : ExactNearest(colour);
      break;
    default:
      result = FixedNearest(colour);
  }
  lastColor_ = colour;
  lastResult_ = result;
  lastInvalid_ = false;
  return result;
}

uint8_t TPixelGraphic::ExactNearest(TRGB c) const {
  int best = 0;
  int bestDistance = 1 << 30;
  for (int i = 0; i < paletteCount_; ++i) {
    const int d = ColorDistance(c, palette_[i]);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return static_cast<uint8_t>(best);
}

void TPixelGraphic::BuildColorCache() {
  colorCache_.assign(65536, 0);
  colorCacheFilled_.assign(8192, 0);
  uint8_t* cache = colorCache_.data();
  uint8_t* filled = colorCacheFilled_.data();
  auto fill = [&](int r, int g, int b, uint8_t index) {
    const int cell = r * 2048 + g * 32 + b;
    uint8_t& bits = filled[cell >> 3];
    const uint8_t mask = static_cast<uint8_t>(1u << (cell & 7));
    if (!(bits & mask)) {
      bits |= mask;
      cache[cell] = index;
    }
  };
  // Every entry claims the free cells of growing cubes around its own cell; entries
  // in index order within each radius, the six faces of each cube in turn.
  const int count = std::min(paletteCount_, 256);
  for (int radius = 0; radius <= 4; ++radius) {
    for (int i = 0; i < count; ++i) {
      const TRGB e = palette_[i];
      const int cr = GetR(e) >> 3, cg = GetG(e) >> 2, cb = GetB(e) >> 3;
      const uint8_t index = static_cast<uint8_t>(i);
      const int rLo = std::max(cr - radius, 0), rHi = std::min(cr + radius, 31);
      const int gLo = std::max(cg - radius, 0), gHi = std::min(cg + radius, 63);
      const int bLo = std::max(cb - radius, 0), bHi = std::min(cb + radius, 31);
      for (int r : {cr - radius, cr + radius}) {
        if (r < 0 || r > 31) continue;
        for (int g = gLo; g <= gHi; ++g)
          for (int b = bLo; b <= bHi; ++b) fill(r, g, b, index);
      }
      for (int g : {cg - radius, cg + radius}) {
        if (g < 0 || g > 63) continue;
        for (int r = rLo; r <= rHi; ++r)
          for (int b = bLo; b <= bHi; ++b) fill(r, g, b, index);
      }
      for (int b : {cb - radius, cb + radius}) {
        if (b < 0 || b > 31) continue;
        for (int r = rLo; r <= rHi; ++r)
          for (int g = gLo; g <= gHi; ++g) fill(r, g, b, index);
      }
    }
  }
  colorCacheRebuild_ = false;
}

uint8_t TPixelGraphic::CachedNearest(TRGB c) {
  if (colorCacheRebuild_) BuildColorCache();
  const int cell = ColorCacheCell(c);
  uint8_t& bits = colorCacheFilled_[cell >> 3];
  const uint8_t mask = static_cast<uint8_t>(1u << (cell & 7));
  if (bits & mask) return colorCache_[cell];
  const uint8_t index = ExactNearest(c);
  colorCache_[cell] = index;
  bits |= mask;
  return index;
}

}  // namespace pgraphic
