// Windows and OS/2 device-independent bitmaps: the BMP/DIB/RLE reader and the
// uncompressed BMP/DIB writer. The pixel decoding itself is TPixelGraphic::ReadDIB.
#pragma once

#include <cstdint>

#include "pgraphic/formats/fileformat.h"

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

// Number of colour-table entries the writer stores for the image.
int DIBPaletteEntries(const TPixelGraphic& graphic);

class TBMPFileFormatReader : public TFileFormatReader {
 public:
  TBMPFileFormatReader();
  bool IsFormat(THeader header) override;
  void ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) override;
  void ReadInfo(TStream& stream, int index, TPGFileInfo& info) override;
};

class TDIBFileFormatReader : public TBMPFileFormatReader {
 public:
  TDIBFileFormatReader();
};

class TRLEFileFormatReader : public TBMPFileFormatReader {
 public:
  TRLEFileFormatReader();
};

class TBMPFileFormatWriter : public TFileFormatWriter {
 public:
  TBMPFileFormatWriter();
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
};

class TDIBFileFormatWriter : public TBMPFileFormatWriter {
 public:
  TDIBFileFormatWriter();
};

// Appends the bmp, dib and rle readers / the bmp and dib writers.
void AddBMPReaders(TReaderList& readers);
void AddBMPWriters(TWriterList& writers);

}  // namespace pgraphic
