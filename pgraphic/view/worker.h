// TWorker: one slot of background work owned by an object of the user-interface
// thread. Each Start runs a task on a pooled thread and hands its result to a
// callback on the owner's thread through a queued call; starting again or
// cancelling supersedes the task before it, whose result is then never handed
// over. Cancelling only raises the task's flag: nothing here joins a thread, so
// the user-interface thread never waits on a blocked task unless it asks to
// (Wait), and a task still blocked at exit is abandoned with the process.
#pragma once

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>

class QThreadPool;

namespace pgraphic {

// The pool every worker runs on. It is made once and never destroyed, so that
// the exit of the program does not wait for a task blocked in a read.
QThreadPool& WorkerPool();

// How many tasks of all workers have been started and not yet ended, cancelled
// ones included (a cancelled task still ends its current step).
int WorkerTasksRunning();

namespace worker_detail {
// What a worker and its tasks share: the owner while it lives, and the number of
// the task whose results may still be handed over.
struct TControl {
  std::mutex Mutex;
  QObject* Context = nullptr;  // cleared (under Mutex) when the worker goes
  uint64_t Current = 0;        // read and written on the owner's thread only
};
}  // namespace worker_detail

// A running task as its work sees it.
class TWorkerTask : public std::enable_shared_from_this<TWorkerTask> {
 public:
  bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
  // The flag itself, for code that polls an atomic (progress handlers).
  const std::atomic<bool>& CancelFlag() const { return cancelled_; }
  // Runs fn on the owner's thread later, unless by then this task has been
  // cancelled or superseded, or the worker is gone.
  void Post(std::function<void()> fn);
  // Runs fn on the owner's thread and waits for its answer (an exception from fn
  // answers false). Answers false as soon as this task is cancelled, so a task
  // that asks can still be cancelled and waited for; it also answers false when
  // the question is dropped unasked (the task superseded, the worker gone).
  bool Ask(std::function<bool()> fn);

 private:
  friend class TWorker;
  void Run(const std::function<void(TWorkerTask&)>& body);

  std::atomic<bool> cancelled_{false};
  std::atomic<bool> finished_{false};
  uint64_t generation_ = 0;
  std::shared_ptr<worker_detail::TControl> control_;
  std::mutex mutex_;
  std::condition_variable finishedChanged_;
};

class TWorker {
 public:
  // Results are handed over on the thread of `context`, which must outlive this.
  explicit TWorker(QObject* context);
  // Cancels the task under way and drops its result; does not wait for it.
  ~TWorker();
  TWorker(const TWorker&) = delete;
  TWorker& operator=(const TWorker&) = delete;

  // Cancels the task under way and starts work(task) on the pool; its return
  // value goes to done(value) on the owner's thread (done() for void work) unless
  // the task is cancelled or superseded first. An exception leaving the work ends
  // the task without a result. Returns the new task's generation.
  template <class Work, class Done>
  uint64_t Start(Work work, Done done);
  // Raises the flag of the task under way; its result is never handed over. The
  // next Start works as usual.
  void Cancel();
  // Waits until the latest task's work has returned (or was skipped, cancelled
  // before it began). For work that reads data the owner is about to change.
  void Wait();
  // Whether the latest task's work has not yet returned.
  bool Running() const;
  // The generation of the latest task (0 before the first).
  uint64_t Generation() const { return control_->Current; }

 private:
  uint64_t Launch(std::function<void(TWorkerTask&)> body);

  std::shared_ptr<worker_detail::TControl> control_;
  std::shared_ptr<TWorkerTask> task_;
};

template <class Work, class Done>
uint64_t TWorker::Start(Work work, Done done) {
  using TResult = std::invoke_result_t<Work&, TWorkerTask&>;
  // Shared so that move-only work and callbacks fit into std::function.
  auto w = std::make_shared<Work>(std::move(work));
  auto d = std::make_shared<Done>(std::move(done));
  return Launch([w, d](TWorkerTask& task) {
    if constexpr (std::is_void_v<TResult>) {
      (*w)(task);
      task.Post([d] { (*d)(); });
    } else {
      auto result = std::make_shared<std::optional<TResult>>((*w)(task));
      task.Post([d, result] { (*d)(std::move(**result)); });
    }
  });
}

}  // namespace pgraphic
