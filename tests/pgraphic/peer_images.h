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
#include <optional>
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
struct TempDir : korvane_test::ScratchDir {
  TempDir() : ScratchDir("test") {}
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

// Reads raw PBM, PGM or PPM (P4, P5, P6) with maxval up to 255, as peers write it;
// samples are scaled to 0..255 with rounding.
inline bool ReadPNM(const std::vector<uint8_t>& bytes, RGBImage& image) {
  const std::optional<korvane_test::PnmRaster> r = korvane_test::ParsePnm(bytes);
  if (!r || r->width <= 0 || r->height <= 0 || r->maxval > 255) return false;
  const int maxval = r->maxval;
  const size_t channels = static_cast<size_t>(r->channels);
  image.Width = r->width;
  image.Height = r->height;
  const size_t n = static_cast<size_t>(image.Width) * image.Height;
  image.RGB.assign(3 * n, 0);
  auto scale = [&](int v) { return static_cast<uint8_t>((v * 255 + maxval / 2) / maxval); };
  for (size_t i = 0; i < n; ++i) {
    for (size_t c = 0; c < 3; ++c) {
      image.RGB[3 * i + c] = scale(r->samples[channels * i + (channels == 3 ? c : 0)]);
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
