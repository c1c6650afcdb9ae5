#include "pgraphic/formats/bmp.h"

#include "pgraphic/endian.h"

namespace pgraphic {

namespace {

constexpr const char* kPrefix = "BMP: ";

// Reads the 14-byte file header (unchecked) and the information header size,
// stepping back over the size; returns true for a core header.
bool ReadFileHeaderKind(TStream& stream) {
  uint8_t fileHeader[14];
  stream.Read(fileHeader, sizeof fileHeader);
  uint8_t b[4] = {0, 0, 0, 0};
  const int64_t at = stream.Position();
  stream.Read(b, 4);
  stream.Seek(at);
  const uint32_t size = LE32(b);
  if (size == 12) return true;
  if (size == 40) return false;
  RaisePG<EPGBMPFileFormatReader>(kPrefix, 27, "BitmapInfoHeader/BitmapCoreHeader");
}

const char* ColorsText(int bitCount) {
  switch (bitCount) {
    case 1:
      return "2";
    case 4:
      return "16";
    case 8:
      return "256";
    case 16:
      return "64K";
    default:
      return "16.7M";
  }
}

}  // namespace

// ---- Readers -------------------------------------------------------------------

TBMPFileFormatReader::TBMPFileFormatReader() {
  Primary = true;
  Extension = "bmp";
  Description = "Bitmap";
  ClassName = "TBMPFileFormatReader";
  SignatureCheck = true;
}

TDIBFileFormatReader::TDIBFileFormatReader() {
  Primary = false;
  Extension = "dib";
  ClassName = "TDIBFileFormatReader";
}

TRLEFileFormatReader::TRLEFileFormatReader() {
  Primary = false;
  Extension = "rle";
  ClassName = "TRLEFileFormatReader";
}

bool TBMPFileFormatReader::IsFormat(THeader header) {
  return header[0] == 'B' && header[1] == 'M';
}

void TBMPFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) {
  if (index != 0) RaisePG<EPGBMPFileFormatReader>(kPrefix, 7, "Index");
  const bool core = ReadFileHeaderKind(stream);
  graphic.ReadDIB(stream, core);
}

void TBMPFileFormatReader::ReadInfo(TStream& stream, int index, TPGFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  if (index != 0) RaisePG<EPGBMPFileFormatReader>(kPrefix, 20, "Index");
  const bool core = ReadFileHeaderKind(stream);
  const TDIBHeader h = ReadDIBHeader(stream, core);
  info.Width = h.Width;
  info.Height = h.Height;
  info.BitsPerPixel = h.BitCount;
  info.Colors = ColorsText(h.BitCount);
  if (core) {
    info.SubType = "OS/2";
    return;
  }
  info.SubType = "Windows";
  switch (h.Compression) {
    case 0:
      info.SubType += ", RGB";
      break;
    case 1:
      info.SubType += ", RLE8";
      break;
    case 2:
      info.SubType += ", RLE4";
      break;
    default:
      break;
  }
  if (h.Height < 0) info.SubType += ", Top-Down";
}

// ---- Writers -------------------------------------------------------------------

TBMPFileFormatWriter::TBMPFileFormatWriter() {
  Primary = true;
  Extension = "bmp";
  Description = "Bitmap";
  ClassName = "TBMPFileFormatWriter";
  CanWriteResolutions = 0xFF;
}

TDIBFileFormatWriter::TDIBFileFormatWriter() {
  Primary = false;
  Extension = "dib";
  ClassName = "TDIBFileFormatWriter";
}

void TBMPFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  const uint64_t palette = 4 * static_cast<uint64_t>(DIBPaletteEntries(graphic));
  const uint64_t fileSize = 14 + 40 + palette + static_cast<uint64_t>(graphic.ImageSize());
  uint8_t h[14] = {'B', 'M'};
  PutLE32(h + 2, static_cast<uint32_t>(fileSize));
  PutLE32(h + 10, static_cast<uint32_t>(54 + palette));
  stream.WriteBuffer(h, sizeof h);
  graphic.WriteDIB(stream);
}

void AddBMPReaders(TReaderList& readers) {
  readers.push_back(std::make_unique<TBMPFileFormatReader>());
  readers.push_back(std::make_unique<TDIBFileFormatReader>());
  readers.push_back(std::make_unique<TRLEFileFormatReader>());
}

void AddBMPWriters(TWriterList& writers) {
  writers.push_back(std::make_unique<TBMPFileFormatWriter>());
  writers.push_back(std::make_unique<TDIBFileFormatWriter>());
}

}  // namespace pgraphic
