// Temporary minimal colour mapping so that the library links; replaced by the
// full palette, nearest-colour and dithering implementation.
#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {

void TPixelGraphic::FreeColorCache() { colorCacheRebuild_ = true; }

void TPixelGraphic::SetPaletteIdent(TPaletteIdent kind) {
  if (kind == paletteIdent_) return;
  if (kind == pNone || kind == pTrueColor) SetPaletteCount(0);
  if (kind == pGray256) {
    SetPaletteCount(256);
    for (int i = 0; i < 256; ++i) SetPaletteColor(i, RGB(i, i, i));
  }
  if (kind == pBlackWhite) {
    SetPaletteCount(2);
    SetPaletteColor(0, 0);
    SetPaletteColor(1, 0xFFFFFF);
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
  if (pixelFormat_ == pf24Bit && paletteCount_ == 0) paletteIdent_ = pTrueColor;
  else paletteIdent_ = paletteCount_ > 0 ? pUnknown : pNone;
}

TRGB TPixelGraphic::NearestIndex(TRGB colour) {
  if (paletteIdent_ == pNone) throw EPGNoPalette(LangStr(2));
  if (paletteIdent_ == pTrueColor) return colour;
  return ExactNearest(colour);
}

uint8_t TPixelGraphic::ExactNearest(TRGB c) const {
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < paletteCount_; ++i) {
    long dr = long(GetR(c)) - long(GetR(palette_[i]));
    long dg = long(GetG(c)) - long(GetG(palette_[i]));
    long db = long(GetB(c)) - long(GetB(palette_[i]));
    long d = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return static_cast<uint8_t>(best);
}

}  // namespace pgraphic
