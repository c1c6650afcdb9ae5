// The transform kernels against a literal, unoptimised rendering of the level
// algorithms (full-size temporaries, explicit border extension), the rounding
// against the double product for every 32-bit sum, and the filter properties.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>

#include "codec/wavelet.h"

namespace codec {
namespace {

int16_t R(int32_t sum) {
  return static_cast<int16_t>(std::nearbyint(0.0001 * sum));
}

int Ext(int i, int n) {
  if (i < 0) i = -i;
  if (i >= n) i = n - 1;
  return std::min(i, n - 1);
}

using Plane = std::vector<int16_t>;  // row-major

// Forward level exactly as described: vertical pass into W' x H' temporaries,
// bands from the odd rows and columns.
std::array<Plane, 4> ReferenceForward(const Plane& P, int w, int h, int F) {
  const FilterPair& f = AnalysisFilters(F);
  const int W2 = w + F - 1, H2 = h + F - 1, hw = W2 / 2, hh = H2 / 2;
  std::array<Plane, 4> bands;
  for (auto& b : bands) b.assign(static_cast<size_t>(hw * hh), 0);
  for (int pass = 0; pass < 2; ++pass) {
    const auto& vert = pass == 0 ? f.Low : f.High;
    Plane T(static_cast<size_t>(W2 * H2));
    for (int x = 0; x < W2; ++x)
      for (int y = 0; y < H2; ++y) {
        int32_t s = 0;
        for (int t = 0; t < F; ++t) s += vert[t] * P[Ext(y - t, h) * w + std::min(x, w - 1)];
        T[y * W2 + x] = R(s);
      }
    for (int horiz = 0; horiz < 2; ++horiz) {
      const auto& hf = horiz == 0 ? f.Low : f.High;
      Plane& band = bands[pass == 0 ? (horiz == 0 ? 0 : 2) : (horiz == 0 ? 1 : 3)];
      for (int v = 0; v < hh; ++v)
        for (int u = 0; u < hw; ++u) {
          int32_t s = 0;
          for (int t = 0; t < F; ++t) s += hf[t] * T[(2 * v + 1) * W2 + Ext(2 * u + 1 - t, W2)];
          band[v * hw + u] = R(s);
        }
    }
  }
  return bands;
}

// Inverse level exactly as described: zero-filled A and C of W' x H' with the
// vertical results in the odd columns, then the horizontal synthesis.
Plane ReferenceInverse(const std::array<Plane, 4>& B, int w, int h, int F) {
  const FilterPair& s = SynthesisFilters(F);
  const int W2 = w + F - 1, H2 = h + F - 1, hw = W2 / 2;
  Plane A(static_cast<size_t>(W2 * H2), 0), C(static_cast<size_t>(W2 * H2), 0);
  for (int u = 0; u < hw; ++u)
    for (int y = F - 1; y <= F - 2 + h; ++y) {
      int32_t a0 = 0, a1 = 0, c2 = 0, c3 = 0;
      for (int t = 0; t < F; ++t) {
        if ((y - t) % 2 == 0 || y - t < 0) continue;
        const int n = (y - t - 1) / 2;
        a0 += s.Low[t] * B[0][n * hw + u];
        a1 += s.High[t] * B[1][n * hw + u];
        c2 += s.Low[t] * B[2][n * hw + u];
        c3 += s.High[t] * B[3][n * hw + u];
      }
      A[y * W2 + 2 * u + 1] = static_cast<int16_t>(R(a0) + R(a1));
      C[y * W2 + 2 * u + 1] = static_cast<int16_t>(R(c2) + R(c3));
    }
  Plane O(static_cast<size_t>(w * h));
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      const int y = r + F - 1, x = c + F - 1;
      int32_t sa = 0, sc = 0;
      for (int t = 0; t < F; ++t) {
        if ((x - t) % 2 == 0 || x - t < 0) continue;
        const int m = (x - t - 1) / 2;
        sa += s.Low[t] * A[y * W2 + 2 * m + 1];
        sc += s.High[t] * C[y * W2 + 2 * m + 1];
      }
      O[r * w + c] = static_cast<int16_t>(R(sa) + R(sc));
    }
  return O;
}

LevelGeometry Geometry(int w, int h, int F) {
  LevelGeometry g;
  g.Width = w;
  g.Height = h;
  g.FilterLength = F;
  g.FullWidth = w + F - 1;
  g.FullHeight = h + F - 1;
  g.HalfWidth = g.FullWidth / 2;
  g.HalfHeight = g.FullHeight / 2;
  return g;
}

// Every 2^32 sum in optimised builds; every 7th in instrumented or unoptimised
// ones, where the full sweep would take minutes (the tie sweep below stays complete).
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
constexpr int64_t kSumStride = 7;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int64_t kSumStride = 7;
#else
constexpr int64_t kSumStride = 1;
#endif
#else
constexpr int64_t kSumStride = 1;
#endif

TEST(WaveletRounding, IntegerAndDoubleFormsEqualTheDoubleProductForEverySum) {
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<uint64_t> mismatches(threads, 0);
  std::vector<std::thread> pool;
  for (unsigned i = 0; i < threads; ++i) {
    pool.emplace_back([i, threads, &mismatches] {
      const int64_t begin = INT32_MIN + (int64_t{1} << 32) * i / threads;
      const int64_t end = INT32_MIN + (int64_t{1} << 32) * (i + 1) / threads;
      uint64_t bad = 0;
      for (int64_t s = begin; s < end; s += kSumStride) {
        const int32_t sum = static_cast<int32_t>(s);
        const double reference = std::nearbyint(static_cast<double>(sum) * 0.0001);
        bad += RoundTap(sum) != static_cast<int32_t>(reference);
      }
      mismatches[i] = bad;
    });
  }
  for (auto& t : pool) t.join();
  for (uint64_t m : mismatches) EXPECT_EQ(m, 0u);
  // The double form, on every tie and its neighbours and on a dense stride.
  for (int64_t s = INT32_MIN; s <= INT32_MAX; s += 4999) {
    for (int64_t d : {int64_t{0}, int64_t{1}}) {
      const int32_t sum = static_cast<int32_t>(std::min<int64_t>(s + d, INT32_MAX));
      ASSERT_EQ(RoundTapDouble(sum), RoundTap(sum)) << sum;
    }
  }
  for (int64_t k = -429496; k <= 429496; ++k) {
    for (int d = -1; d <= 1; ++d) {
      const int64_t s = k * 5000 + d;
      if (s < INT32_MIN || s > INT32_MAX) continue;
      ASSERT_EQ(RoundTapDouble(static_cast<int32_t>(s)), RoundTap(static_cast<int32_t>(s))) << s;
    }
  }
  EXPECT_EQ(RoundTap(5000), 0);
  EXPECT_EQ(RoundTap(15000), 2);
  EXPECT_EQ(RoundTap(-15000), -2);
  EXPECT_EQ(RoundTap(25000), 2);
}

TEST(WaveletFilters, SynthesisIsAnalysisReversed) {
  for (int F : {4, 6}) {
    for (int t = 0; t < F; ++t) {
      EXPECT_EQ(SynthesisFilters(F).Low[t], AnalysisFilters(F).Low[F - 1 - t]);
      EXPECT_EQ(SynthesisFilters(F).High[t], AnalysisFilters(F).High[F - 1 - t]);
    }
  }
}

// Forward and inverse kernels equal the literal algorithm on many sizes, both
// filter lengths, whole or split into row ranges, in the baseline and the
// vector-extension builds of the loops.
class WaveletKernels : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { VQNBaselineOnly = GetParam(); }
  void TearDown() override { VQNBaselineOnly = false; }
};
INSTANTIATE_TEST_SUITE_P(Builds, WaveletKernels, testing::Values(true, false));

TEST_P(WaveletKernels, MatchLiteralAlgorithmOnManySizes) {
  std::mt19937 rng(7);
  const int sizes[][2] = {{1, 1},   {1, 7},   {7, 1},   {2, 2},  {3, 5},   {4, 4},  {5, 3},
                          {20, 20}, {21, 20}, {33, 17}, {64, 9}, {301, 7}, {8, 301}};
  for (int F : {4, 6}) {
    for (auto [w, h] : sizes) {
      SCOPED_TRACE(testing::Message() << w << "x" << h << " F=" << F);
      Plane P(static_cast<size_t>(w * h));
      for (auto& v : P) v = static_cast<int16_t>(static_cast<int>(rng() % 700) - 100);
      const LevelGeometry g = Geometry(w, h, F);
      LevelBands bands;
      bands.Allocate(g);
      PlaneView<int16_t> view{P.data(), w, 1, w, h};
      const int split = g.HalfHeight / 2;
      int maxAbs = std::max(ForwardLevelRows(view, bands, 0, split),
                            ForwardLevelRows(view, bands, split, g.HalfHeight));
      const auto ref = ReferenceForward(P, w, h, F);
      int refMax = 0;
      for (int b = 0; b < 4; ++b) {
        ASSERT_EQ(bands.Band[b], ref[b]) << "band " << b;
        if (b > 0)
          for (int16_t c : ref[b]) refMax = std::max(refMax, std::abs(static_cast<int>(c)));
      }
      EXPECT_EQ(maxAbs, refMax);

      // Inverse of arbitrary band contents, from 16-bit bands.
      std::array<Plane, 4> in;
      for (auto& b : in) {
        b.resize(static_cast<size_t>(g.BandSize()));
        for (auto& v : b) v = static_cast<int16_t>(static_cast<int>(rng() % 2001) - 1000);
      }
      std::array<BandSource, 4> sources;
      for (int b = 0; b < 4; ++b) sources[b].Words = in[b].data();
      Plane out(static_cast<size_t>(w * h));
      OutputSink sink;
      sink.Words = out.data();
      sink.RowStride = w;
      InverseLevelRows(sources, g, sink, 0, h / 3);
      InverseLevelRows(sources, g, sink, h / 3, h);
      ASSERT_EQ(out, ReferenceInverse(in, w, h, F));
    }
  }
}

TEST_P(WaveletKernels, TinyAndConstantPlanes) {
  // A 1 x 1 plane with F = 4: 4 x 4 full size, four 2 x 2 bands, 1 x 1 back.
  const LevelGeometry g = Geometry(1, 1, 4);
  EXPECT_EQ(g.FullWidth, 4);
  EXPECT_EQ(g.HalfWidth, 2);
  EXPECT_EQ(g.HalfHeight, 2);
  Plane one{200};
  LevelBands bands;
  bands.Allocate(g);
  ForwardLevelRows(PlaneView<int16_t>{one.data(), 1, 1, 1, 1}, bands, 0, 2);
  std::array<BandSource, 4> sources;
  for (int b = 0; b < 4; ++b) sources[b].Words = bands.Band[b].data();
  Plane out(1);
  OutputSink sink;
  sink.Words = out.data();
  sink.RowStride = 1;
  InverseLevelRows(sources, g, sink, 0, 1);
  EXPECT_NEAR(out[0], 200, 2);

  // A constant plane: band 0 near 2v, details 0 or +-1, and an unquantised
  // round trip within a few units.
  const int w = 40, h = 30, v = 100;
  Plane flat(static_cast<size_t>(w * h), v);
  const LevelGeometry gf = Geometry(w, h, 4);
  LevelBands fb;
  fb.Allocate(gf);
  ForwardLevelRows(PlaneView<int16_t>{flat.data(), w, 1, w, h}, fb, 0, gf.HalfHeight);
  for (int16_t c : fb.Band[0]) EXPECT_NEAR(c, 2 * v, 2);
  for (int b = 1; b < 4; ++b)
    for (int16_t c : fb.Band[b]) EXPECT_LE(std::abs(c), 1);
  for (int b = 0; b < 4; ++b) sources[b].Words = fb.Band[b].data();
  Plane back(static_cast<size_t>(w * h));
  sink.Words = back.data();
  sink.RowStride = w;
  InverseLevelRows(sources, gf, sink, 0, h);
  for (int16_t c : back) EXPECT_NEAR(c, v, 3);
}

TEST_P(WaveletKernels, ByteSourcesAndImageSinkReflectNegativeSamples) {
  // Bands read from interleaved coefficient bytes through a table, output into a
  // 3-byte-per-pixel bottom-up row layout with |c| limited to 255.
  const LevelGeometry g = Geometry(6, 5, 4);
  const int64_t n = g.BandSize();
  std::vector<uint8_t> bytes(static_cast<size_t>(3 * n * 4));
  std::mt19937 rng(3);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  std::array<int16_t, 256> table;
  for (int i = 0; i < 256; ++i) table[i] = static_cast<int16_t>((i - 128) * 9);
  std::array<BandSource, 4> fromBytes;
  std::array<Plane, 4> words;
  for (int b = 0; b < 4; ++b) {
    fromBytes[b].Bytes = bytes.data() + 1;  // plane 1
    fromBytes[b].Table = table.data();
    fromBytes[b].Interleave = 3;
    fromBytes[b].Layout =
        b == 1 ? BandLayout{b * n, g.HalfWidth, 1} : BandLayout{b * n, 1, g.HalfHeight};
    words[b].resize(static_cast<size_t>(n));
    for (int r = 0; r < g.HalfHeight; ++r)
      for (int c = 0; c < g.HalfWidth; ++c)
        words[b][r * g.HalfWidth + c] =
            table[bytes[3 * (fromBytes[b].Layout.Offset + r * fromBytes[b].Layout.RowStep +
                             c * fromBytes[b].Layout.ColumnStep) +
                        1]];
  }
  const Plane expected = ReferenceInverse(words, g.Width, g.Height, 4);
  const int stride = 20;
  std::vector<uint8_t> image(static_cast<size_t>(stride * g.Height), 0xEE);
  OutputSink sink;
  sink.Bytes = image.data() + stride * (g.Height - 1) + 2;
  sink.RowStride = -stride;
  sink.Step = 3;
  InverseLevelRows(fromBytes, g, sink, 0, g.Height);
  int negatives = 0;
  for (int r = 0; r < g.Height; ++r)
    for (int c = 0; c < g.Width; ++c) {
      const int v = expected[r * g.Width + c];
      negatives += v < 0;
      EXPECT_EQ(image[stride * (g.Height - 1 - r) + 3 * c + 2], std::min(std::abs(v), 255));
      EXPECT_EQ(image[stride * (g.Height - 1 - r) + 3 * c + 1], 0xEE);  // other planes untouched
    }
  EXPECT_GT(negatives, 0);
}

}  // namespace
}  // namespace codec
