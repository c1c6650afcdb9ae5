// Convolution and point filters on a 12-megapixel photograph.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench_support.h"
#include "pgraphic/filters/filtersettings.h"

namespace {

using pgraphic::TPixelGraphic;

const TPixelGraphic& Photo() { return bench::Photograph(); }

void Convolve(benchmark::State& state, pgraphic::TFilterKind kind) {
  const TPixelGraphic& src = Photo();
  auto filter = pgraphic::MakeConvFilter(kind, pgraphic::DefaultConvSettings(kind));
  state.counters["kernel"] = filter->Width();
  TPixelGraphic dst;
  for (auto _ : state) {
    pgraphic::ApplyFilter(dst, *filter, src);
    benchmark::DoNotOptimize(dst.Bits());
  }
}

void BM_Sharpen(benchmark::State& s) {
  Convolve(s, pgraphic::TFilterKind::Sharpen);
}
void BM_Blur_r2_5(benchmark::State& s) {
  Convolve(s, pgraphic::TFilterKind::Blur);
}
void BM_Smooth(benchmark::State& s) {
  Convolve(s, pgraphic::TFilterKind::Smooth);
}
BENCHMARK(BM_Sharpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Blur_r2_5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Smooth)->Unit(benchmark::kMillisecond);

void BM_HLS(benchmark::State& state) {
  TPixelGraphic img;
  pgraphic::TXXXSettings s;
  s.Bar1 = 30;
  s.Bar2 = 10;
  s.Bar3 = -20;
  auto filter = pgraphic::MakeXXXFilter(pgraphic::TFilterKind::HLS, s);
  for (auto _ : state) {
    state.PauseTiming();
    img.Assign(Photo());
    state.ResumeTiming();
    pgraphic::ApplyFilter(img, *filter, img);
    benchmark::DoNotOptimize(img.Bits());
  }
}
BENCHMARK(BM_HLS)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RGB(benchmark::State& state) {
  TPixelGraphic img;
  img.Assign(Photo());
  pgraphic::TXXXSettings s;
  s.Bar1 = 10;
  auto filter = pgraphic::MakeXXXFilter(pgraphic::TFilterKind::RGB, s);
  for (auto _ : state) {
    pgraphic::ApplyFilter(img, *filter, img);
    benchmark::DoNotOptimize(img.Bits());
  }
}
BENCHMARK(BM_RGB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
