// Point sets and mesh checks shared by the tetrahedral mesh tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "AK_Predicates.h"
#include "AK_Random.h"
#include "DelaunayTetMesh.h"

namespace tetmesh_test {

inline double Uniform() { return AK_Random() / 2147483647.0; }

// n pseudo-random points in [lo, hi)^3.
inline void RandomPoints(int n, double lo, double hi, AK_Points3& out, uint32_t seed = 7)
{
  AK_SeedRandom(seed);
  for (int i = 0; i < n; ++i)
    out.Append(AK_Vec3(lo + (hi - lo) * Uniform(), lo + (hi - lo) * Uniform(),
                       lo + (hi - lo) * Uniform()));
}

// m^3 grid points start + step * (i, j, k).
inline void GridPoints(int m, double start, double step, AK_Points3& out)
{
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < m; ++j)
      for (int k = 0; k < m; ++k) out.Append(AK_Vec3(start + i * step, start + j * step, start + k * step));
}

inline void BuildUnitBox(DelaunayTetMesh& mesh, const AK_Points3& points)
{
  ASSERT_TRUE(mesh.Init(AK_Vec3(0, 0, 0), AK_Vec3(1, 1, 1), points.Size()));
  for (const AK_Vec3& p : points) mesh.InsertPoint(p);
}

// Hull faces, total volume and the brute-force empty-sphere count of the active mesh.
struct MeshFigures {
  int hullFaces = 0;
  double volume = 0;
  int nodesInSpheres = 0;
};

inline MeshFigures Figures(const DelaunayTetMesh& mesh, bool bruteForce)
{
  MeshFigures f;
  for (int32_t i = 0; i < mesh._nActive; ++i) {
    const AK_Tet& t = mesh._t[i];
    for (int32_t nb : t.neighbour) f.hullFaces += nb == -1;
    f.volume += t.SignedVolume6(mesh._p) / 6;
    if (!bruteForce) continue;
    for (int32_t n = 0; n < mesh.NumNodes(); ++n)
      f.nodesInSpheres += t.NodeIndex(n) < 0 && mesh.TetInSphere(i, n);
  }
  return f;
}

}  // namespace tetmesh_test
