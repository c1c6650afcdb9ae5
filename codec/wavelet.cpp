#include "codec/wavelet.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

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

// One forward level on band rows [v0, v1). The vertical pass filters the rows the
// band row needs (only the odd rows of the full-length signal enter the bands);
// the horizontal pass works on the rounded row, extended by mirroring at the left
// and repeating the last sample at the right.
template <class T, int F>
int ForwardRows(const PlaneView<T>& in, LevelBands& out, int v0, int v1) {
  const LevelGeometry& g = out.Geometry;
  const FilterPair& f = AnalysisFilters(F);
  const int w = in.Width, h = in.Height;
  const int hw = g.HalfWidth;
  constexpr int pad = F - 2;
  const size_t extLen = static_cast<size_t>(pad + g.FullWidth);
  std::vector<int16_t> lowExt(extLen), highExt(extLen);
  std::vector<int32_t> accLow(static_cast<size_t>(w)), accHigh(static_cast<size_t>(w));
  int lo[F], hi[F];
  for (int t = 0; t < F; ++t) {
    lo[t] = f.Low[static_cast<size_t>(t)];
    hi[t] = f.High[static_cast<size_t>(t)];
  }
  int maxAbs = 0;
  for (int v = v0; v < v1; ++v) {
    const int y = 2 * v + 1;
    std::fill(accLow.begin(), accLow.end(), 0);
    std::fill(accHigh.begin(), accHigh.end(), 0);
    for (int t = 0; t < F; ++t) {
      const int row = std::min(std::abs(y - t), h - 1);
      const T* src = in.Base + row * in.RowStride;
      const ptrdiff_t step = in.Step;
      const int cl = lo[t], ch = hi[t];
      int32_t* al = accLow.data();
      int32_t* ah = accHigh.data();
      for (int x = 0; x < w; ++x) {
        const int32_t s = src[x * step];
        al[x] += cl * s;
        ah[x] += ch * s;
      }
    }
    int16_t* el = lowExt.data() + pad;
    int16_t* eh = highExt.data() + pad;
    for (int x = 0; x < w; ++x) {
      el[x] = Narrow(RoundTap(accLow[static_cast<size_t>(x)]));
      eh[x] = Narrow(RoundTap(accHigh[static_cast<size_t>(x)]));
    }
    for (int j = 1; j <= pad; ++j) {
      el[-j] = el[std::min(j, w - 1)];
      eh[-j] = eh[std::min(j, w - 1)];
    }
    for (int j = w; j < g.FullWidth; ++j) {
      el[j] = el[w - 1];
      eh[j] = eh[w - 1];
    }
    int16_t* b0 = out.Band[0].data() + static_cast<ptrdiff_t>(v) * hw;
    int16_t* b1 = out.Band[1].data() + static_cast<ptrdiff_t>(v) * hw;
    int16_t* b2 = out.Band[2].data() + static_cast<ptrdiff_t>(v) * hw;
    int16_t* b3 = out.Band[3].data() + static_cast<ptrdiff_t>(v) * hw;
    for (int u = 0; u < hw; ++u) {
      const int16_t* pl = el + 2 * u + 1;
      const int16_t* ph = eh + 2 * u + 1;
      int32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
      for (int t = 0; t < F; ++t) {
        s0 += lo[t] * pl[-t];
        s2 += hi[t] * pl[-t];
        s1 += lo[t] * ph[-t];
        s3 += hi[t] * ph[-t];
      }
      b0[u] = Narrow(RoundTap(s0));
      const int16_t c1 = Narrow(RoundTap(s1));
      const int16_t c2 = Narrow(RoundTap(s2));
      const int16_t c3 = Narrow(RoundTap(s3));
      b1[u] = c1;
      b2[u] = c2;
      b3[u] = c3;
      maxAbs = std::max({maxAbs, std::abs(static_cast<int>(c1)), std::abs(static_cast<int>(c2)),
                         std::abs(static_cast<int>(c3))});
    }
  }
  return maxAbs;
}

template <class T>
int ForwardDispatch(const PlaneView<T>& in, LevelBands& out, int v0, int v1) {
  return out.Geometry.FilterLength == 4 ? ForwardRows<T, 4>(in, out, v0, v1)
                                        : ForwardRows<T, 6>(in, out, v0, v1);
}

// A few dequantised rows of one band, kept while consecutive output rows use them.
class BandRowCache {
 public:
  BandRowCache(const BandSource& source, int halfWidth, int slots)
      : source_(source), halfWidth_(halfWidth), tags_(static_cast<size_t>(slots), -1),
        rows_(static_cast<size_t>(slots) * static_cast<size_t>(halfWidth)) {}
  const int16_t* Row(int n) {
    if (source_.Words) return source_.Words + static_cast<ptrdiff_t>(n) * halfWidth_;
    const size_t slot = static_cast<size_t>(n) % tags_.size();
    int16_t* row = rows_.data() + slot * static_cast<size_t>(halfWidth_);
    if (tags_[slot] != n) {
      source_.Row(n, halfWidth_, row);
      tags_[slot] = n;
    }
    return row;
  }

 private:
  const BandSource& source_;
  int halfWidth_;
  std::vector<int> tags_;
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
  std::array<BandRowCache, 4> cache{BandRowCache(bands[0], hw, half), BandRowCache(bands[1], hw, half),
                                    BandRowCache(bands[2], hw, half), BandRowCache(bands[3], hw, half)};
  std::vector<int16_t> rowA(static_cast<size_t>(hw)), rowC(static_cast<size_t>(hw));
  std::vector<int16_t> outRow(static_cast<size_t>(w));
  for (int r = r0; r < r1; ++r) {
    // Output row r is full-length row y = r + F - 1; only taps t with y - t odd
    // take part, reading band row (y - t - 1) / 2.
    const int odd = r & 1;
    const int j = r >> 1;
    const int16_t* rows[4][half];
    int tf[half], tg[half];
    for (int i = 0; i < half; ++i) {
      const int n = j + half - 1 - i;
      for (int b = 0; b < 4; ++b) rows[b][i] = cache[static_cast<size_t>(b)].Row(n);
      tf[i] = fl[2 * i + odd];
      tg[i] = gh[2 * i + odd];
    }
    for (int u = 0; u < hw; ++u) {
      int32_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
      for (int i = 0; i < half; ++i) {
        s0 += tf[i] * rows[0][i][u];
        s1 += tg[i] * rows[1][i][u];
        s2 += tf[i] * rows[2][i][u];
        s3 += tg[i] * rows[3][i][u];
      }
      rowA[static_cast<size_t>(u)] = Narrow(static_cast<int16_t>(RoundTap(s0)) + static_cast<int16_t>(RoundTap(s1)));
      rowC[static_cast<size_t>(u)] = Narrow(static_cast<int16_t>(RoundTap(s2)) + static_cast<int16_t>(RoundTap(s3)));
    }
    for (int c = 0; c < w; ++c) {
      const int codd = c & 1;
      const int k = (c >> 1) + half - 1;
      int32_t sa = 0, sc = 0;
      for (int i = 0; i < half; ++i) {
        sa += fl[2 * i + codd] * rowA[static_cast<size_t>(k - i)];
        sc += gh[2 * i + codd] * rowC[static_cast<size_t>(k - i)];
      }
      outRow[static_cast<size_t>(c)] =
          Narrow(static_cast<int16_t>(RoundTap(sa)) + static_cast<int16_t>(RoundTap(sc)));
    }
    if (out.Words) {
      std::copy(outRow.begin(), outRow.end(), out.Words + static_cast<ptrdiff_t>(r) * out.RowStride);
    } else {
      uint8_t* dst = out.Bytes + static_cast<ptrdiff_t>(r) * out.RowStride;
      for (int c = 0; c < w; ++c) {
        const int v = std::abs(static_cast<int>(outRow[static_cast<size_t>(c)]));
        dst[c * out.Step] = static_cast<uint8_t>(v > 255 ? 255 : v);
      }
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
  const uint8_t* p = Bytes + 3 * (Layout.Offset + n * Layout.RowStep);
  const ptrdiff_t step = 3 * Layout.ColumnStep;
  for (int u = 0; u < halfWidth; ++u) out[u] = Table[p[u * step]];
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
