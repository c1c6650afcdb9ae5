#include "pgraphic/view/bandcopy.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "pgraphic/image/geometry.h"

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
  std::vector<int> tops(static_cast<size_t>(bands) + 1);
  for (int b = 0; b <= bands; ++b)
    tops[static_cast<size_t>(b)] = static_cast<int>(int64_t(H) * b / bands);
  // The first band reports on dest's progress; the others only watch for a stop.
  const std::function<bool(int, int)> first = [&](int step, int max) {
    const bool abort = dest.Progress(step, max) || stop.load();
    if (abort) stop.store(true);
    return abort;
  };
  const std::function<bool(int, int)> other = [&](int, int) {
    const bool abort = stop.load() || (aborted && aborted());
    if (abort) stop.store(true);
    return abort;
  };
  auto work = [&](int b) {
    try {
      ResampleRows(dest, source, tops[static_cast<size_t>(b)], tops[static_cast<size_t>(b) + 1] - 1,
                   b == 0 ? first : other);
    } catch (...) {
      stop.store(true);
    }
  };
  std::vector<std::thread> helpers;
  for (int b = 1; b < bands; ++b) helpers.emplace_back(work, b);
  dest.ProgressStart();
  work(0);
  for (auto& t : helpers) t.join();
  dest.ProgressEnd();
  if (stop.load() || (aborted && aborted())) return false;
  dest.Changed();
  return true;
}

}  // namespace pgraphic
