#include "pgraphic/view/bandcopy.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace pgraphic {

bool BandedCopyFrom(TPixelGraphic& dest, const TPixelGraphic& source, int threads,
                    const std::function<bool()>& aborted) {
  const int W = dest.Width(), H = dest.Height();
  // Bands of at least 64 rows; fewer threads for small copies.
  const int bands = std::clamp(std::min(threads, H / 64), 1, 16);
  const bool resamples = W != source.Width() || H != source.Height();
  if (bands == 1 || !resamples || dest.PixelFormat() != pf24Bit || dest.Empty() || source.Empty()) {
    dest.CopyFrom(source);
    return !(aborted && aborted());
  }
  std::atomic<bool> stop{false};
  std::vector<std::unique_ptr<TPixelGraphic>> parts(static_cast<size_t>(bands));
  std::vector<int> tops(static_cast<size_t>(bands) + 1);
  for (int b = 0; b <= bands; ++b) tops[static_cast<size_t>(b)] = static_cast<int>(int64_t(H) * b / bands);
  auto work = [&](int b) {
    try {
      TPixelGraphic& part = *parts[static_cast<size_t>(b)];
      part.SetStretchMode(dest.StretchMode());
      part.SetSize(W, tops[static_cast<size_t>(b) + 1] - tops[static_cast<size_t>(b)], pf24Bit);
      if (b == 0) {
        part.OnProgress = [&](TPixelGraphic&, int step, int max, bool& abort) {
          abort = dest.Progress(step, max) || stop.load();
          if (abort) stop.store(true);
        };
      } else {
        part.OnProgress = [&](TPixelGraphic&, int, int, bool& abort) {
          abort = stop.load() || (aborted && aborted());
          if (abort) stop.store(true);
        };
      }
      part.StretchCopy(0, -tops[static_cast<size_t>(b)], W, H, source, 0, 0, source.Width(),
                       source.Height());
    } catch (...) {
      stop.store(true);
    }
  };
  for (auto& p : parts) p = std::make_unique<TPixelGraphic>();
  std::vector<std::thread> helpers;
  for (int b = 1; b < bands; ++b) helpers.emplace_back(work, b);
  dest.ProgressStart();
  work(0);
  for (auto& t : helpers) t.join();
  dest.ProgressEnd();
  if (stop.load() || (aborted && aborted())) return false;
  const size_t rowBytes = static_cast<size_t>(3) * static_cast<size_t>(W);
  for (int b = 0; b < bands; ++b) {
    const TPixelGraphic& part = *parts[static_cast<size_t>(b)];
    for (int y = 0; y < part.Height(); ++y)
      std::memcpy(dest.ScanLine(tops[static_cast<size_t>(b)] + y), part.ScanLine(y), rowBytes);
  }
  dest.Changed();
  return true;
}

}  // namespace pgraphic
