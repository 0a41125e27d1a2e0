// Steps shared by the point-set and the break-line triangulation.
#include "SW_MeshTriangulation.h"

#include <cstdio>
#include <utility>

#include "AK_Predicates.h"

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
  uint32_t state = seed;
  if (n > 0) {
    // The draws do not depend on the swaps, so they run kAhead swaps ahead of them, and the
    // two entries of a swap (anywhere in an array larger than the caches) are on their way
    // by the time it comes.
    constexpr int64_t kAhead = 16;
    struct Swap {
      uint32_t a, b;
    };
    const AK_FastModulo mod(static_cast<uint32_t>(n));
    const int64_t swaps = 5 * static_cast<int64_t>(n);
    Swap ahead[kAhead];
    auto draw = [&](Swap& s) {
      s.a = mod(static_cast<uint32_t>(AK_NextRandom(state)));
      s.b = mod(static_cast<uint32_t>(AK_NextRandom(state)));
    };
    for (int64_t i = 0; i < kAhead && i < swaps; ++i) {
      draw(ahead[i]);
      __builtin_prefetch(&order[ahead[i].a]);
      __builtin_prefetch(&order[ahead[i].b]);
    }
    for (int64_t i = 0; i < swaps; ++i) {
      Swap& slot = ahead[i % kAhead];
      const Swap now = slot;
      if (i + kAhead < swaps) {
        draw(slot);
        __builtin_prefetch(&order[slot.a]);
        __builtin_prefetch(&order[slot.b]);
      }
      std::swap(order[now.a], order[now.b]);
    }
  }
  AK_SeedRandom(state);
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

void SW_ReportDropped(int32_t given, int32_t placed)
{
  if (placed >= given) return;
  char text[128];
  std::snprintf(text, sizeof text, "WARNING:the triangulation dropped %d of %d points", given - placed, given);
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
