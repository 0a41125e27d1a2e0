// Importing an ESRI ASCII grid of 2001 x 2001 points (4 million heights) into a Cartesian
// grid mesh with connectivity, vertex normals and contour lines, with and without NODATA
// holes to fill; the mesh record of such a grid written and read back.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "AK_Framework.h"
#include "BenchPhases.h"
#include "SW_ContourLines.h"
#include "SW_MeshRecord.h"
#include "SW_MeshFiles.h"

namespace {

void Quiet(const char*, const char*) {}

// Writes a terrain of n x n points once per process: smooth hills with metre heights to two
// decimals, and with holes of a few hundred points when asked.
std::string GridFile(int n, bool holes)
{
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("torvu_bench_grid_" + std::to_string(::getpid()) + "_" +
                                std::to_string(n) + (holes ? "_holes" : "") + ".asc");
  if (std::filesystem::exists(path)) return path.string();
  FILE* f = std::fopen(path.c_str(), "w");
  std::fprintf(f, "ncols %d\nnrows %d\nxllcorner 2600000\nyllcorner 1200000\ncellsize 5\n"
               "NODATA_value -9999\n", n, n);
  std::string row;
  char value[32];
  for (int r = n - 1; r >= 0; --r) {
    row.clear();
    for (int c = 0; c < n; ++c) {
      double z = 1500 + 400 * std::sin(c * 0.004) * std::cos(r * 0.003) + 0.01 * ((c * 7 + r * 13) % 100);
      bool hole = holes && ((c / 40 + r / 40) % 7 == 0) && (c % 40 < 20) && (r % 40 < 20);
      if (hole)
        row += "-9999 ";
      else {
        std::snprintf(value, sizeof value, "%.2f ", z);
        row += value;
      }
    }
    row += '\n';
    std::fwrite(row.data(), 1, row.size(), f);
  }
  std::fclose(f);
  return path.string();
}

void RemoveFile(const std::string& path)
{
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

// The mesh object's contour lines of the heights: a level every 20 m.
std::unique_ptr<SW_ContourLineSet> ContourLines(const SW_MeshCore& mesh)
{
  AK_Array<float> z(mesh.NumVertices());
  double lo = mesh._x[0].z, hi = lo;
  for (const AK_Vec3& p : mesh._x) {
    z.Append(static_cast<float>(p.z));
    lo = std::min(lo, p.z);
    hi = std::max(hi, p.z);
  }
  AK_Array<double> levels;
  for (double level = std::ceil(lo / 20) * 20; level <= hi; level += 20) levels.Append(level);
  return SW_ContourLineSet::Compute(mesh, z, levels);
}

// Import with connectivity and normals, then the contour lines the mesh object draws.
void BM_GridImport(benchmark::State& state)
{
  const int n = static_cast<int>(state.range(0));
  const bool holes = state.range(1) != 0;
  std::string path = GridFile(n, holes);
  // The phases of the import, by the messages that open them; "free" is the mesh's release.
  PhaseTimer phases({{"read", "reading file"},
                     {"cells", "correct number of z-values read"},
                     {"lcc_init", "initializing lcc"},
                     {"lcc", "computing lcc"},
                     {"normals", "computing connectivity done"},
                     {"contours", "tracing contour lines"},
                     {"free", "releasing the mesh"}});
  int32_t cells = 0, lines = 0;
  for (auto _ : state) {
    {
      SW_MeshCore mesh;
      AK_String error;
      if (!SW_ReadAsciiGrid(mesh, path.c_str(), 0, 1, error)) state.SkipWithError(error.c_str());
      benchmark::DoNotOptimize(mesh._vertexNormals._elems);
      cells = mesh.NumCells();
      AK_MESSAGE("tracing contour lines");
      lines = ContourLines(mesh)->Count();
      AK_MESSAGE("releasing the mesh");
    }
    phases.Stop();
  }
  state.counters["cells"] = cells;
  state.counters["contour_lines"] = lines;
  phases.Report(state);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n) * n);
  RemoveFile(path);
}

// The mesh record of the imported grid written to a file and read back (which rebuilds the
// neighbour table).
void BM_GridRecord(benchmark::State& state)
{
  const int n = static_cast<int>(state.range(0));
  std::string path = GridFile(n, false);
  const std::string record = path + ".dat";
  AK_MessageHook = Quiet;
  SW_MeshCore mesh;
  AK_String error;
  if (!SW_ReadAsciiGrid(mesh, path.c_str(), 0, 1, error)) state.SkipWithError(error.c_str());
  AK_Object owner("root", nullptr);
  PhaseTimer phases({{"save", "saving the record"}, {"load", "loading the record"}});
  for (auto _ : state) {
    AK_MESSAGE("saving the record");
    {
      AK_STREAM out(record.c_str(), "wb");
      if (SW_SaveMeshRecord(out, &owner, mesh) || AK_StreamClose(out)) state.SkipWithError("save");
    }
    AK_MESSAGE("loading the record");
    SW_MeshCore loaded;
    {
      AK_STREAM in(record.c_str(), "rb");
      if (SW_LoadMeshRecord(in, &owner, loaded)) state.SkipWithError("load");
    }
    phases.Stop();
    benchmark::DoNotOptimize(loaded._lcc._elems);
  }
  phases.Report(state);
  const double bytes = static_cast<double>(std::filesystem::file_size(record));
  state.counters["record_MiB"] = bytes / (1 << 20);
  RemoveFile(record);
  RemoveFile(path);
}
BENCHMARK(BM_GridRecord)->Arg(2001)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GridImport)
    ->Args({2001, 0})
    ->Args({2001, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// The neighbour table alone, of the cells of a grid of n x n points.
void BM_GridConnectivity(benchmark::State& state)
{
  const int n = static_cast<int>(state.range(0));
  SW_MeshCore mesh;
  mesh._nx = mesh._ny = n - 1;
  mesh._x.Resize(n * n);
  mesh._x.SetCount(n * n);
  SW_SetGridCells(mesh);
  AK_MessageFunction previous = AK_MessageHook;
  AK_MessageHook = Quiet;
  for (auto _ : state) {
    mesh.ComputeConnectivity();
    benchmark::DoNotOptimize(mesh._lcc._elems);
  }
  AK_MessageHook = previous;
  state.SetItemsProcessed(state.iterations() * mesh.NumCells());
}
BENCHMARK(BM_GridConnectivity)->Arg(2001)->Unit(benchmark::kMillisecond);

void BM_MultigridFill(benchmark::State& state)
{
  const int n = static_cast<int>(state.range(0));
  AK_Array<double> base(n * n);
  base.SetCount(n * n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      // One large hole in the middle and a scatter of small ones.
      bool hole = (std::abs(i - n / 2) < n / 6 && std::abs(j - n / 2) < n / 6) || (i * 31 + j * 17) % 11 == 0;
      base[i * n + j] = hole ? -9999 : 100 + i * 0.5 - j * 0.25;
    }
  AK_MessageFunction previous = AK_MessageHook;
  AK_MessageHook = Quiet;
  for (auto _ : state) {
    state.PauseTiming();
    AK_Array<double> z = base;
    state.ResumeTiming();
    SW_MultigridInterpolate(n - 1, n - 1, z, -9999);
    benchmark::DoNotOptimize(z._elems);
  }
  AK_MessageHook = previous;
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n) * n);
}
BENCHMARK(BM_MultigridFill)->Arg(2001)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
