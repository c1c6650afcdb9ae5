// Paintbrush (PCX) images: 1 bit × 1 plane, 1 bit × 4 planes, 8 bits × 1 plane
// with the 256-colour palette at the end of the file, and 8 bits × 3 planes.
// There is no writer.
#pragma once

#include "pgraphic/formats/fileformat.h"

namespace pgraphic {

class TPCXFileFormatReader : public TFileFormatReader {
 public:
  TPCXFileFormatReader();
  bool IsFormat(THeader header) override;

 private:
  void ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) override;
  void ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) override;
};

// Appends the PCX reader to the reader list.
void AddPCXReaders(TReaderList& readers);

}  // namespace pgraphic
