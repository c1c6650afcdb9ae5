// Decoding a 12-megapixel photograph as PCX (8 bit), PPM/PGM/PBM (raw) and TGA
// (uncompressed and run-length encoded). The files are made once from
// build-ext/bench/kleiber-12mp.ppm (scripts/fetch-bench-images) with ImageMagick.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "pgraphic/formats/pcx.h"
#include "pgraphic/formats/pxm.h"
#include "pgraphic/formats/tga.h"

namespace {

using namespace pgraphic;

const std::string kDir = std::string(KORVANE_SOURCE_DIR) + "/build-ext/bench/";
const std::string kSource = kDir + "kleiber-12mp.ppm";

// Returns the file's path, making it from the source photograph when missing.
std::string Prepared(const std::string& name, const std::string& imageMagickOptions) {
  const std::string path = kDir + name;
  if (!std::filesystem::exists(path) && std::filesystem::exists(kSource)) {
    const std::string cmd =
        "/usr/bin/convert-im6.q16 '" + kSource + "' " + imageMagickOptions + " '" + path + "'";
    if (std::system(cmd.c_str()) != 0) std::filesystem::remove(path);
  }
  return path;
}

template <class Reader>
void Decode(benchmark::State& state, const std::string& path) {
  if (!std::filesystem::exists(path)) {
    state.SkipWithError(("missing " + path + "; run scripts/fetch-bench-images").c_str());
    return;
  }
  for (auto _ : state) {
    TFileStream stream(path, TFileStream::fmOpenRead);
    TPixelGraphic graphic;
    Reader().ReadGraphic(stream, graphic, 0);
    benchmark::DoNotOptimize(graphic.Bits());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(std::filesystem::file_size(path)));
}

void BM_PCX8Bit(benchmark::State& s) {
  Decode<TPCXFileFormatReader>(s, Prepared("kleiber-12mp-8bit.pcx", "+dither -colors 256"));
}
void BM_PPMRaw(benchmark::State& s) {
  Decode<TPPMFileFormatReader>(s, kSource);
}
void BM_PGMRaw(benchmark::State& s) {
  Decode<TPGMFileFormatReader>(s, Prepared("kleiber-12mp.pgm", "-colorspace gray -depth 8"));
}
void BM_PBMRaw(benchmark::State& s) {
  Decode<TPBMFileFormatReader>(s, Prepared("kleiber-12mp.pbm", "-monochrome"));
}
void BM_TGAUncompressed(benchmark::State& s) {
  Decode<TTGAFileFormatReader>(s, Prepared("kleiber-12mp.tga", "-depth 8"));
}
void BM_TGARunLength(benchmark::State& s) {
  Decode<TTGAFileFormatReader>(s, Prepared("kleiber-12mp-rle.tga", "-depth 8 -compress RLE"));
}

BENCHMARK(BM_PCX8Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PPMRaw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PGMRaw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PBMRaw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TGAUncompressed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TGARunLength)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
