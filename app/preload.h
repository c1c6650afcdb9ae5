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
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/view/pgimage.h"

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

// One file read on a thread of its own. The thread keeps the job alive until
// it ends and is never waited for by destroying the job: a read that was
// cancelled winds down by itself (or, at exit, is left behind).
class TPreloadJob : public std::enable_shared_from_this<TPreloadJob> {
 public:
  // `display`: also build the display copy for these view settings.
  TPreloadJob(std::string path, TReadSettings read,
              std::optional<pgraphic::TDisplaySettings> display);
  // A file read earlier whose display copy is built again for other settings
  // (the zoom or the window changed); cancelling stops only the copy.
  TPreloadJob(std::unique_ptr<TPreloaded> read, const pgraphic::TDisplaySettings& display);
  ~TPreloadJob();  // cancels
  // Reads the file now, on the calling thread, the way a read ahead does: the
  // one road from a path to what the window shows when nothing was read ahead.
  // Unlike a read ahead it may ask the user (a warning of the reader, asked on
  // this thread), keeps a VQN file's error text, reads pictures of any size and
  // builds no display copy (the view builds its own).
  static std::unique_ptr<TPreloaded> ReadNow(const std::string& path, TReadSettings read);
  TPreloadJob(const TPreloadJob&) = delete;
  TPreloadJob& operator=(const TPreloadJob&) = delete;

  const std::string& Path() const { return path_; }
  bool Refresh() const { return refresh_; }
  // Tells the jobs of one preloader apart (set on the user-interface thread).
  uint64_t Serial = 0;
  // Starts the thread; the job must be owned by a shared_ptr.
  void Start();
  // Asks the read to stop; its result is then never used.
  void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
  // Display settings known only after the read began: the copy is built for
  // them if the image is not read yet.
  void OfferDisplay(const pgraphic::TDisplaySettings& display);
  // Runs `done` once the work has ended: on the worker, or at once (on the
  // calling thread) when it has ended already.
  void WhenDone(std::function<void()> done);
  // Cancels and forgets the `done` given: once this returns it is not running
  // and never runs (what it refers to may go).
  void Abandon();
  // Waits for the work; its result (a failed read too), nullptr when cancelled.
  // Only for a read that is wanted now: a cancelled one is never waited for.
  std::unique_ptr<TPreloaded> Wait();

 private:
  void Run();
  void Finish(std::unique_ptr<TPreloaded> read);
  std::optional<pgraphic::TDisplaySettings> Display();

  const std::string path_;
  const TReadSettings read_;
  const bool refresh_ = false;
  bool now_ = false;                   // read for the window, on its thread (ReadNow)
  std::unique_ptr<TPreloaded> given_;  // the read whose copy is rebuilt
  std::optional<pgraphic::TDisplaySettings> display_;  // guarded by mutex_
  std::atomic<bool> cancelled_{false};
  std::unique_ptr<TPreloaded> result_;  // written by the worker before finished_
  std::mutex mutex_;
  std::condition_variable ended_;
  bool finished_ = false;
  std::function<void()> done_;
};

// How many read-ahead threads are still running (cancelled ones included).
int ReadsAheadRunning();

// Starts reading the file named on the command line before any window exists,
// with the settings a new main view reads with.
std::shared_ptr<TPreloadJob> StartPreload(const QString& path);

class TPreloader : public QObject {
  Q_OBJECT

 public:
  TPreloader(widgets::TPTShellList& list, TImagePane& view, QObject* parent = nullptr);
  ~TPreloader() override;
  bool event(QEvent* event) override;

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
  // Tells this object, from the worker, that the job `serial` has ended.
  void ReportDone(uint64_t serial);
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
  std::atomic<uint64_t> handoff_{0};  // counts the workers' reports
  bool enabled_ = true;
};

}  // namespace app
