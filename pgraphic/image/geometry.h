// The main window's compositions of the geometric operations of TPixelGraphic:
// quarter and half turns as exact pixel permutations, cropping and resizing.
// Each returns a new image that the caller owns.
#pragma once

#include <functional>
#include <memory>

#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {

enum class TTurn : uint8_t { Right90, Left90, Half };

// A new, cleared image of the given size and format carrying the source's
// settings (dithering, stretch mode, weighting, warnings, background) and, for
// palette formats, the source's palette.
std::unique_ptr<TPixelGraphic> NewImageLike(const TPixelGraphic& source, int width, int height,
                                            TPGPixelFormat format);

// Turns the whole image through Rotate. A right turn places source pixel (x, y)
// at (H - 1 - y, x), a left turn at (y, W - 1 - x), a half turn at
// (W - 1 - x, H - 1 - y). The result keeps the source's pixel format and palette,
// or is 24-bit when trueColor is set (as batch conversion does).
std::unique_ptr<TPixelGraphic> TurnImage(const TPixelGraphic& source, TTurn turn,
                                         bool trueColor = false);
inline std::unique_ptr<TPixelGraphic> RotateRight90(const TPixelGraphic& source) {
  return TurnImage(source, TTurn::Right90);
}
inline std::unique_ptr<TPixelGraphic> RotateLeft90(const TPixelGraphic& source) {
  return TurnImage(source, TTurn::Left90);
}
inline std::unique_ptr<TPixelGraphic> Rotate180(const TPixelGraphic& source) {
  return TurnImage(source, TTurn::Half);
}

// The rectangle (left, top, width, height) as a new image in the source's pixel
// format and palette: pixel (j, i) is the raw value of source pixel
// (left + j, top + i).
std::unique_ptr<TPixelGraphic> CropImage(const TPixelGraphic& source, int left, int top, int width,
                                         int height);

// The image resampled to newWidth x newHeight in its own pixel format, palette and
// StretchMode.
std::unique_ptr<TPixelGraphic> ResizeImage(const TPixelGraphic& source, int newWidth,
                                           int newHeight);

// The rows first..last of dest.CopyFrom(source) for a 24-bit dest whose size
// differs from the source's. Disjoint row ranges of one image may be resampled
// at once on several threads. progress(row - first, last - first) is asked after
// each row and stops the copy by returning true; dest's own progress reports and
// change notification are left to the caller. Other destinations are left alone.
void ResampleRows(TPixelGraphic& dest, const TPixelGraphic& source, int first, int last,
                  const std::function<bool(int, int)>& progress);

}  // namespace pgraphic
