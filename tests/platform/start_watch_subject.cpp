// A program that is watched as the game's start is, and whose "window thread" behaves as its
// first argument says: "stalls" (blocks, as on a silent bus), "beats" (moves for longer than the
// watch allows a silence), "ends" (ends the watch, then blocks). Each start prints one line:
//   first|again PID DESCRIPTORS-ABOVE-2 SIGHUP-IGNORED SIGPIPE-IGNORED-AT-START BUS A11Y-BUS
//   BRIDGE
// and the start made again ends with status 7 after its own behaviour.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/child_process.h"
#include "platform/start_watch.h"

namespace {

int DescriptorsAbove2() {
  int count = 0;
  if (DIR* folder = ::opendir("/proc/self/fd")) {
    while (const dirent* entry = ::readdir(folder)) {
      if (std::atoi(entry->d_name) > 2) ++count;
    }
    ::closedir(folder);
    --count;  // the folder's own
  }
  return count;
}

bool Ignored(int signal) {
  struct sigaction current {};
  return ::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

const char* Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? "-" : *value == '\0' ? "''" : value;
}

void Report(bool again, bool pipeIgnoredAtStart) {
  std::printf("%s %d %d %d %d %s %s %s\n", again ? "again" : "first", static_cast<int>(::getpid()),
              DescriptorsAbove2(), Ignored(SIGHUP) ? 1 : 0, pipeIgnoredAtStart ? 1 : 0,
              Variable("DBUS_SESSION_BUS_ADDRESS"), Variable("AT_SPI_BUS_ADDRESS"),
              Variable("NO_AT_BRIDGE"));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char* argv[]) {
  kelvor::child_process::MarkInheritedDescriptorsCloseOnExec();
  const bool pipeIgnoredAtStart = Ignored(SIGPIPE);
  std::signal(SIGPIPE, SIG_IGN);  // as the game does, after its start
  kelvor::start_watch::Begin(argv);
  const bool again = kelvor::start_watch::ServicesSetAside();
  Report(again, pipeIgnoredAtStart);
  // What a library opens meanwhile, without close-on-exec, must not reach the start made again.
  ::open("/dev/null", O_RDONLY);
  const std::string behaviour = argc > 1 ? argv[1] : "";
  using std::chrono::milliseconds;
  if (behaviour == "beats") {
    for (int i = 0; i < 40; ++i) {
      kelvor::start_watch::Beat();
      std::this_thread::sleep_for(milliseconds(100));
    }
    kelvor::start_watch::End();
  } else {
    if (behaviour == "ends") kelvor::start_watch::End();
    std::this_thread::sleep_for(kelvor::start_watch::kStallLimit * 2 + milliseconds(500));
  }
  return again ? 7 : 0;
}
