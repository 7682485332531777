#include "about/web_launcher.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <chrono>

#include "about/desktop_browser.h"
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

// The private folder of one launch and the page in it.
struct PageFolder {
  QByteArray dir;   // empty until the folder exists
  QByteArray page;  // the page's path once the folder exists
};

void MakePage(const QString& root, PageFolder& folder) {
  // mkdtemp makes the folder with mode 0700 under a name nobody can guess in advance.
  QByteArray templ =
      QFile::encodeName(QDir::cleanPath(root) + QStringLiteral("/kelvor-web-XXXXXX"));
  if (mkdtemp(templ.data()) == nullptr) {
    flight::RaiseFileError(errno);
  }
  folder.dir = templ;
  folder.page = folder.dir + '/' + QFile::encodeName(WebLauncher::PageName());

  const int fd = open(folder.page.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      S_IRUSR | S_IWUSR);
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

bool PageExists(const PageFolder& folder) {
  struct stat info {};
  return !folder.page.isEmpty() && lstat(folder.page.constData(), &info) == 0;
}

// Deletes the page (an error when it is not there) and then its folder.
void RemovePage(PageFolder& folder) {
  if (unlink(folder.page.constData()) != 0) {
    flight::RaiseFileError(errno);
  }
  if (rmdir(folder.dir.constData()) != 0) {
    flight::RaiseFileError(errno);
  }
  folder = {};
}

// After a failure: deletes whatever of the page and its folder exists.
void RemoveWhatIsLeft(PageFolder& folder) {
  if (folder.dir.isEmpty()) {
    return;
  }
  if (PageExists(folder) && unlink(folder.page.constData()) != 0) {
    flight::RaiseFileError(errno);
  }
  if (rmdir(folder.dir.constData()) != 0) {
    flight::RaiseFileError(errno);
  }
  folder = {};
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
  PageFolder folder;
  m_programPath.clear();

  try {
    // The page is written only once a launch can be attempted: without GIO there is nothing
    // to ask about it.
    const DesktopBrowser* browser = DesktopBrowser::Get();
    if (browser == nullptr) {
      failure = Failure::kNoProgram;
    } else {
      MakePage(m_tempRoot, folder);
      if (m_pageWritten) {
        m_pageWritten(QFile::decodeName(folder.page));
      }
      std::string programPath;
      const DesktopBrowser::Result result = browser->Open(
          folder.page.toStdString(), sURL, kDesktopWait, kMaxProgramPath, programPath);
      m_programPath = QFile::decodeName(QByteArray::fromStdString(programPath));
      if (result == DesktopBrowser::Result::kNoProgram) {
        failure = Failure::kNoProgram;
      } else if (result == DesktopBrowser::Result::kNotStarted) {
        failure = Failure::kNotStarted;
      } else {
        RemovePage(folder);
        return;
      }
    }
  } catch (const flight::RuntimeError& e) {
    errorNumber = e.Number();
    errorDescription = QString::fromStdString(e.Description());
  }

  // Every failure ends here. An error while removing the page now leaves the launcher to the
  // caller's error trap.
  RemoveWhatIsLeft(folder);
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
