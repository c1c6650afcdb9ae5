// Convolution and point filters on a 12-megapixel photograph.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "bench_support.h"
#include "pgraphic/filters/filtersettings.h"

namespace {

using pgraphic::TPixelGraphic;

const TPixelGraphic& Photo() {
  return bench::Photograph();
}

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

// HLS and HSV in place on the photograph, hue +30, the other bars 10 and -20.
void Modulate(benchmark::State& state, pgraphic::TFilterKind kind) {
  TPixelGraphic img;
  pgraphic::TXXXSettings s;
  s.Bar1 = 30;
  s.Bar2 = 10;
  s.Bar3 = -20;
  auto filter = pgraphic::MakeXXXFilter(kind, s);
  for (auto _ : state) {
    state.PauseTiming();
    img.Assign(Photo());
    state.ResumeTiming();
    pgraphic::ApplyFilter(img, *filter, img);
    benchmark::DoNotOptimize(img.Bits());
  }
}
void BM_HLS(benchmark::State& s) {
  Modulate(s, pgraphic::TFilterKind::HLS);
}
void BM_HSV(benchmark::State& s) {
  Modulate(s, pgraphic::TFilterKind::HSV);
}
BENCHMARK(BM_HLS)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HSV)->Unit(benchmark::kMillisecond)->Iterations(3);

// ImageMagick's -modulate on the same photograph, for comparison: the whole
// convert run from its memory-mapped cache format to nothing, and the same run
// without the operation, whose time is the start-up and reading part.
const std::string& PhotoCache() {
  static const std::string path = [] {
    const std::string ppm = bench::ImageFolder() + "/kleiber-12mp.ppm";
    const std::string mpc = bench::ImageFolder() + "/kleiber-12mp.mpc";
    if (!std::ifstream(mpc)) {
      const std::string cmd = "convert-im6.q16 '" + ppm + "' '" + mpc + "'";
      if (std::system(cmd.c_str()) != 0) return std::string();
    }
    return mpc;
  }();
  return path;
}

void Magick(benchmark::State& state, const std::string& operation) {
  if (PhotoCache().empty()) {
    state.SkipWithError("ImageMagick could not prepare the photograph");
    return;
  }
  const std::string cmd = "convert-im6.q16 '" + PhotoCache() + "' " + operation + " null:";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("convert failed");
  }
}
void BM_ImageMagick_ReadOnly(benchmark::State& s) {
  Magick(s, "");
}
void BM_ImageMagick_ModulateHSL(benchmark::State& s) {
  Magick(s, "-define modulate:colorspace=HSL -modulate 110,80,108");
}
void BM_ImageMagick_ModulateHSV(benchmark::State& s) {
  Magick(s, "-define modulate:colorspace=HSV -modulate 110,80,108");
}
BENCHMARK(BM_ImageMagick_ReadOnly)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ImageMagick_ModulateHSL)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ImageMagick_ModulateHSV)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

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
