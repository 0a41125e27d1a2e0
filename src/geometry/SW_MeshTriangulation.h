// Steps that the mesh's two Delaunay triangulations (of a point set, and with break lines)
// share: the box of the vertices, the fixed-seed insertion order, the insertion with
// look-ahead, and the turning of the finished triangles into cells.
#pragma once

#include <cstdint>
#include <vector>

#include "AK_Triangulation2.h"
#include "SW_MeshCore.h"

// The x-y box of the vertices, from vertex 0 on; (0, 0)-(0, 0) without vertices.
void SW_VertexBox2(const AK_Array<AK_Vec3>& x, AK_Vec2& lo, AK_Vec2& hi);

// Seeds AK_Random with `seed`, then 5 rounds of n swaps of the entries AK_Random() mod n and
// AK_Random() mod n, drawn in this order: every run inserts in the same order.
void SW_ShuffleInsertionOrder(std::vector<const AK_Vec2*>& order, uint32_t seed);

// Inserts the points in order, loading each insertion's data ahead; after each insertion
// calls after(i, result, vertex it coincides with or null).
template <class After>
void SW_InsertInOrder(AK_Triangulation2& tri, const std::vector<const AK_Vec2*>& order,
                      After after)
{
  const int32_t n = static_cast<int32_t>(order.size());
  tri.ExpectPoints(n);
  for (int32_t i = 0; i < n; ++i) {
    tri.Prefetch(order.data() + i + 1, n - i - 1);
    const AK_Vec2* existing = nullptr;
    int result = tri.Insert(order[static_cast<size_t>(i)], &existing);
    after(i, result, existing);
  }
}

// The warning for points that no walk could place, when there are any.
void SW_ReportUnplaced(const AK_Triangulation2& tri);
// The warning for points given to a triangulation that neither became a vertex of it nor
// lie exactly where one lies (`placed` counts both), when there are any: a point merely
// near another one is dropped, and the terrain loses it.
void SW_ReportDropped(int32_t given, int32_t placed);
inline bool SW_SamePlace(const AK_Vec2& a, const AK_Vec2& b) { return a.x == b.x && a.y == b.y; }

// Replaces the cells with the triangles that have no auxiliary corner, in array order, as
// (i0, i1, i2, -1) with the vertex number of each corner (from number(point)); a triangle
// whose vertices do not run counter-clockwise with positive area is left out. Answers the
// number left out. The point records hold the vertices' x and y, so the test reads the
// triangle's own copies of them rather than the vertices scattered over `x`.
template <class Number>
int32_t SW_TrianglesToCells(const AK_Triangulation2& tri, const AK_Array<AK_Vec3>& x,
                            Number number, AK_Array<AK_Index4>& cells)
{
  // The cell table keeps its memory when it is large enough.
  cells.SetCount(0);
  cells.Reserve(tri.NumTriangles());
  int32_t kept = 0, discarded = 0;
  for (int32_t t = 0; t < tri.NumTriangles(); ++t) {
    const AK_Triangle2* tr = tri.Triangle(t);
    if (tri.HasAuxiliaryVertex(tr)) continue;
    int32_t idx[3];
    for (int k = 0; k < 3; ++k) {
      idx[k] = number(tr->Pt(k));
      SW_MESH_FATAL_ASSERT(idx[k] >= 0 && idx[k] < x.Size(), "n >= 0 && n < _x.Size()");
    }
    const AK_Vec2& p0 = tr->_c[0];
    const AK_Vec2& p1 = tr->_c[1];
    const AK_Vec2& p2 = tr->_c[2];
    if ((p1.x - p0.x) * (p2.y - p0.y) - (p2.x - p0.x) * (p1.y - p0.y) > 0)
      cells[kept++] = AK_Index4(idx[0], idx[1], idx[2], -1);
    else
      ++discarded;
  }
  cells.SetCount(kept);
  return discarded;
}

// The message for triangles left out, when there are any.
void SW_ReportDiscarded(int32_t discarded);
