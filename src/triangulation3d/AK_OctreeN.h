// An octree over axis-aligned boxes in N dimensions whose leaves hold lists of object
// identifiers. Which objects a cell takes is decided by an in-box criterion and when a leaf
// splits by a refinement criterion, so the tree itself knows nothing of what it stores.
//
// Child k of a cell covers, per axis a, the upper half of the cell when bit a of k is set
// and the lower half when it is clear; sibling boxes share their faces exactly because both
// take the same float midpoint. Boxes are floats to keep a cell small: an owner whose
// objects live far from the origin stores them relative to a corner of its own choosing.
#pragma once

#include <cstdint>
#include <new>

#include "AK_Array.h"
#include "AK_Message.h"

template <class T, int N>
class AK_OctreeN;

// Answers nonzero when the object belongs into a cell with the closed box [min, max].
template <class T, int N>
class AK_OctreeInBoxCriterion {
public:
  virtual ~AK_OctreeInBoxCriterion() = default;
  virtual int InBox(const T& object, const float min[N], const float max[N]) const = 0;
};

// Answers nonzero when a leaf must split.
template <class T, int N>
class AK_OctreeRefinementCriterion {
public:
  virtual ~AK_OctreeRefinementCriterion() = default;
  virtual int NeedsRefinement(const AK_OctreeN<T, N>& cell) const = 0;
};

// Splits every cell above minLevel, and a cell above maxLevel never; in between a leaf
// splits when it holds more than maxObjects objects.
template <class T, int N>
class AK_SimpleOctreeRefinementCriterion : public AK_OctreeRefinementCriterion<T, N> {
public:
  int32_t minLevel, maxLevel, maxObjects;

  AK_SimpleOctreeRefinementCriterion(int32_t minLevel_, int32_t maxLevel_, int32_t maxObjects_)
      : minLevel(minLevel_), maxLevel(maxLevel_), maxObjects(maxObjects_)
  {
  }
  int NeedsRefinement(const AK_OctreeN<T, N>& cell) const override
  {
    int32_t level = cell.Level();
    if (level < minLevel) return 1;
    if (level < maxLevel) return cell.NumObjects() > maxObjects ? 1 : 0;
    return 0;
  }
};

template <class T, int N>
class AK_OctreeN {
public:
  static constexpr int kChildren = 1 << N;
  using Cell = AK_OctreeN<T, N>;
  using CellList = AK_Array<Cell*>;

  float _min[N];
  float _max[N];
  Cell* _parent = nullptr;
  Cell* _children = nullptr;         // kChildren cells in one allocation, owned
  AK_Array<T>* _objects = nullptr;   // a leaf's objects, owned; null in inner cells
  int32_t _number = -1;              // the owner's mark
  int32_t _octant = 0;               // index in the parent's children

  AK_OctreeN()
  {
    for (int a = 0; a < N; ++a) {
      _min[a] = 0;
      _max[a] = 1;
    }
  }
  AK_OctreeN(const AK_OctreeN&) = delete;
  AK_OctreeN& operator=(const AK_OctreeN&) = delete;
  ~AK_OctreeN() { Clear(); }

  // Deletes the children (recursively) and the object list.
  void Clear()
  {
    delete[] _children;
    _children = nullptr;
    delete _objects;
    _objects = nullptr;
  }

  bool IsLeaf() const { return _children == nullptr; }
  AK_Array<T>* Objects() const { return _objects; }
  int32_t Number() const { return _number; }
  void SetNumber(int32_t number) { _number = number; }
  int32_t Level() const
  {
    int32_t level = 0;
    for (const Cell* c = _parent; c; c = c->_parent) ++level;
    return level;
  }
  // The centre along one axis, in float arithmetic.
  double Centre(int a) const { return static_cast<double>((_min[a] + _max[a]) * 0.5f); }

  // Offers the object to this cell and, through the in-box test, to every leaf below it;
  // a leaf that takes it may split. Answers the number of leaves that took it.
  int32_t InsertObject(const T& object, const AK_OctreeInBoxCriterion<T, N>& inBox,
                       const AK_OctreeRefinementCriterion<T, N>* refine)
  {
    if (!inBox.InBox(object, _min, _max)) return 0;
    if (_children) {
      int32_t n = 0;
      for (int k = 0; k < kChildren; ++k) n += _children[k].InsertObject(object, inBox, refine);
      return n;
    }
    if (!_objects) _objects = new AK_Array<T>(1);
    _objects->Append(object);
    Refine(inBox, refine);
    return 1;
  }

  // Splits the leaves below this cell until the criterion is met everywhere; nonzero when
  // any leaf was split.
  int Refine(const AK_OctreeInBoxCriterion<T, N>& inBox,
             const AK_OctreeRefinementCriterion<T, N>* refine)
  {
    if (_children) {
      int any = 0;
      for (int k = 0; k < kChildren; ++k)
        if (_children[k].Refine(inBox, refine)) any = 1;
      return any;
    }
    if (!refine || !refine->NeedsRefinement(*this)) return 0;
    _children = new (std::nothrow) Cell[kChildren];
    if (!_children) AK_FatalAssertion("child", "AK_OctreeN", 317);
    for (int k = 0; k < kChildren; ++k) {
      Cell& child = _children[k];
      child._parent = this;
      child._octant = k;
      for (int a = 0; a < N; ++a) {
        float mid = static_cast<float>((static_cast<double>(_min[a] + _max[a])) * 0.5);
        child._min[a] = (k >> a) & 1 ? mid : _min[a];
        child._max[a] = (k >> a) & 1 ? _max[a] : mid;
      }
      if (_objects)
        for (const T& object : *_objects) child.InsertObject(object, inBox, nullptr);
    }
    delete _objects;
    _objects = nullptr;
    Refine(inBox, refine);
    return 1;
  }

  // The leaf whose half-open box holds the point; null outside this cell.
  const Cell* FindLeaf(const float p[N]) const
  {
    for (int a = 0; a < N; ++a)
      if (_min[a] > p[a] || p[a] >= _max[a]) return nullptr;
    if (!_children) return this;
    for (int k = 0; k < kChildren; ++k)
      if (const Cell* leaf = _children[k].FindLeaf(p)) return leaf;
    return nullptr;
  }
  Cell* FindLeaf(const float p[N])
  {
    return const_cast<Cell*>(static_cast<const Cell*>(this)->FindLeaf(p));
  }

  // Appends the leaves whose box meets the closed query box (touching counts).
  void CollectLeavesInBox(const float qmin[N], const float qmax[N], CellList& list)
  {
    for (int a = 0; a < N; ++a)
      if (_min[a] > qmax[a] || qmin[a] > _max[a]) return;
    if (!_children) {
      list.Append(this);
      return;
    }
    for (int k = 0; k < kChildren; ++k) _children[k].CollectLeavesInBox(qmin, qmax, list);
  }

  // Appends the leaves reached through children whose octant k has (k & mask) == value at
  // every level: with mask 1 << d and value 0 the leaves along the lower face of axis d.
  void CollectSideLeaves(CellList& list, int mask, int value)
  {
    if (!_children) {
      list.Append(this);
      return;
    }
    for (int k = 0; k < kChildren; ++k)
      if ((k & mask) == value) _children[k].CollectSideLeaves(list, mask, value);
  }

  // The face neighbour of a cell C by location codes: `start` is C's parent and `codes`
  // holds C's octant; mask = 1 << d picks the axis, value = mask the upper side and 0 the
  // lower. Answers the cell of C's size across the face, a larger leaf where the tree is
  // coarser there, or null when C lies on the root's face on that side. Where the region
  // is finer the answer is an inner cell whose touching leaves CollectSideLeaves(mask,
  // mask & ~value) gathers. The codes are consumed.
  static Cell* Neighbour(Cell* start, AK_Array<int32_t>& codes, int mask, int value)
  {
    Cell* cell = start;
    int climb = Mirror(codes, mask, value);
    while (climb) {
      if (!cell->_parent) return nullptr;
      codes.Append(cell->_octant);
      cell = cell->_parent;
      mask = climb;
      climb = Mirror(codes, mask, value);
    }
    return Descend(cell, codes);
  }

  // Follows codes popped from the top of the stack while the cell has children.
  static Cell* Descend(Cell* cell, AK_Array<int32_t>& codes)
  {
    while (codes.Size() > 0 && cell->_children) {
      int32_t k = codes.Last();
      codes.SetCount(codes.Size() - 1);
      cell = &cell->_children[k];
    }
    return cell;
  }

  int32_t NumLeaves() const
  {
    if (!_children) return 1;
    int32_t n = 0;
    for (int k = 0; k < kChildren; ++k) n += _children[k].NumLeaves();
    return n;
  }
  int32_t NumNodes() const
  {
    if (!_children) return 1;
    int32_t n = 1;
    for (int k = 0; k < kChildren; ++k) n += _children[k].NumNodes();
    return n;
  }
  // An object held by several leaves counts once per leaf.
  int32_t NumObjects() const
  {
    if (!_children) return _objects ? _objects->Size() : 0;
    int32_t n = 0;
    for (int k = 0; k < kChildren; ++k) n += _children[k].NumObjects();
    return n;
  }

  // Calls visit(leaf) for every leaf, depth first, children in octant order.
  template <class F>
  void ForEachLeaf(F&& visit)
  {
    if (!_children) {
      visit(*this);
      return;
    }
    for (int k = 0; k < kChildren; ++k) _children[k].ForEachLeaf(visit);
  }

private:
  // Replaces the top code by its mirror across the axis and answers whether the cell it
  // named lies on the asked side of its parent (so the search must climb).
  static int Mirror(AK_Array<int32_t>& codes, int mask, int value)
  {
    int32_t& c = codes.Last();
    int climb = mask & ~(c ^ value);
    c ^= mask;
    return climb;
  }
};
