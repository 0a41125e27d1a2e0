// The octree and the inside and nearest-point queries, against brute force.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "Surfaces.h"
#include "TestSupport.h"

using namespace tri3dtest;

namespace {

using Octree = AK_OctreeN<int32_t, 3>;

class PointInBox : public AK_OctreeInBoxCriterion<int32_t, 3> {
public:
  explicit PointInBox(const std::vector<AK_Vec3>& points) : _points(points) {}
  int InBox(const int32_t& i, const float min[3], const float max[3]) const override
  {
    const double p[3] = {_points[i].x, _points[i].y, _points[i].z};
    for (int a = 0; a < 3; ++a)
      if (p[a] < min[a] || p[a] > max[a]) return 0;
    return 1;
  }

private:
  const std::vector<AK_Vec3>& _points;
};

// The generalised winding number of the surface round p (sum of the triangles' solid
// angles over 4 pi): about 1 inside an outward-facing surface, 0 outside.
double Winding(const AK_Triangulation& s, const AK_Vec3& p)
{
  double sum = 0;
  for (const AK_Triangle3& t : s._t) {
    AK_Vec3 a = t.P(s._p, 0) - p, b = t.P(s._p, 1) - p, c = t.P(s._p, 2) - p;
    double la = a.Length(), lb = b.Length(), lc = c.Length();
    sum += 2 * std::atan2(a.Dot(b.Cross(c)),
                          la * lb * lc + a.Dot(b) * lc + b.Dot(c) * la + c.Dot(a) * lb);
  }
  return sum / (4 * M_PI);
}

double NearestByScan(const AK_Triangulation& s, const AK_Vec3& p)
{
  double best = 1e300;
  for (const AK_Triangle3& t : s._t) {
    int k, e;
    best = std::min(best, (t.ClosestPoint(s._p, p, k, e) - p).Length());
  }
  return best;
}

}  // namespace

TEST(Octree, FaceNeighboursMatchAGeometricSearch)
{
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<AK_Vec3> points;
  for (int i = 0; i < 400; ++i) {
    AK_Vec3 p(u(rng), u(rng), u(rng));
    points.push_back(i % 2 ? p : p * 0.1 + AK_Vec3(0.6, 0.3, 0.2));  // a dense cluster
  }
  Octree root;
  PointInBox inBox(points);
  AK_SimpleOctreeRefinementCriterion<int32_t, 3> refine(1, 7, 4);
  for (int32_t i = 0; i < static_cast<int32_t>(points.size()); ++i)
    EXPECT_GE(root.InsertObject(i, inBox, &refine), 1);

  std::vector<Octree*> leaves;
  root.ForEachLeaf([&](Octree& leaf) { leaves.push_back(&leaf); });
  ASSERT_EQ(root.NumLeaves(), static_cast<int32_t>(leaves.size()));
  EXPECT_EQ(root.NumNodes() - root.NumLeaves(), (root.NumLeaves() - 1) / 7);
  for (int32_t i = 0; i < static_cast<int32_t>(points.size()); ++i) {
    const float p[3] = {float(points[i].x), float(points[i].y), float(points[i].z)};
    const Octree* leaf = root.FindLeaf(p);
    ASSERT_TRUE(leaf && leaf->Objects());
    EXPECT_GE(leaf->Objects()->Find(i), 0);
  }

  for (Octree* leaf : leaves)
    for (int d = 0; d < 3; ++d)
      for (int s = 0; s < 2; ++s) {
        std::vector<Octree*> expected, found;
        for (Octree* m : leaves) {
          bool touches = s ? m->_min[d] == leaf->_max[d] : m->_max[d] == leaf->_min[d];
          for (int e = 0; e < 3; ++e)
            if (e != d && !(m->_min[e] < leaf->_max[e] && leaf->_min[e] < m->_max[e]))
              touches = false;
          if (touches) expected.push_back(m);
        }
        if (leaf->_parent) {
          AK_Array<int32_t> codes;
          codes.Append(leaf->_octant);
          Octree::CellList list;
          if (Octree* n = Octree::Neighbour(leaf->_parent, codes, 1 << d, s << d))
            n->CollectSideLeaves(list, 1 << d, s ? 0 : 1 << d);
          found.assign(list.begin(), list.end());
        }
        std::sort(expected.begin(), expected.end());
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, expected);
      }
}

TEST(Queries, InsideAndNearestAgainstBruteForce)
{
  MessageCapture quiet;
  struct Case {
    AK_Vec3 offset;
    int invertBefore, invertAfter;  // turn the surface before or after the first build
  } cases[] = {{AK_Vec3(), 0, 0},
               {AK_Vec3(2600000.5, 1200000.25, 1500), 0, 0},
               {AK_Vec3(), 0, 1},
               {AK_Vec3(2600000.5, 1200000.25, 1500), 1, 0}};
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1, 1);
  for (const Case& c : cases) {
    AK_Triangulation s;
    MakeIcosphere(s, 3, c.offset);
    if (c.invertBefore) s.Invert();
    s.IsInside(c.offset);
    if (c.invertAfter) s.Invert();
    const int inverted = c.invertBefore || c.invertAfter;
    EXPECT_EQ(s._inverted, inverted);
    for (int i = 0; i < 600; ++i) {
      AK_Vec3 dir(u(rng), u(rng), u(rng));
      // Points anywhere, points close to the surface, and points beyond the octree.
      double r = i % 3 == 0 ? 1.5 * std::fabs(u(rng)) : i % 3 == 1 ? 1 + 1e-3 * u(rng) : 3;
      AK_Vec3 p = c.offset + dir * (r / dir.Length());
      const int expected = Winding(s, p) + inverted > 0.5 ? 1 : 0;
      ASSERT_EQ(s.IsInside(p), expected) << i << " r " << r;
      if (r < 0.95 || r > 1) {
        EXPECT_EQ(expected, r < 0.95 ? 1 - inverted : inverted);
      }

      AK_Vec3 normal;
      AK_Vec3 q = s.ClosestPoint(p, &normal);
      const double d = NearestByScan(s, p);
      EXPECT_NEAR((q - p).Length(), d, 1e-9);
      EXPECT_NEAR(d, std::fabs(r - 1), 0.01);
      const int32_t t = s.ClosestTriangle(p);
      ASSERT_GE(t, 0);
      int k, e;
      EXPECT_NEAR((s._t[t].ClosestPoint(s._p, p, k, e) - p).Length(), d, 1e-9);
    }
    // A point on the octree's upper corner lies in no leaf and at distance 0 from it.
    const AK_Vec3 corner = s._octreeOrigin + AK_Vec3(s._octree->_max[0], s._octree->_max[1],
                                                     s._octree->_max[2]);
    EXPECT_NEAR((s.ClosestPoint(corner) - corner).Length(), NearestByScan(s, corner), 1e-9);
    EXPECT_EQ(s.IsInside(corner), inverted);
  }
  AK_Triangulation empty;
  EXPECT_EQ(empty.IsInside(AK_Vec3()), 0);
  EXPECT_EQ(empty.ClosestTriangle(AK_Vec3()), -1);
}

TEST(Queries, CoincidentTrianglesKeepTheTreeSmall)
{
  MessageCapture quiet;
  AK_Triangulation s;
  MakeBox(s, 1, 1, 1);
  const AK_Triangle3 first = s._t[0];
  for (int i = 0; i < 40; ++i) s.AddTriangle(first.node[0], first.node[1], first.node[2], -1);
  s.BuildOctree();
  EXPECT_LE(s._octree->NumNodes(), 8 * (8 * s.NumTriangles() + 64) + 1);
  for (AK_Vec3 p : {AK_Vec3(-0.5, 0.3, 0.2), AK_Vec3(0.01, 0.5, 0.5), AK_Vec3(2, 2, 2)})
    EXPECT_NEAR((s.ClosestPoint(p) - p).Length(), NearestByScan(s, p), 1e-12);

  // Moving the surface drops its octree; the next query builds one for the new place.
  const double move[12] = {10, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
  s.TransformAffine(move);
  EXPECT_FALSE(s._octree);
  const AK_Vec3 p(9, 0.5, 0.5);
  EXPECT_NEAR((s.ClosestPoint(p) - p).Length(), 1, 1e-12);
}
