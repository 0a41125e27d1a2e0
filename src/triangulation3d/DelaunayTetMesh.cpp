// The Delaunay tetrahedral mesh: tetrahedron records, start-up, point location and
// insertion, hidden links, and the consistency checks.
#include "DelaunayTetMesh.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "AK_Message.h"
#include "AK_Predicates.h"

const int kTetFace[4][3] = {{1, 2, 3}, {2, 0, 3}, {3, 0, 1}, {0, 2, 1}};
const int kTetEdge[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
const int kTetRotation[4][4] = {{-1, 2, 3, 1}, {3, -1, 0, 2}, {1, 3, -1, 0}, {2, 0, 1, -1}};

int64_t AK_TetsSearchedCounter = 0;

namespace {

// Working lists of insertion, kept between calls.
struct OpenFace {
  int32_t u, v, tet, face;
};
AK_Array<int32_t> g_region(32);
AK_Array<OpenFace> g_openFaces(32);

// True when that many bytes can be had now; they are given back at once.
bool CanAllocate(uint64_t bytes)
{
  if (bytes > SIZE_MAX) return false;
  void* p = std::malloc(static_cast<size_t>(bytes));
  std::free(p);
  return p != nullptr;
}

// Grid rounding of the exact predicates: the largest coordinate magnitude they take.
constexpr double kGridLimit = 2147483000.0;

double Snap(double c, double scale) { return static_cast<double>(AK_GridRound(c, scale)) * (1.0 / scale); }

// The exact predicates in the box: every node and query lies in the box, so grid
// coordinates differ by at most 100001 and every triple product of differences (at most
// 6e15) is exact in doubles. Orientation is then decided in doubles; the in-sphere sum of
// four products is decided in doubles when it clears its rounding bound, and otherwise by
// the general exact test.
struct GridPt {
  double x, y, z;
};

inline GridPt Grid(const AK_Vec3& p, double scale)
{
  return GridPt{double(AK_GridRound(p.x, scale)), double(AK_GridRound(p.y, scale)),
                double(AK_GridRound(p.z, scale))};
}

inline GridPt Minus(const GridPt& a, const GridPt& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

// u . (v x w)
inline double Triple(const GridPt& u, const GridPt& v, const GridPt& w)
{
  return u.x * (v.y * w.z - v.z * w.y) + u.y * (v.z * w.x - v.x * w.z) + u.z * (v.x * w.y - v.y * w.x);
}

inline double Norm2(const GridPt& u) { return u.x * u.x + u.y * u.y + u.z * u.z; }

void TraceTet(int line, const char* name, const AK_Tet& t)
{
  std::ostringstream s;
  AK_TetPrint(s, t);
  std::printf("AK_Triangulation:%d:%s = '%s'\n", line, name, s.str().c_str());
}

void TraceInt(int line, const char* name, long long v)
{
  AK_Trace("AK_Triangulation", line, name, v);
}

void TraceMarker(int line) { std::printf("AK_Triangulation:%d:\"wrong connection\" = 'wrong connection'\n", line); }

// The marker and both ends of a broken link.
void TraceLink(int line, int32_t iTet, const AK_Tet& t, int iFace, int32_t jTet, const AK_Tet& u)
{
  TraceMarker(line);
  TraceInt(line, "iTet", iTet);
  TraceTet(line, "_t[iTet]", t);
  TraceInt(line, "iFace", iFace);
  TraceInt(line, "jTet", jTet);
  TraceTet(line, "_t[jTet]", u);
}

}  // namespace

// ---- tetrahedron -------------------------------------------------------------------------

AK_Triangle3 AK_Tet::FaceTriangle(int k) const
{
  AK_Triangle3 t(node[kTetFace[k][0]], node[kTetFace[k][1]], node[kTetFace[k][2]], 0);
  return t;
}

AK_Vec3 AK_Tet::Centroid(const AK_Points3& p) const
{
  AK_Vec3 s;
  for (int k = 0; k < 4; ++k) s += p[node[k]];
  return s * 0.25;
}

AK_Vec3 AK_Tet::Circumcenter(const AK_Points3& p) const
{
  return AK_TetCircumcenter(p[node[0]], p[node[1]], p[node[2]], p[node[3]]);
}

double AK_Tet::SignedVolume6(const AK_Points3& p) const
{
  const AK_Vec3& a = p[node[0]];
  return (p[node[1]] - a).Cross(p[node[2]] - a).Dot(p[node[3]] - a);
}

bool AK_Tet::InSphere(const AK_Points3& p, const AK_Vec3& q, double scale) const
{
  const GridPt a = Grid(p[node[0]], scale);
  const GridPt u = Minus(Grid(p[node[1]], scale), a), w = Minus(Grid(p[node[2]], scale), a),
               t = Minus(Grid(p[node[3]], scale), a), s = Minus(Grid(q, scale), a);
  const double k[4] = {Triple(w, t, s), -Triple(u, t, s), Triple(u, w, s), -Triple(u, w, t)};
  const double l[4] = {Norm2(u), Norm2(w), Norm2(t), Norm2(s)};
  double sum = 0, mag = 0;
  for (int i = 0; i < 4; ++i) {
    sum += k[i] * l[i];
    mag += std::fabs(k[i] * l[i]);
  }
  if (mag == 0 || std::fabs(sum) > mag * 1e-15) {
    ++AK_InSphereTestCounter;
    return sum > 0;
  }
  return AK_GridInSphere(q, p[node[0]], p[node[1]], p[node[2]], p[node[3]], scale) != 0;
}

int AK_Tet::FaceAbove(const AK_Points3& p, const AK_Vec3& q, double scale) const
{
  const GridPt g = Grid(q, scale);
  GridPt d[4];
  for (int k = 0; k < 4; ++k) d[k] = Minus(Grid(p[node[k]], scale), g);
  for (int k = 0; k < 4; ++k) {
    ++AK_OrientTestCounter;
    if (Triple(d[kTetFace[k][2]], d[kTetFace[k][0]], d[kTetFace[k][1]]) < 0) return k;
  }
  return -1;
}

int AK_Tet::NodeIndex(int32_t n) const
{
  for (int k = 0; k < 4; ++k)
    if (node[k] == n) return k;
  return -1;
}

int AK_Tet::NeighbourIndex(int32_t t) const
{
  for (int k = 0; k < 4; ++k)
    if (neighbour[k] == t) return k;
  return -1;
}

int AK_Tet::SharedFace(const AK_Tet& other) const
{
  int missing = -1;
  for (int k = 0; k < 4; ++k) {
    if (other.NodeIndex(node[k]) >= 0) continue;
    if (missing >= 0) return -1;
    missing = k;
  }
  return missing;
}

int AK_Tet::RotationFace(int32_t a, int32_t b) const
{
  return kTetRotation[NodeIndex(a)][NodeIndex(b)];
}

int32_t AK_Tet::RotationNeighbour(int32_t a, int32_t b) const
{
  return neighbour[RotationFace(a, b)];
}

bool AK_Tet::HasMark() const
{
  return neighbour[0] == -2 || neighbour[1] == -2 || neighbour[2] == -2 || neighbour[3] == -2;
}

AK_Vec3 AK_TetFaceNormal(const AK_Points3& p, const AK_Tet& t, int k)
{
  const AK_Vec3& q0 = p[t.node[kTetFace[k][0]]];
  return (p[t.node[kTetFace[k][1]]] - q0).Cross(p[t.node[kTetFace[k][2]]] - q0);
}

double AK_TetQuality(const AK_Points3& p, const AK_Tet& t)
{
  const AK_Vec3& a = p[t.node[0]];
  AK_Vec3 b = p[t.node[1]] - a, c = p[t.node[2]] - a, d = p[t.node[3]] - a;
  double v6 = b.Cross(c).Dot(d);
  double s = (c - b).Cross(d - b).Length() + b.Cross(c).Length() + c.Cross(d).Length() +
             d.Cross(b).Length();
  return v6 / (std::sqrt(s) * s);
}

std::ostream& AK_TetPrint(std::ostream& out, const AK_Tet& t)
{
  out << "v:";
  for (int32_t n : t.node) out << '\t' << n;
  out << ", n:";
  for (int32_t n : t.neighbour) out << '\t' << n;
  return out;
}

void ReverseIntArray(AK_Array<int32_t>& list)
{
  for (int32_t j = 0; j < list.Size() / 2; ++j) std::swap(list[j], list[list.Size() - 1 - j]);
}

// ---- mesh --------------------------------------------------------------------------------

void DelaunayTetMesh::Clear()
{
  _p = AK_Points3();
  _t = AK_Array<AK_Tet>();
  _grid = AK_Array<int32_t>();
  _nActive = 0;
  _scale = 1.0;
  _gridN = 30;
}

bool DelaunayTetMesh::Init(const AK_Vec3& min, const AK_Vec3& max, int64_t n)
{
  Clear();
  const double lo[3] = {min.x, min.y, min.z}, hi[3] = {max.x, max.y, max.z};
  double extent = 0;
  for (int i = 0; i < 3; ++i) {
    if (!(std::isfinite(lo[i]) && std::isfinite(hi[i]) && lo[i] < hi[i])) {
      AK_MESSAGE("ERROR:the box of the tetrahedral mesh is empty or not finite");
      return false;
    }
    extent = std::fmax(extent, hi[i] - lo[i]);
  }
  const double scale = 100000.0 / extent;
  for (int i = 0; i < 3; ++i)
    if (!(std::fabs(scale * lo[i]) < kGridLimit && std::fabs(scale * hi[i]) < kGridLimit)) {
      AK_MESSAGE("ERROR:the box of the tetrahedral mesh lies too far from the origin for its "
                 "size; move it nearer to the origin");
      return false;
    }
  // Some 6.5 tetrahedra per point: beyond this many points they would not fit the largest
  // array.
  constexpr int64_t kMaxPoints = (INT32_MAX / 2) / 7;
  if (n > kMaxPoints) {
    AK_Messagef("ERROR:a tetrahedral mesh takes at most %lld points, not %lld", static_cast<long long>(kMaxPoints),
                static_cast<long long>(n));
    return false;
  }
  // Reserve for n points and the 8 box corners; beyond the array limit the arrays grow on
  // demand. Storage that cannot be had is refused here rather than found missing later.
  const int64_t nodes = std::clamp<int64_t>(n + 8, 8, INT32_MAX / 8);
  const int64_t tets = std::min<int64_t>(7 * nodes, INT32_MAX / 8);
  if (!CanAllocate(static_cast<uint64_t>(nodes) * sizeof(AK_Vec3) + static_cast<uint64_t>(tets) * sizeof(AK_Tet))) {
    AK_Messagef("ERROR:not enough memory for a tetrahedral mesh of %lld points", static_cast<long long>(n));
    return false;
  }
  _p.Resize(static_cast<int32_t>(nodes));
  _t.Resize(static_cast<int32_t>(tets));
  const double x0 = lo[0], y0 = lo[1], z0 = lo[2], x1 = hi[0], y1 = hi[1], z1 = hi[2];
  const AK_Vec3 corners[8] = {{x0, y0, z0}, {x1, y0, z0}, {x1, y1, z0}, {x0, y1, z0},
                              {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}};
  for (const AK_Vec3& c : corners) _p.Append(c);
  _t.Append(AK_Tet(0, 1, 3, 4));
  _t.Append(AK_Tet(2, 3, 1, 6));
  _t.Append(AK_Tet(5, 1, 4, 6));
  _t.Append(AK_Tet(7, 6, 4, 3));
  _t.Append(AK_Tet(6, 4, 3, 1));
  for (int32_t i = 0; i < 4; ++i) LinkTets(4, i);
  for (int i = 0; i < 3; ++i) _gridInvCell[i] = _gridN / (hi[i] - lo[i]);
  const int32_t cells = (_gridN + 1) * (_gridN + 1) * (_gridN + 1);
  _grid.Resize(cells);
  _grid.SetCount(cells);
  _scale = scale;
  _nActive = _t.Size();
  return true;
}

bool DelaunayTetMesh::GetBoundingBox(float min[3], float max[3]) const
{
  if (_p.Size() < 8) return false;
  const AK_Vec3 &a = _p[0], &b = _p[6];
  min[0] = float(a.x), min[1] = float(a.y), min[2] = float(a.z);
  max[0] = float(b.x), max[1] = float(b.y), max[2] = float(b.z);
  return true;
}

int32_t DelaunayTetMesh::GridCell(const AK_Vec3& q) const
{
  if (_p.Size() < 8) return -1;
  const double rel[3] = {(q.x - _p[0].x) * _gridInvCell[0], (q.y - _p[0].y) * _gridInvCell[1],
                         (q.z - _p[0].z) * _gridInvCell[2]};
  int32_t ix[3];
  for (int i = 0; i < 3; ++i) {
    if (!(rel[i] >= 0 && rel[i] <= _gridN)) return -1;  // outside, or not a number
    ix[i] = static_cast<int32_t>(rel[i]);
  }
  return (ix[2] * _gridN + ix[1]) * _gridN + ix[0];
}

int32_t DelaunayTetMesh::GridTet(const AK_Vec3& q) const
{
  int32_t cell = GridCell(q);
  if (cell < 0) return -1;
  // Deleted tetrahedra may leave numbers beyond the count behind.
  int32_t t = _grid[cell];
  return t < _t.Size() ? t : 0;
}

void DelaunayTetMesh::UpdateGrid(int32_t t)
{
  for (int32_t n : _t[t].node) {
    int32_t cell = GridCell(_p[n]);
    if (cell >= 0) _grid[cell] = t;
  }
}

int32_t DelaunayTetMesh::LocateTet(const AK_Vec3& q) const
{
  int32_t t = GridTet(q);
  if (t < 0) return t;
  const int64_t steps = int64_t(_t.Size()) + 30;
  for (int64_t s = 0; s < steps; ++s) {
    ++AK_TetsSearchedCounter;
    for (int32_t nb : _t[t].neighbour)
      if (nb >= 0) __builtin_prefetch(&_t[nb]);
    int k = _t[t].FaceAbove(_p, q, _scale);
    if (k < 0) return t;
    int32_t nb = _t[t].neighbour[k];
    t = nb < -1 ? -2 - nb : nb;
    if (t == -1) return -1;
  }
  // A walk that does not end must never hand back a tetrahedron that does not hold q:
  // scan for one that does.
  for (int32_t i = 0; i < _t.Size(); ++i)
    if (_t[i].FaceAbove(_p, q, _scale) < 0) return i;
  return -1;
}

int DelaunayTetMesh::NearestTetNode(int32_t t, const AK_Vec3& q, double& d2) const
{
  int best = 0;
  d2 = 0;
  for (int k = 0; k < 4; ++k) {
    AK_Vec3 d = _p[_t[t].node[k]] - q;
    double dd = d.Dot(d);
    if (k == 0 || dd < d2) best = k, d2 = dd;
  }
  return best;
}

bool DelaunayTetMesh::TetInSphere(int32_t t, int32_t node) const
{
  return _t[t].InSphere(_p, _p[node], _scale);
}

void DelaunayTetMesh::LinkTets(int32_t i, int32_t j)
{
  int k = _t[i].SharedFace(_t[j]);
  if (k < 0) return;
  int l = _t[j].SharedFace(_t[i]);
  if (l < 0) return;
  _t[i].neighbour[k] = j;
  _t[j].neighbour[l] = i;
}

void DelaunayTetMesh::HideLinks()
{
  for (int32_t i = 0; i < _t.Size(); ++i)
    for (int32_t& nb : _t[i].neighbour) {
      bool crosses = i < _nActive ? nb >= _nActive : (nb >= 0 && nb < _nActive);
      if (crosses) nb = -2 - nb;
    }
}

void DelaunayTetMesh::RestoreLinks()
{
  for (AK_Tet& t : _t)
    for (int32_t& nb : t.neighbour)
      if (nb < -1) nb = -2 - nb;
  _nActive = _t.Size();
}

int32_t DelaunayTetMesh::InsertPoint(const AK_Vec3& p)
{
  if (_p.Size() < 8) return -1;
  if (_nActive != _t.Size()) RestoreLinks();
  // Only points strictly inside the box, on the predicates' grid, are taken: a point on
  // the hull would give flat tetrahedra.
  const double c[3] = {p.x, p.y, p.z};
  const double lo[3] = {_p[0].x, _p[0].y, _p[0].z}, hi[3] = {_p[6].x, _p[6].y, _p[6].z};
  for (int i = 0; i < 3; ++i) {
    if (!(c[i] > lo[i] && c[i] < hi[i])) return -1;
    int64_t g = AK_GridRound(c[i], _scale);
    if (g <= AK_GridRound(lo[i], _scale) || g >= AK_GridRound(hi[i], _scale)) return -1;
  }
  const AK_Vec3 q(Snap(p.x, _scale), Snap(p.y, _scale), Snap(p.z, _scale));
  const int32_t t0 = LocateTet(q);
  if (t0 < 0) return -1;
  double d2;
  NearestTetNode(t0, q, d2);
  if (_scale * d2 * _scale < 0.5) return -1;

  const int32_t n = _p.Append(q);
  const int32_t oldCount = _t.Size();
  g_region.Clear();
  g_openFaces.Clear();
  g_region.Append(t0);
  for (int32_t r = 0; r < g_region.Size(); ++r) {
    const int32_t T = g_region[r];
    // The neighbours lie anywhere in memory: let their loads overlap.
    for (int32_t nb : _t[T].neighbour)
      if (nb >= 0) __builtin_prefetch(&_t[nb]);
    for (int32_t nb : _t[T].neighbour)
      if (nb >= 0)
        for (int32_t v : _t[nb].node) __builtin_prefetch(&_p[v]);
    for (int k = 0; k < 4; ++k) {
      const int32_t nb = _t[T].neighbour[k];
      if (nb == -2) continue;
      if (nb >= 0 && _t[nb].HasMark()) {
        int j = _t[nb].NeighbourIndex(T);
        if (j >= 0) _t[nb].neighbour[j] = -2;
        _t[T].neighbour[k] = -2;
        continue;
      }
      if (nb >= 0) {
        const AK_Tet& b = _t[nb];
        bool untouched = b.neighbour[0] < oldCount && b.neighbour[1] < oldCount &&
                         b.neighbour[2] < oldCount && b.neighbour[3] < oldCount;
        if (untouched && TetInSphere(nb, n)) {
          g_region.Append(nb);
          _t[nb].neighbour[_t[nb].NeighbourIndex(T)] = -2;
          _t[T].neighbour[k] = -2;
          continue;
        }
      }
      // Face k of T bounds the region: a new tetrahedron joins n to it.
      const int32_t a = _t[T].node[kTetFace[k][0]], b = _t[T].node[kTetFace[k][1]],
                    cc = _t[T].node[kTetFace[k][2]];
      const int32_t m = _t.Size();
      AK_Tet tet(n, a, b, cc);
      tet.neighbour[0] = nb;
      if (nb >= 0) _t[nb].neighbour[_t[nb].NeighbourIndex(T)] = m;
      const int32_t edges[4][2] = {{0, 0}, {b, cc}, {cc, a}, {a, b}};
      for (int j = 1; j <= 3; ++j) {
        const int32_t u = edges[j][0], v = edges[j][1];
        int32_t found = -1;
        for (int32_t f = 0; f < g_openFaces.Size(); ++f)
          if (g_openFaces[f].u == v && g_openFaces[f].v == u) {
            found = f;
            break;
          }
        if (found >= 0) {
          const OpenFace rec = g_openFaces[found];
          tet.neighbour[j] = rec.tet;
          _t[rec.tet].neighbour[rec.face] = m;
          g_openFaces[found] = g_openFaces.Last();
          g_openFaces.SetCount(g_openFaces.Size() - 1);
        } else {
          g_openFaces.Append(OpenFace{u, v, m, j});
        }
      }
      _t.Append(tet);
      UpdateGrid(m);
      _t[T].neighbour[k] = -2;
    }
  }
  AK_FATAL_ASSERT_NAMED(g_openFaces.IsEmpty(), "openFaces.Size() == 0");

  // Delete the region, filling its slots from the end.
  while (!g_region.IsEmpty()) {
    const int32_t T = g_region.Last();
    g_region.SetCount(g_region.Size() - 1);
    if (T >= _t.Size()) continue;
    bool moved = false;
    while (T < _t.Size() && _t[T].HasMark()) {
      _t.SetCount(_t.Size() - 1);
      moved = T < _t.Size();
      if (moved) _t[T] = _t[_t.Size()];
    }
    if (!moved) continue;
    UpdateGrid(T);
    const int32_t old = _t.Size();
    for (int32_t b : _t[T].neighbour)
      if (b >= 0) {
        int j = _t[b].NeighbourIndex(old);
        if (j >= 0) _t[b].neighbour[j] = T;
      }
  }
  _nActive = _t.Size();
  return n;
}

// ---- diagnostics -------------------------------------------------------------------------

int32_t DelaunayTetMesh::CheckConnections(int32_t iTet) const
{
  int32_t errors = 0;
  const AK_Tet& t = _t[iTet];
  for (int iFace = 0; iFace < 4; ++iFace) {
    const int32_t jTet = t.neighbour[iFace];
    if (jTet >= _t.Size()) {
      TraceMarker(__LINE__);
      TraceInt(__LINE__, "iTet", iTet);
      TraceInt(__LINE__, "_t.Size()", _t.Size());
      TraceTet(__LINE__, "_t[iTet]", t);
      ++errors;
      continue;
    }
    if (jTet < 0) continue;
    const AK_Tet& u = _t[jTet];
    if (t.SharedFace(u) != iFace) {
      TraceLink(__LINE__, iTet, t, iFace, jTet, u);
      TraceInt(__LINE__, "_t[iTet].SharedFace(_t[jTet])", t.SharedFace(u));
      ++errors;
    }
    if (u.NeighbourIndex(iTet) < 0) {
      TraceLink(__LINE__, iTet, t, iFace, jTet, u);
      ++errors;
    }
  }
  return errors;
}

int32_t DelaunayTetMesh::CountWrongConnections() const
{
  int32_t n = 0;
  for (int32_t i = 0; i < _t.Size(); ++i) n += CheckConnections(i);
  return n;
}

int32_t DelaunayTetMesh::CountNegativeVolumeTets() const
{
  int32_t n = 0;
  for (int32_t i = 0; i < _nActive; ++i)
    if (_t[i].SignedVolume6(_p) <= 0) ++n;
  return n;
}

int32_t DelaunayTetMesh::CountPointsInSpheres() const
{
  int32_t n = 0;
  for (int32_t i = 0; i < _nActive; ++i)
    for (int k = 0; k < 4; ++k) {
      int32_t b = _t[i].neighbour[k];
      if (b >= 0 && TetInSphere(b, _t[i].node[k])) ++n;
    }
  return n;
}

void DelaunayTetMesh::PrintSummary() const
{
  std::ostream& out = std::cout;
  out << "DelaunayTetMesh: " << NumNodes() << " nodes:" << std::endl;
  for (int32_t i = 0; i < NumNodes(); ++i)
    out << i << '\t' << _p[i].x << ' ' << _p[i].y << ' ' << _p[i].z << std::endl;
  out << _nActive << " tets:" << std::endl;
  for (int32_t i = 0; i < _nActive; ++i) {
    out << i << ':';
    AK_TetPrint(out, _t[i]) << std::endl;
  }
  out << CountWrongConnections() << " wrong connections." << std::endl;
  out << CountNegativeVolumeTets() << " negative volume tets." << std::endl;
  out << CountPointsInSpheres() << " points in spheres." << std::endl;
  const int32_t N = _gridN;
  if (_grid.Size() < N * N * N) return;
  for (int32_t ix = 0; ix < N; ++ix)
    for (int32_t iy = 0; iy < N; ++iy)
      for (int32_t iz = 0; iz < N; ++iz)
        out << ix << ' ' << iy << ' ' << iz << ':' << _grid[(iz * N + iy) * N + ix] << std::endl;
}
