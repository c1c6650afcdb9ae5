// Feeds arbitrary bytes to the PCX reader: information and pixels must end in a clean
// EPixelGraphic or an image, never a fault.
#include "fuzz/fuzz_support.h"
#include "pgraphic/formats/pcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pgraphic::PGMaxImageSize = 64 << 20;
  pgraphic::TPCXFileFormatReader reader;
  fuzz::QueryInfo(reader, data, size);
  fuzz::Decode(reader, data, size);
  return 0;
}
