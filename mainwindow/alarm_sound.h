#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

typedef struct _snd_pcm snd_pcm_t;

namespace kelvor {

// The free-fall alarm: one short tone per call, played through ALSA's default device (which
// reaches PulseAudio or PipeWire on a desktop). Beep blocks until the tone has sounded, so the
// alarm pause of the free fall waits on the sound card instead of spinning the CPU. A beep never
// returns before the tone's length has passed: without a usable device, or with one that takes
// samples faster than it plays them, the call sleeps for the rest, silently.
class AlarmSound {
 public:
  // 255 ms: four tones make a little more than one second, so an alarm second is four pulses
  // even when the sound card's clock runs a shade fast against the system clock.
  static constexpr std::chrono::milliseconds kToneLength{255};
  static constexpr unsigned kSampleRate = 48000;

  AlarmSound();
  ~AlarmSound();
  AlarmSound(const AlarmSound&) = delete;
  AlarmSound& operator=(const AlarmSound&) = delete;

  void Beep();

  // True once a device has been opened for playing; false before the first beep and when
  // there is none.
  bool HasDevice() const { return m_pcm != nullptr; }

  // The samples of one tone: a tone with soft edges, then silence, kToneLength in all.
  static std::vector<std::int16_t> MakeTone();

 private:
  bool OpenDevice();
  void CloseDevice();
  // Plays the tone; returns the number of frames that did not reach the device.
  std::size_t Play();

  snd_pcm_t* m_pcm = nullptr;
  bool m_openTried = false;
  std::vector<std::int16_t> m_tone;
};

}  // namespace kelvor
