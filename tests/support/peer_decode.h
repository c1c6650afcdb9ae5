// Helpers for interop tests: run the Debian peer tools, read what they decode
// (binary PPM, parsed here independently of the library's own reader) and
// compare it with a TPixelGraphic pixel by pixel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"
#include "support/peer_image.h"

namespace testsupport {

struct TRGBImage {
  int Width = 0, Height = 0;
  std::vector<uint8_t> RGB;  // top row first, three bytes per pixel
  bool Valid() const { return Width > 0 && Height > 0; }
};

using korvane_test::HaveTool;
using korvane_test::kImageMagick;
using korvane_test::kPython;
using korvane_test::ReadFileBytes;
using korvane_test::WriteFileBytes;

bool HavePillow();
// Runs a shell command; true on exit status 0.
bool Shell(const std::string& command);

// A P6 file with maxval 255 (or an invalid image).
TRGBImage ReadPPMFile(const std::string& path);
// The peers' view of a file, as 8-bit RGB.
TRGBImage DecodeWithImageMagick(const std::string& path);
TRGBImage DecodeWithPillow(const std::string& path);
// A netpbm converter writing PNM to stdout (e.g. "pcxtoppm"), normalised to P6.
TRGBImage DecodeWithNetpbm(const std::string& tool, const std::string& path);

TRGBImage FromGraphic(const pgraphic::TPixelGraphic& g);
// Empty string when equal, else a description of the first difference.
std::string Compare(const TRGBImage& expected, const TRGBImage& actual);

}  // namespace testsupport

// Expects the statement to raise EPixelGraphic (or a subclass) with this message.
#define EXPECT_PG_MESSAGE(statement, message)                            \
  do {                                                                   \
    try {                                                                \
      statement;                                                         \
      ADD_FAILURE() << "no exception, expected \"" << (message) << "\""; \
    } catch (const pgraphic::EPixelGraphic& e) {                         \
      EXPECT_EQ(std::string(e.what()), std::string(message));            \
    }                                                                    \
  } while (0)
