// The position update of the particles with their reflection at walls.
#include <algorithm>
#include <cmath>

#include "SW_Flow.h"

namespace {

AK_Vec3 Tangential(const AK_Vec3& v, const AK_Vec3& n) { return v - n * v.Dot(n); }

// Bounces particle i off the wall it crossed on its way from `from` to x (its cell becomes
// -1 when the bounce leaves the mesh).
void Reflect(const SW_FlowRun& run, SW_ParticleStore& p, int32_t i, const AK_Vec3& from,
             const AK_Vec3& hit, const AK_Vec3& top, const AK_Vec3& along)
{
  const SW_MeshCore& mesh = *run.mesh;
  const SW_FlowFields& fields = run.fields;
  int32_t c = p.cell[i];
  const int32_t ch = mesh.FindCell(hit, c);
  if (ch < 0) return;
  double w[4];
  mesh.CellWeights(ch, hit, w);
  const AK_Vec3 hp = mesh.InterpolateVertexVector(ch, w, mesh._x);
  const double hd = mesh.InterpolateVertexValue(ch, w, fields.flowDepth);
  const AK_Vec3 nh = SW_Unit(mesh.InterpolateVertexVector(ch, w, mesh._vertexNormals));
  const AK_Vec3 b(top.x - hp.x, top.y - hp.y, top.z - (hd / (nh.z + 0.01) * 0.5 + hp.z));
  const AK_Vec3 cross = b.Cross(along);
  const double len = cross.Length();
  if (!(len > 0) || !std::isfinite(len)) return;  // wall direction along b: no wall normal
  const AK_Vec3 wn = cross * (1.0 / len);
  const double e = run.par.restitution;
  const double delta = (p.x[i] - hp).Dot(wn) * (e + 1);
  AK_Vec3 x(from.x - delta * wn.x, from.y - delta * wn.y, 0);
  AK_Vec3 v = p.v[i];
  v -= wn * (v.Dot(wn) * (e + 1));
  c = mesh.FindCell(x, c);
  p.cell[i] = c;
  if (c < 0) return;
  mesh.CellWeights(c, x, w);
  x = mesh.InterpolateVertexVector(c, w, mesh._x);
  const AK_Vec3 n = SW_Unit(mesh.InterpolateVertexVector(c, w, mesh._vertexNormals));
  const auto keepSpeedOnSurface = [&n](AK_Vec3& vel) {
    const double s = vel.Length();
    vel = Tangential(vel, n);
    if (s > 0) {
      const double l = vel.Length();
      if (l > 0) vel = SW_Over(vel * s, l);
    }
  };
  keepSpeedOnSurface(v);
  const double rise = SW_Gravity.Dot(top - hp);
  if (rise < 0) {
    const AK_Vec3 u = SW_Unit(n.Cross(along));
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

void SW_UpdatePositions(SW_FlowRun& run, int32_t first, int32_t end, double dt)
{
  const SW_MeshCore& mesh = *run.mesh;
  const SW_FlowCells& cells = run.cells;
  SW_ParticleStore& p = run.particles;
  const bool held = !p.flags.IsEmpty();
  const bool walls = !cells.wallMark.IsEmpty();
  const double angle = run.par.breakLinesAngle;
  const double cb = angle > 0.1 ? std::cos(std::acos(-1.0) * angle / 180.0) : -1;
  // A block of particles at a time: first each one's new velocity and its projection onto
  // the surface, then the rest. Each particle's work is a long chain of divisions and
  // square roots; in shorter loops the processor overlaps the chains of several particles.
  constexpr int32_t kBlock = 16;
  AK_Vec3 velocity[kBlock];
  double weights[kBlock][4];
  int32_t fromCell[kBlock];
  bool moves[kBlock];
  for (int32_t b = first; b < end; b += kBlock) {
    const int32_t blockEnd = std::min(end, b + kBlock);
    for (int32_t i = b; i < blockEnd; ++i) {
      const int32_t l = i - b;
      moves[l] = false;
      if (held && p.flags[i] != 0) {
        p.v[i] = AK_Vec3();
        continue;
      }
      const AK_Vec3 old = p.x[i];
      const int32_t oldCell = p.cell[i];
      const AK_Vec3 vOld = p.v[i];
      const double m = p.m[i];
      AK_Vec3 v = vOld + SW_Over(p.force[i] * dt, m);
      v = SW_Over(v, p.frictionCoefficient[i] * dt / m + 1);
      const AK_Vec3 x = old + SW_Over((vOld + v) * dt, 2);
      p.cell[i] = mesh.ProjectToSurface(x, oldCell, weights[l]);
      fromCell[l] = oldCell;
      velocity[l] = v;
      moves[l] = true;
    }
    for (int32_t i = b; i < blockEnd; ++i) {
      const int32_t l = i - b;
      const int32_t oldCell = fromCell[l];
      const int32_t c = p.cell[i];
      if (!moves[l] || c < 0) continue;  // held, or off the mesh
      const AK_Vec3 old = p.x[i];
      const double m = p.m[i];
      const double* w = weights[l];
      AK_Vec3 v = velocity[l];
      // The point on the surface and the normal there, from one pass over the cell's corners.
      AK_Vec3 surface, normal;
      const AK_Index4& corners = mesh._lcv[c];
      for (int k = mesh.LastCorner(c); k >= 0; --k) {
        const AK_Vec3& xv = mesh._x[corners[k]];
        const AK_Vec3& nv = mesh._vertexNormals[corners[k]];
        surface.x += w[k] * xv.x;
        surface.y += w[k] * xv.y;
        surface.z += w[k] * xv.z;
        normal.x += w[k] * nv.x;
        normal.y += w[k] * nv.y;
        normal.z += w[k] * nv.z;
      }
      const AK_Vec3 x = surface;
      const AK_Vec3 n = SW_Unit(normal);
      const double s0 = v.Length();
      v = Tangential(v, n);
      bool keep = s0 > 0;
      if (keep && cb > -1)
        keep = SW_Unit(mesh.CellAreaVector(oldCell)).Dot(SW_Unit(mesh.CellAreaVector(c))) > cb;
      const int32_t mark = walls ? cells.wallMark[oldCell] : 0;
      const SW_FlowWall* wall = mark ? cells.walls[mark - 1] : nullptr;
      if (keep && (!wall || wall->Active())) v = SW_Over(v * s0, v.Length() + 1e-6);

      const double lambda = p.enthalpyRelaxation[i];
      const double eps = SW_InternalEnthalpy(p.H[i], x.z, v);
      p.H[i] = static_cast<float>(
          p.H[i] + ((p.enthalpySource[i] - eps * lambda) * dt / (lambda * dt / m + 1)) / m);
      p.x[i] = x;
      p.v[i] = v;

      AK_Vec3 hit, top, along;
      if (wall && wall->Active() &&
          wall->Intersect(AK_Vec2{old.x, old.y}, AK_Vec2{x.x, x.y}, hit, top, along))
        Reflect(run, p, i, old, hit, top, along);
    }
  }
}
