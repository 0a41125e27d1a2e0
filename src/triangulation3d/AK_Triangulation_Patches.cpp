// Patches (regions that bend smoothly from triangle to triangle) and sub-patches (caps of
// triangles that face nearly the way their first triangle faces), grown over the neighbour
// links from triangle 0 with a stack of seeds for the regions still to start.
#include "AK_Triangulation.h"

namespace {

int32_t Pop(AK_Array<int32_t>& stack)
{
  int32_t t = stack.Last();
  stack.SetCount(stack.Size() - 1);
  return t;
}

// Grows regions over the neighbour links. `region[t]` is -1 for a triangle not yet in a
// region; a neighbour joins the region of the triangle it was reached from when `joins`
// (seed, from, neighbour) says so, and otherwise becomes a seed of a later region.
// Answers the number of regions made; triangles not reached from triangle 0 stay -1.
template <class Joins>
int32_t GrowRegions(const AK_Array<AK_Triangle3>& triangles, int32_t first, int32_t* region,
                    Joins joins)
{
  AK_Array<int32_t> seeds(1), members(1);
  int32_t count = first;
  seeds.Append(0);
  while (seeds.Size() > 0) {
    int32_t seed = Pop(seeds);
    if (region[seed] != -1) continue;
    region[seed] = count++;
    members.Append(seed);
    while (members.Size() > 0) {
      int32_t u = Pop(members);
      for (int k = 0; k < 3; ++k) {
        int32_t v = triangles[u].neighbour[k];
        if (v < 0 || region[v] != -1) continue;
        if (joins(seed, u, v)) {
          region[v] = region[u];
          members.Append(v);
        } else {
          seeds.Append(v);
        }
      }
    }
  }
  return count - first;
}

}  // namespace

void AK_Triangulation::ComputePatches(double cosLimit)
{
  const int32_t n = _t.Size();
  if (n == 0) return;
  AK_Array<int32_t> patch(n);
  patch.SetCount(n);
  for (int32_t t = 0; t < n; ++t) {
    _selected[t] = 0;
    patch[t] = -1;
  }
  _nPatches = GrowRegions(_t, 0, patch._elems, [&](int32_t, int32_t u, int32_t v) {
    return _t[u].UnitNormal(_p).Dot(_t[v].UnitNormal(_p)) > cosLimit;
  });
  AK_Trace("AK_Triangulation", 381, "_nPatches", _nPatches);
  int32_t nUndef = 0;
  for (int32_t t = 0; t < n; ++t) {
    if (patch[t] == -1) {
      patch[t] = _nPatches++;
      ++nUndef;
    }
    _t[t].patch = patch[t];
  }
  _patchesFromSubPatches = 0;
  AK_Trace("AK_Triangulation", 389, "nUndef", nUndef);
}

void AK_Triangulation::ComputeSubPatches(double cosLimit)
{
  const int32_t n = _t.Size();
  if (n == 0) return;
  // Patches of a file or of ComputePatches are kept; only a copy of earlier sub-patches
  // is rebuilt with them.
  const bool rebuildPatches = _nPatches == 0 || _patchesFromSubPatches;
  if (rebuildPatches) {
    _nPatches = 0;
    for (uint8_t& s : _selected) s = 0;
  }
  _subPatch.Reserve(n);
  _subPatch.SetCount(n);
  for (int32_t& s : _subPatch) s = -1;
  AK_Vec3 seedNormal;
  int32_t lastSeed = -1;
  _nSubPatches = GrowRegions(_t, 0, _subPatch._elems, [&](int32_t seed, int32_t, int32_t v) {
    if (seed != lastSeed) {
      seedNormal = _t[seed].UnitNormal(_p);
      lastSeed = seed;
    }
    return seedNormal.Dot(_t[v].UnitNormal(_p)) > cosLimit;
  });

  _subPatchNeighbours.Clear();
  _subPatchNeighbours.Reserve(_nSubPatches);
  _subPatchNeighbours.SetCount(_nSubPatches);
  for (int32_t t = 0; t < n; ++t) {
    for (int k = 0; k < 3; ++k) {
      int32_t v = _t[t].neighbour[k];
      if (v < 0) continue;
      int32_t a = _subPatch[t], b = _subPatch[v];
      if (a < 0 || b < 0 || a == b || _subPatchNeighbours[a].Find(b) >= 0) continue;
      _subPatchNeighbours[a].Append(b);
      _subPatchNeighbours[b].Append(a);
    }
  }

  if (rebuildPatches) {
    _nPatches = _nSubPatches;
    for (int32_t t = 0; t < n; ++t) _t[t].patch = _subPatch[t];
    _patchesFromSubPatches = 1;
  }
}

void AK_Triangulation::SelectPatchAt(const char* text)
{
  double x = 0, y = 0, z = 0;
  AK_ParseVec3(text, x, y, z);
  const AK_Vec3 q(x, y, z);
  int32_t nearest = -1;
  double best = 1e30;
  for (int32_t t = 0; t < _t.Size(); ++t) {
    AK_Vec3 d = _t[t].Centroid(_p) - q;
    if (d.Dot(d) < best) {
      best = d.Dot(d);
      nearest = t;
    }
  }
  if (nearest < 0) return;
  for (int32_t t = 0; t < _t.Size(); ++t)
    if (_t[t].patch == _t[nearest].patch) _selected[t] = 1;
}

int AK_Triangulation::HasSeparateSubPatches(const AK_Array<int32_t>& triangles) const
{
  if (_nSubPatches == 0) return 1;
  for (int32_t i = 0; i < triangles.Size(); ++i)
    for (int32_t j = i + 1; j < triangles.Size(); ++j) {
      int32_t a = _subPatch[triangles[i]], b = _subPatch[triangles[j]];
      if (a != b && (a < 0 || _subPatchNeighbours[a].Find(b) < 0)) return 1;
    }
  return 0;
}
