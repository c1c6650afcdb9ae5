// Optimised palettes and the colour-resolution conversions built on them.
#pragma once

#include <memory>

#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {

// Fills the palette of dest with up to `colours` colours chosen for the pixels of
// source: median cut for 24-bit sources, an octree for palette sources; with
// addSystemColors the last 16 places hold the system colours (so 16 colours give
// exactly the system palette). The histogram pass reports on dest's OnProgress and
// stops on Abort, building the palette from the rows counted so far. The result is
// an arbitrary palette (pUnknown) unless no optimised colours were wanted.
void BuildOptimizedPalette(TPixelGraphic& dest, const TPixelGraphic& source, int colours,
                           bool addSystemColors);

// The resolution an image currently has, as the writers see it.
TPGColorResolution CurrentColorResolution(const TPixelGraphic& image);

// A new image of the source's size holding the source mapped to a colour
// resolution (the form saving uses when a format cannot hold the current one).
// The new image carries the source's progress handlers.
std::unique_ptr<TPixelGraphic> ConvertToColorResolution(TPixelGraphic& source,
                                                        TPGColorResolution resolution);

// The colour-resolution commands of the main window.
enum TColorCommand { ccColors2, ccColors16, ccColors256, ccGray256, ccTrueColor };

// A new image of the source's size converted by one of the commands, dithered with
// the new image's default settings. The new image carries the source's progress
// handlers.
std::unique_ptr<TPixelGraphic> ApplyColorCommand(TPixelGraphic& source, TColorCommand command);

}  // namespace pgraphic
