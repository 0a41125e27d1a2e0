// Voronoi cells of the tetrahedral mesh, clipped at its hull: one vertex per circumcentre,
// one face per mesh edge, boundary faces from the points where Voronoi edges leave the hull.
#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>

#include "AK_Message.h"
#include "DelaunayTetMesh.h"
#include "DelaunayTetMesh_Grf.h"

int32_t _nBndOut = 0;

namespace {

int32_t BucketCount(int32_t nActive) { return nActive / 77 + 7; }

// Runs merge passes until one merges nothing; answers the total.
int32_t RepeatMergePasses(const std::function<int32_t()>& pass)
{
  int32_t total = 0, merged;
  do {
    merged = pass();
    AK_Trace("AK_Triangulation", __LINE__, "nMerged", merged);
    total += merged;
  } while (merged > 0);
  AK_Trace("AK_Triangulation", __LINE__, "nMergedTot", total);
  return total;
}

void AppendFace(AK_VoronoiCells& cells, int32_t c0, int32_t c1, int32_t kind,
                const AK_Array<int32_t>& ring)
{
  cells.ic0s.Append(c0);
  cells.ic1s.Append(c1);
  cells.faceKinds.Append(kind);
  cells.faces.Append(ring);
}

void AddBndEdge(BndEdgeTable& table, int32_t cell, int32_t from, int32_t to)
{
  table[cell % table.Size()].Append(BndEdge{cell, from, to});
}

}  // namespace

int32_t RemoveRepeatedVertices(AK_Array<int32_t>& ring)
{
  int32_t removed = 0;
  for (int32_t i = 0; ring.Size() > 1 && i < ring.Size();) {
    int32_t next = (i + 1) % ring.Size();
    if (ring[next] == ring[i]) {
      ring.Remove(next);
      ++removed;
      if (next < i) --i;
    } else {
      ++i;
    }
  }
  return removed;
}

bool DelaunayTetMesh::EdgeRing(int32_t t0, int32_t a, int32_t b, AK_Array<int32_t>& ring,
                               int& open) const
{
  ring.Clear();
  open = 0;
  int32_t t = t0;
  for (;;) {
    t = _t[t].RotationNeighbour(a, b);
    if (t < 0) break;
    if (t < t0) return false;
    ring.Append(t);
    if (t == t0) return true;
  }
  open = 1;
  ReverseIntArray(ring);
  ring.Append(t0);
  t = t0;
  for (;;) {
    t = _t[t].RotationNeighbour(b, a);
    if (t < 0) {
      ReverseIntArray(ring);
      return true;
    }
    if (t < t0) return false;
    ring.Append(t);
  }
}

int32_t DelaunayTetMesh::MergeCloseCircumcenters(const AK_Points3& x, double tol,
                                                 AK_Array<int32_t>& map) const
{
  GrfFile grf("merged_pts.grf");
  map = AK_Array<int32_t>(x.Size());
  for (int32_t i = 0; i < x.Size(); ++i) map.Append(i);
  const int32_t count = std::min(x.Size(), _nActive);
  return RepeatMergePasses([&] {
    int32_t merged = 0;
    for (int32_t i = 0; i < count; ++i)
      for (int k = 0; k < 4; ++k) {
        const int32_t nb = _t[i].neighbour[k];
        if (nb < 0 || nb >= count) continue;
        const int32_t ci = map[i], cn = map[nb];
        if (ci >= cn) continue;
        const double a2 = AK_TetFaceNormal(_p, _t[i], k).Length();
        const AK_Vec3 d = x[cn] - x[ci];
        if (d.Dot(d) < a2 * tol * tol) {
          map[nb] = ci;
          ++merged;
          AK_WriteGrfPoint(grf.f, x[cn], "red");
          AK_WriteGrfLine(grf.f, x[cn], x[ci], "red");
        }
      }
    return merged;
  });
}

void DelaunayTetMesh::ComputeBoundaryPoint(BndFaceTable& table, int32_t t, int k,
                                           AK_Points3& x) const
{
  const AK_Vec3 cc = x[t];
  const AK_Vec3& q0 = _p[_t[t].node[kTetFace[k][0]]];
  const AK_Vec3 n = AK_TetFaceNormal(_p, _t[t], k);
  const double n2 = n.Dot(n);
  double s = (q0 - cc).Dot(n) / n2;
  const double r = std::sqrt((q0 - cc).Dot(q0 - cc) / n2);
  if (r * 0.125 > s) {
    s = r * 0.125;
    ++_nBndOut;
  }
  AddBndFaceIntPt(table, t, k, x.Append(cc + n * s));
}

BndFaceIntPt& DelaunayTetMesh::FindBndFaceIntPt(BndFaceTable& table, int32_t t, int k) const
{
  AK_Array<BndFaceIntPt>& bucket = table[t % table.Size()];
  for (BndFaceIntPt& r : bucket)
    if (r.tet == t && r.face == k) return r;
  AK_FatalAssertion("!\"valid BndFaceIntPt\"", __FILE__, __LINE__);
}

int32_t DelaunayTetMesh::BndFaceIntPtIndex(BndFaceTable& table, int32_t t, int k) const
{
  return FindBndFaceIntPt(table, t, k).vertex;
}

void DelaunayTetMesh::AddBndFaceIntPt(BndFaceTable& table, int32_t t, int k, int32_t vertex) const
{
  table[t % table.Size()].Append(BndFaceIntPt{t, k, vertex});
}

int32_t DelaunayTetMesh::MergeCloseBndPoints(BndFaceTable& table, const AK_Points3& x,
                                             double tol) const
{
  GrfFile grf("merged_bnd_int_pts.grf");
  AK_Array<int32_t> ring(32);
  return RepeatMergePasses([&] {
    int32_t merged = 0;
    for (int32_t i = 0; i < _nActive; ++i)
      for (const auto& e : kTetEdge) {
        const int32_t a = _t[i].node[e[0]], b = _t[i].node[e[1]];
        int open;
        if (!EdgeRing(i, a, b, ring, open) || !open || ring.IsEmpty()) continue;
        BndFaceIntPt& r1 = FindBndFaceIntPt(table, ring[0], _t[ring[0]].RotationFace(b, a));
        BndFaceIntPt& r2 = FindBndFaceIntPt(table, ring.Last(), _t[ring.Last()].RotationFace(a, b));
        if (r1.vertex == r2.vertex) continue;
        const AK_Vec3 d = x[r1.vertex] - x[r2.vertex], e2 = _p[b] - _p[a];
        if (d.Dot(d) >= e2.Dot(e2) * tol * tol) continue;
        BndFaceIntPt& high = r1.vertex > r2.vertex ? r1 : r2;
        const int32_t kept = std::min(r1.vertex, r2.vertex), gone = high.vertex;
        high.vertex = kept;
        ++merged;
        AK_WriteGrfPoint(grf.f, x[kept], "blue");
        AK_WriteGrfLine(grf.f, x[kept], x[gone], "blue");
      }
    return merged;
  });
}

void DelaunayTetMesh::BuildVoronoiMesh(AK_VoronoiCells& cells, double cosFeature) const
{
  GrfFile grf("voro.grf");
  cells = AK_VoronoiCells();
  AK_Points3& x = cells.x;
  AK_MESSAGE("computing circumcenters...");
  x.Reserve(_nActive);
  for (int32_t i = 0; i < _nActive; ++i) x.Append(_t[i].Circumcenter(_p));
  AK_MESSAGE("merging close circumcenters...");
  AK_Array<int32_t> map;
  MergeCloseCircumcenters(x, 0.001, map);

  AK_MESSAGE("computing bnd intersection points...");
  _nBndOut = 0;
  BndFaceTable faceTable;
  faceTable.Resize(BucketCount(_nActive));
  faceTable.SetCount(faceTable.Capacity());
  for (int32_t i = 0; i < _nActive; ++i)
    for (int k = 0; k < 4; ++k) {
      const int32_t nb = _t[i].neighbour[k];
      if (nb < 0 || nb >= _nActive) ComputeBoundaryPoint(faceTable, i, k, x);
    }
  AK_MESSAGE("merging close bnd intersection points...");
  MergeCloseBndPoints(faceTable, x, 0.01);
  const int32_t nFirst = x.Size();
  BndEdgeTable edgeTable;
  edgeTable.Resize(BucketCount(_nActive));
  edgeTable.SetCount(edgeTable.Capacity());
  AK_Trace("AK_Triangulation", __LINE__, "_nBndOut", _nBndOut);

  AK_MESSAGE("collecting faces...");
  int32_t nCollapsedEdges = 0, nCollapsed = 0;
  AK_Array<int32_t> ring(32);
  for (int32_t i = 0; i < _nActive; ++i) {
    if (i % 10000 == 0) {
      std::ostringstream s;
      s << i * 100.0 / _t.Size() << "%";
      AK_MESSAGE(s.str().c_str());
    }
    for (const auto& e : kTetEdge) {
      const int32_t a = _t[i].node[e[0]], b = _t[i].node[e[1]];
      int open;
      if (!EdgeRing(i, a, b, ring, open) || ring.IsEmpty()) continue;
      const int32_t tFirst = ring[0], tLast = ring.Last();
      const AK_Tet &first = _t[tFirst], &last = _t[tLast];
      for (int32_t& t : ring) t = map[t];
      if (open) {
        const int k1 = first.RotationFace(b, a), k2 = last.RotationFace(a, b);
        const int32_t p1 = BndFaceIntPtIndex(faceTable, tFirst, k1);
        const int32_t p2 = BndFaceIntPtIndex(faceTable, tLast, k2);
        ring.Insert(0, p1);
        if (p1 == p2) {
          ++nCollapsedEdges;
        } else {
          ring.Append(p2);
          AK_Vec3 u1 = AK_TetFaceNormal(_p, first, k1), u2 = AK_TetFaceNormal(_p, last, k2);
          u1 *= 1.0 / u1.Length();
          u2 *= 1.0 / u2.Length();
          int32_t c = a;
          for (int j = 0; j < 3 && (c == a || c == b); ++j) c = last.node[kTetFace[k2][j]];
          if (u1.Dot(u2) >= cosFeature || (_p[c] - _p[a]).Dot(u1) > 0) {
            AddBndEdge(edgeTable, a, p1, p2);
            AddBndEdge(edgeTable, b, p2, p1);
          } else {
            const int32_t m = x.Append((_p[a] + _p[b]) * 0.5);
            ring.Insert(0, m);
            AddBndEdge(edgeTable, a, p1, m);
            AddBndEdge(edgeTable, a, m, p2);
            AddBndEdge(edgeTable, b, p2, m);
            AddBndEdge(edgeTable, b, m, p1);
          }
        }
      }
      nCollapsedEdges += RemoveRepeatedVertices(ring);
      if (ring.Size() < 3) {
        ++nCollapsed;
        continue;
      }
      AppendFace(cells, a, b, -1, ring);
    }
  }
  AK_Trace("AK_Triangulation", __LINE__, "nCollapsedEdges", nCollapsedEdges);
  AK_Trace("AK_Triangulation", __LINE__, "nCollapsed", nCollapsed);
  AK_Trace("AK_Triangulation", __LINE__, "CheckVoroMesh(x, ic0s, ic1s, faces)", CheckVoroMesh(cells));
  AK_MESSAGE("collecting bnd faces...");
  CollectBoundaryFaces(nFirst, edgeTable, cells);
  AK_MESSAGE("faces set up.");
  AK_Trace("AK_Triangulation", __LINE__, "CheckVoroMesh(x, ic0s, ic1s, faces)", CheckVoroMesh(cells));
}

void DelaunayTetMesh::CollectBoundaryFaces(int32_t nFirst, BndEdgeTable& table,
                                           AK_VoronoiCells& cells) const
{
  AK_MESSAGE("collecting boundary faces...");
  AK_Array<BndEdge> segments(32);
  AK_Array<int32_t> loop(32), face(32);
  int32_t removed = 0;
  for (AK_Array<BndEdge>& bucket : table) {
    while (!bucket.IsEmpty()) {
      const int32_t c = bucket[0].cell;
      segments.Clear();
      for (int32_t j = 0; j < bucket.Size();) {
        if (bucket[j].cell != c) {
          ++j;
          continue;
        }
        segments.Append(bucket[j]);
        bucket[j] = bucket.Last();
        bucket.SetCount(bucket.Size() - 1);
      }
      loop.Clear();
      loop.Append(segments[0].to);
      bool closed = true;
      while (closed && loop.Size() < segments.Size()) {
        closed = false;
        for (int32_t s = 1; s < segments.Size(); ++s)
          if (segments[s].from == loop.Last()) {
            loop.Append(segments[s].to);
            closed = true;
            break;
          }
      }
      closed = closed && segments[0].from == loop.Last();
      if (!closed) {
        ++removed;
        for (int32_t j = 0; j < cells.ic0s.Size();) {
          if (cells.ic0s[j] == c && cells.ic1s[j] < 0) {
            int32_t lastFace = cells.ic0s.Size() - 1;
            cells.ic0s[j] = cells.ic0s[lastFace];
            cells.ic1s[j] = cells.ic1s[lastFace];
            cells.faceKinds[j] = cells.faceKinds[lastFace];
            cells.faces[j] = std::move(cells.faces[lastFace]);
            cells.ic0s.SetCount(lastFace);
            cells.ic1s.SetCount(lastFace);
            cells.faceKinds.SetCount(lastFace);
            cells.faces.SetCount(lastFace);
            continue;
          }
          if (cells.ic0s[j] == c) {
            cells.ic0s[j] = cells.ic1s[j];
            cells.ic1s[j] = -1;
            ReverseIntArray(cells.faces[j]);
          }
          if (cells.ic1s[j] == c) cells.ic1s[j] = -1;
          ++j;
        }
        continue;
      }
      int32_t nFeatures = 0, start = -1;
      for (int32_t j = 0; j < loop.Size(); ++j)
        if (loop[j] >= nFirst) {
          if (start < 0) start = j;
          ++nFeatures;
        }
      if (nFeatures <= 1) {
        AppendFace(cells, c, -1, 0, loop);
        continue;
      }
      const int32_t kind = nFeatures == 2 ? 1 : 2;
      const int32_t centre = kind == 2 ? cells.x.Append(_p[c]) : -1;
      for (int32_t f = 0, j = start; f < nFeatures; ++f) {
        face.Clear();
        if (centre >= 0) face.Append(centre);
        face.Append(loop[j]);
        do {
          j = (j + 1) % loop.Size();
          face.Append(loop[j]);
        } while (loop[j] < nFirst);
        AppendFace(cells, c, -1, kind, face);
      }
    }
  }
  AK_Trace("AK_Triangulation", __LINE__, "nBndCellsRemoved", removed);
}
