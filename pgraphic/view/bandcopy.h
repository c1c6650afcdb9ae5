// Resampling a whole image on several cores. Each destination row of a resampling
// copy depends only on its own position, so horizontal bands of the destination
// are resampled at once (ResampleRows) and give exactly the rows one CopyFrom
// would.
#pragma once

#include <functional>

#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {

// dest.CopyFrom(source) for a 24-bit dest, in up to `threads` bands at once. The
// first band reports on dest's OnProgress (its Abort stops all bands); the others
// stop when `aborted` returns true. Returns false when stopped; dest then holds
// nothing useful. Other destinations, equal sizes or one thread use CopyFrom itself.
bool BandedCopyFrom(TPixelGraphic& dest, const TPixelGraphic& source, int threads,
                    const std::function<bool()>& aborted);

}  // namespace pgraphic
