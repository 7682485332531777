// The watch over the start, on a program whose window thread stalls, keeps moving or ends the
// watch: a stall makes exactly one new start in the same process, with the player's signals,
// no descriptor of the first start, and the desktop services set aside; a start that moves or
// has ended its watch is never made again.
#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>
#include <csignal>

#include "platform/start_watch.h"

namespace {

struct Start {
  QString kind;
  qint64 pid = 0;
  int descriptors = -1;
  bool hangUpIgnored = false;
  bool pipeIgnored = false;
  QString bus;
  QString a11yBus;
  QString bridge;
};

QList<Start> ReadStarts(const QByteArray& output) {
  QList<Start> starts;
  for (const QByteArray& line : output.split('\n')) {
    const QList<QByteArray> field = line.split(' ');
    if (field.size() != 8) continue;
    starts.append({QString::fromLatin1(field[0]), field[1].toLongLong(), field[2].toInt(),
                   field[3] == "1", field[4] == "1", QString::fromLatin1(field[5]),
                   QString::fromLatin1(field[6]), QString::fromLatin1(field[7])});
  }
  return starts;
}

}  // namespace

class TestStartWatch : public QObject {
  Q_OBJECT

 private slots:
  void aStallStartsAgainOnceWithServicesSetAside_data() {
    QTest::addColumn<QString>("behaviour");
    QTest::addColumn<bool>("startedAgain");
    QTest::newRow("window thread stalls") << "stalls" << true;
    QTest::newRow("window thread keeps beating past the limit") << "beats" << false;
    QTest::newRow("watch ended, then a stall") << "ends" << false;
  }

  void aStallStartsAgainOnceWithServicesSetAside() {
    QFETCH(QString, behaviour);
    QFETCH(bool, startedAgain);
    QProcess subject;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/x"));
    environment.insert(QStringLiteral("AT_SPI_BUS_ADDRESS"), QStringLiteral("unix:path=/y"));
    environment.remove(QStringLiteral("NO_AT_BRIDGE"));
    subject.setProcessEnvironment(environment);
    subject.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The player's ignored hang-up (nohup) reaches both starts.
    subject.setChildProcessModifier([] { std::signal(SIGHUP, SIG_IGN); });
    QElapsedTimer clock;
    clock.start();
    subject.start(QStringLiteral(KELVOR_START_WATCH_SUBJECT), {behaviour});
    QVERIFY(subject.waitForStarted());
    const qint64 pid = subject.processId();
    QVERIFY(subject.waitForFinished(15000));
    const QList<Start> starts = ReadStarts(subject.readAllStandardOutput());

    QCOMPARE(starts.size(), startedAgain ? 2 : 1);
    const Start& first = starts.front();
    QCOMPARE(first.kind, QStringLiteral("first"));
    QCOMPARE(first.pid, pid);
    QCOMPARE(first.bus, QStringLiteral("unix:path=/x"));
    QCOMPARE(subject.exitCode(), startedAgain ? 7 : 0);
    if (!startedAgain) return;

    const Start& again = starts.back();
    QCOMPARE(again.kind, QStringLiteral("again"));
    QCOMPARE(again.pid, first.pid);
    QCOMPARE(again.descriptors, 0);  // the watch's own is gone too: no second watch
    QVERIFY(again.hangUpIgnored);
    QVERIFY(!first.pipeIgnored);
    QVERIFY(!again.pipeIgnored);  // the game's own SIGPIPE setting is not handed on
    QCOMPARE(again.bus, QStringLiteral("disabled:"));
    QCOMPARE(again.a11yBus, QStringLiteral("-"));
    QCOMPARE(again.bridge, QStringLiteral("1"));
    // The stall noticed within its limit and a little more; the second start stalls too, and
    // waits its own time out without a third start.
    const qint64 stallMs = kelvor::start_watch::kStallLimit.count();
    QVERIFY2(clock.elapsed() < stallMs + (stallMs * 2 + 500) + 2000,
             qPrintable(QString::number(clock.elapsed())));
  }

  // What the help viewer gets when the game had to start again: the player's environment but
  // for the services, whatever the player had set for them.
  void helpViewerEnvironmentHasTheServicesSetAside() {
    const std::vector<std::string> environment = kelvor::start_watch::WithServicesSetAside(
        {"HOME=/home/p", "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1/bus",
         "AT_SPI_BUS_ADDRESS=unix:path=/a11y", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1",
         "QT_ACCESSIBILITY=1", "NO_AT_BRIDGE=0", "QT_IM_MODULE=ibus"});
    const QStringList got = [&] {
      QStringList list;
      for (const std::string& entry : environment) list.append(QString::fromStdString(entry));
      list.sort();
      return list;
    }();
    QCOMPARE(got, QStringList({"DBUS_SESSION_BUS_ADDRESS=disabled:", "HOME=/home/p",
                               "NO_AT_BRIDGE=1", "QT_IM_MODULE=ibus"}));
  }
};

QTEST_GUILESS_MAIN(TestStartWatch)
#include "test_start_watch.moc"
