#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace kelvor {

// The free-fall alarm: one short tone per call, played through ALSA's default device (which
// reaches PulseAudio or PipeWire on a desktop). Beep lasts exactly one tone on the monotonic
// clock, whatever the device does: the alarm pause of the free fall sleeps instead of spinning
// the CPU, and a device that blocks (a hung sound server, an unplugged headset, a pipe nobody
// reads) or fails only makes the alarm silent, never the flight late.
//
// The device is owned by a sound thread, started at the first beep: alsa-lib's open and write
// have no time limit, so they run where waiting harms nobody. Beep hands the tone to that
// thread only while it is idle; a device still busy with an earlier tone, or stuck, gets no new
// one, so nothing piles up behind it.
class AlarmSound {
 public:
  // 255 ms: four tones make a little more than one second, so an alarm second is four pulses
  // even when the sound card's clock runs a shade fast against the system clock.
  static constexpr std::chrono::milliseconds kToneLength{255};
  static constexpr unsigned kSampleRate = 48000;

  AlarmSound();
  // Ends the sound thread, or leaves it behind when the device holds it (see the definition).
  ~AlarmSound();
  AlarmSound(const AlarmSound&) = delete;
  AlarmSound& operator=(const AlarmSound&) = delete;

  void Beep();

  // True once a device has been opened for playing; false before the first beep, when there is
  // none and while opening it blocks.
  bool HasDevice() const;

  // The samples of one tone: a tone with soft edges, then silence, kToneLength in all.
  static std::vector<std::int16_t> MakeTone();

 private:
  // What the window's thread and the sound thread share; the sound thread keeps its own
  // reference, so that it can outlive this object when the device never lets it go.
  struct Channel;

  // Hands the tone to the sound thread, starting it at the first call; drops it when the thread
  // is busy or the device has failed.
  void HandOver();

  std::shared_ptr<Channel> m_channel;
  std::thread m_thread;
};

}  // namespace kelvor
