// Page fitting for printing an image: the arithmetic is independent of any
// printer, so the GUI only supplies the page size and the printer's aspect values.
#pragma once

#include <cstdint>
#include <string>

namespace pgraphic {

struct TPGRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool operator==(const TPGRect&) const = default;
};

// The rectangle an image of width x height fills on a page of pageWidth x
// pageHeight whose printer has the aspect values aspectX (horizontal) and aspectY
// (vertical): the full page width when the image is relatively wider than the
// page, else the full page height, centred on the other axis. All sizes > 0.
TPGRect PrintRect(int width, int height, int pageWidth, int pageHeight, int aspectX, int aspectY);

// "Korvane Graphic 640x480x16777216": title, " Graphic ", width "x" height "x"
// 2 to the power of bitsPerPixel.
std::string PrintTitle(const std::string& applicationTitle, int width, int height,
                       int bitsPerPixel);

// Landscape for a wider than high image, portrait otherwise (used only when the
// orientation is fitted and width != height).
inline bool PrintLandscape(int width, int height) {
  return height < width;
}

}  // namespace pgraphic
