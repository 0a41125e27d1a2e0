// Dynamic array with 32-bit capacity and count. The capacity is at least 1 and doubles
// when an append finds the array full. A failed allocation is a fatal assertion, except in
// TryResize and TryReserve, which answer false instead: a size that user input chooses (a
// particle count) takes that path and stops honestly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "AK_Message.h"

template <class T>
class AK_Array {
public:
  int32_t _capacity = 1;
  int32_t _count = 0;
  T* _elems = nullptr;

  explicit AK_Array(int32_t capacity = 1)
  {
    _capacity = capacity < 1 ? 1 : capacity;
    _elems = new (std::nothrow) T[static_cast<size_t>(_capacity)]();
    AK_FATAL_ASSERT_NAMED(_elems, "_elems");
  }

  AK_Array(const AK_Array& other) : AK_Array(other._capacity)
  {
    for (int32_t i = 0; i < other._count; ++i) _elems[i] = other._elems[i];
    _count = other._count;
  }

  AK_Array(AK_Array&& other) noexcept
      : _capacity(other._capacity), _count(other._count), _elems(other._elems)
  {
    other._elems = new (std::nothrow) T[1]();
    other._capacity = 1;
    other._count = 0;
    AK_FATAL_ASSERT_NAMED(other._elems, "_elems");
  }

  AK_Array& operator=(const AK_Array& other)
  {
    if (this == &other) return *this;
    if (_capacity < other._count) {
      // Too small: take over a fresh copy's buffer.
      AK_Array copy(other);
      std::swap(_capacity, copy._capacity);
      std::swap(_count, copy._count);
      std::swap(_elems, copy._elems);
      return *this;
    }
    const int32_t n = other._count > 0 ? other._count : 0;  // never negative; says so to the optimiser
    for (int32_t i = 0; i < n; ++i) _elems[i] = other._elems[i];
    for (int32_t i = n; i < _count; ++i) _elems[i] = T();
    _count = n;
    return *this;
  }

  AK_Array& operator=(AK_Array&& other) noexcept
  {
    if (this == &other) return *this;
    std::swap(_capacity, other._capacity);
    std::swap(_count, other._count);
    std::swap(_elems, other._elems);
    return *this;
  }

  ~AK_Array() { delete[] _elems; }

  int32_t Size() const { return _count; }
  int32_t Count() const { return _count; }
  int32_t Capacity() const { return _capacity; }
  bool IsEmpty() const { return _count == 0; }

  T& operator[](int32_t i) { return _elems[i]; }
  const T& operator[](int32_t i) const { return _elems[i]; }
  T& Last() { return _elems[_count - 1]; }
  const T& Last() const { return _elems[_count - 1]; }
  T* begin() { return _elems; }
  T* end() { return _elems + _count; }
  const T* begin() const { return _elems; }
  const T* end() const { return _elems + _count; }

  // Sets the capacity to n (at least 1), keeping the first min(count, n) elements;
  // the count shrinks with the capacity. New slots hold default values. Answers the capacity.
  int32_t Resize(int32_t n)
  {
    const bool resized = TryResize(n);
    AK_FATAL_ASSERT_NAMED(resized, "aux");
    return _capacity;
  }

  // Resize, answering false (the array as it was) when the memory cannot be had.
  bool TryResize(int32_t n)
  {
    if (n < 1) n = 1;
    if (n == _capacity) return true;
    T* aux = new (std::nothrow) T[static_cast<size_t>(n)]();
    if (!aux) return false;
    int32_t keep = _count < n ? _count : n;
    for (int32_t i = 0; i < keep; ++i) aux[i] = std::move(_elems[i]);
    delete[] _elems;
    _elems = aux;
    _capacity = n;
    _count = keep;
    return true;
  }

  // Makes room for at least n elements without changing the count.
  void Reserve(int32_t n)
  {
    if (n > _capacity) Resize(n);
  }

  // Reserve, answering false (the array as it was) when the memory cannot be had.
  bool TryReserve(int32_t n) { return n <= _capacity || TryResize(n); }

  // Room for n elements and a fifth more for growth to come, or for just n when the spare
  // cannot be had; false (the array as it was) when not even that can.
  bool TryReserveWithSpare(int32_t n)
  {
    if (n <= _capacity) return true;
    const int64_t spare = int64_t(n) + n / 5;
    return TryResize(static_cast<int32_t>(spare < INT32_MAX ? spare : INT32_MAX)) || TryResize(n);
  }

  // Sets the count directly; the caller has made room with Resize or Reserve.
  void SetCount(int32_t n)
  {
    AK_FATAL_ASSERT_NAMED(n >= 0 && n <= _capacity, "n <= _capacity");
    _count = n;
  }

  // Appends a copy; returns the new element's index.
  int32_t Append(const T& value)
  {
    if (_count >= _capacity) {
      T copy(value);  // value may live inside this array
      Resize(GrownCapacity());
      _elems[_count] = std::move(copy);
    } else {
      _elems[_count] = value;
    }
    return _count++;
  }

  int32_t Append(T&& value)
  {
    if (_count >= _capacity) {
      T moved(std::move(value));
      Resize(GrownCapacity());
      _elems[_count] = std::move(moved);
    } else {
      _elems[_count] = std::move(value);
    }
    return _count++;
  }

  // Appends copies of every element of another array; returns count - 1.
  int32_t AppendAll(const AK_Array& other)
  {
    int32_t n = other._count;
    AK_FATAL_ASSERT_NAMED(n <= INT32_MAX - _count, "_elems");
    if (_count + n > _capacity) Resize(_count + n);
    for (int32_t i = 0; i < n; ++i) _elems[_count + i] = other._elems[i];
    _count += n;
    return _count - 1;
  }

  // Inserts at index (0..count), shifting the rest up.
  void Insert(int32_t index, const T& value)
  {
    AK_FATAL_ASSERT_NAMED(index >= 0 && index <= _count, "index");
    T copy(value);
    if (_count >= _capacity) Resize(GrownCapacity());
    for (int32_t i = _count; i > index; --i) _elems[i] = std::move(_elems[i - 1]);
    _elems[index] = std::move(copy);
    ++_count;
  }

  // Removes the element at index, keeping the order of the rest.
  void Remove(int32_t index)
  {
    AK_FATAL_ASSERT_NAMED(index >= 0 && index < _count, "index");
    for (int32_t i = index; i + 1 < _count; ++i) _elems[i] = std::move(_elems[i + 1]);
    --_count;
    _elems[_count] = T();
  }

  // Index of the first element equal to value, or -1.
  int32_t Find(const T& value) const
  {
    for (int32_t i = 0; i < _count; ++i)
      if (_elems[i] == value) return i;
    return -1;
  }

  // Twice the capacity; an array that cannot double any more is out of memory.
  int32_t GrownCapacity() const
  {
    AK_FATAL_ASSERT_NAMED(_capacity <= INT32_MAX / 2, "_elems");
    return _capacity * 2;
  }

  void Clear()
  {
    for (int32_t i = 0; i < _count; ++i) _elems[i] = T();
    _count = 0;
  }
};
