// Feeds arbitrary bytes to the GIF reader: the first two images and the file
// information. Every output byte is summed so that reads of unset memory show.
#include <cstdint>

#include "pgraphic/formats/gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pgraphic;
  PGMaxImageSize = 16 << 20;
  TReadOnlyMemoryStream stream(data, size);
  tGifFileFormatReader reader;
  volatile uint32_t sink = 0;
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
  try {
    TPGFileInfo info;
    reader.ReadInfo(stream, 0, info);
    sink = sink + static_cast<uint32_t>(info.Width) + static_cast<uint32_t>(info.Height) +
           static_cast<uint32_t>(info.Count) + static_cast<uint32_t>(info.Colors.size());
  } catch (const EPixelGraphic&) {
  }
  return 0;
}
