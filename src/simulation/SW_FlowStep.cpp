// One time step of the flow model: its phases in their fixed order, the bookkeeping phases
// between the force and motion phases, and the check that the state belongs to the mesh.
#include <chrono>
#include <cmath>

#include "SW_Flow.h"

namespace {

AK_String NotEnoughMemory(double particles)
{
  return AK_String::Format("not enough memory for %.15g particles", particles);
}

// Room for every particle in the work columns (in the entrainment column when `entraining`)
// and in the threads' scratch. Answers 0 with the error text when the memory cannot be had.
int WorkRoom(SW_FlowRun& run, bool entraining, AK_String& error)
{
  const int32_t n = run.particles.Count();
  if (run.particles.SizeWork(entraining) && run.workers.MakeRoom(n)) return 1;
  error = NotEnoughMemory(n);
  return 0;
}

// The step's fixed start: the random numbers from seed 777, the run's threads, room for the
// particles' work (for their entrainment only where some cell holds snow), the neighbour grid
// of the smoothed-particle method, the bottom pressure cleared when the step maps none.
// Answers 0 with the error text when the memory for the particles' work or grid cannot be had.
int StartStep(SW_FlowRun& run, AK_String& error)
{
  const SW_FlowParameters& par = run.par;
  AK_SeedRandom(777);
  run.workers.Use(par.threads);
  if (!WorkRoom(run, run.fields.HoldsSnow(), error)) return 0;
  // At most 16 MiB of bucket starts, whatever the domain and the kernel radius.
  if (par.sphMode != 0 &&
      !run.grid.Build(*run.mesh, run.particles, SW_KernelRadius(par), int64_t(1) << 22, &run.workers)) {
    error = NotEnoughMemory(run.particles.Count());
    return 0;
  }
  if (par.bottomPressure) return 1;
  AK_Array<float>& bp = run.fields.bottomPressure;
  auto clear = [&bp](int32_t first, int32_t end) {
    for (int32_t k = first; k < end; ++k) bp[k] = 0;
  };
  run.workers.ForEachChunk(bp.Size(), clear);
  return 1;
}

// Secondary release: a held area goes, with its particles at rest, once the flow has reached
// one of its cells (the field velocity at the cell's first corner). Reads the flags, the
// cells and "Velocity"; writes the flags, the velocities and the report's released areas.
void ReleaseSecondaryAreas(SW_FlowRun& run)
{
  SW_ParticleStore& p = run.particles;
  if (p.flags.IsEmpty()) return;
  const SW_MeshCore& mesh = *run.mesh;
  for (int32_t i = p.Count() - 1; i >= 0; --i) {
    const uint8_t k = p.flags[i];
    if (k == 0) continue;
    const AK_Vec3& vf = run.fields.velocity[mesh._lcv[p.cell[i]][0]];
    if (!(vf.Dot(vf) > 0)) continue;
    run.report.released.Append(k);
    for (int32_t j = p.Count() - 1; j >= 0; --j) {
      if (p.flags[j] != k) continue;
      p.flags[j] = 0;
      p.v[j] = AK_Vec3();
    }
  }
}

// Entrainment bookkeeping: each cell gives up the snow its particles took, per unit area,
// never below 0, and all of it where their entrainment was scaled to what it held. Reads
// `entrainedMass`, the cells and the scale; writes "EntrainmentMass" and the report's
// entrained mass.
void TakeEntrainedSnow(SW_FlowRun& run)
{
  const SW_ParticleStore& p = run.particles;
  int32_t taking = 0;
  for (int32_t i = p.Count() - 1; i >= 0; --i) {
    const float dm = p.entrainedMass[i];
    if (!(dm > 0)) continue;
    run.report.entrained += dm;
    ++taking;
  }
  if (taking == 0) return;
  const SW_MeshCore& mesh = *run.mesh;
  AK_Array<float>& snow = run.fields.entrainmentMass;
  const double* scale = run.entrainmentScale.Size() == snow.Size() ? run.entrainmentScale._elems : nullptr;
  const auto take = [&](int32_t i, int32_t first, int32_t end) {
    const float dm = p.entrainedMass[i];
    const int32_t c = p.cell[i];
    if (!(dm > 0) || c < first || c >= end) return;
    float& left = snow[c];
    if (scale && scale[c] < 1) {
      left = 0;
      return;
    }
    left = static_cast<float>(left - dm / mesh.CellAreaVector(c).Length());
    if (left < 0) left = 0;
  };
  // Each cell in the particles' order (from the last), on the thread that owns it.
  if (taking < 4096) {
    for (int32_t i = p.Count() - 1; i >= 0; --i) take(i, 0, snow.Size());
    return;
  }
  run.workers.ScatterInOrder(
      p.Count(), snow.Size(),
      [&](int32_t i, int32_t& lo, int32_t& hi) {
        lo = hi = p.cell[i];
        if (!(p.entrainedMass[i] > 0)) hi = lo - 1;
      },
      [](int32_t, int32_t) {}, take, [](int32_t, int32_t) {});
}

// The bottom pressure per vertex: the normal forces spread over the corners of each
// particle's cell, divided by the vertex's area. Reads `normalForce` and `weights`; writes
// "BottomPressure".
void MapBottomPressure(SW_FlowRun& run)
{
  if (!run.par.bottomPressure) return;
  const SW_MeshCore& mesh = *run.mesh;
  const SW_ParticleStore& p = run.particles;
  AK_Array<float>& bp = run.fields.bottomPressure;
  // Each vertex cleared, summed in the particles' order (from the last) and divided by its
  // area on the thread that owns it.
  run.workers.ScatterInOrder(
      p.Count(), bp.Size(),
      [&](int32_t i, int32_t& lo, int32_t& hi) { SW_CornerSpan(mesh, p.cell[i], lo, hi); },
      [&bp](int32_t first, int32_t end) {
        for (int32_t k = first; k < end; ++k) bp[k] = 0;
      },
      [&](int32_t i, int32_t first, int32_t end) {
        const int32_t c = p.cell[i];
        const double* w = p.weights[i].w;
        const AK_Index4& corners = mesh._lcv[c];
        for (int k = 0; k < mesh.CornerCount(c); ++k) {
          const int32_t v = corners[k];
          if (v >= first && v < end) bp[v] = static_cast<float>(bp[v] + p.normalForce[i] * w[k]);
        }
      },
      [&bp, &mesh](int32_t first, int32_t end) {
        for (int32_t k = first; k < end; ++k)
          if (bp[k] > 0) bp[k] = static_cast<float>(bp[k] / mesh._vertexNormals[k].Length());
      });
}

// Lateral forces on all particles, on the run's threads. The grid's masses are gathered
// again first: entrainment changed them.
void LateralForces(SW_FlowRun& run, double dt)
{
  if (run.par.sphMode != 0) run.grid.Gather(run.particles, &run.workers);
  if (run.par.sphMode != 0 && run.par.verbose > 1) {
    const int32_t samples = (run.particles.Count() + 999) / 1000;
    run.report.sph.Reserve(samples);
    run.report.sph.SetCount(samples);
    for (SW_FlowStepReport::SphSample& s : run.report.sph) s = SW_FlowStepReport::SphSample();
  }
  auto chunk = [&run, dt](int32_t first, int32_t end) { SW_ComputeLateralForces(run, first, end, dt); };
  run.workers.ForEachChunk(run.particles.Count(), chunk);
}

// The position update of all particles, on the run's threads.
void MoveParticles(SW_FlowRun& run, double dt)
{
  auto chunk = [&run, dt](int32_t first, int32_t end) { SW_UpdatePositions(run, first, end, dt); };
  run.workers.ForEachChunk(run.particles.Count(), chunk);
}

// Removal of the particles off the mesh or nearly without mass, the sources' particles, and
// the split of particles much heavier than the mass per particle; then room for the work of
// them all. Writes the particles and the report's counts. Answers 0 with the error text when
// the particles outgrow the run's bound or the memory (each particle stays whole: a split
// that cannot be made leaves its particle as it was).
int RemoveAddAndSplit(SW_FlowRun& run, double t, double dt, AK_String& error)
{
  SW_ParticleStore& p = run.particles;
  const double perParticle = run.par.massPerParticle;
  run.report.removed = p.RemoveBelow(perParticle * 0.01);
  if (SW_AddSourceParticles(run, t, dt, run.report.sourceMass, run.report.sourceCount, error)) return 0;
  // A mass clearly below 1.4 masses per particle rounds to at most one: no division needed.
  // Without a mass per particle there are no parts to split into.
  const double clearlyOne = perParticle > 0 ? 1.4 * perParticle : HUGE_VAL;
  for (int32_t i = p.Count() - 1; i >= 0; --i) {
    if (!(p.m[i] >= clearlyOne)) continue;
    // In doubles: a particle far heavier than the bound allows has no 32-bit count of parts.
    const double k = std::floor(p.m[i] / perParticle + 0.5);
    if (!(k >= 2) || p.cell[i] < 0) continue;
    if (!SW_RoomForParticles(run, k - 1, error)) return 0;
    p.Split(*run.mesh, i, static_cast<int32_t>(k));
  }
  // The next step looks for snow again; until then the entrainment column stays as it is.
  return WorkRoom(run, !p.entrainment.IsEmpty(), error);
}

// The field update from the particles where the motion left them, on the run's threads
// (each particle's weights computed by the thread that adds them to its vertices).
void UpdateFields(SW_FlowRun& run, double t)
{
  const SW_ParticleStore& p = run.particles;
  SW_UpdateFields(*run.mesh, run.par.density, p, static_cast<float>(t), run.fields, nullptr,
                  &run.workers);
}

// The mass of the particles as the step reports it, summed from the last to the first.
double StepTotal(const SW_ParticleStore& p)
{
  double total = 0;
  for (int32_t i = p.Count() - 1; i >= 0; --i) total += p.m[i];
  return total;
}

}  // namespace

void SW_FlowStepReport::Reset()
{
  entrained = total = sourceMass = 0;
  sourceCount = removed = 0;
  released.SetCount(0);
  sph.SetCount(0);
  for (std::clock_t& c : clocks) c = 0;
  for (double& s : seconds) s = 0;
}

int SW_RoomForParticles(SW_FlowRun& run, double more, AK_String& error)
{
  if (!(more > 0)) return 1;
  const double wanted = run.particles.Count() + more;
  if (wanted > static_cast<double>(run.par.maxParticles)) {
    error = AK_String::Format("%.15g particles are too many, at most %lld can be made", wanted,
                              static_cast<long long>(run.par.maxParticles));
    return 0;
  }
  if (run.particles.MakeRoom(static_cast<int64_t>(more))) return 1;
  error = NotEnoughMemory(wanted);
  return 0;
}

int SW_CheckFlowState(const SW_FlowRun& run, AK_String& error)
{
  if (!run.mesh) {
    error = "the run has no mesh";
    return 0;
  }
  const SW_MeshCore& mesh = *run.mesh;
  if (mesh._vertexNormals.Size() != mesh.NumVertices() || mesh._lcc.Size() != mesh.NumCells()) {
    error = "the mesh has no vertex normals or no cell neighbours";
    return 0;
  }
  return run.fields.Check(mesh, error) && run.cells.Check(mesh, error) &&
         run.particles.Check(mesh, error);
}

int SW_ComputeTimeStep(SW_FlowRun& run, double t, double dt, AK_String& error)
{
  run.report.Reset();
  if (!SW_CheckFlowState(run, error)) {
    error += ": no time step";
    return 1;
  }
  std::clock_t* clocks = run.report.clocks;
  double* seconds = run.report.seconds;
  std::clock_t start = std::clock();
  auto wallStart = std::chrono::steady_clock::now();
  const auto lap = [&](SW_FlowStepReport::Phase phase) {
    const std::clock_t now = std::clock();
    const auto wallNow = std::chrono::steady_clock::now();
    clocks[phase] = now - start;
    seconds[phase] = std::chrono::duration<double>(wallNow - wallStart).count();
    start = now;
    wallStart = wallNow;
  };
  if (!StartStep(run, error))                      // seed, threads, work room, grid, bottom pressure 0
    return SW_StepOutOfParticles;
  lap(SW_FlowStepReport::Grid);
  ReleaseSecondaryAreas(run);                      // flags, velocities of released areas
  start = std::clock();
  wallStart = std::chrono::steady_clock::now();
  if (SW_BodyForcesPhase(run, t, dt, error)) {         // state, work columns, the entrainment scale
    for (float& v : run.fields.bottomPressure) v = 0;  // as a stopped step leaves it
    return 1;
  }
  TakeEntrainedSnow(run);                          // "EntrainmentMass" from `entrainedMass`
  MapBottomPressure(run);                          // "BottomPressure" from `normalForce`
  lap(SW_FlowStepReport::BodyForces);
  LateralForces(run, dt);                          // `force` and the diffusion terms
  lap(SW_FlowStepReport::LateralForces);
  MoveParticles(run, dt);                          // positions, velocities, cells, enthalpies
  lap(SW_FlowStepReport::PositionUpdate);
  if (!RemoveAddAndSplit(run, t, dt, error))       // the particle count, the work columns' room
    return SW_StepOutOfParticles;
  lap(SW_FlowStepReport::RemovalSplitting);
  UpdateFields(run, t);                            // the fields from the particles
  lap(SW_FlowStepReport::FieldUpdate);
  run.report.total = StepTotal(run.particles);
  return 0;
}
