// --colors 2|16|256|gray|true: the colour-resolution change of the convert pipeline.
#include "cli/cli.h"
#include "pgraphic/image/colorres.h"

namespace cli {

pgraphic::TColorCommand ColorsOption(const std::string& value) {
  static const struct {
    const char* name;
    pgraphic::TColorCommand command;
  } kValues[] = {{"2", pgraphic::ccColors2},
                 {"16", pgraphic::ccColors16},
                 {"256", pgraphic::ccColors256},
                 {"gray", pgraphic::ccGray256},
                 {"true", pgraphic::ccTrueColor}};
  for (const auto& v : kValues) {
    if (value == v.name) return v.command;
  }
  throw UsageError("--colors takes 2, 16, 256, gray or true");
}

namespace {

const TConvertStepRegistrar reg({
    .option = {"--colors", true, "2|16|256|gray|true"},
    .order = 200,
    .validate = [](const std::string& value) { ColorsOption(value); },
    .apply =
        [](std::unique_ptr<pgraphic::TPixelGraphic>& image, const std::string& value) {
          AttachProgress(*image, "colours");
          std::unique_ptr<pgraphic::TPixelGraphic> result =
              pgraphic::ApplyColorCommand(*image, ColorsOption(value));
          if (result) image = std::move(result);
        },
});

}  // namespace
}  // namespace cli
