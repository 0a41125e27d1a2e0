// Incremental 2-D Delaunay triangulation.
//
// The caller gives the box of all points once, then inserts points one at a time; every
// insertion keeps the triangulation Delaunay by edge flips. Four auxiliary corners a little
// outside the box enclose everything. A hierarchical grid of triangle hints (the locator
// grid) gives each point location a nearby start.
//
// Points are the addresses of caller records whose first member is an AK_Vec2 (x, y); a
// point's identity is its address, and every inserted record must stay in place until the
// triangulation is destroyed. Triangles live in an arena: their addresses never move, and
// they are changed in place, never removed.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <vector>

#include "AK_Basic.h"

// A point record that carries its vertex number behind the coordinates.
struct AK_NumberedPoint2 {
  AK_Vec2 p;
  int32_t Num = -1;

  // The record of a point address that came from such a record.
  static const AK_NumberedPoint2* Of(const AK_Vec2* point)
  {
    return reinterpret_cast<const AK_NumberedPoint2*>(point);
  }
};

struct AK_Triangle2 {
  // Copies of the corners' coordinates: point location and flip tests read them here
  // instead of following three pointers into the caller's records.
  AK_Vec2 _c[3];
  // Neighbour k lies across the edge opposite corner k (from corner k+1 to k+2); null at
  // the outer border.
  AK_Triangle2* _n[3] = {nullptr, nullptr, nullptr};
  // Corners in counter-clockwise order.
  const AK_Vec2* _p[3] = {nullptr, nullptr, nullptr};

  const AK_Vec2* Pt(int k) const { return _p[k]; }
  AK_Triangle2* Neighbour(int k) const { return _n[k]; }
  void SetCorner(int k, const AK_Vec2* p)
  {
    _p[k] = p;
    _c[k] = *p;
  }
};

// One node of the triangle-hint grid: n x n cells, refined cell by cell into children.
struct AK_TriLocatorGrid {
  static constexpr int kN = 10;           // cells per side
  static constexpr int kCapacity = 100;   // count at which a cell is refined
  struct Cell {
    std::unique_ptr<AK_TriLocatorGrid> child;  // a finer grid covering the cell, or none
    int32_t hint = 0;                          // a triangle near the cell
    int32_t count = 1;                         // 1 plus the hints recorded into the cell
  };
  Cell _cells[kN * kN];
  double _x0 = 0, _y0 = 0;
  double _cell = 1;
  double _inverse = 1.0001;

  void Init(double x0, double y0, double cell, int32_t hint);
  // Cell of (x, y), clamped to the grid: clustered points and points on the box edge
  // never index outside it.
  int CellOf(double x, double y) const;
};

class AK_Triangulation2 {
public:
  AK_Triangulation2(const AK_Vec2& min, const AK_Vec2& max);
  ~AK_Triangulation2();
  AK_Triangulation2(const AK_Triangulation2&) = delete;
  AK_Triangulation2& operator=(const AK_Triangulation2&) = delete;

  // Prepares a fine grid of recent triangles for about n points, so that point location
  // starts next to the point instead of at the locator grid's coarser hint. A walk from
  // there is kept only when it ends clearly inside a triangle, where every walk ends, so
  // the triangulation is the same with or without it.
  void ExpectPoints(int32_t n);

  // Starts loading what the next insertions will read first, so that a caller who knows
  // its next points overlaps the waiting for memory with the insertions before them:
  // upcoming[0] is the next point to be inserted, upcoming[1] the one after it, and so on
  // (count of them; the first five matter). Changes nothing.
  void Prefetch(const AK_Vec2* const* upcoming, int32_t count) const;

  // 1 when the point became a vertex; 0 when it was refused (nothing changed). A point
  // refused for lying within the minimum distance of a vertex reports that vertex in
  // `existing` (null for any other refusal).
  int Insert(const AK_Vec2* p, const AK_Vec2** existing = nullptr);

  // The triangle holding p, or null. `start`: a triangle to walk from, or null for the
  // locator grid's hint. With checkDistance, a point closer than the minimum distance to
  // a corner of that triangle gives null (and that corner in `close`).
  AK_Triangle2* Locate(const AK_Vec2* p, AK_Triangle2* start, int checkDistance,
                       const AK_Vec2** close = nullptr);
  // A triangle that has p (by address) as a corner, found by locating p; or null.
  AK_Triangle2* TriangleWithVertex(const AK_Vec2* p, AK_Triangle2* start);
  // The triangle holding the directed edge a->b (b the corner after a), or null.
  AK_Triangle2* FindEdge(const AK_Vec2* a, const AK_Vec2* b, AK_Triangle2* start);

  int HasAuxiliaryVertex(const AK_Triangle2* t) const;
  bool IsAuxiliary(const AK_Vec2* p) const { return p >= _corners && p < _corners + 4; }
  // Position of `other` among t's neighbours; fatal assertion when it is not there.
  static int NeighbourIndex(const AK_Triangle2* t, const AK_Triangle2* other);
  // Position of p among t's corners; fatal assertion when it is not there.
  static int VertexIndex(const AK_Triangle2* t, const AK_Vec2* p);

  // Search steps, flips and Delaunay tests per inserted point, in one message; the search
  // steps are those of the walks from the locator grid (with the start grid, sampled beyond
  // kExactStepPoints insertions), not those of the start grid's walks taken in their place.
  void PrintStatistics() const;

  // 1 when t has no neighbour k or the neighbour's apex lies outside t's circumcircle.
  int IsDelaunayEdge(AK_Triangle2* t, int k);
  // The corner whose opposite edge sees p strictly outside (largest side value), or -1.
  static int OutsideEdge(const AK_Triangle2* t, const AK_Vec2* p);
  void WriteTriangle(const AK_Triangle2* t, std::ostream& out, const char* label) const;
  void WriteTriangles(std::ostream& out, const char* label) const;
  // Edges of a triangle that the level crosses, from corner values z[3]: first corner
  // index into edges, crossing parameter into params; answers 0 or 2.
  static int IsoCrossings(const double z[3], double level, int edges[2], double params[2]);

  int32_t NumTriangles() const { return _numTriangles; }
  AK_Triangle2* Triangle(int32_t i) const { return &_chunks[i >> kChunkBits][i & kChunkMask]; }
  int32_t PointsInserted() const { return _pointsInserted; }
  int32_t SearchSteps() const { return _searchSteps; }
  int32_t StartGridSteps() const { return _startGridSteps; }
  int32_t Flips() const { return _flips; }
  int32_t DelaunayTests() const { return _delaunayTests; }
  // Points that no walk (nor the fallback scan) could place: never silently lost.
  int32_t Unplaced() const { return _unplaced; }
  double MinPointDistanceSquared() const { return _minDist2; }
  const AK_Vec2* Corner(int q) const { return &_corners[q]; }

private:
  static constexpr int kChunkBits = 14;
  static constexpr int32_t kChunkMask = (1 << kChunkBits) - 1;

  AK_Triangle2* NewTriangle();
  int32_t LocatorLookup(double x, double y) const;
  void LocatorInsert(double x, double y, int32_t triangle);
  void SplitTriangle(AK_Triangle2* t, const AK_Vec2* p);
  void FlipEdge(AK_Triangle2* t, int k);
  AK_Triangle2* Walk(const AK_Vec2* p, AK_Triangle2* t, bool* lost, int32_t& steps);
  // Moves of the walk from the locator grid's hint to p, taken reading only.
  int32_t LocatorWalkSteps(const AK_Vec2* p) const;
  AK_Triangle2* ScanForTriangle(const AK_Vec2* p) const;
  // Reading only: the triangle a walk for p reaches from its start after `steps` steps (or
  // where it ends before, with `ended` set).
  const AK_Triangle2* WalkAhead(const AK_Vec2* p, int steps, bool* ended) const;
  int32_t FineHint(double x, double y) const;
  void RecordFineHint(double x, double y, int32_t triangle);

  std::vector<std::unique_ptr<AK_Triangle2[]>> _chunks;
  int32_t _numTriangles = 0;
  AK_Vec2 _corners[4];
  double _minDist2 = 0;
  int32_t _pointsInserted = 0;
  // Insertions whose locator walks are all counted; beyond, one in kStepSample is.
  static constexpr int32_t kExactStepPoints = 1 << 16;
  static constexpr int32_t kStepSample = 16;
  int32_t _searchSteps = 0;     // moves of the walks from the locator grid or a given start
  int32_t _startGridSteps = 0;  // moves of the walks that the start grid made instead
  int32_t _flips = 0;
  int32_t _delaunayTests = 0;
  int32_t _unplaced = 0;
  AK_TriLocatorGrid _locator;
  std::vector<AK_Triangle2*> _stack;
  // Grids of recent triangles (none unless ExpectPoints was called), from the finest to
  // coarser ones that fill sooner while few points are in. Each cell keeps the newest
  // triangle recorded into it and how many were recorded: in a cell that many points
  // share (clustered data) the newest triangle may lie far from the next point, and the
  // locator grid, which refines where points gather, gives the better start.
  struct FineCell {
    int32_t hint = -1;
    int32_t count = 0;
  };
  struct FineGrid {
    std::vector<FineCell> cells;
    int32_t n = 0;
    double inverse = 0;
  };
  std::vector<FineGrid> _fine;
};
