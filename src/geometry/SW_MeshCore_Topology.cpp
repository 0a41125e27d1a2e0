// Mesh storage and topology: vertex list operations, the edge iterator, vertex neighbour
// lists, per-cell geometry and the building of the cell neighbour table.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "AK_Predicates.h"
#include "SW_MeshCore.h"

void SW_MeshCore::ClearGeometry()
{
  _x.SetCount(0);
  _lcv.SetCount(0);
  _lcc.SetCount(0);
  _vertexNormals.SetCount(0);
  _segments.SetCount(0);
  _totalArea = AK_Vec3();
  _rowHeight = 0;
  DropDerivedGeometry();
  _cartesian = 0;
  _honeycomb = 0;
}

void SW_MeshCore::SetNumVertices(int32_t n)
{
  ClearGeometry();
  if (n < 0) n = 0;
  _x.Reserve(n);
  for (int32_t i = 0; i < n; ++i) _x[i] = AK_Vec3();
  _x.SetCount(n);
}

void SW_MeshCore::RemoveVertex(int32_t i)
{
  int32_t last = _x.Size() - 1;
  if (last < 0) return;
  if (i < last) _x[i] = _x[last];
  _x.SetCount(last);
}

void SW_MeshCore::AppendVertex(const AK_Vec3& v) { _x.Append(v); }

int SW_MeshCore::NextEdge(int32_t& c, int32_t& k) const
{
  SW_MESH_FATAL_ASSERT(_lcc.Size() > 0, "_lcc.Size()");
  const int32_t n = NumCells();
  for (;;) {
    ++k;
    if (k >= 4 || (c < n && _lcv[c][k] < 0)) {
      ++c;
      k = 0;
    }
    if (c >= n) return 0;
    int32_t d = _lcc[c][k];
    if (d < 0 || d > c) return 1;
  }
}

// ---------------------------------------------------------------------------------------
// Vertex neighbour lists

static void AppendUnique(AK_Array<int32_t>& list, int32_t v)
{
  if (list.Find(v) < 0) list.Append(v);
}

void SW_MeshCore::ComputeVertexNeighbours()
{
  const int32_t nv = NumVertices();
  _vertexNeighbours = AK_Array<AK_Array<int32_t>>(nv);
  _vertexNeighbours.SetCount(nv);
  for (int32_t c = 0; c < NumCells(); ++c) {
    const AK_Index4& cell = _lcv[c];
    const int m = CornerCount(c);
    for (int i = 0; i < m; ++i) {
      AK_Array<int32_t>& list = _vertexNeighbours[cell[i]];
      AppendUnique(list, cell[(i + 1) % m]);
      AppendUnique(list, cell[(i + m - 1) % m]);
    }
  }
}

void SW_MeshCore::VertexNeighbours(int32_t v, AK_Array<int32_t>& out)
{
  if (_vertexNeighbours.Size() == 0) ComputeVertexNeighbours();
  if (v < 0 || v >= _vertexNeighbours.Size()) {
    out.Clear();
    return;
  }
  out = _vertexNeighbours[v];
}

// ---------------------------------------------------------------------------------------
// Cell geometry

AK_Vec3 SW_MeshCore::CellCentre(int32_t c) const
{
  const AK_Index4& cell = _lcv[c];
  AK_Vec3 sum;
  int m = 0;
  while (m < 4 && cell[m] >= 0) {
    sum += _x[cell[m]];
    ++m;
  }
  return m > 0 ? sum * (1.0 / m) : sum;
}

AK_Vec3 SW_MeshCore::EdgeNormal(int32_t c, int k) const
{
  SW_MESH_FATAL_ASSERT(_lcc.Size() > 0, "_lcc");
  AK_Vec3 n = CellAreaVector(c);
  int32_t d = _lcc[c][k];
  if (d >= 0) n += CellAreaVector(d);
  const AK_Index4& cell = _lcv[c];
  int32_t a = cell[k];
  int32_t b = cell[(k + 1) % 4];
  if (b < 0) b = cell[0];
  AK_Vec3 e = _x[b] - _x[a];
  double len = n.Length();
  // Two cells whose area vectors cancel (or a degenerate cell) give no surface normal:
  // fall back to the outward normal in the x-y plane.
  if (!(len > 0)) return AK_Vec3(e.y, -e.x, 0);
  n *= 1.0 / len;
  return e.Cross(n);
}

AK_Vec3 SW_MeshCore::TotalAreaVector() const
{
  AK_Vec3 sum;
  for (int32_t c = 0; c < NumCells(); ++c) sum += CellAreaVector(c);
  return sum;
}

int SW_MeshCore::VertexBox(AK_Vec3& min, AK_Vec3& max) const
{
  if (NumVertices() == 0) return 0;
  AK_PointArrayBox(_x, min, max);
  return 1;
}

// ---------------------------------------------------------------------------------------
// Connectivity

namespace {

// Message text helper: the message hook takes plain text.
void SendMessage(const char* text, AK_SourceLocation where = AK_SourceLocation::Current())
{
  AK_ModuleMessage("SW_Mesh", text, where);
}

// The edge hash table: bucket (a + b) mod B holds the directed cell edges that still wait
// for their twin, in arrival order. A record leaves its bucket as soon as its twin arrives
// (the bucket's last record takes its place), so buckets hold only the open border of the
// cells seen so far.
struct EdgeRecord {
  int32_t a, b, cell, k;
};

// One bucket in one cache line: the first kInline records live in it, the rest (crowded
// buckets only) in an array of its own that grows with them. Most buckets of a grid never
// hold more, so they never allocate.
class alignas(64) EdgeBucket {
public:
  static constexpr int32_t kInline = 3;

  int32_t Size() const { return _count; }
  EdgeRecord& operator[](int32_t i) { return i < kInline ? _inline[i] : _more[i - kInline]; }
  // The records beyond the bucket's own, for loading ahead.
  const EdgeRecord* More() const { return _more.get(); }

  void Append(const EdgeRecord& r)
  {
    if (_count >= kInline) {
      const int32_t i = _count - kInline;
      if (i == _moreCapacity) Grow();
      _more[i] = r;
    } else {
      _inline[_count] = r;
    }
    ++_count;
  }
  // The last record takes the place of record i.
  void Remove(int32_t i)
  {
    (*this)[i] = (*this)[_count - 1];
    --_count;
  }

private:
  void Grow()
  {
    const int32_t capacity = _moreCapacity > 0 ? 2 * _moreCapacity : 4;
    std::unique_ptr<EdgeRecord[]> more(new EdgeRecord[static_cast<size_t>(capacity)]);
    std::copy(_more.get(), _more.get() + _moreCapacity, more.get());
    _more = std::move(more);
    _moreCapacity = capacity;
  }

  int32_t _count = 0;
  int32_t _moreCapacity = 0;
  std::unique_ptr<EdgeRecord[]> _more;
  EdgeRecord _inline[kInline];
};

// Edge k of a cell: from corner k to the next corner (corner 0 after the last).
inline int32_t EdgeEnd(const AK_Index4& cell, int k)
{
  int32_t b = cell[(k + 1) % 4];
  return b < 0 ? cell[0] : b;
}

// On large meshes nearly every bucket is a cache miss, and the cells' buckets are known
// ahead: each cell's buckets are found kHeadAhead cells before the cell, when they are
// asked for, and the records beyond their own kRecordsAhead cells before.
constexpr int32_t kHeadAhead = 32;
constexpr int32_t kRecordsAhead = 12;

}  // namespace

void SW_MeshCore::ComputeConnectivity()
{
  const int32_t nv = NumVertices();
  const int32_t nc = NumCells();
  if (nv == 0 || nc == 0) return;

  char text[160];
  std::snprintf(text, sizeof text, "computing connectivity for %d cells...", nc);
  SendMessage(text);

  const int32_t buckets = AK_NextPrime(nv / 7 + 13);
  std::vector<EdgeBucket> eht(static_cast<size_t>(buckets));
  const AK_FastModulo bucketOf(static_cast<uint32_t>(buckets));
  auto bucket = [&](int32_t a, int32_t b) -> EdgeBucket& {
    return eht[bucketOf(static_cast<uint32_t>(a) + static_cast<uint32_t>(b))];
  };

  _lcc = AK_Array<AK_Index4>(nc);
  _lcc.SetCount(nc);
  _vertexNeighbours.SetCount(0);
  SendMessage("initializing lcc...");
  for (int32_t c = 0; c < nc; ++c) _lcc[c] = AK_Index4(-1, -1, -1, -1);

  SendMessage("computing lcc...");
  // The buckets of the edges of cell c in slot c mod kHeadAhead, from kHeadAhead cells
  // before c until c.
  EdgeBucket* window[kHeadAhead][4];
  auto findBuckets = [&](int32_t c) {
    const AK_Index4& cell = _lcv[c];
    for (int k = 0; k < 4 && cell[k] >= 0; ++k)
      window[c % kHeadAhead][k] = &bucket(cell[k], EdgeEnd(cell, k));
  };
  for (int32_t c = 0; c < kHeadAhead && c < nc; ++c) findBuckets(c);
  int64_t steps = 0;
  for (int32_t c = 0; c < nc; ++c) {
    if (c % 200000 == 0) {
      std::snprintf(text, sizeof text, "cell %d", c + 1);
      SendMessage(text);
    }
    EdgeBucket* buckets[4];
    std::copy(window[c % kHeadAhead], window[c % kHeadAhead] + 4, buckets);
    // (Written out here: a function that only prefetches may be dropped as doing nothing.)
    if (c + kHeadAhead < nc) {
      findBuckets(c + kHeadAhead);
      for (int k = 0; k < 4 && _lcv[c + kHeadAhead][k] >= 0; ++k)
        __builtin_prefetch(window[c % kHeadAhead][k]);
    }
    if (c + kRecordsAhead < nc) {
      const int32_t ahead = c + kRecordsAhead;
      for (int k = 0; k < 4 && _lcv[ahead][k] >= 0; ++k) {
        const EdgeBucket& records = *window[ahead % kHeadAhead][k];
        const int32_t more = records.Size() - EdgeBucket::kInline;
        if (more <= 0) continue;
        const char* first = reinterpret_cast<const char*>(records.More());
        const char* end = first + sizeof(EdgeRecord) * static_cast<size_t>(more);
        for (const char* line = first; line < end; line += 64) __builtin_prefetch(line);
      }
    }
    const AK_Index4& cell = _lcv[c];
    for (int k = 0; k < 4 && cell[k] >= 0; ++k) {
      const int32_t a = cell[k];
      const int32_t b = EdgeEnd(cell, k);
      EdgeBucket& records = *buckets[k];
      // The same edge traversed the other way, searched from the bucket's first record.
      int32_t found = records.Size();
      for (int32_t r = 0; r < records.Size(); ++r) {
        ++steps;
        if (records[r].a == b && records[r].b == a) {
          found = r;
          break;
        }
      }
      if (found < records.Size()) {
        const EdgeRecord twin = records[found];
        _lcc[c][k] = twin.cell;
        _lcc[twin.cell][twin.k] = c;
        records.Remove(found);
      } else {
        records.Append(EdgeRecord{a, b, c, k});
      }
    }
  }
  std::snprintf(text, sizeof text, "lcc ready, %g search steps per cell",
                static_cast<double>(steps) / nc);
  SendMessage(text);
  SendMessage("computing connectivity done");
}
