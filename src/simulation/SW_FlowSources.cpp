// Particles entering a run through source lines and the point source.
#include <cmath>
#include <cstring>

#include "SW_Flow.h"

namespace {

// The same numbers for every source of a step: the generator starts from the step's time.
void SeedFromTime(double t)
{
  uint64_t bits;
  std::memcpy(&bits, &t, sizeof bits);
  AK_SeedRandom(static_cast<uint32_t>(bits));
}

double Draw() { return AK_Random() / 2147483647.0; }

// The whole part of e, plus one by chance for its fraction. In doubles: a count beyond any
// particle bound has no 32-bit value (the run's room check refuses it); not a number is none.
double ParticlesFor(double e)
{
  const double n = std::trunc(e);
  const double k = n + (e - n > AK_Random() / 2147483647.0 ? 1 : 0);
  return std::isnan(k) ? 0 : k;
}

// The count of particles to add once the room for them is made.
int32_t Whole(double n) { return n > 0 ? static_cast<int32_t>(n) : 0; }

}  // namespace

int SW_AddSourceParticles(SW_FlowRun& run, double t, double dt, double& added, int32_t& count,
                          AK_String& error)
{
  const SW_MeshCore& mesh = *run.mesh;
  const SW_FlowParameters& par = run.par;
  const SW_FlowSources& sources = run.sources;
  SW_ParticleStore& p = run.particles;
  const float mass = static_cast<float>(par.massPerParticle);
  added = 0;
  count = 0;
  for (int32_t l = sources.lines.Size() - 1; l >= 0; --l) {
    const SW_FlowSourceLine& line = *sources.lines[l];
    SeedFromTime(t);
    for (int32_t k = 0; k < line.CellCount(); ++k) {
      const double e = ParticlesFor(line.MassInCell(k, static_cast<float>(dt)) / par.massPerParticle);
      if (!SW_RoomForParticles(run, e, error)) return 1;
      const int32_t n = Whole(e);
      for (int32_t j = 0; j < n; ++j) {
        const AK_Vec2 at = line.PointInCell(k, static_cast<float>(static_cast<double>(j) / n));
        const int in = p.Add(mesh, AK_Vec3(at.x, at.y, 0), mass, AK_Vec3(), 0, 0, line.CrossedCell(k));
        count += in;
        added += in * par.massPerParticle;
      }
    }
  }
  const SW_PointSource& s = sources.point;
  if (s.on && s.duration > t && s.strength > 0) {
    SeedFromTime(t);
    const double pi = std::acos(-1.0);
    const double a = (90 - s.azimuth) * pi / 180;
    const double vx = s.speed * std::cos(a), vy = s.speed * std::sin(a);
    const double e = ParticlesFor(s.strength * dt / par.massPerParticle);
    if (!SW_RoomForParticles(run, e, error)) return 1;
    const int32_t n = Whole(e);
    int32_t c = -1;
    for (int32_t j = 0; j < n; ++j) {
      const double r = Draw() * s.radius;
      const double phi = 2 * Draw() * pi;
      const AK_Vec3 at(s.x + r * std::cos(phi), s.y + r * std::sin(phi), 0);
      c = mesh.FindCell(at, c);
      if (c < 0) continue;
      double w[4];
      mesh.CellWeights(c, at, w);
      AK_Vec3 n3 = mesh.InterpolateVertexVector(c, w, mesh._vertexNormals);
      n3 *= 1 / n3.Length();
      AK_Vec3 e1(n3.z, 0, -n3.x);
      e1 *= 1 / e1.Length();
      AK_Vec3 e2 = n3.Cross(e1);
      e2 *= 1 / e2.Length();
      const int in = p.Add(mesh, at, mass, e1 * vx + e2 * vy, 0, 0, c);
      count += in;
      added += in * par.massPerParticle;
    }
  }
  return 0;
}
