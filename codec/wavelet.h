// The separable two-dimensional wavelet transform with the orthogonal 4- and
// 6-tap filters, held as integers in units of 1/10,000. Every one-dimensional
// filter pass rounds its results back to signed 16 bits.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/format.h"
#include "pgraphic/settings.h"

namespace codec {

// Round(0.0001 * sum) with ties to even, computed exactly in integers. Equals the
// rounding of the double-precision product for every 32-bit sum: the double nearest
// to 0.0001 exceeds it by a relative 4.8e-17, less than half an ulp (2^-54
// relative at worst), so the product of a multiple of 5,000 lands exactly on the
// half-way value and every other product stays on its side of it.
inline int32_t RoundTap(int32_t sum) {
  int64_t v = static_cast<int64_t>(sum) + 5000;
  int64_t q = v / 10000;
  int64_t r = v % 10000;
  if (r < 0) {
    --q;
    r += 10000;
  }
  if (r == 0) q &= ~int64_t{1};  // exactly half-way: the even neighbour
  return static_cast<int32_t>(q);
}

// The same rounding through the double product, the form the vectorised loops
// use: adding and subtracting 1.5 * 2^52 rounds to an integer with ties to even
// under the default rounding mode for every |x| < 2^51.
inline int32_t RoundTapDouble(int32_t sum) {
  constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
  volatile double x = static_cast<double>(sum) * 0.0001;
  return static_cast<int32_t>((x + kShift) - kShift);
}

// Filter tables indexed by lag t: the coefficient multiplying the sample t
// positions before the current one.
struct FilterPair {
  std::array<int, 6> Low{};
  std::array<int, 6> High{};
};
const FilterPair& AnalysisFilters(int filterLength);
const FilterPair& SynthesisFilters(int filterLength);

// A read-only plane: sample (x, y) at Base[y * RowStride + x * Step].
template <class T>
struct PlaneView {
  const T* Base = nullptr;
  ptrdiff_t RowStride = 0;
  ptrdiff_t Step = 1;
  int Width = 0;
  int Height = 0;
};

// The four bands of one level of one plane, each HalfWidth x HalfHeight, row by row;
// or a strip of them: rows FirstRow on.
struct LevelBands {
  LevelGeometry Geometry;
  std::array<std::vector<int16_t>, 4> Band;
  int FirstRow = 0;
  void Allocate(const LevelGeometry& g);
  // Room for `rows` rows of each band.
  void AllocateStrip(const LevelGeometry& g, int rows);
};

// Forward level for band rows [v0, v1): fills those rows of the four bands and
// returns the largest |coefficient| of bands 1 to 3 among them.
int ForwardLevelRows(const PlaneView<uint8_t>& input, LevelBands& out, int v0, int v1);
int ForwardLevelRows(const PlaneView<int16_t>& input, LevelBands& out, int v0, int v1);

// Where the inverse reads a band from: a row-major array of 16-bit coefficients,
// or coefficient bytes mapped through a 256-entry table (the dequantiser).
struct BandSource {
  const int16_t* Words = nullptr;  // HalfWidth x HalfHeight, row by row
  const uint8_t* Bytes = nullptr;  // the plane's coefficient bytes
  BandLayout Layout;
  int Interleave = 1;              // bytes per position: 1 for one plane's bytes, 3 for all three
  const int16_t* Table = nullptr;  // 256 dequantised values
  void Row(int n, int halfWidth, int16_t* out) const;
  // Rows n0 .. n0 + count - 1 into consecutive rows of `out`.
  void Block(int n0, int count, int halfWidth, int16_t* out) const;
};

// Where the inverse writes its w x h output: 16-bit samples (the approximation
// band of the next finer level) or 8-bit components of a 24-bit image row
// (|c|, at most 255).
struct OutputSink {
  int16_t* Words = nullptr;  // row-major, RowStride elements per row
  uint8_t* Bytes = nullptr;  // top row; rows advance by RowStride bytes (may be negative)
  ptrdiff_t RowStride = 0;
  ptrdiff_t Step = 1;
};

// Inverse level for output rows [r0, r1) of the level's w x h input size.
void InverseLevelRows(const std::array<BandSource, 4>& bands, const LevelGeometry& g,
                      const OutputSink& out, int r0, int r1);

// Forces the baseline build of the transform loops even where AVX2 is available
// (both give identical results; tests compare them).
extern pgraphic::TPGSetting<bool> VQNBaselineOnly;

}  // namespace codec
