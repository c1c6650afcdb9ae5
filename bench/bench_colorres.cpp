// Colour-resolution conversions of a 12-megapixel photograph: 256 colours
// (optimised palette and dithered copy), 16 colours, 2 colours and 8-bit gray.
#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "pgraphic/image/colorres.h"

namespace {

// The photograph prepared by scripts/fetch-bench-images, in the folder named by
// KORVANE_BENCH_IMAGES or else in build-ext/bench of the source tree.
std::string PhotoPath() {
  const char* dir = std::getenv("KORVANE_BENCH_IMAGES");
  return std::string(dir ? dir : KORVANE_SOURCE_DIR "/build-ext/bench") + "/kleiber-12mp.ppm";
}

// A minimal binary PPM (P6, maxval 255) reader, enough for the benchmark photograph.
std::unique_ptr<pgraphic::TPixelGraphic> ReadPPM(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  auto token = [&]() {
    std::string t;
    char c;
    while (in.get(c)) {
      if (c == '#') {
        while (in.get(c) && c != '\n') {
        }
      } else if (!std::isspace(static_cast<unsigned char>(c))) {
        t += c;
        break;
      }
    }
    while (in.get(c) && !std::isspace(static_cast<unsigned char>(c))) t += c;
    return t;
  };
  if (token() != "P6") return nullptr;
  const int w = std::stoi(token()), h = std::stoi(token()), maxval = std::stoi(token());
  if (maxval != 255) return nullptr;
  auto image = std::make_unique<pgraphic::TPixelGraphic>();
  image->SetSize(w, h, pgraphic::pf24Bit);
  std::string row(3 * static_cast<size_t>(w), '\0');
  for (int y = 0; y < h; ++y) {
    if (!in.read(row.data(), static_cast<std::streamsize>(row.size()))) return nullptr;
    uint8_t* d = image->ScanLine(y);
    for (int x = 0; x < w; ++x) {
      d[3 * x] = static_cast<uint8_t>(row[3 * x + 2]);
      d[3 * x + 1] = static_cast<uint8_t>(row[3 * x + 1]);
      d[3 * x + 2] = static_cast<uint8_t>(row[3 * x]);
    }
  }
  return image;
}

pgraphic::TPixelGraphic* Photo() {
  static std::unique_ptr<pgraphic::TPixelGraphic> photo = ReadPPM(PhotoPath());
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
