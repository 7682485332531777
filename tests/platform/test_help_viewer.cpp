// The help viewer's requests, sent to a stand-in for Assistant that records its command line and
// every remote-control line it receives, and the failures of the requests it cannot show.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include "platform/child_process.h"
#include "platform/help_viewer.h"
#include "platform/start_watch.h"
#include "tests/child_processes.h"

using kelvor::HelpViewer;
namespace help_protocol = kelvor::help_protocol;

namespace {

// A failure the viewer reports, as the tests compare it: its kind, its path and, for a viewer
// that ended, how. The player's words for it are the program's, tested with it.
QString Described(const kelvor::HelpFailure& failure) {
  using Kind = kelvor::HelpFailure::Kind;
  switch (failure.kind) {
    case Kind::kMissingFile:
      return QStringLiteral("missing file: ") + failure.path;
    case Kind::kNotStarted:
      return QStringLiteral("not started: ") + failure.path;
    case Kind::kEndedWithError:
      break;
  }
  return QStringLiteral("ended, %1: %2")
      .arg(failure.crashed ? QStringLiteral("crashed")
                           : QStringLiteral("exit status %1").arg(failure.exitCode),
           failure.path);
}

// One line of the stand-in's log: "start <pid> <arguments>", "command <pid> <line>".
struct LogLine {
  QString kind;
  qint64 pid = 0;
  QString text;
};

}  // namespace

class HelpViewerTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();

  void requestStartsViewerWithTheHelpFile_data();
  void requestStartsViewerWithTheHelpFile();
  void requestNamesThePageInThePlayersLanguage_data();
  void requestNamesThePageInThePlayersLanguage();
  void secondRequestReusesTheRunningViewer();
  void closedViewerIsStartedAgain_data();
  void closedViewerIsStartedAgain();
  void closedViewerStaysClosed_data();
  void closedViewerStaysClosed();
  void missingLanguageFallsBackToEnglish_data();
  void missingLanguageFallsBackToEnglish();
  void otherHelpFileReplacesTheViewer();
  void closeEndsTheViewer();
  void viewerGetsOnlyTheStandardDescriptors();
  void viewerGetsTheServicesTheGameKept();
  void inheritedDescriptorsReachNoProgramALibraryStarts();
  void viewerEndsWithAGameThatEndsDuringItsStart();
  void missingViewerProgramIsReportedAtEachRequest();
  void missingHelpFileIsReportedBeforeAnyViewerStarts();
  void failedRequestSaysWhy_data();
  void failedRequestSaysWhy();
  void defaultViewerIsInstalledAssistant();

 private:
  // An (empty) help file at `name` inside the test folder: the stand-ins never read it.
  QString helpFile(const QString& name) const;
  QList<LogLine> log() const;
  QList<LogLine> linesOf(const QString& kind) const;
  // The lines of commands the stand-ins were given: requests, and the contents' selection once
  // a new viewer has settled.
  QStringList commandsOf(qint64 pid) const;
  static bool isAlive(qint64 pid) { return pid > 0 && kill(static_cast<pid_t>(pid), 0) == 0; }
  static bool noViewerRuns() {
    return ChildProcesses(QCoreApplication::applicationPid()).isEmpty();
  }
  // Where the viewers under test report their failures: written down, not shown.
  kelvor::ReportHelpFailure recorder() {
    return [this](const kelvor::HelpFailure& failure) { m_failures.append(Described(failure)); };
  }

  QTemporaryDir m_dir;
  QString m_fakeViewer;
  QString m_logPath;
  QStringList m_failures;
  int m_inherited = -1;  // a descriptor open without close-on-exec since before start-up
};

namespace {

qulonglong IgnoredSignals() {
  QFile file(QStringLiteral("/proc/self/status"));
  const QByteArray status = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  const qsizetype at = status.indexOf("SigIgn:\t");
  return at < 0 ? ~0ULL : status.mid(at + 8, 16).toULongLong(nullptr, 16);
}

// The signals this process was started with ignored (SIGHUP, as ctest runs it under nohup), read
// before main: Qt Test gives SIGHUP a handler of its own.
const qulonglong kIgnoredAtStart = IgnoredSignals();

}  // namespace

void HelpViewerTest::initTestCase() {
  // The player's desktop services, as the game meets them; and, run once more as the start made
  // again after a stall (test_help_viewer_after_a_stall), the game sets them aside as it does.
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/run/player/bus");
  qputenv("AT_SPI_BUS_ADDRESS", "unix:path=/run/player/a11y");
  qputenv("QT_IM_MODULE", "ibus");
  qunsetenv("NO_AT_BRIDGE");
  if (qEnvironmentVariableIsSet("KELVOR_STARTED_AGAIN")) kelvor::start_watch::Begin(nullptr);
  // As the game's parent may leave one, and as the game deals with it first thing.
  m_inherited = ::open("/dev/null", O_RDONLY);
  QVERIFY(m_inherited > 2);
  kelvor::child_process::MarkInheritedDescriptorsCloseOnExec();
  QVERIFY(m_dir.isValid());
  m_fakeViewer = m_dir.filePath(QStringLiteral("assistant"));
  m_logPath = m_dir.filePath(QStringLiteral("viewer.log"));
  QFile script(m_fakeViewer);
  QVERIFY(script.open(QIODevice::WriteOnly));
  script.write(
      "#!/bin/sh\n"
      "log=\"$(dirname \"$0\")/viewer.log\"\n"
      "echo \"start $$ $*\" >> \"$log\"\n"
      "echo \"fds $$ $(ls /proc/self/fd | tr '\\n' ' ')\" >> \"$log\"\n"
      "echo \"ignored $$ $(sed -n 's/^SigIgn:\\t//p' /proc/self/status)\" >> \"$log\"\n"
      "echo \"outputs $$ $(readlink /proc/$$/fd/1) $(readlink /proc/$$/fd/2)\" >> \"$log\"\n"
      "echo \"services $$ ${DBUS_SESSION_BUS_ADDRESS-unset} ${AT_SPI_BUS_ADDRESS-unset}"
      " ${NO_AT_BRIDGE-unset} ${QT_IM_MODULE-unset}\" >> \"$log\"\n"
      "echo 'the viewer talks'; echo 'and warns' >&2\n"
      "while IFS= read -r line; do echo \"command $$ $line\" >> \"$log\"; done\n");
  script.close();
  QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void HelpViewerTest::init() {
  QFile::remove(m_logPath);
  m_failures.clear();
}

QString HelpViewerTest::helpFile(const QString& name) const {
  const QString path = m_dir.filePath(name);
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  if (!file.exists() && file.open(QIODevice::WriteOnly)) {
    file.close();
  }
  return path;
}

QList<LogLine> HelpViewerTest::log() const {
  QList<LogLine> lines;
  QFile file(m_logPath);
  if (!file.open(QIODevice::ReadOnly)) {
    return lines;
  }
  for (const QByteArray& raw : file.readAll().split('\n')) {
    if (raw.isEmpty()) {
      continue;
    }
    const QString line = QString::fromLocal8Bit(raw);
    const QStringList parts = line.split(QLatin1Char(' '));
    LogLine entry;
    entry.kind = parts.value(0);
    entry.pid = parts.value(1).toLongLong();
    entry.text = line.section(QLatin1Char(' '), 2);
    lines.append(entry);
  }
  return lines;
}

QList<LogLine> HelpViewerTest::linesOf(const QString& kind) const {
  QList<LogLine> lines;
  for (const LogLine& line : log()) {
    if (line.kind == kind) {
      lines.append(line);
    }
  }
  return lines;
}

QStringList HelpViewerTest::commandsOf(qint64 pid) const {
  QStringList commands;
  for (const LogLine& line : linesOf(QStringLiteral("command"))) {
    if (line.pid == pid) commands.append(line.text);
  }
  return commands;
}

// The panes come first in every request: the viewer shows the contents and the page alone.
void HelpViewerTest::requestStartsViewerWithTheHelpFile_data() {
  QTest::addColumn<int>("topic");  // 0: the contents
  QTest::addColumn<QString>("command");
  const QString panes = QStringLiteral("hide bookmarks;hide index;hide search;show contents;");
  const QString contents =
      QStringLiteral("setSource qthelp://example.tandrel.kelvor/help/index.html");
  QTest::newRow("contents") << 0 << panes + contents;
  QTest::newRow("menu item 8") << 8 << panes + "activateIdentifier kelvor.8";
  QTest::newRow("About OK 15") << 15 << panes + "activateIdentifier kelvor.15";
  QTest::newRow("fuel bar 27") << 27 << panes + "activateIdentifier kelvor.27";
}

void HelpViewerTest::requestStartsViewerWithTheHelpFile() {
  QFETCH(int, topic);
  QFETCH(QString, command);
  const QString file = helpFile(QStringLiteral("app/Kelvor.hlp"));
  HelpViewer viewer(recorder(), m_fakeViewer);
  if (topic == 0) {
    viewer.ShowContents(file);
  } else {
    viewer.ShowTopic(file, topic);
  }
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  const QList<LogLine> starts = linesOf(QStringLiteral("start"));
  QCOMPARE(starts.size(), 1);
  QCOMPARE(starts.first().text,
           QStringLiteral("-collectionFile %1 -enableRemoteControl").arg(file));
  // The request in the desktop's language, which is English here word for word.
  const QStringList english{QStringLiteral("en")};
  if (topic == 0) {
    QCOMPARE(linesOf(QStringLiteral("command")).first().text, help_protocol::ContentsCommand());
    QCOMPARE(help_protocol::ContentsCommand(english), command);
  } else {
    QCOMPARE(linesOf(QStringLiteral("command")).first().text, help_protocol::TopicCommand(topic));
    QCOMPARE(help_protocol::TopicCommand(topic, english), command);
  }
  // A viewer just started is still building its contents: the page is selected in them once it
  // has settled, in a line of its own, and not before.
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 2);
  QCOMPARE(linesOf(QStringLiteral("command")).at(1).text, QStringLiteral("syncContents"));
  QVERIFY(m_failures.isEmpty());
}

// The player's languages, most wanted first, as the desktop gives them; the first one the help is
// written in decides, English when there is none.
void HelpViewerTest::requestNamesThePageInThePlayersLanguage_data() {
  QTest::addColumn<QStringList>("uiLanguages");
  QTest::addColumn<int>("topic");  // 0: the contents
  QTest::addColumn<QString>("page");
  QTest::addColumn<QString>("collection");  // handed to the viewer for /opt/game/Kelvor.hlp
  const QString english = QStringLiteral("qthelp://example.tandrel.kelvor/help/index.html");
  const QString german = QStringLiteral("qthelp://example.tandrel.kelvor.de/help/index.html");
  const QString englishFile = QStringLiteral("/opt/game/Kelvor.hlp");
  const QString germanFile = QStringLiteral("/opt/game/Kelvor_de.hlp");
  QTest::newRow("C locale") << QStringList{"C"} << 0 << english << englishFile;
  QTest::newRow("no languages") << QStringList{} << 0 << english << englishFile;
  QTest::newRow("American English") << QStringList{"en-US", "en"} << 0 << english << englishFile;
  QTest::newRow("German, LANGUAGE=de LANG=de_DE.UTF-8")
      << QStringList{"de", "de-DE"} << 0 << german << germanFile;
  QTest::newRow("Austrian German") << QStringList{"de-AT"} << 0 << german << germanFile;
  QTest::newRow("Swiss German, topic")
      << QStringList{"de-CH"} << 18 << "kelvor.de.18" << germanFile;
  QTest::newRow("German, fuel bar") << QStringList{"de-DE"} << 27 << "kelvor.de.27" << germanFile;
  QTest::newRow("French, then German")
      << QStringList{"fr-FR", "fr", "de"} << 0 << german << germanFile;
  QTest::newRow("French, then English, then German")
      << QStringList{"fr", "en-GB", "de"} << 9 << "kelvor.9" << englishFile;
  QTest::newRow("French alone, topic") << QStringList{"fr-FR"} << 22 << "kelvor.22" << englishFile;
  QTest::newRow("English before German")
      << QStringList{"en-GB", "de-DE"} << 0 << english << englishFile;
}

void HelpViewerTest::requestNamesThePageInThePlayersLanguage() {
  QFETCH(QStringList, uiLanguages);
  QFETCH(int, topic);
  QFETCH(QString, page);
  QFETCH(QString, collection);
  const QString panes = QStringLiteral("hide bookmarks;hide index;hide search;show contents;");
  if (topic == 0) {
    QCOMPARE(help_protocol::ContentsCommand(uiLanguages),
             panes + QStringLiteral("setSource %1").arg(page));
  } else {
    QCOMPARE(help_protocol::TopicCommand(topic, uiLanguages),
             panes + QStringLiteral("activateIdentifier %1").arg(page));
  }
  QCOMPARE(help_protocol::CollectionFile(QStringLiteral("/opt/game/Kelvor.hlp"), uiLanguages),
           collection);
}

void HelpViewerTest::secondRequestReusesTheRunningViewer() {
  const QString file = helpFile(QStringLiteral("Kelvor.hlp"));
  HelpViewer viewer(recorder(), m_fakeViewer);
  viewer.ShowContents(file);
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 2);  // the request, then the selection
  viewer.ShowTopic(file, 21);
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 3);

  const QList<LogLine> starts = linesOf(QStringLiteral("start"));
  QCOMPARE(starts.size(), 1);
  QCOMPARE(linesOf(QStringLiteral("command")).size(), commandsOf(starts.first().pid).size());
  // A settled viewer has its contents: the page is selected in them in the same line.
  QCOMPARE(commandsOf(starts.first().pid).at(2), help_protocol::TopicCommand(21) + ";syncContents");
}

void HelpViewerTest::viewerGetsOnlyTheStandardDescriptors() {
  // As alsa-lib leaves the sound device: open across exec. And as the game runs: with SIGPIPE
  // ignored.
  const int leaked = ::open("/dev/null", O_RDONLY);
  QVERIFY(leaked > 2);
  const auto previous = std::signal(SIGPIPE, SIG_IGN);
  HelpViewer viewer(recorder(), m_fakeViewer);
  viewer.ShowContents(helpFile(QStringLiteral("Kelvor.hlp")));
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  ::close(leaked);
  std::signal(SIGPIPE, previous);
  // What `ls /proc/self/fd` sees in the viewer: the three standard ones and its own listing.
  QCOMPARE(linesOf(QStringLiteral("fds")).value(0).text, QStringLiteral("0 1 2 3 "));
  // The viewer handles SIGPIPE as the game was started to, and keeps ignoring what the game
  // was started ignoring: under nohup, a hang-up ends neither.
  const qulonglong ignored =
      linesOf(QStringLiteral("ignored")).value(0).text.toULongLong(nullptr, 16);
  QCOMPARE(ignored, kIgnoredAtStart);
  // Its output and messages go to one pipe that the game reads, not to the game's terminal.
  const QStringList outputs = linesOf(QStringLiteral("outputs")).value(0).text.split(' ');
  QCOMPARE(outputs.size(), 2);
  QVERIFY2(outputs.at(0).startsWith(QLatin1String("pipe:")), qPrintable(outputs.at(0)));
  QCOMPARE(outputs.at(1), outputs.at(0));
  QVERIFY(outputs.at(0) != QFile::symLinkTarget(QStringLiteral("/proc/self/fd/1")));
  QVERIFY(outputs.at(0) != QFile::symLinkTarget(QStringLiteral("/proc/self/fd/2")));
}

// The viewer is a Qt program that would wait on a silent session bus or screen-reader service
// just as the game's start did: when the game had to start again without them, so does the
// viewer. Otherwise it gets the player's environment; the game's own input method setting is
// never handed on.
void HelpViewerTest::viewerGetsTheServicesTheGameKept() {
  const QString player = QStringLiteral("unix:path=/run/player/bus unix:path=/run/player/a11y ");
  QVERIFY(qgetenv("DBUS_SESSION_BUS_ADDRESS") ==
          (kelvor::start_watch::ServicesSetAside() ? "disabled:" : "unix:path=/run/player/bus"));
  kelvor::child_process::SetForGameOnly("QT_IM_MODULE", "none");
  HelpViewer viewer(recorder(), m_fakeViewer);
  viewer.ShowContents(helpFile(QStringLiteral("Kelvor.hlp")));
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  QCOMPARE(linesOf(QStringLiteral("services")).value(0).text,
           kelvor::start_watch::ServicesSetAside() ? QStringLiteral("disabled: unset 1 ibus")
                                                   : player + QStringLiteral("unset ibus"));
}

// alsa-lib's pipe plugin starts its program with popen, which passes on every descriptor that
// is not close-on-exec; what the game's parent left open must not be among them.
void HelpViewerTest::inheritedDescriptorsReachNoProgramALibraryStarts() {
  std::FILE* program = ::popen("ls /proc/self/fd | tr '\\n' ' '", "r");
  QVERIFY(program != nullptr);
  char listed[256] = {};
  const std::size_t got = std::fread(listed, 1, sizeof listed - 1, program);
  ::pclose(program);
  // ls's standard ones and its own listing.
  QCOMPARE(QByteArray(listed, static_cast<qsizetype>(got)), QByteArray("0 1 2 3 "));
}

// A game that ends during the viewer's start, after the fork of the viewer's process and before
// that process asks to end with the game. The test traces the game (EndWhileTheViewerStarts
// below), so that the viewer's process stops at its birth, before its first instruction; kills
// the game; and only then lets that process go on. A viewer started all the same would stay (this
// one for a minute) with nobody to end it.
void HelpViewerTest::viewerEndsWithAGameThatEndsDuringItsStart() {
  const QString lingering = m_dir.filePath(QStringLiteral("lingering-viewer"));
  QFile script(lingering);
  QVERIFY(script.open(QIODevice::WriteOnly));
  script.write("#!/bin/sh\nexec sleep 60\n");
  script.close();
  QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
  QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
  QByteArray mode = "--end-while-the-viewer-starts";
  QByteArray program = QFile::encodeName(lingering);
  QByteArray help = QFile::encodeName(helpFile(QStringLiteral("Kelvor.hlp")));
  char* const argv[] = {self.data(), mode.data(), program.data(), help.data(), nullptr};
  // The game's orphans come to this process rather than to init, to be collected here.
  QCOMPARE(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  const auto noLongerReaper = qScopeGuard([] { ::prctl(PR_SET_CHILD_SUBREAPER, 0); });

  const pid_t game = ::fork();
  if (game == 0) {
    if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(126);
    ::execv(argv[0], argv);  // stops at once, for the test to set the tracing up
    ::_exit(127);
  }
  QVERIFY(game > 0);
  int status = 0;
  QCOMPARE(::waitpid(game, &status, 0), game);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 126) QSKIP("tracing is not allowed here");
  QVERIFY(WIFSTOPPED(status));
  ::ptrace(PTRACE_SETOPTIONS, game, nullptr, PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK);
  ::ptrace(PTRACE_CONT, game, nullptr, nullptr);
  // Every other stop of the game is a signal, passed on.
  pid_t viewer = 0;
  while (viewer == 0 && ::waitpid(game, &status, 0) == game && WIFSTOPPED(status)) {
    const int event = status >> 16;
    unsigned long born = 0;
    if (event == PTRACE_EVENT_FORK || event == PTRACE_EVENT_VFORK) {
      ::ptrace(PTRACE_GETEVENTMSG, game, nullptr, &born);
      viewer = static_cast<pid_t>(born);
    } else {
      const long passed = event == 0 ? WSTOPSIG(status) : 0;
      ::ptrace(PTRACE_CONT, game, nullptr, reinterpret_cast<void*>(passed));
    }
  }
  ::kill(game, SIGKILL);
  while (::waitpid(game, &status, 0) == game && !WIFEXITED(status) && !WIFSIGNALED(status)) {
  }
  QVERIFY2(viewer > 0, "the game started no viewer");
  QCOMPARE(::waitpid(viewer, &status, __WALL), viewer);  // its stop at birth
  QCOMPARE(::ptrace(PTRACE_DETACH, viewer, nullptr, nullptr), 0L);

  QElapsedTimer waited;
  waited.start();
  pid_t ended = 0;
  while ((ended = ::waitpid(viewer, &status, WNOHANG)) == 0 && waited.elapsed() < 3000) {
    QTest::qWait(50);
  }
  if (ended == 0) {
    ::kill(viewer, SIGKILL);
    ::waitpid(viewer, &status, 0);
  }
  QVERIFY2(ended == viewer, "the viewer outlived the game");
}

// The user closes the help window, and the game asks for a topic: after the game has seen the
// viewer end, or before, when the request goes to a viewer that is ending, or has ended, and
// that can no longer take it.
void HelpViewerTest::closedViewerIsStartedAgain_data() {
  QTest::addColumn<bool>("endSeen");
  QTest::newRow("end seen by the game") << true;
  QTest::newRow("end not yet seen by the game") << false;
}

void HelpViewerTest::closedViewerIsStartedAgain() {
  QFETCH(bool, endSeen);
  const QString file = helpFile(QStringLiteral("Kelvor.hlp"));
  // No early-exit window: the user closes the viewer long after its start.
  HelpViewer viewer(recorder(), m_fakeViewer, std::chrono::milliseconds(0));
  viewer.ShowTopic(file, 9);
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 2);  // settled
  const qint64 first = linesOf(QStringLiteral("start")).first().pid;

  // The user closes the help window.
  QCOMPARE(kill(static_cast<pid_t>(first), SIGTERM), 0);
  if (endSeen) {
    QTRY_VERIFY(!isAlive(first));  // its end collected, and so known to the viewer's owner
  } else {
    // Ended, without the event loop having run since: the game still thinks it runs.
    QElapsedTimer waited;
    waited.start();
    while (StatusOf(first).state != 0 && StatusOf(first).state != 'Z' && waited.elapsed() < 5000) {
      QTest::qSleep(10);
    }
  }

  viewer.ShowTopic(file, 10);
  QTRY_COMPARE(linesOf(QStringLiteral("start")).size(), 2);
  const qint64 second = linesOf(QStringLiteral("start")).at(1).pid;
  QVERIFY(second != first);
  QTRY_VERIFY(!commandsOf(second).isEmpty());
  QCOMPARE(commandsOf(second).first(), help_protocol::TopicCommand(10));
  QVERIFY(m_failures.isEmpty());
}

// The player closes the help window soon after it showed, before the game has seen the viewer
// settle: the request was taken, so nothing may bring the window back by itself.
void HelpViewerTest::closedViewerStaysClosed_data() {
  QTest::addColumn<int>("requests");  // before the player closes the window
  QTest::addColumn<int>("closeAfterMs");
  QTest::newRow("fresh viewer closed at once") << 1 << 0;
  QTest::newRow("fresh viewer closed within 0.3 s") << 1 << 300;
  QTest::newRow("settled viewer closed within 0.3 s of a second request") << 2 << 300;
}

void HelpViewerTest::closedViewerStaysClosed() {
  QFETCH(int, requests);
  QFETCH(int, closeAfterMs);
  const QString file = helpFile(QStringLiteral("Kelvor.hlp"));
  HelpViewer viewer(recorder(), m_fakeViewer, std::chrono::milliseconds(0));
  viewer.ShowContents(file);
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  const qint64 first = linesOf(QStringLiteral("start")).first().pid;
  if (requests == 2) {
    QTRY_COMPARE(commandsOf(first).size(), 2);  // settled: the contents were selected
    viewer.ShowTopic(file, 9);
    QTRY_COMPARE(commandsOf(first).size(), 3);
  }
  QTest::qWait(closeAfterMs);
  QCOMPARE(kill(static_cast<pid_t>(first), SIGTERM), 0);
  QTRY_VERIFY(!isAlive(first));
  // How long a lost request took at most to come back: the absence over this time is the check.
  QTest::qWait(3000);
  QCOMPARE(linesOf(QStringLiteral("start")).size(), 1);

  // The player's next request opens the help again.
  viewer.ShowTopic(file, 10);
  QTRY_COMPARE(linesOf(QStringLiteral("start")).size(), 2);
  QVERIFY(m_failures.isEmpty());
}

// A German desktop whose German help is missing gets the English help: its collection together
// with its namespace and page names. The desktop's languages are the game's process's own, so
// each row runs a game of its own, with LANGUAGE=de.
void HelpViewerTest::missingLanguageFallsBackToEnglish_data() {
  QTest::addColumn<QString>("present");  // the collections in the game's folder
  QTest::addColumn<QString>("collection");
  QTest::addColumn<QString>("page");  // empty: no viewer, but `failure`
  QTest::addColumn<QString>("failure");
  QTest::newRow("German help there") << "Kelvor.hlp Kelvor_de.hlp"
                                     << "Kelvor_de.hlp"
                                     << "kelvor.de.18" << QString();
  QTest::newRow("German help missing") << "Kelvor.hlp"
                                       << "Kelvor.hlp"
                                       << "kelvor.18" << QString();
  QTest::newRow("German help a folder") << "Kelvor.hlp Kelvor_de.hlp/"
                                        << "Kelvor.hlp"
                                        << "kelvor.18" << QString();
  QTest::newRow("both missing") << ""
                                << "" << QString() << "missing file: %1/Kelvor.hlp";
}

void HelpViewerTest::missingLanguageFallsBackToEnglish() {
  QFETCH(QString, present);
  QFETCH(QString, collection);
  QFETCH(QString, page);
  QFETCH(QString, failure);
  const QString folder = m_dir.filePath(QStringLiteral("language-%1").arg(QTest::currentDataTag()));
  QVERIFY(QDir().mkpath(folder));
  for (const QString& name : present.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
    if (name.endsWith(QLatin1Char('/'))) {
      QVERIFY(QDir().mkpath(folder + QLatin1Char('/') + name));
    } else {
      helpFile(QFileInfo(folder).fileName() + QLatin1Char('/') + name);
    }
  }
  QProcess game;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("LANGUAGE"), QStringLiteral("de"));
  environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
  game.setProcessEnvironment(environment);
  game.start(
      QCoreApplication::applicationFilePath(),
      {QStringLiteral("--show-topic-18"), m_fakeViewer, folder + QStringLiteral("/Kelvor.hlp")});
  const auto end = qScopeGuard([&game] {
    game.kill();
    game.waitForFinished();
  });
  QVERIFY(game.waitForStarted());
  if (page.isEmpty()) {
    QVERIFY(game.waitForFinished(10000));
    QCOMPARE(QString::fromLocal8Bit(game.readAllStandardOutput()).trimmed(), failure.arg(folder));
    QVERIFY(linesOf(QStringLiteral("start")).isEmpty());
    return;
  }
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  QCOMPARE(linesOf(QStringLiteral("start")).first().text,
           QStringLiteral("-collectionFile %1/%2 -enableRemoteControl").arg(folder, collection));
  QVERIFY2(linesOf(QStringLiteral("command"))
               .first()
               .text.endsWith(QStringLiteral("activateIdentifier ") + page),
           qPrintable(linesOf(QStringLiteral("command")).first().text));
}

void HelpViewerTest::otherHelpFileReplacesTheViewer() {
  HelpViewer viewer(recorder(), m_fakeViewer);
  viewer.ShowContents(helpFile(QStringLiteral("one/Kelvor.hlp")));
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  const qint64 first = linesOf(QStringLiteral("start")).first().pid;

  viewer.ShowContents(helpFile(QStringLiteral("two/Kelvor.hlp")));
  QTRY_COMPARE(linesOf(QStringLiteral("start")).size(), 2);
  const QList<LogLine> starts = linesOf(QStringLiteral("start"));
  QVERIFY(starts.at(1).text.contains(QStringLiteral("two/Kelvor.hlp")));
  QTRY_VERIFY(!commandsOf(starts.at(1).pid).isEmpty());
  // Still one viewer per game; the game ending the first one is no failure.
  QTRY_VERIFY(!isAlive(first));
  QCoreApplication::processEvents();
  QVERIFY(m_failures.isEmpty());
}

void HelpViewerTest::closeEndsTheViewer() {
  HelpViewer viewer(recorder(), m_fakeViewer);
  viewer.ShowContents(helpFile(QStringLiteral("Kelvor.hlp")));
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  const qint64 pid = linesOf(QStringLiteral("start")).first().pid;
  QVERIFY(isAlive(pid));
  viewer.Close();
  QVERIFY(!isAlive(pid));
  QCoreApplication::processEvents();
  QVERIFY(m_failures.isEmpty());
}

void HelpViewerTest::missingViewerProgramIsReportedAtEachRequest() {
  const QString program = m_dir.filePath(QStringLiteral("no-such-viewer"));
  const QString expected = QStringLiteral("not started: ") + program;
  HelpViewer viewer(recorder(), program);
  viewer.ShowContents(helpFile(QStringLiteral("Kelvor.hlp")));
  QTRY_COMPARE(m_failures, QStringList{expected});
  QVERIFY(noViewerRuns());
  // A later request tries again, and says so again.
  viewer.ShowTopic(helpFile(QStringLiteral("Kelvor.hlp")), 8);
  QTRY_COMPARE(m_failures, (QStringList{expected, expected}));
}

void HelpViewerTest::missingHelpFileIsReportedBeforeAnyViewerStarts() {
  // The real viewer's program: it is never started, so no display is needed.
  const QString file = m_dir.filePath(QStringLiteral("missing/Kelvor.hlp"));
  HelpViewer viewer(recorder());
  viewer.ShowContents(file);
  QCOMPARE(m_failures, QStringList{QStringLiteral("missing file: ") + file});
  QVERIFY(noViewerRuns());
}

// Each row starts a new viewer on one stand-in and one help file; "%1" in the failure is the
// stand-in's path, "%2" the help file's. An empty failure: none may be reported.
void HelpViewerTest::failedRequestSaysWhy_data() {
  QTest::addColumn<QString>("viewer");  // the stand-in's script, "missing" or "not executable"
  QTest::addColumn<QString>("file");    // "file", "missing", "folder" or "no permission"
  QTest::addColumn<int>("windowMs");
  QTest::addColumn<QString>("failure");
  QTest::addColumn<QString>("told");  // what reaches the game's standard error
  const QString logging = QStringLiteral("logging");
  const QString cannotStart = QStringLiteral("not started: %1");
  const QString unreadable = QStringLiteral("missing file: %2");
  const QString ended = QStringLiteral("ended, %3: %1");
  QTest::newRow("viewer missing") << "missing"
                                  << "file" << 5000 << cannotStart << QString();
  QTest::newRow("viewer not executable") << "not executable"
                                         << "file" << 5000 << cannotStart << QString();
  QTest::newRow("help file missing") << logging << "missing" << 5000 << unreadable << QString();
  QTest::newRow("folder in place of the help file")
      << logging << "folder" << 5000 << unreadable << QString();
  QTest::newRow("help file without permission")
      << logging << "no permission" << 5000 << unreadable << QString();
  QTest::newRow("viewer ends at once with 1")
      << "exit 1"
      << "file" << 5000 << QString(ended).replace(QStringLiteral("%3"), "exit status 1")
      << QString();
  QTest::newRow("viewer crashes at once")
      << "kill -SEGV $$"
      << "file" << 5000 << QString(ended).replace(QStringLiteral("%3"), "crashed") << QString();
  // Assistant's harmless warnings fill the kept output; only its last lines say why it ended.
  QTest::newRow("viewer warns all along, then fails")
      << "i=0; while [ $i -lt 200 ]; do echo 'Initial page set to 1, maximum possible value is "
         "0'; i=$((i+1)); done; echo 'cannot read the collection' >&2; echo 'no display' >&2; "
         "exit 1"
      << "file" << 5000 << QString(ended).replace(QStringLiteral("%3"), "exit status 1")
      << "Initial page set to 1, maximum possible value is 0\ncannot read the collection\n"
         "no display\n";
  QTest::newRow("viewer ends at once with 0") << "echo 'a warning'; exit 0"
                                              << "file" << 5000 << QString() << QString();
  QTest::newRow("viewer keeps running") << logging << "file" << 5000 << QString() << QString();
  QTest::newRow("viewer ends with 1 after the first seconds")
      << "echo 'a warning'; read line; exit 1"
      << "file" << 0 << QString() << QString();
}

void HelpViewerTest::failedRequestSaysWhy() {
  QFETCH(QString, viewer);
  QFETCH(QString, file);
  QFETCH(int, windowMs);
  QFETCH(QString, failure);
  QFETCH(QString, told);

  QString program = m_fakeViewer;
  if (viewer != QLatin1String("logging")) {
    program = m_dir.filePath(QStringLiteral("stand-in-%1").arg(QTest::currentDataTag()));
    if (viewer != QLatin1String("missing")) {
      QFile script(program);
      QVERIFY(script.open(QIODevice::WriteOnly));
      script.write("#!/bin/sh\n" + viewer.toLocal8Bit() + "\n");
      script.close();
      QVERIFY(script.setPermissions(viewer == QLatin1String("not executable")
                                        ? QFile::ReadOwner | QFile::WriteOwner
                                        : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
  }
  QString path = m_dir.filePath(QStringLiteral("%1/Kelvor.hlp").arg(QTest::currentDataTag()));
  if (file == QLatin1String("file")) {
    path = helpFile(QStringLiteral("%1/Kelvor.hlp").arg(QTest::currentDataTag()));
  } else if (file == QLatin1String("folder")) {
    QVERIFY(QDir().mkpath(path));
  } else if (file == QLatin1String("no permission")) {
    if (geteuid() == 0) {
      QSKIP("root reads any file");
    }
    path = helpFile(QStringLiteral("%1/Kelvor.hlp").arg(QTest::currentDataTag()));
    QVERIFY(QFile::setPermissions(path, {}));
  }

  // The game's standard error, caught in a file while the viewer runs.
  const QString errorsPath =
      m_dir.filePath(QStringLiteral("stderr-%1").arg(QTest::currentDataTag()));
  const int errors = ::open(QFile::encodeName(errorsPath).constData(),
                            O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  QVERIFY(errors >= 0);
  std::fflush(stderr);
  const int savedStderr = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  QVERIFY(savedStderr >= 0);
  ::dup2(errors, STDERR_FILENO);
  ::close(errors);
  const auto restoreStderr = [savedStderr] {
    std::fflush(stderr);
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
  };
  auto restore = qScopeGuard(restoreStderr);
  const auto toldSoFar = [&errorsPath] {
    QFile file(errorsPath);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
  };

  {
    HelpViewer helpViewer(recorder(), program, std::chrono::milliseconds(windowMs));
    helpViewer.ShowContents(path);
    if (!failure.isEmpty()) {
      failure.replace(QStringLiteral("%1"), program).replace(QStringLiteral("%2"), path);
      QTRY_COMPARE(m_failures, QStringList{failure});
      QVERIFY(noViewerRuns());
    } else {
      // Settled: the stand-in has ended, or runs and has the request.
      QTRY_VERIFY(noViewerRuns() || linesOf(QStringLiteral("command")).size() == 1);
      QCoreApplication::processEvents();  // any failure is on its way by now
      QVERIFY(m_failures.isEmpty());
    }
  }
  restore.dismiss();
  restoreStderr();
  QCOMPARE(toldSoFar(), told);
}

void HelpViewerTest::defaultViewerIsInstalledAssistant() {
  QVERIFY2(QFileInfo(help_protocol::DefaultProgram()).isExecutable(),
           qPrintable(help_protocol::DefaultProgram()));
}

namespace {

// The game of viewerEndsWithAGameThatEndsDuringItsStart: asks `viewer` for the help in
// `helpFile`, and waits to be killed (for ten seconds at most).
// The game of missingLanguageFallsBackToEnglish: asks `viewer` for topic 18 of `helpFile` in the
// desktop's languages, prints the failure it reports, if any, and waits to be killed (for ten
// seconds at most).
int ShowTopic18(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  HelpViewer viewer(
      [&app](const kelvor::HelpFailure& failure) {
        std::printf("%s\n", qPrintable(Described(failure)));
        std::fflush(stdout);
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
      },
      QString::fromLocal8Bit(argv[2]));
  viewer.ShowTopic(QString::fromLocal8Bit(argv[3]), 18);
  QTimer::singleShot(10000, &app, &QCoreApplication::quit);
  return app.exec();
}

int EndWhileTheViewerStarts(int argc, char** argv) {
  ::alarm(10);
  QCoreApplication app(argc, argv);
  HelpViewer viewer([](const kelvor::HelpFailure&) {}, QString::fromLocal8Bit(argv[2]));
  viewer.ShowContents(QString::fromLocal8Bit(argv[3]));
  ::pause();
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--end-while-the-viewer-starts") == 0) {
    return EndWhileTheViewerStarts(argc, argv);
  }
  if (argc == 4 && std::strcmp(argv[1], "--show-topic-18") == 0) return ShowTopic18(argc, argv);
  QCoreApplication app(argc, argv);
  HelpViewerTest test;
  QTEST_SET_MAIN_SOURCE_PATH
  return QTest::qExec(&test, argc, argv);
}
#include "test_help_viewer.moc"
