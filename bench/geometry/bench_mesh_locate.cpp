// Point location and interpolation weights per particle with the previous cell as hint,
// as the flow simulation asks them in every time step: on a 2000 x 2000 Cartesian grid and
// on a general mesh of about 10^6 triangles. One benchmark iteration is one query, so the
// reported time is the time per query.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "TestMeshes.h"
#include "SW_MeshCore.h"

namespace {

struct Particle {
  double x, y, vx, vy;
  int32_t cell;
};

// n particles in a square patch of the given fraction of the mesh's side (centred), moving
// in random directions.
std::vector<Particle> MakeParticles(int n, double size, double step, double fraction)
{
  meshtest::Rng rng(42);
  std::vector<Particle> ps(static_cast<size_t>(n));
  double lo = 0.5 * size * (1 - fraction) + 0.01 * size, hi = size - lo;
  for (auto& p : ps) {
    p.x = rng.Uniform(lo, hi);
    p.y = rng.Uniform(lo, hi);
    double a = rng.Uniform(0, 6.283185307179586);
    p.vx = step * std::cos(a);
    p.vy = step * std::sin(a);
    p.cell = -1;
  }
  // The simulation keeps its particles sorted into a grid for the neighbour search, so
  // consecutive particles lie close together: sort them into bands of rows.
  std::sort(ps.begin(), ps.end(), [&](const Particle& a, const Particle& b) {
    int ra = static_cast<int>(a.y / (size / 300)), rb = static_cast<int>(b.y / (size / 300));
    return ra != rb ? ra < rb : a.x < b.x;
  });
  return ps;
}

inline void Move(Particle& p, double size)
{
  p.x += p.vx;
  p.y += p.vy;
  if (p.x < 0.01 * size || p.x > 0.99 * size) p.vx = -p.vx;
  if (p.y < 0.01 * size || p.y > 0.99 * size) p.vy = -p.vy;
}

const SW_MeshCore& Grid()
{
  static SW_MeshCore* mesh = [] {
    auto* m = new SW_MeshCore;
    meshtest::MakeCartesian(*m, 2000, 2000, 5.0, 0, 0, [](double x, double y) {
      return 0.1 * x + 0.05 * y;
    });
    return m;
  }();
  return *mesh;
}

const SW_MeshCore& Triangles()
{
  static SW_MeshCore* mesh = [] {
    auto* m = new SW_MeshCore;
    // 708 x 708 squares, two triangles each: 1,002,528 triangles.
    meshtest::MakeJitteredTriangles(*m, 708, 7080.0, 7, [](double x, double y) {
      return 0.1 * x + 0.05 * y;
    });
    return m;
  }();
  return *mesh;
}

// state.range(0): the side of the particles' patch in percent of the mesh's side. An
// avalanche covers part of the terrain with about one particle per cell or more (15%);
// 100% spreads 10^5 particles thinly over the whole mesh, so that nearly every query misses
// the caches.
//
// Moves the particles one after the other and hands each to `locate`, which places it on the
// mesh from its previous cell and answers a weight (kept so the work is not optimised away).
template <class Locate>
void RunParticles(benchmark::State& state, const SW_MeshCore& mesh, double size, double cell,
                  Locate locate)
{
  // Particles move a third of a cell per step, like a flow at moderate Courant number.
  std::vector<Particle> ps = MakeParticles(100000, size, cell / 3, state.range(0) / 100.0);
  for (auto& p : ps) p.cell = mesh.FindCell(p.x, p.y, -1);  // the first step has no hint
  size_t k = 0;
  double sink = 0;
  for (auto _ : state) {
    Particle& p = ps[k];
    if (++k == ps.size()) k = 0;
    Move(p, size);
    sink += locate(p);
  }
  benchmark::DoNotOptimize(sink);
}

void RunQueries(benchmark::State& state, const SW_MeshCore& mesh, double size, double cell)
{
  RunParticles(state, mesh, size, cell, [&mesh](Particle& p) {
    double w[4] = {0, 0, 0, 0};
    p.cell = mesh.FindCell(p.x, p.y, p.cell);
    if (p.cell >= 0) mesh.CellWeights(p.cell, p.x, p.y, w);
    return w[0];
  });
}

void RunProjection(benchmark::State& state, const SW_MeshCore& mesh, double size, double cell)
{
  RunParticles(state, mesh, size, cell, [&mesh](Particle& p) {
    double w[4];
    AK_Vec3 q(p.x, p.y, 0.1 * p.x + 0.05 * p.y + 1.0);
    p.cell = mesh.ProjectToSurface(q, p.cell, w);
    return w[0];
  });
}

void BM_FindCellWeights_Grid2000(benchmark::State& state) { RunQueries(state, Grid(), 10000.0, 5.0); }
void BM_FindCellWeights_Triangles1M(benchmark::State& state)
{
  RunQueries(state, Triangles(), 7080.0, 10.0);
}
void BM_ProjectToSurface_Grid2000(benchmark::State& state) { RunProjection(state, Grid(), 10000.0, 5.0); }
void BM_ProjectToSurface_Triangles1M(benchmark::State& state)
{
  RunProjection(state, Triangles(), 7080.0, 10.0);
}

}  // namespace

BENCHMARK(BM_FindCellWeights_Grid2000)->Arg(15)->Arg(100);
BENCHMARK(BM_FindCellWeights_Triangles1M)->Arg(15)->Arg(100);
BENCHMARK(BM_ProjectToSurface_Grid2000)->Arg(15)->Arg(100);
BENCHMARK(BM_ProjectToSurface_Triangles1M)->Arg(15)->Arg(100);
BENCHMARK_MAIN();
