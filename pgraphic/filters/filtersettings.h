// The settings of the filter dialogs and how they configure the filters: the
// table-filling rules, the ranges of the track bars and the values the main
// window keeps. One table of parameters (FilterDefs) describes every filter's
// bars and switch; the builders, the command line and the dialogs read it.
#pragma once

#include <array>
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

// ---- The table of parameters ---------------------------------------------------

// How a bar position reads as a value and as text.
enum class TParamScale : uint8_t {
  Percent,     // a signed shift: "+25%", "±0%", "-40%"
  Degrees,     // the hue shift: "+30°", "±0°", "-90°"
  Factor,      // contrast and gamma: the factor 5^(position / 100), "0.20" .. "5.00"
  Hundredths,  // standard deviation and radius: position / 100, "0.75"
  Strength,    // strength in percent: "50%"
};

// One track bar of a filter dialog.
struct TFilterParam {
  const char* Name;   // the command line's option, without "--": "brightness"
  const char* Alias;  // a second option name, or nullptr
  int Label;          // message-table entry of the bar's caption
  int Min, Max;       // range of bar positions
  int Default;        // position the main window keeps
  int Ticks;          // tick frequency
  TParamScale Scale;
};

// A dialog's check box (one caption) or pair of radio buttons (two captions).
struct TFilterSwitch {
  const char* Name;                  // the option, without "--"; nullptr: no switch
  bool Radio;                        // radio pair rather than check box
  int Group;                         // caption over a radio pair, 0 for none
  std::array<int, 2> Captions;       // message-table entries; check box: [0] only
  std::array<const char*, 2> Words;  // the option's values: off / on, first / second
  bool Default;                      // box checked, or second button chosen
};

struct TFilterDef {
  TFilterKind Kind;
  const char* Name;  // lower-case command name
  int Title;         // message-table entry of the dialog's title
  int BarCount;      // 0 .. 3
  std::array<TFilterParam, 3> Bars;
  TFilterSwitch Switch;
  bool Preview;  // point filters preview their result; convolution filters do not
};

// The thirteen filters in menu order: RGB, CMY, YCbCr, HLS, HSV, BCG, grayscale,
// negative, sharpen, detail, smooth, blur, contour.
const std::array<TFilterDef, 13>& FilterDefs();
const TFilterDef& FilterDef(TFilterKind kind);

// What a dialog holds: its bar positions and its switch.
struct TFilterValues {
  std::array<int, 3> Bars{};
  bool Switch = false;
};
TFilterValues DefaultValues(TFilterKind kind);

// The value label of a bar at a position, e.g. "+25%", "±0°", "0.20", "1.30", "50%".
std::string FormatValue(const TFilterParam& param, int position);
// The three scale texts under a bar (left, centre, right); signed bars name
// their middle, the others leave it empty.
std::array<std::string, 3> ScaleTexts(const TFilterParam& param);
// A value typed as text (an integer, or the real value of Factor and Hundredths
// bars) as a bar position; false when it is no number or outside the range.
bool ParseValue(const TFilterParam& param, const std::string& text, int& position);

// The filter a dialog with these values configures. Positions out of their
// range are limited to it. Convolution filters take their distribution shape
// and distance rule from conv (the dialogs publish them; the default for the
// others).
std::unique_ptr<TPGFilter> MakeFilter(TFilterKind kind, const TFilterValues& values);
std::unique_ptr<TConvFilter> MakeConvFilter(TFilterKind kind, const TFilterValues& values,
                                            TDistributionShape shape, bool useDistance);

// Configured filters. Bars out of their range are limited to it.
std::unique_ptr<TXXXFilter> MakeXXXFilter(TFilterKind kind, const TXXXSettings& settings);
std::unique_ptr<TBCGFilter> MakeBCGFilter(const TBCGSettings& settings);
std::unique_ptr<TGrayScaleFilter> MakeGrayScaleFilter(const TGrayScaleSettings& settings);
std::unique_ptr<TConvFilter> MakeConvFilter(TFilterKind kind, const TConvSettings& settings);

}  // namespace pgraphic
