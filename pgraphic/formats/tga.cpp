#include "pgraphic/formats/tga.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "pgraphic/formats/bufferedinput.h"

namespace pgraphic {

namespace {

const std::string kPrefix = "TGA: ";
constexpr int kHeaderSize = 18;

struct TTGAHeader {
  int IDLength, ColorMapType, ImageType, ColorMapFirst, ColorMapLength, ColorMapEntrySize;
  int Width, Height, PixelDepth, Descriptor;
  bool RunLength() const { return (ImageType & 8) != 0; }
  bool RightOrigin() const { return (Descriptor & 0x10) != 0; }
  bool TopOrigin() const { return (Descriptor & 0x20) != 0; }
  bool KnownType() const {
    const int base = ImageType & ~8;
    return base >= 1 && base <= 3;
  }
};

int Word(const uint8_t* p) {
  return p[0] | (p[1] << 8);
}

// A header cut short reads as zeros, which the checks below then refuse.
void ReadHeader(TStream& stream, TTGAHeader& h) {
  uint8_t b[kHeaderSize] = {};
  stream.Read(b, kHeaderSize);
  h.IDLength = b[0];
  h.ColorMapType = b[1];
  h.ImageType = b[2];
  h.ColorMapFirst = Word(b + 3);
  h.ColorMapLength = Word(b + 5);
  h.ColorMapEntrySize = b[7];
  h.Width = Word(b + 12);
  h.Height = Word(b + 14);
  h.PixelDepth = b[16];
  h.Descriptor = b[17];
}

[[noreturn]] void NotSupported() {
  RaisePG<EPGTGAFileFormatReader>(kPrefix.c_str(), msgNotSupportedSubformat);
}

// 16-bit pixels and colour-map entries: little-endian x-5-5-5.
inline void Put555(uint8_t lo, uint8_t hi, uint8_t* bgr) {
  bgr[2] = static_cast<uint8_t>((hi & 0x7C) * 2);
  bgr[1] = static_cast<uint8_t>(((hi & 0x03) * 64) | ((lo / 32) * 8));
  bgr[0] = static_cast<uint8_t>((lo & 0x1F) * 8);
}

// Run-length packets: the state survives the end of a row, so a packet that
// crosses it continues in the next row instead of running past the row buffer.
class TRunLengthDecoder {
 public:
  TRunLengthDecoder(TBufferedInput& in, size_t pixelSize) : in_(in), size_(pixelSize) {}

  // Fills up to count pixels; returns how many the file held.
  size_t Fill(uint8_t* dest, size_t count) {
    size_t done = 0;
    while (done < count) {
      if (remaining_ == 0) {
        const int h = in_.Get();
        if (h < 0) break;
        remaining_ = static_cast<size_t>(h & 0x7F) + 1;
        repeat_ = (h & 0x80) != 0;
        if (repeat_ && in_.Read(value_, size_) != size_) break;
      }
      const size_t take = std::min(remaining_, count - done);
      if (repeat_) {
        for (size_t i = 0; i < take; ++i) std::memcpy(dest + (done + i) * size_, value_, size_);
        done += take;
      } else {
        const size_t got = in_.Read(dest + done * size_, take * size_) / size_;
        done += got;
        if (got != take) {
          remaining_ = 0;
          break;
        }
      }
      remaining_ -= take;
    }
    return done;
  }

 private:
  TBufferedInput& in_;
  size_t size_;
  size_t remaining_ = 0;
  bool repeat_ = false;
  uint8_t value_[4] = {};
};

}  // namespace

TTGAFileFormatReader::TTGAFileFormatReader() {
  Primary = true;
  Extension = "tga";
  Description = "Truevision Targa";
  ClassName = "TTGAFileFormatReader";
  SignatureCheck = false;
}

void TTGAFileFormatReader::ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) {
  if (index != 0) RaisePG<EPGTGAFileFormatReader>(kPrefix.c_str(), msgInvalid, "Index");
  const int64_t start = stream.Position();
  TTGAHeader h;
  ReadHeader(stream, h);
  const int depth = h.PixelDepth;
  if (depth != 8 && depth != 16 && depth != 24 && depth != 32) NotSupported();
  // Other image types hold no pixels, or pixels in a coding that is not read.
  if (!h.KnownType())
    RaisePG<EPGTGAFileFormatReader>(kPrefix.c_str(), msgInvalidValue, "ImageType");
  if (h.Width < 1 || h.Height < 1) NotSupported();

  const int64_t mapStart = start + kHeaderSize + h.IDLength;
  const int entryBytes = (h.ColorMapEntrySize + 7) / 8;
  const int64_t mapBytes = h.ColorMapType == 1 ? int64_t(h.ColorMapLength) * entryBytes : 0;
  const bool gray16 = depth == 16 && (h.ImageType & ~8) == 3;

  std::vector<TRGB> palette;
  if (depth == 8 && h.ColorMapType == 1) {
    const int es = h.ColorMapEntrySize;
    if (es != 16 && es != 24 && es != 32) NotSupported();
    const int n = h.ColorMapLength - h.ColorMapFirst;
    if (n > 0) {
      std::vector<uint8_t> map(static_cast<size_t>(n) * entryBytes, 0);
      stream.Seek(mapStart + int64_t(h.ColorMapFirst) * entryBytes);
      stream.Read(map.data(), map.size());
      for (int i = 0; i < std::min(n, 256); ++i) {
        const uint8_t* e = map.data() + static_cast<size_t>(i) * entryBytes;
        uint8_t bgr[3];
        if (es == 16)
          Put555(e[0], e[1], bgr);
        else
          std::memcpy(bgr, e, 3);
        palette.push_back(RGB(bgr[2], bgr[1], bgr[0]));
      }
    }
  }
  stream.Seek(mapStart + mapBytes);

  const int width = h.Width, height = h.Height;
  const size_t pixelSize = static_cast<size_t>(depth / 8);
  const uint64_t pixels = uint64_t(width) * uint64_t(height);
  // Before the image is sized: raw pixels need their full size; a run-length
  // packet (a header byte and at least one pixel value) covers at most 128.
  TUnexpectedEnd<EPGTGAFileFormatReader> unexpectedEnd(graphic, "TGA", kPrefix);
  unexpectedEnd.Require(stream.Remaining(), h.RunLength() ? (pixels + 127) / 128 * (1 + pixelSize)
                                                          : pixels * pixelSize);
  const TPGPixelFormat format = depth == 8 ? pf8Bit : pf24Bit;
  graphic.SetSize(width, height, format);
  if (format == pf8Bit) {
    if (palette.empty()) {
      // No colour map (or one without usable entries): the bytes are gray levels.
      graphic.SetPaletteIdent(pGray256);
    } else {
      graphic.SetPaletteCount(static_cast<int>(palette.size()));
      for (size_t i = 0; i < palette.size(); ++i) {
        graphic.SetPaletteColor(static_cast<int>(i), palette[i]);
      }
      graphic.ClassifyPalette();
    }
  }

  const size_t w = static_cast<size_t>(width);
  const bool direct = !h.RunLength() && (depth == 8 || depth == 24) && !h.RightOrigin();
  std::vector<uint8_t> rowBuffer(direct ? 0 : w * pixelSize);
  TBufferedInput in(stream);
  TRunLengthDecoder rle(in, pixelSize);

  TProgressScope progress(graphic);
  for (int r = 0; r < height; ++r) {
    const int y = h.TopOrigin() ? r : height - 1 - r;
    uint8_t* row = graphic.ScanLine(y);
    size_t got;
    if (direct) {
      got = in.Read(row, w * pixelSize) / pixelSize;
    } else {
      got = h.RunLength() ? rle.Fill(rowBuffer.data(), w)
                          : in.Read(rowBuffer.data(), w * pixelSize) / pixelSize;
      const uint8_t* s = rowBuffer.data();
      for (size_t x = 0; x < got; ++x, s += pixelSize) {
        const size_t col = h.RightOrigin() ? w - 1 - x : x;
        if (depth == 8) {
          row[col] = s[0];
          continue;
        }
        uint8_t* d = row + 3 * col;
        if (gray16) {
          // Gray with alpha: the first byte is the gray level.
          d[0] = d[1] = d[2] = s[0];
        } else if (depth == 16) {
          Put555(s[0], s[1], d);
        } else {
          d[0] = s[0];
          d[1] = s[1];
          d[2] = s[2];
        }
      }
    }
    // A file that ends early leaves the remaining rows as they are.
    if (got != w) {
      unexpectedEnd.Say();
      break;
    }
    if (graphic.Progress(r, height)) break;
  }
}

void TTGAFileFormatReader::ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) {
  if (index != 0) RaisePG<EPGTGAFileFormatReader>(kPrefix.c_str(), msgInvalidValue, "Index");
  TTGAHeader h;
  ReadHeader(stream, h);
  switch (h.ImageType) {
    case 1:
    case 9:
      info.Extra = "Color-mapped";
      break;
    case 2:
    case 10:
      info.Extra = "True-color";
      break;
    case 3:
    case 11:
      info.Extra = "\"Black-and-white\"";
      break;
    default:
      RaisePG<EPGTGAFileFormatReader>(kPrefix.c_str(), msgInvalidValue, "ImageType");
  }
  info.SubType = h.RunLength() ? "Run-length encoded" : "Uncompressed";
  info.Width = h.Width;
  info.Height = h.Height;
  info.BitsPerPixel = h.PixelDepth;
  if (h.PixelDepth <= 23)
    info.Colors = std::to_string(1L << h.PixelDepth);
  else if (h.PixelDepth == 24)
    info.Colors = "16.7M";
  else
    info.Colors = "16.7M ?";
  info.Count = 1;
}

TTGAFileFormatWriter::TTGAFileFormatWriter() {
  Primary = true;
  Extension = "tga";
  Description = "Truevision Targa";
  ClassName = "TTGAFileFormatWriter";
  CanWriteResolutions = (1 << cr256Colors) | (1 << crTrueColor);
}

void TTGAFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  const int width = graphic.Width(), height = graphic.Height();
  // The header holds 16-bit sizes; larger images cannot be described.
  if (width < 1 || height < 1 || graphic.Empty())
    throw EPixelGraphic(kPrefix + LangStr(msgZeroSize));
  if (width > 0xFFFF) throw EPixelGraphic(kPrefix + LangStr(msgInvalidSize, "Width"));
  if (height > 0xFFFF) throw EPixelGraphic(kPrefix + LangStr(msgInvalidSize, "Height"));
  const bool trueColor = graphic.PixelFormat() == pf24Bit;
  const int colours = trueColor ? 0 : std::min(graphic.PaletteCount(), 256);
  uint8_t h[kHeaderSize] = {};
  if (trueColor) {
    h[2] = 2;
    h[16] = 24;
  } else {
    h[1] = 1;
    h[2] = 1;
    h[5] = static_cast<uint8_t>(colours & 0xFF);
    h[6] = static_cast<uint8_t>(colours >> 8);
    h[7] = 24;
    h[16] = 8;
  }
  h[12] = static_cast<uint8_t>(width & 0xFF);
  h[13] = static_cast<uint8_t>(width >> 8);
  h[14] = static_cast<uint8_t>(height & 0xFF);
  h[15] = static_cast<uint8_t>(height >> 8);
  stream.WriteBuffer(h, kHeaderSize);

  if (!trueColor) {
    std::vector<uint8_t> map(3 * static_cast<size_t>(colours));
    for (int i = 0; i < colours; ++i) {
      const TRGB c = graphic.PaletteColor(i);
      map[3 * i] = static_cast<uint8_t>(GetB(c));
      map[3 * i + 1] = static_cast<uint8_t>(GetG(c));
      map[3 * i + 2] = static_cast<uint8_t>(GetR(c));
    }
    stream.WriteBuffer(map.data(), map.size());
  }

  const size_t w = static_cast<size_t>(width);
  const size_t rowBytes = trueColor ? 3 * w : w;
  std::vector<uint8_t> line(rowBytes);
  TProgressScope progress(graphic);
  for (int i = 0; i < height; ++i) {
    const int y = height - 1 - i;  // bottom-left origin: bottom row first
    const uint8_t* row = graphic.ScanLine(y);
    if (graphic.PixelFormat() == pf1Bit || graphic.PixelFormat() == pf4Bit) {
      // Fewer bits per pixel are widened to one index byte per pixel.
      for (size_t x = 0; x < w; ++x) {
        line[x] = static_cast<uint8_t>(IndexAt(row, graphic.PixelFormat(), static_cast<int>(x)));
      }
      stream.WriteBuffer(line.data(), rowBytes);
    } else {
      stream.WriteBuffer(row, rowBytes);
    }
    graphic.Progress(i, height);
  }
}

void AddTGAReaders(TReaderList& readers) {
  readers.push_back(std::make_unique<TTGAFileFormatReader>());
}

void AddTGAWriters(TWriterList& writers) {
  writers.push_back(std::make_unique<TTGAFileFormatWriter>());
}

}  // namespace pgraphic
