// Where the time goes before the first picture: with KORVANE_TRACE_STARTUP set
// (to anything but "0") each step of the start-up prints its time since main()
// began, with the calling thread's user and system time and page faults so far,
// to stderr, until EndStartupTrace. Safe from any thread; costs nothing
// when off.
#pragma once

#include <string>

namespace app {

bool TracingStartup();
void TraceStartup(const std::string& what);
// The start-up is over: later calls print nothing.
void EndStartupTrace();

}  // namespace app
