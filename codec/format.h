// The VQN file: header layout, the two subtypes, band geometry and the order of
// coefficient bytes in the coded stream.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pgraphic/stream.h"

namespace codec {

// Size of a subtype-3 header (4-byte float steps) and of a subtype-2 header
// (6-byte real steps).
inline constexpr int VQNHeaderSize3 = 44;
inline constexpr int VQNHeaderSize2 = 56;
// The decoder keeps room for this many levels per plane; the encoder writes 1 to 5.
inline constexpr int VQNMaxLevels = 8;
inline constexpr int VQNMaxEncoderLevels = 5;
// Width and height are signed 16-bit fields.
inline constexpr int VQNMaxSide = 32767;

// Geometry of one wavelet level: the input size, the filter length and the size
// of each of its four bands.
struct LevelGeometry {
  int Width = 0;   // input width w
  int Height = 0;  // input height h
  int FilterLength = 4;
  int FullWidth = 0;   // w + F - 1
  int FullHeight = 0;  // h + F - 1
  int HalfWidth = 0;   // FullWidth div 2
  int HalfHeight = 0;  // FullHeight div 2
  int64_t BandSize() const { return static_cast<int64_t>(HalfWidth) * HalfHeight; }
};

// Filter length of level l (1-based): 4 for levels 1 and 2, 6 above.
inline int FilterLengthOfLevel(int level) {
  return level <= 2 ? 4 : 6;
}

// Number of levels the encoder uses: halve the smaller side (rounding half to
// even) while it exceeds 20, counting the halvings; at least 1, at most 5.
int LevelCount(int width, int height);

// The geometry of levels 1..levels (index 0 = level 1).
std::vector<LevelGeometry> BandGeometry(int width, int height, int levels);

// Number of coefficient bytes: three planes times the detail bands of every level
// plus the approximation band of the last one.
int64_t CoefficientCount(const std::vector<LevelGeometry>& levels);

// Where a band lies in the coefficient byte sequence: coefficient (row, column) of
// plane p (0 = red) is byte 3 * (Offset + row * RowStep + column * ColumnStep) + p.
struct BandLayout {
  int64_t Offset = 0;
  int64_t RowStep = 0;
  int64_t ColumnStep = 0;
};

// Layout of band b (1..3) of level l (1-based), in the stored order: band 1 row by
// row, bands 2 and 3 column by column, level after level.
BandLayout DetailBandLayout(const std::vector<LevelGeometry>& levels, int level, int band);
// Layout of the approximation band of the last level, column by column.
BandLayout ApproximationBandLayout(const std::vector<LevelGeometry>& levels);

// The header fields of a VQN file.
struct VQNHeader {
  int SubType = 3;
  int Width = 0;
  int Height = 0;
  int Levels = 0;
  std::array<double, 3> DetailStep{};  // s for red, green, blue
  std::array<double, 3> ApproxStep{};  // a for red, green, blue
  std::array<int, 3> ApproxMin{};      // m for red, green, blue
  int64_t CodedLength = 0;             // C
  int HeaderSize() const { return SubType == 2 ? VQNHeaderSize2 : VQNHeaderSize3; }
};

// Converts a 6-byte real (exponent byte biased by 129, 39-bit fraction with an
// implicit leading 1, sign in the top bit of the last byte) to a double exactly.
double Real48ToDouble(const uint8_t bytes[6]);
// The inverse for values a 6-byte real can hold exactly (used to write subtype-2
// files); raises std::range_error otherwise.
std::array<uint8_t, 6> DoubleToReal48(double value);

enum class HeaderStatus { Ok, NotVQN, Corrupted };

// Parses a header from the start of `bytes`. NotVQN: fewer than four bytes, magic
// not "VQN" or subtype neither 2 nor 3. Corrupted: too short for the header, or N
// outside 1..8, width or height not positive, or C negative.
HeaderStatus ParseHeader(const uint8_t* bytes, size_t size, VQNHeader& header);

// Reads the header from the stream's current position (see ParseHeader).
HeaderStatus ReadHeader(pgraphic::TStream& stream, VQNHeader& header);

// Serialises a subtype-3 header (steps as 32-bit floats). Steps must already be
// float values.
std::array<uint8_t, VQNHeaderSize3> SerializeHeader3(const VQNHeader& header);
// Serialises a subtype-2 header (steps as 6-byte reals).
std::array<uint8_t, VQNHeaderSize2> SerializeHeader2(const VQNHeader& header);

}  // namespace codec
