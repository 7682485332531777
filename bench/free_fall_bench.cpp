// CPU time per simulated second of free fall, in the real main window on the offscreen platform:
// a mission is started, the tank emptied by four burns of 30, and the free fall that follows runs
// with the real alarm pause and beep (silent without a sound device) until a timer stops the
// mission. The floor is the same window sleeping through as many seconds with one pass of the
// event loop each, which is what any free fall must at least cost.
//
//   free_fall_bench [--seconds N] [--runs R]
//
// Prints one line of key=value pairs per run and kind (game, floor).
#include <sys/resource.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/desktop_services.h"
#include "mainwindow/frm_land.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void Print(const char* kind, double cpu, double wall, double simulated) {
  std::printf("kind=%s cpu_s=%.4f wall_s=%.3f sim_s=%.0f cpu_per_sim_s=%.6f\n", kind, cpu, wall,
              simulated, simulated > 0 ? cpu / simulated : -1.0);
  std::fflush(stdout);
}

// One free fall of about `seconds` simulated seconds, stopped from the event loop as a player
// would stop it.
void FreeFall(kelvor::frmLand& window, int seconds) {
  window.mnuGameStart_Click();
  window.SetThrusterValue(30);
  for (int i = 0; i < 3; ++i) window.cmdBurn_Click();
  // The stop comes half a second into a pass, so it is seen at the next yield.
  QTimer::singleShot(seconds * 1000 - 500, Qt::PreciseTimer, &window,
                     [&window] { window.mnuGameStop_Click(); });
  // The burn itself is the last powered second; the free fall's seconds come after it.
  const float timeBefore = window.State().sngTime + 1;
  const double cpu = CpuSeconds();
  const double wall = WallSeconds();
  window.cmdBurn_Click();  // empties the tank: the free fall runs inside this click
  Print("game", CpuSeconds() - cpu, WallSeconds() - wall, window.State().sngTime - timeBefore);
}

void Floor(int seconds) {
  const double cpu = CpuSeconds();
  const double wall = WallSeconds();
  for (int i = 0; i < seconds; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  Print("floor", CpuSeconds() - cpu, WallSeconds() - wall, seconds);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int seconds = 10;
  int runs = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
  }
  // The whole fall from the top of the climb lasts 27 seconds before touchdown.
  if (seconds < 2 || seconds > 26 || runs < 1) {
    std::fprintf(stderr, "usage: free_fall_bench [--seconds 2..26] [--runs R]\n");
    return 2;
  }

  // The game's own services, but a run-time error must fail the measurement, not wait for
  // someone to dismiss its box.
  struct : kelvor::DesktopServices {
    void ShowMessage(const QString& text, int) override {
      std::fprintf(stderr, "free_fall_bench: %s\n", qPrintable(text));
      std::exit(1);
    }
  } services;
  kelvor::frmLand window(services);
  window.show();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  for (int run = 0; run < runs; ++run) {
    FreeFall(window, seconds);
    Floor(seconds);
  }
  return 0;
}
