// Curvature-minimising edge flips between pairs of triangles.
#include <cstdio>

#include "SW_MeshEdit.h"

namespace {

inline bool IsTriangle(const SW_MeshCore& mesh, int32_t c) { return mesh._lcv[c][3] < 0; }

// The edge of d whose neighbour is c, -1 when there is none.
int EdgeTowards(const SW_MeshCore& mesh, int32_t d, int32_t c)
{
  for (int j = 0; j < 3; ++j)
    if (mesh._lcc[d][j] == c) return j;
  return -1;
}

// The two triangles of an edge: c = (A, B, C) from corner k on, d = (B, A, D) from corner j
// on.
struct Pair {
  int32_t c, d;
  int k, j;
  int32_t A, B, C, D;
};

bool GetPair(const SW_MeshCore& mesh, int32_t c, int k, Pair& p)
{
  p.c = c;
  p.k = k;
  p.d = mesh._lcc[c][k];
  if (p.d < 0) return false;
  p.j = EdgeTowards(mesh, p.d, c);
  if (p.j < 0) return false;
  const AK_Index4& a = mesh._lcv[c];
  const AK_Index4& b = mesh._lcv[p.d];
  p.A = a[k];
  p.B = a[(k + 1) % 3];
  p.C = a[(k + 2) % 3];
  p.D = b[(p.j + 2) % 3];
  return true;
}

double Cross2(const AK_Vec3& u, const AK_Vec3& v) { return u.x * v.y - u.y * v.x; }

// The unit normal of a cell; false for a cell without area.
bool UnitNormal(const SW_MeshCore& mesh, int32_t c, AK_Vec3& n)
{
  n = mesh.CellAreaVector(c);
  double len = n.Length();
  if (!(len > 0)) return false;
  n *= 1.0 / len;
  return true;
}

// Length of the edge a-b times (1 - n.m) with n the normal of cell c and m that of cell d;
// nothing when either side has no normal.
double EdgeWeight(const SW_MeshCore& mesh, int32_t a, int32_t b, int32_t c, int32_t d)
{
  AK_Vec3 n, m;
  if (d < 0 || !UnitNormal(mesh, c, n) || !UnitNormal(mesh, d, m)) return 0;
  return (mesh._x[b] - mesh._x[a]).Length() * (1 - n.Dot(m));
}

}  // namespace

int SW_IsEdgeFlippable(const SW_MeshCore& mesh, int32_t c, int k)
{
  Pair p;
  if (!GetPair(mesh, c, k, p)) return 0;
  const AK_Vec3 &A = mesh._x[p.A], &B = mesh._x[p.B], &C = mesh._x[p.C], &D = mesh._x[p.D];
  return Cross2(A - C, D - A) > 0 && Cross2(B - D, C - B) > 0;
}

int SW_FlipEdge(SW_MeshCore& mesh, int32_t c, int k)
{
  Pair p;
  if (!GetPair(mesh, c, k, p)) return 0;
  const int32_t d = p.d;
  const int j = p.j;
  const int32_t ncB = mesh._lcc[c][(k + 1) % 3], ncC = mesh._lcc[c][(k + 2) % 3];
  const int32_t n2A = mesh._lcc[d][(j + 1) % 3], n2D = mesh._lcc[d][(j + 2) % 3];

  AK_Index4& cv = mesh._lcv[c];
  AK_Index4& dv = mesh._lcv[d];
  cv[k] = p.C, cv[(k + 1) % 3] = p.D, cv[(k + 2) % 3] = p.B;
  dv[j] = p.D, dv[(j + 1) % 3] = p.C, dv[(j + 2) % 3] = p.A;
  AK_Index4& cn = mesh._lcc[c];
  AK_Index4& dn = mesh._lcc[d];
  cn[k] = d, cn[(k + 1) % 3] = n2D, cn[(k + 2) % 3] = ncB;
  dn[j] = c, dn[(j + 1) % 3] = ncC, dn[(j + 2) % 3] = n2A;
  if (ncC >= 0)
    for (int e = 0; e < 3; ++e)
      if (mesh._lcc[ncC][e] == c) mesh._lcc[ncC][e] = d;
  if (n2D >= 0)
    for (int e = 0; e < 3; ++e)
      if (mesh._lcc[n2D][e] == d) mesh._lcc[n2D][e] = c;
  return 1;
}

double SW_EdgeCurvatureCost(const SW_MeshCore& mesh, int32_t c, int k)
{
  Pair p;
  if (!GetPair(mesh, c, k, p)) return 0;
  const AK_Index4& cn = mesh._lcc[c];
  const AK_Index4& dn = mesh._lcc[p.d];
  return EdgeWeight(mesh, p.A, p.B, c, p.d) +
         EdgeWeight(mesh, p.B, p.C, c, cn[(k + 1) % 3]) +
         EdgeWeight(mesh, p.C, p.A, c, cn[(k + 2) % 3]) +
         EdgeWeight(mesh, p.A, p.D, p.d, dn[(p.j + 1) % 3]) +
         EdgeWeight(mesh, p.D, p.B, p.d, dn[(p.j + 2) % 3]);
}

int32_t SW_MinimizeCurvaturePass(SW_MeshCore& mesh)
{
  SW_MeshMessage("minimizing curvature iteration...", SW_MeshMessageAt::CurvatureFlipsBegin);
  int32_t flips = 0;
  for (int32_t c = 0; c < mesh.NumCells(); ++c) {
    if (!IsTriangle(mesh, c)) continue;
    for (int k = 0; k < 3; ++k) {
      const int32_t d = mesh._lcc[c][k];
      if (d < 0 || !IsTriangle(mesh, d)) continue;
      const double before = SW_EdgeCurvatureCost(mesh, c, k);
      if (!SW_IsEdgeFlippable(mesh, c, k)) continue;
      SW_FlipEdge(mesh, c, k);
      const double after = SW_EdgeCurvatureCost(mesh, c, k);
      // Written so that a cost that is no number never keeps a flip.
      if (after < 0.99 * before) ++flips;
      else SW_FlipEdge(mesh, c, k);
    }
  }
  SW_MeshMessage(AK_String::Format("%d edges flipped", flips), SW_MeshMessageAt::CurvatureFlipsDone);
  return flips;
}

int32_t SW_MinimizeCurvature(SW_MeshCore& mesh)
{
  int32_t f = SW_MinimizeCurvaturePass(mesh), total = f;
  if (f < 4 * static_cast<int64_t>(mesh.NumCells())) {
    int32_t previous;
    do {
      previous = f;
      f = SW_MinimizeCurvaturePass(mesh);
      total += f;
    } while (f < previous);
  }
  if (total > 0) {
    mesh._vertexNeighbours.SetCount(0);
    // The cells no longer follow the honeycomb numbering that locates points by arithmetic.
    mesh._honeycomb = 0;
  }
  return total;
}
