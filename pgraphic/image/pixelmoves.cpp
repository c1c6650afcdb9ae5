#include "pgraphic/image/pixelmoves.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PG_PIXELMOVES_X86 1
#include <emmintrin.h>
#include <tmmintrin.h>
#endif

namespace pgraphic::pixelmoves {

namespace {

void GatherScalar(uint8_t* const* dst, size_t k0, size_t k1, const uint8_t* const* rows, size_t j0,
                  size_t j1, int64_t firstColumn, int step) {
  for (size_t k = k0; k < k1; ++k) {
    const size_t offset = 3 * static_cast<size_t>(firstColumn + step * static_cast<int64_t>(k));
    uint8_t* d = dst[k] + 3 * j0;
    for (size_t j = j0; j < j1; ++j, d += 3) std::memcpy(d, rows[j] + offset, 3);
  }
}

void ReverseCopyScalar(uint8_t* dst, const uint8_t* src, size_t n) {
  const uint8_t* s = src + 3 * n;
  for (size_t i = 0; i < n; ++i, dst += 3) {
    s -= 3;
    dst[0] = s[0];
    dst[1] = s[1];
    dst[2] = s[2];
  }
}

void ReverseScalar24(uint8_t* a, uint8_t* b) {  // pixels a .. b inclusive
  while (a < b) {
    const uint8_t t0 = a[0], t1 = a[1], t2 = a[2];
    a[0] = b[0];
    a[1] = b[1];
    a[2] = b[2];
    b[0] = t0;
    b[1] = t1;
    b[2] = t2;
    a += 3;
    b -= 3;
  }
}

#ifdef PG_PIXELMOVES_X86

bool HasSSSE3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

using TMask = std::array<std::array<int8_t, 16>, 3>;

// Byte selectors that reverse the 16 pixels of a 48-byte block: output register
// o takes from input register s the bytes kReverse48[o][s] (-1 selects zero).
constexpr std::array<TMask, 3> MakeReverse48() {
  std::array<TMask, 3> m{};
  for (int o = 0; o < 3; ++o)
    for (int s = 0; s < 3; ++s)
      for (int i = 0; i < 16; ++i) {
        const int q = 16 * o + i;
        const int p = 3 * (15 - q / 3) + q % 3;
        m[o][s][i] = static_cast<int8_t>(p / 16 == s ? p % 16 : -1);
      }
  return m;
}
constexpr std::array<TMask, 3> kReverse48 = MakeReverse48();

// Selectors that pack four registers of four 4-byte pixels (the fourth byte
// unused) into 48 bytes: output register o takes from input register s.
constexpr std::array<std::array<std::array<int8_t, 16>, 4>, 3> MakePack() {
  std::array<std::array<std::array<int8_t, 16>, 4>, 3> m{};
  for (int o = 0; o < 3; ++o)
    for (int s = 0; s < 4; ++s)
      for (int i = 0; i < 16; ++i) {
        const int q = 16 * o + i;  // byte of the packed 48
        const int pixel = q / 3;
        m[o][s][i] = static_cast<int8_t>(pixel / 4 == s ? 4 * (pixel % 4) + q % 3 : -1);
      }
  return m;
}
constexpr auto kPack = MakePack();

__attribute__((target("ssse3"))) inline __m128i Mask(const int8_t* m) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(m));
}

__attribute__((target("ssse3"))) inline void Reverse48(const uint8_t* src, uint8_t* dst) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32));
  const __m128i o0 = _mm_or_si128(_mm_shuffle_epi8(b, Mask(kReverse48[0][1].data())),
                                  _mm_shuffle_epi8(c, Mask(kReverse48[0][2].data())));
  const __m128i o1 = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, Mask(kReverse48[1][0].data())),
                                               _mm_shuffle_epi8(b, Mask(kReverse48[1][1].data()))),
                                  _mm_shuffle_epi8(c, Mask(kReverse48[1][2].data())));
  const __m128i o2 = _mm_or_si128(_mm_shuffle_epi8(a, Mask(kReverse48[2][0].data())),
                                  _mm_shuffle_epi8(b, Mask(kReverse48[2][1].data())));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), o0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 16), o1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 32), o2);
}

// 16 source rows x 4 source columns: loads 12 bytes (as 16) of each row at
// offset, and writes 16 pixels to each of d[0..3], d[i] receiving column i.
__attribute__((target("ssse3"))) inline void Gather16x4(uint8_t* const d[4],
                                                        const uint8_t* const* r, size_t offset) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  __m128i col[4][4];
  for (int g = 0; g < 4; ++g) {
    const uint8_t* const* q = r + 4 * g;
    const __m128i a0 =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q[0] + offset)), spread);
    const __m128i a1 =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q[1] + offset)), spread);
    const __m128i a2 =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q[2] + offset)), spread);
    const __m128i a3 =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q[3] + offset)), spread);
    const __m128i l01 = _mm_unpacklo_epi32(a0, a1), l23 = _mm_unpacklo_epi32(a2, a3);
    const __m128i h01 = _mm_unpackhi_epi32(a0, a1), h23 = _mm_unpackhi_epi32(a2, a3);
    col[0][g] = _mm_unpacklo_epi64(l01, l23);
    col[1][g] = _mm_unpackhi_epi64(l01, l23);
    col[2][g] = _mm_unpacklo_epi64(h01, h23);
    col[3][g] = _mm_unpackhi_epi64(h01, h23);
  }
  for (int i = 0; i < 4; ++i) {
    __m128i* o = reinterpret_cast<__m128i*>(d[i]);
    _mm_storeu_si128(o, _mm_or_si128(_mm_shuffle_epi8(col[i][0], Mask(kPack[0][0].data())),
                                     _mm_shuffle_epi8(col[i][1], Mask(kPack[0][1].data()))));
    _mm_storeu_si128(o + 1, _mm_or_si128(_mm_shuffle_epi8(col[i][1], Mask(kPack[1][1].data())),
                                         _mm_shuffle_epi8(col[i][2], Mask(kPack[1][2].data()))));
    _mm_storeu_si128(o + 2, _mm_or_si128(_mm_shuffle_epi8(col[i][2], Mask(kPack[2][2].data())),
                                         _mm_shuffle_epi8(col[i][3], Mask(kPack[2][3].data()))));
  }
}

__attribute__((target("ssse3"))) void GatherSSSE3(uint8_t* const* dst, size_t n,
                                                  const uint8_t* const* rows, size_t w,
                                                  int64_t firstColumn, int step, size_t rowBytes) {
  for (size_t j0 = 0; j0 < w; j0 += 16) {
    const size_t j1 = std::min(w, j0 + 16);
    for (size_t k = 0; k < n; k += 4) {
      const size_t k1 = std::min(n, k + 4);
      if (j1 - j0 == 16 && k1 - k == 4) {
        const int64_t c0 = firstColumn + step * static_cast<int64_t>(k);
        const int64_t lowest = step > 0 ? c0 : c0 - 3;
        if (static_cast<size_t>(3 * lowest) + 16 <= rowBytes) {
          uint8_t* d[4];
          for (size_t i = 0; i < 4; ++i) d[i] = dst[k + (step > 0 ? i : 3 - i)] + 3 * j0;
          Gather16x4(d, rows + j0, static_cast<size_t>(3 * lowest));
          continue;
        }
      }
      GatherScalar(dst, k, k1, rows, j0, j1, firstColumn, step);
    }
  }
}

__attribute__((target("ssse3"))) void ReverseCopySSSE3(uint8_t* dst, const uint8_t* src, size_t n) {
  size_t i = 0;
  for (; i + 16 <= n; i += 16) Reverse48(src + 3 * (n - i - 16), dst + 3 * i);
  ReverseCopyScalar(dst + 3 * i, src, n - i);
}

__attribute__((target("ssse3"))) void ReverseSSSE3(uint8_t* row, size_t n) {
  uint8_t* a = row;
  uint8_t* b = row + 3 * n;  // one past the last pixel
  alignas(16) uint8_t left[48];
  while (b - a >= 96) {
    std::memcpy(left, a, 48);
    Reverse48(b - 48, a);
    Reverse48(left, b - 48);
    a += 48;
    b -= 48;
  }
  if (b > a) ReverseScalar24(a, b - 3);
}

__attribute__((target("ssse3"))) void Reverse8SSSE3(uint8_t* row, size_t n) {
  const __m128i flip = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  uint8_t* a = row;
  uint8_t* b = row + n;
  while (b - a >= 32) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b - 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(a), _mm_shuffle_epi8(y, flip));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(b - 16), _mm_shuffle_epi8(x, flip));
    a += 16;
    b -= 16;
  }
  std::reverse(a, b);
}

#endif  // PG_PIXELMOVES_X86

}  // namespace

void GatherColumns24(uint8_t* const* dst, size_t n, const uint8_t* const* rows, size_t w,
                     int64_t firstColumn, int step, size_t rowBytes) {
#ifdef PG_PIXELMOVES_X86
  if (HasSSSE3()) {
    GatherSSSE3(dst, n, rows, w, firstColumn, step, rowBytes);
    return;
  }
#endif
  (void)rowBytes;
  // Sixteen source rows at a time keep their cache lines at hand across the
  // destination rows.
  for (size_t j0 = 0; j0 < w; j0 += 16)
    GatherScalar(dst, 0, n, rows, j0, std::min(w, j0 + 16), firstColumn, step);
}

void ReverseCopy24(uint8_t* dst, const uint8_t* src, size_t n) {
#ifdef PG_PIXELMOVES_X86
  if (HasSSSE3()) {
    ReverseCopySSSE3(dst, src, n);
    return;
  }
#endif
  ReverseCopyScalar(dst, src, n);
}

void Reverse24(uint8_t* row, size_t n) {
  if (n < 2) return;
#ifdef PG_PIXELMOVES_X86
  if (HasSSSE3()) {
    ReverseSSSE3(row, n);
    return;
  }
#endif
  ReverseScalar24(row, row + 3 * (n - 1));
}

void Reverse8(uint8_t* row, size_t n) {
#ifdef PG_PIXELMOVES_X86
  if (HasSSSE3()) {
    Reverse8SSSE3(row, n);
    return;
  }
#endif
  std::reverse(row, row + n);
}

void StreamCopy(uint8_t* dst, const uint8_t* src, size_t n) {
#ifdef PG_PIXELMOVES_X86
  size_t i = 0;
  while (i < n && (reinterpret_cast<uintptr_t>(dst + i) & 15) != 0) {
    dst[i] = src[i];
    ++i;
  }
  for (; i + 64 <= n; i += 64) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 32));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 48));
    _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i), a);
    _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 16), b);
    _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 32), c);
    _mm_stream_si128(reinterpret_cast<__m128i*>(dst + i + 48), d);
  }
  std::memcpy(dst + i, src + i, n - i);
#else
  std::memcpy(dst, src, n);
#endif
}

void FinishStreaming() {
#ifdef PG_PIXELMOVES_X86
  _mm_sfence();
#endif
}

}  // namespace pgraphic::pixelmoves
