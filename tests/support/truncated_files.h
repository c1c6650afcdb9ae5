// Files whose header claims a side x side picture followed by a few packets of
// data and no more, for the readers that must say so before sizing the image.
#pragma once

#include <string>
#include <vector>

#include "bmp_builder.h"

namespace korvane_test {

// ext "gif": 2 colours, LZW data of literal zeros; "bmp": RLE8 runs of index 1
// without end of bitmap; "tga": run-length gray packets of 0x80.
inline std::vector<uint8_t> TruncatedPicture(const std::string& ext, int side) {
  BmpSpec s;
  s.width = s.height = side;
  if (ext == "bmp") {
    s.bitCount = 8;
    s.compression = 1;
    s.palette = {0x000000, 0xFFFFFF};
    s.clrUsed = 2;
    for (int run = 0; run < 300; ++run) s.pixels.insert(s.pixels.end(), {200, 1});
    return BuildBmp(s);
  }
  std::vector<uint8_t> f = ext == "gif" ? std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a'}
                                        : std::vector<uint8_t>{0, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const uint32_t size = static_cast<uint32_t>(side) * 0x10001u;  // width and height
  PutLE(f, size, 4);
  if (ext == "gif") {
    f.insert(f.end(), {0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x2C, 0, 0, 0, 0});
    PutLE(f, size, 4);
    f.insert(f.end(), {0, 2});  // no local table; code size 2
    for (int block = 0; block < 3; ++block) f.insert(f.insert(f.end(), 200, 0), 200);
    return f;
  }
  f.insert(f.end(), {8, 0});
  for (int packet = 0; packet < 300; ++packet) f.insert(f.end(), {0xFF, 0x80});
  return f;
}

}  // namespace korvane_test
