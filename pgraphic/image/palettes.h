// The fixed palettes an image can carry and the tables behind their nearest-colour
// rules.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {

// The sixteen system colours, in index order.
extern const std::array<TRGB, 16> PGSystemColors;

// Entries of a fixed palette in index order; empty for the kinds without fixed
// entries (pNone, pTrueColor, pUnknown and the conversion-only kinds).
const std::vector<TRGB>& FixedPaletteEntries(TPaletteIdent kind);

// Number of entries of a fixed palette (0 for the kinds without fixed entries).
int FixedPaletteSize(TPaletteIdent kind);

// Level i of the 236-step gray ramp: the integer nearest to 255 * i / 235.
int Gray236Level(int i);

// Cell of a colour in the 65536-cell nearest-colour cache.
inline int ColorCacheCell(TRGB c) {
  return static_cast<int>((GetR(c) >> 3) * 2048 + (GetG(c) >> 2) * 32 + (GetB(c) >> 3));
}

// Candidate lists of the 252-colour palette: the list of grid cell k holds, in
// ascending index order, every entry that is nearest to some colour of the cell.
struct TSpecial252Grid {
  std::array<uint16_t, 730> start;
  std::vector<uint8_t> candidates;
};
const TSpecial252Grid& Special252Grid();

// Nearest-index rules of the fixed colour palettes (g is a gray value 0..765).
extern const uint8_t PGSys16Cells[64][3];

inline int ColorDistance(TRGB a, TRGB b) {
  const int dr = static_cast<int>(GetR(a)) - static_cast<int>(GetR(b));
  const int dg = static_cast<int>(GetG(a)) - static_cast<int>(GetG(b));
  const int db = static_cast<int>(GetB(a)) - static_cast<int>(GetB(b));
  return dr * dr + dg * dg + db * db;
}

// The first candidate of the colour's cell, replaced by a later one only when
// strictly nearer.
inline uint32_t NearestSys16(TRGB c) {
  const uint8_t* cell = PGSys16Cells[16 * (GetR(c) >> 6) + 4 * (GetG(c) >> 6) + (GetB(c) >> 6)];
  uint32_t result = cell[0];
  if (cell[1] != cell[0]) {
    int best = ColorDistance(c, PGSystemColors[result]);
    const int d1 = ColorDistance(c, PGSystemColors[cell[1]]);
    if (d1 < best) {
      best = d1;
      result = cell[1];
    }
    if (cell[2] != cell[1] && ColorDistance(c, PGSystemColors[cell[2]]) < best) result = cell[2];
  }
  return result;
}

// Levels 0, 64, 128, 192, 255 per channel; 224 counts as 225 so that it reaches 255.
inline uint32_t NearestSpecial125(TRGB c) {
  auto level = [](uint32_t v) { return ((v == 224 ? 225 : v) + 31) / 64; };
  return 25 * level(GetR(c)) + 5 * level(GetG(c)) + level(GetB(c));
}

inline uint32_t NearestSpecial216(TRGB c) {
  auto level = [](uint32_t v) { return (v + 24) / 51; };
  return 36 * level(GetR(c)) + 6 * level(GetG(c)) + level(GetB(c));
}

uint32_t NearestSpecial252(TRGB c);

// Index of a gray value in one of the gray palettes (pBlackWhite, pSysGray4,
// pGray4, pGray16, pGray236, pGray256).
uint32_t NearestGrayIndex(TPaletteIdent kind, int g);

}  // namespace pgraphic
