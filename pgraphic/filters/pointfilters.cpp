#include "pgraphic/filters/pointfilters.h"

#include <algorithm>
#include <cmath>

namespace pgraphic {

namespace {

constexpr long double kInv255 = 1.0L / 255.0L;

uint32_t Clamp255(long double v) {
  const long double r = std::nearbyint(v);
  if (r < 0) return 0;
  if (r > 255) return 255;
  return static_cast<uint32_t>(r);
}

void ReadColours(const TPixelGraphic& source, int y, std::vector<TRGB>& row) {
  const int w = source.Width();
  row.resize(static_cast<size_t>(w));
  if (source.PixelFormat() == pf24Bit) {
    const uint8_t* p = source.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) row[static_cast<size_t>(x)] = RGB(p[2], p[1], p[0]);
  } else {
    for (int x = 0; x < w; ++x) row[static_cast<size_t>(x)] = source.PixelColor(x, y);
  }
}

// Trunc of a v with |v| < 2^31. Converting long double to an integer directly
// switches the x87 rounding mode there and back, which stalls; through double the
// conversion is a plain SSE one. Rounding to double may land on the next integer
// away from zero, which the comparison takes back.
inline int Trunc(long double v) {
  int p = static_cast<int>(static_cast<double>(v));
  if (v >= 0) {
    if (p > v) --p;
  } else if (p < v) {
    ++p;
  }
  return p;
}

// The row colours (RowColor) of the filters below use the same arithmetic as
// their FilterColor, operation for operation in long double, so the results are
// identical; what differs is that nothing calls the maths library: rounding to
// the nearest integer there saves and restores the whole floating-point
// environment on every call, which cost more than the colour conversion itself.

// clamp(Round(v)) to 0 .. 255, ties to even. Adding and taking away 2^63 leaves
// the nearest integer of a v in 0 .. 255: at 2^63 the 64-bit significand of
// long double has no fraction bits left, so the addition rounds (to even).
inline uint32_t RoundClamp255(long double v) {
  if (!(v > 0)) return 0;
  if (v >= 255) return 255;
  constexpr long double kShift = 0x1p63L;
  const long double r = (v + kShift) - kShift;
  return static_cast<uint32_t>(static_cast<double>(r));
}

// InterpolateTable without library calls.
inline long double Interpolate(const TFilterTable& t, long double v) {
  const int p = std::clamp(Trunc(v), 0, 255);
  if (p > 254) return t[static_cast<size_t>(p)];
  const long double f = v - p;
  return (1 - f) * t[static_cast<size_t>(p)] + f * t[static_cast<size_t>(p + 1)];
}

inline TRGB Gray(long double v) {
  const uint32_t c = RoundClamp255(v * 255);
  return RGB(c, c, c);
}

// Hue through table T1: the table maps hue steps of 360/256 degrees; entries are
// taken on the shorter way round the colour circle.
long double MapHue(const TFilterTable& t1, long double hue) {
  long double h = (hue + 180) * 256 / 360;
  if (h >= 256) h -= 256;
  const int p = std::clamp(Trunc(h), 0, 255);
  const int a = t1[static_cast<size_t>(p)];
  int b = p > 254 ? t1[0] : t1[static_cast<size_t>(p + 1)];
  if (a - b >= 129) b += 256;
  if (a - b + 128 < 0) b -= 256;
  const long double f = h - p;
  const long double mapped = (1 - f) * a + f * b;
  long double result = mapped * 360 / 256 - 180;
  while (result < 0) result += 360;
  while (result >= 360) result -= 360;
  return result;
}

long double Power(long double x, long double y) {
  if (y == 0) return 1;
  if (x == 0) return 0;
  return std::exp(y * std::log(x));
}

void ToYCbCr(TRGB c, long double& y, long double& cb, long double& cr) {
  const long double r = GetR(c) * kInv255, g = GetG(c) * kInv255, b = GetB(c) * kInv255;
  y = 0.299L * r + 0.587L * g + 0.114L * b;
  cb = -0.169L * r - 0.331L * g + 0.5L * b;
  cr = 0.5L * r - 0.419L * g - 0.081L * b;
}

// round is Clamp255 or RoundClamp255; both give the same.
TRGB FromYCbCr(long double y, long double cb, long double cr,
               uint32_t (*round)(long double) = Clamp255) {
  const long double r = y + 1.403L * cr;
  const long double g = y - 0.344L * cb - 0.714L * cr;
  const long double b = y + 1.773L * cb;
  return RGB(round(r * 255), round(g * 255), round(b * 255));
}

// The sector rule shared by HLS and HSV; requires max > min.
long double HueOf(long double r, long double g, long double b, long double mx, long double mn) {
  const long double d = mx - mn;
  long double h;
  if (r == mx)
    h = (g - b) / d;
  else if (g == mx)
    h = 2 + (b - r) / d;
  else
    h = 4 + (r - g) / d;
  h *= 60;
  if (h < 0) h += 360;
  return h;
}

// One component of the HLS back conversion, for the hue x (any number of turns).
long double HLSValue(long double m1, long double m2, long double x) {
  while (x > 360) x -= 360;
  while (x < 0) x += 360;
  if (x < 60) return m1 + (m2 - m1) * x / 60;
  if (x < 180) return m2;
  if (x < 240) return m1 + (m2 - m1) * (240 - x) / 60;
  return m1;
}

// The six sectors of the HSV back conversion.
void HSVSector(int i, long double v, long double p, long double q, long double t, long double& r,
               long double& g, long double& b) {
  switch (i) {
    case 0:
      r = v;
      g = t;
      b = p;
      break;
    case 1:
      r = q;
      g = v;
      b = p;
      break;
    case 2:
      r = p;
      g = v;
      b = t;
      break;
    case 3:
      r = p;
      g = q;
      b = v;
      break;
    case 4:
      r = t;
      g = p;
      b = v;
      break;
    default:
      r = v;
      g = p;
      b = q;
      break;
  }
}

}  // namespace

// ---- Protocol of the point filters -----------------------------------------

void TPointFilter::BeginFilter(const TPixelGraphic& source) {
  TPGFilter::BeginFilter(source);
  memo_.clear();  // the tables may have changed since the last run
}

TRGB TPointFilter::FilterPixel(int x, int y) {
  return FilterColor(Source()->PixelColor(x, y));
}

bool TPointFilter::FilterRow(int y, uint8_t* bgr) {
  const TPixelGraphic* source = Source();
  if (!source) return false;
  std::vector<TRGB>& row = row_;
  ReadColours(*source, y, row);
  const bool memoize = MemoizeColors();
  if (memoize && memo_.empty()) {
    // A direct-mapped memo sized to the image: up to 2^20 entries (8 MB).
    const int64_t pixels = int64_t(source->Width()) * source->Height();
    int bits = 12;
    while (bits < 20 && (int64_t(1) << bits) < pixels / 4) ++bits;
    memoBits_ = bits;
    memo_.assign(size_t(1) << bits, ~uint64_t(0));
  }
  TRGB last = ~TRGB(0), lastOut = 0;
  for (size_t x = 0; x < row.size(); ++x) {
    const TRGB c = row[x] & 0xFFFFFF;
    TRGB out;
    if (c == last) {
      out = lastOut;  // runs of one colour are common in photographs
    } else if (memoize) {
      // Key in the high half, result in the low half.
      uint64_t& slot =
          memo_[(c ^ (c >> 11) ^ ((c >> 17) * 0x9E37u)) & ((size_t(1) << memoBits_) - 1)];
      if ((slot >> 32) == c) {
        out = static_cast<TRGB>(slot);
      } else {
        out = RowColor(c);
        slot = (uint64_t(c) << 32) | out;
      }
    } else {
      out = RowColor(c);
    }
    last = c;
    lastOut = out;
    bgr[3 * x] = static_cast<uint8_t>(GetB(out));
    bgr[3 * x + 1] = static_cast<uint8_t>(GetG(out));
    bgr[3 * x + 2] = static_cast<uint8_t>(GetR(out));
  }
  return true;
}

// ---- Filters -----------------------------------------------------------------

TRGB TGrayScaleFilter::FilterColor(TRGB c) {
  const int r = static_cast<int>(GetR(c)), g = static_cast<int>(GetG(c)),
            b = static_cast<int>(GetB(c));
  const int s = RGBWeighting ? (897 * r + 1761 * g + 342 * b) / 1000 : r + g + b;
  const uint32_t v = static_cast<uint32_t>(s / 3);
  return RGB(v, v, v);
}

TRGB TNegativeFilter::FilterColor(TRGB c) {
  return RGB(255 - GetR(c), 255 - GetG(c), 255 - GetB(c));
}

TXXXFilter::TXXXFilter() {
  for (int i = 0; i < 256; ++i) T1[i] = T2[i] = T3[i] = static_cast<uint8_t>(i);
}

TRGB TRGBFilter::FilterColor(TRGB c) {
  return RGB(T1[GetR(c)], T2[GetG(c)], T3[GetB(c)]);
}

TRGB TCMYFilter::FilterColor(TRGB c) {
  return RGB(255 - T1[255 - GetR(c)], 255 - T2[255 - GetG(c)], 255 - T3[255 - GetB(c)]);
}

TRGB TYCbCrFilter::FilterColor(TRGB c) {
  long double y, cb, cr;
  ToYCbCr(c, y, cb, cr);
  y = InterpolateTable(T1, y * 255) / 255;
  cb = InterpolateTable(T2, (cb + 0.5L) * 255) / 255 - 0.5L;
  cr = InterpolateTable(T3, (cr + 0.5L) * 255) / 255 - 0.5L;
  return FromYCbCr(y, cb, cr);
}

TRGB THLSFilter::FilterColor(TRGB c) {
  THue h;
  long double l, s;
  RGBToHLS(GetR(c) * kInv255, GetG(c) * kInv255, GetB(c) * kInv255, h, l, s);
  if (h.Defined) h.Degrees = MapHue(T1, h.Degrees);
  l = InterpolateTable(T2, l * 255) / 255;
  s = InterpolateTable(T3, s * 255) / 255;
  if (s == 0 || !h.Defined) {
    s = 0;
    h.Defined = false;
  }
  long double r, g, b;
  HLSToRGB(h, l, s, r, g, b);
  return RGB(Clamp255(r * 255), Clamp255(g * 255), Clamp255(b * 255));
}

TRGB THSVFilter::FilterColor(TRGB c) {
  THue h;
  long double s, v;
  RGBToHSV(GetR(c) * kInv255, GetG(c) * kInv255, GetB(c) * kInv255, h, s, v);
  if (h.Defined) h.Degrees = MapHue(T1, h.Degrees);
  s = InterpolateTable(T2, s * 255) / 255;
  v = InterpolateTable(T3, v * 255) / 255;
  if (s == 0 || !h.Defined) {
    s = 0;
    h.Defined = false;
  }
  long double r, g, b;
  HSVToRGB(h, s, v, r, g, b);
  return RGB(Clamp255(r * 255), Clamp255(g * 255), Clamp255(b * 255));
}

// ---- Row colours of HLS and HSV ----------------------------------------------

TRGB TYCbCrFilter::RowColor(TRGB c) {
  long double y, cb, cr;
  ToYCbCr(c, y, cb, cr);
  y = Interpolate(T1, y * 255) / 255;
  cb = Interpolate(T2, (cb + 0.5L) * 255) / 255 - 0.5L;
  cr = Interpolate(T3, (cr + 0.5L) * 255) / 255 - 0.5L;
  return FromYCbCr(y, cb, cr, RoundClamp255);
}

TRGB TBCGFilter::RowColor(TRGB c) {
  if (!ApplyOnY) return FilterColor(c);
  long double y, cb, cr;
  ToYCbCr(c, y, cb, cr);
  y = Interpolate(T, y * 255) / 255;
  return FromYCbCr(y, cb, cr, RoundClamp255);
}

TRGB THLSFilter::RowColor(TRGB c) {
  const int R = static_cast<int>(GetR(c)), G = static_cast<int>(GetG(c)),
            B = static_cast<int>(GetB(c));
  const int MX = std::max({R, G, B}), MN = std::min({R, G, B});
  const long double r = R * kInv255, g = G * kInv255, b = B * kInv255;
  const long double mx = MX * kInv255, mn = MN * kInv255;
  long double l = (mx + mn) / 2;
  long double s = 0, hue = 0;
  if (MX != MN) {
    s = l <= 0.5L ? (mx - mn) / (mx + mn) : (mx - mn) / (2 - mx - mn);
    hue = MapHue(T1, HueOf(r, g, b, mx, mn));
  }
  l = Interpolate(T2, l * 255) / 255;
  s = Interpolate(T3, s * 255) / 255;
  if (s == 0 || MX == MN) return Gray(l);
  const long double m2 = l <= 0.5L ? l * (1 + s) : l + s - l * s;
  const long double m1 = 2 * l - m2;
  return RGB(RoundClamp255(HLSValue(m1, m2, hue + 120) * 255),
             RoundClamp255(HLSValue(m1, m2, hue) * 255),
             RoundClamp255(HLSValue(m1, m2, hue - 120) * 255));
}

TRGB THSVFilter::RowColor(TRGB c) {
  const int R = static_cast<int>(GetR(c)), G = static_cast<int>(GetG(c)),
            B = static_cast<int>(GetB(c));
  const int MX = std::max({R, G, B}), MN = std::min({R, G, B});
  const long double mx = MX * kInv255, mn = MN * kInv255;
  long double v = mx;
  long double s = MX == 0 ? 0 : (mx - mn) / mx;
  long double hue = 0;
  if (MX != MN) hue = MapHue(T1, HueOf(R * kInv255, G * kInv255, B * kInv255, mx, mn));
  s = Interpolate(T2, s * 255) / 255;
  v = Interpolate(T3, v * 255) / 255;
  if (s == 0 || MX == MN) return Gray(v);
  const long double hh = hue / 60;
  const int i = std::clamp(Trunc(hh), 0, 5);
  const long double f = hh - i;
  const long double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  long double r, g, b;
  HSVSector(i, v, p, q, t, r, g, b);
  return RGB(RoundClamp255(r * 255), RoundClamp255(g * 255), RoundClamp255(b * 255));
}

void TBCGFilter::BuildTable() {
  for (int i = 0; i < 256; ++i) {
    long double v =
        (Power(i * kInv255, Gamma) * 255 - 127.5L) * Contrast + 127.5L + Brightness * 255 * 0.01L;
    v = std::clamp(v, -1.0L, 256.0L);
    T[static_cast<size_t>(i)] = static_cast<uint8_t>(Clamp255(v));
  }
}

void TBCGFilter::BeginFilter(const TPixelGraphic& source) {
  TPointFilter::BeginFilter(source);
  BuildTable();
}

TRGB TBCGFilter::FilterColor(TRGB c) {
  if (!ApplyOnY) return RGB(T[GetR(c)], T[GetG(c)], T[GetB(c)]);
  long double y, cb, cr;
  ToYCbCr(c, y, cb, cr);
  y = InterpolateTable(T, y * 255) / 255;
  return FromYCbCr(y, cb, cr);
}

// ---- Colour spaces -------------------------------------------------------------

long double InterpolateTable(const TFilterTable& t, long double v) {
  int p = static_cast<int>(std::trunc(v));
  p = std::clamp(p, 0, 255);
  if (p > 254) return t[static_cast<size_t>(p)];
  const long double f = v - p;
  return (1 - f) * t[static_cast<size_t>(p)] + f * t[static_cast<size_t>(p + 1)];
}

void RGBToHLS(long double r, long double g, long double b, THue& h, long double& l,
              long double& s) {
  const long double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  l = (mx + mn) / 2;
  if (mx == mn) {
    s = 0;
    h = THue{};
    return;
  }
  s = l <= 0.5L ? (mx - mn) / (mx + mn) : (mx - mn) / (2 - mx - mn);
  h.Degrees = HueOf(r, g, b, mx, mn);
  h.Defined = true;
}

void HLSToRGB(const THue& h, long double l, long double s, long double& r, long double& g,
              long double& b) {
  if (s == 0) {
    if (h.Defined) throw EPGSaturationHue(LangStr(40));
    r = g = b = l;
    return;
  }
  const long double m2 = l <= 0.5L ? l * (1 + s) : l + s - l * s;
  const long double m1 = 2 * l - m2;
  r = HLSValue(m1, m2, h.Degrees + 120);
  g = HLSValue(m1, m2, h.Degrees);
  b = HLSValue(m1, m2, h.Degrees - 120);
}

void RGBToHSV(long double r, long double g, long double b, THue& h, long double& s,
              long double& v) {
  const long double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  v = mx;
  s = mx == 0 ? 0 : (mx - mn) / mx;
  if (s == 0) {
    h = THue{};
    return;
  }
  h.Degrees = HueOf(r, g, b, mx, mn);
  h.Defined = true;
}

void HSVToRGB(const THue& h, long double s, long double v, long double& r, long double& g,
              long double& b) {
  if (s == 0) {
    if (h.Defined) throw EPGSaturationHue(LangStr(40));
    r = g = b = v;
    return;
  }
  long double hue = h.Degrees;
  while (hue >= 360) hue -= 360;
  while (hue < 0) hue += 360;
  const long double hh = hue / 60;
  const int i = std::clamp(static_cast<int>(std::trunc(hh)), 0, 5);
  const long double f = hh - i;
  const long double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  HSVSector(i, v, p, q, t, r, g, b);
}

}  // namespace pgraphic
