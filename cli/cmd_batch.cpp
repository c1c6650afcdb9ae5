// korvane-cli batch --to DIR --format EXT [--colors ..] [--mirror ..] [--rotate ..]
// [--partial] [--jobs N] [--files-from FILE|- [-0]] [--shard K/N] [--report json]
// FILES...: converts every file into DIR, going on past failures (a file that
// ends early is one, unless --partial); lists the files that failed or were
// skipped (their output name is another file's of the run) and exits with 1
// when there were any. A shard is one of N parts of the sorted list that
// several machines convert side by side into one folder; files with the same
// output name always fall into the same part, so the parts together write
// what one run of the whole list writes.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "io/batch.h"
#include "io/files.h"

namespace cli {
namespace {

// A whole number in [low, high] given to `option`.
int WholeOption(const std::string& option, const std::string& text, int low, int high) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    throw UsageError(option + " takes a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high));
  }
  return value;
}

// The names listed in `path` ("-": standard input), one a line or, with
// `nul`, each ended by a NUL byte; empty names are left out.
std::vector<std::string> ListedFiles(const std::string& path, bool nul) {
  std::string text;
  if (path == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), {});
  } else {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    text.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> files;
  const char end = nul ? '\0' : '\n';
  for (size_t at = 0; at < text.size();) {
    size_t stop = text.find(end, at);
    if (stop == std::string::npos) stop = text.size();
    if (stop > at) files.push_back(text.substr(at, stop - at));
    at = stop + 1;
  }
  return files;
}

// The k-th (1-based) of n parts of the sorted list. Files are grouped by their
// output name, and the groups, in the order of the sorted list, are dealt to
// the parts in turn.
std::vector<std::string> Shard(std::vector<std::string> files, const std::string& shard,
                               io::TBatchFormat format) {
  const size_t slash = shard.find('/');
  if (slash == std::string::npos) throw UsageError("--shard takes K/N, such as 2/4");
  const int n = WholeOption("--shard", shard.substr(slash + 1), 1, 1000000);
  const int k = WholeOption("--shard", shard.substr(0, slash), 1, n);
  std::sort(files.begin(), files.end());
  std::map<std::string, size_t> groups;
  std::vector<std::string> part;
  for (const std::string& file : files) {
    const auto group = groups.emplace(io::BatchOutputName(file, "", format), groups.size()).first;
    if (group->second % static_cast<size_t>(n) == static_cast<size_t>(k - 1)) part.push_back(file);
  }
  return part;
}

// A JSON string; bytes that are not UTF-8 text are written as \u00XX.
std::string Json(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    for (size_t j = 1; j < length; ++j) {
      if (i + j >= text.size() || (static_cast<unsigned char>(text[i + j]) >> 6) != 2) length = 0;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || length == 0) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out.append(text, i, length);
      i += length - 1;
    }
  }
  return out + "\"";
}

void PrintJsonReport(std::ostream& out, const io::TBatchResult& result) {
  static const char* const kStatus[] = {"not converted", "converted", "failed", "skipped"};
  out << "{\n  \"message\": " << Json(result.Message) << ",\n  \"total\": " << result.Total
      << ",\n  \"converted\": " << result.Converted
      << ",\n  \"skipped\": " << result.SkippedSameName.size()
      << ",\n  \"failed\": " << result.Failed.size()
      << ",\n  \"interrupted\": " << (result.Interrupted ? "true" : "false") << ",\n  \"files\": [";
  for (size_t i = 0; i < result.Files.size(); ++i) {
    const io::TBatchFile& f = result.Files[i];
    out << (i ? ",\n" : "\n") << "    {\"source\": " << Json(f.Source)
        << ", \"output\": " << Json(f.Output)
        << ", \"status\": " << Json(kStatus[static_cast<int>(f.Status)])
        << ", \"reason\": " << Json(f.Reason) << "}";
  }
  out << (result.Files.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

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
  if (args.Has("--jobs")) settings.Jobs = WholeOption("--jobs", args.Get("--jobs"), 1, 1024);
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
  std::vector<std::string> files = args.files;
  if (args.Has("--files-from")) {
    const std::vector<std::string> listed = ListedFiles(args.Get("--files-from"), args.Has("-0"));
    files.insert(files.end(), listed.begin(), listed.end());
  } else if (files.empty()) {
    throw UsageError("batch needs FILES or --files-from");
  }
  if (args.Has("--shard")) files = Shard(std::move(files), args.Get("--shard"), settings.Format);
  const bool json = args.Has("--report");
  if (json && args.Get("--report") != "json") throw UsageError("--report takes json");

  io::TBatchResult result;
  result.Message = "Conversion is complete!";
  try {
    // A shard may be empty: then there is nothing to do, which is no error.
    if (!files.empty() || !args.Has("--shard")) result = io::ConvertFiles(files, settings, hooks);
  } catch (const io::EBatchConversion& e) {
    if (terminal) std::fprintf(stderr, "\r\033[K");
    std::cerr << "korvane-cli: " << (*e.what() ? e.what() : "Conversion was not started.") << "\n";
    return 1;
  }
  if (terminal) std::fprintf(stderr, "\r\033[K");
  // With a JSON report, standard output carries the report alone.
  std::ostream& summary = json ? std::cerr : std::cout;
  summary << result.Message << " " << result.CountsText();
  const std::string skipped = io::SameNameSkippedText(result.SkippedSameName.size());
  if (!skipped.empty()) summary << " " << skipped;
  summary << "\n";
  if (json) PrintJsonReport(std::cout, result);
  for (const std::string& line : result.ProblemLines())
    std::cerr << "korvane-cli: " << line << "\n";
  return result.Failed.empty() && result.SkippedSameName.empty() ? 0 : 1;
}

const TCommandRegistrar reg(
    {.name = "batch",
     .synopsis = "batch --to DIR --format bmp|jpg|pbm|pgm|png|ppm|tga|tif|vqn "
                 "[--colors 2|16|256|gray|true] [--mirror vertical|horizontal] "
                 "[--rotate 180|left|right] [--quality 0..120] [--jpeg-quality 5..95] [--partial] "
                 "[--jobs N] [--files-from FILE|- [-0]] [--shard K/N] [--report json] "
                 "[--auto-orient] FILES...",
     .options = {{"--to", true, "DIR"},
                 {"--format", true, "EXT"},
                 {"--colors", true, "2|16|256|gray|true"},
                 {"--mirror", true, "vertical|horizontal"},
                 {"--rotate", true, "180|left|right"},
                 {"--quality", true, "0..120"},
                 {"--jpeg-quality", true, "5..95"},
                 {"--partial", false, ""},
                 {"--jobs", true, "N"},
                 {"--files-from", true, "FILE|-"},
                 {"-0", false, ""},
                 {"--shard", true, "K/N"},
                 {"--report", true, "json"},
                 {"--auto-orient", false, ""}},
     .acceptsConvertOptions = false,
     .minFiles = 0,
     .maxFiles = -1,
     .run = Batch});

}  // namespace
}  // namespace cli
