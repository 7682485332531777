#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace kelvor {

// The free-fall alarm through ALSA's default device. Beep lasts one tone on the monotonic clock
// whatever the device does, so a device that blocks or fails makes the alarm silent, never the
// flight late. alsa-lib's open and write have no time limit, so a sound thread started at the
// first beep owns the device and gets a tone only while idle: nothing piles up behind a stuck one.
class AlarmSound {
 public:
  // 255 ms: four tones make a little more than one second, so an alarm second is four pulses
  // even when the sound card's clock runs a shade fast against the system clock.
  static constexpr std::chrono::milliseconds kToneLength{255};
  static constexpr unsigned kSampleRate = 48000;

  AlarmSound();
  // Leaves the sound thread behind when the device holds it (see the definition).
  ~AlarmSound();
  AlarmSound(const AlarmSound&) = delete;
  AlarmSound& operator=(const AlarmSound&) = delete;

  void Beep();

  // A pulse with soft edges, then silence, kToneLength in all.
  static std::vector<std::int16_t> MakeTone();

 private:
  // Shared with the sound thread, which can outlive this object when the device never lets go.
  struct Channel;

  // Drops the tone when the sound thread is busy or the device has failed.
  void HandOver();

  std::shared_ptr<Channel> m_channel;
  std::thread m_thread;
};

}  // namespace kelvor
