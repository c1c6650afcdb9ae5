// Running a command-line program as a separate process from tests, and a fresh
// scratch folder for each test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace korvane_test {

struct CliResult {
  int status = -1;  // exit status; -1 when the program did not exit normally
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
};

// Runs `program arguments` through the shell inside `dir` (arguments already
// shell-quoted where needed). Standard error goes through dir/stderr.txt.
CliResult RunProgram(const std::string& program, const std::string& arguments,
                     const std::filesystem::path& dir);

// A test fixture with its own empty folder, named after the tag, the process and
// the test, removed when the test ends.
class ScratchFolderTest : public ::testing::Test {
 protected:
  explicit ScratchFolderTest(std::string tag) : tag_(std::move(tag)) {}
  void SetUp() override;
  void TearDown() override;
  // The file's full path in single quotes, for a command line.
  std::string P(const std::string& name) const;

  std::filesystem::path dir;

 private:
  std::string tag_;
};

}  // namespace korvane_test
