// The settings of the filter dialogs and how they configure the filters: the
// table-filling rules, the ranges of the track bars and the values the main
// window keeps. The dialogs and the command line call these.
#pragma once

#include <memory>
#include <string>

#include "pgraphic/filters/convfilter.h"
#include "pgraphic/filters/pointfilters.h"

namespace pgraphic {

// Tk[i] = clamp(i + (s * 255) div 100), s in -100 .. 100.
void FillShiftTable(TFilterTable& table, int s);
// T1[i] = i + (hue * 256) div 360, brought into 0 .. 255.
void FillHueTable(TFilterTable& table, int hue);
// A hue brought into -180 .. 180 by adding or subtracting 360.
int NormalizeHue(int hue);
// Contrast and gamma: the factor 5^(slider / 100) of a slider -100 .. 100, and the
// slider of a factor (limited to 0.2 .. 5): Round(100 * ln(factor) / ln 5).
long double SliderToFactor(int slider);
int FactorToSlider(long double factor);
// Standard deviation and radius bars hold the value times 100.
int StdDeviationToBar(long double sigma);  // limited to 0.4 .. 1.3
int RadiusToBar(long double radius);       // limited to 0.5 .. 5

// ---- The settings of each dialog, with the values the main window keeps ------

struct TXXXSettings {  // RGB, CMY, YCbCr: bars 1..3; HLS, HSV: hue, bar 2, bar 3
  int Bar1 = 0, Bar2 = 0, Bar3 = 0;
};

struct TBCGSettings {
  int Brightness = 0;        // -100 .. 100
  long double Contrast = 1;  // factor 0.2 .. 5
  long double Gamma = 1;     // factor 0.2 .. 5
  bool UseY = false;
};

struct TGrayScaleSettings {
  bool RGBWeighting = true;
};

struct TConvSettings {
  long double StdDeviation = 0.75;  // Sharpen, Detail, Smooth, Contour
  long double Radius = 2.5;         // Blur
  int Percent = 50;                 // strength
  TDistributionShape DistributionShape = dsGaussian;
  bool UseDistance = true;
  bool BlackBk = false;  // Contour
};

// What a named filter is, its dialog title and its default settings.
enum class TFilterKind : uint8_t {
  RGB,
  CMY,
  YCbCr,
  HLS,
  HSV,
  BCG,
  GrayScale,
  Negative,
  Sharpen,
  Detail,
  Smooth,
  Blur,
  Contour
};

// Lower-case command names: "rgb", "cmy", "ycbcr", "hls", "hsv", "bcg",
// "grayscale", "negative", "sharpen", "detail", "smooth", "blur", "contour".
bool FilterKindFromName(const std::string& name, TFilterKind& kind);
const char* FilterKindName(TFilterKind kind);
// The dialog's title from the message table, e.g. "HLS Filter" or "Sharpen".
std::string FilterTitle(TFilterKind kind);
bool IsConvolution(TFilterKind kind);
// The convolution settings the main window keeps for each command.
TConvSettings DefaultConvSettings(TFilterKind kind);

// Configured filters. Bars out of their range are limited to it.
std::unique_ptr<TXXXFilter> MakeXXXFilter(TFilterKind kind, const TXXXSettings& settings);
std::unique_ptr<TBCGFilter> MakeBCGFilter(const TBCGSettings& settings);
std::unique_ptr<TGrayScaleFilter> MakeGrayScaleFilter(const TGrayScaleSettings& settings);
std::unique_ptr<TConvFilter> MakeConvFilter(TFilterKind kind, const TConvSettings& settings);

}  // namespace pgraphic
