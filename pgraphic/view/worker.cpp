#include "pgraphic/view/worker.h"

#include <QMetaObject>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <limits>

namespace pgraphic {

namespace {
std::atomic<int> tasksRunning{0};
}  // namespace

int WorkerTasksRunning() {
  return tasksRunning.load();
}

QThreadPool& WorkerPool() {
  // Never deleted: its destructor would wait for every task.
  static QThreadPool* pool = [] {
    auto* p = new QThreadPool;
    // Room for the long runs (a batch, a read on a slow device) beside the short ones.
    p->setMaxThreadCount(std::max(QThread::idealThreadCount(), 8));
    return p;
  }();
  return *pool;
}

void TWorkerTask::Post(std::function<void()> fn) {
  std::lock_guard lock(control_->Mutex);
  if (!control_->Context) return;
  // The check runs on the owner's thread, where Current is written.
  QMetaObject::invokeMethod(
      control_->Context,
      [self = shared_from_this(), fn = std::move(fn)] {
        if (self->generation_ == self->control_->Current && !self->Cancelled()) fn();
      },
      Qt::QueuedConnection);
}

bool TWorkerTask::Ask(std::function<bool()> fn) {
  // The promise lives in the posted call: dropped unasked, it breaks the future.
  auto answer = std::make_shared<std::promise<bool>>();
  std::future<bool> answered = answer->get_future();
  Post([answer, fn = std::move(fn)] {
    bool value = false;
    try {
      value = fn();
    } catch (const std::exception&) {
      value = false;
    }
    answer->set_value(value);
  });
  answer.reset();
  while (answered.wait_for(std::chrono::milliseconds(10)) == std::future_status::timeout)
    if (Cancelled()) return false;
  try {
    return answered.get();
  } catch (const std::future_error&) {
    return false;
  }
}

void TWorkerTask::Run(const std::function<void(TWorkerTask&)>& body) {
  if (!Cancelled()) {
    try {
      body(*this);
    } catch (...) {
      // Nothing to hand over; the exception must not end the pooled thread.
    }
  }
  std::lock_guard lock(mutex_);
  finished_.store(true);
  finishedChanged_.notify_all();
  --tasksRunning;
}

TWorker::TWorker(QObject* context) : control_(std::make_shared<worker_detail::TControl>()) {
  control_->Context = context;
}

TWorker::~TWorker() {
  Cancel();
  std::lock_guard lock(control_->Mutex);
  control_->Context = nullptr;
  control_->Current = std::numeric_limits<uint64_t>::max();
}

uint64_t TWorker::Launch(std::function<void(TWorkerTask&)> body) {
  Cancel();
  auto task = std::make_shared<TWorkerTask>();
  task->control_ = control_;
  task->generation_ = ++control_->Current;
  task_ = task;
  ++tasksRunning;
  WorkerPool().start([task, body = std::move(body)] { task->Run(body); });
  return task->generation_;
}

void TWorker::Cancel() {
  if (task_) task_->cancelled_.store(true);
}

void TWorker::Wait() {
  if (!task_) return;
  std::unique_lock lock(task_->mutex_);
  task_->finishedChanged_.wait(lock, [&] { return task_->finished_.load(); });
}

bool TWorker::Running() const {
  return task_ && !task_->finished_.load();
}

}  // namespace pgraphic
