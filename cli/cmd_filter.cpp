// korvane-cli filter NAME [settings] IN OUT: one of the thirteen filters with the
// settings of its dialog, read from the library's table of filter parameters.
// Point filters change the image in place (a palette image keeps its indices
// and gets a filtered palette); convolution filters make a new true-colour
// image.
#include <string>
#include <vector>

#include "cli/cli.h"
#include "pgraphic/filters/filtersettings.h"

namespace cli {
namespace {

using pgraphic::TFilterDef;
using pgraphic::TFilterParam;
using pgraphic::TParamScale;

std::string Option(const char* name) {
  return std::string("--") + name;
}

// The options of one filter: its bars (and their second names) and its switch.
std::vector<std::string> OptionsOf(const TFilterDef& d) {
  std::vector<std::string> names;
  for (int i = 0; i < d.BarCount; ++i) {
    names.push_back(Option(d.Bars[static_cast<size_t>(i)].Name));
    if (d.Bars[static_cast<size_t>(i)].Alias)
      names.push_back(Option(d.Bars[static_cast<size_t>(i)].Alias));
  }
  if (d.Switch.Name) names.push_back(Option(d.Switch.Name));
  return names;
}

bool IsReal(const TFilterParam& p) {
  return p.Scale == TParamScale::Factor || p.Scale == TParamScale::Hundredths;
}

// A bound of a bar as typed on the command line: "-100", "0.40", "5.00".
std::string Typed(const TFilterParam& p, int position) {
  return IsReal(p) ? pgraphic::FormatValue(p, position) : std::to_string(position);
}

int BarPosition(const TArgs& args, const TFilterParam& p) {
  std::string name = Option(p.Name);
  if (p.Alias && args.Has(Option(p.Alias))) name = Option(p.Alias);
  if (!args.Has(name)) return p.Default;
  int position = 0;
  if (pgraphic::ParseValue(p, args.Get(name), position)) return position;
  throw UsageError(name + (IsReal(p) ? " takes a number from " : " takes a whole number from ") +
                   Typed(p, p.Min) + " to " + Typed(p, p.Max));
}

bool SwitchState(const TArgs& args, const TFilterDef& d) {
  const pgraphic::TFilterSwitch& s = d.Switch;
  const std::string name = Option(s.Name);
  if (!args.Has(name)) return s.Default;
  const std::string v = args.Get(name);
  if (v == s.Words[0]) return false;
  if (v == s.Words[1]) return true;
  throw UsageError(name + " takes " + s.Words[0] + " or " + s.Words[1]);
}

int Filter(const TArgs& args) {
  pgraphic::TFilterKind kind;
  if (!pgraphic::FilterKindFromName(args.files[0], kind)) {
    std::string names;
    for (const TFilterDef& d : pgraphic::FilterDefs())
      names += (names.empty() ? "" : ", ") + std::string(d.Name);
    throw UsageError("unknown filter \"" + args.files[0] + "\" (" + names + ")");
  }
  const TFilterDef& def = pgraphic::FilterDef(kind);
  const std::vector<std::string> allowed = OptionsOf(def);
  for (const auto& [name, value] : args.options) {
    bool ok = false;
    for (const std::string& o : allowed) ok = ok || o == name;
    if (!ok)
      throw UsageError("option " + name + " does not belong to the " + args.files[0] + " filter");
  }
  pgraphic::TFilterValues values;
  for (int i = 0; i < def.BarCount; ++i)
    values.Bars[static_cast<size_t>(i)] = BarPosition(args, def.Bars[static_cast<size_t>(i)]);
  if (def.Switch.Name) values.Switch = SwitchState(args, def);
  std::unique_ptr<pgraphic::TPGFilter> filter = pgraphic::MakeFilter(kind, values);

  std::unique_ptr<pgraphic::TPixelGraphic> image = LoadImage(args.files[1]);
  AttachProgress(*image, def.Name);
  if (pgraphic::IsConvolution(kind)) {
    auto result = std::make_unique<pgraphic::TPixelGraphic>();
    AttachProgress(*result, def.Name);
    pgraphic::ApplyFilter(*result, *filter, *image);
    image = std::move(result);
  } else {
    pgraphic::ApplyFilter(*image, *filter, *image);
  }
  SaveImage(*image, args.files[2], args);
  return 0;
}

std::vector<TOptionSpec> AllFilterOptions() {
  std::vector<TOptionSpec> specs;
  for (const TFilterDef& d : pgraphic::FilterDefs())
    for (const std::string& o : OptionsOf(d)) {
      bool seen = false;
      for (const TOptionSpec& s : specs) seen = seen || s.name == o;
      if (!seen) specs.push_back({o, true, ""});
    }
  return specs;
}

// One line per filter: "hls --h (-180..180) --l (-100..100) --s (-100..100)".
std::string Synopsis() {
  std::string text = "filter NAME [settings] IN OUT";
  for (const TFilterDef& d : pgraphic::FilterDefs()) {
    text += "\n    ";
    text += d.Name;
    for (int i = 0; i < d.BarCount; ++i) {
      const TFilterParam& p = d.Bars[static_cast<size_t>(i)];
      for (const std::string& part : {std::string(" --"), std::string(p.Name), std::string(" ("),
                                      Typed(p, p.Min), std::string(".."), Typed(p, p.Max),
                                      std::string(", "), Typed(p, p.Default), std::string(")")})
        text += part;
    }
    if (d.Switch.Name) {
      for (const char* part :
           {" --", d.Switch.Name, " ", d.Switch.Words[0], "|", d.Switch.Words[1]})
        text += part;
    }
  }
  return text;
}

const TCommandRegistrar reg({.name = "filter",
                             .synopsis = Synopsis(),
                             .options = AllFilterOptions(),
                             .acceptsConvertOptions = false,
                             .minFiles = 3,
                             .maxFiles = 3,
                             .run = Filter});

}  // namespace
}  // namespace cli
