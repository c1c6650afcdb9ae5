#include "pgraphic/filters/filtersettings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace pgraphic {

void FillShiftTable(TFilterTable& table, int s) {
  const int shift = (s * 255) / 100;
  for (int i = 0; i < 256; ++i)
    table[static_cast<size_t>(i)] = static_cast<uint8_t>(std::clamp(i + shift, 0, 255));
}

void FillHueTable(TFilterTable& table, int hue) {
  const int shift = (hue * 256) / 360;
  for (int i = 0; i < 256; ++i) {
    int v = i + shift;
    while (v < 0) v += 256;
    while (v > 255) v -= 256;
    table[static_cast<size_t>(i)] = static_cast<uint8_t>(v);
  }
}

int NormalizeHue(int hue) {
  while (hue < -180) hue += 360;
  while (hue > 180) hue -= 360;
  return hue;
}

long double SliderToFactor(int slider) {
  return std::pow(5.0L, slider / 100.0L);
}

int FactorToSlider(long double factor) {
  if (!(factor >= 0.2L)) factor = 0.2L;  // also for NaN
  factor = std::min(factor, 5.0L);
  return std::clamp(static_cast<int>(std::nearbyint(100 * std::log(factor) / std::log(5.0L))), -100,
                    100);
}

int StdDeviationToBar(long double sigma) {
  if (!(sigma >= 0.4L)) sigma = 0.4L;
  sigma = std::min(sigma, 1.3L);
  return static_cast<int>(std::nearbyint(sigma * 100));
}

int RadiusToBar(long double radius) {
  if (!(radius >= 0.5L)) radius = 0.5L;
  radius = std::min(radius, 5.0L);
  return static_cast<int>(std::nearbyint(radius * 100));
}

namespace {

using TScale = TParamScale;

constexpr TFilterSwitch kNoSwitch{nullptr, false, 0, {0, 0}, {nullptr, nullptr}, false};
constexpr TFilterParam kNoBar{nullptr, nullptr, 0, 0, 0, 0, 0, TScale::Percent};

constexpr TFilterParam Shift(const char* name, int label) {
  return {name, nullptr, label, -100, 100, 0, 10, TScale::Percent};
}
constexpr TFilterParam Hue(int ticks) {
  return {"h", nullptr, 57, -180, 180, 0, ticks, TScale::Degrees};
}
constexpr TFilterParam Deviation(int position) {
  return {"std-deviation", "sigma", 72, 40, 130, position, 10, TScale::Hundredths};
}
constexpr TFilterParam Strength(int position) {
  return {"strength", nullptr, 73, 10, 100, position, 10, TScale::Strength};
}
constexpr TFilterDef XXX(TFilterKind kind, const char* name, int title, TFilterParam a,
                         TFilterParam b, TFilterParam c) {
  return {kind, name, title, 3, {a, b, c}, kNoSwitch, true};
}
constexpr TFilterDef Conv(TFilterKind kind, const char* name, int title, TFilterParam a,
                          TFilterParam b, TFilterSwitch sw = kNoSwitch) {
  return {kind, name, title, 2, {a, b, kNoBar}, sw, false};
}

constexpr std::array<TFilterDef, 13> kDefs = {{
    XXX(TFilterKind::RGB, "rgb", 44, Shift("r", 45), Shift("g", 46), Shift("b", 47)),
    XXX(TFilterKind::CMY, "cmy", 48, Shift("c", 49), Shift("m", 50), Shift("y", 51)),
    XXX(TFilterKind::YCbCr, "ycbcr", 52, Shift("y", 53), Shift("cb", 54), Shift("cr", 55)),
    XXX(TFilterKind::HLS, "hls", 56, Hue(15), Shift("l", 58), Shift("s", 59)),
    XXX(TFilterKind::HSV, "hsv", 60, Hue(10), Shift("s", 59), Shift("v", 61)),
    {TFilterKind::BCG,
     "bcg",
     69,
     3,
     {Shift("brightness", 66),
      TFilterParam{"contrast", nullptr, 67, -100, 100, 0, 10, TScale::Factor},
      TFilterParam{"gamma", nullptr, 63, -100, 100, 0, 10, TScale::Factor}},
     {"apply-on", true, 68, {64, 65}, {"rgb", "y"}, false},
     true},
    {TFilterKind::GrayScale,
     "grayscale",
     70,
     0,
     {kNoBar, kNoBar, kNoBar},
     {"rgb-weighting", false, 0, {71, 0}, {"off", "on"}, true},
     true},
    {TFilterKind::Negative, "negative", 62, 0, {kNoBar, kNoBar, kNoBar}, kNoSwitch, true},
    Conv(TFilterKind::Sharpen, "sharpen", 74, Deviation(75), Strength(50)),
    Conv(TFilterKind::Detail, "detail", 75, Deviation(75), Strength(75)),
    Conv(TFilterKind::Smooth, "smooth", 76, Deviation(130), Strength(100)),
    Conv(TFilterKind::Blur, "blur", 78,
         TFilterParam{"radius", nullptr, 77, 50, 500, 250, 50, TScale::Hundredths}, Strength(100)),
    Conv(TFilterKind::Contour, "contour", 79, Deviation(100),
         TFilterParam{"strength", nullptr, 73, 100, 1000, 100, 100, TScale::Strength},
         {"background", true, 0, {80, 81}, {"white", "black"}, false}),
}};

// Text of a value held in hundredths, "0.75", without the locale's separator.
std::string Hundredths(long long v) {
  char text[32];
  const long long a = v < 0 ? -v : v;
  std::snprintf(text, sizeof text, "%s%lld.%02lld", v < 0 ? "-" : "", a / 100, a % 100);
  return text;
}

// A signed value with "+", "±" (from the message table) or "-" in front.
std::string Signed(int v, const std::string& unit) {
  std::string text = v > 0 ? std::string("+") : v == 0 ? LangStr(82) : std::string();
  text += std::to_string(v);
  text += unit;
  return text;
}

// A position limited to the bar's range.
int Limit(const TFilterParam& bar, int position) {
  return std::clamp(position, bar.Min, bar.Max);
}

}  // namespace

const std::array<TFilterDef, 13>& FilterDefs() {
  return kDefs;
}

const TFilterDef& FilterDef(TFilterKind kind) {
  for (const TFilterDef& d : kDefs)
    if (d.Kind == kind) return d;
  return kDefs[0];
}

TFilterValues DefaultValues(TFilterKind kind) {
  const TFilterDef& d = FilterDef(kind);
  TFilterValues v;
  for (int i = 0; i < d.BarCount; ++i)
    v.Bars[static_cast<size_t>(i)] = d.Bars[static_cast<size_t>(i)].Default;
  v.Switch = d.Switch.Default;
  return v;
}

std::string FormatValue(const TFilterParam& param, int position) {
  switch (param.Scale) {
    case TScale::Percent:
      return Signed(position, "%");
    case TScale::Degrees:
      return Signed(position, LangStr(83));
    case TScale::Factor:
      return Hundredths(std::llround(SliderToFactor(position) * 100));
    case TScale::Hundredths:
      return Hundredths(position);
    case TScale::Strength:
      break;
  }
  return std::to_string(position) + "%";
}

std::array<std::string, 3> ScaleTexts(const TFilterParam& param) {
  const bool signedBar = param.Min < 0;
  return {FormatValue(param, param.Min), signedBar ? FormatValue(param, 0) : std::string(),
          FormatValue(param, param.Max)};
}

bool ParseValue(const TFilterParam& param, const std::string& text, int& position) {
  if (text.empty()) return false;
  char* end = nullptr;
  if (param.Scale == TScale::Factor || param.Scale == TScale::Hundredths) {
    const long double v = std::strtold(text.c_str(), &end);
    if (*end != '\0') return false;
    // A little slack so that 1.3 typed as text is inside 0.40 .. 1.30.
    constexpr long double kSlack = 1e-9L;
    if (param.Scale == TScale::Factor) {
      if (!(v >= SliderToFactor(param.Min) - kSlack && v <= SliderToFactor(param.Max) + kSlack))
        return false;
      position = FactorToSlider(v);
    } else {
      if (!(v >= param.Min / 100.0L - kSlack && v <= param.Max / 100.0L + kSlack)) return false;
      position = std::clamp(static_cast<int>(std::nearbyint(v * 100)), param.Min, param.Max);
    }
    return true;
  }
  const long n = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || n < param.Min || n > param.Max) return false;
  position = static_cast<int>(n);
  return true;
}

bool FilterKindFromName(const std::string& name, TFilterKind& kind) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const TFilterDef& d : kDefs) {
    if (lower == d.Name) {
      kind = d.Kind;
      return true;
    }
  }
  return false;
}

const char* FilterKindName(TFilterKind kind) {
  return FilterDef(kind).Name;
}

std::string FilterTitle(TFilterKind kind) {
  return LangStr(FilterDef(kind).Title);
}

bool IsConvolution(TFilterKind kind) {
  return !FilterDef(kind).Preview;
}

TConvSettings DefaultConvSettings(TFilterKind kind) {
  const TFilterDef& d = FilterDef(kind);
  TConvSettings s;
  if (!IsConvolution(kind)) return s;
  if (kind == TFilterKind::Blur)
    s.Radius = d.Bars[0].Default / 100.0L;
  else
    s.StdDeviation = d.Bars[0].Default / 100.0L;
  s.Percent = d.Bars[1].Default;
  s.BlackBk = d.Switch.Default;
  // Contour outlines with a flat distribution; the others are bell-shaped.
  if (kind == TFilterKind::Contour) s.DistributionShape = dsRect;
  return s;
}

std::unique_ptr<TXXXFilter> MakeXXXFilter(TFilterKind kind, const TXXXSettings& settings) {
  std::unique_ptr<TXXXFilter> f;
  switch (kind) {
    case TFilterKind::CMY:
      f = std::make_unique<TCMYFilter>();
      break;
    case TFilterKind::YCbCr:
      f = std::make_unique<TYCbCrFilter>();
      break;
    case TFilterKind::HLS:
      f = std::make_unique<THLSFilter>();
      break;
    case TFilterKind::HSV:
      f = std::make_unique<THSVFilter>();
      break;
    default:
      f = std::make_unique<TRGBFilter>();
      break;
  }
  const TFilterDef& d = FilterDef(kind);
  if (d.Bars[0].Scale == TParamScale::Degrees) {
    FillHueTable(f->T1, NormalizeHue(settings.Bar1));
  } else {
    FillShiftTable(f->T1, Limit(d.Bars[0], settings.Bar1));
  }
  FillShiftTable(f->T2, Limit(d.Bars[1], settings.Bar2));
  FillShiftTable(f->T3, Limit(d.Bars[2], settings.Bar3));
  return f;
}

std::unique_ptr<TBCGFilter> MakeBCGFilter(const TBCGSettings& settings) {
  auto f = std::make_unique<TBCGFilter>();
  f->Brightness = Limit(FilterDef(TFilterKind::BCG).Bars[0], settings.Brightness);
  f->Contrast = SliderToFactor(FactorToSlider(settings.Contrast));
  f->Gamma = SliderToFactor(FactorToSlider(settings.Gamma));
  f->ApplyOnY = settings.UseY;
  f->BuildTable();
  return f;
}

std::unique_ptr<TGrayScaleFilter> MakeGrayScaleFilter(const TGrayScaleSettings& settings) {
  auto f = std::make_unique<TGrayScaleFilter>();
  f->RGBWeighting = settings.RGBWeighting;
  return f;
}

std::unique_ptr<TConvFilter> MakeConvFilter(TFilterKind kind, const TConvSettings& settings) {
  auto f = std::make_unique<TConvFilter>();
  const long double sigma = StdDeviationToBar(settings.StdDeviation) / 100.0L;
  const int percent = Limit(FilterDef(kind).Bars[1], settings.Percent);
  switch (kind) {
    case TFilterKind::Sharpen:
      f->BuildSharpen(percent, sigma, settings.DistributionShape, settings.UseDistance);
      break;
    case TFilterKind::Detail:
      f->BuildDetail(percent, sigma, settings.DistributionShape, settings.UseDistance);
      break;
    case TFilterKind::Smooth:
      f->BuildSmooth(percent, sigma, settings.DistributionShape, settings.UseDistance);
      break;
    case TFilterKind::Blur:
      f->BuildBlur(percent, RadiusToBar(settings.Radius) / 100.0L);
      break;
    case TFilterKind::Contour:
      f->BuildContour(percent, sigma, settings.BlackBk, settings.DistributionShape,
                      settings.UseDistance);
      break;
    default:
      break;
  }
  return f;
}

std::unique_ptr<TConvFilter> MakeConvFilter(TFilterKind kind, const TFilterValues& values,
                                            TDistributionShape shape, bool useDistance) {
  TConvSettings s = DefaultConvSettings(kind);
  s.StdDeviation = s.Radius = values.Bars[0] / 100.0L;
  s.Percent = values.Bars[1];
  s.BlackBk = values.Switch;
  s.DistributionShape = shape;
  s.UseDistance = useDistance;
  return MakeConvFilter(kind, s);
}

std::unique_ptr<TPGFilter> MakeFilter(TFilterKind kind, const TFilterValues& values) {
  const std::array<int, 3>& bars = values.Bars;
  switch (kind) {
    case TFilterKind::BCG: {
      const TFilterDef& d = FilterDef(kind);
      TBCGSettings s;
      s.Brightness = bars[0];
      s.Contrast = SliderToFactor(Limit(d.Bars[1], bars[1]));
      s.Gamma = SliderToFactor(Limit(d.Bars[2], bars[2]));
      s.UseY = values.Switch;
      return MakeBCGFilter(s);
    }
    case TFilterKind::GrayScale:
      return MakeGrayScaleFilter({values.Switch});
    case TFilterKind::Negative:
      return std::make_unique<TNegativeFilter>();
    default:
      break;
  }
  if (IsConvolution(kind))
    return MakeConvFilter(kind, values, DefaultConvSettings(kind).DistributionShape, true);
  return MakeXXXFilter(kind, {bars[0], bars[1], bars[2]});
}

}  // namespace pgraphic
