// Drawing metafiles: the player alone (24-bit) and the whole load the viewer does
// (drawing plus the mapping to the 252-colour palette), for the peer-exported test
// drawings at their own size and for a plain WMF whose picture is 1499 x 999; and
// opening the exported files through the program's file service, as the window,
// the batch and the command-line tool do (in the drawing helper process).
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "io/files.h"
#include "metafile/metafile.h"

namespace {

std::vector<uint8_t> Fixture(const char* name) {
  std::ifstream in(std::string(KORVANE_SOURCE_DIR) + "/tests/data/metafile/" + name,
                   std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The placeable header removed: the window extent becomes the picture size.
std::vector<uint8_t> Plain(std::vector<uint8_t> bytes) {
  bytes.erase(bytes.begin(), bytes.begin() + 22);
  return bytes;
}

const std::vector<uint8_t>& Input(int which) {
  static const std::vector<uint8_t> inputs[] = {Fixture("shapes.wmf"), Fixture("shapes.emf"),
                                                Plain(Fixture("shapes.wmf"))};
  return inputs[which];
}

void SetLabel(benchmark::State& state, const metafile::TMetafileInfo& info) {
  state.SetLabel(metafile::MetafileInfoText(info));
  state.SetItemsProcessed(state.iterations() * info.Width * info.Height);
}

void BM_DrawMetafile(benchmark::State& state) {
  const auto& bytes = Input(static_cast<int>(state.range(0)));
  metafile::TMetafileInfo info;
  for (auto _ : state)
    benchmark::DoNotOptimize(metafile::DrawMetafile(bytes.data(), bytes.size(), &info));
  SetLabel(state, info);
}

void BM_LoadMetafile(benchmark::State& state) {
  const auto& bytes = Input(static_cast<int>(state.range(0)));
  metafile::TMetafileInfo info;
  for (auto _ : state)
    benchmark::DoNotOptimize(metafile::LoadMetafile(bytes.data(), bytes.size(), &info));
  SetLabel(state, info);
}

// The same drawing in the helper process: the difference to BM_DrawMetafile is
// what starting the helper and moving the file and the picture costs per file.
void BM_DrawMetafileGuarded(benchmark::State& state) {
  const auto& bytes = Input(static_cast<int>(state.range(0)));
  metafile::TMetafileInfo info;
  for (auto _ : state)
    benchmark::DoNotOptimize(metafile::DrawMetafileGuarded(bytes.data(), bytes.size(), &info));
  SetLabel(state, info);
}

void BM_OpenThroughFileService(benchmark::State& state) {
  metafile::RegisterWithFileService();
  const std::string path = std::string(KORVANE_SOURCE_DIR) + "/tests/data/metafile/" +
                           (state.range(0) == 0 ? "shapes.wmf" : "shapes.emf");
  for (auto _ : state) benchmark::DoNotOptimize(io::OpenImage(path));
  SetLabel(state, metafile::ReadMetafileFileInfo(path));
}

BENCHMARK(BM_DrawMetafile)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadMetafile)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawMetafileGuarded)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenThroughFileService)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
