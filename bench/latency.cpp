// Latency from an F10 press to the first key a target receives.
//
// Opens a window, gives it the keyboard focus, then presses and releases F10
// through XTest and waits for the first KeyPress that reaches the window: the
// program holding F10 types the clipboard (one character) into it. Both moments
// are read on this process's monotonic clock. Prints one line per press:
// the latency in milliseconds, or "lost" when nothing came within the timeout.
//
//   bench_latency PRESSES [TIMEOUT_MS]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the next event of the window that matches mask, up to the deadline.
bool next_event(Display *display, Window window, long mask, XEvent &event,
                Clock::time_point deadline) {
  while (true) {
    while (XPending(display) > 0) {
      if (XCheckWindowEvent(display, window, mask, &event)) {
        return true;
      }
      XEvent other;
      XNextEvent(display, &other); // not ours: drop it
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      return false;
    }
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left));
  }
}

// Drops every event that arrives until none has come for quiet_ms.
void drain(Display *display, int quiet_ms) {
  while (true) {
    XSync(display, False);
    while (XPending(display) > 0) {
      XEvent e;
      XNextEvent(display, &e);
    }
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    if (poll(&fd, 1, quiet_ms) <= 0) {
      return;
    }
  }
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_latency PRESSES [TIMEOUT_MS]\n");
    return 2;
  }
  const int presses = std::atoi(argv[1]);
  const int timeout_ms = argc > 2 ? std::atoi(argv[2]) : 3000;
  Display *display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "bench_latency: cannot open the display\n");
    return 1;
  }
  int event_base, error_base, major, minor;
  if (!XTestQueryExtension(display, &event_base, &error_base, &major, &minor)) {
    std::fprintf(stderr, "bench_latency: no XTest on the display\n");
    return 1;
  }
  const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 300, 100, 0,
                                            0, WhitePixel(display, DefaultScreen(display)));
  XStoreName(display, window, "bench-latency");
  XSelectInput(display, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
  XMapRaised(display, window);
  XEvent event;
  if (!next_event(display, window, StructureNotifyMask, event,
                  Clock::now() + std::chrono::seconds(5))) {
    std::fprintf(stderr, "bench_latency: the window was not mapped\n");
    return 1;
  }
  XSetInputFocus(display, window, RevertToParent, CurrentTime);
  drain(display, 100);

  const KeyCode f10 = XKeysymToKeycode(display, XK_F10);
  int lost = 0;
  for (int i = 0; i < presses; ++i) {
    const Clock::time_point sent = Clock::now();
    XTestFakeKeyEvent(display, f10, True, CurrentTime);
    XTestFakeKeyEvent(display, f10, False, CurrentTime);
    XFlush(display);
    bool got = false;
    const Clock::time_point deadline = sent + std::chrono::milliseconds(timeout_ms);
    while (next_event(display, window, KeyPressMask, event, deadline)) {
      if (event.xkey.keycode != f10) { // F10 itself here means nobody holds it
        got = true;
        break;
      }
    }
    const Clock::time_point received = Clock::now();
    if (got) {
      std::printf("%.3f\n", std::chrono::duration<double, std::milli>(received - sent).count());
    } else {
      std::printf("lost\n");
      ++lost;
    }
    std::fflush(stdout);
    // Let the paste finish (its key releases) before the next press.
    drain(display, 60);
  }
  XDestroyWindow(display, window);
  XCloseDisplay(display);
  return lost == presses ? 1 : 0;
}
