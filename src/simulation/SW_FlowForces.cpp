// Body forces of the flow model: subgrid mixing, the normal acceleration over the curved
// surface, the friction laws, entrainment and the drag of resistance areas.
#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "SW_Flow.h"

namespace {

const double kPi = std::acos(-1.0);

// What the phases of one particle share.
struct Particle {
  int32_t i = 0, c = 0;
  double w[4] = {0, 0, 0, 0};  // weights of x in c
  AK_Vec3 x, v, n;             // position, velocity, surface normal at x
  double h = 0, m = 0;         // flow depth (a float's value), mass
  AK_Vec3 nb, gt;              // averaged normal, tangential gravity
  double gn = 0, u = 0;        // normal acceleration, speed of the friction laws
  double mu = 0;               // tan of the bed friction angle
  double pressure = 0, tau = 0;
};

double BuiltInShear(int law, double p, double gn, double u, double h, double rho, double mu,
                    double cd, double internalEnthalpy)
{
  const double s = cd * u * u / h;
  switch (law) {
    case SW_FrictionChezy: return h * rho * s;
    case SW_FrictionChezyCoulomb: return (gn * mu + s) * (h * rho);
    case SW_FrictionClassic: return std::max(s, gn) * (h * rho) * mu;
    case SW_FrictionTorvuAT: {
      const double rhou2 = u * rho * u;
      const double k = std::log(std::max(1.0, h / 0.05)) / 0.43 + 4.13;
      return (0.222 / (rhou2 / (p + 0.001) + 0.222) + 1.0) * (p * 0.155) + rhou2 / (k * k);
    }
    case SW_FrictionWetSnow:
      return (std::exp(internalEnthalpy / -20000.0) * mu * gn + s) * (h * rho);
  }
  return 0;
}

// Subgrid mixing: the velocity pulled towards the tangential flow velocity of the field.
void MixWithFlow(const SW_FlowRun& run, Particle& q, AK_Vec3 vf, double dt)
{
  const SW_FlowParameters& par = run.par;
  const double rho = par.density;
  vf -= q.n * vf.Dot(q.n);
  const double k = (vf - q.v).Length() * (par.subgridMixing * 0.5 * rho) *
                   (2 * std::sqrt(q.m * q.h / rho)) * dt / q.m;
  q.v += vf * k;
  q.v *= 1 / (k + 1);
}

// The normal acceleration from gravity and the path's curvature over the surface (at the
// position predicted for the end of the step), the normal force and the gravity force
// along the surface.
void NormalAndGravity(const SW_FlowRun& run, SW_ParticleStore& p, Particle& q, double dt)
{
  const SW_MeshCore& mesh = *run.mesh;
  const AK_Vec3 xs = q.x + q.v * dt;
  int32_t start;
  double ws[4];
  int32_t cs = mesh.ProjectToSurface(xs, q.c, start, ws);
  if (cs < 0) cs = q.c;
  // The projection weighed xs in its own cell already.
  if (cs != start) mesh.CellWeights(cs, xs, ws);
  const AK_Vec3 ns = SW_Unit(mesh.InterpolateVertexVector(cs, ws, mesh._vertexNormals));
  q.nb = SW_Unit(q.n + ns);
  q.gn = -SW_Gravity.Dot(q.nb) - run.par.curvatureReduction * (ns - q.n).Dot(q.v) / dt;
  if (q.gn > 0) p.normalForce[q.i] = static_cast<float>(q.m * q.gn);
  q.gt = SW_Gravity + q.nb * (-SW_Gravity.Dot(q.nb));
  p.force[q.i] = q.gt * q.m;
  q.u = q.v.Length();
  if (run.par.averagedSpeed) q.u = std::max((q.u + (q.v + q.gt * dt).Length()) * 0.5, 1e-6);
}

// Why a user law answered no number: the script's own run-time error when it failed, else
// the number it answered, with the particle's state.
AK_String LawFailure(SW_UserLawFailure failure, void* context, const char* what, const AK_String& name,
                     double answer, const Particle& q)
{
  const char* why = failure ? failure(context) : nullptr;
  if (why && *why)
    return AK_String::Format("%s \"%s\" failed: %s (pressure %g, speed %g, depth %g); the run stops", what,
                             name.c_str(), why, q.pressure, q.u, q.h);
  return AK_String::Format("%s \"%s\" answered %g (pressure %g, speed %g, depth %g); the run stops", what,
                           name.c_str(), answer, q.pressure, q.u, q.h);
}

// The contexts the user laws are called with on this worker.
struct LawContexts {
  void* tau = nullptr;
  void* loss = nullptr;
};

LawContexts ContextsOfThisWorker(const SW_FlowParameters& par)
{
  const int k = SW_FlowWorkers::Index();
  if (k < par.lawContexts.Size()) return {par.lawContexts[k], par.lawContexts[k]};
  return {par.userLaw.context, par.entrainmentLoss.context};
}

// Bottom pressure and shear stress of the friction law, and the friction per unit speed.
// Answers 1 with the error text when the user law answers no finite number.
int Shear(const SW_FlowRun& run, SW_ParticleStore& p, Particle& q, double t, void* context, AK_String& error)
{
  const SW_FlowParameters& par = run.par;
  const int32_t i = q.i;
  if (q.gn < 0) {  // lifting off: no contact, no friction
    p.frictionCoefficient[i] = 0;
    p.frictionRatio[i] = 0;
    return 0;
  }
  const double rho = par.density, h = q.h, u = q.u;
  q.pressure = q.gn * rho * h;
  if (par.frictionLaw == SW_FrictionUser) {
    if (par.userLaw.tau) {
      // The law sees the internal enthalpy at the speed it is given (the averaged one too).
      const double e = SW_InternalEnthalpy(p.H[i], q.x.z, AK_Vec3(u, 0, 0));
      SW_FrictionArgs a{q.pressure, u, h, rho, t, q.x, q.nb, e};
      q.tau = par.userLaw.tau(context, a);
      if (!std::isfinite(q.tau)) {
        error = LawFailure(par.userLaw.failure, context, "friction law", par.userLaw.name, q.tau, q);
        return 1;
      }
    }
  } else {
    const double e =
        par.frictionLaw == SW_FrictionWetSnow ? SW_InternalEnthalpy(p.H[i], p.x[i].z, p.v[i]) : 0;
    q.tau = BuiltInShear(par.frictionLaw, q.pressure, q.gn, u, h, rho, q.mu, par.dynamicFriction, e);
  }
  p.frictionCoefficient[i] = static_cast<float>((q.m / (h * rho)) * q.tau / std::max(u, 1e-6));
  p.frictionRatio[i] = static_cast<float>(q.tau / q.pressure);
  return 0;
}

// The mass a particle would take from its cell in this step if it took alone (0 where the
// cell holds no snow): the friction work over the erosion energy, or, without an erosion
// energy, the snow on the area it sweeps.
double EntrainmentDemand(const SW_FlowRun& run, const Particle& q, double dt)
{
  const SW_FlowFields& fields = run.fields;
  const float available = fields.entrainmentMass.IsEmpty() ? 0.f : fields.entrainmentMass[q.c];
  if (!(available > 0)) return 0;
  const SW_FlowParameters& par = run.par;
  const double area = q.m / (q.h * par.density);
  const double swept = std::sqrt(area) * q.u * dt;
  return par.entrainmentErosion > 0 ? area * q.tau * q.u * dt / par.entrainmentErosion : available * swept;
}

// Entrainment of snow from the cell the particle stands in at the start of the step: mass,
// momentum and enthalpy of the particle, its demand scaled by the cell's factor (below 1 where
// the particles together asked for more than the cell holds); the cell's account is settled
// later in the step. Answers 1 with the error text when the user's energy loss answers no
// finite number.
int Entrain(const SW_FlowRun& run, SW_ParticleStore& p, Particle& q, double demand, double scale, double t,
            double dt, void* context, AK_String& error)
{
  const SW_FlowParameters& par = run.par;
  const SW_FlowFields& fields = run.fields;
  const float available = fields.entrainmentMass.IsEmpty() ? 0.f : fields.entrainmentMass[q.c];
  if (!(available > 0)) return 0;
  const int32_t i = q.i;
  const double rho = par.density, h = q.h, u = q.u;
  double m = q.m;
  const double area = m / (h * rho);
  const double swept = std::sqrt(area) * u * dt;
  const double dm = scale < 1 ? (std::isfinite(demand) ? demand * scale : 0) : demand;
  double loss;
  if (par.entrainmentLoss.loss) {
    SW_EntrainmentLossArgs a;
    a.f = SW_FrictionArgs{q.pressure, u, h, rho, t, q.x, q.nb, 0};
    a.tau = q.tau;
    a.q = swept > 0 ? dm / swept : 0;
    a.es = par.entrainmentShear;
    a.ed = par.entrainmentDeformation;
    const double perArea = par.entrainmentLoss.loss(context, a);
    if (!std::isfinite(perArea)) {
      error = LawFailure(par.entrainmentLoss.failure, context, "entrainment energy loss",
                         "entrainment_energy_loss", perArea, q);
      return 1;
    }
    loss = perArea * swept;
  } else {
    loss = dm * par.entrainmentDeformation + swept * par.entrainmentShear;
  }
  const double sum = (fields.entrainmentEnthalpy[q.c] - (-SW_GravityAcceleration) * q.x.z) * dm +
                     static_cast<double>(p.H[i] * p.m[i]);
  AK_Vec3 v = SW_Over(q.v * m, m + dm);
  p.m[i] = static_cast<float>(m + dm);
  m = p.m[i];
  if (loss > 0) v *= std::sqrt(std::max(0.0, 1 - loss / ((v.Dot(v) + 1e-6) * m * 0.5)));
  q.v = v;
  q.m = m;
  p.v[i] = v;
  p.entrainedMass[i] = static_cast<float>(dm);
  p.H[i] = static_cast<float>(sum / m);
  return 0;
}

// The drag of the obstacles of a resistance area, added to the friction per unit speed.
void Drag(const SW_FlowRun& run, SW_ParticleStore& p, const Particle& q)
{
  const SW_FlowCells& cells = run.cells;
  if (cells.resistance.IsEmpty() || cells.resistance[q.c] < 0) return;
  const SW_FlowResistance& r = cells.resistances[cells.resistance[q.c]];
  const double rho = run.par.density;
  const float hr = static_cast<float>(std::min(r.height, q.h));
  const double area = q.m / rho / q.h;
  p.frictionCoefficient[q.i] = static_cast<float>(
      p.frictionCoefficient[q.i] +
      q.v.Length() * ((r.coefficient * r.width / (r.spacing * r.spacing)) * hr * area) * rho * 0.5);
}

}  // namespace

int SW_FrictionLawIndex(const char* text)
{
  for (int i = 0; i < 5; ++i)
    if (std::strcmp(text, SW_FrictionLawNames[i]) == 0) return i;
  return SW_FrictionUser;
}

double SW_ParticleInternalEnthalpy(const SW_ParticleStore& p, int32_t i)
{
  return SW_InternalEnthalpy(p.H[i], p.x[i].z, p.v[i]);
}

namespace {

// The body forces up to the friction law, each particle's entrainment demand and what its
// entrainment will need (the `entrainment` column); the mass, momentum and enthalpy it
// entrains and the drag follow in EntrainAndDrag.
int ForcesAndDemand(SW_FlowRun& run, int32_t first, int32_t end, double t, double dt, AK_String& error)
{
  const SW_MeshCore& mesh = *run.mesh;
  SW_ParticleStore& p = run.particles;
  const bool held = !p.flags.IsEmpty();
  const double mu = std::tan(kPi * run.par.bedFrictionAngle / 180.0);
  const LawContexts laws = ContextsOfThisWorker(run.par);
  const AK_Vec3* normals = mesh._vertexNormals._elems;
  const AK_Vec3* velocity = run.fields.velocity._elems;
  const float* flowDepth = run.fields.flowDepth._elems;
  // A block of particles at a time: first each one's weights and the values interpolated
  // at its position, then the rest. Each particle's work is a long chain of divisions and
  // square roots; in shorter loops the processor overlaps the chains of several particles.
  constexpr int32_t kBlock = 16;
  struct AtPosition {
    double w[4];
    AK_Vec3 n, vf;
    float hf;
  };
  AtPosition at[kBlock];
  for (int32_t b = first; b < end; b += kBlock) {
    const int32_t blockEnd = std::min(end, b + kBlock);
    for (int32_t i = b; i < blockEnd; ++i) {
      AtPosition& a = at[i - b];
      const int32_t c = p.cell[i];
      mesh.CellWeights(c, p.x[i], a.w);
      // The surface normal, the field velocity and the flow depth at x, from one pass over
      // the cell's corners (each sum in the order of the mesh's interpolation).
      AK_Vec3 normal, vf;
      float hf = 0;
      const AK_Index4& corners = mesh._lcv[c];
      for (int k = mesh.LastCorner(c); k >= 0; --k) {
        const int32_t v = corners[k];
        const double w = a.w[k];
        const AK_Vec3& nv = normals[v];
        normal.x += w * nv.x;
        normal.y += w * nv.y;
        normal.z += w * nv.z;
        const AK_Vec3& fv = velocity[v];
        vf.x += w * fv.x;
        vf.y += w * fv.y;
        vf.z += w * fv.z;
        hf = static_cast<float>(hf + w * static_cast<double>(flowDepth[v]));
      }
      a.n = SW_Unit(normal);
      a.vf = vf;
      a.hf = hf;
    }
    for (int32_t i = b; i < blockEnd; ++i) {
      const AtPosition& a = at[i - b];
      Particle q;
      q.i = i;
      q.mu = mu;
      q.c = p.cell[i];
      q.x = p.x[i];
      for (int k = 0; k < 4; ++k) q.w[k] = a.w[k];
      q.n = a.n;
      float hf = a.hf;
      // The position stays until the motion phase: the later phases take these from here.
      p.weights[i] = SW_CornerWeights{{q.w[0], q.w[1], q.w[2], q.w[3]}};
      p.normal[i] = q.n;
      if (hf < 1e-6f) hf = 1e-6f;
      p.depth[i] = hf;
      p.entrainedMass[i] = 0;
      p.enthalpySource[i] = 0;
      p.enthalpyRelaxation[i] = 0;
      p.normalForce[i] = 0;
      p.entrainment[i] = SW_EntrainmentWork();
      if (held && p.flags[i] != 0) continue;  // held back: only its depth counts
      q.h = hf;
      q.m = p.m[i];
      q.v = p.v[i];
      MixWithFlow(run, q, a.vf, dt);
      p.v[i] = q.v;
      NormalAndGravity(run, p, q, dt);
      if (Shear(run, p, q, t, laws.tau, error)) return 1;
      p.entrainment[i] = SW_EntrainmentWork{q.u, q.pressure, q.tau, EntrainmentDemand(run, q, dt), q.nb};
    }
  }
  return 0;
}

// Entrainment and drag of particles [first, end) from what ForcesAndDemand left, each demand
// scaled by its cell's factor in `scale` (per cell; none: 1 everywhere).
int EntrainAndDrag(SW_FlowRun& run, int32_t first, int32_t end, double t, double dt, const double* scale,
                   AK_String& error)
{
  SW_ParticleStore& p = run.particles;
  const bool held = !p.flags.IsEmpty();
  const LawContexts laws = ContextsOfThisWorker(run.par);
  for (int32_t i = first; i < end; ++i) {
    if (held && p.flags[i] != 0) continue;
    const SW_EntrainmentWork& e = p.entrainment[i];
    Particle q;
    q.i = i;
    q.c = p.cell[i];
    q.x = p.x[i];
    q.v = p.v[i];
    q.m = p.m[i];
    q.h = p.depth[i];
    q.u = e.speed;
    q.pressure = e.pressure;
    q.tau = e.shear;
    q.nb = e.normal;
    if (Entrain(run, p, q, e.demand, scale ? scale[q.c] : 1.0, t, dt, laws.loss, error)) return 1;
    Drag(run, p, q);
  }
  return 0;
}

// Runs a per-range part of the phase over all particles on the run's threads (with a user law
// only when it has a context per worker). On a failure, the error of the lowest particle
// whose law failed.
template <class Range>
int OnWorkers(SW_FlowRun& run, Range&& range, AK_String& error)
{
  const int32_t n = run.particles.Count();
  const SW_FlowParameters& par = run.par;
  const bool userLaws = par.frictionLaw == SW_FrictionUser || par.entrainmentLoss.loss;
  if (!userLaws) {
    // Built-in laws always answer a number: no chunk writes the error text.
    auto chunk = [&range, &error](int32_t first, int32_t end) { range(first, end, error); };
    run.workers.ForEachChunk(n, chunk);
    return 0;
  }
  if (par.lawContexts.Size() < run.workers.Threads()) return range(0, n, error);
  // Each worker calls the laws in its own instance and keeps its own first failure; the
  // step reports the failure of the lowest particle, as one thread would have met it first.
  struct Failure {
    int32_t first = INT32_MAX;
    AK_String error;
  };
  std::vector<Failure> failures(static_cast<size_t>(run.workers.Threads()));
  auto chunk = [&range, &failures](int32_t first, int32_t end) {
    Failure& f = failures[static_cast<size_t>(SW_FlowWorkers::Index())];
    AK_String chunkError;
    if (range(first, end, chunkError) && first < f.first) {
      f.first = first;
      f.error = chunkError;
    }
  };
  run.workers.ForEachChunk(n, chunk);
  const Failure* lowest = nullptr;
  for (const Failure& f : failures)
    if (f.first != INT32_MAX && (!lowest || f.first < lowest->first)) lowest = &f;
  if (!lowest) return 0;
  error = lowest->error;
  return 1;
}

// The factor of each cell by which its particles' demands are scaled: 1, or the snow the cell
// holds over what they asked for together where that is more, so that no step takes more than
// lies there. The demands of a cell are summed from the last particle to the first by the
// thread that owns the cell, so the factors are the same with any number of threads. Leaves
// `run.entrainmentScale` empty when no particle asked for any.
void ScaleEntrainment(SW_FlowRun& run)
{
  const SW_ParticleStore& p = run.particles;
  AK_Array<double>& scale = run.entrainmentScale;
  scale.SetCount(0);
  bool asked = false;
  for (int32_t i = p.Count() - 1; i >= 0 && !asked; --i) asked = p.entrainment[i].demand > 0;
  if (!asked) return;
  const SW_MeshCore& mesh = *run.mesh;
  const AK_Array<float>& snow = run.fields.entrainmentMass;
  scale.Reserve(mesh.NumCells());
  scale.SetCount(mesh.NumCells());
  run.workers.ScatterInOrder(
      p.Count(), scale.Size(),
      [&p](int32_t i, int32_t& lo, int32_t& hi) {
        lo = hi = p.cell[i];
        if (!(p.entrainment[i].demand > 0)) hi = lo - 1;
      },
      [&scale](int32_t first, int32_t end) {
        for (int32_t c = first; c < end; ++c) scale[c] = 0;
      },
      [&p, &scale](int32_t i, int32_t, int32_t) { scale[p.cell[i]] += p.entrainment[i].demand; },
      [&scale, &snow, &mesh](int32_t first, int32_t end) {
        for (int32_t c = first; c < end; ++c) {
          const double asked = scale[c];
          if (!(asked > 0)) {
            scale[c] = 1.0;
            continue;
          }
          const double held = static_cast<double>(snow[c]) * mesh.CellAreaVector(c).Length();
          scale[c] = asked > held ? held / asked : 1.0;
        }
      });
}

}  // namespace

int SW_ComputeBodyForces(SW_FlowRun& run, int32_t first, int32_t end, double t, double dt,
                         AK_String& error)
{
  if (ForcesAndDemand(run, first, end, t, dt, error)) return 1;
  return EntrainAndDrag(run, first, end, t, dt, nullptr, error);
}

int SW_BodyForcesPhase(SW_FlowRun& run, double t, double dt, AK_String& error)
{
  const auto forces = [&run, t, dt](int32_t first, int32_t end, AK_String& e) {
    return ForcesAndDemand(run, first, end, t, dt, e);
  };
  if (OnWorkers(run, forces, error)) return 1;
  ScaleEntrainment(run);
  const double* scale = run.entrainmentScale.IsEmpty() ? nullptr : run.entrainmentScale._elems;
  const auto entrain = [&run, t, dt, scale](int32_t first, int32_t end, AK_String& e) {
    return EntrainAndDrag(run, first, end, t, dt, scale, e);
  };
  return OnWorkers(run, entrain, error);
}
