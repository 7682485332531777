// The help viewer's requests, sent to a stand-in for Assistant that records its command line and
// every remote-control line it receives.

#include <signal.h>

#include <QTemporaryDir>
#include <QtTest>

#include "about/help_viewer.h"
#include "shared/message_box.h"

using kelvor::HelpViewer;

namespace {

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
  void cleanup();

  void requestStartsViewerWithTheHelpFile_data();
  void requestStartsViewerWithTheHelpFile();
  void secondRequestReusesTheRunningViewer();
  void closedViewerIsStartedAgain();
  void otherHelpFileReplacesTheViewer();
  void closeEndsTheViewer();
  void missingViewerProgramIsNoErrorOfTheGame();
  void missingHelpFileIsTheViewersBusiness();
  void defaultViewerIsInstalledAssistant();

 private:
  QList<LogLine> log() const;
  QList<LogLine> linesOf(const QString& kind) const;
  static bool isAlive(qint64 pid) { return pid > 0 && kill(static_cast<pid_t>(pid), 0) == 0; }

  QTemporaryDir m_dir;
  QString m_fakeViewer;
  QString m_logPath;
  QStringList m_messages;
};

void HelpViewerTest::initTestCase() {
  QVERIFY(m_dir.isValid());
  m_fakeViewer = m_dir.filePath(QStringLiteral("assistant"));
  m_logPath = m_dir.filePath(QStringLiteral("viewer.log"));
  QFile script(m_fakeViewer);
  QVERIFY(script.open(QIODevice::WriteOnly));
  script.write(
      "#!/bin/sh\n"
      "log=\"$(dirname \"$0\")/viewer.log\"\n"
      "echo \"start $$ $*\" >> \"$log\"\n"
      "while IFS= read -r line; do echo \"command $$ $line\" >> \"$log\"; done\n");
  script.close();
  QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

void HelpViewerTest::init() {
  QFile::remove(m_logPath);
  m_messages.clear();
  kelvor::SetMessageBoxHook(
      [this](const QString& text, int, const QString&) { m_messages.append(text); });
}

void HelpViewerTest::cleanup() { kelvor::SetMessageBoxHook(nullptr); }

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

void HelpViewerTest::requestStartsViewerWithTheHelpFile_data() {
  QTest::addColumn<int>("topic");  // 0: the contents
  QTest::addColumn<QString>("command");
  QTest::newRow("contents") << 0
                            << "show contents;setSource "
                               "qthelp://example.tandrel.kelvor/help/index.html;expandToc 1;"
                               "syncContents";
  QTest::newRow("menu item 8") << 8 << "activateIdentifier kelvor.8;syncContents";
  QTest::newRow("About OK 15") << 15 << "activateIdentifier kelvor.15;syncContents";
  QTest::newRow("fuel bar 27") << 27 << "activateIdentifier kelvor.27;syncContents";
}

void HelpViewerTest::requestStartsViewerWithTheHelpFile() {
  QFETCH(int, topic);
  QFETCH(QString, command);
  const QString helpFile = m_dir.filePath(QStringLiteral("app/Kelvor.hlp"));
  HelpViewer viewer(m_fakeViewer);
  if (topic == 0) {
    viewer.ShowContents(helpFile);
  } else {
    viewer.ShowTopic(helpFile, topic);
  }
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  const QList<LogLine> starts = linesOf(QStringLiteral("start"));
  QCOMPARE(starts.size(), 1);
  QCOMPARE(starts.first().text,
           QStringLiteral("-collectionFile %1 -enableRemoteControl").arg(helpFile));
  QCOMPARE(linesOf(QStringLiteral("command")).first().text, command);
  QVERIFY(m_messages.isEmpty());
}

void HelpViewerTest::secondRequestReusesTheRunningViewer() {
  const QString helpFile = m_dir.filePath(QStringLiteral("Kelvor.hlp"));
  HelpViewer viewer(m_fakeViewer);
  viewer.ShowContents(helpFile);
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  viewer.ShowTopic(helpFile, 21);
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 2);

  const QList<LogLine> starts = linesOf(QStringLiteral("start"));
  const QList<LogLine> commands = linesOf(QStringLiteral("command"));
  QCOMPARE(starts.size(), 1);
  QCOMPARE(commands.at(0).pid, starts.first().pid);
  QCOMPARE(commands.at(1).pid, starts.first().pid);
  QVERIFY(commands.at(1).text.startsWith(QStringLiteral("activateIdentifier kelvor.21")));
}

void HelpViewerTest::closedViewerIsStartedAgain() {
  const QString helpFile = m_dir.filePath(QStringLiteral("Kelvor.hlp"));
  HelpViewer viewer(m_fakeViewer);
  viewer.ShowTopic(helpFile, 9);
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  const qint64 first = linesOf(QStringLiteral("start")).first().pid;

  // The user closes the help window.
  QCOMPARE(kill(static_cast<pid_t>(first), SIGTERM), 0);
  QTRY_VERIFY(!viewer.IsRunning());

  viewer.ShowTopic(helpFile, 10);
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 2);
  const QList<LogLine> starts = linesOf(QStringLiteral("start"));
  QCOMPARE(starts.size(), 2);
  QVERIFY(starts.at(1).pid != first);
  QCOMPARE(linesOf(QStringLiteral("command")).at(1).pid, starts.at(1).pid);
  QVERIFY(m_messages.isEmpty());
}

void HelpViewerTest::otherHelpFileReplacesTheViewer() {
  HelpViewer viewer(m_fakeViewer);
  viewer.ShowContents(m_dir.filePath(QStringLiteral("one/Kelvor.hlp")));
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  const qint64 first = linesOf(QStringLiteral("start")).first().pid;

  viewer.ShowContents(m_dir.filePath(QStringLiteral("two/Kelvor.hlp")));
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 2);
  const QList<LogLine> starts = linesOf(QStringLiteral("start"));
  QCOMPARE(starts.size(), 2);
  QVERIFY(starts.at(1).text.contains(QStringLiteral("two/Kelvor.hlp")));
  // Still one viewer per game.
  QTRY_VERIFY(!isAlive(first));
}

void HelpViewerTest::closeEndsTheViewer() {
  HelpViewer viewer(m_fakeViewer);
  viewer.ShowContents(m_dir.filePath(QStringLiteral("Kelvor.hlp")));
  QTRY_COMPARE(linesOf(QStringLiteral("command")).size(), 1);
  const qint64 pid = linesOf(QStringLiteral("start")).first().pid;
  QVERIFY(isAlive(pid));
  viewer.Close();
  QVERIFY(!viewer.IsRunning());
  QTRY_VERIFY(!isAlive(pid));
}

void HelpViewerTest::missingViewerProgramIsNoErrorOfTheGame() {
  HelpViewer viewer(m_dir.filePath(QStringLiteral("no-such-viewer")));
  viewer.ShowContents(m_dir.filePath(QStringLiteral("Kelvor.hlp")));
  QTRY_VERIFY(!viewer.IsRunning());
  // A later request tries again, and again quietly.
  viewer.ShowTopic(m_dir.filePath(QStringLiteral("Kelvor.hlp")), 8);
  QTRY_VERIFY(!viewer.IsRunning());
  QVERIFY(m_messages.isEmpty());
}

void HelpViewerTest::missingHelpFileIsTheViewersBusiness() {
  if (!QFileInfo(HelpViewer::DefaultProgram()).isExecutable()) {
    QSKIP("Qt Assistant is not installed");
  }
  // The real viewer, on the offscreen platform it inherits: it finds no file and ends.
  HelpViewer viewer;
  viewer.ShowContents(m_dir.filePath(QStringLiteral("missing/Kelvor.hlp")));
  QTRY_VERIFY_WITH_TIMEOUT(!viewer.IsRunning(), 20000);
  QVERIFY(m_messages.isEmpty());
}

void HelpViewerTest::defaultViewerIsInstalledAssistant() {
  QVERIFY2(QFileInfo(HelpViewer::DefaultProgram()).isExecutable(),
           qPrintable(HelpViewer::DefaultProgram()));
}

QTEST_GUILESS_MAIN(HelpViewerTest)
#include "test_help_viewer.moc"
