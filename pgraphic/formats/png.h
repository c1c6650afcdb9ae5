// PNG files through the PNG reference library, which does all chunk, filter and
// deflate work. Rows go straight between the library and the image's pixel rows,
// colour pixels in blue-green-red order.
#pragma once

#include "pgraphic/formats/fileformat.h"

namespace pgraphic {

// Unit-wide settings.
extern TPGSetting<bool> PGPNGUseFileBackground;  // true: compose transparency against bKGD
extern TPGSetting<bool> PGPNGWriteGamma;         // true: the writer stores gAMA

class TPNGFileFormatReader : public TFileFormatReader {
 public:
  TPNGFileFormatReader();
  bool IsFormat(THeader header) override;

 private:
  void ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) override;
  void ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) override;
};

class TPNGFileFormatWriter : public TFileFormatWriter {
 public:
  TPNGFileFormatWriter();
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
};

void AddPNGReaders(TReaderList& readers);
void AddPNGWriters(TWriterList& writers);

}  // namespace pgraphic
