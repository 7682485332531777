#include "platform/child_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <map>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/file_system.h"

namespace kelvor::child_process {

namespace {

sigset_t IgnoredSignals() {
  sigset_t ignored;
  sigemptyset(&ignored);
  for (int signal = 1; signal < NSIG; ++signal) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      sigaddset(&ignored, signal);
    }
  }
  return ignored;
}

// The signals ignored when the program was started, read as this file is initialised: before
// main, and so before the game ignores SIGPIPE.
const sigset_t g_ignoredAtStart = IgnoredSignals();

// The variables the game has set for itself alone, with their values before that (none: unset).
std::map<std::string, std::optional<std::string>>& g_valuesAtStart() {
  static std::map<std::string, std::optional<std::string>> values;
  return values;
}

// Out of AddressSanitizer's checks: QProcess's child shares the game's memory until its exec
// (vfork) and never returns from these frames, so the sanitizer's marks for their locals would
// stay behind in the game's memory and be taken for its own.
#define KELVOR_IN_FORKED_CHILD [[gnu::no_sanitize_address]]

KELVOR_IN_FORKED_CHILD void MarkCloseOnExec(int fd) {
  const int flags = ::fcntl(fd, F_GETFD);
  if (flags >= 0 && (flags & FD_CLOEXEC) == 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

// The fallback, through /proc and the raw getdents64 into a stack buffer. Out of line and small:
// QProcess's child has a stack of a few kilobytes.
KELVOR_IN_FORKED_CHILD [[gnu::noinline]] bool MarkListedCloseOnExec() {
  const int folder = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  alignas(dirent64) char buffer[512];
  for (ssize_t got; (got = ::getdents64(folder, buffer, sizeof buffer)) > 0;) {
    for (ssize_t at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      at += entry->d_reclen;
      int fd = 0;
      const char* digit = entry->d_name;
      for (; *digit >= '0' && *digit <= '9' && fd < INT_MAX / 10; ++digit) {
        fd = fd * 10 + (*digit - '0');
      }
      if (*digit == '\0' && digit != entry->d_name && fd > 2 && fd != folder) MarkCloseOnExec(fd);
    }
  }
  ::close(folder);
  return true;
}

// Every open descriptor from 3 up; async-signal-safe, nothing is allocated. The kernel does it
// in one call from 5.11 on; before that, the descriptors /proc lists; without /proc, every
// number below the limit.
KELVOR_IN_FORKED_CHILD void MarkCloseOnExecAbove2() {
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0 || MarkListedCloseOnExec()) return;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return;
  for (rlim_t fd = 3; fd < limit.rlim_cur && fd <= INT_MAX; ++fd) {
    MarkCloseOnExec(static_cast<int>(fd));
  }
}

void Reap(pid_t pid, int options) {
  while (::waitpid(pid, nullptr, options) < 0 && errno == EINTR) {
  }
}

// Without it a started program stays a zombie until the game ends. The event loop hears of the
// end through a pidfd; off its thread, or before Linux 5.3 (no pidfd_open), a thread waits.
void ReapWhenItEnds(pid_t pid) {
  QCoreApplication* const app = QCoreApplication::instance();
  if (app != nullptr && QThread::currentThread() == app->thread()) {
    // Through syscall: the C library's own declaration (2.36) lacks C linkage for C++.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));  // close-on-exec
    if (pidfd >= 0) {
      // A child of the application: gone with it, the descriptor with it.
      auto* const watch = new QSocketNotifier(pidfd, QSocketNotifier::Read, app);
      QObject::connect(watch, &QObject::destroyed, [pidfd] { ::close(pidfd); });
      QObject::connect(watch, &QSocketNotifier::activated, watch, [watch, pid] {
        watch->setEnabled(false);
        Reap(pid, WNOHANG);
        watch->deleteLater();
      });
      return;
    }
  }
  try {
    std::thread([pid] { Reap(pid, 0); }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the zombie stays until the game ends, and then goes with it.
  }
}

KELVOR_IN_FORKED_CHILD void RestoreSignalsOfStart() {
  // Little on the stack: see MarkListedCloseOnExec.
  struct sigaction wanted {};
  struct sigaction current {};
  for (int signal = 1; signal < NSIG; ++signal) {
    if (sigismember(&g_ignoredAtStart, signal) == 1) {
      // Also for a signal someone has since given a handler, which exec would make the
      // default; and QProcess puts SIGPIPE back to the default on its own.
      wanted.sa_handler = SIG_IGN;
      ::sigaction(signal, &wanted, nullptr);
    } else if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      // Handlers are reset by exec anyway; what the game ignores would be inherited.
      wanted.sa_handler = SIG_DFL;
      ::sigaction(signal, &wanted, nullptr);
    }
  }
}

}  // namespace

void MarkInheritedDescriptorsCloseOnExec() { MarkCloseOnExecAbove2(); }

KELVOR_IN_FORKED_CHILD void PrepareForExec() {
  RestoreSignalsOfStart();
  sigset_t noSignals;
  sigemptyset(&noSignals);
  ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);
  MarkCloseOnExecAbove2();
}

void PrepareForOwnExec() {
  RestoreSignalsOfStart();
  MarkCloseOnExecAbove2();
}

bool StartDetached(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return false;
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  // posix_spawn does it all between the child's clone and exec, where the C library does only
  // what is safe: every signal but those ignored at the game's start back to the default, an
  // empty mask, and every descriptor above 2 closed.
  sigset_t byDefault;
  sigfillset(&byDefault);
  for (int signal = 1; signal < NSIG; ++signal) {
    if (sigismember(&g_ignoredAtStart, signal) == 1) sigdelset(&byDefault, signal);
  }
  sigset_t noSignals;
  sigemptyset(&noSignals);
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return false;
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    posix_spawnattr_destroy(&attributes);
    return false;
  }
  std::vector<std::string> environment = Environment();
  std::vector<char*> envp;
  envp.reserve(environment.size() + 1);
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  pid_t pid = 0;
  const bool started =
      posix_spawnattr_setflags(
          &attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0 &&
      posix_spawnattr_setsigdefault(&attributes, &byDefault) == 0 &&
      posix_spawnattr_setsigmask(&attributes, &noSignals) == 0 &&
      posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0 &&
      // The C library reports a failed exec here, as its error.
      posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()) == 0;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (started) ReapWhenItEnds(pid);
  return started;
}

void SetForGameOnly(const char* name, const char* value) {
  auto& atStart = g_valuesAtStart();
  if (atStart.find(name) == atStart.end()) {
    const char* before = std::getenv(name);
    atStart.emplace(name, before ? std::optional<std::string>(before) : std::nullopt);
  }
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
}

std::vector<std::string> Environment() {
  const auto& atStart = g_valuesAtStart();
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (atStart.find(std::string(text.substr(0, text.find('=')))) == atStart.end()) {
      environment.emplace_back(text);
    }
  }
  for (const auto& [name, value] : atStart) {
    if (value) environment.push_back(name + '=' + *value);
  }
  return environment;
}

bool IsExecutableFile(const std::string& path) {
  return IsNormalFile(path) && ::access(path.c_str(), X_OK) == 0;
}

std::string FindInAbsolutePath(const std::string& name) {
  const char* const searchPath = std::getenv("PATH");
  if (searchPath == nullptr) return {};
  for (const std::string& folder : AbsoluteFolders(searchPath)) {
    const std::string candidate = folder + '/' + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

}  // namespace kelvor::child_process
