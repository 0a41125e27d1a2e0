// Geometry predicates and small numerics.
#include <gtest/gtest.h>

#include <cmath>

#include "AK_Predicates.h"
#include "TestMeshes.h"
#include "TestSupport.h"

using namespace meshtest;

namespace {

using I128 = __int128;

// Exact 4x4 determinant | p_i 1 | by cofactor expansion (independent of the predicates'
// own formulation): the orientation of four integer points.
I128 Det3(I128 a, I128 b, I128 c, I128 d, I128 e, I128 f, I128 g, I128 h, I128 i)
{
  return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
}

int SignOrient(const int64_t p[4][3])
{
  // Subtract row 3 from the others: det of the 3x3 of differences.
  I128 m[3][3];
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m[r][c] = p[r][c] - p[3][c];
  I128 d = Det3(m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], m[2][0], m[2][1], m[2][2]);
  return d > 0 ? 1 : (d < 0 ? -1 : 0);
}

AK_Vec3 V(int64_t x, int64_t y, int64_t z)
{
  return AK_Vec3(static_cast<double>(x), static_cast<double>(y), static_cast<double>(z));
}

}  // namespace

TEST(Predicates, InCircleCases)
{
  AK_Vec2 a{0, 0}, b{1, 0}, c{0, 1};
  EXPECT_EQ(AK_InCircle({0.9, 0.9}, a, b, c), 1);
  EXPECT_EQ(AK_InCircle({2, 2}, a, b, c), 0);
  EXPECT_EQ(AK_InCircle({1, 1}, a, b, c), 0);
  EXPECT_EQ(AK_InCircle({-0.1, 0.5}, a, b, c), 0);
  // A clockwise (or flat) triangle answers 1 for any point inside the angle at a.
  EXPECT_EQ(AK_InCircle({0.5, 0.5}, a, {1, 0}, {2, 0}), 0);
  EXPECT_EQ(AK_InCircle({5, 5}, a, {1, 0}, {1, 0}), 0);
}

TEST(Predicates, TwoDimensionalHelpers)
{
  EXPECT_EQ(AK_SegmentsIntersect2d({0, 0}, {2, 0}, {1, 0}, {1, 1}), 1);
  EXPECT_EQ(AK_SegmentsIntersect2d({0, 0}, {2, 0}, {0, 1}, {2, 1}), 0);
  EXPECT_EQ(AK_SegmentsIntersect2d({0, 0}, {2, 0}, {1, 0}, {3, 0}), 0);
  EXPECT_EQ(AK_SegmentsIntersect2d({0, 0}, {2, 2}, {0, 2}, {2, 0}), 1);
  EXPECT_EQ(AK_SegmentsIntersect2d({0, 0}, {1, 1}, {3, 0}, {2, 1.5}), 0);
  AK_Vec2 cc = AK_Circumcenter2d({0, 0}, {4, 0}, {0, 2});
  EXPECT_DOUBLE_EQ(cc.x, 2);
  EXPECT_DOUBLE_EQ(cc.y, 1);
  EXPECT_DOUBLE_EQ(AK_SegmentLineParameter2d({0, 0}, {4, 0}, {1, -1}, {1, 1}), 0.25);
  AK_Vec2 x = AK_LineIntersection2d({0, 0}, {4, 4}, {0, 2}, {2, 2});
  EXPECT_DOUBLE_EQ(x.x, 2);
  EXPECT_DOUBLE_EQ(x.y, 2);
  EXPECT_DOUBLE_EQ(AK_ProjectionRatio2d({0, 0}, {2, 0}, {1, 5}, {1, 0}), 0.5);
}

TEST(Predicates, Orient2dIsExactAndAntisymmetric)
{
  Rng rng(5);
  for (int i = 0; i < 20000; ++i) {
    // Points on a line through two random points, plus tiny offsets: near-degenerate.
    double ax = rng.Uniform(-1e3, 1e3), ay = rng.Uniform(-1e3, 1e3);
    double bx = rng.Uniform(-1e3, 1e3), by = rng.Uniform(-1e3, 1e3);
    double t = rng.Uniform(-2, 3);
    double px = ax + t * (bx - ax), py = ay + t * (by - ay);
    int s = AK_Orient2dSign(ax, ay, bx, by, px, py);
    EXPECT_EQ(AK_Orient2dSign(bx, by, ax, ay, px, py), -s);
  }
  // Integer points: compare with exact integer arithmetic.
  for (int i = 0; i < 20000; ++i) {
    int64_t ax = int64_t(rng.Next() % 2000001) - 1000000, ay = int64_t(rng.Next() % 2000001) - 1000000;
    int64_t dx = int64_t(rng.Next() % 201) - 100, dy = int64_t(rng.Next() % 201) - 100;
    int64_t k = int64_t(rng.Next() % 1000), e = int64_t(rng.Next() % 3) - 1;
    int64_t bx = ax + dx * 1000, by = ay + dy * 1000;
    int64_t px = ax + dx * k + e, py = ay + dy * k;
    I128 exact = I128(py - ay) * (bx - ax) - I128(by - ay) * (px - ax);
    int expected = exact > 0 ? 1 : (exact < 0 ? -1 : 0);
    // Scale to non-integers by a power of two: the sign is unchanged and still exact.
    double s = 1.0 / 1024;
    EXPECT_EQ(AK_Orient2dSign(ax * s, ay * s, bx * s, by * s, px * s, py * s), expected);
  }
}

TEST(Predicates, GridOrientQueryFirst)
{
  // Plane z = 0 of a, b, c with normal (b - a) x (c - a) = +z.
  AK_Vec3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
  EXPECT_EQ(AK_GridOrient3d(AK_Vec3(0.2, 0.2, 1), a, b, c, 1000), 1);
  EXPECT_EQ(AK_GridOrient3d(AK_Vec3(0.2, 0.2, -1), a, b, c, 1000), 0);
  EXPECT_EQ(AK_GridOrient3d(AK_Vec3(0.2, 0.2, 0), a, b, c, 1000), 0);
  // The floating test on the same points agrees in its own argument order.
  EXPECT_EQ(AK_Orient3d(AK_Vec3(0.2, 0.2, 1), a, b, c), 1);
  EXPECT_EQ(AK_Orient3d(a, b, c, AK_Vec3(0.2, 0.2, -1)), 1);

  // Near-coplanar points with coordinates near 2^30: compare with exact integers.
  Rng rng(17);
  for (int i = 0; i < 5000; ++i) {
    int64_t p[4][3];
    const int64_t big = int64_t(1) << 30;
    for (int r = 0; r < 3; ++r)
      for (int k = 0; k < 3; ++k) p[r][k] = int64_t(rng.Next() % (2 * big)) - big;
    // q = a + s (b - a) + t (c - a) + small offset, rounded to integers.
    double s = rng.Uniform(-1, 1), t = rng.Uniform(-1, 1);
    for (int k = 0; k < 3; ++k)
      p[3][k] = p[0][k] + int64_t(std::llround(s * double(p[1][k] - p[0][k]) +
                                               t * double(p[2][k] - p[0][k]))) +
                int64_t(rng.Next() % 3) - 1;
    for (int k = 0; k < 3; ++k)
      if (p[3][k] >= big) p[3][k] = big - 1;
    for (int k = 0; k < 3; ++k)
      if (p[3][k] < -big) p[3][k] = -big;
    // ((a - q) x (b - q)).(c - q) = det of rows (a - q, b - q, c - q): integers are their
    // own grid points, of either sign.
    int expected = SignOrient(p) < 0 ? 1 : 0;
    EXPECT_EQ(AK_GridOrient3d(V(p[3][0], p[3][1], p[3][2]), V(p[0][0], p[0][1], p[0][2]),
                              V(p[1][0], p[1][1], p[1][2]), V(p[2][0], p[2][1], p[2][2]), 1.0),
              expected);
  }
}

// Rounding onto the grid goes to the nearest grid point for every sign; the orientation of
// points mirrored through zero is the mirror image of theirs.
TEST(Predicates, GridRoundingIsNearestOnBothSidesOfZero)
{
  struct Case { double x, scale; int64_t expected; };
  const Case cases[] = {{0.4, 1, 0},      {-0.4, 1, 0},     {0.6, 1, 1},   {-0.6, 1, -1},
                        {-1.2, 1, -1},    {-1.7, 1, -2},    {-3, 1, -3},   {-2.5, 1, -2},
                        {2.5, 1, 3},      {-1e-5, 1e5, -1}, {1e-5, 1e5, 1}, {-1e20, 1, INT32_MIN},
                        {1e20, 1, INT32_MAX}, {std::nan(""), 1, 0}};
  for (const Case& c : cases) EXPECT_EQ(AK_GridRound(c.x, c.scale), c.expected) << c.x;
  Rng rng(23);
  for (int i = 0; i < 20000; ++i) {
    const double x = rng.Uniform(-1e-3, 1e-3), scale = 1e5;
    EXPECT_LE(std::fabs(double(AK_GridRound(x, scale)) - scale * x), 0.5) << x;
  }
  // q mirrored through the origin with a, b, c: the plane's side flips with the normal.
  for (int i = 0; i < 2000; ++i) {
    AK_Vec3 p[4];
    for (AK_Vec3& v : p) v = AK_Vec3(rng.Uniform(-2e-4, 2e-4), rng.Uniform(-2e-4, 2e-4), rng.Uniform(-2e-4, 2e-4));
    auto neg = [](const AK_Vec3& v) { return AK_Vec3(-v.x, -v.y, -v.z); };
    const int above = AK_GridOrient3d(p[3], p[0], p[1], p[2], 1e5);
    const int below = AK_GridOrient3d(p[3], p[0], p[2], p[1], 1e5);
    const int mirrored = AK_GridOrient3d(neg(p[3]), neg(p[0]), neg(p[2]), neg(p[1]), 1e5);
    // Mirroring all points reverses orientation, and so does swapping b and c.
    EXPECT_EQ(mirrored, above) << i;
    EXPECT_FALSE(above && below);
  }
}

TEST(Predicates, GridInSphereOnUnitTetrahedron)
{
  // Positively oriented: ((b - a) x (c - a)).(d - a) = 1.
  AK_Vec3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0), d(0, 0, 1);
  struct Case { AK_Vec3 q; int inside; };
  const Case cases[] = {
      {{0.25, 0.25, 0.25}, 1}, {{0.5, 0.5, 0.5}, 1}, {{0.9, 0.9, 0.2}, 1},
      {{2, 2, 2}, 0},          {{1, 1, 0}, 0},       {{1, 1, 1}, 0},
      {{-0.1, 0.5, 0.5}, 1},   {{-0.5, 0.5, 0.5}, 0}, {{0, 0, 0}, 0},
  };
  for (const Case& tc : cases) {
    EXPECT_EQ(AK_GridInSphere(tc.q, a, b, c, d, 1000), tc.inside)
        << tc.q.x << " " << tc.q.y << " " << tc.q.z;
    // Swapping two corners makes the tetrahedron negative: the answer flips off the sphere.
    bool onSphere = tc.q.x == 1 || tc.q.x == 0;
    if (!onSphere) {
      EXPECT_EQ(AK_GridInSphere(tc.q, b, a, c, d, 1000), 1 - tc.inside);
    }
  }
}

TEST(Predicates, GridInSphereExactOnLargeCosphericalPoints)
{
  // Points on a sphere of radius 7k around a large centre (2, 3, 6 is a Pythagorean
  // quadruple): coordinates near 2^28, where a floating determinant cannot tell.
  const int64_t k = int64_t(1) << 24;
  const int64_t cx = 300000000, cy = 310000000, cz = 290000000;
  auto on = [&](int64_t x, int64_t y, int64_t z) { return V(cx + k * x, cy + k * y, cz + k * z); };
  AK_Vec3 a = on(2, 3, 6), b = on(6, -2, 3), c = on(-3, 6, 2), d = on(2, -6, -3);
  if ((b - a).Cross(c - a).Dot(d - a) < 0) std::swap(b, c);
  ASSERT_GT((b - a).Cross(c - a).Dot(d - a), 0);
  int64_t refinedBefore = AK_InSphereRefineCounter;
  AK_Vec3 q = on(3, -6, 2);
  EXPECT_EQ(AK_GridInSphere(q, a, b, c, d, 1.0), 0);                      // on the sphere
  EXPECT_EQ(AK_GridInSphere(q - AK_Vec3(0, 0, 1), a, b, c, d, 1.0), 1);   // one unit inside
  EXPECT_EQ(AK_GridInSphere(q + AK_Vec3(0, 0, 1), a, b, c, d, 1.0), 0);   // one unit outside
  EXPECT_EQ(AK_GridInSphere(q + AK_Vec3(0, 1, 0), a, b, c, d, 1.0), 1);   // y toward centre
  EXPECT_EQ(AK_GridInSphere(q - AK_Vec3(0, 1, 0), a, b, c, d, 1.0), 0);
  EXPECT_GT(AK_InSphereRefineCounter, refinedBefore);
}

TEST(Predicates, InSphereRefineIsExact)
{
  const double big = 1152921504606846976.0;  // 2^60
  const double u1[4] = {big, 1, -big, 0}, v1[4] = {1, 1, 1, 0};
  EXPECT_EQ(AK_InSphereRefine(u1, v1), 1);  // exactly 1
  const double u2[4] = {big, -1, -big, 0};
  EXPECT_EQ(AK_InSphereRefine(u2, v1), 0);  // exactly -1
  const double u3[4] = {big, 0, -big, 0};
  EXPECT_EQ(AK_InSphereRefine(u3, v1), 0);  // exactly 0
  Rng rng(8);
  for (int i = 0; i < 20000; ++i) {
    int64_t u[4], v[4];
    double ud[4], vd[4];
    for (int j = 0; j < 4; ++j) {
      u[j] = int64_t(rng.Next() % (1u << 31)) - (1 << 30);
      v[j] = int64_t(rng.Next() % (1u << 31)) - (1 << 30);
    }
    // Make the sum nearly cancel: u3 v3 chosen against the rest.
    I128 rest = I128(u[0]) * v[0] + I128(u[1]) * v[1] + I128(u[2]) * v[2];
    v[3] = 1;
    u[3] = -int64_t(rest / 1) + int64_t(rng.Next() % 3) - 1;
    I128 exact = rest + I128(u[3]) * v[3];
    for (int j = 0; j < 4; ++j) {
      ud[j] = double(u[j]);
      vd[j] = double(v[j]);
    }
    if (I128(ud[3]) != u[3]) continue;  // not representable: skip
    EXPECT_EQ(AK_InSphereRefine(ud, vd), exact > 0 ? 1 : 0);
  }
}

TEST(Predicates, CrossingTests)
{
  AK_Vec3 a(0, 0, 0), b(1, 0, 0), c(0, 1, 0);
  EXPECT_EQ(AK_SegmentCrossesTriangle3d(AK_Vec3(0.2, 0.2, -1), AK_Vec3(0.2, 0.2, 1), a, b, c), 1);
  EXPECT_EQ(AK_SegmentCrossesTriangle3d(AK_Vec3(0.2, 0.2, 1), AK_Vec3(0.2, 0.2, -1), a, b, c), 1);
  EXPECT_EQ(AK_SegmentCrossesTriangle3d(AK_Vec3(2, 2, -1), AK_Vec3(2, 2, 1), a, b, c), 0);
  EXPECT_EQ(AK_SegmentCrossesTriangle3d(AK_Vec3(0.2, 0.2, 0.5), AK_Vec3(0.2, 0.2, 1), a, b, c), 0);
  AK_Vec3 corners[8];
  AK_BoxCorners(corners, AK_Vec3(0, 0, 0), AK_Vec3(1, 2, 3));
  EXPECT_EQ(corners[0], AK_Vec3(0, 0, 0));
  EXPECT_EQ(corners[5], AK_Vec3(1, 0, 3));
  EXPECT_EQ(corners[7], AK_Vec3(1, 2, 3));
  EXPECT_EQ(AK_PointInBoxCorners(corners, AK_Vec3(1, 2, 3)), 1);
  EXPECT_EQ(AK_PointInBoxCorners(corners, AK_Vec3(1, 2, 3.1)), 0);
  EXPECT_EQ(AK_SegmentCrossesBox(corners, AK_Vec3(0.5, 1, 1), AK_Vec3(5, 1, 1)), 1);
  EXPECT_EQ(AK_SegmentCrossesBox(corners, AK_Vec3(0.5, 1, 1), AK_Vec3(0.6, 1, 1)), 0);
  EXPECT_EQ(AK_BoxEdgeCrossesTriangle(corners, AK_Vec3(-1, -1, 1.5), AK_Vec3(5, -1, 1.5),
                                      AK_Vec3(-1, 5, 1.5)),
            1);
  EXPECT_EQ(AK_BoxEdgeCrossesTriangle(corners, AK_Vec3(-1, -1, 9), AK_Vec3(5, -1, 9),
                                      AK_Vec3(-1, 5, 9)),
            0);
}

TEST(Predicates, SmallThreeDimensionalHelpers)
{
  EXPECT_EQ(AK_SegmentPlaneParameterClamped(AK_Vec3(0, 0, 1), AK_Vec3(1, 0, 1), AK_Vec3(0, 0, 0),
                                            AK_Vec3(0, 0, 1)),
            0.5);
  EXPECT_DOUBLE_EQ(AK_LinePlaneParameter(AK_Vec3(0, 0, 0), AK_Vec3(0, 0, 4), AK_Vec3(0, 0, 1),
                                         AK_Vec3(0, 0, 1)),
                   0.25);
  AK_Vec3 col = AK_TriangleCircumcenter3d(AK_Vec3(0, 0, 0), AK_Vec3(1, 1, 1), AK_Vec3(3, 3, 3));
  EXPECT_NEAR(col.x, 4.0 / 3, 1e-15);
  AK_Vec3 tc = AK_TriangleCircumcenter3d(AK_Vec3(0, 0, 5), AK_Vec3(4, 0, 5), AK_Vec3(0, 2, 5));
  EXPECT_NEAR(tc.x, 2, 1e-12);
  EXPECT_NEAR(tc.y, 1, 1e-12);
  EXPECT_NEAR(tc.z, 5, 1e-12);
  AK_Vec3 pts[4] = {{1, 2, 3}, {4, -1, 2}, {0, 0, 7}, {2, 5, 1}};
  AK_Vec3 s = AK_TetCircumcenter(pts[0], pts[1], pts[2], pts[3]);
  double r0 = (pts[0] - s).Length();
  for (const auto& p : pts) EXPECT_NEAR((p - s).Length(), r0, 1e-9);
  AK_Vec3 flat = AK_TetCircumcenter(AK_Vec3(0, 0, 0), AK_Vec3(1, 0, 0), AK_Vec3(0, 1, 0),
                                    AK_Vec3(1, 1, 0));
  EXPECT_DOUBLE_EQ(flat.x, 0.5);
  AK_Vec3 abc = AK_SolveInBasis3(AK_Vec3(3, 5, 7), AK_Vec3(1, 1, 1), AK_Vec3(1, 0, 0),
                                 AK_Vec3(1, 1, 0), AK_Vec3(0, 1, 2));
  EXPECT_NEAR(abc.x, 2 - (4 - 3), 1e-12);
  EXPECT_NEAR(abc.y, 4 - 3, 1e-12);
  EXPECT_NEAR(abc.z, 3, 1e-12);
  AK_Array<AK_Vec3> empty;
  AK_Vec3 lo(1, 1, 1), hi(1, 1, 1);
  EXPECT_EQ(AK_PointArrayBox(empty, lo, hi), 0);
  EXPECT_EQ(lo, AK_Vec3(0, 0, 0));
}

TEST(Predicates, InverseAndEigenvectors)
{
  const double m[9] = {2, 1, 0, 1, 3, 1, 0, 1, 4};
  double inv[9];
  ASSERT_EQ(AK_Invert3x3(m, inv), 1);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      double s = 0;
      for (int k = 0; k < 3; ++k) s += m[r * 3 + k] * inv[k * 3 + c];
      EXPECT_NEAR(s, r == c ? 1 : 0, 1e-14);
    }
  const double singular[9] = {1, 2, 3, 2, 4, 6, 0, 0, 1};
  EXPECT_EQ(AK_Invert3x3(singular, inv), 0);

  double v[9];
  const double diag[9] = {3, 0, 0, 0, 1, 0, 0, 0, 2};
  AK_JacobiEigen3x3(diag, v);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(v[i], i % 4 == 0 ? 1 : 0);
  AK_JacobiEigen3x3(m, v);
  // V' M V is diagonal.
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      if (r == c) continue;
      double s = 0;
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) s += v[i * 3 + r] * m[i * 3 + j] * v[j * 3 + c];
      EXPECT_NEAR(s, 0, 1e-9);
    }
  const double zero[9] = {};
  AK_JacobiEigen3x3(zero, v);
  EXPECT_EQ(v[0], 1);
}

TEST(Predicates, QuadricOfAnEllipsoid)
{
  // Points on the ellipsoid (x-1)^2/4 + (y+2)^2 + (z-3)^2/9 = 1.
  AK_Array<AK_Vec3> pts;
  for (int i = 0; i < 12; ++i)
    for (int j = 1; j < 12; ++j) {
      double th = i * 2 * M_PI / 12, ph = j * M_PI / 12;
      pts.Append(AK_Vec3(1 + 2 * std::sin(ph) * std::cos(th), -2 + std::sin(ph) * std::sin(th),
                         3 + 3 * std::cos(ph)));
    }
  double q[13];
  AK_FitQuadric(pts, q);
  for (int32_t i = 0; i < pts.Size(); ++i) EXPECT_NEAR(AK_QuadricValue(q, pts[i]), 0, 1e-9);
  AK_Vec3 onIt = AK_ClosestPointOnQuadric(q, AK_Vec3(4, -2, 3));
  EXPECT_NEAR(AK_QuadricValue(q, onIt), 0, 1e-9);
  EXPECT_NEAR(onIt.x, 3, 1e-6);
  double axes[9];
  AK_Vec3 centre;
  AK_QuadricPrincipalAxes(q, axes, &centre);
  EXPECT_NEAR(centre.x, 1, 1e-9);
  EXPECT_NEAR(centre.y, -2, 1e-9);
  EXPECT_NEAR(centre.z, 3, 1e-9);
  for (int k = 0; k < 3; ++k)
    EXPECT_NEAR(axes[k * 3] * axes[k * 3] + axes[k * 3 + 1] * axes[k * 3 + 1] +
                    axes[k * 3 + 2] * axes[k * 3 + 2],
                1, 1e-12);
}
