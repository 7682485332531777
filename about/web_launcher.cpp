#include "about/web_launcher.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QLibrary>

#include "about/desktop_browser.h"
#include "shared/app_info.h"
#include "shared/message_box.h"
#include "flight/runtime_error.h"

namespace kelvor {

namespace {

// File errors that flight::errors has no name for, numbered like the rest.
constexpr int kDiskFull = 61;
constexpr int kPathNotFound = 76;

// The three ways a launch can fail, as the message tells them.
enum class Failure { kNone, kNoProgram, kNotStarted };

flight::RuntimeError FileError(int error) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return {flight::errors::kPermissionDenied, "Permission denied"};
    case ENOENT:
    case ENOTDIR:
      return {kPathNotFound, "Path not found"};
    case ENOSPC:
    case EDQUOT:
      return {kDiskFull, "Disk full"};
    default:
      return {flight::errors::kPathFileAccess, "Path/File access error"};
  }
}

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
    throw FileError(errno);
  }
  folder.dir = templ;
  folder.page = folder.dir + '/' + QFile::encodeName(WebLauncher::PageName());

  const int fd = open(folder.page.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      S_IRUSR | S_IWUSR);
  if (fd < 0) {
    throw FileError(errno);
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
      throw FileError(error);
    }
    written += n;
  }
  if (close(fd) != 0) {
    throw FileError(errno);
  }
}

bool PageExists(const PageFolder& folder) {
  struct stat info {};
  return !folder.page.isEmpty() && lstat(folder.page.constData(), &info) == 0;
}

// Deletes the page (an error when it is not there) and then its folder.
void RemovePage(PageFolder& folder) {
  if (unlink(folder.page.constData()) != 0) {
    throw FileError(errno);
  }
  if (rmdir(folder.dir.constData()) != 0) {
    throw FileError(errno);
  }
  folder = {};
}

// After a failure: deletes whatever of the page and its folder exists.
void RemoveWhatIsLeft(PageFolder& folder) {
  if (folder.dir.isEmpty()) {
    return;
  }
  if (PageExists(folder) && unlink(folder.page.constData()) != 0) {
    throw FileError(errno);
  }
  if (rmdir(folder.dir.constData()) != 0) {
    throw FileError(errno);
  }
  folder = {};
}

// The browser part of the launcher, from the module in the program's folder; null when the
// module is missing or broken, which leaves the game without a browser but otherwise whole.
// The module stays loaded once loaded.
KelvorOpenInBrowser LoadBrowserModule(const QString& moduleDir) {
  QLibrary module(QDir(moduleDir).absoluteFilePath(QStringLiteral(KELVOR_BROWSER_MODULE)));
  return reinterpret_cast<KelvorOpenInBrowser>(module.resolve(KELVOR_BROWSER_ENTRY));
}

}  // namespace

WebLauncher::WebLauncher(QString tempRoot, QString moduleDir)
    : m_tempRoot(std::move(tempRoot)), m_moduleDir(std::move(moduleDir)) {}

QString WebLauncher::DefaultTempRoot() { return QDir::tempPath(); }

QString WebLauncher::DefaultModuleDir() { return AppInfo::Path(); }

QString WebLauncher::PageName() { return QStringLiteral("temp.HTM"); }

QByteArray WebLauncher::PageContent() { return QByteArrayLiteral("\"<HTML> <\\HTML>\"\r\n"); }

void WebLauncher::WebLaunch(const std::string& sURL) const {
  Failure failure = Failure::kNone;
  int errorNumber = 0;
  QString errorDescription;
  PageFolder folder;
  m_programPath.clear();

  try {
    MakePage(m_tempRoot, folder);
    if (m_pageWritten) {
      m_pageWritten(QFile::decodeName(folder.page));
    }
    const KelvorOpenInBrowser openInBrowser = LoadBrowserModule(m_moduleDir);
    char programPath[kMaxProgramPath + 1] = {};
    const KelvorBrowserResult result =
        openInBrowser
            ? openInBrowser(folder.page.constData(), sURL.c_str(), programPath, sizeof programPath)
            : kKelvorBrowserNone;
    m_programPath = QFile::decodeName(programPath);
    if (result == kKelvorBrowserNone) {
      failure = Failure::kNoProgram;
    } else if (result == kKelvorBrowserNotStarted) {
      failure = Failure::kNotStarted;
    }
    if (failure == Failure::kNone) {
      RemovePage(folder);
      return;
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
  ShowMessage(message, kMsgCritical);
}

}  // namespace kelvor
