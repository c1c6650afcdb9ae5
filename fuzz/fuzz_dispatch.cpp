// Fuzz body for format dispatch: arbitrary bytes through LoadFromStream (every
// reader with a signature) and through LoadFromStreamExt with each registered
// extension-only reader, plus the information query.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "pgraphic/formats/fileformat.h"
#include "pgraphic/image/pixelgraphic.h"

using namespace pgraphic;

// Every row in full: the sizes are already capped by PGMaxImageSize.
constexpr size_t kAllBytes = SIZE_MAX;

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
    fuzz::Consume(g, kAllBytes);
  }
  for (const std::string& ext : extensionOnly) {
    TPixelGraphic g;
    TReadOnlyMemoryStream s(data, size);
    try {
      g.LoadFromStreamExt(s, ext, 0);
    } catch (const EPixelGraphic&) {
    }
    fuzz::Consume(g, kAllBytes);
  }
  fuzz::QueryStreamInfo(data, size);
  return 0;
}
