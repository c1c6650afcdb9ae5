#include "pgraphic/formats/gif.h"

#include <algorithm>
#include <cstring>

#include "pgraphic/endian.h"

namespace pgraphic {

namespace {

const char* const kNotProperGIF = "Not a proper GIF file";
const char* const kIndexOutOfBounds = "Index out of bounds";

// Stores count indices into a row of the given pixel format, starting at x = 0.
void StoreRow(uint8_t* row, const uint8_t* pixels, size_t count, TPGPixelFormat format) {
  switch (format) {
    case pf8Bit:
      std::memcpy(row, pixels, count);
      break;
    case pf4Bit:
      for (size_t x = 0; x < count; ++x) {
        const uint8_t v = pixels[x] & 0x0F;
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | v)
                    : static_cast<uint8_t>((b & 0x0F) | (v << 4));
      }
      break;
    case pf1Bit:
      for (size_t x = 0; x < count; ++x) {
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
        if (pixels[x] & 1)
          row[x >> 3] |= mask;
        else
          row[x >> 3] &= static_cast<uint8_t>(~mask);
      }
      break;
    default:
      break;
  }
}

// The state of one parse of a GIF file held in memory: the reader creates one
// per call.
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

  void CopyStream(TStream& stream);
  bool Parse(bool decoding, int wanted, TPixelGraphic* graphic);

  std::vector<uint8_t> data_;
  size_t pos_ = 0;
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
  // Handles the image descriptor at the parse position; returns false when the
  // parse has to stop there.
  bool ParseImage(bool decoding, int wanted, TPixelGraphic* graphic);
  void DecodeImage(TPixelGraphic& graphic, const std::array<uint8_t, 768>& table);
  void SkipSubBlocks();
};

}  // namespace

// ---------------------------------------------------------------------------
// LZW decoder

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

bool TGifLZWDecoder::FillBits(int needed) {
  while (bitCount_ < needed) {
    if (blockLeft_ == 0) {
      if (terminatorSeen_ || pos_ >= size_) return false;
      const uint8_t length = data_[pos_++];
      if (length == 0) {
        terminatorSeen_ = true;
        return false;
      }
      blockLeft_ = length;
    }
    if (pos_ >= size_) return false;  // the buffer ends inside a sub-block
    // Take as many bytes of the current sub-block as fit into the bit buffer.
    while (blockLeft_ > 0 && pos_ < size_ && bitCount_ <= 56) {
      bitBuffer_ |= static_cast<uint64_t>(data_[pos_++]) << bitCount_;
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
  pos_ = std::min(size_, pos_ + blockLeft_);
  blockLeft_ = 0;
  while (pos_ < size_) {
    const uint8_t length = data_[pos_++];
    if (length == 0) {
      terminatorSeen_ = true;
      break;
    }
    pos_ = std::min(size_, pos_ + length);
  }
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

void TGifParse::CopyStream(TStream& stream) {
  const int64_t size = stream.Size();
  if (size <= 0) return;
  stream.Seek(0);
  data_.resize(static_cast<size_t>(size));
  const size_t got = stream.Read(data_.data(), data_.size());
  data_.resize(got);
}

void TGifParse::SkipSubBlocks() {
  while (pos_ < data_.size()) {
    const uint8_t length = data_[pos_++];
    if (length == 0) return;
    pos_ = std::min(data_.size(), pos_ + length);
  }
}

bool TGifParse::Parse(bool decoding, int wanted, TPixelGraphic* graphic) {
  const size_t size = data_.size();
  if (size < 3 || data_[0] != 'G' || data_[1] != 'I' || data_[2] != 'F') return false;
  version_ = (size > 4 && data_[4] == '7') ? "87a" : "89a";
  if (size < 13) return true;  // no screen descriptor: a valid header without images
  screenWidth_ = LE16(&data_[6]);
  screenHeight_ = LE16(&data_[8]);
  const uint8_t packed = data_[10];
  pos_ = 13;
  if (packed & 0x80) {
    globalBits_ = (packed & 7) + 1;
    const size_t tableSize = size_t{3} << globalBits_;
    const size_t have = std::min(tableSize, size - pos_);
    std::memcpy(globalTable_.data(), &data_[pos_], have);
    pos_ += have;
  }

  while (!aborted_ && pos_ < size) {
    const size_t start = pos_;
    const uint8_t kind = data_[pos_];
    if (kind == 0x21) {
      if (pos_ + 1 >= size) break;
      const uint8_t label = data_[pos_ + 1];
      pos_ += 2;
      switch (label) {
        case 0xF9: {  // graphic control: size, packed, delay 2, transparent index, terminator
          if (size - pos_ < 6) {
            pos_ = size;
            break;
          }
          const uint8_t* g = &data_[pos_];
          int disposal = (g[1] >> 2) & 7;
          if (disposal != 0 && disposal != 1 && disposal != 3) disposal = 2;
          frame_.Disposal = disposal;
          frame_.Delay = LE16(g + 2) * 10;
          frame_.Transparent = (g[1] & 1) != 0;
          frame_.TransparentIndex = g[4];
          pos_ += 6;
          break;
        }
        case 0xFE: {  // comment: the sub-blocks' bytes
          comment_.clear();
          while (pos_ < size) {
            const uint8_t length = data_[pos_++];
            if (length == 0) break;
            const size_t have = std::min<size_t>(length, size - pos_);
            comment_.append(reinterpret_cast<const char*>(&data_[pos_]), have);
            pos_ += have;
          }
          break;
        }
        case 0xFF: {  // application: the loop count of a looping animation
          if (size - pos_ >= 12 && data_[pos_] == 11 &&
              std::memcmp(&data_[pos_ + 1], "NETSCAPE2.0", 11) == 0) {
            pos_ += 12;
            if (size - pos_ >= 4 && data_[pos_] >= 3) loopCount_ = LE16(&data_[pos_ + 2]);
          }
          SkipSubBlocks();
          break;
        }
        default:  // plain text and extensions this reader does not know: skipped
          SkipSubBlocks();
          break;
      }
    } else if (kind == 0x2C) {
      if (!ParseImage(decoding, wanted, graphic)) break;
      // Once the wanted image is decoded, later images cannot change the result.
      if (decoding && imageCount_ == wanted) break;
    } else if (kind == 0x3B) {
      pos_ = size;
      break;
    } else {
      break;
    }
    if (pos_ == start) break;
  }
  return true;
}

bool TGifParse::ParseImage(bool decoding, int wanted, TPixelGraphic* graphic) {
  const size_t size = data_.size();
  if (size - pos_ < 10) {
    pos_ = size;  // an image descriptor cut short is no image
    return false;
  }
  const uint8_t* d = &data_[pos_];
  ++imageCount_;
  const bool decode = decoding && imageCount_ == wanted && graphic != nullptr;
  frame_.Left = LE16(d + 1);
  frame_.Top = LE16(d + 3);
  frame_.Width = LE16(d + 5);
  frame_.Height = LE16(d + 7);
  const uint8_t packed = d[9];
  pos_ += 10;
  const std::array<uint8_t, 768>* table = &globalTable_;
  int bits = globalBits_;
  if (packed & 0x80) {
    bits = (packed & 7) + 1;
    const size_t tableSize = size_t{3} << bits;
    const size_t have = std::min(tableSize, size - pos_);
    if (decode) {
      localTable_.fill(0);
      std::memcpy(localTable_.data(), &data_[pos_], have);
      table = &localTable_;
    }
    pos_ += have;
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
    if (pos_ < size) ++pos_;  // code size
    SkipSubBlocks();
    while (pos_ < size && data_[pos_] == 0) ++pos_;
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
  graphic.SetSize(width, height, format);
  const int colours = 1 << bits;
  graphic.SetPaletteCount(colours);
  for (int i = 0; i < colours; ++i) {
    graphic.SetPaletteColor(i, RGB(table[3 * i], table[3 * i + 1], table[3 * i + 2]));
  }
  graphic.ClassifyPalette();

  const size_t size = data_.size();
  if (pos_ >= size) return;
  const int codeSize = data_[pos_++];
  TGifLZWDecoder decoder(&data_[pos_], size - pos_, codeSize);
  if (width > 0 && height > 0 && !graphic.Empty()) {
    std::vector<uint8_t> row(static_cast<size_t>(width));
    static constexpr int kPassStart[4] = {0, 4, 2, 1};
    static constexpr int kPassStep[4] = {8, 8, 4, 2};
    int pass = 0;
    int y = 0;
    for (int done = 0; done < height; ++done) {
      const size_t got = decoder.Decode(row.data(), row.size());
      StoreRow(graphic.ScanLine(y), row.data(), got, format);
      if (got < row.size()) break;
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
  if (aborted_) {
    pos_ = size;
    return;
  }
  pos_ += decoder.SkipRest();
}

void tGifFileFormatReader::ReadGraphic(TStream& stream, TPixelGraphic& graphic, int index) {
  TProgressScope progress(graphic);
  TGifParse gif;
  gif.CopyStream(stream);
  const int wanted = index + 1;
  const bool ok = wanted >= 1 && gif.Parse(true, wanted, &graphic);
  if (wanted >= 1 && !ok) throw EPixelGraphic(kNotProperGIF);
  if (wanted < 1 || gif.imageCount_ < wanted) throw EPixelGraphic(kIndexOutOfBounds);
}

void tGifFileFormatReader::ReadInfo(TStream& stream, int index, TPGFileInfo& info) {
  TFileFormatReader::ReadInfo(stream, index, info);
  TGifParse gif;
  gif.CopyStream(stream);
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
