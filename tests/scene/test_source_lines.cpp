// Source lines: where a line lies on the mesh and how its mass flow is shared.
#include <gtest/gtest.h>

#include <cmath>

#include "SW_SourceLine.h"
#include "TestMeshes.h"
#include "TestSupport.h"

namespace {

// One row of quadrilateral cells between y = -1 and y = 1 whose borders stand at xs.
SW_MeshCore Strip(std::initializer_list<double> xs)
{
  SW_MeshCore m;
  for (double x : xs) {
    m._x.Append(AK_Vec3(x, -1, 3));
    m._x.Append(AK_Vec3(x, 1, 3));
  }
  for (int32_t i = 0; i + 1 < static_cast<int32_t>(xs.size()); ++i)
    meshtest::AddCell(m, 2 * i, 2 * i + 2, 2 * i + 3, 2 * i + 1);
  m.ComputeConnectivity();
  return m;
}

}  // namespace

TEST(SourceLines, FractionsAndMassesAlongTheLine)
{
  struct Row { const char* name; SW_MeshCore mesh; AK_Vec2 a, b; std::vector<float> fractions, masses; };
  Row rows[] = {
      {"three cells", Strip({-1, 2, 7, 12}), {0, 0}, {10, 0}, {0, 0.2f, 0.7f, 1}, {1, 2.5f, 1.5f}},
      {"inside one cell", Strip({-1, 2, 7, 12}), {3, 0}, {6, 0.5}, {0, 1}, {5}},
      {"mesh ends at x = 5", Strip({-1, 2, 5}), {0, 0}, {10, 0}, {0, 0.4f, 1}, {2, 3}},
      {"start outside", Strip({-1, 2, 5}), {-3, 0}, {4, 0}, {0}, {}},
  };
  for (Row& r : rows) {
    SCOPED_TRACE(r.name);
    SW_SourceLineMapping line;
    line.SetUp(r.mesh, r.a, r.b);
    ASSERT_EQ(line.fractions.Count(), static_cast<int32_t>(r.fractions.size()));
    ASSERT_EQ(line.CellCount() + 1, line.fractions.Count());
    for (int32_t i = 0; i < line.fractions.Count(); ++i) EXPECT_NEAR(line.fractions[i], r.fractions[i], 1e-6);
    for (int32_t i = 0; i < line.CellCount(); ++i) EXPECT_NEAR(line.MassInCell(i, 0.1f, 50), r.masses[i], 1e-5);
    EXPECT_EQ(line.MassInCell(line.CellCount(), 0.1f, 50), 0);
  }
  SW_SourceLineMapping line;
  line.SetUp(rows[0].mesh, rows[0].a, rows[0].b);
  EXPECT_NEAR(line.PointInCell(1, 0.5f).x, 4.5, 1e-6);
  EXPECT_EQ(line.start.z, 3);  // the terrain height
  line.SetUp(rows[3].mesh, rows[3].a, rows[3].b);
  EXPECT_EQ(line.start.z, 0);  // outside the mesh
}

// On a mesh of scattered triangles every line that starts on the mesh shares out exactly
// its mass flow, its fractions never fall and end at exactly 1.
TEST(SourceLines, RandomLinesShareOutTheirWholeMassFlow)
{
  SW_MeshCore mesh;
  meshtest::MakeJitteredTriangles(mesh, 40, 100, 7, [](double, double) { return 0.0; });
  meshtest::Rng rng(11);
  for (int k = 0; k < 200; ++k) {
    AK_Vec2 a{rng.Uniform(0, 100), rng.Uniform(0, 100)}, b{rng.Uniform(-20, 120), rng.Uniform(-20, 120)};
    SW_SourceLineMapping line;
    line.SetUp(mesh, a, b);
    if (line.CellCount() == 0) continue;
    double total = 0;
    for (int32_t i = 0; i < line.CellCount(); ++i) {
      EXPECT_LE(line.fractions[i], line.fractions[i + 1]);
      total += line.MassInCell(i, 0.5f, 8);
    }
    EXPECT_EQ(line.fractions.Last(), 1.0f);
    EXPECT_NEAR(total, 4, 1e-4);
  }
}

TEST(SourceLines, ContainerAndPointTexts)
{
  SW_SourceLines lines("SourceLines", nullptr);
  lines.Set("AddSourceLine", "gully");
  AK_Object* line = lines.GetComponent("gully");
  ASSERT_TRUE(line);
  MessageCapture messages;
  line->Set("StartPoint", "3");
  EXPECT_TRUE(messages.Contains("WARNING:wrong input!"));
  EXPECT_EQ(line->Get("StartPoint"), "3 0");
  auto* source = static_cast<SW_SourceLine*>(line);
  source->Set("StartPoint", "0 0");
  source->Set("EndPoint", "10 0");
  source->Set("MassFlow", "50");
  lines.SetUpAllOnMesh(Strip({-1, 2, 7, 12}));
  EXPECT_NEAR(source->MassInCell(1, 0.1f), 2.5, 1e-5);
}

// Each piece's particles stand on that piece, between its entry and exit, also when the line
// leaves the mesh and the fractions measure only the part inside.
TEST(SourceLines, PointsOfEachPieceLieInItsCell)
{
  SW_SourceLineMapping cut;
  cut.SetUp(Strip({-1, 2, 5}), AK_Vec2{0, 0}, AK_Vec2{10, 0});
  ASSERT_EQ(cut.CellCount(), 2);
  EXPECT_NEAR(cut.PointInCell(0, 0).x, 0, 1e-6);
  EXPECT_NEAR(cut.PointInCell(0, 0.5f).x, 1, 1e-6);
  EXPECT_NEAR(cut.PointInCell(1, 0).x, 2, 1e-6);
  EXPECT_NEAR(cut.PointInCell(1, 0.5f).x, 3.5, 1e-6);

  SW_MeshCore mesh;
  meshtest::MakeJitteredTriangles(mesh, 40, 100, 7, [](double, double) { return 0.0; });
  meshtest::Rng rng(12);
  int32_t leaving = 0;
  for (int k = 0; k < 200; ++k) {
    AK_Vec2 a{rng.Uniform(0, 100), rng.Uniform(0, 100)}, b{rng.Uniform(-40, 140), rng.Uniform(-40, 140)};
    SW_SourceLineMapping line;
    line.SetUp(mesh, a, b);
    if (line.CellCount() == 0) continue;
    leaving += mesh.FindCell(b, -1) < 0;
    for (int32_t i = 0; i < line.CellCount(); ++i)
      for (float t : {0.0f, 0.25f, 0.5f, 0.75f, 0.999f}) {
        const AK_Vec2 p = line.PointInCell(i, t);
        // On the cell or within the rounding of single-precision fractions of its border.
        double w[4];
        mesh.CellWeights(line.cells[i], p, w);
        for (int c = 0; c < 3; ++c) EXPECT_GE(w[c], -1e-4) << k << " piece " << i << " at " << t;
      }
  }
  EXPECT_GT(leaving, 20);  // lines that leave the mesh are among them
}
