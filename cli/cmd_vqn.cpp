// The wavelet format in korvane-cli: `compress IN OUT.vqn [--quality P]`, and
// the --quality position used wherever an image is saved as VQN.
#include <iostream>

#include "cli/cli.h"
#include "io/files.h"

namespace cli {
namespace {

constexpr int kDefaultPosition = 60;

// --quality: a track-bar position 0..120.
int ParsePosition(const std::string& text) {
  size_t used = 0;
  int value = -1;
  try {
    value = std::stoi(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || value < 0 || value > 120) {
    throw UsageError("--quality needs a track-bar position from 0 to 120, not \"" + text + "\"");
  }
  return value;
}

// `convert` accepts --quality for .vqn output; the image itself is not changed.
const TConvertStepRegistrar qualityOption(
    {.option = {"--quality", true, "0..120"},
     .order = 900,
     .validate = [](const std::string& v) { ParsePosition(v); },
     .apply = [](std::unique_ptr<pgraphic::TPixelGraphic>&, const std::string&) {}});

int Compress(const TArgs& args) {
  const int quality = VQNQualityOf(args);
  std::unique_ptr<pgraphic::TPixelGraphic> image = LoadImage(args.files[0]);
  AttachProgress(*image, "compressing");
  const io::CompressedData data = io::Compress(*image, quality);
  io::SaveCompressed(data, args.files[1]);
  std::cout << "Compression ratio is 1:" << io::CompressionRatio(data) << "\n"
            << "Size of VQN-file will be " << io::KbText(data.CodedLength) << " Kb\n";
  return 0;
}

const TCommandRegistrar reg({.name = "compress",
                             .synopsis = "compress IN OUT.vqn [--quality 0..120]",
                             .options = {{"--quality", true, "0..120"}},
                             .acceptsConvertOptions = false,
                             .minFiles = 2,
                             .maxFiles = 2,
                             .run = [](const TArgs& args) {
                               if (args.Has("--quality")) ParsePosition(args.Get("--quality"));
                               return Compress(args);
                             }});

}  // namespace

int VQNQualityOf(const TArgs& args) {
  return io::QualityFromPosition(args.Has("--quality") ? ParsePosition(args.Get("--quality"))
                                                       : kDefaultPosition);
}

}  // namespace cli
