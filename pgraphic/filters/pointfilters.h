// The point colour filters: the new colour of a pixel depends only on the colour
// of the same source pixel. All of them may filter a palette in place.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pgraphic/filters/filter.h"

namespace pgraphic {

using TFilterTable = std::array<uint8_t, 256>;

// Common base of the point filters: FilterPixel is FilterColor of the source's
// colour, and a 24-bit row is filtered colour by colour through RowColor
// (expensive colour functions through a memo of recent colours; the results
// are the same).
class TPointFilter : public TPGFilter {
 public:
  void BeginFilter(const TPixelGraphic& source) override;
  TRGB FilterPixel(int x, int y) override;
  bool CanFilterPalette() const override { return true; }
  bool FilterRow(int y, uint8_t* bgr) override;

 protected:
  // True when FilterColor is costly enough to be worth remembering.
  virtual bool MemoizeColors() const { return false; }
  // The colour FilterColor gives, computed the fastest way the filter knows;
  // rows are filtered through it.
  virtual TRGB RowColor(TRGB colour) { return FilterColor(colour); }

 private:
  std::vector<uint64_t> memo_;
  int memoBits_ = 12;
  std::vector<TRGB> row_;
};

class TGrayScaleFilter : public TPointFilter {
 public:
  bool RGBWeighting = true;
  TRGB FilterColor(TRGB colour) override;
};

class TNegativeFilter : public TPointFilter {
 public:
  TRGB FilterColor(TRGB colour) override;
};

// Three lookup tables, identity when created.
class TXXXFilter : public TPointFilter {
 public:
  TXXXFilter();
  TFilterTable T1, T2, T3;
};

class TRGBFilter : public TXXXFilter {
 public:
  TRGB FilterColor(TRGB colour) override;
};

class TCMYFilter : public TXXXFilter {
 public:
  TRGB FilterColor(TRGB colour) override;
};

class TYCbCrFilter : public TXXXFilter {
 public:
  TRGB FilterColor(TRGB colour) override;

 protected:
  bool MemoizeColors() const override { return true; }
  TRGB RowColor(TRGB colour) override;
};

class THLSFilter : public TXXXFilter {
 public:
  TRGB FilterColor(TRGB colour) override;

 protected:
  bool MemoizeColors() const override { return true; }
  TRGB RowColor(TRGB colour) override;
};

class THSVFilter : public TXXXFilter {
 public:
  TRGB FilterColor(TRGB colour) override;

 protected:
  bool MemoizeColors() const override { return true; }
  TRGB RowColor(TRGB colour) override;
};

// Brightness, contrast and gamma through one table built by BeginFilter.
class TBCGFilter : public TPointFilter {
 public:
  int Brightness = 1;        // -100 .. 100
  long double Contrast = 1;  // factor
  long double Gamma = 1;     // exponent
  bool ApplyOnY = false;
  TFilterTable T{};

  void BeginFilter(const TPixelGraphic& source) override;
  TRGB FilterColor(TRGB colour) override;
  // Builds T from the current settings (BeginFilter does this).
  void BuildTable();

 protected:
  bool MemoizeColors() const override { return ApplyOnY; }
  TRGB RowColor(TRGB colour) override;
};

// ---- Colour spaces and table interpolation --------------------------------

// T at the real position v (0 .. 255), linearly between neighbouring entries.
long double InterpolateTable(const TFilterTable& t, long double v);

// Hue in degrees (0 <= H < 360) or undefined.
struct THue {
  long double Degrees = 0;
  bool Defined = false;
};

void RGBToHLS(long double r, long double g, long double b, THue& h, long double& l, long double& s);
// Raises EPGSaturationHue "Saturation=0 and Hue defined" for s = 0 with a hue.
void HLSToRGB(const THue& h, long double l, long double s, long double& r, long double& g,
              long double& b);
void RGBToHSV(long double r, long double g, long double b, THue& h, long double& s, long double& v);
void HSVToRGB(const THue& h, long double s, long double v, long double& r, long double& g,
              long double& b);

}  // namespace pgraphic
