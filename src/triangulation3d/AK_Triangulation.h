// Closed, consistently oriented triangle surfaces in three dimensions: vertices, triangles
// with their edge neighbours and patch numbers, the files of the outside surface mesh
// generator ("tbs", "tbp"), patches and sub-patches, measures of the enclosed solid,
// longest-edge refinement, and inside and nearest-point queries through a triangle octree.
//
// Conventions every operation relies on: edge k of a triangle is the edge opposite node k,
// running from node (k+1) mod 3 to node (k+2) mod 3, and neighbour k lies across it. The
// orientation of a triangle is that of (p1 - p0) x (p2 - p0); in a consistently oriented
// surface two neighbours traverse their common edge in opposite directions. A point lies
// in front of a triangle when it lies on the side into which that vector points; for an
// outward-facing surface in front means outside.
//
// Failures: a file that cannot be opened, read or written is a message through the hook
// and a result of 0, and the surface is then as it was. A triangle with coinciding or
// collinear corners has no normal; the measures and walks then yield non-numbers.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>

#include "AK_Array.h"
#include "AK_BitArray.h"
#include "AK_OctreeN.h"
#include "AK_String.h"
#include "AK_Vec.h"

class SW_TokenReader;

using AK_Points3 = AK_Array<AK_Vec3>;

// One triangle: three vertex numbers, the triangles across its three edges (-1 none) and a
// patch number (-1 undefined). The operations read the positions from the shared array.
struct AK_Triangle3 {
  int32_t node[3] = {0, 0, 0};
  int32_t neighbour[3] = {-1, -1, -1};
  int32_t patch = -1;

  AK_Triangle3() = default;
  AK_Triangle3(int32_t a, int32_t b, int32_t c, int32_t patch_ = -1)
      : node{a, b, c}, patch(patch_)
  {
  }

  const AK_Vec3& P(const AK_Points3& p, int k) const { return p[node[k]]; }
  AK_Vec3 Centroid(const AK_Points3& p) const;
  // (p1 - p0) x (p2 - p0), not normalised.
  AK_Vec3 Normal(const AK_Points3& p) const;
  AK_Vec3 UnitNormal(const AK_Points3& p) const;
  AK_Vec3 EdgeMidpoint(const AK_Points3& p, int k) const;
  double EdgeLength(const AK_Points3& p, int k) const;
  // Index of the longest edge; ties go to the lower index.
  int LongestEdge(const AK_Points3& p) const;
  AK_Vec3 Circumcenter(const AK_Points3& p) const;
  // True when the triangle meets the closed box.
  bool InBox(const AK_Points3& p, const AK_Vec3& boxMin, const AK_Vec3& boxMax) const;
  // True when the segment from a towards b reaches the triangle (tolerance eps).
  bool SegmentCrosses(const AK_Points3& p, const AK_Vec3& a, const AK_Vec3& b,
                      double eps) const;
  // t such that a + t (b - a) lies in the triangle's plane.
  double LineParameter(const AK_Points3& p, const AK_Vec3& a, const AK_Vec3& b) const;
  // 1 when q lies strictly in front of the triangle, else 0; the grid form decides on
  // coordinates rounded to an integer grid of the given scale.
  int Orientation(const AK_Points3& p, const AK_Vec3& q) const;
  int GridOrientation(const AK_Points3& p, const AK_Vec3& q, double scale) const;
  // (u, v, d): the projection of q onto the plane is p0 + u (p1 - p0) + v (p2 - p0); d is
  // the signed distance of q from the plane, positive in front.
  AK_Vec3 Project(const AK_Points3& p, const AK_Vec3& q) const;
  // Distance from q (signed when q projects into the interior). `vertex` is the nearest
  // corner or -1, `edge` the edge whose inside holds the nearest point or -1.
  double Distance(const AK_Points3& p, const AK_Vec3& q, int& vertex, int& edge) const;
  AK_Vec3 ClosestPoint(const AK_Points3& p, const AK_Vec3& q, int& vertex, int& edge) const;
  // The edge of this triangle that the other shares, or -1.
  int SharedEdge(const AK_Triangle3& other) const;
  // Reverses the orientation; neighbour k still lies across edge k.
  void Flip();
  // "t <label> x0 y0 z0 x1 y1 z1 x2 y2 z2" and a line end.
  void Print(std::ostream& out, const AK_Points3& p, const char* label) const;
};

using AK_TriangleOctree = AK_OctreeN<int32_t, 3>;

class AK_Triangulation {
public:
  AK_Points3 _p;                    // vertex positions
  AK_Array<AK_Triangle3> _t;        // triangles
  AK_Array<uint8_t> _selected;      // one byte per triangle, 0 or 1
  int32_t _nPatches = 0;            // patch numbers run from 0 to _nPatches - 1
  AK_Vec3 _min, _max;               // bounding box of the vertices
  int32_t _nSubPatches = 0;         // 0: none, or out of date
  AK_Array<int32_t> _subPatch;      // per triangle, -1 none
  AK_Array<AK_Array<int32_t>> _subPatchNeighbours;
  // Triangle octree of the queries. Its boxes are floats relative to _octreeOrigin, so
  // that geo-referenced coordinates keep their resolution. Every change of points or
  // triangles through this class drops it; code that edits _p or _t directly calls
  // DropOctree, and the queries rebuild a tree made for other counts of either.
  std::unique_ptr<AK_TriangleOctree> _octree;
  AK_Vec3 _octreeOrigin;
  int32_t _octreePoints = 0, _octreeTriangles = 0;
  int32_t _inverted = 0;            // 1 when the surface faces inward (negative volume)
  // 1 while the patches are a copy of the sub-patches and may be rebuilt with them.
  int32_t _patchesFromSubPatches = 0;

  AK_Triangulation() = default;
  AK_Triangulation(const AK_Triangulation&) = delete;
  AK_Triangulation& operator=(const AK_Triangulation&) = delete;

  int32_t NumPoints() const { return _p.Size(); }
  int32_t NumTriangles() const { return _t.Size(); }

  // ---- building -------------------------------------------------------------------------
  // Empties points, triangles and patches (capacities stay); bounds and _inverted stay.
  void Clear();
  void DropOctree();
  void AddPoint(const AK_Vec3& point);
  // Appends (a, b, c) without neighbours; raises _nPatches to patch + 1 when larger.
  void AddTriangle(int32_t a, int32_t b, int32_t c, int32_t patch);
  // Sets every neighbour field from the shared edges; edges traversed twice in the same
  // direction and edges beyond the first matching pair of a fan stay -1.
  void LinkNeighbours();
  // Reverses the orientation; an existing octree keeps describing the surface.
  void Invert();
  void ComputeBounds();
  // False without triangles.
  bool GetBounds(float min[3], float max[3]) const;
  // p := M (p - origin), M row-major.
  void TransformToFrame(const AK_Vec3& origin, const double m[9]);
  // (x, y, z) := (a0, a1, a2) + x (a3, a4, a5) + y (a6, a7, a8) + z (a9, a10, a11).
  void TransformAffine(const double a[12]);
  // True when edge k of t has no neighbour or bends more than the cosine limit.
  bool IsSharpEdge(int32_t t, int k, double cosLimit) const;

  // ---- files ("tbs": triangles; any other extension "tbp": triangles with patches) ------
  // Replaces the surface by the file's; 1 on success. A file that cannot be opened or is
  // malformed (counts, vertex numbers, negative patch numbers) is reported and leaves the
  // surface as it was.
  int ReadDurnixFile(const AK_String& fileName);
  int ReadDurnix(SW_TokenReader& in, bool tbs, const char* name);
  // Writes every coordinate so that it reads back as the same double; 1 on success.
  int WriteDurnixFile(const AK_String& fileName) const;
  void WriteDurnix(std::ostream& out, bool tbs) const;
  static bool IsTbsFileName(const char* fileName);

  // ---- patches ------------------------------------------------------------------------
  // Regions whose surface bends by less than the cosine limit across every edge; clears
  // the selection. Triangles not reached from triangle 0 get a patch each.
  void ComputePatches(double cosLimit);
  // Caps of triangles within the cosine limit of their seed's normal, with adjacency.
  // When no patches exist, or they are a copy of earlier sub-patches, they become a copy
  // of the sub-patches.
  void ComputeSubPatches(double cosLimit);
  // Selects the patch of the triangle whose centroid is nearest to "x y z".
  void SelectPatchAt(const char* text);
  // 1 when two triangles of the list lie in sub-patches that are neither equal nor
  // adjacent (or no sub-patches exist), else 0.
  int HasSeparateSubPatches(const AK_Array<int32_t>& triangles) const;

  // ---- measures, report and refinement ------------------------------------------------
  double Volume() const;
  double Area() const;
  AK_Vec3 CenterOfGravity() const;
  // Inertia tensor of the solid of unit density about the centre, row-major.
  void InertiaTensor(double inertia[9], const AK_Vec3& centre) const;
  void PrintGeoInfo() const;
  // Per vertex the sum of the normals / 3 of its triangles.
  void NodeNormals(AK_Points3& normals) const;
  // Nonzero when more than two consecutive pairs of the fan around node k of t meet at a
  // crease sharper than the cosine.
  int IsFeatureNode(int32_t t, int k, double cosLimit) const;
  void LinkTriangles(int32_t a, int32_t b);
  // Bisects edge e of t and the triangle across it at the edge midpoint.
  void SplitEdge(int32_t t, int e);
  double LongestEdgeLength(int32_t t) const;
  // The end of the longest-edge path from t: the triangle and its longest edge.
  void FindTerminalEdge(int32_t t, int32_t& terminal, int& edge) const;
  // Bisects until every marked triangle is split; answers the number of vertices added.
  int32_t SplitMarkedTriangles(AK_BitArray& marks);
  // Bisects the triangles whose longest edge is sharp until none is left, but leaves edges
  // shorter than kSharpSplitFloor of the surface's box diagonal whole (a message says how
  // many); answers the number of vertices added.
  int32_t SplitAtSharpEdges(double cosLimit);
  static constexpr double kSharpSplitFloor = 1e-6;

  // ---- queries through the octree -----------------------------------------------------
  void BuildOctree();
  // 1 inside, 0 outside; a surface without triangles has no inside.
  int IsInside(const AK_Vec3& p);
  // 1 when the triangles that share the feature nearest to p see p in front.
  int IsInFrontOfNearest(const AK_Vec3& p, const AK_Array<int32_t>& triangles) const;
  // The nearest point of the surface, and the normal of its triangle when asked;
  // (0, 0, 0) without triangles.
  AK_Vec3 ClosestPoint(const AK_Vec3& p, AK_Vec3* normal = nullptr);
  // The number of the nearest triangle, -1 when none was found.
  int32_t ClosestTriangle(const AK_Vec3& p);

private:
  void ReplaceTriangles(AK_Points3&& points, AK_Array<AK_Triangle3>&& triangles);
  void EnsureOctree();
  void ToOctreeFrame(const AK_Vec3& p, float out[3]) const;
  AK_Vec3 CellCentre(const AK_TriangleOctree& cell) const;
  void ClassifyLeaves(int32_t outside);
  int32_t NearestInLeaves(const AK_Vec3& p, AK_TriangleOctree::CellList& leaves,
                          double& best, AK_Vec3* point) const;
};

// A counter line on standard output: "<file>:<line>:<name> = '<value>'".
void AK_Trace(const char* file, int line, const char* name, long long value);
