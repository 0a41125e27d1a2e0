// Polyline and polygon measures against hand values and independent oracles: the winding
// number for containment, the brute-force nearest segment for distances.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "SW_PolylineGeometry.h"
#include "TestMeshes.h"

namespace {

AK_Array<AK_Vec3> Points(std::vector<AK_Vec3> list)
{
  AK_Array<AK_Vec3> a;
  for (const AK_Vec3& p : list) a.Append(p);
  return a;
}

int Contains(const AK_Array<AK_Vec3>& p, double x, double y)
{
  double lo[3], hi[3];
  SW_PointsBox(p, lo, hi);
  return SW_PolygonContains(p, lo, hi, x, y);
}

// Winding number of the closed polygon around (x, y), by the sum of the turned angles.
int Winding(const AK_Array<AK_Vec3>& p, double x, double y)
{
  double sum = 0;
  for (int i = 0, n = p.Count(); i < n; ++i) {
    const AK_Vec3& a = p[i];
    const AK_Vec3& b = p[(i + 1) % n];
    sum += std::atan2((a.x - x) * (b.y - y) - (a.y - y) * (b.x - x),
                      (a.x - x) * (b.x - x) + (a.y - y) * (b.y - y));
  }
  return static_cast<int>(std::lround(sum / (2 * M_PI)));
}

double SegmentDistance(const AK_Vec3& a, const AK_Vec3& b, double x, double y)
{
  const double ex = b.x - a.x, ey = b.y - a.y, l2 = ex * ex + ey * ey;
  double t = l2 > 0 ? ((x - a.x) * ex + (y - a.y) * ey) / l2 : 0;
  t = std::fmax(0, std::fmin(1, t));
  return std::hypot(a.x + t * ex - x, a.y + t * ey - y);
}

const AK_Array<AK_Vec3> kSquareCcw = Points({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
const AK_Array<AK_Vec3> kSquareCw = Points({{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}});

}  // namespace

TEST(PolygonGeometry, ContainsOnTheBoundaryFollowsTheOrientation)
{
  struct Case { double x, y; int ccw, cw; };
  const Case cases[] = {
      {0.5, 0.5, 1, 1}, {1, 0.5, 0, 1}, {0, 0.5, 0, 1},  // vertical edges
      {1.5, 0.5, 0, 0}, {0.5, -1e-9, 0, 0},               // outside the box
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Contains(kSquareCcw, c.x, c.y), c.ccw) << c.x << " " << c.y;
    EXPECT_EQ(Contains(kSquareCw, c.x, c.y), c.cw) << c.x << " " << c.y;
  }

  // Random star-shaped polygons: inside exactly where the winding number is not 0.
  meshtest::Rng rng(5);
  for (int trial = 0; trial < 50; ++trial) {
    AK_Array<AK_Vec3> p;
    const int n = 3 + trial % 9;
    for (int i = 0; i < n; ++i) {
      const double angle = (trial % 2 ? 1 : -1) * 2 * M_PI * (i + rng.Uniform(0, 0.8)) / n;
      const double r = rng.Uniform(0.2, 1);
      p.Append(AK_Vec3(r * std::cos(angle), r * std::sin(angle), 0));
    }
    for (int k = 0; k < 200; ++k) {
      const double x = rng.Uniform(-1.1, 1.1), y = rng.Uniform(-1.1, 1.1);
      ASSERT_EQ(Contains(p, x, y), Winding(p, x, y) != 0 ? 1 : 0) << trial << " " << x << " " << y;
    }
  }
}

TEST(PolygonGeometry, AreaLengthAndCorners)
{
  EXPECT_EQ(SW_ProjectedArea(kSquareCw), 1);
  EXPECT_EQ(SW_ProjectedArea(Points({{0, 0, 5}, {0, 3, 1}, {4, 0, 2}})), 6);
  EXPECT_EQ(SW_ProjectedLength(kSquareCcw), 3);  // the closing edge is not counted
  EXPECT_NEAR(SW_CornerCosine(kSquareCcw, 0), 0, 1e-15);
  EXPECT_NEAR(SW_CornerCosine(Points({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}), 1), 1, 1e-15);
  EXPECT_EQ(SW_CornerCosine(Points({{0, 0, 0}, {1, 0, 0}, {1, 0, 0}}), 1), 1);  // doubled point
}

TEST(PolygonGeometry, SignedDistance)
{
  const AK_Array<AK_Vec3> east = Points({{0, 0, 0}, {10, 0, 0}});
  const AK_Array<AK_Vec3> hook = Points({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}});
  struct Case { const AK_Array<AK_Vec3>* line; double x, y, d; };
  const Case cases[] = {
      {&east, 5, 3, 3},    // left of a west-to-east segment
      {&east, 5, -2, -2},  // right of it
      {&east, 12, 0, 2},   // beyond the end: the last vertex, no turn
      {&hook, 10, 12, -2}, // beyond the end after a left turn (over the last vertex to the first)
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(SW_SignedDistance(*c.line, c.x, c.y), c.d);
  EXPECT_EQ(SW_SignedDistance(AK_Array<AK_Vec3>(), 0, 0), -1e30);

  // The size is the distance to the nearest segment, found by brute force.
  meshtest::Rng rng(9);
  for (int trial = 0; trial < 200; ++trial) {
    AK_Array<AK_Vec3> p;
    for (int i = 0, n = 2 + trial % 7; i < n; ++i) p.Append(AK_Vec3(rng.Uniform(-5, 5), rng.Uniform(-5, 5), 0));
    const double x = rng.Uniform(-8, 8), y = rng.Uniform(-8, 8);
    double nearest = 1e300;
    for (int i = 1; i < p.Count(); ++i) nearest = std::fmin(nearest, SegmentDistance(p[i - 1], p[i], x, y));
    ASSERT_NEAR(std::fabs(SW_SignedDistance(p, x, y)), nearest, 1e-9);
  }
}
