// Steps shared by the point-set and the break-line triangulation.
#include "SW_MeshTriangulation.h"

#include <cstdio>
#include <utility>

void SW_VertexBox2(const AK_Array<AK_Vec3>& x, AK_Vec2& lo, AK_Vec2& hi)
{
  lo = hi = AK_Vec2{0, 0};
  if (x.Size() > 0) lo = hi = AK_Vec2{x[0].x, x[0].y};
  for (int32_t i = 0; i < x.Size(); ++i) {
    if (x[i].x < lo.x) lo.x = x[i].x;
    if (x[i].y < lo.y) lo.y = x[i].y;
    if (x[i].x > hi.x) hi.x = x[i].x;
    if (x[i].y > hi.y) hi.y = x[i].y;
  }
}

void SW_ShuffleInsertionOrder(std::vector<const AK_Vec2*>& order, uint32_t seed)
{
  const int32_t n = static_cast<int32_t>(order.size());
  AK_SeedRandom(seed);
  if (n == 0) return;
  for (int round = 0; round < 5; ++round)
    for (int32_t i = 0; i < n; ++i) {
      int32_t a = AK_Random() % n;
      int32_t b = AK_Random() % n;
      std::swap(order[static_cast<size_t>(a)], order[static_cast<size_t>(b)]);
    }
}

void SW_ReportUnplaced(const AK_Triangulation2& tri)
{
  if (tri.Unplaced() == 0) return;
  char text[128];
  std::snprintf(text, sizeof text,
                "WARNING:%d points could not be placed in the triangulation and have no cell",
                tri.Unplaced());
  AK_ModuleMessage("SW_Mesh", text);
}

void SW_ReportDiscarded(int32_t discarded)
{
  if (discarded == 0) return;
  char text[128];
  std::snprintf(text, sizeof text, "%d triangles discarded because of zero or negative area!",
                discarded);
  AK_ModuleMessage("SW_Mesh", text);
}
