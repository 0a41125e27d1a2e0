// Measures of the enclosed solid, patches and sub-patches, longest-edge bisection.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "Surfaces.h"
#include "TestSupport.h"

using namespace tri3dtest;

namespace {

// Invariants of a symmetric 3x3 matrix: trace, sum of principal 2x2 minors, determinant;
// they fix its eigenvalues without an eigen-solver.
void Invariants(const double m[9], double out[3])
{
  out[0] = m[0] + m[4] + m[8];
  out[1] = m[0] * m[4] - m[1] * m[3] + m[0] * m[8] - m[2] * m[6] + m[4] * m[8] - m[5] * m[7];
  out[2] = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
           m[2] * (m[3] * m[7] - m[4] * m[6]);
}

}  // namespace

TEST(Measures, BoxesMovedAnywhereKeepTheirSolid)
{
  struct Case {
    double a, b, c, moments[3];
  } cases[] = {{1, 1, 1, {1 / 6.0, 1 / 6.0, 1 / 6.0}}, {1, 2, 3, {6.5, 5, 2.5}}};
  // A rotation about (1, 1, 1) by 120 degrees (x -> y -> z) and a far translation.
  const double move[12] = {2600000, 1200000, 1500, 0, 1, 0, 0, 0, 1, 1, 0, 0};
  for (const Case& k : cases)
    for (bool inverted : {false, true}) {
      AK_Triangulation s;
      MakeBox(s, k.a, k.b, k.c);
      s.TransformAffine(move);
      if (inverted) s.Invert();
      ASSERT_TRUE(ClosedAndMutual(s));
      const double v = k.a * k.b * k.c;
      EXPECT_NEAR(s.Volume(), inverted ? -v : v, 1e-6);
      EXPECT_NEAR(s.Area(), 2 * (k.a * k.b + k.b * k.c + k.c * k.a), 1e-9);
      AK_Vec3 c = s.CenterOfGravity();  // a turned surface has the same centre
      EXPECT_NEAR(c.x, 2600000 + k.c / 2, 1e-6);
      EXPECT_NEAR(c.y, 1200000 + k.a / 2, 1e-6);
      EXPECT_NEAR(c.z, 1500 + k.b / 2, 1e-6);
      if (inverted) continue;
      double inertia[9], got[3], want[3];
      s.InertiaTensor(inertia, c);
      Invariants(inertia, got);
      const double d[9] = {k.moments[0], 0, 0, 0, k.moments[1], 0, 0, 0, k.moments[2]};
      Invariants(d, want);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 1e-6 * want[i]);
      EXPECT_EQ(inertia[1], inertia[3]);
    }
}

TEST(Measures, IcospheresConvergeToTheBall)
{
  double lastV = 3, lastA = 3;
  for (int level = 0; level <= 4; ++level) {
    AK_Triangulation s;
    MakeIcosphere(s, level);
    ASSERT_TRUE(ClosedAndMutual(s));
    double ev = std::fabs(s.Volume() / (4 * M_PI / 3) - 1), ea = std::fabs(s.Area() / (4 * M_PI) - 1);
    EXPECT_LT(ev, lastV / 3);
    EXPECT_LT(ea, lastA / 3);
    lastV = ev;
    lastA = ea;
    AK_Vec3 c = s.CenterOfGravity();
    EXPECT_LT(c.Length(), 1e-12);
  }
  EXPECT_LT(lastV, 0.005);
}

TEST(Measures, ReportOfABox)
{
  AK_Triangulation s;
  MakeBox(s, 1, 2, 3);
  MessageCapture messages;
  s.PrintGeoInfo();
  ASSERT_EQ(messages.WithPrefix("INFO:Geo info:").size(), 1u);
  const std::string geoInfo = messages.WithPrefix("INFO:Geo info:")[0];
  for (const char* line : {"\nnumber of nodes:8\n", "\nvolume:6\n", "\narea:22\n",
                           "\ncenter of gravity:0.5 1 1.5\n", "\nunconnected edges:0\n"})
    EXPECT_NE(geoInfo.find(line), std::string::npos) << line << " in " << geoInfo;
}

TEST(Patches, CubeSphereAndPatchesFromOutside)
{
  AK_Triangulation cube;
  MakeBox(cube, 1, 1, 1);
  cube.ComputePatches(0.9);
  cube.ComputeSubPatches(0.9);
  EXPECT_EQ(cube._nPatches, 6);
  EXPECT_EQ(cube._nSubPatches, 6);
  for (int32_t i = 0; i < 6; ++i) EXPECT_EQ(cube._subPatchNeighbours[i].Size(), 4);
  for (int32_t t = 0; t < 12; t += 2) EXPECT_EQ(cube._t[t].patch, cube._t[t + 1].patch);
  EXPECT_EQ(cube.IsFeatureNode(0, 0, 0.5), 1);

  AK_Triangulation sphere;
  MakeIcosphere(sphere, 3);
  sphere.ComputePatches(0.9);
  sphere.ComputeSubPatches(0.9);
  EXPECT_EQ(sphere._nPatches, 1);
  EXPECT_GT(sphere._nSubPatches, 6);
  EXPECT_EQ(sphere.IsFeatureNode(0, 0, 0.5), 0);

  // Patches given from outside survive sub-patches, also when the counts happen to agree.
  AK_Triangulation given;
  MakeBox(given, 1, 1, 1, [](int32_t t) { return t % 6; });
  for (int pass = 0; pass < 2; ++pass) {
    given.ComputeSubPatches(0.9);
    ASSERT_EQ(given._nSubPatches, given._nPatches);
    for (int32_t t = 0; t < 12; ++t) EXPECT_EQ(given._t[t].patch, t % 6);
  }
  given.ComputePatches(-2);  // everything joins
  EXPECT_EQ(given._nPatches, 1);
}

TEST(Split, BisectionKeepsTheSurface)
{
  std::mt19937 rng(7);
  AK_Triangulation s;
  MakeIcosphere(s, 1);
  const double v = s.Volume(), a = s.Area();
  const int32_t n = s.NumTriangles(), points = s.NumPoints();
  AK_BitArray marks(n);
  for (int32_t t = 0; t < n; ++t)
    if (rng() % 3 == 0) marks.Set(t);
  const int32_t added = s.SplitMarkedTriangles(marks);
  EXPECT_GT(added, 0);
  EXPECT_EQ(s.NumPoints(), points + added);
  EXPECT_EQ(s.NumTriangles(), n + 2 * added);  // every split edge had a neighbour
  EXPECT_EQ(marks.CountSet(), 0);
  EXPECT_TRUE(ClosedAndMutual(s));
  EXPECT_NEAR(s.Volume(), v, 1e-12);
  EXPECT_NEAR(s.Area(), a, 1e-12);

  // Edges without neighbours: every split adds one vertex and one triangle.
  AK_Triangulation one;
  for (AK_Vec3 p : {AK_Vec3(0, 0, 0), AK_Vec3(2, 0, 0), AK_Vec3(0, 1, 0)}) one.AddPoint(p);
  one.AddTriangle(0, 1, 2, -1);
  one.LinkNeighbours();
  EXPECT_EQ(one.NumTriangles(), 1 + one.SplitAtSharpEdges(0.5));
  EXPECT_NEAR(one.Area(), 1, 1e-15);
}

// Splitting at sharp edges ends. Along the creases of a tetrahedron the halves of a split
// edge stay longest and sharp, so without a floor the splits went on for ever (a right
// corner) or down to edges of length 0 (a regular one); a box's longest edges lie in its
// faces and nothing is split. Either way the surface stays closed around its solid, and
// every edge keeps a length.
TEST(Split, SharpEdgesEndAtTheFloor)
{
  struct Case {
    const char* what;
    std::vector<AK_Vec3> corners;
    bool leftWhole;
  } cases[] = {
      {"regular", {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}}, true},
      {"right corner", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, true},
      {"box", {}, false},
  };
  for (const Case& c : cases) {
    MessageCapture messages;
    AK_Triangulation s;
    if (c.corners.empty()) {
      MakeBox(s, 1, 2, 3);
    } else {
      for (const AK_Vec3& p : c.corners) s.AddPoint(p);
      const int32_t faces[4][3] = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
      for (const auto& f : faces) s.AddTriangle(f[0], f[1], f[2], -1);
      s.LinkNeighbours();
    }
    const double volume = s.Volume();
    const int32_t points = s.NumPoints(), triangles = s.NumTriangles();
    const int32_t added = s.SplitAtSharpEdges(0.5);
    EXPECT_EQ(s.NumPoints(), points + added) << c.what;
    EXPECT_EQ(s.NumTriangles(), triangles + 2 * added) << c.what;
    EXPECT_EQ(added > 0, c.leftWhole) << c.what;
    EXPECT_TRUE(ClosedAndMutual(s)) << c.what;
    EXPECT_NEAR(s.Volume(), volume, 1e-12) << c.what;
    for (int32_t t = 0; t < s.NumTriangles(); ++t)
      for (int k = 0; k < 3; ++k) ASSERT_GT(s._t[t].EdgeLength(s._p, k), 0) << c.what;
    EXPECT_EQ(messages.HasPrefix("splitting at sharp edges stopped with "), c.leftWhole) << c.what;
  }
}
