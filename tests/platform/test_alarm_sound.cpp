#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "platform/alarm_sound.h"

using kelvor::AlarmSound;

class AlarmSoundTest : public QObject {
  Q_OBJECT

 private slots:
  void toneIsSoftEdgedPulseWithSilentTail() {
    const std::vector<std::int16_t> tone = AlarmSound::MakeTone();
    QCOMPARE(tone.size(), std::size_t(AlarmSound::kSampleRate * 255 / 1000));
    // Starts and ends at rest (no click), sounds in between, and leaves a pause before the next.
    QCOMPARE(tone.front(), std::int16_t(0));
    QCOMPARE(tone.back(), std::int16_t(0));
    const auto loudest = *std::max_element(tone.begin(), tone.end());
    QVERIFY(loudest > 5000);
    QVERIFY(loudest < 32767);
    const std::size_t tail = tone.size() / 10;
    QVERIFY(std::all_of(tone.end() - tail, tone.end(), [](std::int16_t s) { return s == 0; }));
    QVERIFY(std::abs(tone[100]) < loudest / 2);  // still fading in
  }

  void beepLastsAtLeastTheTone() {
    // On whatever device this machine has, or none: the call lasts the tone, so an alarm second
    // is made of whole tones, with no error.
    AlarmSound alarm;
    const auto start = std::chrono::steady_clock::now();
    alarm.Beep();
    alarm.Beep();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    QVERIFY(elapsed >= 2 * AlarmSound::kToneLength - std::chrono::milliseconds(10));
  }
};

QTEST_GUILESS_MAIN(AlarmSoundTest)
#include "test_alarm_sound.moc"
