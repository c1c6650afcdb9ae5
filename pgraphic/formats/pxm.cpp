#include "pgraphic/formats/pxm.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "pgraphic/formats/bufferedinput.h"

namespace pgraphic {

TPGSetting<bool> PGPxMBinary = false;

namespace {

constexpr const char* kPrefix = "PBM, PGM, PPM: ";

[[noreturn]] void RaiseEOF() {
  RaisePG<EPGPxMFileFormatReader>(kPrefix, 32);
}
[[noreturn]] void RaiseNotSupported() {
  RaisePG<EPGPxMFileFormatReader>(kPrefix, 30);
}

// Numbers of the header and of the plain rasters: a "#" starts a comment that
// runs to the next line feed, anything up to the first digit is skipped, and the
// first non-digit after the digits ends the number and is consumed. The end of
// the file also ends a number once a digit has been read.
class TPxMScanner {
 public:
  explicit TPxMScanner(TStream& stream) : in(stream) {}

  int Char() {
    int c = in.Get();
    if (c == '#') {
      do c = in.Get();
      while (c >= 0 && c != '\n');
    }
    return c;
  }

  // Values above the cap are held at the cap.
  uint64_t Number(uint64_t cap) {
    int c = Char();
    while (c < '0' || c > '9') {
      if (c < 0) RaiseEOF();
      c = Char();
    }
    uint64_t value = 0;
    while (c >= '0' && c <= '9') {
      value = value * 10 + static_cast<uint64_t>(c - '0');
      if (value > cap) value = cap;
      c = Char();
    }
    return value;
  }

  // One pixel of a plain bitmap: a single digit, since such rows are commonly
  // written without any separators ("0110").
  int Digit() {
    int c = Char();
    while (c < '0' || c > '9') {
      if (c < 0) RaiseEOF();
      c = Char();
    }
    return c - '0';
  }

  // A header number; values that do not fit a positive 32-bit integer are refused
  // rather than wrapped.
  int HeaderNumber() {
    constexpr uint64_t limit = std::numeric_limits<int32_t>::max();
    uint64_t v = Number(limit + 1);
    if (v > limit) RaiseNotSupported();
    return static_cast<int>(v);
  }

  TBufferedInput in;
};

// Maps a sample 0..maxval to 0..255 (v × 255 div maxval); samples above maxval
// give white rather than wrapping around.
struct TScale {
  explicit TScale(uint64_t maxval) : maxval(maxval) {
    if (maxval <= 65535) {
      table.resize(maxval + 1);
      for (uint64_t v = 0; v <= maxval; ++v) table[v] = static_cast<uint8_t>(v * 255 / maxval);
    }
  }
  uint8_t operator()(uint64_t v) const {
    if (v >= maxval) return 255;
    if (!table.empty()) return table[v];
    return static_cast<uint8_t>(v * 255 / maxval);
  }
  uint64_t maxval;
  std::vector<uint8_t> table;
};

}  // namespace

// ---- Readers -------------------------------------------------------------------

TPxMFileFormatReader::TPxMFileFormatReader() {
  Primary = true;
  SignatureCheck = true;
}

void TPxMFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) {
  if (index != 0) RaisePG<EPGPxMFileFormatReader>("PxM: ", 7, "Index");
  graphic.SetGamma(PGDisplayGamma);
  TPxMScanner scan(stream);
  if (scan.in.Get() != 'P') RaisePG<EPGPxMFileFormatReader>(kPrefix, 34, "PBM, PGM, PPM");
  const int digit = scan.in.Get();
  if (digit < '1' || digit > '6') RaisePG<EPGPxMFileFormatReader>(kPrefix, 33);
  const int kind = (digit - '1') % 3;  // 0 bitmap, 1 graymap, 2 pixmap
  const bool raw = digit >= '4';
  const TPGPixelFormat format = kind == 0 ? pf1Bit : kind == 1 ? pf8Bit : pf24Bit;

  graphic.SetSize(0, 0, format);
  if (kind == 0)
    graphic.SetPaletteIdent(pBlackWhite);
  else if (kind == 1)
    graphic.SetPaletteIdent(pGray256);

  const int width = scan.HeaderNumber();
  const int height = scan.HeaderNumber();
  uint64_t maxval = 1;
  if (kind != 0) maxval = static_cast<uint64_t>(scan.HeaderNumber());
  // A maxval of 0 has no scaling; raw samples are single bytes.
  if (width < 1 || height < 1 || maxval == 0 || (raw && maxval >= 256)) RaiseNotSupported();
  graphic.SetSize(width, height, format);
  if (kind == 0)
    graphic.SetPaletteIdent(pBlackWhite);
  else if (kind == 1)
    graphic.SetPaletteIdent(pGray256);

  const TScale scale(maxval);
  const size_t w = static_cast<size_t>(width);
  const size_t rawRow = kind == 0 ? (w + 7) / 8 : kind == 1 ? w : 3 * w;
  std::vector<uint8_t> buffer(raw && kind == 2 ? rawRow : 0);
  constexpr uint64_t sampleCap = uint64_t(1) << 40;

  TProgressScope progress(graphic);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = graphic.ScanLine(y);
    switch (digit) {
      case '1':
        std::memset(row, 0, rawRow);
        for (size_t x = 0; x < w; ++x) {
          // Non-zero is black (index 0), zero white (index 1).
          if (scan.Digit() == 0) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
        break;
      case '2':
        for (size_t x = 0; x < w; ++x) row[x] = scale(scan.Number(sampleCap));
        break;
      case '3':
        for (size_t x = 0; x < w; ++x) {
          row[3 * x + 2] = scale(scan.Number(sampleCap));
          row[3 * x + 1] = scale(scan.Number(sampleCap));
          row[3 * x] = scale(scan.Number(sampleCap));
        }
        break;
      case '4':
        if (scan.in.Read(row, rawRow) != rawRow) RaiseEOF();
        for (size_t i = 0; i < rawRow; ++i) row[i] = static_cast<uint8_t>(~row[i]);
        if (w % 8) row[rawRow - 1] &= static_cast<uint8_t>(0xFF00 >> (w % 8));
        break;
      case '5':
        if (scan.in.Read(row, rawRow) != rawRow) RaiseEOF();
        if (maxval != 255) {
          for (size_t x = 0; x < w; ++x) row[x] = scale(row[x]);
        }
        break;
      case '6': {
        if (scan.in.Read(buffer.data(), rawRow) != rawRow) RaiseEOF();
        const uint8_t* s = buffer.data();
        if (maxval == 255) {
          for (size_t x = 0; x < w; ++x, s += 3, row += 3) {
            row[0] = s[2];
            row[1] = s[1];
            row[2] = s[0];
          }
        } else {
          for (size_t x = 0; x < w; ++x, s += 3, row += 3) {
            row[0] = scale(s[2]);
            row[1] = scale(s[1]);
            row[2] = scale(s[0]);
          }
        }
        break;
      }
    }
    if (graphic.Progress(y, height)) break;
  }
}

void TPxMFileFormatReader::ReadInfo(TStream& stream, int index, TPGFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  if (index != 0) RaisePG<EPGPxMFileFormatReader>(kPrefix, 20, "Index");
  TPxMScanner scan(stream);
  if (scan.in.Get() != 'P') RaisePG<EPGPxMFileFormatReader>(kPrefix, 34, "PBM, PGM, PPM");
  const int digit = scan.in.Get();
  if (digit < '1' || digit > '6') RaisePG<EPGPxMFileFormatReader>(kPrefix, 33);
  info.SubType = digit <= '3' ? "ASCII" : "Binary";
  const int kind = (digit - '1') % 3;
  info.BitsPerPixel = kind == 0 ? 1 : kind == 1 ? 8 : 24;
  info.Width = scan.HeaderNumber();
  info.Height = scan.HeaderNumber();
  info.Colors = kind == 0 ? "2" : kind == 1 ? "256" : "16.7M";
}

TPBMFileFormatReader::TPBMFileFormatReader() {
  Extension = "pbm";
  Description = "Portable Bitmap";
  ClassName = "TPBMFileFormatReader";
}

bool TPBMFileFormatReader::IsFormat(THeader h) {
  return h[0] == 'P' && (h[1] == '1' || h[1] == '4');
}

TPGMFileFormatReader::TPGMFileFormatReader() {
  Extension = "pgm";
  Description = "Portable Graymap";
  ClassName = "TPGMFileFormatReader";
}

bool TPGMFileFormatReader::IsFormat(THeader h) {
  return h[0] == 'P' && (h[1] == '2' || h[1] == '5');
}

TPPMFileFormatReader::TPPMFileFormatReader() {
  Extension = "ppm";
  Description = "Portable Pixelmap";
  ClassName = "TPPMFileFormatReader";
}

bool TPPMFileFormatReader::IsFormat(THeader h) {
  return h[0] == 'P' && (h[1] == '3' || h[1] == '6');
}

// ---- Writers -------------------------------------------------------------------

namespace {

// Collects output bytes and writes them out in large blocks.
class TBufferedOutput {
 public:
  explicit TBufferedOutput(TStream& stream) : stream_(stream) { buffer_.reserve(kCapacity); }
  void Put(uint8_t b) {
    if (buffer_.size() == kCapacity) Flush();
    buffer_.push_back(b);
  }
  void Put(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
      if (buffer_.size() == kCapacity) Flush();
      size_t take = std::min(n, kCapacity - buffer_.size());
      buffer_.insert(buffer_.end(), p, p + take);
      p += take;
      n -= take;
    }
  }
  void Put(const std::string& s) { Put(s.data(), s.size()); }
  void PutNumber(unsigned v) {
    char text[12];
    int n = 0;
    do {
      text[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v);
    while (n) Put(static_cast<uint8_t>(text[--n]));
  }
  void Flush() {
    stream_.WriteBuffer(buffer_.data(), buffer_.size());
    buffer_.clear();
  }

 private:
  static constexpr size_t kCapacity = 1 << 16;
  TStream& stream_;
  std::vector<uint8_t> buffer_;
};

bool IsBlackWhite(const TPixelGraphic& g) {
  return g.PixelFormat() == pf1Bit && g.PaletteCount() == 2 && g.PaletteColor(0) == RGB(0, 0, 0) &&
         g.PaletteColor(1) == RGB(255, 255, 255);
}

bool IsGray256(const TPixelGraphic& g) {
  if (g.PixelFormat() != pf8Bit || g.PaletteCount() != 256) return false;
  for (int i = 0; i < 256; ++i) {
    if (g.PaletteColor(i) != RGB(i, i, i)) return false;
  }
  return true;
}

}  // namespace

void TPXMFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  int kind;
  if (Extension == "pbm")
    kind = 0;
  else if (Extension == "pgm")
    kind = 1;
  else if (Extension == "ppm")
    kind = 2;
  else
    RaisePG<EPGPxMFileFormatWriter>(kPrefix, 19, Extension);
  const int width = graphic.Width(), height = graphic.Height();
  if (width < 1 || height < 1 || graphic.Empty()) RaisePG<EPGPxMFileFormatWriter>(kPrefix, 35);
  // The pixels are written by index, so only the palettes that mean what the
  // format says are accepted.
  if (kind == 0 && !IsBlackWhite(graphic)) RaisePG<EPGPxMFileFormatWriter>("PBM: ", 36);
  if (kind == 1 && !IsGray256(graphic)) RaisePG<EPGPxMFileFormatWriter>("PGM: ", 36);
  if (kind == 2 && graphic.PixelFormat() != pf24Bit) {
    RaisePG<EPGPxMFileFormatWriter>("PPM: ", 36);
  }

  const bool raw = PGPxMBinary;
  TBufferedOutput out(stream);
  out.Put('P');
  out.Put(static_cast<uint8_t>('1' + kind + (raw ? 3 : 0)));
  out.Put('\n');
  out.PutNumber(static_cast<unsigned>(width));
  out.Put(' ');
  out.PutNumber(static_cast<unsigned>(height));
  out.Put('\n');
  if (kind != 0) out.Put("255\n");

  const size_t w = static_cast<size_t>(width);
  std::vector<uint8_t> line(3 * w);
  TProgressScope progress(graphic);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = graphic.ScanLine(y);
    if (kind == 0) {
      if (raw) {
        const size_t bytes = (w + 7) / 8;
        for (size_t i = 0; i < bytes; ++i) line[i] = static_cast<uint8_t>(~row[i]);
        out.Put(line.data(), bytes);
      } else {
        for (size_t x = 0; x < w; ++x) {
          if (x) out.Put(' ');
          out.Put(((row[x >> 3] >> (7 - (x & 7))) & 1) ? '0' : '1');
        }
        out.Put('\n');
      }
    } else if (kind == 1) {
      if (raw) {
        out.Put(row, w);
      } else {
        for (size_t x = 0; x < w; ++x) {
          if (x) out.Put(' ');
          out.PutNumber(row[x]);
        }
        out.Put('\n');
      }
    } else {
      if (raw) {
        for (size_t x = 0; x < w; ++x) {
          line[3 * x] = row[3 * x + 2];
          line[3 * x + 1] = row[3 * x + 1];
          line[3 * x + 2] = row[3 * x];
        }
        out.Put(line.data(), 3 * w);
      } else {
        for (size_t x = 0; x < w; ++x) {
          if (x) out.Put(' ');
          out.PutNumber(row[3 * x + 2]);
          out.Put(' ');
          out.PutNumber(row[3 * x + 1]);
          out.Put(' ');
          out.PutNumber(row[3 * x]);
        }
        out.Put('\n');
      }
    }
    // Writing does not stop on abort: a half-written file is worse than a slow one.
    graphic.Progress(y, height);
  }
  out.Flush();
}

TPBMFileFormatWriter::TPBMFileFormatWriter() {
  Primary = true;
  Extension = "pbm";
  Description = "Portable Bitmap";
  ClassName = "TPBMFileFormatWriter";
  CanWriteResolutions = 1 << crBlackWhite;
}

TPGMFileFormatWriter::TPGMFileFormatWriter() {
  Primary = true;
  Extension = "pgm";
  Description = "Portable Graymap";
  ClassName = "TPGMFileFormatWriter";
  CanWriteResolutions = 1 << cr256Grays;
}

TPPMFileFormatWriter::TPPMFileFormatWriter() {
  Primary = true;
  Extension = "ppm";
  Description = "Portable Pixelmap";
  ClassName = "TPPMFileFormatWriter";
  CanWriteResolutions = 1 << crTrueColor;
}

void AddPxMReaders(TReaderList& readers) {
  readers.push_back(std::make_unique<TPBMFileFormatReader>());
  readers.push_back(std::make_unique<TPGMFileFormatReader>());
  readers.push_back(std::make_unique<TPPMFileFormatReader>());
}

void AddPxMWriters(TWriterList& writers) {
  writers.push_back(std::make_unique<TPBMFileFormatWriter>());
  writers.push_back(std::make_unique<TPGMFileFormatWriter>());
  writers.push_back(std::make_unique<TPPMFileFormatWriter>());
}

}  // namespace pgraphic
