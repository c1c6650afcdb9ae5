// BMP load and save speed on a 12-megapixel photograph, 24-bit and RLE8, against
// the time it takes just to read the file's bytes. The files live in
// build-ext/bench/ (scripts/fetch-bench-images); missing files skip their runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "pgraphic/formats/bmp.h"
#include "pgraphic/image/pixelgraphic.h"

using namespace pgraphic;

namespace {

std::string BenchFile(const char* name) {
  if (const char* dir = std::getenv("KORVANE_BENCH_DIR")) return std::string(dir) + "/" + name;
  return std::string(KORVANE_SOURCE_DIR) + "/build-ext/bench/" + name;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  std::fseek(f, 0, SEEK_END);
  const long size = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  bytes.resize(got);
  return bytes;
}

void ReadFileBytes(benchmark::State& state, const char* name) {
  const std::string path = BenchFile(name);
  if (!std::filesystem::exists(path)) return state.SkipWithError("bench file missing");
  for (auto _ : state) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(std::filesystem::file_size(path)));
}

void LoadFromFile(benchmark::State& state, const char* name) {
  const std::string path = BenchFile(name);
  if (!std::filesystem::exists(path)) return state.SkipWithError("bench file missing");
  for (auto _ : state) {
    TPixelGraphic g;
    g.LoadFromFile(path);
    benchmark::DoNotOptimize(g.Bits());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(std::filesystem::file_size(path)));
}

void LoadFromMemory(benchmark::State& state, const char* name) {
  const std::vector<uint8_t> bytes = ReadBytes(BenchFile(name));
  if (bytes.empty()) return state.SkipWithError("bench file missing");
  for (auto _ : state) {
    TReadOnlyMemoryStream s(bytes.data(), bytes.size());
    TPixelGraphic g;
    g.LoadFromStream(s);
    benchmark::DoNotOptimize(g.Bits());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}

void SaveToFile(benchmark::State& state, const char* name) {
  const std::string path = BenchFile(name);
  if (!std::filesystem::exists(path)) return state.SkipWithError("bench file missing");
  TPixelGraphic g;
  g.LoadFromFile(path);
  const std::string out =
      (std::filesystem::temp_directory_path() / "korvane-bench-save.bmp").string();
  for (auto _ : state) g.SaveToFile(out);
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(std::filesystem::file_size(out)));
  std::filesystem::remove(out);
}

}  // namespace

BENCHMARK_CAPTURE(ReadFileBytes, bmp24, "kleiber-12mp.bmp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadFromFile, bmp24, "kleiber-12mp.bmp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadFromMemory, bmp24, "kleiber-12mp.bmp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SaveToFile, bmp24, "kleiber-12mp.bmp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadFileBytes, rle8, "kleiber-12mp-rle8.bmp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadFromFile, rle8, "kleiber-12mp-rle8.bmp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(LoadFromMemory, rle8, "kleiber-12mp-rle8.bmp")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(SaveToFile, rle8, "kleiber-12mp-rle8.bmp")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
