// The command-line tool's small framework. Each subcommand lives in its own file
// and registers itself with a static TCommandRegistrar; options that change the
// image on its way through `convert` (and batch work) register a TConvertStep.
// Files are opened, saved and described through the io layer's one service.
// main.cpp only parses and dispatches.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "io/batch.h"
#include "pgraphic/image/colorres.h"
#include "pgraphic/image/pixelgraphic.h"

namespace cli {

// A wrong command line: reported in one line that points to --help, exit status 2.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

struct TOptionSpec {
  std::string name;         // with the dashes: "--colors"
  bool takesValue = false;  // "--colors 256" or "--colors=256"
  std::string help;         // e.g. "2|16|256|gray|true"
};

// A parsed command line: the command, its file names and its options. Options
// may stand before or after the file names; "--" ends the options.
struct TArgs {
  std::string command;
  std::vector<std::string> files;
  std::map<std::string, std::string> options;

  bool Has(const std::string& name) const { return options.count(name) != 0; }
  std::string Get(const std::string& name, const std::string& fallback = "") const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
  }
};

struct TCommand {
  std::string name;
  std::string synopsis;  // shown in the usage text after "korvane-cli "
  std::vector<TOptionSpec> options;
  bool acceptsConvertOptions = false;  // also takes every registered convert step
  int minFiles = 0;
  int maxFiles = -1;  // -1: any number
  // Returns the exit status; raises UsageError for a wrong command line and any
  // other exception for failed work (exit status 1, message on stderr).
  std::function<int(const TArgs&)> run;
};

void RegisterCommand(TCommand command);

struct TCommandRegistrar {
  explicit TCommandRegistrar(TCommand command) { RegisterCommand(std::move(command)); }
};

// One change of the image between reading and writing. Steps run in ascending
// order: 100..199 geometry and filters, 200 the colour resolution.
struct TConvertStep {
  TOptionSpec option;
  int order = 100;
  // Checks the value while the command line is parsed; raises UsageError.
  std::function<void(const std::string& value)> validate;
  // Changes the image (or replaces it with a new one).
  std::function<void(std::unique_ptr<pgraphic::TPixelGraphic>& image, const std::string& value)>
      apply;
};

void RegisterConvertStep(TConvertStep step);

struct TConvertStepRegistrar {
  explicit TConvertStepRegistrar(TConvertStep step) { RegisterConvertStep(std::move(step)); }
};

// The values of the options convert and batch share, parsed by one piece of
// code each (in the step files); a wrong value raises UsageError.
pgraphic::TColorCommand ColorsOption(const std::string& value);  // --colors
io::TBatchMirror MirrorOption(const std::string& value);         // --mirror
io::TBatchRotate RotateOption(const std::string& value);         // --rotate
int JPEGQualityOption(const std::string& value);                 // --jpeg-quality

// Runs the convert steps whose options are present in args, in their order.
void ApplyConvertSteps(std::unique_ptr<pgraphic::TPixelGraphic>& image, const TArgs& args);

// Loads, saves and describes through the file service (io/files.h), which
// routes every extension, .vqn included. Loading and saving show progress on a
// terminal; saving as VQN compresses at the --quality position of args.
std::unique_ptr<pgraphic::TPixelGraphic> LoadImage(const std::string& path,
                                                   const io::TOpenOptions& options = {});
void SaveImage(pgraphic::TPixelGraphic& image, const std::string& path, const TArgs& args);
std::string DescribeFile(const std::string& path);

// The quality value of the --quality track-bar position in args (default 60);
// raises UsageError for a position outside 0..120.
int VQNQualityOf(const TArgs& args);

// Lower-case extension of a path without the dot.
std::string ExtensionOf(const std::string& path);

// Shows the image's progress events as a bar on stderr when stderr is a
// terminal; does nothing otherwise.
void AttachProgress(pgraphic::TPixelGraphic& image, const std::string& label);

// Parses and runs a command line; returns the exit status.
int Run(int argc, char** argv);

}  // namespace cli
