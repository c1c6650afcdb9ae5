#include "pgraphic/filters/filtersettings.h"

#include <algorithm>
#include <cmath>

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

struct TKindInfo {
  TFilterKind kind;
  const char* name;
  int title;  // message table entry
};

constexpr TKindInfo kKinds[] = {
    {TFilterKind::RGB, "rgb", 44},
    {TFilterKind::CMY, "cmy", 48},
    {TFilterKind::YCbCr, "ycbcr", 52},
    {TFilterKind::HLS, "hls", 56},
    {TFilterKind::HSV, "hsv", 60},
    {TFilterKind::BCG, "bcg", 69},
    {TFilterKind::GrayScale, "grayscale", 70},
    {TFilterKind::Negative, "negative", 62},
    {TFilterKind::Sharpen, "sharpen", 74},
    {TFilterKind::Detail, "detail", 75},
    {TFilterKind::Smooth, "smooth", 76},
    {TFilterKind::Blur, "blur", 78},
    {TFilterKind::Contour, "contour", 79},
};

const TKindInfo& Info(TFilterKind kind) {
  for (const TKindInfo& k : kKinds)
    if (k.kind == kind) return k;
  return kKinds[0];
}

}  // namespace

bool FilterKindFromName(const std::string& name, TFilterKind& kind) {
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const TKindInfo& k : kKinds) {
    if (lower == k.name) {
      kind = k.kind;
      return true;
    }
  }
  return false;
}

const char* FilterKindName(TFilterKind kind) {
  return Info(kind).name;
}

std::string FilterTitle(TFilterKind kind) {
  return LangStr(Info(kind).title);
}

bool IsConvolution(TFilterKind kind) {
  return kind == TFilterKind::Sharpen || kind == TFilterKind::Detail ||
         kind == TFilterKind::Smooth || kind == TFilterKind::Blur || kind == TFilterKind::Contour;
}

TConvSettings DefaultConvSettings(TFilterKind kind) {
  TConvSettings s;
  switch (kind) {
    case TFilterKind::Detail:
      s.Percent = 75;
      break;
    case TFilterKind::Smooth:
      s.StdDeviation = 1.3L;
      s.Percent = 100;
      break;
    case TFilterKind::Blur:
      s.Percent = 100;
      break;
    case TFilterKind::Contour:
      s.StdDeviation = 1;
      s.Percent = 100;
      s.DistributionShape = dsRect;
      break;
    default:
      break;
  }
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
  if (kind == TFilterKind::HLS || kind == TFilterKind::HSV) {
    FillHueTable(f->T1, NormalizeHue(settings.Bar1));
  } else {
    FillShiftTable(f->T1, std::clamp(settings.Bar1, -100, 100));
  }
  FillShiftTable(f->T2, std::clamp(settings.Bar2, -100, 100));
  FillShiftTable(f->T3, std::clamp(settings.Bar3, -100, 100));
  return f;
}

std::unique_ptr<TBCGFilter> MakeBCGFilter(const TBCGSettings& settings) {
  auto f = std::make_unique<TBCGFilter>();
  f->Brightness = std::clamp(settings.Brightness, -100, 100);
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
  const bool contour = kind == TFilterKind::Contour;
  const int percent = std::clamp(settings.Percent, contour ? 100 : 10, contour ? 1000 : 100);
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

}  // namespace pgraphic
