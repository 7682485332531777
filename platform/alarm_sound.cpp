#include "platform/alarm_sound.h"

#include <alsa/asoundlib.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <numbers>
#include <optional>
#include <system_error>

#include "platform/library_symbols.h"

namespace kelvor {

namespace {

constexpr double kFrequency = 960;     // Hz: cuts through, without the shrillness above 2 kHz
constexpr double kSoundingPart = 0.8;  // of each tone; the rest is silence between pulses
constexpr std::chrono::duration<double> kEdge{0.006};  // raised-cosine fade in and out: no clicks
constexpr double kAmplitude = 0.3;                     // of full scale
constexpr std::chrono::microseconds kLatency{100000};

// alsa-lib, opened at the first beep rather than linked: mapped at start it costs some hundred
// kilobytes in every run, and most landings never run out of fuel.
struct Alsa {
  decltype(&snd_lib_error_set_handler) lib_error_set_handler;
  decltype(&snd_pcm_open) pcm_open;
  decltype(&snd_pcm_set_params) pcm_set_params;
  decltype(&snd_pcm_close) pcm_close;
  decltype(&snd_pcm_drop) pcm_drop;
  decltype(&snd_pcm_writei) pcm_writei;
  decltype(&snd_pcm_recover) pcm_recover;
};

// alsa-lib's functions, or null without alsa-lib on the system: the alarm is silent then.
const Alsa* LoadAlsa() {
  static const std::optional<Alsa> alsa =
      LoadLibraryApi<Alsa>("libasound.so.2", [](const auto& bind, Alsa& api) {
        return bind("snd_lib_error_set_handler", api.lib_error_set_handler) &&
               bind("snd_pcm_open", api.pcm_open) &&
               bind("snd_pcm_set_params", api.pcm_set_params) &&
               bind("snd_pcm_close", api.pcm_close) && bind("snd_pcm_drop", api.pcm_drop) &&
               bind("snd_pcm_writei", api.pcm_writei) && bind("snd_pcm_recover", api.pcm_recover);
      });
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

struct AlarmSound::Channel {
  explicit Channel(std::vector<std::int16_t> samples) : tone(std::move(samples)) {}

  // The sound thread: plays each tone handed over until the alarm is destroyed.
  void Run() {
    std::unique_lock lock(mutex);
    for (;;) {
      wake.wait(lock, [this] { return toneWaiting || closing; });
      if (closing) break;
      toneWaiting = false;
      playing = true;
      lock.unlock();
      if (OpenDevice() && Play() > 0) {
        // The device went away (unplugged, sound server gone): stay silent from now on.
        CloseDevice();
        failed = true;
      }
      lock.lock();
      playing = false;
      wake.notify_all();
    }
    lock.unlock();
    CloseDevice();
    lock.lock();
    ended = true;
    wake.notify_all();
  }

  bool OpenDevice() {
    if (pcm) return true;
    if (openTried) return false;
    openTried = true;  // a missing device stays missing for this run: no retry on every beep
    const Alsa* alsa = LoadAlsa();
    snd_pcm_t* opened = nullptr;
    if (alsa != nullptr) {
      alsa->lib_error_set_handler(&QuietAlsaErrors);
      if (alsa->pcm_open(&opened, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) {
        opened = nullptr;
      } else if (alsa->pcm_set_params(opened, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                                      kSampleRate, 1,
                                      static_cast<unsigned>(kLatency.count())) < 0) {
        alsa->pcm_close(opened);
        opened = nullptr;
      }
    }
    if (opened == nullptr) {
      failed = true;
      return false;
    }
    pcm = opened;
    return true;
  }

  void CloseDevice() {
    if (!pcm) return;
    const Alsa* alsa = LoadAlsa();  // loaded: a device is open
    alsa->pcm_drop(pcm);
    alsa->pcm_close(pcm);
    pcm = nullptr;
  }

  // Plays the tone; returns the number of frames that did not reach the device. Returns once
  // the last sample is in the device's buffer, some 100 ms before it sounds: the next tone then
  // follows it without a gap, and the stream simply runs dry after the last one (its tail is
  // silence), which the next write's recovery restarts.
  std::size_t Play() {
    const Alsa* alsa = LoadAlsa();  // loaded: a device is open
    std::size_t done = 0;
    const std::size_t total = tone.size();
    while (done < total) {
      // Blocks while the device's buffer is full: the thread sleeps in poll, not in a loop.
      snd_pcm_sframes_t n = alsa->pcm_writei(pcm, tone.data() + done, total - done);
      if (n == -EAGAIN) continue;
      if (n < 0) n = alsa->pcm_recover(pcm, static_cast<int>(n), 1);
      if (n < 0) return total - done;
      done += static_cast<std::size_t>(n);
    }
    return 0;
  }

  const std::vector<std::int16_t> tone;

  std::mutex mutex;
  std::condition_variable wake;
  bool toneWaiting = false;  // handed over, not yet taken by the sound thread
  bool playing = false;      // the sound thread is in alsa-lib, which may never return
  bool closing = false;      // the alarm is destroyed: close the device and end
  bool ended = false;        // the device is closed and the sound thread about to return

  std::atomic<bool> failed = false;  // the device refused or went away: silent from now on
  snd_pcm_t* pcm = nullptr;          // the sound thread's alone
  bool openTried = false;            // the sound thread's alone
};

AlarmSound::AlarmSound() : m_channel(std::make_shared<Channel>(MakeTone())) {}

AlarmSound::~AlarmSound() {
  if (!m_thread.joinable()) return;
  std::unique_lock lock(m_channel->mutex);
  m_channel->closing = true;
  m_channel->wake.notify_all();
  // A healthy device finishes its tone and closes within the tone's length; one that holds the
  // thread longer may hold it for ever, and waiting would hang whoever destroys the alarm. The
  // thread is then left behind with its own share of the channel, and ends if the device lets go.
  if (m_channel->wake.wait_for(lock, 2 * kToneLength, [this] { return m_channel->ended; })) {
    lock.unlock();
    m_thread.join();
  } else {
    lock.unlock();
    m_thread.detach();
  }
}

std::vector<std::int16_t> AlarmSound::MakeTone() {
  const auto frames = static_cast<std::size_t>(kSampleRate * kToneLength.count() / 1000);
  const auto sounding = static_cast<std::size_t>(frames * kSoundingPart);
  const double edge = kEdge.count() * kSampleRate;
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

void AlarmSound::HandOver() {
  if (m_channel->failed) return;
  if (!m_thread.joinable()) {
    // The sound thread blocks every signal: a sound plugin writing to a pipe whose reader has
    // gone would raise SIGPIPE there and end the game; blocked, the write fails with EPIPE.
    // Signals for the process still reach the window's thread, whose mask comes back on every
    // way out.
    struct MaskedForNewThreads {
      MaskedForNewThreads() {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
      }
      ~MaskedForNewThreads() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
      MaskedForNewThreads(const MaskedForNewThreads&) = delete;
      MaskedForNewThreads& operator=(const MaskedForNewThreads&) = delete;
      sigset_t previous;
    };
    try {
      const MaskedForNewThreads masked;
      m_thread = std::thread([channel = m_channel] { channel->Run(); });
    } catch (const std::system_error&) {
      m_channel->failed = true;  // no thread to be had: a silent alarm, on time all the same
    }
    if (!m_thread.joinable()) return;
  }
  {
    std::lock_guard lock(m_channel->mutex);
    if (m_channel->playing || m_channel->toneWaiting) return;
    m_channel->toneWaiting = true;
  }
  m_channel->wake.notify_all();
}

void AlarmSound::Beep() {
  // A beep lasts its tone on the monotonic clock, not on the device: a device that takes
  // samples faster than it plays them (a null sink, a broken server) must not turn the alarm
  // pause into a busy loop, and one that blocks must not hold up the flight.
  const timespec end = Later(Now(), kToneLength);
  HandOver();
  SleepUntil(end);
}

}  // namespace kelvor
