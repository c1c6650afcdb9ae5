// Printing a 12-megapixel photograph-sized image to a PDF printer at 1200 dpi,
// without the dialog: the pixel conversion in bands plus Qt's lossless PDF
// image encoding. True colour, 8-bit and 1-bit palette images.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPrinter>
#include <QTemporaryDir>

#include "app/printing.h"
#include "pgraphic/image/pixelgraphic.h"

namespace {

void BM_PrintToPdf12MP(benchmark::State& state) {
  const auto format = static_cast<pgraphic::TPGPixelFormat>(state.range(0));
  pgraphic::TPixelGraphic image;
  image.SetSize(4000, 3000, format);
  image.SetPaletteCount(image.PaletteCapacity());
  for (int i = 0; i < image.PaletteCapacity(); ++i)
    image.SetPaletteColor(i, pgraphic::RGB(i * 37 % 256, i * 91 % 256, i * 13 % 256));
  // A busy picture, so the PDF's compression has real work.
  for (int y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.ScanLine(y);
    const int bytes = (image.Width() * image.BitsPerPixel() + 7) / 8;
    for (int i = 0; i < bytes; ++i) row[i] = static_cast<uint8_t>((i * 7 + y * 13) ^ (i >> 3));
  }
  QTemporaryDir dir;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath("page.pdf"));
  for (auto _ : state) {
    if (app::PrintGraphic(image, printer, false, true, nullptr) != app::TPrintOutcome::Printed)
      state.SkipWithError("printing failed");
  }
}
BENCHMARK(BM_PrintToPdf12MP)
    ->Arg(pgraphic::pf24Bit)
    ->Arg(pgraphic::pf8Bit)
    ->Arg(pgraphic::pf1Bit)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
