// A fixed-size set of bits: bit i is bit i % 32 of word i / 32.
#pragma once

#include <cstdint>
#include <new>

#include "AK_Message.h"

class AK_BitArray {
public:
  int32_t _nBits = 0;
  int32_t _nWords = 0;  // _nBits / 32 + 1
  uint32_t* _bits = nullptr;

  explicit AK_BitArray(int32_t nBits = 0) { Resize(nBits); }
  AK_BitArray(const AK_BitArray& other) : AK_BitArray(other._nBits)
  {
    for (int32_t i = 0; i < _nWords; ++i) _bits[i] = other._bits[i];
  }
  AK_BitArray& operator=(const AK_BitArray& other)
  {
    if (this == &other) return *this;
    Resize(other._nBits);
    for (int32_t i = 0; i < _nWords; ++i) _bits[i] = other._bits[i];
    return *this;
  }
  ~AK_BitArray() { delete[] _bits; }

  // Sets the bit count (a negative count gives 0) and clears every bit; old bits are not kept.
  void Resize(int32_t nBits)
  {
    if (nBits < 0) nBits = 0;
    delete[] _bits;
    _nBits = nBits;
    _nWords = nBits / 32 + 1;
    _bits = new (std::nothrow) uint32_t[static_cast<size_t>(_nWords)]();
    AK_FATAL_ASSERT_NAMED(_bits, "_bits");
  }

  int32_t Size() const { return _nBits; }

  // An index outside 0 .. Size() - 1 is a broken invariant of the caller.
  bool Test(int32_t i) const
  {
    Check(i);
    return (_bits[i / 32] >> (i % 32)) & 1u;
  }
  void Set(int32_t i)
  {
    Check(i);
    _bits[i / 32] |= 1u << (i % 32);
  }
  void Clear(int32_t i)
  {
    Check(i);
    _bits[i / 32] &= ~(1u << (i % 32));
  }
  void ClearAll()
  {
    for (int32_t w = 0; w < _nWords; ++w) _bits[w] = 0;
  }
  int32_t CountSet() const
  {
    int32_t n = 0;
    for (int32_t w = 0; w < _nWords; ++w) n += __builtin_popcount(_bits[w]);
    return n;
  }

private:
  void Check(int32_t i) const { AK_FATAL_ASSERT_NAMED(i >= 0 && i < _nBits, "bit index"); }
};
