// Files whose header claims a side x side picture followed by a few packets of
// data and no more, for the readers that must say so before sizing the image.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bmp_builder.h"

namespace korvane_test {

// ext: "gif" (2 colours, LZW data of literal zeros), "bmp" (RLE8 runs of
// index 1 without end of bitmap) or "tga" (run-length gray packets of 0x80).
inline std::vector<uint8_t> TruncatedPicture(const std::string& ext, int side) {
  std::vector<uint8_t> f;
  if (ext == "gif") {
    f = {'G', 'I', 'F', '8', '9', 'a'};
    PutLE(f, side, 2);
    PutLE(f, side, 2);
    f.insert(f.end(), {0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x2C, 0, 0, 0, 0});
    PutLE(f, side, 2);
    PutLE(f, side, 2);
    f.insert(f.end(), {0, 2});  // no local table; code size 2
    for (int block = 0; block < 3; ++block) {
      f.push_back(200);
      f.insert(f.end(), 200, 0);
    }
    return f;
  }
  if (ext == "bmp") {
    BmpSpec s;
    s.width = s.height = side;
    s.bitCount = 8;
    s.compression = 1;
    s.palette = {0x000000, 0xFFFFFF};
    s.clrUsed = 2;
    for (int run = 0; run < 300; ++run) s.pixels.insert(s.pixels.end(), {200, 1});
    return BuildBmp(s);
  }
  f = {0, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // run-length gray, no colour map
  PutLE(f, side, 2);
  PutLE(f, side, 2);
  f.insert(f.end(), {8, 0});
  for (int packet = 0; packet < 300; ++packet) f.insert(f.end(), {0xFF, 0x80});
  return f;
}

}  // namespace korvane_test
