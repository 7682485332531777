#include "platform/session_bus.h"

#include <dbus/dbus.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

// In the child: connects to the session bus as Qt's connection would and says Hello. Whatever
// libdbus makes of the bus (an answer, a refusal, no bus at all), the child writes one byte to
// `report` once it knows; a bus that stays silent keeps it waiting until it is killed.
[[noreturn]] void TryTheBus(int report, pid_t parent) {
  // A game that ends while the try waits takes the try with it.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(1);
  // With no address set and no $XDG_RUNTIME_DIR/bus, libdbus would have dbus-launch start a bus
  // daemon for the X display, one that outlives the game by design (a killed try would leave it
  // half started). That case stays Qt's own connection's, as if there were no check: without a
  // display the try gives up on it at once, and a bus that cannot be reached is left alone.
  ::unsetenv("DISPLAY");
  DBusError error;
  dbus_error_init(&error);
  // A private connection: it does not register as the process's shared one, and with
  // DBUS_BUS_SESSION it is only returned once the bus has answered Hello.
  [[maybe_unused]] DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
  const char word = '.';
  [[maybe_unused]] const ssize_t written = ::write(report, &word, 1);
  ::_exit(0);
}

}  // namespace

bool SessionBus::IsSilent(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;  // no judging the bus without the child
  const pid_t parent = ::getpid();
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    TryTheBus(report[1], parent);
  }
  ::close(report[1]);
  if (child < 0) {
    ::close(report[0]);
    return false;
  }

  // Any byte means the bus has said its word; the end of the pipe without one, a child that died
  // in libdbus: no reason to doubt the bus either.
  bool silent = true;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd readable{report[0], POLLIN, 0};
    const int ready = ::poll(&readable, 1, static_cast<int>(left > 0 ? left : 0));
    if (ready < 0 && errno == EINTR) continue;
    silent = ready == 0;
    break;
  }
  ::close(report[0]);
  // The try has had its time: once it has reported, killing it only closes its connection.
  ::kill(child, SIGKILL);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  return silent;
}

bool SessionBus::SetAsideIfSilent(std::chrono::milliseconds limit) {
  if (!IsSilent(limit)) return false;
  // A transport no client knows: libdbus and GLib both give up on it at once. Read before
  // $XDG_RUNTIME_DIR/bus, it also covers a silent bus found there.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
  return true;
}
