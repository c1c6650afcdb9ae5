// Feeds arbitrary bytes to the JPEG reader (information and pixels). Any
// outcome but a clean EPixelGraphic is a finding.
#include <cstddef>
#include <cstdint>

#include "pgraphic/formats/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pgraphic;
  PGMaxImageSize = 64 << 20;
  TJPGFileFormatReader reader;
  try {
    TReadOnlyMemoryStream stream(data, size);
    TPGFileInfo info;
    reader.ReadInfo(stream, 0, info);
  } catch (const EPixelGraphic&) {
  }
  for (TPGWarningAction action : {pgwaIgnore, pgwaRaise}) {
    TPixelGraphic graphic;
    graphic.SetReadWarningAction(action);
    try {
      TReadOnlyMemoryStream stream(data, size);
      reader.ReadGraphic(stream, graphic, 0);
    } catch (const EPixelGraphic&) {
    }
    // Touch every byte so reads of uninitialised memory surface.
    unsigned sum = 0;
    for (int i = 0; i < graphic.ImageSize(); ++i) sum += graphic.Bits()[i];
    if (sum == 0xFFFFFFFFu) return 1;
  }
  return 0;
}
