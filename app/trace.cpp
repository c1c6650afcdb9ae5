#include "app/trace.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace app {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool>& Ended() {
  static std::atomic<bool> ended{false};
  return ended;
}

const Clock::time_point& Origin() {
  static const Clock::time_point origin = Clock::now();
  return origin;
}

// How long the process ran before the first mark, from the kernel's start time
// (its resolution is one clock tick, usually 10 ms); -1 when unknown.
double ProcessAgeMs() {
  std::ifstream statFile("/proc/self/stat");
  std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
  const size_t close = stat.rfind(')');
  std::ifstream uptimeFile("/proc/uptime");
  double uptime = 0;
  if (close == std::string::npos || !(uptimeFile >> uptime)) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  // Field 22 (starttime) is the 20th after the command name.
  for (int i = 0; i < 20 && fields >> field; ++i) {
  }
  const long ticks = sysconf(_SC_CLK_TCK);
  if (field.empty() || ticks <= 0) return -1;
  return (uptime - std::stod(field) / double(ticks)) * 1000.0;
}

}  // namespace

bool TracingStartup() {
  static const bool on = [] {
    const char* value = std::getenv("KORVANE_TRACE_STARTUP");
    return value && *value && std::strcmp(value, "0") != 0;
  }();
  return on && !Ended().load(std::memory_order_relaxed);
}

void TraceStartup(const std::string& what) {
  if (!TracingStartup()) return;
  static const bool first = [] {
    Origin();
    const double age = ProcessAgeMs();
    if (age >= 0) std::fprintf(stderr, "korvane start-up: process ran ~%.0f ms before main\n", age);
    return true;
  }();
  (void)first;
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - Origin()).count();
  // The calling thread's own CPU time tells a slow step from one kept waiting
  // for a core.
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  auto msOf = [](const timeval& t) { return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1e3; };
  std::fprintf(stderr,
               "korvane start-up: %8.1f ms  (thread user %5.1f sys %5.1f faults %6ld)  %s\n", ms,
               msOf(usage.ru_utime), msOf(usage.ru_stime), usage.ru_minflt, what.c_str());
}

void EndStartupTrace() {
  TraceStartup("start-up done");
  Ended().store(true, std::memory_order_relaxed);
}

}  // namespace app
