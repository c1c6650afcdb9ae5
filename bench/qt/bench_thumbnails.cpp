// The browser's thumbnail grid on a folder of 2,000 12-megapixel JPEGs (one
// picture under 2,000 names, each its own cache entry): the time from showing the
// folder until every item in sight has its thumbnail, with an empty cache (each
// picture decoded at a reduced size) and with the cache filled by the run before.
// The folder is made once (KORVANE_BENCH_THUMBS, or under the temporary folder)
// from build-ext/bench/kleiber-12mp.jpg when present, else from a picture
// ImageMagick draws. The cache lives beside it and is emptied for the cold runs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "bench_support.h"
#include "widgets/shelllist.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 2000;

// The folder of pictures, made on first use; the cache folder is its sibling.
const std::string& Folder() {
  static const std::string folder = [] {
    const char* env = std::getenv("KORVANE_BENCH_THUMBS");
    const std::string root = env ? env : fs::temp_directory_path().string() + "/korvane-thumbs";
    const std::string pictures = root + "/pictures";
    fs::create_directories(pictures);
    const std::string first = pictures + "/photo0000.jpg";
    if (!fs::exists(first)) {
      const std::string photo = bench::ImageFolder() + "/kleiber-12mp.jpg";
      const std::string command =
          fs::exists(photo) ? "cp '" + photo + "' '" + first + "'"
                            : "/usr/bin/convert-im6.q16 -size 4000x3000 -seed 7 plasma:fractal "
                              "-quality 90 '" +
                                  first + "'";
      if (std::system(command.c_str()) != 0) std::exit(1);
    }
    for (int i = 1; i < kFiles; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/photo%04d.jpg", i);
      if (!fs::exists(pictures + name)) fs::create_hard_link(first, pictures + name);
    }
    setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
    return pictures;
  }();
  return folder;
}

// Items whose cell is in sight (one run of them), and how many of them have
// their thumbnail.
std::pair<int, int> InSight(const widgets::TPTShellList& list) {
  int seen = 0, done = 0;
  for (int i = 0; i < list.Count(); ++i) {
    if (!list.visualItemRect(list.item(i)).intersects(list.viewport()->rect())) {
      if (seen > 0) break;
      continue;
    }
    ++seen;
    done += list.ItemThumbnail(i).isNull() ? 0 : 1;
  }
  return {seen, done};
}

// range(0): 0 an empty cache, 1 the cache as the previous run left it.
void BM_ThumbnailsFirstScreen(benchmark::State& state) {
  const std::string folder = Folder();
  const bool cached = state.range(0) != 0;
  int seen = 0;
  double listed = 0;
  for (auto _ : state) {
    if (!cached) fs::remove_all(fs::path(folder).parent_path() / "cache");
    widgets::TPTShellList list;
    list.resize(960, 1000);
    list.SetThumbnails(true);
    list.show();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    list.SetFolder(QString::fromStdString(folder));
    listed = timer.nsecsElapsed() / 1e6;
    // The loop sleeps until an event comes (a thumbnail, a repaint, the tick), so
    // that the measuring takes no processor from the workers.
    QTimer tick;
    tick.start(20);
    for (;;) {
      QApplication::processEvents(QEventLoop::WaitForMoreEvents);
      const auto [inSight, done] = InSight(list);
      if (inSight > 0 && done == inSight) {
        seen = inSight;
        break;
      }
      if (timer.elapsed() > 60000) {
        state.SkipWithError("the thumbnails did not come within a minute");
        break;
      }
    }
    state.SetIterationTime(timer.nsecsElapsed() / 1e9);
  }
  state.counters["items_in_sight"] = seen;
  state.counters["listing_ms"] = listed;
  state.SetLabel(cached ? "from the cache" : "empty cache");
}
// The cold case first, so that the cached one finds its entries.
BENCHMARK(BM_ThumbnailsFirstScreen)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->UseManualTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// Listing the folder alone (range(0): 0 the list, 1 the thumbnail grid, whose
// thumbnails are asked for afterwards): what a user waits for before the items show.
void BM_ListFolder(benchmark::State& state) {
  const QString folder = QString::fromStdString(Folder());
  widgets::TPTShellList list;
  list.resize(960, 1000);
  list.SetThumbnails(state.range(0) != 0);
  list.show();
  for (auto _ : state) {
    list.SetFolder(QDir::rootPath());
    list.SetFolder(folder);
  }
  state.SetLabel(state.range(0) ? "thumbnail grid" : "list");
}
BENCHMARK(BM_ListFolder)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
