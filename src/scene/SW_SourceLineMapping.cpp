// The mapping of a source line onto a mesh, and the share of its mass flow per cell.
#include "SW_SourceLineMapping.h"

#include <cmath>

namespace {

double DistanceXY(const AK_Vec2& a, const AK_Vec2& b) { return std::hypot(b.x - a.x, b.y - a.y); }

AK_Vec3 OnMesh(const SW_MeshCore& mesh, const AK_Vec2& p)
{
  AK_Vec3 q(p.x, p.y, 0);
  mesh.HeightAt(q, -1);
  return q;
}

}  // namespace

void SW_SourceLineMapping::SetUp(const SW_MeshCore& mesh, const AK_Vec2& a, const AK_Vec2& b)
{
  start = OnMesh(mesh, a);
  end = OnMesh(mesh, b);
  cells.Clear();
  fractions.Clear();
  AK_Array<AK_Vec2> crossings;
  mesh.CellsAlongSegment(a, b, cells, &crossings);
  const int32_t n = cells.Count();
  // The walk ends inside the end point's cell (no crossing point for it) or at the border.
  crossings.Append(b);
  reach = n > 0 ? crossings[n - 1] : a;
  fractions.Append(0.0f);
  if (n == 1) fractions.Append(1.0f);
  if (n <= 1) return;
  const double length = DistanceXY(a, b);
  AK_Vec2 previous = a;
  for (int32_t k = 0; k < n; ++k) {
    float piece = static_cast<float>(DistanceXY(previous, crossings[k]) / length);
    fractions.Append(fractions.Last() + piece);
    previous = crossings[k];
  }
  const float total = fractions.Last();
  for (int32_t k = 0; k <= n; ++k)
    fractions[k] = total > 0 ? fractions[k] / total : static_cast<float>(k) / static_cast<float>(n);
  fractions[n] = 1.0f;
}

float SW_SourceLineMapping::MassInCell(int32_t i, float dt, double massFlow) const
{
  if (i < 0 || i + 1 >= fractions.Count()) return 0.0f;
  float share = fractions[i + 1] - fractions[i];
  return static_cast<float>(share * (static_cast<double>(dt) * massFlow));
}

AK_Vec2 SW_SourceLineMapping::PointInCell(int32_t i, float t) const
{
  float f = 0.0f;
  if (i >= 0 && i + 1 < fractions.Count()) f = fractions[i] + (fractions[i + 1] - fractions[i]) * t;
  return AK_Vec2{start.x + (reach.x - start.x) * f, start.y + (reach.y - start.y) * f};
}
