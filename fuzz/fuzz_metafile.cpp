// Fuzz body for the metafile component: the header and record checks, drawing
// through libwmf or libemf2svg and Qt SVG, and the mapping to the 252-colour
// palette. Every output byte is summed so uninitialised reads show.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "metafile/metafile.h"

using namespace pgraphic;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Pictures up to the program's own limits (metafile::MaxMetafilePixels and
  // PGMaxImageSize as the programs leave it): the large ones are where drawing
  // and dithering meet their allocation limits.
  metafile::TMetafileInfo info;
  try {
    info = metafile::ReadMetafileInfo(data, size);
  } catch (const EPixelGraphic&) {
  }
  try {
    metafile::TMetafileInfo drawnInfo;
    const auto image = metafile::LoadMetafile(data, size, &drawnInfo);
    fuzz::Consume(*image, SIZE_MAX);
    fuzz::sink = fuzz::sink + static_cast<uint32_t>(drawnInfo.Width + drawnInfo.Height);
  } catch (const EPixelGraphic&) {
  }
  fuzz::sink = fuzz::sink + static_cast<uint32_t>(info.Width + info.Height + info.Kind);
  return 0;
}
