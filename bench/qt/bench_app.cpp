// The desktop program on the offscreen platform: Next Image latency through a
// folder of 12-megapixel JPEGs at Shrink to Fit with the Medium zoom mode (split
// into reading the file, building the display copy and painting), stepping at
// once or after a pause in which the next file is read ahead, start-up to the
// first painted window, and memory while browsing 200 images.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <fstream>
#include <memory>
#include <vector>

#include "app/compr.h"
#include "app/preload.h"
#include "app/startup.h"
#include "bench_support.h"
#include "pgraphic/image/pixelgraphic.h"

namespace {

struct Times {
  double read = 0, copy = 0, paint = 0;
  double total() const { return read + copy + paint; }
};

void AddStats(benchmark::State& state, const std::vector<Times>& runs) {
  auto stat = [&](const char* name, double Times::*part) {
    std::vector<double> v;
    for (const auto& t : runs) v.push_back(t.*part);
    if (v.empty()) return;
    std::sort(v.begin(), v.end());
    state.counters[std::string(name) + "_median_ms"] = v[v.size() / 2];
    state.counters[std::string(name) + "_worst_ms"] = v.back();
  };
  stat("read", &Times::read);
  stat("copy", &Times::copy);
  stat("paint", &Times::paint);
  std::vector<double> totals;
  for (const auto& t : runs) totals.push_back(t.total());
  std::sort(totals.begin(), totals.end());
  state.counters["total_median_ms"] = totals[totals.size() / 2];
  state.counters["total_worst_ms"] = totals.back();
}

double ResidentMB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// A folder of images made from a benchmark photograph, and settings that open it
// at Shrink to Fit with the Medium zoom mode.
struct Scene {
  QTemporaryDir dir;
  QString images, config;

  Scene() {
    images = dir.filePath("images");
    config = dir.filePath("config");
    QDir().mkpath(images);
    QDir().mkpath(config);
    QFile ini(config + "/tesslora.ini");
    ini.open(QIODevice::WriteOnly);
    ini.write(QString("[Path]\nOpen=%1\n[Window]\nLeft=0\nTop=0\nWidth=1280\nHeight=900\n"
                      "[Zoom]\nValue=0\n[Zoom mode]\nValue=1\n")
                  .arg(images)
                  .toUtf8());
  }

  // With readAhead the first argument is read on a worker while the window is
  // built, as main() does.
  std::unique_ptr<app::TForm1> Window(const QStringList& args = {}, bool readAhead = false) {
    app::TStartOptions options;
    options.ConfigDir = config;
    options.StartDir = images;
    options.Arguments = args;
    if (readAhead && !args.isEmpty())
      options.StartRead = app::StartPreload(app::StartFilePath(images, args.first()));
    return std::make_unique<app::TForm1>(options);
  }
};

// Processes events until `done` holds (at most 20 s).
template <class F>
void Until(F done) {
  QElapsedTimer limit;
  limit.start();
  while (!done() && limit.elapsed() < 20000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
}

// Shows the image just opened: the display copy is built, then painted.
void WaitShown(app::TForm1& w, int& paints, QElapsedTimer& clock, Times& t) {
  Until([&] { return w.PGImage1->PaintPixelGraphic() && !w.PGImage1->PaintThreadRunning(); });
  t.copy = clock.nsecsElapsed() / 1e6 - t.read;
  const int before = paints;
  w.PGImage1->viewport()->update();
  Until([&] { return paints > before; });
  t.paint = clock.nsecsElapsed() / 1e6 - t.read - t.copy;
}

// Argument: the pause in ms between steps, with the program idle (it reads the
// next file ahead meanwhile); 0 steps as soon as the image is shown.
void BM_NextImage12MP(benchmark::State& state) {
  const int pauseMs = static_cast<int>(state.range(0));
  Scene scene;
  pgraphic::TPixelGraphic photo;
  photo.Assign(bench::Photograph());
  const int count = 4;
  for (int i = 0; i < count; ++i) {
    if (i % 2) photo.MirrorHorizontal();
    photo.SaveToFile(QString("%1/photo%2.jpg").arg(scene.images).arg(i).toStdString());
  }
  auto w = scene.Window({"photo0.jpg"});
  int paints = 0;
  QObject::connect(w->PGImage1, &app::TImagePane::Painted, [&] { ++paints; });
  w->show();
  Until([&] { return w->PGImage1->PaintPixelGraphic() != nullptr; });
  std::vector<Times> runs;
  for (auto _ : state) {
    if (w->SlideAtEnd || !w->Button("SB17")->isEnabled()) {
      state.PauseTiming();
      while (w->Button("SB16")->isEnabled()) w->SB16Click();
      state.ResumeTiming();
    }
    if (pauseMs > 0) {
      state.PauseTiming();
      QElapsedTimer idle;
      idle.start();
      Until([&] { return idle.elapsed() >= pauseMs; });
      state.ResumeTiming();
    }
    Times t;
    QElapsedTimer clock;
    clock.start();
    w->SB17Click();
    t.read = clock.nsecsElapsed() / 1e6;
    WaitShown(*w, paints, clock, t);
    runs.push_back(t);
    state.SetIterationTime(t.total() / 1000.0);
  }
  AddStats(state, runs);
  state.counters["displayed_w"] = w->PGImage1->DisplayedSize().width();
  // The file's decoding alone, for the split: the view starts the display copy
  // while the command still runs, so "read" holds decoding plus the copy's start.
  std::vector<double> decode;
  for (int i = 0; i < count; ++i) {
    QElapsedTimer clock;
    clock.start();
    pgraphic::TPixelGraphic g;
    g.LoadFromFile(QString("%1/photo%2.jpg").arg(scene.images).arg(i).toStdString());
    decode.push_back(clock.nsecsElapsed() / 1e6);
  }
  std::sort(decode.begin(), decode.end());
  state.counters["decode_only_median_ms"] = decode[decode.size() / 2];
}
BENCHMARK(BM_NextImage12MP)
    ->Arg(0)
    ->Arg(500)
    ->UseManualTime()
    ->Iterations(12)
    ->Unit(benchmark::kMillisecond);

// Window creation to the first paint; with a file (argument 1), to the image
// painted; argument 2: the file is read while the window is built.
void BM_StartUp(benchmark::State& state) {
  const bool withFile = state.range(0) != 0;
  const bool readAhead = state.range(0) == 2;
  Scene scene;
  if (withFile) bench::Photograph();  // read outside the timing
  if (withFile) {
    pgraphic::TPixelGraphic photo;
    photo.Assign(bench::Photograph());
    photo.SaveToFile((scene.images + "/photo.jpg").toStdString());
  }
  std::vector<Times> runs;
  for (auto _ : state) {
    Times t;
    QElapsedTimer clock;
    clock.start();
    auto w = scene.Window(withFile ? QStringList{"photo.jpg"} : QStringList{}, readAhead);
    int paints = 0;
    QObject::connect(w->PGImage1, &app::TImagePane::Painted, [&] { ++paints; });
    struct PaintWatch : QObject {
      bool painted = false;
      bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted = true;
        return false;
      }
    } watch;
    w->PTSList1->viewport()->installEventFilter(&watch);
    w->show();
    t.read = clock.nsecsElapsed() / 1e6;
    if (withFile) {
      WaitShown(*w, paints, clock, t);
    } else {
      Until([&] { return watch.painted; });
      t.paint = clock.nsecsElapsed() / 1e6 - t.read;
    }
    runs.push_back(t);
    state.SetIterationTime(t.total() / 1000.0);
    state.PauseTiming();
    w->close();
    w.reset();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
  AddStats(state, runs);
}
BENCHMARK(BM_StartUp)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// Resident memory while stepping through 200 images (hard links to one JPEG of
// the 2560 x 1600 photograph): it stays at one image and its copies.
void BM_Browse200(benchmark::State& state) {
  Scene scene;
  pgraphic::TPixelGraphic photo;
  if (!bench::ReadPPM(bench::ImageFolder() + "/path-2560.ppm", photo)) {
    state.SkipWithError("path-2560.ppm missing; run scripts/fetch-bench-images");
    return;
  }
  const std::string first = (scene.images + "/img000.jpg").toStdString();
  photo.SaveToFile(first);
  for (int i = 1; i < 200; ++i)
    ::link(first.c_str(), QString("%1/img%2.jpg")
                              .arg(scene.images)
                              .arg(i, 3, 10, QChar('0'))
                              .toLocal8Bit()
                              .constData());
  for (auto _ : state) {
    auto w = scene.Window({"img000.jpg"});
    int paints = 0;
    QObject::connect(w->PGImage1, &app::TImagePane::Painted, [&] { ++paints; });
    w->show();
    Until([&] { return w->PGImage1->PaintPixelGraphic() != nullptr; });
    const double start = ResidentMB();
    double after10 = 0;
    for (int i = 1; i < 200; ++i) {
      w->SB17Click();
      Times t;
      QElapsedTimer clock;
      clock.start();
      WaitShown(*w, paints, clock, t);
      if (i == 10) after10 = ResidentMB();
    }
    const double end = ResidentMB();
    state.counters["rss_first_MB"] = start;
    state.counters["rss_after10_MB"] = after10;
    state.counters["rss_after200_MB"] = end;
    state.counters["growth_10_to_200_MB"] = end - after10;
    state.counters["image_MB"] = photo.ImageSize() / (1024.0 * 1024.0);
    w->close();
  }
}
BENCHMARK(BM_Browse200)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
