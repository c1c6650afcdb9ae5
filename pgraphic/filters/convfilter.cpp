#include "pgraphic/filters/convfilter.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace pgraphic {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr int kMaxSide = 99;
// Interior channel sums are mapped through a table when it has at most this
// many entries.
constexpr int64_t kMaxTable = int64_t(1) << 22;

long double Density(TDistributionShape shape, long double sigma, long double x) {
  switch (shape) {
    case dsGaussian:
      return std::exp(-x * x / (2 * sigma * sigma)) / (sigma * std::sqrt(2 * kPi));
    case dsTent: {
      const long double a = std::sqrt(6.0L) * sigma;
      return std::fabs(x) <= a ? 1 / a - std::fabs(x) / (a * a) : 0;
    }
    default: {
      const long double a = std::sqrt(3.0L) * sigma;
      return std::fabs(x) <= a ? 1 / (2 * a) : 0;
    }
  }
}

int32_t RoundToInt(long double v) {
  const long double r = std::nearbyint(v);
  if (r > 2147483647.0L) return 2147483647;
  if (r < -2147483648.0L) return -2147483647 - 1;
  return static_cast<int32_t>(r);
}

}  // namespace

TConvFilter::TConvFilter() : kernel_(1, 1) {}

void TConvFilter::SetWidth(int width) {
  if (width < 1 || width > kMaxSide) throw EPGConvFilter(LangStr(41, "TConvFilter.Width"));
  if (width == width_) return;
  width_ = width;
  kernel_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
}

void TConvFilter::SetHeight(int height) {
  if (height < 1 || height > kMaxSide) throw EPGConvFilter(LangStr(41, "TConvFilter.Height"));
  if (height == height_) return;
  height_ = height;
  kernel_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0);
}

int32_t& TConvFilter::At(int column, int row) {
  if (column < 0 || row < 0 || column >= width_ || row >= height_) throw EPGConvFilter(LangStr(1));
  return kernel_[static_cast<size_t>(row) * static_cast<size_t>(width_) +
                 static_cast<size_t>(column)];
}

int32_t TConvFilter::Kernel(int column, int row) const {
  return const_cast<TConvFilter*>(this)->At(column, row);
}

void TConvFilter::SetKernel(int column, int row, int32_t weight) {
  At(column, row) = weight;
}

// ---- Kernel builders -----------------------------------------------------------

void TConvFilter::BuildDistribution(TDistributionShape shape, bool radial, long double sigma) {
  if (!(sigma > 0)) {
    // A vanishing deviation is a single sample.
    SetWidth(1);
    SetHeight(1);
    kernel_[0] = shape == dsRect ? 1 : 16;
    OffsetX = OffsetY = 0;
    Bias = 0;
    Factor = 1;
    return;
  }
  const long double peak = Density(shape, sigma, 0);
  long double scale = 0;
  int e = 0;
  if (shape == dsRect) {
    while (e <= kMaxSide && Density(shape, sigma, e) != 0) ++e;
  } else if (radial) {
    scale = 16 / peak;
    while (e <= kMaxSide && std::nearbyint(Density(shape, sigma, e) * scale) >= 1) ++e;
  } else {
    scale = 16 / (peak * peak);
    while (e <= kMaxSide && std::nearbyint(peak * Density(shape, sigma, e) * scale) >= 1) ++e;
  }
  const int side = 2 * e - 1;
  SetWidth(side);
  SetHeight(side);
  std::fill(kernel_.begin(), kernel_.end(), 0);
  const int c = e - 1;
  for (int i = 0; i < side; ++i) {
    for (int j = 0; j < side; ++j) {
      long double unscaled;
      if (radial) {
        const long double d =
            std::sqrt(static_cast<long double>((c - j) * (c - j) + (c - i) * (c - i)));
        unscaled = Density(shape, sigma, d);
      } else {
        unscaled = Density(shape, sigma, j - c) * Density(shape, sigma, i - c);
      }
      int32_t w;
      if (shape == dsRect) {
        w = unscaled > 0 ? 1 : 0;
      } else if (radial) {
        w = RoundToInt(unscaled * scale);
      } else {
        w = RoundToInt(Density(shape, sigma, j - c) * scale * Density(shape, sigma, i - c));
      }
      At(j, i) = w;
    }
  }
  OffsetX = OffsetY = -c;
  Bias = 0;
  Factor = 1;
}

TConvFilter::TKernelSums TConvFilter::Sums() {
  TKernelSums sums;
  for (int32_t w : kernel_) sums.total += w;
  sums.centre = At(-OffsetX, -OffsetY);
  return sums;
}

void TConvFilter::BuildSharpen(int percent, long double sigma, TDistributionShape shape,
                               bool radial) {
  BuildDistribution(shape, radial, sigma);
  const TKernelSums sums = Sums();
  const int cx = -OffsetX, cy = -OffsetY;
  const long double strength = 100.0L / std::max(percent, 1);
  for (int32_t& w : kernel_) w = -w;
  At(cx, cy) = RoundToInt(strength * sums.total);
}

void TConvFilter::BuildDetail(int percent, long double sigma, TDistributionShape shape,
                              bool radial) {
  BuildDistribution(shape, radial, sigma);
  const TKernelSums sums = Sums();
  const int cx = -OffsetX, cy = -OffsetY;
  const long double strength = 100.0L / std::max(percent, 1);
  for (int32_t& w : kernel_) w = -w;
  At(cx, cy) = RoundToInt(strength * (sums.total - sums.centre + 1));
}

void TConvFilter::BuildSmooth(int percent, long double sigma, TDistributionShape shape,
                              bool radial) {
  BuildDistribution(shape, radial, sigma);
  const TKernelSums sums = Sums();
  const int cx = -OffsetX, cy = -OffsetY;
  const long double strength = 100.0L / std::max(percent, 1);
  At(cx, cy) = sums.centre + RoundToInt((strength - 1) * sums.total);
}

void TConvFilter::BuildContour(int percent, long double sigma, bool blackBackground,
                               TDistributionShape shape, bool radial) {
  BuildDistribution(shape, radial, sigma);
  const TKernelSums sums = Sums();
  const int cx = -OffsetX, cy = -OffsetY;
  for (int32_t& w : kernel_) w = -w;
  At(cx, cy) = static_cast<int32_t>(sums.total - sums.centre + 1);
  if (blackBackground) {
    Bias = 0;
    Factor = -percent;
  } else {
    Bias = 100;
    Factor = percent;
  }
}

void TConvFilter::BuildBlur(int percent, long double radius) {
  if (!(radius >= 0)) radius = 0;
  radius = std::min(radius, 49.0L);
  const int r = RoundToInt(radius);
  SetWidth(2 * r + 1);
  SetHeight(2 * r + 1);
  std::fill(kernel_.begin(), kernel_.end(), 0);
  OffsetX = OffsetY = -r;
  Bias = 0;
  Factor = 1;
  // A ring of the unrounded radius, one vote per whole degree.
  for (int a = 0; a < 360; ++a) {
    const long double t = a * kPi / 180;
    ++At(r + RoundToInt(radius * std::cos(t)), r + RoundToInt(radius * std::sin(t)));
  }
  At(r, r) += RoundToInt((100.0L / std::max(percent, 1) - 1) * 360);
}

// ---- Filtering -------------------------------------------------------------------

uint8_t TConvFilter::Finish(int64_t sum, int64_t weightSum) const {
  const long double m =
      weightSum != 0 ? static_cast<long double>(sum) / weightSum : static_cast<long double>(sum);
  const long double v = std::nearbyint(Factor * m + Bias * 255 * 0.01L);
  if (v < 0) return 0;
  if (v > 255) return 255;
  return static_cast<uint8_t>(v);
}

const uint8_t* TConvFilter::SourceRow(int y) const {
  const TPixelGraphic* source = Source();
  if (source->PixelFormat() == pf24Bit) return source->ScanLine(y);
  return converted_.data() + 3 * static_cast<size_t>(source->Width()) * static_cast<size_t>(y);
}

void TConvFilter::BeginFilter(const TPixelGraphic& source) {
  TPGFilter::BeginFilter(source);
  converted_.clear();
  lut_.clear();
  const int w = source.Width(), h = source.Height();
  if (source.PixelFormat() != pf24Bit && !source.Empty()) {
    converted_.resize(3 * static_cast<size_t>(w) * static_cast<size_t>(h));
    uint8_t* p = converted_.data();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x, p += 3) {
        const TRGB c = source.PixelColor(x, y);
        p[0] = static_cast<uint8_t>(GetB(c));
        p[1] = static_cast<uint8_t>(GetG(c));
        p[2] = static_cast<uint8_t>(GetR(c));
      }
  }
  int64_t pos = 0, neg = 0;
  interiorSum_ = 0;
  magnitude_ = 0;
  for (int32_t k : kernel_) {
    interiorSum_ += k;
    (k > 0 ? pos : neg) += k;
    magnitude_ += k < 0 ? -int64_t(k) : int64_t(k);
  }
  const int64_t entries = 255 * (pos - neg) + 1;
  if (entries <= kMaxTable && entries <= 3 * int64_t(w) * h) {
    lutLow_ = 255 * neg;
    lut_.resize(static_cast<size_t>(entries));
    for (int64_t i = 0; i < entries; ++i)
      lut_[static_cast<size_t>(i)] = Finish(lutLow_ + i, interiorSum_);
  }
}

void TConvFilter::EndFilter() {
  converted_.clear();
  converted_.shrink_to_fit();
  lut_.clear();
  TPGFilter::EndFilter();
}

TRGB TConvFilter::FilterPixel(int x, int y) {
  const TPixelGraphic* source = Source();
  const int w = source->Width(), h = source->Height();
  int64_t sum[3] = {0, 0, 0};
  int64_t weightSum = 0;
  for (int i = 0; i < height_; ++i) {
    const int64_t sy = int64_t(y) + i + OffsetY;
    if (sy < 0 || sy >= h) continue;
    const uint8_t* row = SourceRow(static_cast<int>(sy));
    const int32_t* k = &kernel_[static_cast<size_t>(i) * static_cast<size_t>(width_)];
    for (int j = 0; j < width_; ++j) {
      const int64_t sx = int64_t(x) + j + OffsetX;
      if (sx < 0 || sx >= w || k[j] == 0) continue;
      const uint8_t* p = row + 3 * sx;
      weightSum += k[j];
      sum[0] += int64_t(k[j]) * p[2];
      sum[1] += int64_t(k[j]) * p[1];
      sum[2] += int64_t(k[j]) * p[0];
    }
  }
  return RGB(Finish(sum[0], weightSum), Finish(sum[1], weightSum), Finish(sum[2], weightSum));
}

bool TConvFilter::FilterRow(int y, uint8_t* bgr) {
  const TPixelGraphic* source = Source();
  if (!source || source->Empty()) return false;
  const int w = source->Width(), h = source->Height();
  auto border = [&](int x) {
    const TRGB c = FilterPixel(x, y);
    bgr[3 * x] = static_cast<uint8_t>(GetB(c));
    bgr[3 * x + 1] = static_cast<uint8_t>(GetG(c));
    bgr[3 * x + 2] = static_cast<uint8_t>(GetR(c));
  };
  const int64_t top = int64_t(y) + OffsetY, bottom = top + height_ - 1;
  const int64_t xa64 = std::max<int64_t>(0, -int64_t(OffsetX));
  const int64_t xb64 = std::min<int64_t>(w - 1, int64_t(w) - width_ - OffsetX);
  if (top < 0 || bottom >= h || xa64 > xb64) {
    for (int x = 0; x < w; ++x) border(x);
    return true;
  }
  const int xa = static_cast<int>(xa64), xb = static_cast<int>(xb64);
  for (int x = 0; x < xa; ++x) border(x);
  for (int x = xb + 1; x < w; ++x) border(x);

  // Inside: every kernel element lies in the source, and the same weight
  // applies to the three interleaved channels.
  const size_t n = 3 * static_cast<size_t>(xb - xa + 1);
  const size_t start = 3 * static_cast<size_t>(xa);
  auto accumulate = [&](auto& acc) {
    using A = typename std::decay_t<decltype(acc)>::value_type;
    acc.assign(n, 0);
    A* a = acc.data();
    for (int i = 0; i < height_; ++i) {
      const uint8_t* row = SourceRow(static_cast<int>(top + i));
      for (int j = 0; j < width_; ++j) {
        const A k =
            kernel_[static_cast<size_t>(i) * static_cast<size_t>(width_) + static_cast<size_t>(j)];
        if (k == 0) continue;
        const uint8_t* s = row + start + 3 * static_cast<ptrdiff_t>(j + OffsetX);
        for (size_t t = 0; t < n; ++t) a[t] += k * static_cast<A>(s[t]);
      }
    }
    uint8_t* out = bgr + start;
    if (!lut_.empty()) {
      const uint8_t* lut = lut_.data();
      const A low = static_cast<A>(lutLow_);
      for (size_t t = 0; t < n; ++t) out[t] = lut[a[t] - low];
    } else {
      for (size_t t = 0; t < n; ++t) out[t] = Finish(a[t], interiorSum_);
    }
  };
  if (255 * magnitude_ < (int64_t(1) << 31))
    accumulate(acc32_);
  else
    accumulate(acc64_);
  return true;
}

}  // namespace pgraphic
