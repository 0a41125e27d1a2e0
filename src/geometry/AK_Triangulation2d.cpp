// Indexed 2-D triangulation with erosion, smoothing and contour tracing.
#include "AK_Triangulation2d.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "AK_Predicates.h"
#include "AK_Triangulation2.h"

namespace {

inline int Next(int k) { return k == 2 ? 0 : k + 1; }
inline int Prev(int k) { return k == 0 ? 2 : k - 1; }

}  // namespace

AK_Triangulation2d::~AK_Triangulation2d() { Free(); }

void AK_Triangulation2d::Free()
{
  std::free(_triPts);
  std::free(_triNeighs);
  std::free(_out);
  _triPts = _triNeighs = nullptr;
  _out = nullptr;
  _nTris = 0;
  _nPts = 0;
}

int AK_Triangulation2d::Triangulate(int32_t nPts, const double* points)
{
  Free();
  if (nPts <= 2 || !points) {
    AK_MESSAGE("ERROR:a triangulation needs at least 3 points");
    return 0;
  }
  AK_Array<AK_Vec2> copy(nPts);
  copy.SetCount(nPts);
  AK_Vec2 lo{1e100, 1e100}, hi{-1e100, -1e100};
  for (int32_t i = 0; i < nPts; ++i) {
    copy[i] = AK_Vec2{points[2 * i], points[2 * i + 1]};
    if (copy[i].x < lo.x) lo.x = copy[i].x;
    if (copy[i].y < lo.y) lo.y = copy[i].y;
    if (copy[i].x > hi.x) hi.x = copy[i].x;
    if (copy[i].y > hi.y) hi.y = copy[i].y;
  }
  AK_Triangulation2 tri(lo, hi);

  std::vector<int32_t> order(static_cast<size_t>(nPts));
  for (int32_t i = 0; i < nPts; ++i) order[static_cast<size_t>(i)] = i;
  // The insertion order comes from the program's own 15-bit generator, so that it is the
  // same on every platform.
  for (int64_t s = 0; s < 7 * static_cast<int64_t>(nPts); ++s) {
    int32_t a = AK_Rand15() % nPts;
    int32_t b = AK_Rand15() % nPts;
    if (a != b) std::swap(order[static_cast<size_t>(a)], order[static_cast<size_t>(b)]);
  }
  for (int32_t i : order) tri.Insert(&copy[i]);

  const int32_t nTris = tri.NumTriangles();
  _triPts = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * 3 * static_cast<size_t>(nTris)));
  AK_FATAL_ASSERT_NAMED(_triPts, "_triPts");
  _triNeighs = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * 3 * static_cast<size_t>(nTris)));
  AK_FATAL_ASSERT_NAMED(_triNeighs, "_triNeighs");
  _out = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(nTris)));
  AK_FATAL_ASSERT_NAMED(_out, "_out");
  _nTris = nTris;
  _nPts = nPts;

  AK_HashMap number(11, -1);
  for (int32_t t = 0; t < nTris; ++t) *number[tri.Triangle(t)] = t;
  for (int32_t t = 0; t < nTris; ++t) {
    const AK_Triangle2* tr = tri.Triangle(t);
    bool aux = false;
    for (int k = 0; k < 3; ++k) {
      const AK_Vec2* p = tr->Pt(k);
      if (tri.IsAuxiliary(p)) {
        int q = static_cast<int>(p - tri.Corner(0));
        _triPts[3 * t + k] = -1 - q;
        _aux[q] = *p;
        aux = true;
      } else {
        _triPts[3 * t + k] = static_cast<int32_t>(p - copy._elems);
      }
    }
    _out[t] = aux ? 1 : 0;
  }
  for (int32_t t = 0; t < nTris; ++t) {
    const AK_Triangle2* tr = tri.Triangle(t);
    for (int k = 0; k < 3; ++k) {
      const AK_Triangle2* n = tr->Neighbour(k);
      _triNeighs[3 * t + k] = n ? *number[n] : -1;
    }
  }
  return 1;
}

AK_Triangulation2d* AK_Triangulation2dCreate(int32_t nPts, const double* points)
{
  auto* object = new (std::nothrow) AK_Triangulation2d;
  if (!object) return nullptr;
  if (!object->Triangulate(nPts, points)) {
    delete object;
    return nullptr;
  }
  return object;
}

void AK_Triangulation2dDelete(AK_Triangulation2d* object) { delete object; }

// ---------------------------------------------------------------------------------------
// Queries

int AK_Triangulation2d::OutsideEdge(const double* points, int32_t t, const AK_Vec2& p) const
{
  int best = 0;
  double bestValue = 0;
  for (int k = 0; k < 3; ++k) {
    AK_Vec2 a = Point(points, _triPts[3 * t + Next(k)]);
    AK_Vec2 b = Point(points, _triPts[3 * t + Prev(k)]);
    double s = (b.y - a.y) * (p.x - a.x) - (b.x - a.x) * (p.y - a.y);
    if (k == 0 || s > bestValue) {
      bestValue = s;
      best = k;
    }
  }
  return bestValue > 0 ? best : -1;
}

int32_t AK_Triangulation2d::Locate(const double* points, const AK_Vec2& p, int32_t start) const
{
  // Without triangles there is nothing to walk: a negative start comes back as it is.
  if (_nTris == 0) return start < 0 ? start : -1;
  if (start < 0 || start >= _nTris) {
    int32_t step = _nTris / 30 + 1;
    double best = 1e50;
    start = 0;
    for (int32_t t = 0; t < _nTris; t += step) {
      AK_Vec2 c = Point(points, _triPts[3 * t]);
      double d = (c.x - p.x) * (c.x - p.x) + (c.y - p.y) * (c.y - p.y);
      if (d < best) {
        best = d;
        start = t;
      }
    }
  }
  int32_t t = start, previous = -1;
  int32_t allowed = _nTris;
  int bounce = 5;
  for (;;) {
    int k = OutsideEdge(points, t, p);
    if (k < 0 || allowed == 1) return t;
    --allowed;
    int32_t next = _triNeighs[3 * t + k];
    if (next == previous) {
      if (bounce == 1) return t;
      --bounce;
    } else {
      bounce = 5;
    }
    if (next < 0) return -1;
    previous = t;
    t = next;
  }
}

void AK_Triangulation2d::Centroid(const double* points, int32_t t, AK_Vec2& out) const
{
  AK_Vec2 a = Point(points, _triPts[3 * t]);
  AK_Vec2 b = Point(points, _triPts[3 * t + 1]);
  AK_Vec2 c = Point(points, _triPts[3 * t + 2]);
  out = AK_Vec2{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3};
}

void AK_Triangulation2d::Circumcenter(const double* points, int32_t t, AK_Vec2& out) const
{
  out = AK_Circumcenter2d(Point(points, _triPts[3 * t]), Point(points, _triPts[3 * t + 1]),
                          Point(points, _triPts[3 * t + 2]));
}

double AK_Triangulation2d::CircumRadius(const double* points, int32_t t) const
{
  AK_Vec2 c;
  Circumcenter(points, t, c);
  AK_Vec2 a = Point(points, _triPts[3 * t]);
  return std::hypot(c.x - a.x, c.y - a.y);
}

int32_t AK_Triangulation2d::ErodeBorder(const double* points, double maxRadius)
{
  std::vector<int32_t> stack;
  for (int32_t t = _nTris - 1; t >= 0; --t)
    if (_out[t]) stack.push_back(t);
  int32_t marked = 0;
  while (!stack.empty()) {
    int32_t t = stack.back();
    stack.pop_back();
    for (int k = 2; k >= 0; --k) {
      int32_t n = _triNeighs[3 * t + k];
      if (n < 0 || _out[n]) continue;
      // A degenerate triangle has no finite circumradius and counts as larger than any.
      double r = CircumRadius(points, n);
      if (!(r <= maxRadius)) {
        _out[n] = 1;
        ++marked;
        stack.push_back(n);
      }
    }
  }
  return marked;
}

void AK_Triangulation2d::SmoothValues(double* values) const
{
  std::vector<double> sum(static_cast<size_t>(_nPts), 0.0);
  std::vector<int32_t> uses(static_cast<size_t>(_nPts), 0);
  for (int32_t t = 0; t < _nTris; ++t) {
    if (_out[t]) continue;
    const int32_t* c = &_triPts[3 * t];
    if (c[0] < 0 || c[1] < 0 || c[2] < 0) continue;
    double mean = (values[c[2]] + values[c[1]] + values[c[0]]) / 3;
    for (int k = 0; k < 3; ++k) {
      sum[static_cast<size_t>(c[k])] += mean;
      ++uses[static_cast<size_t>(c[k])];
    }
  }
  for (int32_t i = 0; i < _nPts; ++i)
    if (uses[static_cast<size_t>(i)] > 0)
      values[i] = (0 + sum[static_cast<size_t>(i)]) / uses[static_cast<size_t>(i)];
}

int AK_Triangulation2d::RisingEdge(const double* values, double level, int32_t t) const
{
  const int32_t* c = &_triPts[3 * t];
  if (c[0] < 0 || c[1] < 0 || c[2] < 0) return -1;
  for (int k = 2; k >= 0; --k) {
    double from = values[c[Next(k)]], to = values[c[Prev(k)]];
    if (from < level && level <= to) return k;
  }
  return -1;
}

int AK_Triangulation2d::FallingEdge(const double* values, double level, int32_t t) const
{
  const int32_t* c = &_triPts[3 * t];
  if (c[0] < 0 || c[1] < 0 || c[2] < 0) return -1;
  for (int k = 2; k >= 0; --k) {
    double from = values[c[Next(k)]], to = values[c[Prev(k)]];
    if (from >= level && level > to) return k;
  }
  return -1;
}

void AK_Triangulation2d::EdgeCrossing(const double* points, const double* values, double level,
                                      int32_t t, int k, AK_Vec2& out) const
{
  int32_t from = _triPts[3 * t + Next(k)], to = _triPts[3 * t + Prev(k)];
  double vf = values[from], vt = values[to];
  double s = (level - vf) / (vt - vf);
  if (!(s >= 0)) s = 0;
  if (s > 1) s = 1;
  AK_Vec2 a = Point(points, from), b = Point(points, to);
  out = AK_Vec2{s * b.x + (1 - s) * a.x, s * b.y + (1 - s) * a.y};
}

double* AK_Triangulation2d::ContourLines(const double* points, const double* values, double level,
                                         int mode) const
{
  AK_BitArray visited(_nTris);
  std::vector<AK_Vec2> out;
  out.reserve(64);
  AK_Vec2 q;
  const AK_Vec2 separator{AK_ContourSeparator, AK_ContourSeparator};
  for (int32_t t = _nTris - 1; t >= 0; --t) {
    if (_out[t] || visited.Test(t)) continue;
    visited.Set(t);
    int rising = RisingEdge(values, level, t);
    if (rising < 0) continue;
    const size_t start = out.size();
    EdgeCrossing(points, values, level, t, rising, q);
    out.push_back(q);

    // Forward along the falling edges.
    bool closed = false;
    int32_t c = t;
    for (int32_t guard = 0; guard < _nTris; ++guard) {
      int k = FallingEdge(values, level, c);
      if (k < 0) break;
      EdgeCrossing(points, values, level, c, k, q);
      out.push_back(q);
      visited.Set(c);
      int32_t next = _triNeighs[3 * c + k];
      if (next < 0) break;
      if (next == t) {
        closed = true;
        break;
      }
      if (_out[next]) break;
      c = next;
    }
    if (mode == 1 && !closed) {
      out.resize(start);
      continue;
    }

    if (!closed) {
      // Backward from the start crossing along the rising edges; these points go in front.
      const size_t forwardEnd = out.size();
      int32_t next = _triNeighs[3 * t + rising];
      for (int32_t guard = 0; next >= 0 && guard < _nTris; ++guard) {
        int k = RisingEdge(values, level, next);
        if (k < 0 || _out[next]) break;
        EdgeCrossing(points, values, level, next, k, q);
        out.push_back(q);
        visited.Set(next);
        next = _triNeighs[3 * next + k];
      }
      std::vector<AK_Vec2> line(out.rbegin(), out.rbegin() + static_cast<long>(out.size() - forwardEnd));
      line.insert(line.end(), out.begin() + static_cast<long>(start),
                  out.begin() + static_cast<long>(forwardEnd));
      out.resize(start);
      out.insert(out.end(), line.begin(), line.end());
    }

    bool keepLine = mode == 0 || (mode == 1 && closed) || (mode == 2 && !closed);
    if (!keepLine) {
      out.resize(start);
      continue;
    }
    out.push_back(separator);
  }
  out.push_back(separator);
  double* block = static_cast<double*>(std::malloc(sizeof(double) * 2 * out.size()));
  AK_FATAL_ASSERT_NAMED(block, "_bits");
  for (size_t i = 0; i < out.size(); ++i) {
    block[2 * i] = out[i].x;
    block[2 * i + 1] = out[i].y;
  }
  return block;
}
