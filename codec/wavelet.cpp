#include "codec/wavelet.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace codec {

pgraphic::TPGSetting<bool> VQNBaselineOnly = false;

const FilterPair& AnalysisFilters(int filterLength) {
  static const FilterPair four{{-1294, 2241, 8365, 4829, 0, 0}, {-4829, 8365, -2241, -1294, 0, 0}};
  static const FilterPair six{{352, -854, -1350, 4599, 8069, 3327},
                              {-3327, 8069, -4599, -1350, 854, 352}};
  return filterLength == 4 ? four : six;
}

const FilterPair& SynthesisFilters(int filterLength) {
  static const FilterPair four{{4829, 8365, 2241, -1294, 0, 0}, {-1294, -2241, 8365, -4829, 0, 0}};
  static const FilterPair six{{3327, 8069, 4599, -1350, -854, 352},
                              {352, 854, -1350, -4599, 8069, -3327}};
  return filterLength == 4 ? four : six;
}

void LevelBands::Allocate(const LevelGeometry& g) {
  Geometry = g;
  // Contents are overwritten by the transform; buffers of the right size are kept.
  for (auto& b : Band) b.resize(static_cast<size_t>(g.BandSize()));
  FirstRow = 0;
}

void LevelBands::AllocateStrip(const LevelGeometry& g, int rows) {
  Geometry = g;
  for (auto& b : Band) b.resize(static_cast<size_t>(g.HalfWidth) * static_cast<size_t>(rows));
  FirstRow = 0;
}

#define KORVANE_AVX2_KERNELS 0
namespace baseline {
#include "codec/wavelet_kernels.inc"
}
#undef KORVANE_AVX2_KERNELS  // namespace baseline

#if defined(__x86_64__) || defined(__i386__)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
#define KORVANE_AVX2_KERNELS 1
namespace avx2 {
#include "codec/wavelet_kernels.inc"
}  // namespace avx2
#undef KORVANE_AVX2_KERNELS
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
static bool UseAvx2() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available && !VQNBaselineOnly;
}
#else
namespace avx2 = baseline;
static bool UseAvx2() {
  return false;
}
#endif

int ForwardLevelRows(const PlaneView<uint8_t>& input, LevelBands& out, int v0, int v1) {
  return UseAvx2() ? avx2::ForwardDispatch(input, out, v0, v1)
                   : baseline::ForwardDispatch(input, out, v0, v1);
}

int ForwardLevelRows(const PlaneView<int16_t>& input, LevelBands& out, int v0, int v1) {
  return UseAvx2() ? avx2::ForwardDispatch(input, out, v0, v1)
                   : baseline::ForwardDispatch(input, out, v0, v1);
}

void BandSource::Row(int n, int halfWidth, int16_t* out) const {
  if (Words) {
    std::copy(Words + static_cast<ptrdiff_t>(n) * halfWidth,
              Words + static_cast<ptrdiff_t>(n + 1) * halfWidth, out);
    return;
  }
  const uint8_t* p = Bytes + Interleave * (Layout.Offset + n * Layout.RowStep);
  const ptrdiff_t step = Interleave * Layout.ColumnStep;
  for (int u = 0; u < halfWidth; ++u) out[u] = Table[p[u * step]];
}

void BandSource::Block(int n0, int count, int halfWidth, int16_t* out) const {
  if (Words) {
    for (int i = 0; i < count; ++i)
      Row(n0 + i, halfWidth, out + static_cast<ptrdiff_t>(i) * halfWidth);
    return;
  }
  baseline::FillBlock(*this, n0, count, halfWidth, out);
}

void InverseLevelRows(const std::array<BandSource, 4>& bands, const LevelGeometry& g,
                      const OutputSink& out, int r0, int r1) {
  if (UseAvx2()) {
    g.FilterLength == 4 ? avx2::InverseRows<4>(bands, g, out, r0, r1)
                        : avx2::InverseRows<6>(bands, g, out, r0, r1);
  } else {
    g.FilterLength == 4 ? baseline::InverseRows<4>(bands, g, out, r0, r1)
                        : baseline::InverseRows<6>(bands, g, out, r0, r1);
  }
}

}  // namespace codec
