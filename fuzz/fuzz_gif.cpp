// Feeds arbitrary bytes to the GIF reader: the first two images and the file
// information.
#include "fuzz/fuzz_support.h"
#include "pgraphic/formats/gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pgraphic::PGMaxImageSize = 16 << 20;
  pgraphic::tGifFileFormatReader reader;
  fuzz::QueryInfo(reader, data, size);
  for (int index = 0; index < 2; ++index) fuzz::Decode(reader, data, size, index);
  return 0;
}
