// Helpers for tests that compare our readers with what Debian's peer tools
// write and decode: a scratch folder, running a tool quietly, reading their PNM
// output. File bytes and tool checks come from support/peer_image.h.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"
#include "support/peer_image.h"

namespace peer {

namespace fs = std::filesystem;

using korvane_test::HaveTool;
using korvane_test::kImageMagick;
using korvane_test::kPython;

// Runs a shell command with its error output discarded; returns its exit status
// (non-zero also when it could not start).
inline int Run(const std::string& command) {
  return korvane_test::RunShell(command + " 2>/dev/null");
}

// A scratch folder removed with everything in it when the test ends.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "korvane-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string operator/(const std::string& name) const { return (fs::path(path_) / name).string(); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// An RGB picture as a peer decoded it.
struct RGBImage {
  int Width = 0, Height = 0;
  std::vector<uint8_t> RGB;  // 3 bytes a pixel, rows top-down
  pgraphic::TRGB At(int x, int y) const {
    const uint8_t* p = &RGB[3 * (static_cast<size_t>(y) * Width + x)];
    return pgraphic::RGB(p[0], p[1], p[2]);
  }
};

// Reads raw PBM, PGM or PPM (P4, P5, P6) with maxval up to 255, as peers write it.
inline bool ReadPNM(const std::vector<uint8_t>& bytes, RGBImage& image) {
  size_t pos = 0;
  auto token = [&]() -> std::string {
    std::string t;
    while (pos < bytes.size()) {
      const char c = static_cast<char>(bytes[pos]);
      if (c == '#') {
        while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        if (!t.empty()) break;
        ++pos;
      } else {
        t += c;
        ++pos;
      }
    }
    return t;
  };
  const std::string magic = token();
  if (magic != "P4" && magic != "P5" && magic != "P6") return false;
  image.Width = std::atoi(token().c_str());
  image.Height = std::atoi(token().c_str());
  const int maxval = magic == "P4" ? 1 : std::atoi(token().c_str());
  if (image.Width <= 0 || image.Height <= 0 || maxval <= 0 || maxval > 255) return false;
  ++pos;  // the single white space after the header
  const size_t n = static_cast<size_t>(image.Width) * image.Height;
  image.RGB.assign(3 * n, 0);
  auto scale = [&](int v) { return static_cast<uint8_t>((v * 255 + maxval / 2) / maxval); };
  if (magic == "P4") {
    const size_t rowBytes = (static_cast<size_t>(image.Width) + 7) / 8;
    if (bytes.size() < pos + rowBytes * image.Height) return false;
    for (int y = 0; y < image.Height; ++y) {
      for (int x = 0; x < image.Width; ++x) {
        const bool black = (bytes[pos + y * rowBytes + x / 8] >> (7 - x % 8)) & 1;
        for (int c = 0; c < 3; ++c) image.RGB[3 * (y * image.Width + x) + c] = black ? 0 : 255;
      }
    }
  } else {
    const int channels = magic == "P5" ? 1 : 3;
    if (bytes.size() < pos + channels * n) return false;
    for (size_t i = 0; i < n; ++i) {
      for (int c = 0; c < 3; ++c) {
        image.RGB[3 * i + c] = scale(bytes[pos + channels * i + (channels == 3 ? c : 0)]);
      }
    }
  }
  return true;
}

inline bool ReadPNMFile(const std::string& path, RGBImage& image) {
  return ReadPNM(korvane_test::ReadFileBytes(path), image);
}

// Describes the differences between our image and a peer's decode: empty when
// every pixel agrees.
inline std::string ComparePixels(const pgraphic::TPixelGraphic& ours, const RGBImage& theirs) {
  std::ostringstream out;
  if (ours.Width() != theirs.Width || ours.Height() != theirs.Height) {
    out << "size " << ours.Width() << "x" << ours.Height() << " vs " << theirs.Width << "x"
        << theirs.Height;
    return out.str();
  }
  int bad = 0;
  for (int y = 0; y < theirs.Height; ++y) {
    for (int x = 0; x < theirs.Width; ++x) {
      const pgraphic::TRGB a = ours.PixelColor(x, y), b = theirs.At(x, y);
      if (a != b) {
        if (bad < 3)
          out << "(" << x << "," << y << ") " << std::hex << a << " vs " << b << std::dec << "; ";
        ++bad;
      }
    }
  }
  if (bad) out << bad << " pixels differ";
  return out.str();
}

}  // namespace peer
