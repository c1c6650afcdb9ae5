// Feeds arbitrary bytes to the VQN decoder: header checks, entropy decoding,
// dequantisation and the inverse transform must fail cleanly or give an image.
#include <cstddef>
#include <cstdint>

#include "codec/vqn.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pgraphic::PGMaxImageSize = 64 << 20;
  codec::VQNThreads = 1;
  pgraphic::TReadOnlyMemoryStream stream(data, size);
  try {
    auto image = codec::DecodeVQN(stream);
    // Touch every output byte so uninitialised reads surface.
    unsigned sum = 0;
    for (int y = 0; y < image->Height(); ++y) {
      const uint8_t* row = image->ScanLine(y);
      for (int i = 0; i < 3 * image->Width(); ++i) sum += row[i];
    }
    volatile unsigned sink = sum;
    (void)sink;
  } catch (const pgraphic::EPixelGraphic&) {
  }
  // The header-only path on the same bytes.
  pgraphic::TReadOnlyMemoryStream again(data, size);
  try {
    auto info = codec::ReadVQNInfo(again);
    volatile size_t n =
        codec::VQNInfoText(info).size() + codec::SubTypeName(info.Header.SubType).size();
    (void)n;
  } catch (const pgraphic::EPixelGraphic&) {
  }
  return 0;
}
