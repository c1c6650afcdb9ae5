// The scalar quantiser and dequantiser of the coefficient bytes.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace codec {

// Rounds to nearest, ties to even (the default rounding mode).
inline double RoundEven(double x) {
  return std::nearbyint(x);
}

// A rounded value stored as a signed 16-bit coefficient: the low 16 bits of the
// integer. Values no 16-bit field could come from (NaN, beyond 2^62, only from
// corrupt step sizes) give a fixed result instead of undefined behaviour.
inline int16_t StoreCoefficient(double rounded) {
  if (!(rounded == rounded)) return 0;
  constexpr double limit = 4611686018427387904.0;  // 2^62
  if (rounded > limit) rounded = limit;
  if (rounded < -limit) rounded = -limit;
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<int64_t>(rounded)));
}

// Detail byte b stands for Round(s * (b - 128)).
inline std::array<int16_t, 256> DetailTable(double step) {
  std::array<int16_t, 256> t{};
  for (int b = 0; b < 256; ++b)
    t[static_cast<size_t>(b)] = StoreCoefficient(RoundEven(step * (b - 128)));
  return t;
}

// Approximation byte b stands for Round(a * b + m).
inline std::array<int16_t, 256> ApproximationTable(double step, int minimum) {
  std::array<int16_t, 256> t{};
  for (int b = 0; b < 256; ++b)
    t[static_cast<size_t>(b)] = StoreCoefficient(RoundEven(step * b + minimum));
  return t;
}

}  // namespace codec
