// Debug graphics lines and the checks of the Voronoi cells: the structural check of a cell
// mesh and the diagnostic run over the interior edges of the tetrahedral mesh.
#include <algorithm>
#include <cmath>
#include <iomanip>
#include <sstream>

#include "AK_Message.h"
#include "DelaunayTetMesh.h"
#include "DelaunayTetMesh_Grf.h"

namespace {

void TraceText(int line, const char* name, const std::string& value)
{
  std::printf("AK_Triangulation:%d:%s = '%s'\n", line, name, value.c_str());
}

std::string Histogram(const int32_t counts[32])
{
  std::ostringstream s;
  for (int i = 0; i < 32; ++i) s << ' ' << counts[i];
  return s.str();
}

std::string VecText(const AK_Vec3& v)
{
  std::ostringstream s;
  s << std::setprecision(17) << v.x << ' ' << v.y << ' ' << v.z;
  return s.str();
}

}  // namespace

// Coordinates keep every digit, so that a viewer shows exactly what the mesh holds.
void AK_WriteGrfPoint(std::FILE* f, const AK_Vec3& q, const char* colour, int number)
{
  if (!f) return;
  std::fprintf(f, "p %s %.17g %.17g %.17g\n", colour, q.x, q.y, q.z);
  if (number != -999999) std::fprintf(f, "n %s %d %.17g %.17g %.17g\n", colour, number, q.x, q.y, q.z);
}

void AK_WriteGrfPoint(std::ostream& out, const AK_Vec3& q, const char* colour, int number)
{
  out << "p " << colour << ' ' << VecText(q) << '\n';
  if (number != -999999) out << "n " << colour << ' ' << number << ' ' << VecText(q) << '\n';
}

void AK_WriteGrfLine(std::FILE* f, const AK_Vec3& a, const AK_Vec3& b, const char* colour)
{
  if (!f) return;
  std::fprintf(f, "l %s %.17g %.17g %.17g %.17g %.17g %.17g\n", colour, a.x, a.y, a.z, b.x, b.y, b.z);
}

void AK_WriteGrfLine(std::ostream& out, const AK_Vec3& a, const AK_Vec3& b, const char* colour)
{
  out << "l " << colour << ' ' << VecText(a) << ' ' << VecText(b) << '\n';
}

void AK_WriteGrfTetFace(const DelaunayTetMesh& mesh, int32_t t, int k, std::ostream& out,
                        const char* colour)
{
  mesh._t[t].FaceTriangle(k).Print(out, mesh._p, colour);
}

void AK_WriteGrfCell(const AK_Array<int32_t>& ring, const AK_Points3& x, const char* colour,
                     std::FILE* f)
{
  for (int32_t k = 0; k < ring.Size(); ++k) {
    AK_WriteGrfLine(f, x[ring[k]], x[ring[(k + 1) % ring.Size()]], colour);
    AK_WriteGrfPoint(f, x[ring[k]], colour);
  }
}

int32_t DelaunayTetMesh::CheckVoroMesh(const AK_VoronoiCells& cells) const
{
  const auto& x = cells.x;
  const auto& ic0s = cells.ic0s;
  const auto& ic1s = cells.ic1s;
  const auto& faces = cells.faces;
  AK_Trace("AK_Triangulation", __LINE__, "NumNodes()", NumNodes());
  AK_Trace("AK_Triangulation", __LINE__, "_t.Size()", _t.Size());
  AK_Trace("AK_Triangulation", __LINE__, "x.Size()", x.Size());
  int32_t nCells = 0;
  for (int32_t c : ic0s) nCells = std::max(nCells, c + 1);
  AK_Trace("AK_Triangulation", __LINE__, "nCells", nCells);
  for (int32_t c : ic1s) nCells = std::max(nCells, c + 1);
  AK_Trace("AK_Triangulation", __LINE__, "nCells", nCells);
  {
    std::ostringstream s;
    s << faces.Size() / double(nCells);
    TraceText(__LINE__, "faces.Size()/(double)nCells", s.str());
  }
  AK_Array<int32_t> facesOfCell(nCells);
  facesOfCell.SetCount(nCells);
  for (int32_t i = 0; i < ic0s.Size(); ++i) {
    AK_FATAL_ASSERT(ic0s[i] >= 0);
    ++facesOfCell[ic0s[i]];
    if (ic1s[i] >= 0) ++facesOfCell[ic1s[i]];
  }
  GrfFile grf("check.grf");
  int32_t nn[32] = {0};
  for (int32_t n : facesOfCell)
    if (n < 32) ++nn[n];
  TraceText(__LINE__, "nn", Histogram(nn));
  int32_t vertexCounts[32] = {0};
  int32_t nDupl = 0, nNeg = 0, nSmall = 0;
  for (int32_t i = 0; i < faces.Size(); ++i) {
    const AK_Array<int32_t>& f = faces[i];
    const int32_t n = f.Size();
    if (n < 32) ++vertexCounts[n];
    if (n < 3) ++nSmall;
    for (int32_t j = 0; j < n; ++j)
      for (int32_t k = j + 1; k < n; ++k) nDupl += f[j] == f[k];
    if (ic1s[i] < 0) continue;
    for (int32_t j = 0; j < n; ++j) {
      const AK_Vec3 &R = x[f[(j + n - 1) % n]], &P = x[f[j]], &Q = x[f[(j + 1) % n]];
      const AK_Vec3 m = (P - R).Cross(Q - P);
      nNeg += (_p[ic0s[i]] - P).Dot(m) > 0;
      nNeg += (_p[ic1s[i]] - P).Dot(m) < 0;
    }
  }
  AK_Trace("AK_Triangulation", __LINE__, "nDupl", nDupl);
  AK_Trace("AK_Triangulation", __LINE__, "nNegPartTets", nNeg);
  TraceText(__LINE__, "nn", Histogram(vertexCounts));
  AK_Trace("AK_Triangulation", __LINE__, "nErrors", nDupl + nSmall);
  return nDupl + nSmall;
}

void DelaunayTetMesh::VoronoiDiagramInfo() const
{
  AK_MESSAGE("computing circumcenters...");
  AK_Points3 x(_nActive);
  for (int32_t i = 0; i < _nActive; ++i) x.Append(_t[i].Circumcenter(_p));
  AK_MESSAGE("checking circumcenters...");
  int32_t nUnprecise = 0;
  for (int32_t i = 0; i < _nActive; ++i) {
    double r[4], mean = 0;
    for (int k = 0; k < 4; ++k) mean += (r[k] = (_p[_t[i].node[k]] - x[i]).Length()) * 0.25;
    for (double rk : r) nUnprecise += (rk - mean) / mean > 1e-7;
  }
  AK_Trace("AK_Triangulation", __LINE__, "nUnpreciseCenters", nUnprecise);
  AK_MESSAGE("merging close circumcenters...");
  AK_Array<int32_t> map;
  MergeCloseCircumcenters(x, 0.0001, map);
  GrfFile grf("voro_info.grf");
  AK_MESSAGE("checking faces for negative part tets...");
  int32_t nNeg = 0, nNonPlanar = 0, nCollapsed = 0, nCollapsedEdges = 0;
  AK_Array<int32_t> ring(32);
  for (int32_t i = 0; i < _nActive; ++i)
    for (const auto& edge : kTetEdge) {
      const int32_t a = _t[i].node[edge[0]], b = _t[i].node[edge[1]];
      int open;
      if (!EdgeRing(i, a, b, ring, open) || open) continue;
      for (int32_t& t : ring) t = map[t];
      nCollapsedEdges += RemoveRepeatedVertices(ring);
      if (ring.Size() < 3) {
        ++nCollapsed;
        continue;
      }
      const int32_t n = ring.Size();
      const AK_Vec3 e = _p[b] - _p[a];
      const double L = e.Length();
      AK_Vec3 c, nv;
      for (int32_t t : ring) c += x[t] * (1.0 / n);
      for (int32_t k = 0; k < n; ++k) nv += (x[ring[k]] - c).Cross(x[ring[(k + 1) % n]] - c);
      if (nv.Length() / (L * L) < 1e-8) continue;
      bool planar = true;
      for (int32_t t : ring) planar = planar && (x[t] - c).Dot(e) / L / L <= 1e-8;
      if (!planar) {
        ++nNonPlanar;
        continue;
      }
      for (int32_t k = 0; k < n; ++k) {
        const AK_Vec3 &u = x[ring[k]], &w = x[ring[(k + 1) % n]];
        if ((u - w).Length() / L < 1e-6) continue;
        const int32_t cellOf[2] = {a, b};
        for (int side = 0; side < 2; ++side) {
          const AK_Vec3& o = _p[cellOf[side]];
          const AK_Vec3 turn = side == 0 ? (u - o).Cross(w - o) : (w - o).Cross(u - o);
          if (turn.Dot(c - o) >= 0) continue;
          ++nNeg;
          TraceText(__LINE__, "a", VecText(u));
          TraceText(__LINE__, "b", VecText(w));
          std::ostringstream s1, s2;
          s1 << (u - w).Length() / L;
          s2 << nv.Length() / (L * L);
          TraceText(__LINE__, "(a-b).Length()/scale", s1.str());
          TraceText(__LINE__, "n.Length()/(scale*scale)", s2.str());
          AK_Trace("AK_Triangulation", __LINE__, "tets.Size()", n);
          AK_WriteGrfCell(ring, x, "red", grf.f);
          AK_WriteGrfLine(grf.f, o, c, "green");
          AK_WriteGrfPoint(grf.f, o, "green");
          AK_WriteGrfPoint(grf.f, c, "green");
        }
      }
    }
  AK_Trace("AK_Triangulation", __LINE__, "nNegPartTets", nNeg);
  char text[512];
  std::snprintf(text, sizeof text,
                "INFO:Voronoi diagram info\n%d unprecise circumcenters\n%d negative part tets\n"
                "%d non-planar faces\n%d collapsed faces\n%d collapsed edges\n",
                nUnprecise, nNeg, nNonPlanar, nCollapsed, nCollapsedEdges);
  AK_MESSAGE(text);
}
