// The threads of one encode or decode: the calling thread and its helpers,
// started once for the whole call. Work is handed out in chunks that whichever
// thread is free takes next, so a helper that the system schedules late only
// does less of the work; the calling thread never waits for a helper to start,
// only for a chunk a helper has already taken.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace codec {

class Team {
 public:
  // `threads` counts the calling thread. Helpers start with the first job
  // large enough to share, so small pictures start none.
  explicit Team(int threads) : size_(threads), wanted_(threads - 1) {}
  ~Team();
  Team(const Team&) = delete;
  Team& operator=(const Team&) = delete;

  // Runs fn(begin, end) over [0, count) in chunks of `grain` (the last may be
  // shorter), on every thread of the team, and returns when all are done. The
  // first exception a chunk throws is raised here once the others have ended;
  // chunks not yet started are then skipped.
  void Run(int count, int grain, const std::function<void(int, int)>& fn);
  // Threads the team may run: the calling thread and the helpers wanted.
  int Size() const { return size_; }
  // Which of them the current thread is, 0 .. Size() - 1 (0: the calling
  // thread, or any thread outside a team); lets a chunk use its thread's own
  // scratch buffer.
  static int Member();

  // Runs a and b side by side (or one after the other when the team has one
  // thread, or its helper is busy elsewhere).
  void Both(const std::function<void()>& a, const std::function<void()>& b);

 private:
  struct Job;
  bool StartHelpers();
  void Serve(int member);
  static void Work(Job& job);

  int size_;
  int wanted_;
  std::vector<std::thread> helpers_;
  std::mutex lock_;
  std::condition_variable wake_, idle_;
  Job* job_ = nullptr;
  unsigned long generation_ = 0;
  int busy_ = 0;
  bool stop_ = false;
};

// Team size of a codec call: VQNThreads, or two where the machine has two or
// more hardware threads, limited by the calling thread's TVQNThreadLimit.
int EffectiveThreads();

}  // namespace codec
