// The orientation tag of a photograph: how the stored rows must be turned and
// mirrored to show the picture upright. A JPEG file carries it in its EXIF
// block (an APP1 segment holding a TIFF structure), a TIFF file in its image
// directory. Only the tag is read; the pixels are the decoders' business.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pgraphic/stream.h"

namespace pgraphic {

// The tag's values: 1 upright, 2 mirrored left to right, 3 turned half way,
// 4 mirrored top to bottom, 5 mirrored along the main diagonal, 6 to be turned
// right, 7 mirrored along the other diagonal, 8 to be turned left.
constexpr int OrientationUpright = 1;
// Whether the upright picture has the stored width and height swapped.
constexpr bool OrientationSwapsAxes(int orientation) {
  return orientation >= 5 && orientation <= 8;
}

// The tag of image `imageIndex` of a JPEG or TIFF stream, read from the start of
// the stream; OrientationUpright when the stream is neither, holds no tag, or
// the tag or the structure around it is damaged. Reads at most a few hundred
// kilobytes whatever the stream claims, and never raises for bad data.
int ReadOrientation(TStream& stream, int imageIndex = 0);

}  // namespace pgraphic
