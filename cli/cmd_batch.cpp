// korvane-cli batch --to DIR --format EXT [--colors ..] [--mirror ..] [--rotate ..]
// FILES...: converts every file into DIR, going on past failures; lists the files
// that failed and exits with 1 when there were any.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "cli/cli.h"
#include "io/batch.h"
#include "pgraphic/formats/fileformat.h"
#include "pgraphic/formats/jpeg.h"

namespace cli {
namespace {

int Batch(const TArgs& args) {
  io::TBatchSettings settings;
  if (!args.Has("--to")) throw UsageError("batch needs --to DIR");
  if (!args.Has("--format")) throw UsageError("batch needs --format EXT");
  settings.TargetFolder = args.Get("--to");
  if (!io::BatchFormatFromName(args.Get("--format"), settings.Format)) {
    throw UsageError("--format takes bmp, jpg, pbm, pgm, png, ppm, tga, tif or vqn");
  }
  const std::string colors = args.Get("--colors", "true");
  if (colors == "2")
    settings.Colors = pgraphic::ccColors2;
  else if (colors == "16")
    settings.Colors = pgraphic::ccColors16;
  else if (colors == "256")
    settings.Colors = pgraphic::ccColors256;
  else if (colors == "gray")
    settings.Colors = pgraphic::ccGray256;
  else if (colors == "true")
    settings.Colors = pgraphic::ccTrueColor;
  else
    throw UsageError("--colors takes 2, 16, 256, gray or true");
  const std::string mirror = args.Get("--mirror", "none");
  if (mirror == "vertical")
    settings.Mirror = io::TBatchMirror::Vertical;
  else if (mirror == "horizontal")
    settings.Mirror = io::TBatchMirror::Horizontal;
  else if (mirror != "none")
    throw UsageError("--mirror takes vertical or horizontal");
  const std::string rotate = args.Get("--rotate", "none");
  if (rotate == "180")
    settings.Rotate = io::TBatchRotate::Half;
  else if (rotate == "left")
    settings.Rotate = io::TBatchRotate::Left;
  else if (rotate == "right")
    settings.Rotate = io::TBatchRotate::Right;
  else if (rotate != "none")
    throw UsageError("--rotate takes 180, left or right");
  if (args.Has("--jpeg-quality")) {
    const std::string value = args.Get("--jpeg-quality");
    int quality = -1;
    if (!value.empty() && value.size() <= 2 &&
        value.find_first_not_of("0123456789") == std::string::npos) {
      quality = std::stoi(value);
    }
    if (quality < 5 || quality > 95) throw UsageError("--jpeg-quality takes a number from 5 to 95");
    pgraphic::PGJPEGQuality = quality;
  }

  settings.VQNQuality = VQNQualityOf(args);

  const bool terminal = ::isatty(STDERR_FILENO);
  io::TBatchHooks hooks;
  hooks.ConfirmCreate = [](const std::string& question) {
    return pgraphic::AskUser("Batch conversion", question, false);
  };
  int shown = -1;
  hooks.Progress = [&](int percent) {
    if (terminal && percent != shown) {
      shown = percent;
      const int filled = percent * 30 / 100;
      std::fprintf(stderr, "\rbatch [%s%s] %3d%%", std::string(filled, '#').c_str(),
                   std::string(30 - filled, '.').c_str(), percent);
      std::fflush(stderr);
    }
    return false;
  };
  io::TBatchResult result;
  try {
    result = io::ConvertFiles(args.files, settings, hooks);
  } catch (const io::EBatchConversion& e) {
    if (terminal) std::fprintf(stderr, "\r\033[K");
    std::cerr << "korvane-cli: " << (*e.what() ? e.what() : "Conversion was not started.") << "\n";
    return 1;
  }
  if (terminal) std::fprintf(stderr, "\r\033[K");
  std::cout << result.Message << " " << result.Converted << " of " << args.files.size()
            << " files converted";
  if (!result.Failed.empty()) std::cout << ", " << result.Failed.size() << " failed";
  std::cout << ".\n";
  for (const io::TBatchFailure& f : result.Failed) {
    std::cerr << "korvane-cli: " << f.File << ": " << f.Message << "\n";
  }
  return result.Failed.empty() ? 0 : 1;
}

const TCommandRegistrar reg(
    {.name = "batch",
     .synopsis = "batch --to DIR --format bmp|jpg|pbm|pgm|png|ppm|tga|tif|vqn "
                 "[--colors 2|16|256|gray|true] [--mirror vertical|horizontal] "
                 "[--rotate 180|left|right] [--quality 0..120] [--jpeg-quality 5..95] FILES...",
     .options = {{"--to", true, "DIR"},
                 {"--format", true, "EXT"},
                 {"--colors", true, "2|16|256|gray|true"},
                 {"--mirror", true, "vertical|horizontal"},
                 {"--rotate", true, "180|left|right"},
                 {"--quality", true, "0..120"},
                 {"--jpeg-quality", true, "5..95"}},
     .acceptsConvertOptions = false,
     .minFiles = 1,
     .maxFiles = -1,
     .run = Batch});

}  // namespace
}  // namespace cli
