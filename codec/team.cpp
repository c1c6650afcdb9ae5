#include "codec/team.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>

#include "codec/vqn.h"

namespace codec {

pgraphic::TPGSetting<int> VQNThreads = 0;

namespace {
thread_local int threadLimit = 0;
thread_local int teamMember = 0;
}  // namespace

TVQNThreadLimit::TVQNThreadLimit(int threads) : saved_(threadLimit) {
  threadLimit = std::max(threads, 1);
}

TVQNThreadLimit::~TVQNThreadLimit() {
  threadLimit = saved_;
}

int EffectiveThreads() {
  int n = VQNThreads;
  if (n <= 0) n = std::thread::hardware_concurrency() >= 2 ? 2 : 1;
  if (threadLimit > 0) n = std::min(n, threadLimit);
  return std::clamp(n, 1, 16);
}

struct Team::Job {
  const std::function<void(int, int)>* Fn;
  int Count;
  int Grain;
  std::atomic<int> Next{0};
  std::atomic<bool> Failed{false};
  std::mutex ErrorLock;
  std::exception_ptr Error;
};

bool Team::StartHelpers() {
  // A helper the system refuses to start leaves the work to the others.
  try {
    for (; wanted_ > 0; --wanted_) {
      const int member = static_cast<int>(helpers_.size()) + 1;
      helpers_.emplace_back([this, member] { Serve(member); });
    }
  } catch (const std::system_error&) {
    wanted_ = 0;
  }
  return !helpers_.empty();
}

Team::~Team() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  for (auto& t : helpers_) t.join();
}

void Team::Work(Job& job) {
  while (!job.Failed.load(std::memory_order_relaxed)) {
    const int begin = job.Next.fetch_add(job.Grain, std::memory_order_relaxed);
    if (begin >= job.Count) return;
    try {
      (*job.Fn)(begin, std::min(job.Count, begin + job.Grain));
    } catch (...) {
      std::lock_guard<std::mutex> hold(job.ErrorLock);
      if (!job.Error) job.Error = std::current_exception();
      job.Failed = true;
    }
  }
}

int Team::Member() {
  return teamMember;
}

void Team::Serve(int member) {
  teamMember = member;
  std::unique_lock<std::mutex> hold(lock_);
  unsigned long seen = 0;
  for (;;) {
    wake_.wait(hold, [&] { return stop_ || (job_ && generation_ != seen); });
    if (stop_) return;
    seen = generation_;
    Job* job = job_;
    ++busy_;
    hold.unlock();
    Work(*job);
    hold.lock();
    if (--busy_ == 0) idle_.notify_all();
  }
}

void Team::Run(int count, int grain, const std::function<void(int, int)>& fn) {
  if (count <= 0) return;
  grain = std::max(grain, 1);
  if (count <= grain || !StartHelpers()) {
    for (int begin = 0; begin < count; begin += grain) fn(begin, std::min(count, begin + grain));
    return;
  }
  Job job;
  job.Fn = &fn;
  job.Count = count;
  job.Grain = grain;
  {
    std::lock_guard<std::mutex> hold(lock_);
    job_ = &job;
    ++generation_;
  }
  wake_.notify_all();
  Work(job);
  {
    // No helper takes the job up after this; those inside finish their chunk.
    std::unique_lock<std::mutex> hold(lock_);
    job_ = nullptr;
    idle_.wait(hold, [&] { return busy_ == 0; });
  }
  if (job.Error) std::rethrow_exception(job.Error);
}

void Team::Both(const std::function<void()>& a, const std::function<void()>& b) {
  Run(2, 1, [&](int i, int) { i == 0 ? a() : b(); });
}

}  // namespace codec
