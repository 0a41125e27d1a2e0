// Whole time steps of the flow model on a 5 m terrain grid (600 x 300 cells): particles
// released five to a cell on a 30-degree slope with a gentle cross fall, in the order a
// release generates them (cell by cell), with the simulation's default parameters (bed
// friction 16 degrees, subgrid mixing 100, curvature reduction 1).
//
// BM_FlowStep/method/particles/threads: method 0 is the mesh-field lateral force (SphMode 0),
// 1 the smoothed-particle method (SphMode 1). Items are particle-steps, so the rate is
// particle-steps per second; real time counts (threads). "ms:..." are the wall-clock
// milliseconds per step of each phase. "bytes/particle" is the memory of
// the particle columns (with their room to grow), of the neighbour grid and of the threads'
// scratch per particle.
//
// BM_EntrainingStep/method/threads: BM_FlowStep with 200,000 particles over a layer of 60 kg/m²
// of snow on every cell (no erosion energy: each particle asks for the snow it sweeps), so that
// every step entrains and caps each cell's entrainment at what lies there.
//
// BM_BodyForces/law: the body-force phase alone on one thread, from the same particle state
// in every iteration, with the built-in law (0) and with the user law (1: the simulation's
// default shear formula through its prepared script call). The difference of the two times
// per particle is the cost of one call of the user law.
//
// BM_UserLawPhase/threads: the body-force phase as a step runs it (on the run's threads when
// the law allows), with the simulation's default shear formula as a user law, from the same
// particle state in every iteration; real time.
#include <benchmark/benchmark.h>

#include <cmath>

#include "AK_Framework.h"
#include "SW_Flow.h"
#include "SW_Simulation.h"
#include "SW_SimulationClasses.h"
#include "SW_SimulationRun.h"
#include "TestMeshes.h"

namespace {

struct Bench {
  SW_MeshCore mesh;
  SW_FlowRun run{mesh};

  Bench(int sph, int particles, int threads)
  {
    const double dx = 5;
    meshtest::MakeCartesian(mesh, 600, 300, dx, 0, 0, [](double x, double y) {
      return -std::tan(30 * std::acos(-1.0) / 180) * x + 0.0005 * (y - 750) * (y - 750);
    });
    run.fields.Bind(mesh);
    run.par.sphMode = sph;
    run.par.resolution = dx;
    run.par.massPerParticle = 1000;
    run.par.threads = threads;
    SW_ParticleStore& p = run.particles;
    meshtest::Rng rng(7);
    const int32_t side = static_cast<int32_t>(std::sqrt(particles / 5.0)) + 1;
    for (int32_t i = 0; i < side && p.Count() < particles; ++i)
      for (int32_t j = 0; j < side && p.Count() < particles; ++j)
        for (int k = 0; k < 5 && p.Count() < particles; ++k)
          p.Add(mesh, AK_Vec3(100 + (i + rng.Uniform(0, 1)) * dx, 750 - side * dx / 2 + (j + rng.Uniform(0, 1)) * dx, 0),
                1000, AK_Vec3(), 0, 0, p.Count() ? p.cell.Last() : -1);
    SW_UpdateFields(mesh, run.par.density, p, 0, run.fields);
    // A few steps first, so the flow moves and the fields are those of a running avalanche.
    AK_String error;
    for (int k = 0; k < 5; ++k) SW_ComputeTimeStep(run, k * 0.1, 0.1, error);
  }

  double BytesPerParticle()
  {
    SW_ParticleStore& p = run.particles;
    double bytes = 0;
    auto add = [&bytes](const auto& column) {
      bytes += double(column._capacity) * sizeof(column._elems[0]);
    };
    p.ForEachStateColumn(add);
    p.ForEachWorkColumn(add);
    if (run.par.sphMode != 0) {
      add(run.grid.sorted);
      add(run.grid.points);
      add(run.grid.bucket);
    }
    bytes += double(run.workers.ScratchBytes());
    return bytes / p.Count();
  }
};

// Whole steps of the bench's run, timed with their phases and its memory per particle.
void TimeSteps(benchmark::State& state, Bench& b)
{
  AK_String error;
  double t = 0.5;
  int64_t items = 0;
  double seconds[SW_FlowStepReport::Phases] = {};
  for (auto _ : state) {
    items += b.run.particles.Count();
    SW_ComputeTimeStep(b.run, t, 0.1, error);
    t += 0.1;
    for (int k = 0; k < SW_FlowStepReport::Phases; ++k) seconds[k] += b.run.report.seconds[k];
  }
  state.SetItemsProcessed(items);
  // Milliseconds per step in each phase, wall clock.
  static const char* const phases[SW_FlowStepReport::Phases] = {"ms:grid", "ms:body", "ms:lateral",
                                                                  "ms:motion", "ms:remove", "ms:fields"};
  for (int k = 0; k < SW_FlowStepReport::Phases; ++k)
    state.counters[phases[k]] = seconds[k] * 1000 / double(state.iterations());
  state.counters["particles"] = b.run.particles.Count();
  state.counters["bytes/particle"] = b.BytesPerParticle();
}

void BM_FlowStep(benchmark::State& state)
{
  Bench b(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
          static_cast<int>(state.range(2)));
  TimeSteps(state, b);
}

void BM_EntrainingStep(benchmark::State& state)
{
  Bench b(static_cast<int>(state.range(0)), 200000, static_cast<int>(state.range(1)));
  for (float& snow : b.run.fields.entrainmentMass) snow = 60;
  TimeSteps(state, b);
}

// Times one phase from the same particles every iteration (the copy back is not timed).
template <class Phase>
void TimeFromTheSameParticles(benchmark::State& state, Bench& b, Phase phase)
{
  b.run.particles.SizeWork();
  const SW_ParticleStore start = b.run.particles;
  AK_String error;
  for (auto _ : state) {
    state.PauseTiming();
    b.run.particles = start;
    state.ResumeTiming();
    phase(b.run, error);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * start.Count());
}

void BM_BodyForces(benchmark::State& state)
{
  AK_Container root{"project", nullptr};
  auto* sim = new SW_Simulation("avalanche", &root);
  root.AddComponent(sim);
  Bench b(0, 200000, 1);
  if (state.range(0)) {
    SW_FillFlowParameters(*sim, b.run.par);
    b.run.par.frictionLaw = SW_FrictionUser;
    b.run.par.threads = 1;
  }
  TimeFromTheSameParticles(state, b, [](SW_FlowRun& run, AK_String& error) {
    SW_ComputeBodyForces(run, 0, run.particles.Count(), 0.5, 0.1, error);
  });
}

void BM_UserLawPhase(benchmark::State& state)
{
  AK_Container root{"project", nullptr};
  auto* sim = new SW_Simulation("avalanche", &root);
  root.AddComponent(sim);
  const int threads = static_cast<int>(state.range(0));
  // A friction type that is no built-in law and no rheology file: the shear formula.
  sim->Set("FrictionType", "shear formula");
  Bench b(0, 200000, 1);
  SW_FillFlowParameters(*sim, b.run.par);
  b.run.par.threads = threads;
  b.run.workers.Use(threads);
  TimeFromTheSameParticles(state, b, [](SW_FlowRun& run, AK_String& error) {
    SW_BodyForcesPhase(run, 0.5, 0.1, error);
  });
  state.counters["instances"] = b.run.par.lawContexts.Size();
}

}  // namespace

BENCHMARK(BM_FlowStep)
    ->ArgNames({"method", "particles", "threads"})
    ->ArgsProduct({{0, 1}, {20000, 200000}, {1, 8}})
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EntrainingStep)
    ->ArgNames({"method", "threads"})
    ->ArgsProduct({{0, 1}, {1, 8}})
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BodyForces)->ArgNames({"userlaw"})->Arg(0)->Arg(1)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UserLawPhase)
    ->ArgNames({"threads"})
    ->Arg(1)
    ->Arg(8)
    ->Iterations(20)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
  AttributesDirectory = TORVU_ATTRIBUTES_DIR "/";
  SW_RegisterSimulationClasses();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  AK_DeleteDetachedObjects();
  return 0;
}
