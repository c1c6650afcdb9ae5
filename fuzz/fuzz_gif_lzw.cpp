// Feeds arbitrary data sub-blocks to the GIF LZW decoder on its own. Byte 0 is
// the code size (0..15, so sizes the decoder refuses come up too), byte 1 the
// row length; the rest is the image data. Rows are decoded until the data ends.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pgraphic/formats/gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int codeSize = data[0] & 15;
  const size_t rowLength = static_cast<size_t>(data[1]) + 1;
  pgraphic::TGifLZWDecoder decoder(data + 2, size - 2, codeSize);
  std::vector<uint8_t> row(rowLength);
  volatile uint32_t sink = 0;
  size_t total = 0;
  while (total < (1u << 20)) {
    const size_t got = decoder.Decode(row.data(), row.size());
    if (got > row.size()) std::abort();
    uint32_t sum = 0;
    for (size_t i = 0; i < got; ++i) sum += row[i];
    sink = sink + sum;
    total += got;
    if (got < row.size()) break;
  }
  if (decoder.SkipRest() > size - 2) std::abort();
  return 0;
}
