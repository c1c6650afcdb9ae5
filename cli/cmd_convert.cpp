// korvane-cli convert IN OUT [options]: read, change, write. The pipeline is
// read -> convert steps (geometry, filters, then colour resolution) -> write;
// options come from the registered convert steps. A file that ends before its
// picture is complete fails unless --partial takes what could be read.
// --auto-orient puts a photograph upright by its orientation tag as it is read.
#include "cli/cli.h"

namespace cli {
namespace {

int Convert(const TArgs& args) {
  std::unique_ptr<pgraphic::TPixelGraphic> image =
      LoadImage(args.files[0], {.AutoOrient = args.Has("--auto-orient")});
  ApplyConvertSteps(image, args);
  SaveImage(*image, args.files[1], args);
  return 0;
}

const TCommandRegistrar reg({.name = "convert",
                             .synopsis = "convert IN OUT [--partial] [--auto-orient] [options]",
                             .options = {{"--partial", false, ""}, {"--auto-orient", false, ""}},
                             .acceptsConvertOptions = true,
                             .minFiles = 2,
                             .maxFiles = 2,
                             .run = Convert});

}  // namespace
}  // namespace cli
