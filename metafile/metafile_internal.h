// What the metafile checks hand to the two players: the headers read, the
// mapping of the picture frame, and a byte buffer the libraries may read safely.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "metafile/metafile.h"

namespace metafile::detail {

[[noreturn]] void Fail(const std::string& message);

// The memory for a picture within the size limits could not be had. Raised
// with the message the caller would otherwise give; the drawing helper tells
// it apart from a bad file.
class EPictureMemory : public pgraphic::EPGMetafile {
 public:
  using EPGMetafile::EPGMetafile;
};
[[noreturn]] void FailMemory(const std::string& message = "Metafile: Picture too large");

// The whole file, refused beyond MaxMetafileBytes.
std::vector<uint8_t> ReadFileBytes(const std::string& fileName);

// A rectangle in the player's device space (x right, y down).
struct TDeviceRect {
  double Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// A WMF whose record chain has been checked. Bytes holds the file cut after the
// last complete record and always ending with the end-of-file record, so the
// player never runs off the data; poly-polygons list only polygons with points.
struct TCheckedWmf {
  TMetafileInfo Info;
  TDeviceRect Frame;        // where the picture frame lies in libwmf's device space
  int MaxSampleFactor = 4;  // samples per pixel along each axis the pens allow
  std::vector<uint8_t> Bytes;
};

// An EMF whose header and record chain have been checked. Bytes holds the file cut
// after the last complete record, ending with an end-of-file record, its header
// counts patched to match, then zero padding, so that fixed-size reads past a
// short record stay in memory we own.
struct TCheckedEmf {
  TMetafileInfo Info;
  // The picture frame in the converter's SVG coordinates, whose origin is the
  // top-left of the header's bounds in device units.
  TDeviceRect View;
  std::vector<uint8_t> Bytes;
  size_t Length = 0;  // bytes of records in Bytes; the rest is padding
};

TMetafileKind DetectKind(const uint8_t* data, size_t size);
TCheckedWmf CheckWmf(const uint8_t* data, size_t size);
TCheckedEmf CheckEmf(const uint8_t* data, size_t size);

// Play into a white 24-bit image of info.Width x info.Height with the picture's
// top-left at (1, 1). The image is sized by the caller.
void DrawWmf(const TCheckedWmf& wmf, TPixelGraphic& target);
void DrawEmf(const TCheckedEmf& emf, TPixelGraphic& target);

// Copies rows of 32-bit pixels holding red in bits 16-23, green in 8-15 and blue
// in 0-7 (the upper byte is ignored) into the 24-bit target, row 0 at the top;
// stride is the distance between rows in pixels.
void StoreXrgbRows(const uint32_t* pixels, size_t stride, TPixelGraphic& target);

// What the program and its drawing helper send each other over one stream
// socket, in the machine's own byte order (both ends are the same build).
// The program sends a request header and the file bytes; the helper answers
// with an answer header and either the drawn picture's rows (top row first,
// Width * 3 bytes each, blue green red) or a message.
inline constexpr char kRequestMagic[8] = {'K', 'V', 'M', 'F', 'R', 'E', 'Q', '1'};
inline constexpr char kAnswerMagic[8] = {'K', 'V', 'M', 'F', 'A', 'N', 'S', '1'};

struct TDrawRequest {
  char Magic[8];
  uint64_t Size;         // file bytes that follow
  int64_t MemoryLimit;   // see MetafileMemoryLimit
  int64_t StackLimit;    // bytes
  int64_t MaxImageSize;  // the program's pgraphic::PGMaxImageSize
  uint32_t CpuSeconds;   // a processor-time backstop behind the wall-time limit
  uint32_t Reserved;
};

enum TDrawStatus : uint32_t { dsPicture = 0, dsMessage = 1, dsOutOfMemory = 2 };

struct TDrawAnswer {
  char Magic[8];
  uint32_t Status;  // TDrawStatus
  uint32_t Kind;    // TMetafileKind
  int32_t Width;
  int32_t Height;
  uint64_t Length;  // bytes that follow
};

// Longest message the helper may send.
inline constexpr uint64_t kMaxAnswerMessage = 4096;

// Reads one answer from fd, waiting at most until the deadline. Sizes are
// checked against the picture limits before anything is allocated.
struct TDrawReply {
  // Closed: the helper's end closed before the answer was whole.
  enum { Complete, Closed, TimedOut, Invalid } State = Closed;
  TDrawStatus Status = dsMessage;
  TMetafileInfo Info;
  std::string Message;
  std::unique_ptr<TPixelGraphic> Picture;  // 24-bit, for dsPicture
};
TDrawReply ReadDrawReply(int fd, std::chrono::steady_clock::time_point deadline);

}  // namespace metafile::detail
