// The filter dialogs' live preview: building the preview source from the
// 12-megapixel photograph, and one preview computation of each point filter on
// the largest preview (140 x 140).
#include <benchmark/benchmark.h>

#include <atomic>

#include "bench_support.h"
#include "pgraphic/dialogs/preview.h"
#include "pgraphic/filters/filtersettings.h"

namespace {

using pgraphic::TFilterKind;
using pgraphic::TPixelGraphic;

const std::atomic<bool> kNever{false};

void BM_PreviewSource12MP(benchmark::State& state) {
  const TPixelGraphic& photo = bench::Photograph();
  for (auto _ : state) {
    TPixelGraphic source;
    pgraphic::BuildPreviewSource(photo, source, kNever);
    benchmark::DoNotOptimize(source.Bits());
  }
}
BENCHMARK(BM_PreviewSource12MP)->Unit(benchmark::kMillisecond);

// A square part of the photograph, resampled to 140 x 140.
const TPixelGraphic& SquarePreview() {
  static const TPixelGraphic& square = *[] {
    const TPixelGraphic& photo = bench::Photograph();
    auto* g = new TPixelGraphic;  // lives for the whole run
    g->SetSize(pgraphic::kPreviewBox, pgraphic::kPreviewBox, pgraphic::pf24Bit);
    g->StretchCopy(0, 0, pgraphic::kPreviewBox, pgraphic::kPreviewBox, photo, 0, 0,
                   photo.Height(), photo.Height());
    return g;
  }();
  return square;
}

// Settings away from the identity, as after a few bar moves.
void BM_Preview140(benchmark::State& state) {
  const auto kind = static_cast<TFilterKind>(state.range(0));
  pgraphic::TFilterValues values = pgraphic::DefaultValues(kind);
  values.Bars = {30, -20, 40};
  values.Switch = !values.Switch;
  state.SetLabel(pgraphic::FilterKindName(kind));
  for (auto _ : state) {
    // A fresh filter per computation, as the dialog's timer makes one.
    auto filter = pgraphic::MakeFilter(kind, values);
    auto preview = pgraphic::ComputePreview(*filter, SquarePreview(), kNever);
    benchmark::DoNotOptimize(preview->Bits());
  }
}
BENCHMARK(BM_Preview140)
    ->DenseRange(static_cast<int>(TFilterKind::RGB), static_cast<int>(TFilterKind::Negative))
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
