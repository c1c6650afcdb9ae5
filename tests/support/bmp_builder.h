// Builds BMP files byte by byte for tests: any header field can be set to
// whatever value a test needs, including invalid ones.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace korvane_test {

struct BmpSpec {
  uint32_t headerSize = 40;  // 12 = core header; anything else is written as 40 bytes + padding
  int32_t width = 1;
  int32_t height = 1;
  uint16_t planes = 1;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;  // 0: the size of `pixels`
  uint32_t clrUsed = 0;
  std::vector<uint32_t> masks;    // written after the header (bit fields)
  std::vector<uint32_t> palette;  // 0x00RRGGBB; 3 bytes each for core headers
  std::vector<uint8_t> pixels;
};

// A 1 x 1 24-bit file with the given pixel bytes.
inline BmpSpec PixelsOnly(std::vector<uint8_t> pixels) {
  BmpSpec s;
  s.pixels = std::move(pixels);
  return s;
}

inline void PutLE(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline std::vector<uint8_t> BuildBmp(const BmpSpec& s) {
  std::vector<uint8_t> out;
  const bool core = s.headerSize == 12;
  const uint32_t entry = core ? 3 : 4;
  const uint32_t offset = 14 + s.headerSize + 4 * static_cast<uint32_t>(s.masks.size()) +
                          entry * static_cast<uint32_t>(s.palette.size());
  out.push_back('B');
  out.push_back('M');
  PutLE(out, offset + static_cast<uint32_t>(s.pixels.size()), 4);
  PutLE(out, 0, 4);
  PutLE(out, offset, 4);
  PutLE(out, s.headerSize, 4);
  if (core) {
    PutLE(out, static_cast<uint32_t>(s.width), 2);
    PutLE(out, static_cast<uint32_t>(s.height), 2);
    PutLE(out, s.planes, 2);
    PutLE(out, s.bitCount, 2);
  } else {
    PutLE(out, static_cast<uint32_t>(s.width), 4);
    PutLE(out, static_cast<uint32_t>(s.height), 4);
    PutLE(out, s.planes, 2);
    PutLE(out, s.bitCount, 2);
    PutLE(out, s.compression, 4);
    PutLE(out, s.sizeImage ? s.sizeImage : static_cast<uint32_t>(s.pixels.size()), 4);
    PutLE(out, 0, 4);
    PutLE(out, 0, 4);
    PutLE(out, s.clrUsed, 4);
    PutLE(out, 0, 4);
    for (uint32_t i = 40; i < s.headerSize; ++i) out.push_back(0);
  }
  for (uint32_t m : s.masks) PutLE(out, m, 4);
  for (uint32_t c : s.palette) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(static_cast<uint8_t>(c >> 16));
    if (!core) out.push_back(0);
  }
  out.insert(out.end(), s.pixels.begin(), s.pixels.end());
  return out;
}

}  // namespace korvane_test
