// JPEG/JFIF files (jpg, jpeg, jif) through the IJG JPEG library, which does all
// the coding. Rows go straight between the library and the image's pixel rows,
// colour pixels in blue-green-red order.
#pragma once

#include "pgraphic/formats/fileformat.h"

namespace pgraphic {

// Unit-wide settings. DCT method codes: 0 slow integer, 1 fast integer,
// 2 floating point.
extern TPGSetting<int> PGJPEGReadDCTMethod;   // 0
extern TPGSetting<int> PGJPEGWriteDCTMethod;  // 2
extern TPGSetting<int> PGJPEGQuality;         // 80, the library's 0..100 scale
extern TPGSetting<bool> PGJPEGProgressive;    // false
// Reader: most scans a file may have; each scan of a progressive file costs a
// pass over the whole image, so a file of thousands of tiny scans is refused.
extern TPGSetting<int> PGJPEGMaxScans;  // 1000

class TJPGFileFormatReader : public TFileFormatReader {
 public:
  TJPGFileFormatReader();
  bool IsFormat(THeader header) override;

 private:
  void ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) override;
  void ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) override;
};

class TJPEGFileFormatReader : public TJPGFileFormatReader {
 public:
  TJPEGFileFormatReader();
};

class TJIFFileFormatReader : public TJPGFileFormatReader {
 public:
  TJIFFileFormatReader();
};

class TJPGFileFormatWriter : public TFileFormatWriter {
 public:
  TJPGFileFormatWriter();
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
};

class TJPEGFileFormatWriter : public TJPGFileFormatWriter {
 public:
  TJPEGFileFormatWriter();
};

class TJIFFileFormatWriter : public TJPGFileFormatWriter {
 public:
  TJIFFileFormatWriter();
};

// Reads a JPEG picture at a reduced size: the smallest of the decoder's sizes
// N/8 (N = 1..8) of each side whose longest side still reaches `longestSide`,
// or the full size when even that is smaller. The decoder leaves out the
// coefficients the smaller size does not need, so a 1/8 picture costs a small
// part of a full read. `full` receives the size of the whole picture. Raises
// as the reader does.
struct TJPEGPictureSize {
  int Width = 0;
  int Height = 0;
};
void ReadJPEGReduced(TStream& stream, TPixelGraphic& graphic, int longestSide,
                     TJPEGPictureSize& full);

// Start-up check: the library's decompressor and compressor records have the
// sizes this program was compiled with (the library compares them itself when
// an object is created). Raises EPixelGraphic naming the record otherwise.
void CheckJPEGLibraryLayouts();

void AddJPEGReaders(TReaderList& readers);
void AddJPEGWriters(TWriterList& writers);

}  // namespace pgraphic
