// --jpeg-quality 5..95: the quality the JPEG writer uses for this conversion.
#include <string>

#include "cli/cli.h"
#include "pgraphic/formats/jpeg.h"

namespace cli {
namespace {

// The value as a number in 5..95, or -1.
int Quality(const std::string& value) {
  if (value.empty() || value.size() > 2) return -1;
  for (char c : value) {
    if (c < '0' || c > '9') return -1;
  }
  const int q = std::stoi(value);
  return q >= 5 && q <= 95 ? q : -1;
}

const TConvertStepRegistrar reg({
    .option = {"--jpeg-quality", true, "5..95"},
    .order = 300,  // changes no pixels; only the setting the writer reads
    .validate =
        [](const std::string& value) {
          if (Quality(value) < 0) throw UsageError("--jpeg-quality takes a number from 5 to 95");
        },
    .apply = [](std::unique_ptr<pgraphic::TPixelGraphic>&,
                const std::string& value) { pgraphic::PGJPEGQuality = Quality(value); },
});

}  // namespace
}  // namespace cli
