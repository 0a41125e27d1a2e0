// The mesh object's contour tracing over the mesh data.
#include <gtest/gtest.h>

#include <cmath>

#include "SW_ContourLines.h"
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

}  // namespace

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
