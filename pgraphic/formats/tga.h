// Truevision Targa images: 8, 16, 24 and 32 bits per pixel, colour-mapped,
// true-colour or gray, uncompressed or run-length encoded, in all four origin
// corners. Written uncompressed as colour-mapped 8 bit or true-colour 24 bit.
#pragma once

#include "pgraphic/formats/fileformat.h"

namespace pgraphic {

// No signature: the reader is chosen by the extension "tga" only.
class TTGAFileFormatReader : public TFileFormatReader {
 public:
  TTGAFileFormatReader();

 private:
  void ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) override;
  void ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) override;
};

class TTGAFileFormatWriter : public TFileFormatWriter {
 public:
  TTGAFileFormatWriter();
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
};

void AddTGAReaders(TReaderList& readers);
void AddTGAWriters(TWriterList& writers);

}  // namespace pgraphic
