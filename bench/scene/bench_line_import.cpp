// Importing many polylines into the polyline container: an "nxyz" file of N unnamed
// two-point lines (each named after the file and its number), then the same file once more
// (every name taken, each new line numbered past the first import's). The time of a name
// must not grow with the number of siblings: 10^5 lines take about a second. (Beyond 9999
// lines imported twice, the names of the second import are those with ever more "x"
// appended: their length, not their search, then grows with their number.)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "AK_Framework.h"
#include "SW_Polylines.h"
#include "SW_SceneClasses.h"

namespace {

void Quiet(const char*, const char*) {}

std::string LinesFile(int n)
{
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("torvu_bench_lines_" + std::to_string(::getpid()) + "_" + std::to_string(n) + ".nxyz");
  if (std::filesystem::exists(path)) return path.string();
  FILE* f = std::fopen(path.c_str(), "w");
  for (int i = 0; i < n; ++i) std::fprintf(f, "2\n%d 0 0\n%d 1 0\n", i, i);
  std::fprintf(f, "-1\n");
  std::fclose(f);
  return path.string();
}

void BM_ImportUnnamedLines(benchmark::State& state)
{
  const int n = static_cast<int>(state.range(0));
  const int times = static_cast<int>(state.range(1));
  const std::string file = LinesFile(n);
  AK_MessageFunction previous = AK_MessageHook;
  AK_MessageHook = Quiet;
  for (auto _ : state) {
    AK_Container project("project", nullptr);
    auto* lines = new SW_Polylines("Polylines", &project);
    project.AddComponent(lines);
    for (int k = 0; k < times; ++k) lines->Set("Import", file.c_str());
    if (lines->ComponentCount() != n * times) state.SkipWithError("lines missing");
    state.PauseTiming();
    project.DeleteComponent("Polylines");
    AK_DeleteDetachedObjects();
    state.ResumeTiming();
  }
  AK_MessageHook = previous;
  state.SetItemsProcessed(state.iterations() * n * times);
  std::filesystem::remove(file);
}

}  // namespace

BENCHMARK(BM_ImportUnnamedLines)
    ->ArgNames({"lines", "times"})
    ->Args({10000, 1})
    ->Args({100000, 1})
    ->Args({2000, 2})
    ->Args({4000, 2})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
  AttributesDirectory = TORVU_ATTRIBUTES_DIR "/";
  SW_RegisterSceneClasses();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  AK_DeleteDetachedObjects();
  return 0;
}
