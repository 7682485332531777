// The length of one alarm second of the free fall (the four beeps the flight computer's alarm
// pause plays) on a sound device that takes samples at once and on one that blocks for ever.
// The alarm must keep time on both: one second, plus at most 50 ms.
//
// Both devices are ALSA's own file plugin, made the default through a private configuration in
// a temporary HOME: its samples go to /dev/null; into a FIFO that nobody reads, where the
// device's open never returns, as with a hung sound server; or into a FIFO whose reader never
// reads, where the writes stop once the pipe is full.
//
//   cmake --build <build dir> --target alarm_second_bench
//   <build dir>/bench/alarm_second_bench [seconds, 10 unless given]
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/alarm_sound.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Whether this process writes into `device` (the file the sound device's name points at): the
// read end this program holds itself does not count.
bool HoldsOpen(const std::filesystem::path& device) {
  std::error_code error;
  const std::filesystem::path file = std::filesystem::canonical(device, error);
  if (error) return false;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    std::error_code unreadable;
    if (std::filesystem::read_symlink(fd.path(), unreadable) != file) continue;
    std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
    for (std::string line; std::getline(info, line);) {
      if (line.rfind("flags:", 0) == 0 &&
          (std::stoi(line.substr(6), nullptr, 8) & O_ACCMODE) != O_RDONLY) {
        return true;
      }
    }
  }
  return false;
}

// Flies `seconds` alarm seconds on a fresh alarm and prints the median, best and worst length.
void Measure(const char* name, const std::filesystem::path& device, int seconds) {
  kelvor::AlarmSound alarm;
  std::vector<double> lengths;
  for (int i = 0; i < seconds; ++i) {
    const auto start = Clock::now();
    for (int beep = 0; beep < 4; ++beep) alarm.Beep();
    lengths.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  const auto [lowest, highest] = std::minmax_element(lengths.begin(), lengths.end());
  std::printf("%-32s %2d s: median %.1f ms (best %.1f, worst %.1f), %s\n", name, seconds,
              Median(lengths), *lowest, *highest, HoldsOpen(device) ? "device open" : "no device");
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  char pattern[] = "/tmp/alarm-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::filesystem::path home = pattern;
  const std::filesystem::path device = home / "device";
  const std::filesystem::path unread = home / "unread";
  const std::filesystem::path stalled = home / "stalled";
  if (mkfifo(unread.c_str(), 0600) != 0 || mkfifo(stalled.c_str(), 0600) != 0) return 1;
  if (open(stalled.c_str(), O_RDONLY | O_NONBLOCK) < 0) return 1;  // held, never read
  std::ofstream(home / ".asoundrc") << "pcm.!default { type file slave.pcm \"null\" format \"raw\" "
                                    << "file \"" << device.string() << "\" }\n";
  setenv("HOME", home.c_str(), 1);
  unsetenv("ALSA_CONFIG_PATH");

  // alsa-lib follows the name at each open: each alarm gets the device the link points at.
  std::filesystem::create_symlink("/dev/null", device);
  Measure("device takes samples at once", "/dev/null", seconds);
  std::filesystem::remove(device);
  std::filesystem::create_symlink(unread, device);
  Measure("device blocks in open", unread, seconds);
  std::filesystem::remove(device);
  std::filesystem::create_symlink(stalled, device);
  Measure("device blocks in write", stalled, seconds);

  std::filesystem::remove_all(home);
  // The sound threads of the blocked alarms are still waiting: end without waiting for them.
  std::fflush(stdout);
  std::_Exit(0);
}
