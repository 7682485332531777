// Measures how long a program takes to show the result of a key press: it starts the program on
// an X display, waits for its main window, sends keys and clicks through the X server (XTest)
// exactly as a keyboard and a mouse would, and times each press from the moment the key went to
// the server to the moment the server has drawn the new readouts into the window (DAMAGE reports
// every drawing request that reaches a window once the server has carried it out).
//
//   press_latency [--main-window N] [--design-height H] [--setup STEPS] [--press STEPS]
//                 [--presses N] [--restart-every K --restart STEPS] [--watch X,Y,W,H]...
//                 [--quiet MS] [--timeout MS] [--snapshot DIR] [--verbose] -- PROGRAM ARGS...
//
// --main-window N  the Nth ordinary top-level window the program maps is its main window (the
//                  game's first one is its splash); menus and tooltips do not count.
// --design-height  the height the coordinates below were designed for; a taller window (a menu
//                  bar of another font) moves them down by the difference.
// --setup, --press, --restart: steps separated by blanks, each of them
//                  key:NAME        a key tapped (pressed and released), NAME an X keysym name,
//                                  with modifiers before it: key:alt+g, key:Tab, key:space
//                  click:X,Y       a left click at X,Y in the main window; the pointer then leaves
//                                  the window, so that no hover highlight stays behind
//                  After each step the tool waits until no window has been drawn into for the
//                  quiet time, so that every step finds the program at rest.
// --restart-every K --restart STEPS   before every Kth press after the first K, these steps
//                  (the game's mission ends after a few seconds of flight: a new one is started).
// --watch X,Y,W,H  a rectangle in the main window that each press must redraw (the readouts);
//                  repeatable. A press is complete at the first damage event after which the
//                  window's damage since the key covers each rectangle, less a 3 pixel border (a
//                  label's frame is not redrawn with its text), and the pixels of each rectangle,
//                  read back from the server at that moment, differ from those before the key.
//                  The second condition keeps a late repaint of the old readouts (the window
//                  becoming active on a loaded machine) from passing for the press's own.
//                  With no --watch, the whole window counts.
//
// One line per press on standard output, times in milliseconds from the key (the clock read just
// before the key's requests are written to the server):
//   press=I latency_ms=... first_damage_ms=... settled_ms=... send_ms=... changed=0|1 restarted=0|1
// latency_ms: every watched rectangle drawn; first_damage_ms: the first drawing after the key
// (the button's pressed look); settled_ms: the last drawing before the quiet time; send_ms: how
// long writing the key's requests took (more than a few microseconds: the tool lost the
// processor meanwhile); changed: the pixels of every watched rectangle differ from those before
// the key. A press whose rectangles
// were not all drawn within the time-out prints latency_ms=NA. Exit status 0 when every press was
// complete and changed its readouts, 1 otherwise, 2 when the program could not be driven at all.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "x_client.h"

using kelvor::bench::EndProgram;
using kelvor::bench::IgnoreXErrors;
using kelvor::bench::NowMs;
using kelvor::bench::Snapshot;
using kelvor::bench::StartProgram;

namespace {

constexpr int kInset = 3;  // the part of a watched rectangle that must be redrawn: less its frame

struct Options {
  int mainWindowIndex = 1;
  int designHeight = 0;
  std::string setup;
  std::string press = "key:space";
  int presses = 50;
  int restartEvery = 0;
  std::string restart;
  std::vector<XRectangle> watched;
  double quietMs = 100;
  double timeoutMs = 1000;
  double startTimeoutMs = 30000;
  std::string snapshotDir;
  bool verbose = false;
};

struct TopLevel {
  Damage damage = 0;
  bool ordinary = false;  // not override-redirect: neither a menu nor a tooltip
  bool mapped = false;
  int width = 0;
  int height = 0;
  Region painted = nullptr;  // everything drawn since the window was mapped
};

class Session {
 public:
  Session(Display* display, int damageEvent, const Options& options)
      : m_display(display), m_damageEvent(damageEvent), m_options(options) {
    m_root = DefaultRootWindow(display);
    m_sincePress = XCreateRegion();
  }
  ~Session() {
    for (auto& [w, top] : m_windows) {
      if (top.painted) XDestroyRegion(top.painted);
    }
    XDestroyRegion(m_sincePress);
  }

  // Handles the events that are there, then waits for more until `until` (NowMs).
  void Pump(double until) {
    for (;;) {
      while (XPending(m_display)) Handle();
      const double left = until - NowMs();
      if (left <= 0) return;
      pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
      poll(&fd, 1, static_cast<int>(left) + 1);
    }
  }

  // The main window once it is mapped and wholly drawn; 0 if that does not happen in time.
  Window WaitForMainWindow(double timeoutMs) {
    const double deadline = NowMs() + timeoutMs;
    while (NowMs() < deadline) {
      Pump(std::min(deadline, NowMs() + 20));
      if (m_main && Painted(m_main)) return m_main;
    }
    return 0;
  }

  // Waits until no window has been drawn into for the quiet time (at most 2 s).
  void WaitForQuiet() {
    const double deadline = NowMs() + 2000;
    for (;;) {
      const double now = NowMs();
      const double quietUntil = std::max(m_lastDamageAt, m_lastInputAt) + m_options.quietMs;
      if (now >= quietUntil || now >= deadline) return;
      Pump(std::min(quietUntil, deadline));
    }
  }

  bool RunSteps(const std::string& steps) {
    std::istringstream in(steps);
    std::string step;
    while (in >> step) {
      if (!Step(step, nullptr)) {
        std::fprintf(stderr, "press_latency: cannot do the step '%s'\n", step.c_str());
        return false;
      }
      WaitForQuiet();
    }
    return true;
  }

  struct Sample {
    double latency = -1, firstDamage = -1, settled = -1, send = -1;
    bool changed = false;
  };

  Sample Press() {
    // The pixels before the key, taken at rest: a drawing that arrives while they are read (Xlib
    // keeps the events that come before a reply) means the window was not at rest after all.
    for (int attempt = 0; attempt < 20; ++attempt) {
      WaitForQuiet();
      const double lastDamage = m_lastDamageAt;
      m_before = WatchedPixels();
      Pump(NowMs());
      if (m_lastDamageAt == lastDamage) break;
    }
    XDestroyRegion(m_sincePress);
    m_sincePress = XCreateRegion();
    m_firstDamageAt = -1;
    double sentAt = -1;
    Sample sample;
    std::istringstream in(m_options.press);
    std::string step;
    while (in >> step) Step(step, &sentAt);
    m_pressAt = sentAt;
    sample.send = m_lastInputAt - sentAt;
    if (m_options.verbose) {
      std::fprintf(stderr, "%10.1f press sent, %d event(s) already queued\n", sentAt,
                   XQLength(m_display));
    }
    const double deadline = sentAt + m_options.timeoutMs;
    while (NowMs() < deadline && sample.latency < 0) {
      Pump(std::min(deadline, NowMs() + 5));
      if (m_coveredAt >= 0) sample.latency = m_coveredAt - sentAt;
    }
    // What follows the readouts (the button's released look, say) until the quiet time.
    WaitForQuiet();
    m_pressAt = -1;
    m_coveredAt = -1;
    if (m_firstDamageAt >= 0) sample.firstDamage = m_firstDamageAt - sentAt;
    if (m_lastDamageAt >= sentAt) sample.settled = m_lastDamageAt - sentAt;
    sample.changed = AllChanged();
    return sample;
  }

  void Snap(const std::string& path) {
    const TopLevel& top = m_windows[m_main];
    Snapshot(m_display, m_main, top.width, top.height, path);
  }

 private:
  TopLevel* Track(Window w) {
    TopLevel& top = m_windows[w];
    if (!top.damage) {
      top.damage = XDamageCreate(m_display, w, XDamageReportRawRectangles);
      top.painted = XCreateRegion();
    }
    return &top;
  }

  bool Painted(Window w) {
    TopLevel& top = m_windows[w];
    return top.width > 0 &&
           XRectInRegion(top.painted, 0, 0, static_cast<unsigned>(top.width),
                         static_cast<unsigned>(top.height)) == RectangleIn;
  }

  void Handle() {
    XEvent event;
    XNextEvent(m_display, &event);
    const double at = NowMs();
    if (event.type == CreateNotify && event.xcreatewindow.parent == m_root) {
      Track(event.xcreatewindow.window);
      XFlush(m_display);
    } else if (event.type == MapNotify && event.xmap.event == m_root) {
      TopLevel* top = Track(event.xmap.window);
      top->mapped = true;
      top->ordinary = !event.xmap.override_redirect;
      XWindowAttributes attributes{};
      if (XGetWindowAttributes(m_display, event.xmap.window, &attributes)) {
        top->width = attributes.width;
        top->height = attributes.height;
      }
      if (top->ordinary && !m_main && ++m_ordinaryMapped == m_options.mainWindowIndex) {
        m_main = event.xmap.window;
      }
      if (m_options.verbose) {
        std::fprintf(stderr, "%10.1f map 0x%lx %dx%d%s\n", at, event.xmap.window, top->width,
                     top->height, top->ordinary ? "" : " (override-redirect)");
      }
    } else if (event.type == ConfigureNotify && event.xconfigure.event == m_root) {
      auto it = m_windows.find(event.xconfigure.window);
      if (it != m_windows.end()) {
        it->second.width = event.xconfigure.width;
        it->second.height = event.xconfigure.height;
      }
    } else if (event.type == UnmapNotify && event.xunmap.event == m_root) {
      auto it = m_windows.find(event.xunmap.window);
      if (it != m_windows.end()) it->second.mapped = false;
    } else if (event.type == m_damageEvent + XDamageNotify) {
      const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
      auto it = m_windows.find(damage.drawable);
      if (it == m_windows.end() || !it->second.mapped) return;
      m_lastDamageAt = at;
      XRectangle area{damage.area.x, damage.area.y, damage.area.width, damage.area.height};
      XUnionRectWithRegion(&area, it->second.painted, it->second.painted);
      if (damage.drawable != m_main || m_pressAt < 0) return;
      if (m_firstDamageAt < 0) m_firstDamageAt = at;
      XUnionRectWithRegion(&area, m_sincePress, m_sincePress);
      if (m_coveredAt < 0 && Covered()) {
        // Drawn is not yet changed: a late repaint of something else (the window becoming active,
        // say) may cover the readouts with what they showed before. Such a drawing does not end
        // the press; the readouts must be drawn again, with their new text.
        if (AllChanged()) {
          m_coveredAt = at;
        } else {
          XDestroyRegion(m_sincePress);
          m_sincePress = XCreateRegion();
          if (m_options.verbose) std::fprintf(stderr, "%10.1f   covered, unchanged\n", at);
        }
      }
      if (m_options.verbose) {
        std::fprintf(stderr, "%10.1f   +%.2f damage %d,%d %dx%d\n", at, at - m_pressAt, area.x,
                     area.y, area.width, area.height);
      }
    }
  }

  std::vector<XRectangle> WatchedInWindow() {
    const TopLevel& top = m_windows[m_main];
    if (m_options.watched.empty()) {
      return {XRectangle{0, 0, static_cast<unsigned short>(top.width),
                         static_cast<unsigned short>(top.height)}};
    }
    const int dy = m_options.designHeight > 0 ? top.height - m_options.designHeight : 0;
    std::vector<XRectangle> rects;
    for (XRectangle r : m_options.watched) {
      rects.push_back(XRectangle{static_cast<short>(r.x + kInset),
                                 static_cast<short>(r.y + dy + kInset),
                                 static_cast<unsigned short>(r.width - 2 * kInset),
                                 static_cast<unsigned short>(r.height - 2 * kInset)});
    }
    return rects;
  }

  bool Covered() {
    for (const XRectangle& r : WatchedInWindow()) {
      if (XRectInRegion(m_sincePress, r.x, r.y, r.width, r.height) != RectangleIn) return false;
    }
    return true;
  }

  std::vector<std::vector<unsigned long>> WatchedPixels() {
    std::vector<std::vector<unsigned long>> all;
    for (const XRectangle& r : WatchedInWindow()) {
      std::vector<unsigned long> pixels;
      if (XImage* image =
              XGetImage(m_display, m_main, r.x, r.y, r.width, r.height, AllPlanes, ZPixmap)) {
        for (int y = 0; y < r.height; ++y) {
          for (int x = 0; x < r.width; ++x) pixels.push_back(XGetPixel(image, x, y));
        }
        XDestroyImage(image);
      }
      all.push_back(std::move(pixels));
    }
    return all;
  }

  // Whether every watched rectangle now shows other pixels than before the key.
  bool AllChanged() {
    const std::vector<std::vector<unsigned long>> now = WatchedPixels();
    if (now.empty() || now.size() != m_before.size()) return false;
    for (std::size_t i = 0; i < now.size(); ++i) {
      if (now[i].empty() || now[i] == m_before[i]) return false;
    }
    return true;
  }

  KeyCode Code(const std::string& name) {
    const KeySym sym = XStringToKeysym(name.c_str());
    return sym == NoSymbol ? 0 : XKeysymToKeycode(m_display, sym);
  }

  // One step; with sentAt, the moment just before its input was handed to Xlib. Taken before
  // rather than after the flush: on a busy machine the tool may lose the processor in the write,
  // and a clock read after it would then start after the program had already answered.
  bool Step(const std::string& step, double* sentAt) {
    if (step.rfind("key:", 0) == 0) {
      std::vector<KeyCode> held;
      std::string rest = step.substr(4);
      for (std::size_t plus; (plus = rest.find('+')) != std::string::npos && plus > 0;) {
        const std::string modifier = rest.substr(0, plus);
        rest = rest.substr(plus + 1);
        const KeyCode code = Code(modifier == "alt"     ? "Alt_L"
                                  : modifier == "ctrl"  ? "Control_L"
                                  : modifier == "shift" ? "Shift_L"
                                                        : modifier);
        if (!code) return false;
        held.push_back(code);
      }
      const KeyCode key = Code(rest);
      if (!key) return false;
      const double startAt = NowMs();
      for (KeyCode code : held) XTestFakeKeyEvent(m_display, code, True, CurrentTime);
      // The key is tapped: a push button acts on the release, which follows at once.
      XTestFakeKeyEvent(m_display, key, True, CurrentTime);
      XTestFakeKeyEvent(m_display, key, False, CurrentTime);
      for (auto it = held.rbegin(); it != held.rend(); ++it) {
        XTestFakeKeyEvent(m_display, *it, False, CurrentTime);
      }
      XFlush(m_display);
      m_lastInputAt = NowMs();
      if (sentAt) *sentAt = startAt;
      return true;
    }
    if (step.rfind("click:", 0) == 0) {
      int x = 0, y = 0;
      if (std::sscanf(step.c_str() + 6, "%d,%d", &x, &y) != 2) return false;
      const TopLevel& top = m_windows[m_main];
      if (m_options.designHeight > 0) y += top.height - m_options.designHeight;
      int rootX = 0, rootY = 0;
      Window child = 0;
      XTranslateCoordinates(m_display, m_main, m_root, x, y, &rootX, &rootY, &child);
      const double startAt = NowMs();
      XTestFakeMotionEvent(m_display, DefaultScreen(m_display), rootX, rootY, CurrentTime);
      XTestFakeButtonEvent(m_display, 1, True, CurrentTime);
      XTestFakeButtonEvent(m_display, 1, False, CurrentTime);
      XFlush(m_display);
      m_lastInputAt = NowMs();
      if (sentAt) *sentAt = startAt;
      WaitForQuiet();
      XTestFakeMotionEvent(m_display, DefaultScreen(m_display), 0, 0, CurrentTime);
      XFlush(m_display);
      return true;
    }
    return false;
  }

  Display* m_display;
  int m_damageEvent;
  const Options& m_options;
  Window m_root = 0;
  Window m_main = 0;
  int m_ordinaryMapped = 0;
  std::map<Window, TopLevel> m_windows;
  double m_lastDamageAt = 0;
  double m_lastInputAt = 0;
  double m_pressAt = -1;
  double m_firstDamageAt = -1;
  double m_coveredAt = -1;
  Region m_sincePress = nullptr;
  std::vector<std::vector<unsigned long>> m_before;  // the watched pixels before the key
};

void Usage() {
  std::fprintf(stderr,
               "usage: press_latency [--main-window N] [--design-height H] [--setup STEPS] "
               "[--press STEPS] [--presses N] [--restart-every K --restart STEPS] "
               "[--watch X,Y,W,H]... [--quiet MS] [--timeout MS] [--snapshot DIR] [--verbose] "
               "-- PROGRAM ARGS...\n");
}

bool ParseRect(const char* text, XRectangle* rect) {
  int x = 0, y = 0, w = 0, h = 0;
  if (std::sscanf(text, "%d,%d,%d,%d", &x, &y, &w, &h) != 4 || w <= 2 * kInset ||
      h <= 2 * kInset) {
    return false;
  }
  *rect = XRectangle{static_cast<short>(x), static_cast<short>(y), static_cast<unsigned short>(w),
                     static_cast<unsigned short>(h)};
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  Options options;
  int first = 1;
  for (; first < argc; ++first) {
    const std::string arg = argv[first];
    const bool hasValue = first + 1 < argc;
    if (arg == "--") {
      ++first;
      break;
    }
    if (arg == "--verbose") {
      options.verbose = true;
    } else if (!hasValue) {
      Usage();
      return 2;
    } else if (arg == "--main-window") {
      options.mainWindowIndex = std::atoi(argv[++first]);
    } else if (arg == "--design-height") {
      options.designHeight = std::atoi(argv[++first]);
    } else if (arg == "--setup") {
      options.setup = argv[++first];
    } else if (arg == "--press") {
      options.press = argv[++first];
    } else if (arg == "--presses") {
      options.presses = std::atoi(argv[++first]);
    } else if (arg == "--restart-every") {
      options.restartEvery = std::atoi(argv[++first]);
    } else if (arg == "--restart") {
      options.restart = argv[++first];
    } else if (arg == "--quiet") {
      options.quietMs = std::atof(argv[++first]);
    } else if (arg == "--timeout") {
      options.timeoutMs = std::atof(argv[++first]);
    } else if (arg == "--snapshot") {
      options.snapshotDir = argv[++first];
    } else if (arg == "--watch") {
      XRectangle rect{};
      if (!ParseRect(argv[++first], &rect)) {
        Usage();
        return 2;
      }
      options.watched.push_back(rect);
    } else {
      Usage();
      return 2;
    }
  }
  if (first >= argc || options.mainWindowIndex < 1) {
    Usage();
    return 2;
  }

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "press_latency: cannot open the display\n");
    return 2;
  }
  int damageEvent = 0, damageError = 0, xtest[4] = {};
  if (!XDamageQueryExtension(display, &damageEvent, &damageError)) {
    std::fprintf(stderr, "press_latency: the X server has no DAMAGE extension\n");
    return 2;
  }
  if (!XTestQueryExtension(display, &xtest[0], &xtest[1], &xtest[2], &xtest[3])) {
    std::fprintf(stderr, "press_latency: the X server has no XTEST extension\n");
    return 2;
  }
  XSetErrorHandler(&IgnoreXErrors);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);

  const pid_t child = StartProgram(display, argv + first, options.verbose);
  if (child < 0) {
    std::perror("press_latency: fork");
    return 2;
  }
  int status = 0;
  rusage usage{};
  int result = 0;
  {
    Session session(display, damageEvent, options);
    const Window main = session.WaitForMainWindow(options.startTimeoutMs);
    if (!main) {
      std::fprintf(stderr, "press_latency: no main window within %.0f ms\n",
                   options.startTimeoutMs);
      result = 2;
    } else {
      session.WaitForQuiet();
      // No window manager gives the window the keyboard: the tool does, as a click on it would.
      XSetInputFocus(display, main, RevertToPointerRoot, CurrentTime);
      XFlush(display);
      session.WaitForQuiet();
      if (!session.RunSteps(options.setup)) result = 2;
      if (!options.snapshotDir.empty()) session.Snap(options.snapshotDir + "/before.ppm");
      for (int i = 1; i <= options.presses && result != 2; ++i) {
        const bool restart =
            options.restartEvery > 0 && i > 1 && (i - 1) % options.restartEvery == 0;
        if (restart && !session.RunSteps(options.restart)) result = 2;
        const Session::Sample sample = session.Press();
        if (sample.latency < 0 || !sample.changed) result = std::max(result, 1);
        auto field = [](const char* key, double value) {
          if (value >= 0) {
            std::printf("%s=%.3f ", key, value);
          } else {
            std::printf("%s=NA ", key);
          }
        };
        std::printf("press=%d ", i);
        field("latency_ms", sample.latency);
        field("first_damage_ms", sample.firstDamage);
        field("settled_ms", sample.settled);
        field("send_ms", sample.send);
        std::printf("changed=%d restarted=%d\n", sample.changed ? 1 : 0, restart ? 1 : 0);
        std::fflush(stdout);
        if (!options.snapshotDir.empty() && i <= 3) {
          session.Snap(options.snapshotDir + "/press" + std::to_string(i) + ".ppm");
        }
      }
    }
  }
  if (waitpid(child, &status, WNOHANG) == 0) EndProgram(child, &status, &usage);
  XCloseDisplay(display);
  return result;
}
