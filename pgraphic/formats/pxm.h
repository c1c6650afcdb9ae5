// The portable bitmap, graymap and pixmap formats (PBM, PGM, PPM) in their plain
// ("P1".."P3") and raw ("P4".."P6") variants.
#pragma once

#include "pgraphic/formats/fileformat.h"

namespace pgraphic {

// Writers produce the raw variants instead of the plain ones. Default false.
extern TPGSetting<bool> PGPxMBinary;

// Reads all six variants; the three registered readers differ only in the
// magic numbers they recognise and their extension.
class TPxMFileFormatReader : public TFileFormatReader {
 public:
  TPxMFileFormatReader();

 private:
  void ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) override;
  void ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) override;
};

class TPBMFileFormatReader : public TPxMFileFormatReader {
 public:
  TPBMFileFormatReader();
  bool IsFormat(THeader header) override;
};

class TPGMFileFormatReader : public TPxMFileFormatReader {
 public:
  TPGMFileFormatReader();
  bool IsFormat(THeader header) override;
};

class TPPMFileFormatReader : public TPxMFileFormatReader {
 public:
  TPPMFileFormatReader();
  bool IsFormat(THeader header) override;
};

// Writes the variant its Extension names: pbm, pgm or ppm.
class TPXMFileFormatWriter : public TFileFormatWriter {
 public:
  void WriteGraphic(TStream& stream, TPixelGraphic& graphic) override;
};

class TPBMFileFormatWriter : public TPXMFileFormatWriter {
 public:
  TPBMFileFormatWriter();
};

class TPGMFileFormatWriter : public TPXMFileFormatWriter {
 public:
  TPGMFileFormatWriter();
};

class TPPMFileFormatWriter : public TPXMFileFormatWriter {
 public:
  TPPMFileFormatWriter();
};

// Append the PBM, PGM and PPM readers / writers, in this order.
void AddPxMReaders(TReaderList& readers);
void AddPxMWriters(TWriterList& writers);

}  // namespace pgraphic
