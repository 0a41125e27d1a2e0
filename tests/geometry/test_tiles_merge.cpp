// Merging grid tiles into one Cartesian grid mesh.
#include <gtest/gtest.h>

#include <cmath>

#include "SW_MeshFiles.h"
#include "TestSupport.h"

namespace {

// A tile of ncols x nrows points whose value at column c, row r (from the south) is
// base + 10 * c + r; `origin` is "center" or "corner".
std::string Tile(int ncols, int nrows, double x, double y, double cellsize, double base,
                 const char* origin = "center", double nodata = -9999)
{
  std::string s = "ncols " + std::to_string(ncols) + "\nnrows " + std::to_string(nrows) +
                  "\nxll" + origin + " " + AK_FormatRoundTrip(x).c_str() + "\nyll" + origin +
                  " " + AK_FormatRoundTrip(y).c_str() + "\ncellsize " +
                  AK_FormatRoundTrip(cellsize).c_str() + "\nNODATA_value " +
                  AK_FormatRoundTrip(nodata).c_str() + "\n";
  for (int r = nrows - 1; r >= 0; --r) {
    for (int c = 0; c < ncols; ++c) s += std::string(AK_FormatRoundTrip(base + 10 * c + r)) + " ";
    s += "\n";
  }
  return s;
}

std::string List(std::initializer_list<std::string> paths)
{
  std::string s;
  for (const auto& p : paths) s += p + "%AK_SEP%";
  return s;
}

double Z(const SW_MeshCore& m, int i, int j) { return m._x[i * (m._ny + 1) + j].z; }

class TilesMerge : public ::testing::Test {
protected:
  ScratchDir dir;
  MessageCapture messages;
  SW_MeshCore m;
  AK_String error;
};

}  // namespace

TEST_F(TilesMerge, NeighbouringTilesShareAColumnAndTheLaterOneWins)
{
  std::string a = dir.Write("a.asc", Tile(3, 3, 0, 0, 10, 100));
  std::string b = dir.Write("b.asc", Tile(3, 3, 20, 0, 10, 500));
  ASSERT_EQ(SW_ReadGridTiles(m, List({a, b}).c_str(), 1, error), 1) << error.c_str();
  EXPECT_EQ(m._nx, 4);
  EXPECT_EQ(m._ny, 2);
  EXPECT_EQ(m.NumVertices(), 15);
  EXPECT_EQ(m.NumCells(), 8);
  EXPECT_EQ(m._cartesian, 1);
  EXPECT_EQ(m._xll.x, 0);
  EXPECT_EQ(m._upperRight.x, 40);
  EXPECT_TRUE(messages.Contains("total number of columns: 5, rows: 3, cell size:10"));
  EXPECT_TRUE(messages.Contains("reading header of tile '" + a));
  EXPECT_TRUE(messages.Contains("reading data of tile '" + b));
  EXPECT_TRUE(messages.Contains("min. height 100, max. height 522"));
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(Z(m, 0, j), 100 + j);
    EXPECT_EQ(Z(m, 1, j), 110 + j);
    EXPECT_EQ(Z(m, 2, j), 500 + j);  // shared column: the second tile's
    EXPECT_EQ(Z(m, 4, j), 520 + j);
    EXPECT_EQ(m._x[2 * 3 + j].x, 20);
    EXPECT_EQ(m._x[2 * 3 + j].y, 10 * j);
  }
  EXPECT_EQ(m._lcc.Size(), 8);
  EXPECT_EQ(m._vertexNormals.Size(), 15);
}

TEST_F(TilesMerge, GapBetweenTilesIsFilledOrRemoved)
{
  std::string a = dir.Write("a.asc", Tile(3, 3, 0, 0, 10, 100));
  std::string b = dir.Write("b.asc", Tile(3, 3, 40, 0, 10, 300));
  ASSERT_EQ(SW_ReadGridTiles(m, List({a, b}).c_str(), 1, error), 1);
  EXPECT_EQ(m._nx, 6);
  EXPECT_TRUE(messages.Contains("filling no-data-areas (3 grid points) with interpolated/extrapolated values..."));
  // Filled from both sides: the mean of its western and eastern neighbour.
  for (int j = 0; j < 3; ++j) EXPECT_EQ(Z(m, 3, j), ((120 + j) + (300 + j)) / 2.0);
  EXPECT_EQ(m.NumCells(), 12);
  SW_MeshCore removed;
  ASSERT_EQ(SW_ReadGridTiles(removed, List({a, b}).c_str(), 0, error), 1);
  EXPECT_EQ(removed.NumVertices(), 18);
  EXPECT_EQ(removed.NumCells(), 8);
  EXPECT_EQ(removed._cartesian, 0);
}

TEST_F(TilesMerge, CornerTileLiesHalfACellFurtherNorthEast)
{
  std::string a = dir.Write("a.asc", Tile(3, 3, 0, 0, 10, 100, "corner"));
  ASSERT_EQ(SW_ReadGridTiles(m, List({a}).c_str(), 1, error), 1);
  EXPECT_EQ(m._xll.x, 5);
  EXPECT_EQ(m._xll.y, 5);
  EXPECT_EQ(m._x[0].x, 5);
  EXPECT_EQ(m._x[0].y, 5);
  EXPECT_EQ(m._x[0].z, 100);
}

TEST_F(TilesMerge, TileWithAnotherCellSizeLandsOnTheNearestNodes)
{
  std::string a = dir.Write("a.asc", Tile(5, 2, 0, 0, 10, 0));
  // Cell size 20: its points fall on every second node, nodes between them get nothing.
  std::string b = dir.Write("b.asc", Tile(2, 2, 0, 10, 20, 1000));
  ASSERT_EQ(SW_ReadGridTiles(m, List({a, b}).c_str(), 1, error), 1);
  EXPECT_EQ(m._nx, 4);
  EXPECT_EQ(m._ny, 3);  // y from 0 to 30
  EXPECT_EQ(Z(m, 0, 1), 1000);
  EXPECT_EQ(Z(m, 2, 1), 1010);
  EXPECT_EQ(Z(m, 0, 3), 1001);
  EXPECT_EQ(Z(m, 2, 3), 1011);
  EXPECT_EQ(Z(m, 1, 1), 11);  // the first tile's, where the second has no point
  EXPECT_EQ(Z(m, 1, 3), (1001 + 1011) / 2.0);  // no tile: filled from its neighbours
}

TEST_F(TilesMerge, UnusableTilesAreReportedAndSkipped)
{
  std::string good = dir.Write("good.asc", Tile(3, 3, 0, 0, 10, 100));
  std::string bad = dir.Write("bad.asc", "ncols 3 nrows 3 cellsize 10 nodata_value 0 1 2 3 4 5 6 7 8 9");
  std::string junk = dir.Write("junk.asc", "this is no grid");
  std::string missing = dir / "missing.asc";
  ASSERT_EQ(SW_ReadGridTiles(m, List({missing, bad, good, junk}).c_str(), 1, error), 1);
  EXPECT_EQ(m.NumVertices(), 9);
  EXPECT_EQ(messages.WithPrefix("WARNING:skipping tile").size(), 3u);
  EXPECT_TRUE(messages.Contains("WARNING:skipping tile '" + missing + "': cannot open file"));
  EXPECT_TRUE(messages.Contains("WARNING:skipping tile '" + junk + "': unkown input syntax!"));
}

TEST_F(TilesMerge, TilesThatGiveNoGridAreRefused)
{
  std::string a = dir.Write("a.asc", Tile(2, 2, 0, 0, 1, 0));
  std::string far = dir.Write("b.asc", Tile(2, 2, 1e9, 1e9, 1, 0));
  std::string huge = dir.Write("c.asc", Tile(2, 2, -1e300, 0, 1e300, 0));
  // No usable tile, or tiles that span too large a grid: the mesh is left as it was.
  for (const std::string& list : {List({dir / "missing.asc"}), std::string(), List({a, far}), List({a, huge})}) {
    SCOPED_TRACE(list);
    SW_MeshCore kept;
    kept.SetNumVertices(2);
    AK_String refused;
    EXPECT_EQ(SW_ReadGridTiles(kept, list.c_str(), 1, refused), 0);
    EXPECT_FALSE(refused.IsEmpty());
    EXPECT_EQ(kept.NumVertices(), 2);
  }
  // Only NODATA values: no terrain.
  std::string nodata = dir.Write("n.asc", "ncols 2 nrows 2 xllcenter 0 yllcenter 0 cellsize 1 nodata_value 5\n5 5\n5 5\n");
  EXPECT_EQ(SW_ReadGridTiles(m, List({nodata}).c_str(), 1, error), 0);
  EXPECT_TRUE(messages.Contains("min. height 1e+30, max. height -1e+30"));
  EXPECT_FALSE(error.IsEmpty());
  EXPECT_EQ(m.NumVertices(), 0);
}

TEST_F(TilesMerge, TheTileNoDataHeightMarksAMissingValue)
{
  std::string a = dir.Write("a.asc", "ncols 3 nrows 2 xllcenter 0 yllcenter 0 cellsize 1 nodata_value -9999\n"
                                     "1 2 3\n4 -1.8725e-50 6\n");
  ASSERT_EQ(SW_ReadGridTiles(m, List({a}).c_str(), 1, error), 1);
  EXPECT_TRUE(messages.Contains(
      "filling no-data-areas (1 grid points) with interpolated/extrapolated values..."));
  EXPECT_EQ(Z(m, 1, 0), (4 + 6 + 2) / 3.0);
}

TEST_F(TilesMerge, ShortTileGivesWhatItHasWithAWarning)
{
  std::string a = dir.Write("a.asc", "ncols 3 nrows 2 xllcenter 0 yllcenter 0 cellsize 1 nodata_value -9999\n1 2 3\n4 5");
  ASSERT_EQ(SW_ReadGridTiles(m, List({a}).c_str(), 1, error), 1);
  EXPECT_TRUE(messages.Contains("WARNING:tile '" + a + "' holds 5 of its 6 values"));
  EXPECT_EQ(Z(m, 2, 0), (5 + 3) / 2.0);
}
