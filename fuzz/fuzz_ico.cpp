// Feeds arbitrary bytes to the ICO reader in both modes, for the first two images,
// and to its information query.
#include "fuzz/fuzz_support.h"
#include "pgraphic/formats/ico.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pgraphic::PGMaxImageSize = 16 << 20;
  pgraphic::tIcoFileFormatReader reader;
  for (int mode = 0; mode < 2; ++mode) {
    pgraphic::PGIcoMode = mode;
    for (int index = 0; index < 2; ++index) fuzz::Decode(reader, data, size, index);
  }
  pgraphic::PGIcoMode = 1;
  fuzz::QueryInfo(reader, data, size);
  return 0;
}
