#include "platform/help_viewer.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <cstdio>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>

#include "platform/child_process.h"
#include "platform/process_stat.h"
#include "platform/start_watch.h"

namespace kelvor {

namespace {
// How long Close waits for the viewer after asking it to end, and again after killing it.
constexpr std::chrono::milliseconds kCloseGrace{2000};
// The viewer has settled once its processor time has stayed still for kStillLooks looks
// kWatchInterval apart; one that is still busy after kWatchLimit counts as settled all the same.
constexpr std::chrono::milliseconds kWatchInterval{100};
constexpr int kStillLooks = 3;
constexpr std::chrono::milliseconds kWatchLimit{10000};
// How much of the viewer's output the game keeps, and how many of its last lines it tells after
// a failing end: Assistant warns of harmless things all along, and only its end says why.
constexpr qsizetype kOutputKept = 4096;
constexpr int kLinesTold = 3;

// The last `count` lines of `output` that say something.
QByteArray LastLines(const QByteArray& output, int count) {
  QList<QByteArray> lines = output.split('\n');
  lines.removeIf([](const QByteArray& line) { return line.trimmed().isEmpty(); });
  if (lines.size() > count) lines.remove(0, lines.size() - count);
  QByteArray told;
  for (const QByteArray& line : lines) told += line + '\n';
  return told;
}

bool IsReadableFile(const QString& path) {
  QFile file(path);
  return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
}
}  // namespace

HelpViewer::HelpViewer(ReportHelpFailure report, QString program,
                       std::chrono::milliseconds earlyExitWindow)
    : m_report(std::move(report)),
      m_program(std::move(program)),
      m_earlyExitWindow(earlyExitWindow),
      m_reporter(std::make_unique<QObject>()),
      m_watch(std::make_unique<QTimer>()) {
  m_watch->setInterval(kWatchInterval);
  QObject::connect(m_watch.get(), &QTimer::timeout, m_reporter.get(), [this] { OnWatch(); });
}

HelpViewer::~HelpViewer() {
  m_quitHook.reset();
  Close();
}

void HelpViewer::ShowContents(const QString& helpFile) { Request(helpFile, 0); }

void HelpViewer::ShowTopic(const QString& helpFile, int helpContextID) {
  Request(helpFile, helpContextID);
}

bool HelpViewer::IsRunning() const {
  return m_process && m_process->state() != QProcess::NotRunning;
}

bool HelpViewer::IsRunningWith(const QString& collection) const {
  return IsRunning() && m_collection == collection;
}

void HelpViewer::Request(const QString& helpFile, int helpContextID) {
  ++m_requests;
  m_resent = false;
  // The collection and the commands go together: each language's namespace and page names are
  // its own. A language whose collection is missing gets the English help rather than none. The
  // language chosen is handed on as a list of one, which chooses itself.
  QStringList language{help_protocol::Language(QLocale::system().uiLanguages())};
  QString collection = help_protocol::CollectionFile(helpFile, language);
  if (collection != helpFile && !IsRunningWith(collection) && !IsReadableFile(collection)) {
    language = QStringList{QLatin1String(help_protocol::kEnglish)};
    collection = helpFile;
  }
  Send(collection, helpContextID == 0 ? help_protocol::ContentsCommand(language)
                                      : help_protocol::TopicCommand(helpContextID, language));
}

void HelpViewer::Send(const QString& collection, const QString& command) {
  if (!IsRunningWith(collection)) {
    // Assistant would only end, or show an empty window, on a collection it cannot read; the
    // player learns the reason at once instead.
    if (!IsReadableFile(collection)) {
      m_report({HelpFailure::Kind::kMissingFile, collection});
      return;
    }
    Start(collection);
  } else if (const std::optional<ProcessStat> stat =
                 ReadProcessStat(static_cast<pid_t>(m_process->processId()));
             !stat || stat->state == 'Z') {
    // The viewer has ended, and the event loop has not heard yet: whatever is written now is
    // lost, and the request goes to a new viewer once the end is seen.
    m_lost = true;
  }
  m_request = command;
  m_requestUnwritten = true;
  if (m_contentsBuilt) {
    Write(command + QLatin1Char(';') + help_protocol::SyncCommand());
  } else {
    m_syncOwed = true;
    Write(command);
  }
  WatchUntilSettled();
}

void HelpViewer::Write(const QString& line) {
  // Written when the event loop next runs (or as soon as the viewer has started); the viewer
  // keeps early commands until its window is ready.
  m_process->write((line + QLatin1Char('\n')).toLocal8Bit());
}

void HelpViewer::Start(const QString& collection) {
  Close();
  m_process = std::make_unique<QProcess>();
  // The viewer's messages are not the game's business while it shows the help; they are kept
  // to explain a failure.
  m_process->setProcessChannelMode(QProcess::MergedChannels);
  // The game ends through std::_Exit (or a crash) without clean-up, so the kernel ends the
  // viewer with the thread that started it, the window's thread. A game gone before the child
  // asks would never send it, so the child then exits. SIGKILL, because a SIGTERM the game was
  // started to ignore would be ignored by the viewer too.
  const pid_t game = ::getpid();
  // The player's environment; but when the game had to start again without the session bus and
  // the screen-reader services, the viewer, a Qt program that would wait on them just as the game
  // did, goes without them too. Qt has no switch for the global menu alone, so that means no bus.
  std::vector<std::string> inherited = child_process::Environment();
  if (start_watch::ServicesSetAside()) {
    inherited = start_watch::WithServicesSetAside(std::move(inherited));
  }
  QStringList environment;
  for (const std::string& entry : inherited) environment.append(QString::fromLocal8Bit(entry));
  m_process->setEnvironment(environment);
  m_process->setChildProcessModifier([game] {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != game) ::_exit(127);
    child_process::PrepareForExec();
  });
  m_collection = collection;
  QProcess* process = m_process.get();
  QObject::connect(process, &QProcess::errorOccurred, process,
                   [this](QProcess::ProcessError error) { OnError(error); });
  QObject::connect(
      process, &QProcess::finished, process,
      [this](int exitCode, QProcess::ExitStatus status) { OnFinished(exitCode, status); });
  QObject::connect(process, &QProcess::bytesWritten, process, [this] {
    if (m_process->bytesToWrite() == 0) m_requestUnwritten = false;
  });
  QObject::connect(process, &QProcess::readyReadStandardOutput, process, [this] {
    m_output += m_process->readAllStandardOutput();
    if (m_output.size() > kOutputKept) m_output.remove(0, m_output.size() - kOutputKept);
  });
  m_started.start();
  m_process->start(m_program, help_protocol::Arguments(collection));

  if (!m_quitHook && QCoreApplication::instance() != nullptr) {
    m_quitHook = std::make_unique<QObject>();
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, m_quitHook.get(),
                     [this] { Close(); });
  }
}

void HelpViewer::WatchUntilSettled() {
  m_cpuTicks = -1;
  m_stillLooks = 0;
  m_watching.start();
  m_watch->start();
}

void HelpViewer::OnWatch() {
  if (!IsRunning()) {
    m_watch->stop();
    return;
  }
  if (m_process->processId() <= 0) return;  // starting
  const std::optional<ProcessStat> stat =
      ReadProcessStat(static_cast<pid_t>(m_process->processId()));
  const qint64 ticks = stat ? stat->ticks : -1;
  if (ticks == m_cpuTicks && m_process->bytesToWrite() == 0) {
    ++m_stillLooks;
  } else {
    m_cpuTicks = ticks;
    m_stillLooks = 0;
  }
  const std::chrono::milliseconds watched(m_watching.elapsed());
  if (m_stillLooks < kStillLooks && watched < kWatchLimit) return;
  m_watch->stop();
  m_contentsBuilt = true;
  if (m_syncOwed) {
    m_syncOwed = false;
    Write(help_protocol::SyncCommand());
  }
}

void HelpViewer::ResendLostRequest() {
  if (m_request.isEmpty() || m_resent) return;
  m_resent = true;
  // Not from inside the signal of the viewer that is being replaced, and not once the player
  // has asked for something else.
  QMetaObject::invokeMethod(
      m_reporter.get(),
      [this, collection = m_collection, request = m_request, serial = m_requests] {
        if (serial == m_requests) Send(collection, request);
      },
      Qt::QueuedConnection);
}

void HelpViewer::OnError(QProcess::ProcessError error) {
  // Every end, a crash or a lost pipe's included, comes through finished(); only a start that
  // never happened is reported here.
  if (error == QProcess::FailedToStart) {
    m_started.invalidate();
    m_request.clear();
    Report({HelpFailure::Kind::kNotStarted, m_program});
  } else if (error == QProcess::WriteError && m_requestUnwritten) {
    // Only the request's own write counts: the selection that follows it may find a viewer the
    // player has just closed.
    m_lost = true;
  }
}

void HelpViewer::OnFinished(int exitCode, QProcess::ExitStatus status) {
  const bool early =
      m_started.isValid() && std::chrono::milliseconds(m_started.elapsed()) < m_earlyExitWindow;
  m_started.invalidate();
  m_watch->stop();
  if (early && (status == QProcess::CrashExit || exitCode != 0)) {
    m_request.clear();
    // Why it failed goes where the game's own diagnostics go.
    const QByteArray told = LastLines(m_output, kLinesTold);
    std::fwrite(told.constData(), 1, static_cast<size_t>(told.size()), stderr);
    Report(
        {HelpFailure::Kind::kEndedWithError, m_program, status == QProcess::CrashExit, exitCode});
    return;
  }
  // A viewer that ended with the request in hand was closed by the player, however soon after
  // it showed: it comes back only on the player's next request.
  if (m_lost) ResendLostRequest();
}

void HelpViewer::Report(const HelpFailure& failure) {
  QMetaObject::invokeMethod(
      m_reporter.get(), [this, failure] { m_report(failure); }, Qt::QueuedConnection);
}

void HelpViewer::Close() {
  m_started.invalidate();
  m_watch->stop();
  m_contentsBuilt = false;
  m_syncOwed = false;
  m_requestUnwritten = false;
  m_lost = false;
  m_output.clear();
  if (!m_process) {
    return;
  }
  // An end the game asks for is no failure of the viewer.
  m_process->disconnect();
  if (m_process->state() != QProcess::NotRunning) {
    m_process->closeWriteChannel();
    m_process->terminate();
    if (!m_process->waitForFinished(static_cast<int>(kCloseGrace.count()))) {
      m_process->kill();
      m_process->waitForFinished(static_cast<int>(kCloseGrace.count()));
    }
  }
  m_process.reset();
  m_collection.clear();
}

}  // namespace kelvor
