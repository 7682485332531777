#include "x_client.h"

#include <X11/Xutil.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kelvor::bench {

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

int IgnoreXErrors(Display*, XErrorEvent*) { return 0; }

pid_t StartProgram(Display* display, char* const argv[], bool verbose) {
  const pid_t child = fork();
  if (child != 0) return child;
  close(ConnectionNumber(display));
  if (!verbose) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
  }
  execvp(argv[0], argv);
  std::_Exit(127);
}

void EndProgram(pid_t child, int* status, rusage* usage) {
  kill(child, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (wait4(child, status, WNOHANG, usage) == child) return;
    usleep(10000);
  }
  kill(child, SIGKILL);
  wait4(child, status, 0, usage);
}

void Snapshot(Display* display, Window w, int width, int height, const std::string& path) {
  XImage* image = XGetImage(display, w, 0, 0, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!image) return;
  if (FILE* out = std::fopen(path.c_str(), "wb")) {
    std::fprintf(out, "P6\n%d %d\n255\n", width, height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const unsigned long pixel = XGetPixel(image, x, y);
        const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16),
                                      static_cast<unsigned char>(pixel >> 8),
                                      static_cast<unsigned char>(pixel)};
        std::fwrite(rgb, 1, 3, out);
      }
    }
    std::fclose(out);
  }
  XDestroyImage(image);
}

}  // namespace kelvor::bench
