// korvane-cli filter NAME [settings] IN OUT: one of the thirteen filters with the
// settings of its dialog. Point filters change the image in place (a palette
// image keeps its indices and gets a filtered palette); convolution filters make
// a new true-colour image.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "pgraphic/filters/filtersettings.h"

namespace cli {
namespace {

using pgraphic::TFilterKind;

// Which options each filter takes.
struct TFilterOptions {
  TFilterKind kind;
  std::vector<std::string> options;
};

const std::vector<TFilterOptions>& FilterOptions() {
  static const std::vector<TFilterOptions> list = {
      {TFilterKind::RGB, {"--r", "--g", "--b"}},
      {TFilterKind::CMY, {"--c", "--m", "--y"}},
      {TFilterKind::YCbCr, {"--y", "--cb", "--cr"}},
      {TFilterKind::HLS, {"--h", "--l", "--s"}},
      {TFilterKind::HSV, {"--h", "--s", "--v"}},
      {TFilterKind::BCG, {"--brightness", "--contrast", "--gamma", "--apply-on"}},
      {TFilterKind::GrayScale, {"--rgb-weighting"}},
      {TFilterKind::Negative, {}},
      {TFilterKind::Sharpen, {"--std-deviation", "--sigma", "--strength"}},
      {TFilterKind::Detail, {"--std-deviation", "--sigma", "--strength"}},
      {TFilterKind::Smooth, {"--std-deviation", "--sigma", "--strength"}},
      {TFilterKind::Blur, {"--radius", "--strength"}},
      {TFilterKind::Contour, {"--std-deviation", "--sigma", "--strength", "--background"}},
  };
  return list;
}

int IntInRange(const TArgs& args, const std::string& name, int lo, int hi, int fallback) {
  if (!args.Has(name)) return fallback;
  const std::string v = args.Get(name);
  char* end = nullptr;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (v.empty() || *end != '\0' || n < lo || n > hi) {
    throw UsageError(name + " takes a whole number from " + std::to_string(lo) + " to " +
                     std::to_string(hi));
  }
  return static_cast<int>(n);
}

long double RealInRange(const TArgs& args, const std::string& name, long double lo, long double hi,
                        long double fallback, const char* range) {
  if (!args.Has(name)) return fallback;
  const std::string v = args.Get(name);
  char* end = nullptr;
  const long double n = std::strtold(v.c_str(), &end);
  // A little slack so that 1.3 typed as text is inside 0.40 .. 1.30.
  if (v.empty() || *end != '\0' || !(n >= lo - 1e-9L && n <= hi + 1e-9L)) {
    throw UsageError(name + " takes a number from " + range);
  }
  return n;
}

bool Choice(const TArgs& args, const std::string& name, const char* first, const char* second,
            bool fallback) {
  if (!args.Has(name)) return fallback;
  const std::string v = args.Get(name);
  if (v == first) return false;
  if (v == second) return true;
  throw UsageError(name + " takes " + first + " or " + second);
}

int Filter(const TArgs& args) {
  TFilterKind kind;
  if (!pgraphic::FilterKindFromName(args.files[0], kind)) {
    throw UsageError("unknown filter \"" + args.files[0] +
                     "\" (rgb, cmy, ycbcr, hls, hsv, bcg, grayscale, negative, sharpen, detail, "
                     "smooth, blur, contour)");
  }
  const TFilterOptions* allowed = nullptr;
  for (const TFilterOptions& f : FilterOptions())
    if (f.kind == kind) allowed = &f;
  for (const auto& [name, value] : args.options) {
    bool ok = false;
    for (const std::string& o : allowed->options) ok = ok || o == name;
    if (!ok)
      throw UsageError("option " + name + " does not belong to the " + args.files[0] + " filter");
  }

  std::unique_ptr<pgraphic::TPixelGraphic> image = LoadImage(args.files[1]);
  AttachProgress(*image, pgraphic::FilterKindName(kind));
  if (pgraphic::IsConvolution(kind)) {
    pgraphic::TConvSettings s = pgraphic::DefaultConvSettings(kind);
    const bool contour = kind == TFilterKind::Contour;
    const char* sigmaName = args.Has("--sigma") ? "--sigma" : "--std-deviation";
    s.StdDeviation = RealInRange(args, sigmaName, 0.4L, 1.3L, s.StdDeviation, "0.40 to 1.30");
    s.Radius = RealInRange(args, "--radius", 0.5L, 5, s.Radius, "0.50 to 5.00");
    s.Percent = IntInRange(args, "--strength", contour ? 100 : 10, contour ? 1000 : 100, s.Percent);
    s.BlackBk = Choice(args, "--background", "white", "black", s.BlackBk);
    std::unique_ptr<pgraphic::TConvFilter> filter = pgraphic::MakeConvFilter(kind, s);
    auto result = std::make_unique<pgraphic::TPixelGraphic>();
    AttachProgress(*result, pgraphic::FilterKindName(kind));
    pgraphic::ApplyFilter(*result, *filter, *image);
    image = std::move(result);
  } else {
    std::unique_ptr<pgraphic::TPGFilter> filter;
    switch (kind) {
      case TFilterKind::BCG: {
        pgraphic::TBCGSettings s;
        s.Brightness = IntInRange(args, "--brightness", -100, 100, 0);
        s.Contrast = RealInRange(args, "--contrast", 0.2L, 5, 1, "0.20 to 5.00");
        s.Gamma = RealInRange(args, "--gamma", 0.2L, 5, 1, "0.20 to 5.00");
        s.UseY = Choice(args, "--apply-on", "rgb", "y", false);
        filter = pgraphic::MakeBCGFilter(s);
        break;
      }
      case TFilterKind::GrayScale: {
        pgraphic::TGrayScaleSettings s;
        s.RGBWeighting = !Choice(args, "--rgb-weighting", "on", "off", false);
        filter = pgraphic::MakeGrayScaleFilter(s);
        break;
      }
      case TFilterKind::Negative:
        filter = std::make_unique<pgraphic::TNegativeFilter>();
        break;
      default: {
        const std::vector<std::string>& o = allowed->options;
        const bool hue = kind == TFilterKind::HLS || kind == TFilterKind::HSV;
        pgraphic::TXXXSettings s;
        s.Bar1 = hue ? IntInRange(args, o[0], -180, 180, 0) : IntInRange(args, o[0], -100, 100, 0);
        s.Bar2 = IntInRange(args, o[1], -100, 100, 0);
        s.Bar3 = IntInRange(args, o[2], -100, 100, 0);
        filter = pgraphic::MakeXXXFilter(kind, s);
      }
    }
    pgraphic::ApplyFilter(*image, *filter, *image);
  }
  SaveImage(*image, args.files[2], args);
  return 0;
}

std::vector<TOptionSpec> AllFilterOptions() {
  std::vector<TOptionSpec> specs;
  for (const TFilterOptions& f : FilterOptions())
    for (const std::string& o : f.options) {
      bool seen = false;
      for (const TOptionSpec& s : specs) seen = seen || s.name == o;
      if (!seen) specs.push_back({o, true, ""});
    }
  return specs;
}

const TCommandRegistrar reg(
    {.name = "filter",
     .synopsis = "filter NAME [settings] IN OUT\n"
                 "    rgb --r --g --b, cmy --c --m --y, ycbcr --y --cb --cr "
                 "(-100..100); hls --h (-180..180) --l --s, hsv --h --s --v;\n"
                 "    bcg --brightness (-100..100) --contrast --gamma "
                 "(0.2..5, 1) --apply-on rgb|y; grayscale --rgb-weighting "
                 "on|off; negative;\n"
                 "    sharpen|detail|smooth --std-deviation (0.40..1.30) "
                 "--strength (10..100); blur --radius (0.50..5.00) "
                 "--strength;\n"
                 "    contour --std-deviation --strength (100..1000) "
                 "--background white|black",
     .options = AllFilterOptions(),
     .acceptsConvertOptions = false,
     .minFiles = 3,
     .maxFiles = 3,
     .run = Filter});

}  // namespace
}  // namespace cli
