#include "platform/temp_page.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "errors/runtime_error.h"

namespace kelvor {

namespace {

// Every signal that ends the game by default and that a handler may catch. The fault signals
// (SEGV, BUS, ILL, FPE, ABRT) are not among them, nor the real-time ones, which nothing sends a
// game by accident.
constexpr int kEndingSignals[] = {SIGTERM, SIGINT,    SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,
                                  SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ};

// The paths of the one page there may be. Each is published by its flag only once it is whole,
// so that a handler never reads a path half copied.
char g_folder[PATH_MAX];
char g_page[PATH_MAX];
std::atomic<bool> g_folderArmed{false};
std::atomic<bool> g_pageArmed{false};
// While the folder is being made and its name published. The making thread holds the ending
// signals back meanwhile; a handler that runs on another thread waits the few instructions
// until the name is out, so that a folder made at that moment is not left behind.
std::atomic<bool> g_publishing{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads the flags");

bool g_installed[std::size(kEndingSignals)] = {};

// The one removal of the page: the file (unless it may be missing and is), then the folder.
// Returns 0, or the errno of the step that failed. Async-signal-safe.
int RemoveNow(bool fileMayBeMissing) {
  if (g_pageArmed.load()) {
    if (::unlink(g_page) != 0 && !(fileMayBeMissing && errno == ENOENT)) return errno;
    g_pageArmed.store(false);
  } else if (!fileMayBeMissing) {
    return ENOENT;
  }
  if (g_folderArmed.load()) {
    if (::rmdir(g_folder) != 0) return errno;
    g_folderArmed.store(false);
  }
  return 0;
}

extern "C" void RemoveAndEnd(int signal) {
  while (g_publishing.load()) {
  }
  RemoveNow(true);
  // Installed to run once and without holding its own signal back: the default action is back
  // and ends the game with the usual status for the signal.
  ::raise(signal);
}

void InstallHandlers() {
  struct sigaction action {};
  action.sa_handler = RemoveAndEnd;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND | SA_NODEFER;
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    struct sigaction previous {};
    // A signal the game was told to ignore stays ignored; one with a handler of its own keeps it.
    g_installed[i] = ::sigaction(kEndingSignals[i], nullptr, &previous) == 0 &&
                     previous.sa_handler == SIG_DFL &&
                     ::sigaction(kEndingSignals[i], &action, nullptr) == 0;
  }
}

void RestoreHandlers() {
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
    if (g_installed[i]) ::sigaction(kEndingSignals[i], &byDefault, nullptr);
    g_installed[i] = false;
  }
}

// Makes the private folder from `pattern` (a name ending in XXXXXX) and publishes its name.
void MakeFolder(const QByteArray& pattern) {
  char name[PATH_MAX];
  std::memcpy(name, pattern.constData(), pattern.size() + 1);
  sigset_t ending;
  sigemptyset(&ending);
  for (const int signal : kEndingSignals) sigaddset(&ending, signal);
  sigset_t previous;
  ::pthread_sigmask(SIG_BLOCK, &ending, &previous);
  g_publishing.store(true);
  // mkdtemp makes the folder with mode 0700 under a name nobody can guess in advance.
  const bool made = ::mkdtemp(name) != nullptr;
  const int error = errno;
  if (made) {
    std::memcpy(g_folder, name, pattern.size() + 1);
    g_folderArmed.store(true);
  }
  g_publishing.store(false);
  // A signal that came meanwhile is handled here, with the folder's name known.
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (!made) errors::RaiseFileError(error);
}

void WriteFile(const char* path, const QByteArray& content) {
  const int fd =
      ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) errors::RaiseFileError(errno);
  qsizetype written = 0;
  while (written < content.size()) {
    const ssize_t n = ::write(fd, content.constData() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      ::close(fd);
      errors::RaiseFileError(error);
    }
    written += n;
  }
  if (::close(fd) != 0) errors::RaiseFileError(errno);
}

// A folder that can take the private folder: one the user may create files in and enter.
bool IsUsableFolder(const QByteArray& path) {
  struct stat info {};
  return path.startsWith('/') && ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
         ::access(path.constData(), W_OK | X_OK) == 0;
}

}  // namespace

TempPage::~TempPage() {
  RemoveNow(true);
  g_pageArmed.store(false);
  g_folderArmed.store(false);
  if (m_guarding) RestoreHandlers();
}

void TempPage::Write(const QString& root, const QString& name, const QByteArray& content) {
  if (!m_guarding) {
    InstallHandlers();
    m_guarding = true;
  }
  // The game's one temporary file is the web command's page; its folder says so to whoever
  // finds it in the temporary folder.
  const QByteArray pattern = QFile::encodeName(QDir::cleanPath(root)) + "/kelvor-web-XXXXXX";
  const QByteArray file = "/" + QFile::encodeName(name);
  if (pattern.size() + file.size() >= PATH_MAX) errors::RaiseFileError(ENAMETOOLONG);
  MakeFolder(pattern);
  // The file's path is whole before it is published, and published before the file can exist.
  char page[PATH_MAX];
  std::memcpy(page, g_folder, pattern.size());
  std::memcpy(page + pattern.size(), file.constData(), file.size() + 1);
  std::memcpy(g_page, page, pattern.size() + file.size() + 1);
  g_pageArmed.store(true);
  WriteFile(g_page, content);
}

QByteArray TempPage::Path() const { return g_pageArmed.load() ? QByteArray(g_page) : QByteArray(); }

void TempPage::Remove() {
  if (const int error = RemoveNow(false)) errors::RaiseFileError(error);
}

void TempPage::RemoveWhatIsLeft() {
  if (const int error = RemoveNow(true)) errors::RaiseFileError(error);
}

QString TempPage::DefaultRoot() {
  // Qt's temporary path is empty for a TMPDIR that does not exist, which would put the private
  // folder at the root of the file system; a relative TMPDIR would depend on the working folder.
  const QByteArray tmpdir = qgetenv("TMPDIR");
  return IsUsableFolder(tmpdir) ? QFile::decodeName(tmpdir) : QStringLiteral("/tmp");
}

}  // namespace kelvor
