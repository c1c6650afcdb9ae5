// Feeds arbitrary bytes to the TIFF reader: information, the first image, and
// the second image of a counted directory chain.
#include <cstddef>
#include <cstdint>

#include "pgraphic/formats/tiff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace pgraphic;
  PGMaxImageSize = 16 << 20;
  static volatile uint32_t sink = 0;
  TTIFFileFormatReader reader;
  for (int pass = 0; pass < 3; ++pass) {
    PGTIFFCountImages = pass == 2;
    TReadOnlyMemoryStream stream(data, size);
    try {
      if (pass == 0) {
        TPGFileInfo info;
        reader.ReadInfo(stream, 0, info);
        sink = sink + static_cast<uint32_t>(info.Count) + static_cast<uint32_t>(info.Width) +
               static_cast<uint32_t>(info.SubType.size());
        continue;
      }
      TPixelGraphic graphic;
      graphic.SetReadWarningAction(pgwaIgnore);
      try {
        reader.ReadGraphic(stream, graphic, pass == 2 ? 1 : 0);
      } catch (const EPixelGraphic&) {
      }
      // Every byte of the image is looked at, so uninitialised reads surface.
      uint32_t sum = 0;
      for (int i = 0; i < graphic.ImageSize(); ++i) sum += graphic.Bits()[i];
      for (int i = 0; i < graphic.PaletteCount(); ++i) sum += graphic.PaletteColor(i);
      sink = sink + sum;
    } catch (const EPixelGraphic&) {
    }
  }
  PGTIFFCountImages = false;
  return 0;
}
