#include "app/preload.h"

#include <sys/stat.h>

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <utility>

#include "app/fileservice.h"
#include "app/imagepane.h"
#include "app/trace.h"
#include "io/files.h"
#include "pgraphic/view/worker.h"
#include "widgets/shelllist.h"

namespace app {

namespace {

// A picture of more than 256 MB of pixels is read only when it is shown:
// holding a neighbour that size beside the one on show would double the memory.
bool SmallEnoughToReadAhead(const std::string& path) {
  io::TFileDescription d;
  return !io::TryDescribeFile(path, d) || io::PictureBytes(d) <= (int64_t{256} << 20);
}

}  // namespace

bool StampFile(const std::string& path, TFileStamp& stamp) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  stamp.Device = static_cast<uint64_t>(st.st_dev);
  stamp.Inode = static_cast<uint64_t>(st.st_ino);
  stamp.Size = static_cast<int64_t>(st.st_size);
  stamp.ModifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  stamp.ChangedNs = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return true;
}

TReadSettings ReadSettingsOf(const TImagePane& view) {
  return {view.ReadWarningAction(), view.BackGroundColor(), view.AutoOrient()};
}

// ---- One read --------------------------------------------------------------------------

struct TPreloadJob::TWork {
  TWork(std::string path, TReadSettings read, std::optional<pgraphic::TDisplaySettings> display)
      : Path(std::move(path)), Read(read), display_(std::move(display)) {}
  TWork(std::unique_ptr<TPreloaded> read, const pgraphic::TDisplaySettings& display)
      : Path(read->Path),
        Read(read->Read),
        Refresh(true),
        given_(std::move(read)),
        display_(display) {}

  void Run();
  bool Cancelled() const { return cancelled.load(std::memory_order_relaxed); }
  std::optional<pgraphic::TDisplaySettings> Display() {
    std::lock_guard<std::mutex> lock(mutex_);
    return display_;
  }
  void OfferDisplay(const pgraphic::TDisplaySettings& display) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!display_) display_ = display;
  }
  void WhenDone(std::function<void()> done) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!finished_) {
      done_ = std::move(done);
      return;
    }
    lock.unlock();
    if (done) done();
  }
  // The result once the work has ended; nullptr when cancelled.
  std::unique_ptr<TPreloaded> Result() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Cancelled() && !Refresh) return nullptr;
    return std::move(result_);
  }

  const std::string Path;
  const TReadSettings Read;
  const bool Refresh = false;
  bool Now = false;  // read for the window, on its thread (ReadNow)
  std::atomic<bool> cancelled{false};

 private:
  void Finish(std::unique_ptr<TPreloaded> read);

  std::unique_ptr<TPreloaded> given_;  // the read whose copy is rebuilt
  std::mutex mutex_;                   // guards what follows
  std::optional<pgraphic::TDisplaySettings> display_;
  std::unique_ptr<TPreloaded> result_;
  bool finished_ = false;
  std::function<void()> done_;
};

TPreloadJob::TPreloadJob(std::string path, TReadSettings read,
                         std::optional<pgraphic::TDisplaySettings> display)
    : work_(std::make_shared<TWork>(std::move(path), read, std::move(display))) {}

TPreloadJob::TPreloadJob(std::unique_ptr<TPreloaded> read,
                         const pgraphic::TDisplaySettings& display)
    : work_(std::make_shared<TWork>(std::move(read), display)) {}

namespace {
std::atomic<int> readsRunning{0};
}  // namespace

int ReadsAheadRunning() {
  return readsRunning.load();
}

TPreloadJob::~TPreloadJob() {
  Cancel();
  worker_.reset();  // before its context
}

const std::string& TPreloadJob::Path() const {
  return work_->Path;
}

bool TPreloadJob::Refresh() const {
  return work_->Refresh;
}

void TPreloadJob::Cancel() {
  // Only the read's own flag: the worker's would drop the end, which is told.
  work_->cancelled.store(true, std::memory_order_relaxed);
}

bool TPreloadJob::Cancelled() const {
  return work_->Cancelled();
}

std::unique_ptr<TPreloaded> TPreloadJob::ReadNow(const std::string& path, TReadSettings read) {
  TPreloadJob job(path, read, std::nullopt);
  job.work_->Now = true;
  job.work_->Run();
  return job.Wait();
}

void TPreloadJob::Start() {
  // The start-up read begins before the application object exists: the job
  // brings the object its end is handed to, on the thread that starts it.
  context_ = std::make_unique<QObject>();
  worker_ = std::make_unique<pgraphic::TWorker>(context_.get());
  worker_->Start(
      [work = work_](pgraphic::TWorkerTask&) mutable {
        ++readsRunning;
        work->Run();
        // Once the job is gone, what was read goes here, before the task counts as ended.
        work.reset();
        --readsRunning;
      },
      [this] { Ended(); });
}

void TPreloadJob::Ended() {
  endTold_ = true;
  if (ended_) std::exchange(ended_, nullptr)();  // may destroy this job
}

void TPreloadJob::WhenEnded(std::function<void()> ended) {
  if (!endTold_) {
    ended_ = std::move(ended);
  } else if (ended) {
    // Told later, as it would have been.
    QMetaObject::invokeMethod(context_.get(), std::move(ended), Qt::QueuedConnection);
  }
}

void TPreloadJob::OfferDisplay(const pgraphic::TDisplaySettings& display) {
  work_->OfferDisplay(display);
}

void TPreloadJob::WhenDone(std::function<void()> done) {
  work_->WhenDone(std::move(done));
}

std::unique_ptr<TPreloaded> TPreloadJob::Wait() {
  // Only this job's own task is waited for.
  if (worker_) worker_->Wait();
  return work_->Result();
}

void TPreloadJob::TWork::Run() {
  if (given_) {
    auto read = std::move(given_);
    const pgraphic::TPixelGraphic* image = read->Image.get();
    try {
      if (image) read->Copy = pgraphic::BuildDisplayCopy(*image, *Display(), &cancelled);
    } catch (...) {
      read->Copy = pgraphic::TPrebuiltCopy();
      read->Copy.For = *Display();  // not tried again for these settings
    }
    Finish(std::move(read));
    return;
  }
  TraceStartup((Now ? "read begins: " : "read ahead begins: ") + Path);
  auto read = std::make_unique<TPreloaded>();
  read->Path = Path;
  read->Read = Read;
  read->Wavelet = fileservice::IsVQN(Path);
  try {
    // A file that cannot be found is still opened when it is wanted now: the
    // reader or the decoder tells why it fails.
    const bool found = StampFile(Path, read->Stamp);
    if ((found || Now) && !Cancelled() && (Now || SmallEnoughToReadAhead(Path))) {
      if (read->Wavelet) {
        // The decoder's own loader, with the texts the window shows.
        fileservice::TWaveletRead decoded = fileservice::ReadWavelet(Path);
        read->Image = std::move(decoded.Image);
        read->InfoText = std::move(decoded.InfoText);
        read->Error = std::move(decoded.Error);
        read->Ok = read->Image != nullptr && read->Error.empty();
      } else {
        auto image = std::make_unique<pgraphic::TPixelGraphic>();
        // A warning that would ask the user cannot be asked from a worker: it
        // makes a read ahead fail, and the window reads the file again and asks.
        const auto action = Read.ReadWarningAction;
        const bool asks = action == pgraphic::pgwaOKBox || action == pgraphic::pgwaOKCancelBox;
        image->SetReadWarningAction(asks && !Now ? pgraphic::pgwaRaise : action);
        image->SetBackGroundColor(Read.BackGroundColor);
        image->OnProgress = [this](pgraphic::TPixelGraphic&, int, int, bool& abort) {
          abort = Cancelled();
        };
        io::OpenImage(Path, *image, 0, {.AutoOrient = Read.AutoOrient});
        image->OnProgress = nullptr;
        read->InfoText = fileservice::InfoText(Path, Read.AutoOrient);
        read->Image = std::move(image);
        read->Ok = true;
      }
      if (const auto display = Display(); read->Ok && !Cancelled() && display)
        read->Copy = pgraphic::BuildDisplayCopy(*read->Image, *display, &cancelled);
      // A file that changed while it was read ahead is read again when it is opened.
      TFileStamp after;
      if (!Now && (!StampFile(Path, after) || !(after == read->Stamp))) read->Ok = false;
    }
  } catch (const std::bad_alloc&) {
    read->Ok = false;
    if (read->Wavelet) read->Error = io::MsgNoMemory;
  } catch (...) {
    read->Ok = false;
  }
  if (!read->Ok) {
    // Only the failure is kept: the window reads the file itself.
    read->Image.reset();
    read->Copy = pgraphic::TPrebuiltCopy();
  }
  if (!Now) read->Error.clear();  // shown only by a read for the window
  TraceStartup((Now ? "read: " : "read ahead: ") + Path);
  Finish(std::move(read));
}

void TPreloadJob::TWork::Finish(std::unique_ptr<TPreloaded> read) {
  std::function<void()> done;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = std::move(read);
    finished_ = true;
    done = std::exchange(done_, nullptr);
  }
  if (done) done();
}

std::shared_ptr<TPreloadJob> StartPreload(const QString& path) {
  auto job = std::make_shared<TPreloadJob>(path.toStdString(), TReadSettings{}, std::nullopt);
  job->Start();
  return job;
}

// ---- The preloader -------------------------------------------------------------------------

TPreloader::TPreloader(widgets::TPTShellList& list, TImagePane& view, QObject* parent)
    : QObject(parent), list_(list), view_(view) {
  idle_.setSingleShot(true);
  connect(&idle_, &QTimer::timeout, this, &TPreloader::IdleTick);
  connect(&list_, &widgets::TPTShellList::Change, this, &TPreloader::SelectionMoved);
  connect(&list_, &widgets::TPTShellList::FolderChanged, this, &TPreloader::FolderChanged);
  connect(&view_, &TImagePane::Painted, this, [this] {
    if (!view_.PaintThreadRunning()) shownPainted_ = true;
  });
}

TPreloader::~TPreloader() {
  // The read is not waited for (it may be stuck in the file system); its end is
  // told to nobody (see Watch).
  if (job_) job_->Cancel();
}

void TPreloader::SetEnabled(bool on) {
  enabled_ = on;
  if (on) return;
  if (job_) job_->Cancel();
  held_.clear();
  follow_.clear();
}

void TPreloader::Adopt(std::shared_ptr<TPreloadJob> job) {
  if (!job || !enabled_) return;
  job_ = std::move(job);
  follow_ = QString::fromStdString(job_->Path());
  Watch(*job_);
}

void TPreloader::Watch(TPreloadJob& job) {
  const uint64_t serial = job.Serial = ++serials_;
  // The start-up job outlives this object (the start options hold it too).
  job.WhenEnded([self = QPointer<TPreloader>(this), serial] {
    if (self) self->ReadDone(serial);
  });
}

void TPreloader::Shown(const QString& path) {
  const int index = list_.IndexOfPath(path);
  if (index >= 0 && lastIndex_ >= 0 && index != lastIndex_)
    direction_ = index > lastIndex_ ? 1 : -1;
  lastIndex_ = index;
  shown_ = path;
  shownPainted_ = false;
  sinceShown_.start();
  follow_.clear();
  Schedule();
}

bool TPreloader::Holds(const QString& path) const {
  const std::string p = path.toStdString();
  return std::any_of(held_.begin(), held_.end(), [&](const auto& r) { return r->Path == p; });
}

QString TPreloader::ReadingPath() const {
  return job_ ? QString::fromStdString(job_->Path()) : QString();
}

std::unique_ptr<TPreloaded> TPreloader::Take(const QString& path) {
  const std::string p = path.toStdString();
  std::unique_ptr<TPreloaded> found;
  if (job_ && job_->Path() == p && (!job_->Cancelled() || job_->Refresh())) {
    // Being read right now: wait for that read rather than start another.
    found = job_->Wait();
    job_.reset();
  } else if (job_) {
    job_->Cancel();  // it winds down by itself and reports
  }
  if (!found) {
    const auto it =
        std::find_if(held_.begin(), held_.end(), [&](const auto& r) { return r->Path == p; });
    if (it != held_.end()) {
      found = std::move(*it);
      held_.erase(it);
    }
  }
  if (follow_ == path) follow_.clear();
  if (!found || !found->Ok) return nullptr;
  TFileStamp now;
  if (!StampFile(p, now) || !(now == found->Stamp) || !(found->Read == ReadSettingsOf(view_)))
    return nullptr;
  ++readsTaken_;
  return found;
}

void TPreloader::CancelWork() {
  if (job_) job_->Cancel();
}

void TPreloader::FolderChanged() {
  const QString folder = list_.Folder();
  auto elsewhere = [&](const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).absolutePath() != folder;
  };
  if (job_ && elsewhere(job_->Path())) job_->Cancel();
  held_.erase(
      std::remove_if(held_.begin(), held_.end(), [&](const auto& r) { return elsewhere(r->Path); }),
      held_.end());
  if (!follow_.isEmpty() && elsewhere(follow_.toStdString())) follow_.clear();
  shown_.clear();
  lastIndex_ = -1;
}

void TPreloader::Schedule() {
  if (enabled_ && paused_ == 0 && !idle_.isActive()) idle_.start(0);
}

std::vector<QString> TPreloader::Wanted() const {
  std::vector<QString> wanted;
  if (!follow_.isEmpty()) {
    wanted.push_back(follow_);
    return wanted;
  }
  const int i = shown_.isEmpty() ? -1 : list_.IndexOfPath(shown_);
  if (i < 0) return wanted;
  for (int step : {direction_, -direction_}) {
    const int j = i + step;
    if (j < 0 || j >= list_.Count() || list_.ItemIsFolder(j)) continue;
    const QString path = list_.ItemPath(j);
    // Metafiles are drawn by the window itself.
    if (!fileservice::IsMetafile(path.toStdString())) wanted.push_back(path);
  }
  return wanted;
}

void TPreloader::DropUnwanted() {
  const std::vector<QString> wanted = Wanted();
  auto isWanted = [&](const std::string& p) {
    return std::any_of(wanted.begin(), wanted.end(),
                       [&](const QString& w) { return w.toStdString() == p; });
  };
  if (job_ && !isWanted(job_->Path())) job_->Cancel();
  held_.erase(
      std::remove_if(held_.begin(), held_.end(), [&](const auto& r) { return !isWanted(r->Path); }),
      held_.end());
}

void TPreloader::IdleTick() {
  if (!enabled_ || paused_ > 0 || job_) return;   // a read's end looks again
  if (QApplication::activeModalWidget()) return;  // the dialog's end looks again
  // The image shown gets the processors first: reading ahead waits until it is
  // on screen (for a while at most: a hidden view paints nothing).
  const bool drawn = !view_.isVisible() || (shownPainted_ && !view_.PaintThreadRunning());
  if (!drawn && sinceShown_.isValid() && sinceShown_.elapsed() < 500) {
    idle_.start(5);
    return;
  }
  DropUnwanted();
  for (const QString& path : Wanted()) {
    if (!Holds(path)) {
      StartRead(path);
      return;
    }
  }
  // Everything wanted is read: display copies made for another zoom or window
  // size are made again.
  const pgraphic::TDisplaySettings display = view_.DisplaySettings();
  for (auto it = held_.begin(); it != held_.end(); ++it) {
    if ((*it)->Ok && !((*it)->Copy.For == display)) {
      auto read = std::move(*it);
      held_.erase(it);
      StartJob(std::make_shared<TPreloadJob>(std::move(read), display));
      return;
    }
  }
}

void TPreloader::SelectionMoved() {
  if (!enabled_) return;
  const int selected = list_.SelectedIndex();
  if (selected < 0 || list_.ItemIsFolder(selected)) return;
  const QString path = list_.ItemPath(selected);
  if (path == shown_ || fileservice::IsMetafile(path.toStdString())) return;
  // The user is on the way to this file: it is read now, in place of the rest.
  follow_ = path;
  // A read begun before the window was laid out (the start file) learns what
  // the view needs now.
  if (job_ && job_->Path() == path.toStdString()) job_->OfferDisplay(view_.DisplaySettings());
  DropUnwanted();
  if (!job_ && !Holds(path) && paused_ == 0) StartRead(path);
}

void TPreloader::StartRead(const QString& path) {
  ++readsStarted_;
  StartJob(std::make_shared<TPreloadJob>(path.toStdString(), ReadSettingsOf(view_),
                                         view_.DisplaySettings()));
}

void TPreloader::StartJob(std::shared_ptr<TPreloadJob> job) {
  Watch(*job);
  job_ = std::move(job);
  job_->Start();
}

void TPreloader::ReadDone(uint64_t serial) {
  if (!job_ || job_->Serial != serial) return;  // taken meanwhile
  std::unique_ptr<TPreloaded> read = job_->Wait();
  job_.reset();
  const QString followed = follow_;
  const bool selectedRead = read && read->Ok && read->Image && !followed.isEmpty() &&
                            read->Path == followed.toStdString();
  if (read) Hold(std::move(read));
  Schedule();
  if (selectedRead && Holds(followed)) emit SelectedRead(followed);
}

void TPreloader::Hold(std::unique_ptr<TPreloaded> read) {
  DropUnwanted();
  const std::vector<QString> wanted = Wanted();
  const bool isWanted = std::any_of(wanted.begin(), wanted.end(), [&](const QString& w) {
    return w.toStdString() == read->Path;
  });
  if (!isWanted) return;
  held_.erase(std::remove_if(held_.begin(), held_.end(),
                             [&](const auto& r) { return r->Path == read->Path; }),
              held_.end());
  while (held_.size() >= 2) held_.erase(held_.begin());
  held_.push_back(std::move(read));
}

}  // namespace app
