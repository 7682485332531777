// The floor for the burn step: the least work any step must do, the arithmetic of one simulated
// second and printing the six readouts the panel shows, with the C library. Measured beside the
// flight computer's own benchmark so both run on the same machine state.
#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

void BM_BurnStepFloor(benchmark::State& state) {
  char text[6][32];
  for (auto _ : state) {
    float altitude = 500, speed = 50, fuel = 25, time = 0, burn = 5;
    benchmark::DoNotOptimize(altitude);
    benchmark::DoNotOptimize(burn);
    const float newSpeed = speed - burn + 5;
    fuel -= burn;
    altitude -= (newSpeed + speed) * 0.5f;
    time += 1;
    speed = newSpeed;
    std::snprintf(text[0], sizeof text[0], "%.0f", time);
    std::snprintf(text[1], sizeof text[1], "%.1f", altitude);
    std::snprintf(text[2], sizeof text[2], "%.0f", altitude);
    std::snprintf(text[3], sizeof text[3], "%.0f", speed);
    std::snprintf(text[4], sizeof text[4], "%.0f", fuel);
    std::snprintf(text[5], sizeof text[5], "%.0f", fuel);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_BurnStepFloor);

}  // namespace

BENCHMARK_MAIN();
