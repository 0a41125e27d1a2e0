// What a step through the time steps of a long run costs in looks at its run directory: a
// directory of N time-step files (empty, so that only the directory counts).
//
// BM_ListTimeSteps/N: the listing every step takes (names in time order).
// BM_LookAtTimeSteps/N/from: the look a load takes after it; from 0 a whole look (every file
// asked for its version), 1 from the earlier look (the names read again), 2 from the earlier
// look and the listing the step has just taken (nothing read again).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "SW_TimeStepFile.h"
#include "SW_TimeStepList.h"

namespace {

struct RunDirectory {
  std::string path;
  explicit RunDirectory(int files)
  {
    path = (std::filesystem::temp_directory_path() / ("torvu_bench_" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(path);
    for (int i = 0; i < files; ++i) std::ofstream(path + "/" + SW_TimeStepName(0.1 * i).c_str() + ".TimeStep");
  }
  ~RunDirectory() { std::filesystem::remove_all(path); }
};

void BM_ListTimeSteps(benchmark::State& state)
{
  RunDirectory run(int(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(SW_ListTimeSteps(run.path.c_str(), 0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListTimeSteps)->Arg(100)->Arg(3000);

void BM_LookAtTimeSteps(benchmark::State& state)
{
  RunDirectory run(int(state.range(0)));
  const char* d = run.path.c_str();
  const SW_TimeStepFiles earlier = SW_LookAtTimeSteps(d);
  const SW_TimeStepList listed = SW_ListTimeSteps(d, 0);
  for (auto _ : state) {
    switch (state.range(1)) {
      case 0: benchmark::DoNotOptimize(SW_LookAtTimeSteps(d)); break;
      case 1: benchmark::DoNotOptimize(SW_LookAtTimeSteps(d, &earlier)); break;
      default: benchmark::DoNotOptimize(SW_LookAtTimeSteps(d, &earlier, &listed)); break;
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LookAtTimeSteps)->ArgsProduct({{100, 3000}, {0, 1, 2}});

}  // namespace

BENCHMARK_MAIN();
