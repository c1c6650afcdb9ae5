#include "support/cli_runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace korvane_test {

namespace fs = std::filesystem;

CliResult RunProgram(const std::string& program, const std::string& arguments,
                     const fs::path& dir) {
  const fs::path errFile = dir / "stderr.txt";
  const std::string command = "cd '" + dir.string() + "' && '" + program + "' " + arguments +
                              " 2>'" + errFile.string() + "'";
  CliResult r;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return r;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), pipe)) > 0) r.out.append(buf.data(), n);
  const int raw = ::pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream in(errFile);
  r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return r;
}

void ScratchFolderTest::SetUp() {
  dir =
      fs::temp_directory_path() / ("korvane-" + tag_ + "-" + std::to_string(::getpid()) + "-" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
}

void ScratchFolderTest::TearDown() {
  fs::remove_all(dir);
}

std::string ScratchFolderTest::P(const std::string& name) const {
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "'" + string.
  std::string quoted = "'";
  quoted += (dir / name).string();
  quoted += "'";
  return quoted;
}

}  // namespace korvane_test
