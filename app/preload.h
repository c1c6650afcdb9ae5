// Reading files for the window, and reading ahead: while an image is shown and
// nothing else happens, the files beside it in the browser are read on a worker
// thread (the one in the direction the user is moving first), each with its
// display copy for the view's current fit and zoom mode. Opening such a file
// then takes what was read, provided the file is unchanged on disk; anything
// else (a failure, a warning that would ask the user, a changed file, other
// read settings) is read again by the same job run at once on the window's
// thread (TPreloadJob::ReadNow). Every file, VQN or not, metafile or not, takes
// this one road, so what the window shows never depends on the timing.
//
// At most one read runs at a time and at most two finished ones are kept; a read
// is cancelled as soon as the user goes elsewhere or a command starts, and
// nothing read from one folder outlives a change to another.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/view/pgimage.h"

namespace pgraphic {
class TWorker;
}

namespace widgets {
class TPTShellList;
}

namespace app {

class TImagePane;

// The identity of a file's content as the file system tells it; rewriting or
// replacing the file changes it.
struct TFileStamp {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = -1;
  int64_t ModifiedNs = 0;
  int64_t ChangedNs = 0;
  bool operator==(const TFileStamp&) const = default;
};
// False when the file cannot be found.
bool StampFile(const std::string& path, TFileStamp& stamp);

// The view's settings a file is read with.
struct TReadSettings {
  pgraphic::TPGWarningAction ReadWarningAction = pgraphic::pgwaOKCancelBox;
  pgraphic::TRGB BackGroundColor = 0;
  bool AutoOrient = true;  // photographs upright by their orientation tag
  bool operator==(const TReadSettings&) const = default;
};
TReadSettings ReadSettingsOf(const TImagePane& view);

// What reading one file gave, ahead of time or when it was opened.
struct TPreloaded {
  std::string Path;
  TFileStamp Stamp;
  TReadSettings Read;
  bool Ok = false;  // false: read ahead, the file is read again when it is opened
  bool Wavelet = false;
  std::unique_ptr<pgraphic::TPixelGraphic> Image;
  std::string InfoText;  // the status-bar text
  std::string Error;     // a VQN file's failure to show (read when opened only)
  pgraphic::TPrebuiltCopy Copy;
};

// One file read as the task of a worker of its own (pgraphic::TWorker). The
// task holds what the read needs until it ends, and destroying the job never
// waits for it: a read that was cancelled winds down by itself (or, at exit,
// is left behind).
class TPreloadJob {
 public:
  // `display`: also build the display copy for these view settings.
  TPreloadJob(std::string path, TReadSettings read,
              std::optional<pgraphic::TDisplaySettings> display);
  // A file read earlier whose display copy is built again for other settings
  // (the zoom or the window changed); cancelling stops only the copy.
  TPreloadJob(std::unique_ptr<TPreloaded> read, const pgraphic::TDisplaySettings& display);
  ~TPreloadJob();  // cancels; nothing is told of the read afterwards
  // Reads the file now, on the calling thread, the way a read ahead does: the
  // one road from a path to what the window shows when nothing was read ahead.
  // Unlike a read ahead it may ask the user (a warning of the reader, asked on
  // this thread), keeps a VQN file's error text, reads pictures of any size and
  // builds no display copy (the view builds its own).
  static std::unique_ptr<TPreloaded> ReadNow(const std::string& path, TReadSettings read);
  TPreloadJob(const TPreloadJob&) = delete;
  TPreloadJob& operator=(const TPreloadJob&) = delete;

  const std::string& Path() const;
  bool Refresh() const;
  // Tells the jobs of one preloader apart (set on the user-interface thread).
  uint64_t Serial = 0;
  // Starts the read on the worker pool; its end is told on the thread that
  // calls this (see WhenEnded).
  void Start();
  // Asks the read to stop; its result is then never used, but its end is still
  // told, so that the next read starts only after this one.
  void Cancel();
  bool Cancelled() const;
  // Display settings known only after the read began: the copy is built for
  // them if the image is not read yet.
  void OfferDisplay(const pgraphic::TDisplaySettings& display);
  // Runs `done` once the work has ended: on the worker, or at once (on the
  // calling thread) when it has ended already. A job destroyed before its work
  // began never runs it.
  void WhenDone(std::function<void()> done);
  // Runs `ended` on the thread that started the job, after the work has ended,
  // cancelled or not; never once the job is gone.
  void WhenEnded(std::function<void()> ended);
  // Waits for the work; its result (a failed read too), nullptr when cancelled.
  // Only for a read that is wanted now: a cancelled one is never waited for.
  std::unique_ptr<TPreloaded> Wait();

 private:
  struct TWork;  // what the read needs and gives, shared with its task
  void Ended();

  const std::shared_ptr<TWork> work_;
  std::unique_ptr<QObject> context_;  // where the worker hands the end over
  std::unique_ptr<pgraphic::TWorker> worker_;
  std::function<void()> ended_;
  bool endTold_ = false;
};

// How many reads ahead are running on the workers (cancelled ones included).
int ReadsAheadRunning();

// Starts reading the file named on the command line before any window exists,
// with the settings a new main view reads with.
std::shared_ptr<TPreloadJob> StartPreload(const QString& path);

class TPreloader : public QObject {
  Q_OBJECT

 public:
  TPreloader(widgets::TPTShellList& list, TImagePane& view, QObject* parent = nullptr);
  ~TPreloader() override;

  // Switched off, nothing is read ahead and nothing read is kept.
  void SetEnabled(bool on);
  bool Enabled() const { return enabled_; }
  // Takes over a read started before the window existed.
  void Adopt(std::shared_ptr<TPreloadJob> job);
  // The file now shown: its neighbours are read next, when the program is idle.
  void Shown(const QString& path);
  // What reading `path` now gives, when it was read ahead (waiting for a read of
  // it under way) and the file is unchanged since; nullptr: read it normally.
  // Any other read under way is cancelled.
  std::unique_ptr<TPreloaded> Take(const QString& path);
  // Cancels the read under way (a command starts).
  void CancelWork();
  // Drops everything read from outside the list's folder (the folder changed).
  void FolderChanged();

 signals:
  // The file the selection is on, not opened yet (a key is held), was read
  // whole: opening it now takes no read.
  void SelectedRead(const QString& path);

 public:
  // While one exists nothing is read ahead; the last one to go looks for work.
  class TPause {
   public:
    explicit TPause(TPreloader* preloader) : p_(preloader) {
      if (p_) ++p_->paused_;
    }
    ~TPause() {
      if (p_ && --p_->paused_ == 0) p_->Schedule();
    }
    TPause(const TPause&) = delete;
    TPause& operator=(const TPause&) = delete;

   private:
    TPreloader* p_;
  };

  // ---- State, for tests and measurements ----
  int HeldCount() const { return static_cast<int>(held_.size()); }
  // Whether `path` has been read ahead (successfully or not) and is kept.
  bool Holds(const QString& path) const;
  bool Reading() const { return job_ != nullptr; }
  QString ReadingPath() const;
  int ReadsStarted() const { return readsStarted_; }
  int ReadsTaken() const { return readsTaken_; }

 private:
  void Schedule();
  void IdleTick();
  void SelectionMoved();
  void StartRead(const QString& path);
  void StartJob(std::shared_ptr<TPreloadJob> job);
  void ReadDone(uint64_t serial);
  // Numbers the job and has it report its end here.
  void Watch(TPreloadJob& job);
  // The files to hold now, most wanted first.
  std::vector<QString> Wanted() const;
  void DropUnwanted();
  void Hold(std::unique_ptr<TPreloaded> read);

  widgets::TPTShellList& list_;
  TImagePane& view_;
  QTimer idle_;
  std::shared_ptr<TPreloadJob> job_;
  std::vector<std::unique_ptr<TPreloaded>> held_;
  QString shown_;
  bool shownPainted_ = false;  // the view has drawn the shown file as it will stay
  QElapsedTimer sinceShown_;
  QString follow_;  // selected but not opened: a held key, a press on an item
  int lastIndex_ = -1;
  int direction_ = 1;
  int paused_ = 0;
  int readsStarted_ = 0;
  int readsTaken_ = 0;
  uint64_t serials_ = 0;
  bool enabled_ = true;
};

}  // namespace app
