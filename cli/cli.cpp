#include "cli/cli.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <new>

#include "io/files.h"

namespace cli {

namespace {

std::vector<TCommand>& Commands() {
  static std::vector<TCommand> list;
  return list;
}

std::vector<TConvertStep>& Steps() {
  static std::vector<TConvertStep> list;
  return list;
}

void PrintUsage(std::ostream& out) {
  out << "usage:\n";
  std::vector<const TCommand*> sorted;
  for (const TCommand& c : Commands()) sorted.push_back(&c);
  std::sort(sorted.begin(), sorted.end(),
            [](const TCommand* a, const TCommand* b) { return a->name < b->name; });
  for (const TCommand* c : sorted) out << "  korvane-cli " << c->synopsis << "\n";
  std::vector<TConvertStep> steps = Steps();
  std::sort(steps.begin(), steps.end(),
            [](const TConvertStep& a, const TConvertStep& b) { return a.order < b.order; });
  if (!steps.empty()) {
    out << "convert options:";
    for (const TConvertStep& s : steps) {
      out << " " << s.option.name;
      if (s.option.takesValue) out << " " << s.option.help;
    }
    out << "\n";
  }
  out << "Options may stand before or after the file names.\n";
}

// Text of a library message for a terminal: carriage returns become line breaks.
std::string ForTerminal(std::string text) {
  std::replace(text.begin(), text.end(), '\r', '\n');
  return text;
}

struct ProgressBar {
  std::string label;
  int lastPercent = -1;
  void Draw(int percent) {
    if (percent == lastPercent) return;
    lastPercent = percent;
    const int width = 30;
    const int filled = percent * width / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", label.c_str(), std::string(filled, '#').c_str(),
                 std::string(width - filled, '.').c_str(), percent);
    std::fflush(stderr);
  }
  void Clear() {
    if (lastPercent >= 0) std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    lastPercent = -1;
  }
};

}  // namespace

void RegisterCommand(TCommand command) {
  Commands().push_back(std::move(command));
}
void RegisterConvertStep(TConvertStep step) {
  Steps().push_back(std::move(step));
}

std::string ExtensionOf(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

void ApplyConvertSteps(std::unique_ptr<pgraphic::TPixelGraphic>& image, const TArgs& args) {
  std::vector<TConvertStep> steps = Steps();
  std::stable_sort(steps.begin(), steps.end(),
                   [](const TConvertStep& a, const TConvertStep& b) { return a.order < b.order; });
  for (const TConvertStep& s : steps) {
    if (args.Has(s.option.name)) s.apply(image, args.Get(s.option.name));
  }
}

void AttachProgress(pgraphic::TPixelGraphic& image, const std::string& label) {
  if (!::isatty(STDERR_FILENO)) return;
  auto bar = std::make_shared<ProgressBar>();
  bar->label = label;
  image.OnProgressStart = [bar](pgraphic::TPixelGraphic&) { bar->Draw(0); };
  image.OnProgress = [bar](pgraphic::TPixelGraphic&, int step, int max, bool&) {
    if (max > 0)
      bar->Draw(static_cast<int>(std::clamp<int64_t>(int64_t{step} * 100 / max, 0, 100)));
  };
  image.OnProgressEnd = [bar](pgraphic::TPixelGraphic&) { bar->Clear(); };
}

std::unique_ptr<pgraphic::TPixelGraphic> LoadImage(const std::string& path,
                                                   const io::TOpenOptions& options) {
  auto image = std::make_unique<pgraphic::TPixelGraphic>();
  AttachProgress(*image, io::FileKindOf(path) == io::TFileKind::Wavelet ? "decoding" : "reading");
  io::OpenImage(path, *image, 0, options);
  return image;
}

void SaveImage(pgraphic::TPixelGraphic& image, const std::string& path, const TArgs& args) {
  const bool wavelet = io::FileKindOf(path) == io::TFileKind::Wavelet;
  const io::TSaveOptions options{.VQNQuality =
                                     wavelet ? VQNQualityOf(args) : io::DefaultVQNQuality()};
  AttachProgress(image, wavelet ? "compressing" : "writing");
  io::SaveImage(image, path, options);
}

std::string DescribeFile(const std::string& path) {
  const io::TFileDescription d = io::DescribeFile(path);
  // The status bar's text, then what it leaves out: the image count of
  // multi-image files and the reader's extra text.
  std::string text = d.Text;
  if (d.Info.Count != 1) text += "; Images: " + std::to_string(d.Info.Count);
  if (!d.Info.Extra.empty()) text += "; Extra: " + d.Info.Extra;
  return text;
}

int Run(int argc, char** argv) {
  // A picture whose file ends early is an error unless --partial asks for
  // what could be read; other reader warnings are shown and the work goes on.
  static bool partial = false;
  io::SetQuestionHook([](const std::string& caption, const std::string& text, bool) {
    if (!partial && io::IsUnexpectedEndWarning(text)) {
      // The reader's own prefix ("GIF: "), or the format named by the caption ("JPG Warning").
      throw pgraphic::EPixelGraphic(text.find(": ") != std::string::npos
                                        ? text
                                        : caption.substr(0, caption.find(' ')) + ": " + text);
    }
    std::cerr << caption << ": " << ForTerminal(text) << "\n";
    return true;
  });
  TArgs args;
  try {
    if (argc < 2) throw UsageError("no command given");
    args.command = argv[1];
    if (args.command == "--help" || args.command == "-h" || args.command == "help") {
      PrintUsage(std::cout);
      return 0;
    }
    if (args.command == "--version") {
      std::cout << "korvane-cli " << KORVANE_VERSION << "\n";
      return 0;
    }
    const TCommand* command = nullptr;
    for (const TCommand& c : Commands()) {
      if (c.name == args.command) command = &c;
    }
    if (!command) throw UsageError("unknown command \"" + args.command + "\"");

    std::vector<TOptionSpec> accepted = command->options;
    if (command->acceptsConvertOptions) {
      for (const TConvertStep& s : Steps()) accepted.push_back(s.option);
    }
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
      std::string a = argv[i];
      // Long options, and the short ones a command names ("-0").
      const bool shortOption = std::any_of(accepted.begin(), accepted.end(), [&](const auto& o) {
        return o.name.size() == 2 && o.name == a;
      });
      if (optionsEnded || ((a.size() < 2 || a.compare(0, 2, "--") != 0) && !shortOption)) {
        args.files.push_back(a);
        continue;
      }
      if (a == "--") {
        optionsEnded = true;
        continue;
      }
      std::string value;
      bool hasValue = false;
      if (auto eq = a.find('='); eq != std::string::npos) {
        value = a.substr(eq + 1);
        a = a.substr(0, eq);
        hasValue = true;
      }
      auto known = std::find_if(accepted.begin(), accepted.end(),
                                [&](const TOptionSpec& o) { return o.name == a; });
      if (known == accepted.end()) {
        throw UsageError("unknown option " + a + " for " + args.command);
      }
      if (known->takesValue && !hasValue) {
        if (i + 1 >= argc) throw UsageError("option " + a + " needs a value");
        value = argv[++i];
      } else if (!known->takesValue && hasValue) {
        throw UsageError("option " + a + " takes no value");
      }
      args.options[a] = value;
    }
    for (const TConvertStep& s : Steps()) {
      if (command->acceptsConvertOptions && s.validate && args.Has(s.option.name)) {
        s.validate(args.Get(s.option.name));
      }
    }
    partial = args.Has("--partial");
    const int n = static_cast<int>(args.files.size());
    if (n < command->minFiles || (command->maxFiles >= 0 && n > command->maxFiles)) {
      throw UsageError("wrong number of file names for " + args.command);
    }
    return command->run(args);
  } catch (const UsageError& e) {
    // One line; the whole usage is a --help away.
    std::cerr << "korvane-cli: " << e.what() << " (see korvane-cli --help)\n";
    return 2;
  } catch (const std::bad_alloc&) {
    // Memory ran out somewhere the library does not know the picture's size.
    std::cerr << "korvane-cli: " << pgraphic::PictureTooLargeText(0, 0, 0) << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "korvane-cli: " << ForTerminal(e.what()) << "\n";
    return 1;
  }
}

}  // namespace cli
