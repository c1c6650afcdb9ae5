// What the reader fuzz targets share: each input goes through the reader's
// information query and its decoding, and the decoded bytes are summed so that
// reads of memory the reader never set show up under the sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "pgraphic/formats/fileformat.h"
#include "pgraphic/image/pixelgraphic.h"

namespace fuzz {

inline volatile uint32_t sink = 0;

// Sums the pixel bytes of the rows (at most maxBytes of them, so that huge but
// legal images do not make page faults dominate the run) and the palette.
inline void Consume(const pgraphic::TPixelGraphic& g, size_t maxBytes = 1u << 20) {
  if (g.Empty()) return;
  uint32_t sum = 0;
  size_t left = maxBytes;
  const size_t rowBytes = (static_cast<size_t>(g.Width()) * g.BitsPerPixel() + 7) / 8;
  for (int y = 0; y < g.Height() && left > 0; ++y) {
    const uint8_t* row = g.ScanLine(y);
    const size_t n = rowBytes < left ? rowBytes : left;
    for (size_t i = 0; i < n; ++i) sum += row[i];
    left -= n;
  }
  for (int i = 0; i < g.PaletteCount(); ++i) sum += g.PaletteColor(i);
  sink = sink + sum;
}

// The reader's information query on the whole input.
inline void QueryInfo(pgraphic::TFileFormatReader& reader, const uint8_t* data, size_t size) {
  pgraphic::TReadOnlyMemoryStream stream(data, size);
  pgraphic::TPGFileInfo info;
  try {
    reader.ReadInfo(stream, 0, info);
  } catch (const pgraphic::EPixelGraphic&) {
  }
  sink = sink + static_cast<uint32_t>(info.Count) + static_cast<uint32_t>(info.Width) +
         static_cast<uint32_t>(info.Height) + static_cast<uint32_t>(info.Colors.size()) +
         static_cast<uint32_t>(info.Extra.size()) + static_cast<uint32_t>(info.SubType.size());
}

// Decodes image `index` of the input; whatever the reader filled before an
// error is consumed too.
inline void Decode(pgraphic::TFileFormatReader& reader, const uint8_t* data, size_t size,
                   int index = 0, pgraphic::TPGWarningAction action = pgraphic::pgwaIgnore) {
  pgraphic::TReadOnlyMemoryStream stream(data, size);
  pgraphic::TPixelGraphic graphic;
  graphic.SetReadWarningAction(action);
  try {
    reader.ReadGraphic(stream, graphic, index);
  } catch (const pgraphic::EPixelGraphic&) {
  }
  Consume(graphic);
}

// The information query through format detection (no extension) on the whole input.
inline void QueryStreamInfo(const uint8_t* data, size_t size) {
  pgraphic::TReadOnlyMemoryStream s(data, size);
  std::string type;
  pgraphic::TPGFileInfo info;
  pgraphic::GetStreamInfo(s, "", 0, type, info);
  sink = static_cast<uint32_t>(info.Width) + static_cast<uint32_t>(info.Height) +
         static_cast<uint32_t>(info.SubType.size());
}

}  // namespace fuzz
