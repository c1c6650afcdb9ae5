// Feeds arbitrary bytes to the ICO reader in both modes, for the first two
// images and the file information. Every output byte is summed.
#include <cstdint>

#include "pgraphic/formats/ico.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pgraphic;
  PGMaxImageSize = 16 << 20;
  TReadOnlyMemoryStream stream(data, size);
  tIcoFileFormatReader reader;
  volatile uint32_t sink = 0;
  for (int mode = 0; mode < 2; ++mode) {
    PGIcoMode = mode;
    for (int index = 0; index < 2; ++index) {
      try {
        TPixelGraphic graphic;
        reader.ReadGraphic(stream, graphic, index);
        uint32_t sum = 0;
        for (int i = 0; i < graphic.ImageSize(); ++i) sum += graphic.Bits()[i];
        for (int i = 0; i < graphic.PaletteCount(); ++i) sum += graphic.PaletteColor(i);
        sink = sink + sum;
      } catch (const EPixelGraphic&) {
      }
    }
  }
  PGIcoMode = 1;
  try {
    TPGFileInfo info;
    reader.ReadInfo(stream, 0, info);
    sink = sink + static_cast<uint32_t>(info.Width) + static_cast<uint32_t>(info.Height) +
           static_cast<uint32_t>(info.Count) + static_cast<uint32_t>(info.Extra.size());
  } catch (const EPixelGraphic&) {
  }
  return 0;
}
