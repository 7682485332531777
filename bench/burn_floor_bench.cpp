// The floor for the burn step: the least work any step must do, the arithmetic of one simulated
// second and printing the six readouts the panel shows, with the fastest formatting the standard
// library has (std::to_chars). Measured beside the flight computer's own benchmark so both run on
// the same machine state.
#include <benchmark/benchmark.h>

#include <charconv>

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
    const float shown[6] = {time, altitude, altitude, speed, fuel, fuel};
    for (int i = 0; i < 6; ++i) {
      auto [end, error] = std::to_chars(text[i], text[i] + sizeof text[i] - 1, shown[i],
                                        std::chars_format::fixed, i == 1 ? 1 : 0);
      *end = '\0';
      benchmark::DoNotOptimize(error);
    }
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_BurnStepFloor);

}  // namespace

BENCHMARK_MAIN();
