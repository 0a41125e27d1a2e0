// Storage and topology of the mesh core: neighbour table, edge iterator, vertex neighbour
// lists, per-cell geometry.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

namespace {

void AddVertices(SW_MeshCore& m, std::initializer_list<AK_Vec3> points)
{
  for (const auto& p : points) m._x.Append(p);
}

std::vector<std::pair<int, int>> AllEdges(const SW_MeshCore& m)
{
  std::vector<std::pair<int, int>> edges;
  int32_t c = 0, k = -1;
  while (m.NextEdge(c, k)) edges.emplace_back(c, k);
  return edges;
}

// Every neighbour relation is mutual and joins the same vertices in opposite directions.
void ExpectSymmetric(const SW_MeshCore& m)
{
  ASSERT_EQ(m._lcc.Size(), m.NumCells());
  for (int32_t c = 0; c < m.NumCells(); ++c) {
    int mc = m.CornerCount(c);
    if (mc == 3) {
      EXPECT_EQ(m._lcc[c][3], -1);
    }
    for (int k = 0; k < mc; ++k) {
      int32_t d = m._lcc[c][k];
      if (d < 0) continue;
      int32_t a = m._lcv[c][k], b = m._lcv[c][(k + 1) % mc];
      int md = m.CornerCount(d);
      int back = -1;
      for (int j = 0; j < md; ++j)
        if (m._lcc[d][j] == c) {
        back = j;
      }
      ASSERT_GE(back, 0) << "cell " << d << " does not list " << c;
      EXPECT_EQ(m._lcv[d][back], b);
      EXPECT_EQ(m._lcv[d][(back + 1) % md], a);
    }
  }
}

}  // namespace

TEST(MeshTopology, PairsOfTriangles)
{
  struct Case { const char* name; AK_Index4 second; AK_Index4 lcc0, lcc1; size_t edges; const char* report; };
  // (0,1) (1,2) (2,0) wait in buckets 1, 3, 2; with the shared edge cell 1 finds 2->0 after
  // one look in bucket 2, and 3->0 looks once in bucket 3 (at 1->2) without finding a twin.
  const Case cases[] = {
      {"shared edge", AK_Index4(0, 2, 3, -1), AK_Index4(-1, -1, 1, -1), AK_Index4(0, -1, -1, -1), 5,
       "lcc ready, 1 search steps per cell"},
      {"orientation fault", AK_Index4(0, 3, 2, -1), AK_Index4(-1, -1, -1, -1),
       AK_Index4(-1, -1, -1, -1), 6, nullptr},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.name);
    SW_MeshCore m;
    AddVertices(m, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    AddCell(m, 0, 1, 2);
    m._lcv.Append(tc.second);
    MessageCapture messages;
    m.ComputeConnectivity();
    if (tc.report) {
      EXPECT_TRUE(messages.Contains(tc.report));
    }
    EXPECT_EQ(m._lcc[0], tc.lcc0);
    EXPECT_EQ(m._lcc[1], tc.lcc1);
    auto edges = AllEdges(m);
    EXPECT_EQ(edges.size(), tc.edges);
    if (tc.edges == 5) {
      // The shared edge comes once, from the lower cell.
      EXPECT_NE(std::find(edges.begin(), edges.end(), std::make_pair(0, 2)), edges.end());
      EXPECT_EQ(std::find(edges.begin(), edges.end(), std::make_pair(1, 0)), edges.end());
    }
  }
}

TEST(MeshTopology, ThirdCellOnAMatchedEdgeStaysAlone)
{
  SW_MeshCore m;
  AddVertices(m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}});
  AddCell(m, 0, 1, 2);  // edge 2->0 at slot 2
  AddCell(m, 0, 2, 3);  // edge 0->2: twin of cell 0
  AddCell(m, 4, 0, 2);  // edge 0->2 again: no twin left
  m.ComputeConnectivity();
  EXPECT_EQ(m._lcc[0][2], 1);
  EXPECT_EQ(m._lcc[1][0], 0);
  EXPECT_EQ(m._lcc[2][1], -1);
}

TEST(MeshTopology, EdgeHashMatchesFromTheFrontOfItsBucket)
{
  // Six vertices: B = 13 buckets, edge (a, b) in bucket (a + b) mod 13. Cells 1 and 2 both
  // traverse 1->2 (an orientation fault); edge 0->3 of cell 0 waits in the same bucket
  // ahead of them. Cell 3 takes 0->3 away, and the bucket's last record (cell 2's) moves to
  // the front, so cell 4's 2->1 meets cell 2 first. Search steps by hand: 0, 2, 3, 2 and 4.
  SW_MeshCore m;
  AddVertices(m, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}});
  AddCell(m, 0, 3, 4);
  AddCell(m, 1, 2, 5);
  AddCell(m, 1, 2, 4);
  AddCell(m, 3, 0, 5);
  AddCell(m, 2, 1, 3);
  MessageCapture messages;
  m.ComputeConnectivity();
  EXPECT_EQ(m._lcc[0], AK_Index4(3, -1, -1, -1));
  EXPECT_EQ(m._lcc[1], AK_Index4(-1, -1, -1, -1));
  EXPECT_EQ(m._lcc[2], AK_Index4(4, -1, -1, -1));
  EXPECT_EQ(m._lcc[3], AK_Index4(0, -1, -1, -1));
  EXPECT_EQ(m._lcc[4], AK_Index4(2, -1, -1, -1));
  EXPECT_TRUE(messages.Contains("lcc ready, 2.2 search steps per cell"));
}

TEST(MeshTopology, QuadCentreAndAreaVector)
{
  SW_MeshCore m;
  AddVertices(m, {{0, 0, 0}, {2, 0, 1}, {3, 2, 0}, {0, 1, 2}});
  AddCell(m, 0, 1, 2, 3);
  AK_Vec3 c = m.CellCentre(0);
  EXPECT_DOUBLE_EQ(c.x, 5.0 / 4);
  EXPECT_DOUBLE_EQ(c.y, 3.0 / 4);
  EXPECT_DOUBLE_EQ(c.z, 3.0 / 4);
  // Half the cross product of the diagonals (3,2,0) and (-2,1,1).
  AK_Vec3 a = m.CellAreaVector(0);
  EXPECT_DOUBLE_EQ(a.x, 0.5 * (2 * 1 - 0 * 1));
  EXPECT_DOUBLE_EQ(a.y, 0.5 * (0 * -2 - 3 * 1));
  EXPECT_DOUBLE_EQ(a.z, 0.5 * (3 * 1 - 2 * -2));
}

TEST(MeshTopology, EmptyAndVertexStore)
{
  SW_MeshCore m;
  AK_Vec3 lo(7, 7, 7), hi(7, 7, 7);
  EXPECT_EQ(m.VertexBox(lo, hi), 0);
  EXPECT_EQ(lo.x, 7);
  {
    MessageCapture messages;
    m.ComputeConnectivity();
    EXPECT_TRUE(messages.messages.empty());
  }
  EXPECT_EQ(m._lcc.Size(), 0);

  for (int i = 0; i < 5; ++i) m.AppendVertex(AK_Vec3(i, 0, 0));
  m.RemoveVertex(4);
  EXPECT_EQ(m.NumVertices(), 4);
  EXPECT_EQ(m._x[3].x, 3);
  m.RemoveVertex(1);
  EXPECT_EQ(m.NumVertices(), 3);
  EXPECT_EQ(m._x[1].x, 3);
  m.SetNumVertices(6);
  EXPECT_EQ(m.NumVertices(), 6);
  EXPECT_EQ(m._x[5], AK_Vec3(0, 0, 0));
  EXPECT_EQ(m.VertexBox(lo, hi), 1);
}

TEST(MeshTopology, RandomMeshesAreSymmetricAndEdgesCountOnce)
{
  for (uint64_t seed = 1; seed <= 5; ++seed) {
    SW_MeshCore m;
    MakeJitteredTriangles(m, 12, 100.0, seed, [](double x, double y) { return x * 0.1 + y; });
    ExpectSymmetric(m);
    std::set<std::pair<int, int>> undirected;
    for (int32_t c = 0; c < m.NumCells(); ++c)
      for (int k = 0; k < 3; ++k) {
        int a = m._lcv[c][k], b = m._lcv[c][(k + 1) % 3];
        undirected.insert({std::min(a, b), std::max(a, b)});
      }
    auto edges = AllEdges(m);
    EXPECT_EQ(edges.size(), undirected.size());
    // 12 x 12 squares: 2 * 12 * 13 grid lines plus one diagonal per square.
    EXPECT_EQ(edges.size(), size_t(2 * 12 * 13 + 144));
  }
}

TEST(MeshTopology, VertexNeighboursFollowCellEdges)
{
  SW_MeshCore m;
  MakeJitteredTriangles(m, 6, 10.0, 3, [](double, double) { return 0.0; });
  std::vector<std::set<int>> expected(static_cast<size_t>(m.NumVertices()));
  for (int32_t c = 0; c < m.NumCells(); ++c)
    for (int k = 0; k < 3; ++k) {
      int a = m._lcv[c][k], b = m._lcv[c][(k + 1) % 3];
      expected[size_t(a)].insert(b);
      expected[size_t(b)].insert(a);
    }
  AK_Array<int32_t> list;
  for (int32_t v = 0; v < m.NumVertices(); ++v) {
    m.VertexNeighbours(v, list);
    std::set<int> got(list.begin(), list.end());
    EXPECT_EQ(got.size(), size_t(list.Size())) << "duplicates at " << v;
    EXPECT_EQ(got, expected[size_t(v)]);
  }
  // Rebuilding the neighbour table marks the lists stale.
  m.ComputeConnectivity();
  EXPECT_EQ(m._vertexNeighbours.Size(), 0);
}

TEST(MeshTopology, EdgeNormalsPointOutAndMeasureTheEdge)
{
  SW_MeshCore m;
  MakeCartesian(m, 2, 2, 3.0, 10, 20, [](double, double) { return 5.0; });
  // Cell 0 spans [10, 13] x [20, 23]; edge 0 runs along y = 20 (outward -y), edge 1 along
  // x = 13 (outward +x, shared with cell 2).
  AK_Vec3 n0 = m.EdgeNormal(0, 0);
  EXPECT_NEAR(n0.x, 0, 1e-12);
  EXPECT_NEAR(n0.y, -3, 1e-12);
  EXPECT_NEAR(n0.z, 0, 1e-12);
  AK_Vec3 n1 = m.EdgeNormal(0, 1);
  EXPECT_NEAR(n1.x, 3, 1e-12);
  EXPECT_NEAR(n1.y, 0, 1e-12);
  // A tilted plane: the normal lies in the surface (perpendicular to the cell normal).
  SW_MeshCore t;
  MakeJitteredTriangles(t, 4, 8.0, 9, [](double x, double y) { return 0.3 * x - 0.7 * y; });
  for (int32_t c = 0; c < t.NumCells(); ++c)
    for (int k = 0; k < 3; ++k) {
      AK_Vec3 n = t.EdgeNormal(c, k);
      AK_Vec3 a = t.CellAreaVector(c);
      EXPECT_NEAR(n.Dot(a) / (n.Length() * a.Length()), 0, 1e-12);
      AK_Vec3 e = t._x[t._lcv[c][(k + 1) % 3]] - t._x[t._lcv[c][k]];
      EXPECT_NEAR(n.Length(), e.Length(), 1e-9);
      // Outward: the opposite corner lies on the other side.
      AK_Vec3 opp = t._x[t._lcv[c][(k + 2) % 3]] - t._x[t._lcv[c][k]];
      EXPECT_LT(n.Dot(opp), 0);
    }
}

TEST(MeshTopology, CellOrderDoesNotChangeTheNeighbours)
{
  // The same cells in a random order: every neighbour pair is found, and only the outer
  // edges stay open.
  SW_MeshCore m;
  MakeJitteredTriangles(m, 30, 30.0, 17, [](double, double) { return 0.0; });
  Rng rng(5);
  for (int32_t c = m.NumCells() - 1; c > 0; --c) {
    int32_t d = static_cast<int32_t>(rng.Next() % static_cast<uint64_t>(c + 1));
    std::swap(m._lcv[c], m._lcv[d]);
  }
  m.ComputeConnectivity();
  ExpectSymmetric(m);
  int border = 0;
  for (int32_t c = 0; c < m.NumCells(); ++c)
    for (int k = 0; k < 3; ++k) border += m._lcc[c][k] < 0;
  EXPECT_EQ(border, 4 * 30);
}

// The mesh's broken invariants name the mesh module and a line, as its messages do.
TEST(MeshTopologyDeathTest, AssertionsCarryTheMeshLocation)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* condition;
    void (*use)(SW_MeshCore&);
  } cases[] = {
      {"_lcc.Size\\(\\)", [](SW_MeshCore& m) { int32_t c = 0, k = -1; m.NextEdge(c, k); }},
      {"_lcc", [](SW_MeshCore& m) { m.EdgeNormal(0, 0); }},
      {"_lcc.Size\\(\\)", [](SW_MeshCore& m) { m.FindCell(0.2, 0.2, -1); }},
  };
  for (const Case& c : cases) {
    EXPECT_DEATH(
        {
          AK_MessageHook = MessagesToStderr;
          SW_MeshCore m;
          AddVertices(m, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
          m._lcv.Append(AK_Index4(0, 1, 2, -1));
          c.use(m);
        },
        std::string("ERROR:FATAL:") + c.condition + " failed!\t\\(SW_Mesh:[0-9]+\\)");
  }
}
