// The set-up of a run on the cells of its mesh from real scene objects: resistance areas,
// wall lines (marks and reflection), entrainable snow and release depths.
#include <gtest/gtest.h>

#include <cmath>

#include "FlowTestRun.h"
#include "SW_InitialCondition.h"
#include "SW_ResistanceArea.h"
#include "SW_SimulationRun.h"
#include "SW_WallLine.h"

namespace {

template <class Area>
void Outline(Area& a, double x0, double y0, double x1, double y1)
{
  for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}})
    a.Set("AppendPoint", AK_String::Format("%g %g 0", x, y));
}

int32_t CellAt(const SW_MeshCore& mesh, double x, double y) { return mesh.FindCell(x, y, -1); }

}  // namespace

TEST(FlowSetup, ResistanceAreasTheLaterWins)
{
  Flow f(0, 10, 10, 5);
  SW_ResistanceArea forest("forest", nullptr), posts("posts", nullptr);
  Outline(forest, 0, 0, 30, 30);
  Outline(posts, 20, 20, 50, 50);
  posts.Set("Height", "2.5");
  AK_Array<SW_ResistanceArea*> areas;
  areas.Append(&forest);
  areas.Append(&posts);
  SW_MapResistanceAreas(f.mesh, SW_ResistanceAreaViews(areas).Model(), f.cells);
  ASSERT_EQ(f.cells.resistance.Size(), f.mesh.NumCells());
  EXPECT_EQ(f.cells.resistance[CellAt(f.mesh, 12, 12)], 0);
  EXPECT_EQ(f.cells.resistance[CellAt(f.mesh, 27, 27)], 1);  // in both: the later
  EXPECT_EQ(f.cells.resistance[CellAt(f.mesh, 42, 42)], 1);
  EXPECT_EQ(f.cells.resistance[CellAt(f.mesh, 42, 7)], -1);
  EXPECT_EQ(f.cells.resistances[1].height, 2.5);
  AK_String error;
  EXPECT_EQ(f.cells.Check(f.mesh, error), 1);
}

// A wall across the slope: its crossed cells and their edge neighbours are marked, and a
// block running into it is stopped (restitution 0) or thrown back (1) from its old place.
TEST(FlowSetup, WallLineMarksItsCellsAndReflectsABlock)
{
  for (double e : {0.0, 1.0}) {
    Flow f(0, 10, 8, 5);
    SW_WallLine wall("dam", nullptr);
    wall.Set("AppendPoint", "22 0.5 0");
    wall.Set("AppendPoint", "22 39.5 0");
    wall.Set("Heights", "3");
    AK_Array<SW_WallLine*> lines;
    lines.Append(&wall);
    // The column of cells x 20..25 and the columns on both sides, over all 8 rows.
    const SW_WallViews walls(lines);
    EXPECT_EQ(SW_MarkWallCells(f.mesh, walls.Model(), f.cells), 3 * 8);
    EXPECT_EQ(f.cells.wallMark[CellAt(f.mesh, 17, 12)], 1);
    EXPECT_EQ(f.cells.wallMark[CellAt(f.mesh, 12, 12)], 0);
    f.par.restitution = e;
    f.par.bedFrictionAngle = 0;
    f.p.Add(f.mesh, AK_Vec3(21.5, 12, 0), 100, AK_Vec3(10, 0, 0), 0, 0, -1);
    f.Move(0, 0.1);
    // It reached x = 22.5, 0.5 m beyond the foot: back to 21.5, then (1 + e) x 0.5 m off.
    EXPECT_NEAR(f.p.x[0].x, 21.5 - 0.5 * (1 + e), 1e-9) << e;
    EXPECT_NEAR(f.p.v[0].x, -e * 10 * 10 / (10 + 1e-6), 1e-12) << e;  // after the speed floor
    EXPECT_NEAR(f.p.x[0].y, 12, 1e-9);
  }
}

TEST(FlowSetup, EntrainableSnowFromLayerAreasAndRaster)
{
  // Heights rise along x: cell centres at 2.5, 7.5, ... m.
  Flow f(10, 2, 5, [](double x, double) { return x; });
  SW_EntrainmentSettings s;
  s.weight = 100;
  s.minZ = 7.5;
  s.temperature = -10;
  s.gradient = -0.01;
  SW_InitialConditions group("EntrainmentAreas", nullptr);
  SW_InitialCondition* area = group.NewReleaseArea("snowfield");
  Outline(*area, 30, 0, 40, 10);
  area->Set("Depth", "0.5");
  area->Set("Density", "120");
  area->Set("Enthalpy", "-9000");
  AK_Array<SW_InitialCondition*> areas;
  areas.Append(area);
  // A raster of 0.8 m of snow over 10 <= x <= 20.
  SW_MeshCore raster;
  meshtest::MakeCartesian(raster, 1, 1, 10, 10, 0, [](double, double) { return 0.8; });
  s.rasterDensity = 50;
  SW_InitEntrainment(f.mesh, SW_SnowAreaViews(areas).Model(), &raster, s, f.fields);
  auto at = [&](double x) { return CellAt(f.mesh, x, 2.5); };
  EXPECT_EQ(f.fields.entrainmentMass[at(7.5)], 0);  // exactly at the lowest height: none
  EXPECT_FLOAT_EQ(f.fields.entrainmentMass[at(12.5)], static_cast<float>(0.8 * 50));  // the raster
  // Beyond the raster's snow the layer: T = (z - minZ) * gradient + temperature.
  EXPECT_FLOAT_EQ(f.fields.entrainmentMass[at(22.5)], 100);
  EXPECT_FLOAT_EQ(f.fields.entrainmentEnthalpy[at(22.5)], static_cast<float>((15 * -0.01 - 10) * 2050));
  EXPECT_FLOAT_EQ(f.fields.entrainmentMass[at(32.5)], static_cast<float>(0.5 * 120));  // the area
  EXPECT_FLOAT_EQ(f.fields.entrainmentEnthalpy[at(32.5)], -9000);
  EXPECT_DOUBLE_EQ(SW_SnowEnthalpy(2), 2 * 4187.0 / 333500.0);
}

TEST(FlowSetup, ReleaseDepthsAreasSecondaryMarksAndRaster)
{
  Flow f(0, 8, 2, 5);
  SW_InitialConditions group("ReleaseAreas", nullptr);
  SW_InitialCondition* slab = group.NewReleaseArea("slab");
  SW_InitialCondition* late = group.NewReleaseArea("late");
  SW_InitialCondition* held = group.NewReleaseArea("held");
  Outline(*slab, 0, 0, 20, 10);
  slab->Set("Depth", "1");
  slab->Set("Density", "300");
  Outline(*late, 10, 0, 20, 10);  // overlaps the slab's right half
  late->Set("Depth", "2");
  late->Set("Density", "200");
  late->Set("Enthalpy", "-4100");
  Outline(*held, 20, 0, 30, 10);
  held->Set("Depth", "0.5");
  held->Set("Density", "200");
  AK_Array<SW_InitialCondition*> areas;
  for (SW_InitialCondition* a : {slab, late, held}) areas.Append(a);
  SW_MeshCore raster;  // over 30 <= x <= 40: 1 m at the centres x = 32.5, -1 m at 37.5
  meshtest::MakeCartesian(raster, 4, 4, 2.5, 30, 0, [](double x, double) { return x < 34 ? 1.0 : -1.0; });
  double M = 0;
  SW_ReleaseCells out;
  AK_String error;
  const int32_t n = SW_ComputeReleaseDepths(f.mesh, SW_SnowAreaViews(areas).Model(), 2, &raster, 100, -10, 200, M, out,
                                            f.fields, error);
  auto at = [&](double x) { return CellAt(f.mesh, x, 2.5); };
  EXPECT_FLOAT_EQ(out.depth[at(2.5)], 1.5f);  // 1 m at 300 kg/m³ as depth at 200
  EXPECT_FLOAT_EQ(out.depth[at(12.5)], 2);    // the later area wins
  EXPECT_FLOAT_EQ(out.enthalpy[at(12.5)], -4100);
  EXPECT_FLOAT_EQ(out.enthalpy[at(2.5)], -20500);
  EXPECT_EQ(out.marks[at(22.5)], 1);  // the first secondary area
  EXPECT_EQ(out.marks[at(12.5)], 0);
  EXPECT_EQ(out.secondaryCells, 2 * 2);
  EXPECT_FLOAT_EQ(out.depth[at(32.5)], 0.5f);  // the raster: 1 m at 100 kg/m³
  EXPECT_FLOAT_EQ(out.enthalpy[at(32.5)], -10 * 2050.0f);
  EXPECT_FLOAT_EQ(out.depth[at(37.5)], 0);  // negative raster height: no release
  EXPECT_EQ(n, 7 * 2);
  EXPECT_NEAR(M, 0.5 * 200 * 25 * 2, 1e-9);  // only the raster's cells count here
  for (int32_t c = 0; c < f.mesh.NumCells(); ++c)
    if (out.depth[c] > 0) {
      EXPECT_EQ(f.fields.entrainmentMass[c], 0);
    }

  // More secondary areas than a byte can tell apart are refused.
  AK_Array<SW_InitialCondition*> many;
  for (int k = 0; k < 257; ++k) many.Append(held);
  EXPECT_EQ(SW_ComputeReleaseDepths(f.mesh, SW_SnowAreaViews(many).Model(), 1, nullptr, 100, -10, 200, M, out, f.fields, error), -1);
  EXPECT_FALSE(error.IsEmpty());
}
