// Region repair of the tetrahedral mesh (two-manifold check, hiding marked tetrahedra,
// sliver removal) and local queries around a node.
#include <utility>

#include "AK_Message.h"
#include "DelaunayTetMesh.h"

int32_t DelaunayTetMesh::CheckTwoManifold(AK_Array<char>& marks) const
{
  int32_t count = 0;
  AK_Array<int32_t> ring(32);
  for (int32_t i = 0; i < _t.Size(); ++i)
    for (int f = 0; f < 4; ++f) {
      const int32_t nb = _t[i].neighbour[f];
      if (nb < 0 || (marks[nb] != 0) == (marks[i] != 0)) continue;
      const int32_t A = _t[i].node[kTetFace[f][0]], B = _t[i].node[kTetFace[f][1]],
                    C = _t[i].node[kTetFace[f][2]];
      const int32_t edges[3][2] = {{B, C}, {C, A}, {A, B}};
      for (const auto& e : edges) {
        int open;
        if (!EdgeRing(i, e[0], e[1], ring, open) || open) continue;
        int32_t nTrans = 0;
        for (int32_t k = 0; k < ring.Size(); ++k)
          nTrans += (marks[ring[k]] != 0) != (marks[ring[(k + 1) % ring.Size()]] != 0);
        if (nTrans % 2 != 0) AK_FatalAssertion("nTrans % 2 == 0", "AK_Triangulation", 2282);
        // Every edge that is not crossed exactly twice counts, 0 included (an earlier
        // unmarking took the region away from this edge of a boundary face).
        if (nTrans == 2) continue;
        ++count;
        for (int32_t t : ring) marks[t] = 0;
      }
    }
  AK_Trace("AK_Triangulation", 2292, "nNonTwoMani", count);
  return count;
}

void DelaunayTetMesh::RemoveMarkedTets(const AK_BitArray& marks)
{
  if (marks.Size() != _t.Size())
    AK_FatalAssertion("marks.Size() == _t.Size()", "AK_Triangulation", 2302);
  RestoreLinks();
  const int32_t n = _t.Size();
  AK_Array<int32_t> perm(n);
  for (int32_t i = 0; i < n; ++i) perm.Append(i);
  int32_t first = 0, last = n - 1;
  for (;;) {
    // Only the slots between the two scans still hold the tetrahedra their marks name.
    while (first <= last && !marks.Test(first)) ++first;
    while (last >= first && marks.Test(last)) --last;
    if (first > last) break;
    std::swap(_t[first], _t[last]);
    perm[first] = last;
    perm[last] = first;
    ++first;
    --last;
  }
  if (first != last + 1) AK_FatalAssertion("iLastUnmarked == iFirstMarked", "AK_Triangulation", 2325);
  for (AK_Tet& t : _t)
    for (int32_t& nb : t.neighbour)
      if (nb >= 0) nb = perm[nb];
  _nActive = first;
  HideLinks();
}

void DelaunayTetMesh::RemoveSlivers(double threshold)
{
  AK_BitArray marks(_t.Size());
  for (int32_t i = _nActive; i < _t.Size(); ++i) marks.Set(i);
  int32_t count = 0;
  for (int32_t i = 0; i < _nActive; ++i) {
    const AK_Tet& t = _t[i];
    bool onHull = t.NeighbourIndex(-1) >= 0;
    if (onHull && AK_TetQuality(_p, t) < threshold) {
      marks.Set(i);
      ++count;
    }
  }
  AK_Trace("AK_Triangulation", 2404, "nSlivers", count);
  RemoveMarkedTets(marks);
}

void DelaunayTetMesh::TetsAroundNode(int32_t t, int k, AK_Array<int32_t>& list) const
{
  const int32_t v = _t[t].node[k];
  list.Clear();
  list.Append(t);
  for (int32_t i = 0; i < list.Size(); ++i)
    for (int32_t nb : _t[list[i]].neighbour)
      if (nb >= 0 && _t[nb].NodeIndex(v) >= 0 && list.Find(nb) < 0) list.Append(nb);
}

void DelaunayTetMesh::NodeNeighbours(int32_t t, int k, AK_Array<int32_t>& list) const
{
  const int32_t v = _t[t].node[k];
  AK_Array<int32_t> star(32);
  TetsAroundNode(t, k, star);
  for (int32_t i = star.Size() - 1; i >= 0; --i)
    for (int32_t n : _t[star[i]].node)
      if (n != v && list.Find(n) < 0) list.Append(n);
}

double DelaunayTetMesh::NearestNode(const AK_Vec3& p, int32_t& t, int& k) const
{
  t = LocateTet(p);
  if (t < 0) return -1.0;
  double d;
  k = NearestTetNode(t, p, d);
  AK_Array<int32_t> star(32);
  TetsAroundNode(t, k, star);
  for (int32_t i = star.Size() - 1; i >= 0; --i) {
    double ds;
    int ks = NearestTetNode(star[i], p, ds);
    if (ds < d) d = ds, t = star[i], k = ks;
  }
  return d;
}

double DelaunayTetMesh::EmptyBallRadius(const AK_Vec3& p, const AK_Vec3& n, int32_t& t) const
{
  for (t = 0; t < _t.Size(); ++t)
    for (int k = 0; k < 4; ++k) {
      const AK_Vec3 d = _p[_t[t].node[k]] - p;
      if (d.Dot(d) >= 1e-10) continue;
      const AK_Vec3& q = _p[_t[t].node[k]];
      AK_Array<int32_t> neighbours(32);
      NodeNeighbours(t, k, neighbours);
      double r = 1e30;
      for (int32_t x : neighbours) {
        const AK_Vec3 e = _p[x] - q;
        const double s = e.Dot(n);
        if (s > 0) r = std::min(r, 0.5 * e.Dot(e) / s);
      }
      return r;
    }
  return -1.0;
}
