#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstring>

#include "mainwindow/frm_land.h"
#include "platform/alarm_sound.h"
#include "tests/child_processes.h"
#include "tests/fake_services.h"
#include "tests/mission_texts.h"

using kelvor::AlarmSound;

namespace {

// A whole alarm second, however the device behaves, must end well within this. The benchmark
// (bench/alarm_second_bench) gives the real length; this bound only tells "returns" from "hangs".
constexpr qint64 kAlarmSecondBoundMs = 3000;

// The bytes waiting in the pipes this process holds: what a sound device that writes into a
// program has handed it and the program has not read.
qint64 BytesWaitingInPipes() {
  qint64 total = 0;
  const QDir fds(QStringLiteral("/proc/self/fd"));
  for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
    char target[64] = {};
    if (readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target - 1) <= 0 ||
        std::strncmp(target, "pipe:", 5) != 0) {
      continue;
    }
    int waiting = 0;
    if (ioctl(fd.toInt(), FIONREAD, &waiting) == 0) total += waiting;
  }
  return total;
}

// The descriptors of this process that write into `target`, as /proc shows them: how a test
// sees that the alarm holds its sound device open. A FIFO's read end, held by the test itself,
// does not count.
int WritersInto(const QString& target) {
  const QString file = QFileInfo(target).canonicalFilePath();
  if (file.isEmpty()) return 0;
  const QDir descriptors(QStringLiteral("/proc/self/fd"));
  int count = 0;
  for (const QString& fd :
       descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
    if (QFile::symLinkTarget(descriptors.filePath(fd)) != file) continue;
    QFile info(QStringLiteral("/proc/self/fdinfo/") + fd);
    if (!info.open(QIODevice::ReadOnly)) continue;
    for (const QByteArray& line : info.readAll().split('\n')) {
      if (line.startsWith("flags:") &&
          (line.mid(6).trimmed().toInt(nullptr, 8) & O_ACCMODE) != O_RDONLY) {
        ++count;
      }
    }
  }
  return count;
}

}  // namespace

// The alarm on sound devices that play nothing, block or fail, made the default through a
// private ALSA configuration: its default device writes the samples into the file named
// "device" in a temporary HOME, through alsa-lib's own file plugin. Each row points that name at
// another file: /dev/null takes samples at once; a FIFO nobody reads makes the open block for
// ever; a FIFO whose reader never reads blocks the writes once the pipe is full; a name in a
// missing folder refuses to open. Every row makes a stuck or failed device the way a hung sound
// server or an unplugged headset does, in a process of its own (ctest runs each test file apart).
class AlarmSoundDevicesTest : public QObject {
  Q_OBJECT

  QTemporaryDir m_home;
  int m_fifoCount = 0;
  int m_reader = -1;         // the read end held open by the "stops taking samples" rows
  bool m_slowClose = false;  // this process plays on the slowly closing device only

  QString Device() const { return m_home.filePath(QStringLiteral("device")); }

  QString m_target;  // what the device's name points at

  // Points the default device at target. alsa-lib follows the name each time it opens it.
  void PointDeviceAt(const QString& target) {
    QFile::remove(Device());
    QVERIFY(QFile::link(target, Device()));
    m_target = target;
  }

  QString NewFifo() {
    const QString path = m_home.filePath(QStringLiteral("fifo%1").arg(++m_fifoCount));
    if (mkfifo(QFile::encodeName(path).constData(), 0600) != 0) qFatal("mkfifo failed");
    return path;
  }

  void PointDeviceAtKind(const QString& kind) {
    if (kind == QLatin1String("instant")) {
      PointDeviceAt(QStringLiteral("/dev/null"));
    } else if (kind == QLatin1String("never opens")) {
      PointDeviceAt(NewFifo());
    } else if (kind == QLatin1String("stops taking samples") ||
               kind == QLatin1String("goes away")) {
      const QString fifo = NewFifo();
      m_reader = open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
      QVERIFY(m_reader >= 0);
      PointDeviceAt(fifo);
    } else {
      QCOMPARE(kind, QStringLiteral("refuses"));
      PointDeviceAt(m_home.filePath(QStringLiteral("missing/device")));
    }
  }

  // The alarm pause of the free fall: beeps until a second has passed, as the flight computer
  // does it. Returns the milliseconds it took.
  static qint64 AlarmSecond(AlarmSound& alarm) {
    QElapsedTimer clock;
    clock.start();
    do {
      alarm.Beep();
    } while (clock.elapsed() < 1000);
    return clock.elapsed();
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_home.isValid());
    QFile config(m_home.filePath(QStringLiteral(".asoundrc")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    m_slowClose = qEnvironmentVariableIsSet("KELVOR_ALARM_SLOW_CLOSE");
    config.write("pcm.!default { type file slave.pcm \"null\" format \"raw\" file \"" +
                 (m_slowClose ? QByteArray("|exec sleep 3") : QFile::encodeName(Device())) +
                 "\" }\n");
    config.close();
    qputenv("HOME", QFile::encodeName(m_home.path()));  // alsa-lib reads ~/.asoundrc at first use
    qunsetenv("ALSA_CONFIG_PATH");                      // which would skip ~/.asoundrc
  }

  void cleanup() {
    if (m_reader >= 0) close(m_reader);
    m_reader = -1;
  }

  // A device whose close takes seconds: alsa-lib's file plugin writing into a program that
  // never reads, whose end the close waits for. The alarm's end must not wait for it. alsa-lib
  // reads its configuration once per process, so this runs in a process of its own
  // (KELVOR_ALARM_SLOW_CLOSE, set by the build's second run of this file).
  void endDoesNotWaitForADeviceThatClosesSlowly() {
    if (!m_slowClose) QSKIP("runs in the slow-close process");
    QElapsedTimer ending;
    {
      AlarmSound alarm;
      alarm.Beep();  // one tone: it fits into the pipe, and the device is idle again
      // The device is open once the program it writes into runs, and has taken the tone once
      // the tone is in the pipe.
      QTRY_VERIFY(!ChildProcesses(QCoreApplication::applicationPid()).isEmpty());
      QTRY_VERIFY(BytesWaitingInPipes() > 0);
      ending.start();
    }
    const qint64 ms = ending.elapsed();
    QVERIFY2(ms < 1500, qPrintable(QString::number(ms)));
  }

  void alarmSecondEndsWhateverTheDeviceDoes_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("openAfter");  // whether the device is held open after three seconds
    QTest::newRow("takes samples at once") << QStringLiteral("instant") << true;
    QTest::newRow("open blocks") << QStringLiteral("never opens") << false;
    QTest::newRow("write blocks") << QStringLiteral("stops taking samples") << true;
    QTest::newRow("reader goes away") << QStringLiteral("goes away") << false;
    QTest::newRow("refuses") << QStringLiteral("refuses") << false;
  }

  void alarmSecondEndsWhateverTheDeviceDoes() {
    if (m_slowClose) QSKIP("the slow-close process has no other device");
    QFETCH(QString, device);
    QFETCH(bool, openAfter);
    PointDeviceAtKind(device);
    const int openBefore = WritersInto(m_target);  // /dev/null may be open already
    {
      AlarmSound alarm;
      for (int second = 0; second < 3; ++second) {
        const qint64 ms = AlarmSecond(alarm);
        QVERIFY2(ms >= 1000 && ms < kAlarmSecondBoundMs, qPrintable(QString::number(ms)));
        // By now the pipe is full and the device stuck in a write. Then the reader leaves: the
        // write fails as on an unplugged device (and raises SIGPIPE), and the alarm goes silent.
        if (second == 1 && device == QLatin1String("goes away")) cleanup();
      }
      QCOMPARE(WritersInto(m_target) > openBefore, openAfter);
      // Leaving the scope destroys the alarm whose device may be stuck: that must not hang.
    }
  }

  // A whole mission on a device that never opens: the free fall goes on second by second, and
  // Stop ends it, as on a machine with working sound.
  void stopEndsFreeFallOnStuckDevice() {
    if (m_slowClose) QSKIP("the slow-close process has no other device");
    PointDeviceAt(NewFifo());
    struct : FakeServices {
      AlarmSound alarm;
      void Beep() override { alarm.Beep(); }
    } services;
    kelvor::frmLand w(services);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.mnuGameStart_Click();
    auto* burn = w.findChild<QScrollBar*>(QStringLiteral("hsbBurn"));
    auto* time = w.findChild<QLabel*>(QStringLiteral("lblTime"));
    QVERIFY(burn && time);
    burn->setValue(30);
    for (int i = 0; i < 3; ++i) w.cmdBurn_Click();
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
      // Runs in the fall's yields, between alarm seconds.
      if (time->text() == QLatin1String("6")) w.mnuGameStop_Click();
    });
    watch.start(10);
    w.cmdBurn_Click();  // empties the tank: returns only when the fall has ended
    QCOMPARE(time->text(), QStringLiteral("6"));  // two alarm seconds flown
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("lblMessage"))->text(), kelvor::test::kAborted);
    QCOMPARE(w.State().vMission, std::optional<bool>(false));
  }
};

QTEST_MAIN(AlarmSoundDevicesTest)
#include "test_alarm_sound_devices.moc"
