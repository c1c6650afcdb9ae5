#include "pgraphic/formats/pcx.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "pgraphic/formats/bufferedinput.h"

namespace pgraphic {

namespace {

constexpr const char* kPrefix = "PCX: ";
constexpr int kHeaderSize = 128;
constexpr int kTrailerSize = 769;  // marker 0C and 256 red, green, blue triples

struct TPCXHeader {
  uint8_t Manufacturer, Version, Encoding, BitsPerPlane;
  int XMin, YMin, XMax, YMax;
  uint8_t Palette[48];
  uint8_t Reserved, Planes;
  int BytesPerLine, PaletteInfo;
  int64_t Width() const { return int64_t(XMax) - XMin + 1; }
  int64_t Height() const { return int64_t(YMax) - YMin + 1; }
};

int Word(const uint8_t* p) {
  return p[0] | (p[1] << 8);
}

void ReadHeader(TStream& stream, TPCXHeader& h) {
  uint8_t b[kHeaderSize];
  if (stream.Read(b, kHeaderSize) != kHeaderSize) RaisePG<EPGPCXFileFormatReader>(kPrefix, 32);
  h.Manufacturer = b[0];
  h.Version = b[1];
  h.Encoding = b[2];
  h.BitsPerPlane = b[3];
  h.XMin = Word(b + 4);
  h.YMin = Word(b + 6);
  h.XMax = Word(b + 8);
  h.YMax = Word(b + 10);
  std::memcpy(h.Palette, b + 16, 48);
  h.Reserved = b[64];
  h.Planes = b[65];
  h.BytesPerLine = Word(b + 66);
  h.PaletteInfo = Word(b + 68);
}

[[noreturn]] void UnknownSubformat() {
  RaisePG<EPGPCXFileFormatReader>(kPrefix, 33);
}

}  // namespace

TPCXFileFormatReader::TPCXFileFormatReader() {
  Primary = true;
  Extension = "pcx";
  Description = "Paintbrush";
  ClassName = "TPCXFileFormatReader";
  SignatureCheck = true;
}

bool TPCXFileFormatReader::IsFormat(THeader header) {
  return header[0] == 0x0A;
}

void TPCXFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) {
  if (index != 0) RaisePG<EPGPCXFileFormatReader>(kPrefix, 7, "Index");
  graphic.SetGamma(PGDisplayGamma);
  TPCXHeader h;
  ReadHeader(stream, h);
  if (h.PaletteInfo != 1 || h.Reserved != 0) UnknownSubformat();

  TPGPixelFormat format;
  if (h.BitsPerPlane == 1 && h.Planes == 1)
    format = pf1Bit;
  else if (h.BitsPerPlane == 1 && h.Planes == 4)
    format = pf4Bit;
  else if (h.BitsPerPlane == 8 && h.Planes == 1)
    format = pf8Bit;
  else if (h.BitsPerPlane == 8 && h.Planes == 3)
    format = pf24Bit;
  else
    UnknownSubformat();

  // The size and the line length come from the file: a scan line must hold the
  // pixels of one image row in every plane, or the row would be read past its end.
  const int64_t width = h.Width(), height = h.Height();
  if (width < 1 || height < 1) UnknownSubformat();
  const int64_t needed = h.BitsPerPlane == 1 ? (width + 7) / 8 : width;
  if (h.BytesPerLine < needed) UnknownSubformat();
  const size_t bpl = static_cast<size_t>(h.BytesPerLine);
  const size_t lineLength = bpl * h.Planes;

  std::vector<TRGB> palette;
  if (format == pf4Bit && h.Version != 3) {
    for (int i = 0; i < 16; ++i) {
      palette.push_back(RGB(h.Palette[3 * i], h.Palette[3 * i + 1], h.Palette[3 * i + 2]));
    }
  } else if (format == pf8Bit) {
    const int64_t here = stream.Position();
    const int64_t at = stream.Size() - kTrailerSize;
    uint8_t trailer[kTrailerSize];
    bool ok = at >= kHeaderSize;
    if (ok) {
      stream.Seek(at);
      ok = stream.Read(trailer, kTrailerSize) == kTrailerSize && trailer[0] == 0x0C;
    }
    stream.Seek(here);
    if (!ok) UnknownSubformat();
    for (int i = 0; i < 256; ++i) {
      palette.push_back(RGB(trailer[1 + 3 * i], trailer[2 + 3 * i], trailer[3 + 3 * i]));
    }
  }

  graphic.SetSize(static_cast<int>(width), static_cast<int>(height), format);
  if (format == pf1Bit) {
    graphic.SetPaletteIdent(pBlackWhite);
  } else if (format == pf4Bit && h.Version == 3) {
    graphic.SetPaletteIdent(pSys16);
  } else if (!palette.empty()) {
    graphic.SetPaletteCount(static_cast<int>(palette.size()));
    for (size_t i = 0; i < palette.size(); ++i) {
      graphic.SetPaletteColor(static_cast<int>(i), palette[i]);
    }
    graphic.ClassifyPalette();
  }

  const int w = static_cast<int>(width), rows = static_cast<int>(height);
  std::vector<uint8_t> line(lineLength);
  TBufferedInput in(stream);
  TProgressScope progress(graphic);
  for (int y = 0; y < rows; ++y) {
    // One scan line of all planes; a run that passes its end is cut there.
    size_t i = 0;
    while (i < lineLength) {
      int b = in.Get();
      if (b < 0) RaisePG<EPGPCXFileFormatReader>(kPrefix, 32);
      if (b >= 0xC0) {
        int value = in.Get();
        if (value < 0) RaisePG<EPGPCXFileFormatReader>(kPrefix, 32);
        size_t count = std::min<size_t>(static_cast<size_t>(b & 0x3F), lineLength - i);
        std::memset(line.data() + i, value, count);
        i += count;
      } else {
        line[i++] = static_cast<uint8_t>(b);
      }
    }

    uint8_t* row = graphic.ScanLine(y);
    switch (format) {
      case pf1Bit: {
        const size_t bytes = static_cast<size_t>((w + 7) / 8);
        std::memcpy(row, line.data(), bytes);
        if (w % 8) row[bytes - 1] &= static_cast<uint8_t>(0xFF00 >> (w % 8));
        break;
      }
      case pf4Bit: {
        const uint8_t* p0 = line.data();
        const uint8_t* p1 = p0 + bpl;
        const uint8_t* p2 = p1 + bpl;
        const uint8_t* p3 = p2 + bpl;
        for (int x = 0; x < w; ++x) {
          const size_t at = static_cast<size_t>(x >> 3);
          const int shift = 7 - (x & 7);
          const int v = ((p0[at] >> shift) & 1) | (((p1[at] >> shift) & 1) << 1) |
                        (((p2[at] >> shift) & 1) << 2) | (((p3[at] >> shift) & 1) << 3);
          if (x & 1)
            row[x >> 1] |= static_cast<uint8_t>(v);
          else
            row[x >> 1] = static_cast<uint8_t>(v << 4);
        }
        break;
      }
      case pf8Bit:
        std::memcpy(row, line.data(), static_cast<size_t>(w));
        break;
      case pf24Bit: {
        const uint8_t* r = line.data();
        const uint8_t* g = r + bpl;
        const uint8_t* b = g + bpl;
        for (int x = 0; x < w; ++x) {
          row[3 * x] = b[x];
          row[3 * x + 1] = g[x];
          row[3 * x + 2] = r[x];
        }
        break;
      }
    }
    if (graphic.Progress(y, rows)) break;
  }
}

void TPCXFileFormatReader::ReadInfo(TStream& stream, int index, TPGFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  if (index != 0) RaisePG<EPGPCXFileFormatReader>(kPrefix, 20, "Index");
  TPCXHeader h;
  ReadHeader(stream, h);
  if (h.PaletteInfo != 1 || h.Reserved != 0) UnknownSubformat();
  info.BitsPerPixel = h.Planes * h.BitsPerPlane;
  info.Width = static_cast<int>(h.Width());
  info.Height = static_cast<int>(h.Height());
  static const char* const kVersions[6] = {
      "Version 2.5 (0)", "", "Version 2.8 (2) with Palette", "Version 2.8 (3) without Palette", "",
      "Version 3.0 (5)"};
  info.SubType = std::string(h.Version < 6 ? kVersions[h.Version] : "");
  const int bits = info.BitsPerPixel;
  info.Colors = bits == 24 ? std::string("16.7M") : bits < 63 ? std::to_string(1LL << bits) : "?";
}

void AddPCXReaders(TReaderList& readers) {
  readers.push_back(std::make_unique<TPCXFileFormatReader>());
}

}  // namespace pgraphic
