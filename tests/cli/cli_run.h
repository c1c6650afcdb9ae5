// korvane-cli as the program under test (its path is known to the cli tests only).
#pragma once

#include "support/cli_runner.h"

namespace korvane_test {

inline CliResult RunCli(const std::string& arguments, const std::filesystem::path& dir) {
  return RunProgram(KORVANE_CLI, arguments, dir);
}

}  // namespace korvane_test
