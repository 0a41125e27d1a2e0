// Inside and nearest-point queries through a triangle octree. The build marks every leaf
// inside or outside once: empty leaves on the root's faces lie in the unbounded region,
// that mark spreads through empty face neighbours, leaves that hold triangles decide their
// centre by the nearest triangles, and the marks then spread on to the remaining empty
// leaves. The inside test then costs one descent and one pass over a leaf's triangles.
#include <algorithm>
#include <cmath>

#include "AK_Predicates.h"
#include "AK_Triangulation.h"

namespace {

using Octree = AK_TriangleOctree;

// A triangle belongs into every cell whose closed box it meets; the boxes are relative to
// the octree's origin.
class AK_TriInBox : public AK_OctreeInBoxCriterion<int32_t, 3> {
public:
  AK_TriInBox(const AK_Triangulation& surface, const AK_Vec3& origin)
      : _surface(surface), _origin(origin)
  {
  }
  int InBox(const int32_t& i, const float min[3], const float max[3]) const override
  {
    AK_Vec3 lo = _origin + AK_Vec3(min[0], min[1], min[2]);
    AK_Vec3 hi = _origin + AK_Vec3(max[0], max[1], max[2]);
    return _surface._t[i].InBox(_surface._p, lo, hi) ? 1 : 0;
  }

private:
  const AK_Triangulation& _surface;
  AK_Vec3 _origin;
};

// The surface's refinement: at least one split, at most 15 levels, at most 15 triangles in a
// leaf above that, and a budget of splits in proportion to the number of triangles (a sound
// surface needs about one per triangle). Sixteen triangles lying on top of each other would
// otherwise split every cell along their plane down to the deepest level, some 4^15 cells;
// a leaf left coarser only makes the queries slower, never wrong.
class AK_SurfaceRefinement : public AK_SimpleOctreeRefinementCriterion<int32_t, 3> {
public:
  explicit AK_SurfaceRefinement(int32_t triangles)
      : AK_SimpleOctreeRefinementCriterion(1, 15, 15), _budget(8 * static_cast<int64_t>(triangles) + 64)
  {
  }
  int NeedsRefinement(const Octree& cell) const override
  {
    if (_budget <= 0 || !AK_SimpleOctreeRefinementCriterion::NeedsRefinement(cell)) return 0;
    --_budget;
    return 1;
  }

private:
  mutable int64_t _budget;
};

bool OnRootFace(const Octree& leaf, const Octree& root)
{
  for (int a = 0; a < 3; ++a)
    if (leaf._min[a] == root._min[a] || leaf._max[a] == root._max[a]) return true;
  return false;
}

// The leaves across the six faces of a cell (none for the root).
void FaceNeighbourLeaves(Octree& cell, Octree::CellList& list)
{
  list.SetCount(0);
  if (!cell._parent) return;
  AK_Array<int32_t> codes(4);
  for (int d = 0; d < 3; ++d)
    for (int s = 0; s < 2; ++s) {
      const int mask = 1 << d, value = s << d;
      codes.SetCount(0);
      codes.Append(cell._octant);
      if (Octree* n = Octree::Neighbour(cell._parent, codes, mask, value))
        n->CollectSideLeaves(list, mask, mask & ~value);
    }
}

Octree* Pop(Octree::CellList& stack)
{
  Octree* c = stack.Last();
  stack.SetCount(stack.Size() - 1);
  return c;
}

void Send(const AK_String& text, int line) { AK_Message(text.c_str(), "AK_Triangulation", line); }

}  // namespace

void AK_Triangulation::ToOctreeFrame(const AK_Vec3& p, float out[3]) const
{
  out[0] = static_cast<float>(p.x - _octreeOrigin.x);
  out[1] = static_cast<float>(p.y - _octreeOrigin.y);
  out[2] = static_cast<float>(p.z - _octreeOrigin.z);
}

AK_Vec3 AK_Triangulation::CellCentre(const AK_TriangleOctree& cell) const
{
  return _octreeOrigin + AK_Vec3(cell.Centre(0), cell.Centre(1), cell.Centre(2));
}

void AK_Triangulation::EnsureOctree()
{
  if (!_octree || _octreePoints != _p.Size() || _octreeTriangles != _t.Size()) BuildOctree();
}

void AK_Triangulation::BuildOctree()
{
  DropOctree();
  ComputeBounds();
  _inverted = Volume() < 0.0 ? 1 : 0;
  const int32_t outside = _inverted ? 1 : -1;

  // The root is a cube 0.1 % larger than the longest side of the bounding box; its boxes
  // are kept relative to its lower corner.
  _octree = std::make_unique<AK_TriangleOctree>();
  double half = 0.5;
  AK_Vec3 centre(0.5, 0.5, 0.5);
  if (_p.Size() > 0) {
    AK_Vec3 e = _max - _min;
    half = std::max({e.z, e.y, e.x, 0.0}) * 0.5 * 1.001;
    centre = (_max + _min) * 0.5;
    if (half == 0) half = 0.5;  // a surface shrunk to a point still gets a box
  }
  _octreeOrigin = centre - AK_Vec3(half, half, half);
  for (int a = 0; a < 3; ++a) {
    _octree->_min[a] = 0;
    _octree->_max[a] = static_cast<float>(2 * half);
  }
  _octreePoints = _p.Size();
  _octreeTriangles = _t.Size();

  AK_TriInBox inBox(*this, _octreeOrigin);
  AK_SurfaceRefinement refine(_t.Size());
  // Coordinates beyond the float range give no usable boxes: one leaf then holds all.
  const bool finite = std::isfinite(static_cast<float>(2 * half));
  for (int32_t i = 0; i < _t.Size(); ++i) _octree->InsertObject(i, inBox, finite ? &refine : nullptr);
  Send(AK_String::Format("%d octree objects %d leaves %d nodes", _octree->NumObjects(),
                         _octree->NumLeaves(), _octree->NumNodes()),
       1323);
  ClassifyLeaves(outside);
}

void AK_Triangulation::ClassifyLeaves(int32_t outside)
{
  Octree& root = *_octree;
  Octree::CellList stack(64), around(64);

  Send("init inside to 'undefined' (0), setting empty cells at octree bnd to 'outside' (-1)...",
       1354);
  root.ForEachLeaf([&](Octree& leaf) {
    leaf.SetNumber(0);
    if (!leaf.Objects() && OnRootFace(leaf, root)) {
      leaf.SetNumber(outside);
      stack.Append(&leaf);
    }
  });

  Send("spreading 'outside' up to non-empty cells (which intersect the object surface)...", 1364);
  while (stack.Size() > 0) {
    FaceNeighbourLeaves(*Pop(stack), around);
    for (int32_t i = around.Size() - 1; i >= 0; --i)
      if (around[i]->Number() == 0 && !around[i]->Objects()) {
        around[i]->SetNumber(outside);
        stack.Append(around[i]);
      }
  }

  Send("determining inside/outside for centers of all intersected cells...", 1380);
  root.ForEachLeaf([&](Octree& leaf) {
    if (!leaf.Objects()) return;
    leaf.SetNumber(IsInFrontOfNearest(CellCentre(leaf), *leaf.Objects()) ? -1 : 1);
    stack.Append(&leaf);
  });

  Send("spreading inside/outside...", 1395);
  while (stack.Size() > 0) {
    Octree* cell = Pop(stack);
    if (cell->Number() == 0) AK_FatalAssertion("cell->Number() != 0", "AK_Triangulation", 1398);
    FaceNeighbourLeaves(*cell, around);
    for (int32_t i = around.Size() - 1; i >= 0; --i) {
      Octree* n = around[i];
      if (n->Number() != 0) continue;
      if (n->Objects()) AK_FatalAssertion("neigh->Objects() == 0", "AK_Triangulation", 1405);
      if (cell->Objects())
        n->SetNumber(IsInFrontOfNearest(CellCentre(*n), *cell->Objects()) ? -1 : 1);
      else
        n->SetNumber(cell->Number());
      stack.Append(n);
    }
  }

  int32_t nOutside = 0, nInside = 0, nUndefined = 0;
  root.ForEachLeaf([&](Octree& leaf) {
    if (leaf.Number() == 1) {
      leaf.SetNumber(nInside++);
    } else if (leaf.Number() == -1) {
      ++nOutside;
    } else {
      leaf.SetNumber(-1);
      ++nUndefined;
    }
  });
  Send(AK_String::Format("%d outside, %d inside and %d undefined", nOutside, nInside, nUndefined),
       1440);
}

int AK_Triangulation::IsInFrontOfNearest(const AK_Vec3& p, const AK_Array<int32_t>& triangles) const
{
  double best = 1e100;
  int count = 0;
  int32_t a = -1, b = -1;  // the nearest feature: a vertex (b = -1), an edge, or neither
  for (int32_t i : triangles) {
    const AK_Triangle3& t = _t[i];
    int k, e;
    AK_Vec3 q = t.ClosestPoint(_p, p, k, e);
    AK_Vec3 d = p - q;
    double d2 = d.Dot(d);
    if (k != -1 && b == -1 && t.node[k] == a) {
      count += t.Orientation(_p, p);
    } else if (e != -1 && t.node[(e + 1) % 3] == b && t.node[(e + 2) % 3] == a) {
      count += t.Orientation(_p, p);
    } else if (d2 < best) {
      best = d2;
      count = t.Orientation(_p, p);
      a = k != -1 ? t.node[k] : e != -1 ? t.node[(e + 1) % 3] : -1;
      b = k == -1 && e != -1 ? t.node[(e + 2) % 3] : -1;
    }
  }
  return count > 0 ? 1 : 0;
}

int AK_Triangulation::IsInside(const AK_Vec3& p)
{
  if (_t.Size() == 0) return 0;
  EnsureOctree();
  float pf[3];
  ToOctreeFrame(p, pf);
  const AK_TriangleOctree* leaf = _octree->FindLeaf(pf);
  if (!leaf) return _inverted;
  if (!leaf->Objects()) return leaf->Number() >= 0 ? 1 : 0;

  // The segment from p to the leaf's centre: the nearest triangle it crosses tells on
  // which side p lies; crossing none, p shares the centre's state.
  const AK_Vec3 m = CellCentre(*leaf);
  int crossings = 0, front = 0;
  double nearest = 1e100;
  for (int32_t i : *leaf->Objects()) {
    const AK_Triangle3& t = _t[i];
    const AK_Vec3 &p0 = t.P(_p, 0), &p1 = t.P(_p, 1), &p2 = t.P(_p, 2);
    AK_Vec3 c = AK_SolveInBasis3(m, p, p0 - p, p1 - p, p2 - p);
    if (c.x < 0 || c.y < 0 || c.z < 0 || c.x + c.y + c.z < 1.0) continue;
    ++crossings;
    double along = AK_LinePlaneParameter(p, m, p0, t.Normal(_p));
    if (along < nearest) {
      nearest = along;
      front = t.Orientation(_p, p);
    }
  }
  if (crossings > 0) return front ? 0 : 1;
  return leaf->Number() >= 0 ? 1 : 0;
}

int32_t AK_Triangulation::NearestInLeaves(const AK_Vec3& p, AK_TriangleOctree::CellList& leaves,
                                          double& best, AK_Vec3* point) const
{
  int32_t nearest = -1;
  for (AK_TriangleOctree* leaf : leaves) {
    if (!leaf->Objects()) continue;
    for (int32_t i : *leaf->Objects()) {
      int k, e;
      AK_Vec3 q = _t[i].ClosestPoint(_p, p, k, e);
      AK_Vec3 d = p - q;
      if (d.Dot(d) < best) {
        best = d.Dot(d);
        nearest = i;
        if (point) *point = q;
      }
    }
  }
  return nearest;
}

namespace {

// Distance from p to the box, 0 inside.
double DistanceToBox(const AK_Vec3& p, const AK_Vec3& lo, const AK_Vec3& hi)
{
  AK_Vec3 c(std::clamp(p.x, lo.x, hi.x), std::clamp(p.y, lo.y, hi.y), std::clamp(p.z, lo.z, hi.z));
  return (p - c).Length();
}

void Window(const float pf[3], float h, float qmin[3], float qmax[3])
{
  for (int a = 0; a < 3; ++a) {
    qmin[a] = pf[a] - h;
    qmax[a] = pf[a] + h;
  }
}

}  // namespace

AK_Vec3 AK_Triangulation::ClosestPoint(const AK_Vec3& p, AK_Vec3* normal)
{
  AK_Vec3 q;
  if (_t.Size() == 0) return q;
  EnsureOctree();
  const Octree& root = *_octree;
  float pf[3];
  ToOctreeFrame(p, pf);
  double r;
  if (const Octree* leaf = root.FindLeaf(pf))
    r = static_cast<double>(leaf->_max[0] - leaf->_min[0]);
  else
    r = DistanceToBox(p, _octreeOrigin + AK_Vec3(root._min[0], root._min[1], root._min[2]),
                      _octreeOrigin + AK_Vec3(root._max[0], root._max[1], root._max[2]));
  // A point on the root's upper face is at distance 0 from it and in no leaf: doubling a
  // zero window would never grow.
  if (!(r > 0)) r = static_cast<double>(root._max[0] - root._min[0]);
  float h = static_cast<float>(r * 0.5);
  if (!(h < 1e30f)) return q;
  double best = 1e30;
  int32_t nearest = -1;
  Octree::CellList leaves(64);
  float qmin[3], qmax[3];
  do {
    h = 2 * h;
    Window(pf, h, qmin, qmax);
    leaves.SetCount(0);
    _octree->CollectLeavesInBox(qmin, qmax, leaves);
    int32_t found = NearestInLeaves(p, leaves, best, &q);
    if (found >= 0) nearest = found;
  } while (!(std::sqrt(best) <= h));
  if (normal && nearest >= 0) *normal = _t[nearest].Normal(_p);
  return q;
}

int32_t AK_Triangulation::ClosestTriangle(const AK_Vec3& p)
{
  if (_t.Size() == 0) return -1;
  EnsureOctree();
  Octree& root = *_octree;
  float pf[3];
  ToOctreeFrame(p, pf);
  double best = 1e30;
  int32_t result = -1;
  Octree::CellList leaves(64);
  float h;
  if (Octree* leaf = root.FindLeaf(pf)) {
    h = static_cast<float>(
        static_cast<double>((leaf->_max[0] - leaf->_min[0]) + (leaf->_max[1] - leaf->_min[1]) +
                            (leaf->_max[2] - leaf->_min[2])) * 0.5 / 3.0);
    if (leaf->Objects()) {
      leaves.Append(leaf);
      result = NearestInLeaves(p, leaves, best, nullptr);
      // The ball of the nearest distance lies in the leaf: nothing outside can be nearer.
      const double d = std::sqrt(best);
      const AK_Vec3 lo = _octreeOrigin + AK_Vec3(leaf->_min[0], leaf->_min[1], leaf->_min[2]);
      const AK_Vec3 hi = _octreeOrigin + AK_Vec3(leaf->_max[0], leaf->_max[1], leaf->_max[2]);
      if (d <= p.x - lo.x && d <= hi.x - p.x && d <= p.y - lo.y && d <= hi.y - p.y &&
          d <= p.z - lo.z && d <= hi.z - p.z)
        return result;
    }
  } else {
    const AK_Vec3 lo = _octreeOrigin + AK_Vec3(root._min[0], root._min[1], root._min[2]);
    const AK_Vec3 hi = _octreeOrigin + AK_Vec3(root._max[0], root._max[1], root._max[2]);
    h = static_cast<float>((hi - lo).Dot(AK_Vec3(1, 1, 1)) * 0.01 / 3.0);
    h = std::max(h, static_cast<float>(DistanceToBox(p, lo, hi)));
  }
  float qmin[3], qmax[3];
  for (int round = 0; round < 100; ++round) {
    Window(pf, h, qmin, qmax);
    leaves.SetCount(0);
    root.CollectLeavesInBox(qmin, qmax, leaves);
    int32_t found = NearestInLeaves(p, leaves, best, nullptr);
    if (found >= 0) result = found;
    if (h >= std::sqrt(best)) break;
    h = 2 * h;
  }
  return result;
}
