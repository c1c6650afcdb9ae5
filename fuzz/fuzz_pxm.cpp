// Feeds arbitrary bytes to the PBM/PGM/PPM reader (the three share one decoder):
// information and pixels must end in a clean EPixelGraphic or an image.
#include "fuzz/fuzz_support.h"
#include "pgraphic/formats/pxm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pgraphic::PGMaxImageSize = 64 << 20;
  pgraphic::TPPMFileFormatReader reader;
  fuzz::QueryInfo(reader, data, size);
  fuzz::Decode(reader, data, size);
  return 0;
}
