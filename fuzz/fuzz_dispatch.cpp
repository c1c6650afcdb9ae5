// Fuzz body for format dispatch: arbitrary bytes through LoadFromStream (every
// reader with a signature) and through LoadFromStreamExt with each registered
// extension-only reader, plus the information query.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pgraphic/formats/fileformat.h"
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
  sink = sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PGMaxImageSize = 16 << 20;
  static const std::vector<std::string> extensionOnly = [] {
    std::vector<std::string> list;
    for (auto& r : FileFormatReaders()) {
      if (!r->SignatureCheck) list.push_back(r->Extension);
    }
    return list;
  }();
  {
    TPixelGraphic g;
    TReadOnlyMemoryStream s(data, size);
    try {
      g.LoadFromStream(s);
    } catch (const EPixelGraphic&) {
    }
    Consume(g);
  }
  for (const std::string& ext : extensionOnly) {
    TPixelGraphic g;
    TReadOnlyMemoryStream s(data, size);
    try {
      g.LoadFromStreamExt(s, ext, 0);
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
