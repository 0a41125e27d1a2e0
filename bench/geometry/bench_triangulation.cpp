// Delaunay triangulation of 10^6 uniform random points: this system's incremental
// insertion (shuffled from the fixed seed, with the locator grid) side by side with CGAL's
// 2-D Delaunay triangulation on the same points, when CGAL is present.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "AK_Triangulation2.h"
#include "BenchPhases.h"
#include "TestMeshes.h"
#include "SW_MeshCore.h"
#include "SW_MeshTriangulation.h"

#ifdef TORVU_HAVE_CGAL
#include <CGAL/Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Triangulation_hierarchy_2.h>
#endif

namespace {

const std::vector<AK_Vec2>& Points(size_t n)
{
  static std::vector<AK_Vec2> pts;
  if (pts.size() != n) {
    meshtest::Rng rng(12345);
    pts.resize(n);
    for (auto& p : pts) p = AK_Vec2{rng.Uniform(0, 1000), rng.Uniform(0, 1000)};
  }
  return pts;
}

// The insertion order of the point-set reader: five rounds of n swaps from seed 333.
std::vector<const AK_Vec2*> ShuffledOrder(const std::vector<AK_Vec2>& pts)
{
  std::vector<const AK_Vec2*> order(pts.size());
  for (size_t i = 0; i < pts.size(); ++i) order[i] = &pts[i];
  SW_ShuffleInsertionOrder(order, 333);
  return order;
}

// The triangulation as the point-set reader runs it: shuffle, insert every point.
void BM_Torvu_Delaunay(benchmark::State& state)
{
  const auto& pts = Points(static_cast<size_t>(state.range(0)));
  const int32_t n = static_cast<int32_t>(pts.size());
  AK_MessageHook = [](const char*, const char*) {};
  for (auto _ : state) {
    std::vector<const AK_Vec2*> order = ShuffledOrder(pts);
    AK_Triangulation2 tri(AK_Vec2{0, 0}, AK_Vec2{1000, 1000});
    SW_InsertInOrder(tri, order, [](int32_t, int, const AK_Vec2*) {});
    benchmark::DoNotOptimize(tri.NumTriangles());
    state.counters["steps_per_point"] = double(tri.SearchSteps()) / n;
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The whole mesh build from points: triangulation, cells, neighbour table. The phases are
// told apart by the messages that open them; "release" is the freeing of the working data.
void BM_Torvu_TriangulatePoints(benchmark::State& state)
{
  const auto& pts = Points(static_cast<size_t>(state.range(0)));
  PhaseTimer phases({{"shuffle", "randomizing insertion order"},
                     {"insert", "performing Delaunay triangulation"},
                     {"cells", "Triangulation statistics"},
                     {"lcc_init", "initializing lcc"},
                     {"lcc", "computing lcc"},
                     {"release", "computing connectivity done"}});
  AK_Array<AK_Vec3> vertices;
  for (const auto& p : pts) vertices.Append(AK_Vec3(p.x, p.y, 0));
  for (auto _ : state) {
    // A fresh mesh each time, as after reading a file: no array has its memory yet.
    state.PauseTiming();
    auto mesh = std::make_unique<SW_MeshCore>();
    mesh->_x = vertices;
    state.ResumeTiming();
    mesh->TriangulatePoints();
    phases.Stop();
    benchmark::DoNotOptimize(mesh->NumCells());
    state.PauseTiming();
    mesh.reset();
    state.ResumeTiming();
  }
  phases.Report(state);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The neighbour table alone, of the cells of the points' triangulation (in the order the
// triangulation made them).
void BM_Torvu_Connectivity(benchmark::State& state)
{
  const auto& pts = Points(static_cast<size_t>(state.range(0)));
  AK_MessageHook = [](const char*, const char*) {};
  SW_MeshCore mesh;
  for (const auto& p : pts) mesh._x.Append(AK_Vec3(p.x, p.y, 0));
  mesh.TriangulatePoints();
  for (auto _ : state) {
    mesh.ComputeConnectivity();
    benchmark::DoNotOptimize(mesh._lcc._elems);
  }
  state.SetItemsProcessed(state.iterations() * mesh.NumCells());
}

#ifdef TORVU_HAVE_CGAL
void BM_CGAL_Delaunay(benchmark::State& state)
{
  using K = CGAL::Exact_predicates_inexact_constructions_kernel;
  using Point = K::Point_2;
  const auto& pts = Points(static_cast<size_t>(state.range(0)));
  std::vector<Point> cp;
  cp.reserve(pts.size());
  for (const auto& p : pts) cp.emplace_back(p.x, p.y);
  for (auto _ : state) {
    CGAL::Delaunay_triangulation_2<K> dt;
    dt.insert(cp.begin(), cp.end());
    benchmark::DoNotOptimize(dt.number_of_faces());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CGAL_Delaunay)->Arg(1000000)->Unit(benchmark::kMillisecond);

// CGAL held to the same insertion order as ours (the fixed shuffle), one point at a time,
// with its own point-location hierarchy: the same work without the spatial sort.
void BM_CGAL_Delaunay_SameOrder(benchmark::State& state)
{
  using K = CGAL::Exact_predicates_inexact_constructions_kernel;
  using Vb = CGAL::Triangulation_hierarchy_vertex_base_2<CGAL::Triangulation_vertex_base_2<K>>;
  using Tds = CGAL::Triangulation_data_structure_2<Vb>;
  using Dt = CGAL::Delaunay_triangulation_2<K, Tds>;
  using Hierarchy = CGAL::Triangulation_hierarchy_2<Dt>;
  const auto& pts = Points(static_cast<size_t>(state.range(0)));
  std::vector<K::Point_2> cp;
  cp.reserve(pts.size());
  for (const AK_Vec2* p : ShuffledOrder(pts)) cp.emplace_back(p->x, p->y);
  for (auto _ : state) {
    Hierarchy dt;
    for (const auto& p : cp) dt.insert(p);
    benchmark::DoNotOptimize(dt.number_of_faces());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CGAL_Delaunay_SameOrder)->Arg(1000000)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK(BM_Torvu_Delaunay)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Torvu_Connectivity)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Torvu_TriangulatePoints)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
