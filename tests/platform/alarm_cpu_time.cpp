// Measures what one second of the free fall's alarm costs the processor: the alarm pause of the
// flight computer, run by the real main window, between two readings of getrusage.
#include <sys/resource.h>

#include <QApplication>
#include <chrono>
#include <cstdio>

#include "platform/alarm_sound.h"
#include "mainwindow/frm_land.h"
#include "tests/fake_services.h"

namespace {
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  struct : FakeServices {
    kelvor::AlarmSound alarm;  // the real alarm: its cost is what is measured
    void Beep() override { alarm.Beep(); }
  } services;
  kelvor::frmLand window(services);
  constexpr int kSeconds = 5;
  const double cpuBefore = CpuSeconds();
  const auto wallBefore = std::chrono::steady_clock::now();
  for (int i = 0; i < kSeconds; ++i) window.Computer().AlarmPause(1);
  const double cpu = CpuSeconds() - cpuBefore;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
  std::printf(
      "%d alarm seconds: %.3f s wall, %.4f s CPU; per free-fall second %.2f ms CPU (%.2f%%)\n",
      kSeconds, wall, cpu, cpu / kSeconds * 1000, cpu / wall * 100);
  return 0;
}
