// Vertex normals, smoothing, curvature and no-data heights of the mesh core.
#include <gtest/gtest.h>

#include <cmath>

#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

TEST(MeshNormals, SingleTriangleOfAreaOne)
{
  SW_MeshCore m;
  m._x.Append(AK_Vec3(0, 0, 0));
  m._x.Append(AK_Vec3(2, 0, 0));
  m._x.Append(AK_Vec3(0, 1, 0));
  AddCell(m, 0, 1, 2);
  m.ComputeConnectivity();
  m.ComputeVertexNormals();
  for (int v = 0; v < 3; ++v) {
    EXPECT_DOUBLE_EQ(m._vertexNormals[v].z, 1.0 / 3);
    EXPECT_EQ(m._vertexNormals[v].x, 0);
  }
  EXPECT_DOUBLE_EQ(m._totalArea.z, 1.0);
}

TEST(MeshNormals, NormalsAddUpToTheTotalAreaVector)
{
  auto bumpy = [](double x, double y) { return std::sin(x * 0.3) * 4 + std::cos(y * 0.2) * 3; };
  SW_MeshCore tri, quad;
  MakeJitteredTriangles(tri, 15, 60.0, 7, bumpy);
  MakeCartesian(quad, 9, 13, 4.0, 1, 2, bumpy);
  for (SW_MeshCore* m : {&tri, &quad}) {
    AK_Vec3 sum;
    for (int32_t v = 0; v < m->NumVertices(); ++v) sum += m->_vertexNormals[v];
    AK_Vec3 total = m->TotalAreaVector();
    EXPECT_NEAR(sum.x, total.x, 1e-9);
    EXPECT_NEAR(sum.y, total.y, 1e-9);
    EXPECT_NEAR(sum.z, total.z, 1e-9);
    EXPECT_NEAR(m->_totalArea.z, total.z, 1e-9);
  }
  // The projected area of the grid is its box.
  EXPECT_NEAR(quad._totalArea.z, 36.0 * 52.0, 1e-9);
}

TEST(MeshNormals, CurvatureOfASampledSphere)
{
  const double r = 50;
  auto sphere = [&](double x, double y) {
    double dx = x - 20, dy = y - 20;
    return std::sqrt(r * r - dx * dx - dy * dy);
  };
  SW_MeshCore grid, honey;
  MakeCartesian(grid, 40, 40, 1.0, 0, 0, sphere);
  MakeHoneycomb(honey, 40, 46, 1.0, 0, 0);
  for (int32_t v = 0; v < honey.NumVertices(); ++v) {
    AK_Vec3& p = honey._x[v];
    p.z = std::hypot(p.x - 20, p.y - 20) < 30 ? sphere(p.x, p.y) : 0;
  }
  honey.ComputeVertexNormals();
  struct Case { const SW_MeshCore* mesh; double cellTolerance, meanTolerance; };
  for (const Case& tc : {Case{&grid, 0.1, 0.05}, Case{&honey, 0.2, 0.1}}) {
    AK_Array<float> kappa;
    tc.mesh->CellCurvatures(kappa);
    ASSERT_EQ(kappa.Size(), tc.mesh->NumCells());
    double sum = 0;
    int n = 0;
    for (int32_t c = 0; c < tc.mesh->NumCells(); ++c) {
      AK_Vec3 centre = tc.mesh->CellCentre(c);
      if (std::hypot(centre.x - 20, centre.y - 20) > 15) continue;  // away from the border
      EXPECT_NEAR(kappa[c], 1 / r, tc.cellTolerance / r);
      sum += kappa[c];
      ++n;
    }
    EXPECT_NEAR(sum / n, 1 / r, tc.meanTolerance / r);
  }

  SW_MeshCore flat;
  AK_Array<float> kappa;
  MakeCartesian(flat, 5, 5, 1.0, 0, 0, [](double x, double y) { return 2 * x - y; });
  flat.CellCurvatures(kappa);
  for (int32_t c = 0; c < flat.NumCells(); ++c) EXPECT_NEAR(kappa[c], 0, 1e-6);
}

TEST(MeshNormals, SmoothingAveragesCellMeans)
{
  SW_MeshCore m;
  MakeCartesian(m, 2, 2, 1.0, 0, 0, [](double, double) { return 0.0; });
  m._x[4].z = 4;  // the centre vertex
  m.AppendVertex(AK_Vec3(7, 7, 7));  // in no cell
  AK_Array<AK_Vec3> values = m._x;
  m.SmoothVertexArray(values, 0);
  EXPECT_EQ(values[4].z, 4);
  m.SmoothVertexArray(values, 1);
  // Every cell touches the centre: each cell mean has z = 1, so every vertex gets 1.
  for (int32_t v = 0; v < 9; ++v) EXPECT_DOUBLE_EQ(values[v].z, 1.0) << v;
  // Corner x is the mean of its single cell: (0 + 1 + 1 + 0) / 4.
  EXPECT_DOUBLE_EQ(values[0].x, 0.5);
  EXPECT_EQ(values[9], AK_Vec3(7, 7, 7));
  EXPECT_FALSE(std::isnan(values[9].x));
}

TEST(MeshNormals, RemovingNoDataCells)
{
  SW_MeshCore m;
  MakeCartesian(m, 3, 3, 1.0, 0, 0, [](double x, double y) { return x + 10 * y; });
  // Break lines: 0-5 (keeps both ends), 5-10 (loses 10), 14-15 (keeps).
  int segs[] = {0, 5, 5, 10, 14, 15};
  for (int s : segs) m._segments.Append(s);
  // Nothing marked: nothing changes.
  EXPECT_EQ(m.RemoveNoDataCells(SW_NoDataHeight), 0);
  EXPECT_EQ(m.NumCells(), 9);
  EXPECT_EQ(m._cartesian, 1);

  m._x[10].z = SW_NoDataHeight;  // vertex (2, 2): four cells use it
  AK_Vec3 kept14 = m._x[14], kept15 = m._x[15];
  EXPECT_EQ(m.RemoveNoDataCells(SW_NoDataHeight), 4);
  EXPECT_EQ(m.NumVertices(), 15);
  EXPECT_EQ(m.NumCells(), 5);
  EXPECT_EQ(m._cartesian, 0);
  ASSERT_EQ(m._segments.Size(), 4);
  EXPECT_EQ(m._segments[0], 0);
  EXPECT_EQ(m._segments[1], 5);
  EXPECT_EQ(m._x[m._segments[2]], kept14);
  EXPECT_EQ(m._x[m._segments[3]], kept15);
  // The neighbour table was rebuilt for the remaining cells.
  ASSERT_EQ(m._lcc.Size(), 5);
  for (int32_t c = 0; c < m.NumCells(); ++c)
    for (int k = 0; k < 4; ++k) {
      int32_t d = m._lcc[c][k];
      if (d < 0) continue;
      bool back = false;
      for (int j = 0; j < 4; ++j) back = back || m._lcc[d][j] == c;
      EXPECT_TRUE(back);
    }
  for (int32_t c = 0; c < m.NumCells(); ++c)
    for (int k = 0; k < 4; ++k) EXPECT_LT(m._lcv[c][k], m.NumVertices());
}

TEST(MeshNormals, FillingNoDataHeightsOnAGrid)
{
  SW_MeshCore m;
  MakeCartesian(m, 2, 2, 1.0, 0, 0, [](double x, double y) { return x + 3 * y; });
  m._x[4].z = SW_NoDataHeight;
  MessageCapture messages;
  m.InterpolateNoDataHeights(5, SW_NoDataHeight);
  // The mean of (1, 0) = 1, (1, 2) = 7, (0, 1) = 3, (2, 1) = 5.
  EXPECT_DOUBLE_EQ(m._x[4].z, 4.0);
  EXPECT_TRUE(messages.Contains("interpolating z-values at 1 NODATA points"));
  EXPECT_TRUE(messages.Contains("1 corrections, max. 4 (50%)"));
  EXPECT_TRUE(messages.Contains("0 corrections, max. 0 (0%)"));
  EXPECT_TRUE(messages.Contains("interpolation done."));

  SW_MeshCore tri;
  MakeJitteredTriangles(tri, 2, 2.0, 1, [](double, double) { return 0.0; });
  MessageCapture refused;
  tri.InterpolateNoDataHeights(5, SW_NoDataHeight);
  EXPECT_TRUE(refused.Contains("cannot interpolate no data values for non-Cartesian grids"));
}
