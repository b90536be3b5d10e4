// The program's own overhead around a tick: a headless run of the idle loop (the
// per-state frames are still empty here, so this is the loop, the form and the host),
// and the start-up data parsers.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "SXView1/Session.h"
#include "SXView1/ViewData.h"

namespace {

std::filesystem::path DataFolder() {
  static std::filesystem::path dir = [] {
    std::filesystem::path d = std::filesystem::temp_directory_path() / "tavvy-bench-app";
    std::filesystem::create_directories(d / "Data");
    std::ofstream(d / "Data/View.dat") << "1,0,0,0,0,1,0,0,0,0,1,0,0,3,-10,1\n";
    std::ofstream(d / "Data/words.dat") << "hello\r\n";
    std::ofstream bmp(d / "Data/tavvy.bmp", std::ios::binary);
    const unsigned char header[54] = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                                      1,   0,   0,  0, 1, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0,  0, 4, 0};
    bmp.write(reinterpret_cast<const char*>(header), sizeof header);
    bmp.write("\0\0\0\0", 4);
    return d;
  }();
  return dir;
}

void BM_HeadlessTicks(benchmark::State& state) {
  const std::string ticks = std::to_string(state.range(0));
  const std::string data = (DataFolder() / "Data").string();
  for (auto _ : state) {
    std::ostringstream out, err;
    int code = RunTavvyhop({"--headless", "--ticks=" + ticks, "--data=" + data}, out, err);
    if (code != 0) state.SkipWithError(err.str().c_str());
  }
  state.counters["ticks/s"] = benchmark::Counter(
      static_cast<double>(state.range(0)) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HeadlessTicks)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);

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
