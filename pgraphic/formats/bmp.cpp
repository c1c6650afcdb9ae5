#include "pgraphic/formats/bmp.h"

#include <algorithm>
#include <vector>

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
  RaisePG<EPGBMPFileFormatReader>(kPrefix, msgInvalidSize, "BitmapInfoHeader/BitmapCoreHeader");
}

// Before the image is sized: whether the pixel data after the headers can
// make the whole bitmap. Uncompressed rows need their bytes (the last row
// without its padding); RLE data must reach its end-of-bitmap code or the top
// row, since end-of-line and delta codes may legally leave pixels undrawn. A
// short file raises "BMP: Unexpected end of file" under the image's warning
// action. The stream is left where it was.
void CheckDataLength(TStream& stream, const TPixelGraphic& graphic, bool core) {
  const int64_t at = stream.Position();
  struct Restore {
    TStream& s;
    int64_t at;
    ~Restore() { s.Seek(at); }
  } restore{stream, at};
  const TDIBHeader h = ReadDIBHeader(stream, core);
  const int64_t height = h.Height < 0 ? -int64_t{h.Height} : h.Height;
  if (h.Width <= 0 || height == 0) return;  // refused or empty when read
  const int64_t colours = h.BitCount <= 8 ? (h.ClrUsed != 0 ? h.ClrUsed : 1 << h.BitCount) : 0;
  int64_t tables = core ? 3 * colours : 4 * (colours + (h.BitCount > 8 ? h.ClrUsed : 0));
  if (h.Compression == 3) tables += 12;
  const int64_t dataAt = stream.Position() + tables;
  const int64_t available = std::max<int64_t>(0, stream.Size() - dataAt);
  TUnexpectedEnd<EPGBMPFileFormatReader> unexpectedEnd(graphic, "BMP", kPrefix);
  if (h.Compression == 1 || h.Compression == 2) {
    std::vector<uint8_t> data(static_cast<size_t>(std::min<int64_t>(h.SizeImage, available)));
    stream.Seek(dataAt);
    data.resize(stream.Read(data.data(), data.size()));
    if (!DIBRLEComplete(data.data(), data.size(), h.Compression == 2, h.Width, height)) {
      unexpectedEnd.Say();
    }
    return;
  }
  const uint64_t rowBits = uint64_t{h.BitCount} * static_cast<uint64_t>(h.Width);
  unexpectedEnd.Require(
      available, (rowBits + 31) / 32 * 4 * static_cast<uint64_t>(height - 1) + (rowBits + 7) / 8);
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

void TBMPFileFormatReader::ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) {
  if (index != 0) RaisePG<EPGBMPFileFormatReader>(kPrefix, msgInvalid, "Index");
  const bool core = ReadFileHeaderKind(stream);
  CheckDataLength(stream, graphic, core);
  graphic.ReadDIB(stream, core);
}

void TBMPFileFormatReader::ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) {
  if (index != 0) RaisePG<EPGBMPFileFormatReader>(kPrefix, msgInvalidValue, "Index");
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
