#include "pgraphic/dialogs/preview.h"

#include <algorithm>
#include <cmath>

namespace pgraphic {

namespace {

// Progress events that answer Abort while terminate is raised.
void AbortOn(TPixelGraphic& image, const std::atomic<bool>& terminate) {
  image.OnProgress = [&terminate](TPixelGraphic&, int, int, bool& abort) {
    abort = terminate.load(std::memory_order_relaxed);
  };
}

}  // namespace

TPreviewSize PreviewSize(int width, int height, int box) {
  if (width <= box && height <= box) return {std::max(width, 0), std::max(height, 0)};
  const long double longer = std::max(width, height);
  auto side = [&](int v) {
    return std::max(1,
                    static_cast<int>(std::nearbyint(static_cast<long double>(v) * box / longer)));
  };
  return width >= height ? TPreviewSize{box, side(height)} : TPreviewSize{side(width), box};
}

bool BuildPreviewSource(const TPixelGraphic& image, TPixelGraphic& target,
                        const std::atomic<bool>& terminate) {
  const TPreviewSize size = PreviewSize(image.Width(), image.Height());
  target.SetSize(size.Width, size.Height, pf24Bit);
  if (size.Width == 0 || size.Height == 0) return !terminate.load();
  AbortOn(target, terminate);
  target.StretchCopy(0, 0, size.Width, size.Height, image, 0, 0, image.Width(), image.Height());
  target.OnProgress = nullptr;
  return !terminate.load();
}

std::unique_ptr<TPixelGraphic> ComputePreview(TPGFilter& filter, const TPixelGraphic& source,
                                              const std::atomic<bool>& terminate) {
  auto result = std::make_unique<TPixelGraphic>();
  result->SetSize(1, 1, pf24Bit);
  AbortOn(*result, terminate);
  ApplyFilter(*result, filter, source);
  result->OnProgress = nullptr;
  if (terminate.load()) return nullptr;
  return result;
}

}  // namespace pgraphic
