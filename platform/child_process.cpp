#include "platform/child_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sstream>

namespace kelvor {

ChildProcess::ChildProcess() {
  rlimit limit{};
  m_descriptorLimit = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
                              limit.rlim_cur < 65536
                          ? static_cast<int>(limit.rlim_cur)
                          : 65536;
}

void ChildProcess::PrepareForExec() const {
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) {
    // Handlers are reset by exec anyway; ignored signals would be inherited.
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      ::sigaction(signal, &defaultAction, nullptr);
    }
  }
  sigset_t noSignals;
  sigemptyset(&noSignals);
  ::sigprocmask(SIG_SETMASK, &noSignals, nullptr);

  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  // A kernel older than 5.11: one descriptor at a time.
  for (int fd = 3; fd < m_descriptorLimit; ++fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0 && (flags & FD_CLOEXEC) == 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }
}

bool ChildProcess::StartDetached(const std::vector<std::string>& arguments) const {
  if (arguments.empty()) return false;
  // Everything the children use is made before fork: in the child of a threaded process only
  // async-signal-safe calls are allowed.
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  char** const envp = environ;
  int started[2];
  if (::pipe2(started, O_CLOEXEC) != 0) return false;

  const pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) {
      PrepareForExec();
      ::execve(argv[0], argv.data(), envp);
    }
    // Here in the short-lived child, or in the program's process when exec failed.
    if (grandchild > 0) ::_exit(0);
    const char failed = 1;
    [[maybe_unused]] const ssize_t told = ::write(started[1], &failed, 1);
    ::_exit(127);
  }
  ::close(started[1]);
  if (child < 0) {
    ::close(started[0]);
    return false;
  }
  char failed = 0;
  ssize_t got = 0;
  do {
    got = ::read(started[0], &failed, 1);
  } while (got < 0 && errno == EINTR);
  ::close(started[0]);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  return got == 0;
}

bool ChildProcess::IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

std::string ChildProcess::FindInAbsolutePath(const std::string& name) {
  const char* const searchPath = std::getenv("PATH");
  if (searchPath == nullptr) return {};
  std::istringstream folders{std::string(searchPath)};
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (folder.empty() || folder.front() != '/') continue;
    const std::string candidate = folder + '/' + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

}  // namespace kelvor
