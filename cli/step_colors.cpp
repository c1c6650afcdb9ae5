// --colors 2|16|256|gray|true: the colour-resolution change of the convert pipeline.
#include "cli/cli.h"
#include "pgraphic/image/colorres.h"

namespace cli {
namespace {

const char* const kValues[] = {"2", "16", "256", "gray", "true"};

int IndexOf(const std::string& value) {
  for (int i = 0; i < 5; ++i) {
    if (value == kValues[i]) return i;
  }
  return -1;
}

const TConvertStepRegistrar reg({
    .option = {"--colors", true, "2|16|256|gray|true"},
    .order = 200,
    .validate =
        [](const std::string& value) {
          if (IndexOf(value) < 0) throw UsageError("--colors takes 2, 16, 256, gray or true");
        },
    .apply =
        [](std::unique_ptr<pgraphic::TPixelGraphic>& image, const std::string& value) {
          const pgraphic::TColorCommand commands[] = {pgraphic::ccColors2, pgraphic::ccColors16,
                                                      pgraphic::ccColors256, pgraphic::ccGray256,
                                                      pgraphic::ccTrueColor};
          AttachProgress(*image, "colours");
          std::unique_ptr<pgraphic::TPixelGraphic> result =
              pgraphic::ApplyColorCommand(*image, commands[IndexOf(value)]);
          if (result) image = std::move(result);
        },
});

}  // namespace
}  // namespace cli
