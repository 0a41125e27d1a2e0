// Small mesh builders shared by the geometry tests and benchmarks.
#pragma once

#include <cmath>
#include <cstdint>

#include "AK_Basic.h"
#include "SW_MeshCore.h"

namespace meshtest {

// Deterministic random numbers for the tests themselves (not the program's generator).
class Rng {
public:
  explicit Rng(uint64_t seed) : _s(seed * 2654435761u + 1) {}
  uint64_t Next()
  {
    _s ^= _s << 13;
    _s ^= _s >> 7;
    _s ^= _s << 17;
    return _s;
  }
  double Uniform(double lo, double hi)
  {
    return lo + (hi - lo) * (static_cast<double>(Next() >> 11) / 9007199254740992.0);
  }

private:
  uint64_t _s;
};

inline void AddCell(SW_MeshCore& m, int32_t a, int32_t b, int32_t c, int32_t d = -1)
{
  m._lcv.Append(AK_Index4(a, b, c, d));
}

// A Cartesian grid of nx x ny cells with the generators' numbering (heights from f).
template <class F>
void MakeCartesian(SW_MeshCore& m, int32_t nx, int32_t ny, double dx, double x0, double y0, F f)
{
  m.ClearGeometry();
  m._nx = nx;
  m._ny = ny;
  m._dx = dx;
  m._xll = AK_Vec2{x0, y0};
  m._upperRight = AK_Vec2{x0 + nx * dx, y0 + ny * dx};
  for (int32_t i = 0; i <= nx; ++i)
    for (int32_t j = 0; j <= ny; ++j) {
      double x = i * dx + x0, y = j * dx + y0;
      m._x.Append(AK_Vec3(x, y, f(x, y)));
    }
  for (int32_t i = 0; i < nx; ++i)
    for (int32_t j = 0; j < ny; ++j)
      AddCell(m, (ny + 1) * i + j, (ny + 1) * (i + 1) + j, (ny + 1) * (i + 1) + j + 1,
              (ny + 1) * i + j + 1);
  m._cartesian = 1;
  m.ComputeConnectivity();
  m.ComputeVertexNormals();
}

// A honeycomb grid with the generators' numbering.
inline void MakeHoneycomb(SW_MeshCore& m, int32_t nx, int32_t ny, double dx, double x0, double y0)
{
  m.ClearGeometry();
  double h = std::cos(std::acos(-1.0) * 30 / 180) * dx;
  m._nx = nx;
  m._ny = ny;
  m._dx = dx;
  m._rowHeight = h;
  m._xll = AK_Vec2{x0, y0};
  for (int32_t i = 0; i <= nx; ++i)
    for (int32_t j = 0; j <= ny; ++j)
      m._x.Append(AK_Vec3(i * dx - (j % 2) * 0.5 * dx + x0, j * h + y0, 0));
  for (int32_t i = 0; i < nx; ++i)
    for (int32_t j = 0; j < ny; ++j) {
      int32_t a = (ny + 1) * i + j, b = (ny + 1) * (i + 1) + j;
      if (j % 2) {
        AddCell(m, a, b, a + 1);
        AddCell(m, b + 1, a + 1, b);
      } else {
        AddCell(m, a, b, b + 1);
        AddCell(m, b + 1, a + 1, a);
      }
    }
  m._honeycomb = 1;
  m.ComputeConnectivity();
  m.ComputeVertexNormals();
}

// A jittered grid of n x n squares (corners moved by up to a fifth of a cell), each split into two triangles along a random
// diagonal: a general (non-grid) triangle mesh. Heights from f.
template <class F>
void MakeJitteredTriangles(SW_MeshCore& m, int32_t n, double size, uint64_t seed, F f)
{
  m.ClearGeometry();
  Rng rng(seed);
  double h = size / n;
  for (int32_t i = 0; i <= n; ++i)
    for (int32_t j = 0; j <= n; ++j) {
      double x = i * h, y = j * h;
      // Up to a fifth of a cell keeps every quadrilateral convex, so both diagonals give
      // counter-clockwise triangles.
      if (i > 0 && i < n) x += rng.Uniform(-0.2, 0.2) * h;
      if (j > 0 && j < n) y += rng.Uniform(-0.2, 0.2) * h;
      m._x.Append(AK_Vec3(x, y, f(x, y)));
    }
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j) {
      int32_t a = (n + 1) * i + j, b = (n + 1) * (i + 1) + j;
      if (rng.Next() & 1) {
        AddCell(m, a, b, b + 1);
        AddCell(m, a, b + 1, a + 1);
      } else {
        AddCell(m, a, b, a + 1);
        AddCell(m, b, b + 1, a + 1);
      }
    }
  m.ComputeConnectivity();
  m.ComputeVertexNormals();
}

}  // namespace meshtest

// The mesh operations report progress through the message hook; tests run quietly.
inline const bool kMeshTestsQuiet = (AK_MessageHook = [](const char*, const char*) {}, true);
