// Windows and OS/2 device-independent bitmaps: the BMP/DIB/RLE reader and the
// uncompressed BMP/DIB writer. The DIB headers and the pixel decoding itself
// belong to the image (image/dib.h, TPixelGraphic::ReadDIB).
#pragma once

#include <cstdint>

#include "pgraphic/formats/fileformat.h"
#include "pgraphic/image/dib.h"

namespace pgraphic {

class TBMPFileFormatReader : public TFileFormatReader {
 public:
  TBMPFileFormatReader();
  bool IsFormat(THeader header) override;

 private:
  void ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) override;
  void ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) override;
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
