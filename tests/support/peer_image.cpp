#include "support/peer_image.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace korvane_test {

uint32_t PeerImage::At(int x, int y) const {
  const size_t i =
      3 * (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x));
  return rgb[i] | (rgb[i + 1] << 8) | (rgb[i + 2] << 16);
}

bool HaveTool(const std::string& path) {
  return ::access(path.c_str(), X_OK) == 0;
}

int RunShell(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  q += "'";
  return q;
}

std::optional<PeerImage> DecodePnmFromCommand(const std::string& command) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) data.insert(data.end(), buf, buf + n);
  // The exit status is not consulted: a tool that complains about a detail of
  // a file after decoding it still writes the whole image, which is checked below.
  ::pclose(pipe);
  // Header: magic, width, height, maxval, separated by white space (no comments
  // from these tools), then one white-space byte.
  size_t p = 0;
  auto token = [&]() -> std::string {
    while (p < data.size() && std::isspace(data[p])) ++p;
    std::string t;
    while (p < data.size() && !std::isspace(data[p])) t += static_cast<char>(data[p++]);
    return t;
  };
  const std::string magic = token();
  if (magic != "P6" && magic != "P5") return std::nullopt;
  PeerImage img;
  img.width = std::stoi(token());
  img.height = std::stoi(token());
  if (std::stoi(token()) != 255) return std::nullopt;
  ++p;
  const size_t channels = magic == "P6" ? 3 : 1;
  const size_t count = static_cast<size_t>(img.width) * static_cast<size_t>(img.height);
  if (data.size() < p + channels * count) return std::nullopt;
  img.rgb.resize(3 * count);
  for (size_t i = 0; i < count; ++i) {
    for (size_t c = 0; c < 3; ++c)
      img.rgb[3 * i + c] = data[p + channels * i + (channels == 3 ? c : 0)];
  }
  return img;
}

std::optional<PeerImage> DecodeWithImageMagick(const std::string& path) {
  if (!HaveTool(kImageMagick)) return std::nullopt;
  return DecodePnmFromCommand(std::string(kImageMagick) + " " + ShellQuote(path) +
                              " -depth 8 -type TrueColor ppm:- 2>/dev/null");
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

ScratchDir::ScratchDir(const std::string& tag) {
  path = (std::filesystem::temp_directory_path() /
          ("korvane-" + tag + "-" + std::to_string(::getpid())))
             .string();
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

}  // namespace korvane_test
