#include "mainwindow/alarm_sound.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <ctime>
#include <numbers>
#include <optional>

namespace kelvor {

namespace {

constexpr double kFrequency = 960;      // Hz: cuts through, without the shrillness above 2 kHz
constexpr double kSoundingPart = 0.8;   // of each tone; the rest is silence between pulses
constexpr double kEdgeSeconds = 0.006;  // raised-cosine fade in and out: no clicks
constexpr double kAmplitude = 0.3;      // of full scale
constexpr unsigned kLatencyMicros = 100000;

// alsa-lib, opened at the first beep rather than linked: mapped at start it costs the game
// some hundred kilobytes in every run, and most landings never run out of fuel. The pointers
// keep the types of alsa-lib's own declarations, so every call is checked as if it were linked.
struct Alsa {
  decltype(&snd_lib_error_set_handler) lib_error_set_handler;
  decltype(&snd_pcm_open) pcm_open;
  decltype(&snd_pcm_set_params) pcm_set_params;
  decltype(&snd_pcm_close) pcm_close;
  decltype(&snd_pcm_drop) pcm_drop;
  decltype(&snd_pcm_state) pcm_state;
  decltype(&snd_pcm_prepare) pcm_prepare;
  decltype(&snd_pcm_writei) pcm_writei;
  decltype(&snd_pcm_recover) pcm_recover;
  decltype(&snd_pcm_drain) pcm_drain;
};

template <class Function>
bool Bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

// alsa-lib's functions, or null without alsa-lib on the system: the alarm is silent then.
const Alsa* LoadAlsa() {
  static const std::optional<Alsa> alsa = []() -> std::optional<Alsa> {
    void* library = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return std::nullopt;
    Alsa api{};
    if (Bind(library, "snd_lib_error_set_handler", api.lib_error_set_handler) &&
        Bind(library, "snd_pcm_open", api.pcm_open) &&
        Bind(library, "snd_pcm_set_params", api.pcm_set_params) &&
        Bind(library, "snd_pcm_close", api.pcm_close) &&
        Bind(library, "snd_pcm_drop", api.pcm_drop) &&
        Bind(library, "snd_pcm_state", api.pcm_state) &&
        Bind(library, "snd_pcm_prepare", api.pcm_prepare) &&
        Bind(library, "snd_pcm_writei", api.pcm_writei) &&
        Bind(library, "snd_pcm_recover", api.pcm_recover) &&
        Bind(library, "snd_pcm_drain", api.pcm_drain)) {
      return api;  // alsa-lib stays loaded for the rest of the run
    }
    dlclose(library);
    return std::nullopt;
  }();
  return alsa ? &*alsa : nullptr;
}

// alsa-lib reports every failed open on stderr ("cannot find card 0"); a machine without sound
// is normal here and the beep goes silent, so those messages are only noise.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

timespec Now() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

timespec Later(timespec from, std::chrono::nanoseconds span) {
  const auto total = std::chrono::nanoseconds(from.tv_nsec) + span;
  from.tv_sec += static_cast<time_t>(total.count() / 1000000000);
  from.tv_nsec = static_cast<long>(total.count() % 1000000000);
  return from;
}

// Sleeps on the monotonic clock until the deadline, resuming after signals.
void SleepUntil(const timespec& deadline) {
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

}  // namespace

AlarmSound::AlarmSound() : m_tone(MakeTone()) {}

AlarmSound::~AlarmSound() { CloseDevice(); }

std::vector<std::int16_t> AlarmSound::MakeTone() {
  const auto frames = static_cast<std::size_t>(kSampleRate * kToneLength.count() / 1000);
  const auto sounding = static_cast<std::size_t>(frames * kSoundingPart);
  const double edge = kEdgeSeconds * kSampleRate;
  std::vector<std::int16_t> tone(frames, 0);
  for (std::size_t i = 0; i < sounding; ++i) {
    const double fromEdge = std::min<double>(i, sounding - 1 - i);
    const double envelope =
        fromEdge >= edge ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * fromEdge / edge);
    const double phase = 2 * std::numbers::pi * kFrequency * i / kSampleRate;
    tone[i] =
        static_cast<std::int16_t>(std::lround(32767 * kAmplitude * envelope * std::sin(phase)));
  }
  return tone;
}

bool AlarmSound::OpenDevice() {
  if (m_pcm) return true;
  if (m_openTried) return false;
  m_openTried = true;  // a missing device stays missing for this run: no retry on every beep
  const Alsa* alsa = LoadAlsa();
  if (alsa == nullptr) return false;
  alsa->lib_error_set_handler(&QuietAlsaErrors);
  snd_pcm_t* pcm = nullptr;
  if (alsa->pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return false;
  if (alsa->pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kSampleRate,
                           1, kLatencyMicros) < 0) {
    alsa->pcm_close(pcm);
    return false;
  }
  m_pcm = pcm;
  return true;
}

void AlarmSound::CloseDevice() {
  if (!m_pcm) return;
  const Alsa* alsa = LoadAlsa();  // loaded: a device is open
  alsa->pcm_drop(m_pcm);
  alsa->pcm_close(m_pcm);
  m_pcm = nullptr;
}

std::size_t AlarmSound::Play() {
  const Alsa* alsa = LoadAlsa();  // loaded: a device is open
  std::size_t done = 0;
  const std::size_t total = m_tone.size();
  if (alsa->pcm_state(m_pcm) != SND_PCM_STATE_PREPARED && alsa->pcm_prepare(m_pcm) < 0) {
    return total;
  }
  while (done < total) {
    // Blocks while the device's buffer is full: the thread sleeps in poll, not in a loop.
    snd_pcm_sframes_t n = alsa->pcm_writei(m_pcm, m_tone.data() + done, total - done);
    if (n == -EAGAIN) continue;
    if (n < 0) n = alsa->pcm_recover(m_pcm, static_cast<int>(n), 1);
    if (n < 0) return total - done;
    done += static_cast<std::size_t>(n);
  }
  // Returns once the last sample has left the speaker, which makes the beep as long as its tone.
  alsa->pcm_drain(m_pcm);
  return 0;
}

void AlarmSound::Beep() {
  // A beep never ends before its tone would have: a device that takes samples faster than it
  // plays them (a null sink, a broken server) must not turn the alarm pause into a busy loop.
  const timespec end = Later(Now(), kToneLength);
  if (OpenDevice() && Play() > 0) {
    // The device went away (unplugged, sound server gone): stay silent from now on.
    CloseDevice();
  }
  SleepUntil(end);
}

}  // namespace kelvor
