// Nanoseconds per burn step of the flight computer, against a panel that does nothing, so the
// figure is the flight rules alone (formatting included).
#include <benchmark/benchmark.h>

#include "flight/flight_computer.h"

namespace {

class QuietPanel : public kelvor::flight::InstrumentPanel {
 public:
  kelvor::flight::FlightComputer* computer = nullptr;
  std::int16_t value = 0;
  void SetCaption(kelvor::flight::Control, const std::string& text) override {
    benchmark::DoNotOptimize(text.data());
  }
  void SetBarValue(kelvor::flight::Bar, float v) override { benchmark::DoNotOptimize(v); }
  void Repaint(kelvor::flight::Control) override {}
  std::int16_t GetThrusterValue() override { return value; }
  void SetThrusterValue(std::int16_t v) override {
    if (v == value) return;
    value = v;
    computer->ThrusterChanged();
  }
  void SetThrusterMax(std::int16_t) override {}
  void SetBurnControlsEnabled(bool) override {}
  void YieldToEvents() override {}
};

class QuietHost : public kelvor::flight::MissionHost {
 public:
  kelvor::flight::FlightComputer* computer = nullptr;
  double now = 0;
  void StopMission() override { computer->State().intHalted = -1; }
  void Beep() override { now += 1; }
  double MonotonicSeconds() override { return now; }
  void ReportError(int, const std::string&) override {}
};

// A flight computer wired to the quiet panel and host.
struct Rig {
  QuietPanel panel;
  QuietHost host;
  kelvor::flight::FlightComputer computer{panel, host};
  Rig() {
    panel.computer = &computer;
    host.computer = &computer;
  }
};

// One step above the surface with a low-fuel bar adjustment: the common case of a mission.
void BM_BurnStep(benchmark::State& state) {
  Rig rig;
  auto& panel = rig.panel;
  auto& computer = rig.computer;
  auto& s = computer.State();
  for (auto _ : state) {
    s.sngTime = 0;
    s.sngAltitude = 500;
    s.sngSpeed = 50;
    s.sngFuel = 25;
    panel.value = 5;
    s.sngBurn = 5;
    computer.BurnStep();
  }
}
BENCHMARK(BM_BurnStep);

// A whole mission with the bar at 0: seven steps and the touchdown evaluation with its report.
void BM_WholeMission(benchmark::State& state) {
  Rig rig;
  auto& computer = rig.computer;
  auto& s = computer.State();
  for (auto _ : state) {
    s = kelvor::flight::FlightState{};
    s.sngAltitude = 500;
    s.sngSpeed = 50;
    s.sngFuel = 120;
    for (int i = 0; i < 8; ++i) computer.BurnStep();
  }
}
BENCHMARK(BM_WholeMission);

}  // namespace

BENCHMARK_MAIN();
