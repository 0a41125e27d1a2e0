// The dam break on an incline and the parabolic cap of the end-to-end tests at larger sizes:
// each iteration is one whole run of the program (import, set-up, 50 steps of 0.1 s, output,
// flow-depth export), on grids of 1, 0.5 and 0.25 m, so with about 4 * 10^3, 1.6 * 10^4 and
// 6.4 * 10^4 particles. The items processed are particle-steps, so the reported rate is
// particle-steps per second of the whole program; the counters give the errors against the
// analytic solutions (lengths in m, speeds in m/s, depths relative to the release depth). The
// second argument 1 averages the speed for the friction over the step ("$compat" "v2017").
// "loop_cpu" is the processor time the run loop reports (all threads). On the 0.25 m grid with
// the averaged speed the flow reaches the sides of the terrain, and particles that leave it go.
//
// BM_CommandBesideSeries/N/command: what a user pays at each command beside a long series: a run
// of the dam break on the 2 m grid to 1 s, N more time-step names below its record, then one
// process that loads the project (command 0), loads it and continues the run by one output step
// (1), or loads it and saves a changed value (2). Each iteration runs on a fresh copy.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "FlowRuns.h"

namespace {

using namespace flowruns;

Settings Speed(int64_t averaged) { return averaged ? Settings{{"$compat", "v2017"}} : Settings{}; }

// The processor time of the run loop, from its closing message.
double LoopCpu(const Outcome& out)
{
  const std::string key = "terminated; CPU time ";
  const size_t at = out.log.find(key);
  return at == std::string::npos ? -1 : std::atof(out.log.c_str() + at + key.size());
}

bool Finished(benchmark::State& state, const Outcome& out)
{
  if (out.status == 0) return true;
  state.SkipWithError(("torvu failed: " + out.log.substr(0, 400)).c_str());
  return false;
}

void BM_DamBreak(benchmark::State& state)
{
  const double cell = 1.0 / static_cast<double>(state.range(0));
  const DamBreak ana;
  DamBreakResult r;
  double cpu = 0;
  int64_t items = 0;
  for (auto _ : state) {
    ScratchDir dir;
    const Outcome out = RunCase(dir, ana.Make(cell, Speed(state.range(1))), TORVU_PROGRAM, TORVU_ATTRIBUTES);
    if (!Finished(state, out)) return;
    state.PauseTiming();
    cpu = LoopCpu(out);
    r = Measure(ana, dir, out.run);
    state.ResumeTiming();
    items += static_cast<int64_t>(r.particles) * 50;
  }
  state.SetItemsProcessed(items);
  state.counters["particles"] = static_cast<double>(r.particles);
  state.counters["loop_cpu"] = cpu;
  state.counters["front"] = r.front;
  state.counters["front_analytic"] = ana.Front();
  state.counters["depth90"] = r.tail;
  state.counters["depth90_analytic"] = ana.DepthReached(0.9);
  state.counters["L2"] = r.l2;
  state.counters["max"] = r.max;
  state.counters["mass_change"] = (r.endMass - r.startMass) / r.startMass;
}

void BM_ParabolicCap(benchmark::State& state)
{
  const double cell = 1.0 / static_cast<double>(state.range(0));
  const ParabolicCap ana;
  CapResult r;
  double cpu = 0;
  int64_t items = 0;
  for (auto _ : state) {
    ScratchDir dir;
    // The same depth per particle on every grid: four times the particles per halving.
    const Outcome out = RunCase(dir, ana.Make(cell, 0.05, Speed(state.range(1))), TORVU_PROGRAM, TORVU_ATTRIBUTES);
    if (!Finished(state, out)) return;
    state.PauseTiming();
    cpu = LoopCpu(out);
    r = Measure(ana, dir, out.run);
    state.ResumeTiming();
    items += static_cast<int64_t>(r.particles) * 50;
  }
  state.SetItemsProcessed(items);
  state.counters["particles"] = static_cast<double>(r.particles);
  state.counters["loop_cpu"] = cpu;
  state.counters["centre"] = r.centre;
  state.counters["centre_analytic"] = ana.Centre();
  state.counters["speed"] = r.speed;
  state.counters["speed_analytic"] = ana.Speed();
  state.counters["radius_along"] = r.along;
  state.counters["radius_across"] = r.across;
  state.counters["radius_analytic"] = ana.Radius();
}

// The dam break run to 1 s in `dir`, with n more copies of its first time step named by times
// between its outputs.
void PrepareSeries(const ScratchDir& dir, int n)
{
  DamBreak ana;
  ana.t = 1;
  const Outcome out = RunCase(dir, ana.Make(2, {}), TORVU_PROGRAM, TORVU_ATTRIBUTES);
  if (out.status != 0) return;
  const std::string first = out.run + "/at_0000000.0000.TimeStep";
  for (int i = 1, made = 0; made < n; ++i) {
    if (i % 2500 == 0) continue;  // a whole second: an output's own name
    char name[64];
    std::snprintf(name, sizeof name, "/at_%012.4f.TimeStep", i * 0.0004);
    std::filesystem::copy_file(first, out.run + name);
    ++made;
  }
}

void BM_CommandBesideSeries(benchmark::State& state)
{
  ScratchDir prepared;
  PrepareSeries(prepared, int(state.range(0)));
  const std::string sim = kSimulation;
  std::string macro = "set(\"\", \"ProjectDir\", \"project\")\nset(\"Project\", \"LoadProject\", \"\")\n";
  if (state.range(1) == 1) macro += "set(\"" + sim + "\", \"EndTime\", \"2\")\nset(\"" + sim + "\", \"Continue\", \"\")\n";
  if (state.range(1) == 2)
    macro += "set(\"" + sim + "\", \"BedFrictionAngle\", \"20\")\nset(\"Project\", \"SaveProject\", \"\")\n";
  for (auto _ : state) {
    state.PauseTiming();
    ScratchDir dir;
    std::filesystem::copy(prepared / "project", dir / "project", std::filesystem::copy_options::recursive);
    dir.Write("command.macro", macro);
    state.ResumeTiming();
    int status = -1;
    RunProcess(TorvuOffscreen(dir.Path(), TORVU_PROGRAM, TORVU_ATTRIBUTES, "command.macro > torvu.log 2>&1 < /dev/null"),
               &status);
    if (status != 0) {
      state.SkipWithError(("torvu failed: " + ReadFile(dir / "torvu.log").substr(0, 400)).c_str());
      return;
    }
  }
}

}  // namespace

BENCHMARK(BM_CommandBesideSeries)
    ->ArgsProduct({{1000, 12000}, {0, 1, 2}})
    ->Iterations(5)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DamBreak)->ArgsProduct({{1, 2, 4}, {0, 1}})->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ParabolicCap)->ArgsProduct({{1, 2, 4}, {0, 1}})->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
