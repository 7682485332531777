#include "platform/temp_page.h"

#include <dirent.h>
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
#include <string>

#include "errors/runtime_error.h"

namespace kelvor {

namespace {

// A signal whose default ends the game and that a handler may catch, real-time ones included
// (the C library refuses a handler for the few it keeps for itself).
bool EndsTheGame(int signal) {
  switch (signal) {
    case SIGCHLD:
    case SIGURG:
    case SIGWINCH:
    case SIGCONT:
    case SIGTSTP:
    case SIGTTIN:
    case SIGTTOU:
    case SIGKILL:
    case SIGSTOP:
      return false;
    default:
      return signal > 0 && signal < NSIG;
  }
}

sigset_t EndingSignals() {
  sigset_t ending;
  sigemptyset(&ending);
  for (int signal = 1; signal < NSIG; ++signal) {
    if (EndsTheGame(signal)) sigaddset(&ending, signal);
  }
  return ending;
}

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

bool g_installed[NSIG] = {};

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
  for (int signal = 1; signal < NSIG; ++signal) {
    struct sigaction previous {};
    // A signal the game was told to ignore stays ignored; one with a handler of its own keeps it.
    g_installed[signal] = EndsTheGame(signal) && ::sigaction(signal, nullptr, &previous) == 0 &&
                          previous.sa_handler == SIG_DFL &&
                          ::sigaction(signal, &action, nullptr) == 0;
  }
}

void RestoreHandlers() {
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  for (int signal = 1; signal < NSIG; ++signal) {
    if (g_installed[signal]) ::sigaction(signal, &byDefault, nullptr);
    g_installed[signal] = false;
  }
}

// Makes the private folder from `pattern` (a name ending in XXXXXX) and publishes its name.
void MakeFolder(const QByteArray& pattern) {
  char name[PATH_MAX];
  std::memcpy(name, pattern.constData(), pattern.size() + 1);
  const sigset_t ending = EndingSignals();
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

constexpr char kFolderPrefix[] = "kelvor-web-";

// The private folder's name: the game's process number, so that a folder left behind by a game
// killed outright (SIGKILL, which no handler sees) can be told from one in use, and random
// letters nobody can guess in advance.
QByteArray FolderPattern(const QByteArray& root) {
  return root + '/' + kFolderPrefix + QByteArray::number(::getpid()) + "-XXXXXX";
}

// What a left-over folder holds, as far as its removal goes: nothing (a game ended before its
// page was written, or after it was removed), the page alone, or more.
enum class Held { kNothing, kThePage, kMore };

// What the open folder `folder` holds. The page is one entry, `name`, and a page as this game
// writes it: a plain file of the player's own, with no other name, holding `content`; `page` is
// then filled in with the file's identity.
Held WhatIsHeld(int folder, const char* name, const QByteArray& content, struct stat* page) {
  // A listing of its own, so that the folder's descriptor keeps its place.
  const int listingFd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listingFd < 0) return Held::kMore;
  DIR* const listing = ::fdopendir(listingFd);
  if (listing == nullptr) {
    ::close(listingFd);
    return Held::kMore;
  }
  int entries = 0;
  bool onlyThePage = true;
  while (const dirent* entry = ::readdir(listing)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    ++entries;
    onlyThePage = onlyThePage && std::strcmp(entry->d_name, name) == 0;
  }
  ::closedir(listing);
  if (entries == 0) return Held::kNothing;
  if (!onlyThePage || entries != 1) return Held::kMore;

  if (::fstatat(folder, name, page, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(page->st_mode) ||
      page->st_uid != ::geteuid() || page->st_nlink != 1 || page->st_size != content.size()) {
    return Held::kMore;
  }
  // Not blocking: should a pipe take the file's place meanwhile, the open does not wait on it.
  const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Held::kMore;
  struct stat opened {};
  QByteArray held(content.size() + 1, '\0');
  qsizetype got = 0;
  bool same =
      ::fstat(fd, &opened) == 0 && opened.st_dev == page->st_dev && opened.st_ino == page->st_ino;
  while (same && got < held.size()) {
    const ssize_t n = ::read(fd, held.data() + got, held.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) same = false;
    if (n <= 0) break;
    got += n;
  }
  ::close(fd);
  return same && got == content.size() && held.left(got) == content ? Held::kThePage : Held::kMore;
}

// Removes the pages, and their folders, that games of this player which no longer run left in
// `root`: only folders of the player's own that nobody else may write in, named as this game
// names them, holding nothing but a page named `name` with `content`, or nothing at all.
// Anything else, page included, is the player's: it stays as it is. Everything is looked at through
// the folders' descriptors and never through a link, so that a name swapped meanwhile is not
// followed. Quietly: a left-over is nobody's error.
void RemoveLeftOvers(const QByteArray& root, const QByteArray& name, const QByteArray& content) {
  const int rootFd = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd < 0) return;
  DIR* const folders = ::fdopendir(rootFd);
  if (folders == nullptr) {
    ::close(rootFd);
    return;
  }
  const std::size_t prefix = sizeof kFolderPrefix - 1;
  while (const dirent* entry = ::readdir(folders)) {
    if (std::strncmp(entry->d_name, kFolderPrefix, prefix) != 0) continue;
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name + prefix, &end, 10);
    if (pid <= 0 || end == entry->d_name + prefix || *end != '-' || std::strlen(end) != 7) continue;
    // A game that runs (or any process of that number, even another user's) keeps its folder.
    if (pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    const int folder =
        ::openat(rootFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) continue;
    struct stat info {};
    struct stat page {};
    struct stat still {};
    const Held held = ::fstat(folder, &info) == 0 && info.st_uid == ::geteuid() &&
                              (info.st_mode & (S_IWGRP | S_IWOTH)) == 0
                          ? WhatIsHeld(folder, name.constData(), content, &page)
                          : Held::kMore;
    // The very file looked at, and the very folder: nothing put in their place meanwhile.
    const bool emptied = held == Held::kNothing ||
                         (held == Held::kThePage &&
                          ::fstatat(folder, name.constData(), &still, AT_SYMLINK_NOFOLLOW) == 0 &&
                          still.st_dev == page.st_dev && still.st_ino == page.st_ino &&
                          ::unlinkat(folder, name.constData(), 0) == 0);
    if (emptied && ::fstatat(rootFd, entry->d_name, &still, AT_SYMLINK_NOFOLLOW) == 0 &&
        still.st_dev == info.st_dev && still.st_ino == info.st_ino) {
      ::unlinkat(rootFd, entry->d_name, AT_REMOVEDIR);  // only ever removes an empty folder
    }
    ::close(folder);
  }
  ::closedir(folders);
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
  const QByteArray rootPath = QFile::encodeName(QDir::cleanPath(root));
  const QByteArray pattern = FolderPattern(rootPath);
  const QByteArray file = "/" + QFile::encodeName(name);
  if (pattern.size() + file.size() >= PATH_MAX) errors::RaiseFileError(ENAMETOOLONG);
  // Removes what a killed game could not remove itself.
  RemoveLeftOvers(rootPath, QFile::encodeName(name), content);
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
  // Not Qt's temporary path: for a TMPDIR that does not exist it is empty, which would put the
  // folder at the root. A relative TMPDIR would depend on the working folder, and one too long
  // for the folder's name and a longest file name is as unusable as a missing one.
  const QByteArray tmpdir = qgetenv("TMPDIR");
  const bool fits = FolderPattern(tmpdir).size() + 1 + NAME_MAX < PATH_MAX;
  return fits && IsUsableFolder(tmpdir) ? QFile::decodeName(tmpdir) : QStringLiteral("/tmp");
}

}  // namespace kelvor
