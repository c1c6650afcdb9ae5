// Feeds arbitrary bytes to the TIFF reader: information, the first image, and the
// second image of a counted directory chain.
#include "fuzz/fuzz_support.h"
#include "pgraphic/formats/tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pgraphic::PGMaxImageSize = 16 << 20;
  pgraphic::TTIFFileFormatReader reader;
  fuzz::QueryInfo(reader, data, size);
  fuzz::Decode(reader, data, size, 0);
  pgraphic::PGTIFFCountImages = true;
  fuzz::Decode(reader, data, size, 1);
  pgraphic::PGTIFFCountImages = false;
  return 0;
}
