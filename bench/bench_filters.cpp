// Convolution and point filters on a 12-megapixel photograph.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "pgraphic/filters/filtersettings.h"

namespace {

using pgraphic::TPixelGraphic;

std::unique_ptr<TPixelGraphic> ReadPPM(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  in >> magic >> w >> h >> maxval;
  in.get();
  if (!in || magic != "P6" || maxval != 255) return nullptr;
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, pgraphic::pf24Bit);
  std::vector<unsigned char> row(static_cast<size_t>(3 * w));
  for (int y = 0; y < h; ++y) {
    in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size()));
    uint8_t* d = g->ScanLine(y);
    for (int x = 0; x < w; ++x) {
      d[3 * x] = row[3 * x + 2];
      d[3 * x + 1] = row[3 * x + 1];
      d[3 * x + 2] = row[3 * x];
    }
  }
  return in ? std::move(g) : nullptr;
}

const TPixelGraphic& Photo() {
  static std::unique_ptr<TPixelGraphic> photo = [] {
    const char* env = std::getenv("KORVANE_BENCH_PHOTO");
    const std::string path = env ? env : "/work/main/build-ext/bench/kleiber-12mp.ppm";
    auto g = ReadPPM(path);
    if (!g) {
      std::fprintf(stderr, "cannot read %s; set KORVANE_BENCH_PHOTO\n", path.c_str());
      std::exit(1);
    }
    return g;
  }();
  return *photo;
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
