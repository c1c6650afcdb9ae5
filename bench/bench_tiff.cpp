// Reading and writing a 12-megapixel photograph as TIFF, uncompressed and
// PackBits. The input files are made once by ImageMagick from the prepared
// photograph (scripts/fetch-bench-images); set KORVANE_BENCH_DIR to use
// another folder of bench images.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "pgraphic/formats/tiff.h"

namespace fs = std::filesystem;
using namespace pgraphic;

namespace {

fs::path BenchDir() {
  if (const char* dir = std::getenv("KORVANE_BENCH_DIR")) return dir;
  return fs::path(KORVANE_SOURCE_DIR) / "build-ext" / "bench";
}

fs::path WorkDir() {
  fs::path dir = fs::temp_directory_path() / "korvane-bench-tiff";
  fs::create_directories(dir);
  return dir;
}

// The photograph as a TIFF written by ImageMagick with the given compression.
std::string Input(int compression) {
  const fs::path file =
      WorkDir() / (compression == 1 ? "kleiber-12mp-none.tif" : "kleiber-12mp-packbits.tif");
  if (!fs::exists(file)) {
    const fs::path source = BenchDir() / "kleiber-12mp.ppm";
    const std::string cmd = "/usr/bin/convert-im6.q16 '" + source.string() + "' -compress " +
                            (compression == 1 ? "none" : "RLE") + " '" + file.string() + "'";
    if (!fs::exists(source) || std::system(cmd.c_str()) != 0) return {};
  }
  return file.string();
}

void BM_ReadTIFF(benchmark::State& state) {
  const std::string file = Input(static_cast<int>(state.range(0)));
  if (file.empty()) {
    state.SkipWithError("bench photograph missing (scripts/fetch-bench-images)");
    return;
  }
  TTIFFileFormatReader reader;
  int64_t bytes = 0;
  for (auto _ : state) {
    TPixelGraphic graphic;
    TFileStream stream(file, TFileStream::fmOpenRead);
    reader.ReadGraphic(stream, graphic, 0);
    benchmark::DoNotOptimize(graphic.Bits());
    bytes += graphic.ImageSize();
  }
  state.SetBytesProcessed(bytes);
}

void BM_WriteTIFF(benchmark::State& state) {
  const std::string file = Input(1);
  if (file.empty()) {
    state.SkipWithError("bench photograph missing (scripts/fetch-bench-images)");
    return;
  }
  TPixelGraphic graphic;
  {
    TFileStream stream(file, TFileStream::fmOpenRead);
    TTIFFileFormatReader().ReadGraphic(stream, graphic, 0);
  }
  const std::string out = (WorkDir() / "out.tif").string();
  PGTIFFCompression = static_cast<int>(state.range(0));
  TTIFFileFormatWriter writer;
  for (auto _ : state) {
    TFileStream stream(out, TFileStream::fmCreate);
    writer.WriteGraphic(stream, graphic);
    stream.Close();
  }
  PGTIFFCompression = 1;
  state.SetBytesProcessed(state.iterations() * int64_t{graphic.ImageSize()});
}

}  // namespace

BENCHMARK(BM_ReadTIFF)->Arg(1)->Arg(32773)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteTIFF)->Arg(1)->Arg(32773)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
