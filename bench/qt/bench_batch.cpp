// Batch conversion of 200 small pictures to PNG: the library pipeline called
// directly, and the same run started from the batch dialog (worker thread,
// meter updates, the closing message answered at once), so the dialog's own
// cost per file shows as the difference.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/compr.h"
#include "app/convers.h"
#include "io/batch.h"
#include "pgraphic/image/pixelgraphic.h"

namespace {

constexpr int kFiles = 200;

// A folder of kFiles 64 x 48 BMP pictures and an empty target beside it.
struct TFolder {
  QTemporaryDir dir;
  QString source = dir.filePath("in"), target = dir.filePath("out");
  std::vector<std::string> files;
  TFolder() {
    QDir().mkpath(source);
    QDir().mkpath(target);
    for (int i = 0; i < kFiles; ++i) {
      pgraphic::TPixelGraphic g;
      g.SetSize(64, 48, pgraphic::pf24Bit);
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
          g.SetPixelColor(x, y, pgraphic::TRGB(x * 4 + y * 997 + i * 131));
      files.push_back(QDir(source).filePath(QString("p%1.bmp").arg(i)).toStdString());
      g.SaveToFile(files.back());
    }
  }
};

// The argument is the number of workers.
void BM_BatchPipeline(benchmark::State& state) {
  TFolder folder;
  io::TBatchSettings settings;
  settings.TargetFolder = folder.target.toStdString();
  settings.Format = io::TBatchFormat::PNG;
  settings.Jobs = static_cast<int>(state.range(0));
  for (auto _ : state) io::ConvertFiles(folder.files, settings, {});
  state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_BatchPipeline)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

// The 12 MP photographs bench/batch_peers.sh makes (KORVANE_BATCH_JPEGS names
// its "in" folder) to PNG (0) or VQN (1), by one worker or two.
void BM_BatchPhotos(benchmark::State& state) {
  const char* folder = std::getenv("KORVANE_BATCH_JPEGS");
  if (!folder) {
    state.SkipWithError("KORVANE_BATCH_JPEGS does not name the photographs' folder");
    return;
  }
  std::vector<std::string> files;
  for (const QString& name : QDir(folder).entryList({"*.jpg"}, QDir::Files, QDir::Name))
    files.push_back(QDir(folder).filePath(name).toStdString());
  QTemporaryDir target;
  io::TBatchSettings settings;
  settings.TargetFolder = target.path().toStdString();
  settings.Format = state.range(0) ? io::TBatchFormat::VQN : io::TBatchFormat::PNG;
  settings.Jobs = static_cast<int>(state.range(1));
  for (auto _ : state) io::ConvertFiles(files, settings, {});
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(files.size()));
}
BENCHMARK(BM_BatchPhotos)
    ->ArgsProduct({{0, 1}, {1, 2}})
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

void BM_BatchDialog(benchmark::State& state) {
  TFolder folder;
  app::TStartOptions options;
  options.ConfigDir = folder.dir.path();
  options.StartDir = folder.dir.path();
  app::TForm1 window(options);
  window.Settings.ConvertPath = folder.source;
  auto& dialog = app::Child<app::TForm8>(window);
  dialog.show();
  dialog.RG4->SetItemIndex(4);  // PNG
  dialog.Edit1->setText(folder.target);
  dialog.PTSList1->selectAll();
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
      box->button(QMessageBox::Ok)->click();
  });
  answer.start(1);
  for (auto _ : state) window.Convert();
  state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_BatchDialog)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
