// The main function of the Qt benchmark programs: an offscreen application
// (with the desktop program's start-up work when it is built), then Google
// Benchmark over the program's registered benchmarks.
#include <benchmark/benchmark.h>

#include <QApplication>

#ifdef KORVANE_BENCH_APP
#include "app/startup.h"
#endif

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
#ifdef KORVANE_BENCH_APP
  app::InitialiseApplication();
#endif
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
