// Incremental 2-D Delaunay triangulation with a hierarchical locator grid.
#include "AK_Triangulation2.h"

#include <cmath>
#include <cstdio>

#include "AK_Predicates.h"

namespace {

inline int Next(int k) { return k == 2 ? 0 : k + 1; }
inline int Prev(int k) { return k == 0 ? 2 : k - 1; }

// Side value of corner k: > 0 when p lies strictly outside the edge opposite corner k of a
// counter-clockwise triangle.
inline double Side(const AK_Vec2& a, const AK_Vec2& b, double px, double py)
{
  return (b.y - a.y) * (px - a.x) - (b.x - a.x) * (py - a.y);
}

void Send(const char* text, AK_SourceLocation where = AK_SourceLocation::Current())
{
  AK_ModuleMessage("AK_Triangulation2", text, where);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Locator grid

void AK_TriLocatorGrid::Init(double x0, double y0, double cell, int32_t hint)
{
  _x0 = x0;
  _y0 = y0;
  _cell = cell;
  _inverse = 1.0001 / cell;
  for (Cell& c : _cells) {
    c.hint = hint;
    c.count = 1;
    c.child.reset();
  }
}

int AK_TriLocatorGrid::CellOf(double x, double y) const
{
  double fx = (x - _x0) * _inverse;
  double fy = (y - _y0) * _inverse;
  // Written so that a non-number lands in cell 0.
  int ix = fx > 0 ? (fx < kN ? static_cast<int>(fx) : kN - 1) : 0;
  int iy = fy > 0 ? (fy < kN ? static_cast<int>(fy) : kN - 1) : 0;
  return iy * kN + ix;
}

int32_t AK_Triangulation2::LocatorLookup(double x, double y) const
{
  const AK_TriLocatorGrid* g = &_locator;
  for (;;) {
    const AK_TriLocatorGrid::Cell& c = g->_cells[g->CellOf(x, y)];
    if (!c.child) return c.hint;
    g = c.child.get();
  }
}

void AK_Triangulation2::LocatorInsert(double x, double y, int32_t triangle)
{
  AK_TriLocatorGrid* g = &_locator;
  int c = g->CellOf(x, y);
  while (g->_cells[c].child) {
    g = g->_cells[c].child.get();
    c = g->CellOf(x, y);
  }
  AK_TriLocatorGrid::Cell& cell = g->_cells[c];
  if (cell.count < AK_TriLocatorGrid::kCapacity) {
    cell.hint = triangle;
    ++cell.count;
    return;
  }
  const int n = AK_TriLocatorGrid::kN;
  auto child = std::make_unique<AK_TriLocatorGrid>();
  child->Init(g->_x0 + (c % n) * g->_cell, g->_y0 + (c / n) * g->_cell, g->_cell / n, triangle);
  cell.child = std::move(child);
}

// ---------------------------------------------------------------------------------------
// Construction

AK_Triangulation2::AK_Triangulation2(const AK_Vec2& min, const AK_Vec2& max)
{
  double dx = max.x - min.x, dy = max.y - min.y;
  double d = std::sqrt(dx * dx + dy * dy);
  // A box without extent (one point, or all points equal), or with an extent within
  // rounding of its coordinates, still needs corners that lie apart from it and a minimum
  // distance that refuses duplicates: take a diagonal that is tiny against the coordinates
  // but well above their rounding (the margin is then some 45 units of their last place).
  // Any box larger than that keeps its own diagonal.
  double scale = std::fmax(std::fmax(std::fabs(min.x), std::fabs(min.y)),
                           std::fmax(std::fabs(max.x), std::fabs(max.y)));
  double floor = 1e-12 * std::fmax(scale, 1.0);
  if (!(d >= floor)) d = floor;  // also for a non-number
  double margin = 0.01 * d;
  double minDist = 1e-10 * d;
  _minDist2 = minDist * minDist;

  char text[128];
  std::snprintf(text, sizeof text, "Delaunay triangulation min point distance:%g", minDist);
  Send(text);

  _corners[0] = AK_Vec2{min.x - margin, min.y - margin};
  _corners[1] = AK_Vec2{max.x + margin, min.y - margin};
  _corners[2] = AK_Vec2{max.x + margin, max.y + margin};
  _corners[3] = AK_Vec2{min.x - margin, max.y + margin};
  if (!(_corners[2].x > _corners[0].x)) _corners[1].x = _corners[2].x = _corners[0].x + 2 * margin;
  if (!(_corners[2].y > _corners[0].y)) _corners[2].y = _corners[3].y = _corners[0].y + 2 * margin;

  AK_Triangle2* t0 = NewTriangle();
  AK_Triangle2* t1 = NewTriangle();
  t0->SetCorner(0, &_corners[0]);
  t0->SetCorner(1, &_corners[1]);
  t0->SetCorner(2, &_corners[2]);
  t1->SetCorner(0, &_corners[2]);
  t1->SetCorner(1, &_corners[3]);
  t1->SetCorner(2, &_corners[0]);
  t0->_n[1] = t1;
  t1->_n[1] = t0;

  double cell = std::fmax(_corners[2].x - _corners[0].x, _corners[2].y - _corners[0].y) /
                AK_TriLocatorGrid::kN;
  _locator.Init(_corners[0].x, _corners[0].y, cell, 0);
}

AK_Triangulation2::~AK_Triangulation2() = default;

AK_Triangle2* AK_Triangulation2::NewTriangle()
{
  int32_t i = _numTriangles;
  if ((i & kChunkMask) == 0) {
    // A triangulation of more than 2^31 triangles cannot be numbered; nothing of that
    // size fits the 32-bit mesh either.
    AK_FATAL_ASSERT_NAMED(i < INT32_MAX - kChunkMask, "0");
    _chunks.emplace_back(new AK_Triangle2[static_cast<size_t>(1) << kChunkBits]);
  }
  ++_numTriangles;
  return Triangle(i);
}

// ---------------------------------------------------------------------------------------
// Queries

int AK_Triangulation2::HasAuxiliaryVertex(const AK_Triangle2* t) const
{
  return IsAuxiliary(t->_p[0]) || IsAuxiliary(t->_p[1]) || IsAuxiliary(t->_p[2]) ? 1 : 0;
}

int AK_Triangulation2::NeighbourIndex(const AK_Triangle2* t, const AK_Triangle2* other)
{
  if (t->_n[0] == other) return 0;
  if (t->_n[1] == other) return 1;
  AK_FATAL_ASSERT_NAMED(t->_n[2] == other, "0");
  return 2;
}

int AK_Triangulation2::VertexIndex(const AK_Triangle2* t, const AK_Vec2* p)
{
  if (t->_p[0] == p) return 0;
  if (t->_p[1] == p) return 1;
  AK_FATAL_ASSERT_NAMED(t->_p[2] == p, "0");
  return 2;
}

// The corner whose side value for (px, py) is the largest (the lowest corner on ties), and
// that value.
static inline int LargestSide(const AK_Triangle2* t, double px, double py, double* best)
{
  double s0 = Side(t->_c[1], t->_c[2], px, py);
  double s1 = Side(t->_c[2], t->_c[0], px, py);
  double s2 = Side(t->_c[0], t->_c[1], px, py);
  int k = 0;
  *best = s0;
  if (s1 > *best) {
    k = 1;
    *best = s1;
  }
  if (s2 > *best) {
    k = 2;
    *best = s2;
  }
  return k;
}

int AK_Triangulation2::OutsideEdge(const AK_Triangle2* t, const AK_Vec2* p)
{
  double best;
  int k = LargestSide(t, p->x, p->y, &best);
  return best > 0 ? k : -1;
}

AK_Triangle2* AK_Triangulation2::Walk(const AK_Vec2* p, AK_Triangle2* t, bool* lost,
                                      int32_t& steps)
{
  *lost = false;
  const double px = p->x, py = p->y;
  int32_t allowed = _numTriangles;
  for (;;) {
    double best;
    int k = LargestSide(t, px, py, &best);
    if (!(best > 0)) {
      // Inside (or on the border); a non-number never is.
      if (best <= 0) return t;
      *lost = true;
      return nullptr;
    }
    if (--allowed == 0) {
      *lost = true;
      return nullptr;
    }
    AK_Triangle2* next = t->_n[k];
    ++steps;
    if (!next) return nullptr;  // beyond the auxiliary rectangle
    t = next;
  }
}

int32_t AK_Triangulation2::LocatorWalkSteps(const AK_Vec2* p) const
{
  const AK_Triangle2* t = Triangle(LocatorLookup(p->x, p->y));
  int32_t steps = 0;
  for (int32_t allowed = _numTriangles;;) {
    int k = OutsideEdge(t, p);
    if (k < 0 || --allowed == 0) return steps;
    ++steps;
    if (!t->_n[k]) return steps;
    t = t->_n[k];
  }
}

AK_Triangle2* AK_Triangulation2::ScanForTriangle(const AK_Vec2* p) const
{
  for (int32_t i = 0; i < _numTriangles; ++i) {
    AK_Triangle2* t = Triangle(i);
    const AK_Vec2& a = t->_c[0];
    const AK_Vec2& b = t->_c[1];
    const AK_Vec2& c = t->_c[2];
    if (Side(b, c, p->x, p->y) <= 0 && Side(c, a, p->x, p->y) <= 0 && Side(a, b, p->x, p->y) <= 0)
      return t;
  }
  return nullptr;
}

void AK_Triangulation2::ExpectPoints(int32_t n)
{
  _fine.clear();
  if (n < 64) return;
  double side = std::fmax(_corners[2].x - _corners[0].x, _corners[2].y - _corners[0].y);
  // About two points per cell in the finest grid when all are in; each coarser grid has
  // half as many cells along each side.
  int32_t cells = static_cast<int32_t>(std::ceil(std::sqrt(n / 2.0)));
  if (cells > 8192) cells = 8192;
  for (; cells >= 4; cells /= 2) {
    FineGrid g;
    g.n = cells;
    g.inverse = cells / side;
    g.cells.assign(static_cast<size_t>(cells) * static_cast<size_t>(cells), FineCell{});
    _fine.push_back(std::move(g));
  }
}

namespace {

// Cell of (fx, fy) in units of cells from the grid's origin, clamped to the grid; a
// non-number lands in cell 0.
inline size_t FineIndex(double fx, double fy, int32_t n)
{
  int32_t ix = fx > 0 ? (fx < n ? static_cast<int32_t>(fx) : n - 1) : 0;
  int32_t iy = fy > 0 ? (fy < n ? static_cast<int32_t>(fy) : n - 1) : 0;
  return static_cast<size_t>(iy) * static_cast<size_t>(n) + static_cast<size_t>(ix);
}

// A cell that has taken more triangles than this is too crowded for its newest one to be
// a near start.
constexpr int32_t kFineCellCrowded = 8;

}  // namespace

int32_t AK_Triangulation2::FineHint(double x, double y) const
{
  const double fx0 = x - _corners[0].x, fy0 = y - _corners[0].y;
  // The finest grid whose cell has taken a triangle; a crowded cell gives no hint (the
  // coarser cells around it are more crowded still).
  for (const FineGrid& g : _fine) {
    const FineCell& cell = g.cells[FineIndex(fx0 * g.inverse, fy0 * g.inverse, g.n)];
    if (cell.count == 0) continue;
    return cell.count <= kFineCellCrowded ? cell.hint : -1;
  }
  return -1;
}

void AK_Triangulation2::RecordFineHint(double x, double y, int32_t triangle)
{
  const double fx0 = x - _corners[0].x, fy0 = y - _corners[0].y;
  for (FineGrid& g : _fine) {
    FineCell& cell = g.cells[FineIndex(fx0 * g.inverse, fy0 * g.inverse, g.n)];
    cell.hint = triangle;
    if (cell.count < INT32_MAX) ++cell.count;
  }
}

namespace {

// Asks for both cache lines that a triangle record may span.
inline void Touch(const AK_Triangle2* t)
{
  __builtin_prefetch(t);
  __builtin_prefetch(reinterpret_cast<const char*>(t) + sizeof(AK_Triangle2) - 1);
}

}  // namespace

const AK_Triangle2* AK_Triangulation2::WalkAhead(const AK_Vec2* p, int steps, bool* ended) const
{
  int32_t fine = FineHint(p->x, p->y);
  const AK_Triangle2* t = Triangle(fine >= 0 ? fine : LocatorLookup(p->x, p->y));
  *ended = false;
  for (int s = 0; s <= steps; ++s) {
    int k = OutsideEdge(t, p);
    if (k < 0) {
      *ended = true;
      return t;
    }
    if (s == steps || !t->_n[k]) return s == steps ? t->_n[k] : t;
    t = t->_n[k];
  }
  return t;
}

void AK_Triangulation2::Prefetch(const AK_Vec2* const* upcoming, int32_t count) const
{
  // Each point passes through the stages below on its way to insertion, one stage per
  // insertion, so that what a stage reads was asked for one insertion earlier: the point,
  // the cells of the hint grids, the start triangles, and then the walk a step at a time.
  if (count > 5) __builtin_prefetch(upcoming[5]);
  if (count > 4) {
    // The locator grid's upper levels are few and stay cached.
    const AK_Vec2* p = upcoming[4];
    const double fx0 = p->x - _corners[0].x, fy0 = p->y - _corners[0].y;
    for (const FineGrid& g : _fine)
      __builtin_prefetch(&g.cells[FineIndex(fx0 * g.inverse, fy0 * g.inverse, g.n)]);
    const AK_TriLocatorGrid* g = &_locator;
    for (int depth = 0;; ++depth) {
      const AK_TriLocatorGrid::Cell& c = g->_cells[g->CellOf(p->x, p->y)];
      __builtin_prefetch(&c);
      if (depth == 2 || !c.child) break;
      g = c.child.get();
    }
  }
  if (count > 3) {
    const AK_Vec2* p = upcoming[3];
    int32_t fine = FineHint(p->x, p->y);
    if (fine >= 0) Touch(Triangle(fine));
    Touch(Triangle(LocatorLookup(p->x, p->y)));
  }
  for (int d = 2; d >= 1; --d) {
    if (count <= d) continue;
    // Where the walk will be after 3 - d steps; once it has ended, the triangles around
    // its end, which the flip tests read.
    bool ended = false;
    const AK_Triangle2* t = WalkAhead(upcoming[d], 2 - d, &ended);
    if (!t) continue;
    if (!ended) {
      Touch(t);
    } else {
      for (int k = 0; k < 3; ++k)
        if (t->_n[k]) Touch(t->_n[k]);
    }
  }
}

// True when p lies inside t by more than the rounding of the side values: then t is the
// one triangle that holds p, wherever a walk starts.
static bool ClearlyInside(const AK_Triangle2* t, double px, double py)
{
  for (int k = 0; k < 3; ++k) {
    const AK_Vec2& a = t->_c[Next(k)];
    const AK_Vec2& b = t->_c[Prev(k)];
    double l = (b.y - a.y) * (px - a.x);
    double r = (b.x - a.x) * (py - a.y);
    double bound = 8 * 3.3306690738754716e-16 * (std::fabs(l) + std::fabs(r));
    if (!(l - r < -bound)) return false;
  }
  return true;
}

AK_Triangle2* AK_Triangulation2::Locate(const AK_Vec2* p, AK_Triangle2* start, int checkDistance,
                                        const AK_Vec2** close)
{
  if (close) *close = nullptr;
  bool lost = false;
  AK_Triangle2* t = nullptr;
  // With the start grid the walks taken are not the locator grid's: the search steps still
  // count the locator grid's walk, and the walks taken are counted apart. That walk is taken
  // for nothing but the figure, so beyond kExactStepPoints insertions it is taken for every
  // kStepSample-th point and weighted: the mean stays within a fraction of a percent, and
  // large triangulations do not pay for a progress message what the walks of every point
  // would cost (some three quarters more time at a million points).
  const bool startGrid = !start && !_fine.empty();
  if (startGrid) {
    if (_pointsInserted < kExactStepPoints)
      _searchSteps += LocatorWalkSteps(p);
    else if (_pointsInserted % kStepSample == 0)
      _searchSteps += kStepSample * LocatorWalkSteps(p);
    int32_t hint = FineHint(p->x, p->y);
    if (hint >= 0) {
      t = Walk(p, Triangle(hint), &lost, _startGridSteps);
      if (t && !ClearlyInside(t, p->x, p->y)) t = nullptr;
    }
  }
  if (!t) {
    if (!start) start = Triangle(LocatorLookup(p->x, p->y));
    t = Walk(p, start, &lost, startGrid ? _startGridSteps : _searchSteps);
  }
  if (!t && lost) {
    // The walk went round in circles (rounding on nearly degenerate input): look at every
    // triangle rather than lose the point.
    t = ScanForTriangle(p);
    if (!t) ++_unplaced;
  }
  if (!t) return nullptr;
  if (checkDistance) {
    for (int k = 0; k < 3; ++k) {
      double dx = t->_c[k].x - p->x, dy = t->_c[k].y - p->y;
      if (dx * dx + dy * dy < _minDist2) {
        if (close) *close = t->_p[k];
        return nullptr;
      }
    }
  }
  return t;
}

AK_Triangle2* AK_Triangulation2::TriangleWithVertex(const AK_Vec2* p, AK_Triangle2* start)
{
  AK_Triangle2* t = Locate(p, start, 0);
  if (!t) return nullptr;
  return t->_p[0] == p || t->_p[1] == p || t->_p[2] == p ? t : nullptr;
}

AK_Triangle2* AK_Triangulation2::FindEdge(const AK_Vec2* a, const AK_Vec2* b, AK_Triangle2* start)
{
  AK_Triangle2* first = TriangleWithVertex(a, start);
  if (!first) return nullptr;
  AK_Triangle2* t = first;
  int i = VertexIndex(t, a);
  for (int32_t guard = 0; guard <= _numTriangles; ++guard) {
    if (t->_p[Next(i)] == b) return t;
    t = t->_n[Next(i)];
    if (!t || t == first) return nullptr;
    i = VertexIndex(t, a);
  }
  return nullptr;
}

int AK_Triangulation2::IsDelaunayEdge(AK_Triangle2* t, int k)
{
  AK_Triangle2* n = t->_n[k];
  if (!n) return 1;
  ++_delaunayTests;
  int j = NeighbourIndex(n, t);
  return AK_InCircle(n->_c[j], t->_c[k], t->_c[Next(k)], t->_c[Prev(k)]) ? 0 : 1;
}

// ---------------------------------------------------------------------------------------
// Insertion

void AK_Triangulation2::SplitTriangle(AK_Triangle2* t, const AK_Vec2* p)
{
  AK_Triangle2* t1 = NewTriangle();
  AK_Triangle2* t2 = NewTriangle();
  AK_Triangle2* n1 = t->_n[1];
  AK_Triangle2* n2 = t->_n[2];
  // t = (a, b, c) becomes (p, b, c); t1 = (p, a, b), t2 = (p, c, a).
  t1->_p[0] = p, t1->_p[1] = t->_p[0], t1->_p[2] = t->_p[1];
  t1->_c[0] = *p, t1->_c[1] = t->_c[0], t1->_c[2] = t->_c[1];
  t1->_n[0] = n2, t1->_n[1] = t, t1->_n[2] = t2;
  t2->_p[0] = p, t2->_p[1] = t->_p[2], t2->_p[2] = t->_p[0];
  t2->_c[0] = *p, t2->_c[1] = t->_c[2], t2->_c[2] = t->_c[0];
  t2->_n[0] = n1, t2->_n[1] = t1, t2->_n[2] = t;
  t->_p[0] = p;
  t->_c[0] = *p;
  t->_n[1] = t2, t->_n[2] = t1;
  if (n1) n1->_n[NeighbourIndex(n1, t)] = t2;
  if (n2) n2->_n[NeighbourIndex(n2, t)] = t1;
  LocatorInsert(p->x, p->y, _numTriangles - 1);
  if (!_fine.empty()) RecordFineHint(p->x, p->y, _numTriangles - 1);
}

void AK_Triangulation2::FlipEdge(AK_Triangle2* t, int k)
{
  const int k1 = Next(k), k2 = Prev(k);
  const AK_Vec2* a = t->_p[k];
  const AK_Vec2* b = t->_p[k1];
  const AK_Vec2* c = t->_p[k2];
  const AK_Vec2 ca = t->_c[k], cb = t->_c[k1], cc = t->_c[k2];
  AK_Triangle2* n = t->_n[k];
  const int j = NeighbourIndex(n, t);
  const int j1 = Next(j), j2 = Prev(j);
  const AK_Vec2* d = n->_p[j];
  const AK_Vec2 cd = n->_c[j];
  AK_Triangle2* tCA = t->_n[k1];
  AK_Triangle2* tAB = t->_n[k2];
  AK_Triangle2* nBD = n->_n[j1];
  AK_Triangle2* nDC = n->_n[j2];
  t->_p[0] = c, t->_p[1] = a, t->_p[2] = d;
  t->_c[0] = cc, t->_c[1] = ca, t->_c[2] = cd;
  t->_n[0] = n, t->_n[1] = nDC, t->_n[2] = tCA;
  n->_p[0] = b, n->_p[1] = d, n->_p[2] = a;
  n->_c[0] = cb, n->_c[1] = cd, n->_c[2] = ca;
  n->_n[0] = t, n->_n[1] = tAB, n->_n[2] = nBD;
  if (tAB) tAB->_n[NeighbourIndex(tAB, t)] = n;
  if (nDC) nDC->_n[NeighbourIndex(nDC, n)] = t;
  _stack.push_back(t);
  _stack.push_back(n);
  ++_flips;
}

int AK_Triangulation2::Insert(const AK_Vec2* p, const AK_Vec2** existing)
{
  AK_Triangle2* t = Locate(p, nullptr, 1, existing);
  if (!t) return 0;
  // The flip tests read the three triangles around t: load them side by side.
  for (int k = 0; k < 3; ++k)
    if (t->_n[k]) Touch(t->_n[k]);
  SplitTriangle(t, p);
  AK_Triangle2* t1 = Triangle(_numTriangles - 2);
  AK_Triangle2* t2 = Triangle(_numTriangles - 1);
  _stack.clear();
  _stack.push_back(t);
  _stack.push_back(t2);
  _stack.push_back(t1);
  while (!_stack.empty()) {
    AK_Triangle2* tri = _stack.back();
    _stack.pop_back();
    int k = VertexIndex(tri, p);
    AK_Triangle2* n = tri->_n[k];
    if (!n) continue;
    ++_delaunayTests;
    int j = NeighbourIndex(n, tri);
    if (AK_InCircle(n->_c[j], tri->_c[k], tri->_c[Next(k)], tri->_c[Prev(k)])) {
      // The flip rewrites n's far neighbours and tests against them next.
      if (n->_n[Next(j)]) Touch(n->_n[Next(j)]);
      if (n->_n[Prev(j)]) Touch(n->_n[Prev(j)]);
      FlipEdge(tri, k);
    }
  }
  ++_pointsInserted;
  return 1;
}

// ---------------------------------------------------------------------------------------
// Reports and helpers without callers in the mesh

void AK_Triangulation2::PrintStatistics() const
{
  double n = _pointsInserted > 0 ? _pointsInserted : 1;
  char text[256];
  std::snprintf(text, sizeof text,
                "Triangulation statistics: %g search steps per point, %g flips per point, %g "
                "Delaunay-tests per point",
                _searchSteps / n, _flips / n, _delaunayTests / n);
  Send(text);
}

void AK_Triangulation2::WriteTriangle(const AK_Triangle2* t, std::ostream& out,
                                      const char* label) const
{
  out << "t " << label;
  for (int k = 0; k < 3; ++k) out << " " << t->_p[k]->x << " " << t->_p[k]->y << " 0";
  out << "\n";
}

void AK_Triangulation2::WriteTriangles(std::ostream& out, const char* label) const
{
  for (int32_t i = 0; i < _numTriangles; ++i)
    if (!HasAuxiliaryVertex(Triangle(i))) WriteTriangle(Triangle(i), out, label);
}

int AK_Triangulation2::IsoCrossings(const double z[3], double level, int edges[2],
                                    double params[2])
{
  int s = 0;
  for (int k = 2; k >= 0; --k)
    if (!(z[k] > level)) {
      s = k;
      break;
    }
  int count = 0;
  for (int e = 0; e < 3; ++e) {
    int from = (s + e) % 3, to = (s + e + 1) % 3;
    bool aboveFrom = z[from] > level, aboveTo = z[to] > level;
    if (aboveFrom == aboveTo) continue;
    double t = (level - z[from]) / (z[to] - z[from]);
    if (!(t >= 0)) t = 0;
    if (t > 1) t = 1;
    if (count < 2) {
      edges[count] = from;
      params[count] = t;
    }
    ++count;
  }
  return count;
}
