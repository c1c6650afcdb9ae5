// TThumbnailFeeder: makes the thumbnails a file list asks for on the pooled
// worker threads, a few at a time, in the order asked. Each path comes back
// once through Ready on the owner's thread, with the thumbnail (taken from or
// written to the shared thumbnail cache) or a null image when the file cannot
// be read. Asking again replaces what still waits; Reset also drops the work
// under way, whose results are then never handed over.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace pgraphic {
class TWorker;
}

namespace widgets {

class TThumbnailFeeder : public QObject {
  Q_OBJECT

 public:
  explicit TThumbnailFeeder(int side, QObject* parent = nullptr);
  ~TThumbnailFeeder() override;

  // The paths to make next, first first; those under way are not made twice.
  void Want(const QStringList& paths);
  void Reset();
  // Whether nothing waits and nothing is under way.
  bool Idle() const;
  int Side() const { return side_; }

 signals:
  void Ready(const QString& path, const QImage& image);

 private:
  struct TSlot {
    std::unique_ptr<pgraphic::TWorker> Worker;
    QString Path;  // empty while the slot is free
  };
  void Dispatch();
  bool UnderWay(const QString& path) const;

  int side_;
  std::vector<TSlot> slots_;
  QStringList waiting_;
};

}  // namespace widgets
