#include "pgraphic/formats/orientation.h"

#include <cstring>
#include <exception>
#include <vector>

namespace pgraphic {

namespace {

constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
// A directory chain longer than this is taken as damaged (the TIFF reader's own
// default limit).
constexpr int kMaxDirectories = 1000;
// Segments a JPEG file may hold before its scan; a file with more is damaged.
constexpr int kMaxSegments = 4096;
constexpr int kMaxFill = 4096;

// Reads exactly n bytes at an absolute position of the stream; false when the
// stream ends first.
bool ReadAt(TStream& stream, int64_t position, void* buffer, size_t n) {
  if (position < 0) return false;
  stream.Seek(position);
  return stream.Read(buffer, n) == n;
}

// A TIFF structure (a file, or the body of a JPEG file's EXIF block) in a
// stream: its byte order and the reads its directories need.
class TTiffView {
 public:
  explicit TTiffView(TStream& stream) : stream_(stream) {}

  // Reads the 8-byte header; false when it is none.
  bool Start(uint32_t& firstDirectory) {
    uint8_t h[8];
    if (!ReadAt(stream_, 0, h, sizeof h)) return false;
    if (h[0] == 'I' && h[1] == 'I')
      motorola_ = false;
    else if (h[0] == 'M' && h[1] == 'M')
      motorola_ = true;
    else
      return false;
    if (U16(h + 2) != 42) return false;
    firstDirectory = U32(h + 4);
    return true;
  }

  // The tag of directory `index` in the chain that starts at `directory`.
  int Orientation(uint32_t directory, int index) {
    if (index < 0 || index >= kMaxDirectories) return OrientationUpright;
    for (int i = 0; i < index; ++i) {
      uint8_t c[2];
      if (directory == 0 || !ReadAt(stream_, directory, c, 2)) return OrientationUpright;
      uint8_t next[4];
      if (!ReadAt(stream_, int64_t{directory} + 2 + 12 * int64_t{U16(c)}, next, 4))
        return OrientationUpright;
      directory = U32(next);
    }
    uint8_t c[2];
    if (directory == 0 || !ReadAt(stream_, directory, c, 2)) return OrientationUpright;
    // The entries that are really there (a count past the end is cut to them);
    // at most 65535 entries of 12 bytes.
    const int64_t available = (stream_.Size() - (int64_t{directory} + 2)) / 12;
    const int64_t count = available < U16(c) ? available : U16(c);
    if (count <= 0) return OrientationUpright;
    std::vector<uint8_t> entries(static_cast<size_t>(count) * 12);
    if (!ReadAt(stream_, int64_t{directory} + 2, entries.data(), entries.size()))
      return OrientationUpright;
    for (size_t e = 0; e < entries.size(); e += 12) {
      const uint8_t* entry = entries.data() + e;
      if (U16(entry) != kOrientationTag || U32(entry + 4) < 1) continue;
      const uint16_t type = U16(entry + 2);
      const uint32_t value = type == kTypeShort  ? U16(entry + 8)
                             : type == kTypeLong ? U32(entry + 8)
                                                 : 0;
      return value >= 1 && value <= 8 ? static_cast<int>(value) : OrientationUpright;
    }
    return OrientationUpright;
  }

 private:
  uint16_t U16(const uint8_t* p) const {
    return motorola_ ? uint16_t(p[0] << 8 | p[1]) : uint16_t(p[1] << 8 | p[0]);
  }
  uint32_t U32(const uint8_t* p) const {
    return motorola_ ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
                     : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  }

  TStream& stream_;
  bool motorola_ = false;
};

int TiffOrientation(TStream& stream, int imageIndex) {
  TTiffView tiff(stream);
  uint32_t first = 0;
  return tiff.Start(first) ? tiff.Orientation(first, imageIndex) : OrientationUpright;
}

// The segments before a JPEG file's scan, up to the first EXIF block.
int JpegOrientation(TStream& stream) {
  static constexpr uint8_t kExif[] = {'E', 'x', 'i', 'f', 0, 0};
  int64_t position = 2;
  for (int segment = 0; segment < kMaxSegments; ++segment) {
    uint8_t m[2];
    if (!ReadAt(stream, position, m, 2) || m[0] != 0xFF) return OrientationUpright;
    ++position;
    // Fill bytes before the marker's code; a file with pages of them is damaged.
    for (int fill = 0; m[1] == 0xFF; ++fill) {
      if (fill == kMaxFill || !ReadAt(stream, ++position, &m[1], 1)) return OrientationUpright;
    }
    ++position;
    const uint8_t code = m[1];
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) continue;  // no length
    if (code == 0xD9 || code == 0xDA) return OrientationUpright;   // end, or the scan
    uint8_t l[2];
    if (!ReadAt(stream, position, l, 2)) return OrientationUpright;
    const int length = l[0] << 8 | l[1];
    if (length < 2) return OrientationUpright;
    if (code == 0xE1 && length >= 2 + int(sizeof kExif) + 8) {
      std::vector<uint8_t> body(static_cast<size_t>(length - 2));
      if (!ReadAt(stream, position + 2, body.data(), body.size())) return OrientationUpright;
      if (std::memcmp(body.data(), kExif, sizeof kExif) == 0) {
        TReadOnlyMemoryStream exif(body.data() + sizeof kExif, body.size() - sizeof kExif);
        return TiffOrientation(exif, 0);
      }
    }
    position += length;
  }
  return OrientationUpright;
}

}  // namespace

int ReadOrientation(TStream& stream, int imageIndex) {
  try {
    uint8_t head[2];
    if (!ReadAt(stream, 0, head, 2)) return OrientationUpright;
    if (head[0] == 0xFF && head[1] == 0xD8)
      return imageIndex == 0 ? JpegOrientation(stream) : OrientationUpright;
    return TiffOrientation(stream, imageIndex);
  } catch (const std::exception&) {
    // A stream that cannot be read holds no tag that could be applied.
    return OrientationUpright;
  }
}

}  // namespace pgraphic
