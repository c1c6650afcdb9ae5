// korvane-cli info FILE...: the information text of each file.
#include <iostream>

#include "cli/cli.h"

namespace cli {
namespace {

int Info(const TArgs& args) {
  int status = 0;
  for (const std::string& file : args.files) {
    try {
      const std::string text = DescribeFile(file);
      std::cout << file << ": " << text << "\n";
    } catch (const std::exception& e) {
      std::cout.flush();
      std::cerr << "korvane-cli: " << file << ": " << e.what() << "\n";
      status = 1;
    }
  }
  return status;
}

const TCommandRegistrar reg({.name = "info",
                             .synopsis = "info FILE...",
                             .options = {},
                             .acceptsConvertOptions = false,
                             .minFiles = 1,
                             .maxFiles = -1,
                             .run = Info});

}  // namespace
}  // namespace cli
