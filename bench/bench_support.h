// Shared by the benchmark programs: where the photographs are, and a reader for
// the binary PPM they come as, kept apart from the library's own readers so the
// benchmarks do not depend on what they measure.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"

namespace bench {

// The folder made by scripts/fetch-bench-images: KORVANE_BENCH_IMAGES, or else
// build-ext/bench in the source tree.
inline std::string ImageFolder() {
  if (const char* dir = std::getenv("KORVANE_BENCH_IMAGES")) return dir;
  return std::string(KORVANE_SOURCE_DIR) + "/build-ext/bench";
}

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

// Reads a binary PPM (P6, maxval 255, '#' comments allowed in the header) into
// a 24-bit image; false when the file is missing, of another kind or short.
inline bool ReadPPM(const std::string& path, pgraphic::TPixelGraphic& image) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  auto token = [&]() {
    std::string t;
    char c;
    while (in.get(c)) {
      if (c == '#') {
        while (in.get(c) && c != '\n') {
        }
      } else if (!std::isspace(static_cast<unsigned char>(c))) {
        t += c;
        break;
      }
    }
    while (in.get(c) && !std::isspace(static_cast<unsigned char>(c))) t += c;
    return t;
  };
  if (token() != "P6") return false;
  int w = 0, h = 0, maxval = 0;
  try {
    w = std::stoi(token());
    h = std::stoi(token());
    maxval = std::stoi(token());
  } catch (const std::exception&) {
    return false;
  }
  if (maxval != 255 || w <= 0 || h <= 0) return false;
  image.SetSize(w, h, pgraphic::pf24Bit);
  std::string row(3 * static_cast<size_t>(w), '\0');
  for (int y = 0; y < h; ++y) {
    if (!in.read(row.data(), static_cast<std::streamsize>(row.size()))) return false;
    uint8_t* d = image.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      d[3 * x] = static_cast<uint8_t>(row[3 * x + 2]);
      d[3 * x + 1] = static_cast<uint8_t>(row[3 * x + 1]);
      d[3 * x + 2] = static_cast<uint8_t>(row[3 * x]);
    }
  }
  return true;
}

// The 12-megapixel photograph (KORVANE_BENCH_PHOTO, or kleiber-12mp.ppm in the
// image folder), read once; the program stops with a message when it is missing.
inline const pgraphic::TPixelGraphic& Photograph() {
  static const pgraphic::TPixelGraphic& photo = *[] {
    const char* env = std::getenv("KORVANE_BENCH_PHOTO");
    const std::string path = env ? env : ImageFolder() + "/kleiber-12mp.ppm";
    auto* g = new pgraphic::TPixelGraphic;  // lives for the whole run
    if (!ReadPPM(path, *g)) {
      std::fprintf(stderr, "cannot read %s; run scripts/fetch-bench-images\n", path.c_str());
      std::exit(1);
    }
    return g;
  }();
  return photo;
}

}  // namespace bench
