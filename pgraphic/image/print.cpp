#include "pgraphic/image/print.h"

#include <cmath>

namespace pgraphic {

TPGRect PrintRect(int width, int height, int pageWidth, int pageHeight, int aspectX, int aspectY) {
  const long double w = width, h = height, pw = pageWidth, ph = pageHeight;
  const long double ax = aspectX, ay = aspectY;
  TPGRect r;
  // The image spans the page width when it is relatively wider than the page
  // measured in physical units (device pixels times their aspect); the same
  // ratio as the fitted sizes below, so the rectangle never leaves the page.
  if (w / h >= (pw / ph) * (ax / ay)) {
    const int fitted = static_cast<int>(std::nearbyint(pw * (h / w) * (ax / ay)));
    const int top = (pageHeight - fitted) / 2;
    r = {0, top, pageWidth, pageHeight - top};
  } else {
    const int fitted = static_cast<int>(std::nearbyint(ph * (w / h) * (ay / ax)));
    const int left = (pageWidth - fitted) / 2;
    r = {left, 0, pageWidth - left, pageHeight};
  }
  return r;
}

std::string PrintTitle(const std::string& applicationTitle, int width, int height,
                       int bitsPerPixel) {
  const uint64_t colours = bitsPerPixel >= 0 && bitsPerPixel < 64 ? uint64_t{1} << bitsPerPixel : 0;
  return applicationTitle + " Graphic " + std::to_string(width) + "x" + std::to_string(height) +
         "x" + std::to_string(colours);
}

}  // namespace pgraphic
