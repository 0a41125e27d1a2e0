// The dam break on an incline and the parabolic cap of the end-to-end tests at larger sizes:
// each iteration is one whole run of the program (import, set-up, 50 steps of 0.1 s, output,
// flow-depth export), on grids of 1, 0.5 and 0.25 m, so with about 4 * 10^3, 1.6 * 10^4 and
// 6.4 * 10^4 particles. The items processed are particle-steps, so the reported rate is
// particle-steps per second of the whole program; the counters give the errors against the
// analytic solutions (lengths in m, speeds in m/s, depths relative to the release depth). The
// second argument 1 averages the speed for the friction over the step ("$compat" "v2017").
// "loop_cpu" is the processor time the run loop reports (all threads). On the 0.25 m grid with
// the averaged speed the flow reaches the sides of the terrain, and particles that leave it go.
#include <benchmark/benchmark.h>

#include <cstdlib>

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

}  // namespace

BENCHMARK(BM_DamBreak)->ArgsProduct({{1, 2, 4}, {0, 1}})->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ParabolicCap)->ArgsProduct({{1, 2, 4}, {0, 1}})->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
