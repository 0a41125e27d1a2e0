// Geometry predicates and small numerics on which the mesh and the triangulations stand:
// the 2-D in-circle test, segment and line intersections, orientation and in-sphere tests
// on integer-rounded coordinates, box and segment crossing tests and circumcentres.
// Plain functions over plain data. The small numerics beside them (boxes, the 3x3 inverse,
// the eigen-solver, quadrics) are in AK_Numerics.h.
//
// Tests answer 0 or 1. In 2-D, cross(u, v) = u.x v.y - u.y v.x.
#pragma once

#include <cstdint>

#include "AK_Basic.h"

// Statistics for the 3-D triangulation's report; start at 0, the caller may reset them.
extern int64_t AK_OrientTestCounter;       // calls of AK_Orient3d and AK_GridOrient3d
extern int64_t AK_InSphereTestCounter;     // calls of AK_GridInSphere
extern int64_t AK_InSphereRefineCounter;   // in-sphere decisions that needed exact arithmetic

// ---- 2-D --------------------------------------------------------------------------------

// Exact sign of (p.y - a.y)(b.x - a.x) - (b.y - a.y)(p.x - a.x): 1 when p lies strictly
// left of the directed line a->b, -1 strictly right, 0 on it. Exchanging a and b exactly
// negates it, so two cells that share an edge never both see a point outside that edge.
int AK_Orient2dSign(double ax, double ay, double bx, double by, double px, double py);
// The floating value of the same expression and a bound on its rounding error: when
// |value| > bound its sign is exact.
inline double AK_Orient2dFast(double ax, double ay, double bx, double by, double px, double py,
                              double* bound)
{
  double left = (py - ay) * (bx - ax);
  double right = (by - ay) * (px - ax);
  *bound = 3.3306690738754716e-16 * ((left < 0 ? -left : left) + (right < 0 ? -right : right));
  return left - right;
}

// 1 when p lies strictly inside the angle at a (strictly left of a->b and strictly right
// of a->c) and either (a, b, c) is not counter-clockwise or p lies strictly inside its
// circumcircle. Points on the circle give 0. (Inline: the Delaunay insertion's flip test.)
inline int AK_InCircle(const AK_Vec2& p, const AK_Vec2& a, const AK_Vec2& b, const AK_Vec2& c)
{
  double ux = p.x - a.x, uy = p.y - a.y;
  double e1x = b.x - a.x, e1y = b.y - a.y;
  double e2x = c.x - a.x, e2y = c.y - a.y;
  double c2u = e2x * uy - e2y * ux;  // cross(e2, u)
  if (c2u >= 0) return 0;
  double cu1 = ux * e1y - uy * e1x;  // cross(u, e1)
  if (cu1 >= 0) return 0;
  double c12 = e1x * e2y - e1y * e2x;  // cross(e1, e2)
  if (c12 <= 0) return 1;
  double det = (e1x * e1x + e1y * e1y) * c2u + (e2x * e2x + e2y * e2y) * cu1 +
               (ux * ux + uy * uy) * c12;
  return det < 0 ? 1 : 0;
}
// Centre of the circle through a, b, c; collinear points give non-finite coordinates.
AK_Vec2 AK_Circumcenter2d(const AK_Vec2& a, const AK_Vec2& b, const AK_Vec2& c);
// ((c - a).d) / ((b - a).d)
double AK_ProjectionRatio2d(const AK_Vec2& a, const AK_Vec2& b, const AK_Vec2& c,
                            const AK_Vec2& d);
// 1 when the closed segments AB and CD meet; parallel segments (also overlapping ones) 0.
int AK_SegmentsIntersect2d(const AK_Vec2& a, const AK_Vec2& b, const AK_Vec2& c,
                           const AK_Vec2& d);
// t with P + t (Q - P) on the line AB.
double AK_SegmentLineParameter2d(const AK_Vec2& p, const AK_Vec2& q, const AK_Vec2& a,
                                 const AK_Vec2& b);
// The point of line AB where it meets line PQ; parallel lines: A.
AK_Vec2 AK_LineIntersection2d(const AK_Vec2& a, const AK_Vec2& b, const AK_Vec2& p,
                              const AK_Vec2& q);

// ---- remainders --------------------------------------------------------------------------

// x mod d for one divisor d >= 1 and any 32-bit x, exactly, by two multiplications instead of
// a division: hash tables and shuffles take millions of remainders by the same number.
// (The fraction 2^64 / d, rounded up, scaled by x: its fractional part times d is the
// remainder.)
class AK_FastModulo {
public:
  explicit AK_FastModulo(uint32_t d) : _reciprocal(UINT64_MAX / d + 1), _d(d) {}
  uint32_t operator()(uint32_t x) const
  {
    const uint64_t fraction = _reciprocal * x;
    // The high 64 bits of fraction * d, from two products that fit 64 bits.
    const uint64_t low = ((fraction & 0xffffffffu) * _d) >> 32;
    return static_cast<uint32_t>(((fraction >> 32) * _d + low) >> 32);
  }

private:
  uint64_t _reciprocal;
  uint64_t _d;
};

// ---- 3-D --------------------------------------------------------------------------------

AK_Vec3 AK_Lerp3(const AK_Vec3& a, const AK_Vec3& b, double t);

// 1 when (d - a).((b - a) x (c - a)) < 0: the four points are negatively oriented, d lies
// below the plane of the counter-clockwise triangle a, b, c (equivalently, a lies on the
// side of the plane of b, c, d toward which (c - b) x (d - b) points). Floating
// arithmetic; counts the call.
int AK_Orient3d(const AK_Vec3& a, const AK_Vec3& b, const AK_Vec3& c, const AK_Vec3& d);

// The grid point nearest to scale x, halves rounded up, for either sign; saturated to the
// 32-bit range, 0 for a non-number.
int64_t AK_GridRound(double x, double scale);

// Argument order of the grid predicates: the query point comes FIRST.
//
// Each coordinate x is rounded to the integer R(x) = AK_GridRound(x, scale); both predicates
// are then decided exactly on the rounded values.
//
// AK_GridOrient3d(q, a, b, c): 1 when ((R(a) - R(q)) x (R(b) - R(q))).(R(c) - R(q)) < 0,
// that is when q lies strictly on the side of the plane of a, b, c toward which
// (b - a) x (c - a) points (the same value as AK_Orient3d(q, a, b, c) on rounded points).
// Counts the call.
int AK_GridOrient3d(const AK_Vec3& q, const AK_Vec3& a, const AK_Vec3& b, const AK_Vec3& c,
                    double scale);
// AK_GridInSphere(q, a, b, c, d): for a positively oriented tetrahedron,
// ((b - a) x (c - a)).(d - a) > 0, 1 when q lies strictly inside the sphere through a, b,
// c, d (on the sphere: 0). For a negatively oriented one the answer is 1 when q lies
// strictly outside. Counts the call.
int AK_GridInSphere(const AK_Vec3& q, const AK_Vec3& a, const AK_Vec3& b, const AK_Vec3& c,
                    const AK_Vec3& d, double scale);
// 1 when u.v > 0, decided exactly for all finite entries (products and sums are formed
// without rounding when the floating estimate is too close to 0 to tell).
int AK_InSphereRefine(const double u[4], const double v[4]);

// 1 when the segment p0-p1 passes through the triangle (strict sign tests).
int AK_SegmentCrossesTriangle3d(const AK_Vec3& p0, const AK_Vec3& p1, const AK_Vec3& a,
                                const AK_Vec3& b, const AK_Vec3& c);
// The same for the quadrilateral a, b, c, d in the plane of a, b, c.
int AK_SegmentCrossesQuad3d(const AK_Vec3& p0, const AK_Vec3& p1, const AK_Vec3& a,
                            const AK_Vec3& b, const AK_Vec3& c, const AK_Vec3& d);
// 1 when the segment crosses one of the box's 6 faces.
int AK_SegmentCrossesBox(const AK_Vec3 corners[8], const AK_Vec3& p0, const AK_Vec3& p1);
// 1 when one of the box's 12 edges crosses the triangle.
int AK_BoxEdgeCrossesTriangle(const AK_Vec3 corners[8], const AK_Vec3& a, const AK_Vec3& b,
                              const AK_Vec3& c);
// (alpha, beta, gamma) with p - o = alpha e1 + beta e2 + gamma e3 (Cramer's rule); a
// singular basis gives (0, 0, 0).
AK_Vec3 AK_SolveInBasis3(const AK_Vec3& p, const AK_Vec3& o, const AK_Vec3& e1,
                         const AK_Vec3& e2, const AK_Vec3& e3);
// t = ((q - p0).n) / ((p1 - p0).n); a segment parallel to the plane gives 0.
double AK_LinePlaneParameter(const AK_Vec3& p0, const AK_Vec3& p1, const AK_Vec3& q,
                             const AK_Vec3& n);
// As above, but 0.5 when |(p1 - p0).n| < 1e-50, and t clamped to [0, 1].
double AK_SegmentPlaneParameterClamped(const AK_Vec3& p0, const AK_Vec3& p1, const AK_Vec3& q,
                                       const AK_Vec3& n);
// Centre of the sphere through four points; their mean when they are coplanar.
AK_Vec3 AK_TetCircumcenter(const AK_Vec3& a, const AK_Vec3& b, const AK_Vec3& c,
                           const AK_Vec3& d);
// Circumcentre in the triangle's plane; the centroid for a degenerate triangle.
AK_Vec3 AK_TriangleCircumcenter3d(const AK_Vec3& a, const AK_Vec3& b, const AK_Vec3& c);
