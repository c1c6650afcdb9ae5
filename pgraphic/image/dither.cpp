// Writing colours into an image: error diffusion with a limited error, plain
// nearest-index mapping, and the row form that both take in bulk conversions.
#include <algorithm>
#include <cstring>

#include "pgraphic/image/palettes.h"

namespace pgraphic {

namespace {

inline int Clamp255(int v) {
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// An accumulated error (times 16) to the nearest whole error, halves away from
// zero, kept within the limit table.
inline int ErrorOf(int32_t e) {
  const int v = e >= 0 ? (e + 8) >> 4 : -((8 - e) >> 4);
  return v < -255 ? -255 : (v > 255 ? 255 : v);
}

// The error limit and knee chosen automatically for a palette kind.
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

// Colour-to-index maps used by the row kernels. Each replays NearestIndex exactly,
// including the one-entry memo, and keeps the last lookup so that the image's
// memo can be left as single-pixel writes would leave it.
struct TMemo {
  TRGB colour;
  TRGB result;
  bool valid;
};

template <class Rule>
struct TPureMap {
  Rule rule;
  TMemo& memo;
  uint32_t operator()(TRGB c) {
    const uint32_t r = rule(c);
    memo.colour = c;
    memo.result = r;
    memo.valid = true;
    return r;
  }
};

template <class Rule>
TPureMap<Rule> MakePure(Rule rule, TMemo& memo) {
  return TPureMap<Rule>{rule, memo};
}

// pUnknown: the colour cache, or the exact search when the cache is off.
struct TSearchMap {
  const TRGB* palette;
  int count;
  uint8_t* cache;  // null: exact search
  uint8_t* filled;
  TMemo& memo;

  uint32_t Exact(TRGB c) const {
    int best = 0, bestDistance = 1 << 30;
    for (int i = 0; i < count; ++i) {
      const int d = ColorDistance(c, palette[i]);
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    return static_cast<uint32_t>(best);
  }
  uint32_t operator()(TRGB c) {
    if (memo.valid && c == memo.colour) return memo.result;
    uint32_t r;
    if (cache) {
      const int cell = ColorCacheCell(c);
      const uint8_t mask = static_cast<uint8_t>(1u << (cell & 7));
      if (filled[cell >> 3] & mask) {
        r = cache[cell];
      } else {
        r = Exact(c);
        cache[cell] = static_cast<uint8_t>(r);
        filled[cell >> 3] |= mask;
      }
    } else {
      r = Exact(c);
    }
    memo.colour = c;
    memo.result = r;
    memo.valid = true;
    return r;
  }
};

inline TRGB ColourAt(const uint8_t* bgr, int i) {
  return RGB(bgr[3 * i + 2], bgr[3 * i + 1], bgr[3 * i]);
}

// Plain nearest-index mapping of a row in traversal order.
template <class Map>
void MapRow(uint8_t* out, const uint8_t* bgr, int n, bool reverse, Map& map) {
  if (reverse) {
    for (int i = n - 1; i >= 0; --i) out[i] = static_cast<uint8_t>(map(ColourAt(bgr, i)));
  } else {
    for (int i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(map(ColourAt(bgr, i)));
  }
}

struct TDitherRows {
  int32_t* current;  // at pixel x: current + 3 * (x + 1)
  int32_t* next;
  const int32_t* limit;  // centred: limit[e] for e in -255..255
};

// Error diffusion into a colour palette: every channel carries its own error.
template <class Map>
void DitherColourRow(uint8_t* out, const uint8_t* bgr, int x0, int n, bool reverse,
                     const TDitherRows& rows, const TRGB* entries, Map& map) {
  const int step = reverse ? -1 : 1;
  const int ahead = 3 * step;
  int i = reverse ? n - 1 : 0;
  int32_t* cur = rows.current + 3 * (x0 + i + 1);
  int32_t* nxt = rows.next + 3 * (x0 + i + 1);
  const int32_t* T = rows.limit;
  for (int k = 0; k < n; ++k, i += step, cur += ahead, nxt += ahead) {
    const uint8_t* p = bgr + 3 * i;
    const int r = Clamp255(p[2] + T[ErrorOf(cur[0])]);
    const int g = Clamp255(p[1] + T[ErrorOf(cur[1])]);
    const int b = Clamp255(p[0] + T[ErrorOf(cur[2])]);
    const uint32_t index = map(RGB(r, g, b));
    out[i] = static_cast<uint8_t>(index);
    const TRGB e = entries[index & 255];
    const int dr = r - static_cast<int>(GetR(e));
    const int dg = g - static_cast<int>(GetG(e));
    const int db = b - static_cast<int>(GetB(e));
    cur[ahead] += 7 * dr;
    cur[ahead + 1] += 7 * dg;
    cur[ahead + 2] += 7 * db;
    nxt[-ahead] += 3 * dr;
    nxt[-ahead + 1] += 3 * dg;
    nxt[-ahead + 2] += 3 * db;
    nxt[0] += 5 * dr;
    nxt[1] += 5 * dg;
    nxt[2] += 5 * db;
    nxt[ahead] += dr;
    nxt[ahead + 1] += dg;
    nxt[ahead + 2] += db;
  }
}

// Error diffusion into a gray palette: the gray value carries one error, kept in
// the green channel. lookup(v) gives the index of gray v.
template <class Lookup>
void DitherGrayRow(uint8_t* out, const uint8_t* bgr, int x0, int n, bool reverse,
                   const TDitherRows& rows, const TRGB* entries, bool weighting, Lookup& lookup) {
  const int step = reverse ? -1 : 1;
  const int ahead = 3 * step;
  int i = reverse ? n - 1 : 0;
  int32_t* cur = rows.current + 3 * (x0 + i + 1) + 1;
  int32_t* nxt = rows.next + 3 * (x0 + i + 1) + 1;
  const int32_t* T = rows.limit;
  for (int k = 0; k < n; ++k, i += step, cur += ahead, nxt += ahead) {
    const uint8_t* p = bgr + 3 * i;
    const int gray =
        weighting ? (897 * p[2] + 1761 * p[1] + 342 * p[0]) / 3000 : (p[2] + p[1] + p[0]) / 3;
    const int v = Clamp255(gray + T[ErrorOf(cur[0])]);
    const uint32_t index = lookup(v);
    out[i] = static_cast<uint8_t>(index);
    const int d = v - static_cast<int>(GetG(entries[index & 255]));
    cur[ahead] += 7 * d;
    nxt[-ahead] += 3 * d;
    nxt[0] += 5 * d;
    nxt[ahead] += d;
  }
}

}  // namespace

bool TPixelGraphic::PrepareDither() {
  isGray_ = pixelFormat_ != pf24Bit;
  for (TRGB c : palette_) {
    if (GetR(c) != GetG(c) || GetG(c) != GetB(c)) isGray_ = false;
  }
  bool soft;
  int limit;
  if (ditherErrorLimitAuto_) {
    AutoLimit(paletteIdent_, soft, limit);
  } else {
    soft = ditherErrorLimitSoft_;
    limit = ditherErrorLimit_;
  }
  int32_t t[256];
  for (int i = 0; i < 256; ++i) t[i] = i;
  if (limit != 255) {
    for (int i = limit; i < 256; ++i) t[i] = limit;
  }
  if (soft) {
    for (int i = limit / 2; i <= (3 * limit) / 2 && i < 255; ++i) t[i] = i / 2 + limit / 4;
  }
  ditherLimit_.assign(511, 0);
  for (int i = 0; i < 256; ++i) {
    ditherLimit_[255 + i] = t[i];
    ditherLimit_[255 - i] = -t[i];
  }
  const size_t rowSize = 3 * (static_cast<size_t>(std::max(width_, 0)) + 2);
  ditherCurrent_.assign(rowSize, 0);
  ditherNext_.assign(rowSize, 0);
  return pixelFormat_ != pf24Bit && dither_;
}

void TPixelGraphic::ReleaseDither() {
  std::vector<int32_t>().swap(ditherCurrent_);
  std::vector<int32_t>().swap(ditherNext_);
  std::vector<int32_t>().swap(ditherLimit_);
}

void TPixelGraphic::DitherNextRow() {
  if (ditherCurrent_.size() != 3 * (static_cast<size_t>(std::max(width_, 0)) + 2)) {
    PrepareDither();
    return;
  }
  std::swap(ditherCurrent_, ditherNext_);
  std::fill(ditherNext_.begin(), ditherNext_.end(), 0);
}

void TPixelGraphic::DitherPixel(int x, int y, int red, int green, int blue) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || !bits_) {
    if (checkRange_) RaiseOutOfRange();
    return;
  }
  if (ditherCurrent_.size() != 3 * (static_cast<size_t>(width_) + 2)) PrepareDither();
  red = Clamp255(red);
  green = Clamp255(green);
  blue = Clamp255(blue);
  int32_t* cur = ditherCurrent_.data() + 3 * (x + 1);
  int32_t* nxt = ditherNext_.data() + 3 * (x + 1);
  const int32_t* T = ditherLimit_.data() + 255;
  const int ahead = (y & 1) ? -3 : 3;
  if (isGray_) {
    const int v = Clamp255(Gray(RGB(red, green, blue), rgbWeighting_) / 3 + T[ErrorOf(cur[1])]);
    const TRGB index = NearestIndex(RGB(v, v, v));
    SetPixel(x, y, index);
    const int d = v - static_cast<int>(GetG(EntryColor(index)));
    cur[ahead + 1] += 7 * d;
    nxt[-ahead + 1] += 3 * d;
    nxt[1] += 5 * d;
    nxt[ahead + 1] += d;
    return;
  }
  int v[3];
  v[0] = Clamp255(red + T[ErrorOf(cur[0])]);
  v[1] = Clamp255(green + T[ErrorOf(cur[1])]);
  v[2] = Clamp255(blue + T[ErrorOf(cur[2])]);
  const TRGB index = NearestIndex(RGB(v[0], v[1], v[2]));
  SetPixel(x, y, index);
  const TRGB e = EntryColor(index);
  const int entry[3] = {static_cast<int>(GetR(e)), static_cast<int>(GetG(e)),
                        static_cast<int>(GetB(e))};
  for (int k = 0; k < 3; ++k) {
    const int d = v[k] - entry[k];
    cur[ahead + k] += 7 * d;
    nxt[-ahead + k] += 3 * d;
    nxt[k] += 5 * d;
    nxt[ahead + k] += d;
  }
}

void TPixelGraphic::WriteColor(int x, int y, int red, int green, int blue, bool dithering) {
  if (pixelFormat_ == pf24Bit) {
    SetPixel(x, y, RGB(Clamp255(red), Clamp255(green), Clamp255(blue)));
  } else if (dithering) {
    DitherPixel(x, y, red, green, blue);
  } else {
    SetPixelColor(x, y, RGB(Clamp255(red), Clamp255(green), Clamp255(blue)));
  }
}

void TPixelGraphic::WriteColorRow(int y, int x0, int n, const uint8_t* bgr, bool dithering) {
  if (n <= 0) return;
  // Clip to the image as single-pixel writes would (or refuse with CheckRange).
  if (y < 0 || y >= height_ || !bits_) {
    if (checkRange_) RaiseOutOfRange();
    return;
  }
  if (x0 < 0 || static_cast<int64_t>(x0) + n > width_) {
    if (checkRange_) RaiseOutOfRange();
    if (x0 < 0) {
      if (static_cast<int64_t>(n) + x0 <= 0) return;
      bgr += 3 * static_cast<size_t>(-static_cast<int64_t>(x0));
      n += x0;
      x0 = 0;
    }
    if (x0 >= width_) return;
    n = std::min(n, width_ - x0);
  }
  uint8_t* row = ScanLine(y);
  if (pixelFormat_ == pf24Bit) {
    std::memcpy(row + 3 * static_cast<size_t>(x0), bgr, 3 * static_cast<size_t>(n));
    return;
  }
  const bool reverse = (y & 1) != 0;
  const bool isFixed = paletteIdent_ >= pBlackWhite && paletteIdent_ <= pSpecial252 &&
                       paletteCount_ == FixedPaletteSize(paletteIdent_);
  const bool isSearch = (paletteIdent_ == pUnknown || paletteIdent_ == pOptimized252Sys16 ||
                         paletteIdent_ == pSource) &&
                        paletteCount_ >= 1 && paletteCount_ <= 256;
  const bool useCache = isSearch && useColorCache_;
  // A memo left behind by a different palette state answers its colour with an
  // old result; single-pixel writes honour that, so such rows take that path.
  bool memoConsistent = lastInvalid_;
  if (!memoConsistent && isFixed) memoConsistent = FixedNearest(lastColor_) == lastResult_;
  if (!memoConsistent && isSearch && !useCache) {
    memoConsistent = ExactNearest(lastColor_) == lastResult_;
  }
  if ((!isFixed && !isSearch) || (!useCache && !memoConsistent)) {
    if (dithering && ditherCurrent_.size() != 3 * (static_cast<size_t>(width_) + 2)) {
      PrepareDither();
    }
    for (int k = 0; k < n; ++k) {
      const int i = reverse ? n - 1 - k : k;
      const uint8_t* p = bgr + 3 * i;
      if (dithering)
        DitherPixel(x0 + i, y, p[2], p[1], p[0]);
      else
        SetPixelColor(x0 + i, y, RGB(p[2], p[1], p[0]));
    }
    return;
  }

  if (useCache && colorCacheRebuild_) BuildColorCache();
  TRGB entries[256];
  for (int i = 0; i < 256; ++i) entries[i] = EntryColor(static_cast<TRGB>(i));
  TMemo memo{lastColor_, lastResult_, !lastInvalid_};
  std::vector<uint8_t> buffer;
  uint8_t* out;
  if (pixelFormat_ == pf8Bit) {
    out = row + x0;
  } else {
    buffer.resize(static_cast<size_t>(n));
    out = buffer.data();
  }
  TSearchMap search{palette_.data(), paletteCount_, useCache ? colorCache_.data() : nullptr,
                    useCache ? colorCacheFilled_.data() : nullptr, memo};
  const TPaletteIdent kind = paletteIdent_;
  const bool weighting = rgbWeighting_;
  const bool grayKind = isFixed && kind != pSys16 && kind != pSpecial125 && kind != pSpecial216 &&
                        kind != pSpecial252;

  if (dithering) {
    if (ditherCurrent_.size() != 3 * (static_cast<size_t>(width_) + 2)) PrepareDither();
    const TDitherRows rows{ditherCurrent_.data(), ditherNext_.data(), ditherLimit_.data() + 255};
    if (isGray_) {
      if (isSearch) {
        auto lookup = [&](int v) { return search(RGB(v, v, v)); };
        DitherGrayRow(out, bgr, x0, n, reverse, rows, entries, weighting, lookup);
      } else {
        // Every gray v maps the same way each time: tabulate the 256 answers.
        uint8_t table[256];
        bool exact = true;  // every gray has an entry of its own: no error ever arises
        for (int v = 0; v < 256; ++v) {
          table[v] = static_cast<uint8_t>(FixedNearest(RGB(v, v, v)));
          if (static_cast<int>(GetG(entries[table[v]])) != v) exact = false;
        }
        if (exact) {
          const int32_t* e = rows.current + 3 * (x0 + 1) + 1;
          for (int i = 0; i < n && exact; ++i) exact = e[3 * i] == 0;
        }
        if (exact) {
          // No accumulated error here and none to pass on: each pixel is the entry
          // of its own gray value.
          if (weighting) {
            for (int i = 0; i < n; ++i) {
              const uint8_t* p = bgr + 3 * i;
              out[i] = table[(897 * p[2] + 1761 * p[1] + 342 * p[0]) / 3000];
            }
          } else {
            for (int i = 0; i < n; ++i) {
              const uint8_t* p = bgr + 3 * i;
              out[i] = table[(p[2] + p[1] + p[0]) / 3];
            }
          }
          const uint8_t* p = bgr + 3 * (reverse ? 0 : n - 1);
          const int v =
              weighting ? (897 * p[2] + 1761 * p[1] + 342 * p[0]) / 3000 : (p[2] + p[1] + p[0]) / 3;
          lastColor_ = RGB(v, v, v);
          lastResult_ = table[v];
          lastInvalid_ = false;
          if (pixelFormat_ != pf8Bit) PackIndices(row, pixelFormat_, x0, n, out);
          return;
        }
        int last = -1;
        auto lookup = [&](int v) {
          last = v;
          return static_cast<uint32_t>(table[v]);
        };
        DitherGrayRow(out, bgr, x0, n, reverse, rows, entries, weighting, lookup);
        memo = TMemo{RGB(last, last, last), table[last], true};
      }
    } else {
      switch (kind) {
        case pSys16: {
          auto map = MakePure([](TRGB c) { return NearestSys16(c); }, memo);
          DitherColourRow(out, bgr, x0, n, reverse, rows, entries, map);
          break;
        }
        case pSpecial125: {
          auto map = MakePure([](TRGB c) { return NearestSpecial125(c); }, memo);
          DitherColourRow(out, bgr, x0, n, reverse, rows, entries, map);
          break;
        }
        case pSpecial216: {
          auto map = MakePure([](TRGB c) { return NearestSpecial216(c); }, memo);
          DitherColourRow(out, bgr, x0, n, reverse, rows, entries, map);
          break;
        }
        default:
          if (isSearch) {
            DitherColourRow(out, bgr, x0, n, reverse, rows, entries, search);
          } else {
            auto map = MakePure([this](TRGB c) { return FixedNearest(c); }, memo);
            DitherColourRow(out, bgr, x0, n, reverse, rows, entries, map);
          }
      }
    }
  } else if (isSearch) {
    MapRow(out, bgr, n, reverse, search);
  } else if (grayKind) {
    uint8_t table[766];
    for (int g = 0; g < 766; ++g) table[g] = static_cast<uint8_t>(NearestGrayIndex(kind, g));
    auto map =
        MakePure([&](TRGB c) { return static_cast<uint32_t>(table[Gray(c, weighting)]); }, memo);
    MapRow(out, bgr, n, reverse, map);
  } else if (kind == pSys16) {
    auto map = MakePure([](TRGB c) { return NearestSys16(c); }, memo);
    MapRow(out, bgr, n, reverse, map);
  } else {
    auto map = MakePure([this](TRGB c) { return FixedNearest(c); }, memo);
    MapRow(out, bgr, n, reverse, map);
  }
  lastColor_ = memo.colour;
  lastResult_ = memo.result;
  lastInvalid_ = !memo.valid;
  if (pixelFormat_ != pf8Bit) PackIndices(row, pixelFormat_, x0, n, out);
}

}  // namespace pgraphic
