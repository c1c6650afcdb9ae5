// Feeds arbitrary bytes to the TPPMFileFormatReader: every input must end in a clean
// EPixelGraphic or an image, never a fault.
#include <cstddef>
#include <cstdint>

#include "pgraphic/formats/pxm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pgraphic;
  PGMaxImageSize = 64 << 20;
  TReadOnlyMemoryStream stream(data, size);
  TPPMFileFormatReader reader;
  TPGFileInfo info;
  try {
    reader.ReadInfo(stream, 0, info);
  } catch (const EPixelGraphic&) {
  }
  stream.Seek(0);
  TPixelGraphic graphic;
  try {
    reader.ReadGraphic(stream, graphic, 0);
  } catch (const EPixelGraphic&) {
  }
  // Touch the pixel bytes so reads of uninitialised memory surface; large images
  // only in part, or page faults would dominate the run time.
  unsigned sum = 0;
  const uint8_t* bits = graphic.Bits();
  const int touched = graphic.ImageSize() < (1 << 18) ? graphic.ImageSize() : 1 << 18;
  for (int i = 0; bits && i < touched; ++i) sum += bits[i];
  for (int i = 0; i < graphic.PaletteCount(); ++i) sum += graphic.PaletteColor(i);
  return sum == 0xFFFFFFFFu ? 1 : 0;
}
