// Feeds arbitrary bytes to the PackBits decoder: the first two bytes choose the
// row length, the rest is packed data decoded row after row.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/formats/tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pgraphic;
  if (size < 2) return 0;
  const size_t length = 1 + ((data[0] | (data[1] << 8)) % 4096);
  std::vector<uint8_t> row(length);
  static volatile uint32_t sink = 0;
  size_t at = 2;
  try {
    for (int r = 0; at < size; ++r) {
      size_t filled = 0;
      const size_t used = PackBitsDecode(data + at, size - at, row.data(), length, filled, r);
      if (used == 0) break;
      at += used;
      uint32_t sum = 0;
      for (size_t i = 0; i < filled; ++i) sum += row[i];
      sink = sink + sum;
      // What was decoded packs again into something that decodes to the same row.
      if (filled == length) {
        std::vector<uint8_t> packed;
        PackBitsEncode(row.data(), length, packed);
        std::vector<uint8_t> back(length);
        size_t again = 0;
        if (PackBitsDecode(packed.data(), packed.size(), back.data(), length, again, r) !=
                packed.size() ||
            again != length || back != row) {
          __builtin_trap();
        }
      }
    }
  } catch (const EPixelGraphic&) {
  }
  return 0;
}
