// TPixelGraphic's loading and saving through the format lists: the image
// itself knows no format; these members are defined here, above the formats.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <new>

#include "pgraphic/formats/fileformat.h"
#include "pgraphic/image/colorres.h"

namespace pgraphic {

namespace {

// An extension as messages name it: lower case, without a leading dot.
std::string ExtensionName(const std::string& extension) {
  std::string name = !extension.empty() && extension[0] == '.' ? extension.substr(1) : extension;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

// Writes `graphic` with `writer` after the colour-resolution fallback and the
// warning action; `write` does the actual writing of the image it is given.
void SaveThroughWriter(TPixelGraphic& graphic, const std::string& extension,
                       const std::function<void(TFileFormatWriter&, TPixelGraphic&)>& write) {
  TFileFormatWriter* writer = FindFileFormatWriter(extension);
  if (!writer) throw EPGUnknownExtension(LangStr(msgUnknownExtension, ExtensionName(extension)));
  graphic.ClassifyPalette();
  const TPGColorResolution current = CurrentColorResolution(graphic);
  const TPGColorResolution target = SaveColorResolution(*writer, current);
  if (target == current) {
    write(*writer, graphic);
    return;
  }
  const TWarningAnswer answer =
      AnswerWarning(graphic.SaveColorResWarningAction(), LangStr(msgWarning),
                    LangStr(msgSavedWithOtherResolution, writer->Description,
                            ColorResolutionName(current), ColorResolutionName(target)));
  if (answer != TWarningAnswer::GoOn) {
    throw EPGCannotWriteColorRes(
        LangStr(msgCannotSaveWithResolution, writer->Description, ColorResolutionName(current)));
  }
  std::unique_ptr<TPixelGraphic> temp = ConvertToColorResolution(graphic, target);
  temp->OnProgress = graphic.OnProgress;
  temp->OnProgressStart = graphic.OnProgressStart;
  temp->OnProgressEnd = graphic.OnProgressEnd;
  temp->ClassifyPalette();
  write(*writer, *temp);
}

}  // namespace

void TPixelGraphic::LoadFromStreamExt(TStream& stream, const std::string& extension,
                                      int imageIndex) {
  TUpdateScope update(*this);
  SetSize(0, 0, pf24Bit);
  SetPaletteCount(0);
  SetPaletteIdent(pTrueColor);
  // The gamma settings as they are when the load starts.
  const long double displayGamma = PGDisplayGamma;
  const bool correctGamma = PGCorrectGammaOnLoad;
  gamma_ = displayGamma;
  TFileFormatReader* reader = FindFileFormatReader(stream, extension);
  if (!reader) throw EPGUnknownFileFormat(LangStr(msgUnknownFileFormat));
  try {
    reader->ReadGraphic(stream, *this, imageIndex);
  } catch (const std::bad_alloc&) {
    // A reader's own buffers did not fit beside the picture.
    throw EPGNotEnoughMemory(PictureTooLargeText(width_, height_, imageSize_));
  }

  if (correctGamma && displayGamma > 0 && std::fabs(gamma_ / displayGamma - 1.0L) > 0.05L) {
    uint8_t table[256];
    const long double exponent = gamma_ / displayGamma;
    for (int i = 0; i < 256; ++i) {
      long double v = std::nearbyint(255.0L * std::pow(i / 255.0L, exponent));
      table[i] = static_cast<uint8_t>(std::clamp<long double>(v, 0, 255));
    }
    if (pixelFormat_ == pf24Bit) {
      const size_t rowBytes = 3 * static_cast<size_t>(width_);
      for (int y = 0; y < height_; ++y) {
        uint8_t* row = ScanLine(y);
        for (size_t i = 0; i < rowBytes; ++i) row[i] = table[row[i]];
      }
    } else if (paletteCount_ > 0 && paletteIdent_ != pTrueColor && paletteIdent_ != pNone) {
      for (int i = 0; i < paletteCount_; ++i) {
        const TRGB c = palette_[i];
        SetPaletteColor(i, RGB(table[GetR(c)], table[GetG(c)], table[GetB(c)]));
      }
    }
    gamma_ = displayGamma;
  }
  ClassifyPalette();
}

void TPixelGraphic::LoadFromStream(TStream& stream) {
  LoadFromStreamExt(stream, "", 0);
}

void TPixelGraphic::LoadFromFile(const std::string& fileName, int imageIndex) {
  TFileStream stream(fileName, TFileStream::fmOpenRead);
  LoadFromStreamExt(stream, FileExtension(fileName), imageIndex);
}

void TPixelGraphic::SaveToStream(TStream& stream) {
  StandaloneBMPWriter().WriteGraphic(stream, *this);
}

void TPixelGraphic::SaveToStreamExt(TStream& stream, const std::string& extension) {
  SaveThroughWriter(*this, extension, [&stream](TFileFormatWriter& writer, TPixelGraphic& g) {
    writer.WriteGraphic(stream, g);
  });
}

void TPixelGraphic::SaveToFile(const std::string& fileName) {
  SaveThroughWriter(
      *this, FileExtension(fileName), [&fileName](TFileFormatWriter& writer, TPixelGraphic& g) {
        SaveFileSafely(fileName, [&](TStream& stream) { writer.WriteGraphic(stream, g); });
      });
}

void TPixelGraphic::ReadData(TStream& stream) {
  uint8_t b[4] = {0, 0, 0, 0};
  stream.Read(b, 4);
  const uint32_t length = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
  const int64_t at = stream.Position();
  LoadFromStreamExt(stream, "bmp", 0);
  stream.Seek(at + length);
}

void TPixelGraphic::WriteData(TStream& stream) {
  const int64_t start = stream.Position();
  const uint8_t zero[4] = {0, 0, 0, 0};
  stream.WriteBuffer(zero, 4);
  SaveToStream(stream);
  const int64_t end = stream.Position();
  const uint32_t length = static_cast<uint32_t>(end - (start + 4));
  const uint8_t b[4] = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                        static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
  stream.Seek(start);
  stream.WriteBuffer(b, 4);
  stream.Seek(end);
}

}  // namespace pgraphic
