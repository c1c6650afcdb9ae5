// Resampling, rotation, mirroring and cropping of TPixelGraphic.
#include "pgraphic/image/geometry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"
#include "support/random_image.h"

namespace pgraphic {
namespace {

std::unique_ptr<TPixelGraphic> Gray24(int w, int h, const std::vector<int>& values) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, pf24Bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t v = static_cast<uint32_t>(values[static_cast<size_t>(y * w + x)]);
      g->SetPixel(x, y, RGB(v, v, v));
    }
  return g;
}

std::unique_ptr<TPixelGraphic> Noise24(int w, int h, unsigned seed) {
  return test_support::RandomImage(w, h, seed);
}

std::vector<int> RedRow(const TPixelGraphic& g) {
  std::vector<int> out;
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) out.push_back(static_cast<int>(GetR(g.PixelColor(x, y))));
  return out;
}

std::vector<int> Resample(int sw, int sh, const std::vector<int>& values, int dw, int dh,
                          TStretchMode mode) {
  auto src = Gray24(sw, sh, values);
  TPixelGraphic dst;
  dst.SetSize(dw, dh, pf24Bit);
  dst.SetStretchMode(mode);
  dst.CopyFrom(*src);
  return RedRow(dst);
}

// Straightforward per-pixel resampling written from the rules for the span
// records, used to check the optimised StretchCopy on random geometry.
struct Span {
  int64_t first, last, wf, wl;
  int kind;
  bool valid;
};

Span NaiveSpan(int method, int64_t p, int64_t ds, int64_t d, int64_t o, int64_t s, int64_t size) {
  Span r{};
  const int64_t u = p - ds;
  auto in = [&](int64_t v) { return v >= 0 && v < size; };
  if (method == 0) {  // linear
    r.first = o + (s + 2 * u * s - d) / (2 * d);
    r.last = o + (s + 2 * u * s + d) / (2 * d);
    r.kind = 1;
    r.valid = in(r.first) && in(r.last);
    if (!r.valid && d > s && ((r.first < 0 && 0 <= r.last) || (r.first < size && size <= r.last))) {
      r.first = std::min(std::max<int64_t>(r.first, 0), size - 1);
      r.last = std::min(std::max<int64_t>(r.last, 0), size - 1);
      r.valid = true;
    }
    r.wf = 3 * d + 2 * d * (r.first - o) - s - 2 * u * s;
    r.wl = 2 * d + s + 2 * u * s - d - 2 * d * (r.last - o);
    if (d + 2 * d * (r.first - o) == s + 2 * u * s || r.first == r.last) {
      r.kind = 0;
      r.wf = 2 * d;
    }
  } else if (method == 1) {  // area
    r.first = o + s * u / d;
    r.last = o + s * (u + 1) / d - ((s * (u + 1)) % d == 0 ? 1 : 0);
    r.valid = in(r.first) && in(r.last);
    r.wf = d * (r.first - o + 1) - s * u;
    r.wl = s * (u + 1) - d * (r.last - o);
    r.kind = r.first == r.last ? 0 : (r.last - r.first == 1 ? 1 : 2);
    if (r.kind == 0) r.wf = s;
  } else if (method == 2) {  // identity
    r.first = r.last = p + o - ds;
    r.wf = 1;
    r.valid = in(r.first);
  } else {  // nearest
    r.first = r.last = o + s * u / d;
    r.wf = 1;
    r.valid = in(r.first);
  }
  return r;
}

int NaiveMethod(TStretchMode mode, int64_t s, int64_t d) {
  if (mode == smFast) return 3;
  if (s == d) return 2;
  if (mode == smMedium) return d < s ? 0 : 1;
  return d < s ? 1 : 0;
}

int64_t NaiveDivisor(int m, int64_t s, int64_t d) {
  return m == 0 ? 2 * d : m == 1 ? s : 1;
}

void NaiveStretch(TPixelGraphic& dst, int dl, int dt, int dw, int dh, const TPixelGraphic& src,
                  int sl, int st, int sw, int sh) {
  const int hm = NaiveMethod(dst.StretchMode(), sw, dw),
            vm = NaiveMethod(dst.StretchMode(), sh, dh);
  const int64_t hd = NaiveDivisor(hm, sw, dw), vd = NaiveDivisor(vm, sh, dh);
  for (int y = std::max(dt, 0); y <= std::min(dt + dh - 1, dst.Height() - 1); ++y) {
    const Span rs = NaiveSpan(vm, y, dt, dh, st, sh, src.Height());
    if (!rs.valid) continue;
    for (int x = std::max(dl, 0); x <= std::min(dl + dw - 1, dst.Width() - 1); ++x) {
      const Span cs = NaiveSpan(hm, x, dl, dw, sl, sw, src.Width());
      if (!cs.valid) continue;
      int64_t acc[3] = {0, 0, 0};
      for (int64_t i = rs.first; i <= rs.last; ++i) {
        int64_t k = i == rs.first ? rs.wf : i == rs.last ? rs.wl : dh;
        if (rs.kind == 0 && i != rs.first) continue;
        int64_t sum[3] = {0, 0, 0};
        for (int64_t j = cs.first; j <= cs.last; ++j) {
          int64_t w = j == cs.first ? cs.wf : j == cs.last ? cs.wl : dw;
          if (cs.kind == 0 && j != cs.first) continue;
          const TRGB c = src.PixelColor(static_cast<int>(j), static_cast<int>(i));
          sum[0] += w * GetR(c);
          sum[1] += w * GetG(c);
          sum[2] += w * GetB(c);
        }
        for (int ch = 0; ch < 3; ++ch) acc[ch] += sum[ch] / hd * k;
      }
      dst.SetPixel(x, y,
                   RGB(static_cast<uint32_t>(acc[0] / vd), static_cast<uint32_t>(acc[1] / vd),
                       static_cast<uint32_t>(acc[2] / vd)));
    }
  }
}

bool SamePixels(const TPixelGraphic& a, const TPixelGraphic& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.PixelColor(x, y) != b.PixelColor(x, y)) return false;
  return true;
}

TEST(StretchCopy, HalvingAndDoublingExamples) {
  EXPECT_EQ(Resample(4, 1, {10, 20, 30, 40}, 2, 1, smPrecise), (std::vector<int>{15, 35}));
  EXPECT_EQ(Resample(4, 1, {10, 20, 30, 40}, 2, 1, smMedium), (std::vector<int>{15, 35}));
  EXPECT_EQ(Resample(4, 1, {10, 20, 30, 40}, 2, 1, smFast), (std::vector<int>{10, 30}));
  EXPECT_EQ(Resample(2, 1, {0, 100}, 4, 1, smPrecise), (std::vector<int>{0, 25, 75, 100}));
  EXPECT_EQ(Resample(2, 1, {0, 100}, 4, 1, smMedium), (std::vector<int>{0, 0, 100, 100}));
  EXPECT_EQ(Resample(2, 1, {0, 100}, 4, 1, smFast), (std::vector<int>{0, 0, 100, 100}));
  // The same along the vertical axis.
  EXPECT_EQ(Resample(1, 4, {10, 20, 30, 40}, 1, 2, smPrecise), (std::vector<int>{15, 35}));
  EXPECT_EQ(Resample(1, 2, {0, 100}, 1, 4, smPrecise), (std::vector<int>{0, 25, 75, 100}));
  EXPECT_EQ(Resample(1, 2, {0, 100}, 1, 4, smMedium), (std::vector<int>{0, 0, 100, 100}));
}

TEST(StretchCopy, OnePixelSourceFillsEveryMode) {
  for (TStretchMode mode : {smFast, smMedium, smPrecise}) {
    auto src = std::make_unique<TPixelGraphic>();
    src->SetSize(1, 1, pf24Bit);
    src->SetPixel(0, 0, RGB(12, 200, 77));
    TPixelGraphic dst;
    dst.SetSize(5, 3, pf24Bit);
    dst.SetStretchMode(mode);
    dst.CopyFrom(*src);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) ASSERT_EQ(dst.PixelColor(x, y), RGB(12, 200, 77)) << mode;
  }
}

TEST(StretchCopy, AreaDownscaleIsTheBoxAverage) {
  auto src = Noise24(12, 9, 7);
  TPixelGraphic dst;
  dst.SetSize(4, 3, pf24Bit);  // 3 x 3 boxes
  dst.CopyFrom(*src);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      int sum = 0;
      for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
          sum += static_cast<int>(GetG(src->PixelColor(3 * x + i, 3 * y + j)));
      // Each row's sum is divided before the rows are combined.
      int rows = 0;
      for (int j = 0; j < 3; ++j) {
        int r = 0;
        for (int i = 0; i < 3; ++i)
          r += 3 * static_cast<int>(GetG(src->PixelColor(3 * x + i, 3 * y + j)));
        rows += r / 9 * 3;
      }
      EXPECT_EQ(static_cast<int>(GetG(dst.PixelColor(x, y))), rows / 9);
      EXPECT_NEAR(static_cast<int>(GetG(dst.PixelColor(x, y))), sum / 9, 1);
    }
}

TEST(StretchCopy, MatchesPerPixelRulesOnRandomGeometry) {
  std::mt19937 rng(2024);
  for (int iter = 0; iter < 300; ++iter) {
    const int sw = 1 + static_cast<int>(rng() % 13), sh = 1 + static_cast<int>(rng() % 13);
    auto src = Noise24(sw, sh, static_cast<unsigned>(iter));
    const int dw = 1 + static_cast<int>(rng() % 17), dh = 1 + static_cast<int>(rng() % 17);
    const TStretchMode mode = static_cast<TStretchMode>(rng() % 3);
    // Rectangles partly outside either image exercise clipping and edge clamps.
    const int dl = static_cast<int>(rng() % 5) - 2, dt = static_cast<int>(rng() % 5) - 2;
    const int rw = 1 + static_cast<int>(rng() % 19), rh = 1 + static_cast<int>(rng() % 19);
    const int sl = static_cast<int>(rng() % 5) - 2, st = static_cast<int>(rng() % 5) - 2;
    const int srw = 1 + static_cast<int>(rng() % 15), srh = 1 + static_cast<int>(rng() % 15);
    if (rw == srw && rh == srh) continue;
    TPixelGraphic a, b;
    for (TPixelGraphic* g : {&a, &b}) {
      g->SetSize(dw, dh, pf24Bit);
      g->SetStretchMode(mode);
      for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) g->SetPixel(x, y, RGB(1, 2, 3));
    }
    a.StretchCopy(dl, dt, rw, rh, *src, sl, st, srw, srh);
    NaiveStretch(b, dl, dt, rw, rh, *src, sl, st, srw, srh);
    ASSERT_TRUE(SamePixels(a, b)) << "iteration " << iter;
  }
}

using test_support::NoiseOfFormat;

// Output fingerprints of resampling copies from sources of every pixel format,
// up and down, odd sizes, partly clipped rectangles and a dithered palette
// destination. The expected values were recorded from the straightforward
// row-by-row implementation this resampler replaced (the same tap and divisor
// rules, scalar 64-bit division); any change of a single output byte shows.
uint64_t Fingerprint(const TPixelGraphic& g) {
  uint64_t hash = 14695981039346656037ull;
  for (int y = 0; y < g.Height(); ++y)
    for (int x = 0; x < g.Width(); ++x) {
      hash ^= g.PixelColor(x, y);
      hash *= 1099511628211ull;
    }
  return hash;
}

TEST(StretchCopy, OutputBytesAreUnchanged) {
  struct Case {
    int sw, sh;
    TPGPixelFormat source;
    int dw, dh;
    TPGPixelFormat dest;
    int dl, dt;  // destination rectangle offset; the rectangle is dw x dh
    uint64_t medium, precise;
  };
  const Case cases[] = {
      {461, 259, pf24Bit, 192, 108, pf24Bit, 0, 0, 0xe70421fe927f6a70ull, 0x4716ad00f5491bbull},
      {37, 23, pf24Bit, 101, 67, pf24Bit, 0, 0, 0x19a09207ec585f84ull, 0x7f6f1f9a8be2a4b1ull},
      {333, 211, pf24Bit, 97, 143, pf24Bit, 0, 0, 0xfeb36ef64f6c1500ull, 0xa07c62e565fe5a97ull},
      {1001, 7, pf24Bit, 13, 3, pf24Bit, 0, 0, 0x51c7eb81f9dccc65ull, 0xf4958da5dbd67902ull},
      {640, 480, pf24Bit, 171, 97, pf24Bit, -5, -40, 0x8e2f3d470f3894aeull, 0x16bd8830d9a4df12ull},
      {200, 150, pf8Bit, 77, 301, pf24Bit, 0, 0, 0xb8bf873ed54ae303ull, 0xc4e31097fdcb74f1ull},
      {123, 45, pf4Bit, 50, 19, pf24Bit, 0, 0, 0xe7892423d9a34710ull, 0x266670a83917fafbull},
      {4608, 9, pf24Bit, 1920, 4, pf24Bit, 0, 0, 0x34a175eb1b017af6ull, 0x6afa0a99bd3890b5ull},
      {40000, 3, pf24Bit, 7, 2, pf24Bit, 0, 0, 0x458c8213352a841ull, 0x30eb4f2b8f826a0bull},
      {3, 2, pf24Bit, 30000, 5, pf24Bit, 0, 0, 0xacad9207d9be8625ull, 0x32272198851209b8ull},
      {99, 101, pf1Bit, 250, 33, pf24Bit, 0, 0, 0x59ce3d6c417eee22ull, 0x2d2b132276beda46ull},
      {160, 120, pf24Bit, 61, 47, pf8Bit, 3, 2, 0xa5b2522fba0c7fa8ull, 0xc73688570b671f5cull},
  };
  for (const Case& c : cases) {
    auto source = NoiseOfFormat(c.sw, c.sh, c.source, static_cast<unsigned>(c.sw * 31 + c.sh));
    for (TStretchMode mode : {smMedium, smPrecise}) {
      TPixelGraphic dest;
      dest.SetSize(c.dw, c.dh, c.dest);
      if (c.dest != pf24Bit) {
        dest.SetPaletteCount(dest.PaletteCapacity());
        for (int i = 0; i < dest.PaletteCount(); ++i)
          dest.SetPaletteColor(i, RGB(static_cast<uint32_t>(i), static_cast<uint32_t>(255 - i),
                                      static_cast<uint32_t>(i * 7 % 256)));
      }
      dest.SetStretchMode(mode);
      dest.StretchCopy(c.dl, c.dt, c.dw, c.dh, *source, 0, 0, c.sw, c.sh);
      EXPECT_EQ(Fingerprint(dest), mode == smMedium ? c.medium : c.precise)
          << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh << " mode " << int(mode);
    }
  }
}

// Lines of s samples averaged into one pixel divide their sum by s exactly:
// sums just below, at and above multiples of short and long divisors.
TEST(StretchCopy, BoxAverageOfLongLinesIsTheExactFloor) {
  for (const int s : {3, 41, 97, 1000, 2592, 4608, 16383, 16384, 40000, 65535}) {
    for (const bool vertical : {false, true}) {
      const int64_t n = s;
      // Four columns of s samples each, or sixteen columns s rows high.
      const int lines = vertical ? 16 : 4;
      for (const int64_t k : {int64_t{1}, int64_t{128}, int64_t{255}}) {
        const int64_t sums[3] = {k * n - 1, k * n, std::min(k * n + 1, 255 * n)};
        auto src = std::make_unique<TPixelGraphic>();
        src->SetSize(vertical ? lines : lines * s, vertical ? s : 1, pf24Bit);
        for (int y = 0; y < src->Height(); ++y)
          for (int x = 0; x < src->Width(); ++x) {
            const int i = vertical ? y : x % s;
            uint32_t c[3];
            for (int ch = 0; ch < 3; ++ch)
              c[ch] = static_cast<uint32_t>(sums[ch] / n + (i < sums[ch] % n ? 1 : 0));
            src->SetPixel(x, y, RGB(c[0], c[1], c[2]));
          }
        TPixelGraphic dst;
        dst.SetSize(lines, 1, pf24Bit);
        dst.CopyFrom(*src);
        const TRGB expected =
            RGB(static_cast<uint32_t>(sums[0] / n), static_cast<uint32_t>(sums[1] / n),
                static_cast<uint32_t>(sums[2] / n));
        for (int x = 0; x < lines; ++x)
          ASSERT_EQ(dst.PixelColor(x, 0), expected) << s << (vertical ? " rows" : " columns");
      }
    }
  }
}

TEST(StretchCopy, PaletteSourceReadsItsColours) {
  TPixelGraphic src;
  src.SetSize(2, 1, pf8Bit);
  src.SetPaletteCount(2);
  src.SetPaletteColor(0, RGB(0, 0, 0));
  src.SetPaletteColor(1, RGB(200, 100, 40));
  src.SetPixel(1, 0, 1);
  TPixelGraphic dst;
  dst.SetSize(4, 1, pf24Bit);
  dst.CopyFrom(src);
  EXPECT_EQ(dst.PixelColor(1, 0), RGB(50, 25, 10));
  EXPECT_EQ(dst.PixelColor(3, 0), RGB(200, 100, 40));
}

TEST(StretchCopy, ProgressAbortAndDegenerateRectangles) {
  auto src = Noise24(8, 8, 3);
  TPixelGraphic dst;
  dst.SetSize(4, 4, pf24Bit);
  std::vector<int> steps;
  int starts = 0, ends = 0;
  dst.OnProgressStart = [&](TPixelGraphic&) { ++starts; };
  dst.OnProgressEnd = [&](TPixelGraphic&) { ++ends; };
  dst.OnProgress = [&](TPixelGraphic&, int step, int max, bool& abort) {
    steps.push_back(step);
    EXPECT_EQ(max, 3);
    abort = step == 1;
  };
  dst.CopyFrom(*src);
  EXPECT_EQ(steps, (std::vector<int>{0, 1}));
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.PixelColor(x, 2), 0u) << "rows after the abort stay";
  EXPECT_NE(dst.PixelColor(0, 0) | dst.PixelColor(1, 0) | dst.PixelColor(2, 0), 0u);

  // Zero-sized rectangles describe nothing and must not divide by zero.
  TPixelGraphic quiet;
  quiet.SetSize(3, 3, pf24Bit);
  quiet.StretchCopy(0, 0, 0, 3, *src, 0, 0, 8, 8);
  quiet.StretchCopy(0, 0, 3, 3, *src, 0, 0, 0, 8);
  quiet.StretchCopy(0, 0, 3, 3, *src, 0, 0, 8, -4);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(quiet.PixelColor(x, y), 0u);
}

TEST(Rotate, QuarterTurnsPlaceEveryPixel) {
  for (auto [w, h] : std::vector<std::pair<int, int>>{
           {3, 2}, {5, 4}, {4, 5}, {4, 4}, {3, 3}, {1, 1}, {1, 7}, {6, 1}, {37, 70}}) {
    auto src = Noise24(w, h, static_cast<unsigned>(w * 100 + h));
    auto right = RotateRight90(*src);
    auto left = RotateLeft90(*src);
    auto half = Rotate180(*src);
    ASSERT_EQ(right->Width(), h);
    ASSERT_EQ(right->Height(), w);
    ASSERT_EQ(left->Width(), h);
    ASSERT_EQ(half->Width(), w);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const TRGB c = src->PixelColor(x, y);
        ASSERT_EQ(right->PixelColor(h - 1 - y, x), c) << w << "x" << h;
        ASSERT_EQ(left->PixelColor(y, w - 1 - x), c) << w << "x" << h;
        ASSERT_EQ(half->PixelColor(w - 1 - x, h - 1 - y), c) << w << "x" << h;
      }
  }
}

TEST(Rotate, QuarterTurnsOfPaletteImagesKeepFormatAndColours) {
  for (TPGPixelFormat format : {pf1Bit, pf4Bit, pf8Bit}) {
    TPixelGraphic src;
    src.SetSize(5, 4, format);
    const int n = src.PaletteCapacity();
    src.SetPaletteCount(n);
    for (int i = 0; i < n; ++i)
      src.SetPaletteColor(i, RGB(i * 255 / (n - 1), 0, 255 - i * 255 / (n - 1)));
    src.SetDither(false);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x) src.SetPixel(x, y, static_cast<uint32_t>((x * 7 + y * 3) % n));
    auto right = RotateRight90(src);
    auto left = RotateLeft90(src);
    auto toTrue = TurnImage(src, TTurn::Half, true);
    EXPECT_EQ(right->PixelFormat(), format);
    EXPECT_EQ(toTrue->PixelFormat(), pf24Bit);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x) {
        EXPECT_EQ(right->PixelColor(3 - y, x), src.PixelColor(x, y));
        // Neighbouring entries of the 256-colour palette share colour-cache
        // cells; the turn must still keep every index.
        EXPECT_EQ(right->Pixel(3 - y, x), src.Pixel(x, y));
        EXPECT_EQ(left->PixelColor(y, 4 - x), src.PixelColor(x, y));
        EXPECT_EQ(toTrue->PixelColor(4 - x, 3 - y), src.PixelColor(x, y));
      }
  }
}

TEST(Rotate, PartialSourceRectangleAndProgressAbort) {
  auto src = Noise24(6, 4, 11);
  TPixelGraphic dst;
  dst.SetSize(8, 8, pf24Bit);
  // Turn only the 2 x 3 block at (1, 1); everything else stays as it was.
  dst.Rotate(4, 4, *src, 1, 1, 2, 3, 1, 1, 90);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const int sx = 1 + (y - 4), sy = 1 - (x - 4);
      const bool in = sx >= 1 && sx <= 2 && sy >= 1 && sy <= 3;
      EXPECT_EQ(dst.PixelColor(x, y), in ? src->PixelColor(sx, sy) : 0u) << x << "," << y;
    }

  auto big = Noise24(40, 70, 5);
  auto watched = NewImageLike(*big, 70, 40, pf24Bit);
  int last = -1;
  watched->OnProgress = [&](TPixelGraphic&, int step, int max, bool& abort) {
    EXPECT_EQ(max, 39);
    last = step;
    abort = step == 4;
  };
  watched->Rotate(69 - 35, 20, *big, 0, 0, 40, 70, 20, 35, 90);
  EXPECT_EQ(last, 4);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 70; ++x) {
      const TRGB expected = y <= 4 ? big->PixelColor(y, 69 - x) : 0u;
      ASSERT_EQ(watched->PixelColor(x, y), expected) << x << "," << y;
    }
}

TEST(Rotate, BilinearAndNearestAtOtherAngles) {
  auto flat = std::make_unique<TPixelGraphic>();
  flat->SetSize(20, 20, pf24Bit);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) flat->SetPixel(x, y, RGB(90, 140, 210));
  TPixelGraphic dst;
  dst.SetSize(30, 30, pf24Bit);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) dst.SetPixel(x, y, RGB(1, 1, 1));
  dst.Rotate(15, 15, *flat, 0, 0, 20, 20, 10, 10, 45);
  EXPECT_EQ(dst.PixelColor(15, 15), RGB(90, 140, 210));
  EXPECT_EQ(dst.PixelColor(0, 0), RGB(1, 1, 1)) << "outside the turned square nothing is written";

  // A negligible angle samples the source almost exactly at its pixels.
  auto noise = Noise24(9, 7, 8);
  TPixelGraphic same;
  same.SetSize(9, 7, pf24Bit);
  same.Rotate(4, 3, *noise, 0, 0, 9, 7, 4, 3, 1e-12L);
  EXPECT_TRUE(SamePixels(same, *noise));
  TPixelGraphic nearest;
  nearest.SetSize(9, 7, pf24Bit);
  nearest.SetRotateBilinear(false);
  nearest.Rotate(4, 3, *noise, 0, 0, 9, 7, 4, 3, 0.01L);
  EXPECT_TRUE(SamePixels(nearest, *noise));
}

TEST(Mirror, TwiceRestoresAndSinglePixelWidthIsUnchanged) {
  for (TPGPixelFormat format : {pf1Bit, pf4Bit, pf8Bit, pf24Bit}) {
    for (auto [w, h] : std::vector<std::pair<int, int>>{{1, 5}, {7, 3}, {8, 8}, {13, 2}}) {
      TPixelGraphic g;
      g.SetSize(w, h, format);
      std::mt19937 rng(static_cast<unsigned>(w * h + format));
      const uint32_t mask = format == pf24Bit ? 0xFFFFFF : (1u << g.BitsPerPixel()) - 1;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) g.SetPixel(x, y, rng() & mask);
      TPixelGraphic copy;
      copy.Assign(g);
      g.MirrorHorizontal();
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(g.Pixel(x, y), copy.Pixel(w - 1 - x, y));
      g.MirrorHorizontal();
      g.MirrorVertical();
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) ASSERT_EQ(g.Pixel(x, y), copy.Pixel(x, h - 1 - y));
      g.MirrorVertical();
      ASSERT_EQ(std::vector<uint8_t>(g.Bits(), g.Bits() + g.ImageSize()),
                std::vector<uint8_t>(copy.Bits(), copy.Bits() + copy.ImageSize()));
    }
  }
}

TEST(Mirror, AbortLeavesExactlyTheReportedColumnsMirrored) {
  auto g = Noise24(300, 5, 9);
  TPixelGraphic copy;
  copy.Assign(*g);
  int calls = 0;
  g->OnProgress = [&](TPixelGraphic&, int step, int max, bool& abort) {
    EXPECT_EQ(max, 299);
    ++calls;
    abort = step == 100;
  };
  g->MirrorVertical();
  EXPECT_EQ(calls, 101);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 300; ++x)
      ASSERT_EQ(g->Pixel(x, y), copy.Pixel(x, x <= 100 ? 4 - y : y)) << x << "," << y;

  auto r = Noise24(4, 6, 10);
  TPixelGraphic rcopy;
  rcopy.Assign(*r);
  r->OnProgress = [&](TPixelGraphic&, int step, int, bool& abort) { abort = step == 2; };
  r->MirrorHorizontal();
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(r->Pixel(x, y), rcopy.Pixel(y <= 2 ? 3 - x : x, y));
}

TEST(Crop, KeepsPaletteAndCopiesRawValues) {
  TPixelGraphic g;
  g.SetSize(6, 5, pf8Bit);
  g.SetPaletteIdent(pGray256);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) g.SetPixel(x, y, static_cast<uint32_t>(x * 10 + y));
  auto c = CropImage(g, 2, 1, 3, 3);
  EXPECT_EQ(c->PixelFormat(), pf8Bit);
  EXPECT_EQ(c->PaletteIdent(), pGray256);
  EXPECT_EQ(c->PaletteCount(), 256);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(c->Pixel(x, y), static_cast<uint32_t>((x + 2) * 10 + y + 1));

  TPixelGraphic bits;
  bits.SetSize(9, 3, pf4Bit);
  bits.SetPaletteCount(16);
  for (int x = 0; x < 9; ++x) bits.SetPixel(x, 1, static_cast<uint32_t>(x));
  auto cb = CropImage(bits, 3, 1, 5, 1);
  for (int x = 0; x < 5; ++x) EXPECT_EQ(cb->Pixel(x, 0), static_cast<uint32_t>(x + 3));
}

TEST(Resize, KeepsFormatAndStretchMode) {
  auto src = Gray24(4, 1, {10, 20, 30, 40});
  src->SetStretchMode(smFast);
  auto r = ResizeImage(*src, 2, 1);
  EXPECT_EQ(r->StretchMode(), smFast);
  EXPECT_EQ(RedRow(*r), (std::vector<int>{10, 30}));
  src->SetStretchMode(smPrecise);
  EXPECT_EQ(RedRow(*ResizeImage(*src, 2, 1)), (std::vector<int>{15, 35}));
}

// ---- Against ImageMagick ----------------------------------------------------

const char* const kMagick = "/usr/bin/convert-im6.q16";

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "korvane_geom_" + name;
}

// Reads a binary PPM (P6, maxval 255) into a 24-bit image.
std::unique_ptr<TPixelGraphic> ReadPPM(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  in >> magic >> w >> h >> maxval;
  in.get();
  if (magic != "P6" || maxval != 255) return nullptr;
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, pf24Bit);
  std::vector<unsigned char> row(static_cast<size_t>(3 * w));
  for (int y = 0; y < h; ++y) {
    in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size()));
    for (int x = 0; x < w; ++x) g->SetPixel(x, y, RGB(row[3 * x], row[3 * x + 1], row[3 * x + 2]));
  }
  return in ? std::move(g) : nullptr;
}

bool RunTool(const std::string& command) {
  return std::system((command + " 2>/dev/null").c_str()) == 0;
}

TEST(GeometryInterop, TurnsAndFlipsMatchImageMagick) {
  if (!std::ifstream(kMagick)) GTEST_SKIP() << "ImageMagick not installed";
  for (auto [w, h] : std::vector<std::pair<int, int>>{{31, 18}, {20, 33}, {64, 64}}) {
    const std::string base = TempPath("src.ppm");
    std::ostringstream gen;
    gen << kMagick << " -size " << w << "x" << h << " -seed 7 plasma:fractal -depth 8 " << base;
    ASSERT_TRUE(RunTool(gen.str()));
    auto src = ReadPPM(base);
    ASSERT_TRUE(src);
    struct Case {
      const char* option;
      std::function<std::unique_ptr<TPixelGraphic>(const TPixelGraphic&)> ours;
    };
    const std::vector<Case> cases = {
        {"-rotate 90", [](const TPixelGraphic& s) { return RotateRight90(s); }},
        {"-rotate -90", [](const TPixelGraphic& s) { return RotateLeft90(s); }},
        {"-rotate 180", [](const TPixelGraphic& s) { return Rotate180(s); }},
        {"-flop",
         [](const TPixelGraphic& s) {
           auto c = NewImageLike(s, s.Width(), s.Height(), pf24Bit);
           c->Assign(s);
           c->MirrorHorizontal();
           return c;
         }},
        {"-flip",
         [](const TPixelGraphic& s) {
           auto c = NewImageLike(s, s.Width(), s.Height(), pf24Bit);
           c->Assign(s);
           c->MirrorVertical();
           return c;
         }},
    };
    for (const Case& c : cases) {
      const std::string out = TempPath("out.ppm");
      ASSERT_TRUE(RunTool(std::string(kMagick) + " " + base + " " + c.option + " " + out));
      auto theirs = ReadPPM(out);
      ASSERT_TRUE(theirs);
      auto ours = c.ours(*src);
      EXPECT_TRUE(SamePixels(*ours, *theirs)) << c.option << " on " << w << "x" << h;
    }
  }
}

}  // namespace
}  // namespace pgraphic
