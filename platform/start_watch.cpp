#include "platform/start_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string_view>

#include "platform/child_process.h"
#include "platform/process_stat.h"

namespace kelvor::start_watch {

namespace {

// Set in the environment of the start made again, and removed from it at once: the programs the
// game starts never see it.
constexpr char kStartedAgain[] = "KELVOR_STARTED_AGAIN";

// What the start made again leaves out, as variables: a session-bus address no client knows how
// to reach (libdbus and GLib give up on it at once; read before $XDG_RUNTIME_DIR/bus and
// autolaunch, it covers those too); no accessibility bus of its own, which leaves Qt's bridge
// nothing to find but through the session bus (and so neither org.a11y.Bus nor the X root
// window's AT_SPI_BUS); and GTK's bridge, loaded with the GTK platform theme, switched off.
struct Setting {
  const char* name;
  const char* value;  // null: unset
};
constexpr Setting kSetAside[] = {
    {"DBUS_SESSION_BUS_ADDRESS", "disabled:"},
    {"AT_SPI_BUS_ADDRESS", nullptr},
    {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON", nullptr},
    {"QT_ACCESSIBILITY", nullptr},
    {"NO_AT_BRIDGE", "1"},
};

// How long the children of the first start may take to end.
constexpr std::chrono::milliseconds kChildrenLimit{200};

// An eventfd counter: a beat adds 1, the end adds kEnd.
constexpr std::uint64_t kEnd = std::uint64_t{1} << 32;

bool g_setAside = false;
std::atomic<int> g_beats{-1};
pthread_t g_watcher{};
bool g_watching = false;

// What the new start is made with, put together before the watcher runs: it allocates nothing.
std::vector<std::string> g_arguments;
std::vector<std::string> g_environment;
std::vector<char*> g_argv;
std::vector<char*> g_envp;

using Clock = std::chrono::steady_clock;

// Waits up to `wait` for beats; the counter's value, 0 without any.
std::uint64_t WaitForBeats(int fd, Clock::duration wait) {
  pollfd beats{fd, POLLIN, 0};
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
  const int ready = ::poll(&beats, 1, static_cast<int>(ms > 0 ? ms : 0));
  std::uint64_t count = 0;
  if (ready > 0 && ::read(fd, &count, sizeof count) != sizeof count) count = 0;
  return count;
}

// The first start's own children (a program libdbus started as a bus transport, say) would stay
// on as children of the start made again, which knows nothing of them: they are ended and
// collected first. Nothing is allocated; /proc is read into the stack.
void EndChildren() {
  const pid_t self = ::getpid();
  pid_t ended[64];
  int count = 0;
  const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) return;
  alignas(dirent64) char entries[1024];
  for (ssize_t got; (got = ::getdents64(proc, entries, sizeof entries)) > 0;) {
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
      at += entry->d_reclen;
      if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
      const std::optional<ProcessStat> stat =
          ReadProcessStat(static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10)));
      if (!stat || stat->parent != self) continue;
      ::kill(stat->pid, SIGKILL);
      if (count < static_cast<int>(std::size(ended))) ended[count++] = stat->pid;
    }
  }
  ::close(proc);
  // A child stuck in the kernel is not waited for long: it stays a zombie of the new start.
  const Clock::time_point deadline = Clock::now() + kChildrenLimit;
  for (int i = 0; i < count; ++i) {
    while (::waitpid(ended[i], nullptr, WNOHANG) == 0 && Clock::now() < deadline) ::usleep(1000);
  }
}

void* Watch(void* argument) {
  const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(argument));
  Clock::time_point last = Clock::now();
  for (;;) {
    std::uint64_t count = WaitForBeats(fd, last + kStallLimit - Clock::now());
    if (count == 0 && Clock::now() - last >= kStallLimit) count = WaitForBeats(fd, kGrace);
    if (count >= kEnd) return nullptr;
    if (count > 0) {
      last = Clock::now();
      continue;
    }
    if (Clock::now() - last < kStallLimit + kGrace) continue;  // woken early by a signal
    // The window thread has stopped: the program again, in this process. exec ends every other
    // thread, blocked or not; the signals and descriptors go back to what the player gave.
    EndChildren();
    child_process::PrepareForOwnExec();
    ::execve("/proc/self/exe", g_argv.data(), g_envp.data());
    return nullptr;  // without /proc: this start goes on as it is
  }
}

}  // namespace

void Begin(char** argv) {
  if (const char* again = std::getenv(kStartedAgain); again != nullptr) {
    ::unsetenv(kStartedAgain);
    g_setAside = true;
    for (const Setting& setting : kSetAside) {
      child_process::SetForGameOnly(setting.name, setting.value);
    }
    return;
  }
  for (char** argument = argv; argument != nullptr && *argument != nullptr; ++argument) {
    g_arguments.emplace_back(*argument);
  }
  g_environment = child_process::Environment();
  g_environment.push_back(std::string(kStartedAgain) + "=1");
  for (std::string& argument : g_arguments) g_argv.push_back(argument.data());
  g_argv.push_back(nullptr);
  for (std::string& entry : g_environment) g_envp.push_back(entry.data());
  g_envp.push_back(nullptr);

  const int fd = ::eventfd(0, EFD_CLOEXEC);
  if (fd < 0) return;
  if (::pthread_create(&g_watcher, nullptr, &Watch,
                       reinterpret_cast<void*>(static_cast<std::intptr_t>(fd))) != 0) {
    ::close(fd);
    return;
  }
  ::pthread_setname_np(g_watcher, "start watch");
  g_watching = true;
  g_beats.store(fd);
}

void Beat() {
  const int fd = g_beats.load(std::memory_order_relaxed);
  if (fd < 0) return;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
}

void End() {
  if (!g_watching) return;
  g_watching = false;
  const int fd = g_beats.exchange(-1);
  const std::uint64_t end = kEnd;
  [[maybe_unused]] const ssize_t written = ::write(fd, &end, sizeof end);
  ::pthread_join(g_watcher, nullptr);
  ::close(fd);
}

bool ServicesSetAside() { return g_setAside; }

std::vector<std::string> WithServicesSetAside(std::vector<std::string> environment) {
  std::vector<std::string> result;
  result.reserve(environment.size() + std::size(kSetAside));
  for (std::string& entry : environment) {
    const std::string_view name = std::string_view(entry).substr(0, entry.find('='));
    bool setAside = false;
    for (const Setting& setting : kSetAside) setAside |= name == setting.name;
    if (!setAside) result.push_back(std::move(entry));
  }
  for (const Setting& setting : kSetAside) {
    if (setting.value != nullptr) result.push_back(std::string(setting.name) + '=' + setting.value);
  }
  return result;
}

}  // namespace kelvor::start_watch
