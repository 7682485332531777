// Runs one web launch in a process of its own and writes down what happened, for
// test_web_launcher. GIO reads the desktop's associations once per process, so every desktop the
// test sets up gets a fresh process.
//
// Usage: test_web_launch_probe <scenario folder>
//   reads  <folder>/url (the address, raw bytes) and, when present, <folder>/root (the temporary
//          folder to use; without it the launcher's default), <folder>/throw (the launch then
//          runs into std::bad_alloc once the page is written) and <folder>/hold (the launch then
//          waits, page written, for the test to end it by a signal)
//   writes <folder>/page-folder as soon as the page is written, then <folder>/result.json once
//          whatever the launch started has ended (five seconds at most)

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <functional>
#include <new>
#include <optional>

#include "about/web_launcher.h"
#include "errors/runtime_error.h"
#include "platform/desktop_browser.h"
#include "shared/message_box.h"
#include "tests/child_processes.h"

namespace {

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

int main(int argc, char** argv) {
  // As the game does first thing.
  kelvor::DesktopBrowser::KeepSearchPathsAbsolute();
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    return 2;
  }
  const QString scenario = QString::fromLocal8Bit(argv[1]);
  const QByteArray url = readFile(scenario + QStringLiteral("/url"));
  const QString rootFile = scenario + QStringLiteral("/root");

  QJsonObject result;
  QJsonArray messages;
  const kelvor::ShowMessageFunction record = [&messages](const QString& text, int style) {
    messages.append(QJsonObject{{"text", text}, {"style", style}});
  };

  // The desktop's own lookup, watched: the page is looked at while it exists.
  const bool throwing = QFile::exists(scenario + QStringLiteral("/throw"));
  const bool holding = QFile::exists(scenario + QStringLiteral("/hold"));
  const kelvor::DesktopBrowser* desktop = kelvor::DesktopBrowser::ThroughGio();
  class WatchedBrowser : public kelvor::DesktopBrowser {
   public:
    WatchedBrowser(const DesktopBrowser& desktop, std::function<void(const QFileInfo&)> watch)
        : m_desktop(desktop), m_watch(std::move(watch)) {}
    Result Open(const std::string& pagePath, const std::string& address,
                std::chrono::milliseconds limit, std::size_t maxProgramPath) const override {
      m_watch(QFileInfo(QFile::decodeName(QByteArray::fromStdString(pagePath))));
      return m_desktop.Open(pagePath, address, limit, maxProgramPath);
    }

   private:
    const DesktopBrowser& m_desktop;
    std::function<void(const QFileInfo&)> m_watch;
  };
  std::optional<WatchedBrowser> watched;
  if (desktop != nullptr) {
    watched.emplace(*desktop, [&](const QFileInfo& page) {
      struct stat folder {};
      stat(QFile::encodeName(page.absolutePath()).constData(), &folder);
      result.insert("pageName", page.fileName());
      result.insert("pageContent", QString::fromLatin1(readFile(page.filePath()).toBase64()));
      result.insert("pageFolder", page.absolutePath());
      result.insert("pageFolderMode", static_cast<int>(folder.st_mode & 07777));
      QFile told(scenario + QStringLiteral("/page-folder"));
      if (told.open(QIODevice::WriteOnly)) told.write(QFile::encodeName(page.absolutePath()));
      told.close();
      if (throwing) throw std::bad_alloc();
      if (holding) QThread::sleep(60);  // ended by the test's signal long before
    });
  }
  const kelvor::DesktopBrowser* browser = watched ? &*watched : nullptr;
  const kelvor::WebLauncher launcher =
      QFile::exists(rootFile)
          ? kelvor::WebLauncher(record, QString::fromLocal8Bit(readFile(rootFile)), browser)
          : kelvor::WebLauncher(record, kelvor::TempPage::DefaultRoot(), browser);

  std::string webURL = url.toStdString();
  try {
    launcher.WebLaunch(webURL);
  } catch (const kelvor::errors::RuntimeError& e) {
    result.insert("thrown", QString::number(e.Number()));
  } catch (const std::bad_alloc&) {
    result.insert("thrown", QStringLiteral("bad_alloc"));
  }
  result.insert("messages", messages);
  result.insert("urlAfter", QString::fromLatin1(QByteArray::fromStdString(webURL).toBase64()));

  // The event loop collects the end of what the launch started; a process of it still here once
  // it has ended is a zombie.
  QElapsedTimer waited;
  waited.start();
  while (!ChildProcesses(QCoreApplication::applicationPid()).isEmpty() && waited.elapsed() < 5000) {
    QCoreApplication::processEvents();
    QThread::msleep(20);
  }
  result.insert("zombies", ChildProcesses(QCoreApplication::applicationPid()).keys('Z').size());

  QFile out(scenario + QStringLiteral("/result.json"));
  if (!out.open(QIODevice::WriteOnly)) {
    return 3;
  }
  out.write(QJsonDocument(result).toJson());
  return 0;
}
