// Delaunay tetrahedralisation of 10^6 uniform random points in the unit box: this system's
// incremental insertion side by side with CGAL's 3-D Delaunay triangulation on the same
// points (when CGAL is present), once in the same insertion order and once with CGAL's own
// spatial sort. Each reports the peak heap memory it needed ("peak_MB").
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "AK_Random.h"
#include "DelaunayTetMesh.h"

#ifdef TORVU_HAVE_CGAL
#include <CGAL/Delaunay_triangulation_3.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#endif

// ---- heap accounting: every allocation carries its size in front of it -------------------

namespace {
std::atomic<int64_t> g_heapNow{0}, g_heapPeak{0};

void* Allocate(size_t n)
{
  auto* block = static_cast<size_t*>(std::malloc(n + 16));
  if (!block) throw std::bad_alloc();
  *block = n;
  int64_t now = g_heapNow += int64_t(n);
  int64_t peak = g_heapPeak.load();
  while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {}
  return reinterpret_cast<char*>(block) + 16;
}

void Release(void* p) noexcept
{
  if (!p) return;
  auto* block = reinterpret_cast<size_t*>(static_cast<char*>(p) - 16);
  g_heapNow -= int64_t(*block);
  std::free(block);
}
}  // namespace

void* operator new(size_t n) { return Allocate(n); }
void* operator new[](size_t n) { return Allocate(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept
{
  try {
    return Allocate(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return operator new(n, std::nothrow); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }

namespace {

const std::vector<AK_Vec3>& Points(size_t n)
{
  static std::vector<AK_Vec3> pts;
  if (pts.size() != n) {
    AK_SeedRandom(12345);
    pts.resize(n);
    for (auto& p : pts)
      p = AK_Vec3(AK_Random() / 2147483648.0, AK_Random() / 2147483648.0, AK_Random() / 2147483648.0);
  }
  return pts;
}

// Starts the peak count at what is allocated now; answers the extra peak in MB.
struct PeakMeter {
  int64_t base = g_heapNow.load();
  PeakMeter() { g_heapPeak = base; }
  double MB() const { return double(g_heapPeak.load() - base) / (1024.0 * 1024.0); }
};

void BM_Torvu_TetMesh(benchmark::State& state)
{
  const auto& pts = Points(size_t(state.range(0)));
  AK_MessageHook = [](const char*, const char*) {};
  for (auto _ : state) {
    PeakMeter meter;
    DelaunayTetMesh mesh;
    mesh.Init(AK_Vec3(0, 0, 0), AK_Vec3(1, 1, 1), int64_t(pts.size()));
    int64_t searched = AK_TetsSearchedCounter;
    for (const AK_Vec3& p : pts) mesh.InsertPoint(p);
    state.counters["tets"] = mesh._t.Size();
    state.counters["steps_per_point"] = double(AK_TetsSearchedCounter - searched) / double(pts.size());
    state.counters["peak_MB"] = meter.MB();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Torvu_TetMesh)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

#ifdef TORVU_HAVE_CGAL
using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Delaunay3 = CGAL::Delaunay_triangulation_3<Kernel>;

std::vector<Kernel::Point_3> CgalPoints(const std::vector<AK_Vec3>& pts)
{
  std::vector<Kernel::Point_3> out;
  out.reserve(pts.size());
  for (const AK_Vec3& p : pts) out.emplace_back(p.x, p.y, p.z);
  return out;
}

// Our insertion order, each point located from the cell of the one before.
void BM_CGAL_SameOrder(benchmark::State& state)
{
  const auto cp = CgalPoints(Points(size_t(state.range(0))));
  for (auto _ : state) {
    PeakMeter meter;
    Delaunay3 dt;
    Delaunay3::Vertex_handle last;
    for (const auto& p : cp) last = last == Delaunay3::Vertex_handle() ? dt.insert(p) : dt.insert(p, last->cell());
    state.counters["tets"] = double(dt.number_of_finite_cells());
    state.counters["peak_MB"] = meter.MB();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CGAL_SameOrder)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);

// CGAL's range insertion, which sorts the points along a space-filling curve first.
void BM_CGAL_SpatialSort(benchmark::State& state)
{
  const auto cp = CgalPoints(Points(size_t(state.range(0))));
  for (auto _ : state) {
    PeakMeter meter;
    Delaunay3 dt(cp.begin(), cp.end());
    state.counters["tets"] = double(dt.number_of_finite_cells());
    state.counters["peak_MB"] = meter.MB();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CGAL_SpatialSort)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(1);
#endif

}  // namespace

BENCHMARK_MAIN();
