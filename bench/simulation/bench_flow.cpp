// Whole time steps of the flow model on a 5 m terrain grid: 2 * 10^5 particles released
// five to a cell on a 30-degree slope with a gentle cross fall, with the mesh-field lateral
// forces (SphMode 0) and the smoothed-particle method (SphMode 1). The particles stand in the
// order a release generates them, cell by cell. A third argument of 1 runs the user friction
// law (the simulation's default shear formula, a prepared script call) in place of the
// built-in law: the difference per particle-step is the cost of one call. The fourth is the
// number of threads (real time counts then). The items processed are
// particle-steps, so the reported rate is particle-steps per second.
#include <benchmark/benchmark.h>

#include <cmath>

#include "AK_Framework.h"
#include "SW_Flow.h"
#include "SW_Simulation.h"
#include "SW_SimulationClasses.h"
#include "TestMeshes.h"

namespace {

struct Run {
  SW_MeshCore mesh;
  SW_FlowParameters par;
  SW_FlowCells cells;
  SW_FlowFields fields;
  SW_FlowParticles p;
  SW_FlowGrid grid;
};

void Prepare(Run& r, int sph, int particles)
{
  const double dx = 5;
  meshtest::MakeCartesian(r.mesh, 600, 300, dx, 0, 0, [](double x, double y) {
    return -std::tan(30 * std::acos(-1.0) / 180) * x + 0.0005 * (y - 750) * (y - 750);
  });
  r.fields.Bind(r.mesh);
  r.par.sphMode = sph;
  r.par.resolution = dx;
  r.par.massPerParticle = 1000;
  // Cell by cell, as the release generates them, so the particle order follows the terrain.
  meshtest::Rng rng(7);
  const int32_t side = static_cast<int32_t>(std::sqrt(particles / 5.0));
  for (int32_t i = 0; i < side && r.p.Count() < particles; ++i)
    for (int32_t j = 0; j < side && r.p.Count() < particles; ++j)
      for (int k = 0; k < 5 && r.p.Count() < particles; ++k)
        r.p.Add(r.mesh, AK_Vec3(100 + (i + rng.Uniform(0, 1)) * dx,
                                750 - side * dx / 2 + (j + rng.Uniform(0, 1)) * dx, 0),
                1000, AK_Vec3(), 0, 0, r.p.Count() ? r.p.cell.Last() : -1);
  SW_UpdateFields(r.mesh, r.par.density, r.p, 0, r.fields);
  // A few steps first, so the flow moves and the fields are those of a running avalanche.
  SW_FlowStepReport report;
  AK_String error;
  for (int k = 0; k < 5; ++k)
    SW_ComputeTimeStep(r.mesh, r.par, r.cells, nullptr, r.fields, r.p, r.grid, k * 0.1, 0.1, report, error);
}

void BM_FlowStep(benchmark::State& state)
{
  Run r;
  AK_Container root{"project", nullptr};
  auto* sim = new SW_Simulation("avalanche", &root);
  root.AddComponent(sim);
  if (state.range(2)) {
    SW_FillFlowParameters(*sim, r.par);
    r.par.frictionLaw = SW_FrictionUser;
  }
  r.par.threads = static_cast<int>(state.range(3));
  Prepare(r, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  SW_FlowStepReport report;
  AK_String error;
  double t = 0.5;
  int64_t items = 0;
  for (auto _ : state) {
    items += r.p.Count();
    SW_ComputeTimeStep(r.mesh, r.par, r.cells, nullptr, r.fields, r.p, r.grid, t, 0.1, report, error);
    t += 0.1;
  }
  state.SetItemsProcessed(items);
  state.counters["particles"] = r.p.Count();
}

}  // namespace

BENCHMARK(BM_FlowStep)
    ->Args({0, 200000, 0, 1})
    ->Args({1, 200000, 0, 1})
    ->Args({0, 200000, 1, 1})
    ->Args({0, 200000, 0, 3})
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
