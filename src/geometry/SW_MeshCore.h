// The terrain mesh as plain data: vertices, triangle and quadrilateral cells, the cell
// neighbour table, the grid description of regular meshes, vertex normals and break-line
// segments, with the geometric operations that stand on them (topology, point location,
// interpolation, projection, normals, smoothing, no-data heights).
//
// Nothing here knows the object tree: the mesh object (type "DHM") derives from
// SW_MeshCore and adds attributes, commands, records and drawing. Terrain readers fill the
// vertex list `_x` and the cell table `_lcv`, then call ComputeConnectivity (and most of
// them ComputeVertexNormals).
//
// Conventions:
// - Indices of vertices and cells are signed 32-bit; -1 means "no cell" / "no neighbour".
// - A cell has four corner slots. A negative fourth slot (-1) makes it a triangle with
//   corners 0, 1, 2; otherwise it is a quadrilateral. No other slot is negative.
// - Corners run counter-clockwise seen from above; every cell has non-zero projected area.
// - Edge k of a cell runs from corner k to corner (k+1) mod m (m = 3 or 4 corners).
// - `_lcc`[c][k] is the cell across edge k, or -1 on the border; slot 3 of a triangle is -1.
// - Vertex normals carry area: each is the sum over its cells of area vector / corner count.
#pragma once

#include <cstdint>

#include "AK_Basic.h"

// The mesh's broken invariants end the process with the location "SW_Mesh:<line>", the
// module name that its messages carry too.
#define SW_MESH_FATAL_ASSERT(cond, name) \
  do { if (!(cond)) AK_FatalAssertion((name), "SW_Mesh", __LINE__); } while (0)

// Four signed 32-bit integers: the corner record of a cell and the neighbour record.
struct AK_Index4 {
  int32_t _i[4] = {-1, -1, -1, -1};

  AK_Index4() = default;
  AK_Index4(int32_t a, int32_t b, int32_t c, int32_t d) : _i{a, b, c, d} {}

  int32_t& operator[](int k) { return _i[k]; }
  int32_t operator[](int k) const { return _i[k]; }
  bool operator==(const AK_Index4& o) const
  {
    return _i[0] == o._i[0] && _i[1] == o._i[1] && _i[2] == o._i[2] && _i[3] == o._i[3];
  }
};

// The height that marks a vertex without height after a projection onto another mesh;
// compared for exact equality.
constexpr double SW_NoDataHeight = -1.2345e30;

// A cell edge crossed by a segment: the edge's vertices and the crossing's position along
// the edge, from 0 at the first vertex to 1 at the second.
struct SW_EdgeCrossing {
  int32_t a = -1;
  int32_t b = -1;
  double t = 0;
};

class SW_MeshCore {
public:
  // Grid description (meaningful while one of the grid flags is set).
  int32_t _nx = 0;          // grid columns (cells along x)
  int32_t _ny = 0;          // grid rows (cells along y)
  double _dx = 5;           // cell edge length
  AK_Vec2 _xll;             // lower-left corner of the grid box
  AK_Vec2 _upperRight;      // upper-right corner of the grid box
  int32_t _cartesian = 0;   // cells are the regular quadrilateral grid
  int32_t _honeycomb = 0;   // cells are the regular triangle (honeycomb) grid
  // Row height: of the honeycomb grid; of a Cartesian grid whose cells are not square (a
  // plane of Length / Nx by Width / Ny); 0 for a Cartesian grid of square cells of side _dx.
  double _rowHeight = 0;

  AK_Array<AK_Vec3> _x;                           // vertices
  AK_Array<AK_Index4> _lcv;                       // cell corners
  AK_Array<AK_Index4> _lcc;                       // cell neighbours; empty: not built
  AK_Array<AK_Array<int32_t>> _vertexNeighbours;  // count 0: not built
  AK_Array<AK_Vec3> _vertexNormals;               // one area-carrying normal per vertex
  AK_Array<int32_t> _segments;                    // break-line segments as vertex pairs
  AK_Vec3 _totalArea;                             // sum of all cell area vectors

  SW_MeshCore() = default;
  SW_MeshCore(const SW_MeshCore&) = default;
  SW_MeshCore& operator=(const SW_MeshCore&) = default;
  SW_MeshCore(SW_MeshCore&&) = default;
  SW_MeshCore& operator=(SW_MeshCore&&) = default;
  virtual ~SW_MeshCore() = default;

  // ---- storage and topology ------------------------------------------------------------

  int32_t NumVertices() const { return _x.Size(); }
  int32_t NumCells() const { return _lcv.Size(); }
  int CornerCount(int32_t c) const { return _lcv[c][3] < 0 ? 3 : 4; }
  bool IsGrid() const { return _cartesian || _honeycomb; }
  // The y spacing of a Cartesian grid's rows.
  double RowStep() const { return _rowHeight > 0 ? _rowHeight : _dx; }

  // Empties cells, neighbours, normals and segments, drops derived geometry, clears the
  // grid flags, then gives the mesh n vertices at (0, 0, 0). Neighbour lists stay.
  void SetNumVertices(int32_t n);
  // Empties vertices, cells, neighbours, normals and segments, zeroes the total area vector
  // and the row height, drops derived geometry and clears the grid flags (the storage part of
  // the mesh object's Clear).
  void ClearGeometry();
  // For meshes without cells (point stores): the last vertex moves into slot i.
  void RemoveVertex(int32_t i);
  void AppendVertex(const AK_Vec3& v);

  int32_t Neighbour(int32_t c, int k) const { return _lcc[c][k]; }
  // Edge iterator: start with c = 0, k = -1; answers 1 while it delivers an edge (c, k),
  // 0 at the end. Every interior edge comes once (from the lower cell), every border edge
  // once. Needs the neighbour table.
  int NextEdge(int32_t& c, int32_t& k) const;

  void ComputeVertexNeighbours();
  // Builds the neighbour lists when they are not built, then copies the list of v.
  void VertexNeighbours(int32_t v, AK_Array<int32_t>& out);

  AK_Vec3 CellCentre(int32_t c) const;
  // Half the cross product of two edges (triangle) or of the diagonals (quadrilateral):
  // length = area, z = projected area (positive for counter-clockwise cells).
  AK_Vec3 CellAreaVector(int32_t c) const;
  // Outward in-surface normal of edge k, as long as the edge where the edge is
  // perpendicular to the surface normal. Needs the neighbour table.
  AK_Vec3 EdgeNormal(int32_t c, int k) const;
  AK_Vec3 TotalAreaVector() const;  // computed afresh

  // Builds `_lcc` from shared vertex indices: two cells that traverse an edge in opposite
  // directions become neighbours. Marks the vertex neighbour lists stale.
  void ComputeConnectivity();

  // Min and max over all vertices; 0 (outputs untouched) for a mesh without vertices.
  int VertexBox(AK_Vec3& min, AK_Vec3& max) const;

  // ---- point location, interpolation, projection ----------------------------------------

  // First edge of c that sees p strictly outside; -1 when p lies in c (border included).
  // A point with a coordinate that is not finite lies outside every cell (edge 0 sees it
  // outside): the location queries below find no cell for it, and a segment with such an
  // end crosses none.
  int ExitEdge(double px, double py, int32_t c) const;
  int ExitEdge(const AK_Vec3& p, int32_t c) const { return ExitEdge(p.x, p.y, c); }

  // The cell containing (x, y), or -1. `hint` is a cell to start the walk from or -1
  // (then 101 random cells are drawn from AK_Random and the nearest centre wins).
  int32_t FindCell(double px, double py, int32_t hint) const;
  int32_t FindCell(const AK_Vec3& p, int32_t hint) const { return FindCell(p.x, p.y, hint); }
  int32_t FindCell(const AK_Vec2& p, int32_t hint) const { return FindCell(p.x, p.y, hint); }

  // Interpolation weights of (x, y) in cell c, one per corner slot (w[3] = 0 for
  // triangles); they sum to 1 and extrapolate outside the cell.
  void CellWeights(int32_t c, double px, double py, double w[4]) const;
  void CellWeights(int32_t c, const AK_Vec3& p, double w[4]) const
  {
    CellWeights(c, p.x, p.y, w);
  }
  void CellWeights(int32_t c, const AK_Vec2& p, double w[4]) const
  {
    CellWeights(c, p.x, p.y, w);
  }

  // The weights of n points in the one cell c, each as CellWeights gives it; a grid
  // places the cell once for all of them.
  void CellWeightsOfPoints(int32_t c, int n, const double* px, const double* py,
                           double (*w)[4]) const;
  // The corner slot that interpolations start from: 2 for a triangle, 3 for a
  // quadrilateral (they sum from the last corner to the first).
  int LastCorner(int32_t c) const { return _lcv[c][3] < 0 ? 2 : 3; }

  // Cell of the foot of p on the surface along the cell normals, or -1; writes the
  // foot point's weights when asked (then -1 also when the foot lies outside its cell).
  int32_t ProjectToSurface(const AK_Vec3& p, int32_t hint, double* weights) const;
  // The same without the foot's weights; `start` is the cell found for p itself (-1 when
  // none) and `startWeights` p's weights in it, which the projection computes on its way.
  int32_t ProjectToSurface(const AK_Vec3& p, int32_t hint, int32_t& start,
                           double startWeights[4]) const;

  // Cell of (p.x, p.y) or -1; sets p.z to the interpolated height when a cell is found.
  int32_t HeightAt(AK_Vec3& p, int32_t hint) const;
  void InterpolateHeightInCell(AK_Vec3& p, int32_t c) const;

  float InterpolateVertexValue(int32_t c, const double w[4], const float* values) const;
  float InterpolateVertexValue(int32_t c, const double w[4], const AK_Array<float>& values) const
  {
    return InterpolateVertexValue(c, w, values._elems);
  }
  AK_Vec3 InterpolateVertexVector(int32_t c, const double w[4], const AK_Vec3* values) const;
  AK_Vec3 InterpolateVertexVector(int32_t c, const double w[4],
                                  const AK_Array<AK_Vec3>& values) const
  {
    return InterpolateVertexVector(c, w, values._elems);
  }

  // A random point of cell c (two draws of AK_Random).
  AK_Vec3 RandomPointInCell(int32_t c) const;

  // Edge through which the directed line A->B leaves c, or -1.
  int SegmentExitEdge(int32_t c, const AK_Vec2& a, const AK_Vec2& b) const;
  // Appends the cells that the segment A-B crosses, from A's cell on, and (when `points`
  // is given) the crossing points of the line with the edges it leaves through.
  void CellsAlongSegment(const AK_Vec2& a, const AK_Vec2& b, AK_Array<int32_t>& cells,
                         AK_Array<AK_Vec2>* points) const;
  // Appends one crossing per edge that the segment A-B leaves a cell through.
  void EdgeCrossingsOfSegment(const AK_Vec2& a, const AK_Vec2& b,
                              AK_Array<SW_EdgeCrossing>& out) const;
  // The same for each segment of a point list in order; a segment whose start lies
  // outside the mesh is skipped.
  void EdgeCrossingsOfPoints(const AK_Array<AK_Vec3>& points,
                             AK_Array<SW_EdgeCrossing>& out) const;

  // Sets each vertex's z from the base mesh (hint: the previous vertex's cell); vertices
  // outside the base mesh get SW_NoDataHeight. Answers the number of such vertices; when
  // that is every vertex, the mesh is left as it was.
  int32_t ProjectHeightsOnto(const SW_MeshCore& base);
  // Recomputes this mesh's vertex normals, then turns each into the direction of the base
  // mesh's interpolated normal while keeping its own z-component (its projected-area
  // share). Vertices outside the base mesh, or where the base normal is horizontal, keep
  // their own normal.
  void InterpolateNormalsFromMesh(const SW_MeshCore& base);

  // ---- normals, smoothing, curvature, no-data heights -----------------------------------

  void ComputeVertexNormals();
  // N passes of cell-mean averaging of a per-vertex array (Jacobi steps). A vertex that
  // belongs to no cell keeps its value.
  void SmoothVertexArray(AK_Array<AK_Vec3>& values, int passes) const;
  // Per cell the largest 2 sin(theta/2) / distance over its corners, theta the angle
  // between the corner's vertex normal and the cell normal: a curvature estimate in 1/m.
  // Reads the vertex normals (which must have been computed).
  void CellCurvatures(AK_Array<float>& out) const;
  // Removes the vertices whose z equals `noData` and every cell that uses one; renumbers
  // cells and break-line segments (segments that lost an end are dropped). Answers the
  // number of removed cells.
  int32_t RemoveNoDataCells(double noData);
  // Cartesian grids only: fills no-data heights by neighbour averaging, at most N sweeps.
  void InterpolateNoDataHeights(int iterations, double noData);

  // ---- triangulation and point files --------------------------------------------------

  // Replaces the cells by the Delaunay triangles of the vertices' x and y (insertion order
  // shuffled from seed 333) and rebuilds the neighbour table. Vertices the triangulation
  // refuses (duplicates) keep no cell. Leaves `_x`, `_segments` and the normals as they
  // are; the grid flags are cleared, since the cells are no grid any more.
  void TriangulatePoints();
  // Adds the polylines' points to the vertices (keep 1) or replaces them (keep 0),
  // triangulates (seed 444) and recovers every polyline segment as a chain of mesh edges
  // by inserting midpoints; the surviving segments stay in `_segments`. Computes the
  // neighbour table and the vertex normals. A polyline vertex that is not finite, or (with
  // `insideTerrain`, when the mesh has vertices) lies outside the x-y box of the mesh's
  // vertices, is skipped with a warning and cuts its line. Points the triangulation drops
  // are counted in a warning. When no cell would be left, answers false with `error` set and
  // the mesh as it was before the call.
  bool TriangulateWithBreakLines(const AK_Array<AK_NamedPolyline>& lines, int keep, AK_String& error,
                                 bool insideTerrain = false);

protected:
  // Called whenever the geometry is replaced: the mesh object drops its contour lines and
  // coarsened copy here.
  virtual void DropDerivedGeometry() {}

private:
  int32_t WalkToCell(double px, double py, int32_t start) const;
  int32_t RandomStartCell(double px, double py) const;
  int32_t CartesianCell(double px, double py) const;
  // The projection's walk: the foot q and its cell (or -1), the cell and weights of p.
  int32_t ProjectFoot(const AK_Vec3& p, int32_t hint, AK_Vec3& q, int32_t& start,
                      double startWeights[4]) const;
  int32_t HoneycombCell(double px, double py) const;
};

// Inline: the passes over all cells (normals, smoothing, curvature) call it per cell.
inline AK_Vec3 SW_MeshCore::CellAreaVector(int32_t c) const
{
  const AK_Index4& cell = _lcv[c];
  const AK_Vec3& p0 = _x[cell[0]];
  const AK_Vec3& p1 = _x[cell[1]];
  const AK_Vec3& p2 = _x[cell[2]];
  if (cell[3] < 0) return (p1 - p0).Cross(p2 - p0) * 0.5;
  const AK_Vec3& p3 = _x[cell[3]];
  return (p2 - p0).Cross(p3 - p1) * 0.5;
}
