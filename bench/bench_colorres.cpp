// Colour-resolution conversions of a 12-megapixel photograph: 256 colours
// (optimised palette and dithered copy), 16 colours, 2 colours and 8-bit gray.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_support.h"
#include "pgraphic/image/colorres.h"

namespace {

// The photograph prepared by scripts/fetch-bench-images; null when it is missing.
pgraphic::TPixelGraphic* Photo() {
  static std::unique_ptr<pgraphic::TPixelGraphic> photo = [] {
    auto image = std::make_unique<pgraphic::TPixelGraphic>();
    if (!bench::ReadPPM(bench::ImageFolder() + "/kleiber-12mp.ppm", *image)) image.reset();
    return image;
  }();
  return photo.get();
}

void Convert(benchmark::State& state, pgraphic::TColorCommand command) {
  pgraphic::TPixelGraphic* photo = Photo();
  if (!photo) {
    state.SkipWithError("benchmark photograph missing (scripts/fetch-bench-images)");
    return;
  }
  for (auto _ : state) {
    auto result = pgraphic::ApplyColorCommand(*photo, command);
    benchmark::DoNotOptimize(result->Bits());
  }
  state.counters["Mpixel/s"] = benchmark::Counter(
      double(photo->Width()) * photo->Height() * double(state.iterations()) / 1e6,
      benchmark::Counter::kIsRate);
}

void BM_Colors256(benchmark::State& state) {
  Convert(state, pgraphic::ccColors256);
}
void BM_Colors16(benchmark::State& state) {
  Convert(state, pgraphic::ccColors16);
}
void BM_Colors2(benchmark::State& state) {
  Convert(state, pgraphic::ccColors2);
}
void BM_Gray256(benchmark::State& state) {
  Convert(state, pgraphic::ccGray256);
}

// The optimised palette alone, without the dithered copy.
void BM_OptimizedPalette256(benchmark::State& state) {
  pgraphic::TPixelGraphic* photo = Photo();
  if (!photo) {
    state.SkipWithError("benchmark photograph missing");
    return;
  }
  pgraphic::TPixelGraphic dest;
  dest.SetSize(1, 1, pgraphic::pf8Bit);
  for (auto _ : state) pgraphic::BuildOptimizedPalette(dest, *photo, 256, true);
}

BENCHMARK(BM_Colors256)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Colors16)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Colors2)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Gray256)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_OptimizedPalette256)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
