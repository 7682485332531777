#include <QTemporaryDir>
#include <QTest>
#include <chrono>

#include "mainwindow/alarm_sound.h"

using kelvor::AlarmSound;

// The alarm on a sound device that swallows samples at once: ALSA's null device, made the
// default through a private configuration, so that the playing path runs on any machine.
class AlarmSoundNullDeviceTest : public QObject {
  Q_OBJECT

  QTemporaryDir m_home;

 private slots:
  void initTestCase() {
    QVERIFY(m_home.isValid());
    QFile config(m_home.filePath(QStringLiteral(".asoundrc")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("pcm.!default { type null }\n");
    config.close();
    qputenv("HOME", m_home.path().toLocal8Bit());  // alsa-lib reads ~/.asoundrc at first use
  }

  void beepOnInstantDeviceStillLastsTheTone() {
    AlarmSound alarm;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) alarm.Beep();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    QVERIFY(alarm.HasDevice());  // the tones really went to a device
    QVERIFY(elapsed >= 3 * AlarmSound::kToneLength);
  }
};

QTEST_GUILESS_MAIN(AlarmSoundNullDeviceTest)
#include "test_alarm_sound_null.moc"
