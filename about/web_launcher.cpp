#include "about/web_launcher.h"

// GLib names structure members "signals", which Qt defines as a keyword macro.
#pragma push_macro("signals")
#undef signals
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <memory>
#include <vector>

#include "app/message_box.h"
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

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object != nullptr) {
      g_object_unref(object);
    }
  }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

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

bool NeedsTerminal(GAppInfo* app) {
  return G_IS_DESKTOP_APP_INFO(app) &&
         g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(app), "Terminal");
}

// The application's executable as a full path; empty when it is not to be found.
QString ProgramPathOf(GAppInfo* app) {
  const char* executable = g_app_info_get_executable(app);
  if (executable == nullptr || *executable == '\0') {
    return {};
  }
  gchar* found = g_find_program_in_path(executable);
  if (found == nullptr) {
    return {};
  }
  QString path = QFile::decodeName(found);
  g_free(found);
  return path;
}

struct Association {
  GObjectPtr<GAppInfo> app;
  QString programPath;
};

// The desktop's default application for the page's content type that takes an address as an
// argument and runs in a window of its own. When the default needs a terminal (a text-mode
// browser), the other applications recommended for the type are tried in the desktop's order.
Association FindAssociatedProgram(const QByteArray& pagePath) {
  GObjectPtr<GFile> file(g_file_new_for_path(pagePath.constData()));
  GObjectPtr<GFileInfo> info(g_file_query_info(file.get(), G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                               G_FILE_QUERY_INFO_NONE, nullptr, nullptr));
  if (!info) {
    return {};
  }
  const char* type = g_file_info_get_content_type(info.get());
  if (type == nullptr) {
    return {};
  }

  std::vector<GObjectPtr<GAppInfo>> candidates;
  candidates.emplace_back(g_app_info_get_default_for_type(type, TRUE));
  GList* recommended = g_app_info_get_recommended_for_type(type);
  for (GList* item = recommended; item != nullptr; item = item->next) {
    candidates.emplace_back(G_APP_INFO(item->data));
  }
  g_list_free(recommended);

  for (auto& candidate : candidates) {
    if (!candidate || !g_app_info_supports_uris(candidate.get()) ||
        NeedsTerminal(candidate.get())) {
      continue;
    }
    QString program = ProgramPathOf(candidate.get());
    if (program.isEmpty() || program.size() > WebLauncher::kMaxProgramPath) {
      continue;
    }
    return {std::move(candidate), std::move(program)};
  }
  return {};
}

bool IsExecutableFile(const QByteArray& path) {
  struct stat info {};
  return stat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(path.constData(), X_OK) == 0;
}

// The desktop's launcher hands the program to a helper that reports success once it is
// running, even when the program itself then cannot be executed. So the start also checks what
// the system would refuse to execute: a program that is no executable file, or a script whose
// interpreter is missing.
bool CanExecute(const QString& programPath) {
  const QByteArray path = QFile::encodeName(programPath);
  if (!IsExecutableFile(path)) {
    return false;
  }
  QFile program(programPath);
  if (!program.open(QIODevice::ReadOnly)) {
    return false;
  }
  const QByteArray head = program.read(256);
  if (!head.startsWith("#!")) {
    return true;
  }
  const QByteArray line = head.mid(2, head.indexOf('\n') < 0 ? -1 : head.indexOf('\n') - 2);
  const QByteArray interpreter = line.trimmed().split(' ').value(0).split('\t').value(0);
  return !interpreter.isEmpty() && IsExecutableFile(interpreter);
}

// Runs the application through its desktop entry with the address as its one argument.
bool StartProgram(const Association& association, const std::string& sURL) {
  if (!CanExecute(association.programPath)) {
    return false;
  }
  GList* uris = g_list_append(nullptr, const_cast<char*>(sURL.c_str()));
  GError* error = nullptr;
  const bool started = g_app_info_launch_uris(association.app.get(), uris, nullptr, &error);
  g_list_free(uris);
  if (error != nullptr) {
    g_error_free(error);
  }
  return started;
}

}  // namespace

WebLauncher::WebLauncher(QString tempRoot) : m_tempRoot(std::move(tempRoot)) {}

QString WebLauncher::DefaultTempRoot() { return QDir::tempPath(); }

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
    Association association = FindAssociatedProgram(folder.page);
    if (!association.app) {
      failure = Failure::kNoProgram;
    } else {
      m_programPath = association.programPath;
      if (!StartProgram(association, sURL)) {
        failure = Failure::kNotStarted;
      }
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
