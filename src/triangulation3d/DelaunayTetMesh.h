// Delaunay tetrahedral mesh of points in an axis-aligned box, built by incremental
// insertion: the eight box corners split into five tetrahedra, each new point located by a
// walk and the region of tetrahedra whose circumsphere holds it rebuilt around it. Every
// geometric decision is taken on coordinates rounded to an integer grid (100000 steps over
// the largest box side), so orientation and in-sphere tests are exact. Beside it: the
// boundary-clipped Voronoi cells of the mesh, diagnostics and ".grf" debug files, region
// repair and local node queries, boundary layer points and the test drivers.
//
// Tetrahedra: face k is opposite node k, its nodes in the face table order run
// counter-clockwise seen from outside a positively oriented tetrahedron. Neighbour values:
// a tetrahedron number, -1 on the box hull, and v <= -2 a hidden link to tetrahedron -2 - v
// (the tetrahedra 0 .. _nActive - 1 are the mesh, the rest are hidden).
//
// Insertion uses process-wide working lists and predicate counters: it is not reentrant.
// Counters and diagnostics write trace lines ("file:line:name = 'value'") to standard
// output; progress goes through the message hook.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ostream>

#include "AK_Array.h"
#include "AK_BitArray.h"
#include "AK_Triangulation.h"
#include "AK_Vec.h"

extern const int kTetFace[4][3];  // nodes of face k
extern const int kTetEdge[6][2];
extern const int kTetRotation[4][4];  // R[i][j]: the face to cross turning about edge i -> j

// Walk steps of LocateTet, over the whole process.
extern int64_t AK_TetsSearchedCounter;
// Boundary points placed by the fallback rule of the Voronoi construction.
extern int32_t _nBndOut;

struct AK_Tet {
  int32_t node[4] = {0, 0, 0, 0};
  int32_t neighbour[4] = {-1, -1, -1, -1};

  AK_Tet() = default;
  AK_Tet(int32_t a, int32_t b, int32_t c, int32_t d) : node{a, b, c, d} {}

  AK_Triangle3 FaceTriangle(int k) const;
  AK_Vec3 Centroid(const AK_Points3& p) const;
  AK_Vec3 Circumcenter(const AK_Points3& p) const;
  // ((p1 - p0) x (p2 - p0)) . (p3 - p0): six times the signed volume.
  double SignedVolume6(const AK_Points3& p) const;
  bool InSphere(const AK_Points3& p, const AK_Vec3& q, double scale) const;
  // The first face with q strictly above it, -1 when q lies in the closed tetrahedron.
  int FaceAbove(const AK_Points3& p, const AK_Vec3& q, double scale) const;
  int NodeIndex(int32_t n) const;
  int NeighbourIndex(int32_t t) const;
  // The local face this tetrahedron shares with other (its node missing from other); -1
  // unless exactly three nodes are shared.
  int SharedFace(const AK_Tet& other) const;
  int RotationFace(int32_t a, int32_t b) const;
  int32_t RotationNeighbour(int32_t a, int32_t b) const;
  bool HasMark() const;  // a -2 among the neighbours
};

// (q1 - q0) x (q2 - q0) of face k of t: twice its area, pointing out of t.
AK_Vec3 AK_TetFaceNormal(const AK_Points3& p, const AK_Tet& t, int k);
// 6V / S^1.5 with S twice the surface area; about 0.1097 for a regular tetrahedron.
double AK_TetQuality(const AK_Points3& p, const AK_Tet& t);
// "v:" TAB nodes ", n:" TAB neighbours, without a line end.
std::ostream& AK_TetPrint(std::ostream& out, const AK_Tet& t);
void ReverseIntArray(AK_Array<int32_t>& list);
// Removes the entries equal to their cyclic successor; answers how many went.
int32_t RemoveRepeatedVertices(AK_Array<int32_t>& ring);

// Debug graphics lines ("p", "n", "l", "t"); a null file writes nothing.
void AK_WriteGrfPoint(std::FILE* f, const AK_Vec3& q, const char* colour, int number = -999999);
void AK_WriteGrfPoint(std::ostream& out, const AK_Vec3& q, const char* colour,
                      int number = -999999);
void AK_WriteGrfLine(std::FILE* f, const AK_Vec3& a, const AK_Vec3& b, const char* colour);
void AK_WriteGrfLine(std::ostream& out, const AK_Vec3& a, const AK_Vec3& b, const char* colour);
class DelaunayTetMesh;
// A "t" line with the nodes of face k of tetrahedron t.
void AK_WriteGrfTetFace(const DelaunayTetMesh& mesh, int32_t t, int k, std::ostream& out,
                        const char* colour);
void AK_WriteGrfCell(const AK_Array<int32_t>& ring, const AK_Points3& x, const char* colour,
                     std::FILE* f);

void ReadDurnixFormats();
int WriteDurnixFormats();

// Boundary face of an active tetrahedron and its Voronoi boundary point.
struct BndFaceIntPt {
  int32_t tet = 0, face = 0, vertex = 0;
};
using BndFaceTable = AK_Array<AK_Array<BndFaceIntPt>>;
struct BndEdge {
  int32_t cell = 0, from = 0, to = 0;
};
using BndEdgeTable = AK_Array<AK_Array<BndEdge>>;

// Voronoi cells: vertices, and per face its cell, the cell across (-1 boundary), its kind
// (-1 interior, 0 whole boundary part, 1 split at a feature line, 2 split at a corner) and
// its vertex ring, counter-clockwise about the direction from ic0s into ic1s (out of the
// cell for a boundary face).
struct AK_VoronoiCells {
  AK_Points3 x;
  AK_Array<int32_t> ic0s, ic1s, faceKinds;
  AK_Array<AK_Array<int32_t>> faces;
};

class DelaunayTetMesh {
public:
  AK_Points3 _p;
  double _scale = 1.0;
  AK_Array<AK_Tet> _t;
  int32_t _gridN = 30;
  double _gridInvCell[3] = {0, 0, 0};
  AK_Array<int32_t> _grid;
  int32_t _nActive = 0;

  DelaunayTetMesh() = default;
  DelaunayTetMesh(const DelaunayTetMesh&) = delete;
  DelaunayTetMesh& operator=(const DelaunayTetMesh&) = delete;

  void Clear();
  // Starts the mesh in the box for about n points. Refuses (message, false, mesh empty) a
  // box that is empty, not finite, or too far from the origin for its size: its corners
  // must fit the 32-bit integer grid of the exact predicates.
  bool Init(const AK_Vec3& min, const AK_Vec3& max, int64_t n);
  // The new node number; -1 when p lies outside the open box, on the grid point of an
  // existing node, or the mesh was not started.
  int32_t InsertPoint(const AK_Vec3& p);
  int32_t NumNodes() const { return _p.Size(); }
  bool GetBoundingBox(float min[3], float max[3]) const;
  // A tetrahedron whose closed set holds q, or a negative value when q lies outside.
  int32_t LocateTet(const AK_Vec3& q) const;
  int NearestTetNode(int32_t t, const AK_Vec3& q, double& d2) const;
  bool TetInSphere(int32_t t, int32_t node) const;
  // Entry number of q in the locator grid, -1 outside the box.
  int32_t GridCell(const AK_Vec3& q) const;
  int32_t GridTet(const AK_Vec3& q) const;
  void UpdateGrid(int32_t t);
  void LinkTets(int32_t i, int32_t j);
  void HideLinks();
  void RestoreLinks();

  // ---- diagnostics ----
  int32_t CheckConnections(int32_t iTet) const;
  int32_t CountWrongConnections() const;
  int32_t CountNegativeVolumeTets() const;
  int32_t CountPointsInSpheres() const;
  void PrintSummary() const;

  // ---- Voronoi cells ----
  // The tetrahedra around edge (a, b) in rotation order; false unless t0 has the lowest
  // number of the ring. open is 1 when the ring reaches the hull.
  bool EdgeRing(int32_t t0, int32_t a, int32_t b, AK_Array<int32_t>& ring, int& open) const;
  void BuildVoronoiMesh(AK_VoronoiCells& cells, double cosFeature) const;
  int32_t MergeCloseCircumcenters(const AK_Points3& x, double tol, AK_Array<int32_t>& map) const;
  void ComputeBoundaryPoint(BndFaceTable& table, int32_t t, int k, AK_Points3& x) const;
  BndFaceIntPt& FindBndFaceIntPt(BndFaceTable& table, int32_t t, int k) const;
  int32_t BndFaceIntPtIndex(BndFaceTable& table, int32_t t, int k) const;
  void AddBndFaceIntPt(BndFaceTable& table, int32_t t, int k, int32_t vertex) const;
  int32_t MergeCloseBndPoints(BndFaceTable& table, const AK_Points3& x, double tol) const;
  void CollectBoundaryFaces(int32_t nFirst, BndEdgeTable& table, AK_VoronoiCells& cells) const;
  int32_t CheckVoroMesh(const AK_VoronoiCells& cells) const;
  void VoronoiDiagramInfo() const;

  // ---- region repair and local queries ----
  int32_t CheckTwoManifold(AK_Array<char>& marks) const;
  void RemoveMarkedTets(const AK_BitArray& marks);
  void RemoveSlivers(double threshold);
  void TetsAroundNode(int32_t t, int k, AK_Array<int32_t>& list) const;
  void NodeNeighbours(int32_t t, int k, AK_Array<int32_t>& list) const;
  double NearestNode(const AK_Vec3& p, int32_t& t, int& k) const;
  double EmptyBallRadius(const AK_Vec3& p, const AK_Vec3& n, int32_t& t) const;

  // ---- boundary layer points ----
  void GenerateLayerPoints(AK_Points3& points, AK_Array<float>& values, double first,
                           double growth, int32_t nLayers) const;
  void GenerateLayerPointsByLayer(AK_Array<AK_Points3>& points,
                                  AK_Array<AK_Array<float>>& values, double first,
                                  double growth, int32_t nLayers) const;
  // False (with a message) when the file cannot be written.
  bool WritePointsFile(const char* fileName, const AK_Vec3& bmin, const AK_Vec3& bmax,
                       double first, double growth, int32_t nLayers) const;

  // ---- test drivers: n points into the unit box, summary on standard output ----
  // False (with the message of Init) when a mesh of that many points cannot be made.
  static bool RandomTest(int32_t n);
  static bool GridLayerTest(int32_t n);

private:
  void PrintTestSummary(double t0) const;
};
