// Boundary layer points: for every node on the boundary of the active tetrahedra, a row of
// points along the inward normal at geometrically growing distances, and the points file.
#include <cmath>
#include <functional>
#include <string>

#include "AK_Message.h"
#include "AK_Predicates.h"
#include "DelaunayTetMesh.h"

namespace {

struct BoundaryFace {
  AK_Vec3 projectedCentre;  // circumcentre of its tetrahedron projected onto its plane
  double distance;          // of that projection from the node
};

// Calls emit(iteration, point, target size) for every accepted point. byLayer selects the
// stricter variant: every neighbour off the node's tangent plane bounds the empty ball.
void PlaceLayerPoints(const DelaunayTetMesh& mesh, double first, double growth,
                      int32_t nLayers, bool byLayer,
                      const std::function<void(int32_t, const AK_Vec3&, float)>& emit)
{
  const AK_Points3& p = mesh._p;
  AK_Points3 centres(mesh._nActive);
  for (int32_t i = 0; i < mesh._nActive; ++i) centres.Append(mesh._t[i].Circumcenter(p));
  AK_Array<int32_t> star(32), neighbours(32);
  AK_Array<BoundaryFace> faces(32);
  for (int32_t i = 0; i < mesh._nActive; ++i) {
    if (i % 1000 == 0)
      AK_Message((std::to_string(int64_t(i) * 100 / mesh._t.Size()) + " % layer points generated").c_str(),
                 "AK_Triangulation", byLayer ? 2040 : 2166);
    for (int k = 0; k < 4; ++k) {
      const int32_t v = mesh._t[i].node[k];
      if (v < 8) continue;
      mesh.TetsAroundNode(i, k, star);
      bool handled = false;
      for (int32_t s : star) handled = handled || s < i;
      if (handled) continue;
      neighbours.Clear();
      faces.Clear();
      AK_Vec3 N, S;
      double L = 0;
      const AK_Vec3& pv = p[v];
      for (int32_t s : star) {
        const AK_Tet& t = mesh._t[s];
        for (int j = 0; j < 4; ++j) {
          if (t.node[j] != v && neighbours.Find(t.node[j]) < 0) neighbours.Append(t.node[j]);
          const int32_t nb = t.neighbour[j];
          const bool boundary = nb < 0 || (nb >= mesh._nActive) != (s >= mesh._nActive);
          if (!boundary || t.node[j] == v) continue;
          const AK_Vec3 nf = AK_TetFaceNormal(p, t, j);
          const AK_Vec3& A = p[t.node[kTetFace[j][0]]];
          N += nf;
          L += nf.Length();
          S += (A + p[t.node[kTetFace[j][1]]] + p[t.node[kTetFace[j][2]]]) * (1.0 / 3) - pv;
          const AK_Vec3& c = centres[s];
          const AK_Vec3 pf = c + nf * ((pv - c).Dot(nf) / nf.Dot(nf));
          faces.Append(BoundaryFace{pf, (pf - pv).Length()});
        }
      }
      if (faces.IsEmpty()) continue;  // an inner node
      const double lengthN = N.Length();
      if (!(lengthN > 0) || !std::isfinite(L) || !std::isfinite(lengthN)) {
        AK_MESSAGE(("WARNING:layer points: node " + std::to_string(v) +
                    " skipped, its boundary normal is degenerate").c_str());
        continue;
      }
      if (N.Dot(S) < 0 && lengthN / L < std::sqrt(0.75)) continue;  // sharp fold
      const AK_Vec3 m = N * (-1.0 / lengthN);
      double r = 1e30;
      for (int32_t x = neighbours.Size() - 1; x >= 0; --x) {
        const AK_Vec3 d = p[neighbours[x]] - pv;
        const double s = d.Dot(m);
        if (byLayer ? std::fabs(s) > 1e-10 : s > 0) r = std::fmin(r, 0.5 * d.Dot(d) / s);
      }
      double t = std::sqrt(L / 3) * first, dist = t;
      for (int32_t layer = 0; layer < nLayers && r > dist + 0.5 * t; ++layer) {
        const AK_Vec3 q = pv + m * dist;
        bool accepted = true;
        for (const BoundaryFace& f : faces)
          accepted = accepted && (f.projectedCentre - q).Length() >= 1.1 * f.distance;
        if (accepted) emit(layer, q, float(0.9 * t));
        t *= growth;
        dist += t;
      }
    }
  }
  AK_Message("100 % layer points generated", "AK_Triangulation", byLayer ? 2138 : 2255);
}

}  // namespace

void DelaunayTetMesh::GenerateLayerPoints(AK_Points3& points, AK_Array<float>& values,
                                          double first, double growth, int32_t nLayers) const
{
  PlaceLayerPoints(*this, first, growth, nLayers, false,
                   [&](int32_t, const AK_Vec3& q, float size) {
                     points.Append(q);
                     values.Append(size);
                   });
}

void DelaunayTetMesh::GenerateLayerPointsByLayer(AK_Array<AK_Points3>& points,
                                                 AK_Array<AK_Array<float>>& values,
                                                 double first, double growth,
                                                 int32_t nLayers) const
{
  PlaceLayerPoints(*this, first, growth, nLayers, true,
                   [&](int32_t layer, const AK_Vec3& q, float size) {
                     while (points.Size() <= layer) points.Append(AK_Points3());
                     while (values.Size() <= layer) values.Append(AK_Array<float>());
                     points[layer].Append(q);
                     values[layer].Append(size);
                   });
}

bool DelaunayTetMesh::WritePointsFile(const char* fileName, const AK_Vec3& bmin,
                                      const AK_Vec3& bmax, double first, double growth,
                                      int32_t nLayers) const
{
  AK_Points3 points;
  AK_Array<float> values;
  GenerateLayerPoints(points, values, first, growth, nLayers);
  std::FILE* f = std::fopen(fileName, "w");
  if (!f) {
    AK_MESSAGE((std::string("ERROR:cannot write the points file ") + fileName).c_str());
    return false;
  }
  // Every digit is kept, so that a later meshing run sees exactly these points.
  std::fprintf(f, "%.17g %.17g %.17g\n", bmin.x, bmin.y, bmin.z);
  std::fprintf(f, "%.17g %.17g %.17g\n", bmax.x, bmax.y, bmax.z);
  for (const AK_Vec3& q : _p) std::fprintf(f, "%.17g %.17g %.17g %.17g\n", q.x, q.y, q.z, 0.0);
  for (int32_t i = 0; i < points.Size(); ++i)
    std::fprintf(f, "%.17g %.17g %.17g %.17g\n", points[i].x, points[i].y, points[i].z,
                 double(values[i]));
  const bool ok = !std::ferror(f);
  if (std::fclose(f) != 0 || !ok) {
    AK_MESSAGE((std::string("ERROR:cannot write the points file ") + fileName).c_str());
    return false;
  }
  return true;
}
