// Resampling, quarter turns and mirroring on a 12-megapixel photograph, next to a
// plain memory copy of the same pixels.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "pgraphic/image/geometry.h"
#include "pgraphic/image/pixelgraphic.h"

namespace {

using pgraphic::TPixelGraphic;

const TPixelGraphic& Photo() {
  return bench::Photograph();
}

void BM_Memcpy(benchmark::State& state) {
  const TPixelGraphic& src = Photo();
  std::vector<uint8_t> dst(static_cast<size_t>(src.ImageSize()));
  for (auto _ : state) {
    std::memcpy(dst.data(), src.Bits(), dst.size());
    benchmark::DoNotOptimize(dst.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * src.ImageSize());
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

void Resample(benchmark::State& state, pgraphic::TStretchMode mode, int w, int h) {
  const TPixelGraphic& src = Photo();
  TPixelGraphic dst;
  dst.SetSize(w, h, pgraphic::pf24Bit);
  dst.SetStretchMode(mode);
  for (auto _ : state) {
    dst.CopyFrom(src);
    benchmark::DoNotOptimize(dst.Bits());
  }
}

void BM_DownTo1080_Medium(benchmark::State& s) {
  Resample(s, pgraphic::smMedium, 1920, 1080);
}
void BM_DownTo1080_Precise(benchmark::State& s) {
  Resample(s, pgraphic::smPrecise, 1920, 1080);
}
void BM_Up2x_Medium(benchmark::State& s) {
  Resample(s, pgraphic::smMedium, 9216, 5184);
}
void BM_Up2x_Precise(benchmark::State& s) {
  Resample(s, pgraphic::smPrecise, 9216, 5184);
}
void BM_DownTo1080_Fast(benchmark::State& s) {
  Resample(s, pgraphic::smFast, 1920, 1080);
}
BENCHMARK(BM_DownTo1080_Medium)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DownTo1080_Precise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Up2x_Medium)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Up2x_Precise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DownTo1080_Fast)->Unit(benchmark::kMillisecond);

// The turn into an image that already exists, as the main window's recipe does
// after creating it.
void BM_RotateRight90(benchmark::State& state) {
  const TPixelGraphic& src = Photo();
  auto dst = pgraphic::NewImageLike(src, src.Height(), src.Width(), pgraphic::pf24Bit);
  const int w = src.Width(), h = src.Height();
  for (auto _ : state) {
    dst->Rotate(h / 2 - (h % 2 == 0 ? 1 : 0), w / 2, src, 0, 0, w, h, w / 2, h / 2, 90);
    benchmark::DoNotOptimize(dst->Bits());
  }
  state.SetBytesProcessed(state.iterations() * src.ImageSize());
}
BENCHMARK(BM_RotateRight90)->Unit(benchmark::kMillisecond);

void BM_RotateRight90Watched(benchmark::State& state) {
  const TPixelGraphic& src = Photo();
  auto dst = pgraphic::NewImageLike(src, src.Height(), src.Width(), pgraphic::pf24Bit);
  int steps = 0;
  dst->OnProgress = [&](TPixelGraphic&, int, int, bool&) { ++steps; };
  const int w = src.Width(), h = src.Height();
  for (auto _ : state) {
    dst->Rotate(h / 2 - (h % 2 == 0 ? 1 : 0), w / 2, src, 0, 0, w, h, w / 2, h / 2, 90);
    benchmark::DoNotOptimize(dst->Bits());
  }
  state.SetBytesProcessed(state.iterations() * src.ImageSize());
}
BENCHMARK(BM_RotateRight90Watched)->Unit(benchmark::kMillisecond);

void BM_Rotate180(benchmark::State& state) {
  const TPixelGraphic& src = Photo();
  auto dst = pgraphic::NewImageLike(src, src.Width(), src.Height(), pgraphic::pf24Bit);
  const int w = src.Width(), h = src.Height();
  for (auto _ : state) {
    dst->Rotate(w / 2 - 1, h / 2 - 1, src, 0, 0, w, h, w / 2, h / 2, 180);
    benchmark::DoNotOptimize(dst->Bits());
  }
}
BENCHMARK(BM_Rotate180)->Unit(benchmark::kMillisecond);

void BM_MirrorHorizontal(benchmark::State& state) {
  TPixelGraphic img;
  img.Assign(Photo());
  for (auto _ : state) {
    img.MirrorHorizontal();
    benchmark::DoNotOptimize(img.Bits());
  }
  state.SetBytesProcessed(state.iterations() * img.ImageSize());
}
BENCHMARK(BM_MirrorHorizontal)->Unit(benchmark::kMillisecond);

void BM_MirrorVertical(benchmark::State& state) {
  TPixelGraphic img;
  img.Assign(Photo());
  for (auto _ : state) {
    img.MirrorVertical();
    benchmark::DoNotOptimize(img.Bits());
  }
  state.SetBytesProcessed(state.iterations() * img.ImageSize());
}
BENCHMARK(BM_MirrorVertical)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
