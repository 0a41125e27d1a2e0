// Point location, interpolation weights, projection and segment walks of the mesh core.
#include <gtest/gtest.h>

#include <cmath>

#include "AK_Predicates.h"
#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

namespace {

// Every cell that holds p (border included), by scanning them all.
std::vector<int32_t> CellsHolding(const SW_MeshCore& m, double x, double y)
{
  std::vector<int32_t> out;
  for (int32_t c = 0; c < m.NumCells(); ++c)
    if (m.ExitEdge(x, y, c) < 0) out.push_back(c);
  return out;
}

// Distance of p outside cell c (0 when inside), from the edge side values.
double DistanceOutside(const SW_MeshCore& m, int32_t c, double x, double y)
{
  double worst = 0;
  const int k = m.CornerCount(c);
  for (int e = 0; e < k; ++e) {
    const AK_Vec3& a = m._x[m._lcv[c][e]];
    const AK_Vec3& b = m._x[m._lcv[c][(e + 1) % k]];
    double len = std::hypot(b.x - a.x, b.y - a.y);
    double s = ((y - a.y) * (b.x - a.x) - (b.y - a.y) * (x - a.x)) / len;
    if (-s > worst) worst = -s;
  }
  return worst;
}

// Locates n random points (a fifth of them outside the mesh) and compares with the scan.
// Grid meshes locate by arithmetic: a point within rounding of an edge may land in the
// cell next to the one the scan finds.
void CheckLocation(const SW_MeshCore& m, double x0, double y0, double x1, double y1, int n,
                   uint64_t seed, bool hints)
{
  Rng rng(seed);
  double mx = 0.1 * (x1 - x0), my = 0.1 * (y1 - y0);
  int32_t hint = -1;
  int found = 0;
  for (int i = 0; i < n; ++i) {
    double x = rng.Uniform(x0 - mx, x1 + mx), y = rng.Uniform(y0 - my, y1 + my);
    int32_t c = m.FindCell(x, y, hints ? hint : -1);
    std::vector<int32_t> holding = CellsHolding(m, x, y);
    if (holding.empty()) {
      ASSERT_EQ(c, -1) << "point " << x << " " << y << " lies in no cell";
    } else {
      ASSERT_GE(c, 0) << "point " << x << " " << y << " lost";
      if (std::find(holding.begin(), holding.end(), c) == holding.end()) {
        ASSERT_LT(DistanceOutside(m, c, x, y), 1e-9 * (x1 - x0)) << x << " " << y;
      }
      ++found;
    }
    if (c >= 0) hint = c;
  }
  EXPECT_GT(found, n / 2);
}

}  // namespace

TEST(MeshLocate, RandomPointsAgainstScan)
{
  SW_MeshCore cart, honey, general;
  MakeCartesian(cart, 17, 11, 3.5, -20, 7, [](double, double) { return 0.0; });
  MakeHoneycomb(honey, 12, 14, 2.0, 5, -3);
  MakeJitteredTriangles(general, 12, 50.0, 11, [](double x, double y) { return x + y; });
  const int n = 34000;  // three meshes, twice each: about 10^5 points per run
  for (bool hints : {false, true}) {
    SCOPED_TRACE(hints ? "with hints" : "without hints");
    CheckLocation(cart, -20, 7, -20 + 17 * 3.5, 7 + 11 * 3.5, n, 1, hints);
    CheckLocation(honey, 5 - 1, -3, 5 + 24, -3 + 14 * honey._rowHeight, n, 2, hints);
    CheckLocation(general, 0, 0, 50, 50, n, 3, hints);
  }
}

TEST(MeshLocate, CartesianGridBorders)
{
  SW_MeshCore m;
  MakeCartesian(m, 3, 2, 10.0, 0, 0, [](double, double) { return 0.0; });
  struct Case { double x, y; int32_t cell; };
  const Case cases[] = {
      {25, 5, 4},     {-5, 5, -1},    {-15, 5, -1},   {5, -0.001, -1}, {-1e-300, 5, -1},
      {30, 5, 4},     {30, 20, 5},    {15, 20, 3},    {0, 0, 0},       {30.001, 5, -1},
      {15, 20.001, -1}, {10, 10, 3},  {NAN, 5, -1},
  };
  for (const Case& tc : cases) {
    EXPECT_EQ(m.FindCell(tc.x, tc.y, -1), tc.cell) << tc.x << " " << tc.y;
  }
  double w[4];
  m.CellWeights(4, 25, 5, w);
  for (double wk : w) EXPECT_DOUBLE_EQ(wk, 0.25);
}

TEST(MeshLocate, HoneycombBorders)
{
  SW_MeshCore m;
  MakeHoneycomb(m, 3, 3, 5.0, 0, 0);
  const double h = m._rowHeight;
  // Below, left of and above the grid: outside; on the top border: the top row.
  EXPECT_EQ(m.FindCell(2, -0.001, -1), -1);
  EXPECT_EQ(m.FindCell(-0.001, 0.0, -1), -1);
  EXPECT_EQ(m.FindCell(7, 3 * h + 0.001, -1), -1);
  int32_t top = m.FindCell(7, 3 * h, -1);
  ASSERT_GE(top, 0);
  EXPECT_EQ(m.ExitEdge(7, 3 * h, top), -1);
  // Every vertex of the grid lies in some cell that holds it.
  for (int32_t v = 0; v < m.NumVertices(); ++v) {
    int32_t c = m.FindCell(m._x[v].x, m._x[v].y, -1);
    ASSERT_GE(c, 0) << "vertex " << v;
    EXPECT_EQ(m.ExitEdge(m._x[v].x, m._x[v].y, c), -1) << "vertex " << v;
  }
}

TEST(MeshLocate, SearchWithoutHintDraws101RandomNumbers)
{
  SW_MeshCore m;
  MakeJitteredTriangles(m, 8, 10.0, 4, [](double, double) { return 0.0; });
  AK_SeedRandom(4711);
  for (int i = 0; i < 101; ++i) AK_Random();
  int expected = AK_Random();
  AK_SeedRandom(4711);
  ASSERT_GE(m.FindCell(5.0, 5.0, -1), 0);
  EXPECT_EQ(AK_Random(), expected);
  // With a hint nothing is drawn.
  AK_SeedRandom(4711);
  int first = AK_Random();
  AK_SeedRandom(4711);
  m.FindCell(5.0, 5.0, 3);
  EXPECT_EQ(AK_Random(), first);
}

TEST(MeshLocate, WeightsReproduceThePoint)
{
  struct Cell { const char* name; std::vector<AK_Vec3> corners; double tolerance; };
  const Cell cells[] = {
      {"triangle", {{0, 0, 1}, {4, 1, 2}, {1, 3, -1}}, 1e-12},
      {"unit square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 1e-12},
      {"parallelogram", {{0, 0, 0}, {3, 1, 0}, {4, 3, 0}, {1, 2, 0}}, 1e-12},
      {"trapezoid", {{0, 0, 0}, {4, 0, 1}, {3, 2, 2}, {1, 2, 3}}, 1e-6},
      {"general quad", {{0, 0, 0}, {5, 1, 1}, {4, 4, 2}, {-1, 3, 0}}, 1e-6},
  };
  for (const Cell& tc : cells) {
    SCOPED_TRACE(tc.name);
    SW_MeshCore m;
    for (const auto& p : tc.corners) m._x.Append(p);
    if (tc.corners.size() == 3)
      AddCell(m, 0, 1, 2);
    else
      AddCell(m, 0, 1, 2, 3);
    Rng rng(21);
    int inside = 0;
    for (int i = 0; i < 20000; ++i) {
      double x = rng.Uniform(-1, 5), y = rng.Uniform(0, 4);
      if (m.ExitEdge(x, y, 0) >= 0) continue;
      ++inside;
      double w[4];
      m.CellWeights(0, x, y, w);
      EXPECT_NEAR(w[0] + w[1] + w[2] + w[3], 1.0, 1e-12);
      AK_Vec3 p = m.InterpolateVertexVector(0, w, m._x);
      EXPECT_NEAR(p.x, x, tc.tolerance);
      EXPECT_NEAR(p.y, y, tc.tolerance);
      for (double wk : w) EXPECT_GE(wk, -tc.tolerance);
    }
    EXPECT_GT(inside, 100);
  }
}

TEST(MeshLocate, HeightsOfPlanesAreExact)
{
  auto plane = [](double x, double y) { return 100 + 0.25 * x - 0.5 * y; };
  SW_MeshCore cart, general;
  MakeCartesian(cart, 10, 10, 1.0, 0, 0, plane);
  MakeJitteredTriangles(general, 10, 10.0, 8, plane);
  Rng rng(2);
  for (const SW_MeshCore* m : {&cart, &general}) {
    for (int i = 0; i < 1000; ++i) {
      AK_Vec3 p(rng.Uniform(0, 10), rng.Uniform(0, 10), -7);
      ASSERT_GE(m->HeightAt(p, -1), 0);
      EXPECT_NEAR(p.z, plane(p.x, p.y), 1e-9);
    }
    AK_Vec3 out(-1, 5, 42);
    EXPECT_EQ(m->HeightAt(out, -1), -1);
    EXPECT_EQ(out.z, 42);
  }
}

TEST(MeshLocate, ProjectionOntoTiltedPlaneHitsTheFootPoint)
{
  const double a = 0.4, b = -0.3, c0 = 12;
  auto plane = [&](double x, double y) { return a * x + b * y + c0; };
  SW_MeshCore cart, general;
  MakeCartesian(cart, 20, 20, 5.0, 0, 0, plane);
  MakeJitteredTriangles(general, 20, 100.0, 6, plane);
  // Plane: a x + b y - z + c0 = 0, normal (a, b, -1).
  AK_Vec3 n(a, b, -1);
  Rng rng(7);
  for (const SW_MeshCore* m : {&cart, &general}) {
    int32_t hint = -1;
    for (int i = 0; i < 2000; ++i) {
      AK_Vec3 p(rng.Uniform(20, 80), rng.Uniform(20, 80), 0);
      p.z = plane(p.x, p.y) + rng.Uniform(-10, 10);
      double w[4];
      int32_t cell = m->ProjectToSurface(p, hint, w);
      ASSERT_GE(cell, 0);
      hint = cell;
      double dist = (n.Dot(p) + c0) / n.Dot(n);
      AK_Vec3 foot = p - n * dist;
      AK_Vec3 got = m->InterpolateVertexVector(cell, w, m->_x);
      EXPECT_NEAR(got.x, foot.x, 1e-7);
      EXPECT_NEAR(got.y, foot.y, 1e-7);
      EXPECT_NEAR(got.z, foot.z, 1e-7);
    }
  }
  // Horizontal mesh: the cell of (x, y) whatever the height.
  SW_MeshCore flat;
  MakeJitteredTriangles(flat, 5, 10.0, 1, [](double, double) { return 3.0; });
  AK_Vec3 p(4.2, 6.1, 1000);
  EXPECT_EQ(flat.ProjectToSurface(p, -1, nullptr), flat.FindCell(p, -1));
}

// A jittered grid of n x n general (non-parallelogram) quadrilaterals on a curved surface.
void MakeJitteredQuads(SW_MeshCore& m, int32_t n, uint64_t seed)
{
  m.ClearGeometry();
  Rng rng(seed);
  for (int32_t i = 0; i <= n; ++i)
    for (int32_t j = 0; j <= n; ++j) {
      double x = i, y = j;
      if (i > 0 && i < n) x += rng.Uniform(-0.25, 0.25);
      if (j > 0 && j < n) y += rng.Uniform(-0.25, 0.25);
      m._x.Append(AK_Vec3(x, y, 0.3 * x + 0.1 * y * y));
    }
  for (int32_t i = 0; i < n; ++i)
    for (int32_t j = 0; j < n; ++j)
      AddCell(m, (n + 1) * i + j, (n + 1) * (i + 1) + j, (n + 1) * (i + 1) + j + 1,
              (n + 1) * i + j + 1);
  m.ComputeConnectivity();
  m.ComputeVertexNormals();
}

TEST(MeshLocate, ProjectionKeepsPointsOnSharedEdges)
{
  // Triangles: barycentric weights a rounding error below 0. General quadrilaterals: the
  // Newton iteration stops with errors far above rounding. Either way the point lies in
  // its cell and must not be lost.
  SW_MeshCore tris, quads;
  MakeJitteredTriangles(tris, 10, 10.0, 12, [](double, double) { return 1.0; });
  MakeJitteredQuads(quads, 10, 3);
  for (const SW_MeshCore* mesh : {&tris, &quads}) {
    const SW_MeshCore& m = *mesh;
    SCOPED_TRACE(m.CornerCount(0) == 3 ? "triangles" : "quadrilaterals");
    Rng rng(3);
    int belowZero = 0;
    for (int32_t c = 0; c < m.NumCells(); ++c) {
      const int corners = m.CornerCount(c);
      for (int k = 0; k < corners; ++k) {
        if (m._lcc[c][k] < 0) continue;
        const AK_Vec3& a = m._x[m._lcv[c][k]];
        const AK_Vec3& b = m._x[m._lcv[c][(k + 1) % corners]];
        for (int i = 0; i < 20; ++i) {
          AK_Vec3 p = AK_Lerp3(a, b, rng.Uniform(0.05, 0.95));
          if (corners == 3) p.z += 2;  // above the flat mesh; the quadrilaterals' surface bends
          int32_t found = m.FindCell(p, -1);
          double raw[4];
          m.CellWeights(found, p.x, p.y, raw);
          if (std::min(std::min(raw[0], raw[1]), std::min(raw[2], raw[3])) < 0) ++belowZero;
          double w[4];
          int32_t cell = m.ProjectToSurface(p, found, w);
          ASSERT_GE(cell, 0);
          for (double wk : w) EXPECT_GE(wk, 0.0);
          EXPECT_NEAR(w[0] + w[1] + w[2] + w[3], 1.0, 1e-12);
        }
      }
    }
    // The case is real: some raw weights do come out below zero.
    EXPECT_GT(belowZero, 0);
  }
}

TEST(MeshLocate, SegmentWalks)
{
  SW_MeshCore m;
  MakeCartesian(m, 4, 4, 1.0, 0, 0, [](double, double) { return 0.0; });
  AK_Array<int32_t> cells;
  AK_Array<AK_Vec2> points;
  m.CellsAlongSegment(AK_Vec2{0.2, 0.3}, AK_Vec2{0.7, 0.6}, cells, &points);
  ASSERT_EQ(cells.Size(), 1);
  EXPECT_EQ(cells[0], 0);
  EXPECT_EQ(points.Size(), 0);

  cells.Clear();
  m.CellsAlongSegment(AK_Vec2{0.5, 0.5}, AK_Vec2{3.5, 0.5}, cells, &points);
  ASSERT_EQ(cells.Size(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(cells[i], i * 4);
  ASSERT_EQ(points.Size(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(points[i].x, i + 1.0, 1e-12);
    EXPECT_NEAR(points[i].y, 0.5, 1e-12);
  }

  // Leaving the mesh: the walk ends with the border cell.
  cells.Clear();
  m.CellsAlongSegment(AK_Vec2{3.5, 3.5}, AK_Vec2{9, 3.5}, cells, nullptr);
  ASSERT_EQ(cells.Size(), 1);
  EXPECT_EQ(cells[0], 15);

  AK_Array<SW_EdgeCrossing> crossings;
  AK_Array<AK_Vec3> line;
  line.Append(AK_Vec3(0.5, 0.25, 0));
  line.Append(AK_Vec3(2.5, 0.25, 0));
  line.Append(AK_Vec3(2.5, 2.75, 0));
  m.EdgeCrossingsOfPoints(line, crossings);
  ASSERT_EQ(crossings.Size(), 4);
  // First crossing: the edge x = 1 of cell 0, from vertex (1, 0) to (1, 1), at y = 0.25.
  EXPECT_EQ(crossings[0].a, 5);
  EXPECT_EQ(crossings[0].b, 6);
  EXPECT_NEAR(crossings[0].t, 0.25, 1e-12);
}

TEST(MeshLocate, RandomPointsLieInTheirCell)
{
  SW_MeshCore m;
  MakeJitteredTriangles(m, 4, 4.0, 2, [](double x, double) { return x; });
  AK_SeedRandom(5);
  for (int32_t c = 0; c < m.NumCells(); ++c)
    for (int i = 0; i < 50; ++i) {
      AK_Vec3 p = m.RandomPointInCell(c);
      EXPECT_LT(DistanceOutside(m, c, p.x, p.y), 1e-12);
      EXPECT_NEAR(p.z, p.x, 1e-12);
    }
}

// Vertices outside the base get the no-data height; a grid wholly outside it keeps its
// heights, since marking every vertex would only lose the grid.
TEST(MeshLocate, ProjectingHeightsMarksVerticesOutside)
{
  SW_MeshCore base;
  MakeJitteredTriangles(base, 10, 10.0, 3, [](double x, double y) { return x * y; });
  for (double x0 : {-1.0, 20.0}) {
    SW_MeshCore grid;
    MakeCartesian(grid, 6, 6, 2.0, x0, -1, [](double x, double) { return x; });
    int32_t missing = grid.ProjectHeightsOnto(base);
    int32_t expected = 0;
    for (int32_t v = 0; v < grid.NumVertices(); ++v) {
      const AK_Vec3& p = grid._x[v];
      const bool outside = p.x < 0 || p.y < 0 || p.x > 10 || p.y > 10;
      expected += outside;
      EXPECT_EQ(p.z, x0 > 10 ? p.x : outside ? SW_NoDataHeight : p.z);
    }
    EXPECT_EQ(missing, expected) << x0;
    EXPECT_EQ(missing == grid.NumVertices(), x0 > 10);
  }
}

// Points far beyond the square root of the largest double overflow the edge tests, and
// points with a coordinate that is no finite number have no side at all: both lie outside
// every cell of every kind of mesh, every query returns, and no height or weight becomes a
// non-number.
TEST(MeshLocate, FarPointsLieOutside)
{
  const double inf = HUGE_VAL, nan = std::nan("");
  auto height = [](double x, double y) { return x + y; };
  SW_MeshCore triangles, quads, grid, honeycomb;
  MakeJitteredTriangles(triangles, 6, 10.0, 9, height);
  MakeCartesian(quads, 4, 3, 2.5, 0, 0, height);
  quads._cartesian = 0;  // the same cells, located by walking
  MakeCartesian(grid, 4, 3, 2.5, 0, 0, height);
  MakeHoneycomb(honeycomb, 4, 4, 2.5, 0, 0);
  const double far[][2] = {{1e308, 1e308}, {-1e308, 5}, {5, -1e308}, {1e308, -1e308},
                           {-1.7e308, -1.7e308}, {1e200, 3}, {4, 1e160},
                           {nan, 5}, {5, nan}, {nan, nan}, {-nan, 1e308},
                           {inf, 5}, {-inf, 5}, {5, inf}, {5, -inf}, {inf, -inf},
                           {nan, inf}, {-inf, 1e-300}};
  for (const SW_MeshCore* m : {&triangles, &quads, &grid, &honeycomb}) {
    SCOPED_TRACE(m == &triangles ? "triangles" : m == &quads ? "quadrilaterals"
                 : m == &grid    ? "Cartesian grid" : "honeycomb grid");
    const AK_Vec2 inside{5, 5};
    ASSERT_GE(m->FindCell(inside, -1), 0);
    for (const auto& p : far) {
      const bool finite = std::isfinite(p[0]) && std::isfinite(p[1]);
      for (int32_t c = 0; c < m->NumCells(); ++c)
        EXPECT_GE(m->ExitEdge(p[0], p[1], c), 0) << p[0] << " " << p[1] << " cell " << c;
      for (int32_t hint : {-1, 0, m->NumCells() - 1}) {
        EXPECT_EQ(m->FindCell(p[0], p[1], hint), -1) << p[0] << " " << p[1];
        AK_Vec3 q(p[0], p[1], 0);
        EXPECT_EQ(m->HeightAt(q, hint), -1) << p[0] << " " << p[1];
        EXPECT_EQ(q.z, 0);
        double w[4];
        EXPECT_EQ(m->ProjectToSurface(q, hint, w), -1) << p[0] << " " << p[1];
        int32_t start = 0;
        EXPECT_EQ(m->ProjectToSurface(q, hint, start, w), -1) << p[0] << " " << p[1];
        EXPECT_EQ(start, -1);
      }
      if (finite) continue;
      // A segment with such an end crosses no cell, from either side.
      AK_Array<int32_t> cells;
      AK_Array<SW_EdgeCrossing> crossings;
      const AK_Vec2 end{p[0], p[1]};
      for (const auto& [a, b] : {std::pair{inside, end}, std::pair{end, inside}}) {
        m->CellsAlongSegment(a, b, cells, nullptr);
        m->EdgeCrossingsOfSegment(a, b, crossings);
      }
      EXPECT_EQ(cells.Size(), 0) << p[0] << " " << p[1];
      EXPECT_EQ(crossings.Size(), 0) << p[0] << " " << p[1];
    }
    // A point above the mesh whose height is not finite has no foot on the surface.
    for (double z : {nan, inf, -inf}) {
      double w[4];
      EXPECT_EQ(m->ProjectToSurface(AK_Vec3(5, 5, z), -1, w), -1) << z;
    }
  }
  // The exact orientation sign of points with no finite coordinate: no side.
  for (const auto& p : far) {
    if (!std::isfinite(p[0]) || !std::isfinite(p[1])) {
      EXPECT_EQ(AK_Orient2dSign(0, 0, 1, 1, p[0], p[1]), 0) << p[0] << " " << p[1];
    }
  }
}

TEST(MeshLocate, NormalsTakenFromAnotherMesh)
{
  SW_MeshCore base, target;
  auto tilted = [](double x, double y) { return 0.5 * x + 0.2 * y; };
  MakeJitteredTriangles(base, 10, 10.0, 4, tilted);
  MakeCartesian(target, 4, 4, 3.0, -1, -1, [](double, double) { return 0.0; });
  target.InterpolateNormalsFromMesh(base);
  for (int32_t v = 0; v < target.NumVertices(); ++v) {
    const AK_Vec3& p = target._x[v];
    const AK_Vec3& n = target._vertexNormals[v];
    if (p.x < 0 || p.y < 0 || p.x > 10 || p.y > 10) {
      EXPECT_EQ(n.x, 0);  // outside: the flat mesh's own normal
      continue;
    }
    // The base plane's direction (-0.5, -0.2, 1) with the flat mesh's own z share.
    EXPECT_NEAR(n.x, -0.5 * n.z, 1e-12);
    EXPECT_NEAR(n.y, -0.2 * n.z, 1e-12);
  }
}
