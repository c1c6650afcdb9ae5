// Undo of a pixel command on a 12-megapixel image in the main window: the undo
// slot's copy goes back into the view, with no decoding.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <memory>

#include "app/compr.h"
#include "pgraphic/image/pixelgraphic.h"

namespace {

void BM_Undo12MP(benchmark::State& state) {
  QTemporaryDir dir;
  app::TStartOptions options;
  options.ConfigDir = dir.path();
  options.StartDir = dir.path();
  app::TForm1 window(options);
  window.show();
  auto image = std::make_unique<pgraphic::TPixelGraphic>();
  image->SetSize(4000, 3000, pgraphic::pf24Bit);
  window.PGImage1->SetGraphic(std::move(image));
  for (auto _ : state) {
    state.PauseTiming();
    window.V1Click();  // arms the undo slot
    state.ResumeTiming();
    window.U1Click();
  }
}
BENCHMARK(BM_Undo12MP)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
