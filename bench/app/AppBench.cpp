// Whole headless runs of the program on the generated data set: start-up, then the
// autopilot playing (every tick rendered on the software device), and the start-up data
// parsers.
#include <benchmark/benchmark.h>

#include <sstream>

#include "SXView1/ViewData.h"
#include "app/Session.h"

namespace {

void BM_HeadlessTicks(benchmark::State& state) {
  const std::string ticks = std::to_string(state.range(0));
  for (auto _ : state) {
    std::ostringstream out, err;
    int code =
        RunTavvyhop({"--headless", "--autopilot", "--seed=1", "--ticks=" + ticks, "--data=" TAVVY_DATA_DIR}, out, err);
    if (code != 0) state.SkipWithError(err.str().c_str());
  }
  state.counters["ticks/s"] = benchmark::Counter(
      static_cast<double>(state.range(0)) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HeadlessTicks)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_ParseViewLines(benchmark::State& state) {
  std::vector<std::string> lines(4, "1.5, -2.25, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16");
  for (auto _ : state) {
    TViewMatrices views{};
    ParseViewLines(lines, "View.dat", views);
    benchmark::DoNotOptimize(views);
  }
}
BENCHMARK(BM_ParseViewLines);

}  // namespace

BENCHMARK_MAIN();
