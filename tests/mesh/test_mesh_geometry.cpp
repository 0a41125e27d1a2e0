// The mesh object's operations on the mesh data: grid generators, contour tracing and the
// curvature-minimising flips.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "SW_ContourLines.h"
#include "SW_MeshEdit.h"
#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

namespace {

std::unique_ptr<SW_ContourLineSet> Contours(const SW_MeshCore& m, std::initializer_list<double> lv)
{
  AK_Array<float> z;
  for (const AK_Vec3& p : m._x) z.Append(static_cast<float>(p.z));
  AK_Array<double> levels;
  for (double l : lv) levels.Append(l);
  return SW_ContourLineSet::Compute(m, z, levels);
}

// The cells of a mesh as a set of sorted corner triples/quadruples (cell order ignored).
std::multiset<std::vector<int32_t>> CellSet(const SW_MeshCore& m)
{
  std::multiset<std::vector<int32_t>> out;
  for (const AK_Index4& c : m._lcv) {
    std::vector<int32_t> v(c._i, c._i + (c[3] < 0 ? 3 : 4));
    std::sort(v.begin(), v.end());
    out.insert(v);
  }
  return out;
}

}  // namespace

TEST(MeshGenerators, CountsAndHeights)
{
  SW_MeshCore m;
  AK_String error;
  m._xll = AK_Vec2{0, 0};
  m._upperRight = AK_Vec2{10, 7};
  ASSERT_TRUE(SW_SetToCartesianGrid(m, 5, error));  // the strip 5 < y <= 7 stays uncovered
  EXPECT_EQ(std::vector<int32_t>({m._nx, m._ny, m.NumVertices(), m.NumCells()}), std::vector<int32_t>({2, 1, 6, 2}));

  m._upperRight = AK_Vec2{10, 10};
  ASSERT_TRUE(SW_SetToHoneyCombGrid(m, 5, error));
  EXPECT_NEAR(m._rowHeight, 4.330127018922193, 1e-12);
  EXPECT_EQ(std::vector<int32_t>({m._nx, m._ny, m.NumVertices(), m.NumCells()}), std::vector<int32_t>({3, 3, 16, 18}));
  EXPECT_EQ(m._x[1].x, -2.5);  // vertex (0, 1): odd rows are shifted
  EXPECT_TRUE(m._honeycomb && !m._cartesian);
  // Honeycomb point location by arithmetic agrees with the cells themselves.
  Rng rng(3);
  for (int i = 0; i < 200; ++i) {
    double x = rng.Uniform(0, 12), y = rng.Uniform(0, 12.9);
    int32_t c = m.FindCell(x, y, -1);
    if (c >= 0) {
      EXPECT_EQ(m.ExitEdge(x, y, c), -1) << x << " " << y;
    }
  }

  // Every plane is a Cartesian grid; with oblong cells its rows are Width / Ny high, and
  // point location by arithmetic agrees with the cells themselves (border points included).
  struct Plane { int nx, ny; double length, width; };
  for (const Plane& p : {Plane{50, 20, 1000, 200}, Plane{3, 7, 10, 70}, Plane{4, 4, 40, 40}, Plane{6, 1, 0.3, 0.1}}) {
    ASSERT_TRUE(SW_SetToPlane(m, p.nx, p.ny, p.length, p.width, 20, error));
    EXPECT_TRUE(m._cartesian && !m._honeycomb);
    for (int i = 0; i < 500; ++i) {
      const double x = rng.Uniform(-0.1 * p.length, 1.1 * p.length), y = rng.Uniform(-0.1 * p.width, 1.1 * p.width);
      const int32_t c = m.FindCell(x, y, -1);
      int32_t holder = -1;
      for (int32_t k = 0; k < m.NumCells() && holder < 0; ++k)
        if (m.ExitEdge(x, y, k) < 0) holder = k;
      if (c >= 0) EXPECT_EQ(m.ExitEdge(x, y, c), -1) << x << " " << y;
      else EXPECT_EQ(holder, -1) << x << " " << y;
    }
  }
  EXPECT_FALSE(SW_SetToPlane(m, 4, 2, 0, 10, 20, error));
  EXPECT_FALSE(SW_SetToPlane(m, 4, 2, 40, -10, 20, error));
  EXPECT_EQ(m.NumCells(), 0);

  ASSERT_TRUE(SW_SetToPlane(m, 4, 2, 40, 10, 20, error));
  const double expected[] = {20, 20 - std::sqrt(300.0), 0, 20 - std::sqrt(300.0), 20};
  for (int i = 0; i <= 4; ++i) EXPECT_DOUBLE_EQ(m._x[3 * i].z, expected[i]);

  // The defaults put most columns beyond the arc: the plane stays at its top there.
  ASSERT_TRUE(SW_SetToPlane(m, 50, 20, 1000, 200, 20, error));
  for (const AK_Vec3& p : m._x) ASSERT_TRUE(std::isfinite(p.z));
  EXPECT_EQ(m._x[0].z, 20);

  EXPECT_FALSE(SW_SetToPlane(m, 0, 5, 40, 10, 20, error));
  EXPECT_EQ(m.NumVertices(), 0);
  m._upperRight = AK_Vec2{4, 4};  // narrower than one cell
  EXPECT_FALSE(SW_SetToCartesianGrid(m, 5, error));
  EXPECT_EQ(m.NumVertices(), 0);
}

// A cone's contours are closed circles around its tip, one per level, on quadrilateral and
// triangle meshes alike (a plane's open lines are those of the contour export).
TEST(MeshContours, ConeCircles)
{
  auto cone = [](double x, double y) { return 100 - std::hypot(x - 50, y - 50); };
  SW_MeshCore quads, triangles;
  MakeCartesian(quads, 40, 40, 2.5, 0, 0, cone);
  MakeJitteredTriangles(triangles, 40, 100, 7, cone);
  for (SW_MeshCore* m : {&quads, &triangles}) {
    auto set = Contours(*m, {60, 75, 90});
    ASSERT_EQ(set->Count(), 3);
    for (int32_t i = 0; i < set->Count(); ++i) {
      const SW_ContourLine& line = set->Line(i);
      EXPECT_TRUE(line.Closed());
      const AK_Array<AK_Vec3>& p = line.Points();
      ASSERT_GT(p.Size(), 8);
      // The first crossing once more, from the other side of its edge (f32 fractions).
      EXPECT_NEAR((p[0] - p.Last()).Length(), 0, 1e-6);
      const double radius = 100 - line.Level();
      for (const AK_Vec3& q : p) {
        EXPECT_NEAR(std::hypot(q.x - 50, q.y - 50), radius, 0.3);
        EXPECT_NEAR(q.z, line.Level(), 1e-3);
      }
    }
  }
}

// A saddle quadrilateral is joined as its centre value says; a level equal to a corner's
// height counts that corner as not above.
TEST(MeshContours, SaddleAndLevelOnCorners)
{
  SW_MeshCore m;
  MakeCartesian(m, 1, 1, 1, 0, 0, [](double, double) { return 0.0; });
  // Corners 0..3 are vertices 0, 2, 3, 1: heights 3, 0, 2, 0 around the cell, centre 1.25.
  const float z[4] = {3, 0, 0, 2};
  for (int v = 0; v < 4; ++v) m._x[v].z = z[v];
  EXPECT_EQ(SW_ContourExitEdge(m, 0, 0, z, 1.0f), 1);  // centre above: the next edge
  EXPECT_EQ(SW_ContourExitEdge(m, 0, 0, z, 1.5f), 3);  // centre below: the edge before
  EXPECT_EQ(Contours(m, {1.0})->Count(), 2);
  EXPECT_EQ(Contours(m, {2.0})->Count(), 1);  // corner 2 at 2.0 is not above

  // Labels stand farther than their distance from the last label and from the start.
  AK_Array<AK_Vec3> line;
  for (int i = 0; i <= 10; ++i) line.Append(AK_Vec3(i, 0, 0));
  AK_Array<int32_t> at;
  SW_ContourLabelPoints(line, 3, at);
  EXPECT_EQ(std::vector<int32_t>(at.begin(), at.end()), (std::vector<int32_t>{4, 8}));
}

// The example of two triangles: the bend falls from about 5.4914 to 5.2532 by the flip to
// C-D, which is kept; with B lowered to 0 both diagonals cost the same and nothing flips.
TEST(MeshFlips, ExamplePairAndRestoringFlip)
{
  for (double bz : {3.0, 0.0}) {
    SW_MeshCore m;
    for (AK_Vec3 p : {AK_Vec3(0, 0, 0), AK_Vec3(10, 10, bz), AK_Vec3(0, 10, 5), AK_Vec3(10, 0, 5)})
      m._x.Append(p);
    AddCell(m, 0, 1, 2);
    AddCell(m, 1, 0, 3);
    m.ComputeConnectivity();
    const double before = SW_EdgeCurvatureCost(m, 0, 0);
    EXPECT_NEAR(before, bz == 3 ? 5.4914 : 9.4281, 1e-4);
    ASSERT_EQ(SW_IsEdgeFlippable(m, 0, 0), 1);
    MessageCapture messages;
    EXPECT_EQ(SW_MinimizeCurvaturePass(m), bz == 3 ? 1 : 0);
    EXPECT_TRUE(messages.Contains(bz == 3 ? "1 edges flipped" : "0 edges flipped"));
    // Tried and undone flips exchange the two cells' triangles; the diagonal is what counts.
    const auto diagonal = bz == 3 ? std::vector<int32_t>{0, 2, 3} : std::vector<int32_t>{0, 1, 2};
    EXPECT_EQ(CellSet(m).count(diagonal), 1u);
    EXPECT_NEAR(SW_EdgeCurvatureCost(m, 0, 0), bz == 3 ? 5.2532 : 9.4281, 1e-4);
  }
}

// A honeycomb grid with relief is flipped: the neighbour table kept through the flips is the
// one of the new cells; the grid stops locating points by the honeycomb arithmetic, and every
// point it finds lies in its cell.
TEST(MeshFlips, FlippedHoneycombIsNoHoneycomb)
{
  SW_MeshCore m;
  MakeHoneycomb(m, 8, 8, 10, 0, 0);
  for (AK_Vec3& p : m._x) p.z = 0.05 * p.x * p.x + 3 * std::sin(p.y / 7);
  MessageCapture quiet;
  ASSERT_GT(SW_MinimizeCurvature(m), 0);
  SW_MeshCore fresh = m;
  fresh.ComputeConnectivity();
  for (int32_t c = 0; c < m.NumCells(); ++c) ASSERT_EQ(m._lcc[c], fresh._lcc[c]) << c;
  EXPECT_EQ(m._honeycomb, 0);
  Rng rng(9);
  for (int i = 0; i < 300; ++i) {
    double x = rng.Uniform(0, 80), y = rng.Uniform(0, 69);
    int32_t c = m.FindCell(x, y, -1);
    if (c >= 0) {
      EXPECT_EQ(m.ExitEdge(x, y, c), -1);
    }
  }

}
