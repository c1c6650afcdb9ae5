// Fuzz body for the BMP reader: the file path (14-byte header + DIB), the packed
// DIB of the clipboard, the information query, and a write/read round trip of
// whatever was decoded. Every output byte is summed so uninitialised reads show.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "pgraphic/formats/bmp.h"
#include "pgraphic/image/pixelgraphic.h"

using namespace pgraphic;

// Every row in full: the sizes are already capped by PGMaxImageSize.
constexpr size_t kAllBytes = SIZE_MAX;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PGMaxImageSize = 16 << 20;
  {
    TPixelGraphic g;
    TReadOnlyMemoryStream s(data, size);
    try {
      g.LoadFromStreamExt(s, "bmp", 0);
    } catch (const EPixelGraphic&) {
    }
    fuzz::Consume(g, kAllBytes);
    if (!g.Empty() && g.ImageSize() <= (1 << 20)) {
      TMemoryStream out;
      g.SaveToStream(out);
      out.Seek(0);
      TPixelGraphic back;
      back.LoadFromStream(out);  // what we write must read back
      fuzz::Consume(back, kAllBytes);
    }
  }
  if (size > 14) {
    TPixelGraphic g;
    g.SetCheckRange(true);
    try {
      g.LoadFromClipboardFormat(8, data + 14, size - 14);
    } catch (const EPixelGraphic&) {
    }
    fuzz::Consume(g, kAllBytes);
  }
  fuzz::QueryStreamInfo(data, size);
  return 0;
}
