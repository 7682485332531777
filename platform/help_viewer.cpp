#include "platform/help_viewer.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QProcess>

#include "platform/child_process.h"
#include "shared/message_box.h"

namespace kelvor {

namespace {
// Must match the namespace and virtual folder of the help project in resources/help.
constexpr char kHelpNamespace[] = "example.tandrel.kelvor";
constexpr char kHelpFolder[] = "help";
// How long the game gives a viewer to close on its own when the game quits.
constexpr int kCloseGraceMs = 2000;
}  // namespace

HelpViewer::HelpViewer(ShowMessageFunction showMessage, QString program,
                       std::chrono::milliseconds earlyExitWindow)
    : m_showMessage(std::move(showMessage)),
      m_program(std::move(program)),
      m_earlyExitWindow(earlyExitWindow),
      m_reporter(std::make_unique<QObject>()) {}

HelpViewer::~HelpViewer() {
  m_quitHook.reset();
  Close();
}

QString HelpViewer::DefaultProgram() {
  return QLibraryInfo::path(QLibraryInfo::BinariesPath) + QStringLiteral("/assistant");
}

QStringList HelpViewer::Arguments(const QString& helpFile) {
  return {QStringLiteral("-collectionFile"), helpFile, QStringLiteral("-enableRemoteControl")};
}

namespace {
// The English help has the plain namespace and keyword identifiers; the help in every other
// language has them followed by its code ("example.tandrel.kelvor.de", "kelvor.de.18"), as its
// help project in resources/help says.
constexpr char kTopicPrefix[] = "kelvor";
constexpr char kEnglish[] = "en";
// Given by the help's build: the languages that have a folder of pages, English first.
constexpr char kHelpLanguages[] = KELVOR_HELP_LANGUAGES;

QString Qualified(const char* name, const QString& language) {
  return language == QLatin1String(kEnglish) ? QLatin1String(name)
                                             : QLatin1String(name) + QLatin1Char('.') + language;
}

// Each request opens Assistant on the contents and the page alone: its index, bookmarks and
// search take half of the window by default and are not what the player asked for.
QString PanesCommand() {
  return QStringLiteral("hide bookmarks;hide index;hide search;show contents");
}
}  // namespace

QStringList HelpViewer::Languages() {
  return QString::fromLatin1(kHelpLanguages).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

QString HelpViewer::Language(const QStringList& uiLanguages) {
  const QStringList written = Languages();
  for (const QString& name : uiLanguages) {
    const QString code = QLocale::languageToCode(QLocale(name).language());
    if (written.contains(code)) return code;
  }
  return QLatin1String(kEnglish);
}

QString HelpViewer::Namespace(const QString& language) {
  return Qualified(kHelpNamespace, language);
}

QString HelpViewer::TopicIdentifier(int topic, const QString& language) {
  return QStringLiteral("%1.%2").arg(Qualified(kTopicPrefix, language)).arg(topic);
}

QString HelpViewer::ContentsUrl(const QString& language) {
  return QStringLiteral("qthelp://%1/%2/index.html")
      .arg(Namespace(language), QLatin1String(kHelpFolder));
}

// Assistant reads one line per wake-up of its input, so each request is a single line of
// commands separated by ";"; it stops at the first command it does not know. syncContents marks
// the page shown in the contents tree.
QString HelpViewer::ContentsCommand(const QStringList& uiLanguages) {
  return QStringLiteral("%1;setSource %2;syncContents")
      .arg(PanesCommand(), ContentsUrl(Language(uiLanguages)));
}

QString HelpViewer::TopicCommand(int topic, const QStringList& uiLanguages) {
  return QStringLiteral("%1;activateIdentifier %2;syncContents")
      .arg(PanesCommand(), TopicIdentifier(topic, Language(uiLanguages)));
}

QString HelpViewer::MissingFileMessage(const QString& helpFile) {
  return QStringLiteral("The help could not be shown: the help file %1 is missing or unreadable.")
      .arg(helpFile);
}

QString HelpViewer::FailedToStartMessage(const QString& program) {
  return QStringLiteral("The help could not be shown: the help viewer %1 could not be started.")
      .arg(program);
}

QString HelpViewer::EndedWithErrorMessage(const QString& program, QProcess::ExitStatus status,
                                          int exitCode) {
  const QString why = status == QProcess::CrashExit
                          ? QStringLiteral("it crashed")
                          : QStringLiteral("exit status %1").arg(exitCode);
  return QStringLiteral("The help could not be shown: the help viewer %1 ended with an error (%2).")
      .arg(program, why);
}

void HelpViewer::ShowContents(const QString& helpFile) { Send(helpFile, ContentsCommand()); }

void HelpViewer::ShowTopic(const QString& helpFile, int topic) {
  Send(helpFile, TopicCommand(topic));
}

bool HelpViewer::IsRunning() const {
  return m_process && m_process->state() != QProcess::NotRunning;
}

bool HelpViewer::IsRunningWith(const QString& helpFile) const {
  return IsRunning() && m_helpFile == helpFile;
}

void HelpViewer::Send(const QString& helpFile, const QString& command) {
  if (!IsRunningWith(helpFile)) {
    // Assistant would only end, or show an empty window, on a collection it cannot read; the
    // player learns the reason at once instead.
    QFile file(helpFile);
    if (!QFileInfo(helpFile).isFile() || !file.open(QIODevice::ReadOnly)) {
      m_showMessage(MissingFileMessage(helpFile), kMsgCritical);
      return;
    }
    Start(helpFile);
  }
  // Written when the event loop next runs (or as soon as the viewer has started); the viewer
  // keeps early commands until its window is ready.
  m_process->write((command + QLatin1Char('\n')).toLocal8Bit());
}

void HelpViewer::Start(const QString& helpFile) {
  Close();
  m_process = std::make_unique<QProcess>();
  // The viewer's own messages are not the game's business.
  m_process->setProcessChannelMode(QProcess::ForwardedChannels);
  // The game may end at once, without running any of its own clean-up (Exit does, and so does
  // a crash); the viewer belongs to this game and is told to end with it. The kernel sends the
  // signal when the thread that started the viewer ends, and this is the window's thread. A game
  // that ended between the fork and that request is no longer the parent by then, and the
  // signal would never come: the viewer does not start at all. It gets nothing else of the
  // game's: no descriptor but its standard ones, the signals and the environment as the game
  // was started with them. The end signal is SIGKILL: a game started with SIGTERM ignored
  // passes that on, and the viewer would stay; nothing can ignore SIGKILL, and once the game
  // is gone no one is left to ask the viewer for a gentler end.
  const pid_t game = ::getpid();
  QStringList environment;
  for (const std::string& entry : ChildProcess::Environment()) {
    environment.append(QString::fromLocal8Bit(entry));
  }
  m_process->setEnvironment(environment);
  m_process->setChildProcessModifier([game] {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != game) ::_exit(127);
    ChildProcess::PrepareForExec();
  });
  m_helpFile = helpFile;
  QProcess* process = m_process.get();
  QObject::connect(process, &QProcess::errorOccurred, process,
                   [this](QProcess::ProcessError error) { OnError(error); });
  QObject::connect(
      process, &QProcess::finished, process,
      [this](int exitCode, QProcess::ExitStatus status) { OnFinished(exitCode, status); });
  m_started.start();
  m_process->start(m_program, Arguments(helpFile));

  if (!m_quitHook && QCoreApplication::instance() != nullptr) {
    m_quitHook = std::make_unique<QObject>();
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, m_quitHook.get(),
                     [this] { Close(); });
  }
}

void HelpViewer::OnError(QProcess::ProcessError error) {
  // Crashes and other ends come through finished(); only a start that never happened is left.
  if (error == QProcess::FailedToStart) {
    m_started.invalidate();
    Report(FailedToStartMessage(m_program));
  }
}

void HelpViewer::OnFinished(int exitCode, QProcess::ExitStatus status) {
  const bool early = m_started.isValid() && m_started.elapsed() < m_earlyExitWindow.count();
  m_started.invalidate();
  if (early && (status == QProcess::CrashExit || exitCode != 0)) {
    Report(EndedWithErrorMessage(m_program, status, exitCode));
  }
}

void HelpViewer::Report(const QString& text) {
  QMetaObject::invokeMethod(
      m_reporter.get(), [this, text] { m_showMessage(text, kMsgCritical); }, Qt::QueuedConnection);
}

void HelpViewer::Close() {
  m_started.invalidate();
  if (!m_process) {
    return;
  }
  // An end the game asks for is no failure of the viewer.
  m_process->disconnect();
  if (m_process->state() != QProcess::NotRunning) {
    m_process->closeWriteChannel();
    m_process->terminate();
    if (!m_process->waitForFinished(kCloseGraceMs)) {
      m_process->kill();
      m_process->waitForFinished(kCloseGraceMs);
    }
  }
  m_process.reset();
  m_helpFile.clear();
}

}  // namespace kelvor
