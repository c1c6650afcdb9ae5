// The two computations behind a filter dialog's live preview, free of any
// widget: the preview source (the caller's image fitted into the preview box as
// a 24-bit image) and the filtered preview. Both stop early when their
// terminate flag is raised, read through the image's progress events.
#pragma once

#include <atomic>
#include <memory>

#include "pgraphic/filters/filter.h"
#include "pgraphic/image/pixelgraphic.h"

namespace pgraphic {

inline constexpr int kPreviewBox = 140;

struct TPreviewSize {
  int Width = 0;
  int Height = 0;
};

// The image's own size when it fits into box x box; otherwise the longer side
// becomes box and the other Round(proportionally), at least 1.
TPreviewSize PreviewSize(int width, int height, int box = kPreviewBox);

// Fills target (made 24-bit, of PreviewSize) with a resampled copy of image.
// Returns false when terminate was raised before the copy was complete.
bool BuildPreviewSource(const TPixelGraphic& image, TPixelGraphic& target,
                        const std::atomic<bool>& terminate);

// The filter applied to source into a new 24-bit image; nullptr when terminate
// was raised before it was complete.
std::unique_ptr<TPixelGraphic> ComputePreview(TPGFilter& filter, const TPixelGraphic& source,
                                              const std::atomic<bool>& terminate);

}  // namespace pgraphic
