// Measures of polylines and polygons.
#include "SW_PolylineGeometry.h"

#include <cmath>

#include "SW_MeshCore.h"

bool SW_PointsBox(const AK_Array<AK_Vec3>& points, double min[3], double max[3])
{
  if (points.Count() < 1) return false;
  const AK_Vec3& first = points[0];
  min[0] = max[0] = first.x;
  min[1] = max[1] = first.y;
  min[2] = max[2] = first.z;
  for (const AK_Vec3& p : points) {
    const double v[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; ++k) {
      if (v[k] < min[k]) min[k] = v[k];
      if (v[k] > max[k]) max[k] = v[k];
    }
  }
  return true;
}

double SW_ProjectedLength(const AK_Array<AK_Vec3>& points)
{
  double length = 0;
  for (int32_t i = 1; i < points.Count(); ++i)
    length += std::hypot(points[i].x - points[i - 1].x, points[i].y - points[i - 1].y);
  return length;
}

double SW_SignedDistance(const AK_Array<AK_Vec3>& points, double x, double y)
{
  const int32_t n = points.Count();
  double d = -1e30;
  for (int32_t i = 1; i < n; ++i) {
    const AK_Vec3& a = points[i - 1];
    const AK_Vec3& b = points[i];
    const double ex = b.x - a.x, ey = b.y - a.y;
    const double l2 = ex * ex + ey * ey;
    const double t = (x - a.x) * ex + (y - a.y) * ey;
    if (l2 > 0 && t >= 0 && t <= l2) {
      const double s = ((y - a.y) * ex - (x - a.x) * ey) / std::sqrt(l2);
      if (std::fabs(s) < std::fabs(d)) d = s;
    }
  }
  for (int32_t k = 0; k < n; ++k) {
    const AK_Vec3& p = points[k];
    const double r = std::hypot(x - p.x, y - p.y);
    if (r >= std::fabs(d)) continue;
    const AK_Vec3& prev = points[(k - 1 + n) % n];
    const AK_Vec3& next = points[(k + 1) % n];
    const double c = (p.x - prev.x) * (next.y - p.y) - (p.y - prev.y) * (next.x - p.x);
    d = c > 0 ? -r : r;
  }
  return d;
}

int SW_PolygonContains(const AK_Array<AK_Vec3>& points, const double min[3],
                       const double max[3], double x, double y)
{
  const int32_t n = points.Count();
  if (n < 1 || x < min[0] || y < min[1] || x > max[0] || y > max[1]) return 0;
  int crossings = 0;
  for (int32_t i = 0; i < n; ++i) {
    const AK_Vec3& a = points[i];
    const AK_Vec3& b = points[(i + 1) % n];
    const double c = (y - a.y) * (b.x - a.x) - (b.y - a.y) * (x - a.x);
    if (a.y < y && y <= b.y && c > 0) ++crossings;        // upward, crossing strictly right
    else if (b.y < y && y <= a.y && c <= 0) ++crossings;  // downward, right or on the point
  }
  return crossings % 2;
}

double SW_ProjectedArea(const AK_Array<AK_Vec3>& points)
{
  const int32_t n = points.Count();
  if (n < 1) return 0;
  const AK_Vec3& o = points[0];
  double sum = 0;
  for (int32_t k = 1; k + 1 < n; ++k)
    sum += (points[k].y - o.y) * (points[k + 1].x - o.x) -
           (points[k].x - o.x) * (points[k + 1].y - o.y);
  return 0.5 * sum;
}

double SW_AreaFactorOnMesh(const AK_Array<AK_Vec3>& points, const double min[3],
                           const double max[3], const SW_MeshCore& mesh)
{
  if (points.Count() < 1) return 1.0;
  double total = 0, projected = 0;
  for (int32_t c = 0; c < mesh.NumCells(); ++c) {
    const AK_Vec3 centre = mesh.CellCentre(c);
    if (!SW_PolygonContains(points, min, max, centre.x, centre.y)) continue;
    const AK_Vec3 a = mesh.CellAreaVector(c);
    total += a.Length();
    projected += a.z;
  }
  return total < 1e-30 ? 1.0 : projected / total;
}

double SW_CornerCosine(const AK_Array<AK_Vec3>& points, int32_t i)
{
  const int32_t n = points.Count();
  if (n < 1 || i < 0 || i >= n) return 1.0;
  const AK_Vec3 a = points[i] - points[(i - 1 + n) % n];
  const AK_Vec3 b = points[(i + 1) % n] - points[i];
  const double la = a.Length(), lb = b.Length();
  if (!(la > 0) || !(lb > 0)) return 1.0;
  return a.Dot(b) / (la * lb);
}
