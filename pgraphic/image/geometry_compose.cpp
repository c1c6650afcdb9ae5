#include <algorithm>
#include <cstring>

#include "pgraphic/image/geometry.h"

namespace pgraphic {

std::unique_ptr<TPixelGraphic> NewImageLike(const TPixelGraphic& source, int width, int height,
                                            TPGPixelFormat format) {
  auto image = std::make_unique<TPixelGraphic>();
  image->SetDither(source.Dither());
  image->SetDitherErrorLimit(source.DitherErrorLimit());
  image->SetDitherErrorLimitAuto(source.DitherErrorLimitAuto());
  image->SetDitherErrorLimitSoft(source.DitherErrorLimitSoft());
  image->SetUseColorCache(source.UseColorCache());
  image->SetRGBWeighting(source.RGBWeighting());
  image->SetRotateBilinear(source.RotateBilinear());
  image->SetStretchMode(source.StretchMode());
  image->SetGamma(source.Gamma());
  image->SetCheckRange(source.CheckRange());
  image->SetReadWarningAction(source.ReadWarningAction());
  image->SetSaveColorResWarningAction(source.SaveColorResWarningAction());
  image->SetSize(width, height, format);
  if (format != pf24Bit && source.PixelFormat() != pf24Bit) {
    image->AssignPalette(source);
    image->SetBackGroundColor(source.BackGroundColor());
  } else if (format == pf24Bit && source.PixelFormat() == pf24Bit) {
    image->SetBackGroundColor(source.BackGroundColor());
  }
  return image;
}

std::unique_ptr<TPixelGraphic> TurnImage(const TPixelGraphic& source, TTurn turn, bool trueColor) {
  const int w = source.Width(), h = source.Height();
  const TPGPixelFormat format = trueColor ? pf24Bit : source.PixelFormat();
  if (turn == TTurn::Half) {
    auto dest = NewImageLike(source, w, h, format);
    dest->Rotate(w / 2 - (w % 2 == 0 ? 1 : 0), h / 2 - (h % 2 == 0 ? 1 : 0), source, 0, 0, w, h,
                 w / 2, h / 2, 180);
    return dest;
  }
  auto dest = NewImageLike(source, h, w, format);
  if (turn == TTurn::Right90) {
    dest->Rotate(h / 2 - (h % 2 == 0 ? 1 : 0), w / 2, source, 0, 0, w, h, w / 2, h / 2, 90);
  } else {
    dest->Rotate(h / 2, w / 2 - (w % 2 == 0 ? 1 : 0), source, 0, 0, w, h, w / 2, h / 2, -90);
  }
  return dest;
}

std::unique_ptr<TPixelGraphic> CropImage(const TPixelGraphic& source, int left, int top, int width,
                                         int height) {
  auto dest = NewImageLike(source, width, height, source.PixelFormat());
  if (dest->Empty()) return dest;
  const int bpp = source.BitsPerPixel();
  const bool inside = left >= 0 && top >= 0 && int64_t(left) + width <= source.Width() &&
                      int64_t(top) + height <= source.Height();
  if (inside && bpp >= 8 && !source.Empty()) {
    const size_t bytes = static_cast<size_t>(bpp / 8);
    for (int i = 0; i < height; ++i) {
      std::memcpy(dest->ScanLine(i), source.ScanLine(top + i) + bytes * static_cast<size_t>(left),
                  bytes * static_cast<size_t>(width));
    }
  } else {
    // Positions outside the source read as its background value, as Pixel does.
    for (int i = 0; i < height; ++i) {
      for (int j = 0; j < width; ++j) dest->SetPixel(j, i, source.Pixel(left + j, top + i));
    }
  }
  dest->Changed();
  return dest;
}

std::unique_ptr<TPixelGraphic> ResizeImage(const TPixelGraphic& source, int newWidth,
                                           int newHeight) {
  auto dest = NewImageLike(source, newWidth, newHeight, source.PixelFormat());
  dest->CopyFrom(source);
  return dest;
}

}  // namespace pgraphic
