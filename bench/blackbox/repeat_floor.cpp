// The floor of the black-box benchmark: a window that needs no time at all to
// show a picture. It covers the screen in the colour of the first of
// $KORVANE_BENCH_COLOURS (RRGGBB, space-separated) and moves to the next colour
// on every Down or Right key press and to the one before on Up or Left, so that
// what next_image.sh measures for it is the key delivery and the probe itself:
// with a held key, the X server's repeat interval.
//   repeat_floor [FILE]   (FILE is ignored, for the benchmark's command line)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

int main() {
  std::vector<unsigned long> colours;
  std::istringstream list(std::getenv("KORVANE_BENCH_COLOURS")
                              ? std::getenv("KORVANE_BENCH_COLOURS")
                              : "ff0000 00ff00");
  for (std::string hex; list >> hex;) colours.push_back(std::stoul(hex, nullptr, 16));
  Display* display = XOpenDisplay(nullptr);
  if (!display || colours.empty()) return 2;
  const int screen = DefaultScreen(display);
  const Window window = XCreateSimpleWindow(
      display, RootWindow(display, screen), 0, 0, unsigned(DisplayWidth(display, screen)),
      unsigned(DisplayHeight(display, screen)), 0, 0, colours[0]);
  XSelectInput(display, window, KeyPressMask | ExposureMask);
  XMapWindow(display, window);
  int at = 0;
  for (XEvent event;;) {
    XNextEvent(display, &event);
    if (event.type == KeyPress) {
      const KeySym key = XLookupKeysym(&event.xkey, 0);
      const int n = int(colours.size());
      if (key == XK_Down || key == XK_Right) at = (at + 1) % n;
      if (key == XK_Up || key == XK_Left) at = (at + n - 1) % n;
      XSetWindowBackground(display, window, colours[size_t(at)]);
    }
    if (event.type == KeyPress || event.type == Expose) {
      XClearWindow(display, window);
      XFlush(display);
    }
  }
}
