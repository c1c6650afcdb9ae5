// Resampling copy, rotation about a centre and in-place mirroring of TPixelGraphic.
//
// StretchCopy describes every destination column and row by a span of source
// samples with integer weights. The weighted sum of one source row over a column
// span, divided by the horizontal divisor, depends only on that source row and
// that destination column, so it is computed once per source row and shared by
// the destination rows that use it; the results are the same as summing per
// destination pixel.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pgraphic/image/geometry.h"
#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/image/pixelmoves.h"

namespace pgraphic {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

// ---------------------------------------------------------------------------
// Span records

enum class TAxisMethod : uint8_t { Linear, Area, Identity, Nearest };

struct TPGStretchRecord {
  int64_t First = 0;
  int64_t Last = 0;
  int64_t WeightFirst = 0;
  int64_t WeightLast = 0;
  uint8_t Kind = 0;  // 0 single sample, 1 two samples, 2 many samples
  bool Valid = false;
};

TAxisMethod ChooseMethod(TStretchMode mode, int64_t s, int64_t d) {
  if (mode == smFast) return TAxisMethod::Nearest;
  if (d == s) return TAxisMethod::Identity;
  if (mode == smMedium) return d < s ? TAxisMethod::Linear : TAxisMethod::Area;
  return d < s ? TAxisMethod::Area : TAxisMethod::Linear;
}

int64_t AxisDivisor(TAxisMethod method, int64_t s, int64_t d) {
  switch (method) {
    case TAxisMethod::Linear:
      return 2 * d;
    case TAxisMethod::Area:
      return s;
    default:
      return 1;
  }
}

// The span of destination index p on one axis. destStart is destLeft or destTop,
// o is srcLeft or srcTop, s and d the source and destination sizes of the
// rectangles, size the source image's extent on this axis.
TPGStretchRecord MakeSpan(TAxisMethod method, int64_t p, int64_t destStart, int64_t d, int64_t o,
                          int64_t s, int64_t size) {
  TPGStretchRecord r;
  const int64_t u = p - destStart;
  auto inside = [size](int64_t v) { return v >= 0 && v < size; };
  switch (method) {
    case TAxisMethod::Linear: {
      r.First = o + (s + 2 * u * s - d) / (2 * d);
      r.Last = o + (s + 2 * u * s + d) / (2 * d);
      r.Kind = 1;
      r.Valid = inside(r.First) && inside(r.Last);
      if (!r.Valid && d > s &&
          ((r.First < 0 && 0 <= r.Last) || (r.First < size && size <= r.Last))) {
        r.First = std::clamp<int64_t>(r.First, 0, size - 1);
        r.Last = std::clamp<int64_t>(r.Last, 0, size - 1);
        r.Valid = true;
      }
      r.WeightFirst = 2 * d + d + 2 * d * (r.First - o) - s - 2 * u * s;
      r.WeightLast = 2 * d + s + 2 * u * s - d - 2 * d * (r.Last - o);
      if (d + 2 * d * (r.First - o) == s + 2 * u * s || r.First == r.Last) {
        r.Kind = 0;
        r.WeightFirst = 2 * d;
      }
      break;
    }
    case TAxisMethod::Area: {
      r.First = o + (s * u) / d;
      r.Last = o + (s * (u + 1)) / d;
      if ((s * (u + 1)) % d == 0) --r.Last;
      r.Valid = inside(r.First) && inside(r.Last);
      r.WeightFirst = d * (r.First - o + 1) - s * u;
      r.WeightLast = s * (u + 1) - d * (r.Last - o);
      if (r.First == r.Last) {
        r.Kind = 0;
        r.WeightFirst = s;
      } else {
        r.Kind = r.Last - r.First == 1 ? 1 : 2;
      }
      break;
    }
    case TAxisMethod::Identity:
      r.First = r.Last = p + o - destStart;
      r.WeightFirst = 1;
      r.Valid = inside(r.First);
      break;
    case TAxisMethod::Nearest:
      r.First = r.Last = o + (s * u) / d;
      r.WeightFirst = 1;
      r.Valid = inside(r.First);
      break;
  }
  return r;
}

// Appends the (sample, weight) taps of a span; inner samples of a "many" span
// weigh the destination size of the axis.
template <class W>
void AppendTaps(const TPGStretchRecord& r, int64_t d, std::vector<int64_t>& index,
                std::vector<W>& weight) {
  index.push_back(r.First);
  weight.push_back(static_cast<W>(r.WeightFirst));
  if (r.Kind == 0) return;
  if (r.Kind == 2) {
    for (int64_t i = r.First + 1; i < r.Last; ++i) {
      index.push_back(i);
      weight.push_back(static_cast<W>(d));
    }
  }
  index.push_back(r.Last);
  weight.push_back(static_cast<W>(r.WeightLast));
}

// Exact unsigned division of 32-bit numerators by a fixed divisor.
class TFastDivide {
 public:
  explicit TFastDivide(uint64_t d) : d_(d), m_(d > 1 ? ~uint64_t(0) / d + 1 : 0) {}
  uint32_t operator()(uint32_t n) const {
    if (d_ <= 1) return n;
    return static_cast<uint32_t>((static_cast<unsigned __int128>(m_) * n) >> 64);
  }

 private:
  uint64_t d_, m_;
};

// Divisors below this are divided exactly in single precision (TFloatDivide).
constexpr uint64_t kFloatDivisorLimit = 1u << 16;

// Releases the dither state when a copying operation ends, also on error.
struct TDitherScope {
  TPixelGraphic& image;
  bool active;
  TDitherScope(TPixelGraphic& g, bool on) : image(g), active(on) {
    if (active) image.PrepareDither();
  }
  ~TDitherScope() {
    if (active) image.ReleaseDither();
  }
};

// Reads the source columns lo..hi of row y as B, G, R bytes (palette sources
// through their colours).
void ReadSourceRowBGR(const TPixelGraphic& source, int64_t y, int64_t lo, int64_t hi,
                      std::vector<uint8_t>& out, const std::vector<TRGB>& colours) {
  const int yi = static_cast<int>(y);
  if (source.PixelFormat() == pf24Bit) return;  // read in place by the caller
  out.resize(static_cast<size_t>(3 * (hi - lo + 1)));
  uint8_t* o = out.data();
  for (int64_t x = lo; x <= hi; ++x, o += 3) {
    const uint32_t v = source.Pixel(static_cast<int>(x), yi);
    const TRGB c = v < colours.size() ? colours[v] : source.PixelColor(static_cast<int>(x), yi);
    o[0] = static_cast<uint8_t>(GetB(c));
    o[1] = static_cast<uint8_t>(GetG(c));
    o[2] = static_cast<uint8_t>(GetR(c));
  }
}

// The colours behind every possible raw value of a palette source.
std::vector<TRGB> SourceColours(const TPixelGraphic& source) {
  std::vector<TRGB> colours;
  if (source.PixelFormat() == pf24Bit || source.PaletteIdent() == pTrueColor) return colours;
  const int capacity = source.PaletteCapacity();
  colours.resize(static_cast<size_t>(capacity));
  for (int i = 0; i < capacity; ++i) {
    colours[static_cast<size_t>(i)] =
        i < source.PaletteCount() ? source.PaletteColor(i)
                                  : (source.PaletteCount() > 0 ? source.PaletteColor(0) : 0);
  }
  return colours;
}

template <class Acc>
struct TStretchJob {
  TPixelGraphic& dest;
  const TPixelGraphic& source;
  int64_t x0, x1, y0, y1;  // destination ranges
  int64_t destTop, destHeight, srcTop, srcHeight;
  TAxisMethod vMethod;
  uint64_t hDivisor, vDivisor;
  // Valid destination columns and their taps.
  std::vector<int> cols{};          // destination x of each valid column
  std::vector<int32_t> tapStart{};  // first tap of each valid column (size cols + 1)
  std::vector<int64_t> tapIndex{};  // source column of each tap (relative to srcLo)
  std::vector<Acc> tapWeight{};
  int64_t srcLo = 0, srcHi = -1;  // source columns read
  // Asked after each row with (row - y0, y1 - y0); true stops the copy.
  const std::function<bool(int, int)>* progress = nullptr;

  void Run();
};

#if defined(__SSE2__)
// Exact floor(n / d) of four lanes 0 <= n < 256 * d, for 0 < d < 2^16.
// Below 2^14 the quotient is (n + 1/2) times the rounded reciprocal: two
// roundings move it by less than 2^-15 <= 1/2d, and (n + 1/2) / d is 1/2d away
// from every integer. Larger divisors use the correctly rounded float quotient,
// which lies within 2^-17 of n / d, itself an integer or at least 1/d below the
// next one.
class TFloatDivide {
 public:
  explicit TFloatDivide(uint64_t d)
      : byReciprocal_(d < (1u << 14)),
        factor_(_mm_set1_ps(byReciprocal_ ? 1.0f / static_cast<float>(d) : static_cast<float>(d))) {
  }
  __m128i operator()(__m128i n) const { return (*this)(_mm_cvtepi32_ps(n)); }
  // The same for sums held exactly as floats.
  __m128i operator()(__m128 f) const {
    if (byReciprocal_)
      return _mm_cvttps_epi32(_mm_mul_ps(_mm_add_ps(f, _mm_set1_ps(0.5f)), factor_));
    return _mm_cvttps_epi32(_mm_div_ps(f, factor_));
  }

 private:
  bool byReciprocal_;
  __m128 factor_;
};

// Two neighbouring samples of one column: the byte offset of the first and both
// weights, repeated as 16-bit pairs across the register.
struct TTapPair {
  __m128i weights;
  int32_t offset;
};

// The quotients of the B, G, R sums of `columns` columns with `P` tap pairs each
// (P == 0: `pairs` of them), four 32-bit lanes per column stored 3 apart. The
// 8 bytes read at a pair's offset, interleaved with themselves moved down one
// pixel, hold the two samples of each channel side by side; widened to 16 bits
// and multiplied by the weight pairs with one madd they give the channel sums.
template <int P>
void SumColumns(const uint8_t* row, const TTapPair* pair, int pairs, size_t columns,
                const TFloatDivide& divide, uint32_t* h) {
  const int count = P > 0 ? P : pairs;
  const __m128i zero = _mm_setzero_si128();
  for (size_t c = 0; c < columns; ++c, h += 3) {
    __m128i sum = zero;
    for (int k = 0; k < count; ++k, ++pair) {
      const __m128i x = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + pair->offset));
      const __m128i pq = _mm_unpacklo_epi8(x, _mm_srli_epi64(x, 24));
      sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi8(pq, zero), pair->weights));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), divide(sum));
  }
}

// out[j] = (sum of weight[i] * rows[i][j]) / d for j < m, as bytes. The products
// and their sums stay below 2^24, so single precision holds them exactly.
void WeightedRows(const uint32_t* const* rows, const uint32_t* weight, int count, size_t m,
                  uint64_t d, uint8_t* out) {
  const TFloatDivide divide(d);
  size_t j = 0;
  for (; j + 16 <= m; j += 16) {
    __m128 sum[4] = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    for (int i = 0; i < count; ++i) {
      const __m128 k = _mm_set1_ps(static_cast<float>(weight[i]));
      for (int q = 0; q < 4; ++q) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i] + j + 4 * q));
        sum[q] = _mm_add_ps(sum[q], _mm_mul_ps(_mm_cvtepi32_ps(v), k));
      }
    }
    const __m128i lo = _mm_packs_epi32(divide(sum[0]), divide(sum[1]));
    const __m128i hi = _mm_packs_epi32(divide(sum[2]), divide(sum[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(lo, hi));
  }
  const TFastDivide div(d);
  for (; j < m; ++j) {
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i) sum += weight[i] * rows[i][j];
    out[j] = static_cast<uint8_t>(div(sum));
  }
}
#endif

// Divides the sums n[0..m) by d into bytes. Sums stay below 256 * d.
template <class Acc>
void DivideRow(const Acc* n, size_t m, uint64_t d, uint8_t* out) {
  size_t j = 0;
  if constexpr (sizeof(Acc) == 4) {
#if defined(__SSE2__)
    if (d < kFloatDivisorLimit) {
      const TFloatDivide divide(d);
      for (; j + 16 <= m; j += 16) {
        auto quad = [&](size_t k) {
          return divide(_mm_loadu_si128(reinterpret_cast<const __m128i*>(n + j + k)));
        };
        const __m128i lo = _mm_packs_epi32(quad(0), quad(4));
        const __m128i hi = _mm_packs_epi32(quad(8), quad(12));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(lo, hi));
      }
    }
#endif
    const TFastDivide div(d);
    for (; j < m; ++j) out[j] = static_cast<uint8_t>(div(n[j]));
  } else {
    for (; j < m; ++j) out[j] = static_cast<uint8_t>(n[j] / d);
  }
}

template <class Acc>
void TStretchJob<Acc>::Run() {
  const size_t n = cols.size();
  const bool dithering = dest.PixelFormat() != pf24Bit && dest.Dither();
  TDitherScope ditherScope(dest, dithering);
  const std::vector<TRGB> colours = SourceColours(source);

  // A small ring of horizontal results, tagged by source row; one spare element
  // takes the fourth lane the vector path writes after the last column.
  constexpr int kRing = 4;
  std::vector<Acc> ring[kRing];
  for (auto& h : ring) h.resize(3 * n + 1);
  int64_t ringRow[kRing] = {-1, -1, -1, -1};
  int ringNext = 0;
  std::vector<uint8_t> rowBGR;
  std::vector<Acc> acc(3 * n);
  std::vector<uint8_t> out(3 * n);
  const size_t rowBytes = static_cast<size_t>(3 * (srcHi - srcLo + 1));

  // The vector path sums each column's taps two at a time: the B, G, R bytes of
  // both samples interleaved as 16-bit pairs and multiplied by (w0, w1) pairs
  // with one madd, which gives the three channel sums in 32-bit lanes. A column
  // with an odd number of taps gets a last pair whose second weight is 0. Each
  // sample is read as 4 bytes, so the columns reading the last source pixel are
  // left to the scalar loop.
  size_t vectorColumns = 0;
  int pairsPerColumn = 0;
#if defined(__SSE2__)
  std::vector<TTapPair> pairs;
  if constexpr (sizeof(Acc) == 4) {
    // Every column's taps are neighbouring samples; their weights must fit the
    // 16-bit madd operands.
    bool fits = hDivisor < kFloatDivisorLimit;
    for (size_t c = 0; c < n && fits; ++c) {
      for (int32_t t = tapStart[c]; t < tapStart[c + 1] && fits; ++t) {
        const size_t i = static_cast<size_t>(t);
        fits = tapWeight[i] <= 0x7FFF && (t == tapStart[c] || tapIndex[i] == tapIndex[i - 1] + 1);
      }
    }
    // Columns before the first one whose 8-byte reads could pass the last source
    // pixel, all given as many pairs as the longest (the extra pairs weigh 0).
    for (size_t c = 0; c < n && fits; ++c) {
      const int32_t taps = tapStart[c + 1] - tapStart[c];
      if (3 * tapIndex[static_cast<size_t>(tapStart[c + 1] - 1)] + 8 >
          static_cast<int64_t>(rowBytes))
        break;
      pairsPerColumn = std::max(pairsPerColumn, (taps + 1) / 2);
      vectorColumns = c + 1;
    }
    pairs.reserve(vectorColumns * static_cast<size_t>(pairsPerColumn));
    for (size_t c = 0; c < vectorColumns; ++c) {
      const size_t t0 = static_cast<size_t>(tapStart[c]), t1 = static_cast<size_t>(tapStart[c + 1]);
      auto weight = [&](size_t t) { return static_cast<int16_t>(t < t1 ? tapWeight[t] : 0u); };
      for (int k = 0; k < pairsPerColumn; ++k) {
        const size_t t = t0 + 2 * static_cast<size_t>(k);
        const int16_t w0 = weight(t), w1 = weight(t + 1);
        pairs.push_back({_mm_setr_epi16(w0, w1, w0, w1, w0, w1, w0, w1),
                         static_cast<int32_t>(3 * tapIndex[t < t1 ? t : t0])});
      }
    }
  }
#endif

  auto horizontal = [&](int64_t sy) -> const Acc* {
    for (int k = 0; k < kRing; ++k) {
      if (ringRow[k] == sy) return ring[k].data();
    }
    const int slot = ringNext;
    ringNext = (ringNext + 1) % kRing;
    ringRow[slot] = sy;
    Acc* h = ring[slot].data();
    const uint8_t* row;
    if (source.PixelFormat() == pf24Bit) {
      row = source.ScanLine(static_cast<int>(sy)) + 3 * srcLo;
    } else {
      ReadSourceRowBGR(source, sy, srcLo, srcHi, rowBGR, colours);
      row = rowBGR.data();
    }
    size_t c = 0;
#if defined(__SSE2__)
    if (vectorColumns > 0) {
      const TFloatDivide divide(hDivisor);
      auto sums = pairsPerColumn == 1   ? SumColumns<1>
                  : pairsPerColumn == 2 ? SumColumns<2>
                                        : SumColumns<0>;
      if constexpr (sizeof(Acc) == 4)
        sums(row, pairs.data(), pairsPerColumn, vectorColumns, divide, h);
      c = vectorColumns;
    }
#endif
    const int64_t* idx = tapIndex.data();
    const Acc* w = tapWeight.data();
    for (; c < n; ++c) {
      Acc s0 = 0, s1 = 0, s2 = 0;
      for (int32_t t = tapStart[c]; t < tapStart[c + 1]; ++t) {
        const uint8_t* p = row + 3 * idx[t];
        s0 += w[t] * p[0];
        s1 += w[t] * p[1];
        s2 += w[t] * p[2];
      }
      h[3 * c] = s0, h[3 * c + 1] = s1, h[3 * c + 2] = s2;
      if constexpr (sizeof(Acc) == 4) {
        const TFastDivide div(hDivisor);
        for (int k = 0; k < 3; ++k) h[3 * c + k] = div(h[3 * c + k]);
      } else {
        for (int k = 0; k < 3; ++k) h[3 * c + k] /= hDivisor;
      }
    }
    return h;
  };

  // Destination columns usually follow one another; then rows are written whole.
  const bool contiguous = n > 0 && cols.back() - cols.front() + 1 == static_cast<int>(n);
  const int64_t sizeY = source.Height();
  for (int64_t y = y0; y <= y1; ++y) {
    const TPGStretchRecord r = MakeSpan(vMethod, y, destTop, destHeight, srcTop, srcHeight, sizeY);
    if (!r.Valid) continue;
    const int yi = static_cast<int>(y);
    const bool direct = dest.PixelFormat() == pf24Bit && contiguous;
    uint8_t* o = direct ? dest.ScanLine(yi) + 3 * static_cast<size_t>(cols.front()) : out.data();
    const size_t m = 3 * n;
    if (r.Kind == 0 && static_cast<uint64_t>(r.WeightFirst) == vDivisor) {
      // One source row carrying the whole weight: the horizontal result itself.
      const Acc* h = horizontal(r.First);
      for (size_t j = 0; j < m; ++j) o[j] = static_cast<uint8_t>(h[j]);
    } else {
      // The span's source rows First..Last weigh WeightFirst, destHeight each
      // inside, and WeightLast.
      const int64_t last = r.Kind == 0 ? r.First : r.Last;
      auto weightOf = [&](int64_t sy) {
        return static_cast<Acc>(sy == r.First  ? r.WeightFirst
                                : sy == r.Last ? r.WeightLast
                                               : destHeight);
      };
      bool fused = false;
#if defined(__SSE2__)
      if constexpr (sizeof(Acc) == 4) {
        // Spans that fit the ring are summed in one pass over their rows.
        fused = vDivisor < kFloatDivisorLimit && last - r.First < kRing;
        if (fused) {
          const Acc* rows[kRing];
          Acc weights[kRing];
          for (int64_t sy = r.First; sy <= last; ++sy) {
            rows[sy - r.First] = horizontal(sy);
            weights[sy - r.First] = weightOf(sy);
          }
          WeightedRows(rows, weights, static_cast<int>(last - r.First + 1), m, vDivisor, o);
        }
      }
#endif
      if (!fused) {
        std::fill(acc.begin(), acc.end(), Acc(0));
        Acc* a = acc.data();
        for (int64_t sy = r.First; sy <= last; ++sy) {
          const Acc* h = horizontal(sy);
          const Acc k = weightOf(sy);
          for (size_t j = 0; j < m; ++j) a[j] += h[j] * k;
        }
        DivideRow(a, m, vDivisor, o);
      }
    }
    if (dest.PixelFormat() == pf24Bit) {
      if (!direct) {
        uint8_t* d = dest.ScanLine(yi);
        for (size_t c = 0; c < n; ++c)
          std::memcpy(d + 3 * static_cast<size_t>(cols[c]), &out[3 * c], 3);
      }
    } else {
      if (dithering) dest.DitherNextRow();
      // Serpentine: even rows left to right, odd rows right to left.
      for (size_t k = 0; k < n; ++k) {
        const size_t c = (yi & 1) ? n - 1 - k : k;
        dest.WriteColor(cols[c], yi, out[3 * c + 2], out[3 * c + 1], out[3 * c], dithering);
      }
    }
    if ((*progress)(static_cast<int>(y - y0), static_cast<int>(y1 - y0))) break;
  }
}

// Half-open interval of x for which lo <= a + k * x <= hi, k in {-1, 0, 1}.
void SolveInterval(int64_t a, int64_t k, int64_t lo, int64_t hi, int64_t& from, int64_t& to) {
  if (k == 0) {
    if (a < lo || a > hi) {
      from = 1;
      to = 0;
    }
    return;
  }
  int64_t f, t;
  if (k > 0) {
    f = lo - a;
    t = hi - a;
  } else {
    f = a - hi;
    t = a - lo;
  }
  from = std::max(from, f);
  to = std::min(to, t);
}

}  // namespace

// ---------------------------------------------------------------------------
// StretchCopy

namespace {

// The rows rowFirst..rowLast of dest.StretchCopy(...), without dest's progress
// scope and change notification.
void StretchRows(TPixelGraphic& dest, int destLeft, int destTop, int destWidth, int destHeight,
                 const TPixelGraphic& source, int srcLeft, int srcTop, int srcWidth, int srcHeight,
                 int64_t rowFirst, int64_t rowLast, const std::function<bool(int, int)>& progress) {
  const int64_t x0 = std::max<int64_t>(destLeft, 0);
  const int64_t x1 = std::min<int64_t>(int64_t(destLeft) + destWidth - 1, dest.Width() - 1);
  const int64_t y0 = std::max<int64_t>({destTop, 0, rowFirst});
  const int64_t y1 =
      std::min<int64_t>({int64_t(destTop) + destHeight - 1, dest.Height() - 1, rowLast});
  const TAxisMethod hMethod = ChooseMethod(dest.StretchMode(), srcWidth, destWidth);
  const TAxisMethod vMethod = ChooseMethod(dest.StretchMode(), srcHeight, destHeight);
  const uint64_t hDivisor = static_cast<uint64_t>(AxisDivisor(hMethod, srcWidth, destWidth));
  const uint64_t vDivisor = static_cast<uint64_t>(AxisDivisor(vMethod, srcHeight, destHeight));

  auto run = [&](auto accTag) {
    using Acc = decltype(accTag);
    TStretchJob<Acc> job{dest,       source, x0,        x1,      y0,       y1,      destTop,
                         destHeight, srcTop, srcHeight, vMethod, hDivisor, vDivisor};
    // Column spans for the whole destination column range.
    std::vector<int64_t> absIndex;
    job.tapStart.push_back(0);
    for (int64_t x = x0; x <= x1; ++x) {
      const TPGStretchRecord r =
          MakeSpan(hMethod, x, destLeft, destWidth, srcLeft, srcWidth, source.Width());
      if (!r.Valid) continue;
      job.cols.push_back(static_cast<int>(x));
      AppendTaps(r, destWidth, absIndex, job.tapWeight);
      job.tapStart.push_back(static_cast<int32_t>(absIndex.size()));
    }
    if (!absIndex.empty()) {
      job.srcLo = *std::min_element(absIndex.begin(), absIndex.end());
      job.srcHi = *std::max_element(absIndex.begin(), absIndex.end());
    }
    job.tapIndex.resize(absIndex.size());
    for (size_t i = 0; i < absIndex.size(); ++i) job.tapIndex[i] = absIndex[i] - job.srcLo;
    job.progress = &progress;
    job.Run();
  };
  // Sums stay below 255 times the divisor; 32-bit arithmetic suffices below this.
  constexpr uint64_t kNarrowLimit = 0x7FFFFFFF / 255;
  if (hDivisor < kNarrowLimit && vDivisor < kNarrowLimit)
    run(uint32_t{});
  else
    run(uint64_t{});
}

}  // namespace

void TPixelGraphic::StretchCopy(int destLeft, int destTop, int destWidth, int destHeight,
                                const TPixelGraphic& source, int srcLeft, int srcTop, int srcWidth,
                                int srcHeight) {
  if (destWidth == srcWidth && destHeight == srcHeight) {
    CopyRect(destLeft, destTop, source, srcLeft, srcTop, destWidth, destHeight);
    return;
  }
  if (Empty() || source.Empty() || width_ <= 0 || height_ <= 0 || source.Width() <= 0 ||
      source.Height() <= 0) {
    return;
  }
  // Empty or negative rectangles describe no pixels (and would divide by zero).
  if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return;

  {
    TProgressScope scope(*this);
    StretchRows(*this, destLeft, destTop, destWidth, destHeight, source, srcLeft, srcTop, srcWidth,
                srcHeight, 0, height_ - 1,
                [this](int step, int max) { return Progress(step, max); });
  }
  Changed();
}

void ResampleRows(TPixelGraphic& dest, const TPixelGraphic& source, int first, int last,
                  const std::function<bool(int, int)>& progress) {
  if (dest.Empty() || source.Empty() || dest.Width() <= 0 || dest.Height() <= 0 ||
      source.Width() <= 0 || source.Height() <= 0 || dest.PixelFormat() != pf24Bit ||
      (dest.Width() == source.Width() && dest.Height() == source.Height())) {
    return;
  }
  StretchRows(dest, 0, 0, dest.Width(), dest.Height(), source, 0, 0, source.Width(),
              source.Height(), first, last, progress);
}

// ---------------------------------------------------------------------------
// Rotate

void TPixelGraphic::Rotate(int destCenterX, int destCenterY, const TPixelGraphic& source,
                           int srcLeft, int srcTop, int srcWidth, int srcHeight, int srcCenterX,
                           int srcCenterY, long double angle) {
  if (Empty() || source.Empty()) return;
  const long double theta = angle * kPi * (1.0L / 180.0L);
  const long double c = std::cos(theta);
  const long double s = std::sin(theta);

  // The source rectangle clipped to the source image bounds the samples.
  const int64_t rl = std::max<int64_t>(srcLeft, 0);
  const int64_t rt = std::max<int64_t>(srcTop, 0);
  const int64_t rr = std::min<int64_t>(int64_t(srcLeft) + srcWidth - 1, source.Width() - 1);
  const int64_t rb = std::min<int64_t>(int64_t(srcTop) + srcHeight - 1, source.Height() - 1);
  if (rl > rr || rt > rb) return;

  // Destination box: the rectangle one pixel beyond the samples, mapped forward.
  long double minX = 0, maxX = 0, minY = 0, maxY = 0;
  const long double cornersX[2] = {static_cast<long double>(rl - 1),
                                   static_cast<long double>(rr + 1)};
  const long double cornersY[2] = {static_cast<long double>(rt - 1),
                                   static_cast<long double>(rb + 1)};
  for (int i = 0; i < 4; ++i) {
    const long double a = cornersX[i & 1] - srcCenterX;
    const long double b = cornersY[i >> 1] - srcCenterY;
    const long double dx = c * a - s * b + destCenterX;
    const long double dy = s * a + c * b + destCenterY;
    if (i == 0 || dx < minX) minX = dx;
    if (i == 0 || dx > maxX) maxX = dx;
    if (i == 0 || dy < minY) minY = dy;
    if (i == 0 || dy > maxY) maxY = dy;
  }
  const long double limit = 1e15L;
  const int64_t bx0 =
      std::max<int64_t>(0, static_cast<int64_t>(std::floor(std::max(minX, -limit))));
  const int64_t bx1 =
      std::min<int64_t>(width_ - 1, static_cast<int64_t>(std::ceil(std::min(maxX, limit))));
  const int64_t by0 =
      std::max<int64_t>(0, static_cast<int64_t>(std::floor(std::max(minY, -limit))));
  const int64_t by1 =
      std::min<int64_t>(height_ - 1, static_cast<int64_t>(std::ceil(std::min(maxY, limit))));
  if (bx0 > bx1 || by0 > by1) return;

  const bool quarterTurns = angle == std::trunc(angle) && std::fmod(angle, 90.0L) == 0;
  // Quarter turns only move pixels. Between palette images with the same palette
  // the indices are moved as they are: mapping each colour back through the
  // nearest-colour rules could pick another entry of equal or similar colour
  // (the colour cache shares one index per cell) and diffuse the difference.
  bool rawIndices = quarterTurns && pixelFormat_ != pf24Bit &&
                    pixelFormat_ == source.PixelFormat() && paletteCount_ == source.PaletteCount();
  for (int i = 0; rawIndices && i < paletteCount_; ++i) {
    rawIndices = palette_[static_cast<size_t>(i)] == source.PaletteColor(i);
  }
  const bool dithering = pixelFormat_ != pf24Bit && dither_ && !rawIndices;
  TDitherScope ditherScope(*this, dithering);
  const int maxStep = static_cast<int>(by1 - by0);

  auto writeColour = [&](int x, int y, TRGB col) {
    WriteColor(x, y, static_cast<int>(GetR(col)), static_cast<int>(GetG(col)),
               static_cast<int>(GetB(col)), dithering);
  };

  TProgressScope progress(*this);
  if (quarterTurns) {
    // Whole quarter turns: cos and sin are -1, 0 or 1 up to a tiny error, so the
    // rounded source position is an exact integer formula.
    const int64_t cr = static_cast<int64_t>(std::nearbyint(c));
    const int64_t sr = static_cast<int64_t>(std::nearbyint(s));
    const bool fast24 = pixelFormat_ == pf24Bit && source.PixelFormat() == pf24Bit;
    // Columns whose source position is inside the rectangle; independent of the
    // row because cr or sr is 0.
    auto rowInterval = [&](int64_t y, int64_t& from, int64_t& to, int64_t& a, int64_t& b) {
      a = srcCenterX + sr * (y - destCenterY) - cr * destCenterX;  // sx = a + cr * x
      b = srcCenterY + cr * (y - destCenterY) + sr * destCenterX;  // sy = b - sr * x
      from = bx0;
      to = bx1;
      SolveInterval(a, cr, rl, rr, from, to);
      SolveInterval(b, -sr, rt, rb, from, to);
    };
    if (fast24 && cr == 0) {
      // Quarter turns of true-colour images. The source row of destination
      // column x is b - sr * x for every row, and the source column of
      // destination row y is a(y); so the columns written are the same for all
      // rows. Source columns are gathered sixteen rows at a time into a buffer
      // of whole destination rows, which keeps the number of distinct pages
      // touched at a time small; the buffer rows are then copied in place.
      int64_t from = bx0, to = bx1;
      const int64_t b = srcCenterY + sr * destCenterX;
      SolveInterval(b, -sr, rt, rb, from, to);
      auto columnOf = [&](int64_t y) { return srcCenterX + sr * (y - destCenterY); };
      const size_t w = from <= to ? static_cast<size_t>(to - from + 1) : 0;
      std::vector<const uint8_t*> sourceRows(w);
      for (size_t i = 0; i < w; ++i) {
        sourceRows[i] =
            source.ScanLine(static_cast<int>(b - sr * (from + static_cast<int64_t>(i))));
      }
      const size_t rowBytes = static_cast<size_t>(source.RowStride());
      // Rows of the band [yb, yb + nb) with a source column: [yb + kLo, yb + kHi].
      auto validRows = [&](int64_t yb, int64_t nb, int64_t& kLo, int64_t& kHi) {
        kLo = nb;
        kHi = -1;
        for (int64_t k = 0; k < nb; ++k) {
          const int64_t col = columnOf(yb + k);
          if (col >= rl && col <= rr) {
            kLo = std::min(kLo, k);
            kHi = k;
          }
        }
      };
      std::vector<uint8_t> buffer;
      std::vector<uint8_t*> target;
      if (!OnProgress && this != &source) {
        // Nobody watches: blocks of 256 destination columns by 512 rows, each
        // stored as soon as it is complete, bypassing the caches.
        constexpr int64_t kBlockRows = 512;
        constexpr size_t kBlockColumns = 256;
        buffer.resize(static_cast<size_t>(kBlockRows) * 3 * kBlockColumns);
        target.resize(static_cast<size_t>(kBlockRows));
        for (int64_t yb = by0; yb <= by1; yb += kBlockRows) {
          const int64_t nb = std::min(kBlockRows, by1 - yb + 1);
          int64_t kLo, kHi;
          validRows(yb, nb, kLo, kHi);
          if (w == 0 || kLo > kHi) continue;
          const size_t rows = static_cast<size_t>(kHi - kLo + 1);
          for (size_t x0 = 0; x0 < w; x0 += kBlockColumns) {
            const size_t bw = std::min(kBlockColumns, w - x0);
            for (size_t k = 0; k < rows; ++k) target[k] = buffer.data() + k * 3 * bw;
            pixelmoves::GatherColumns24(target.data(), rows, sourceRows.data() + x0, bw,
                                        columnOf(yb + kLo), static_cast<int>(sr), rowBytes);
            for (size_t k = 0; k < rows; ++k) {
              pixelmoves::StreamCopy(
                  ScanLine(static_cast<int>(yb + kLo + static_cast<int64_t>(k))) +
                      3 * (static_cast<size_t>(from) + x0),
                  target[k], 3 * bw);
            }
          }
        }
        pixelmoves::FinishStreaming();
        for (int64_t y = by0; y <= by1; ++y) Progress(static_cast<int>(y - by0), maxStep);
      } else {
        // Watched: a band of whole rows is gathered in the buffer and stored row
        // by row, so that an Abort leaves exactly the reported rows written.
        constexpr int64_t kBand = 64;
        bool aborted = false;
        target.resize(static_cast<size_t>(kBand));
        for (int64_t yb = by0; yb <= by1 && !aborted; yb += kBand) {
          const int64_t nb = std::min(kBand, by1 - yb + 1);
          int64_t kLo, kHi;
          validRows(yb, nb, kLo, kHi);
          if (w > 0 && kLo <= kHi) {
            const size_t rows = static_cast<size_t>(kHi - kLo + 1);
            buffer.resize(rows * 3 * w);
            for (size_t k = 0; k < rows; ++k) target[k] = buffer.data() + k * 3 * w;
            pixelmoves::GatherColumns24(target.data(), rows, sourceRows.data(), w,
                                        columnOf(yb + kLo), static_cast<int>(sr), rowBytes);
          }
          for (int64_t k = 0; k < nb; ++k) {
            if (w > 0 && k >= kLo && k <= kHi) {
              std::memcpy(ScanLine(static_cast<int>(yb + k)) + 3 * from,
                          target[static_cast<size_t>(k - kLo)], 3 * w);
            }
            if (Progress(static_cast<int>(yb + k - by0), maxStep)) {
              aborted = true;
              break;
            }
          }
        }
      }
    } else {
      for (int64_t y = by0; y <= by1; ++y) {
        const int yi = static_cast<int>(y);
        if (dithering) DitherNextRow();
        int64_t from, to, a, b;
        rowInterval(y, from, to, a, b);
        if (from <= to) {
          if (fast24) {
            // Half turns and no turn: a row of the source, forwards or backwards.
            const uint8_t* sp = source.ScanLine(static_cast<int>(b)) + 3 * (a + cr * from);
            uint8_t* d = ScanLine(yi) + 3 * from;
            const size_t n = static_cast<size_t>(to - from + 1);
            if (cr > 0) {
              std::memmove(d, sp, 3 * n);
            } else if (this != &source) {
              pixelmoves::ReverseCopy24(d, sp - 3 * (n - 1), n);
            } else {
              for (size_t k = 0; k < n; ++k, d += 3, sp -= 3) std::memmove(d, sp, 3);
            }
          } else if (rawIndices) {
            for (int64_t x = from; x <= to; ++x) {
              SetPixel(static_cast<int>(x), yi,
                       source.Pixel(static_cast<int>(a + cr * x), static_cast<int>(b - sr * x)));
            }
          } else {
            const int64_t n = to - from + 1;
            for (int64_t k = 0; k < n; ++k) {
              const int64_t x = (yi & 1) ? to - k : from + k;
              writeColour(
                  static_cast<int>(x), yi,
                  source.PixelColor(static_cast<int>(a + cr * x), static_cast<int>(b - sr * x)));
            }
          }
        }
        if (Progress(static_cast<int>(y - by0), maxStep)) break;
      }
    }
  } else {
    const bool bilinear = rotateBilinear_;
    const TRGB background = source.BackGroundColorRGB();
    auto insideRect = [&](int64_t x, int64_t y) {
      return x >= rl && x <= rr && y >= rt && y <= rb;
    };
    auto sample = [&](int64_t x, int64_t y) -> TRGB {
      if (x < 0 || y < 0 || x >= source.Width() || y >= source.Height()) return background;
      return source.PixelColor(static_cast<int>(x), static_cast<int>(y));
    };
    for (int64_t y = by0; y <= by1; ++y) {
      const int yi = static_cast<int>(y);
      if (dithering) DitherNextRow();
      const long double dy = static_cast<long double>(y - destCenterY);
      const int64_t n = bx1 - bx0 + 1;
      for (int64_t k = 0; k < n; ++k) {
        const int64_t x = (yi & 1) ? bx1 - k : bx0 + k;
        const long double dx = static_cast<long double>(x - destCenterX);
        const long double sx = srcCenterX + s * dy + c * dx;
        const long double sy = srcCenterY + c * dy - s * dx;
        if (!bilinear) {
          const long double nx = std::nearbyint(sx), ny = std::nearbyint(sy);
          if (nx < rl || nx > rr || ny < rt || ny > rb) continue;
          writeColour(static_cast<int>(x), yi,
                      source.PixelColor(static_cast<int>(nx), static_cast<int>(ny)));
          continue;
        }
        const long double fx0 = std::floor(sx), fx1 = std::ceil(sx);
        const long double fy0 = std::floor(sy), fy1 = std::ceil(sy);
        // Positions far outside every image are never inside the rectangle.
        if (fx1 < rl || fx0 > rr || fy1 < rt || fy0 > rb) continue;
        const int64_t x0 = static_cast<int64_t>(fx0), x1 = static_cast<int64_t>(fx1);
        const int64_t y0 = static_cast<int64_t>(fy0), y1 = static_cast<int64_t>(fy1);
        if (!insideRect(x0, y0) && !insideRect(x0, y1) && !insideRect(x1, y0) &&
            !insideRect(x1, y1)) {
          continue;
        }
        long double wx0, wx1, wy0, wy1;
        if (x0 == x1)
          wx0 = wx1 = 0.5L;
        else {
          wx0 = 1 - (sx - fx0);
          wx1 = 1 - (fx1 - sx);
        }
        if (y0 == y1)
          wy0 = wy1 = 0.5L;
        else {
          wy0 = 1 - (sy - fy0);
          wy1 = 1 - (fy1 - sy);
        }
        const TRGB c00 = sample(x0, y0), c01 = sample(x0, y1);
        const TRGB c10 = sample(x1, y0), c11 = sample(x1, y1);
        auto mix = [&](uint32_t (*get)(TRGB)) {
          const long double v = wx0 * wy0 * get(c00) + wx0 * wy1 * get(c01) + wx1 * wy0 * get(c10) +
                                wx1 * wy1 * get(c11);
          return static_cast<int>(std::clamp(std::nearbyint(v), 0.0L, 255.0L));
        };
        WriteColor(static_cast<int>(x), yi, mix(GetR), mix(GetG), mix(GetB), dithering);
      }
      if (Progress(static_cast<int>(y - by0), maxStep)) break;
    }
  }
}

// ---------------------------------------------------------------------------
// Mirroring

void TPixelGraphic::MirrorHorizontal() {
  if (Empty() || width_ <= 0 || height_ <= 0) return;
  {
    TProgressScope progress(*this);
    for (int y = 0; y < height_; ++y) {
      uint8_t* row = ScanLine(y);
      switch (pixelFormat_) {
        case pf24Bit:
          pixelmoves::Reverse24(row, static_cast<size_t>(width_));
          break;
        case pf8Bit:
          pixelmoves::Reverse8(row, static_cast<size_t>(width_));
          break;
        default:
          for (int j = 0; j <= (width_ - 2) / 2; ++j) {
            const uint32_t a = Pixel(j, y), b = Pixel(width_ - 1 - j, y);
            SetPixel(j, y, b);
            SetPixel(width_ - 1 - j, y, a);
          }
      }
      if (Progress(y, height_ - 1)) break;
    }
  }
  Changed();
}

void TPixelGraphic::MirrorVertical() {
  if (Empty() || width_ <= 0 || height_ <= 0) return;
  // Swapping pixel j with pixel Height-1-j in every column of a band of columns;
  // the band is the whole width unless someone watches the progress. An Abort
  // reported for a column inside a band swaps the later columns of that band
  // back, so exactly the reported columns stay mirrored.
  const int bpp = BitsPerPixel();
  const bool bytes = bpp >= 8;
  const int pixelBytes = bpp / 8;
  std::vector<uint8_t> tmp;
  auto swapColumns = [&](int from, int to) {  // columns from..to-1
    if (bytes) {
      const size_t off = static_cast<size_t>(from) * pixelBytes;
      const size_t len = static_cast<size_t>(to - from) * pixelBytes;
      tmp.resize(len);
      for (int j = 0; j <= (height_ - 2) / 2; ++j) {
        uint8_t* a = ScanLine(j) + off;
        uint8_t* b = ScanLine(height_ - 1 - j) + off;
        std::memcpy(tmp.data(), a, len);
        std::memcpy(a, b, len);
        std::memcpy(b, tmp.data(), len);
      }
    } else {
      for (int j = 0; j <= (height_ - 2) / 2; ++j) {
        for (int x = from; x < to; ++x) {
          const uint32_t a = Pixel(x, j), b = Pixel(x, height_ - 1 - j);
          SetPixel(x, j, b);
          SetPixel(x, height_ - 1 - j, a);
        }
      }
    }
  };
  {
    TProgressScope progress(*this);
    const int band = OnProgress ? 256 : width_;
    bool aborted = false;
    for (int x0 = 0; x0 < width_ && !aborted; x0 += band) {
      const int x1 = std::min(width_, x0 + band);
      swapColumns(x0, x1);
      for (int x = x0; x < x1; ++x) {
        if (Progress(x, width_ - 1)) {
          if (x + 1 < x1) swapColumns(x + 1, x1);
          aborted = true;
          break;
        }
      }
    }
  }
  Changed();
}

}  // namespace pgraphic
