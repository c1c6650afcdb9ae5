#include "pgraphic/image/pixelgraphic.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <limits>

#include "pgraphic/endian.h"
#include "pgraphic/largememory.h"

namespace pgraphic {

TPGSetting<long double> PGDisplayGamma = 1.8L;
TPGSetting<bool> PGCorrectGammaOnLoad = true;
TPGSetting<int64_t> PGMaxImageSize = std::numeric_limits<int32_t>::max();
TPGSetting<int64_t> PGMaxDecodeBytes = DefaultMaxDecodeBytes();

int64_t DefaultMaxDecodeBytes() {
  constexpr int64_t kCap = int64_t{4} << 30;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return kCap;
  return std::min<int64_t>(kCap, static_cast<int64_t>(pages) / 2 * pageSize);
}

std::string PictureTooLargeText(int width, int height, int64_t pictureBytes) {
  if (width <= 0 || height <= 0) return "Not enough memory for this picture";
  const int64_t mb = (pictureBytes + (int64_t{1} << 20) - 1) >> 20;
  return "Not enough memory for a " + std::to_string(width) + " \u00d7 " + std::to_string(height) +
         " picture (" + std::to_string(mb) + " MB)";
}

int64_t PictureBytes(int width, int height, int bitsPerPixel) {
  const int64_t stride = ((static_cast<int64_t>(bitsPerPixel) * std::max(width, 0) + 31) / 32) * 4;
  return stride * std::max(height, 0);
}

int64_t CheckDecodeBudget(int width, int height, int bitsPerPixel, int64_t workingBytes) {
  const int64_t picture = PictureBytes(width, height, bitsPerPixel);
  const int64_t left = PGMaxDecodeBytes - picture - workingBytes;
  if (left < 0) throw EPGNotEnoughMemory(PictureTooLargeText(width, height, picture));
  return left;
}

int BitsPerPixel(TPGPixelFormat format) {
  switch (format) {
    case pf1Bit:
      return 1;
    case pf4Bit:
      return 4;
    case pf8Bit:
      return 8;
    default:
      return 24;
  }
}

int PaletteCapacity(TPGPixelFormat format) {
  switch (format) {
    case pf1Bit:
      return 2;
    case pf4Bit:
      return 16;
    case pf8Bit:
      return 256;
    default:
      return 0;
  }
}

void PackIndices(uint8_t* row, TPGPixelFormat format, int x0, int n, const uint8_t* indices) {
  switch (format) {
    case pf8Bit:
      if (n > 0) std::memcpy(row + x0, indices, static_cast<size_t>(n));
      break;
    case pf4Bit:
      for (int i = 0; i < n; ++i) {
        const int x = x0 + i;
        uint8_t& b = row[x >> 1];
        const uint8_t v = indices[i] & 0x0F;
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | v)
                    : static_cast<uint8_t>((b & 0x0F) | (v << 4));
      }
      break;
    case pf1Bit:
      for (int i = 0; i < n; ++i) {
        const int x = x0 + i;
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
        if (indices[i] & 1)
          row[x >> 3] |= mask;
        else
          row[x >> 3] &= static_cast<uint8_t>(~mask);
      }
      break;
    default:
      break;
  }
}

void TPixelGraphic::FreeDeleter::operator()(uint8_t* p) const {
  if (mapBase)
    ReleaseLargeZeroed(mapBase, mapSize);
  else
    std::free(p);
}

namespace {

// Zero-filled pixel storage; large images get the huge-page blocks (quarter
// turns, vertical filters and the codec's column transforms walk them by
// columns).
std::unique_ptr<uint8_t, TPixelGraphic::FreeDeleter> AllocatePixels(size_t size) {
  if (size >= kLargeBlockSize) {
    void* base = nullptr;
    size_t length = 0;
    if (uint8_t* p = AllocateLargeZeroed(size, base, length)) {
      return std::unique_ptr<uint8_t, TPixelGraphic::FreeDeleter>(
          p, TPixelGraphic::FreeDeleter{base, length});
    }
  }
  return std::unique_ptr<uint8_t, TPixelGraphic::FreeDeleter>(
      static_cast<uint8_t*>(std::calloc(size, 1)));
}

}  // namespace

TPixelGraphic::TPixelGraphic() : gamma_(PGDisplayGamma) {}

TPixelGraphic::~TPixelGraphic() = default;

void TPixelGraphic::ReleaseStorage() {
  bits_.reset();
  bitmapInfo_.clear();
}

void TPixelGraphic::SetSize(int width, int height, TPGPixelFormat format) {
  if (width < 0) throw EPGInvalidSize(LangStr(msgNegativeWidth));
  if (height < 0) throw EPGInvalidSize(LangStr(msgNegativeHeight));
  if (width == width_ && height == height_ && format == pixelFormat_) {
    Clear();
    return;
  }
  width_ = width;
  height_ = height;
  pixelFormat_ = format;
  ReleaseStorage();
  rowStride_ = 0;
  imageSize_ = 0;

  // Computed in 64 bits: a size whose storage cannot be described by the signed
  // 32-bit ImageSize (or exceeds the configured limit) is refused, leaving an
  // empty, consistent image.
  const int64_t stride =
      ((static_cast<int64_t>(pgraphic::BitsPerPixel(format)) * width + 31) / 32) * 4;
  // The stride is checked before it is multiplied, so the product cannot overflow.
  const bool strideFits = stride <= std::numeric_limits<int32_t>::max();
  const int64_t size = strideFits ? stride * height : 0;
  const int64_t limit = std::min<int64_t>(PGMaxImageSize, std::numeric_limits<int32_t>::max());
  if (!strideFits || size > limit) {
    width_ = 0;
    height_ = 0;
    Changed();
    throw EPixelGraphic(LangStr(msgFailed, "CreateDIBSection"));
  }
  if (size > PGMaxDecodeBytes) {
    width_ = 0;
    height_ = 0;
    Changed();
    throw EPGNotEnoughMemory(PictureTooLargeText(width, height, size));
  }
  rowStride_ = static_cast<int>(stride);
  imageSize_ = static_cast<int>(size);
  if (imageSize_ != 0) {
    const int capacity = PaletteCapacity();
    if (paletteCount_ > capacity) SetPaletteCount(capacity);
    if (format == pf24Bit) paletteIdent_ = pTrueColor;
    bits_ = AllocatePixels(static_cast<size_t>(imageSize_));
    if (!bits_) {
      width_ = 0;
      height_ = 0;
      rowStride_ = 0;
      imageSize_ = 0;
      Changed();
      throw EPGNotEnoughMemory(PictureTooLargeText(width, height, size));
    }
    bitmapInfo_.assign(40 + 4 * static_cast<size_t>(capacity), 0);
    uint8_t* h = bitmapInfo_.data();
    PutLE32(h + 0, 40);
    PutLE32(h + 4, static_cast<uint32_t>(width_));
    PutLE32(h + 8, static_cast<uint32_t>(height_));
    h[12] = 1;
    h[14] = static_cast<uint8_t>(pgraphic::BitsPerPixel(format));
    PutLE32(h + 20, static_cast<uint32_t>(imageSize_));
    PutLE32(h + 32, static_cast<uint32_t>(capacity));
    for (int i = 0; i < capacity; ++i) RebuildBitmapInfoEntry(i);
  }
  Changed();
}

void TPixelGraphic::RebuildBitmapInfoEntry(int index) {
  if (bitmapInfo_.empty()) return;
  const size_t at = 40 + 4 * static_cast<size_t>(index);
  if (at + 4 > bitmapInfo_.size()) return;
  TRGB c = 0;
  if (index < paletteCount_)
    c = palette_[index];
  else if (paletteCount_ > 0)
    c = palette_[0];
  bitmapInfo_[at] = static_cast<uint8_t>(GetB(c));
  bitmapInfo_[at + 1] = static_cast<uint8_t>(GetG(c));
  bitmapInfo_[at + 2] = static_cast<uint8_t>(GetR(c));
  bitmapInfo_[at + 3] = 0;
}

void TPixelGraphic::SetWidth(int width) {
  if (width != width_) SetSize(width, height_, pixelFormat_);
}

void TPixelGraphic::SetHeight(int height) {
  if (height != height_) SetSize(width_, height, pixelFormat_);
}

void TPixelGraphic::SetPixelFormat(TPGPixelFormat format) {
  if (format != pixelFormat_) SetSize(width_, height_, format);
}

uint8_t* TPixelGraphic::ScanLine(int y) {
  if (!bits_) return nullptr;
  return bits_.get() + static_cast<size_t>(rowStride_) * static_cast<size_t>(height_ - 1 - y);
}

const uint8_t* TPixelGraphic::ScanLine(int y) const {
  if (!bits_) return nullptr;
  return bits_.get() + static_cast<size_t>(rowStride_) * static_cast<size_t>(height_ - 1 - y);
}

void TPixelGraphic::Clear() {
  if (!bits_ || width_ <= 0 || height_ <= 0) return;
  if (backGroundColor_ == 0) {
    std::memset(bits_.get(), 0, static_cast<size_t>(imageSize_));
  } else if (pixelFormat_ == pf8Bit) {
    for (int y = 0; y < height_; ++y) {
      std::memset(ScanLine(y), static_cast<uint8_t>(backGroundColor_), static_cast<size_t>(width_));
    }
  } else if (pixelFormat_ == pf24Bit) {
    // The first row pixel by pixel, the others copied from it.
    for (int x = 0; x < width_; ++x) SetPixel(x, 0, backGroundColor_);
    for (int y = 1; y < height_; ++y) {
      std::memcpy(ScanLine(y), ScanLine(0), 3 * static_cast<size_t>(width_));
    }
  } else {
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) SetPixel(x, y, backGroundColor_);
    }
  }
  Changed();
}

void TPixelGraphic::RaiseOutOfRange() const {
  throw EPGXYIndexOutOfRange(LangStr(msgXYIndexOutOfRange));
}

uint32_t TPixelGraphic::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || !bits_) {
    if (checkRange_) RaiseOutOfRange();
    return backGroundColor_;
  }
  const uint8_t* row = ScanLine(y);
  if (pixelFormat_ != pf24Bit) return IndexAt(row, pixelFormat_, x);
  const uint8_t* p = row + 3 * static_cast<size_t>(x);
  return RGB(p[2], p[1], p[0]);
}

void TPixelGraphic::SetPixel(int x, int y, uint32_t value) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || !bits_) {
    if (checkRange_) RaiseOutOfRange();
    return;
  }
  uint8_t* row = ScanLine(y);
  switch (pixelFormat_) {
    case pf1Bit: {
      const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
      if (value == 1)
        row[x >> 3] |= mask;
      else
        row[x >> 3] &= static_cast<uint8_t>(~mask);
      break;
    }
    case pf4Bit: {
      uint8_t& b = row[x >> 1];
      const uint8_t v = static_cast<uint8_t>(value & 0x0F);
      b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | v)
                  : static_cast<uint8_t>((b & 0x0F) | (v << 4));
      break;
    }
    case pf8Bit:
      row[x] = static_cast<uint8_t>(value);
      break;
    default: {
      uint8_t* p = row + 3 * static_cast<size_t>(x);
      p[0] = static_cast<uint8_t>(GetB(value));
      p[1] = static_cast<uint8_t>(GetG(value));
      p[2] = static_cast<uint8_t>(GetR(value));
    }
  }
}

TRGB TPixelGraphic::PixelColor(int x, int y) const {
  uint32_t v = Pixel(x, y);
  if (pixelFormat_ == pf24Bit) return v;
  if (paletteIdent_ == pTrueColor) return v;
  if (v >= static_cast<uint32_t>(paletteCount_)) {
    // An index beyond a short palette: the colour table repeats entry 0 there.
    return paletteCount_ > 0 ? palette_[0] : 0;
  }
  return palette_[v];
}

void TPixelGraphic::SetPixelColor(int x, int y, TRGB colour) {
  if (pixelFormat_ == pf24Bit)
    SetPixel(x, y, colour);
  else
    SetPixel(x, y, NearestIndex(colour));
}

void TPixelGraphic::SetPaletteCount(int n) {
  if (n < 0) n = 0;
  if (n != paletteCount_) {
    palette_.resize(static_cast<size_t>(n), 0);
    paletteCount_ = n;
    paletteIdent_ = n > 0 ? pUnknown : pNone;
    lastInvalid_ = true;
    if (!bitmapInfo_.empty()) PutLE32(bitmapInfo_.data() + 32, static_cast<uint32_t>(n));
    for (int i = 0; i < PaletteCapacity(); ++i) RebuildBitmapInfoEntry(i);
  }
  paletteHandleDirty_ = true;
  FreeColorCache();
}

TRGB TPixelGraphic::PaletteColor(int index) const {
  if (paletteIdent_ == pTrueColor) return static_cast<TRGB>(index);
  if (index < 0 || index >= paletteCount_)
    throw EPGInvalidPaletteIndex(LangStr(msgInvalidPaletteIndex));
  return palette_[index];
}

void TPixelGraphic::SetPaletteColor(int index, TRGB colour) {
  if (paletteIdent_ == pTrueColor || paletteIdent_ == pNone)
    throw EPGNoPalette(LangStr(msgNoPalette));
  if (index < 0 || index >= paletteCount_)
    throw EPGInvalidPaletteIndex(LangStr(msgInvalidPaletteIndex));
  colour &= 0xFFFFFF;
  palette_[index] = colour;
  RebuildBitmapInfoEntry(index);
  if (index == 0) {
    for (int i = paletteCount_; i < PaletteCapacity(); ++i) RebuildBitmapInfoEntry(i);
  }
  paletteIdent_ = pUnknown;
  lastInvalid_ = true;
  paletteHandleDirty_ = true;
  FreeColorCache();
}

void TPixelGraphic::AssignPalette(const TPixelGraphic& source) {
  SetPaletteCount(source.PaletteCount());
  for (int i = 0; i < source.PaletteCount(); ++i) SetPaletteColor(i, source.PaletteColor(i));
  ClassifyPalette();
}

TRGB TPixelGraphic::BackGroundColorRGB() const {
  if (pixelFormat_ == pf24Bit) return backGroundColor_;
  return PaletteColor(static_cast<int>(backGroundColor_));
}

void TPixelGraphic::SetBackGroundColorRGB(TRGB colour) {
  if (pixelFormat_ == pf24Bit)
    backGroundColor_ = colour;
  else
    backGroundColor_ = NearestIndex(colour);
}

void TPixelGraphic::SetUseColorCache(bool v) {
  if (v != useColorCache_) {
    useColorCache_ = v;
    // The memo holds a result of the other lookup method.
    lastInvalid_ = true;
    FreeColorCache();
  }
}

void TPixelGraphic::SetRGBWeighting(bool v) {
  if (v != rgbWeighting_) {
    rgbWeighting_ = v;
    lastInvalid_ = true;
    FreeColorCache();
  }
}

void TPixelGraphic::EndUpdate() {
  if (updateCount_ > 0) --updateCount_;
  Changed();
}

void TPixelGraphic::Changed() {
  if (updateCount_ == 0 && OnChange) OnChange(*this);
}

void TPixelGraphic::ProgressStart() {
  if (OnProgressStart) OnProgressStart(*this);
}

bool TPixelGraphic::Progress(int step, int max) {
  bool abort = false;
  if (OnProgress) OnProgress(*this, step, max, abort);
  return abort;
}

void TPixelGraphic::ProgressEnd() {
  if (OnProgressEnd) OnProgressEnd(*this);
}

void TPixelGraphic::Assign(const TPixelGraphic* source) {
  TUpdateScope update(*this);
  if (!source) {
    SetSize(0, 0, pf24Bit);
    return;
  }
  if (source == this) return;
  SetSize(source->width_, source->height_, source->pixelFormat_);
  if (bits_ && source->bits_) {
    std::memcpy(bits_.get(), source->bits_.get(), static_cast<size_t>(imageSize_));
  }
  SetPaletteIdent(source->paletteIdent_);
  SetPaletteCount(source->paletteCount_);
  backGroundColor_ = source->backGroundColor_;
  dither_ = source->dither_;
  ditherErrorLimit_ = source->ditherErrorLimit_;
  ditherErrorLimitAuto_ = source->ditherErrorLimitAuto_;
  ditherErrorLimitSoft_ = source->ditherErrorLimitSoft_;
  SetUseColorCache(source->useColorCache_);
  gamma_ = source->gamma_;
  SetRGBWeighting(source->rgbWeighting_);
  rotateBilinear_ = source->rotateBilinear_;
  stretchMode_ = source->stretchMode_;
  readWarningAction_ = source->readWarningAction_;
  checkRange_ = source->checkRange_;
  saveColorResWarningAction_ = source->saveColorResWarningAction_;
  for (int i = 0; i < source->paletteCount_; ++i) SetPaletteColor(i, source->palette_[i]);
  ClassifyPalette();
}

}  // namespace pgraphic
