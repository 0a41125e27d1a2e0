// Writing meshes as ESRI ASCII grids and as point lists.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include "TestMeshes.h"
#include "SW_MeshFiles.h"
#include "TestSupport.h"

using meshtest::MakeCartesian;

TEST(GridExport, GridReadFromAFileIsWrittenBackExactly)
{
  MessageCapture messages;
  SW_MeshCore m;
  AK_String error;
  ASSERT_EQ(SW_ReadAsciiGrid(m, TestData("grid/corner_lower.asc").c_str(), 0, 1, error), 1);
  ScratchDir dir;
  std::string out = dir / "out.asc";
  ASSERT_TRUE(SW_ExportMesh(m, out.c_str(), error)) << error.c_str();
  // The northern row and the eastern column carry their heights like every other point.
  EXPECT_EQ(ReadFile(out), ReadFile(TestData("grid/corner_lower_export.asc")));
  EXPECT_TRUE(messages.Contains("writing '" + out + "'..."));
  EXPECT_TRUE(messages.Contains("exported to '" + out + "'"));
}

TEST(GridExport, RoundTripKeepsGeometryAndHeights)
{
  std::mt19937 rng(17);
  ScratchDir dir;
  for (int trial = 0; trial < 8; ++trial) {
    int nx = std::uniform_int_distribution<int>(1, 30)(rng);
    int ny = std::uniform_int_distribution<int>(1, 30)(rng);
    // Origins and cell sizes with at most 10 significant digits, as the header keeps them.
    double x0 = std::uniform_int_distribution<int>(-500000, 3000000)(rng) * 0.5;
    double y0 = std::uniform_int_distribution<int>(-500000, 3000000)(rng) * 0.25;
    double dx = std::uniform_int_distribution<int>(1, 400)(rng) * 0.125;
    std::uniform_real_distribution<double> noise(-100, 100);
    MessageCapture quiet;
    SW_MeshCore m;
    MakeCartesian(m, nx, ny, dx, x0, y0, [&](double, double) { return 1000 + noise(rng); });
    std::string out = dir / "rt.asc";
    AK_String error;
    ASSERT_TRUE(SW_ExportMesh(m, out.c_str(), error));
    SW_MeshCore back;
    ASSERT_EQ(SW_ReadAsciiGrid(back, out.c_str(), 0, 1, error), 1) << error.c_str();
    ASSERT_EQ(back._nx, nx);
    ASSERT_EQ(back._ny, ny);
    ASSERT_EQ(back._dx, dx);
    ASSERT_EQ(back._xll.x, x0);
    ASSERT_EQ(back._xll.y, y0);
    ASSERT_EQ(back.NumVertices(), m.NumVertices());
    for (int32_t v = 0; v < m.NumVertices(); ++v) {
      ASSERT_EQ(back._x[v].x, m._x[v].x);
      ASSERT_EQ(back._x[v].y, m._x[v].y);
      // 8 significant digits.
      ASSERT_NEAR(back._x[v].z, m._x[v].z, 1e-7 * std::fabs(m._x[v].z)) << v;
    }
  }
}

TEST(GridExport, NumberFormatsOfHeaderDataAndPointList)
{
  MessageCapture quiet;
  SW_MeshCore m;
  MakeCartesian(m, 1, 1, 0.5, 123.456789, 2600015.5, [](double, double) { return 123.456789; });
  ScratchDir dir;
  AK_String error;
  std::string asc = dir / "f.asc";
  ASSERT_TRUE(SW_ExportMesh(m, asc.c_str(), error));
  EXPECT_EQ(ReadFile(asc),
            "ncols         2\n"
            "nrows         2\n"
            "xllcenter     123.456789\n"
            "yllcenter     2600015.5\n"
            "cellsize      0.5\n"
            "NODATA_value  -9999\n"
            "123.45679 123.45679 \n"
            "123.45679 123.45679 \n");
  // The point list keeps every coordinate as it is.
  std::string xyz = dir / "f.xyz";
  ASSERT_TRUE(SW_ExportMesh(m, xyz.c_str(), error));
  EXPECT_EQ(ReadFile(xyz),
            "123.456789 2600015.5 123.456789\n"
            "123.456789 2600016 123.456789\n"
            "123.956789 2600015.5 123.456789\n"
            "123.956789 2600016 123.456789\n");
}

TEST(GridExport, PointListRoundTripsEveryDouble)
{
  MessageCapture quiet;
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> u(-1, 1);
  SW_MeshCore m;
  MakeCartesian(m, 3, 2, 0.1, 2600015.123456789, 1200010.987654321,
           [&](double x, double y) { return 1500 + u(rng) * 1e-3 * x / y; });
  ScratchDir dir;
  std::string xyz = dir / "p.xyz";
  AK_String error;
  ASSERT_TRUE(SW_ExportMesh(m, xyz.c_str(), error));
  std::ifstream in(xyz);
  for (int32_t v = 0; v < m.NumVertices(); ++v) {
    std::string sx, sy, sz;
    ASSERT_TRUE(in >> sx >> sy >> sz);
    EXPECT_EQ(std::strtod(sx.c_str(), nullptr), m._x[v].x);
    EXPECT_EQ(std::strtod(sy.c_str(), nullptr), m._x[v].y);
    EXPECT_EQ(std::strtod(sz.c_str(), nullptr), m._x[v].z);
  }
}

TEST(GridExport, PointsWithoutCellAreNoData)
{
  // Two triangles over the square 0..10 with z = x + 2y; the box is covered with whole cells,
  // so the grid reaches one cell beyond it.
  MessageCapture quiet;
  ScratchDir dir;
  std::string tbp = dir.Write("s.tbp", "0 0 0 10 10 30\n4\n0 0 0\n10 0 10\n10 10 30\n0 10 20\n2\n1 2 3 1\n1 3 4 1\n");
  SW_MeshCore m;
  AK_String error;
  ASSERT_EQ(SW_ReadTbp(m, tbp.c_str(), error), 1) << error.c_str();
  m._xll = AK_Vec2{0, 0};
  m._upperRight = AK_Vec2{10, 10};
  m._dx = 5;
  std::string out = dir / "s.asc";
  ASSERT_TRUE(SW_ExportMesh(m, out.c_str(), error));
  EXPECT_EQ(m._nx, 3);
  EXPECT_EQ(m._ny, 3);
  EXPECT_EQ(ReadFile(out),
            "ncols         4\n"
            "nrows         4\n"
            "xllcenter     0\n"
            "yllcenter     0\n"
            "cellsize      5\n"
            "NODATA_value  -9999\n"
            "-9999 -9999 -9999 -9999 \n"
            "20 25 30 -9999 \n"
            "10 15 20 -9999 \n"
            "0 5 10 -9999 \n");
}

TEST(GridExport, UnknownExtensionsAndUnwritablePathsAreErrors)
{
  MessageCapture quiet;
  SW_MeshCore m;
  MakeCartesian(m, 2, 2, 1, 0, 0, [](double x, double) { return x; });
  ScratchDir dir;
  for (const char* name : {"g.Asc", "g", "g.asc.bak", "d.asc/g"}) {
    std::string path = dir / name;
    if (std::string(name) == "d.asc/g") std::filesystem::create_directories(dir / "d.asc");
    MessageCapture messages;
    AK_String error;
    EXPECT_FALSE(SW_ExportMesh(m, path.c_str(), error)) << name;
    EXPECT_FALSE(error.IsEmpty()) << name;
    EXPECT_FALSE(std::filesystem::exists(path)) << name;
    EXPECT_FALSE(messages.HasPrefix("exported to")) << name;
  }
  for (const char* name : {"missing/g.asc", "missing/g.xyz"}) {
    MessageCapture messages;
    std::string path = dir / name;
    AK_String error;
    EXPECT_FALSE(SW_ExportMesh(m, path.c_str(), error));
    EXPECT_EQ(std::string(error.c_str()), "cannot open file '" + path + "'");
    EXPECT_TRUE(messages.messages.empty());
  }
}
