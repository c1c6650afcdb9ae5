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

void BM_BatchPipeline(benchmark::State& state) {
  TFolder folder;
  io::TBatchSettings settings;
  settings.TargetFolder = folder.target.toStdString();
  settings.Format = io::TBatchFormat::PNG;
  for (auto _ : state) io::ConvertFiles(folder.files, settings, {});
  state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_BatchPipeline)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

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
