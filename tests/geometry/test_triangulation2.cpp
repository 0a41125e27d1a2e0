// The incremental Delaunay triangulation and the point-set triangulation of the mesh.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <vector>

#include "AK_Predicates.h"
#include "AK_Triangulation2.h"
#include "SW_MeshTriangulation.h"
#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

namespace {

using I128 = __int128;

// Exact in-circle sign for integer coordinates: > 0 when d lies strictly inside the
// circumcircle of the counter-clockwise triangle a, b, c.
int InCircleExact(const AK_Vec3& a, const AK_Vec3& b, const AK_Vec3& c, const AK_Vec3& d)
{
  I128 adx = I128(a.x - d.x), ady = I128(a.y - d.y);
  I128 bdx = I128(b.x - d.x), bdy = I128(b.y - d.y);
  I128 cdx = I128(c.x - d.x), cdy = I128(c.y - d.y);
  I128 det = (adx * adx + ady * ady) * (bdx * cdy - cdx * bdy) -
             (bdx * bdx + bdy * bdy) * (adx * cdy - cdx * ady) +
             (cdx * cdx + cdy * cdy) * (adx * bdy - bdx * ady);
  return det > 0 ? 1 : (det < 0 ? -1 : 0);
}

double Cross(const AK_Vec3& o, const AK_Vec3& a, const AK_Vec3& b)
{
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

// Area of the convex hull (monotone chain).
double HullArea(std::vector<AK_Vec3> p)
{
  std::sort(p.begin(), p.end(), [](const AK_Vec3& a, const AK_Vec3& b) {
    return a.x != b.x ? a.x < b.x : a.y < b.y;
  });
  if (p.size() < 3) return 0;
  std::vector<AK_Vec3> h(2 * p.size());
  size_t k = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    while (k >= 2 && Cross(h[k - 2], h[k - 1], p[i]) <= 0) --k;
    h[k++] = p[i];
  }
  for (size_t i = p.size() - 1, t = k + 1; i > 0; --i) {
    while (k >= t && Cross(h[k - 2], h[k - 1], p[i - 1]) <= 0) --k;
    h[k++] = p[i - 1];
  }
  double area = 0;
  for (size_t i = 0; i + 1 < k; ++i) area += h[i].x * h[i + 1].y - h[i + 1].x * h[i].y;
  return area / 2;
}

// Integer point sets small enough (coordinates below 4096) that the floating in-circle
// test is exact, so the result must be exactly Delaunay.
std::vector<AK_Vec3> PointSet(const std::string& kind, uint64_t seed)
{
  Rng rng(seed);
  std::vector<AK_Vec3> pts;
  auto ri = [&](int lo, int hi) { return double(lo + int(rng.Next() % uint64_t(hi - lo + 1))); };
  if (kind == "random") {
    for (int i = 0; i < 1500; ++i) pts.emplace_back(ri(0, 4000), ri(0, 4000), ri(0, 100));
  } else if (kind == "grid") {
    for (int i = 0; i < 35; ++i)
      for (int j = 0; j < 40; ++j) pts.emplace_back(100 * i, 100 * j, i + j);
  } else if (kind == "clustered") {
    for (int c = 0; c < 5; ++c) {
      double cx = ri(0, 4000), cy = ri(0, 4000);
      for (int i = 0; i < 300; ++i) pts.emplace_back(cx + ri(-6, 6), cy + ri(-6, 6), 0);
    }
    pts.emplace_back(0, 0, 0);
    pts.emplace_back(4000, 4000, 0);
  } else if (kind == "collinear") {
    for (int i = 0; i < 400; ++i) pts.emplace_back(10 * i % 4000, 5 * i % 2000, 0);
    for (int i = 0; i < 40; ++i) pts.emplace_back(ri(0, 4000), ri(0, 4000), 0);
  } else if (kind == "duplicates") {
    for (int i = 0; i < 1500; ++i) pts.emplace_back(ri(0, 30) * 100, ri(0, 30) * 100, 0);
  }
  return pts;
}

}  // namespace

TEST(Triangulation2, FreshAndFirstInsertion)
{
  MessageCapture messages;
  AK_Triangulation2 tri(AK_Vec2{0, 0}, AK_Vec2{3, 4});
  EXPECT_TRUE(messages.Contains("Delaunay triangulation min point distance:5e-10"));
  ASSERT_EQ(tri.NumTriangles(), 2);
  EXPECT_EQ(tri.HasAuxiliaryVertex(tri.Triangle(0)), 1);
  EXPECT_EQ(tri.HasAuxiliaryVertex(tri.Triangle(1)), 1);
  AK_Vec2 p{1, 1};
  EXPECT_EQ(tri.Insert(&p), 1);
  EXPECT_EQ(tri.NumTriangles(), 4);

  // Again, or closer than the minimum distance: refused, nothing changes; the vertex it
  // coincides with is reported.
  AK_Vec2 same{1, 1}, near{1 + 1e-12, 1};
  int32_t flips = tri.Flips(), tests = tri.DelaunayTests();
  const AK_Vec2* existing = nullptr;
  EXPECT_EQ(tri.Insert(&same, &existing), 0);
  EXPECT_EQ(existing, &p);
  EXPECT_EQ(tri.Insert(&near), 0);
  EXPECT_EQ(tri.NumTriangles(), 4);
  EXPECT_EQ(tri.PointsInserted(), 1);
  EXPECT_EQ(tri.Flips(), flips);
  EXPECT_EQ(tri.DelaunayTests(), tests);
}

TEST(Triangulation2, SmallBoxFarFromTheOrigin)
{
  // A few centimetres of terrain in national grid coordinates keep their own diagonal.
  const double x0 = 2600000, y0 = 1200000;
  MessageCapture messages;
  AK_Triangulation2 tri(AK_Vec2{x0, y0}, AK_Vec2{x0 + 0.1, y0 + 0.1});
  EXPECT_TRUE(messages.Contains("Delaunay triangulation min point distance:1.41421e-11"));
  EXPECT_LT(tri.Corner(2)->x - x0, 0.1 + 0.002);
  AK_Vec2 pts[5] = {{x0, y0}, {x0 + 0.1, y0}, {x0 + 0.1, y0 + 0.1}, {x0, y0 + 0.1},
                    {x0 + 0.05, y0 + 0.03}};
  for (const AK_Vec2& p : pts) EXPECT_EQ(tri.Insert(&p), 1);
  int real = 0;
  for (int32_t i = 0; i < tri.NumTriangles(); ++i) real += !tri.HasAuxiliaryVertex(tri.Triangle(i));
  EXPECT_EQ(real, 4);
}

TEST(Triangulation2, PointOnAnEdgeAndEdgeQueries)
{
  AK_Triangulation2 tri(AK_Vec2{0, 0}, AK_Vec2{10, 10});
  AK_Vec2 a{2, 2}, b{8, 2}, c{5, 8}, onEdge{5, 2};
  for (const AK_Vec2* p : {&a, &b, &c}) ASSERT_EQ(tri.Insert(p), 1);
  ASSERT_EQ(tri.Insert(&onEdge), 1);
  // No real triangle is left flat.
  int real = 0;
  for (int32_t i = 0; i < tri.NumTriangles(); ++i) {
    const AK_Triangle2* t = tri.Triangle(i);
    if (tri.HasAuxiliaryVertex(t)) continue;
    ++real;
    const AK_Vec2 &p0 = *t->Pt(0), &p1 = *t->Pt(1), &p2 = *t->Pt(2);
    EXPECT_GT((p1.x - p0.x) * (p2.y - p0.y) - (p2.x - p0.x) * (p1.y - p0.y), 0);
  }
  EXPECT_EQ(real, 2);
  AK_Triangle2* ab = tri.FindEdge(&a, &onEdge, nullptr);
  AK_Triangle2* ba = tri.FindEdge(&onEdge, &a, nullptr);
  ASSERT_NE(ab, nullptr);
  ASSERT_NE(ba, nullptr);
  EXPECT_NE(ab, ba);
  EXPECT_EQ(tri.FindEdge(&a, &b, nullptr), nullptr);  // split by the point on it
  EXPECT_NE(tri.TriangleWithVertex(&c, nullptr), nullptr);
  AK_Vec2 notInserted{5, 2};
  EXPECT_EQ(tri.TriangleWithVertex(&notInserted, nullptr), nullptr);
}

TEST(Triangulation2, EmptyCirclesOnManyPointSets)
{
  for (const char* kind : {"random", "grid", "clustered", "collinear", "duplicates"}) {
    SCOPED_TRACE(kind);
    std::vector<AK_Vec3> pts = PointSet(kind, 3);
    SW_MeshCore m;
    for (const auto& p : pts) m._x.Append(p);
    m.TriangulatePoints();
    ASSERT_EQ(m._lcc.Size(), m.NumCells());
    // Every cell counter-clockwise, and no vertex strictly inside any circumcircle.
    std::set<int32_t> used;
    double area = 0;
    for (int32_t c = 0; c < m.NumCells(); ++c) {
      const AK_Vec3& a = m._x[m._lcv[c][0]];
      const AK_Vec3& b = m._x[m._lcv[c][1]];
      const AK_Vec3& d = m._x[m._lcv[c][2]];
      ASSERT_GT(Cross(a, b, d), 0);
      area += Cross(a, b, d) / 2;
      for (int k = 0; k < 3; ++k) used.insert(m._lcv[c][k]);
      for (int32_t v = 0; v < m.NumVertices(); ++v)
        ASSERT_LE(InCircleExact(a, b, d, m._x[v]), 0) << "cell " << c << " vertex " << v;
    }
    // The cells lie within the convex hull (near the hull, triangles with an auxiliary
    // corner may take the place of hull triangles), and every distinct position is a vertex
    // of a cell (unless all points of the set are collinear).
    EXPECT_LE(area, HullArea(pts) + 1e-6);
    EXPECT_GT(area, 0.5 * HullArea(pts));
    std::set<std::pair<double, double>> distinct;
    for (const auto& p : pts) distinct.insert({p.x, p.y});
    if (area > 0) {
      EXPECT_EQ(used.size(), distinct.size());
    }
  }
}

TEST(Triangulation2, PointSetsThatGiveNoCells)
{
  struct Case { const char* name; std::vector<AK_Vec3> pts; };
  const Case cases[] = {
      {"empty", {}},
      {"one point", {{5, 5, 1}}},
      {"all equal", {{7, 7, 1}, {7, 7, 2}, {7, 7, 3}, {7, 7, 4}}},
      {"three collinear", {{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}},
      {"far from the origin, all equal", {{6.1e5, 2.3e5, 0}, {6.1e5, 2.3e5, 0}}},
  };
  for (const Case& tc : cases) {
    SCOPED_TRACE(tc.name);
    SW_MeshCore m;
    for (const auto& p : tc.pts) m._x.Append(p);
    MessageCapture messages;
    m.TriangulatePoints();
    EXPECT_EQ(m.NumCells(), 0);
    EXPECT_TRUE(messages.Contains("triangulation done, 0 triangles"));
  }
}

TEST(Triangulation2, SameMeshOnEveryRunFromSeed333)
{
  std::vector<AK_Vec3> pts = PointSet("random", 9);
  SW_MeshCore a, b;
  for (const auto& p : pts) {
    a._x.Append(p);
    b._x.Append(p);
  }
  AK_SeedRandom(1);
  a.TriangulatePoints();
  int afterA = AK_Random();
  AK_SeedRandom(77);
  b.TriangulatePoints();
  int afterB = AK_Random();
  ASSERT_EQ(a.NumCells(), b.NumCells());
  for (int32_t c = 0; c < a.NumCells(); ++c) EXPECT_EQ(a._lcv[c], b._lcv[c]);
  // Five rounds of n swaps of two draws each, from seed 333.
  AK_SeedRandom(333);
  for (size_t i = 0; i < 10 * pts.size(); ++i) AK_Random();
  int expected = AK_Random();
  EXPECT_EQ(afterA, expected);
  EXPECT_EQ(afterB, expected);
}

TEST(Triangulation2, SortedInputOfAPointFile)
{
  // Grid-ordered points, as a raster exported to xyz gives them, with heights.
  SW_MeshCore m;
  for (int i = 0; i < 60; ++i)
    for (int j = 0; j < 50; ++j) m._x.Append(AK_Vec3(i * 2.5, j * 2.5, i * 0.5 + j));
  m.TriangulatePoints();
  EXPECT_EQ(m.NumCells(), 2 * 59 * 49);
  // The point location of the mesh agrees with the triangles.
  Rng rng(4);
  for (int i = 0; i < 1000; ++i) {
    AK_Vec3 p(rng.Uniform(0, 147.5), rng.Uniform(0, 122.5), 0);
    ASSERT_GE(m.HeightAt(p, -1), 0);
    EXPECT_NEAR(p.z, p.x * 0.2 + p.y * 0.4, 1e-9);
  }
}

TEST(Triangulation2, APointThatCannotBePlacedIsReported)
{
  SW_MeshCore m;
  for (const auto& p : PointSet("random", 5)) m._x.Append(p);
  m._x.Append(AK_Vec3(NAN, 5, 0));
  MessageCapture messages;
  m.TriangulatePoints();
  EXPECT_TRUE(messages.Contains(
      "WARNING:1 points could not be placed in the triangulation and have no cell"));
  EXPECT_GT(m.NumCells(), 0);
}

TEST(Triangulation2, LocatorGridOnClusteredPointsAndBoxEdges)
{
  // Thousands of points within a tiny part of a large box, and points on the box's edges:
  // the locator refines deep below its root and its cell indices stay in range.
  AK_Triangulation2 tri(AK_Vec2{0, 0}, AK_Vec2{1e6, 1e6});
  std::vector<AK_Vec2> pts;
  Rng rng(6);
  for (int i = 0; i < 3000; ++i) pts.push_back(AK_Vec2{rng.Uniform(0, 1), rng.Uniform(0, 1)});
  for (int i = 0; i <= 20; ++i) {
    pts.push_back(AK_Vec2{1e6, i * 5e4});
    pts.push_back(AK_Vec2{i * 5e4, 1e6});
  }
  pts.push_back(AK_Vec2{0, 0});
  int inserted = 0;
  for (const auto& p : pts) inserted += tri.Insert(&p);
  EXPECT_EQ(inserted, int(pts.size()) - 1);  // (1e6, 1e6) is given twice
  EXPECT_EQ(tri.Unplaced(), 0);
}

TEST(Triangulation2, StartHintsAndLookAheadLeaveTheTrianglesAsTheyAre)
{
  // The fine start grid and the look-ahead loading only make point location faster: every
  // triangle, corner and neighbour comes out as from the locator grid alone, also on
  // clustered points, points on grid lines (on edges) and duplicates.
  std::vector<AK_Vec2> pts;
  Rng rng(11);
  for (int i = 0; i < 60; ++i)
    for (int j = 0; j < 60; ++j) pts.push_back(AK_Vec2{i * 2.0, j * 2.0});
  for (int c = 0; c < 6; ++c) {
    double cx = rng.Uniform(0, 120), cy = rng.Uniform(0, 120);
    for (int i = 0; i < 500; ++i)
      pts.push_back(AK_Vec2{cx + rng.Uniform(-0.01, 0.01), cy + rng.Uniform(-0.01, 0.01)});
  }
  for (int i = 0; i < 2000; ++i) pts.push_back(AK_Vec2{rng.Uniform(0, 120), rng.Uniform(0, 120)});
  for (int i = 0; i < 300; ++i) pts.push_back(pts[static_cast<size_t>(rng.Next() % pts.size())]);
  const int32_t n = static_cast<int32_t>(pts.size());
  std::vector<const AK_Vec2*> order(pts.size());
  for (size_t i = 0; i < pts.size(); ++i) order[i] = &pts[i];
  AK_SeedRandom(333);
  for (int round = 0; round < 5; ++round)
    for (int32_t i = 0; i < n; ++i)
      std::swap(order[size_t(AK_Random() % n)], order[size_t(AK_Random() % n)]);

  auto build = [&](bool fast) {
    auto tri = std::make_unique<AK_Triangulation2>(AK_Vec2{0, 0}, AK_Vec2{120, 120});
    if (fast) tri->ExpectPoints(n);
    for (int32_t i = 0; i < n; ++i) {
      if (fast) tri->Prefetch(order.data() + i + 1, n - i - 1);
      tri->Insert(order[size_t(i)]);
    }
    return tri;
  };
  std::unique_ptr<AK_Triangulation2> plain = build(false), fast = build(true);
  ASSERT_EQ(plain->NumTriangles(), fast->NumTriangles());
  EXPECT_EQ(plain->PointsInserted(), fast->PointsInserted());
  EXPECT_EQ(plain->Flips(), fast->Flips());
  std::map<const AK_Triangle2*, int32_t> plainIndex, fastIndex;
  for (int32_t i = 0; i < plain->NumTriangles(); ++i) {
    plainIndex[plain->Triangle(i)] = i;
    fastIndex[fast->Triangle(i)] = i;
  }
  auto corner = [](const AK_Triangulation2& t, const AK_Vec2* p) {
    // Both share the point records; the auxiliary corners are each one's own.
    return t.IsAuxiliary(p) ? std::intptr_t(-1 - (p - t.Corner(0))) : reinterpret_cast<std::intptr_t>(p);
  };
  for (int32_t i = 0; i < plain->NumTriangles(); ++i) {
    const AK_Triangle2* a = plain->Triangle(i);
    const AK_Triangle2* b = fast->Triangle(i);
    for (int k = 0; k < 3; ++k) {
      ASSERT_EQ(corner(*plain, a->Pt(k)), corner(*fast, b->Pt(k))) << "triangle " << i;
      ASSERT_EQ(a->Neighbour(k) ? plainIndex[a->Neighbour(k)] : -1,
                b->Neighbour(k) ? fastIndex[b->Neighbour(k)] : -1)
          << "triangle " << i;
    }
  }
}

// The search steps are those of the locator grid's walks, whatever walks the start grid
// takes instead: the same insertions without a start grid take exactly those walks.
TEST(Triangulation2, SearchStepsCountTheLocatorGridWalks)
{
  std::mt19937 random(5);
  std::uniform_real_distribution<double> coordinate(0, 1000);
  std::vector<AK_Vec2> points(5000);
  for (AK_Vec2& p : points) p = AK_Vec2{coordinate(random), coordinate(random)};
  std::vector<const AK_Vec2*> order;
  for (const AK_Vec2& p : points) order.push_back(&p);
  AK_Vec2 lo{0, 0}, hi{1000, 1000};

  AK_Triangulation2 withGrid(lo, hi), plain(lo, hi);
  SW_InsertInOrder(withGrid, order, [](int32_t, int, const AK_Vec2*) {});
  for (const AK_Vec2* p : order) ASSERT_EQ(plain.Insert(p), 1);
  ASSERT_EQ(withGrid.PointsInserted(), 5000);
  EXPECT_EQ(withGrid.SearchSteps(), plain.SearchSteps());
  EXPECT_EQ(plain.StartGridSteps(), 0);
  EXPECT_GT(withGrid.StartGridSteps(), 0);
  EXPECT_LT(withGrid.StartGridSteps(), withGrid.SearchSteps());

  // One statistics message, the same with the start grid as without.
  std::vector<std::string> printed[2];
  for (int i = 0; i < 2; ++i) {
    MessageCapture messages;
    (i == 0 ? withGrid : plain).PrintStatistics();
    printed[i] = messages.messages;
  }
  ASSERT_EQ(printed[0].size(), 1u);
  EXPECT_EQ(printed[0], printed[1]);
  EXPECT_EQ(printed[0][0].rfind("Triangulation statistics: ", 0), 0u);
}
