// Wall lines: foot points of the face and the crossing of a path with the wall.
#include <gtest/gtest.h>

#include <cmath>

#include "SW_Mesh.h"
#include "SW_WallLine.h"
#include "TestMeshes.h"
#include "TestSupport.h"

namespace {

template <class T>
AK_Array<T> Array(std::initializer_list<T> list)
{
  AK_Array<T> a;
  for (const T& v : list) a.Append(v);
  return a;
}
void ExpectNear(const AK_Vec3& a, const AK_Vec3& b) { EXPECT_NEAR((a - b).Length(), 0, 1e-9); }

}  // namespace

// The face falls to the left of the line; where it cannot be computed the foot is the vertex.
TEST(WallLines, FeetOfTheFace)
{
  SW_MeshCore flat, tilted;
  meshtest::MakeCartesian(flat, 8, 8, 5, -20, -20, [](double, double) { return 0.0; });
  meshtest::MakeCartesian(tilted, 8, 8, 5, -20, -20, [](double, double y) { return 0.5 * y; });
  struct Row { const char* name; const SW_MeshCore& mesh; AK_Array<AK_Vec3> vertices, feet; };
  Row rows[] = {
      {"45 degrees over flat terrain", flat, Array<AK_Vec3>({{0, 0, 0}, {10, 0, 0}}), Array<AK_Vec3>({{0, 5, 0}, {10, 5, 0}})},
      {"45 degrees over a slope rising to the left", tilted, Array<AK_Vec3>({{0, 0, 0}, {10, 0, 0}}),
       Array<AK_Vec3>({{0, 10.0 / 3, 5.0 / 3}, {10, 10.0 / 3, 5.0 / 3}})},
      {"one vertex", flat, Array<AK_Vec3>({{1, 2, 7}}), Array<AK_Vec3>({{1, 2, 0}})},
      {"zero-length segment", flat, Array<AK_Vec3>({{1, 2, 0}, {1, 2, 0}}), Array<AK_Vec3>({{1, 2, 0}, {1, 2, 0}})},
      {"vertical segment: no horizontal direction", flat, Array<AK_Vec3>({{1, 2, 0}, {1, 2, 4}}),
       Array<AK_Vec3>({{1, 2, 0}, {1, 2, 0}})},
      {"vertex outside the mesh: the horizontal plane", flat, Array<AK_Vec3>({{0, 0, 0}, {100, 0, 1}}),
       Array<AK_Vec3>({{0, 5, 0}, {100, 4, 1}})},
  };
  for (Row& r : rows) {
    SCOPED_TRACE(r.name);
    AK_Array<AK_Vec3> tangents, feet;
    SW_WallTangents(r.vertices, tangents);
    SW_WallFeet(r.mesh, r.vertices, Array<double>({5}), Array<double>({1}), tangents, feet);
    ASSERT_EQ(feet.Count(), r.vertices.Count());
    for (int32_t i = 0; i < feet.Count(); ++i) ExpectNear(feet[i], r.feet[i]);
  }
  AK_Array<AK_Vec3> vertices = Array<AK_Vec3>({{0, 0, 0}, {10, 0, 0}}), tangents, feet;
  SW_WallTangents(vertices, tangents);
  SW_WallFeet(flat, vertices, Array<double>({0, 5}), Array<double>({1}), tangents, feet);  // no face
  ExpectNear(feet[1], vertices[1]);
}

TEST(WallLines, CrossingInterpolatesFeetCrestAndDirection)
{
  AK_Array<AK_Vec3> vertices = Array<AK_Vec3>({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {30, 0, 0}});
  AK_Array<AK_Vec3> feet = Array<AK_Vec3>({{0, 5, 1}, {10, 5, 1}, {20, 5, 2}, {30, 5, 3}}), tangents;
  AK_Array<double> heights = Array<double>({2, 3});  // cyclic: 2 3 2 3
  SW_WallTangents(vertices, tangents);
  AK_Vec3 hit, crest, direction;
  ASSERT_EQ(SW_WallIntersect(vertices, heights, tangents, feet, {22.5, 0}, {22.5, 10}, hit, crest, direction), 1);
  ExpectNear(hit, {22.5, 5, 2.25});
  ExpectNear(crest, {22.5, 0, 2.25});  // 0.75 * 2 + 0.25 * 3 on the third segment
  ExpectNear(direction, {1, 0, 0});
  ASSERT_EQ(SW_WallIntersect(vertices, heights, tangents, feet, {12.5, 0}, {12.5, 10}, hit, crest, direction), 1);
  ExpectNear(crest, {12.5, 0, 2.75});  // 0.75 * 3 + 0.25 * 2 on the second
  EXPECT_EQ(SW_WallIntersect(vertices, heights, tangents, feet, {0, 0}, {30, 1}, hit, crest, direction), 0);
  feet.SetCount(2);  // fewer feet than vertices: only the first segment exists
  EXPECT_EQ(SW_WallIntersect(vertices, heights, tangents, feet, {22.5, 0}, {22.5, 10}, hit, crest, direction), 0);
}

TEST(WallLines, CyclicListsAndTheSelectedVertex)
{
  SW_WallLines walls("WallLines", nullptr);
  walls.Set("AddWallLine", "dam");
  auto* wall = static_cast<SW_WallLine*>(walls.GetComponent("dam"));
  ASSERT_TRUE(wall);
  EXPECT_EQ(wall->Get("Heights") + wall->Get("Slopes"), "1%AK_SEP%30%AK_SEP%");
  for (int i = 0; i < 5; ++i) wall->Set("AppendPoint", AK_String::Format("%d 0 0", 10 * i));
  wall->Set("Heights", "2%AK_SEP%3%AK_SEP%");
  for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(wall->TopPoint(i).z, i % 2 ? 3 : 2);
  wall->Set("SelectedVertex", "4");
  EXPECT_EQ(wall->Get("AbsHeightAtCurrentVertex"), "3");
  wall->Set("AbsHeightAtCurrentVertex", "9");
  EXPECT_EQ(wall->Get("Heights"), "2%AK_SEP%3%AK_SEP%2%AK_SEP%9%AK_SEP%2%AK_SEP%");
  wall->Set("Heights", "");  // no list: the heights stay
  wall->Set("Slopes", "0%AK_SEP%");
  EXPECT_EQ(wall->Get("Heights") + wall->Get("Slopes"),
            "2%AK_SEP%3%AK_SEP%2%AK_SEP%9%AK_SEP%2%AK_SEP%" + AK_String::Format("%.15g", std::atan(0.01) * 180 / std::acos(-1.0)) + "%AK_SEP%");
  wall->Set("SelectedVertex", "0");
  wall->Set("SlopeAngleAtCurrentVertex", "45");
  EXPECT_EQ(wall->Get("SlopeAngleAtCurrentVertex"), "0");
}

// Feet follow the vertices through edits, with and without the base mesh.
TEST(WallLines, FeetFollowTheVertices)
{
  AK_Container project("Project", nullptr);
  auto* mesh = new SW_Mesh("DHM", &project);
  meshtest::MakeCartesian(mesh->Core(), 8, 8, 5, -20, -20, [](double, double) { return 0.0; });
  project.AddComponent(mesh);
  auto* walls = new SW_WallLines("WallLines", &project);
  project.AddComponent(walls);
  walls->Set("AddWallLine", "dam");
  auto* wall = static_cast<SW_WallLine*>(walls->GetComponent("dam"));
  wall->Set("Heights", "5%AK_SEP%");
  wall->Set("Slopes", "45%AK_SEP%");
  wall->Set("AppendPoint", "0 0 0");
  wall->Set("AppendPoint", "10 0 0");
  wall->Set("ProjectOnto", "../../DHM");
  wall->UpdateGeometry();
  ASSERT_EQ(wall->FootPoints().Count(), 2);
  EXPECT_NEAR(wall->FootPoints()[1].y, 5, 1e-9);
  wall->Set("AppendPoint", "10 -10 0");
  wall->Update();  // a drawing pass recomputes the feet
  EXPECT_EQ(wall->FootPoints().Count(), 3);
  AK_Vec3 hit, crest, direction;
  EXPECT_EQ(wall->Intersect({5, 0}, {5, 10}, hit, crest, direction), 1);
  AK_Object::Destroy(mesh);
  wall->Set("AppendPoint", "0 -10 0");
  wall->UpdateGeometry();
  EXPECT_EQ(wall->FootPoints().Count(), 4);
  EXPECT_EQ(wall->FootPoints()[3].y, -10);
}
