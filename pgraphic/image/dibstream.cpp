// The image's own device-independent-bitmap streams: decoding every DIB variant
// into the pixel storage, writing the packed DIB, and the clipboard bytes.
#include <algorithm>
#include <cstring>
#include <vector>

#include "pgraphic/endian.h"
#include "pgraphic/image/dib.h"

namespace pgraphic {

TPGSetting<bool> PGBMP16BitRounding = true;

namespace {

// Header faults are reported as the BMP reader's.
constexpr const char* kBMPPrefix = "BMP: ";

[[noreturn]] void Invalid(const char* field) {
  RaisePG<EPGBMPFileFormatReader>(kBMPPrefix, msgInvalid, field);
}

// Reads n bytes into dest: in one piece below 101 bytes, otherwise in ten
// slices with a progress call after each. Returns true when the handler asked
// to abort. A stream that ends early leaves the rest of dest as it was.
bool ReadSliced(TPixelGraphic& g, TStream& stream, uint8_t* dest, size_t n) {
  if (n < 101) {
    stream.Read(dest, n);
    return false;
  }
  const size_t slice = n / 10;
  for (int i = 1; i <= 10; ++i) {
    const size_t offset = slice * static_cast<size_t>(i - 1);
    const size_t len = i < 10 ? slice : n - offset;
    stream.Read(dest + offset, len);
    if (g.Progress(i, 10)) return true;
  }
  return false;
}

// One colour channel of a bit-field pixel: the mask's highest bit lands on bit 7.
struct TChannel {
  uint32_t mask = 0;
  int shift = 0;       // > 0: right shift, < 0: left shift
  uint32_t round = 0;  // added to a non-zero value (16-bit rounding)

  TChannel(uint32_t m, bool rounding) : mask(m) {
    if (mask == 0) return;  // a channel without bits reads as 0
    int high = 31;
    while (!(mask & (1u << high))) --high;
    shift = high - 7;
    const uint64_t widened = shift >= 0 ? (uint64_t{mask} >> shift) : (uint64_t{mask} << -shift);
    if (rounding) round = static_cast<uint32_t>(widened & (~widened + 1));
  }

  uint8_t operator()(uint32_t pixel) const {
    const uint32_t v = pixel & mask;
    if (v == 0) return 0;
    uint64_t w = shift >= 0 ? (uint64_t{v} >> shift) : (uint64_t{v} << -shift);
    w += round;
    return static_cast<uint8_t>(w > 255 ? 255 : w);
  }
};

}  // namespace

TDIBHeader ReadDIBHeader(TStream& stream, bool coreHeader) {
  TDIBHeader h;
  h.Core = coreHeader;
  uint8_t b[40] = {};
  const size_t want = coreHeader ? 12 : 40;
  if (stream.Read(b, want) != want) RaisePG<EPGBMPFileFormatReader>(kBMPPrefix, msgUnexpectedEnd);
  h.Size = LE32(b);
  if (coreHeader) {
    h.Width = LE16(b + 4);
    h.Height = LE16(b + 6);
    h.Planes = LE16(b + 8);
    h.BitCount = LE16(b + 10);
    if (h.Planes != 1) Invalid("BitmapCoreHeader.bcPlanes");
    if (h.BitCount != 1 && h.BitCount != 4 && h.BitCount != 8 && h.BitCount != 24) {
      Invalid("BitmapCoreHeader.bcBitCount");
    }
    return h;
  }
  h.Width = static_cast<int32_t>(LE32(b + 4));
  h.Height = static_cast<int32_t>(LE32(b + 8));
  h.Planes = LE16(b + 12);
  h.BitCount = LE16(b + 14);
  // No bitmap is 2^31 rows high: the one height without a positive counterpart is corrupt.
  if (h.Height == INT32_MIN) Invalid("BitmapInfoHeader.biHeight");
  h.Compression = LE32(b + 16);
  h.SizeImage = LE32(b + 20);
  h.ClrUsed = LE32(b + 32);
  if (h.Planes != 1) Invalid("BitmapInfoHeader.biPlanes");
  switch (h.BitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      Invalid("BitmapInfoHeader.biBitCount");
  }
  const bool ok = h.Compression == 0 ||
                  (h.Compression == 3 && (h.BitCount == 16 || h.BitCount == 32)) ||
                  (h.Compression == 2 && h.BitCount == 4 && h.Height >= 0) ||
                  (h.Compression == 1 && h.BitCount == 8 && h.Height >= 0);
  if (!ok) Invalid("BitmapInfoHeader.biCompression");
  return h;
}

bool DIBRLEComplete(const uint8_t* data, size_t size, bool rle4, int64_t width, int64_t height) {
  // Only the position matters: runs move right, end of line and delta move up.
  int64_t x = 0;
  int64_t y = height - 1;
  size_t p = 0;
  while (size >= 1 && p < size - 1) {
    const uint8_t n = data[p];
    const uint8_t c = data[p + 1];
    if (n != 0) {
      x += n;
      p += 2;
    } else if (c == 0) {
      x = 0;
      --y;
      p += 2;
    } else if (c == 1) {
      return true;
    } else if (c == 2) {
      if (p + 3 >= size) break;
      x += data[p + 2];
      y -= data[p + 3];
      p += 4;
    } else {
      const size_t bytes = rle4 ? (c + size_t{1}) / 2 : c;
      if (size - (p + 2) < bytes) {
        // The data ends inside an absolute run: only its stored pixels count.
        x += static_cast<int64_t>((size - (p + 2)) * (rle4 ? 2 : 1));
        break;
      }
      x += c;
      p = (p + bytes + 2 + 1) & ~size_t{1};
    }
  }
  return y < 0 || (y == 0 && x >= width);
}

int DIBPaletteEntries(const TPixelGraphic& graphic) {
  if (graphic.PixelFormat() == pf24Bit) return 0;
  // A palette image always carries a colour table; without one a reader would
  // assume the full table and misplace the pixels.
  return graphic.PaletteCount() > 0 ? graphic.PaletteCount() : graphic.PaletteCapacity();
}

namespace {

// 16- and 32-bit rows: every pixel's channels cut out by the bit-field masks.
void ReadBitFieldRows(TPixelGraphic& g, TStream& stream, int bits, const uint32_t masks[3],
                      bool topDown) {
  const int width = g.Width();
  const int height = g.Height();
  const bool rounding = bits == 16 && PGBMP16BitRounding;
  const TChannel red(masks[0], rounding), green(masks[1], rounding), blue(masks[2], rounding);
  const size_t rowBytes = static_cast<size_t>((static_cast<int64_t>(bits) * width + 31) / 32 * 4);
  const size_t bytesPerPixel = static_cast<size_t>(bits / 8);
  // The row buffer never exceeds what the stream still holds.
  std::vector<uint8_t> row(std::min<size_t>(rowBytes, static_cast<size_t>(stream.Remaining())));
  for (int i = 0; i < height; ++i) {
    const size_t got = row.empty() ? 0 : stream.Read(row.data(), row.size());
    // File rows run bottom-up; a top-down file's first row is the top row.
    uint8_t* dest = g.ScanLine(topDown ? i : height - 1 - i);
    const size_t pixels = std::min<size_t>(static_cast<size_t>(width), got / bytesPerPixel);
    const uint8_t* src = row.data();
    for (size_t x = 0; x < pixels; ++x, src += bytesPerPixel, dest += 3) {
      const uint32_t v = bits == 16 ? static_cast<uint32_t>(src[0] | (src[1] << 8)) : LE32(src);
      dest[0] = blue(v);
      dest[1] = green(v);
      dest[2] = red(v);
    }
    if (got < rowBytes) break;  // the stream ended: the rest stays as it was
    if (g.Progress(i, height)) break;
  }
}

// RLE8 and RLE4: the compressed data is held in memory (never more than the
// stream still holds) and decoded from the bottom row upward.
void ReadRLE(TPixelGraphic& g, TStream& stream, const TDIBHeader& h) {
  const int64_t width = g.Width();
  const int64_t height = g.Height();
  const size_t size = static_cast<size_t>(std::min<int64_t>(h.SizeImage, stream.Remaining()));
  std::vector<uint8_t> data(size);
  if (ReadSliced(g, stream, data.data(), size)) return;
  const bool rle4 = h.Compression == 2;
  const size_t tenth = size / 10;
  int64_t x = 0;
  int64_t y = height - 1;
  const uint8_t* d = data.data();

  // Writes a run of count pixels of an 8-bit value; pixels outside the image go
  // through SetPixel, which skips them or raises when the image checks ranges.
  auto run8 = [&](int64_t count, uint8_t value) {
    if (y >= 0 && y < height && x >= 0 && x + count <= width) {
      uint8_t* at = g.ScanLine(static_cast<int>(y)) + x;
      for (int64_t i = 0; i < count; ++i) at[i] = value;
    } else {
      for (int64_t i = 0; i < count; ++i) {
        g.SetPixel(static_cast<int>(std::clamp<int64_t>(x + i, -1, INT32_MAX)),
                   static_cast<int>(std::clamp<int64_t>(y, -1, INT32_MAX)), value);
      }
    }
    x += count;
  };
  // RLE4 pixels at x >= width are not drawn.
  auto put4 = [&](uint8_t value) {
    if (x < width) {
      g.SetPixel(static_cast<int>(x), static_cast<int>(std::clamp<int64_t>(y, -1, INT32_MAX)),
                 value);
    }
    ++x;
  };

  uint8_t* row = nullptr;
  bool rowInside = false;
  auto selectRow = [&] {
    rowInside = y >= 0 && y < height;
    row = rowInside ? g.ScanLine(static_cast<int>(y)) : nullptr;
  };
  selectRow();
  size_t p = 0;
  size_t nextMark = tenth;
  while (size >= 1 && p < size - 1) {
    const uint8_t n = d[p];
    const uint8_t c = d[p + 1];
    if (n != 0 && !rle4 && rowInside && x + n <= width) {
      // The common case, a run inside the current row.
      std::memset(row + x, c, n);
      x += n;
      p += 2;
    } else if (n != 0) {
      if (rle4) {
        for (int i = 0; i < n; ++i) put4((i & 1) ? (c & 0x0F) : (c >> 4));
      } else {
        run8(n, c);
      }
      p += 2;
    } else if (c == 0) {
      x = 0;
      --y;
      p += 2;
      selectRow();
    } else if (c == 1) {
      break;
    } else if (c == 2) {
      if (p + 3 >= size) break;
      x += d[p + 2];
      y -= d[p + 3];
      p += 4;
      selectRow();
    } else {
      const size_t k = c;
      const size_t start = p + 2;
      if (rle4) {
        for (size_t i = 0; i < k; ++i) {
          const size_t at = start + i / 2;
          if (at >= size) break;  // the data ends inside the run
          put4((i & 1) ? (d[at] & 0x0F) : (d[at] >> 4));
        }
        p += (k + 1) / 2 + 2;
      } else {
        const size_t available = std::min(k, size - start);  // the data may end inside the run
        if (y >= 0 && y < height && x >= 0 && x + static_cast<int64_t>(available) <= width) {
          std::memcpy(g.ScanLine(static_cast<int>(y)) + x, d + start, available);
          x += static_cast<int64_t>(available);
        } else {
          for (size_t i = 0; i < available; ++i) run8(1, d[start + i]);
        }
        p += k + 2;
      }
      p = (p + 1) & ~size_t{1};
    }
    // Progress whenever p lands on a multiple of a tenth of the data; the
    // division runs only when p has passed the next multiple.
    if (tenth > 0 && p >= nextMark) {
      if (p % tenth == 0 && g.Progress(static_cast<int>(p / tenth), 10)) break;
      nextMark = (p / tenth + 1) * tenth;
    }
  }
}

}  // namespace

void TPixelGraphic::ReadDIB(TStream& stream, bool coreHeader) {
  TProgressScope progress(*this);

  const TDIBHeader h = ReadDIBHeader(stream, coreHeader);
  auto formatOf = [](int bits) {
    switch (bits) {
      case 1:
        return pf1Bit;
      case 4:
        return pf4Bit;
      case 8:
        return pf8Bit;
      default:
        return pf24Bit;
    }
  };

  if (coreHeader) {
    const TPGPixelFormat format = formatOf(h.BitCount);
    SetSize(h.Width, h.Height, format);
    const int entries = pgraphic::PaletteCapacity(format);
    SetPaletteCount(entries);
    if (entries > 0) {
      uint8_t table[256 * 3] = {};
      stream.Read(table, 3 * static_cast<size_t>(entries));
      for (int i = 0; i < entries; ++i) {
        SetPaletteColor(i, RGB(table[3 * i + 2], table[3 * i + 1], table[3 * i]));
      }
    }
    if (bits_) ReadSliced(*this, stream, bits_.get(), static_cast<size_t>(imageSize_));
    return;
  }

  const bool topDown = h.Height < 0;
  const int64_t absHeight = topDown ? -static_cast<int64_t>(h.Height) : h.Height;
  if (absHeight > INT32_MAX) {
    RaisePG<EPGBMPFileFormatReader>("BMP: ", msgInvalid, "BitmapInfoHeader.biHeight");
  }
  const int height = static_cast<int>(absHeight);
  const int width = h.Width;
  const int bits = h.BitCount;

  uint32_t masks[3] = {0, 0, 0};
  if (bits > 8) {
    SetSize(width, height, pf24Bit);
    if (bits == 16 || bits == 32) {
      if (h.Compression == 3) {
        uint8_t m[12] = {};
        stream.Read(m, sizeof m);
        masks[0] = LE32(m);
        masks[1] = LE32(m + 4);
        masks[2] = LE32(m + 8);
      } else if (bits == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
      } else {
        masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
      }
    }
    if (h.ClrUsed > 0) stream.Seek(stream.Position() + 4 * static_cast<int64_t>(h.ClrUsed));
  } else {
    const TPGPixelFormat format = formatOf(bits);
    SetSize(width, height, format);
    const int capacity = pgraphic::PaletteCapacity(format);
    // A colour count beyond what the format can index is clamped; the surplus
    // entries are stepped over so the pixels are found where they start.
    const int64_t declared = h.ClrUsed != 0 ? h.ClrUsed : capacity;
    const int entries = static_cast<int>(std::min<int64_t>(declared, capacity));
    SetPaletteCount(entries);
    uint8_t table[256 * 4] = {};
    stream.Read(table, 4 * static_cast<size_t>(entries));
    for (int i = 0; i < entries; ++i) {
      SetPaletteColor(i, RGB(table[4 * i + 2], table[4 * i + 1], table[4 * i]));
    }
    if (declared > entries) stream.Seek(stream.Position() + 4 * (declared - entries));
  }
  if (!bits_) return;

  if ((h.Compression == 0 || h.Compression == 3) && bits != 16 && bits != 32) {
    ReadSliced(*this, stream, bits_.get(), static_cast<size_t>(imageSize_));
    if (topDown) {
      std::vector<uint8_t> tmp(static_cast<size_t>(rowStride_));
      for (int j = 0; j < height_ / 2; ++j) {
        uint8_t* a = ScanLine(j);
        uint8_t* b = ScanLine(height_ - 1 - j);
        std::memcpy(tmp.data(), a, tmp.size());
        std::memcpy(a, b, tmp.size());
        std::memcpy(b, tmp.data(), tmp.size());
      }
    }
    return;
  }

  if (bits == 16 || bits == 32) {
    ReadBitFieldRows(*this, stream, bits, masks, topDown);
    return;
  }
  ReadRLE(*this, stream, h);
}

void TPixelGraphic::WriteDIB(TStream& stream) {
  const int entries = DIBPaletteEntries(*this);
  uint8_t h[40] = {};
  PutLE32(h, 40);
  PutLE32(h + 4, static_cast<uint32_t>(width_));
  PutLE32(h + 8, static_cast<uint32_t>(height_));
  PutLE16(h + 12, 1);
  PutLE16(h + 14, static_cast<uint32_t>(pgraphic::BitsPerPixel(pixelFormat_)));
  PutLE32(h + 20, static_cast<uint32_t>(imageSize_));
  PutLE32(h + 32, static_cast<uint32_t>(pixelFormat_ == pf24Bit ? 0 : entries));
  stream.WriteBuffer(h, sizeof h);
  if (entries > 0) {
    std::vector<uint8_t> table(4 * static_cast<size_t>(entries), 0);
    for (int i = 0; i < entries && i < paletteCount_; ++i) {
      const TRGB c = palette_[i];
      table[4 * i] = static_cast<uint8_t>(GetB(c));
      table[4 * i + 1] = static_cast<uint8_t>(GetG(c));
      table[4 * i + 2] = static_cast<uint8_t>(GetR(c));
    }
    stream.WriteBuffer(table.data(), table.size());
  }
  if (bits_) stream.WriteBuffer(bits_.get(), static_cast<size_t>(imageSize_));
}

int64_t TPixelGraphic::DIBSize() const {
  return 58 + 4 * static_cast<int64_t>(paletteCount_) + imageSize_;
}

std::vector<uint8_t> TPixelGraphic::SaveToClipboardFormat(unsigned& format) {
  TMemoryStream stream;
  stream.Bytes().reserve(static_cast<size_t>(std::max<int64_t>(DIBSize(), 0)));
  WriteDIB(stream);
  format = 8;
  return std::move(stream.Bytes());
}

void TPixelGraphic::LoadFromClipboardFormat(unsigned format, const uint8_t* data, size_t size) {
  if ((format != 2 && format != 8) || data == nullptr) {
    throw EPGUnknownClipboardFormat(LangStr(msgUnknownClipboardFormat));
  }
  {
    TUpdateScope update(*this);
    TReadOnlyMemoryStream stream(data, size);
    ReadDIB(stream, false);
    gamma_ = PGDisplayGamma;
  }
  ClassifyPalette();
}

}  // namespace pgraphic
