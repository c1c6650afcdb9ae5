#include "codec/wavelet.h"

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <type_traits>

namespace codec {

int VQNThreads = 0;

int EffectiveThreads() {
  if (VQNThreads > 0) return VQNThreads;
  unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(std::min(n, 16u));
}

void ParallelRows(int count, int threads, const std::function<void(int, int)>& fn) {
  if (count <= 0) return;
  // Small jobs are not worth a thread.
  threads = std::clamp(std::min(threads, count / 16), 1, 64);
  if (threads == 1) {
    fn(0, count);
    return;
  }
  std::vector<std::thread> workers;
  workers.reserve(static_cast<size_t>(threads - 1));
  std::exception_ptr failure;
  std::vector<std::exception_ptr> failures(static_cast<size_t>(threads));
  auto part = [&](int i) {
    int begin = static_cast<int>(static_cast<int64_t>(count) * i / threads);
    int end = static_cast<int>(static_cast<int64_t>(count) * (i + 1) / threads);
    try {
      fn(begin, end);
    } catch (...) {
      failures[static_cast<size_t>(i)] = std::current_exception();
    }
  };
  for (int i = 1; i < threads; ++i) workers.emplace_back(part, i);
  part(0);
  for (auto& t : workers) t.join();
  for (auto& f : failures) {
    if (f) std::rethrow_exception(f);
  }
}

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
  for (auto& b : Band) {
    b.clear();
    b.shrink_to_fit();
    b.resize(static_cast<size_t>(g.BandSize()));
  }
}

namespace {

inline int16_t Narrow(int32_t v) { return static_cast<int16_t>(v); }

// Round(0.0001 * sum) as the loops compute it: through the double product, which
// vectorises. Kept in separate statements so that no multiply-add is fused.
inline int32_t RoundK(int32_t sum) {
  constexpr double kShift = 6755399441055744.0;  // 1.5 * 2^52
  const double product = static_cast<double>(sum) * 0.0001;
  const double shifted = product + kShift;
  return static_cast<int32_t>(shifted - kShift);
}

// The horizontal analysis of one rounded row (split into even and odd samples)
// into two band rows; returns the largest |coefficient| of the high-pass row
// when `trackHigh`, of both rows otherwise.
template <int F>
int HorizontalAnalysis(const int16_t* __restrict even, const int16_t* __restrict odd, int16_t* __restrict low,
                       int16_t* __restrict high, int count, const int* lo, const int* hi, bool trackLow) {
  constexpr int half = F / 2;
  int l0 = lo[0], l1 = lo[1], l2 = lo[2], l3 = lo[3], l4 = F > 4 ? lo[4] : 0, l5 = F > 4 ? lo[5] : 0;
  int h0 = hi[0], h1 = hi[1], h2 = hi[2], h3 = hi[3], h4 = F > 4 ? hi[4] : 0, h5 = F > 4 ? hi[5] : 0;
  int maxLow = 0, maxHigh = 0;
  for (int u = 0; u < count; ++u) {
    int32_t sl = l0 * odd[u] + l1 * even[u] + l2 * odd[u - 1] + l3 * even[u - 1];
    int32_t sh = h0 * odd[u] + h1 * even[u] + h2 * odd[u - 1] + h3 * even[u - 1];
    if constexpr (half == 3) {
      sl += l4 * odd[u - 2] + l5 * even[u - 2];
      sh += h4 * odd[u - 2] + h5 * even[u - 2];
    }
    const int16_t cl = Narrow(RoundK(sl));
    const int16_t ch = Narrow(RoundK(sh));
    low[u] = cl;
    high[u] = ch;
    const int al = cl < 0 ? -cl : cl, ah = ch < 0 ? -ch : ch;
    maxLow = maxLow > al ? maxLow : al;
    maxHigh = maxHigh > ah ? maxHigh : ah;
  }
  return trackLow ? (maxLow > maxHigh ? maxLow : maxHigh) : maxHigh;
}

// One vertical (or horizontal) synthesis step: Round(f . x) + Round(g . y) over
// `half` taps, x and y read at rows (columns) given by the pointer triples.
template <int half>
void Synthesis(const int16_t* __restrict x0, const int16_t* __restrict x1, const int16_t* __restrict x2,
               const int16_t* __restrict y0, const int16_t* __restrict y1, const int16_t* __restrict y2,
               int16_t* __restrict out, int count, const int* f, const int* g) {
  const int f0 = f[0], f1 = f[1], f2 = half > 2 ? f[2] : 0;
  const int g0 = g[0], g1 = g[1], g2 = half > 2 ? g[2] : 0;
  for (int u = 0; u < count; ++u) {
    int32_t sx = f0 * x0[u] + f1 * x1[u];
    int32_t sy = g0 * y0[u] + g1 * y1[u];
    if constexpr (half == 3) {
      sx += f2 * x2[u];
      sy += g2 * y2[u];
    }
    out[u] = Narrow(Narrow(RoundK(sx)) + Narrow(RoundK(sy)));
  }
}

// Rows of the input plane as 16-bit samples: direct for 16-bit planes, through a
// small cache of converted rows for 8-bit pixel components.
template <class T>
class SourceRows {
 public:
  SourceRows(const PlaneView<T>& in, int slots) : in_(in) {
    if (!Direct()) {
      tags_.assign(static_cast<size_t>(slots), -1);
      rows_.resize(static_cast<size_t>(slots) * static_cast<size_t>(in.Width));
    }
  }
  const int16_t* Row(int y) {
    if constexpr (std::is_same_v<T, int16_t>) {
      if (Direct()) return in_.Base + y * in_.RowStride;
    }
    const size_t slot = static_cast<size_t>(y) % tags_.size();
    int16_t* row = rows_.data() + slot * static_cast<size_t>(in_.Width);
    if (tags_[slot] != y) {
      const T* src = in_.Base + y * in_.RowStride;
      const ptrdiff_t step = in_.Step;
      for (int x = 0; x < in_.Width; ++x) row[x] = static_cast<int16_t>(src[x * step]);
      tags_[slot] = y;
    }
    return row;
  }

 private:
  bool Direct() const { return std::is_same_v<T, int16_t> && in_.Step == 1; }
  const PlaneView<T>& in_;
  std::vector<int> tags_;
  std::vector<int16_t> rows_;
};

// One forward level on band rows [v0, v1). The vertical pass filters the rows the
// band row needs (only the odd rows of the full-length signal enter the bands);
// the horizontal pass works on the rounded row, extended by mirroring at the left
// and repeating the last sample at the right, split into its even and odd samples
// so that every loop reads consecutive memory.
template <class T, int F>
int ForwardRows(const PlaneView<T>& in, LevelBands& out, int v0, int v1) {
  constexpr int pad = F - 2;
  const LevelGeometry& g = out.Geometry;
  const FilterPair& f = AnalysisFilters(F);
  const int w = in.Width, h = in.Height;
  const int hw = g.HalfWidth;
  const int extLen = pad + g.FullWidth;
  const int halfLen = (extLen + 1) / 2;
  std::vector<int16_t> lowExt(static_cast<size_t>(extLen)), highExt(static_cast<size_t>(extLen));
  std::vector<int16_t> lowEven(static_cast<size_t>(halfLen)), lowOdd(static_cast<size_t>(halfLen));
  std::vector<int16_t> highEven(static_cast<size_t>(halfLen)), highOdd(static_cast<size_t>(halfLen));
  int lo[F], hi[F];
  for (int t = 0; t < F; ++t) {
    lo[t] = f.Low[static_cast<size_t>(t)];
    hi[t] = f.High[static_cast<size_t>(t)];
  }
  SourceRows<T> source(in, F + 2);
  int maxAbs = 0;
  for (int v = v0; v < v1; ++v) {
    const int y = 2 * v + 1;
    const int16_t* r[F];
    for (int t = 0; t < F; ++t) r[t] = source.Row(std::min(std::abs(y - t), h - 1));
    int16_t* el = lowExt.data() + pad;
    int16_t* eh = highExt.data() + pad;
    for (int x = 0; x < w; ++x) {
      int32_t sl = 0, sh = 0;
      for (int t = 0; t < F; ++t) {
        sl += lo[t] * r[t][x];
        sh += hi[t] * r[t][x];
      }
      el[x] = Narrow(RoundK(sl));
      eh[x] = Narrow(RoundK(sh));
    }
    for (int j = 1; j <= pad; ++j) {
      el[-j] = el[std::min(j, w - 1)];
      eh[-j] = eh[std::min(j, w - 1)];
    }
    for (int j = w; j < g.FullWidth; ++j) {
      el[j] = el[w - 1];
      eh[j] = eh[w - 1];
    }
    // Extended index i = pad + j; sample j = 2u + 1 - t: an even lag 2k reads
    // odd[u + pad/2 - k], an odd lag 2k + 1 reads even[u + pad/2 - k].
    const int16_t* xl = lowExt.data();
    const int16_t* xh = highExt.data();
    for (int k = 0; k < extLen / 2; ++k) {
      lowEven[static_cast<size_t>(k)] = xl[2 * k];
      lowOdd[static_cast<size_t>(k)] = xl[2 * k + 1];
      highEven[static_cast<size_t>(k)] = xh[2 * k];
      highOdd[static_cast<size_t>(k)] = xh[2 * k + 1];
    }
    if (extLen & 1) {
      lowEven[static_cast<size_t>(extLen / 2)] = xl[extLen - 1];
      highEven[static_cast<size_t>(extLen / 2)] = xh[extLen - 1];
    }
    int16_t* b0 = out.Band[0].data() + static_cast<ptrdiff_t>(v) * hw;
    int16_t* b1 = out.Band[1].data() + static_cast<ptrdiff_t>(v) * hw;
    int16_t* b2 = out.Band[2].data() + static_cast<ptrdiff_t>(v) * hw;
    int16_t* b3 = out.Band[3].data() + static_cast<ptrdiff_t>(v) * hw;
    // Low-pass rows give bands 0 and 2, high-pass rows bands 1 and 3.
    int m = HorizontalAnalysis<F>(lowEven.data() + pad / 2, lowOdd.data() + pad / 2, b0, b2, hw, lo, hi, false);
    m = std::max(m, HorizontalAnalysis<F>(highEven.data() + pad / 2, highOdd.data() + pad / 2, b1, b3, hw, lo, hi,
                                          true));
    maxAbs = std::max(maxAbs, m);
  }
  return maxAbs;
}

template <class T>
int ForwardDispatch(const PlaneView<T>& in, LevelBands& out, int v0, int v1) {
  return out.Geometry.FilterLength == 4 ? ForwardRows<T, 4>(in, out, v0, v1)
                                        : ForwardRows<T, 6>(in, out, v0, v1);
}

// Dequantised rows of one band, filled a block of rows at a time so that bands
// stored column by column are read in runs of consecutive bytes. Two blocks are
// kept: consecutive output rows need at most three consecutive band rows.
class BandRowCache {
 public:
  static constexpr int kBlock = 16;
  BandRowCache(const BandSource& source, int halfWidth, int halfHeight)
      : source_(source), halfWidth_(halfWidth), halfHeight_(halfHeight),
        rows_(source.Words ? 0 : 2 * kBlock * static_cast<size_t>(halfWidth)) {}
  const int16_t* Row(int n) {
    if (source_.Words) return source_.Words + static_cast<ptrdiff_t>(n) * halfWidth_;
    const int block = n / kBlock;
    const size_t slot = static_cast<size_t>(block & 1);
    int16_t* base = rows_.data() + slot * kBlock * static_cast<size_t>(halfWidth_);
    if (tags_[slot] != block) {
      const int first = block * kBlock;
      source_.Block(first, std::min(kBlock, halfHeight_ - first), halfWidth_, base);
      tags_[slot] = block;
    }
    return base + static_cast<ptrdiff_t>(n % kBlock) * halfWidth_;
  }

 private:
  const BandSource& source_;
  int halfWidth_;
  int halfHeight_;
  int tags_[2] = {-1, -1};
  std::vector<int16_t> rows_;
};

template <int F>
void InverseRows(const std::array<BandSource, 4>& bands, const LevelGeometry& g, const OutputSink& out,
                 int r0, int r1) {
  constexpr int half = F / 2;
  const FilterPair& fp = SynthesisFilters(F);
  const int hw = g.HalfWidth, w = g.Width;
  int fl[F], gh[F];
  for (int t = 0; t < F; ++t) {
    fl[t] = fp.Low[static_cast<size_t>(t)];
    gh[t] = fp.High[static_cast<size_t>(t)];
  }
  const int hh = g.HalfHeight;
  std::array<BandRowCache, 4> cache{BandRowCache(bands[0], hw, hh), BandRowCache(bands[1], hw, hh),
                                    BandRowCache(bands[2], hw, hh), BandRowCache(bands[3], hw, hh)};
  std::vector<int16_t> rowA(static_cast<size_t>(hw)), rowC(static_cast<size_t>(hw));
  const int evenCount = (w + 1) / 2, oddCount = w / 2;
  std::vector<int16_t> even(static_cast<size_t>(evenCount)), odd(static_cast<size_t>(oddCount) + 1);
  for (int r = r0; r < r1; ++r) {
    // Output row r is full-length row y = r + F - 1; only taps t with y - t odd
    // take part, reading band row (y - t - 1) / 2.
    const int parity = r & 1;
    const int j = r >> 1;
    const int16_t* rows[4][half];
    int tf[half], tg[half];
    for (int i = 0; i < half; ++i) {
      const int n = j + half - 1 - i;
      for (int b = 0; b < 4; ++b) rows[b][i] = cache[static_cast<size_t>(b)].Row(n);
      tf[i] = fl[2 * i + parity];
      tg[i] = gh[2 * i + parity];
    }
    int16_t* A = rowA.data();
    int16_t* C = rowC.data();
    auto at = [&](int b, int i) { return rows[b][std::min(i, half - 1)]; };
    Synthesis<half>(at(0, 0), at(0, 1), at(0, 2), at(1, 0), at(1, 1), at(1, 2), A, hw, tf, tg);
    Synthesis<half>(at(2, 0), at(2, 1), at(2, 2), at(3, 0), at(3, 1), at(3, 2), C, hw, tf, tg);
    // Output column c = 2q (+1) reads A and C at q + half - 1 - i with the even
    // (odd) taps.
    const int16_t* Ak = A + half - 1;
    const int16_t* Ck = C + half - 1;
    const int evenTaps[3] = {fl[0], fl[2], half > 2 ? fl[4] : 0};
    const int evenTapsG[3] = {gh[0], gh[2], half > 2 ? gh[4] : 0};
    const int oddTaps[3] = {fl[1], fl[3], half > 2 ? fl[5] : 0};
    const int oddTapsG[3] = {gh[1], gh[3], half > 2 ? gh[5] : 0};
    Synthesis<half>(Ak, Ak - 1, Ak - (half - 1), Ck, Ck - 1, Ck - (half - 1), even.data(), evenCount, evenTaps,
                    evenTapsG);
    Synthesis<half>(Ak, Ak - 1, Ak - (half - 1), Ck, Ck - 1, Ck - (half - 1), odd.data(), oddCount, oddTaps,
                    oddTapsG);
    if (out.Words) {
      int16_t* dst = out.Words + static_cast<ptrdiff_t>(r) * out.RowStride;
      for (int q = 0; q < oddCount; ++q) {
        dst[2 * q] = even[static_cast<size_t>(q)];
        dst[2 * q + 1] = odd[static_cast<size_t>(q)];
      }
      if (w & 1) dst[w - 1] = even[static_cast<size_t>(evenCount - 1)];
    } else {
      uint8_t* dst = out.Bytes + static_cast<ptrdiff_t>(r) * out.RowStride;
      const ptrdiff_t step = out.Step;
      auto component = [](int16_t v) {
        const int a = v < 0 ? -static_cast<int>(v) : v;
        return static_cast<uint8_t>(a > 255 ? 255 : a);
      };
      for (int q = 0; q < oddCount; ++q) {
        dst[2 * q * step] = component(even[static_cast<size_t>(q)]);
        dst[(2 * q + 1) * step] = component(odd[static_cast<size_t>(q)]);
      }
      if (w & 1) dst[(w - 1) * step] = component(even[static_cast<size_t>(evenCount - 1)]);
    }
  }
}

}  // namespace

int ForwardLevelRows(const PlaneView<uint8_t>& input, LevelBands& out, int v0, int v1) {
  return ForwardDispatch(input, out, v0, v1);
}

int ForwardLevelRows(const PlaneView<int16_t>& input, LevelBands& out, int v0, int v1) {
  return ForwardDispatch(input, out, v0, v1);
}

void BandSource::Row(int n, int halfWidth, int16_t* out) const {
  if (Words) {
    std::copy(Words + static_cast<ptrdiff_t>(n) * halfWidth, Words + static_cast<ptrdiff_t>(n + 1) * halfWidth,
              out);
    return;
  }
  const uint8_t* p = Bytes + Interleave * (Layout.Offset + n * Layout.RowStep);
  const ptrdiff_t step = Interleave * Layout.ColumnStep;
  for (int u = 0; u < halfWidth; ++u) out[u] = Table[p[u * step]];
}

void BandSource::Block(int n0, int count, int halfWidth, int16_t* out) const {
  if (Words || Layout.ColumnStep == 1) {
    for (int i = 0; i < count; ++i) Row(n0 + i, halfWidth, out + static_cast<ptrdiff_t>(i) * halfWidth);
    return;
  }
  // Column by column: each column holds the block's rows as consecutive positions.
  for (int u = 0; u < halfWidth; ++u) {
    const uint8_t* p = Bytes + Interleave * (Layout.Offset + u * Layout.ColumnStep + n0 * Layout.RowStep);
    const ptrdiff_t step = Interleave * Layout.RowStep;
    for (int i = 0; i < count; ++i) out[static_cast<ptrdiff_t>(i) * halfWidth + u] = Table[p[i * step]];
  }
}

void InverseLevelRows(const std::array<BandSource, 4>& bands, const LevelGeometry& g, const OutputSink& out,
                      int r0, int r1) {
  if (g.FilterLength == 4) {
    InverseRows<4>(bands, g, out, r0, r1);
  } else {
    InverseRows<6>(bands, g, out, r0, r1);
  }
}

}  // namespace codec
