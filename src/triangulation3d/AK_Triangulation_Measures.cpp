// Measures of the solid a closed surface encloses (as sums over the tetrahedra that every
// triangle spans with one common apex, exact for a closed, consistently oriented surface),
// the geometry report, feature nodes and longest-edge bisection.
#include <cmath>
#include <sstream>

#include "AK_Numerics.h"
#include "AK_Predicates.h"
#include "AK_Triangulation.h"

double AK_Triangulation::Volume() const
{
  if (_t.Size() == 0) return 0;
  const AK_Vec3& q = _p[0];
  double sum = 0;
  for (const AK_Triangle3& t : _t) sum += t.Normal(_p).Dot(t.P(_p, 0) - q);
  return sum / 6.0;
}

double AK_Triangulation::Area() const
{
  double sum = 0;
  for (const AK_Triangle3& t : _t) sum += t.Normal(_p).Length();
  return sum * 0.5;
}

AK_Vec3 AK_Triangulation::CenterOfGravity() const
{
  if (_t.Size() == 0) return AK_Vec3();
  const AK_Vec3& q = _p[0];
  double w = 0;
  AK_Vec3 s;
  for (const AK_Triangle3& t : _t) {
    const AK_Vec3 &p0 = t.P(_p, 0), &p1 = t.P(_p, 1), &p2 = t.P(_p, 2);
    double v6 = (p2 - q).Dot((p0 - q).Cross(p1 - q));
    w += v6;
    s += (q + p0 + p1 + p2) * (v6 * 0.25);
  }
  // An inward-facing surface has a negative total weight; the quotient is the same centre.
  return w != 0 ? s * (1.0 / w) : AK_Vec3();
}

void AK_Triangulation::InertiaTensor(double inertia[9], const AK_Vec3& centre) const
{
  double c[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (const AK_Triangle3& t : _t) {
    const AK_Vec3 a[3] = {t.P(_p, 0) - centre, t.P(_p, 1) - centre, t.P(_p, 2) - centre};
    const double d = a[0].Dot(a[1].Cross(a[2]));
    const double col[3][3] = {{a[0].x, a[1].x, a[2].x}, {a[0].y, a[1].y, a[2].y},
                              {a[0].z, a[1].z, a[2].z}};
    // d A M A^T with M = 1/60 on the diagonal and 1/120 off it: the second moments of
    // the tetrahedron (centre, p0, p1, p2).
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) {
        double sum = 0;
        for (int k = 0; k < 3; ++k)
          for (int l = 0; l < 3; ++l)
            sum += col[i][k] * (k == l ? 0.016666666666666666 : 0.008333333333333333) * col[j][l];
        c[3 * i + j] += d * sum;
      }
  }
  const double trace = c[0] + c[4] + c[8];
  for (int i = 0; i < 9; ++i) inertia[i] = (i % 4 == 0 ? trace : 0) - c[i];
}

void AK_Triangulation::PrintGeoInfo() const
{
  int32_t open = 0;
  for (const AK_Triangle3& t : _t)
    for (int k = 0; k < 3; ++k)
      if (t.neighbour[k] == -1) ++open;
  const AK_Vec3 c = CenterOfGravity();
  double inertia[9], v[9], vt[9], d[9];
  InertiaTensor(inertia, c);
  AK_JacobiEigen3x3(inertia, v);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) vt[3 * i + j] = v[3 * j + i];
  AK_Matrix3Multiply(d, vt, inertia);
  AK_Matrix3Multiply(d, d, v);

  std::ostringstream text;
  text << "INFO:Geo info:" << "\nnumber of nodes:" << _p.Size()
       << "\nnumber of triangles:" << _t.Size() << "\nvolume:" << Volume()
       << "\narea:" << Area() << "\ncenter of gravity:" << c.x << " " << c.y << " " << c.z
       << "\ninertia tensor:";
  AK_Matrix3Print(text, inertia);
  text << "\ninertia eigenvectors:";
  AK_Matrix3Print(text, v);
  text << "\ninertia length:" << "  ";
  for (int i = 0; i < 3; ++i)
    text << (i ? ", " : "") << v[3 * i] * v[3 * i] + v[3 * i + 1] * v[3 * i + 1] + v[3 * i + 2] * v[3 * i + 2];
  text << "\ninertia eigen:";
  AK_Matrix3Print(text, d);
  text << "\nunconnected edges:" << open << "\nnumber of patches:" << _nPatches
       << "\nnumber of sub-patches:" << _nSubPatches;
  constexpr int kGeoInfoLine = 612;  // the location users know the report by
  AK_Message(text.str().c_str(), "AK_Triangulation", kGeoInfoLine);
}

void AK_Triangulation::NodeNormals(AK_Points3& normals) const
{
  normals.Reserve(_p.Size());
  normals.SetCount(_p.Size());
  for (AK_Vec3& n : normals) n = AK_Vec3();
  for (const AK_Triangle3& t : _t) {
    AK_Vec3 n = t.Normal(_p) * 0.3333333333333333;
    for (int k = 0; k < 3; ++k) normals[t.node[k]] += n;
  }
}

int AK_Triangulation::IsFeatureNode(int32_t t, int k, double cosLimit) const
{
  if (t < 0) return 0;
  const int32_t v = _t[t].node[k];
  AK_Vec3 m = _t[t].UnitNormal(_p);
  int count = 0;
  int32_t current = t;
  // A fan is never longer than the surface; a longer walk runs in a circle that misses t.
  for (int32_t steps = 0; steps <= _t.Size(); ++steps) {
    const AK_Triangle3& c = _t[current];
    int i = c.node[0] == v ? 0 : c.node[1] == v ? 1 : c.node[2] == v ? 2 : -1;
    if (i < 0) AK_FatalAssertion("iv >= 0", "AK_Triangulation", 571);
    int32_t next = c.neighbour[(i + 1) % 3];
    if (next < 0) return 0;
    AK_Vec3 mn = _t[next].UnitNormal(_p);
    if (mn.Dot(m) < cosLimit) ++count;
    if (next == t) return count > 2 ? 1 : 0;
    m = mn;
    current = next;
  }
  return 0;
}

void AK_Triangulation::LinkTriangles(int32_t a, int32_t b)
{
  int ea = _t[a].SharedEdge(_t[b]), eb = _t[b].SharedEdge(_t[a]);
  if (ea < 0 || eb < 0) return;
  _t[a].neighbour[ea] = b;
  _t[b].neighbour[eb] = a;
}

void AK_Triangulation::SplitEdge(int32_t t, int e)
{
  auto appendTriangle = [&](const AK_Triangle3& tri, int32_t from) {
    _t.Append(tri);
    if (_selected.Size() > 0) _selected.Append(_selected[from]);
    if (_subPatch.Size() > 0) _subPatch.Append(_subPatch[from]);
  };
  const AK_Triangle3 old = _t[t];
  const int32_t a = old.node[e], b = old.node[(e + 1) % 3], c = old.node[(e + 2) % 3];
  const int32_t n = old.neighbour[e];
  const int32_t m = _p.Size();
  _p.Append((_p[b] + _p[c]) * 0.5);
  DropOctree();

  const int32_t t1 = _t.Size();
  _t[t] = AK_Triangle3(m, a, b, old.patch);
  appendTriangle(AK_Triangle3(m, c, a, old.patch), t);
  LinkTriangles(t, t1);
  if (old.neighbour[(e + 2) % 3] >= 0) LinkTriangles(t, old.neighbour[(e + 2) % 3]);
  if (old.neighbour[(e + 1) % 3] >= 0) LinkTriangles(t1, old.neighbour[(e + 1) % 3]);
  if (n < 0) return;

  const AK_Triangle3 other = _t[n];
  int k = other.neighbour[0] == t ? 0 : other.neighbour[1] == t ? 1 : 2;
  const int32_t d = other.node[k];
  const int32_t t2 = _t.Size();
  _t[n] = AK_Triangle3(m, d, c, other.patch);
  appendTriangle(AK_Triangle3(m, b, d, other.patch), n);
  LinkTriangles(n, t2);
  if (other.neighbour[(k + 2) % 3] >= 0) LinkTriangles(n, other.neighbour[(k + 2) % 3]);
  if (other.neighbour[(k + 1) % 3] >= 0) LinkTriangles(t2, other.neighbour[(k + 1) % 3]);
  LinkTriangles(t, t2);
  LinkTriangles(n, t1);
}

double AK_Triangulation::LongestEdgeLength(int32_t t) const
{
  return _t[t].EdgeLength(_p, _t[t].LongestEdge(_p));
}

void AK_Triangulation::FindTerminalEdge(int32_t t, int32_t& terminal, int& edge) const
{
  int32_t current = t;
  int e = _t[current].LongestEdge(_p);
  for (int32_t steps = 0; steps < _t.Size(); ++steps) {
    e = _t[current].LongestEdge(_p);
    int32_t nb = _t[current].neighbour[e];
    if (nb < 0 || _t[nb].neighbour[_t[nb].LongestEdge(_p)] == current) break;
    current = nb;
  }
  terminal = current;
  edge = e;
}

int32_t AK_Triangulation::SplitMarkedTriangles(AK_BitArray& marks)
{
  const int32_t v0 = _p.Size();
  int32_t count;
  do {
    count = 0;
    for (int32_t i = 0; i < marks.Size(); ++i) {
      if (!marks.Test(i)) continue;
      int32_t c;
      int e;
      FindTerminalEdge(i, c, e);
      int32_t nb = _t[c].neighbour[e];
      if (c < marks.Size()) marks.Clear(c);
      if (nb >= 0 && nb < marks.Size()) marks.Clear(nb);
      SplitEdge(c, e);
      ++count;
    }
    AK_Trace("AK_Triangulation", 776, "nSplits", count);
  } while (count != 0);
  return _p.Size() - v0;
}

int32_t AK_Triangulation::SplitAtSharpEdges(double cosLimit)
{
  const int32_t v0 = _p.Size();
  // Where a crease meets another at a right corner, the halves of a split crease edge are
  // again the longest edges of their triangles, and again sharp: the splits would go on for
  // ever. Edges shorter than this part of the surface's size are therefore left whole.
  AK_Vec3 lo, hi;
  AK_PointArrayBox(_p, lo, hi);
  const double shortest = kSharpSplitFloor * (hi - lo).Length();
  int32_t count, leftWhole;
  do {
    count = 0;
    leftWhole = 0;
    const int32_t n = _t.Size();
    for (int32_t t = 0; t < n; ++t) {
      if (!IsSharpEdge(t, _t[t].LongestEdge(_p), cosLimit)) continue;
      int32_t c;
      int e;
      FindTerminalEdge(t, c, e);
      if (_t[c].EdgeLength(_p, e) < shortest) {
        ++leftWhole;
        continue;
      }
      SplitEdge(c, e);
      ++count;
    }
    AK_Trace("AK_Triangulation", 800, "nSplits", count);
  } while (count != 0);
  if (leftWhole > 0)
    AK_MESSAGE(AK_String::Format("splitting at sharp edges stopped with %d sharp edges shorter than %g "
                                 "(%g of the surface's size) left whole",
                                 leftWhole, shortest, kSharpSplitFloor));
  return _p.Size() - v0;
}
