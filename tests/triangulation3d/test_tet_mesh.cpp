// Delaunay tetrahedral mesh: structural and Delaunay invariants after many kinds of input,
// refused points and boxes, and point location.
#include <cmath>
#include <limits>

#include "TestSupport.h"
#include "TetMeshes.h"

using namespace tetmesh_test;

namespace {

struct InputCase {
  const char* name;
  std::function<void(AK_Points3&)> make;
  bool bruteForce;  // also scan every node against every circumsphere
};

TEST(TetMesh, InvariantsHoldForEveryKindOfInput)
{
  const InputCase cases[] = {
      {"no points", [](AK_Points3&) {}, true},
      {"random small", [](AK_Points3& p) { RandomPoints(60, 0.01, 0.99, p); }, true},
      {"random", [](AK_Points3& p) { RandomPoints(3000, 0.0, 1.0, p, 11); }, false},
      {"grid (cospherical)", [](AK_Points3& p) { GridPoints(7, 0.1, 0.125, p); }, true},
      {"cluster", [](AK_Points3& p) { RandomPoints(400, 0.5, 0.5003, p, 3); }, true},
      {"duplicates",
       [](AK_Points3& p) {
         RandomPoints(40, 0.2, 0.8, p, 5);
         for (int i = 0; i < 40; ++i) p.Append(AK_Vec3(p[i].x + 1e-7, p[i].y, p[i].z));
       },
       true},
      {"on a plane and a line",
       [](AK_Points3& p) {
         for (int i = 1; i < 20; ++i) p.Append(AK_Vec3(0.05 * i, 0.5, 0.5));
         for (int i = 1; i < 10; ++i)
           for (int j = 1; j < 10; ++j) p.Append(AK_Vec3(0.1 * i, 0.1 * j, 0.25));
       },
       true},
  };
  for (const InputCase& c : cases) {
    SCOPED_TRACE(c.name);
    AK_Points3 points;
    c.make(points);
    DelaunayTetMesh mesh;
    BuildUnitBox(mesh, points);
    EXPECT_EQ(mesh._nActive, mesh._t.Size());
    EXPECT_EQ(mesh.CountWrongConnections(), 0);
    EXPECT_EQ(mesh.CountNegativeVolumeTets(), 0);
    EXPECT_EQ(mesh.CountPointsInSpheres(), 0);
    MeshFigures f = Figures(mesh, c.bruteForce);
    EXPECT_EQ(f.hullFaces, 12);
    EXPECT_NEAR(f.volume, 1.0, 1e-9);
    EXPECT_EQ(f.nodesInSpheres, 0);
    // every located query point lies in its closed tetrahedron (scan oracle in LocateTet's
    // own terms: no face has it strictly above)
    AK_Points3 queries;
    RandomPoints(50, 0.001, 0.999, queries, 99);
    for (const AK_Vec3& q : queries) {
      int32_t t = mesh.LocateTet(q);
      ASSERT_GE(t, 0);
      EXPECT_EQ(mesh._t[t].FaceAbove(mesh._p, q, mesh._scale), -1);
    }
  }
}

TEST(TetMesh, RefusedPointsAndBoxesChangeNothing)
{
  DelaunayTetMesh mesh;
  ASSERT_TRUE(mesh.Init(AK_Vec3(0, 0, 0), AK_Vec3(2, 1, 1), 10));
  float lo[3], hi[3];
  ASSERT_TRUE(mesh.GetBoundingBox(lo, hi));
  EXPECT_EQ(hi[0], 2.0f);
  EXPECT_EQ(mesh.InsertPoint(AK_Vec3(0.5, 0.5, 0.5)), 8);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const AK_Vec3 refused[] = {
      {0.5, 0.5, 0.5},           // the same point
      {0.5 + 4e-6, 0.5, 0.5},    // snaps onto it (grid step 2e-5)
      {2.5, 0.5, 0.5},           // outside
      {0.0, 0.5, 0.5},           // on the hull
      {1e-6, 0.5, 0.5},          // on the hull after snapping
      {nan, 0.5, 0.5},
      {1e300, 0.5, 0.5},
  };
  for (const AK_Vec3& p : refused) {
    EXPECT_EQ(mesh.InsertPoint(p), -1) << p.x;
    EXPECT_EQ(mesh.NumNodes(), 9);
    EXPECT_EQ(mesh.CountWrongConnections(), 0);
  }
  mesh.Clear();
  EXPECT_EQ(mesh.InsertPoint(AK_Vec3(0.5, 0.5, 0.5)), -1);
  EXPECT_EQ(mesh.LocateTet(AK_Vec3(0.5, 0.5, 0.5)), -1);
  EXPECT_FALSE(mesh.GetBoundingBox(lo, hi));
  // boxes whose corners would not fit the predicates' integer grid, and empty boxes
  EXPECT_FALSE(mesh.Init(AK_Vec3(1e5, 0, 0), AK_Vec3(1e5 + 1, 1, 1), 10));
  EXPECT_FALSE(mesh.Init(AK_Vec3(0, 0, 0), AK_Vec3(1, 0, 1), 10));
  EXPECT_FALSE(mesh.Init(AK_Vec3(0, 0, 0), AK_Vec3(1, nan, 1), 10));
  EXPECT_EQ(mesh.NumNodes(), 0);
  EXPECT_TRUE(mesh.Init(AK_Vec3(1e4, 0, 0), AK_Vec3(1e4 + 1, 1, 1), 10));
  EXPECT_GE(mesh.InsertPoint(AK_Vec3(1e4 + 0.5, 0.5, 0.5)), 8);
  // More points than the tetrahedron array can take are refused before anything is reserved.
  EXPECT_FALSE(mesh.Init(AK_Vec3(0, 0, 0), AK_Vec3(1, 1, 1), int64_t{1} << 31));
  EXPECT_EQ(mesh.NumNodes(), 0);
  // The n points announced fit beside the 8 box corners: the node array never grows.
  for (int32_t n : {1, 100, 1000}) {
    AK_Points3 points;
    RandomPoints(n, 0.01, 0.99, points, 12);
    ASSERT_TRUE(mesh.Init(AK_Vec3(0, 0, 0), AK_Vec3(1, 1, 1), n));
    const int32_t capacity = mesh._p.Capacity();
    for (const AK_Vec3& p : points) mesh.InsertPoint(p);
    EXPECT_EQ(mesh.NumNodes(), n + 8);
    EXPECT_EQ(mesh._p.Capacity(), capacity) << n;
  }
}

}  // namespace

namespace {

TEST(TetMesh, DriversReportSmallCases)
{
  struct Case {
    bool (*run)(int32_t);
    int32_t n;
    std::vector<std::string> messages;
    const char* nodes;
  } cases[] = {
      {DelaunayTetMesh::RandomTest, 0, {}, "8 nodes.\n5 tets.\n"},
      {DelaunayTetMesh::RandomTest, 1, {"0 inserted"}, "9 nodes.\n"},
      {DelaunayTetMesh::GridLayerTest, 0, {}, "8 nodes.\n5 tets.\n"},
      {DelaunayTetMesh::GridLayerTest, 2, {"grid layer 0", "grid layer 1"}, "16 nodes.\n"},
  };
  for (const Case& c : cases) {
    MessageCapture messages;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(c.run(c.n));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(messages.messages, c.messages);
    EXPECT_NE(out.find(c.nodes), std::string::npos) << out;
    EXPECT_NE(out.find("0 wrong connections.\n0 negative volume tets.\n0 points in spheres.\n"),
              std::string::npos);
  }
}

}  // namespace

// Nodes are snapped to their nearest grid point whatever their sign: a lattice in a box that
// straddles zero is meshed as soundly as the same lattice shifted to positive coordinates.
TEST(TetMesh, LatticesStraddlingZeroMeshLikeShiftedOnes)
{
  struct Case { const char* name; double lo, hi, start, step; int m; };
  const Case cases[] = {
      {"around zero", -1, 1, -4.5 * 4e-5, 4e-5, 10},
      {"shifted into [0,2]", 0, 2, 1 - 4.5 * 4e-5, 4e-5, 10},
      {"small around zero", -1, 1, -1e-4, 2e-5, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AK_Points3 points;
    GridPoints(c.m, c.start, c.step, points);
    DelaunayTetMesh mesh;
    ASSERT_TRUE(mesh.Init(AK_Vec3(c.lo, c.lo, c.lo), AK_Vec3(c.hi, c.hi, c.hi), points.Size()));
    for (const AK_Vec3& p : points) mesh.InsertPoint(p);
    mesh._nActive = mesh._t.Size();
    EXPECT_EQ(mesh.CountWrongConnections(), 0);
    EXPECT_EQ(mesh.CountNegativeVolumeTets(), 0);
    EXPECT_EQ(mesh.CountPointsInSpheres(), 0);
  }
  // Random points in a tiny box around zero.
  AK_Points3 points;
  RandomPoints(300, -1e-4, 1e-4, points, 21);
  DelaunayTetMesh mesh;
  ASSERT_TRUE(mesh.Init(AK_Vec3(-1, -1, -1), AK_Vec3(1, 1, 1), points.Size()));
  for (const AK_Vec3& p : points) mesh.InsertPoint(p);
  mesh._nActive = mesh._t.Size();
  EXPECT_EQ(mesh.CountNegativeVolumeTets(), 0);
  EXPECT_EQ(mesh.CountPointsInSpheres(), 0);
}
