// The VQN wavelet codec as a library: compressing a TPixelGraphic at a chosen
// quality, writing the result as a .vqn file, and opening any VQN file (subtype 3
// and the older subtype 2) into a 24-bit image with its information texts.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/buffers.h"
#include "codec/format.h"
#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/messages.h"
#include "pgraphic/stream.h"

namespace codec {

// The codec's own texts.
inline constexpr const char* MsgCorrupted = "VQN-file is corrupted!";
inline constexpr const char* MsgNoMemory = "Not enough memory!";
inline constexpr const char* MsgNotVQN = "Not a VQN file";
inline constexpr const char* MsgTooLarge =
    "The image is too large for a VQN-file: width and height must not exceed 32767 pixels.";

// Every codec failure; the message is the final text.
class EVQN : public pgraphic::EPixelGraphic {
 public:
  using EPixelGraphic::EPixelGraphic;
};
// Magic or subtype wrong: the caller decides what to show.
class EVQNNotVQN : public EVQN {
 public:
  EVQNNotVQN() : EVQN(MsgNotVQN) {}
};
class EVQNCorrupted : public EVQN {
 public:
  EVQNCorrupted() : EVQN(MsgCorrupted) {}
};
class EVQNNoMemory : public EVQN {
 public:
  EVQNNoMemory() : EVQN(MsgNoMemory) {}
};
class EVQNTooLarge : public EVQN {
 public:
  EVQNTooLarge() : EVQN(MsgTooLarge) {}
};

// Threads one encode or decode uses, the calling thread included; 0 (the
// default) means two, or one on a machine with a single hardware thread.
// Files and pixels are identical for every thread count.
extern pgraphic::TPGSetting<int> VQNThreads;

// Limits the encodes and decodes the current thread makes to `threads` threads
// while the object lives, whatever VQNThreads says. A caller that already runs
// one picture per core (a parallel batch) asks for one, so that the machine is
// not oversubscribed.
class TVQNThreadLimit {
 public:
  explicit TVQNThreadLimit(int threads);
  ~TVQNThreadLimit();
  TVQNThreadLimit(const TVQNThreadLimit&) = delete;
  TVQNThreadLimit& operator=(const TVQNThreadLimit&) = delete;

 private:
  int saved_;
};

// ---- Quality ------------------------------------------------------------------

// Quality value Q (5..149) of a track-bar position 0..120: a = Round(position/10),
// Q = (12 - a)^2 + 5. Larger Q compresses more.
int QualityFromPosition(int position);
// Thresholds below which detail coefficients of levels 1..levels become zero.
std::vector<int> ZeroThresholds(int quality, int levels);

// ---- Encoder ------------------------------------------------------------------

// The result of a compression, as it is written to a file.
struct CompressedData {
  int16_t Width = 0;
  int16_t Height = 0;
  int16_t Levels = 0;
  std::array<float, 3> DetailStep{};  // red, green, blue
  std::array<float, 3> ApproxStep{};
  std::array<int16_t, 3> ApproxMin{};
  int32_t CodedLength = 0;
  std::vector<uint8_t> CodedData;
  VQNHeader Header() const;
};

// An interactive compression: the data to save later, the decoded (lossy) image
// exactly as the decoder will rebuild it from the file, and the message text.
struct CompressResult {
  CompressedData Data;
  std::unique_ptr<pgraphic::TPixelGraphic> Preview;
  int Ratio = 0;
  std::string SizeText;
  std::string Message;
};

// Compresses the image at quality Q. Palette images are compressed through their
// palette colours. Progress goes through the source's progress events; an abort
// raises EPixelGraphic. Raises EVQNTooLarge for sides above 32,767 and
// EVQNNoMemory when memory runs out.
CompressedData Compress(pgraphic::TPixelGraphic& source, int quality);
// Compress plus the preview and the message.
CompressResult CompressInteractive(pgraphic::TPixelGraphic& source, int quality);
// Compress and write the file; nothing is held afterwards except the returned data.
CompressedData CompressBatch(pgraphic::TPixelGraphic& source, int quality, const std::string& path);

// Writes the data as a subtype-3 file: a 44-byte header and the coded stream.
void WriteVQN(const CompressedData& data, pgraphic::TStream& stream);
// Writes the file safely: into a temporary file beside the target, renamed over
// it only when complete, so a failure never destroys an existing file.
void SaveVQNFile(const CompressedData& data, const std::string& path);

// Round(W * H * 3 / C), 0 when C is 0.
int CompressionRatio(const CompressedData& data);
// Round(bytes * 0.009765625) * 0.1 in the shortest general format ("37.6", "2").
std::string KbText(int64_t bytes);
// "The image was successfully compressed!\nCompression ratio is 1:..." etc.
std::string CompressionMessage(const CompressedData& data);

// ---- Decoder ------------------------------------------------------------------

// What a VQN file says about itself, without decoding it.
struct VQNInfo {
  VQNHeader Header;
  int64_t FileSize = -1;  // -1 when unknown
};

// Reads only the header (mode 3): works for any file with a valid magic, subtype
// and header, even when the coded stream is truncated. Raises EVQNNotVQN or
// EVQNCorrupted.
VQNInfo ReadVQNInfo(pgraphic::TStream& stream);
VQNInfo ReadVQNInfo(const std::string& path);

// The subtype's name: "Wavelet 3.0", or "Wavelet 2.0" for the older files.
std::string SubTypeName(int subtype);
// "Type: VQN, Wavelet 3.0; Size: 640x480; Colors: 16.7M" plus, when the file size
// is known and wanted, "; File size: 37.6 Kb".
std::string VQNInfoText(const VQNInfo& info, bool withFileSize = true);

// Decodes a whole VQN stream into `target` (24 bits, W x H). Progress goes through
// the target's progress events. Raises EVQNNotVQN, EVQNCorrupted or EVQNNoMemory.
VQNHeader DecodeVQN(pgraphic::TStream& stream, pgraphic::TPixelGraphic& target);
std::unique_ptr<pgraphic::TPixelGraphic> DecodeVQN(pgraphic::TStream& stream);
std::unique_ptr<pgraphic::TPixelGraphic> LoadVQNFile(const std::string& path);

// The coefficient bytes of the three planes (red, green, blue), each in the
// stored order of positions.
using CoefficientPlanes = std::array<std::vector<uint8_t, LargeBufferAllocator<uint8_t>>, 3>;

// Rebuilds the image from the coefficient bytes of a header: dequantisation and the
// inverse transform, the common last stage of decoder and encoder preview.
void Reconstruct(const VQNHeader& header, const CoefficientPlanes& coefficients,
                 pgraphic::TPixelGraphic& target);

}  // namespace codec
