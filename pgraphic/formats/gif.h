// GIF reader: one image (frame) of a GIF87a or GIF89a file into a palette image,
// decoded with the library's own LZW decoder. There is no GIF writer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/formats/fileformat.h"

namespace pgraphic {

class TBufferedInput;

// The variable-length-code LZW decoder of GIF image data. It reads the data
// sub-blocks that follow the code-size byte (length byte, data, ..., zero-length
// terminator) from a bounded buffer or from a stream and hands out pixel
// indices in order. It never reads outside [data, data + size) and never writes
// more pixels than asked for; a truncated buffer or stream behaves like the end
// of the data.
class TGifLZWDecoder {
 public:
  // A code of w bits stands for at most 2^w - 2^codeSize pixels and w is at
  // most 12, so no byte of data yields more than 8 * 4096 / 12 pixels.
  static constexpr uint64_t kMaxPixelsPerByte = 2731;

  // codeSize is the minimum code size of the image (its first data byte); values
  // above 11 cannot be decoded and give no pixels.
  TGifLZWDecoder(const uint8_t* data, size_t size, int codeSize);
  // The same over the bytes that follow in `input`, taken as they are needed.
  TGifLZWDecoder(TBufferedInput& input, int codeSize);

  // Writes up to count pixel indices (the low 8 bits of each) to out; returns how
  // many were written. Fewer than count means the data ended: by the end code,
  // by the terminator, by the end of the buffer, or by an invalid code.
  size_t Decode(uint8_t* out, size_t count);

  // True once the decoder has stopped producing pixels.
  bool Finished() const { return finished_; }

  // Skips whatever is left of the data sub-blocks up to and including the
  // zero-length terminator (or to the end of the data); returns how many bytes
  // the decoder has taken in all (for a buffer: the offset just after them).
  size_t SkipRest();

 private:
  static constexpr int kMaxCodes = 4096;
  int ReadCode();
  bool FillBits(int needed);
  int StartAfterClear();
  int NextByte();  // -1 at the end of the data
  void SkipBytes(size_t n);

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  TBufferedInput* input_ = nullptr;
  size_t pos_ = 0;        // bytes taken (for a buffer: the next one)
  size_t blockLeft_ = 0;  // data bytes left in the current sub-block
  bool terminatorSeen_ = false;
  uint64_t bitBuffer_ = 0;
  int bitCount_ = 0;

  int codeSize_;
  int clearCode_;
  int endCode_;
  int nextCode_ = 0;
  int codeWidth_ = 0;
  int threshold_ = 0;
  int previousCode_ = -1;
  int firstChar_ = 0;
  bool started_ = false;
  bool finished_ = false;

  std::array<uint16_t, kMaxCodes> prefix_{};
  std::array<uint8_t, kMaxCodes> suffix_{};
  std::array<uint8_t, kMaxCodes + 1> stack_{};
  int stackTop_ = 0;  // entries on the stack; popped from the top
};

// Keeps no state between calls: every read parses the file into a parse state
// of its own, so threads may read through the one registered object at once.
class tGifFileFormatReader : public TFileFormatReader {
 public:
  tGifFileFormatReader();

  bool IsFormat(THeader header) override;

 private:
  void ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) override;
  void ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) override;
};

// Appends the GIF reader to the list of readers.
void AddGIFReaders(TReaderList& readers);

}  // namespace pgraphic
