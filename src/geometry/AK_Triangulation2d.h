// The Delaunay triangulation behind a small handle interface over plain index arrays:
// triangulate an array of 2-D points once, then query the triangles (corner and neighbour
// indices, an "outside" flag per triangle), erode large border triangles, smooth a
// per-point field and trace its contour lines.
//
// Corner index i >= 0 is point i of the caller's array (x, y pairs of doubles, which the
// object does not keep); -1 .. -4 are the auxiliary corners 0 .. 3.
#pragma once

#include <cstdint>

#include "AK_Basic.h"

// Separates the lines of a contour block (both coordinates of the separator pair).
constexpr double AK_ContourSeparator = -9.87654e99;

class AK_Triangulation2d {
public:
  AK_Triangulation2d() = default;
  ~AK_Triangulation2d();
  AK_Triangulation2d(const AK_Triangulation2d&) = delete;
  AK_Triangulation2d& operator=(const AK_Triangulation2d&) = delete;

  // Fills the object; fewer than 3 points (or a null array) is refused with a message:
  // answers 1 on success, 0 otherwise (the object is then empty).
  int Triangulate(int32_t nPts, const double* points);

  int32_t NumPoints() const { return _nPts; }
  int32_t NumTriangles() const { return _nTris; }
  int32_t TrianglePoint(int32_t t, int k) const { return _triPts[3 * t + k]; }
  int32_t TriangleNeighbour(int32_t t, int k) const { return _triNeighs[3 * t + k]; }
  int IsOut(int32_t t) const { return static_cast<signed char>(_out[t]); }

  // The triangle holding p: a walk from `start` (or, when start < 0, from the sampled
  // triangle whose first corner is nearest); -1 after leaving the hull, or the triangle
  // where the walk's limits stopped it.
  int32_t Locate(const double* points, const AK_Vec2& p, int32_t start) const;
  int OutsideEdge(const double* points, int32_t t, const AK_Vec2& p) const;
  void Centroid(const double* points, int32_t t, AK_Vec2& out) const;
  void Circumcenter(const double* points, int32_t t, AK_Vec2& out) const;
  double CircumRadius(const double* points, int32_t t) const;
  // Marks out every triangle reachable from an out triangle through neighbours whose
  // circumradius exceeds maxRadius; answers how many it marked.
  int32_t ErodeBorder(const double* points, double maxRadius);
  // One pass: each point used by an inner triangle gets the mean of those triangles'
  // corner means.
  void SmoothValues(double* values) const;
  int RisingEdge(const double* values, double level, int32_t t) const;
  int FallingEdge(const double* values, double level, int32_t t) const;
  void EdgeCrossing(const double* points, const double* values, double level, int32_t t, int k,
                    AK_Vec2& out) const;
  // Contour lines of the level: mode 0 all lines, 1 closed ones, 2 open ones. A block from
  // malloc of (x, y) pairs, each line followed by a separator pair and one more separator
  // pair at the end; the caller frees it.
  double* ContourLines(const double* points, const double* values, double level, int mode) const;

private:
  void Free();
  AK_Vec2 Point(const double* points, int32_t i) const
  {
    if (i >= 0) return AK_Vec2{points[2 * i], points[2 * i + 1]};
    return _aux[-1 - i];
  }

  int32_t _nPts = 0;
  int32_t _nTris = 0;
  int32_t* _triPts = nullptr;
  int32_t* _triNeighs = nullptr;
  uint8_t* _out = nullptr;
  AK_Vec2 _aux[4];
};

// Allocates an object and triangulates the points; null when that fails.
AK_Triangulation2d* AK_Triangulation2dCreate(int32_t nPts, const double* points);
// Frees the object; null does nothing.
void AK_Triangulation2dDelete(AK_Triangulation2d* object);
