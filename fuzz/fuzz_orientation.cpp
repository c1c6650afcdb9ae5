// Feeds arbitrary bytes to the orientation-tag reader, as a JPEG or TIFF file
// would reach it: the first image, and a later one of a TIFF directory chain.
#include "fuzz/fuzz_support.h"
#include "pgraphic/formats/orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (int index : {0, 1, 7}) {
    pgraphic::TReadOnlyMemoryStream stream(data, size);
    const int orientation = pgraphic::ReadOrientation(stream, index);
    if (orientation < 1 || orientation > 8) __builtin_trap();
    fuzz::sink = fuzz::sink + static_cast<uint32_t>(orientation);
  }
  return 0;
}
