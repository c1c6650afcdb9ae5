// Point colour filters, the convolution filter and the filter protocol.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pgraphic/filters/convfilter.h"
#include "pgraphic/filters/filter.h"
#include "pgraphic/filters/filtersettings.h"
#include "pgraphic/filters/pointfilters.h"
#include "support/random_image.h"

namespace pgraphic {
namespace {

std::unique_ptr<TPixelGraphic> Noise(int w, int h, unsigned seed) {
  return test_support::RandomImage(w, h, seed);
}

std::unique_ptr<TPixelGraphic> Flat(int w, int h, TRGB c) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, pf24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) g->SetPixel(x, y, c);
  return g;
}

int MaxDifference(TRGB a, TRGB b) {
  int d = 0;
  for (int shift : {0, 8, 16})
    d = std::max(d, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
  return d;
}

// Colours worth checking: every gray, the primaries and a random sample.
std::vector<TRGB> SampleColours() {
  std::vector<TRGB> colours;
  for (uint32_t v = 0; v < 256; ++v) colours.push_back(RGB(v, v, v));
  for (TRGB c : {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 0), RGB(1, 0, 0)})
    colours.push_back(c);
  std::mt19937 rng(99);
  for (int i = 0; i < 20000; ++i) colours.push_back(rng() & 0xFFFFFF);
  return colours;
}

TEST(PointFilters, IdentityAtInitialSettings) {
  const auto colours = SampleColours();
  for (TFilterKind kind : {TFilterKind::RGB, TFilterKind::CMY, TFilterKind::YCbCr, TFilterKind::HLS,
                           TFilterKind::HSV}) {
    auto f = MakeXXXFilter(kind, {});
    const int tolerance = kind == TFilterKind::RGB || kind == TFilterKind::CMY ? 0 : 1;
    int worst = 0;
    for (TRGB c : colours) worst = std::max(worst, MaxDifference(f->FilterColor(c), c));
    EXPECT_LE(worst, tolerance) << FilterKindName(kind);
  }
  for (bool y : {false, true}) {
    TBCGSettings s;
    s.UseY = y;
    auto f = MakeBCGFilter(s);
    int worst = 0;
    for (TRGB c : colours) worst = std::max(worst, MaxDifference(f->FilterColor(c), c));
    EXPECT_LE(worst, y ? 1 : 0);
  }
}

TEST(PointFilters, GrayScaleAndNegativeValues) {
  TGrayScaleFilter gray;
  EXPECT_EQ(gray.FilterColor(RGB(255, 0, 0)), RGB(76, 76, 76));
  EXPECT_EQ(gray.FilterColor(RGB(0, 255, 0)), RGB(149, 149, 149));
  EXPECT_EQ(gray.FilterColor(RGB(0, 0, 255)), RGB(29, 29, 29));
  EXPECT_EQ(gray.FilterColor(RGB(255, 255, 255)), RGB(255, 255, 255));
  gray.RGBWeighting = false;
  for (TRGB c : {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)})
    EXPECT_EQ(gray.FilterColor(c), RGB(85, 85, 85));
  EXPECT_EQ(gray.FilterColor(RGB(255, 255, 255)), RGB(255, 255, 255));

  auto image = Noise(23, 11, 4);
  TPixelGraphic original;
  original.Assign(*image);
  TNegativeFilter negative;
  ApplyFilter(*image, negative, *image);
  EXPECT_EQ(image->PixelColor(5, 5), RGB(255, 255, 255) - original.PixelColor(5, 5));
  ApplyFilter(*image, negative, *image);
  EXPECT_EQ(std::vector<uint8_t>(image->Bits(), image->Bits() + image->ImageSize()),
            std::vector<uint8_t>(original.Bits(), original.Bits() + original.ImageSize()));
}

TEST(PointFilters, TableRulesOfTheSettings) {
  TFilterTable t;
  FillShiftTable(t, 50);
  EXPECT_EQ(t[0], 127);
  EXPECT_EQ(t[200], 255);
  FillShiftTable(t, -1);  // (-255) div 100 truncates to -2
  EXPECT_EQ(t[10], 8);
  EXPECT_EQ(t[1], 0);
  TFilterTable plus, minus;
  FillHueTable(plus, 180);
  FillHueTable(minus, -180);
  EXPECT_EQ(plus, minus);
  EXPECT_EQ(plus[0], 128);
  EXPECT_EQ(plus[200], 72);
  EXPECT_EQ(NormalizeHue(270), -90);
  EXPECT_EQ(NormalizeHue(-200), 160);
  EXPECT_EQ(FactorToSlider(1), 0);
  EXPECT_EQ(FactorToSlider(5), 100);
  EXPECT_EQ(FactorToSlider(0.01L), -100);
  EXPECT_EQ(FactorToSlider(2), 43);  // 100 ln 2 / ln 5 = 43.07
  EXPECT_NEAR(static_cast<double>(SliderToFactor(-100)), 0.2, 1e-12);
  EXPECT_EQ(StdDeviationToBar(2), 130);
  EXPECT_EQ(RadiusToBar(0.1L), 50);

  TBCGSettings bright;
  bright.Brightness = 100;
  EXPECT_EQ(MakeBCGFilter(bright)->FilterColor(RGB(0, 10, 200)), RGB(255, 255, 255));
  TBCGSettings flat;
  flat.Contrast = 0.2L;  // pulls everything towards the middle
  const TRGB mid = MakeBCGFilter(flat)->FilterColor(RGB(0, 128, 255));
  EXPECT_EQ(mid, RGB(102, 128, 153));
}

TEST(PointFilters, HueShiftsAndGrayPixels) {
  TXXXSettings half;
  half.Bar1 = 180;
  for (TFilterKind kind : {TFilterKind::HLS, TFilterKind::HSV}) {
    auto f = MakeXXXFilter(kind, half);
    // Red turns to cyan, gray stays gray whatever the hue shift.
    EXPECT_LE(MaxDifference(f->FilterColor(RGB(255, 0, 0)), RGB(0, 255, 255)), 1)
        << FilterKindName(kind);
    for (uint32_t v : {0u, 77u, 128u, 255u}) EXPECT_EQ(f->FilterColor(RGB(v, v, v)), RGB(v, v, v));
  }
  TXXXSettings lighter;
  lighter.Bar2 = 100;
  EXPECT_EQ(MakeXXXFilter(TFilterKind::HLS, lighter)->FilterColor(RGB(30, 60, 90)),
            RGB(255, 255, 255));
  THue defined;
  defined.Defined = true;
  long double r, g, b;
  EXPECT_THROW(HLSToRGB(defined, 0.5L, 0, r, g, b), EPGSaturationHue);
  try {
    HSVToRGB(defined, 0, 0.5L, r, g, b);
  } catch (const EPGSaturationHue& e) {
    EXPECT_STREQ(e.what(), "Saturation=0 and Hue defined");
  }
}

// Whole rows of HLS, HSV, YCbCr and BCG on Y are filtered by a faster route than
// FilterColor; it must give the same colour for every pixel, for any settings.
TEST(PointFilters, FastRowsEqualTheColourFormula) {
  // Random colours, then every gray and a lattice of colours including the
  // extremes, where the sector and rounding decisions sit.
  const int w = 251, h = 173;
  auto image = Noise(w, h, 2024);
  int n = 0;
  for (uint32_t r = 0; r < 256; r += 15)
    for (uint32_t g = 0; g < 256; g += 15)
      for (uint32_t b = 0; b < 256; b += 15, ++n) image->SetPixel(n % w, n / w, RGB(r, g, b));
  for (uint32_t v = 0; v < 256; ++v, ++n) image->SetPixel(n % w, n / w, RGB(v, v, v));
  auto mismatches = [&](TPGFilter& filter) {
    TPixelGraphic target;
    target.SetSize(1, 1, pf24Bit);
    ApplyFilter(target, filter, *image);
    int count = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        count += target.PixelColor(x, y) != filter.FilterColor(image->PixelColor(x, y));
    return count;
  };
  const TXXXSettings settings[] = {{0, 0, 0},        {180, 0, 0},  {-73, 35, -60},   {45, 100, 100},
                                   {-180, -100, 20}, {11, -7, 99}, {90, -100, -100}, {1, 1, -1}};
  for (TFilterKind kind : {TFilterKind::HLS, TFilterKind::HSV, TFilterKind::YCbCr}) {
    for (const TXXXSettings& s : settings) {
      auto filter = MakeXXXFilter(kind, s);
      EXPECT_EQ(mismatches(*filter), 0)
          << FilterKindName(kind) << " " << s.Bar1 << " " << s.Bar2 << " " << s.Bar3;
    }
  }
  for (const TXXXSettings& s : settings) {
    TBCGSettings bcg;
    bcg.Brightness = s.Bar1 / 2;
    bcg.Contrast = SliderToFactor(s.Bar2);
    bcg.Gamma = SliderToFactor(s.Bar3);
    bcg.UseY = true;
    auto filter = MakeBCGFilter(bcg);
    EXPECT_EQ(mismatches(*filter), 0) << "bcg " << s.Bar1 << " " << s.Bar2 << " " << s.Bar3;
  }
}

TEST(ApplyFilter, PaletteImagesAreFilteredThroughTheirPalette) {
  TPixelGraphic image;
  image.SetSize(7, 3, pf8Bit);
  image.SetPaletteCount(4);
  const TRGB entries[4] = {RGB(10, 20, 30), RGB(200, 0, 0), RGB(0, 250, 0), RGB(9, 9, 240)};
  for (int i = 0; i < 4; ++i) image.SetPaletteColor(i, entries[i]);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) image.SetPixel(x, y, static_cast<uint32_t>((x + y) % 4));
  std::vector<uint8_t> indices(image.Bits(), image.Bits() + image.ImageSize());
  TNegativeFilter negative;
  ApplyFilter(image, negative, image);
  EXPECT_EQ(std::vector<uint8_t>(image.Bits(), image.Bits() + image.ImageSize()), indices);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(image.PaletteColor(i), RGB(255, 255, 255) - entries[i]);

  // Into a distinct, deeper target: indices copied, palette filtered.
  TPixelGraphic small;
  small.SetSize(5, 2, pf4Bit);
  small.SetPaletteCount(2);
  small.SetPaletteColor(0, RGB(0, 0, 0));
  small.SetPaletteColor(1, RGB(255, 0, 0));
  small.SetPixel(3, 1, 1);
  TPixelGraphic deep;
  deep.SetSize(1, 1, pf8Bit);
  TGrayScaleFilter gray;
  ApplyFilter(deep, gray, small);
  EXPECT_EQ(deep.PixelFormat(), pf8Bit);
  EXPECT_EQ(deep.Width(), 5);
  EXPECT_EQ(deep.Pixel(3, 1), 1u);
  EXPECT_EQ(deep.PixelColor(3, 1), RGB(76, 76, 76));
}

TEST(ApplyFilter, PixelPathIntoPaletteTargetAndAbort) {
  auto src = Noise(16, 9, 12);
  TPixelGraphic gray;
  gray.SetSize(1, 1, pf8Bit);
  gray.SetPaletteIdent(pGray256);
  TGrayScaleFilter filter;
  ApplyFilter(gray, filter, *src);
  ASSERT_EQ(gray.Width(), 16);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 16; ++x) {
      const uint32_t v = GetR(filter.FilterColor(src->PixelColor(x, y)));
      EXPECT_EQ(gray.PixelColor(x, y), RGB(v, v, v));
    }

  TPixelGraphic target;
  std::vector<int> steps;
  target.OnProgress = [&](TPixelGraphic&, int step, int max, bool& abort) {
    EXPECT_EQ(max, 8);
    steps.push_back(step);
    abort = step == 3;
  };
  TNegativeFilter negative;
  ApplyFilter(target, negative, *src);
  EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(target.PixelColor(0, 3), RGB(255, 255, 255) - src->PixelColor(0, 3));
  EXPECT_EQ(target.PixelColor(0, 4), 0u) << "rows after the abort are not visited";
}

// A filter that fails on a given row, as a filter with a bad setting might.
class TFailingFilter : public TPGFilter {
 public:
  explicit TFailingFilter(int row) : row_(row) {}
  TRGB FilterPixel(int, int y) override {
    if (y == row_) throw EPGFilter("failed on purpose");
    return RGB(1, 2, 3);
  }
  void EndFilter() override {
    ++ended;
    TPGFilter::EndFilter();
  }
  int ended = 0;

 private:
  int row_;
};

TEST(ApplyFilter, AFailingFilterStillEndsProgressAndTheFilter) {
  auto src = Noise(6, 5, 3);
  for (TPGPixelFormat format : {pf24Bit, pf8Bit, pf1Bit}) {
    TPixelGraphic target;
    target.SetSize(1, 1, format);
    target.SetDither(true);
    int starts = 0, ends = 0;
    target.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
    target.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
    TFailingFilter filter(2);
    EXPECT_THROW(ApplyFilter(target, filter, *src), EPGFilter) << format;
    EXPECT_EQ(starts, 1) << format;
    EXPECT_EQ(ends, 1) << format;
    EXPECT_EQ(filter.ended, 1) << format;
    EXPECT_EQ(filter.Source(), nullptr) << format;
  }
}

TEST(ConvFilter, RefusesItsOwnTargetAndBadSizes) {
  auto image = Noise(5, 5, 1);
  TPixelGraphic before;
  before.Assign(*image);
  TConvFilter conv;
  try {
    ApplyFilter(*image, conv, *image);
    FAIL() << "source = target must be refused";
  } catch (const EPGFilter& e) {
    EXPECT_STREQ(e.what(), "Cannot apply this filter to a source that is identical to the target");
  }
  EXPECT_EQ(std::vector<uint8_t>(image->Bits(), image->Bits() + image->ImageSize()),
            std::vector<uint8_t>(before.Bits(), before.Bits() + before.ImageSize()));

  conv.SetWidth(3);
  conv.SetKernel(2, 0, 5);
  try {
    conv.SetWidth(100);
    FAIL();
  } catch (const EPGConvFilter& e) {
    EXPECT_STREQ(e.what(), "TConvFilter.Width out of range");
  }
  EXPECT_THROW(conv.SetHeight(0), EPGConvFilter);
  EXPECT_EQ(conv.Width(), 3);
  EXPECT_EQ(conv.Kernel(2, 0), 5);
  try {
    conv.Kernel(3, 0);
    FAIL();
  } catch (const EPGConvFilter& e) {
    EXPECT_STREQ(e.what(), "X, Y index out of range");
  }
}

TEST(ConvFilter, KernelsFollowTheRules) {
  TConvFilter k;
  k.BuildDistribution(dsGaussian, true, 0.75L);
  ASSERT_EQ(k.Width(), 3);
  ASSERT_EQ(k.Height(), 3);
  EXPECT_EQ(k.Kernel(1, 1), 16);
  EXPECT_EQ(k.Kernel(0, 1), 7);  // 16 e^(-1/1.125) = 6.58
  EXPECT_EQ(k.Kernel(0, 0), 3);  // 16 e^(-2/1.125) = 2.70
  EXPECT_EQ(k.OffsetX, -1);

  k.BuildSharpen(50, 0.75L);  // sum 56, centre Round(2 * 56)
  EXPECT_EQ(k.Kernel(1, 1), 112);
  EXPECT_EQ(k.Kernel(0, 1), -7);
  k.BuildDetail(75, 0.75L);  // Round(4/3 * (56 - 16 + 1)) = 55
  EXPECT_EQ(k.Kernel(1, 1), 55);
  k.BuildSmooth(50, 0.75L);  // 16 + Round(1 * 56)
  EXPECT_EQ(k.Kernel(1, 1), 72);

  k.BuildContour(300, 1, false);  // rect of a = 1.73: a full 3 x 3 of ones
  EXPECT_EQ(k.Width(), 3);
  EXPECT_EQ(k.Kernel(1, 1), 9);
  EXPECT_EQ(k.Kernel(0, 0), -1);
  EXPECT_EQ(k.Factor, 300);
  EXPECT_EQ(k.Bias, 100);
  k.BuildContour(300, 1, true);
  EXPECT_EQ(k.Factor, -300);
  EXPECT_EQ(k.Bias, 0);

  k.BuildDistribution(dsGaussian, false, 1.3L);
  EXPECT_EQ(k.Kernel(-k.OffsetX, -k.OffsetY), 16);
  EXPECT_EQ(k.Width() % 2, 1);
  k.BuildDistribution(dsTent, true, 1);
  EXPECT_EQ(k.Kernel(-k.OffsetX, -k.OffsetY), 16);

  k.BuildBlur(100, 0.5L);
  EXPECT_EQ(k.Width(), 1);
  k.BuildBlur(100, 2.5L);  // Round(2.5) = 2 (halves to even)
  ASSERT_EQ(k.Width(), 5);
  int64_t sum = 0;
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j) sum += k.Kernel(j, i);
  EXPECT_EQ(sum, 360);
  EXPECT_EQ(k.Kernel(2, 2), 0);
  k.BuildBlur(50, 2.5L);
  EXPECT_EQ(k.Kernel(2, 2), 360);
}

TEST(ConvFilter, FlatImagesStayFlatAndContourIsWhiteOrBlack) {
  const TRGB colour = RGB(37, 180, 222);
  auto flat = Flat(17, 13, colour);
  std::vector<std::unique_ptr<TConvFilter>> filters;
  filters.push_back(std::make_unique<TConvFilter>());
  for (TFilterKind kind :
       {TFilterKind::Sharpen, TFilterKind::Detail, TFilterKind::Smooth, TFilterKind::Blur})
    filters.push_back(MakeConvFilter(kind, DefaultConvSettings(kind)));
  TConvSettings strong = DefaultConvSettings(TFilterKind::Sharpen);
  strong.Percent = 10;
  strong.StdDeviation = 1.3L;
  filters.push_back(MakeConvFilter(TFilterKind::Sharpen, strong));
  for (auto& f : filters) {
    TPixelGraphic out;
    ApplyFilter(out, *f, *flat);
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 17; ++x) ASSERT_EQ(out.PixelColor(x, y), colour) << x << "," << y;
  }
  for (bool black : {false, true}) {
    TConvSettings s = DefaultConvSettings(TFilterKind::Contour);
    s.BlackBk = black;
    auto f = MakeConvFilter(TFilterKind::Contour, s);
    TPixelGraphic out;
    ApplyFilter(out, *f, *flat);
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 17; ++x) ASSERT_EQ(out.PixelColor(x, y), black ? 0u : 0xFFFFFFu);
  }
}

TEST(ConvFilter, RowsEqualThePerPixelRule) {
  std::mt19937 rng(5);
  auto src = Noise(41, 23, 6);
  TPixelGraphic palette;
  palette.SetSize(41, 23, pf8Bit);
  palette.SetPaletteIdent(pGray256);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 41; ++x) palette.SetPixel(x, y, rng() & 255);
  for (int iter = 0; iter < 40; ++iter) {
    TConvFilter f;
    f.SetWidth(1 + static_cast<int>(rng() % 7));
    f.SetHeight(1 + static_cast<int>(rng() % 7));
    for (int i = 0; i < f.Height(); ++i)
      for (int j = 0; j < f.Width(); ++j) f.SetKernel(j, i, static_cast<int32_t>(rng() % 41) - 12);
    f.OffsetX = static_cast<int>(rng() % 9) - 6;
    f.OffsetY = static_cast<int>(rng() % 9) - 6;
    if (iter % 3 == 1) {
      f.Factor = 1.7L;
      f.Bias = -12.5L;
    }
    if (iter % 5 == 2) f.SetKernel(0, 0, 1'000'000);  // too wide a range for a table
    const TPixelGraphic& source = iter % 2 ? palette : *src;
    TPixelGraphic out;
    ApplyFilter(out, f, source);
    f.BeginFilter(source);
    for (int y = 0; y < 23; ++y)
      for (int x = 0; x < 41; ++x) ASSERT_EQ(out.PixelColor(x, y), f.FilterPixel(x, y)) << iter;
    f.EndFilter();
  }
}

TEST(ConvFilter, CornersTakeTheWeightedMeanOfTheInsidePart) {
  auto src = Noise(4, 4, 8);
  TConvFilter f;
  f.SetWidth(3);
  f.SetHeight(3);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) f.SetKernel(j, i, 1 + i * 3 + j);
  f.OffsetX = f.OffsetY = -1;
  TPixelGraphic out;
  ApplyFilter(out, f, *src);
  // Top-left: elements (1,1) (2,1) (1,2) (2,2) with weights 5 6 8 9.
  const int weights[4] = {5, 6, 8, 9};
  const int xs[4] = {0, 1, 0, 1}, ys[4] = {0, 0, 1, 1};
  long sum = 0;
  for (int k = 0; k < 4; ++k)
    sum += weights[k] * static_cast<long>(GetG(src->PixelColor(xs[k], ys[k])));
  EXPECT_EQ(static_cast<long>(GetG(out.PixelColor(0, 0))),
            std::lround(std::nearbyint(sum / 28.0L)));
}

}  // namespace
}  // namespace pgraphic
