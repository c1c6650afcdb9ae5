#include "pgraphic/formats/tiff.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <unordered_set>

#include "pgraphic/messages.h"

namespace pgraphic {

TPGSetting<bool> PGTIFFCountImages = false;
TPGSetting<int> PGTIFFMaxImages = 1000;
TPGSetting<int> PGTIFFCompression = 1;
TPGSetting<bool> PGTIFFWriteCMYK = false;
TPGSetting<bool> PGTIFFWhiteIsZero = false;
TPGSetting<bool> PGTIFFMotorola = false;
TPGSetting<int> PGTIFFResolutionUnit = 1;
TPGSetting<TPGTIFFRational> PGTIFFXResolution = TPGTIFFRational{300, 1};
TPGSetting<TPGTIFFRational> PGTIFFYResolution = TPGTIFFRational{300, 1};

void ResetTIFFSettings() {
  PGTIFFCountImages = false;
  PGTIFFMaxImages = 1000;
  PGTIFFCompression = 1;
  PGTIFFWriteCMYK = false;
  PGTIFFWhiteIsZero = false;
  PGTIFFMotorola = false;
  PGTIFFResolutionUnit = 1;
  PGTIFFXResolution = {300, 1};
  PGTIFFYResolution = {300, 1};
}

namespace {

constexpr const char* kPrefix = "TIFF: ";
constexpr const char* kPackBitsPrefix = "TIFF (PackBits): ";
constexpr uint32_t kNoCompression = 1;
constexpr uint32_t kPackBits = 32773;

enum : uint16_t {
  tagNewSubfileType = 254,
  tagImageWidth = 256,
  tagImageLength = 257,
  tagBitsPerSample = 258,
  tagCompression = 259,
  tagPhotometric = 262,
  tagStripOffsets = 273,
  tagSamplesPerPixel = 277,
  tagRowsPerStrip = 278,
  tagStripByteCounts = 279,
  tagXResolution = 282,
  tagYResolution = 283,
  tagPlanarConfiguration = 284,
  tagResolutionUnit = 296,
  tagColorMap = 320,
};

enum : uint16_t { ftByte = 1, ftShort = 3, ftLong = 4, ftRational = 5 };

[[noreturn]] void Fail(const std::string& text) {
  throw EPGTIFFileFormatReader(std::string(kPrefix) + text);
}
[[noreturn]] void FailEntry(int entry) {
  RaisePG<EPGTIFFileFormatReader>(kPrefix, entry);
}
[[noreturn]] void FailEntry(int entry, const char* arg) {
  RaisePG<EPGTIFFileFormatReader>(kPrefix, entry, arg);
}

// ---- Reading ------------------------------------------------------------------

// Random access to the file relative to its starting position, in its byte order.
// Every read is checked against the end of the stream.
class TTIFFInput {
 public:
  TTIFFInput(TStream& stream, int64_t base, bool little)
      : stream_(stream),
        base_(base),
        size_(std::max<int64_t>(0, stream.Size() - base)),
        little_(little) {}

  int64_t Size() const { return size_; }
  bool Little() const { return little_; }

  uint16_t U16(const uint8_t* p) const {
    return little_ ? static_cast<uint16_t>(p[0] | (p[1] << 8))
                   : static_cast<uint16_t>((p[0] << 8) | p[1]);
  }
  uint32_t U32(const uint8_t* p) const {
    return little_ ? (uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                      (uint32_t(p[3]) << 24))
                   : ((uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) |
                      uint32_t(p[3]));
  }

  bool Inside(int64_t offset, int64_t n) const {
    return offset >= 0 && n >= 0 && offset <= size_ && n <= size_ - offset;
  }

  // Reads exactly n bytes at the relative offset or raises "Unexpected end of file".
  void ReadAt(int64_t offset, void* buffer, size_t n) {
    if (!Inside(offset, static_cast<int64_t>(n))) FailEntry(32);
    Seek(offset);
    if (stream_.Read(buffer, n) != n) FailEntry(32);
  }
  // Reads up to n bytes at the relative offset; returns how many were read.
  size_t ReadSome(int64_t offset, void* buffer, size_t n) {
    if (offset < 0 || offset >= size_) return 0;
    n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), size_ - offset));
    Seek(offset);
    return stream_.Read(buffer, n);
  }

 private:
  void Seek(int64_t offset) {
    if (stream_.Position() != base_ + offset) stream_.Seek(base_ + offset);
  }
  TStream& stream_;
  int64_t base_;
  int64_t size_;
  bool little_;
};

struct TEntry {
  bool Present = false;
  uint16_t Type = 0;
  uint32_t Count = 0;
  uint8_t Field[4] = {0, 0, 0, 0};
};

int TypeSize(uint16_t type) {
  return type == ftByte ? 1 : type == ftShort ? 2 : 4;
}

// The values of an entry (at most maxCount of them), from the entry's own field
// when they fit there, else from the offset it holds.
std::vector<uint32_t> Values(TTIFFInput& in, const TEntry& e, uint32_t maxCount) {
  std::vector<uint32_t> values;
  if (!e.Present || e.Count == 0) return values;
  const int size = TypeSize(e.Type);
  const uint32_t n = std::min(e.Count, maxCount);
  const uint8_t* p = e.Field;
  std::vector<uint8_t> raw;
  if (static_cast<uint64_t>(e.Count) * size > 4) {
    const int64_t bytes = static_cast<int64_t>(n) * size;
    const int64_t offset = in.U32(e.Field);
    // Checked before allocating: the values must lie inside the file.
    if (!in.Inside(offset, bytes)) FailEntry(32);
    raw.resize(static_cast<size_t>(bytes));
    in.ReadAt(offset, raw.data(), raw.size());
    p = raw.data();
  }
  values.resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    switch (e.Type) {
      case ftByte:
        values[i] = p[i];
        break;
      case ftShort:
        values[i] = in.U16(p + 2 * i);
        break;
      default:
        values[i] = in.U32(p + 4 * i);
        break;
    }
  }
  return values;
}

uint32_t Scalar(TTIFFInput& in, const TEntry& e) {
  std::vector<uint32_t> v = Values(in, e, 1);
  return v.empty() ? 0 : v[0];
}

// What the reader keeps of one image file directory.
struct TDirectory {
  bool Little = true;
  int Count = 1;
  uint32_t Width = 0;
  uint32_t Length = 0;
  uint32_t Compression = 0;
  uint32_t Photometric = 0;
  uint32_t SamplesPerPixel = 0;
  uint32_t RowsPerStrip = 0;
  uint32_t Planar = 0;
  std::vector<uint32_t> BitsPerSample;
  TEntry StripOffsets;
  TEntry StripByteCounts;
  TEntry ColorMap;
};

// Reads the header and the chosen directory and checks what every image needs.
TDirectory ReadDirectory(TStream& stream, int index, std::unique_ptr<TTIFFInput>& input) {
  const int64_t base = stream.Position();
  uint8_t header[8];
  stream.Seek(base);
  const size_t got = stream.Read(header, sizeof header);
  const bool ii = got >= 2 && header[0] == 'I' && header[1] == 'I';
  const bool mm = got >= 2 && header[0] == 'M' && header[1] == 'M';
  if (!ii && !mm) FailEntry(34, "TIF");
  input = std::make_unique<TTIFFInput>(stream, base, ii);
  TTIFFInput& in = *input;
  if (got < 4 || in.U16(header + 2) != 42) FailEntry(34, "TIF");
  if (got < 8) FailEntry(32);
  const uint32_t first = in.U32(header + 4);

  TDirectory d;
  d.Little = ii;
  int64_t chosen = first;
  if (PGTIFFCountImages) {
    // Follows the chain; a chain that leaves the file, revisits a directory or
    // grows beyond PGTIFFMaxImages is given up on (one image, the first directory).
    std::unordered_set<int64_t> seen;
    int count = 0;
    bool giveUp = false;
    int64_t position = first;
    while (position != 0) {
      uint8_t b[4];
      if (position > in.Size() - 2 || !seen.insert(position).second) {
        giveUp = true;
        break;
      }
      in.ReadAt(position, b, 2);
      const int64_t link = position + 2 + 12 * static_cast<int64_t>(in.U16(b));
      if (!in.Inside(link, 4)) {
        giveUp = true;
        break;
      }
      if (count == index) chosen = position;
      if (++count > PGTIFFMaxImages) {
        giveUp = true;
        break;
      }
      in.ReadAt(link, b, 4);
      position = in.U32(b);
    }
    d.Count = giveUp ? 1 : count;
    if (giveUp) chosen = first;
  }
  if (index < 0 || index >= d.Count) FailEntry(7, "Index");

  uint8_t b[2];
  in.ReadAt(chosen, b, 2);
  const uint16_t n = in.U16(b);
  std::vector<uint8_t> raw(12 * static_cast<size_t>(n));
  in.ReadAt(chosen + 2, raw.data(), raw.size());
  TEntry newSubfileType, width, length, bits, compression, photometric, samples, rows, planar;
  for (uint16_t i = 0; i < n; ++i) {
    const uint8_t* p = raw.data() + 12 * static_cast<size_t>(i);
    TEntry* target = nullptr;
    switch (in.U16(p)) {
      case tagNewSubfileType:
        target = &newSubfileType;
        break;
      case tagImageWidth:
        target = &width;
        break;
      case tagImageLength:
        target = &length;
        break;
      case tagBitsPerSample:
        target = &bits;
        break;
      case tagCompression:
        target = &compression;
        break;
      case tagPhotometric:
        target = &photometric;
        break;
      case tagStripOffsets:
        target = &d.StripOffsets;
        break;
      case tagSamplesPerPixel:
        target = &samples;
        break;
      case tagRowsPerStrip:
        target = &rows;
        break;
      case tagStripByteCounts:
        target = &d.StripByteCounts;
        break;
      case tagPlanarConfiguration:
        target = &planar;
        break;
      case tagColorMap:
        target = &d.ColorMap;
        break;
      default:
        continue;
    }
    const uint16_t type = in.U16(p + 2);
    if (type != ftByte && type != ftShort && type != ftLong) {
      Fail("Unsupported field Type: " + std::to_string(type));
    }
    target->Present = true;
    target->Type = type;
    target->Count = in.U32(p + 4);
    std::memcpy(target->Field, p + 8, 4);
  }
  d.Width = Scalar(in, width);
  d.Length = Scalar(in, length);
  d.Compression = Scalar(in, compression);
  d.Photometric = Scalar(in, photometric);
  d.SamplesPerPixel = Scalar(in, samples);
  d.RowsPerStrip = Scalar(in, rows);
  d.Planar = Scalar(in, planar);

  if (d.Planar > 1) FailEntry(7, "PlanarConfiguration");
  const uint32_t spp = d.SamplesPerPixel;
  if (spp != 1 && spp != 3 && spp != 4) Fail("Invalid SamplesPerPixel");
  if (bits.Count != spp) Fail("Invalid count of SamplesPerPixel");
  d.BitsPerSample = Values(in, bits, spp);
  const auto all8 = [&] {
    return std::all_of(d.BitsPerSample.begin(), d.BitsPerSample.end(),
                       [](uint32_t v) { return v == 8; });
  };
  const uint32_t pi = d.Photometric;
  const uint32_t b0 = d.BitsPerSample[0];
  const bool accepted =
      (spp == 1 && (pi == 0 || pi == 1 || pi == 3) && (b0 == 1 || b0 == 4 || b0 == 8)) ||
      (spp == 3 && pi == 2 && all8()) || (spp == 4 && (pi == 2 || pi == 5) && all8());
  if (!accepted) Fail("Invalid SamplesPerPixel");
  if (d.RowsPerStrip == 0) {
    if (d.StripOffsets.Count != 1) Fail("Invalid RowsPerStrip");
    d.RowsPerStrip = d.Length;
  }
  return d;
}

// Turns one file row into one image row.
void ConvertRow(const TDirectory& d, const uint8_t* src, uint8_t* dst, uint32_t width,
                size_t rowLength) {
  const uint32_t spp = d.SamplesPerPixel;
  if (spp == 1) {
    if (d.Photometric == 0) {
      for (size_t i = 0; i < rowLength; ++i) dst[i] = static_cast<uint8_t>(~src[i]);
    } else {
      std::memcpy(dst, src, rowLength);
    }
    // Keeps the unused bits of the last byte clear.
    const uint64_t usedBits = static_cast<uint64_t>(d.BitsPerSample[0]) * width;
    if (usedBits % 8 != 0) dst[rowLength - 1] &= static_cast<uint8_t>(0xFF00 >> (usedBits % 8));
  } else if (spp == 3) {
    for (uint32_t x = 0; x < width; ++x, src += 3, dst += 3) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  } else if (d.Photometric == 5) {
    for (uint32_t x = 0; x < width; ++x, src += 4, dst += 3) {
      const int k = src[3];
      dst[0] = static_cast<uint8_t>(std::max(0, 255 - src[2] - k));
      dst[1] = static_cast<uint8_t>(std::max(0, 255 - src[1] - k));
      dst[2] = static_cast<uint8_t>(std::max(0, 255 - src[0] - k));
    }
  } else {
    for (uint32_t x = 0; x < width; ++x, src += 4, dst += 3) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
}

// Packed bytes of the strips, read through a window that is refilled from the
// file whenever the decoder needs bytes beyond it.
class TPackBitsWindow {
 public:
  explicit TPackBitsWindow(TTIFFInput& in) : in_(in), buffer_(kSize) {}

  void StartAt(int64_t offset) {
    next_ = offset;
    begin_ = end_ = 0;
  }

  void DecodeRow(uint8_t* row, size_t length, int r) {
    size_t filled = 0;
    while (filled < length) {
      begin_ += PackBitsDecode(buffer_.data() + begin_, end_ - begin_, row, length, filled, r);
      if (filled == length) break;
      // Not a complete packet left: keep the partial one and read on.
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
      const size_t got = in_.ReadSome(next_, buffer_.data() + end_, kSize - end_);
      if (got == 0) FailEntry(32);
      next_ += static_cast<int64_t>(got);
      end_ += got;
    }
  }

 private:
  static constexpr size_t kSize = 1 << 16;
  TTIFFInput& in_;
  std::vector<uint8_t> buffer_;
  int64_t next_ = 0;  // file offset of the byte after the window's contents
  size_t begin_ = 0, end_ = 0;
};

const char* CompressionName(uint32_t c) {
  switch (c) {
    case 1:
      return "Uncompr.";
    case 2:
      return "CCITT 1D";
    case 3:
      return "Group 3 F.";
    case 4:
      return "Group 4 F.";
    case 5:
      return "LZW";
    case 6:
      return "JPEG";
    case kPackBits:
      return "PackBits";
    default:
      return "";
  }
}

// ---- Writing ------------------------------------------------------------------

class TTIFFOutput {
 public:
  explicit TTIFFOutput(bool little) : little_(little) {}
  std::vector<uint8_t> Bytes;
  void U16(uint32_t v) {
    if (little_) {
      Bytes.push_back(static_cast<uint8_t>(v));
      Bytes.push_back(static_cast<uint8_t>(v >> 8));
    } else {
      Bytes.push_back(static_cast<uint8_t>(v >> 8));
      Bytes.push_back(static_cast<uint8_t>(v));
    }
  }
  void U32(uint32_t v) {
    if (little_) {
      U16(v & 0xFFFF);
      U16(v >> 16);
    } else {
      U16(v >> 16);
      U16(v & 0xFFFF);
    }
  }
  // A directory entry; SHORT values sit in the first half of the value field.
  void Entry(uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    U16(tag);
    U16(type);
    U32(count);
    if (type == ftShort && count == 1) {
      U16(value);
      U16(0);
    } else {
      U32(value);
    }
  }

 private:
  bool little_;
};

[[noreturn]] void FailWriter(const std::string& text) {
  throw EPGTIFFileFormatWriter(std::string(kPrefix) + text);
}

uint32_t Offset32(int64_t relative) {
  if (relative < 0 || relative > std::numeric_limits<uint32_t>::max()) {
    FailWriter("Internal Error");
  }
  return static_cast<uint32_t>(relative);
}

void WriteU32At(TStream& stream, int64_t position, uint32_t value, bool little) {
  TTIFFOutput out(little);
  out.U32(value);
  stream.Seek(position);
  stream.WriteBuffer(out.Bytes.data(), out.Bytes.size());
}

}  // namespace

// ---- PackBits -------------------------------------------------------------------

size_t PackBitsDecode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize,
                      size_t& filled, int row) {
  size_t i = 0;
  while (filled < outSize && i < inSize) {
    const int n = static_cast<int8_t>(in[i]);
    if (n >= 0) {
      const size_t count = static_cast<size_t>(n) + 1;
      if (count > inSize - i - 1) break;
      if (count > outSize - filled) {
        RaisePG<EPGTIFFileFormatReader>(kPackBitsPrefix, 38, std::to_string(row));
      }
      std::memcpy(out + filled, in + i + 1, count);
      filled += count;
      i += 1 + count;
    } else if (n != -128) {
      const size_t count = static_cast<size_t>(1 - n);
      if (inSize - i < 2) break;
      if (count > outSize - filled) {
        RaisePG<EPGTIFFileFormatReader>(kPackBitsPrefix, 38, std::to_string(row));
      }
      std::memset(out + filled, in[i + 1], count);
      filled += count;
      i += 2;
    } else {
      ++i;
    }
  }
  return i;
}

void PackBitsEncode(const uint8_t* row, size_t length, std::vector<uint8_t>& out) {
  if (length == 0) return;
  const size_t start = out.size();
  out.resize(start + length + (length + 127) / 128);  // the most a row can need
  uint8_t* o = out.data() + start;

  // Literal bytes waiting to be sent, in packets of up to 128.
  size_t literalStart = 0, literalLength = 0;
  const auto flushLiteral = [&] {
    for (size_t p = literalStart; literalLength > 0;) {
      const size_t n = std::min<size_t>(literalLength, 128);
      *o++ = static_cast<uint8_t>(n - 1);
      std::memcpy(o, row + p, n);
      o += n;
      p += n;
      literalLength -= n;
    }
  };
  const auto addLiteral = [&](size_t at, size_t n) {
    if (literalLength == 0) literalStart = at;
    literalLength += n;
  };
  const auto repeat = [&](uint8_t value, size_t n) {
    while (n > 0) {
      const size_t c = std::min<size_t>(n, 128);
      *o++ = static_cast<uint8_t>(-static_cast<int>(c - 1));
      *o++ = value;
      n -= c;
    }
  };
  // The row is taken as runs of equal bytes. A run of one byte is literal, a run
  // of three or more is repeated. Runs of two are held back as a group: two
  // equal bytes next to literal bytes (directly or through other runs of two)
  // are cheaper as literals, otherwise each is a repeat packet.
  size_t groupStart = 0, groupRuns = 0;
  bool afterLiteral = false;  // the run before the held group was literal
  const auto resolveGroup = [&](bool nextLiteral) {
    if (groupRuns == 0) return;
    if (afterLiteral || nextLiteral) {
      addLiteral(groupStart, 2 * groupRuns);
    } else {
      for (size_t g = 0; g < groupRuns; ++g) repeat(row[groupStart + 2 * g], 2);
    }
    groupRuns = 0;
  };
  for (size_t i = 0; i < length;) {
    if (groupRuns == 0) {
      // Fast path through literal bytes (each differs from the next), eight at
      // a time while no byte equals its successor.
      size_t k = i;
      while (k + 9 <= length) {
        uint64_t a, b;
        std::memcpy(&a, row + k, 8);
        std::memcpy(&b, row + k + 1, 8);
        const uint64_t x = a ^ b;
        if (((x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL) != 0) break;
        k += 8;
      }
      while (k + 1 < length && row[k] != row[k + 1]) ++k;
      if (k > i) {
        addLiteral(i, k - i);
        afterLiteral = true;
        i = k;
        continue;
      }
    }
    size_t j = i + 1;
    while (j < length && row[j] == row[i]) ++j;
    const size_t n = j - i;
    if (n == 2) {
      if (groupRuns++ == 0) groupStart = i;
    } else if (n == 1) {
      resolveGroup(true);
      addLiteral(i, 1);
      afterLiteral = true;
    } else {
      resolveGroup(false);
      flushLiteral();
      repeat(row[i], n);
      afterLiteral = false;
    }
    i = j;
  }
  resolveGroup(false);
  flushLiteral();
  out.resize(static_cast<size_t>(o - out.data()));
}

// ---- Reader -----------------------------------------------------------------------

TTIFFileFormatReader::TTIFFileFormatReader() {
  Primary = true;
  Extension = "tif";
  Description = "Tagged Image File Format";
  ClassName = "TTIFFileFormatReader";
  SignatureCheck = true;
}

TTIFFFileFormatReader::TTIFFFileFormatReader() {
  Primary = false;
  Extension = "tiff";
  ClassName = "TTIFFFileFormatReader";
}

bool TTIFFileFormatReader::IsFormat(THeader h) {
  return (h[0] == 'I' && h[1] == 'I' && h[2] == 0x2A && h[3] == 0) ||
         (h[0] == 'M' && h[1] == 'M' && h[2] == 0 && h[3] == 0x2A);
}

void TTIFFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) {
  std::unique_ptr<TTIFFInput> input;
  TDirectory d = ReadDirectory(stream, index, input);
  TTIFFInput& in = *input;

  switch (d.Compression) {
    case kNoCompression:
    case kPackBits:
      break;
    case 2:
      Fail("Unsupported compression CCITT 1D");
    case 3:
      Fail("Unsupported compression Group 3 Fax");
    case 4:
      Fail("Unsupported compression Group 4 Fax");
    case 5:
      Fail("Unsupported compression LZW");
    case 6:
      Fail("Unsupported compression JPEG");
    default:
      Fail("Unsupported compression " + std::to_string(d.Compression));
  }
  if (d.Width == 0 || d.Length == 0) FailEntry(35);
  if (d.Width > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    FailEntry(7, "ImageWidth");
  }
  if (d.Length > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    FailEntry(7, "ImageLength");
  }

  const uint64_t strips = (static_cast<uint64_t>(d.Length) + d.RowsPerStrip - 1) / d.RowsPerStrip;
  if (strips != d.StripOffsets.Count) {
    const std::string text =
        std::string(kPrefix) + "NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";
    // Without any strip offset there is nothing to read from.
    if (d.StripOffsets.Count != 1) throw EPGTIFFileFormatReader(text);
    switch (graphic.ReadWarningAction()) {
      case pgwaIgnore:
        break;
      case pgwaOKBox:
        AskUser("TIFF-Warning", text, false);
        throw EPGTIFFileFormatReader(text);
      case pgwaOKCancelBox:
        if (!AskUser("TIFF-Warning", text, true)) throw EPGTIFFileFormatReader(text);
        break;
      default:
        throw EPGTIFFileFormatReader(text);
    }
    d.RowsPerStrip = d.Length;
  }
  const std::vector<uint32_t> offsets = Values(in, d.StripOffsets, d.StripOffsets.Count);

  const uint32_t bits = d.BitsPerSample[0];
  TPGPixelFormat format = pf24Bit;
  if (d.SamplesPerPixel == 1) format = bits == 1 ? pf1Bit : bits == 4 ? pf4Bit : pf8Bit;
  // Palette values are checked before the image is sized.
  std::vector<uint32_t> colorMap;
  if (format == pf4Bit || format == pf8Bit) {
    if (d.Photometric == 3) {
      colorMap = Values(in, d.ColorMap, d.ColorMap.Count);
      if (colorMap.size() < 3) FailEntry(7, "ColorMap");
    } else if (d.Photometric != 0 && d.Photometric != 1) {
      Fail(format == pf4Bit ? "Unsupported 4 Bits/Pixel" : "Unsupported 8 Bits/Pixel");
    }
  }

  graphic.SetSize(static_cast<int>(d.Width), static_cast<int>(d.Length), format);
  if (format == pf1Bit) {
    graphic.SetPaletteIdent(pBlackWhite);
  } else if (format != pf24Bit) {
    if (d.Photometric == 3) {
      const size_t third = colorMap.size() / 3;
      const int entries =
          static_cast<int>(std::min<size_t>(third, static_cast<size_t>(graphic.PaletteCapacity())));
      graphic.SetPaletteCount(entries);
      for (int i = 0; i < entries; ++i) {
        graphic.SetPaletteColor(i, RGB(colorMap[i] >> 8 & 0xFF, colorMap[third + i] >> 8 & 0xFF,
                                       colorMap[2 * third + i] >> 8 & 0xFF));
      }
      graphic.ClassifyPalette();
    } else {
      graphic.SetPaletteIdent(format == pf4Bit ? pGray16 : pGray256);
    }
  }

  const size_t rowLength =
      static_cast<size_t>((static_cast<uint64_t>(bits) * d.SamplesPerPixel * d.Width + 7) / 8);
  std::vector<uint8_t> row(rowLength);
  TPackBitsWindow window(in);
  int64_t position = 0;
  TProgressScope progress(graphic);
  for (uint32_t r = 0; r < d.Length; ++r) {
    if (r % d.RowsPerStrip == 0) {
      position = offsets[r / d.RowsPerStrip];
      if (position > in.Size()) FailEntry(7, "StripOffsets");
      if (d.Compression == kPackBits) window.StartAt(position);
    }
    if (d.Compression == kPackBits) {
      window.DecodeRow(row.data(), rowLength, static_cast<int>(r));
    } else {
      in.ReadAt(position, row.data(), rowLength);
      position += static_cast<int64_t>(rowLength);
    }
    ConvertRow(d, row.data(), graphic.ScanLine(static_cast<int>(r)), d.Width, rowLength);
    if (graphic.Progress(static_cast<int>(r), static_cast<int>(d.Length))) break;
  }
}

void TTIFFileFormatReader::ReadInfo(TStream& stream, int index, TPGFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  std::unique_ptr<TTIFFInput> input;
  const TDirectory d = ReadDirectory(stream, index, input);
  info.Count = d.Count;
  info.Width = static_cast<int>(std::min<uint32_t>(d.Width, std::numeric_limits<int32_t>::max()));
  info.Height = static_cast<int>(std::min<uint32_t>(d.Length, std::numeric_limits<int32_t>::max()));
  uint64_t sum = 0;
  for (uint32_t v : d.BitsPerSample) sum += v;
  info.BitsPerPixel = static_cast<int>(std::min<uint64_t>(sum, 1 << 20));
  info.Colors = sum > 23 ? "16.7 M" : std::to_string(uint64_t{1} << sum);
  std::string subtype = d.Little ? "I, " : "M, ";
  subtype += CompressionName(d.Compression);
  switch (d.Photometric) {
    case 0:
      subtype += ", WhiteIsZero";
      break;
    case 1:
      subtype += ", BlackIsZero";
      break;
    case 2:
      subtype += ", RGB";
      break;
    case 3:
      subtype += ", RGB Palette";
      break;
    case 5:
      subtype += ", CMYK";
      break;
    default:
      Fail("Unsupported photometric interpretation " + std::to_string(d.Photometric));
  }
  info.SubType = subtype;
  if (d.Compression >= 2 && d.Compression <= 6) info.Extra = "(Unsupported compression)";
}

// ---- Writer ----------------------------------------------------------------------

TTIFFileFormatWriter::TTIFFileFormatWriter() {
  Primary = true;
  Extension = "tif";
  Description = "Tagged Image File Format";
  ClassName = "TTIFFileFormatWriter";
  MultiPart = true;
  CanWriteResolutions = 253;  // everything but 2 colors
}

TTIFFFileFormatWriter::TTIFFFileFormatWriter() {
  Primary = false;
  Extension = "tiff";
  ClassName = "TTIFFFileFormatWriter";
}

void TTIFFileFormatWriter::WriteGraphic(TStream& stream, TPixelGraphic& graphic) {
  TSession session;
  Header(session, stream);
  Body(session, stream, graphic);
}

void TTIFFileFormatWriter::WriteHeader(TStream& stream) {
  Header(session_, stream);
}

void TTIFFileFormatWriter::WriteBody(TStream& stream, TPixelGraphic& graphic) {
  Body(session_, stream, graphic);
}

void TTIFFileFormatWriter::WriteTrailer(TStream& /*stream*/) {}

void TTIFFileFormatWriter::Header(TSession& session, TStream& stream) {
  session.Motorola = PGTIFFMotorola;
  session.Compression = PGTIFFCompression;
  session.WriteCMYK = PGTIFFWriteCMYK;
  session.WhiteIsZero = PGTIFFWhiteIsZero;
  session.ResolutionUnit = PGTIFFResolutionUnit;
  session.XResolution = PGTIFFXResolution;
  session.YResolution = PGTIFFYResolution;
  session.Start = stream.Position();
  TTIFFOutput out(!session.Motorola);
  const uint8_t order = session.Motorola ? uint8_t('M') : uint8_t('I');
  out.Bytes = {order, order};
  out.U16(42);
  out.U32(0);
  stream.WriteBuffer(out.Bytes.data(), out.Bytes.size());
  session.PendingLink = session.Start + 4;
}

void TTIFFileFormatWriter::Body(TSession& session, TStream& stream, TPixelGraphic& graphic) {
  const uint32_t compression = static_cast<uint32_t>(session.Compression);
  if (session.Compression != 1 && session.Compression != 32773) FailWriter("Internal Error");
  const int width = graphic.Width();
  const int height = graphic.Height();
  if (width <= 0 || height <= 0 || graphic.Empty()) {
    RaisePG<EPGTIFFileFormatWriter>(kPrefix, 35);
  }
  const bool little = !session.Motorola;
  const bool packBits = compression == kPackBits;
  const TPGPixelFormat format = graphic.PixelFormat();
  const bool cmyk = format == pf24Bit && session.WriteCMYK;
  const TPaletteIdent ident = graphic.PaletteIdent();
  const int bits = graphic.BitsPerPixel();

  // 1. Row length and strip layout.
  int64_t rowLength = 0;
  switch (format) {
    case pf1Bit:
      rowLength = (int64_t{width} + 7) / 8;
      break;
    case pf4Bit:
      rowLength = (int64_t{width} + 1) / 2;
      break;
    case pf8Bit:
      rowLength = width;
      break;
    default:
      rowLength = (cmyk ? 4 : 3) * int64_t{width};
      break;
  }
  const int64_t rows =
      std::clamp<int64_t>(32767 / (packBits ? 2 * rowLength : rowLength), 1, height);
  const int64_t strips = (height + rows - 1) / rows;

  uint32_t photometric = 2;
  bool invert = false;
  switch (format) {
    case pf1Bit:
      photometric = session.WhiteIsZero ? 0 : 1;
      invert = session.WhiteIsZero && ident == pBlackWhite;
      break;
    case pf4Bit:
    case pf8Bit: {
      const bool gray = ident == (format == pf4Bit ? pGray16 : pGray256);
      photometric = gray ? (session.WhiteIsZero ? 0 : 1) : 3;
      invert = gray && session.WhiteIsZero;
      break;
    }
    default:
      photometric = cmyk ? 5 : 2;
      break;
  }
  const bool colorMap = photometric == 3;
  const uint32_t samples = format == pf24Bit ? (cmyk ? 4 : 3) : 1;
  const uint16_t entries = colorMap ? 14 : 13;

  // 2.-5. The directory and the values that follow it; every offset is known in
  // advance, so the whole block is written at once.
  // A directory begins on a word boundary.
  if ((stream.Position() - session.Start) % 2 != 0) {
    const uint8_t zero = 0;
    stream.WriteBuffer(&zero, 1);
  }
  const int64_t directory = stream.Position() - session.Start;
  const int64_t link = directory + 2 + 12 * int64_t{entries};
  int64_t after = link + 4;
  const int64_t colorMapAt = after;
  if (colorMap) after += 3 * 2 * (int64_t{1} << bits);
  const int64_t bitsAt = after;
  if (format == pf24Bit) after += 2 * int64_t{samples};
  const int64_t xResAt = after;
  const int64_t yResAt = xResAt + 8;
  after = yResAt + 8;
  const int64_t offsetsAt = after;
  const int64_t countsAt = offsetsAt + 4 * strips;
  if (strips > 1) after = countsAt + 4 * strips;

  TTIFFOutput out(little);
  out.U16(entries);
  out.Entry(tagNewSubfileType, ftLong, 1, 0);
  out.Entry(tagImageWidth, ftLong, 1, static_cast<uint32_t>(width));
  out.Entry(tagImageLength, ftLong, 1, static_cast<uint32_t>(height));
  if (format == pf24Bit)
    out.Entry(tagBitsPerSample, ftShort, samples, Offset32(bitsAt));
  else
    out.Entry(tagBitsPerSample, ftShort, 1, static_cast<uint32_t>(bits));
  out.Entry(tagCompression, ftShort, 1, compression);
  out.Entry(tagPhotometric, ftShort, 1, photometric);
  out.Entry(tagStripOffsets, ftLong, static_cast<uint32_t>(strips),
            strips > 1 ? Offset32(offsetsAt) : 0);
  out.Entry(tagSamplesPerPixel, ftShort, 1, samples);
  out.Entry(tagRowsPerStrip, ftLong, 1, static_cast<uint32_t>(rows));
  out.Entry(tagStripByteCounts, ftLong, static_cast<uint32_t>(strips),
            strips > 1 ? Offset32(countsAt) : 0);
  out.Entry(tagXResolution, ftRational, 1, Offset32(xResAt));
  out.Entry(tagYResolution, ftRational, 1, Offset32(yResAt));
  const int unit = std::clamp(session.ResolutionUnit, 0, 2) + 1;
  out.Entry(tagResolutionUnit, ftShort, 1, static_cast<uint32_t>(unit));
  if (colorMap) {
    out.Entry(tagColorMap, ftShort, static_cast<uint32_t>(3 * (1 << bits)), Offset32(colorMapAt));
  }
  out.U32(0);
  if (colorMap) {
    // 16-bit colour values: v * 257 maps 255 to full intensity 65535.
    const int size = 1 << bits;
    const int count = std::min(graphic.PaletteCount(), size);
    for (int channel = 0; channel < 3; ++channel) {
      for (int i = 0; i < size; ++i) {
        uint32_t v = 0;
        if (i < count) {
          const TRGB c = graphic.PaletteColor(i);
          v = channel == 0 ? GetR(c) : channel == 1 ? GetG(c) : GetB(c);
        }
        out.U16(v * 257);
      }
    }
  }
  if (format == pf24Bit) {
    for (uint32_t i = 0; i < samples; ++i) out.U16(8);
  }
  out.U32(session.XResolution.Numerator);
  out.U32(session.XResolution.Denominator);
  out.U32(session.YResolution.Numerator);
  out.U32(session.YResolution.Denominator);
  if (strips > 1) out.Bytes.resize(out.Bytes.size() + 8 * static_cast<size_t>(strips), 0);

  WriteU32At(stream, session.PendingLink, Offset32(directory), little);
  stream.Seek(session.Start + directory);
  stream.WriteBuffer(out.Bytes.data(), out.Bytes.size());
  session.PendingLink = session.Start + link;

  // 7. Pixel data, strip by strip.
  std::vector<uint32_t> stripOffsets(static_cast<size_t>(strips));
  std::vector<uint32_t> stripCounts(static_cast<size_t>(strips));
  std::vector<uint8_t> rowBuffer(static_cast<size_t>(rowLength));
  std::vector<uint8_t> data;
  data.reserve(static_cast<size_t>(packBits ? 2 * rowLength * rows + 2 : rowLength * rows + 1));
  int64_t position = session.Start + after;
  TProgressScope progress(graphic);
  for (int64_t s = 0; s < strips; ++s) {
    data.clear();
    if ((position - session.Start) % 2 != 0) {
      data.push_back(0);
      ++position;
    }
    const int64_t stripStart = position;
    const int first = static_cast<int>(s * rows);
    const int last = static_cast<int>(std::min<int64_t>(height, first + rows));
    for (int y = first; y < last; ++y) {
      const uint8_t* src = graphic.ScanLine(y);
      uint8_t* dst = rowBuffer.data();
      if (format != pf24Bit) {
        if (invert) {
          for (int64_t i = 0; i < rowLength; ++i) dst[i] = static_cast<uint8_t>(~src[i]);
        } else {
          std::memcpy(dst, src, static_cast<size_t>(rowLength));
        }
      } else if (cmyk) {
        for (int x = 0; x < width; ++x, src += 3, dst += 4) {
          const int c = 255 - src[2], m = 255 - src[1], ye = 255 - src[0];
          const int k = std::min({c, m, ye});
          dst[0] = static_cast<uint8_t>(c - k);
          dst[1] = static_cast<uint8_t>(m - k);
          dst[2] = static_cast<uint8_t>(ye - k);
          dst[3] = static_cast<uint8_t>(k);
        }
      } else {
        for (int x = 0; x < width; ++x, src += 3, dst += 3) {
          dst[0] = src[2];
          dst[1] = src[1];
          dst[2] = src[0];
        }
      }
      if (packBits) {
        PackBitsEncode(rowBuffer.data(), rowBuffer.size(), data);
      } else {
        data.insert(data.end(), rowBuffer.begin(), rowBuffer.end());
      }
      graphic.Progress(y, height - 1);
    }
    stream.WriteBuffer(data.data(), data.size());
    position = stream.Position();
    stripOffsets[static_cast<size_t>(s)] = Offset32(stripStart - session.Start);
    stripCounts[static_cast<size_t>(s)] = Offset32(position - stripStart);
  }
  const int64_t endOfData = stream.Position();

  // 8. Strip offsets and byte counts into their entries or reserved arrays.
  if (strips == 1) {
    WriteU32At(stream, session.Start + directory + 2 + 12 * 6 + 8, stripOffsets[0], little);
    WriteU32At(stream, session.Start + directory + 2 + 12 * 9 + 8, stripCounts[0], little);
  } else {
    TTIFFOutput arrays(little);
    for (uint32_t v : stripOffsets) arrays.U32(v);
    for (uint32_t v : stripCounts) arrays.U32(v);
    stream.Seek(session.Start + offsetsAt);
    stream.WriteBuffer(arrays.Bytes.data(), arrays.Bytes.size());
  }
  stream.Seek(endOfData);
}

void AddTIFFReaders(TReaderList& readers) {
  readers.push_back(std::make_unique<TTIFFileFormatReader>());
  readers.push_back(std::make_unique<TTIFFFileFormatReader>());
}

void AddTIFFWriters(TWriterList& writers) {
  writers.push_back(std::make_unique<TTIFFileFormatWriter>());
  writers.push_back(std::make_unique<TTIFFFileFormatWriter>());
}

}  // namespace pgraphic
