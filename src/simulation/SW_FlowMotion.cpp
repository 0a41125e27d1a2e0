// Position update with wall reflection, the field update, and the particle arrays' own
// operations (add, split, remove).
#include <cmath>

#include "SW_Flow.h"

namespace {

const AK_Vec3 kGravity(0, 0, -9.81);

AK_Vec3 Unit(const AK_Vec3& a) { return a * (1.0 / a.Length()); }
AK_Vec3 Over(const AK_Vec3& a, double s) { return AK_Vec3(a.x / s, a.y / s, a.z / s); }

AK_Vec3 Tangential(const AK_Vec3& v, const AK_Vec3& n) { return v - n * v.Dot(n); }

// Bounces particle i off the wall it crossed on its way from `from` to x. Answers 0 when
// the particle left the mesh.
void Reflect(const SW_MeshCore& mesh, const SW_FlowParameters& par, const SW_FlowFields& fields,
             SW_FlowParticles& p, int32_t i, const AK_Vec3& from, const AK_Vec3& hit,
             const AK_Vec3& top, const AK_Vec3& along)
{
  int32_t c = p.cell[i];
  const int32_t ch = mesh.FindCell(hit, c);
  if (ch < 0) return;
  double w[4];
  mesh.CellWeights(ch, hit, w);
  const AK_Vec3 hp = mesh.InterpolateVertexVector(ch, w, mesh._x);
  const double hd = mesh.InterpolateVertexValue(ch, w, fields.flowDepth);
  const AK_Vec3 nh = Unit(mesh.InterpolateVertexVector(ch, w, mesh._vertexNormals));
  const AK_Vec3 b(top.x - hp.x, top.y - hp.y, top.z - (hd / (nh.z + 0.01) * 0.5 + hp.z));
  const AK_Vec3 cross = b.Cross(along);
  const double len = cross.Length();
  if (!(len > 0) || !std::isfinite(len)) return;  // wall direction along b: no wall normal
  const AK_Vec3 wn = cross * (1.0 / len);
  const double e = par.restitution;
  const double delta = (p.x[i] - hp).Dot(wn) * (e + 1);
  AK_Vec3 x(from.x - delta * wn.x, from.y - delta * wn.y, 0);
  AK_Vec3 v = p.v[i];
  v -= wn * (v.Dot(wn) * (e + 1));
  c = mesh.FindCell(x, c);
  p.cell[i] = c;
  if (c < 0) return;
  mesh.CellWeights(c, x, w);
  x = mesh.InterpolateVertexVector(c, w, mesh._x);
  const AK_Vec3 n = Unit(mesh.InterpolateVertexVector(c, w, mesh._vertexNormals));
  const auto keepSpeedOnSurface = [&n](AK_Vec3& vel) {
    const double s = vel.Length();
    vel = Tangential(vel, n);
    if (s > 0) {
      const double l = vel.Length();
      if (l > 0) vel = Over(vel * s, l);
    }
  };
  keepSpeedOnSurface(v);
  const double rise = kGravity.Dot(top - hp);
  if (rise < 0) {
    const AK_Vec3 u = Unit(n.Cross(along));
    const double a = std::min(std::sqrt(-2 * rise), -u.Dot(v));
    if (a > 0) {
      v += u * a;
      keepSpeedOnSurface(v);
    }
  }
  p.x[i] = x;
  p.v[i] = v;
}

}  // namespace

void SW_UpdatePositions(const SW_MeshCore& mesh, const SW_FlowParameters& par,
                        const SW_FlowCells& cells, const SW_FlowFields& fields,
                        SW_FlowParticles& p, int32_t first, int32_t end, double dt)
{
  const bool held = !p.flags.IsEmpty();
  const bool walls = !cells.wallMark.IsEmpty();
  const double cb = par.breakLinesAngle > 0.1 ? std::cos(std::acos(-1.0) * par.breakLinesAngle / 180.0)
                                              : -1;
  for (int32_t i = first; i < end; ++i) {
    if (held && p.flags[i] != 0) {
      p.v[i] = AK_Vec3();
      continue;
    }
    const AK_Vec3 old = p.x[i];
    const int32_t oldCell = p.cell[i];
    const AK_Vec3 vOld = p.v[i];
    const double m = p.m[i];
    AK_Vec3 v = vOld + Over(p.force[i] * dt, m);
    v = Over(v, p.frictionCoefficient[i] * dt / m + 1);
    AK_Vec3 x = old + Over((vOld + v) * dt, 2);
    double w[4];
    const int32_t c = mesh.ProjectToSurface(x, oldCell, w);
    p.cell[i] = c;
    if (c < 0) continue;
    x = mesh.InterpolateVertexVector(c, w, mesh._x);
    const AK_Vec3 n = Unit(mesh.InterpolateVertexVector(c, w, mesh._vertexNormals));
    const double s0 = v.Length();
    v = Tangential(v, n);
    bool keep = s0 > 0;
    if (keep && cb > -1)
      keep = Unit(mesh.CellAreaVector(oldCell)).Dot(Unit(mesh.CellAreaVector(c))) > cb;
    const int32_t mark = walls ? cells.wallMark[oldCell] : 0;
    const SW_FlowWall* wall = mark ? cells.walls[mark - 1] : nullptr;
    if (keep && (!wall || wall->Active())) v = Over(v * s0, v.Length() + 1e-6);

    const double lambda = p.enthalpyRelaxation[i];
    const double eps = p.H[i] - 9.81 * x.z - (0.5 * v.y * v.y + 0.5 * v.x * v.x + 0.5 * v.z * v.z);
    p.H[i] = static_cast<float>(
        p.H[i] + ((p.enthalpySource[i] - eps * lambda) * dt / (lambda * dt / m + 1)) / m);
    p.x[i] = x;
    p.v[i] = v;

    AK_Vec3 hit, top, along;
    if (wall && wall->Active() &&
        wall->Intersect(AK_Vec2{old.x, old.y}, AK_Vec2{x.x, x.y}, hit, top, along))
      Reflect(mesh, par, fields, p, i, old, hit, top, along);
  }
}

void SW_FlowFields::Bind(const SW_MeshCore& mesh)
{
  const int32_t nv = mesh.NumVertices(), nc = mesh.NumCells();
  for (AK_Array<float>* a : {&flowDepth, &peakPressure, &peakForce, &peakTorque, &peakDepth,
                             &frontArrival, &bottomPressure}) {
    a->Reserve(nv);
    a->SetCount(nv);
    for (float& f : *a) f = 0;
  }
  velocity.Reserve(nv);
  velocity.SetCount(nv);
  for (AK_Vec3& v : velocity) v = AK_Vec3();
  for (AK_Array<float>* a : {&entrainmentMass, &entrainmentEnthalpy}) {
    a->Reserve(nc);
    a->SetCount(nc);
    for (float& f : *a) f = 0;
  }
}

void SW_UpdateFields(const SW_MeshCore& mesh, double density, const SW_FlowParticles& p,
                     float t, SW_FlowFields& fields)
{
  AK_Array<float>& depth = fields.flowDepth;
  AK_Array<AK_Vec3>& velocity = fields.velocity;
  for (float& d : depth) d = 0;
  for (AK_Vec3& v : velocity) v = AK_Vec3();
  for (int32_t i = p.Count() - 1; i >= 0; --i) {
    const int32_t c = p.cell[i];
    double w[4];
    mesh.CellWeights(c, p.x[i], w);
    const double m = p.m[i];
    const AK_Vec3 momentum = p.v[i] * m;
    const AK_Index4& corners = mesh._lcv[c];
    for (int k = 0; k < mesh.CornerCount(c); ++k) {
      depth[corners[k]] = static_cast<float>(depth[corners[k]] + m * w[k]);
      velocity[corners[k]] += momentum * w[k];
    }
  }
  for (int32_t k = 0; k < depth.Size(); ++k) {
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
}

// ---- particle arrays ------------------------------------------------------------------------

namespace {
template <class T>
void SizeTo(AK_Array<T>& a, int32_t n)
{
  a.Reserve(n);
  a.SetCount(n);
}
}  // namespace

void SW_FlowParticles::SizeWork()
{
  const int32_t n = Count();
  for (AK_Array<float>* a : {&depth, &frictionCoefficient, &frictionRatio, &entrainedMass,
                             &enthalpySource, &enthalpyRelaxation, &normalForce})
    SizeTo(*a, n);
  SizeTo(force, n);
}

int SW_FlowParticles::Add(const SW_MeshCore& mesh, AK_Vec3 position, float mass,
                          const AK_Vec3& velocity, float enthalpy, uint8_t flag, int32_t hint)
{
  const int32_t c = mesh.FindCell(position, hint);
  if (c < 0) return 0;
  // The height lookup starts without a cell, as the particle set's own Add does, so that
  // both draw the same random numbers (a triangulated mesh draws its start cells).
  mesh.HeightAt(position, -1);
  cell.Append(c);
  x.Append(position);
  m.Append(mass);
  v.Append(velocity);
  H.Append(enthalpy);
  if (!flags.IsEmpty()) flags.Append(flag);
  return 1;
}

int32_t SW_FlowParticles::RemoveBelow(double threshold)
{
  int32_t removed = 0;
  const bool flagged = !flags.IsEmpty();
  for (int32_t i = Count() - 1; i >= 0; --i) {
    if (cell[i] >= 0 && m[i] > threshold) continue;
    const int32_t last = Count() - 1;
    x[i] = x[last];
    v[i] = v[last];
    m[i] = m[last];
    H[i] = H[last];
    cell[i] = cell[last];
    x.SetCount(last);
    v.SetCount(last);
    m.SetCount(last);
    H.SetCount(last);
    cell.SetCount(last);
    if (flagged) {
      flags[i] = flags[last];
      flags.SetCount(last);
    }
    ++removed;
  }
  return removed;
}

int32_t SW_FlowParticles::Split(const SW_MeshCore& mesh, int32_t i, int32_t n)
{
  m[i] = static_cast<float>(m[i] / static_cast<double>(n));
  int32_t added = 0;
  for (int32_t k = 1; k < n; ++k) {
    const AK_Vec3 position = x[i], velocity = v[i];
    added += Add(mesh, position, m[i], velocity, H[i], flags.IsEmpty() ? 0 : flags[i], cell[i]);
  }
  return added;
}

double SW_FlowParticles::TotalMass() const
{
  double total = 0;
  for (int32_t i = Count() - 1; i >= 0; --i) total += m[i];
  return total;
}
