// ICO reader: one image of a Windows icon file with 1, 4, 8, 24 or 32 bits per
// pixel and 1 to 256 pixels a side, as a palette image or as a 24-bit image
// whose transparent pixels are painted in a fixed colour (true-colour icons
// always give the latter, 32-bit alpha mixed with that colour); an image stored as a PNG
// stream is read by the PNG reader. There is no ICO writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/formats/fileformat.h"

namespace pgraphic {

// 0: palette image; 1: 24-bit image with transparent pixels in PGIcoTransparentColor.
extern TPGSetting<int> PGIcoMode;               // 1
extern TPGSetting<TRGB> PGIcoTransparentColor;  // white

// Holds one icon image normalised in memory as a complete one-image icon file:
// header, one directory entry, the 40-byte information header, palette, XOR
// bitmap and AND mask (rows bottom-up, padded to 4 bytes).
class tIconHandler {
 public:
  // What the file check found: image count (0 when the check failed) and type.
  struct TCheck {
    int Count = 0;
    int Type = 0;
  };
  // Checks the icon file starting at stream position 0: header, directory size
  // and that every image lies inside the stream.
  static TCheck CheckFile(TStream& stream);

  // Sides of the palette icons that are read: 1 to 256 pixels.
  static constexpr int kMaxSide = 256;

  // Loads image index of a checked file; false when its header cannot be read,
  // its depth or size is not supported, or its size in the directory disagrees.
  bool Load(TStream& stream, int index);
  // The same, with the reason of a refusal ("Index out of bounds" when the
  // image cannot be read at all, else a sentence naming the image and what is
  // not supported); empty when the image was loaded.
  std::string LoadImage(TStream& stream, int index);
  // True, with the stream's bytes in png, when image index is a PNG stream.
  static bool HoldsPNG(TStream& stream, int index, std::vector<uint8_t>& png);
  void Release();

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitCount() const { return bitCount_; }
  int ColorCount() const { return colorCount_; }
  TRGB PaletteColor(int index) const;
  // A 32-bit image whose alpha bytes are used (not all zero): they then stand
  // for the mask.
  bool HasAlpha() const;
  // Row y of the XOR bitmap (palette indices), y = 0 the top row.
  const uint8_t* XorRow(int y) const;
  // True where the AND mask marks pixel (x, y) transparent.
  bool Transparent(int x, int y) const;
  // The normalised one-image icon file.
  const std::vector<uint8_t>& IconFile() const { return icon_; }

 private:
  std::vector<uint8_t> icon_;
  int width_ = 0, height_ = 0, bitCount_ = 0, colorCount_ = 0;
  size_t paletteOffset_ = 0, xorOffset_ = 0, andOffset_ = 0;
  size_t xorRowSize_ = 0, andRowSize_ = 0;
};

class tIcoFileFormatReader : public TFileFormatReader {
 public:
  tIcoFileFormatReader();

  bool IsFormat(THeader header) override;

 private:
  void ReadGraphicBody(TStream& stream, TPixelGraphic& graphic, int index) override;
  void ReadInfoBody(TStream& stream, int index, TPGFileInfo& info) override;
};

// Appends the ICO reader to the list of readers.
void AddICOReaders(TReaderList& readers);

}  // namespace pgraphic
