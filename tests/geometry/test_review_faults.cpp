// Faults found on review: the search-step figure of a triangulation with a start grid, and
// the two stand-alone grid header readers on a header without "nodata_value".
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

#include "SW_MeshFiles.h"
#include "SW_MeshTriangulation.h"
#include "TestSupport.h"

// The search steps are those of the locator grid's walks, whatever walks the start grid
// takes instead: the same insertions without a start grid take exactly those walks.
TEST(ReviewFaults, SearchStepsCountTheLocatorGridWalks)
{
  std::mt19937 random(5);
  std::uniform_real_distribution<double> coordinate(0, 1000);
  std::vector<AK_Vec2> points(5000);
  for (AK_Vec2& p : points) p = AK_Vec2{coordinate(random), coordinate(random)};
  std::vector<const AK_Vec2*> order;
  for (const AK_Vec2& p : points) order.push_back(&p);
  AK_Vec2 lo{0, 0}, hi{1000, 1000};

  AK_Triangulation2 withGrid(lo, hi), plain(lo, hi);
  SW_InsertInOrder(withGrid, order, [](int32_t, int, const AK_Vec2*) {});
  for (const AK_Vec2* p : order) ASSERT_EQ(plain.Insert(p), 1);
  ASSERT_EQ(withGrid.PointsInserted(), 5000);
  EXPECT_EQ(withGrid.SearchSteps(), plain.SearchSteps());
  EXPECT_EQ(plain.StartGridSteps(), 0);
  EXPECT_GT(withGrid.StartGridSteps(), 0);
  EXPECT_LT(withGrid.StartGridSteps(), withGrid.SearchSteps());
}

// Both readers take a header without "nodata_value" with NODATA -9999, and the stream
// reader leaves the stream at the first value.
TEST(ReviewFaults, GridHeaderWithoutNoDataValue)
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
