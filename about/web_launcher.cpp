#include "about/web_launcher.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <chrono>
#include <cstring>
#include <iterator>

#include "platform/desktop_browser.h"
#include "flight/runtime_error.h"
#include "shared/message_box.h"

namespace kelvor {

namespace {

// How long the web command waits for the desktop to find and start the browser. A session bus
// that has stopped answering would otherwise hold the window for ever; a desktop in working
// order answers within a fraction of a second.
constexpr std::chrono::seconds kDesktopWait{5};

// The three ways a launch can fail, as the message tells them.
enum class Failure { kNone, kNoProgram, kNotStarted };

// The private folder of one launch and the page in it, in fixed storage that the signal
// handler below can read without allocating. One launch runs at a time, on the window's thread.
struct PageFolder {
  char dir[PATH_MAX];   // empty until the folder exists
  char page[PATH_MAX];  // empty until the page's name is known
};
PageFolder g_folder;
// Whether the handler is to remove g_folder: set before the folder is made, cleared once it is
// gone.
volatile sig_atomic_t g_armed = 0;

// The signals that end the game from outside (kill, Ctrl+C in a terminal, a closed terminal).
constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Removes whatever of the page and its folder there is, saying nothing; async-signal-safe.
void RemoveQuietly() {
  if (g_armed) {
    ::unlink(g_folder.page);
    ::rmdir(g_folder.dir);
  }
}

extern "C" void RemovePageAndEnd(int signal) {
  RemoveQuietly();
  // The handler was installed to run once and without blocking its signal, so the default
  // action is back and ends the game with the usual status for the signal.
  ::raise(signal);
}

// While it lives, a signal that would end the game removes the page and its folder first; when
// it goes, whatever of them is left goes with it. Covers every way out the game survives, an
// error of any kind included, as well as those it does not.
class PageGuard {
 public:
  PageGuard() {
    struct sigaction action {};
    action.sa_handler = RemovePageAndEnd;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      struct sigaction previous {};
      // A signal the game was told to ignore (nohup) stays ignored.
      m_installed[i] = ::sigaction(kEndingSignals[i], nullptr, &previous) == 0 &&
                       previous.sa_handler == SIG_DFL &&
                       ::sigaction(kEndingSignals[i], &action, nullptr) == 0;
    }
  }
  ~PageGuard() {
    RemoveQuietly();
    Disarm();
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      if (m_installed[i]) ::sigaction(kEndingSignals[i], &byDefault, nullptr);
    }
  }
  PageGuard(const PageGuard&) = delete;
  PageGuard& operator=(const PageGuard&) = delete;

  static void Disarm() {
    g_armed = 0;
    g_folder.dir[0] = '\0';
    g_folder.page[0] = '\0';
  }

 private:
  bool m_installed[std::size(kEndingSignals)] = {};
};

// Makes the private folder and writes the page in it; the paths are in g_folder from the
// moment the folder can exist.
void MakePage(const QString& root) {
  // mkdtemp makes the folder with mode 0700 under a name nobody can guess in advance.
  const QByteArray templ = QFile::encodeName(QDir::cleanPath(root)) + "/kelvor-web-XXXXXX";
  const QByteArray page = "/" + QFile::encodeName(WebLauncher::PageName());
  if (templ.size() + page.size() >= PATH_MAX) {
    flight::RaiseFileError(ENAMETOOLONG);
  }
  std::memcpy(g_folder.dir, templ.constData(), templ.size() + 1);
  g_folder.page[0] = '\0';
  g_armed = 1;
  if (mkdtemp(g_folder.dir) == nullptr) {
    const int error = errno;
    PageGuard::Disarm();
    flight::RaiseFileError(error);
  }
  std::memcpy(g_folder.page, g_folder.dir, templ.size());
  std::memcpy(g_folder.page + templ.size(), page.constData(), page.size() + 1);

  const int fd =
      open(g_folder.page, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
  if (fd < 0) {
    flight::RaiseFileError(errno);
  }
  const QByteArray content = WebLauncher::PageContent();
  qsizetype written = 0;
  while (written < content.size()) {
    const ssize_t n = write(fd, content.constData() + written, content.size() - written);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      close(fd);
      flight::RaiseFileError(error);
    }
    written += n;
  }
  if (close(fd) != 0) {
    flight::RaiseFileError(errno);
  }
}

bool PageExists() {
  struct stat info {};
  return g_folder.page[0] != '\0' && lstat(g_folder.page, &info) == 0;
}

// Deletes the page (an error when it is not there) and then its folder.
void RemovePage() {
  if (unlink(g_folder.page) != 0) {
    flight::RaiseFileError(errno);
  }
  if (rmdir(g_folder.dir) != 0) {
    flight::RaiseFileError(errno);
  }
  PageGuard::Disarm();
}

// After a failure: deletes whatever of the page and its folder exists.
void RemoveWhatIsLeft() {
  if (!g_armed) {
    return;
  }
  if (PageExists() && unlink(g_folder.page) != 0) {
    flight::RaiseFileError(errno);
  }
  if (rmdir(g_folder.dir) != 0) {
    flight::RaiseFileError(errno);
  }
  PageGuard::Disarm();
}

// A folder that can take the private folder: one the user may create files in and enter.
bool IsUsableFolder(const QByteArray& path) {
  struct stat info {};
  return path.startsWith('/') && stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
         access(path.constData(), W_OK | X_OK) == 0;
}

}  // namespace

WebLauncher::WebLauncher(ShowMessageFunction showMessage, QString tempRoot)
    : m_showMessage(std::move(showMessage)), m_tempRoot(std::move(tempRoot)) {}

QString WebLauncher::DefaultTempRoot() {
  // As the C library's tempnam does: $TMPDIR when it names a usable folder, /tmp otherwise.
  // Qt's temporary path is empty for a TMPDIR that does not exist, which would put the private
  // folder at the root of the file system. A relative TMPDIR would depend on the working folder.
  const QByteArray tmpdir = qgetenv("TMPDIR");
  return IsUsableFolder(tmpdir) ? QFile::decodeName(tmpdir) : QStringLiteral("/tmp");
}

QString WebLauncher::PageName() { return QStringLiteral("temp.HTM"); }

QByteArray WebLauncher::PageContent() { return QByteArrayLiteral("\"<HTML> <\\HTML>\"\r\n"); }

void WebLauncher::WebLaunch(const std::string& sURL) const {
  Failure failure = Failure::kNone;
  int errorNumber = 0;
  QString errorDescription;
  m_programPath.clear();
  const PageGuard guard;

  try {
    // The page is written only once a launch can be attempted: without GIO there is nothing
    // to ask about it.
    const DesktopBrowser* browser = DesktopBrowser::Get();
    if (browser == nullptr) {
      failure = Failure::kNoProgram;
    } else {
      MakePage(m_tempRoot);
      if (m_pageWritten) {
        m_pageWritten(QFile::decodeName(g_folder.page));
      }
      std::string programPath;
      const DesktopBrowser::Result result =
          browser->Open(g_folder.page, sURL, kDesktopWait, kMaxProgramPath, programPath);
      m_programPath = QFile::decodeName(QByteArray::fromStdString(programPath));
      if (result == DesktopBrowser::Result::kNoProgram) {
        failure = Failure::kNoProgram;
      } else if (result == DesktopBrowser::Result::kNotStarted) {
        failure = Failure::kNotStarted;
      } else {
        RemovePage();
        return;
      }
    }
  } catch (const flight::RuntimeError& e) {
    errorNumber = e.Number();
    errorDescription = QString::fromStdString(e.Description());
  }

  // Every failure ends here. An error while removing the page now leaves the launcher to the
  // caller's error trap.
  RemoveWhatIsLeft();
  QString message;
  if (failure == Failure::kNoProgram) {
    message = QStringLiteral("Could not find associated Browser\n");
  } else if (failure == Failure::kNotStarted) {
    message = QStringLiteral("Web site not located\n");
  }
  message += QString::number(errorNumber) + QStringLiteral(": ") + errorDescription;
  m_showMessage(message, kMsgCritical);
}

}  // namespace kelvor
