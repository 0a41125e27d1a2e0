// Mesh storage and topology: vertex list operations, the edge iterator, vertex neighbour
// lists, per-cell geometry and the building of the cell neighbour table.
#include <cstdio>
#include <cstdint>
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
  AK_FATAL_ASSERT_NAMED(_lcc.Size() > 0, "_lcc.Size()");
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

AK_Vec3 SW_MeshCore::CellAreaVector(int32_t c) const
{
  const AK_Index4& cell = _lcv[c];
  const AK_Vec3& p0 = _x[cell[0]];
  const AK_Vec3& p1 = _x[cell[1]];
  const AK_Vec3& p2 = _x[cell[2]];
  if (cell[3] < 0) return (p1 - p0).Cross(p2 - p0) * 0.5;
  const AK_Vec3& p3 = _x[cell[3]];
  return (p2 - p0).Cross(p3 - p1) * 0.5;
}

AK_Vec3 SW_MeshCore::EdgeNormal(int32_t c, int k) const
{
  AK_FATAL_ASSERT_NAMED(_lcc.Size() > 0, "_lcc");
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
void SendMessage(const char* text, int line) { AK_Message(text, "SW_Mesh", line); }

// Directed edges that wait for their twin. Each directed edge (a, b) keeps a queue of the
// cell edges that traverse it, oldest first; a cell edge that traverses (b, a) takes the
// oldest. An edge leaves the table as soon as its twin arrives, so the table holds only the
// open border of the cells seen so far and grows with it, never with fixed reserves.
class PendingEdges {
public:
  struct Found {
    int32_t cell, k;
  };

  explicit PendingEdges(int32_t expected)
  {
    size_t cap = 1024;
    while (cap < static_cast<size_t>(expected) * 2) cap *= 2;
    _slots.assign(cap, Slot{});
  }

  // Takes the oldest cell edge that traverses (a, b); false when none waits.
  bool Take(uint32_t a, uint32_t b, Found& out, int64_t& probes)
  {
    const uint64_t key = Key(a, b);
    size_t i = Home(key);
    for (;;) {
      ++probes;
      Slot& s = _slots[i];
      if (s.head < 0) return false;
      if (s.key == key) {
        Record& r = _records[static_cast<size_t>(s.head)];
        out = Found{r.cell, r.k};
        int32_t next = r.next;
        Free(s.head);
        if (next >= 0) {
          s.head = next;
        } else {
          Erase(i);
        }
        return true;
      }
      i = (i + 1) & (_slots.size() - 1);
    }
  }

  void Add(uint32_t a, uint32_t b, int32_t cell, int32_t k)
  {
    if ((_used + 1) * 2 > _slots.size()) Grow();
    const uint64_t key = Key(a, b);
    int32_t rec = NewRecord(cell, k);
    size_t i = Home(key);
    for (;;) {
      Slot& s = _slots[i];
      if (s.head < 0) {
        s.key = key;
        s.head = s.tail = rec;
        ++_used;
        return;
      }
      if (s.key == key) {
        _records[static_cast<size_t>(s.tail)].next = rec;
        s.tail = rec;
        return;
      }
      i = (i + 1) & (_slots.size() - 1);
    }
  }

private:
  struct Slot {
    uint64_t key = 0;
    int32_t head = -1;
    int32_t tail = -1;
  };
  struct Record {
    int32_t cell, k, next;
  };

  static uint64_t Key(uint32_t a, uint32_t b) { return (static_cast<uint64_t>(a) << 32) | b; }
  size_t Home(uint64_t key) const
  {
    uint64_t h = key * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(h >> 20) & (_slots.size() - 1);
  }

  int32_t NewRecord(int32_t cell, int32_t k)
  {
    if (_free >= 0) {
      int32_t r = _free;
      _free = _records[static_cast<size_t>(r)].next;
      _records[static_cast<size_t>(r)] = Record{cell, k, -1};
      return r;
    }
    _records.push_back(Record{cell, k, -1});
    return static_cast<int32_t>(_records.size() - 1);
  }
  void Free(int32_t r)
  {
    _records[static_cast<size_t>(r)].next = _free;
    _free = r;
  }

  // Removes slot i, shifting later members of its probe run back (no tombstones).
  void Erase(size_t i)
  {
    const size_t mask = _slots.size() - 1;
    _slots[i] = Slot{};
    --_used;
    size_t j = i;
    for (;;) {
      j = (j + 1) & mask;
      if (_slots[j].head < 0) return;
      size_t home = Home(_slots[j].key);
      // Move j back to i when its home does not lie cyclically in (i, j].
      bool between = i <= j ? (home > i && home <= j) : (home > i || home <= j);
      if (!between) {
        _slots[i] = _slots[j];
        _slots[j] = Slot{};
        i = j;
      }
    }
  }

  void Grow()
  {
    std::vector<Slot> old;
    old.swap(_slots);
    _slots.assign(old.size() * 2, Slot{});
    for (const Slot& s : old) {
      if (s.head < 0) continue;
      size_t i = Home(s.key);
      while (_slots[i].head >= 0) i = (i + 1) & (_slots.size() - 1);
      _slots[i] = s;
    }
  }

  std::vector<Slot> _slots;
  size_t _used = 0;
  std::vector<Record> _records;
  int32_t _free = -1;
};

}  // namespace

void SW_MeshCore::ComputeConnectivity()
{
  const int32_t nv = NumVertices();
  const int32_t nc = NumCells();
  if (nv == 0 || nc == 0) return;

  char text[160];
  std::snprintf(text, sizeof text, "computing connectivity for %d cells...", nc);
  SendMessage(text, __LINE__);

  // The open border of a sweep over the cells is about the square root of their number
  // for cells in spatial order; the table grows when it holds more.
  int32_t expected = 64;
  while (static_cast<int64_t>(expected) * expected < nc && expected < (1 << 20)) expected *= 2;
  PendingEdges pending(4 * expected);

  _lcc = AK_Array<AK_Index4>(nc);
  _lcc.SetCount(nc);
  _vertexNeighbours.SetCount(0);
  SendMessage("initializing lcc...", __LINE__);
  for (int32_t c = 0; c < nc; ++c) _lcc[c] = AK_Index4(-1, -1, -1, -1);

  SendMessage("computing lcc...", __LINE__);
  int64_t probes = 0;
  for (int32_t c = 0; c < nc; ++c) {
    if (c % 200000 == 0) {
      std::snprintf(text, sizeof text, "cell %d", c + 1);
      SendMessage(text, __LINE__);
    }
    const AK_Index4& cell = _lcv[c];
    for (int k = 0; k < 4 && cell[k] >= 0; ++k) {
      int32_t a = cell[k];
      int32_t b = cell[(k + 1) % 4];
      if (b < 0) b = cell[0];
      PendingEdges::Found twin;
      if (pending.Take(static_cast<uint32_t>(b), static_cast<uint32_t>(a), twin, probes)) {
        _lcc[c][k] = twin.cell;
        _lcc[twin.cell][twin.k] = c;
      } else {
        pending.Add(static_cast<uint32_t>(a), static_cast<uint32_t>(b), c, k);
      }
    }
  }
  std::snprintf(text, sizeof text, "lcc ready, %g search steps per cell",
                static_cast<double>(probes) / nc);
  SendMessage(text, __LINE__);
  SendMessage("computing connectivity done", __LINE__);
}
