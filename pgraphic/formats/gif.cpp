#include "pgraphic/formats/gif.h"

#include <algorithm>
#include <cstring>

#include "pgraphic/endian.h"
#include "pgraphic/formats/bufferedinput.h"

namespace pgraphic {

namespace {

const char* const kNotProperGIF = "Not a proper GIF file";
const char* const kIndexOutOfBounds = "Index out of bounds";

// The state of one parse of a GIF file, read from the stream as it goes (a
// description never holds the file in memory): the reader creates one per call.
class TGifParse {
 public:
  struct TFrameInfo {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int Bits = 0;
    bool Interlaced = false;
    int Disposal = 0;
    int Delay = 0;  // milliseconds
    bool Transparent = false;
    int TransparentIndex = 0;
  };

  explicit TGifParse(TStream& stream) : stream_(stream), in_(stream) {}
  bool Parse(bool decoding, int wanted, TPixelGraphic* graphic);

  int imageCount_ = 0;
  bool aborted_ = false;

  int screenWidth_ = 0, screenHeight_ = 0;
  int globalBits_ = 0;
  std::array<uint8_t, 768> globalTable_{};
  std::array<uint8_t, 768> localTable_{};
  std::string version_;
  int loopCount_ = 1;
  std::string comment_;

  TFrameInfo frame_;
  int lastBits_ = 0;  // colour-table bit count of the last image parsed
  int wantedWidth_ = 0, wantedHeight_ = 0;
  bool anyInterlaced_ = false;
  bool anyTransparent_ = false;

 private:
  // Handles the image descriptor after its separator; returns false when the
  // parse has to stop there.
  bool ParseImage(bool decoding, int wanted, TPixelGraphic* graphic);
  void DecodeImage(TPixelGraphic& graphic, const std::array<uint8_t, 768>& table);
  void SkipSubBlocks();
  // Bytes of the file not yet taken.
  int64_t Left() const { return stream_.Remaining() + static_cast<int64_t>(in_.Buffered()); }

  TStream& stream_;
  TBufferedInput in_;
};

}  // namespace

// ---------------------------------------------------------------------------
// LZW decoder

TGifLZWDecoder::TGifLZWDecoder(TBufferedInput& input, int codeSize)
    : TGifLZWDecoder(nullptr, 0, codeSize) {
  input_ = &input;
}

TGifLZWDecoder::TGifLZWDecoder(const uint8_t* data, size_t size, int codeSize)
    : data_(data), size_(data ? size : 0), codeSize_(codeSize) {
  if (codeSize < 0 || codeSize > 11) {
    // A clear code of 4096 or more leaves no room for a single table entry.
    finished_ = true;
    clearCode_ = endCode_ = 0;
    return;
  }
  clearCode_ = 1 << codeSize;
  endCode_ = clearCode_ + 1;
  for (int i = 0; i < clearCode_; ++i) suffix_[i] = static_cast<uint8_t>(i);
  nextCode_ = clearCode_ + 2;
  codeWidth_ = codeSize + 1;
  threshold_ = 2 * clearCode_;
}

int TGifLZWDecoder::NextByte() {
  if (input_) {
    const int b = input_->Get();
    if (b >= 0) ++pos_;
    return b;
  }
  return pos_ < size_ ? data_[pos_++] : -1;
}

void TGifLZWDecoder::SkipBytes(size_t n) {
  pos_ += input_ ? input_->Skip(n) : std::min(n, size_ - pos_);
}

bool TGifLZWDecoder::FillBits(int needed) {
  while (bitCount_ < needed) {
    if (blockLeft_ == 0) {
      if (terminatorSeen_) return false;
      const int length = NextByte();
      if (length <= 0) {
        terminatorSeen_ = true;  // the terminator, or no more data
        return false;
      }
      blockLeft_ = static_cast<size_t>(length);
    }
    // Take as many bytes of the current sub-block as fit into the bit buffer.
    while (blockLeft_ > 0 && bitCount_ <= 56) {
      const int b = NextByte();
      if (b < 0) {
        // The data ends inside a sub-block.
        terminatorSeen_ = true;
        blockLeft_ = 0;
        return false;
      }
      bitBuffer_ |= static_cast<uint64_t>(b) << bitCount_;
      bitCount_ += 8;
      --blockLeft_;
    }
  }
  return true;
}

int TGifLZWDecoder::ReadCode() {
  if (bitCount_ < codeWidth_ && !FillBits(codeWidth_)) return -1;
  const int code = static_cast<int>(bitBuffer_ & ((1u << codeWidth_) - 1));
  bitBuffer_ >>= codeWidth_;
  bitCount_ -= codeWidth_;
  return code;
}

// Reads codes after a clear code (or at the start) until one that is not a clear
// code; a literal becomes the previous code and first character and is returned,
// anything else (end, invalid, no data) ends the decoding and gives -1.
int TGifLZWDecoder::StartAfterClear() {
  nextCode_ = clearCode_ + 2;
  codeWidth_ = codeSize_ + 1;
  threshold_ = 2 * clearCode_;
  int code;
  do {
    code = ReadCode();
  } while (code == clearCode_);
  if (code < 0 || code >= clearCode_) {
    if (code == endCode_) SkipRest();
    finished_ = true;
    return -1;
  }
  previousCode_ = code;
  firstChar_ = code;
  return code;
}

size_t TGifLZWDecoder::Decode(uint8_t* out, size_t count) {
  size_t n = 0;
  while (n < count) {
    if (stackTop_ > 0) {
      const size_t take = std::min(static_cast<size_t>(stackTop_), count - n);
      for (size_t i = 0; i < take; ++i) out[n++] = stack_[--stackTop_];
      continue;
    }
    if (finished_) break;
    if (!started_) {
      started_ = true;
      const int first = StartAfterClear();
      if (first < 0) break;
      out[n++] = static_cast<uint8_t>(first);
      continue;
    }
    const int code = ReadCode();
    if (code < 0) {
      finished_ = true;
      break;
    }
    if (code == clearCode_) {
      const int first = StartAfterClear();
      if (first < 0) break;
      out[n++] = static_cast<uint8_t>(first);
      continue;
    }
    if (code == endCode_) {
      SkipRest();
      finished_ = true;
      break;
    }
    if (code > nextCode_ || code >= kMaxCodes) {
      // A code beyond the next free one refers to nothing: the data is corrupt.
      // Ending here keeps what was decoded and never follows unset entries.
      finished_ = true;
      break;
    }
    int current = code;
    if (code == nextCode_) {
      // The string is the previous string plus its own first character.
      stack_[stackTop_++] = static_cast<uint8_t>(firstChar_);
      current = previousCode_;
    }
    // Every entry's prefix is smaller than the entry, so the walk ends after at
    // most kMaxCodes steps and the stack (kMaxCodes + 1 entries) cannot overflow.
    while (current >= clearCode_) {
      stack_[stackTop_++] = suffix_[current];
      current = prefix_[current];
    }
    firstChar_ = current;
    stack_[stackTop_++] = static_cast<uint8_t>(current);
    if (nextCode_ < kMaxCodes) {
      prefix_[nextCode_] = static_cast<uint16_t>(previousCode_);
      suffix_[nextCode_] = static_cast<uint8_t>(firstChar_);
      ++nextCode_;
      if (nextCode_ >= threshold_ && threshold_ < kMaxCodes) {
        threshold_ *= 2;
        ++codeWidth_;
      }
    }
    previousCode_ = code;
  }
  return n;
}

size_t TGifLZWDecoder::SkipRest() {
  bitBuffer_ = 0;
  bitCount_ = 0;
  if (terminatorSeen_) return pos_;
  SkipBytes(blockLeft_);
  blockLeft_ = 0;
  for (;;) {
    const int length = NextByte();
    if (length <= 0) break;
    SkipBytes(static_cast<size_t>(length));
  }
  terminatorSeen_ = true;
  return pos_;
}

// ---------------------------------------------------------------------------
// Reader

tGifFileFormatReader::tGifFileFormatReader() {
  Primary = true;
  Extension = "gif";
  Description = "GIF";
  ClassName = "tGifFileFormatReader";
  SignatureCheck = true;
}

bool tGifFileFormatReader::IsFormat(THeader header) {
  return header[0] == 'G' && header[1] == 'I' && header[2] == 'F';
}

void TGifParse::SkipSubBlocks() {
  for (;;) {
    const int length = in_.Get();
    if (length <= 0) return;
    in_.Skip(static_cast<size_t>(length));
  }
}

bool TGifParse::Parse(bool decoding, int wanted, TPixelGraphic* graphic) {
  uint8_t head[13] = {};
  const size_t got = in_.Read(head, sizeof head);
  if (got < 3 || head[0] != 'G' || head[1] != 'I' || head[2] != 'F') return false;
  version_ = (got > 4 && head[4] == '7') ? "87a" : "89a";
  if (got < 13) return true;  // no screen descriptor: a valid header without images
  screenWidth_ = LE16(&head[6]);
  screenHeight_ = LE16(&head[8]);
  const uint8_t packed = head[10];
  if (packed & 0x80) {
    globalBits_ = (packed & 7) + 1;
    in_.Read(globalTable_.data(), size_t{3} << globalBits_);  // a short table stays zero-filled
  }

  while (!aborted_) {
    const int kind = in_.Get();
    if (kind == 0x21) {
      const int label = in_.Get();
      if (label < 0) break;
      if (label == 0xF9) {  // graphic control: size, packed, delay 2, transparent index, terminator
        uint8_t g[6];
        if (in_.Read(g, sizeof g) < sizeof g) break;
        int disposal = (g[1] >> 2) & 7;
        if (disposal != 0 && disposal != 1 && disposal != 3) disposal = 2;
        frame_.Disposal = disposal;
        frame_.Delay = LE16(g + 2) * 10;
        frame_.Transparent = (g[1] & 1) != 0;
        frame_.TransparentIndex = g[4];
      } else if (label == 0xFE) {  // comment: the sub-blocks' bytes
        comment_.clear();
        for (int length; (length = in_.Get()) > 0;) {
          char part[255];
          comment_.append(part, in_.Read(reinterpret_cast<uint8_t*>(part), length));
        }
      } else if (label == 0xFF) {  // application: the loop count of a looping animation
        uint8_t id[255];
        const int length = in_.Get();
        if (length <= 0) continue;
        const size_t have = in_.Read(id, static_cast<size_t>(length));
        if (have == 11 && std::memcmp(id, "NETSCAPE2.0", 11) == 0) {
          const int dataLength = in_.Get();
          if (dataLength <= 0) continue;
          uint8_t d[255] = {};
          if (in_.Read(d, static_cast<size_t>(dataLength)) >= 3) loopCount_ = LE16(d + 1);
        }
        SkipSubBlocks();
      } else {  // plain text and extensions this reader does not know: skipped
        SkipSubBlocks();
      }
    } else if (kind == 0x2C) {
      if (!ParseImage(decoding, wanted, graphic)) break;
      // Once the wanted image is decoded, later images cannot change the result.
      if (decoding && imageCount_ == wanted) break;
    } else {
      break;  // the trailer, the end of the file, or a byte that starts no block
    }
  }
  return true;
}

bool TGifParse::ParseImage(bool decoding, int wanted, TPixelGraphic* graphic) {
  uint8_t d[9];
  if (in_.Read(d, sizeof d) < sizeof d) return false;  // an image descriptor cut short is no image
  ++imageCount_;
  const bool decode = decoding && imageCount_ == wanted && graphic != nullptr;
  frame_.Left = LE16(d);
  frame_.Top = LE16(d + 2);
  frame_.Width = LE16(d + 4);
  frame_.Height = LE16(d + 6);
  const uint8_t packed = d[8];
  const std::array<uint8_t, 768>* table = &globalTable_;
  int bits = globalBits_;
  if (packed & 0x80) {
    bits = (packed & 7) + 1;
    const size_t tableSize = size_t{3} << bits;
    if (decode) {
      localTable_.fill(0);
      in_.Read(localTable_.data(), tableSize);
      table = &localTable_;
    } else {
      in_.Skip(tableSize);
    }
  }
  frame_.Bits = bits;
  frame_.Interlaced = (packed & 0x40) != 0;
  lastBits_ = bits;
  if (!decoding && imageCount_ == wanted) {
    wantedWidth_ = frame_.Width;
    wantedHeight_ = frame_.Height;
  }

  if (decode) {
    DecodeImage(*graphic, *table);
  } else {
    in_.Get();  // code size
    SkipSubBlocks();
    while (in_.Peek() == 0) in_.Get();
  }

  globalBits_ = std::max(globalBits_, bits);
  anyInterlaced_ = anyInterlaced_ || frame_.Interlaced;
  anyTransparent_ = anyTransparent_ || frame_.Transparent;
  frame_ = TFrameInfo();
  return true;
}

void TGifParse::DecodeImage(TPixelGraphic& graphic, const std::array<uint8_t, 768>& table) {
  const int bits = frame_.Bits;
  const TPGPixelFormat format = bits <= 1 ? pf1Bit : (bits <= 4 ? pf4Bit : pf8Bit);
  const int width = frame_.Width;
  const int height = frame_.Height;
  const int codeSize = in_.Get();
  // Before the image is sized: the data left must be able to make every pixel.
  TUnexpectedEnd<EPixelGraphic> unexpectedEnd(graphic, "GIF", "GIF: ");
  const uint64_t pixels = uint64_t(width) * uint64_t(height);
  unexpectedEnd.Require(
      codeSize < 0 ? 0 : Left(),
      (pixels + TGifLZWDecoder::kMaxPixelsPerByte - 1) / TGifLZWDecoder::kMaxPixelsPerByte);
  graphic.SetSize(width, height, format);
  const int colours = 1 << bits;
  graphic.SetPaletteCount(colours);
  for (int i = 0; i < colours; ++i) {
    graphic.SetPaletteColor(i, RGB(table[3 * i], table[3 * i + 1], table[3 * i + 2]));
  }
  graphic.ClassifyPalette();

  if (codeSize < 0) return;
  TGifLZWDecoder decoder(in_, codeSize);
  if (width > 0 && height > 0 && !graphic.Empty()) {
    std::vector<uint8_t> row(static_cast<size_t>(width));
    static constexpr int kPassStart[4] = {0, 4, 2, 1};
    static constexpr int kPassStep[4] = {8, 8, 4, 2};
    int pass = 0;
    int y = 0;
    for (int done = 0; done < height; ++done) {
      const size_t got = decoder.Decode(row.data(), row.size());
      PackIndices(graphic.ScanLine(y), format, 0, static_cast<int>(got), row.data());
      if (got < row.size()) {
        // The codes ended before the last pixel: the rest of the image stays as it is.
        unexpectedEnd.Say();
        break;
      }
      if (graphic.Progress(done, height - 1)) {
        aborted_ = true;
        break;
      }
      if (frame_.Interlaced) {
        y += kPassStep[pass];
        while (y >= height && pass < 3) {
          ++pass;
          y = kPassStart[pass];
        }
      } else {
        ++y;
      }
    }
  }
  if (!aborted_) decoder.SkipRest();
}

void tGifFileFormatReader::ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) {
  TProgressScope progress(graphic);
  stream.Seek(0);
  TGifParse gif(stream);
  const int wanted = index + 1;
  const bool ok = wanted >= 1 && gif.Parse(true, wanted, &graphic);
  if (wanted >= 1 && !ok) throw EPixelGraphic(kNotProperGIF);
  if (wanted < 1 || gif.imageCount_ < wanted) throw EPixelGraphic(kIndexOutOfBounds);
}

void tGifFileFormatReader::ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) {
  stream.Seek(0);
  TGifParse gif(stream);
  const int wanted = index + 1;
  if (!gif.Parse(false, wanted, nullptr)) throw EPixelGraphic(kNotProperGIF);
  if (wanted < 1 || gif.imageCount_ < wanted) throw EPixelGraphic(kIndexOutOfBounds);
  info.Count = gif.imageCount_;
  info.Width = gif.wantedWidth_;
  info.Height = gif.wantedHeight_;
  info.BitsPerPixel = gif.lastBits_;
  info.Colors = std::to_string(1 << gif.lastBits_);
  info.SubType = gif.version_;
  info.Extra = gif.anyInterlaced_ ? "Interlaced" : "Non-interlaced";
}

void AddGIFReaders(TReaderList& readers) {
  readers.push_back(std::make_unique<tGifFileFormatReader>());
}

}  // namespace pgraphic
