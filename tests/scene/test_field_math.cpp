// The field and particle numerics on plain meshes, against values computed independently.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "AK_Random.h"
#include "SW_FieldMath.h"
#include "TestMeshes.h"
#include "TestSupport.h"

namespace {

AK_Array<float> VertexValues(const SW_MeshCore& m, double a, double b, double c)
{
  AK_Array<float> v;
  for (const AK_Vec3& p : m._x) v.Append(static_cast<float>(a * p.x + b * p.y + c));
  return v;
}

AK_Array<float> CellValues(const SW_MeshCore& m, double a, double b, double c)
{
  AK_Array<float> v;
  for (int32_t i = 0; i < m.NumCells(); ++i) {
    AK_Vec3 p = m.CellCentre(i);
    v.Append(static_cast<float>(a * p.x + b * p.y + c));
  }
  return v;
}

}  // namespace

// On a flat mesh the fitted gradient of a linear field is the field's slope, exactly, per
// vertex and per cell, also after the smoothing back and forth between vertices and cells.
TEST(FieldMath, GradientOfLinearFieldIsExact)
{
  SW_MeshCore m;
  meshtest::MakeCartesian(m, 5, 4, 2, 10, -4, [](double, double) { return 7.0; });
  for (int onVertices : {1, 0}) {
    AK_Array<float> v = onVertices ? VertexValues(m, 3, -2, 5) : CellValues(m, 3, -2, 5);
    AK_Array<AK_Vec3> g;
    for (int32_t i = 0; i < v.Size(); ++i) g.Append(AK_Vec3());
    SW_FitGradient(m, v, onVertices, g);
    AK_Array<AK_Vec3> other;
    if (onVertices) {
      SW_VertexToCellVectors(m, g, other);
      SW_CellToVertexVectors(m, other, g);
    } else {
      SW_CellToVertexVectors(m, g, other);
      SW_VertexToCellVectors(m, other, g);
    }
    ASSERT_EQ(g.Size(), v.Size());
    for (const AK_Vec3& d : g) EXPECT_EQ(d, AK_Vec3(3, -2, 0)) << onVertices;
  }
}

// A cell standing in the x-z plane has its normal along y: no in-surface frame, so the
// vector stays as it was; so does that of a cell without neighbours.
TEST(FieldMath, GradientLeavesDegenerateItemsUnchanged)
{
  SW_MeshCore m;
  m._x.Append(AK_Vec3(0, 0, 0));
  m._x.Append(AK_Vec3(1, 0, 0));
  m._x.Append(AK_Vec3(0, 0, 1));
  meshtest::AddCell(m, 0, 1, 2);
  m.ComputeConnectivity();
  m.ComputeVertexNormals();
  AK_Array<float> v;
  v.Append(1);
  AK_Array<AK_Vec3> g;
  g.Append(AK_Vec3(7, 8, 9));
  SW_FitGradient(m, v, 0, g);
  EXPECT_EQ(g[0], AK_Vec3(7, 8, 9));
  AK_Array<float> vv = VertexValues(m, 1, 1, 0);
  AK_Array<AK_Vec3> gv;
  for (int i = 0; i < 3; ++i) gv.Append(AK_Vec3(i, i, i));
  SW_FitGradient(m, vv, 1, gv);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(gv[i], AK_Vec3(i, i, i));
}

// Smoothing against a brute-force cell-mean average; a vertex in no cell keeps its value.
TEST(FieldMath, SmoothingAveragesCellMeansAndKeepsLooseVertices)
{
  SW_MeshCore m;
  meshtest::MakeJitteredTriangles(m, 4, 10, 5, [](double, double) { return 0.0; });
  m._x.Append(AK_Vec3(50, 50, 0));  // in no cell
  meshtest::Rng rng(3);
  AK_Array<float> v;
  for (int32_t i = 0; i < m.NumVertices(); ++i) v.Append(static_cast<float>(rng.Uniform(-5, 5)));
  AK_Array<float> expect = v;
  for (int pass = 0; pass < 2; ++pass) {
    AK_Array<float> next = expect;
    for (int32_t i = 0; i + 1 < m.NumVertices(); ++i) {
      double sum = 0;
      int n = 0;
      for (int32_t c = 0; c < m.NumCells(); ++c)
        for (int k = 0; k < 3; ++k)
          if (m._lcv[c][k] == i) {
            sum += (expect[m._lcv[c][0]] + double(expect[m._lcv[c][1]]) + expect[m._lcv[c][2]]) / 3;
            ++n;
          }
      next[i] = static_cast<float>(sum / n);
    }
    expect = next;
  }
  SW_SmoothVertexValues(m, v, 2);
  for (int32_t i = 0; i < v.Size(); ++i) EXPECT_NEAR(v[i], expect[i], 1e-5) << i;
  EXPECT_EQ(v.Last(), expect.Last());
}

// Only cells strictly above the limit count; a per-vertex cell by the mean of its corners.
TEST(FieldMath, AreaAboveLimitIsStrict)
{
  SW_MeshCore m;
  meshtest::MakeCartesian(m, 2, 2, 3, 0, 0, [](double x, double) { return x; });  // tilted
  AK_Array<float> cells;
  for (float v : {1.f, 2.f, 2.f, 3.f}) cells.Append(v);
  EXPECT_DOUBLE_EQ(SW_AreaAboveLimit(m, cells, 0, 2), 9);
  EXPECT_DOUBLE_EQ(SW_AreaAboveLimit(m, cells, 0, 0.5), 36);
  // Vertex values x: the cell means are 1.5 and 4.5 in the two columns.
  AK_Array<float> vertices = VertexValues(m, 1, 0, 0);
  EXPECT_DOUBLE_EQ(SW_AreaAboveLimit(m, vertices, 1, 1.5), 18);
  EXPECT_DOUBLE_EQ(SW_AreaAboveLimit(m, vertices, 1, 1.4), 36);
}

TEST(FieldMath, AutoRasterFrame)
{
  SW_RasterFrame f;
  ASSERT_TRUE(SW_AutoRasterFrame(12, 12, 47, 33, 10, f));
  EXPECT_EQ(f.x0, 20);
  EXPECT_EQ(f.y0, 10);
  EXPECT_EQ(f.columns, 2);
  EXPECT_EQ(f.rows, 2);
  for (double cs : {0.0, -1.0, double(NAN), 1e-300}) EXPECT_FALSE(SW_AutoRasterFrame(0, 0, 1e6, 1e6, cs, f)) << cs;
  EXPECT_EQ(f.columns, 2);
}

// The raster of a linear field: the header as GIS tools read it, the northern row first,
// each value followed by a blank, NODATA outside the mesh and for values that are no number.
TEST(FieldMath, RasterOfLinearField)
{
  SW_MeshCore m;
  meshtest::MakeJitteredTriangles(m, 6, 60, 9, [](double, double) { return 0.0; });
  AK_Array<float> v = VertexValues(m, 0.5, 0.25, 1);
  SW_RasterFrame f{0, 0, 10, 8, 7};
  ScratchDir dir;
  std::FILE* file = std::fopen((dir / "f.asc").c_str(), "w");
  ASSERT_TRUE(SW_WriteRaster(file, f, [&](double x, double y) {
    return x == 30 && y == 30 ? NAN : SW_SampleField(m, v, 1, x, y);
  }));
  std::fclose(file);
  std::istringstream in(ReadFile(dir / "f.asc"));
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "ncols         8");
  for (const char* h : {"nrows         7", "xllcenter     0", "yllcenter     0", "cellsize      10", "NODATA_value  -9999"}) {
    std::getline(in, line);
    EXPECT_EQ(line, h);
  }
  for (int r = 6; r >= 0; --r) {
    std::getline(in, line);
    EXPECT_EQ(line.back(), ' ');
    std::istringstream row(line);
    for (int c = 0; c < 8; ++c) {
      double x = c * 10, y = r * 10, value;
      row >> value;
      if (x > 60 || y > 60 || (x == 30 && y == 30)) EXPECT_EQ(value, -9999) << x << " " << y;
      else EXPECT_NEAR(value, 0.5 * x + 0.25 * y + 1, 1e-4) << x << " " << y;
    }
  }
  // GIS tools take the grid's corner half a cell beyond the lower-left centre.
  int status = -1;
  std::string info = RunProcess("gdalinfo " + ShellQuote(dir / "f.asc"), &status);
  if (status != 0) GTEST_SKIP() << "gdalinfo is not available";
  EXPECT_NE(info.find("Size is 8, 7"), std::string::npos) << info;
  EXPECT_NE(info.find("Origin = (-5.000000000000000,65.000000000000000)"), std::string::npos) << info;
  EXPECT_NE(info.find("NoData Value=-9999"), std::string::npos) << info;
}

// A cell whose expected count is 2.3 gets 2 or 3 particles, 3 with a probability of 0.3.
// One draw per cell whatever its depth: a bad depth gives its cell nothing and leaves the
// counts of the other cells as with a depth of 0 there; an absurd total is refused.
TEST(FieldMath, ParticleCounts)
{
  SW_MeshCore m;
  meshtest::MakeCartesian(m, 40, 40, 2, 0, 0, [](double, double) { return 0.0; });
  std::vector<float> depth(1600, 0.575f);
  AK_Array<int32_t> reference, counts;
  AK_SeedRandom(942);
  int64_t total = SW_CountParticles(m, depth.data(), 1, 1, reference);
  int threes = 0;
  for (int32_t k : reference) {
    EXPECT_TRUE(k == 2 || k == 3);
    threes += k == 3;
  }
  EXPECT_EQ(total, 3200 + threes);
  EXPECT_NEAR(threes / 1600.0, 0.3, 0.04);
  depth[2] = 0;
  AK_SeedRandom(942);
  int64_t withZero = SW_CountParticles(m, depth.data(), 1, 1, reference);
  for (float bad : {-1.f, NAN, 1e30f, INFINITY}) {
    depth[2] = bad;
    AK_SeedRandom(942);
    EXPECT_EQ(SW_CountParticles(m, depth.data(), 1, 1, counts), withZero) << bad;
    for (int c = 0; c < 1600; ++c) EXPECT_EQ(counts[c], reference[c]) << bad;
  }
  for (float& d : depth) d = 1e8f;
  EXPECT_EQ(SW_CountParticles(m, depth.data(), 1, 1, counts), -1);
}
