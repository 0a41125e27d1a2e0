// Vertex normals, smoothing, curvature and no-data heights.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "SW_MeshCore.h"

static void SendMessage(const char* text, AK_SourceLocation where = AK_SourceLocation::Current())
{
  AK_ModuleMessage("SW_Mesh", text, where);
}

void SW_MeshCore::ComputeVertexNormals()
{
  const int32_t nv = NumVertices();
  if (_vertexNormals.Capacity() < nv) {
    // A fresh array comes zeroed: no second pass over memory that large.
    _vertexNormals = AK_Array<AK_Vec3>(nv);
  } else {
    for (int32_t v = 0; v < nv; ++v) _vertexNormals[v] = AK_Vec3();
  }
  _vertexNormals.SetCount(nv);
  _totalArea = AK_Vec3();
  for (int32_t c = 0; c < NumCells(); ++c) {
    AK_Vec3 a = CellAreaVector(c);
    _totalArea += a;
    const AK_Index4& cell = _lcv[c];
    const int m = cell[3] < 0 ? 3 : 4;
    AK_Vec3 share = a * (1.0 / m);
    for (int k = 0; k < m; ++k) _vertexNormals[cell[k]] += share;
  }
}

void SW_MeshCore::SmoothVertexArray(AK_Array<AK_Vec3>& values, int passes) const
{
  const int32_t nv = NumVertices();
  SW_MESH_FATAL_ASSERT(values.Size() == nv, "vec.Size() == NumVertices()");
  std::vector<AK_Vec3> sum(static_cast<size_t>(nv));
  std::vector<int32_t> count(static_cast<size_t>(nv));
  for (int pass = 0; pass < passes; ++pass) {
    std::fill(sum.begin(), sum.end(), AK_Vec3());
    std::fill(count.begin(), count.end(), 0);
    for (int32_t c = 0; c < NumCells(); ++c) {
      const AK_Index4& cell = _lcv[c];
      const int m = cell[3] < 0 ? 3 : 4;
      AK_Vec3 mean;
      for (int k = 0; k < m; ++k) mean += values[cell[k]];
      mean *= 1.0 / m;
      for (int k = 0; k < m; ++k) {
        sum[static_cast<size_t>(cell[k])] += mean;
        ++count[static_cast<size_t>(cell[k])];
      }
    }
    // A vertex that belongs to no cell has no cell mean and keeps its value.
    for (int32_t v = 0; v < nv; ++v)
      if (count[static_cast<size_t>(v)] > 0)
        values[v] = sum[static_cast<size_t>(v)] * (1.0 / count[static_cast<size_t>(v)]);
  }
}

void SW_MeshCore::CellCurvatures(AK_Array<float>& out) const
{
  const int32_t nc = NumCells();
  out.Reserve(nc);
  out.SetCount(nc);
  const bool haveNormals = _vertexNormals.Size() == NumVertices();
  for (int32_t c = 0; c < nc; ++c) {
    float best = 0;
    AK_Vec3 a = CellAreaVector(c);
    double len = a.Length();
    if (haveNormals && len > 0) {
      AK_Vec3 nc3 = a * (1.0 / len);
      AK_Vec3 centre = CellCentre(c);
      const AK_Index4& cell = _lcv[c];
      for (int k = 0; k < 4; ++k) {
        if (cell[k] < 0) continue;
        const AK_Vec3& nv = _vertexNormals[cell[k]];
        double nlen = nv.Length();
        double dist = (_x[cell[k]] - centre).Length();
        if (!(nlen > 0) || !(dist > 0)) continue;
        double kappa = 2 * std::sqrt((1 - nv.Dot(nc3) / nlen) * 0.5) / dist;
        if (kappa > best) best = static_cast<float>(kappa);
      }
    }
    out[c] = best;
  }
}

int32_t SW_MeshCore::RemoveNoDataCells(double noData)
{
  const int32_t nv = NumVertices();
  // Most terrains have no hole: then nothing is renumbered.
  int32_t first = 0;
  while (first < nv && _x[first].z != noData) ++first;
  if (first == nv) return 0;
  std::vector<int32_t> newIndex(static_cast<size_t>(nv));
  int32_t kept = 0;
  for (int32_t v = 0; v < nv; ++v)
    newIndex[static_cast<size_t>(v)] = _x[v].z != noData ? kept++ : -1;
  if (kept == nv) return 0;

  const bool normalsSized = _vertexNormals.Size() == nv;
  for (int32_t v = 0; v < nv; ++v) {
    int32_t n = newIndex[static_cast<size_t>(v)];
    if (n < 0) continue;
    _x[n] = _x[v];
    if (normalsSized) _vertexNormals[n] = _vertexNormals[v];
  }
  _x.SetCount(kept);
  if (normalsSized) _vertexNormals.SetCount(kept);
  char text[128];
  std::snprintf(text, sizeof text, "removed %d no-data-vertices", nv - kept);
  SendMessage(text);

  int32_t removed = 0;
  for (int32_t c = NumCells() - 1; c >= 0; --c) {
    AK_Index4& cell = _lcv[c];
    bool drop = false;
    for (int k = 0; k < 4 && cell[k] >= 0; ++k) {
      int32_t n = newIndex[static_cast<size_t>(cell[k])];
      if (n < 0) {
        drop = true;
        break;
      }
      cell[k] = n;
    }
    if (drop) {
      int32_t last = NumCells() - 1;
      _lcv[c] = _lcv[last];
      _lcv.SetCount(last);
      ++removed;
    }
  }

  // Break-line segments follow the new numbering; a segment that lost an end goes.
  int32_t out = 0;
  for (int32_t s = 0; s + 1 < _segments.Size(); s += 2) {
    int32_t a = newIndex[static_cast<size_t>(_segments[s])];
    int32_t b = newIndex[static_cast<size_t>(_segments[s + 1])];
    if (a < 0 || b < 0) continue;
    _segments[out++] = a;
    _segments[out++] = b;
  }
  _segments.SetCount(out);
  DropDerivedGeometry();

  if (removed > 0) {
    std::snprintf(text, sizeof text, "removed %d no-data-cells", removed);
    SendMessage(text);
    _cartesian = 0;
    _honeycomb = 0;
    if (_lcc.Size() > 0) {
      _lcc.SetCount(0);
      ComputeConnectivity();
    }
  }
  return removed;
}

void SW_MeshCore::InterpolateNoDataHeights(int iterations, double noData)
{
  const int32_t nv = NumVertices();
  if (!_cartesian || static_cast<int64_t>(_nx + 1) * (_ny + 1) != nv) {
    SendMessage("cannot interpolate no data values for non-Cartesian grids");
    return;
  }
  std::vector<char> flagged(static_cast<size_t>(nv), 0);
  int32_t count = 0;
  double lo = 0, hi = 0;
  bool any = false;
  for (int32_t v = 0; v < nv; ++v) {
    if (_x[v].z == noData) {
      flagged[static_cast<size_t>(v)] = 1;
      _x[v].z = 0;
      ++count;
    } else if (!any) {
      lo = hi = _x[v].z;
      any = true;
    } else {
      if (_x[v].z < lo) lo = _x[v].z;
      if (_x[v].z > hi) hi = _x[v].z;
    }
  }
  const double range = hi - lo + 1e-30;
  char text[192];
  std::snprintf(text, sizeof text, "interpolating z-values at %d NODATA points", count);
  SendMessage(text);

  const int32_t rows = _ny + 1;
  for (int it = 0; it < iterations; ++it) {
    int32_t corrections = 0;
    double largest = 0;
    for (int32_t i = 0; i <= _nx; ++i) {
      for (int32_t j = 0; j <= _ny; ++j) {
        int32_t v = i * rows + j;
        if (!flagged[static_cast<size_t>(v)]) continue;
        double sum = 0;
        int n = 0;
        auto take = [&](int32_t w) {
          if (!flagged[static_cast<size_t>(w)]) {
            sum += _x[w].z;
            ++n;
          }
        };
        if (j > 0) take(v - 1);
        if (j < _ny) take(v + 1);
        if (i > 0) take(v - rows);
        if (i < _nx) take(v + rows);
        if (n == 0) continue;
        double z = sum / n;
        double change = std::fabs(_x[v].z - z);
        if (change > largest) largest = change;
        _x[v].z = z;
        flagged[static_cast<size_t>(v)] = 0;
        ++corrections;
      }
    }
    std::snprintf(text, sizeof text, "%d corrections, max. %g (%g%%)", corrections, largest,
                  largest / range * 100);
    SendMessage(text);
    if (corrections == 0) break;
  }
  SendMessage("interpolation done.");
  DropDerivedGeometry();
}
