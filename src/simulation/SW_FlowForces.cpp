// Body forces of the flow model: subgrid mixing, the normal acceleration over the curved
// surface, the friction laws, entrainment and the drag of resistance areas.
#include <algorithm>
#include <atomic>
#include <cfloat>
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
// the number it answered, with the particle's state (plain values: the particle itself then
// stays in registers).
AK_String LawFailure(SW_UserLawFailure failure, void* context, const char* what, const AK_String& name,
                     double answer, double pressure, double speed, double depth)
{
  const char* why = failure ? failure(context) : nullptr;
  if (why && *why)
    return AK_String::Format("%s \"%s\" failed: %s (pressure %g, speed %g, depth %g); the run stops", what,
                             name.c_str(), why, pressure, speed, depth);
  return AK_String::Format("%s \"%s\" answered %g (pressure %g, speed %g, depth %g); the run stops", what,
                           name.c_str(), answer, pressure, speed, depth);
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
        error = LawFailure(par.userLaw.failure, context, "friction law", par.userLaw.name, q.tau, q.pressure,
                           q.u, q.h);
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

// The snow cell c holds to be entrained, kg/m² (none without the field).
float SnowIn(const SW_FlowFields& fields, int32_t c)
{
  return fields.entrainmentMass.IsEmpty() ? 0.f : fields.entrainmentMass[c];
}

// The snow cell c holds to be entrained, kg (the field must be bound).
double SnowHeldBy(const SW_FlowRun& run, int32_t c)
{
  return static_cast<double>(run.fields.entrainmentMass[c]) * run.mesh->CellAreaVector(c).Length();
}

// The mass a particle would take from a cell holding `available` if it took alone, before an
// erosion energy divides it: with one, the friction work on the particle's area in the step;
// without one, the snow on the area it sweeps, which is the demand itself.
double DemandBeforeErosion(const SW_FlowParameters& par, float available, double m, double h, double tau,
                           double u, double dt)
{
  const double area = m / (h * par.density);
  if (par.entrainmentErosion > 0) return area * tau * u * dt;
  return available * (std::sqrt(area) * u * dt);
}

// The demand: the friction work over the erosion energy, or the swept snow. A tiny erosion
// energy makes it overflow to infinity.
double EntrainmentDemand(const SW_FlowParameters& par, float available, double m, double h, double tau,
                         double u, double dt)
{
  const double d = DemandBeforeErosion(par, available, m, h, tau, u, dt);
  return par.entrainmentErosion > 0 ? d / par.entrainmentErosion : d;
}

// What a particle takes when it takes alone: its demand, but no more than its cell holds, so a
// demand that overflows takes all of it.
double TakenAlone(const SW_FlowRun& run, int32_t c, double demand)
{
  const double held = SnowHeldBy(run, c);
  const double dm = demand > held ? held : demand;
  return std::isfinite(dm) ? dm : 0;
}

// What a particle takes once every demand on its cell is known: its demand scaled by the
// cell's factor, or, where the demands overflowed (a negative factor), its share of the
// friction work times what the cell holds.
double TakenFromCell(const SW_FlowParameters& par, const SW_EntrainmentWork& e, float available, double m,
                     double h, double scale, double dt)
{
  double dm;
  if (scale >= 1) dm = e.demand;
  else if (scale >= 0) dm = e.demand * scale;
  else dm = DemandBeforeErosion(par, available, m, h, e.shear, e.speed, dt) * -scale;
  return std::isfinite(dm) ? dm : 0;
}

// Entrainment of dm from the cell the particle stands in at the start of the step: mass,
// momentum and enthalpy of the particle; the cell's account is settled later in the step.
// Answers 1 with the error text when the user's energy loss answers no finite number.
int Entrain(const SW_FlowRun& run, SW_ParticleStore& p, Particle& q, double dm, double t, double dt,
            void* context, AK_String& error)
{
  const SW_FlowParameters& par = run.par;
  const SW_FlowFields& fields = run.fields;
  const int32_t i = q.i;
  const double rho = par.density, h = q.h, u = q.u;
  double m = q.m;
  const double area = m / (h * rho);
  const double swept = std::sqrt(area) * u * dt;
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
                         "entrainment_energy_loss", perArea, q.pressure, q.u, q.h);
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

bool InResistanceArea(const SW_FlowCells& cells, int32_t c)
{
  return !cells.resistance.IsEmpty() && cells.resistance[c] >= 0;
}

// The drag of the obstacles of the resistance area of cell c, added to the friction per unit
// speed of particle i with flow depth h, mass m and velocity v.
void Drag(const SW_FlowRun& run, SW_ParticleStore& p, int32_t i, int32_t c, double h, double m, AK_Vec3 v)
{
  const SW_FlowCells& cells = run.cells;
  const SW_FlowResistance& r = cells.resistances[cells.resistance[c]];
  const double rho = run.par.density;
  const float hr = static_cast<float>(std::min(r.height, h));
  const double area = m / rho / h;
  p.frictionCoefficient[i] = static_cast<float>(
      p.frictionCoefficient[i] +
      v.Length() * ((r.coefficient * r.width / (r.spacing * r.spacing)) * hr * area) * rho * 0.5);
}

// Entrainment of dm by particle i and its drag, from its state in the store and what the
// friction law found for it. Apart from the loop over all particles, which most particles pass
// by without snow or drag: that loop keeps each particle's state in registers.
int EntrainAndDrag(const SW_FlowRun& run, SW_ParticleStore& p, int32_t i, const SW_EntrainmentWork& e,
                   double dm, double t, double dt, void* context, AK_String& error)
{
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
  if (Entrain(run, p, q, dm, t, dt, context, error)) return 1;
  if (InResistanceArea(run.cells, q.c)) Drag(run, p, i, q.c, q.h, q.m, q.v);
  return 0;
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

// What a pass of ForcesAndDemand met: a particle on snow, and one that asked for some.
struct Drawing {
  bool drew = false, asked = false;
};

// The body forces, friction, entrainment and drag of particles [first, end). A particle on
// snow takes its snow alone (TakenAlone), or, with `deferred` (the entrainment column), leaves
// there its demand and what its entrainment will need, and its entrainment and drag to
// EntrainDeferred.
int ForcesAndDemand(SW_FlowRun& run, int32_t first, int32_t end, double t, double dt,
                    SW_EntrainmentWork* deferred, Drawing& drawing, AK_String& error)
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
      if (held && p.flags[i] != 0) continue;  // held back: only its depth counts
      q.h = hf;
      q.m = p.m[i];
      q.v = p.v[i];
      MixWithFlow(run, q, a.vf, dt);
      p.v[i] = q.v;
      NormalAndGravity(run, p, q, dt);
      if (Shear(run, p, q, t, laws.tau, error)) return 1;
      const float available = SnowIn(run.fields, q.c);
      if (available > 0) {
        const SW_EntrainmentWork e{q.u, q.pressure, q.tau,
                                   EntrainmentDemand(run.par, available, q.m, q.h, q.tau, q.u, dt), q.nb};
        drawing.drew = true;
        if (deferred) {
          deferred[i] = e;
          drawing.asked = drawing.asked || e.demand > 0;
        } else if (EntrainAndDrag(run, p, i, e, TakenAlone(run, q.c, e.demand), t, dt, laws.loss,
                                  error)) {
          return 1;
        }
        continue;
      }
      if (InResistanceArea(run.cells, q.c)) Drag(run, p, i, q.c, q.h, q.m, q.v);
    }
  }
  return 0;
}

// Entrainment and drag of the particles of [first, end) on snow, from what ForcesAndDemand
// left in the entrainment column, each demand scaled by its cell's factor in `scale` (per
// cell; none: 1 everywhere). The others had their drag with their forces.
int EntrainDeferred(SW_FlowRun& run, int32_t first, int32_t end, double t, double dt, const double* scale,
                    AK_String& error)
{
  SW_ParticleStore& p = run.particles;
  const bool held = !p.flags.IsEmpty();
  const LawContexts laws = ContextsOfThisWorker(run.par);
  for (int32_t i = first; i < end; ++i) {
    if (held && p.flags[i] != 0) continue;
    const int32_t c = p.cell[i];
    const float available = SnowIn(run.fields, c);
    if (!(available > 0)) continue;
    const SW_EntrainmentWork& e = p.entrainment[i];
    const double dm = TakenFromCell(run.par, e, available, p.m[i], p.depth[i], scale ? scale[c] : 1.0, dt);
    if (EntrainAndDrag(run, p, i, e, dm, t, dt, laws.loss, error)) return 1;
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

// The factor that marks a cell whose demands overflowed until ShareByWork sets it.
constexpr double kOverflowed = -1;

// The demand of particle i on its cell as the cell's sums take it: 0 where it draws none (held
// back, or on no snow, where its entry in the entrainment column is not this step's).
double DemandOnCell(const SW_FlowRun& run, int32_t i)
{
  const SW_ParticleStore& p = run.particles;
  if ((!p.flags.IsEmpty() && p.flags[i] != 0) || !(run.fields.entrainmentMass[p.cell[i]] > 0)) return 0;
  return p.entrainment[i].demand;
}

// The cells whose demands overflowed (a tiny erosion energy) give up all they hold, each
// particle taking its share of the demands before the erosion energy divides them: the shares
// that ever larger demands tend to. Their factor becomes minus what the cell holds over the
// sum of those; the sums run over the same particles in the same order as the demands'.
void ShareByWork(SW_FlowRun& run, double dt)
{
  const SW_ParticleStore& p = run.particles;
  AK_Array<double>& scale = run.entrainmentScale;
  AK_Array<double>& sums = run.entrainmentWorkSums;
  sums.Reserve(scale.Size());
  sums.SetCount(scale.Size());
  run.workers.ScatterAgain(
      p.Count(), scale.Size(),
      [&sums](int32_t first, int32_t end) {
        for (int32_t c = first; c < end; ++c) sums[c] = 0;
      },
      [&run, &p, &scale, &sums, dt](int32_t i, int32_t, int32_t) {
        const int32_t c = p.cell[i];
        if (scale[c] != kOverflowed || !(DemandOnCell(run, i) > 0)) return;
        const SW_EntrainmentWork& e = p.entrainment[i];
        sums[c] += DemandBeforeErosion(run.par, run.fields.entrainmentMass[c], p.m[i], p.depth[i], e.shear,
                                       e.speed, dt);
      },
      [&run, &scale, &sums](int32_t first, int32_t end) {
        for (int32_t c = first; c < end; ++c) {
          if (scale[c] != kOverflowed) continue;
          const double share = SnowHeldBy(run, c) / sums[c];
          scale[c] = share > 0 ? -share : 0;  // a sum that overflows too shares nothing
        }
      });
}

// The factor of each cell by which its particles' demands are scaled: 1, or the snow the cell
// holds over what they asked for together where that is more, so that no step takes more than
// lies there (kOverflowed where that is too small for a double: ShareByWork then sets it).
// The demands of a cell are summed from the last particle to the first by the thread that owns
// the cell, so the factors are the same with any number of threads.
void ScaleEntrainment(SW_FlowRun& run, double dt)
{
  const SW_ParticleStore& p = run.particles;
  AK_Array<double>& scale = run.entrainmentScale;
  const int32_t cells = run.mesh->NumCells();
  scale.Reserve(cells);
  scale.SetCount(cells);
  std::atomic<bool> overflowed{false};
  run.workers.ScatterInOrder(
      p.Count(), cells,
      [&run, &p](int32_t i, int32_t& lo, int32_t& hi) {
        lo = hi = p.cell[i];
        if (!(DemandOnCell(run, i) > 0)) hi = lo - 1;
      },
      [&scale](int32_t first, int32_t end) {
        for (int32_t c = first; c < end; ++c) scale[c] = 0;
      },
      [&run, &p, &scale](int32_t i, int32_t, int32_t) {
        const double demand = DemandOnCell(run, i);
        if (demand > 0) scale[p.cell[i]] += demand;
      },
      [&run, &scale, &overflowed](int32_t first, int32_t end) {
        for (int32_t c = first; c < end; ++c) {
          const double asked = scale[c];
          const double held = asked > 0 ? SnowHeldBy(run, c) : 0;
          if (!(asked > held)) {
            scale[c] = 1.0;
            continue;
          }
          const double share = held / asked;
          if (share >= DBL_MIN || !(held > 0)) {
            scale[c] = share;
            continue;
          }
          scale[c] = kOverflowed;
          overflowed.store(true, std::memory_order_relaxed);
        }
      });
  if (overflowed.load()) ShareByWork(run, dt);
}

}  // namespace

int SW_ComputeBodyForces(SW_FlowRun& run, int32_t first, int32_t end, double t, double dt,
                         AK_String& error)
{
  Drawing drawing;
  return ForcesAndDemand(run, first, end, t, dt, nullptr, drawing, error);
}

int SW_BodyForcesPhase(SW_FlowRun& run, double t, double dt, AK_String& error)
{
  SW_ParticleStore& p = run.particles;
  SW_EntrainmentWork* deferred =
      p.Count() > 0 && p.entrainment.Size() == p.Count() ? p.entrainment._elems : nullptr;
  std::atomic<bool> drew{false}, asked{false};
  const auto forces = [&run, t, dt, deferred, &drew, &asked](int32_t first, int32_t end, AK_String& e) {
    Drawing drawing;
    const int failed = ForcesAndDemand(run, first, end, t, dt, deferred, drawing, e);
    if (drawing.drew) drew.store(true, std::memory_order_relaxed);
    if (drawing.asked) asked.store(true, std::memory_order_relaxed);
    return failed;
  };
  if (OnWorkers(run, forces, error)) return 1;
  run.entrainmentScale.SetCount(0);
  if (!deferred || !drew.load()) return 0;
  if (asked.load()) ScaleEntrainment(run, dt);
  const double* scale = run.entrainmentScale.IsEmpty() ? nullptr : run.entrainmentScale._elems;
  const auto entrain = [&run, t, dt, scale](int32_t first, int32_t end, AK_String& e) {
    return EntrainDeferred(run, first, end, t, dt, scale, e);
  };
  return OnWorkers(run, entrain, error);
}
