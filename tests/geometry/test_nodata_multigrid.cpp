// NODATA filling by multigrid interpolation over plain height arrays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "SW_MeshFiles.h"
#include "TestSupport.h"

namespace {

constexpr double H = -9999;

AK_Array<double> Heights(std::initializer_list<double> values)
{
  AK_Array<double> a(static_cast<int32_t>(values.size()));
  for (double v : values) a.Append(v);
  return a;
}

uint64_t Bits(double v)
{
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

}  // namespace

TEST(NoDataMultigrid, RowBetweenTwoHeightsFollowsTheWorkedValues)
{
  MessageCapture messages;
  AK_Array<double> z = Heights({0, H, H, H, H, H, H, H, 80});
  ASSERT_TRUE(SW_MultigridInterpolate(8, 0, z, H));
  const double expected[9] = {0, 0, 10, 25, 42.5, 61.25, 70.625, 80, 80};
  for (int k = 0; k < 9; ++k) EXPECT_DOUBLE_EQ(z[k], expected[k]) << "point " << k;
  // One coarser level, whose own coarse grid is complete.
  EXPECT_EQ(messages.WithPrefix("multigrid interpolation: grid size "),
            (std::vector<std::string>{"multigrid interpolation: grid size 8 x 0...",
                                      "multigrid interpolation: grid size 4 x 0..."}));
}

TEST(NoDataMultigrid, ColumnWithOneDefinedPointRecursesThreeLevels)
{
  MessageCapture messages;
  AK_Array<double> z = Heights({7.25, H, H, H, H, H, H, H, H});
  ASSERT_TRUE(SW_MultigridInterpolate(0, 8, z, H));
  for (int k = 0; k < 9; ++k) EXPECT_EQ(z[k], 7.25) << "point " << k;
  // Messages of the coarser levels come between the coarse count and the smoothing of the
  // level that called them.
  std::vector<std::string> expected = {
      "multigrid interpolation: grid size 0 x 8...",
      "3 undefined points on coarse grid",
      "multigrid interpolation: grid size 0 x 4...",
      "1 undefined points on coarse grid",
      "multigrid interpolation: grid size 0 x 2...",
      "0 undefined points on coarse grid",
      "multigrid smoothing: grid size 0 x 2...",
      "multigrid smoothing: grid size 0 x 4...",
      "multigrid smoothing: grid size 0 x 8...",
  };
  EXPECT_EQ(messages.messages, expected);
}

struct SmallCase { const char* name; int nx, ny; std::vector<double> in; std::vector<double> out; };

TEST(NoDataMultigrid, SmallHolesTakeTheMeanOfTheirNeighbours)
{
  // Index = ix * (ny + 1) + iy.
  const SmallCase cases[] = {
      {"centre of 3x3", 2, 2, {1, 2, 3, 4, H, 6, 7, 8, 9}, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"centre of 3x3, uneven", 2, 2, {0, 1, 0, 2, H, 10, 0, 3, 0}, {0, 1, 0, 2, 4, 10, 0, 3, 0}},
      {"corner of 3x3", 2, 2, {H, 4, 0, 6, 0, 0, 0, 0, 0}, {5, 4, 0, 6, 0, 0, 0, 0, 0}},
      {"far corner of 2x2", 1, 1, {1, 2, 3, H}, {1, 2, 3, 2.5}},
  };
  for (const SmallCase& c : cases) {
    MessageCapture messages;
    AK_Array<double> z(static_cast<int32_t>(c.in.size()));
    for (double v : c.in) z.Append(v);
    ASSERT_TRUE(SW_MultigridInterpolate(c.nx, c.ny, z, H)) << c.name;
    for (size_t k = 0; k < c.out.size(); ++k)
      EXPECT_DOUBLE_EQ(z[static_cast<int32_t>(k)], c.out[k]) << c.name << " point " << k;
    // The first ring closes a single hole: no coarser level is needed.
    EXPECT_EQ(messages.WithPrefix("multigrid interpolation").size(), 1u) << c.name;
    EXPECT_TRUE(messages.Contains("0 undefined points on coarse grid")) << c.name;
  }
}

TEST(NoDataMultigrid, NothingToSpreadEndsWithAnError)
{
  // A single undefined point, a row and a square: nothing to spread, and no endless descent.
  const int sizes[][2] = {{0, 0}, {5, 0}, {3, 4}};
  for (const auto& s : sizes) {
    MessageCapture messages;
    int n = (s[0] + 1) * (s[1] + 1);
    AK_Array<double> z(n);
    for (int k = 0; k < n; ++k) z.Append(H);
    AK_String error;
    EXPECT_FALSE(SW_MultigridInterpolate(s[0], s[1], z, H, &error));
    EXPECT_FALSE(error.IsEmpty());
    for (int k = 0; k < n; ++k) EXPECT_EQ(z[k], H);
  }
  // An array of the wrong size is left alone.
  MessageCapture messages;
  AK_Array<double> z = Heights({1, H, 3});
  AK_String error;
  EXPECT_FALSE(SW_MultigridInterpolate(1, 1, z, H, &error));
  EXPECT_STREQ(error.c_str(), "cannot interpolate no data values for non-Cartesian grids");
  EXPECT_TRUE(messages.Contains(error.c_str()));
  EXPECT_EQ(z[1], H);
}

TEST(NoDataMultigrid, RandomHolesAreFilledWithinTheDefinedRangeAndDataStaysBitForBit)
{
  MessageCapture quiet;
  std::mt19937 rng(11);
  for (int trial = 0; trial < 40; ++trial) {
    int nx = std::uniform_int_distribution<int>(0, 40)(rng);
    int ny = std::uniform_int_distribution<int>(0, 40)(rng);
    int n = (nx + 1) * (ny + 1);
    AK_Array<double> z(n);
    std::uniform_real_distribution<double> height(-50, 3000);
    for (int k = 0; k < n; ++k) z.Append(height(rng));
    // Random single holes and a few rectangular holes, some of them huge.
    double holeShare = std::uniform_real_distribution<double>(0, 0.9)(rng);
    for (int k = 0; k < n; ++k)
      if (std::uniform_real_distribution<double>(0, 1)(rng) < holeShare) z[k] = H;
    for (int r = 0; r < 3; ++r) {
      int x0 = std::uniform_int_distribution<int>(0, nx)(rng);
      int y0 = std::uniform_int_distribution<int>(0, ny)(rng);
      int x1 = std::uniform_int_distribution<int>(x0, nx)(rng);
      int y1 = std::uniform_int_distribution<int>(y0, ny)(rng);
      for (int ix = x0; ix <= x1; ++ix)
        for (int iy = y0; iy <= y1; ++iy) z[ix * (ny + 1) + iy] = H;
    }
    // Keep at least one defined point.
    int keep = std::uniform_int_distribution<int>(0, n - 1)(rng);
    if (z[keep] == H) z[keep] = 1234.5;

    AK_Array<double> before = z;
    double lo = 1e300, hi = -1e300;
    for (int k = 0; k < n; ++k)
      if (before[k] != H) lo = std::min(lo, before[k]), hi = std::max(hi, before[k]);

    ASSERT_TRUE(SW_MultigridInterpolate(nx, ny, z, H));
    for (int k = 0; k < n; ++k) {
      if (before[k] != H) {
        ASSERT_EQ(Bits(z[k]), Bits(before[k])) << "trial " << trial << " point " << k;
      } else {
        ASSERT_TRUE(std::isfinite(z[k])) << "trial " << trial << " point " << k;
        ASSERT_NE(z[k], H);
        // Every step forms convex combinations of defined heights.
        ASSERT_GE(z[k], lo - 1e-9 * (std::fabs(lo) + 1)) << "trial " << trial;
        ASSERT_LE(z[k], hi + 1e-9 * (std::fabs(hi) + 1)) << "trial " << trial;
      }
    }
  }
}
