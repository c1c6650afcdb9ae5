// Feeds arbitrary bytes to the JPEG reader: information, and pixels with warnings
// ignored and raised. Any outcome but a clean EPixelGraphic is a finding.
#include "fuzz/fuzz_support.h"
#include "pgraphic/formats/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pgraphic::PGMaxImageSize = 64 << 20;
  pgraphic::TJPGFileFormatReader reader;
  fuzz::QueryInfo(reader, data, size);
  fuzz::Decode(reader, data, size, 0, pgraphic::pgwaIgnore);
  fuzz::Decode(reader, data, size, 0, pgraphic::pgwaRaise);
  return 0;
}
