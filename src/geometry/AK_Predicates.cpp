// Geometry predicates and small numerics.
#include "AK_Predicates.h"

#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>


int64_t AK_OrientTestCounter = 0;
int64_t AK_InSphereTestCounter = 0;
int64_t AK_InSphereRefineCounter = 0;

namespace {

inline double Cross2(double ux, double uy, double vx, double vy) { return ux * vy - uy * vx; }

// ---- exact sign of a sum of products ------------------------------------------------------
//
// Each product is split into its rounded value and its exact rounding error (fused
// multiply-add), and all parts are summed into a non-overlapping expansion whose largest
// non-zero component carries the sign of the exact sum. Exact for finite values whose
// products neither overflow nor fall into the subnormal range.

struct Expansion {
  static constexpr int kMax = 64;
  double e[kMax];
  int n = 0;

  void Add(double q)
  {
    int out = 0;
    for (int i = 0; i < n; ++i) {
      double sum = q + e[i];
      double bv = sum - q;
      double av = sum - bv;
      double err = (q - av) + (e[i] - bv);
      q = sum;
      if (err != 0) e[out++] = err;
    }
    e[out++] = q;
    n = out;
  }

  int Sign() const
  {
    for (int i = n - 1; i >= 0; --i) {
      if (e[i] > 0) return 1;
      if (e[i] < 0) return -1;
    }
    return 0;
  }
};

int ExactDotSign(const double* x, const double* y, int count)
{
  Expansion sum;
  for (int i = 0; i < count; ++i) {
    double p = x[i] * y[i];
    double err = std::fma(x[i], y[i], -p);
    sum.Add(p);
    if (err != 0) sum.Add(err);
  }
  return sum.Sign();
}

// Sign of the dot product, with a floating estimate first: the rounding of four products
// and three additions stays far below 1e-15 of the sum of the magnitudes.
int DotSignFiltered(const double* x, const double* y, int count, bool* refined)
{
  double s = 0, m = 0;
  for (int i = 0; i < count; ++i) {
    double p = x[i] * y[i];
    s += p;
    m += std::fabs(p);
  }
  *refined = false;
  if (m == 0) return 0;
  if (std::isfinite(m) && m > 1e-250 && std::fabs(s) > m * 1e-15) return s > 0 ? 1 : -1;
  *refined = true;
  return ExactDotSign(x, y, count);
}

// ---- rounding onto the integer grid ------------------------------------------------------

}  // namespace

int64_t AK_GridRound(double x, double scale)
{
  // floor, not truncation: a negative coordinate goes to its nearest grid point as a
  // positive one does, so the predicates see the point where the mesh stores it.
  const double v = std::floor(scale * x + 0.5);
  // Coordinates beyond the 32-bit grid saturate; a non-number lands on 0.
  if (!(v > -2147483648.0)) return std::isnan(v) ? 0 : INT32_MIN;
  if (!(v < 2147483647.0)) return INT32_MAX;
  return static_cast<int64_t>(v);
}

namespace {

struct GridPoint {
  int64_t x, y, z;
};

GridPoint GridRound(const AK_Vec3& p, double scale)
{
  return GridPoint{AK_GridRound(p.x, scale), AK_GridRound(p.y, scale), AK_GridRound(p.z, scale)};
}

GridPoint Minus(const GridPoint& a, const GridPoint& b)
{
  return GridPoint{a.x - b.x, a.y - b.y, a.z - b.z};
}

using Int128 = __int128;

// u.(v x w) exactly: 33-bit differences give at most 102-bit values.
Int128 Triple(const GridPoint& u, const GridPoint& v, const GridPoint& w)
{
  Int128 cx = static_cast<Int128>(v.y) * w.z - static_cast<Int128>(v.z) * w.y;
  Int128 cy = static_cast<Int128>(v.z) * w.x - static_cast<Int128>(v.x) * w.z;
  Int128 cz = static_cast<Int128>(v.x) * w.y - static_cast<Int128>(v.y) * w.x;
  return u.x * cx + u.y * cy + u.z * cz;
}

Int128 Norm2(const GridPoint& u)
{
  return static_cast<Int128>(u.x) * u.x + static_cast<Int128>(u.y) * u.y +
         static_cast<Int128>(u.z) * u.z;
}

// Splits a 128-bit integer of at most 106 bits into two doubles that add up to it exactly.
void Split(Int128 v, double& hi, double& lo)
{
  hi = static_cast<double>(v);
  lo = static_cast<double>(v - static_cast<Int128>(hi));
}

AK_Vec3 Cross(const AK_Vec3& a, const AK_Vec3& b) { return a.Cross(b); }

}  // namespace

// ---------------------------------------------------------------------------------------
// 2-D

int AK_Orient2dSign(double ax, double ay, double bx, double by, double px, double py)
{
  double bound;
  double s = AK_Orient2dFast(ax, ay, bx, by, px, py, &bound);
  if (!std::isfinite(bound)) {
    // Coordinates near the largest doubles overflow the products. Scaling every coordinate
    // by the same power of two keeps the sign: the largest becomes 2^500, where nothing
    // overflows and only coordinates some 10^-150 of it lose bits. A coordinate that is not
    // finite gives no point and no side; each is looked at, since fmax passes over a
    // non-number (which would then be scaled again and again).
    double m = 0;
    for (double v : {ax, ay, bx, by, px, py}) {
      if (!std::isfinite(v)) return 0;
      m = std::fmax(m, std::fabs(v));
    }
    int e;
    std::frexp(m, &e);
    auto f = [e](double v) { return std::ldexp(v, 500 - e); };
    return AK_Orient2dSign(f(ax), f(ay), f(bx), f(by), f(px), f(py));
  }
  if (s > bound) return 1;
  if (s < -bound) return -1;
  // Expanded: py bx - py ax - ay bx - by px + by ax + ay px (the ay ax terms cancel).
  const double x[6] = {py, -py, -ay, -by, by, ay};
  const double y[6] = {bx, ax, bx, px, ax, px};
  return ExactDotSign(x, y, 6);
}

AK_Vec2 AK_Circumcenter2d(const AK_Vec2& a, const AK_Vec2& b, const AK_Vec2& c)
{
  double wx = b.x - a.x, wy = b.y - a.y;
  double ux = c.x - a.x, uy = c.y - a.y;
  double W = (wx * wx + wy * wy) / 2;
  double U = (ux * ux + uy * uy) / 2;
  double k = uy * wx - wy * ux;
  return AK_Vec2{a.x + (W * uy - U * wy) / k, a.y + (U * wx - W * ux) / k};
}

double AK_ProjectionRatio2d(const AK_Vec2& a, const AK_Vec2& b, const AK_Vec2& c,
                            const AK_Vec2& d)
{
  double den = (b.x - a.x) * d.x + (b.y - a.y) * d.y;
  double num = (c.x - a.x) * d.x + (c.y - a.y) * d.y;
  return den != 0 ? num / den : 0;
}

int AK_SegmentsIntersect2d(const AK_Vec2& a, const AK_Vec2& b, const AK_Vec2& c,
                           const AK_Vec2& d)
{
  double bax = b.x - a.x, bay = b.y - a.y;
  double cdx = c.x - d.x, cdy = c.y - d.y;
  double cax = c.x - a.x, cay = c.y - a.y;
  double den = Cross2(bax, bay, cdx, cdy);
  if (den == 0) return 0;
  double s = Cross2(cax, cay, cdx, cdy);
  double t = Cross2(bax, bay, cax, cay);
  if (den < 0) {
    if (s > 0 || t > 0 || den > s || den > t) return 0;
  } else {
    if (s < 0 || t < 0 || s > den || t > den) return 0;
  }
  return 1;
}

double AK_SegmentLineParameter2d(const AK_Vec2& p, const AK_Vec2& q, const AK_Vec2& a,
                                 const AK_Vec2& b)
{
  double abx = a.x - b.x, aby = a.y - b.y;
  double den = Cross2(q.x - p.x, q.y - p.y, abx, aby);
  if (den == 0) return 0;
  return Cross2(a.x - p.x, a.y - p.y, abx, aby) / den;
}

AK_Vec2 AK_LineIntersection2d(const AK_Vec2& a, const AK_Vec2& b, const AK_Vec2& p,
                              const AK_Vec2& q)
{
  double pqx = p.x - q.x, pqy = p.y - q.y;
  double den = Cross2(b.x - a.x, b.y - a.y, pqx, pqy);
  if (den == 0) return a;
  double s = Cross2(p.x - a.x, p.y - a.y, pqx, pqy) / den;
  return AK_Vec2{a.x + s * (b.x - a.x), a.y + s * (b.y - a.y)};
}

// ---------------------------------------------------------------------------------------
// 3-D

AK_Vec3 AK_Lerp3(const AK_Vec3& a, const AK_Vec3& b, double t) { return a + (b - a) * t; }

int AK_Orient3d(const AK_Vec3& a, const AK_Vec3& b, const AK_Vec3& c, const AK_Vec3& d)
{
  ++AK_OrientTestCounter;
  return (d - a).Dot(Cross(b - a, c - a)) < 0 ? 1 : 0;
}

int AK_GridOrient3d(const AK_Vec3& q, const AK_Vec3& a, const AK_Vec3& b, const AK_Vec3& c,
                    double scale)
{
  ++AK_OrientTestCounter;
  GridPoint rq = GridRound(q, scale);
  GridPoint u = Minus(GridRound(a, scale), rq);
  GridPoint v = Minus(GridRound(b, scale), rq);
  GridPoint w = Minus(GridRound(c, scale), rq);
  // ((a - q) x (b - q)).(c - q) = (c - q).((a - q) x (b - q))
  return Triple(w, u, v) < 0 ? 1 : 0;
}

int AK_GridInSphere(const AK_Vec3& q, const AK_Vec3& a, const AK_Vec3& b, const AK_Vec3& c,
                    const AK_Vec3& d, double scale)
{
  ++AK_InSphereTestCounter;
  GridPoint ra = GridRound(a, scale);
  GridPoint u = Minus(GridRound(b, scale), ra);
  GridPoint w = Minus(GridRound(c, scale), ra);
  GridPoint t = Minus(GridRound(d, scale), ra);
  GridPoint s = Minus(GridRound(q, scale), ra);
  // Signed 3x3 minors of the in-sphere determinant and the squared lengths; the sign of
  // their dot product decides.
  Int128 k[4] = {Triple(w, t, s), -Triple(u, t, s), Triple(u, w, s), -Triple(u, w, t)};
  Int128 l[4] = {Norm2(u), Norm2(w), Norm2(t), Norm2(s)};
  double kd[4], ld[4];
  for (int i = 0; i < 4; ++i) {
    kd[i] = static_cast<double>(k[i]);
    ld[i] = static_cast<double>(l[i]);
  }
  // Estimate on rounded doubles: each factor carries at most one rounding.
  double sum = 0, mag = 0;
  for (int i = 0; i < 4; ++i) {
    double p = kd[i] * ld[i];
    sum += p;
    mag += std::fabs(p);
  }
  if (mag == 0) return 0;
  if (std::fabs(sum) > mag * 1e-15) return sum > 0 ? 1 : 0;
  ++AK_InSphereRefineCounter;
  double x[16], y[16];
  int n = 0;
  for (int i = 0; i < 4; ++i) {
    double khi, klo, lhi, llo;
    Split(k[i], khi, klo);
    Split(l[i], lhi, llo);
    x[n] = khi; y[n++] = lhi;
    x[n] = khi; y[n++] = llo;
    x[n] = klo; y[n++] = lhi;
    x[n] = klo; y[n++] = llo;
  }
  return ExactDotSign(x, y, n) > 0 ? 1 : 0;
}

int AK_InSphereRefine(const double u[4], const double v[4])
{
  bool refined = false;
  int sign = DotSignFiltered(u, v, 4, &refined);
  if (refined) ++AK_InSphereRefineCounter;
  return sign > 0 ? 1 : 0;
}

int AK_SegmentCrossesTriangle3d(const AK_Vec3& p0, const AK_Vec3& p1, const AK_Vec3& a,
                                const AK_Vec3& b, const AK_Vec3& c)
{
  int s = AK_Orient3d(p0, a, b, c);
  return AK_Orient3d(p1, a, b, c) != s && AK_Orient3d(p1, p0, a, b) != s &&
                 AK_Orient3d(p1, p0, b, c) != s && AK_Orient3d(p1, p0, c, a) != s
             ? 1
             : 0;
}

int AK_SegmentCrossesQuad3d(const AK_Vec3& p0, const AK_Vec3& p1, const AK_Vec3& a,
                            const AK_Vec3& b, const AK_Vec3& c, const AK_Vec3& d)
{
  int s = AK_Orient3d(p0, a, b, c);
  return AK_Orient3d(p1, a, b, c) != s && AK_Orient3d(p1, p0, a, b) != s &&
                 AK_Orient3d(p1, p0, b, c) != s && AK_Orient3d(p1, p0, c, d) != s &&
                 AK_Orient3d(p1, p0, d, a) != s
             ? 1
             : 0;
}

static const int kBoxFaces[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                    {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
static const int kBoxEdges[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                     {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

int AK_SegmentCrossesBox(const AK_Vec3 corners[8], const AK_Vec3& p0, const AK_Vec3& p1)
{
  for (const auto& f : kBoxFaces)
    if (AK_SegmentCrossesQuad3d(p0, p1, corners[f[0]], corners[f[1]], corners[f[2]],
                                corners[f[3]]))
      return 1;
  return 0;
}

int AK_BoxEdgeCrossesTriangle(const AK_Vec3 corners[8], const AK_Vec3& a, const AK_Vec3& b,
                              const AK_Vec3& c)
{
  for (const auto& e : kBoxEdges)
    if (AK_SegmentCrossesTriangle3d(corners[e[0]], corners[e[1]], a, b, c)) return 1;
  return 0;
}

AK_Vec3 AK_SolveInBasis3(const AK_Vec3& p, const AK_Vec3& o, const AK_Vec3& e1,
                         const AK_Vec3& e2, const AK_Vec3& e3)
{
  double det = e1.Dot(Cross(e2, e3));
  if (det == 0) return AK_Vec3();
  AK_Vec3 r = p - o;
  return AK_Vec3(r.Dot(Cross(e2, e3)) / det, r.Dot(Cross(e3, e1)) / det,
                 r.Dot(Cross(e1, e2)) / det);
}

double AK_LinePlaneParameter(const AK_Vec3& p0, const AK_Vec3& p1, const AK_Vec3& q,
                             const AK_Vec3& n)
{
  double den = (p1 - p0).Dot(n);
  if (den == 0) return 0;
  return (q - p0).Dot(n) / den;
}

double AK_SegmentPlaneParameterClamped(const AK_Vec3& p0, const AK_Vec3& p1, const AK_Vec3& q,
                                       const AK_Vec3& n)
{
  double den = (p1 - p0).Dot(n);
  if (std::fabs(den) < 1e-50) return 0.5;
  double t = (q - p0).Dot(n) / den;
  if (t < 0) return 0;
  if (t > 1) return 1;
  return t;
}

AK_Vec3 AK_TetCircumcenter(const AK_Vec3& a, const AK_Vec3& b, const AK_Vec3& c,
                           const AK_Vec3& d)
{
  AK_Vec3 e1 = b - a, e2 = c - a, e3 = d - a;
  double det = e1.Dot(Cross(e2, e3));
  if (det == 0) return (a + b + c + d) * 0.25;
  AK_Vec3 sum = Cross(e2, e3) * e1.Dot(e1) + Cross(e3, e1) * e2.Dot(e2) +
                Cross(e1, e2) * e3.Dot(e3);
  return a + sum * (0.5 / det);
}

AK_Vec3 AK_TriangleCircumcenter3d(const AK_Vec3& a, const AK_Vec3& b, const AK_Vec3& c)
{
  AK_Vec3 e1 = b - a, e2 = c - a;
  AK_Vec3 n = Cross(e1, e2);
  double nn = n.Dot(n);
  if (nn == 0) return (a + b + c) * 0.3333333333333333;
  AK_Vec3 sum = Cross(e2, n) * e1.Dot(e1) + Cross(n, e1) * e2.Dot(e2);
  return a + sum * (0.5 / nn);
}
