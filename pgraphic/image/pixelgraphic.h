// TPixelGraphic: the one in-memory image type. Pixel storage is laid out exactly
// as a bottom-up device-independent bitmap (rows padded to 4 bytes, BGR order for
// 24 bits) and BitmapInfo holds the 40-byte info header and colour table, so the
// image can be written as BMP or put on the clipboard without conversion.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/messages.h"
#include "pgraphic/stream.h"

namespace pgraphic {

// A colour: red in bits 0-7, green in bits 8-15, blue in bits 16-23.
using TRGB = uint32_t;

constexpr TRGB RGB(uint32_t r, uint32_t g, uint32_t b) {
  return r | (g << 8) | (b << 16);
}
constexpr uint32_t GetR(TRGB c) {
  return c & 0xFF;
}
constexpr uint32_t GetG(TRGB c) {
  return (c >> 8) & 0xFF;
}
constexpr uint32_t GetB(TRGB c) {
  return (c >> 16) & 0xFF;
}

enum TPGPixelFormat : uint8_t { pf1Bit = 0, pf4Bit = 1, pf8Bit = 2, pf24Bit = 3 };

enum TPaletteIdent : uint8_t {
  pNone = 0,
  pTrueColor = 1,
  pUnknown = 2,
  pBlackWhite = 3,
  pSysGray4 = 4,
  pSys16 = 5,
  pGray4 = 6,
  pGray16 = 7,
  pGray236 = 8,
  pGray256 = 9,
  pSpecial125 = 10,
  pSpecial216 = 11,
  pSpecial252 = 12,
  pOptimized252Sys16 = 13,
  pSource = 14,
};

enum TPGWarningAction : uint8_t { pgwaIgnore, pgwaOKBox, pgwaOKCancelBox, pgwaRaise };
enum TStretchMode : uint8_t { smFast = 0, smMedium = 1, smPrecise = 2 };

// What a file can hold; bit i of a writer's CanWriteResolutions is resolution i.
enum TPGColorResolution : uint8_t {
  crBlackWhite = 0,
  cr2Colors = 1,
  cr16Grays = 2,
  cr16SysColors = 3,
  cr16Colors = 4,
  cr256Grays = 5,
  cr256Colors = 6,
  crTrueColor = 7,
};

int BitsPerPixel(TPGPixelFormat format);
int PaletteCapacity(TPGPixelFormat format);

// Stores n palette indices into pixels x0 .. x0 + n - 1 of a row of the given
// format: a byte each for 8 bits, the low nibble packed high nibble first for 4
// bits, the low bit packed high bit first for 1 bit; other pixels of the row
// keep their values. Does nothing for 24 bits.
void PackIndices(uint8_t* row, TPGPixelFormat format, int x0, int n, const uint8_t* indices);
// The palette index of pixel x of a row of a palette format, as PackIndices
// stores it (8 bits for any other format).
inline uint32_t IndexAt(const uint8_t* row, TPGPixelFormat format, int x) {
  switch (format) {
    case pf1Bit:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case pf4Bit:
      return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default:
      return row[x];
  }
}

// Gray value 0..765 of a colour: weighted (897R + 1761G + 342B) div 1000, or R + G + B.
inline int Gray(TRGB c, bool weighting) {
  int r = GetR(c), g = GetG(c), b = GetB(c);
  return weighting ? (897 * r + 1761 * g + 342 * b) / 1000 : r + g + b;
}

class TPixelGraphic;
using TNotifyEvent = std::function<void(TPixelGraphic& sender)>;
using TPGProgressEvent = std::function<void(TPixelGraphic& sender, int step, int max, bool& abort)>;

// Unit-wide settings of the image library.
extern TPGSetting<long double> PGDisplayGamma;  // 1.8
extern TPGSetting<bool> PGCorrectGammaOnLoad;   // true
// Largest pixel storage SetSize will allocate, in bytes. Never above INT32_MAX
// (ImageSize is a signed 32-bit value); fuzzers lower it to cap memory.
extern TPGSetting<int64_t> PGMaxImageSize;
// Most memory one decode may take, in bytes: the picture's pixel storage plus
// what the decoder holds besides it. The default is the smaller of 4 GB and
// half the physical memory; a picture past it is refused before anything is
// allocated, with the message of PictureTooLargeText.
extern TPGSetting<int64_t> PGMaxDecodeBytes;
int64_t DefaultMaxDecodeBytes();

// A picture the memory cannot hold (the budget above, or an allocation that
// failed).
class EPGNotEnoughMemory : public EPixelGraphic {
 public:
  using EPixelGraphic::EPixelGraphic;
};
// "Not enough memory for a W × H picture (N MB)", N the picture's bytes in MB;
// without a size, "Not enough memory for this picture".
std::string PictureTooLargeText(int width, int height, int64_t pictureBytes);
// Bytes of a width x height picture's pixel storage (rows padded to 4 bytes).
int64_t PictureBytes(int width, int height, int bitsPerPixel);
// Raises EPGNotEnoughMemory when the picture plus `workingBytes` held besides
// it exceed PGMaxDecodeBytes; returns what is left of the budget otherwise.
int64_t CheckDecodeBudget(int width, int height, int bitsPerPixel, int64_t workingBytes = 0);

class TPixelGraphic {
 public:
  TPixelGraphic();
  ~TPixelGraphic();
  TPixelGraphic(const TPixelGraphic&) = delete;
  TPixelGraphic& operator=(const TPixelGraphic&) = delete;

  // ---- Geometry and storage ------------------------------------------------
  void SetSize(int width, int height, TPGPixelFormat format);
  int Width() const { return width_; }
  int Height() const { return height_; }
  TPGPixelFormat PixelFormat() const { return pixelFormat_; }
  void SetWidth(int width);
  void SetHeight(int height);
  void SetPixelFormat(TPGPixelFormat format);
  int BitsPerPixel() const { return pgraphic::BitsPerPixel(pixelFormat_); }
  int PaletteCapacity() const { return pgraphic::PaletteCapacity(pixelFormat_); }
  int RowStride() const { return rowStride_; }
  int ImageSize() const { return imageSize_; }
  uint8_t* Bits() { return bits_.get(); }
  const uint8_t* Bits() const { return bits_.get(); }
  // The 40-byte info header followed by PaletteCapacity colour-table entries;
  // empty when there is no storage.
  const std::vector<uint8_t>& BitmapInfo() const { return bitmapInfo_; }
  // Address of row y (0 = top); nullptr when there is no storage.
  uint8_t* ScanLine(int y);
  const uint8_t* ScanLine(int y) const;
  bool Empty() const { return !bits_; }
  void Clear();

  // ---- Pixels --------------------------------------------------------------
  uint32_t Pixel(int x, int y) const;
  void SetPixel(int x, int y, uint32_t value);
  TRGB PixelColor(int x, int y) const;
  void SetPixelColor(int x, int y, TRGB colour);

  // ---- Palette -------------------------------------------------------------
  int PaletteCount() const { return paletteCount_; }
  void SetPaletteCount(int n);
  TRGB PaletteColor(int index) const;
  void SetPaletteColor(int index, TRGB colour);
  TPaletteIdent PaletteIdent() const { return paletteIdent_; }
  void SetPaletteIdent(TPaletteIdent kind);
  void ClassifyPalette();
  void AssignPalette(const TPixelGraphic& source);
  bool IsGray() const { return isGray_; }
  TRGB NearestIndex(TRGB colour);
  void FreeColorCache();

  uint32_t BackGroundColor() const { return backGroundColor_; }
  void SetBackGroundColor(uint32_t value) { backGroundColor_ = value; }
  // The background as a colour: the TRGB itself for 24 bits, else its palette colour.
  TRGB BackGroundColorRGB() const;
  void SetBackGroundColorRGB(TRGB colour);

  // ---- Settings --------------------------------------------------------------
  bool Dither() const { return dither_; }
  void SetDither(bool v) { dither_ = v; }
  uint8_t DitherErrorLimit() const { return ditherErrorLimit_; }
  void SetDitherErrorLimit(uint8_t v) { ditherErrorLimit_ = v; }
  bool DitherErrorLimitAuto() const { return ditherErrorLimitAuto_; }
  void SetDitherErrorLimitAuto(bool v) { ditherErrorLimitAuto_ = v; }
  bool DitherErrorLimitSoft() const { return ditherErrorLimitSoft_; }
  void SetDitherErrorLimitSoft(bool v) { ditherErrorLimitSoft_ = v; }
  bool UseColorCache() const { return useColorCache_; }
  void SetUseColorCache(bool v);
  bool RGBWeighting() const { return rgbWeighting_; }
  void SetRGBWeighting(bool v);
  bool RotateBilinear() const { return rotateBilinear_; }
  void SetRotateBilinear(bool v) { rotateBilinear_ = v; }
  TStretchMode StretchMode() const { return stretchMode_; }
  void SetStretchMode(TStretchMode v) { stretchMode_ = v; }
  long double Gamma() const { return gamma_; }
  void SetGamma(long double v) { gamma_ = v; }
  bool PaletteRealized() const { return paletteRealized_; }
  void SetPaletteRealized(bool v) { paletteRealized_ = v; }
  bool CheckRange() const { return checkRange_; }
  void SetCheckRange(bool v) { checkRange_ = v; }
  TPGWarningAction ReadWarningAction() const { return readWarningAction_; }
  void SetReadWarningAction(TPGWarningAction v) { readWarningAction_ = v; }
  TPGWarningAction SaveColorResWarningAction() const { return saveColorResWarningAction_; }
  void SetSaveColorResWarningAction(TPGWarningAction v) { saveColorResWarningAction_ = v; }

  // ---- Notification ----------------------------------------------------------
  TNotifyEvent OnChange;
  TPGProgressEvent OnProgress;
  TNotifyEvent OnProgressStart;
  TNotifyEvent OnProgressEnd;
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();
  void Changed();
  int UpdateCount() const { return updateCount_; }
  // Progress helpers for long operations: Progress returns true when the
  // handler asked to abort.
  void ProgressStart();
  bool Progress(int step, int max);
  void ProgressEnd();

  // ---- Copying -----------------------------------------------------------------
  // nullptr source empties the image.
  void Assign(const TPixelGraphic* source);
  void Assign(const TPixelGraphic& source) { Assign(&source); }
  void CopyRect(int destLeft, int destTop, const TPixelGraphic& source, int srcLeft, int srcTop,
                int width, int height);
  void StretchCopy(int destLeft, int destTop, int destWidth, int destHeight,
                   const TPixelGraphic& source, int srcLeft, int srcTop, int srcWidth,
                   int srcHeight);
  void CopyFrom(const TPixelGraphic& source);
  void Rotate(int destCenterX, int destCenterY, const TPixelGraphic& source, int srcLeft,
              int srcTop, int srcWidth, int srcHeight, int srcCenterX, int srcCenterY,
              long double angle);
  void MirrorHorizontal();
  void MirrorVertical();

  // ---- Colour mapping with error diffusion ------------------------------------
  // PrepareDither builds the error rows and the limit table (and recomputes
  // IsGray); ReleaseDither frees them. DitherPixel writes one pixel; callers
  // traverse rows serpentine (even rows left to right, odd rows right to left)
  // and call DitherNextRow at the start of every destination row.
  // PrepareDither returns whether colour writes into this image dither (a palette
  // format with Dither set).
  bool PrepareDither();
  void ReleaseDither();
  void DitherNextRow();
  void DitherPixel(int x, int y, int red, int green, int blue);
  // Writes a colour the way every copying operation does: three bytes for 24 bits,
  // DitherPixel for palette images with Dither (between Prepare/ReleaseDither),
  // else the nearest index.
  void WriteColor(int x, int y, int red, int green, int blue, bool dithering);
  // Row form of WriteColor: bgr holds n colours as blue, green, red byte triplets
  // for the pixels x0 .. x0 + n - 1 of row y; they are written in serpentine order
  // (right to left on odd rows) with exactly the result of n WriteColor calls.
  // Pixels outside the image are skipped (or raise with CheckRange). Call
  // DitherNextRow at the row start as for single pixels. The colours must not alias
  // this image's pixels.
  void WriteColorRow(int y, int x0, int n, const uint8_t* bgr, bool dithering);

  // ---- DIB streams, files, clipboard ---------------------------------------------
  void ReadDIB(TStream& stream, bool coreHeader);
  void WriteDIB(TStream& stream);
  int64_t DIBSize() const;
  void ReadData(TStream& stream);
  void WriteData(TStream& stream);
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream);
  void LoadFromStreamExt(TStream& stream, const std::string& extension, int imageIndex);
  void SaveToStreamExt(TStream& stream, const std::string& extension);
  void LoadFromFile(const std::string& fileName, int imageIndex = 0);
  void SaveToFile(const std::string& fileName);
  // Packed DIB clipboard bytes (format 8) and loading from such a block.
  std::vector<uint8_t> SaveToClipboardFormat(unsigned& format);
  void LoadFromClipboardFormat(unsigned format, const uint8_t* data, size_t size);

 private:
  void RebuildBitmapInfoEntry(int index);
  void ReleaseStorage();
  [[noreturn]] void RaiseOutOfRange() const;
  uint8_t ExactNearest(TRGB colour) const;
  uint8_t CachedNearest(TRGB colour);
  void BuildColorCache();
  TRGB FixedNearest(TRGB colour) const;
  TRGB EntryColor(TRGB index) const;

  uint32_t backGroundColor_ = 0;
  TPGPixelFormat pixelFormat_ = pf24Bit;

 public:
  // Releases pixel storage: heap blocks with free, mapped blocks with munmap.
  struct FreeDeleter {
    constexpr FreeDeleter() noexcept : mapBase(nullptr), mapSize(0) {}
    constexpr FreeDeleter(void* base, size_t size) noexcept : mapBase(base), mapSize(size) {}
    void operator()(uint8_t* p) const;
    void* mapBase;
    size_t mapSize;
  };

 private:
  std::unique_ptr<uint8_t, FreeDeleter> bits_;
  std::vector<uint8_t> bitmapInfo_;
  bool dither_ = true;
  uint8_t ditherErrorLimit_ = 32;
  bool ditherErrorLimitAuto_ = true;
  // Error diffusion state: two rows of 3 * (Width + 2) errors times 16, and the
  // limit table for errors -255..255 (index + 255).
  std::vector<int32_t> ditherCurrent_, ditherNext_, ditherLimit_;
  bool ditherErrorLimitSoft_ = true;
  bool useColorCache_ = true;
  int height_ = 0;
  bool paletteRealized_ = false;
  bool isGray_ = false;
  long double gamma_;
  int imageSize_ = 0;
  int paletteCount_ = 0;
  int rowStride_ = 0;
  std::vector<uint8_t> colorCache_;        // 65536 indices
  std::vector<uint8_t> colorCacheFilled_;  // 65536 bits
  bool colorCacheRebuild_ = true;
  TRGB lastColor_ = 0;
  TRGB lastResult_ = 0;
  bool lastInvalid_ = true;
  bool paletteHandleDirty_ = false;
  std::vector<TRGB> palette_;
  TPaletteIdent paletteIdent_ = pTrueColor;
  bool rgbWeighting_ = true;
  bool rotateBilinear_ = true;
  TStretchMode stretchMode_ = smPrecise;
  int updateCount_ = 0;
  TPGWarningAction readWarningAction_ = pgwaOKCancelBox;
  bool checkRange_ = false;
  TPGWarningAction saveColorResWarningAction_ = pgwaOKCancelBox;
  int width_ = 0;
};

// The progress of one piece of work on an image: OnProgressStart when the scope
// begins, OnProgressEnd when it ends, also when the work is left by an
// exception, so the two always come in pairs.
// An end handler that fails while another error is already on its way is
// ignored, so the first error is the one reported.
class TProgressScope {
 public:
  explicit TProgressScope(TPixelGraphic& image) : image_(image) { image_.ProgressStart(); }
  ~TProgressScope() noexcept(false) {
    if (std::uncaught_exceptions() == unwinding_) {
      image_.ProgressEnd();
      return;
    }
    try {
      image_.ProgressEnd();
    } catch (...) {
    }
  }
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;

 private:
  TPixelGraphic& image_;
  const int unwinding_ = std::uncaught_exceptions();
};

// Holds an image's change notification for a scope: BeginUpdate when it
// begins, EndUpdate (which notifies once) when it ends, however it ends.
class TUpdateScope {
 public:
  explicit TUpdateScope(TPixelGraphic& image) : image_(image) { image_.BeginUpdate(); }
  ~TUpdateScope() { image_.EndUpdate(); }
  TUpdateScope(const TUpdateScope&) = delete;
  TUpdateScope& operator=(const TUpdateScope&) = delete;

 private:
  TPixelGraphic& image_;
};

}  // namespace pgraphic
