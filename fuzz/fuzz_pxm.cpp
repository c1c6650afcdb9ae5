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
  // Touch every pixel byte so reads of uninitialised memory surface.
  unsigned sum = 0;
  const uint8_t* bits = graphic.Bits();
  for (int i = 0; bits && i < graphic.ImageSize(); ++i) sum += bits[i];
  for (int i = 0; i < graphic.PaletteCount(); ++i) sum += graphic.PaletteColor(i);
  return sum == 0xFFFFFFFFu ? 1 : 0;
}
