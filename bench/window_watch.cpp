// Starts a program on an X display and watches its top-level windows from outside, through the
// X server: when each is mapped, when the server has drawn the whole of it for the first time
// (DAMAGE reports every drawing request that reaches a window), when it is unmapped. Then it can
// measure the program's CPU time while it sits idle, reads its peak memory and ends it.
//
// The program under test needs no hook: the first mapped window is taken as the splash, the next
// one as the main window, and the splash's unmap stands for the end of the splash timer (the
// timer's handler closes the splash first, then shows the main window).
//
//   window_watch [--idle SECONDS] [--settle MS] [--timeout MS] [--snapshot DIR] [--verbose]
//                -- PROGRAM ARGS...
//
// Prints one line of key=value pairs (times in milliseconds since the fork); exit status 0 when
// both windows were seen painted, 1 otherwise.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

struct Watched {
  Damage damage = 0;
  int width = 0;
  int height = 0;
  Region painted = nullptr;
  double mapAt = -1;
  double firstDamageAt = -1;
  double paintedAt = -1;  // the whole window drawn at least once since it was mapped
  double unmapAt = -1;
  long damageEvents = 0;
};

// CPU time of every thread of the process, in nanoseconds of scheduler time (finer than the clock
// ticks of /proc/PID/stat, which count 10 ms at a time).
long long ProcessCpuNs(pid_t pid) {
  long long total = 0;
  const std::string taskDir = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(taskDir.c_str());
  if (!dir) return -1;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream in(taskDir + "/" + entry->d_name + "/schedstat");
    long long onCpu = 0;
    if (in >> onCpu) total += onCpu;
  }
  closedir(dir);
  return total;
}

// utime + stime from /proc/PID/stat, in clock ticks.
long long ProcessCpuTicks(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return -1;
  // The command name may hold blanks and parentheses: the fields start after the last ')'.
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string field;
  long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::atoll(field.c_str());
    if (i == 15) stime = std::atoll(field.c_str());
  }
  return utime + stime;
}

long ProcessPeakRssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  long value = -1;
  while (in >> key) {
    if (key == "VmHWM:") {
      in >> value;
      return value;
    }
    in.ignore(1 << 16, '\n');
  }
  return -1;
}

void Usage() {
  std::fprintf(stderr,
               "usage: window_watch [--idle SECONDS] [--settle MS] [--timeout MS] [--snapshot DIR] "
               "[--verbose] -- PROGRAM ARGS...\n");
}

}  // namespace

int main(int argc, char* argv[]) {
  double idleSeconds = 0;
  double settleMs = 300;
  double timeoutMs = 30000;
  bool verbose = false;
  std::string snapshotDir;
  int first = 1;
  for (; first < argc; ++first) {
    const std::string arg = argv[first];
    if (arg == "--") {
      ++first;
      break;
    }
    if (arg == "--idle" && first + 1 < argc) {
      idleSeconds = std::atof(argv[++first]);
    } else if (arg == "--settle" && first + 1 < argc) {
      settleMs = std::atof(argv[++first]);
    } else if (arg == "--timeout" && first + 1 < argc) {
      timeoutMs = std::atof(argv[++first]);
    } else if (arg == "--snapshot" && first + 1 < argc) {
      snapshotDir = argv[++first];
    } else if (arg == "--verbose") {
      verbose = true;
    } else {
      Usage();
      return 2;
    }
  }
  if (first >= argc) {
    Usage();
    return 2;
  }

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "window_watch: cannot open the display\n");
    return 2;
  }
  int damageEvent = 0, damageError = 0;
  if (!XDamageQueryExtension(display, &damageEvent, &damageError)) {
    std::fprintf(stderr, "window_watch: the X server has no DAMAGE extension\n");
    return 2;
  }
  XSetErrorHandler(&IgnoreXErrors);
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);

  const double start = NowMs();
  const pid_t child = StartProgram(display, argv + first, verbose);
  if (child < 0) {
    std::perror("window_watch: fork");
    return 2;
  }

  std::map<Window, Watched> windows;
  Window splash = 0, mainWindow = 0;
  double deadline = start + timeoutMs;
  double idleFrom = -1, idleUntil = -1;
  bool idleStarted = false;
  long long cpuNsBefore = 0, cpuTicksBefore = 0;
  long long cpuNs = -1, cpuTicks = -1;
  long idleRepaints = 0;
  bool childGone = false;
  int childStatus = 0;
  rusage childUsage{};

  auto track = [&](Window w) {
    Watched& watched = windows[w];
    if (!watched.damage) {
      watched.damage = XDamageCreate(display, w, XDamageReportRawRectangles);
      watched.painted = XCreateRegion();
    }
    return &watched;
  };

  for (;;) {
    while (XPending(display)) {
      XEvent event;
      XNextEvent(display, &event);
      const double at = NowMs() - start;
      if (event.type == CreateNotify && event.xcreatewindow.parent == root) {
        track(event.xcreatewindow.window);
        XFlush(display);
      } else if (event.type == MapNotify && event.xmap.event == root) {
        Watched* watched = track(event.xmap.window);
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, event.xmap.window, &attributes)) {
          watched->width = attributes.width;
          watched->height = attributes.height;
        }
        watched->mapAt = at;
        if (!splash) {
          splash = event.xmap.window;
        } else if (!mainWindow && event.xmap.window != splash) {
          mainWindow = event.xmap.window;
        }
        if (verbose) {
          std::fprintf(stderr, "%9.1f map 0x%lx %dx%d\n", at, event.xmap.window, watched->width,
                       watched->height);
        }
      } else if (event.type == ConfigureNotify && event.xconfigure.event == root) {
        auto it = windows.find(event.xconfigure.window);
        if (it != windows.end()) {
          it->second.width = event.xconfigure.width;
          it->second.height = event.xconfigure.height;
        }
      } else if (event.type == UnmapNotify && event.xunmap.event == root) {
        auto it = windows.find(event.xunmap.window);
        if (it != windows.end() && it->second.unmapAt < 0) it->second.unmapAt = at;
        if (verbose) std::fprintf(stderr, "%9.1f unmap 0x%lx\n", at, event.xunmap.window);
      } else if (event.type == damageEvent + XDamageNotify) {
        const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
        auto it = windows.find(damage.drawable);
        if (it == windows.end() || it->second.mapAt < 0) continue;
        Watched& watched = it->second;
        ++watched.damageEvents;
        if (idleFrom >= 0 && damage.drawable == mainWindow) ++idleRepaints;
        if (watched.firstDamageAt < 0) watched.firstDamageAt = at;
        XRectangle area{damage.area.x, damage.area.y, damage.area.width, damage.area.height};
        XUnionRectWithRegion(&area, watched.painted, watched.painted);
        if (watched.paintedAt < 0 && watched.width > 0 &&
            XRectInRegion(watched.painted, 0, 0, static_cast<unsigned>(watched.width),
                          static_cast<unsigned>(watched.height)) == RectangleIn) {
          watched.paintedAt = at;
          if (verbose) std::fprintf(stderr, "%9.1f painted 0x%lx\n", at, damage.drawable);
          if (!snapshotDir.empty()) {
            Snapshot(display, damage.drawable, watched.width, watched.height,
                     snapshotDir + (damage.drawable == splash ? "/splash.ppm" : "/main.ppm"));
          }
        }
      }
    }

    const double now = NowMs();
    if (!childGone) {
      const pid_t done = wait4(child, &childStatus, WNOHANG, &childUsage);
      if (done == child) childGone = true;
    }
    if (childGone) break;

    const bool mainPainted = mainWindow && windows[mainWindow].paintedAt >= 0;
    if (mainPainted && idleFrom < 0) {
      idleFrom = start + windows[mainWindow].paintedAt + settleMs;
      idleUntil = idleFrom + idleSeconds * 1000;
      deadline = idleUntil + 1;
    }
    if (idleFrom >= 0 && !idleStarted && now >= idleFrom) {
      idleStarted = true;
      cpuNsBefore = ProcessCpuNs(child);
      cpuTicksBefore = ProcessCpuTicks(child);
      idleRepaints = 0;
      if (verbose) {
        std::fprintf(stderr, "%9.1f idle from: cpu %.3f ms, %lld ticks\n", now - start,
                     cpuNsBefore / 1e6, cpuTicksBefore);
      }
    }
    if (idleStarted && now >= idleUntil) {
      cpuNs = ProcessCpuNs(child) - cpuNsBefore;
      cpuTicks = ProcessCpuTicks(child) - cpuTicksBefore;
      break;
    }
    if (now >= deadline) break;

    double wake = deadline;
    if (idleFrom >= 0) wake = idleStarted ? idleUntil : idleFrom;
    // Short waits while the child may still exit on its own, so its end is noticed.
    const double wait = std::min(wake - now, 50.0);
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, wait > 0 ? static_cast<int>(wait) + 1 : 0);
  }

  long peakKb = -1;
  if (!childGone) {
    peakKb = ProcessPeakRssKb(child);
    EndProgram(child, &childStatus, &childUsage);
    childGone = true;
  }
  if (peakKb < 0) peakKb = childUsage.ru_maxrss;

  auto field = [&](const char* key, double value) {
    if (value >= 0) {
      std::printf("%s=%.2f ", key, value);
    } else {
      std::printf("%s=NA ", key);
    }
  };
  const Watched none;
  const Watched& s = splash ? windows[splash] : none;
  const Watched& m = mainWindow ? windows[mainWindow] : none;
  field("splash_map_ms", s.mapAt);
  field("splash_first_damage_ms", s.firstDamageAt);
  field("splash_paint_ms", s.paintedAt);
  field("splash_unmap_ms", s.unmapAt);
  field("main_map_ms", m.mapAt);
  field("main_paint_ms", m.paintedAt);
  field("main_after_timer_ms", m.paintedAt >= 0 && s.unmapAt >= 0 ? m.paintedAt - s.unmapAt : -1);
  std::printf("splash_size=%dx%d main_size=%dx%d ", s.width, s.height, m.width, m.height);
  std::printf("peak_rss_kb=%ld ", peakKb);
  if (idleSeconds > 0) {
    field("idle_cpu_ms", cpuNs >= 0 ? cpuNs / 1e6 : -1);
    std::printf("idle_ticks=%lld idle_s=%.1f idle_repaints=%ld ", cpuTicks, idleSeconds,
                idleRepaints);
  }
  std::printf("exited_early=%d\n", childGone && (s.unmapAt < 0 || m.paintedAt < 0) ? 1 : 0);

  for (auto& [w, watched] : windows) {
    if (watched.painted) XDestroyRegion(watched.painted);
  }
  XCloseDisplay(display);
  return s.paintedAt >= 0 && m.paintedAt >= 0 ? 0 : 1;
}
