// What the looks at the run directory of a long run cost, in a directory of N time-step files
// (empty, so that only the directory counts).
//
// BM_ListTimeSteps/N: the listing every step through the time steps takes (names in time order).
// BM_NewestTimeStep/N: the newest time step, which a refused command names and a "Continue"
// compares its state with.
// BM_SeriesGate/N/kind: what every writer and every save asks first: 0 whether this process
// holds the series, 1 the gate of a record (a save), 2 the gate of a write (an output), with the
// directory lock; flat in N.
// BM_CopySeriesInto/N: a save into another project directory's time steps: N files of 10 kB
// staged beside the N of the target's run and put in place over them (the whole copy).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "SW_RunSeries.h"
#include "SW_SeriesCopy.h"
#include "SW_TimeStepFile.h"
#include "SW_TimeStepList.h"

namespace {

struct RunDirectory {
  std::string path;
  explicit RunDirectory(int files, const std::string& name = "", size_t bytes = 0)
  {
    path = (std::filesystem::temp_directory_path() / ("torvu_bench_" + std::to_string(getpid()) + name)).string();
    std::filesystem::create_directories(path);
    const std::string content(bytes, 'x');
    for (int i = 0; i < files; ++i)
      std::ofstream(path + "/" + SW_TimeStepName(0.1 * i).c_str() + ".TimeStep") << content;
  }
  ~RunDirectory() { std::filesystem::remove_all(path); }
};

void BM_ListTimeSteps(benchmark::State& state)
{
  RunDirectory run(int(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(SW_ListTimeSteps(run.path.c_str(), 0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListTimeSteps)->Arg(100)->Arg(3000)->Arg(30000);

void BM_NewestTimeStep(benchmark::State& state)
{
  RunDirectory run(int(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(SW_NewestTimeStep(run.path.c_str()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_NewestTimeStep)->Arg(100)->Arg(3000)->Arg(30000);

void BM_SeriesGate(benchmark::State& state)
{
  RunDirectory run(int(state.range(0)));
  const char* d = run.path.c_str();
  SW_SeriesHold hold;
  {
    AK_DirectoryLock locked(d);
    if (!hold.Pass(locked, d, SW_SeriesChange::Anew).passed) state.SkipWithError("the series cannot be started");
  }
  for (auto _ : state) {
    if (state.range(1) == 0) {
      benchmark::DoNotOptimize(hold.Holds(d));
      continue;
    }
    AK_DirectoryLock locked(d);
    benchmark::DoNotOptimize(
        hold.Pass(locked, d, state.range(1) == 1 ? SW_SeriesChange::Record : SW_SeriesChange::Write).passed);
  }
}
BENCHMARK(BM_SeriesGate)->ArgsProduct({{100, 30000}, {0, 1, 2}});

void BM_CopySeriesInto(benchmark::State& state)
{
  const int n = int(state.range(0));
  AK_MessageHook = [](const char*, const char*) {};  // a line per file copied
  RunDirectory source(n, "_source", 10000), target(n, "_target", 10000);
  for (auto _ : state) {
    SW_CopyLocks locks(source.path.c_str(), target.path.c_str());
    SW_SeriesCopy copy(source.path.c_str(), target.path.c_str());
    AK_String failure;
    SW_SeriesHold hold;
    const bool done = copy.Copy("saved.atr", [](const char* path) { return AK_WriteWholeFile(path, "saved\n"); },
                                hold, failure) == SW_SeriesCopy::Outcome::Copied;
    if (!done) state.SkipWithError(failure.c_str());
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_CopySeriesInto)->Arg(3000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
