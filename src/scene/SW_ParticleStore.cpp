// The particle columns: growth, append, split, removal, the mass sum and the check.
#include "SW_ParticleStore.h"

#include <algorithm>
#include <climits>
#include <type_traits>
#include <utility>

int SW_ParticleStore::SizeWork(bool entraining)
{
  const int32_t n = Count();
  const auto wanted = [this, entraining](const auto& column) {
    return entraining || static_cast<const void*>(&column) != static_cast<const void*>(&entrainment);
  };
  bool room = true;
  ForEachWorkColumn([n, &room, &wanted](auto& column) {
    room = room && (!wanted(column) || column.TryReserveWithSpare(n));
  });
  if (!room) return 0;
  ForEachWorkColumn([n, &wanted](auto& column) {
    if (wanted(column)) column.SetCount(n);
  });
  // Without snow to take, a run needs no room for what the friction law found for it.
  if (!entraining) {
    if (entrainment.Capacity() > 1) entrainment = AK_Array<SW_EntrainmentWork>();
    entrainment.SetCount(0);
  }
  return 1;
}

void SW_ParticleStore::FreeWork()
{
  ForEachWorkColumn([](auto& column) { column = std::remove_reference_t<decltype(column)>(); });
}

int SW_ParticleStore::Reserve(int32_t n)
{
  bool room = true;
  ForEachStateColumn([n, &room](auto& column) { room = room && column.TryReserve(n); });
  return room;
}

int SW_ParticleStore::MakeRoom(int64_t more)
{
  const int64_t need = int64_t(Count()) + (more > 0 ? more : 0);
  if (need > INT32_MAX) return 0;
  bool room = true;
  ForEachStateColumn([need, &room](auto& column) {
    if (!room || need <= column._capacity) return;
    const int64_t doubled = std::max<int64_t>(need, std::min<int64_t>(int64_t(column._capacity) * 2, INT32_MAX));
    room = column.TryReserve(static_cast<int32_t>(doubled)) || column.TryReserve(static_cast<int32_t>(need));
  });
  return room;
}

int SW_ParticleStore::Add(const SW_MeshCore& mesh, AK_Vec3 p, float mass, const AK_Vec3& velocity,
                          float enthalpy, uint8_t flag, int32_t hint)
{
  const int32_t c = mesh.FindCell(p, hint);
  if (c < 0) return 0;
  mesh.HeightAt(p, -1);
  cell.Append(c);
  x.Append(p);
  m.Append(mass);
  v.Append(velocity);
  H.Append(enthalpy);
  if (!flags.IsEmpty()) flags.Append(flag);
  return 1;
}

int32_t SW_ParticleStore::Split(const SW_MeshCore& mesh, int32_t i, int32_t n)
{
  if (i < 0 || i >= Count() || n < 1) return 0;
  if (!MakeRoom(n - 1)) return -1;
  m[i] = static_cast<float>(m[i] / static_cast<double>(n));
  // Copies, since Add may move the columns.
  const AK_Vec3 position = x[i], velocity = v[i];
  const float mass = m[i], enthalpy = H[i];
  const uint8_t flag = flags.IsEmpty() ? 0 : flags[i];
  const int32_t start = cell[i];
  int32_t added = 0;
  for (int32_t k = 1; k < n; ++k) added += Add(mesh, position, mass, velocity, enthalpy, flag, start);
  return added;
}

int32_t SW_ParticleStore::RemoveBelow(double threshold)
{
  int32_t removed = 0;
  for (int32_t i = Count() - 1; i >= 0; --i) {
    if (cell[i] >= 0 && static_cast<double>(m[i]) > threshold) continue;
    const int32_t last = Count() - 1;
    ForEachStateColumn([i, last](auto& column) {
      column[i] = column[last];
      column.SetCount(last);
    });
    ++removed;
  }
  return removed;
}

double SW_TotalMass(const AK_Array<float>& masses)
{
  double total = 0;
  for (float mass : masses) total += mass;
  return total;
}

double SW_ParticleStore::TotalMass() const { return SW_TotalMass(m); }

void SW_ParticleStore::Swap(SW_ParticleStore& other)
{
  // Every column moves, state and work alike: a column added to the store cannot be missed.
  std::swap(*this, other);
}

int SW_ParticleStore::Check(const SW_MeshCore& mesh, AK_String& error) const
{
  const int32_t n = Count(), nc = mesh.NumCells();
  const struct {
    const char* name;
    int32_t size;
  } columns[] = {{"Position", x.Size()}, {"Velocity", v.Size()}, {"Mass", m.Size()},
                 {"TotalEnthalpy", H.Size()}};
  for (const auto& c : columns)
    if (c.size != n) {
      error = AK_String::Format("the particles' \"%s\" holds %d values for %d particles", c.name,
                                c.size, n);
      return 0;
    }
  if (!flags.IsEmpty() && flags.Size() != n) {
    error = AK_String::Format("%d release flags for %d particles", flags.Size(), n);
    return 0;
  }
  for (int32_t i = 0; i < n; ++i)
    if (cell[i] < 0 || cell[i] >= nc) {
      error = AK_String::Format("particle %d stands on cell %d of a mesh of %d cells", i, cell[i], nc);
      return 0;
    }
  return 1;
}
