// The operations on the mesh data alone: grid generators and curvature-minimising flips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "SW_MeshEdit.h"
#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

namespace {

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
