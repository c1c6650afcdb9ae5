#include "widgets/thumbnailer.h"

#include <QFile>
#include <QThread>
#include <algorithm>

#include "io/thumbnails.h"
#include "pgraphic/view/worker.h"

namespace widgets {

namespace {

// The thumbnail as an image of its own, or a null image when the file cannot
// be read (nothing is thrown out of a worker's task).
QImage MakeImage(const QString& path, int side) {
  try {
    const io::TThumbnail t =
        io::LoadThumbnail(QFile::encodeName(path).toStdString(),
                          side > 128 ? io::TThumbnailSize::Large : io::TThumbnailSize::Normal);
    QImage image(t.Width, t.Height, QImage::Format_RGBA8888);
    for (int y = 0; y < t.Height; ++y)
      std::copy_n(&t.Rgba[size_t(y) * t.Width * 4], size_t(t.Width) * 4, image.scanLine(y));
    return image;
  } catch (...) {
    return QImage();
  }
}

}  // namespace

TThumbnailFeeder::TThumbnailFeeder(int side, QObject* parent) : QObject(parent), side_(side) {
  // As many at once as there are processors (at most four), so that the list
  // and the image shown keep their share.
  const int count = std::clamp(QThread::idealThreadCount(), 1, 4);
  for (int i = 0; i < count; ++i) slots_.push_back({std::make_unique<pgraphic::TWorker>(this), {}});
}

TThumbnailFeeder::~TThumbnailFeeder() = default;

void TThumbnailFeeder::Want(const QStringList& paths) {
  waiting_.clear();
  for (const QString& path : paths)
    if (!UnderWay(path)) waiting_ << path;
  Dispatch();
}

void TThumbnailFeeder::Reset() {
  waiting_.clear();
  for (auto& slot : slots_) {
    slot.Worker->Cancel();
    slot.Path.clear();
  }
}

bool TThumbnailFeeder::Idle() const {
  return waiting_.isEmpty() &&
         std::all_of(slots_.begin(), slots_.end(), [](const TSlot& s) { return s.Path.isEmpty(); });
}

bool TThumbnailFeeder::UnderWay(const QString& path) const {
  return std::any_of(slots_.begin(), slots_.end(), [&](const TSlot& s) { return s.Path == path; });
}

void TThumbnailFeeder::Dispatch() {
  for (auto& slot : slots_) {
    if (!slot.Path.isEmpty() || waiting_.isEmpty()) continue;
    slot.Path = waiting_.takeFirst();
    TSlot* s = &slot;
    slot.Worker->Start(
        [path = slot.Path, side = side_](pgraphic::TWorkerTask&) { return MakeImage(path, side); },
        [this, s](QImage image) {
          const QString path = s->Path;
          s->Path.clear();
          emit Ready(path, image);
          Dispatch();
        });
  }
}

}  // namespace widgets
