// Wall geometry: tangents, foot points and the crossing of a path with the wall.
#include "SW_WallLineGeometry.h"

#include <algorithm>
#include <cmath>

#include "AK_Predicates.h"

namespace {

double Cyclic(const AK_Array<double>& values, int32_t i) { return values[i % values.Count()]; }

AK_Vec2 XY(const AK_Vec3& p) { return AK_Vec2{p.x, p.y}; }

AK_Vec3 Normalised(const AK_Vec3& v)
{
  double length = v.Length();
  return length > 0 ? v * (1.0 / length) : v;
}

// The terrain normal at (p.x, p.y) in cell c (not of unit length), from the interpolated
// vertex normals, or from the cell itself when the mesh has none.
AK_Vec3 TerrainNormal(const SW_MeshCore& mesh, int32_t c, const AK_Vec3& p)
{
  if (mesh._vertexNormals.Count() == mesh.NumVertices()) {
    double w[4];
    mesh.CellWeights(c, p, w);
    AK_Vec3 n = mesh.InterpolateVertexVector(c, w, mesh._vertexNormals);
    if (n.Length() > 0) return n;
  }
  return mesh.CellAreaVector(c);
}

// The foot of the face that falls from the crest t along d, on the plane through p with
// normal n; none when the face is parallel to the plane or has no direction.
bool FaceMeetsPlane(const AK_Vec3& crest, const AK_Vec3& d, const AK_Vec3& p, const AK_Vec3& n,
                    AK_Vec3& foot)
{
  double along = d.Dot(n);
  if (!(std::fabs(along) > 1e-12 * d.Length() * n.Length())) return false;
  foot = crest + d * ((p - crest).Dot(n) / along);
  return std::isfinite(foot.x) && std::isfinite(foot.y) && std::isfinite(foot.z);
}

}  // namespace

AK_Vec3 SW_WallCrestPoint(const AK_Array<AK_Vec3>& vertices, const AK_Array<double>& heights,
                          int32_t i)
{
  AK_Vec3 crest = vertices[i];
  if (heights.Count() > 0) crest.z = Cyclic(heights, i);
  return crest;
}

void SW_WallTangents(const AK_Array<AK_Vec3>& vertices, AK_Array<AK_Vec3>& tangents)
{
  const int32_t n = vertices.Count();
  tangents.Clear();
  for (int32_t i = 0; i < n; ++i) tangents.Append(AK_Vec3());
  for (int32_t i = 1; i < n; ++i) {
    AK_Vec3 segment = vertices[i] - vertices[i - 1];
    if (!(segment.Length() > 0)) continue;
    AK_Vec3 direction = Normalised(segment);
    tangents[i - 1] += direction;
    tangents[i] += direction;
  }
  for (AK_Vec3& t : tangents) t = Normalised(t);
}

void SW_WallFeet(const SW_MeshCore& mesh, const AK_Array<AK_Vec3>& vertices,
                 const AK_Array<double>& heights, const AK_Array<double>& slopes,
                 const AK_Array<AK_Vec3>& tangents, AK_Array<AK_Vec3>& feet)
{
  feet.Clear();
  const int32_t n = vertices.Count();
  if (heights.IsEmpty() || slopes.IsEmpty() || heights[0] <= 0 || tangents.Count() != n) {
    feet = vertices;
    return;
  }
  int32_t cell = -1;
  for (int32_t i = 0; i < n; ++i) {
    const AK_Vec3& p = vertices[i];
    const AK_Vec3& t = tangents[i];
    cell = mesh.FindCell(p, cell);
    AK_Vec3 normal = cell >= 0 ? TerrainNormal(mesh, cell, p) : AK_Vec3(0, 0, 1);
    AK_Vec3 crest(p.x, p.y, Cyclic(heights, i));
    double horizontal = std::hypot(t.x, t.y);
    AK_Vec3 face(-t.y, t.x, -horizontal * Cyclic(slopes, i));
    AK_Vec3 foot;
    if (!FaceMeetsPlane(crest, face, p, normal, foot)) foot = p;
    mesh.HeightAt(foot, cell);
    feet.Append(foot);
  }
}

int SW_WallIntersect(const AK_Array<AK_Vec3>& vertices, const AK_Array<double>& heights,
                     const AK_Array<AK_Vec3>& tangents, const AK_Array<AK_Vec3>& feet,
                     const AK_Vec2& p, const AK_Vec2& q, AK_Vec3& hit, AK_Vec3& crest,
                     AK_Vec3& direction)
{
  const int32_t n = std::min({vertices.Count(), tangents.Count(), feet.Count()});
  for (int32_t i = 1; i < n; ++i) {
    AK_Vec2 a = XY(feet[i - 1]);
    AK_Vec2 b = XY(feet[i]);
    if (a.x == b.x && a.y == b.y) continue;
    if (!AK_SegmentsIntersect2d(a, b, p, q)) continue;
    double u = AK_SegmentLineParameter2d(a, b, p, q);
    hit = AK_Lerp3(feet[i - 1], feet[i], u);
    crest = AK_Lerp3(SW_WallCrestPoint(vertices, heights, i - 1),
                     SW_WallCrestPoint(vertices, heights, i), u);
    direction = Normalised(AK_Lerp3(tangents[i - 1], tangents[i], u));
    return 1;
  }
  return 0;
}
