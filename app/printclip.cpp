// Copy to Clipboard: the shown image goes to the clipboard as a BMP (the packed
// DIB behind a file header, the form other programs paste as image/bmp) and as
// an ordinary image for programs that ask for any other image type.
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

#include "app/compr.h"
#include "pgraphic/image/dib.h"
#include "pgraphic/stream.h"

namespace app {

namespace {

void PutLE(QByteArray& bytes, int offset, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

void TForm1::N10Click() {
  pgraphic::TPixelGraphic* graphic = PGImage1->Graphic();
  if (!graphic || !ImageLoaded) return;
  pgraphic::TMemoryStream dib;
  graphic->WriteDIB(dib);
  const auto& packed = dib.Bytes();
  if (packed.size() < 40) return;
  // The pixels start after the information header and the palette.
  const uint32_t headerSize = packed[0] | packed[1] << 8 | packed[2] << 16 | uint32_t(packed[3]) << 24;
  const uint32_t pixelsAt = 14 + headerSize + 4 * pgraphic::DIBPaletteEntries(*graphic);
  QByteArray bmp(14, '\0');
  bmp[0] = 'B';
  bmp[1] = 'M';
  PutLE(bmp, 2, static_cast<uint32_t>(14 + packed.size()), 4);
  PutLE(bmp, 10, pixelsAt, 4);
  bmp.append(reinterpret_cast<const char*>(packed.data()), static_cast<qsizetype>(packed.size()));
  auto* mime = new QMimeData;
  mime->setImageData(QImage::fromData(bmp, "BMP"));
  mime->setData("image/bmp", bmp);
  QGuiApplication::clipboard()->setMimeData(mime);
}

}  // namespace app
