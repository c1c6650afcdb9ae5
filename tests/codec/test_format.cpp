// Quality scale, level count, band geometry and coefficient counts, the 6-byte
// real and the header checks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "codec/format.h"
#include "codec/vqn.h"

namespace codec {
namespace {

TEST(VQNQuality, ScaleAndThresholds) {
  EXPECT_EQ(QualityFromPosition(60), 41);
  EXPECT_EQ(QualityFromPosition(120), 5);
  EXPECT_EQ(QualityFromPosition(0), 149);
  // Round half to even: 5 -> 0, 15 -> 2, 25 -> 2.
  EXPECT_EQ(QualityFromPosition(5), 149);
  EXPECT_EQ(QualityFromPosition(15), 105);
  EXPECT_EQ(QualityFromPosition(25), 105);
  const int expected[13] = {149, 126, 105, 86, 69, 54, 41, 30, 21, 14, 9, 6, 5};
  for (int a = 0; a <= 12; ++a) EXPECT_EQ(QualityFromPosition(10 * a), expected[a]);
  EXPECT_EQ(ZeroThresholds(41, 5), (std::vector<int>{41, 27, 18, 12, 8}));
  EXPECT_EQ(ZeroThresholds(5, 5), (std::vector<int>{5, 3, 2, 1, 1}));
  EXPECT_EQ(ZeroThresholds(149, 5), (std::vector<int>{149, 99, 66, 44, 29}));
}

TEST(VQNGeometry, WorkedSizes) {
  EXPECT_EQ(LevelCount(100, 80), 2);
  EXPECT_EQ(LevelCount(640, 480), 5);
  EXPECT_EQ(LevelCount(20, 1000), 1);
  EXPECT_EQ(LevelCount(1, 1), 1);
  EXPECT_EQ(LevelCount(21, 21), 1);  // 21 halves to 10 (ties to even)
  EXPECT_EQ(LevelCount(23, 23), 1);  // 23 -> 12
  EXPECT_EQ(LevelCount(42, 42), 2);  // 42 -> 21 -> 10
  EXPECT_EQ(LevelCount(32767, 32767), 5);

  auto g = BandGeometry(100, 80, 2);
  EXPECT_EQ(g[0].HalfWidth, 51);
  EXPECT_EQ(g[0].HalfHeight, 41);
  EXPECT_EQ(g[1].HalfWidth, 27);
  EXPECT_EQ(g[1].HalfHeight, 22);
  EXPECT_EQ(CoefficientCount(g), 25947);

  g = BandGeometry(640, 480, 5);
  const int sizes[5][2] = {{321, 241}, {162, 122}, {83, 63}, {44, 34}, {24, 19}};
  for (int l = 0; l < 5; ++l) {
    EXPECT_EQ(g[l].HalfWidth, sizes[l][0]);
    EXPECT_EQ(g[l].HalfHeight, sizes[l][1]);
    EXPECT_EQ(g[l].FilterLength, l < 2 ? 4 : 6);
  }
  EXPECT_EQ(CoefficientCount(g), 940122);
  EXPECT_EQ(CoefficientCount(BandGeometry(1, 1, 1)), 48);
}

TEST(VQNGeometry, BandLayoutsTileTheCoefficientBytes) {
  // Every coefficient position of every band is used exactly once.
  for (auto [w, h] : {std::pair{100, 80}, std::pair{1, 1}, std::pair{37, 5}}) {
    const int n = LevelCount(w, h);
    const auto g = BandGeometry(w, h, n);
    std::vector<int> used(static_cast<size_t>(CoefficientCount(g) / 3), 0);
    auto mark = [&](const BandLayout& layout, const LevelGeometry& lg) {
      for (int r = 0; r < lg.HalfHeight; ++r)
        for (int c = 0; c < lg.HalfWidth; ++c)
          ++used[layout.Offset + r * layout.RowStep + c * layout.ColumnStep];
    };
    for (int l = 1; l <= n; ++l)
      for (int b = 1; b <= 3; ++b) mark(DetailBandLayout(g, l, b), g[l - 1]);
    mark(ApproximationBandLayout(g), g.back());
    for (int u : used) ASSERT_EQ(u, 1);
    // Band 1 row by row, band 2 column by column, at the start of the level.
    EXPECT_EQ(DetailBandLayout(g, 1, 1).RowStep, g[0].HalfWidth);
    EXPECT_EQ(DetailBandLayout(g, 1, 2).ColumnStep, g[0].HalfHeight);
  }
}

TEST(VQNHeaderFields, Real48ConvertsExactly) {
  // 1.0: exponent 129, fraction 0.
  const uint8_t one[6] = {129, 0, 0, 0, 0, 0};
  EXPECT_EQ(Real48ToDouble(one), 1.0);
  const uint8_t minusThreeQuarters[6] = {128, 0, 0, 0, 0, 0x80 | 0x40};  // -1.5 * 2^-1
  EXPECT_EQ(Real48ToDouble(minusThreeQuarters), -0.75);
  const uint8_t zero[6] = {0, 1, 2, 3, 4, 5};
  EXPECT_EQ(Real48ToDouble(zero), 0.0);
  // All 39 fraction bits count: 1 + 2^-39.
  const uint8_t tiny[6] = {129, 1, 0, 0, 0, 0};
  EXPECT_EQ(Real48ToDouble(tiny), 1.0 + std::ldexp(1.0, -39));
  for (double v : {2.5f, 0.1f, 123.456f, 1.0f / 3.0f, 5.960464477539063e-08f, 1.7e38f}) {
    auto bytes = DoubleToReal48(v);
    EXPECT_EQ(Real48ToDouble(bytes.data()), v);
  }
}

std::vector<uint8_t> Header3(int w, int h, int n, int32_t c) {
  VQNHeader hd;
  hd.Width = w;
  hd.Height = h;
  hd.Levels = n;
  hd.DetailStep = {1.5, 2, 3};
  hd.ApproxStep = {1, 1.25, 4};
  hd.ApproxMin = {-3, 0, 7};
  hd.CodedLength = c;
  auto a = SerializeHeader3(hd);
  return {a.begin(), a.end()};
}

TEST(VQNHeaderFields, ParseChecksBeforeAnythingIsAllocated) {
  VQNHeader h;
  auto good = Header3(100, 80, 2, 10);
  ASSERT_EQ(good.size(), 44u);
  ASSERT_EQ(ParseHeader(good.data(), good.size(), h), HeaderStatus::Ok);
  EXPECT_EQ(h.Width, 100);
  EXPECT_EQ(h.DetailStep[0], 1.5);
  EXPECT_EQ(h.ApproxMin[0], -3);
  EXPECT_EQ(h.ApproxMin[2], 7);
  EXPECT_EQ(h.CodedLength, 10);

  auto bad = good;
  bad[0] = 'X';
  EXPECT_EQ(ParseHeader(bad.data(), bad.size(), h), HeaderStatus::NotVQN);
  bad = good;
  bad[3] = 4;
  EXPECT_EQ(ParseHeader(bad.data(), bad.size(), h), HeaderStatus::NotVQN);
  EXPECT_EQ(ParseHeader(good.data(), 3, h), HeaderStatus::NotVQN);
  for (size_t cut = 4; cut < 44; ++cut)
    EXPECT_EQ(ParseHeader(good.data(), cut, h), HeaderStatus::Corrupted) << cut;
  for (auto [w, hh, n, c] :
       {std::tuple{0, 80, 2, 10}, std::tuple{100, -1, 2, 10}, std::tuple{100, 80, 0, 10},
        std::tuple{100, 80, 9, 10}, std::tuple{100, 80, 2, -1}, std::tuple{-5, 80, 2, 10}}) {
    auto hdr = Header3(w, hh, n, c);
    EXPECT_EQ(ParseHeader(hdr.data(), hdr.size(), h), HeaderStatus::Corrupted)
        << w << " " << hh << " " << n << " " << c;
  }
  auto eight = Header3(3, 3, 8, 0);
  EXPECT_EQ(ParseHeader(eight.data(), eight.size(), h), HeaderStatus::Ok);

  // Subtype 2: same fields, six-byte steps, 56 bytes.
  VQNHeader two = h;
  two.DetailStep = {1.5, 2, 3};
  two.ApproxStep = {1, 1.25, 4};
  auto s2 = SerializeHeader2(two);
  VQNHeader back;
  ASSERT_EQ(ParseHeader(s2.data(), s2.size(), back), HeaderStatus::Ok);
  EXPECT_EQ(back.SubType, 2);
  EXPECT_EQ(back.HeaderSize(), 56);
  EXPECT_EQ(back.DetailStep, two.DetailStep);
  EXPECT_EQ(back.ApproxStep, two.ApproxStep);
  EXPECT_EQ(back.ApproxMin, two.ApproxMin);
  EXPECT_EQ(ParseHeader(s2.data(), 55, back), HeaderStatus::Corrupted);
}

}  // namespace
}  // namespace codec
