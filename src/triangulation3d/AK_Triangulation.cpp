// The triangle record's geometry and the building operations of a surface.
#include "AK_Triangulation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "AK_Predicates.h"

void AK_Trace(const char* file, int line, const char* name, long long value)
{
  std::printf("%s:%d:%s = '%lld'\n", file, line, name, value);
  std::fflush(stdout);
}

// ---------------------------------------------------------------------------------------
// One triangle

AK_Vec3 AK_Triangle3::Centroid(const AK_Points3& p) const
{
  return (P(p, 0) + P(p, 1) + P(p, 2)) * 0.3333333333333333;
}

AK_Vec3 AK_Triangle3::Normal(const AK_Points3& p) const
{
  return (P(p, 1) - P(p, 0)).Cross(P(p, 2) - P(p, 0));
}

AK_Vec3 AK_Triangle3::UnitNormal(const AK_Points3& p) const
{
  AK_Vec3 n = Normal(p);
  return n * (1.0 / n.Length());
}

AK_Vec3 AK_Triangle3::EdgeMidpoint(const AK_Points3& p, int k) const
{
  return (P(p, (k + 1) % 3) + P(p, (k + 2) % 3)) * 0.5;
}

double AK_Triangle3::EdgeLength(const AK_Points3& p, int k) const
{
  return (P(p, (k + 2) % 3) - P(p, (k + 1) % 3)).Length();
}

int AK_Triangle3::LongestEdge(const AK_Points3& p) const
{
  int longest = 0;
  double best = -1;
  for (int k = 0; k < 3; ++k) {
    AK_Vec3 e = P(p, (k + 2) % 3) - P(p, (k + 1) % 3);
    double l2 = e.Dot(e);
    if (l2 > best) {
      best = l2;
      longest = k;
    }
  }
  return longest;
}

AK_Vec3 AK_Triangle3::Circumcenter(const AK_Points3& p) const
{
  return AK_TriangleCircumcenter3d(P(p, 0), P(p, 1), P(p, 2));
}

bool AK_Triangle3::InBox(const AK_Points3& p, const AK_Vec3& boxMin, const AK_Vec3& boxMax) const
{
  const AK_Vec3 &a = P(p, 0), &b = P(p, 1), &c = P(p, 2);
  const double lo[3] = {std::min({a.x, b.x, c.x}), std::min({a.y, b.y, c.y}),
                        std::min({a.z, b.z, c.z})};
  const double hi[3] = {std::max({a.x, b.x, c.x}), std::max({a.y, b.y, c.y}),
                        std::max({a.z, b.z, c.z})};
  const double bmin[3] = {boxMin.x, boxMin.y, boxMin.z}, bmax[3] = {boxMax.x, boxMax.y, boxMax.z};
  for (int i = 0; i < 3; ++i)
    if (lo[i] > bmax[i] || bmin[i] > hi[i]) return false;
  AK_Vec3 corners[8];
  AK_BoxCorners(corners, boxMin, boxMax);
  if (AK_PointInBoxCorners(corners, a) || AK_PointInBoxCorners(corners, b) ||
      AK_PointInBoxCorners(corners, c))
    return true;
  if (AK_SegmentCrossesBox(corners, a, b) || AK_SegmentCrossesBox(corners, b, c) ||
      AK_SegmentCrossesBox(corners, c, a))
    return true;
  return AK_BoxEdgeCrossesTriangle(corners, a, b, c) != 0;
}

bool AK_Triangle3::SegmentCrosses(const AK_Points3& p, const AK_Vec3& a, const AK_Vec3& b,
                                  double eps) const
{
  AK_Vec3 c = AK_SolveInBasis3(b, a, P(p, 0) - a, P(p, 1) - a, P(p, 2) - a);
  if (c.x < -eps || c.y < -eps || c.z < -eps) return false;
  return c.x + c.y + c.z >= 1 - eps;
}

double AK_Triangle3::LineParameter(const AK_Points3& p, const AK_Vec3& a, const AK_Vec3& b) const
{
  return AK_LinePlaneParameter(a, b, P(p, 0), Normal(p));
}

int AK_Triangle3::Orientation(const AK_Points3& p, const AK_Vec3& q) const
{
  return AK_Orient3d(q, P(p, 0), P(p, 1), P(p, 2));
}

int AK_Triangle3::GridOrientation(const AK_Points3& p, const AK_Vec3& q, double scale) const
{
  return AK_GridOrient3d(q, P(p, 0), P(p, 1), P(p, 2), scale);
}

AK_Vec3 AK_Triangle3::Project(const AK_Points3& p, const AK_Vec3& q) const
{
  AK_Vec3 e1 = P(p, 1) - P(p, 0), e2 = P(p, 2) - P(p, 0);
  AK_Vec3 n = e1.Cross(e2), w = q - P(p, 0);
  double n2 = n.Dot(n);
  return AK_Vec3(w.Cross(e2).Dot(n) / n2, e1.Cross(w).Dot(n) / n2, w.Dot(n) / std::sqrt(n2));
}

namespace {

// The nearest point of a triangle outside its interior: the inside of an edge, then a
// corner strictly nearer. Answers the squared distance.
double NearestOnBoundary(const AK_Triangle3& t, const AK_Points3& p, const AK_Vec3& q,
                         int& vertex, int& edge, AK_Vec3& point)
{
  double best = 1e100;
  for (int k = 0; k < 3; ++k) {
    const AK_Vec3& a = t.P(p, (k + 1) % 3);
    AK_Vec3 e = t.P(p, (k + 2) % 3) - a, w = q - a;
    double s = w.Dot(e), e2 = e.Dot(e);
    if (s > 0 && e2 > s) {
      AK_Vec3 c = w.Cross(e);
      double d2 = c.Dot(c) / e2;
      if (d2 < best) {
        best = d2;
        edge = k;
        point = a + e * (s / e2);
      }
    }
  }
  for (int i = 0; i < 3; ++i) {
    AK_Vec3 w = q - t.P(p, i);
    double d2 = w.Dot(w);
    if (d2 < best) {
      best = d2;
      vertex = i;
      edge = -1;
      point = t.P(p, i);
    }
  }
  return best;
}

}  // namespace

double AK_Triangle3::Distance(const AK_Points3& p, const AK_Vec3& q, int& vertex, int& edge) const
{
  vertex = edge = -1;
  AK_Vec3 uvd = Project(p, q);
  if (uvd.x >= 0 && uvd.y >= 0 && uvd.x + uvd.y <= 1) return uvd.z;
  AK_Vec3 point;
  return std::sqrt(NearestOnBoundary(*this, p, q, vertex, edge, point));
}

AK_Vec3 AK_Triangle3::ClosestPoint(const AK_Points3& p, const AK_Vec3& q, int& vertex,
                                   int& edge) const
{
  vertex = edge = -1;
  AK_Vec3 uvd = Project(p, q);
  if (uvd.x > 0 && uvd.y > 0 && uvd.x + uvd.y < 1)
    return P(p, 0) + (P(p, 1) - P(p, 0)) * uvd.x + (P(p, 2) - P(p, 0)) * uvd.y;
  AK_Vec3 point;
  NearestOnBoundary(*this, p, q, vertex, edge, point);
  return point;
}

int AK_Triangle3::SharedEdge(const AK_Triangle3& other) const
{
  int found = 0, missing = -1, missed = 0;
  for (int i = 0; i < 3; ++i) {
    bool in = other.node[0] == node[i] || other.node[1] == node[i] || other.node[2] == node[i];
    if (in) {
      ++found;
    } else {
      missing = i;
      if (++missed == 2) return -1;
    }
  }
  return found == 2 ? missing : -1;
}

void AK_Triangle3::Flip()
{
  std::swap(node[0], node[2]);
  std::swap(neighbour[0], neighbour[2]);
}

void AK_Triangle3::Print(std::ostream& out, const AK_Points3& p, const char* label) const
{
  out << "t " << label;
  for (int k = 0; k < 3; ++k) out << " " << P(p, k).x << " " << P(p, k).y << " " << P(p, k).z;
  out << "\n";
}

// ---------------------------------------------------------------------------------------
// Building

void AK_Triangulation::Clear()
{
  _p.SetCount(0);
  _t.SetCount(0);
  _selected.SetCount(0);
  _subPatch.SetCount(0);
  _subPatchNeighbours.Clear();
  _nPatches = _nSubPatches = 0;
  _patchesFromSubPatches = 0;
  DropOctree();
}

void AK_Triangulation::DropOctree()
{
  _octree.reset();
  _octreePoints = _octreeTriangles = 0;
}

void AK_Triangulation::AddPoint(const AK_Vec3& point)
{
  _p.Append(point);
  DropOctree();
}

void AK_Triangulation::AddTriangle(int32_t a, int32_t b, int32_t c, int32_t patch)
{
  _t.Append(AK_Triangle3(a, b, c, patch));
  _selected.Append(0);
  _nSubPatches = 0;
  if (patch + 1 > _nPatches) _nPatches = patch + 1;
  if (patch >= 0) _patchesFromSubPatches = 0;
  DropOctree();
}

void AK_Triangulation::LinkNeighbours()
{
  AK_MESSAGE("linking...");
  struct Entry {
    int32_t t;
    int k;
  };
  const int64_t nBuckets = 3 * static_cast<int64_t>(_t.Size()) / 60 + 7;
  std::vector<std::vector<Entry>> buckets(static_cast<size_t>(nBuckets));
  for (AK_Triangle3& t : _t) t.neighbour[0] = t.neighbour[1] = t.neighbour[2] = -1;
  for (int32_t t = 0; t < _t.Size(); ++t) {
    for (int k = 0; k < 3; ++k) {
      int32_t a = _t[t].node[(k + 1) % 3], b = _t[t].node[(k + 2) % 3];
      std::vector<Entry>& bucket =
          buckets[static_cast<size_t>(((static_cast<int64_t>(a) + b) % nBuckets + nBuckets) % nBuckets)];
      bool matched = false;
      for (size_t i = 0; i < bucket.size(); ++i) {
        const AK_Triangle3& o = _t[bucket[i].t];
        int ko = bucket[i].k;
        if (o.node[(ko + 1) % 3] == b && o.node[(ko + 2) % 3] == a) {
          _t[t].neighbour[k] = bucket[i].t;
          _t[bucket[i].t].neighbour[ko] = t;
          bucket[i] = bucket.back();
          bucket.pop_back();
          matched = true;
          break;
        }
      }
      if (!matched) bucket.push_back({t, k});
    }
  }
}

void AK_Triangulation::Invert()
{
  for (AK_Triangle3& t : _t) t.Flip();
  if (!_octree) return;
  _inverted = 1 - _inverted;
  int32_t outside = 0;
  _octree->ForEachLeaf([&](AK_TriangleOctree& leaf) {
    leaf.SetNumber(leaf.Number() == -1 ? outside++ : -1);
  });
}

void AK_Triangulation::ComputeBounds()
{
  if (_p.Size() == 0) return;
  _min = _max = _p[0];
  for (const AK_Vec3& q : _p) {
    _min = AK_Vec3(std::min(_min.x, q.x), std::min(_min.y, q.y), std::min(_min.z, q.z));
    _max = AK_Vec3(std::max(_max.x, q.x), std::max(_max.y, q.y), std::max(_max.z, q.z));
  }
}

bool AK_Triangulation::GetBounds(float min[3], float max[3]) const
{
  if (_t.Size() == 0) return false;
  min[0] = static_cast<float>(_min.x);
  min[1] = static_cast<float>(_min.y);
  min[2] = static_cast<float>(_min.z);
  max[0] = static_cast<float>(_max.x);
  max[1] = static_cast<float>(_max.y);
  max[2] = static_cast<float>(_max.z);
  return true;
}

void AK_Triangulation::TransformToFrame(const AK_Vec3& origin, const double m[9])
{
  for (AK_Vec3& q : _p) {
    AK_Vec3 d = q - origin;
    q = AK_Vec3(m[0] * d.x + m[1] * d.y + m[2] * d.z, m[3] * d.x + m[4] * d.y + m[5] * d.z,
                m[6] * d.x + m[7] * d.y + m[8] * d.z);
  }
  ComputeBounds();
  DropOctree();
}

void AK_Triangulation::TransformAffine(const double a[12])
{
  for (AK_Vec3& q : _p)
    q = AK_Vec3(a[0], a[1], a[2]) + AK_Vec3(a[3], a[4], a[5]) * q.x +
        AK_Vec3(a[6], a[7], a[8]) * q.y + AK_Vec3(a[9], a[10], a[11]) * q.z;
  ComputeBounds();
  DropOctree();
}

bool AK_Triangulation::IsSharpEdge(int32_t t, int k, double cosLimit) const
{
  int32_t n = _t[t].neighbour[k];
  if (n < 0) return true;
  return _t[t].UnitNormal(_p).Dot(_t[n].UnitNormal(_p)) < cosLimit;
}
