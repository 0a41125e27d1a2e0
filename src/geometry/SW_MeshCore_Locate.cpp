// Point location, interpolation weights, projection onto the surface and segment walks.
// These run for every particle in every time step: no allocation, no searching on grids.
#include <cmath>
#include <vector>

#include "AK_Predicates.h"
#include "SW_MeshCore.h"

namespace {

// Weights of a point that lies in its cell (decided exactly) and still come out below 0
// are errors of the weights themselves: rounding for triangles and grid cells, and for
// other quadrilaterals the Newton iteration, which stops once its steps fall below 0.001
// and leaves errors of about the square of that. Within this bound they are taken as 0.
constexpr double kWeightTolerance = 1e-3;

inline AK_Vec2 XY(const AK_Vec3& p) { return AK_Vec2{p.x, p.y}; }

inline bool IsFinitePoint(double x, double y) { return std::isfinite(x) && std::isfinite(y); }

}  // namespace

int SW_MeshCore::ExitEdge(double px, double py, int32_t c) const
{
  const AK_Index4& cell = _lcv[c];
  for (int k = 0; k < 4; ++k) {
    int32_t ia = cell[k];
    if (ia < 0) return -1;
    int32_t ib = cell[(k + 1) & 3];
    if (ib < 0) ib = cell[0];
    const AK_Vec3& a = _x[ia];
    const AK_Vec3& b = _x[ib];
    double bound;
    double s = AK_Orient2dFast(a.x, a.y, b.x, b.y, px, py, &bound);
    // A point far beyond the doubles' square root overflows the cross value: only the
    // exact sign tells its side then. A point with a coordinate that is not finite always
    // lands here too (its cross value is infinite or a non-number); it has no side, lies
    // outside every cell and leaves by the first edge.
    if (!std::isfinite(bound)) {
      if (!IsFinitePoint(px, py)) return k;
      if (AK_Orient2dSign(a.x, a.y, b.x, b.y, px, py) < 0) return k;
      continue;
    }
    // Near the edge the sign is decided exactly: a point on a shared edge is then inside
    // both cells, never outside both (which would send a walk back and forth).
    if (s < 0 && (s < -bound || AK_Orient2dSign(a.x, a.y, b.x, b.y, px, py) < 0)) return k;
  }
  return -1;
}

// ---------------------------------------------------------------------------------------
// Cell search

// Column (or row) of a grid coordinate q = offset / cell size with n cells: -1 left of or
// below the grid; a point on the far border belongs to the last cell.
static inline int32_t GridIndex(double q, int32_t n, bool onFarBorder)
{
  if (!(q >= 0)) return -1;  // also a non-number
  if (q < n) return static_cast<int32_t>(q);
  return onFarBorder ? n - 1 : -1;
}

int32_t SW_MeshCore::CartesianCell(double px, double py) const
{
  int32_t i = GridIndex((px - _xll.x) / _dx, _nx, px <= _nx * _dx + _xll.x);
  if (i < 0) return -1;
  const double dy = RowStep();
  int32_t j = GridIndex((py - _xll.y) / dy, _ny, py <= _ny * dy + _xll.y);
  if (j < 0) return -1;
  return i * _ny + j;
}

int32_t SW_MeshCore::HoneycombCell(double px, double py) const
{
  const double h = _rowHeight;
  int32_t j = GridIndex((py - _xll.y) / h, _ny, py <= _ny * h + _xll.y);
  if (j < 0) return -1;
  double t = ((py - _xll.y) - j * h) / h;
  double u = (j % 2 == 0) ? t : 1.0 - t;
  double q = u * (_dx * 0.5) + px - _xll.x;
  double qi = q / _dx;
  int32_t i;
  if (qi >= 0 && qi < _nx) {
    i = static_cast<int32_t>(qi);
  } else if (std::fabs(qi) < 1e-9 || std::fabs(qi - _nx) < 1e-9) {
    // Within rounding of the slanted left or right border: decide on the border cell's own
    // edges, which count border points as inside.
    i = qi < 1 ? 0 : _nx - 1;
    int32_t m = i * _ny + j;
    if (ExitEdge(px, py, 2 * m) < 0) return 2 * m;
    if (ExitEdge(px, py, 2 * m + 1) < 0) return 2 * m + 1;
    return -1;
  } else {
    return -1;
  }
  double s = (q - i * _dx) / _dx;
  int32_t m = i * _ny + j;
  if (j % 2 == 0) return t - s >= 0 ? 2 * m + 1 : 2 * m;
  return s + t >= 1.0 ? 2 * m + 1 : 2 * m;
}

int32_t SW_MeshCore::RandomStartCell(double px, double py) const
{
  const int32_t n = NumCells();
  int32_t best = AK_Random() % n;
  AK_Vec3 centre = CellCentre(best);
  double bestDist = (centre.x - px) * (centre.x - px) + (centre.y - py) * (centre.y - py);
  for (int draw = 0; draw < 100; ++draw) {
    int32_t r = AK_Random() % n;
    AK_Vec3 cr = CellCentre(r);
    double d = (cr.x - px) * (cr.x - px) + (cr.y - py) * (cr.y - py);
    if (d < bestDist) {
      bestDist = d;
      best = r;
    }
  }
  return best;
}

int32_t SW_MeshCore::WalkToCell(double px, double py, int32_t current) const
{
  const int32_t maxSteps = NumCells() + 1;
  for (int32_t step = 0; step < maxSteps; ++step) {
    int e = ExitEdge(px, py, current);
    if (e < 0) return current;
    int32_t next = _lcc[current][e];
    // Beyond the border, or a cell that names itself across the edge the point lies
    // beyond (a broken table): no cell holds the point here.
    if (next < 0 || next == current) return -1;
    current = next;
  }
  // A walk that cycles (possible on meshes that are not Delaunay) ends here; the cell it
  // reached counts only when it holds the point.
  return ExitEdge(px, py, current) < 0 ? current : -1;
}

int32_t SW_MeshCore::FindCell(double px, double py, int32_t hint) const
{
  const int32_t n = NumCells();
  if (n == 0) return -1;
  // The grid formulas place a coordinate that is not finite outside by their own range tests.
  if (_cartesian) return CartesianCell(px, py);
  if (_honeycomb) return HoneycombCell(px, py);
  SW_MESH_FATAL_ASSERT(_lcc.Size() == n, "_lcc.Size()");
  // A walk toward such a point would never find its side: it lies in no cell (and draws no
  // random start).
  if (!IsFinitePoint(px, py)) return -1;
  int32_t start = (hint >= 0 && hint < n) ? hint : RandomStartCell(px, py);
  return WalkToCell(px, py, start);
}

// ---------------------------------------------------------------------------------------
// Interpolation

void SW_MeshCore::CellWeightsOfPoints(int32_t c, int n, const double* px, const double* py,
                                      double (*w)[4]) const
{
  if (!_cartesian) {
    for (int k = 0; k < n; ++k) CellWeights(c, px[k], py[k], w[k]);
    return;
  }
  const int32_t i = c / _ny, j = c % _ny;
  const double x0 = i * _dx + _xll.x;
  const double dy = RowStep();
  const double y0 = j * dy + _xll.y;
  for (int k = 0; k < n; ++k) {
    const double u = (px[k] - x0) / _dx;
    const double v = (py[k] - y0) / dy;
    w[k][0] = (1 - u) * (1 - v);
    w[k][1] = u * (1 - v);
    w[k][2] = u * v;
    w[k][3] = (1 - u) * v;
  }
}

void SW_MeshCore::CellWeights(int32_t c, double px, double py, double w[4]) const
{
  if (_cartesian) {
    int32_t i = c / _ny, j = c % _ny;
    double u = (px - (i * _dx + _xll.x)) / _dx;
    const double dy = RowStep();
    double v = (py - (j * dy + _xll.y)) / dy;
    w[0] = (1 - u) * (1 - v);
    w[1] = u * (1 - v);
    w[2] = u * v;
    w[3] = (1 - u) * v;
    return;
  }
  const AK_Index4& cell = _lcv[c];
  const AK_Vec3& p0 = _x[cell[0]];
  const AK_Vec3& p1 = _x[cell[1]];
  const AK_Vec3& p2 = _x[cell[2]];
  if (cell[3] < 0) {
    double d1x = p1.x - p0.x, d1y = p1.y - p0.y;
    double d2x = p2.x - p0.x, d2y = p2.y - p0.y;
    double rx = px - p0.x, ry = py - p0.y;
    double det = d1x * d2y - d2x * d1y;
    if (!(std::fabs(det) > 0)) {
      // A cell without area has no barycentric coordinates: take its centre.
      w[0] = w[1] = w[2] = 1.0 / 3.0;
      w[3] = 0;
      return;
    }
    double a = (rx * d2y - d2x * ry) / det;
    double b = (d1x * ry - rx * d1y) / det;
    w[0] = 1 - a - b;
    w[1] = a;
    w[2] = b;
    w[3] = 0;
    return;
  }
  const AK_Vec3& p3 = _x[cell[3]];
  double s = 0.5, t = 0.5;
  for (int iter = 0; iter < 5; ++iter) {
    double w0 = (1 - s) * (1 - t), w1 = s * (1 - t), w2 = s * t, w3 = (1 - s) * t;
    double rx = px - (w0 * p0.x + w1 * p1.x + w2 * p2.x + w3 * p3.x);
    double ry = py - (w0 * p0.y + w1 * p1.y + w2 * p2.y + w3 * p3.y);
    double dsx = (1 - t) * (p1.x - p0.x) + t * (p2.x - p3.x);
    double dsy = (1 - t) * (p1.y - p0.y) + t * (p2.y - p3.y);
    double dtx = (1 - s) * (p3.x - p0.x) + s * (p2.x - p1.x);
    double dty = (1 - s) * (p3.y - p0.y) + s * (p2.y - p1.y);
    double det = dty * dsx - dsy * dtx;
    // A vanishing Jacobian (a degenerate cell, or a point far outside a folded map) ends
    // the iteration with the weights reached so far.
    if (!(std::fabs(det) > 0)) break;
    double ds = (rx * dty - ry * dtx) / det;
    double dt = (ry * dsx - rx * dsy) / det;
    s += ds;
    t += dt;
    if (std::fabs(ds) < 0.001 && std::fabs(dt) < 0.001) break;
  }
  w[0] = (1 - s) * (1 - t);
  w[1] = s * (1 - t);
  w[2] = s * t;
  w[3] = (1 - s) * t;
}

AK_Vec3 SW_MeshCore::InterpolateVertexVector(int32_t c, const double w[4],
                                             const AK_Vec3* values) const
{
  const AK_Index4& cell = _lcv[c];
  int k = cell[3] < 0 ? 2 : 3;
  AK_Vec3 sum;
  for (; k >= 0; --k) {
    const AK_Vec3& v = values[cell[k]];
    sum.x += w[k] * v.x;
    sum.y += w[k] * v.y;
    sum.z += w[k] * v.z;
  }
  return sum;
}

float SW_MeshCore::InterpolateVertexValue(int32_t c, const double w[4], const float* values) const
{
  const AK_Index4& cell = _lcv[c];
  int k = cell[3] < 0 ? 2 : 3;
  float sum = 0;
  for (; k >= 0; --k) sum = static_cast<float>(sum + w[k] * static_cast<double>(values[cell[k]]));
  return sum;
}

void SW_MeshCore::InterpolateHeightInCell(AK_Vec3& p, int32_t c) const
{
  double w[4];
  CellWeights(c, p.x, p.y, w);
  const AK_Index4& cell = _lcv[c];
  const int m = cell[3] < 0 ? 3 : 4;
  double z = 0.0;
  for (int k = 0; k < m; ++k) z += w[k] * _x[cell[k]].z;
  p.z = z;
}

int32_t SW_MeshCore::HeightAt(AK_Vec3& p, int32_t hint) const
{
  int32_t c = FindCell(p.x, p.y, hint);
  if (c < 0) return -1;
  InterpolateHeightInCell(p, c);
  return c;
}

int32_t SW_MeshCore::ProjectToSurface(const AK_Vec3& p, int32_t hint, double* weights) const
{
  int32_t start;
  double startWeights[4];
  AK_Vec3 q;
  const int32_t c = ProjectFoot(p, hint, q, start, startWeights);
  if (c < 0 || !weights) return c;
  // q lies in c (its cell was located last), so a weight a little below 0 is taken as 0.
  CellWeights(c, q.x, q.y, weights);
  bool clamped = false;
  for (int k = 0; k < 4; ++k) {
    if (weights[k] < 0) {
      if (weights[k] < -kWeightTolerance) return -1;
      weights[k] = 0;
      clamped = true;
    }
  }
  if (clamped) {
    double sum = weights[0] + weights[1] + weights[2] + weights[3];
    for (int k = 0; k < 4; ++k) weights[k] /= sum;
  }
  return c;
}

int32_t SW_MeshCore::ProjectToSurface(const AK_Vec3& p, int32_t hint, int32_t& start,
                                      double startWeights[4]) const
{
  AK_Vec3 q;
  return ProjectFoot(p, hint, q, start, startWeights);
}

int32_t SW_MeshCore::ProjectFoot(const AK_Vec3& p, int32_t hint, AK_Vec3& q, int32_t& start,
                                 double startWeights[4]) const
{
  int32_t c = FindCell(p.x, p.y, hint);
  start = c;
  if (c < 0) return c;
  q = p;
  double w[4];
  for (int pass = 0; pass < 5; ++pass) {
    CellWeights(c, q.x, q.y, w);
    if (pass == 0)
      for (int k = 0; k < 4; ++k) startWeights[k] = w[k];
    AK_Vec3 s = InterpolateVertexVector(c, w, _x._elems);
    AK_Vec3 a = CellAreaVector(c);
    double aa = a.Dot(a);
    if (aa > 0) q += a * ((s - q).Dot(a) / aa);
    int32_t next = FindCell(q.x, q.y, c);
    if (next < 0) return next;
    if (next == c) break;
    c = next;
  }
  return c;
}

AK_Vec3 SW_MeshCore::RandomPointInCell(int32_t c) const
{
  double r1 = AK_Random() / 2147483647.0;
  double r2 = AK_Random() / 2147483647.0;
  const AK_Index4& cell = _lcv[c];
  const AK_Vec3& p0 = _x[cell[0]];
  const AK_Vec3& p1 = _x[cell[1]];
  const AK_Vec3& p2 = _x[cell[2]];
  if (cell[3] < 0) {
    double a = r1, b = r2;
    if (r1 + r2 > 1) {
      a = 1 - r1;
      b = 1 - r2;
    }
    return p0 * (1 - a - b) + p1 * a + p2 * b;
  }
  const AK_Vec3& p3 = _x[cell[3]];
  return p0 * ((1 - r1) * (1 - r2)) + p1 * (r1 * (1 - r2)) + p2 * (r1 * r2) + p3 * ((1 - r1) * r2);
}

// ---------------------------------------------------------------------------------------
// Segment walks

int SW_MeshCore::SegmentExitEdge(int32_t c, const AK_Vec2& a, const AK_Vec2& b) const
{
  const AK_Index4& cell = _lcv[c];
  const int m = cell[3] < 0 ? 3 : 4;
  bool left[4];
  for (int k = 0; k < m; ++k) {
    const AK_Vec3& p = _x[cell[k]];
    left[k] = (p.y - a.y) * (b.x - a.x) - (p.x - a.x) * (b.y - a.y) > 0;
  }
  for (int k = 0; k < m; ++k)
    if (!left[k] && left[(k + 1) % m]) return k;
  return -1;
}

void SW_MeshCore::CellsAlongSegment(const AK_Vec2& a, const AK_Vec2& b, AK_Array<int32_t>& cells,
                                    AK_Array<AK_Vec2>* points) const
{
  // A segment with an end that is no point crosses no cell.
  if (!IsFinitePoint(b.x, b.y)) return;
  int32_t c = FindCell(a, -1);
  if (c < 0) return;
  SW_MESH_FATAL_ASSERT(_lcc.Size() == NumCells(), "_lcc.Size()");
  // A line through a vertex can make two cells hand the walk back and forth; no walk
  // crosses more cells than the mesh has.
  for (int32_t steps = NumCells() + 1; c >= 0 && steps > 0; --steps) {
    cells.Append(c);
    if (ExitEdge(b.x, b.y, c) < 0) return;
    int e = SegmentExitEdge(c, a, b);
    if (e < 0) return;
    if (points) {
      const AK_Index4& cell = _lcv[c];
      const int m = cell[3] < 0 ? 3 : 4;
      points->Append(AK_LineIntersection2d(a, b, XY(_x[cell[e]]), XY(_x[cell[(e + 1) % m]])));
    }
    c = _lcc[c][e];
  }
}

void SW_MeshCore::EdgeCrossingsOfSegment(const AK_Vec2& a, const AK_Vec2& b,
                                         AK_Array<SW_EdgeCrossing>& out) const
{
  // A segment with an end that is no point crosses no cell.
  if (!IsFinitePoint(b.x, b.y)) return;
  int32_t c = FindCell(a, -1);
  if (c < 0) return;
  SW_MESH_FATAL_ASSERT(_lcc.Size() == NumCells(), "_lcc.Size()");
  for (int32_t steps = NumCells() + 1; c >= 0 && steps > 0; --steps) {
    if (ExitEdge(b.x, b.y, c) < 0) return;
    int e = SegmentExitEdge(c, a, b);
    if (e < 0) return;
    const AK_Index4& cell = _lcv[c];
    const int m = cell[3] < 0 ? 3 : 4;
    SW_EdgeCrossing crossing;
    crossing.a = cell[e];
    crossing.b = cell[(e + 1) % m];
    crossing.t = AK_SegmentLineParameter2d(XY(_x[crossing.a]), XY(_x[crossing.b]), a, b);
    out.Append(crossing);
    c = _lcc[c][e];
  }
}

void SW_MeshCore::EdgeCrossingsOfPoints(const AK_Array<AK_Vec3>& points,
                                        AK_Array<SW_EdgeCrossing>& out) const
{
  for (int32_t i = 1; i < points.Size(); ++i)
    EdgeCrossingsOfSegment(XY(points[i - 1]), XY(points[i]), out);
}

// ---------------------------------------------------------------------------------------
// Mesh to mesh

int32_t SW_MeshCore::ProjectHeightsOnto(const SW_MeshCore& base)
{
  const int32_t n = NumVertices();
  std::vector<double> heights(static_cast<size_t>(n));
  int32_t hint = -1, missing = 0;
  for (int32_t v = 0; v < n; ++v) {
    AK_Vec3 p = _x[v];
    int32_t c = base.HeightAt(p, hint);
    if (c < 0) {
      p.z = SW_NoDataHeight;
      ++missing;
    }
    heights[static_cast<size_t>(v)] = p.z;
    hint = c;
  }
  // Nothing to keep from a base that lies wholly elsewhere: marking every vertex would
  // leave a mesh whose cells all go.
  if (n > 0 && missing == n) return missing;
  for (int32_t v = 0; v < n; ++v) _x[v].z = heights[static_cast<size_t>(v)];
  DropDerivedGeometry();
  return missing;
}

void SW_MeshCore::InterpolateNormalsFromMesh(const SW_MeshCore& base)
{
  ComputeVertexNormals();
  if (base._vertexNormals.Size() != base.NumVertices()) return;
  int32_t hint = -1;
  for (int32_t v = 0; v < NumVertices(); ++v) {
    const AK_Vec3& p = _x[v];
    int32_t c = base.FindCell(p.x, p.y, hint);
    hint = c;
    if (c < 0) continue;
    double w[4];
    base.CellWeights(c, p.x, p.y, w);
    AK_Vec3 n = base.InterpolateVertexVector(c, w, base._vertexNormals._elems);
    // A horizontal base normal gives no direction that keeps this vertex's own z share.
    if (n.z == 0) continue;
    _vertexNormals[v] = n * (_vertexNormals[v].z / n.z);
  }
}
