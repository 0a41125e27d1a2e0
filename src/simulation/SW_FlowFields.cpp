// The result fields of a run: binding to the mesh, the checks that they belong to it, and
// the field update from the particles.
#include "SW_Flow.h"
#include "SW_ResultFields.h"

namespace {

bool SizeIs(int32_t size, int32_t expected, const char* name, const char* per, AK_String& error)
{
  if (size == expected) return true;
  error = AK_String::Format("\"%s\" holds %d values for %d %s of the mesh", name, size,
                            expected, per);
  return false;
}

}  // namespace

namespace {

int32_t ArraySize(const SW_FlowFields& fields, const SW_ResultFieldKind& kind)
{
  return kind.IsVector() ? (fields.*kind.vectors).Size() : (fields.*kind.values).Size();
}

// The fields that the field update writes: the simulation's own fields on vertices.
bool WrittenByUpdate(const SW_ResultFieldKind& kind) { return kind.component && kind.onVertices; }

}  // namespace

int SW_FlowFields::CheckResults(const SW_MeshCore& mesh, AK_String& error) const
{
  for (const SW_ResultFieldKind& kind : SW_ResultFields)
    if (WrittenByUpdate(kind) &&
        !SizeIs(ArraySize(*this, kind), mesh.NumVertices(), kind.id, "vertices", error))
      return 0;
  return 1;
}

int SW_FlowFields::Check(const SW_MeshCore& mesh, AK_String& error) const
{
  if (!CheckResults(mesh, error)) return 0;
  // Without entrainable snow the fields on cells may be unbound.
  const bool cellsBound = !entrainmentMass.IsEmpty();
  for (const SW_ResultFieldKind& kind : SW_ResultFields) {
    if (WrittenByUpdate(kind) || (!kind.onVertices && !cellsBound)) continue;
    const int32_t expected = kind.onVertices ? mesh.NumVertices() : mesh.NumCells();
    if (!SizeIs(ArraySize(*this, kind), expected, kind.id, kind.onVertices ? "vertices" : "cells", error))
      return 0;
  }
  return 1;
}

bool SW_FlowFields::HoldsSnow() const
{
  // A run without snow looks at every cell every step: in blocks of a fixed length, which the
  // compiler compares several cells at a time.
  constexpr int32_t kBlock = 512;
  const float* snow = entrainmentMass._elems;
  const int32_t n = entrainmentMass.Size();
  int32_t c = 0;
  for (; c + kBlock <= n; c += kBlock) {
    int any = 0;
    for (int32_t k = 0; k < kBlock; ++k) any |= snow[c + k] > 0;
    if (any) return true;
  }
  for (; c < n; ++c)
    if (snow[c] > 0) return true;
  return false;
}

int SW_FlowCells::Check(const SW_MeshCore& mesh, AK_String& error) const
{
  const int32_t nc = mesh.NumCells();
  if (!resistance.IsEmpty()) {
    if (!SizeIs(resistance.Size(), nc, "cell resistances", "cells", error)) return 0;
    for (int32_t r : resistance)
      if (r < -1 || r >= resistances.Size()) {
        error = AK_String::Format("a cell refers to resistance area %d of %d", r, resistances.Size());
        return 0;
      }
  }
  if (!wallMark.IsEmpty()) {
    if (!SizeIs(wallMark.Size(), nc, "wall marks", "cells", error)) return 0;
    for (int32_t w : wallMark)
      if (w < 0 || w > walls.Size() || (w > 0 && !walls[w - 1])) {
        error = AK_String::Format("a cell refers to wall line %d of %d", w, walls.Size());
        return 0;
      }
  }
  return 1;
}

void SW_FlowFields::Bind(const SW_MeshCore& mesh)
{
  auto zeros = [](auto& a, int32_t n, auto zero) {
    a.Reserve(n);
    a.SetCount(n);
    for (auto& x : a) x = zero;
  };
  for (const SW_ResultFieldKind& kind : SW_ResultFields) {
    const int32_t n = kind.onVertices ? mesh.NumVertices() : mesh.NumCells();
    if (kind.IsVector())
      zeros(this->*kind.vectors, n, AK_Vec3());
    else
      zeros(this->*kind.values, n, 0.f);
  }
}

void SW_UpdateFields(const SW_MeshCore& mesh, double density, const SW_ParticleStore& p,
                     float t, SW_FlowFields& fields, const SW_CornerWeights* weights,
                     SW_FlowWorkers* workers)
{
  AK_Array<float>& depth = fields.flowDepth;
  AK_Array<AK_Vec3>& velocity = fields.velocity;
  const auto clear = [&depth, &velocity](int32_t first, int32_t end) {
    for (int32_t k = first; k < end; ++k) {
      depth[k] = 0;
      velocity[k] = AK_Vec3();
    }
  };
  // The sums onto the vertices go in the particles' order (from the last).
  const auto add = [&](int32_t i, int32_t first, int32_t end) {
    const int32_t c = p.cell[i];
    double own[4];
    const double* w = own;
    if (weights)
      w = weights[i].w;
    else
      mesh.CellWeights(c, p.x[i], own);
    const double m = p.m[i];
    const AK_Vec3 momentum = p.v[i] * m;
    const AK_Index4& corners = mesh._lcv[c];
    for (int k = 0; k < mesh.CornerCount(c); ++k) {
      const int32_t v = corners[k];
      if (v < first || v >= end) continue;
      depth[v] = static_cast<float>(depth[v] + m * w[k]);
      velocity[v] += momentum * w[k];
    }
  };
  const auto finish = [&](int32_t first, int32_t end) {
    for (int32_t k = first; k < end; ++k) {
      const double mass = depth[k];
      if (mass <= 0) continue;
      velocity[k] = AK_Vec3(velocity[k].x / mass, velocity[k].y / mass, velocity[k].z / mass);
      const float h = static_cast<float>(
          mass / (static_cast<float>(mesh._vertexNormals[k].Length()) * density));
      depth[k] = h;
      const float pressure = static_cast<float>(velocity[k].Dot(velocity[k]) * 0.001 * density);
      const float force = pressure * h;
      const float torque = h * 0.5f * force;
      if (pressure > fields.peakPressure[k]) fields.peakPressure[k] = pressure;
      if (force > fields.peakForce[k]) fields.peakForce[k] = force;
      if (torque > fields.peakTorque[k]) fields.peakTorque[k] = torque;
      if (h > fields.peakDepth[k]) fields.peakDepth[k] = h;
      if (fields.frontArrival[k] == 0 || fields.frontArrival[k] > t) fields.frontArrival[k] = t;
    }
  };
  const int32_t vertices = depth.Size();
  if (!workers) {
    clear(0, vertices);
    for (int32_t i = p.Count() - 1; i >= 0; --i) add(i, 0, vertices);
    finish(0, vertices);
    return;
  }
  // Each vertex is cleared, summed and finished on the thread that owns it.
  workers->ScatterInOrder(
      p.Count(), vertices,
      [&](int32_t i, int32_t& lo, int32_t& hi) { SW_CornerSpan(mesh, p.cell[i], lo, hi); }, clear,
      add, finish);
}
