// korvane-cli batch --to DIR --format EXT [--colors ..] [--mirror ..] [--rotate ..]
// [--partial] FILES...: converts every file into DIR, going on past failures
// (a file that ends early is one, unless --partial); lists the files
// that failed or were skipped (their output name is another file's of the run)
// and exits with 1 when there were any.
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "cli/cli.h"
#include "io/batch.h"
#include "io/files.h"

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
  // The options convert shares are parsed by convert's own code.
  if (args.Has("--colors")) settings.Colors = ColorsOption(args.Get("--colors"));
  if (args.Has("--mirror")) settings.Mirror = MirrorOption(args.Get("--mirror"));
  if (args.Has("--rotate")) settings.Rotate = RotateOption(args.Get("--rotate"));
  if (args.Has("--jpeg-quality")) {
    io::PGJPEGQuality = JPEGQualityOption(args.Get("--jpeg-quality"));
  }
  settings.VQNQuality = VQNQualityOf(args);
  settings.AutoOrient = args.Has("--auto-orient");
  // Reader warnings reach the question hook: a file that ends early fails
  // unless --partial converts what could be read.
  settings.ReadWarningAction = pgraphic::pgwaOKBox;

  const bool terminal = ::isatty(STDERR_FILENO);
  io::TBatchHooks hooks;
  hooks.ConfirmCreate = [](const std::string& question) {
    return io::AskUser("Batch conversion", question, false);
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
  std::cout << ".";
  const std::string skipped = io::SameNameSkippedText(result.SkippedSameName.size());
  if (!skipped.empty()) std::cout << " " << skipped;
  std::cout << "\n";
  for (const io::TBatchFailure& f : result.Failed) {
    std::cerr << "korvane-cli: " << f.File << ": " << f.Message << "\n";
  }
  for (const std::string& file : result.SkippedSameName) {
    std::cerr << "korvane-cli: " << file
              << ": skipped, its output name is the output or the source of another file\n";
  }
  return result.Failed.empty() && result.SkippedSameName.empty() ? 0 : 1;
}

const TCommandRegistrar reg(
    {.name = "batch",
     .synopsis = "batch --to DIR --format bmp|jpg|pbm|pgm|png|ppm|tga|tif|vqn "
                 "[--colors 2|16|256|gray|true] [--mirror vertical|horizontal] "
                 "[--rotate 180|left|right] [--quality 0..120] [--jpeg-quality 5..95] [--partial] "
                 "[--auto-orient] "
                 "FILES...",
     .options = {{"--to", true, "DIR"},
                 {"--format", true, "EXT"},
                 {"--colors", true, "2|16|256|gray|true"},
                 {"--mirror", true, "vertical|horizontal"},
                 {"--rotate", true, "180|left|right"},
                 {"--quality", true, "0..120"},
                 {"--jpeg-quality", true, "5..95"},
                 {"--partial", false, ""},
                 {"--auto-orient", false, ""}},
     .acceptsConvertOptions = false,
     .minFiles = 1,
     .maxFiles = -1,
     .run = Batch});

}  // namespace
}  // namespace cli
