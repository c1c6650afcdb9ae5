// Device-independent-bitmap headers as the image stores and reads them; the
// BMP format and the clipboard both build on these.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {

// 16-bit bit-field channels: a non-zero channel gets the lowest bit of its
// widened mask added (a 5-bit value v becomes 8 v + 8), so full scale reaches 255.
extern TPGSetting<bool> PGBMP16BitRounding;  // true

// The fields of a DIB information header; an OS/2 core header fills the same
// fields (compression 0, no colour counts).
struct TDIBHeader {
  bool Core = false;
  uint32_t Size = 0;
  int32_t Width = 0;
  int32_t Height = 0;  // negative for top-down Windows bitmaps
  uint16_t Planes = 0;
  uint16_t BitCount = 0;
  uint32_t Compression = 0;
  uint32_t SizeImage = 0;
  uint32_t ClrUsed = 0;
};

// Reads a core (12-byte) or information (40-byte) header from the stream's
// position and checks planes, bit count and compression, raising
// EPGBMPFileFormatReader with the reader's texts. A stream that ends inside the
// header raises "BMP: Unexpected end of file".
TDIBHeader ReadDIBHeader(TStream& stream, bool coreHeader);

// Whether RLE8 (rle4 false) or RLE4 data of a width x height bitmap is whole:
// walked as the decoder walks it, it reaches its end-of-bitmap code or leaves
// the top row behind. Data that stops before either leaves part of the
// bitmap undrawn.
bool DIBRLEComplete(const uint8_t* data, size_t size, bool rle4, int64_t width, int64_t height);

// Number of colour-table entries the writer stores for the image.
int DIBPaletteEntries(const TPixelGraphic& graphic);

}  // namespace pgraphic
