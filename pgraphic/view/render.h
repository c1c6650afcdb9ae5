// Draws an image's pixel rows, stretched by nearest neighbour, optionally tiled
// and mirrored, into a 32-bit pixel buffer that covers part of the view. Only the
// buffer's pixels are computed, so the cost follows the exposed area, never the
// image or zoomed size. Pixels are 0xFFRRGGBB.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pgraphic/image/pixelrows.h"
#include "pgraphic/view/viewlayout.h"

namespace pgraphic {

struct TRenderTarget {
  uint32_t* Pixels = nullptr;
  ptrdiff_t Stride = 0;  // in pixels
  TPGRect Area;          // the view rectangle the buffer covers
};

struct TPictureLayout {
  TPGRect Child;  // where the image (tile 0, 0) is displayed
  TTiling Tiling = tNone;
  bool FlipHorizontal = false;
  bool FlipVertical = false;
};

// Fills target: the image stretched to the child rectangle (or tiles of its size
// over everything with tiling), background elsewhere. A tile mirrored on an axis
// shows the mirror image of the unmirrored drawing.
void RenderPicture(const TConstPixelRows& image, const TPictureLayout& layout,
                   const TRenderTarget& target, uint32_t background);

// The source index drawn at display offset d (0 <= d < displayed) of a stretched,
// possibly mirrored, axis.
inline int SourceIndex(int d, int displayed, int source, bool mirrored) {
  const int s = ScaleCoordinate(d, source, displayed);
  return mirrored ? source - 1 - s : s;
}

}  // namespace pgraphic
