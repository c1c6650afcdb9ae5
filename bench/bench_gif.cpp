// Decoding a 12-megapixel 8-bit GIF (4608 x 2592, 256 colours, made from the
// benchmark photograph by ImageMagick; scripts/fetch-bench-images prepares it).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "bench_support.h"
#include "pgraphic/formats/gif.h"

namespace {

const std::string kFile = std::string(KORVANE_SOURCE_DIR) + "/build-ext/bench/kleiber-12mp.gif";

std::vector<uint8_t> LoadBytes() {
  return bench::ReadBytes(kFile);
}

// From memory: the reader's own work (copy, parse, LZW, rows).
void BM_GifDecode12MP(benchmark::State& state) {
  const auto bytes = LoadBytes();
  if (bytes.empty()) {
    state.SkipWithError("kleiber-12mp.gif missing: run scripts/fetch-bench-images");
    return;
  }
  pgraphic::tGifFileFormatReader reader;
  for (auto _ : state) {
    pgraphic::TMemoryStream stream(bytes);
    pgraphic::TPixelGraphic graphic;
    reader.ReadGraphic(stream, graphic, 0);
    benchmark::DoNotOptimize(graphic.Bits());
  }
  state.SetItemsProcessed(state.iterations() * 4608 * 2592);
}
BENCHMARK(BM_GifDecode12MP)->Unit(benchmark::kMillisecond);

// From the file, as opening it does.
void BM_GifDecodeFile12MP(benchmark::State& state) {
  if (LoadBytes().empty()) {
    state.SkipWithError("kleiber-12mp.gif missing: run scripts/fetch-bench-images");
    return;
  }
  pgraphic::tGifFileFormatReader reader;
  for (auto _ : state) {
    pgraphic::TFileStream stream(kFile, pgraphic::TFileStream::fmOpenRead);
    pgraphic::TPixelGraphic graphic;
    reader.ReadGraphic(stream, graphic, 0);
    benchmark::DoNotOptimize(graphic.Bits());
  }
  state.SetItemsProcessed(state.iterations() * 4608 * 2592);
}
BENCHMARK(BM_GifDecodeFile12MP)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
