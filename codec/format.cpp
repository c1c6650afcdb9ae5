#include "codec/format.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace codec {

namespace {

int16_t GetLE16(const uint8_t* p) {
  return static_cast<int16_t>(p[0] | (p[1] << 8));
}

int32_t GetLE32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(p[3]) << 24));
}

float GetFloat(const uint8_t* p) {
  uint32_t bits = static_cast<uint32_t>(GetLE32(p));
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void PutLE16(uint8_t* p, int v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutFloat(uint8_t* p, double value) {
  float f = static_cast<float>(value);
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  PutLE32(p, bits);
}

// Writes the fields both subtypes share around the step sizes.
template <size_t N>
void SerializeCommon(const VQNHeader& h, std::array<uint8_t, N>& out, int subtype) {
  out[0] = 'V';
  out[1] = 'Q';
  out[2] = 'N';
  out[3] = static_cast<uint8_t>(subtype);
  PutLE16(&out[4], h.Width);
  PutLE16(&out[6], h.Height);
  PutLE16(&out[8], h.Levels);
  const size_t tail = N - 10;  // three minima and C
  for (int p = 0; p < 3; ++p) PutLE16(&out[tail + 2 * p], h.ApproxMin[p]);
  PutLE32(&out[tail + 6], static_cast<uint32_t>(h.CodedLength));
}

}  // namespace

int LevelCount(int width, int height) {
  int m = std::min(width, height);
  int n = 0;
  while (m > 20) {
    // Round(m * 0.5), ties to even: an odd m halves to the even neighbour.
    int half = m / 2;
    if ((m & 1) && (half & 1)) ++half;
    m = half;
    ++n;
  }
  return std::clamp(n, 1, VQNMaxEncoderLevels);
}

std::vector<LevelGeometry> BandGeometry(int width, int height, int levels) {
  std::vector<LevelGeometry> result;
  result.reserve(static_cast<size_t>(levels));
  int w = width, h = height;
  for (int l = 1; l <= levels; ++l) {
    LevelGeometry g;
    g.Width = w;
    g.Height = h;
    g.FilterLength = FilterLengthOfLevel(l);
    g.FullWidth = w + g.FilterLength - 1;
    g.FullHeight = h + g.FilterLength - 1;
    g.HalfWidth = g.FullWidth / 2;
    g.HalfHeight = g.FullHeight / 2;
    result.push_back(g);
    w = g.HalfWidth;
    h = g.HalfHeight;
  }
  return result;
}

int64_t CoefficientCount(const std::vector<LevelGeometry>& levels) {
  if (levels.empty()) return 0;
  int64_t positions = 0;
  for (const auto& g : levels) positions += 3 * g.BandSize();
  positions += levels.back().BandSize();
  return 3 * positions;
}

BandLayout DetailBandLayout(const std::vector<LevelGeometry>& levels, int level, int band) {
  int64_t offset = 0;
  for (int l = 1; l < level; ++l) offset += 3 * levels[static_cast<size_t>(l - 1)].BandSize();
  const LevelGeometry& g = levels[static_cast<size_t>(level - 1)];
  offset += (band - 1) * g.BandSize();
  if (band == 1) return {offset, g.HalfWidth, 1};
  return {offset, 1, g.HalfHeight};
}

BandLayout ApproximationBandLayout(const std::vector<LevelGeometry>& levels) {
  int64_t offset = 0;
  for (const auto& g : levels) offset += 3 * g.BandSize();
  return {offset, 1, levels.back().HalfHeight};
}

double Real48ToDouble(const uint8_t bytes[6]) {
  if (bytes[0] == 0) return 0.0;
  uint64_t fraction = 0;
  for (int i = 5; i >= 1; --i) fraction = (fraction << 8) | bytes[i];
  const bool negative = (fraction >> 39) & 1;
  fraction &= (uint64_t{1} << 39) - 1;
  // 1.fraction has 40 significant bits: exact in a double.
  double mantissa = 1.0 + std::ldexp(static_cast<double>(fraction), -39);
  double value = std::ldexp(mantissa, static_cast<int>(bytes[0]) - 129);
  return negative ? -value : value;
}

std::array<uint8_t, 6> DoubleToReal48(double value) {
  std::array<uint8_t, 6> out{};
  if (value == 0.0) return out;
  if (!std::isfinite(value)) throw std::range_error("not representable as a 6-byte real");
  int exponent;
  double m = std::frexp(std::fabs(value), &exponent);  // m in [0.5, 1)
  // value = 1.f * 2^(exponent - 1); the biased exponent is exponent - 1 + 129.
  int biased = exponent + 128;
  double scaled = std::ldexp(m * 2.0 - 1.0, 39);
  if (biased < 1 || biased > 255 || scaled != std::floor(scaled)) {
    throw std::range_error("not representable as a 6-byte real");
  }
  uint64_t fraction = static_cast<uint64_t>(scaled);
  if (value < 0) fraction |= uint64_t{1} << 39;
  out[0] = static_cast<uint8_t>(biased);
  for (int i = 1; i <= 5; ++i)
    out[static_cast<size_t>(i)] = static_cast<uint8_t>(fraction >> (8 * (i - 1)));
  return out;
}

HeaderStatus ParseHeader(const uint8_t* bytes, size_t size, VQNHeader& header) {
  if (size < 4 || bytes[0] != 'V' || bytes[1] != 'Q' || bytes[2] != 'N')
    return HeaderStatus::NotVQN;
  if (bytes[3] != 2 && bytes[3] != 3) return HeaderStatus::NotVQN;
  header = VQNHeader{};
  header.SubType = bytes[3];
  if (size < static_cast<size_t>(header.HeaderSize())) return HeaderStatus::Corrupted;
  header.Width = GetLE16(bytes + 4);
  header.Height = GetLE16(bytes + 6);
  header.Levels = GetLE16(bytes + 8);
  size_t pos = 10;
  for (int i = 0; i < 6; ++i) {
    double step;
    if (header.SubType == 2) {
      step = Real48ToDouble(bytes + pos);
      pos += 6;
    } else {
      step = GetFloat(bytes + pos);
      pos += 4;
    }
    (i < 3 ? header.DetailStep[static_cast<size_t>(i)]
           : header.ApproxStep[static_cast<size_t>(i - 3)]) = step;
  }
  for (int p = 0; p < 3; ++p, pos += 2)
    header.ApproxMin[static_cast<size_t>(p)] = GetLE16(bytes + pos);
  header.CodedLength = GetLE32(bytes + pos);
  if (header.Levels < 1 || header.Levels > VQNMaxLevels || header.Width <= 0 ||
      header.Height <= 0 || header.CodedLength < 0) {
    return HeaderStatus::Corrupted;
  }
  return HeaderStatus::Ok;
}

HeaderStatus ReadHeader(pgraphic::TStream& stream, VQNHeader& header) {
  uint8_t bytes[VQNHeaderSize2];
  size_t got = stream.Read(bytes, 4);
  if (got == 4 && bytes[0] == 'V' && bytes[1] == 'Q' && bytes[2] == 'N' &&
      (bytes[3] == 2 || bytes[3] == 3)) {
    const size_t need = bytes[3] == 2 ? VQNHeaderSize2 : VQNHeaderSize3;
    got += stream.Read(bytes + 4, need - 4);
  }
  return ParseHeader(bytes, got, header);
}

std::array<uint8_t, VQNHeaderSize3> SerializeHeader3(const VQNHeader& h) {
  std::array<uint8_t, VQNHeaderSize3> out{};
  SerializeCommon(h, out, 3);
  for (int p = 0; p < 3; ++p) {
    PutFloat(&out[static_cast<size_t>(10 + 4 * p)], h.DetailStep[static_cast<size_t>(p)]);
    PutFloat(&out[static_cast<size_t>(22 + 4 * p)], h.ApproxStep[static_cast<size_t>(p)]);
  }
  return out;
}

std::array<uint8_t, VQNHeaderSize2> SerializeHeader2(const VQNHeader& h) {
  std::array<uint8_t, VQNHeaderSize2> out{};
  SerializeCommon(h, out, 2);
  for (int i = 0; i < 6; ++i) {
    double step =
        i < 3 ? h.DetailStep[static_cast<size_t>(i)] : h.ApproxStep[static_cast<size_t>(i - 3)];
    auto real = DoubleToReal48(step);
    std::memcpy(&out[static_cast<size_t>(10 + 6 * i)], real.data(), 6);
  }
  return out;
}

}  // namespace codec
