// Test surfaces: boxes and icospheres, outward-facing and linked.
#pragma once

#include <cmath>
#include <map>
#include <utility>

#include "AK_Triangulation.h"

namespace tri3dtest {

// The box [0, a] x [0, b] x [0, c] as twelve outward-facing triangles, two per face; the
// patch of a triangle is patchOf(triangle number).
template <class PatchOf>
void MakeBox(AK_Triangulation& s, double a, double b, double c, PatchOf patchOf)
{
  for (int i = 0; i < 8; ++i) s.AddPoint(AK_Vec3(i & 1 ? a : 0, i & 2 ? b : 0, i & 4 ? c : 0));
  const int faces[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                           {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
  for (const auto& f : faces) {
    s.AddTriangle(f[0], f[1], f[2], patchOf(s.NumTriangles()));
    s.AddTriangle(f[0], f[2], f[3], patchOf(s.NumTriangles()));
  }
  s.LinkNeighbours();
  s.ComputeBounds();
}
inline void MakeBox(AK_Triangulation& s, double a, double b, double c)
{
  MakeBox(s, a, b, c, [](int32_t) { return -1; });
}

// The unit sphere as an icosahedron whose faces were split into four `level` times.
inline void MakeIcosphere(AK_Triangulation& s, int level, AK_Vec3 offset = AK_Vec3())
{
  const double g = (1 + std::sqrt(5.0)) / 2;
  AK_Points3 p;
  const double v[12][3] = {{-1, g, 0}, {1, g, 0}, {-1, -g, 0}, {1, -g, 0}, {0, -1, g}, {0, 1, g},
                           {0, -1, -g}, {0, 1, -g}, {g, 0, -1}, {g, 0, 1}, {-g, 0, -1}, {-g, 0, 1}};
  for (const auto& q : v) p.Append(AK_Vec3(q[0], q[1], q[2]));
  AK_Array<AK_Triangle3> t;
  const int f[20][3] = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                        {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                        {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                        {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
  for (const auto& q : f) t.Append(AK_Triangle3(q[0], q[1], q[2]));
  for (int l = 0; l < level; ++l) {
    std::map<std::pair<int, int>, int> mid;
    auto midpoint = [&](int a, int b) {
      auto key = std::make_pair(std::min(a, b), std::max(a, b));
      auto it = mid.find(key);
      if (it != mid.end()) return it->second;
      return mid[key] = p.Append((p[a] + p[b]) * 0.5);
    };
    AK_Array<AK_Triangle3> finer;
    for (const AK_Triangle3& q : t) {
      int a = q.node[0], b = q.node[1], c = q.node[2];
      int ab = midpoint(a, b), bc = midpoint(b, c), ca = midpoint(c, a);
      finer.Append(AK_Triangle3(a, ab, ca));
      finer.Append(AK_Triangle3(b, bc, ab));
      finer.Append(AK_Triangle3(c, ca, bc));
      finer.Append(AK_Triangle3(ab, bc, ca));
    }
    t = finer;
  }
  for (AK_Vec3& q : p) s.AddPoint(q * (1 / q.Length()) + offset);
  for (const AK_Triangle3& q : t) {
    AK_Vec3 n = q.Normal(s._p), c = q.Centroid(s._p) - offset;
    if (n.Dot(c) > 0)
      s.AddTriangle(q.node[0], q.node[1], q.node[2], -1);
    else
      s.AddTriangle(q.node[0], q.node[2], q.node[1], -1);
  }
  s.LinkNeighbours();
  s.ComputeBounds();
}

// Every neighbour link is set and answered by the neighbour across the same edge.
inline bool ClosedAndMutual(const AK_Triangulation& s)
{
  for (int32_t t = 0; t < s.NumTriangles(); ++t)
    for (int k = 0; k < 3; ++k) {
      int32_t n = s._t[t].neighbour[k];
      if (n < 0) return false;
      int e = s._t[n].SharedEdge(s._t[t]);
      if (e < 0 || s._t[n].neighbour[e] != t || s._t[t].SharedEdge(s._t[n]) != k) return false;
    }
  return true;
}

}  // namespace tri3dtest
