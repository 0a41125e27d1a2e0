// Region repair, local node queries and layer points of the tetrahedral mesh.
#include <algorithm>
#include <array>
#include <set>

#include "TestSupport.h"
#include "TetMeshes.h"

using namespace tetmesh_test;

namespace {

std::multiset<std::array<int32_t, 4>> SortedTets(const DelaunayTetMesh& mesh, int32_t from, int32_t to)
{
  std::multiset<std::array<int32_t, 4>> out;
  for (int32_t i = from; i < to; ++i) {
    std::array<int32_t, 4> n = {mesh._t[i].node[0], mesh._t[i].node[1], mesh._t[i].node[2], mesh._t[i].node[3]};
    std::sort(n.begin(), n.end());
    out.insert(n);
  }
  return out;
}

TEST(TetRepair, RemovingMarkedTetsHidesThemAndRestoringUndoesIt)
{
  AK_Points3 points;
  RandomPoints(400, 0.02, 0.98, points, 17);
  DelaunayTetMesh mesh;
  BuildUnitBox(mesh, points);
  const int32_t n = mesh._t.Size();
  AK_BitArray marks(n);
  std::multiset<std::array<int32_t, 4>> kept, removed;
  AK_SeedRandom(5);
  for (int32_t i = 0; i < n; ++i)
    if (AK_Random() % 3 == 0) marks.Set(i);
  for (int32_t i = 0; i < n; ++i) {
    std::array<int32_t, 4> t;
    std::copy(mesh._t[i].node, mesh._t[i].node + 4, t.begin());
    std::sort(t.begin(), t.end());
    (marks.Test(i) ? removed : kept).insert(t);
  }
  mesh.RemoveMarkedTets(marks);
  EXPECT_EQ(SortedTets(mesh, 0, mesh._nActive), kept);
  EXPECT_EQ(SortedTets(mesh, mesh._nActive, n), removed);
  // no plain link crosses between active and hidden tetrahedra
  for (int32_t i = 0; i < n; ++i)
    for (int32_t nb : mesh._t[i].neighbour)
      if (nb >= 0) {
        EXPECT_EQ(i < mesh._nActive, nb < mesh._nActive);
      }
  mesh.RestoreLinks();
  EXPECT_EQ(mesh._nActive, n);
  EXPECT_EQ(mesh.CountWrongConnections(), 0);
  EXPECT_EQ(mesh.CountPointsInSpheres(), 0);
  // hiding again, the next insertion restores every link first
  mesh.RemoveMarkedTets(marks);
  EXPECT_GE(mesh.InsertPoint(AK_Vec3(0.5, 0.51, 0.52)), 0);
  EXPECT_EQ(mesh.CountWrongConnections(), 0);
  EXPECT_EQ(mesh.CountPointsInSpheres(), 0);
  // the edge cases: nothing marked, everything marked
  mesh.RemoveMarkedTets(AK_BitArray(mesh._t.Size()));
  EXPECT_EQ(mesh._nActive, mesh._t.Size());
  AK_BitArray all(mesh._t.Size());
  for (int32_t i = 0; i < all.Size(); ++i) all.Set(i);
  mesh.RemoveMarkedTets(all);
  EXPECT_EQ(mesh._nActive, 0);
}

TEST(TetRepair, TwoManifoldCheckUnmarksEdgeContacts)
{
  AK_Points3 points;
  RandomPoints(200, 0.1, 0.9, points, 4);
  DelaunayTetMesh mesh;
  BuildUnitBox(mesh, points);
  AK_Array<char> marks(mesh._t.Size());
  marks.SetCount(mesh._t.Size());
  marks[100] = 1;  // a single tetrahedron: its boundary is a closed surface
  EXPECT_EQ(mesh.CheckTwoManifold(marks), 0);
  EXPECT_EQ(marks[100], 1);
  // two tetrahedra that touch along an edge only
  AK_Array<int32_t> ring;
  auto findLongClosedRing = [&] {
    for (int32_t t = 0; t < mesh._t.Size(); ++t)
      for (const auto& e : kTetEdge) {
        int open;
        if (mesh.EdgeRing(t, mesh._t[t].node[e[0]], mesh._t[t].node[e[1]], ring, open) && !open &&
            ring.Size() >= 5)
          return true;
      }
    return false;
  };
  ASSERT_TRUE(findLongClosedRing());
  marks[100] = 0;
  marks[ring[0]] = marks[ring[2]] = 1;
  // Every edge not crossed exactly twice counts: the contact edge (four crossings), and here
  // the two edges of the same boundary face visited after its ring was unmarked (none).
  EXPECT_EQ(mesh.CheckTwoManifold(marks), 3);
  EXPECT_EQ(marks[ring[0]] + marks[ring[2]], 0);
}

TEST(TetRepair, LocalQueriesAgreeWithScans)
{
  AK_Points3 points;
  RandomPoints(300, 0.05, 0.95, points, 8);
  DelaunayTetMesh mesh;
  BuildUnitBox(mesh, points);
  AK_Points3 dirs;
  RandomPoints(20, -1, 1, dirs, 9);
  for (int32_t v = 8; v < 28; ++v) {
    AK_Vec3 n = dirs[v - 8] * (1.0 / dirs[v - 8].Length());
    int32_t t;
    double r = mesh.EmptyBallRadius(mesh._p[v], n, t);
    double scan = 1e30;
    for (int32_t x = 0; x < mesh.NumNodes(); ++x) {
      AK_Vec3 d = mesh._p[x] - mesh._p[v];
      if (x != v && d.Dot(n) > 0) scan = std::min(scan, 0.5 * d.Dot(d) / d.Dot(n));
    }
    EXPECT_NEAR(r, scan, 1e-12 * scan);
    int k;
    EXPECT_NEAR(mesh.NearestNode(mesh._p[v] + AK_Vec3(1e-4, 0, 0), t, k), 1e-8, 1e-15);
    EXPECT_EQ(mesh._t[t].node[k], v);
  }
  int32_t t;
  EXPECT_EQ(mesh.EmptyBallRadius(AK_Vec3(0.123456, 0.5, 0.5), AK_Vec3(1, 0, 0), t), -1.0);
  EXPECT_EQ(t, mesh._t.Size());
}

TEST(TetLayers, PointsGrowInwardFromTheCutAndTheFileHoldsThem)
{
  ScratchDir dir;
  DelaunayTetMesh mesh;
  BuildUnitBox(mesh, AK_Points3());
  EXPECT_TRUE(mesh.WritePointsFile((dir / "box.pts").c_str(), AK_Vec3(0, 0, 0), AK_Vec3(1, 1, 1), 0.1, 1.2, 5));
  const std::string file = ReadFile(dir / "box.pts");
  EXPECT_EQ(file.substr(0, 12), "0 0 0\n1 1 1\n");
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 10);
  {
    MessageCapture messages;
    EXPECT_FALSE(mesh.WritePointsFile((dir / "no/such/dir.pts").c_str(), AK_Vec3(), AK_Vec3(), 0.1, 1.2, 5));
    EXPECT_TRUE(messages.HasPrefix("ERROR:"));
  }
  // a grid cut at x = 0.5: the nodes of the cut send their rows towards -x
  AK_Points3 points;
  GridPoints(5, 0.1, 0.2, points);
  BuildUnitBox(mesh, points);
  AK_BitArray marks(mesh._t.Size());
  for (int32_t i = 0; i < mesh._t.Size(); ++i)
    if (mesh._t[i].Centroid(mesh._p).x > 0.5) marks.Set(i);
  mesh.RemoveMarkedTets(marks);
  AK_Points3 layer;
  AK_Array<float> sizes;
  mesh.GenerateLayerPoints(layer, sizes, 0.05, 1.0, 10);
  ASSERT_GT(layer.Size(), 0);
  int inner = 0;
  for (const AK_Vec3& q : layer) {
    EXPECT_LT(q.x, 0.5);
    if (q.y < 0.25 || q.y > 0.75 || q.z < 0.25 || q.z > 0.75) continue;  // the cut's flat part
    ++inner;
    bool onRow = false;
    for (const AK_Vec3& p : points) onRow = onRow || (p.x == 0.5 && p.y == q.y && p.z == q.z);
    EXPECT_TRUE(onRow) << q.x << " " << q.y << " " << q.z;
  }
  EXPECT_GT(inner, 0);
  AK_Points3 none;
  mesh.GenerateLayerPoints(none, sizes, 0.05, 1.0, 0);
  EXPECT_EQ(none.Size(), 0);
  AK_Array<AK_Points3> byLayer;
  AK_Array<AK_Array<float>> layerSizes;
  mesh.GenerateLayerPointsByLayer(byLayer, layerSizes, 0.05, 1.0, 10);
  EXPECT_GT(byLayer.Size(), 0);
}

}  // namespace
