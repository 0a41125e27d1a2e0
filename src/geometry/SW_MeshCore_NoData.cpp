// Filling NODATA heights of a Cartesian grid by recursive coarse-to-fine interpolation: a
// first ring of means around the defined data, a restriction to a grid of half the
// resolution that is filled the same way, a prolongation back and one smoothing sweep.
// Holes of any size close in a number of levels that grows with the logarithm of the grid.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "SW_MeshFiles.h"

namespace {

// Weight of the 3 x 3 transfer stencil at offset (di, dj): 4 in the middle, 2 on the edges,
// 1 on the diagonals.
inline int StencilWeight(int di, int dj)
{
  return (di == 0 ? 2 : 1) * (dj == 0 ? 2 : 1);
}

// Messages name the line of the caller, not of this helper.
void Report(const AK_String& text, AK_SourceLocation where = AK_SourceLocation::Current())
{
  AK_MessageAt(where, "%s", text.c_str());
}

}  // namespace

bool SW_MultigridInterpolate(int32_t nx, int32_t ny, AK_Array<double>& z, double noData,
                            AK_String* error)
{
  Report(AK_String::Format("multigrid interpolation: grid size %d x %d...", nx, ny));
  const int64_t NX = static_cast<int64_t>(nx) + 1, NY = static_cast<int64_t>(ny) + 1;
  if (nx < 0 || ny < 0 || NX * NY != z.Size()) {
    AK_String text("cannot interpolate no data values for non-Cartesian grids");
    Report(text);
    if (error) *error = text;
    return false;
  }
  const int64_t N = NX * NY;
  auto at = [NY](int64_t ix, int64_t iy) { return ix * NY + iy; };

  // Mark.
  std::vector<uint8_t> defined(static_cast<size_t>(N), 1);
  std::vector<int32_t> mark(static_cast<size_t>(N), 1);
  int64_t numDefined = 0;
  for (int64_t k = 0; k < N; ++k) {
    if (z[static_cast<int32_t>(k)] == noData) {
      defined[k] = 0;
      mark[k] = 0;
    } else {
      ++numDefined;
    }
  }
  if (numDefined == 0) {
    // Nothing to spread: every coarser level would again be undefined.
    AK_String text("cannot fill no-data values: the grid holds no defined height");
    Report(text);
    if (error) *error = text;
    return false;
  }
  if (numDefined == N) {
    Report("0 undefined points on coarse grid");
    Report(AK_String::Format("multigrid smoothing: grid size %d x %d...", nx, ny));
    return true;
  }
  double* h = z._elems;
  for (int64_t k = 0; k < N; ++k)
    if (!defined[k]) h[k] = 0;
  // The mean of the edge neighbours of (ix, iy) that `counts` takes, in a fixed order; false
  // when it takes none.
  auto neighbourMean = [&](int64_t ix, int64_t iy, auto counts, double& mean) {
    const int64_t around[4][2] = {{ix - 1, iy}, {ix + 1, iy}, {ix, iy - 1}, {ix, iy + 1}};
    double sum = 0;
    int count = 0;
    for (const auto& q : around)
      if (q[0] >= 0 && q[0] < NX && q[1] >= 0 && q[1] < NY && counts(at(q[0], q[1]))) {
        sum += h[at(q[0], q[1])];
        ++count;
      }
    if (count > 0) mean = sum / count;
    return count > 0;
  };

  // First ring: the mean of the neighbours defined on entry.
  for (int64_t ix = 0; ix < NX; ++ix)
    for (int64_t iy = 0; iy < NY; ++iy) {
      int64_t k = at(ix, iy);
      if (defined[k]) continue;
      if (neighbourMean(ix, iy, [&](int64_t q) { return defined[q] != 0; }, h[k])) mark[k] = 1;
    }
  for (int64_t k = 0; k < N; ++k)
    if (mark[k]) defined[k] = 1;

  // Restriction.
  const int32_t cnx = nx / 2, cny = ny / 2;
  const int64_t CNX = cnx + 1, CNY = cny + 1;
  AK_Array<double> coarse(static_cast<int32_t>(CNX * CNY));
  coarse.SetCount(static_cast<int32_t>(CNX * CNY));
  int64_t undefinedCoarse = 0;
  for (int64_t i = 0; i < CNX; ++i)
    for (int64_t j = 0; j < CNY; ++j) {
      double sum = 0;
      int weight = 0;
      for (int di = -1; di <= 1; ++di)
        for (int dj = -1; dj <= 1; ++dj) {
          int64_t fx = 2 * i + di, fy = 2 * j + dj;
          if (fx < 0 || fx >= NX || fy < 0 || fy >= NY) continue;
          int64_t k = at(fx, fy);
          if (!defined[k]) continue;
          int w = StencilWeight(di, dj);
          sum += w * h[k];
          weight += w;
        }
      if (weight > 0) {
        coarse[static_cast<int32_t>(i * CNY + j)] = sum / weight;
      } else {
        coarse[static_cast<int32_t>(i * CNY + j)] = noData;
        ++undefinedCoarse;
      }
    }
  Report(AK_String::Format("%lld undefined points on coarse grid",
                           static_cast<long long>(undefinedCoarse)));
  if (undefinedCoarse > 0 && !SW_MultigridInterpolate(cnx, cny, coarse, noData, error))
    return false;  // cannot happen while one fine point is defined; kept for safety

  // Prolongation: weighted sums of the coarse heights, divided by the weight sums.
  std::fill(mark.begin(), mark.end(), 0);
  for (int64_t i = 0; i < CNX; ++i)
    for (int64_t j = 0; j < CNY; ++j) {
      double value = coarse[static_cast<int32_t>(i * CNY + j)];
      for (int di = -1; di <= 1; ++di)
        for (int dj = -1; dj <= 1; ++dj) {
          int64_t fx = 2 * i + di, fy = 2 * j + dj;
          if (fx < 0 || fx >= NX || fy < 0 || fy >= NY) continue;
          int64_t k = at(fx, fy);
          if (defined[k]) continue;
          int w = StencilWeight(di, dj);
          h[k] += w * value;
          mark[k] += w;
        }
    }
  for (int64_t k = 0; k < N; ++k)
    if (!defined[k]) h[k] /= mark[k];

  // One smoothing sweep over the prolongated points, in place.
  Report(AK_String::Format("multigrid smoothing: grid size %d x %d...", nx, ny));
  for (int64_t k = 0; k < N; ++k) mark[k] = defined[k];
  for (int64_t ix = 0; ix < NX; ++ix)
    for (int64_t iy = 0; iy < NY; ++iy) {
      int64_t k = at(ix, iy);
      if (!mark[k]) neighbourMean(ix, iy, [](int64_t) { return true; }, h[k]);
    }
  return true;
}

bool SW_FillNoDataAreas(SW_MeshCore& mesh, double noData, AK_String* error)
{
  if (!mesh._cartesian) {
    AK_String text("cannot interpolate no data values for non-Cartesian grids");
    Report(text);
    if (error) *error = text;
    return false;
  }
  const int32_t n = mesh.NumVertices();
  int32_t count = 0;
  for (int32_t v = 0; v < n; ++v)
    if (mesh._x[v].z == noData) ++count;
  // Most terrains have no hole: then no height array is made.
  if (count == 0) return true;
  AK_Array<double> z(n);
  z.SetCount(n);
  for (int32_t v = 0; v < n; ++v) z[v] = mesh._x[v].z;
  Report(AK_String::Format(
      "filling no-data-areas (%d grid points) with interpolated/extrapolated values...", count));
  if (!SW_MultigridInterpolate(mesh._nx, mesh._ny, z, noData, error)) return false;
  for (int32_t v = 0; v < n; ++v) mesh._x[v].z = z[v];
  Report("filling no-data-areas with intrepolated/extrapolated values done.");
  return true;
}
