// The table of filter parameters: value labels, scale texts, typed values, and
// the filters its positions configure.
#include "pgraphic/filters/filtersettings.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace pgraphic {
namespace {

const TFilterParam& Bar(TFilterKind kind, int i) {
  return FilterDef(kind).Bars[static_cast<size_t>(i)];
}

TEST(FilterParams, ValueLabelsAndScaleTexts) {
  struct Case {
    TFilterKind kind;
    int bar, position;
    const char* label;
  };
  const Case labels[] = {
      {TFilterKind::RGB, 0, 25, "+25%"},         {TFilterKind::CMY, 1, 0, "\u00b10%"},
      {TFilterKind::YCbCr, 2, -40, "-40%"},      {TFilterKind::HLS, 0, 30, "+30\u00b0"},
      {TFilterKind::HSV, 0, -180, "-180\u00b0"}, {TFilterKind::BCG, 0, 100, "+100%"},
      {TFilterKind::BCG, 1, -100, "0.20"},       {TFilterKind::BCG, 2, 43, "2.00"},
      {TFilterKind::BCG, 1, 0, "1.00"},          {TFilterKind::Sharpen, 0, 75, "0.75"},
      {TFilterKind::Smooth, 0, 130, "1.30"},     {TFilterKind::Blur, 0, 250, "2.50"},
      {TFilterKind::Detail, 1, 75, "75%"},       {TFilterKind::Contour, 1, 1000, "1000%"},
  };
  for (const Case& c : labels)
    EXPECT_EQ(FormatValue(Bar(c.kind, c.bar), c.position), c.label)
        << FilterKindName(c.kind) << " bar " << c.bar;

  struct Scale {
    TFilterKind kind;
    int bar;
    std::array<std::string, 3> texts;
  };
  const Scale scales[] = {
      {TFilterKind::RGB, 0, {"-100%", "\u00b10%", "+100%"}},
      {TFilterKind::HLS, 0, {"-180\u00b0", "\u00b10\u00b0", "+180\u00b0"}},
      {TFilterKind::BCG, 2, {"0.20", "1.00", "5.00"}},
      {TFilterKind::Sharpen, 0, {"0.40", "", "1.30"}},
      {TFilterKind::Sharpen, 1, {"10%", "", "100%"}},
      {TFilterKind::Blur, 0, {"0.50", "", "5.00"}},
      {TFilterKind::Contour, 1, {"100%", "", "1000%"}},
  };
  for (const Scale& s : scales)
    EXPECT_EQ(ScaleTexts(Bar(s.kind, s.bar)), s.texts) << FilterKindName(s.kind) << " " << s.bar;
}

TEST(FilterParams, TypedValuesBecomePositionsWithinTheRange) {
  struct Case {
    TFilterKind kind;
    int bar;
    const char* text;
    bool ok;
    int position;
  };
  const Case cases[] = {
      {TFilterKind::Sharpen, 0, "1.3", true, 130},   {TFilterKind::Sharpen, 0, "0.75", true, 75},
      {TFilterKind::Sharpen, 0, "1.31", false, 0},   {TFilterKind::Sharpen, 0, "0.3", false, 0},
      {TFilterKind::Blur, 0, "0.5", true, 50},       {TFilterKind::Blur, 0, "6", false, 0},
      {TFilterKind::BCG, 1, "2", true, 43},          {TFilterKind::BCG, 2, "0.2", true, -100},
      {TFilterKind::BCG, 1, "0.1", false, 0},        {TFilterKind::HLS, 0, "-180", true, -180},
      {TFilterKind::HLS, 0, "181", false, 0},        {TFilterKind::RGB, 0, "101", false, 0},
      {TFilterKind::RGB, 0, "12x", false, 0},        {TFilterKind::RGB, 0, "", false, 0},
      {TFilterKind::RGB, 0, "1.5", false, 0},        {TFilterKind::Contour, 1, "50", false, 0},
      {TFilterKind::Contour, 1, "1000", true, 1000},
  };
  for (const Case& c : cases) {
    int position = -12345;
    EXPECT_EQ(ParseValue(Bar(c.kind, c.bar), c.text, position), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(position, c.position) << c.text;
    }
  }
}

TEST(FilterParams, EveryDefaultLiesInItsRange) {
  for (const TFilterDef& d : FilterDefs()) {
    EXPECT_EQ(&FilterDef(d.Kind), &d);
    for (int i = 0; i < d.BarCount; ++i) {
      const TFilterParam& p = d.Bars[static_cast<size_t>(i)];
      EXPECT_LE(p.Min, p.Default) << d.Name << " " << p.Name;
      EXPECT_LE(p.Default, p.Max) << d.Name << " " << p.Name;
      EXPECT_EQ((p.Max - p.Min) % p.Ticks, 0) << d.Name << " " << p.Name;
    }
  }
}

// The positions of the table configure the same filter as the typed settings of
// the main window.
TEST(FilterParams, PositionsConfigureTheTypedFilters) {
  TPixelGraphic image;
  image.SetSize(19, 13, pf24Bit);
  std::mt19937 rng(5);
  for (int y = 0; y < 13; ++y)
    for (int x = 0; x < 19; ++x) image.SetPixel(x, y, rng() & 0xFFFFFF);
  auto run = [&](TPGFilter& f) {
    TPixelGraphic out;
    out.SetSize(1, 1, pf24Bit);
    ApplyFilter(out, f, image);
    return std::vector<uint8_t>(out.Bits(), out.Bits() + out.ImageSize());
  };

  for (TFilterKind kind : {TFilterKind::Sharpen, TFilterKind::Detail, TFilterKind::Smooth,
                           TFilterKind::Blur, TFilterKind::Contour}) {
    auto fromTable = MakeFilter(kind, DefaultValues(kind));
    auto typed = MakeConvFilter(kind, DefaultConvSettings(kind));
    EXPECT_EQ(run(*fromTable), run(*typed)) << FilterKindName(kind);
  }
  TFilterValues bcg = DefaultValues(TFilterKind::BCG);
  bcg.Bars = {-20, 43, -100};
  bcg.Switch = true;
  TBCGSettings typedBCG;
  typedBCG.Brightness = -20;
  typedBCG.Contrast = 2;
  typedBCG.Gamma = 0.2L;
  typedBCG.UseY = true;
  EXPECT_EQ(run(*MakeFilter(TFilterKind::BCG, bcg)), run(*MakeBCGFilter(typedBCG)));

  TFilterValues hsv;
  hsv.Bars = {200, 150, -7};  // out of range: the hue turns, the others are limited
  EXPECT_EQ(run(*MakeFilter(TFilterKind::HSV, hsv)),
            run(*MakeXXXFilter(TFilterKind::HSV, {-160, 100, -7})));
  EXPECT_TRUE(DefaultValues(TFilterKind::GrayScale).Switch) << "RGB weighting starts checked";
  EXPECT_FALSE(DefaultValues(TFilterKind::Contour).Switch) << "white background first";
}

}  // namespace
}  // namespace pgraphic
