// --jpeg-quality 5..95: the quality the JPEG writer uses for this conversion.
#include <string>

#include "cli/cli.h"
#include "io/files.h"

namespace cli {

int JPEGQualityOption(const std::string& value) {
  const bool digits = !value.empty() && value.size() <= 2 &&
                      value.find_first_not_of("0123456789") == std::string::npos;
  const int q = digits ? std::stoi(value) : -1;
  if (q < 5 || q > 95) throw UsageError("--jpeg-quality takes a number from 5 to 95");
  return q;
}

namespace {

const TConvertStepRegistrar reg({
    .option = {"--jpeg-quality", true, "5..95"},
    .order = 300,  // changes no pixels; only the setting the writer reads
    .validate = [](const std::string& value) { JPEGQualityOption(value); },
    .apply = [](std::unique_ptr<pgraphic::TPixelGraphic>&,
                const std::string& value) { io::PGJPEGQuality = JPEGQualityOption(value); },
});

}  // namespace
}  // namespace cli
