// Reading ESRI ASCII grids into Cartesian grid meshes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <sstream>

#include "SW_MeshFiles.h"
#include "TestSupport.h"

namespace {

// Checks a mesh against the 4 x 3 test grid with values 1 .. 12 (northern row first) and
// the lower-left point centre (1005, 2005), cell size 10.
void ExpectSmallGrid(const SW_MeshCore& m, const char* name)
{
  ASSERT_EQ(m.NumVertices(), 12) << name;
  ASSERT_EQ(m.NumCells(), 6) << name;
  EXPECT_EQ(m._nx, 3) << name;
  EXPECT_EQ(m._ny, 2) << name;
  EXPECT_EQ(m._dx, 10) << name;
  EXPECT_EQ(m._xll.x, 1005) << name;
  EXPECT_EQ(m._xll.y, 2005) << name;
  EXPECT_EQ(m._upperRight.x, 1035) << name;
  EXPECT_EQ(m._upperRight.y, 2025) << name;
  EXPECT_EQ(m._cartesian, 1) << name;
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 3; ++r) {
      const AK_Vec3& p = m._x[c * 3 + r];
      EXPECT_EQ(p.x, 1005 + 10 * c) << name;
      EXPECT_EQ(p.y, 2005 + 10 * r) << name;
      EXPECT_EQ(p.z, (2 - r) * 4 + c + 1) << name << " column " << c << " row " << r;
    }
  // Cells in the Cartesian numbering, counter-clockwise, with neighbours and normals.
  EXPECT_EQ(m._lcv[0], AK_Index4(0, 3, 4, 1)) << name;
  EXPECT_EQ(m._lcv[5], AK_Index4(7, 10, 11, 8)) << name;
  for (int32_t c = 0; c < m.NumCells(); ++c) EXPECT_GT(m.CellAreaVector(c).z, 0) << name;
  EXPECT_EQ(m._lcc.Size(), 6) << name;
  EXPECT_EQ(m._lcc[0][1], 2) << name;  // cell (0, 0) borders cell (1, 0) to the east
  EXPECT_EQ(m._lcc[0][2], 1) << name;  // and cell (0, 1) to the north
  EXPECT_EQ(m._vertexNormals.Size(), 12) << name;
}

}  // namespace

TEST(GridRead, ReadsTheWaysToolsWriteGrids)
{
  const char* files[] = {"corner_lower.asc", "centre_upper_crlf.asc", "gdal_without_nodata.asc"};
  for (const char* f : files) {
    MessageCapture messages;
    SW_MeshCore m;
    AK_String error;
    ASSERT_EQ(SW_ReadAsciiGrid(m, TestData(std::string("grid/") + f).c_str(), 0, 1, error), 1)
        << f << ": " << error.c_str();
    EXPECT_TRUE(error.IsEmpty()) << f;
    ExpectSmallGrid(m, f);
    EXPECT_TRUE(messages.Contains("reading 12 z-values...")) << f;
    EXPECT_TRUE(messages.Contains("correct number of z-values read")) << f;
    EXPECT_TRUE(messages.Contains("0 NODATA values read")) << f;
    EXPECT_TRUE(messages.Contains("6 cells generated")) << f;
  }
}

TEST(GridRead, CornerOriginLiesHalfACellFromTheFirstPoint)
{
  ScratchDir dir;
  struct Case {
    const char* keywords;
    double x, y;
  } cases[] = {{"xllcorner 0\nyllcorner 0", 5, 5}, {"xllcenter 0\nyllcenter 0", 0, 0}};
  for (const Case& c : cases) {
    std::string path = dir.Write("g.asc", std::string("ncols 3\nnrows 2\n") + c.keywords +
                                              "\ncellsize 10\nnodata_value -9999\n1 2 3\n4 5 6\n");
    MessageCapture quiet;
    SW_MeshCore m;
    AK_String error;
    ASSERT_EQ(SW_ReadAsciiGrid(m, path.c_str(), 0, 1, error), 1);
    EXPECT_EQ(m._x[0].x, c.x);
    EXPECT_EQ(m._x[0].y, c.y);
    // The first value is the north-western point: vertex nrows - 1.
    EXPECT_EQ(m._x[1].z, 1);
    EXPECT_EQ(m._x[1].y, c.y + 10);
  }
}

TEST(GridRead, BrokenFilesLeaveAnErrorAndAnEmptyMesh)
{
  struct Case {
    const char* file;
    const char* error;
  } cases[] = {
      {"empty.asc", "unkown input syntax!"},
      {"unknown_keyword.asc", "unkown input syntax!"},
      {"one_value_short.asc", "wrong number of z-values (11 instead of expected 12) in file!"},
      {"one_value_short_blank.asc", "wrong number of z-values (11 instead of expected 12) in file!"},
      {"bad_value.asc", "wrong number of z-values (6 instead of expected 12) in file!"},
      {"no_yllcorner.asc", "invalid grid header: lower-left x or y missing"},
  };
  for (const Case& c : cases) {
    MessageCapture messages;
    SW_MeshCore m;
    AK_String error;
    // A mesh with content beforehand: the reader empties it.
    m.SetNumVertices(3);
    ASSERT_EQ(SW_ReadAsciiGrid(m, TestData(std::string("grid/") + c.file).c_str(), 0, 1, error), 0)
        << c.file;
    EXPECT_STREQ(error.c_str(), c.error) << c.file;
    EXPECT_TRUE(messages.Contains(c.error)) << c.file;
    EXPECT_EQ(m.NumVertices(), 0) << c.file;
    EXPECT_EQ(m.NumCells(), 0) << c.file;
    EXPECT_EQ(m._cartesian, 0) << c.file;
  }
}

TEST(GridRead, FileTooShortForItsValuesReportsTheCount)
{
  // So short that the reader counts the values instead of making room for all of them:
  // the report is the same as for a longer file one value short.
  struct Case {
    const char* data;
    const char* error;
  } cases[] = {
      {"1 2 3\n4 5 6\n7 8\n", "wrong number of z-values (8 instead of expected 9) in file!"},
      {"1 2 3\n4 5 6\n7 8", "wrong number of z-values (8 instead of expected 9) in file!"},
      {"1 2 3\n4 x 6\n7 8 9", "wrong number of z-values (4 instead of expected 9) in file!"},
      {"", "wrong number of z-values (0 instead of expected 9) in file!"},
  };
  ScratchDir dir;
  for (const Case& c : cases) {
    std::string path = dir.Write("short.asc", std::string("ncols 3\nnrows 3\nxllcenter 0\n"
                                                          "yllcenter 0\ncellsize 1\n"
                                                          "NODATA_value -9999\n") + c.data);
    MessageCapture messages;
    SW_MeshCore m;
    AK_String error;
    EXPECT_EQ(SW_ReadAsciiGrid(m, path.c_str(), 0, 1, error), 0) << c.data;
    EXPECT_STREQ(error.c_str(), c.error) << c.data;
    EXPECT_TRUE(messages.Contains(c.error)) << c.data;
    EXPECT_TRUE(messages.Contains("reading 9 z-values...")) << c.data;
    EXPECT_EQ(m.NumVertices(), 0) << c.data;
  }
}

TEST(GridRead, MissingFileLeavesTheMeshAsItWas)
{
  MessageCapture messages;
  SW_MeshCore m;
  m.SetNumVertices(3);
  AK_String error;
  std::string path = TestData("grid/does_not_exist.asc");
  EXPECT_EQ(SW_ReadAsciiGrid(m, path.c_str(), 0, 1, error), 0);
  std::string expected = "cannot open file '" + path + "'!";
  EXPECT_EQ(std::string(error.c_str()), expected);
  EXPECT_TRUE(messages.Contains(expected));
  EXPECT_EQ(m.NumVertices(), 3);
}

TEST(GridRead, HostileHeadersAreRefusedWithoutAllocating)
{
  const char* headers[] = {
      "ncols 1 nrows 5 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0 1 2 3 4 5",
      "ncols 0 nrows 0 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0",
      "ncols -3 nrows -3 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0 1 2 3 4 5 6 7 8 9",
      "ncols 65536 nrows 65536 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0 1 2 3",
      "ncols 3000 nrows 3000 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 0 1 2 3",
      "ncols 2 nrows 2 xllcenter 0 yllcenter 0 cellsize 0 nodata_value 0 1 2 3 4",
      "ncols 2 nrows 2 xllcenter 0 yllcenter 0 cellsize -5 nodata_value 0 1 2 3 4",
      "ncols 2 nrows 2 xllcenter 0 yllcenter 0 cellsize inf nodata_value 0 1 2 3 4",
      "ncols 2 nrows 2 yllcenter 0 cellsize 1 nodata_value 0 1 2 3 4",
      "ncols 2 nrows 2 xllcenter 0 yllcenter 0 cellsize 1 nodata_value nan 1 2 3 4",
  };
  ScratchDir dir;
  for (const char* h : headers) {
    std::string path = dir.Write("h.asc", h);
    MessageCapture messages;
    SW_MeshCore m;
    AK_String error;
    EXPECT_EQ(SW_ReadAsciiGrid(m, path.c_str(), 0, 1, error), 0) << h;
    EXPECT_FALSE(error.IsEmpty()) << h;
    EXPECT_EQ(m.NumVertices(), 0) << h;
  }
}

TEST(GridRead, RandomGridsKeepEveryHeightBitForBit)
{
  std::mt19937 rng(3);
  ScratchDir dir;
  for (int trial = 0; trial < 10; ++trial) {
    int ncols = std::uniform_int_distribution<int>(2, 40)(rng);
    int nrows = std::uniform_int_distribution<int>(2, 40)(rng);
    double x0 = std::uniform_real_distribution<double>(-1e6, 3e6)(rng);
    double y0 = std::uniform_real_distribution<double>(-1e6, 3e6)(rng);
    double cs = std::uniform_real_distribution<double>(0.1, 50)(rng);
    std::vector<double> z(static_cast<size_t>(ncols * nrows));  // file order
    std::string text = "ncols " + std::to_string(ncols) + "\nnrows " + std::to_string(nrows) +
                       "\nxllcenter " + AK_FormatRoundTrip(x0).c_str() + "\nyllcenter " +
                       AK_FormatRoundTrip(y0).c_str() + "\ncellsize " +
                       AK_FormatRoundTrip(cs).c_str() + "\nNODATA_value -9999\n";
    for (size_t k = 0; k < z.size(); ++k) {
      z[k] = std::uniform_real_distribution<double>(-400, 4800)(rng);
      text += AK_FormatRoundTrip(z[k]).c_str();
      text += (k + 1) % ncols ? " " : "\n";
    }
    std::string path = dir.Write("r.asc", text);
    MessageCapture quiet;
    SW_MeshCore m;
    AK_String error;
    ASSERT_EQ(SW_ReadAsciiGrid(m, path.c_str(), 0, 1, error), 1) << error.c_str();
    for (int k = 0; k < ncols * nrows; ++k) {
      int c = k % ncols, r = nrows - 1 - k / ncols;
      const AK_Vec3& p = m._x[c * nrows + r];
      ASSERT_EQ(p.z, z[static_cast<size_t>(k)]);
      ASSERT_EQ(p.x, x0 + c * cs);
      ASSERT_EQ(p.y, y0 + r * cs);
    }
    // Every grid point lies in the cell the grid formula names.
    for (int32_t c = 0; c < m.NumCells(); ++c) {
      AK_Vec3 centre = m.CellCentre(c);
      ASSERT_EQ(m.FindCell(centre, -1), c);
    }
  }
}

TEST(GridRead, HalvingAveragesBlocksAndStopsBeforeASingleRow)
{
  // 5 x 5 points z = 10 * column + row (row from the south), corner origin at 0, size 1.
  std::string text = "ncols 5\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n";
  for (int r = 4; r >= 0; --r) {
    for (int c = 0; c < 5; ++c) text += std::to_string(10 * c + r) + " ";
    text += "\n";
  }
  ScratchDir dir;
  std::string path = dir.Write("h.asc", text);
  for (int halvings : {1, 2, 5}) {
    MessageCapture messages;
    SW_MeshCore m;
    AK_String error;
    ASSERT_EQ(SW_ReadAsciiGrid(m, path.c_str(), halvings, 1, error), 1);
    ASSERT_EQ(m.NumVertices(), 4);
    ASSERT_EQ(m.NumCells(), 1);
    EXPECT_EQ(m._nx, 1);
    EXPECT_EQ(m._dx, 2);
    EXPECT_EQ(m._xll.x, 1);  // corner 0 -> centre 0.5 -> halved 1.0
    EXPECT_EQ(m._upperRight.x, 3);
    EXPECT_EQ(m._x[0].z, 5.5);
    EXPECT_EQ(m._x[1].z, 7.5);
    EXPECT_EQ(m._x[2].z, 25.5);
    EXPECT_EQ(m._x[3].z, 27.5);
    EXPECT_EQ(messages.WithPrefix("reducing resolution").size(),
              static_cast<size_t>(std::min(halvings, 2)));
    EXPECT_EQ(messages.HasPrefix("WARNING:cannot reduce the resolution"), halvings > 1);
  }
}

TEST(GridRead, NoDataPointsAreFilledOrRemoved)
{
  // 4 x 4 points with one NODATA point inside and one in a corner.
  const char* text =
      "ncols 4\nnrows 4\nxllcenter 0\nyllcenter 0\ncellsize 1\nnodata_value -1\n"
      "-1 20 30 40\n"
      "10 -1 30 40\n"
      "10 20 30 40\n"
      "10 20 30 40\n";
  ScratchDir dir;
  std::string path = dir.Write("n.asc", text);
  {
    MessageCapture messages;
    SW_MeshCore m;
    AK_String error;
    ASSERT_EQ(SW_ReadAsciiGrid(m, path.c_str(), 0, 1, error), 1);
    EXPECT_TRUE(messages.Contains("2 NODATA values read"));
    EXPECT_TRUE(messages.Contains(
        "filling no-data-areas (2 grid points) with interpolated/extrapolated values..."));
    EXPECT_EQ(m.NumVertices(), 16);
    EXPECT_EQ(m.NumCells(), 9);
    EXPECT_EQ(m._cartesian, 1);
    EXPECT_EQ(m._x[0 * 4 + 3].z, 15);  // north-west corner: mean of 20 and 10
    EXPECT_EQ(m._x[1 * 4 + 2].z, 20);  // mean of 10, 30, 20, 20
  }
  {
    MessageCapture messages;
    SW_MeshCore m;
    AK_String error;
    ASSERT_EQ(SW_ReadAsciiGrid(m, path.c_str(), 0, 0, error), 1);
    EXPECT_EQ(m.NumVertices(), 14);
    // The corner cell, and the four cells around the inner point (one of them the corner's).
    EXPECT_EQ(m.NumCells(), 9 - 4);
    EXPECT_EQ(m._cartesian, 0);
    for (const AK_Vec3& p : m._x) EXPECT_NE(p.z, -1);
    EXPECT_EQ(m._lcc.Size(), m.NumCells());
  }
}

TEST(GridRead, GridWithoutAnyHeightIsNoTerrain)
{
  const char* text = "ncols 3\nnrows 2\nxllcenter 0\nyllcenter 0\ncellsize 1\nnodata_value 7\n7 7 7\n7 7 7\n";
  ScratchDir dir;
  std::string path = dir.Write("n.asc", text);
  for (int fill : {0, 1}) {
    MessageCapture messages;
    SW_MeshCore m;
    AK_String error;
    EXPECT_EQ(SW_ReadAsciiGrid(m, path.c_str(), 0, fill, error), 0);
    EXPECT_FALSE(error.IsEmpty());
    EXPECT_EQ(m.NumVertices(), 0);
    EXPECT_EQ(m.NumCells(), 0);
  }
}

TEST(GridHeaderFile, ExtentWithoutShiftAndOnlyForValidHeaders)
{
  ScratchDir dir;
  double ll[2] = {-1, -1}, ur[2] = {-1, -1}, cs = -1;
  std::string path = TestData("grid/corner_lower.asc");
  ASSERT_EQ(SW_ReadAsciiGridHeader(path.c_str(), ll, ur, cs), 1);
  EXPECT_EQ(ll[0], 1000);
  EXPECT_EQ(ll[1], 2000);
  EXPECT_EQ(ur[0], 1030);
  EXPECT_EQ(ur[1], 2020);
  EXPECT_EQ(cs, 10);
  double keep[2] = {-1, -1};
  EXPECT_EQ(SW_ReadAsciiGridHeader(TestData("grid/empty.asc").c_str(), keep, keep, cs), 0);
  EXPECT_EQ(SW_ReadAsciiGridHeader(TestData("grid/no_yllcorner.asc").c_str(), keep, keep, cs), 0);
  EXPECT_EQ(SW_ReadAsciiGridHeader(TestData("grid/none.asc").c_str(), keep, keep, cs), 0);
  EXPECT_EQ(keep[0], -1);
  EXPECT_EQ(cs, 10);
}

TEST(GridHeaderFile, StreamReaderStopsAfterTheNoDataValue)
{
  std::istringstream in("NCOLS 3\nnrows 2\nxllcorner 1\nyllcenter 2\ncellsize 4\nNODATA_value -9\n11 12 13\n");
  int32_t ncols = 0, nrows = 0, corner = 5;
  double xll = 0, yll = 0, cs = 0, nodata = 0;
  ASSERT_EQ(SW_ReadAsciiGridHeaderStream(in, ncols, nrows, xll, yll, cs, nodata, corner), 1);
  EXPECT_EQ(ncols, 3);
  EXPECT_EQ(nrows, 2);
  EXPECT_EQ(xll, 1);
  EXPECT_EQ(yll, 2);
  EXPECT_EQ(cs, 4);
  EXPECT_EQ(nodata, -9);
  EXPECT_EQ(corner, 1);
  double first = 0;
  in >> first;
  EXPECT_EQ(first, 11);

  std::istringstream bad("ncols 3 rows 2");
  EXPECT_EQ(SW_ReadAsciiGridHeaderStream(bad, ncols, nrows, xll, yll, cs, nodata, corner), 0);
  EXPECT_EQ(corner, 0);
  std::istringstream failed;
  failed.setstate(std::ios::failbit);
  corner = 1;
  EXPECT_EQ(SW_ReadAsciiGridHeaderStream(failed, ncols, nrows, xll, yll, cs, nodata, corner), 0);
  EXPECT_EQ(corner, 0);
}

// Both readers take a header without "nodata_value" with NODATA -9999, and the stream
// reader leaves the stream at the first value.
TEST(GridRead, HeaderWithoutNoDataValue)
{
  const char* text = "ncols 2\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 5\n1.5 2 3 4\n";
  ScratchDir dir;
  std::string path = dir.Write("no_nodata.asc", text);
  double ll[2], ur[2], cs = 0;
  ASSERT_EQ(SW_ReadAsciiGridHeader(path.c_str(), ll, ur, cs), 1);
  EXPECT_EQ(ur[0], 15);

  std::istringstream in(text);
  int32_t ncols = 0, nrows = 0, corner = 0;
  double xll = 0, yll = 0, nodata = 0;
  ASSERT_EQ(SW_ReadAsciiGridHeaderStream(in, ncols, nrows, xll, yll, cs, nodata, corner), 1);
  EXPECT_EQ(nodata, -9999);
  double first = 0;
  in >> first;
  EXPECT_EQ(first, 1.5);
}
