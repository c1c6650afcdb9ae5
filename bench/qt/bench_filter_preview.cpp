// The filter dialogs' live preview: building the preview source from the
// 12-megapixel photograph, one preview computation of each point filter on the
// largest preview (140 x 140), and a bar move in the real window (offscreen) to
// the updated preview, which includes the 100 ms timer.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QSlider>
#include <QTimer>
#include <atomic>

#include "bench_support.h"
#include "pgraphic/dialogs/filterdialog.h"
#include "pgraphic/dialogs/preview.h"
#include "pgraphic/filters/filtersettings.h"
#include "pgraphic/view/pgimage.h"

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
    g->StretchCopy(0, 0, pgraphic::kPreviewBox, pgraphic::kPreviewBox, photo, 0, 0, photo.Height(),
                   photo.Height());
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

// Runs the event loop until done() holds (at most 10 s).
template <class F>
void WaitUntil(F done) {
  QTimer wake;  // wakes the loop now and then, should nothing else arrive
  wake.start(50);
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < 10000)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void PressKey(QWidget* widget, Qt::Key key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
  QApplication::sendEvent(widget, &press);
  QApplication::sendEvent(widget, &release);
}

// The HLS window on the photograph: one key press on the hue bar, until the
// preview shows the new picture.
void BM_BarMoveToPreviewHLS(benchmark::State& state) {
  const TPixelGraphic& photo = bench::Photograph();
  pgraphic::THLSFilterDialog dialog;
  QTimer::singleShot(0, [&] {
    pgraphic::TFilterDialogForm* form = dialog.Form();
    auto shown = [&] { return form->Preview->PixelGraphicNoWait(); };
    WaitUntil([&] { return shown() != nullptr; });
    for (auto _ : state) {
      const TPixelGraphic* before = shown();
      PressKey(form->Bars[0], Qt::Key_Right);
      WaitUntil([&] { return shown() != before; });
    }
    form->accept();
  });
  dialog.Execute(photo);
}
BENCHMARK(BM_BarMoveToPreviewHLS)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

}  // namespace
