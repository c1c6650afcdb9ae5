// The measuring half of the black-box benchmark (next_image.sh sets up the X
// server, the images and the settings): starts the program on the first image,
// waits until that image's colour shows at the screen point given, then sends
// keys with xdotool and polls the same point until the colour of the image the
// key leads to appears. Only one pixel is read per poll (XGetImage), so polling
// costs the program under test next to nothing; polls are 1 ms apart.
//
//   screen_probe X Y PAUSE_MS HOLD_MS STARTS PROGRAM FIRST_FILE COLOUR...
//
// COLOUR is RRGGBB in hex, one per image in list order. Prints one line per
// measurement: "startup MS", "next MS", "previous MS", "held_step MS" (while a
// key is held, from one image on screen to the next), "held MS STEPS" (from the
// release until the file reached is shown, however many files the program
// showed on the way), and at the end "peak_rss_mb MB". REPEAT_MS in the
// environment sets the server's key repeat interval (Xvfb's own is 40 ms), and
// "repeat_ms MS" comes first. Exit status 1 when something never appeared.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Rgb {
  int r = 0, g = 0, b = 0;
};

Rgb ParseColour(const char* hex) {
  const unsigned long v = std::strtoul(hex, nullptr, 16);
  return {int(v >> 16) & 255, int(v >> 8) & 255, int(v) & 255};
}

bool Near(Rgb a, Rgb b) {
  constexpr int tolerance = 28;
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

class TScreenPoint {
 public:
  TScreenPoint(int x, int y) : x_(x), y_(y) {
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
      std::fprintf(stderr, "screen_probe: no X display\n");
      std::exit(2);
    }
    root_ = DefaultRootWindow(display_);
  }
  ~TScreenPoint() { XCloseDisplay(display_); }

  // The server's key repeat interval in ms, first set to `wanted` when that is
  // above 0. A held key cannot step faster than its repeats arrive.
  int RepeatInterval(int wanted) {
    unsigned delay = 0, interval = 0;
    XkbGetAutoRepeatRate(display_, XkbUseCoreKbd, &delay, &interval);
    if (wanted > 0) {
      XkbSetAutoRepeatRate(display_, XkbUseCoreKbd, delay, unsigned(wanted));
      XkbGetAutoRepeatRate(display_, XkbUseCoreKbd, &delay, &interval);
    }
    return int(interval);
  }

  Rgb Pixel() {
    XImage* image = XGetImage(display_, root_, x_, y_, 1, 1, AllPlanes, ZPixmap);
    if (!image) return {};
    const unsigned long p = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return {int(p >> 16) & 255, int(p >> 8) & 255, int(p) & 255};
  }

  // Polls until the pixel is near `want`; milliseconds since `from`, or -1 after
  // the time limit.
  double WaitFor(Rgb want, Clock::time_point from, int limitMs = 10000) {
    while (true) {
      const auto now = Clock::now();
      if (Near(Pixel(), want)) return std::chrono::duration<double, std::milli>(now - from).count();
      if (now - from > std::chrono::milliseconds(limitMs)) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Polls for `forMs`, noting each time the pixel changes to another of
  // `colours`: the milliseconds since `from` of every change.
  std::vector<double> Changes(const std::vector<Rgb>& colours, int shown, Clock::time_point from,
                              int forMs) {
    std::vector<double> at;
    while (Clock::now() - from < std::chrono::milliseconds(forMs)) {
      const auto now = Clock::now();
      const Rgb p = Pixel();
      for (int i = 0; i < int(colours.size()); ++i) {
        if (i != shown && Near(p, colours[size_t(i)])) {
          shown = i;
          at.push_back(std::chrono::duration<double, std::milli>(now - from).count());
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return at;
  }

  // Polls until the pixel has shown one of `colours` other than `old` for
  // `settleMs` without change (a program may show files on the way); its index,
  // with the time its colour first appeared in ms.
  int WaitForSettled(const std::vector<Rgb>& colours, int old, Clock::time_point from, double& ms,
                     int settleMs = 500, int limitMs = 10000) {
    int shown = old;
    auto since = from;
    while (Clock::now() - from < std::chrono::milliseconds(limitMs)) {
      const auto now = Clock::now();
      const Rgb p = Pixel();
      for (int i = 0; i < int(colours.size()); ++i) {
        if (i != shown && Near(p, colours[size_t(i)])) {
          shown = i;
          since = now;
        }
      }
      if (shown != old && now - since > std::chrono::milliseconds(settleMs)) {
        ms = std::chrono::duration<double, std::milli>(since - from).count();
        return shown;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return -1;
  }

 private:
  Display* display_;
  Window root_;
  int x_, y_;
};

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

void Run(const std::vector<std::string>& args) {
  const pid_t pid = Spawn(args);
  int status = 0;
  if (pid > 0) waitpid(pid, &status, 0);
}

void Xdotool(const std::string& what, const std::string& key) {
  Run({"xdotool", what, key});
}

double PeakRssMB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      double kb = 0;
      status >> kb;
      return kb / 1024.0;
    }
  }
  return -1;
}

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 9) {
    std::fprintf(stderr,
                 "usage: screen_probe X Y PAUSE_MS HOLD_MS STARTS PROGRAM FIRST_FILE COLOUR...\n");
    return 2;
  }
  TScreenPoint screen(std::atoi(argv[1]), std::atoi(argv[2]));
  const int pauseMs = std::atoi(argv[3]);
  const int holdMs = std::atoi(argv[4]);
  const int starts = std::atoi(argv[5]);
  const char* path = argv[6];
  const char* first = argv[7];
  std::vector<Rgb> colours;
  for (int i = 8; i < argc; ++i) colours.push_back(ParseColour(argv[i]));
  const int count = int(colours.size());
  bool ok = true;
  const char* repeat = std::getenv("REPEAT_MS");
  std::printf("repeat_ms %d\n", screen.RepeatInterval(repeat ? std::atoi(repeat) : 0));

  // Starts the program on the first file; its pid, the time until it is shown.
  auto start = [&](double& ms) {
    const auto launched = Clock::now();
    const pid_t pid = Spawn({path, first});
    ms = pid > 0 ? screen.WaitFor(colours[0], launched, 20000) : -1;
    std::printf("startup %.1f\n", ms);
    std::fflush(stdout);
    ok = ok && ms >= 0;
    return pid;
  };
  auto stop = [](pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
  };
  double startup = 0;
  const pid_t program = start(startup);
  if (program <= 0) return 2;
  // Keys go to the window under the pointer (there is no window manager).
  Run({"xdotool", "mousemove", argv[1], argv[2]});
  Sleep(pauseMs);

  // Down opens the next file of the list, Up the previous one (NEXT_KEY and
  // PREV_KEY name other keys, for programs that step with others).
  const char* nextKey = std::getenv("NEXT_KEY") ? std::getenv("NEXT_KEY") : "Down";
  const char* prevKey = std::getenv("PREV_KEY") ? std::getenv("PREV_KEY") : "Up";
  auto step = [&](const char* key, int to, const char* name) {
    Sleep(pauseMs);
    const auto pressed = Clock::now();
    Xdotool("key", key);
    const double ms = screen.WaitFor(colours[size_t(to)], pressed);
    std::printf("%s %.1f\n", name, ms);
    std::fflush(stdout);
    ok = ok && ms >= 0;
  };
  for (int i = 1; i < count; ++i) step(nextKey, i, "next");
  for (int i = count - 2; i >= count / 2; --i) step(prevKey, i, "previous");

  // A held key moves through the list and opens the file reached on release.
  int at = count / 2;
  for (int round = 0; round < 3 && at >= 0; ++round) {
    const char* key = round % 2 ? prevKey : nextKey;
    Sleep(pauseMs);
    const auto down = Clock::now();
    Xdotool("keydown", key);
    // While the key is held, the time from one image on screen to the next.
    const std::vector<double> changes = screen.Changes(colours, at, down, holdMs);
    for (size_t i = 1; i < changes.size(); ++i) {
      std::printf("held_step %.1f\n", changes[i] - changes[i - 1]);
    }
    const auto released = Clock::now();
    Xdotool("keyup", key);
    double ms = -1;
    const int reached = screen.WaitForSettled(colours, at, released, ms);
    std::printf("held %.1f %d\n", ms, reached < 0 ? 0 : std::abs(reached - at));
    std::fflush(stdout);
    ok = ok && reached >= 0;
    if (reached >= 0) at = reached;
  }
  Sleep(pauseMs);
  std::printf("peak_rss_mb %.1f\n", PeakRssMB(program));
  stop(program);
  for (int i = 1; i < starts; ++i) {
    Sleep(pauseMs);  // the screen shows the root window again
    stop(start(startup));
  }
  return ok ? 0 : 1;
}
