// One time step of the flow model in its fixed order of phases, the neighbour grid, and
// the set-up numbers (particle mass, mass correction, entrainment layer, cell marks).
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "SW_Flow.h"

double SW_KernelRadius(const SW_FlowParameters& par)
{
  if (par.sphMode < 0) return par.resolution / -par.sphMode;
  return par.resolution * par.sphMode;
}

// ---- neighbour grid ---------------------------------------------------------------------------

int32_t SW_FlowGrid::Column(double x) const
{
  const double k = (x - x0) / size;
  if (!(k >= 0)) return 0;
  return k >= nx - 1 ? nx - 1 : static_cast<int32_t>(k);
}

int32_t SW_FlowGrid::Row(double y) const
{
  const double k = (y - y0) / size;
  if (!(k >= 0)) return 0;
  return k >= ny - 1 ? ny - 1 : static_cast<int32_t>(k);
}

void SW_FlowGrid::Build(const SW_MeshCore& mesh, const SW_FlowParticles& p, double radius,
                        int64_t maxBuckets)
{
  AK_Vec3 lo, hi;
  mesh.VertexBox(lo, hi);
  x0 = lo.x;
  y0 = lo.y;
  size = radius > 0 ? radius : 1;
  // A large domain with a small kernel would need more buckets than memory allows: the
  // buckets grow instead, which only makes the neighbour candidates more numerous.
  for (;;) {
    const double cx = (hi.x - x0) / size + 1.0, cy = (hi.y - y0) / size + 1.0;
    if (cx * cy <= static_cast<double>(maxBuckets)) {
      nx = static_cast<int32_t>(cx);
      ny = static_cast<int32_t>(cy);
      break;
    }
    size *= 2;
  }
  const int32_t buckets = nx * ny;
  start.Reserve(buckets + 1);
  start.SetCount(buckets + 1);
  for (int32_t& s : start) s = 0;
  const int32_t n = p.Count();
  sorted.Reserve(n);
  sorted.SetCount(n);
  for (int32_t i = 0; i < n; ++i) ++start[Row(p.x[i].y) * nx + Column(p.x[i].x)];
  for (int32_t k = 1; k <= buckets; ++k) start[k] += start[k - 1];
  // Placing in increasing index from the bucket ends leaves each bucket in decreasing order.
  for (int32_t i = 0; i < n; ++i) {
    const int32_t b = Row(p.x[i].y) * nx + Column(p.x[i].x);
    sorted[--start[b]] = i;
  }
}

// ---- set-up ---------------------------------------------------------------------------------

int SW_ChooseParticleMass(const char* method, double M, int32_t n, double dx, double density,
                          SW_ParticleBudget& b, AK_String& error)
{
  if (!(density > 0)) {
    error = AK_String::Format("density %g is not positive: no particles", density);
    return 0;
  }
  if (n < 1) n = 1;
  const double cellMass = dx * density * dx;  // mass of unit depth on one cell of side dx
  if (std::strcmp(method, "delta-depth per particle") == 0) {
    b.massPerParticle = cellMass * b.deltaDepth;
  } else if (std::strcmp(method, "particles per cell") == 0) {
    b.massPerParticle = (M / n) / b.perCell;
  } else if (std::strcmp(method, "number of particles") == 0) {
    if (b.count <= 0) {
      error = AK_String::Format("number of particles %d is not positive", b.count);
      return 0;
    }
    b.massPerParticle = M / b.count;
    b.perCell = b.massPerParticle > 0 ? (M / b.massPerParticle) / n : 0;
    b.deltaDepth = b.massPerParticle / cellMass;
    if (M == 0) return 1;  // nothing released: no particles, nothing to refuse
  }
  if (!(b.massPerParticle > 0) || !std::isfinite(b.massPerParticle)) {
    error = AK_String::Format("mass per particle %g is not positive: no particles",
                              b.massPerParticle);
    return 0;
  }
  if (std::strcmp(method, "number of particles") != 0) {
    const double count = M / b.massPerParticle;
    if (std::strcmp(method, "particles per cell") != 0) b.perCell = count / n;
    if (std::strcmp(method, "delta-depth per particle") != 0)
      b.deltaDepth = b.massPerParticle / cellMass;
    if (count >= 2147483647.0) {
      error = AK_String::Format("%g particles are too many", count);
      return 0;
    }
    b.count = static_cast<int32_t>(count);
  }
  return 1;
}

double SW_CorrectParticleMasses(AK_Array<float>& m, double M)
{
  // The particles' total mass, summed in index order as the particle set sums it.
  double total = 0;
  for (float mass : m) total += mass;
  if (m.IsEmpty() || !(total > 0)) return 0;
  const double f = M / total;
  for (int32_t i = m.Size() - 1; i >= 0; --i) m[i] = static_cast<float>(m[i] * f);
  return f;
}

double SW_SnowEnthalpy(double temperature)
{
  return temperature >= 0 ? temperature * 4187.0 / 333500.0 : temperature * 2050.0;
}

void SW_GlobalEntrainment(double z, double minZ, double weight, double temperature,
                          double gradient, float& mass, float& enthalpy)
{
  if (!(z > minZ)) return;
  mass = static_cast<float>(weight);
  enthalpy = static_cast<float>(SW_SnowEnthalpy((z - minZ) * gradient + temperature));
}

void SW_MarkCellsAndNeighbours(const SW_MeshCore& mesh, const AK_Array<int32_t>& cells,
                               int32_t mark, AK_Array<int32_t>& marks)
{
  for (int32_t c : cells) {
    marks[c] = mark;
    for (int k = 0; k < mesh.CornerCount(c); ++k) {
      const int32_t nb = mesh.Neighbour(c, k);
      if (nb >= 0) marks[nb] = mark;
    }
  }
}

// ---- threads ---------------------------------------------------------------------------------

void SW_ForEachChunk(int32_t count, int threads, const std::function<void(int32_t, int32_t)>& run)
{
  // A thread is worth its start only with some particles to work on.
  const int32_t used = std::min<int32_t>(threads, count / 64);
  if (used < 2) {
    run(0, count);
    return;
  }
  std::vector<std::thread> workers;
  const int32_t chunk = (count + used - 1) / used;
  for (int32_t first = chunk; first < count; first += chunk)
    workers.emplace_back(run, first, std::min(count, first + chunk));
  run(0, std::min(count, chunk));
  for (std::thread& w : workers) w.join();
}

// ---- the step ---------------------------------------------------------------------------------

// ---- the state a step may trust ---------------------------------------------------------------

namespace {

bool SizeIs(int32_t size, int32_t expected, const char* name, const char* per, AK_String& error)
{
  if (size == expected) return true;
  error = AK_String::Format("\"%s\" holds %d values for %d %s of the mesh: no time step", name,
                            size, expected, per);
  return false;
}

}  // namespace

int SW_CheckFlowState(const SW_MeshCore& mesh, const SW_FlowCells& cells,
                      const SW_FlowFields& fields, const SW_FlowParticles& p, AK_String& error)
{
  const int32_t nv = mesh.NumVertices(), nc = mesh.NumCells();
  if (!SizeIs(mesh._vertexNormals.Size(), nv, "vertex normals", "vertices", error) ||
      !SizeIs(mesh._lcc.Size(), nc, "cell neighbours", "cells", error))
    return 0;
  const struct {
    const char* name;
    int32_t size;
  } perVertex[] = {{"FlowDepth", fields.flowDepth.Size()},
                   {"Velocity", fields.velocity.Size()},
                   {"BottomPressure", fields.bottomPressure.Size()},
                   {"DynamicPeakPressure", fields.peakPressure.Size()},
                   {"PeakForcePerWidth", fields.peakForce.Size()},
                   {"PeakTorquePerWidth", fields.peakTorque.Size()},
                   {"PeakFlowDepth", fields.peakDepth.Size()},
                   {"FrontArrivalTime", fields.frontArrival.Size()}};
  for (const auto& f : perVertex)
    if (!SizeIs(f.size, nv, f.name, "vertices", error)) return 0;
  // Without entrainable snow both entrainment fields may be unbound.
  if (!fields.entrainmentMass.IsEmpty() &&
      (!SizeIs(fields.entrainmentMass.Size(), nc, "EntrainmentMass", "cells", error) ||
       !SizeIs(fields.entrainmentEnthalpy.Size(), nc, "EntrainmentEnthalpy", "cells", error)))
    return 0;
  if (!cells.resistance.IsEmpty()) {
    if (!SizeIs(cells.resistance.Size(), nc, "cell resistances", "cells", error)) return 0;
    for (int32_t r : cells.resistance)
      if (r < -1 || r >= cells.resistances.Size()) {
        error = AK_String::Format("a cell refers to resistance area %d of %d: no time step", r,
                                  cells.resistances.Size());
        return 0;
      }
  }
  if (!cells.wallMark.IsEmpty()) {
    if (!SizeIs(cells.wallMark.Size(), nc, "wall marks", "cells", error)) return 0;
    for (int32_t w : cells.wallMark)
      if (w < 0 || w > cells.walls.Size() || (w > 0 && !cells.walls[w - 1])) {
        error = AK_String::Format("a cell refers to wall line %d of %d: no time step", w,
                                  cells.walls.Size());
        return 0;
      }
  }
  const int32_t n = p.Count();
  const struct {
    const char* name;
    int32_t size;
  } perParticle[] = {{"Velocity", p.v.Size()}, {"Mass", p.m.Size()},
                     {"TotalEnthalpy", p.H.Size()}, {"cells", p.cell.Size()}};
  for (const auto& c : perParticle)
    if (c.size != n) {
      error = AK_String::Format("the particles' \"%s\" holds %d values for %d particles: no "
                                "time step", c.name, c.size, n);
      return 0;
    }
  if (!p.flags.IsEmpty() && p.flags.Size() != n) {
    error = AK_String::Format("%d release flags for %d particles: no time step", p.flags.Size(), n);
    return 0;
  }
  for (int32_t i = 0; i < n; ++i)
    if (p.cell[i] < 0 || p.cell[i] >= nc) {
      error = AK_String::Format("particle %d stands on cell %d of a mesh of %d cells: no time "
                                "step", i, p.cell[i], nc);
      return 0;
    }
  return 1;
}

int SW_ComputeTimeStep(const SW_MeshCore& mesh, const SW_FlowParameters& par,
                       const SW_FlowCells& cells, const SW_FlowSources* sources,
                       SW_FlowFields& fields, SW_FlowParticles& p, SW_FlowGrid& grid, double t,
                       double dt, SW_FlowStepReport& report, AK_String& error)
{
  report = SW_FlowStepReport();
  if (!SW_CheckFlowState(mesh, cells, fields, p, error)) return 1;
  AK_SeedRandom(777);
  // At most 16 MiB of bucket starts, whatever the domain and the kernel radius.
  if (par.sphMode != 0) grid.Build(mesh, p, SW_KernelRadius(par), int64_t(1) << 22);
  for (float& b : fields.bottomPressure) b = 0;

  // Secondary release: a held area goes once the flow has reached one of its cells.
  if (!p.flags.IsEmpty()) {
    for (int32_t i = p.Count() - 1; i >= 0; --i) {
      const uint8_t k = p.flags[i];
      if (k == 0) continue;
      const AK_Vec3& vf = fields.velocity[mesh._lcv[p.cell[i]][0]];
      if (!(vf.Dot(vf) > 0)) continue;
      report.released.Append(k);
      for (int32_t j = p.Count() - 1; j >= 0; --j) {
        if (p.flags[j] != k) continue;
        p.flags[j] = 0;
        p.v[j] = AK_Vec3();
      }
    }
  }

  p.SizeWork();
  const int32_t n = p.Count();
  const bool scripts = par.frictionLaw == SW_FrictionUser || par.entrainmentLoss.loss;
  if (scripts) {
    if (SW_ComputeBodyForces(mesh, par, cells, fields, p, 0, n, t, dt, error)) return 1;
  } else {
    SW_ForEachChunk(n, par.threads, [&](int32_t first, int32_t end) {
      AK_String unused;
      SW_ComputeBodyForces(mesh, par, cells, fields, p, first, end, t, dt, unused);
    });
  }

  for (int32_t i = p.Count() - 1; i >= 0; --i) {
    const float dm = p.entrainedMass[i];
    if (!(dm > 0)) continue;
    report.entrained += dm;
    const int32_t c = p.cell[i];
    float& left = fields.entrainmentMass[c];
    left = static_cast<float>(left - dm / mesh.CellAreaVector(c).Length());
    if (left < 0) left = 0;
  }

  if (par.bottomPressure) {
    AK_Array<float>& bp = fields.bottomPressure;
    for (int32_t i = p.Count() - 1; i >= 0; --i) {
      const int32_t c = p.cell[i];
      double w[4];
      mesh.CellWeights(c, p.x[i], w);
      const AK_Index4& corners = mesh._lcv[c];
      for (int k = 0; k < mesh.CornerCount(c); ++k)
        bp[corners[k]] = static_cast<float>(bp[corners[k]] + p.normalForce[i] * w[k]);
    }
    for (int32_t k = 0; k < bp.Size(); ++k)
      if (bp[k] > 0) bp[k] = static_cast<float>(bp[k] / mesh._vertexNormals[k].Length());
  }

  SW_ForEachChunk(n, par.threads, [&](int32_t first, int32_t end) {
    SW_ComputeLateralForces(mesh, par, fields, grid, p, first, end, dt);
  });
  SW_ForEachChunk(n, par.threads, [&](int32_t first, int32_t end) {
    SW_UpdatePositions(mesh, par, cells, fields, p, first, end, dt);
  });
  report.removed = p.RemoveBelow(par.massPerParticle * 0.01);
  if (sources)
    report.sourceMass = SW_AddSourceParticles(mesh, par, *sources, t, dt, p, report.sourceCount);

  for (int32_t i = p.Count() - 1; i >= 0; --i) {
    const int32_t k = static_cast<int32_t>(p.m[i] / par.massPerParticle + 0.5);
    if (k > 1 && p.cell[i] >= 0) p.Split(mesh, i, k);
  }
  SW_UpdateFields(mesh, par.density, p, static_cast<float>(t), fields);
  report.total = p.TotalMass();
  return 0;
}
