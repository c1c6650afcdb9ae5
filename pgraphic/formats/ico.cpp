#include "pgraphic/formats/ico.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "pgraphic/endian.h"
#include "pgraphic/formats/png.h"

namespace pgraphic {

TPGSetting<int> PGIcoMode = 1;
TPGSetting<TRGB> PGIcoTransparentColor = RGB(255, 255, 255);

namespace {

const char* const kNotAnIcon = "Not an Icon file";
const char* const kIndexOutOfBounds = "Index out of bounds";

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// Reads exactly n bytes at an absolute position; false on a short read.
bool ReadAt(TStream& stream, int64_t position, void* buffer, size_t n) {
  stream.Seek(position);
  return stream.Read(buffer, n) == n;
}

struct TDirEntry {
  uint32_t BytesInRes = 0;
  uint32_t ImageOffset = 0;
};

bool ReadEntry(TStream& stream, int index, TDirEntry& entry) {
  uint8_t e[16];
  if (!ReadAt(stream, 6 + 16 * static_cast<int64_t>(index), e, sizeof e)) return false;
  entry.BytesInRes = LE32(e + 8);
  entry.ImageOffset = LE32(e + 12);
  return true;
}

// The information header of image index: width, height (half the stored
// height: XOR bitmap plus AND mask) and bit count.
struct TImageHeader {
  int Width = 0, Height = 0, BitCount = 0;
  bool PNG = false;  // a PNG stream, which the icon handler does not decode
};

bool ReadImageHeader(TStream& stream, int index, TDirEntry& entry, TImageHeader& header,
                     uint8_t (&raw)[40]) {
  if (!ReadEntry(stream, index, entry)) return false;
  if (!ReadAt(stream, entry.ImageOffset, raw, sizeof raw)) return false;
  // Large icons often hold a PNG stream instead of an information header; its
  // size and depth are in the PNG's IHDR chunk.
  static const uint8_t kPNGSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (std::memcmp(raw, kPNGSignature, sizeof kPNGSignature) == 0) {
    if (std::memcmp(raw + 12, "IHDR", 4) != 0) return false;
    const auto be32 = [&](int at) {
      return static_cast<int32_t>(uint32_t{raw[at]} << 24 | uint32_t{raw[at + 1]} << 16 |
                                  uint32_t{raw[at + 2]} << 8 | raw[at + 3]);
    };
    header.Width = be32(16);
    header.Height = be32(20);
    // Samples per pixel of the PNG colour types 0, 2, 3, 4 and 6.
    static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int type = raw[25];
    header.BitCount = type <= 6 ? raw[24] * kChannels[type] : 0;
    header.PNG = true;
    return true;
  }
  header.Width = static_cast<int32_t>(LE32(raw + 4));
  header.Height = static_cast<int32_t>(LE32(raw + 8)) / 2;
  header.BitCount = LE16(raw + 14);
  return true;
}

std::string ColoursOfBits(int bits) {
  if (bits <= 0 || bits > 32) return "?";
  return std::to_string(uint64_t{1} << bits);
}

// Restores the stream position when an inspection ends, also on errors.
struct TPositionGuard {
  TStream& stream;
  int64_t position;
  explicit TPositionGuard(TStream& s) : stream(s), position(s.Position()) {}
  ~TPositionGuard() { stream.Seek(position); }
};

}  // namespace

// ---------------------------------------------------------------------------
// Icon handler

tIconHandler::TCheck tIconHandler::CheckFile(TStream& stream) {
  TCheck result;
  const int64_t size = stream.Size();
  if (size <= 6) return result;
  uint8_t h[6];
  if (!ReadAt(stream, 0, h, sizeof h)) return result;
  const int reserved = LE16(h), type = LE16(h + 2), count = LE16(h + 4);
  if (reserved != 0 || (type != 1 && type != 2) || count == 0) return result;
  if (size - 6 <= 16 * static_cast<int64_t>(count)) return result;
  for (int i = 0; i < count; ++i) {
    TDirEntry entry;
    if (!ReadEntry(stream, i, entry)) return result;
    if (static_cast<int64_t>(entry.ImageOffset) + entry.BytesInRes > size) return result;
  }
  result.Count = count;
  result.Type = type;
  return result;
}

bool tIconHandler::Load(TStream& stream, int index) {
  return LoadImage(stream, index).empty();
}

std::string tIconHandler::LoadImage(TStream& stream, int index) {
  Release();
  TDirEntry entry;
  TImageHeader header;
  uint8_t info[40];
  const std::string image = "Icon image " + std::to_string(index) + ": ";
  if (!ReadImageHeader(stream, index, entry, header, info)) return kIndexOutOfBounds;
  if (header.PNG) return image + "a PNG stream, which the PNG reader reads";
  const int bits = header.BitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
    return image + std::to_string(bits) + " bits per pixel are not supported";
  }
  if (header.Width < 1 || header.Width > kMaxSide || header.Height < 1 ||
      header.Height > kMaxSide) {
    return image + std::to_string(header.Width) + "x" + std::to_string(header.Height) +
           " pixels are not supported";
  }
  const int colours = bits <= 8 ? 1 << bits : 0;
  const size_t xorRow = (static_cast<size_t>(header.Width) * bits + 31) / 32 * 4;
  const size_t andRow = (static_cast<size_t>(header.Width) + 31) / 32 * 4;
  const size_t paletteSize = 4 * static_cast<size_t>(colours);
  const size_t xorSize = xorRow * header.Height;
  const size_t andSize = andRow * header.Height;
  const size_t bodySize = paletteSize + xorSize + andSize;
  if (entry.BytesInRes != 40 + bodySize) {
    return image + "the size in the directory disagrees with the image header";
  }

  // Header, directory entry and information header of the normalised icon.
  std::vector<uint8_t> icon;
  icon.reserve(22 + 40 + bodySize);
  Put16(icon, 0);
  Put16(icon, 1);
  Put16(icon, 1);
  icon.push_back(static_cast<uint8_t>(header.Width));
  icon.push_back(static_cast<uint8_t>(header.Height));
  icon.push_back(static_cast<uint8_t>(colours == 256 ? 0 : colours));
  icon.push_back(0);
  Put16(icon, 1);
  Put16(icon, static_cast<uint32_t>(bits));
  Put32(icon, static_cast<uint32_t>(40 + bodySize));
  Put32(icon, 22);
  Put32(icon, 40);
  Put32(icon, static_cast<uint32_t>(header.Width));
  Put32(icon, static_cast<uint32_t>(2 * header.Height));
  Put16(icon, 1);
  Put16(icon, static_cast<uint32_t>(bits));
  Put32(icon, 0);
  Put32(icon, static_cast<uint32_t>(xorSize + andSize));
  for (int i = 0; i < 4; ++i) Put32(icon, 0);
  const size_t bodyAt = icon.size();
  icon.resize(bodyAt + bodySize);
  // The directory check guarantees that the resource lies inside the stream;
  // a short read (a stream that shrank) still fails the load.
  if (!ReadAt(stream, static_cast<int64_t>(entry.ImageOffset) + 40, icon.data() + bodyAt,
              bodySize)) {
    return kIndexOutOfBounds;
  }
  icon_ = std::move(icon);
  width_ = header.Width;
  height_ = header.Height;
  bitCount_ = bits;
  colorCount_ = colours;
  paletteOffset_ = bodyAt;
  xorOffset_ = bodyAt + paletteSize;
  andOffset_ = xorOffset_ + xorSize;
  xorRowSize_ = xorRow;
  andRowSize_ = andRow;
  return {};
}

bool tIconHandler::HoldsPNG(TStream& stream, int index, std::vector<uint8_t>& png) {
  TDirEntry entry;
  TImageHeader header;
  uint8_t raw[40];
  if (!ReadImageHeader(stream, index, entry, header, raw) || !header.PNG) return false;
  // The directory check keeps the resource inside the stream.
  png.resize(entry.BytesInRes);
  return ReadAt(stream, entry.ImageOffset, png.data(), png.size());
}

bool tIconHandler::HasAlpha() const {
  if (bitCount_ != 32) return false;
  for (size_t i = xorOffset_ + 3; i < andOffset_; i += 4) {
    if (icon_[i] != 0) return true;
  }
  return false;
}

void tIconHandler::Release() {
  std::vector<uint8_t>().swap(icon_);
  width_ = height_ = bitCount_ = colorCount_ = 0;
  paletteOffset_ = xorOffset_ = andOffset_ = xorRowSize_ = andRowSize_ = 0;
}

TRGB tIconHandler::PaletteColor(int index) const {
  const uint8_t* p = icon_.data() + paletteOffset_ + 4 * static_cast<size_t>(index);
  return RGB(p[2], p[1], p[0]);
}

const uint8_t* tIconHandler::XorRow(int y) const {
  return icon_.data() + xorOffset_ + xorRowSize_ * static_cast<size_t>(height_ - 1 - y);
}

bool tIconHandler::Transparent(int x, int y) const {
  const uint8_t* row =
      icon_.data() + andOffset_ + andRowSize_ * static_cast<size_t>(height_ - 1 - y);
  return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// ---------------------------------------------------------------------------
// Reader

tIcoFileFormatReader::tIcoFileFormatReader() {
  Primary = true;
  Extension = "ico";
  Description = "Windows Icon";
  ClassName = "tIcoFileFormatReader";
  SignatureCheck = true;
}

bool tIcoFileFormatReader::IsFormat(THeader header) {
  return LE16(&header[0]) == 0 && LE16(&header[2]) == 1 && LE16(&header[4]) != 0;
}

void tIcoFileFormatReader::ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) {
  TPositionGuard position(stream);
  // The settings as they are when the read starts, the same for every row.
  const int mode = PGIcoMode;
  const TRGB transparent = PGIcoTransparentColor;
  tIconHandler handler;
  TProgressScope progress(graphic);

  const tIconHandler::TCheck check = tIconHandler::CheckFile(stream);
  if (check.Type != 1 || check.Count == 0) throw EPixelGraphic(kNotAnIcon);
  if (index < 0 || index >= check.Count) throw EPixelGraphic(kIndexOutOfBounds);
  // Large icons often hold a PNG stream: the PNG reader reads it.
  std::vector<uint8_t> png;
  if (tIconHandler::HoldsPNG(stream, index, png)) {
    // Transparent pixels get the icon's transparent colour, as in mode 1.
    const TRGB background = graphic.BackGroundColor();
    graphic.SetBackGroundColor(transparent);
    TReadOnlyMemoryStream pngStream(png.data(), png.size());
    try {
      TPNGFileFormatReader().ReadGraphic(pngStream, graphic, 0);
    } catch (...) {
      graphic.SetBackGroundColor(background);
      throw;
    }
    graphic.SetBackGroundColor(background);
    return;
  }
  if (const std::string refused = handler.LoadImage(stream, index); !refused.empty()) {
    throw EPixelGraphic(refused);
  }

  const int width = handler.Width();
  const int height = handler.Height();
  const int bits = handler.BitCount();
  const TPGPixelFormat sourceFormat = bits == 1 ? pf1Bit : (bits == 4 ? pf4Bit : pf8Bit);
  // True-colour icons have no palette: both modes give a 24-bit image.
  const bool direct = bits > 8;
  const bool alpha = bits == 32 && handler.HasAlpha();
  if (mode == 0 && !direct) {
    graphic.SetSize(width, height, sourceFormat);
    graphic.SetPaletteCount(handler.ColorCount());
    for (int i = 0; i < handler.ColorCount(); ++i) {
      graphic.SetPaletteColor(i, handler.PaletteColor(i));
    }
    graphic.ClassifyPalette();
  } else {
    graphic.SetSize(width, height, pf24Bit);
    graphic.SetPaletteCount(0);
    graphic.ClassifyPalette();
  }
  const size_t rowBytes = (static_cast<size_t>(width) * handler.BitCount() + 7) / 8;
  for (int y = 0; y < height; ++y) {
    const uint8_t* source = handler.XorRow(y);
    uint8_t* row = graphic.ScanLine(y);
    if (mode == 0 && !direct) {
      // The XOR bitmap has the image's own row layout.
      std::memcpy(row, source, rowBytes);
    } else {
      for (int x = 0; x < width; ++x) {
        TRGB c;
        if (direct) {
          // Blue, green, red (and alpha, which replaces the mask when it is used).
          const uint8_t* s = source + static_cast<size_t>(bits / 8) * x;
          if (alpha) {
            const auto mix = [&](uint8_t v, uint32_t t) {
              return static_cast<uint32_t>((v * s[3] + t * (255 - s[3]) + 127) / 255);
            };
            c = RGB(mix(s[2], GetR(transparent)), mix(s[1], GetG(transparent)),
                    mix(s[0], GetB(transparent)));
          } else {
            c = handler.Transparent(x, y) ? transparent : RGB(s[2], s[1], s[0]);
          }
        } else if (handler.Transparent(x, y)) {
          c = transparent;
        } else {
          c = handler.PaletteColor(static_cast<int>(IndexAt(source, sourceFormat, x)));
        }
        uint8_t* p = row + 3 * static_cast<size_t>(x);
        p[0] = static_cast<uint8_t>(GetB(c));
        p[1] = static_cast<uint8_t>(GetG(c));
        p[2] = static_cast<uint8_t>(GetR(c));
      }
    }
    if (graphic.Progress(y, height)) break;
  }
}

void tIcoFileFormatReader::ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) {
  (void)index;  // image 0 describes the file
  const tIconHandler::TCheck check = tIconHandler::CheckFile(stream);
  if (check.Count == 0) throw EPixelGraphic(kNotAnIcon);
  info.Count = check.Count;

  TDirEntry entry;
  TImageHeader first;
  uint8_t raw[40];
  if (!ReadImageHeader(stream, 0, entry, first, raw)) throw EPixelGraphic(kNotAnIcon);
  info.Width = first.Width;
  info.Height = first.Height;
  info.BitsPerPixel = first.BitCount;
  if (check.Count == 1) {
    if (first.BitCount == 1 || first.BitCount == 4 || first.BitCount == 8) {
      info.Colors = ColoursOfBits(first.BitCount);
    }
    return;
  }
  int minBits = first.BitCount, maxBits = first.BitCount;
  int minWidth = first.Width, maxWidth = first.Width;
  for (int i = 1; i < check.Count; ++i) {
    TImageHeader h;
    if (!ReadImageHeader(stream, i, entry, h, raw)) throw EPixelGraphic(kNotAnIcon);
    minBits = std::min(minBits, h.BitCount);
    maxBits = std::max(maxBits, h.BitCount);
    minWidth = std::min(minWidth, h.Width);
    maxWidth = std::max(maxWidth, h.Width);
  }
  info.Extra = "Colors " + ColoursOfBits(minBits) + ".." + ColoursOfBits(maxBits);
  info.SubType = "Sizes " + std::to_string(minWidth) + ".." + std::to_string(maxWidth);
}

void AddICOReaders(TReaderList& readers) {
  readers.push_back(std::make_unique<tIcoFileFormatReader>());
}

}  // namespace pgraphic
