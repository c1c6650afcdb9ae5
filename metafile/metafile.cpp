// Recognising metafiles, checking their headers and record chains before any
// library sees them, sizing the picture, and the steps from bytes to the image
// the program shows.
#include "metafile/metafile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "metafile/metafile_internal.h"

namespace metafile {

namespace detail {

void Fail(const std::string& message) {
  throw pgraphic::EPGMetafile(message);
}

void FailMemory(const std::string& message) {
  throw EPictureMemory(message);
}

namespace {

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
int16_t S16(const uint8_t* p) {
  return static_cast<int16_t>(U16(p));
}
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
int32_t S32(const uint8_t* p) {
  return static_cast<int32_t>(U32(p));
}
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableSize = 22;
constexpr size_t kWmfHeaderSize = 18;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr size_t kEmfHeaderMin = 88;
constexpr uint32_t kEmrHeader = 1, kEmrEof = 14, kEmrBeginPath = 59, kEmrEndPath = 60,
                   kEmrAbortPath = 68, kEmrLastKnown = 122;
// Zeros after the last EMF record: more than any fixed-size record structure.
constexpr size_t kEmfPadding = 4096;
// The picture's pixels per inch, and EMF frame units (0.01 mm) per inch.
constexpr double kScreenDpi = 96.0;
constexpr double kHundredthMmPerInch = 2540.0;

// WMF record functions the checks look into.
enum : uint16_t {
  kSetWindowOrg = 0x020B,
  kSetWindowExt = 0x020C,
  kSetViewportOrg = 0x020D,
  kSetViewportExt = 0x020E,
  kSetMapMode = 0x0103,
  kPolygon = 0x0324,
  kPolyline = 0x0325,
  kPolyPolygon = 0x0538,
  kCreatePen = 0x02FA,
  kCreateFont = 0x02FB,
  kDibBitBlt = 0x0940,
  kDibStretchBlt = 0x0B41,
  kStretchDib = 0x0F43,
  kDibPatternBrush = 0x0142,
  kSetDibToDev = 0x0D33,
};

// Samples a WMF line may stamp with its pen (about a second of drawing).
constexpr double kPenWorkBudget = double{1 << 27};
// Largest bitmap a WMF record may carry, in pixels.
constexpr int64_t kMaxRecordBitmapPixels = int64_t{1} << 24;

// Offset of the device-independent bitmap in the parameters (words of them) of a
// record that may carry one, or -1. The bitmap-less forms of the blits have exactly
// as many parameter words as the function's high byte says.
int DibOffset(uint16_t function, uint32_t words) {
  const bool withoutBitmap = words == static_cast<uint32_t>(function >> 8);
  switch (function) {
    case kDibBitBlt:
      return withoutBitmap ? -1 : 16;
    case kDibStretchBlt:
      return withoutBitmap ? -1 : 20;
    case kStretchDib:
      return 22;
    case kDibPatternBrush:
      return 4;
    case kSetDibToDev:
      return 18;
    default:
      return -1;
  }
}

// A bitmap inside a record must have a known header that fits the record and a
// bounded size: the player allocates its pixels from the header alone.
void CheckRecordBitmap(uint16_t function, const uint8_t* params, uint32_t words) {
  const int offset = DibOffset(function, words);
  if (offset < 0) return;
  const size_t bytes = size_t{words} * 2;
  if (bytes < static_cast<size_t>(offset) + 12) Fail("WMF: Invalid record");
  const uint8_t* dib = params + offset;
  const uint32_t headerSize = U32(dib);
  int64_t width, height;
  if (headerSize == 12) {
    width = U16(dib + 4);
    height = U16(dib + 6);
  } else if (headerSize >= 40 && headerSize <= bytes - offset) {
    width = std::abs(int64_t{S32(dib + 4)});
    height = std::abs(int64_t{S32(dib + 8)});
  } else {
    Fail("WMF: Invalid record");
  }
  if (width * height > kMaxRecordBitmapPixels) Fail("WMF: Invalid record");
}

// Pen widths and font sizes beyond twice the picture draw nothing more, but the
// player's cost grows with them: they are cut down to that. A pen's width is a
// size (the player would take a negative one for a huge unsigned value); a font's
// height keeps its sign, which tells cell from character height.
void ClampSizes(uint16_t function, uint8_t* params, uint32_t words, int32_t penLimit,
                int32_t fontLimit) {
  auto clamp = [&](size_t at, bool keepSign, int32_t limit) {
    int32_t v = S16(params + at);
    if (!keepSign) v = std::abs(v);
    const int32_t cut = std::clamp(v, -limit, limit);
    params[at] = static_cast<uint8_t>(cut);
    params[at + 1] = static_cast<uint8_t>(static_cast<uint16_t>(cut) >> 8);
  };
  if (function == kCreatePen && words >= 3) clamp(2, false, penLimit);
  if (function == kCreateFont && words >= 2) {
    clamp(0, true, fontLimit);
    clamp(2, false, fontLimit);
  }
}

// Width and height checked against the picture limits.
void CheckPictureSize(const char* prefix, int64_t width, int64_t height) {
  if (width < 1 || height < 1)
    Fail(std::string(prefix) + "Invalid picture size (" + std::to_string(width) + "x" +
         std::to_string(height) + ")");
  const int64_t stride = (width * 3 + 3) & ~int64_t{3};
  if (width > MaxMetafilePixels || height > MaxMetafilePixels ||
      width * height > MaxMetafilePixels || stride * height > pgraphic::PGMaxImageSize)
    Fail(std::string(prefix) + "Picture too large (" + std::to_string(width) + "x" +
         std::to_string(height) + ")");
}

// Point parameters of a polygon-like record must lie inside the record.
void CheckPointCounts(uint16_t function, const uint8_t* params, uint32_t words) {
  auto bad = [] { Fail("WMF: Invalid record"); };
  if (function == kPolygon || function == kPolyline) {
    if (words < 1 || 2u * U16(params) > words - 1) bad();
  } else if (function == kPolyPolygon) {
    if (words < 1) bad();
    const uint32_t polygons = U16(params);
    if (polygons > words - 1) bad();
    uint64_t points = 0;
    for (uint32_t i = 0; i < polygons; ++i) points += U16(params + 2 + 2 * i);
    if (2 * points > words - 1 - polygons) bad();
  }
}

// Appends a checked record to the bytes the player gets and returns its length
// in words. A poly-polygon that lists polygons without points is written without
// them: the player refuses such a record whole, and a writer that ends glyph
// outlines with an empty polygon would lose those letters, while the polygons
// that have points are what it meant to draw.
uint32_t AppendRecord(std::vector<uint8_t>& out, const uint8_t* record, uint32_t words) {
  const uint8_t* params = record + 6;
  if (U16(record + 4) == kPolyPolygon) {
    const uint32_t polygons = U16(params);
    std::vector<uint16_t> kept;
    for (uint32_t i = 0; i < polygons; ++i)
      if (const uint16_t count = U16(params + 2 + 2 * i)) kept.push_back(count);
    if (!kept.empty() && kept.size() < polygons) {
      const uint8_t* points = params + 2 + 2 * size_t{polygons};
      const uint8_t* recordEnd = record + size_t{words} * 2;
      const uint32_t newWords = words - (polygons - static_cast<uint32_t>(kept.size()));
      uint8_t head[8];
      PutU32(head, newWords);
      head[4] = record[4];
      head[5] = record[5];
      head[6] = static_cast<uint8_t>(kept.size());
      head[7] = static_cast<uint8_t>(kept.size() >> 8);
      out.insert(out.end(), head, head + 8);
      for (const uint16_t count : kept) {
        out.push_back(static_cast<uint8_t>(count));
        out.push_back(static_cast<uint8_t>(count >> 8));
      }
      out.insert(out.end(), points, recordEnd);
      return newWords;
    }
  }
  out.insert(out.end(), record, record + size_t{words} * 2);
  return words;
}

// The window and viewport of a WMF: the first value each mapping record sets.
struct TWmfMapping {
  double WinOrg[2] = {0, 0}, WinExt[2] = {0, 0}, VpOrg[2] = {0, 0}, VpExt[2] = {0, 0};
  bool HasWinOrg = false, HasWinExt = false, HasVpOrg = false, HasVpExt = false;
  // Whether the window is scaled onto a viewport (isotropic and anisotropic
  // mapping modes) rather than taken as device units.
  bool Scaled = false;

  void MapMode(const uint8_t* params, uint32_t words) {
    if (words >= 1) Scaled = Scaled || U16(params) == 7 || U16(params) == 8;
  }

  void Record(uint16_t function, const uint8_t* params, uint32_t words) {
    if (words < 2) Fail("WMF: Invalid record");
    // Parameters are stored y first.
    const double y = S16(params), x = S16(params + 2);
    auto set = [&](double* v, bool& has) {
      if (has) return;
      v[0] = x;
      v[1] = y;
      has = true;
    };
    switch (function) {
      case kSetWindowOrg:
        set(WinOrg, HasWinOrg);
        break;
      case kSetWindowExt:
        set(WinExt, HasWinExt);
        break;
      case kSetViewportOrg:
        set(VpOrg, HasVpOrg);
        break;
      case kSetViewportExt:
        set(VpExt, HasVpExt);
        break;
      default:
        break;
    }
  }
};

}  // namespace

TMetafileKind DetectKind(const uint8_t* data, size_t size) {
  if (size >= 4 && U32(data) == kPlaceableKey) return mkWindows;
  if (size >= kEmfHeaderMin && U32(data) == kEmrHeader && U32(data + 40) == kEmfSignature)
    return mkEnhanced;
  if (size >= kWmfHeaderSize && (U16(data) == 1 || U16(data) == 2) && U16(data + 2) == 9 &&
      (U16(data + 4) == 0x0100 || U16(data + 4) == 0x0300))
    return mkWindows;
  Fail("Metafile: Unknown format");
}

TCheckedWmf CheckWmf(const uint8_t* data, size_t size) {
  TCheckedWmf result;
  result.Info.Kind = mkWindows;
  const bool placeable = size >= 4 && U32(data) == kPlaceableKey;
  size_t pos = 0;
  int16_t box[4] = {0, 0, 0, 0};  // left, top, right, bottom
  uint16_t inch = 0;
  if (placeable) {
    if (size < kPlaceableSize) Fail("WMF: Invalid header");
    for (int i = 0; i < 4; ++i) box[i] = S16(data + 6 + 2 * i);
    inch = U16(data + 14);
    if (inch == 0) Fail("WMF: Invalid header");
    pos = kPlaceableSize;
  }
  if (size - pos < kWmfHeaderSize) Fail("WMF: Invalid header");
  const uint8_t* header = data + pos;
  if ((U16(header) != 1 && U16(header) != 2) || U16(header + 2) != 9 ||
      (U16(header + 4) != 0x0100 && U16(header + 4) != 0x0300))
    Fail("WMF: Invalid header");

  // Walk the records: keep every complete one, stop at the end-of-file record or
  // at a record that does not fit in what is left.
  TWmfMapping mapping;
  uint32_t largest = 3;
  size_t end = pos + kWmfHeaderSize;
  std::vector<size_t> records;  // offsets in result.Bytes
  result.Bytes.assign(data, data + end);
  while (size - end >= 6) {
    const uint32_t words = U32(data + end);
    const uint16_t function = U16(data + end + 4);
    if (words < 3 || words > (size - end) / 2) break;
    if (function == 0) break;
    const uint8_t* params = data + end + 6;
    const uint32_t paramWords = words - 3;
    if (function >= kSetWindowOrg && function <= kSetViewportExt)
      mapping.Record(function, params, paramWords);
    if (function == kSetMapMode) mapping.MapMode(params, paramWords);
    CheckPointCounts(function, params, paramWords);
    CheckRecordBitmap(function, params, paramWords);
    records.push_back(result.Bytes.size());
    largest = std::max(largest, AppendRecord(result.Bytes, data + end, words));
    end += size_t{words} * 2;
  }

  const uint8_t eof[6] = {3, 0, 0, 0, 0, 0};
  result.Bytes.insert(result.Bytes.end(), eof, eof + 6);
  // The header's file size and largest record describe what the player is given,
  // so the player's parameter buffer is sized by real records, not a header claim.
  uint8_t* h = result.Bytes.data() + pos;
  PutU32(h + 6, static_cast<uint32_t>((result.Bytes.size() - pos) / 2));
  PutU32(h + 12, largest);

  // Where the picture frame lies in the player's device space: logical units go
  // through the window onto the viewport. A placeable file is played in its own
  // units per inch, and a file in a scaled mapping mode likewise, with a 1024 x 1024
  // default window and viewport; a plain one in device units. The picture size is
  // the placeable frame at 96 dpi, else the window extent in pixels.
  int64_t width = 0, height = 0;
  double frame[4];
  double defaultExt[2];
  if (placeable) {
    frame[0] = box[0];
    frame[1] = box[1];
    frame[2] = box[2];
    frame[3] = box[3];
    defaultExt[0] = defaultExt[1] = 1024;
    width = std::llround(std::abs(box[2] - box[0]) * kScreenDpi / inch);
    height = std::llround(std::abs(box[3] - box[1]) * kScreenDpi / inch);
  } else {
    if (!mapping.HasWinExt) Fail("WMF: Picture size unknown");
    frame[0] = mapping.WinOrg[0];
    frame[1] = mapping.WinOrg[1];
    frame[2] = mapping.WinOrg[0] + mapping.WinExt[0];
    frame[3] = mapping.WinOrg[1] + mapping.WinExt[1];
    defaultExt[0] = mapping.Scaled ? 1024 : mapping.WinExt[0];
    defaultExt[1] = mapping.Scaled ? 1024 : mapping.WinExt[1];
    width = std::llround(std::abs(mapping.WinExt[0]));
    height = std::llround(std::abs(mapping.WinExt[1]));
  }
  CheckPictureSize("WMF: ", width, height);
  result.Info.Width = static_cast<int>(width);
  result.Info.Height = static_cast<int>(height);
  double winExt[2], vpExt[2];
  for (int i = 0; i < 2; ++i) {
    winExt[i] = mapping.HasWinExt && mapping.WinExt[i] != 0 ? mapping.WinExt[i] : defaultExt[i];
    vpExt[i] = mapping.HasVpExt && mapping.VpExt[i] != 0 ? mapping.VpExt[i] : defaultExt[i];
  }
  auto device = [&](double logical, int axis) {
    return (logical - mapping.WinOrg[axis]) * vpExt[axis] / winExt[axis] + mapping.VpOrg[axis];
  };
  const double x0 = device(frame[0], 0), x1 = device(frame[2], 0);
  const double y0 = device(frame[1], 1), y1 = device(frame[3], 1);
  result.Frame = {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
  if (!(result.Frame.Right - result.Frame.Left > 0) ||
      !(result.Frame.Bottom - result.Frame.Top > 0))
    Fail("WMF: Invalid picture size");

  // Wide pens: the device draws a line as its pen's square stamped at every
  // sample along it, so a line costs its length times the square of the pen width,
  // and a line's length is bounded only by the coordinate range. Pens are kept
  // within a budget for the longest possible line: wide pens lower the samples per
  // pixel first, and only beyond that are they narrowed.
  const double extent = std::max(std::abs(frame[2] - frame[0]), std::abs(frame[3] - frame[1]));
  const double pixelsPerUnit =
      std::max(width / std::abs(frame[2] - frame[0]), height / std::abs(frame[3] - frame[1]));
  const double longestLine = 65536.0 * 1.5 * pixelsPerUnit;  // pixels, corner to corner
  const int32_t sizeLimit = static_cast<int32_t>(std::clamp(2 * extent, 1.0, 32767.0));
  int32_t widestPen = 0;
  for (const size_t at : records) {
    const uint8_t* record = result.Bytes.data() + at;
    if (U16(record + 4) == kCreatePen && U32(record) >= 6)
      widestPen = std::max<int32_t>(widestPen, std::abs(S16(record + 6 + 2)));
  }
  widestPen = std::min(widestPen, sizeLimit);
  auto penCap = [&](int factor) {  // widest pen width within budget, logical units
    return std::sqrt(kPenWorkBudget / (longestLine * factor)) / factor / pixelsPerUnit;
  };
  result.MaxSampleFactor = 4;
  while (result.MaxSampleFactor > 1 && widestPen > penCap(result.MaxSampleFactor))
    result.MaxSampleFactor /= 2;
  const int32_t penLimit = static_cast<int32_t>(
      std::clamp(std::min<double>(sizeLimit, penCap(result.MaxSampleFactor)), 1.0, 32767.0));
  for (const size_t at : records) {
    uint8_t* record = result.Bytes.data() + at;
    ClampSizes(U16(record + 4), record + 6, U32(record) - 3, penLimit, sizeLimit);
  }
  return result;
}

TCheckedEmf CheckEmf(const uint8_t* data, size_t size) {
  TCheckedEmf result;
  result.Info.Kind = mkEnhanced;
  if (size < kEmfHeaderMin || U32(data) != kEmrHeader || U32(data + 40) != kEmfSignature)
    Fail("EMF: Invalid header");
  const uint32_t headerSize = U32(data + 4);
  const uint32_t declaredBytes = U32(data + 48);
  if (headerSize < kEmfHeaderMin || headerSize % 4 != 0 || headerSize > size ||
      declaredBytes < headerSize)
    Fail("EMF: Invalid header");
  const uint32_t descChars = U32(data + 60), descOffset = U32(data + 64);
  if (descChars != 0 && (descOffset < kEmfHeaderMin || descOffset > headerSize ||
                         descChars > (headerSize - descOffset) / 2))
    Fail("EMF: Invalid header");

  // The frame, in 0.01 mm, gives the picture size at the screen's resolution.
  const int64_t frameWidth = std::abs(int64_t{S32(data + 32)} - S32(data + 24));
  const int64_t frameHeight = std::abs(int64_t{S32(data + 36)} - S32(data + 28));
  const int64_t width = std::llround(frameWidth * kScreenDpi / kHundredthMmPerInch);
  const int64_t height = std::llround(frameHeight * kScreenDpi / kHundredthMmPerInch);
  CheckPictureSize("EMF: ", width, height);
  result.Info.Width = static_cast<int>(width);
  result.Info.Height = static_cast<int>(height);

  // The frame in device units, through the reference device's pixels per 0.01 mm.
  // The converter draws the bounds box, which may be tighter than the frame.
  const double deviceX = U32(data + 72), deviceY = U32(data + 76);
  const double millimetresX = U32(data + 80), millimetresY = U32(data + 84);
  const double boundsLeft = S32(data + 8), boundsTop = S32(data + 12);
  if (deviceX > 0 && deviceY > 0 && millimetresX > 0 && millimetresY > 0) {
    const double scaleX = deviceX / (millimetresX * 100), scaleY = deviceY / (millimetresY * 100);
    const double left = std::min(S32(data + 24), S32(data + 32)) * scaleX - boundsLeft;
    const double top = std::min(S32(data + 28), S32(data + 36)) * scaleY - boundsTop;
    result.View = {left, top, left + frameWidth * scaleX, top + frameHeight * scaleY};
  }

  // Keep every complete record up to the end-of-file record or the first record
  // that does not fit.
  const size_t limit = std::min<size_t>(size, declaredBytes);
  size_t end = headerSize;
  uint32_t records = 1;
  // Where the open path began, if one is open: a path cut off before its end is
  // left out, the converter cannot close it.
  bool pathOpen = false;
  size_t pathEnd = 0;
  uint32_t pathRecords = 0;
  while (limit - end >= 8) {
    const uint32_t type = U32(data + end);
    const uint32_t length = U32(data + end + 4);
    if (length < 8 || length % 4 != 0 || length > limit - end) break;
    if (type == kEmrEof) break;
    if (type == kEmrHeader || type == 0 || type > kEmrLastKnown) Fail("EMF: Invalid record");
    if (type == kEmrBeginPath && !pathOpen) {
      pathOpen = true;
      pathEnd = end;
      pathRecords = records;
    }
    if (type == kEmrEndPath || type == kEmrAbortPath) pathOpen = false;
    end += length;
    ++records;
  }

  if (pathOpen) {
    end = pathEnd;
    records = pathRecords;
  }

  // A closing end-of-file record (no palette) and the header counts to match.
  const uint8_t eof[20] = {14, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 20, 0, 0, 0};
  result.Bytes.reserve(end + sizeof eof + kEmfPadding);
  result.Bytes.assign(data, data + end);
  result.Bytes.insert(result.Bytes.end(), eof, eof + sizeof eof);
  result.Length = result.Bytes.size();
  PutU32(result.Bytes.data() + 48, static_cast<uint32_t>(result.Length));
  PutU32(result.Bytes.data() + 52, records + 1);
  result.Bytes.resize(result.Length + kEmfPadding, 0);
  return result;
}

void StoreXrgbRows(const uint32_t* pixels, size_t stride, TPixelGraphic& target) {
  for (int y = 0; y < target.Height(); ++y) {
    const uint32_t* in = pixels + static_cast<size_t>(y) * stride;
    uint8_t* out = target.ScanLine(y);
    for (int x = 0; x < target.Width(); ++x, out += 3) {
      out[0] = static_cast<uint8_t>(in[x]);
      out[1] = static_cast<uint8_t>(in[x] >> 8);
      out[2] = static_cast<uint8_t>(in[x] >> 16);
    }
  }
}

}  // namespace detail

namespace {

std::vector<uint8_t> ReadAll(pgraphic::TStream& stream) {
  const int64_t remaining = stream.Remaining();
  if (remaining > static_cast<int64_t>(MaxMetafileBytes)) detail::Fail("Metafile: File too large");
  std::vector<uint8_t> bytes(static_cast<size_t>(remaining));
  bytes.resize(stream.Read(bytes.data(), bytes.size()));
  return bytes;
}

// The libraries keep global state (font engines, Qt's font database): one
// picture is drawn at a time.
std::mutex& DrawLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

std::vector<uint8_t> detail::ReadFileBytes(const std::string& fileName) {
  pgraphic::TFileStream stream(fileName, pgraphic::TFileStream::fmOpenRead);
  return ReadAll(stream);
}

bool IsMetafileExtension(std::string_view fileName) {
  if (fileName.size() < 4) return false;
  std::string ext(fileName.substr(fileName.size() - 4));
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".wmf" || ext == ".emf";
}

std::string MetafileTypeName(TMetafileKind kind) {
  return kind == mkEnhanced ? "Enhanced Metafile" : "Windows Metafile";
}

namespace {

std::string SizeText(const TMetafileInfo& info) {
  return std::to_string(info.Width) + "x" + std::to_string(info.Height);
}

}  // namespace

std::string MetafileInfoText(const TMetafileInfo& info) {
  return "Type: " + MetafileTypeName(info.Kind) + "; Size: " + SizeText(info) + "; Colors: 256";
}

TMetafileLabels MetafileDialogLabels(const TMetafileInfo& info) {
  return {"", "Type: " + MetafileTypeName(info.Kind), "Size: " + SizeText(info) + " pixeles",
          "Colors: 256"};
}

TMetafileInfo ReadMetafileInfo(const uint8_t* data, size_t size) {
  if (detail::DetectKind(data, size) == mkEnhanced) return detail::CheckEmf(data, size).Info;
  return detail::CheckWmf(data, size).Info;
}

TMetafileInfo ReadMetafileInfo(pgraphic::TStream& stream) {
  const auto bytes = ReadAll(stream);
  return ReadMetafileInfo(bytes.data(), bytes.size());
}

TMetafileInfo ReadMetafileFileInfo(const std::string& fileName) {
  const auto bytes = detail::ReadFileBytes(fileName);
  return ReadMetafileInfo(bytes.data(), bytes.size());
}

std::unique_ptr<TPixelGraphic> DrawMetafile(const uint8_t* data, size_t size, TMetafileInfo* info) {
  if (size > MaxMetafileBytes) detail::Fail("Metafile: File too large");
  const TMetafileKind kind = detail::DetectKind(data, size);
  auto image = std::make_unique<TPixelGraphic>();
  auto prepare = [&](const TMetafileInfo& found) {
    // The size is within the limits here: only memory can be missing.
    try {
      image->SetSize(found.Width, found.Height, pgraphic::pf24Bit);
    } catch (const pgraphic::EPixelGraphic& e) {
      detail::FailMemory(e.what());
    }
    if (image->Empty()) detail::FailMemory();
    std::memset(image->Bits(), 0xFF, static_cast<size_t>(image->ImageSize()));
    if (info) *info = found;
  };
  if (kind == mkEnhanced) {
    const auto emf = detail::CheckEmf(data, size);
    prepare(emf.Info);
    std::lock_guard<std::mutex> hold(DrawLock());
    detail::DrawEmf(emf, *image);
  } else {
    const auto wmf = detail::CheckWmf(data, size);
    prepare(wmf.Info);
    std::lock_guard<std::mutex> hold(DrawLock());
    detail::DrawWmf(wmf, *image);
  }
  return image;
}

void ConvertToSpecial252(TPixelGraphic& drawn, TPixelGraphic& target) {
  target.SetSize(drawn.Width(), drawn.Height(), pgraphic::pf8Bit);
  if (target.Empty()) detail::Fail("Metafile: Picture too large");
  target.SetPaletteIdent(pgraphic::pSpecial252);
  target.CopyFrom(drawn);
}

std::unique_ptr<TPixelGraphic> ConvertToSpecial252(TPixelGraphic& drawn) {
  auto result = std::make_unique<TPixelGraphic>();
  ConvertToSpecial252(drawn, *result);
  return result;
}

std::unique_ptr<TPixelGraphic> LoadMetafile(const uint8_t* data, size_t size, TMetafileInfo* info) {
  auto drawn = DrawMetafile(data, size, info);
  return ConvertToSpecial252(*drawn);
}

std::unique_ptr<TPixelGraphic> LoadMetafile(pgraphic::TStream& stream, TMetafileInfo* info) {
  const auto bytes = ReadAll(stream);
  return LoadMetafile(bytes.data(), bytes.size(), info);
}

std::unique_ptr<TPixelGraphic> LoadMetafileFile(const std::string& fileName, TMetafileInfo* info) {
  const auto bytes = detail::ReadFileBytes(fileName);
  return LoadMetafile(bytes.data(), bytes.size(), info);
}

void LoadMetafileFile(const std::string& fileName, TPixelGraphic& target, TMetafileInfo* info) {
  const auto bytes = detail::ReadFileBytes(fileName);
  const auto drawn = DrawMetafile(bytes.data(), bytes.size(), info);
  ConvertToSpecial252(*drawn, target);
}

}  // namespace metafile
