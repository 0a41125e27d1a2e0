// Map from 8-byte keys (numbers or addresses) to 32-bit values with a default value.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "AK_Numerics.h"

// Hash over the key's bytes.
using AK_HashFunction = uint32_t (*)(const unsigned char* key, int size);

// FNV-1a over the bytes.
inline uint32_t AK_HashBytes(const unsigned char* key, int size)
{
  uint32_t h = 2166136261u;
  for (int i = 0; i < size; ++i) h = (h ^ key[i]) * 16777619u;
  return h;
}

class AK_HashMap {
public:
  // A bucket that holds more than this many keys makes the table rebuild itself.
  static constexpr int kMaxBucketKeys = 10;

  explicit AK_HashMap(int32_t buckets = 11, int32_t defaultValue = 0,
                      AK_HashFunction hash = AK_HashBytes)
      : _default(defaultValue), _hash(hash ? hash : AK_HashBytes)
  {
    _buckets.resize(static_cast<size_t>(buckets < 1 ? 1 : buckets));
  }

  // The address of the key's value; a new key is inserted with the default value. The address
  // stays valid until the next insertion.
  int32_t* operator[](uint64_t key)
  {
    std::vector<Entry>& bucket = _buckets[BucketOf(key)];
    for (Entry& e : bucket)
      if (e.key == key) return &e.value;
    bucket.push_back({key, _default});
    ++_count;
    if (static_cast<int>(bucket.size()) > kMaxBucketKeys && CanGrow()) {
      Rebuild(AK_NextPrime(2 * BucketCount()));
      return Find(key);
    }
    return &bucket.back().value;
  }
  int32_t* operator[](const void* address)
  {
    return (*this)[static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address))];
  }

  // The address of the key's value, or null when the key is absent; inserts nothing.
  int32_t* Find(uint64_t key)
  {
    for (Entry& e : _buckets[BucketOf(key)])
      if (e.key == key) return &e.value;
    return nullptr;
  }
  int32_t* Find(const void* address)
  {
    return Find(static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address)));
  }

  int32_t Count() const { return _count; }
  int32_t BucketCount() const { return static_cast<int32_t>(_buckets.size()); }
  int32_t LargestBucket() const
  {
    size_t m = 0;
    for (const auto& b : _buckets) m = b.size() > m ? b.size() : m;
    return static_cast<int32_t>(m);
  }

private:
  struct Entry {
    uint64_t key;
    int32_t value;
  };

  size_t BucketOf(uint64_t key) const
  {
    unsigned char bytes[8];
    std::memcpy(bytes, &key, 8);
    return _hash(bytes, 8) % _buckets.size();
  }

  // More buckets than keys cannot help a hash that crowds its keys together; stopping there
  // keeps a poor hash function from growing the table without end.
  bool CanGrow() const { return BucketCount() <= _count && BucketCount() < (1 << 29); }

  void Rebuild(int32_t buckets)
  {
    std::vector<std::vector<Entry>> old;
    old.swap(_buckets);
    _buckets.resize(static_cast<size_t>(buckets));
    for (auto& b : old)
      for (Entry& e : b) _buckets[BucketOf(e.key)].push_back(e);
  }

  std::vector<std::vector<Entry>> _buckets;
  int32_t _count = 0;
  int32_t _default;
  AK_HashFunction _hash;
};
