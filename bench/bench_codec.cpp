// Speed of the VQN codec on real photographs: whole encode and decode, the
// entropy stage alone, one and two threads. With --quality it prints bits per
// pixel and PSNR at the track-bar positions 0, 60 and 120; with --psnr A.ppm
// B.ppm the PSNR between two pictures (for comparing with other codecs).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "bench_support.h"
#include "codec/entropy.h"
#include "codec/vqn.h"

namespace {

using pgraphic::TPixelGraphic;

const std::string kImages[] = {bench::ImageFolder() + "/kleiber-12mp.ppm",
                               bench::ImageFolder() + "/path-2560.ppm"};

// The photograph as a new image, or nullptr when it cannot be read.
std::unique_ptr<TPixelGraphic> ReadPPM(const std::string& path) {
  auto image = std::make_unique<TPixelGraphic>();
  if (!bench::ReadPPM(path, *image)) return nullptr;
  return image;
}

TPixelGraphic* Image(int index) {
  static std::map<int, std::unique_ptr<TPixelGraphic>> cache;
  auto& slot = cache[index];
  if (!slot) slot = ReadPPM(kImages[index]);
  return slot.get();
}

double Psnr(const TPixelGraphic& a, const TPixelGraphic& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    const uint8_t *p = a.ScanLine(y), *q = b.ScanLine(y);
    for (int i = 0; i < 3 * a.Width(); ++i) {
      const double d = double(p[i]) - q[i];
      sum += d * d;
    }
  }
  const double mse = sum / (3.0 * a.Width() * a.Height());
  return 10 * std::log10(255.0 * 255.0 / mse);
}

// state.range(0): image index, range(1): threads, range(2): track-bar position.
void BM_Encode(benchmark::State& state) {
  TPixelGraphic* image = Image(static_cast<int>(state.range(0)));
  if (!image)
    return state.SkipWithError("benchmark photograph missing (scripts/fetch-bench-images)");
  codec::VQNThreads = static_cast<int>(state.range(1));
  const int q = codec::QualityFromPosition(static_cast<int>(state.range(2)));
  int64_t coded = 0;
  for (auto _ : state) {
    auto data = codec::Compress(*image, q);
    coded = data.CodedLength;
    benchmark::DoNotOptimize(data.CodedData.data());
  }
  state.counters["bpp"] = 8.0 * (coded + 44) / (double(image->Width()) * image->Height());
  state.counters["MPixel/s"] = benchmark::Counter(double(image->Width()) * image->Height() / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Decode(benchmark::State& state) {
  TPixelGraphic* image = Image(static_cast<int>(state.range(0)));
  if (!image)
    return state.SkipWithError("benchmark photograph missing (scripts/fetch-bench-images)");
  codec::VQNThreads = 0;
  const int q = codec::QualityFromPosition(static_cast<int>(state.range(2)));
  pgraphic::TMemoryStream file;
  codec::WriteVQN(codec::Compress(*image, q), file);
  codec::VQNThreads = static_cast<int>(state.range(1));
  for (auto _ : state) {
    pgraphic::TReadOnlyMemoryStream stream(file.Bytes().data(), file.Bytes().size());
    auto decoded = codec::DecodeVQN(stream);
    benchmark::DoNotOptimize(decoded->Bits());
  }
  state.counters["MPixel/s"] = benchmark::Counter(double(image->Width()) * image->Height() / 1e6,
                                                  benchmark::Counter::kIsIterationInvariantRate);
}

// The entropy stage alone: coefficient bytes per second and coded symbols
// (literal byte values, run lengths and run values) per second.
void BM_EntropyDecode(benchmark::State& state) {
  TPixelGraphic* image = Image(static_cast<int>(state.range(0)));
  if (!image)
    return state.SkipWithError("benchmark photograph missing (scripts/fetch-bench-images)");
  codec::VQNThreads = 0;
  auto data = codec::Compress(*image, codec::QualityFromPosition(static_cast<int>(state.range(2))));
  const auto geometry = codec::BandGeometry(data.Width, data.Height, data.Levels);
  std::vector<uint8_t> out(static_cast<size_t>(codec::CoefficientCount(geometry)));
  for (auto _ : state) {
    codec::DecodeBytes(data.CodedData.data(), data.CodedData.size(), out.data(), out.size());
    benchmark::DoNotOptimize(out.data());
  }
  const auto stats = codec::LastEntropyStats();
  state.counters["Mbytes/s"] =
      benchmark::Counter(double(out.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["Msymbols/s"] = benchmark::Counter(double(stats.Literals + 2 * stats.Runs) / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void BM_EntropyEncode(benchmark::State& state) {
  TPixelGraphic* image = Image(static_cast<int>(state.range(0)));
  if (!image)
    return state.SkipWithError("benchmark photograph missing (scripts/fetch-bench-images)");
  codec::VQNThreads = 0;
  auto data = codec::Compress(*image, codec::QualityFromPosition(static_cast<int>(state.range(2))));
  const auto geometry = codec::BandGeometry(data.Width, data.Height, data.Levels);
  std::vector<uint8_t> bytes(static_cast<size_t>(codec::CoefficientCount(geometry)));
  codec::DecodeBytes(data.CodedData.data(), data.CodedData.size(), bytes.data(), bytes.size());
  for (auto _ : state) {
    auto coded = codec::EncodeBytes(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(coded.data());
  }
  const auto stats = codec::LastEntropyStats();
  state.counters["Mbytes/s"] =
      benchmark::Counter(double(bytes.size()) / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["Msymbols/s"] = benchmark::Counter(double(stats.Literals + 2 * stats.Runs) / 1e6,
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void Args(benchmark::internal::Benchmark* b) {
  for (int image : {0, 1})
    for (int threads : {1, 2}) b->Args({image, threads, 60});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

void EntropyArgs(benchmark::internal::Benchmark* b) {
  for (int image : {0, 1})
    for (int position : {0, 60, 120}) b->Args({image, 1, position});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Encode)->Apply(Args);
BENCHMARK(BM_Decode)->Apply(Args);
BENCHMARK(BM_EntropyDecode)->Apply(EntropyArgs);
BENCHMARK(BM_EntropyEncode)->Apply(EntropyArgs);

int QualityTable() {
  for (int index : {0, 1}) {
    TPixelGraphic* image = Image(index);
    if (!image) continue;
    for (int position : {0, 60, 120}) {
      auto result = codec::CompressInteractive(*image, codec::QualityFromPosition(position));
      std::printf("%s position %3d: %8d bytes  %.3f bpp  PSNR %.2f dB\n", kImages[index].c_str(),
                  position, result.Data.CodedLength + 44,
                  8.0 * (result.Data.CodedLength + 44) / (double(image->Width()) * image->Height()),
                  Psnr(*image, *result.Preview));
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--quality") == 0) return QualityTable();
  if (argc >= 4 && std::strcmp(argv[1], "--psnr") == 0) {
    auto a = ReadPPM(argv[2]), b = ReadPPM(argv[3]);
    if (!a || !b || a->Width() != b->Width() || a->Height() != b->Height()) return 1;
    std::printf("%.2f\n", Psnr(*a, *b));
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
