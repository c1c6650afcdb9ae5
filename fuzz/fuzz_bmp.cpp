// Fuzz body for the BMP reader: the file path (14-byte header + DIB), the packed
// DIB of the clipboard, the information query, and a write/read round trip of
// whatever was decoded. Every output byte is summed so uninitialised reads show.
#include <cstddef>
#include <cstdint>

#include "pgraphic/formats/bmp.h"
#include "pgraphic/image/pixelgraphic.h"

using namespace pgraphic;

namespace {

volatile uint32_t sink;

void Consume(const TPixelGraphic& g) {
  if (g.Empty()) return;  // no storage (a zero width may come with any height)
  uint32_t sum = 0;
  for (int y = 0; y < g.Height(); ++y) {
    const uint8_t* row = g.ScanLine(y);
    const int bytes = (g.Width() * g.BitsPerPixel() + 7) / 8;
    for (int i = 0; i < bytes; ++i) sum += row[i];
  }
  for (int i = 0; i < g.PaletteCount(); ++i) sum += g.PaletteColor(i);
  sink = sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PGMaxImageSize = 16 << 20;
  {
    TPixelGraphic g;
    TReadOnlyMemoryStream s(data, size);
    try {
      g.LoadFromStreamExt(s, "bmp", 0);
    } catch (const EPixelGraphic&) {
    }
    Consume(g);
    if (!g.Empty() && g.ImageSize() <= (1 << 20)) {
      TMemoryStream out;
      g.SaveToStream(out);
      out.Seek(0);
      TPixelGraphic back;
      back.LoadFromStream(out);  // what we write must read back
      Consume(back);
    }
  }
  if (size > 14) {
    TPixelGraphic g;
    g.SetCheckRange(true);
    try {
      g.LoadFromClipboardFormat(8, data + 14, size - 14);
    } catch (const EPixelGraphic&) {
    }
    Consume(g);
  }
  TReadOnlyMemoryStream s(data, size);
  std::string type;
  TPGFileInfo info;
  GetStreamInfo(s, "", 0, type, info);
  sink = static_cast<uint32_t>(info.Width) + static_cast<uint32_t>(info.Height) +
         static_cast<uint32_t>(info.SubType.size());
  return 0;
}
