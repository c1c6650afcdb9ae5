// The image view on the 12-megapixel photograph in a 1920 x 1080 viewport
// (offscreen platform): the smoothing display copies against Qt's own smooth
// scaling to the same size, full repaints with the copy ready and while hand
// scrolling at 300 %, quick replacement of the shown image, and a huge 8-bit image
// zoomed without a zoomed copy.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QWindow>
#include <cstring>
#include <fstream>
#include <thread>

#include "bench_support.h"
#include "pgraphic/view/bandcopy.h"
#include "pgraphic/view/pgimage.h"

using namespace pgraphic;

namespace {

const TSize2 kViewport{1920, 1080};

// Resident memory in MB.
double ResidentMB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0);
}

TSize2 FitSize(const TPixelGraphic& g) {
  return StretchLayout({{g.Width(), g.Height()}, kViewport, 0, 0, sAlwaysKAR, 1}).Displayed;
}

// The copy as one CopyFrom (second argument 0) and as the view makes it, in bands
// on every core (1).
void BM_DisplayCopy(benchmark::State& state) {
  const TPixelGraphic& photo = bench::Photograph();
  const TSize2 size = FitSize(photo);
  const bool banded = state.range(1) != 0;
  const int cores = static_cast<int>(std::max(std::thread::hardware_concurrency(), 1u));
  for (auto _ : state) {
    TPixelGraphic copy;
    copy.SetStretchMode(static_cast<TStretchMode>(state.range(0)));
    copy.SetSize(size.Width, size.Height, pf24Bit);
    if (banded)
      BandedCopyFrom(copy, photo, cores, nullptr);
    else
      copy.CopyFrom(photo);
    benchmark::DoNotOptimize(copy.Bits());
  }
  state.SetLabel(std::string(state.range(0) == smMedium ? "smMedium" : "smPrecise") +
                 (banded ? " banded" : " one copy"));
}
BENCHMARK(BM_DisplayCopy)
    ->ArgsProduct({{smMedium, smPrecise}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The same photograph as a 32-bit QImage (converted once, outside the timing),
// scaled by Qt's smooth transformation to the same size.
void BM_QtSmoothScaled(benchmark::State& state) {
  const TPixelGraphic& photo = bench::Photograph();
  const TSize2 size = FitSize(photo);
  QImage image(photo.Width(), photo.Height(), QImage::Format_RGB32);
  for (int y = 0; y < photo.Height(); ++y) {
    const uint8_t* s = photo.ScanLine(y);
    auto* d = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < photo.Width(); ++x) d[x] = qRgb(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
  }
  for (auto _ : state) {
    QImage scaled =
        image.scaled(size.Width, size.Height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    benchmark::DoNotOptimize(scaled.constBits());
  }
}
BENCHMARK(BM_QtSmoothScaled)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// A shown view whose viewport is 1920 x 1080.
std::unique_ptr<TPGImage> ViewOf(std::unique_ptr<TPixelGraphic> image) {
  auto view = std::make_unique<TPGImage>();
  view->setFrameStyle(0);
  view->resize(kViewport.Width, kViewport.Height);
  view->show();
  QElapsedTimer t;
  t.start();
  while (!(view->windowHandle() && view->windowHandle()->isExposed()) && t.elapsed() < 5000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  view->SetPixelGraphic(std::move(image));
  return view;
}

std::unique_ptr<TPixelGraphic> PhotoCopy() {
  auto g = std::make_unique<TPixelGraphic>();
  g->Assign(bench::Photograph());
  return g;
}

bool WaitForCopy(TPGImage& view) {
  QElapsedTimer t;
  t.start();
  while (!view.PaintPixelGraphic() && t.elapsed() < 60000) {
    view.viewport()->repaint();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return view.PaintPixelGraphic() != nullptr;
}

void BM_RepaintFitCopyReady(benchmark::State& state) {
  auto view = ViewOf(PhotoCopy());
  view->SetStretch(sShrinkKAR);
  view->SetStretchMode(smMedium);
  if (!WaitForCopy(*view)) state.SkipWithError("no display copy");
  for (auto _ : state) view->viewport()->repaint();
}
BENCHMARK(BM_RepaintFitCopyReady)->Unit(benchmark::kMillisecond);

void BM_RepaintHandScrolling300(benchmark::State& state) {
  auto view = ViewOf(PhotoCopy());
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(3);
  QScrollBar* h = view->horizontalScrollBar();
  QScrollBar* v = view->verticalScrollBar();
  const bool full = state.range(0) != 0;
  int step = 0;
  for (auto _ : state) {
    // A drag step of a few pixels; either the whole viewport is repainted, or the
    // window paints what the scroll uncovered, as it does on screen.
    ++step;
    h->setValue(100 + (step * 7) % 200);
    v->setValue(100 + (step * 5) % 150);
    if (full)
      view->viewport()->repaint();
    else
      QCoreApplication::processEvents();
  }
  state.counters["copies"] = view->PaintPixelGraphic() ? 1 : 0;
  state.SetLabel(full ? "whole viewport" : "uncovered strips");
}
BENCHMARK(BM_RepaintHandScrolling300)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// 100 replacements while copies are built, then the last copy; resident memory
// afterwards against one image plus one copy.
void BM_Replace100(benchmark::State& state) {
  auto view = ViewOf(nullptr);
  view->SetStretch(sShrinkKAR);
  view->SetStretchMode(smPrecise);
  const double base = ResidentMB();
  for (auto _ : state) {
    for (int i = 0; i < 100; ++i) {
      view->SetPixelGraphic(PhotoCopy());
      view->viewport()->repaint();
      QCoreApplication::processEvents();
    }
    if (!WaitForCopy(*view)) state.SkipWithError("no display copy");
  }
  const TPixelGraphic& photo = bench::Photograph();
  state.counters["grownMB"] = ResidentMB() - base;
  state.counters["imagePlusCopyMB"] = (photo.ImageSize() + 1920.0 * 1080 * 3) / (1024.0 * 1024.0);
}
BENCHMARK(BM_Replace100)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Huge8BitZoom300Repaint(benchmark::State& state) {
  auto image = std::make_unique<TPixelGraphic>();
  image->SetSize(20000, 20000, pf8Bit);
  image->SetPaletteIdent(pGray256);
  for (int y = 0; y < 20000; ++y) std::memset(image->ScanLine(y), y & 255, 20000);
  const double before = ResidentMB();
  auto view = ViewOf(std::move(image));
  view->SetStretch(sZoomKAR);
  view->SetZoomFactor(3);
  QScrollBar* h = view->horizontalScrollBar();
  int step = 0;
  for (auto _ : state) {
    h->setValue((++step * 997) % h->maximum());
    view->viewport()->repaint();
  }
  state.counters["grownMB"] = ResidentMB() - before;
  state.counters["copies"] = view->PaintPixelGraphic() ? 1 : 0;
}
BENCHMARK(BM_Huge8BitZoom300Repaint)->Unit(benchmark::kMillisecond);

}  // namespace
