// SW_SimulationRun: one run of a simulation beside the simulation object; the views of the
// scene through the model's interfaces, the model's parameters and the lending of the arrays.
#include "SW_SimulationRun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

#include "AK_FrameworkState.h"
#include "AK_NumberText.h"
#include "AK_Process.h"
#include "SW_InitialCondition.h"
#include "SW_ResistanceArea.h"
#include "SW_Simulation.h"
#include "SW_SimulationStatus.h"
#include "SW_SourceLine.h"
#include "SW_WallLine.h"

SW_WallLineView::SW_WallLineView(SW_WallLine& line) : _line(&line) { line.UpdateGeometry(); }
const AK_Array<AK_Vec3>& SW_WallLineView::Path() const { return _line->Points(); }
bool SW_WallLineView::Active() const { return _line->FirstHeight() > 0; }
int SW_WallLineView::Intersect(const AK_Vec2& p, const AK_Vec2& q, AK_Vec3& hit, AK_Vec3& top,
                               AK_Vec3& direction) const
{
  return _line->Intersect(p, q, hit, top, direction);
}

int32_t SW_SourceLineView::CellCount() const { return _line->CellCount(); }
int32_t SW_SourceLineView::CrossedCell(int32_t k) const { return _line->CrossedCell(k); }
float SW_SourceLineView::MassInCell(int32_t k, float dt) const { return _line->MassInCell(k, dt); }
AK_Vec2 SW_SourceLineView::PointInCell(int32_t k, float t) const { return _line->PointInCell(k, t); }

bool SW_ResistanceAreaView::Contains(double x, double y) const { return _area->Contains(x, y); }
SW_FlowResistance SW_ResistanceAreaView::Drag() const
{
  return SW_FlowResistance{_area->Height(), _area->Width(), _area->Spacing(),
                           _area->ResistanceCoefficient()};
}

bool SW_SnowAreaView::Contains(double x, double y) const { return _area->Contains(x, y); }
double SW_SnowAreaView::DepthAt(const AK_Vec3& x, const AK_Vec3& normal) const
{
  return _area->ReleaseDepthAt(x, normal);
}
double SW_SnowAreaView::Density() const { return _area->Density(); }
double SW_SnowAreaView::Enthalpy() const { return _area->Enthalpy(); }
const char* SW_SnowAreaView::Name() const { return _area->Id().c_str(); }

// Lends the simulation's field and particle arrays to the run (and, called again, takes
// them back): swapping moves no values. A child the user deleted lends nothing, so the run
// finds the array unbound and refuses the step.
void SW_SwapFlowState(SW_Simulation& sim, SW_FlowRun& run)
{
  SW_FlowFields& f = run.fields;
  for (int row = 0; row < SW_ResultFieldCount; ++row) {
    const SW_ResultFieldKind& kind = SW_ResultFields[row];
    if (!sim.ResultField(row)) continue;
    if (kind.IsVector())
      std::swap(f.*kind.vectors, sim.VectorResult(row)->_vectors);
    else
      std::swap(f.*kind.values, sim.ScalarResult(row)->_values);
  }
  if (SW_Particles* particles = sim.Particles()) particles->SwapStore(run.particles);
}

namespace {

// The user law of one worker: the rheology file's "tau" when it has one, else the shear
// formula, else no shear at all (a formula that did not compile leaves none). A script that
// fails answers NaN, and its reason stays with the interpreter of the calling thread.
double UserTau(void* context, const SW_FrictionArgs& a)
{
  const auto& laws = *static_cast<const SW_Simulation::UserLawCalls*>(context);
  double p = a.p, u = a.u, h = a.h, rho = a.rho, t = a.t, e = a.e;
  if (laws.tau) {
    // The script may change its arguments; the caller's stay as they are.
    double x[3] = {a.x.x, a.x.y, a.x.z}, n[3] = {a.n.x, a.n.y, a.n.z};
    void* args[] = {&p, &u, &h, &rho, &t, x, n, &e};
    return SW_UserCode::Answer(laws.tau, args);
  }
  if (!laws.shear) return 0;
  void* args[] = {&p, &u, &h, &rho};
  return SW_UserCode::Answer(laws.shear, args);
}

const char* UserLawFailure(void*) { return ast_sci_last_error(); }

double UserEntrainmentLoss(void* context, const SW_EntrainmentLossArgs& a)
{
  const auto& laws = *static_cast<const SW_Simulation::UserLawCalls*>(context);
  double p = a.f.p, u = a.f.u, h = a.f.h, rho = a.f.rho, t = a.f.t;
  double tau = a.tau, q = a.q, es = a.es, ed = a.ed;
  double x[3] = {a.f.x.x, a.f.x.y, a.f.x.z}, n[3] = {a.f.n.x, a.f.n.y, a.f.n.z};
  void* args[] = {&p, &u, &h, &rho, &t, x, n, &tau, &q, &es, &ed};
  return SW_UserCode::Answer(laws.entrainmentEnergyLoss, args);
}

// Workers a run may use at most, each with its own instance of the user laws.
constexpr int kMaxLawWorkers = 16;

// The user laws for every worker of a run: the simulation's own for the first, instances of
// its scripts for the others when the scripts allow it, else the first alone (said once).
void FillUserLaws(SW_Simulation& sim, SW_FlowParameters& par)
{
  const int workers = std::max(1, std::min(AK_ProcessorCount(), kMaxLawWorkers));
  auto laws = std::make_shared<std::vector<SW_Simulation::UserLawCalls>>();
  laws->reserve(static_cast<size_t>(workers));  // the contexts point into it
  laws->emplace_back();
  sim.MakeUserLawCalls(false, laws->front());
  SW_Simulation::UserLawCalls* own = &laws->front();
  par.userLaw = SW_UserFrictionLaw{UserTau, own, sim.FrictionType, UserLawFailure};
  par.entrainmentLoss =
      SW_EntrainmentLossLaw{own->entrainmentEnergyLoss ? UserEntrainmentLoss : nullptr, own, UserLawFailure};
  par.lawContexts.SetCount(0);
  const bool scripted = (par.frictionLaw == SW_FrictionUser && (own->tau || own->shear)) || own->entrainmentEnergyLoss;
  if (scripted && workers > 1) {
    bool apart = true;
    for (int k = 1; k < workers && apart; ++k) {
      laws->emplace_back();
      apart = sim.MakeUserLawCalls(true, laws->back());
    }
    if (apart) {
      for (SW_Simulation::UserLawCalls& calls : *laws) par.lawContexts.Append(&calls);
    } else {
      laws->resize(1);
      AK_MESSAGE(AK_String("user law of simulation ") + sim.Id() +
                 " uses the object tree, messages or global variables: its body forces run on one thread");
    }
  }
  par.lawOwner = laws;
}

}  // namespace

void SW_FillKernelParameters(SW_Simulation& sim, SW_FlowParameters& par)
{
  par.sphMode = sim.SphMode;
  // The mesh numbers travel as the texts its attributes show.
  if (SW_Mesh* mesh = sim.Mesh()) par.resolution = AK_ThroughText(mesh->GetResolution(), 15);
}

void SW_FillFlowParameters(SW_Simulation& sim, SW_FlowParameters& par)
{
  par.density = sim.Density;
  par.dynamicFriction = sim.DynamicFrictionCoefficient;
  par.subgridMixing = sim.SubgridMixingFactor;
  par.curvatureReduction = sim.CurvatureReductionFactor;
  par.entrainmentShear = sim.EntrainmentShearResistance;
  par.entrainmentDeformation = sim.EntrainmentDeformationResistance;
  par.entrainmentErosion = sim.EntrainmentErosionEnergy;
  par.restitution = sim.RestitutionCoefficient;
  par.massPerParticle = sim.RunMassPerParticle();
  par.bedFrictionAngle = sim.BedFrictionAngle;
  par.internalFrictionAngle = sim.InternalFrictionAngle;
  par.frictionLaw = SW_FrictionLawIndex(sim.FrictionType.c_str());
  // The laws' instances for the workers are made for a friction type once, and again only
  // when it changed: parameters are filled anew at every step.
  if (!par.lawOwner || par.userLaw.name != sim.FrictionType) FillUserLaws(sim, par);
  SW_FillKernelParameters(sim, par);
  par.bottomPressure = sim.SphMode == 0 || sim.InteractionTypeWithFluidAbove != "none";
  if (SW_Mesh* mesh = sim.Mesh()) par.breakLinesAngle = mesh->BreakLinesAngle;
  par.averagedSpeed = sim.GetVariable("$compat") == "v2017";
  const auto number = [&sim](const char* name) {
    return AK_Atof(sim.GetVariable(name));
  };
  par.sphDiffusion = number("$sph_diffusion_coefficient");
  par.sphDiffusionImplicit = !sim.GetVariable("$sph_diffusion_implicit").IsEmpty();
  par.cohesion = number("$cohesiveSurfaceTension");
}

namespace {

// Threads for the phases that may run apart; a run gives the same particles with any count.
// Handing a phase to the run's threads costs a wake-up each, so every thread gets particles
// enough to be worth it; at most as many threads as the processors this process may run on
// (a run confined with taskset or to a container's processors uses only those), and 8.
int FlowThreads(int32_t particles)
{
  const int32_t processors = std::min(8, AK_ProcessorCount());
  return std::max(1, std::min(processors, particles / 2048));
}

// The point source of the object variables "$source_..."; off while "$source_strength" is empty.
SW_PointSource PointSource(SW_Simulation& sim)
{
  SW_PointSource s;
  const AK_String strength = sim.Get("$source_strength");
  if (strength.IsEmpty() || strength == "%AK_NULL%") return s;
  s.on = 1;
  s.strength = AK_Atof(strength);
  s.duration = AK_Atof(sim.Get("$source_duration"));
  s.radius = AK_Atof(sim.Get("$source_radius"));
  double centre[2] = {0, 0};
  sim.Get("$source_point").ToDoubles(centre, 2);
  s.x = centre[0];
  s.y = centre[1];
  s.speed = AK_Atof(sim.Get("$source_velo"));
  s.azimuth = AK_Atof(sim.Get("$source_velo_ang"));
  return s;
}

// The particle positions and velocities on standard output, for "DUMP_PARTICLES".
void DumpParticles(const SW_ParticleStore& particles)
{
  const AK_Array<AK_Vec3>& x = particles.x;
  const AK_Array<AK_Vec3>& v = particles.v;
  std::printf("%s:%d:part->Number() = '%d'\n", "SW_Simulation", __LINE__, x.Size());
  for (int32_t i = 0; i < x.Size() && i < v.Size(); ++i)
    std::printf("%d x %g %g %g v %g %g %g\n", i, x[i].x, x[i].y, x[i].z, v[i].x, v[i].y, v[i].z);
}

// The particles' total kinetic energy, summed as the particle set sums it.
double KineticEnergy(const SW_ParticleStore& p)
{
  double sum = 0;
  for (int32_t i = 0; i < p.m.Size() && i < p.v.Size(); ++i) sum += p.v[i].Dot(p.v[i]) * (p.m[i] * 0.5);
  return sum;
}

double Milliseconds(std::clock_t ticks) { return double(ticks) * 1000.0 / CLOCKS_PER_SEC; }

void TimingLine(int verbose, const char* phase, std::clock_t ticks)
{
  if (verbose)
    AK_MESSAGE(AK_String::Format("%s%g ms (%ld clocks)", phase, Milliseconds(ticks), long(ticks)));
}

// The particles within reach of each particle's neighbour search (its own bucket of the grid
// and the eight around it), on average: the verbose report's neighbours per particle.
double NeighbourCandidates(const SW_FlowGrid& grid)
{
  const int32_t n = grid.sorted.Size();
  if (n == 0 || grid.start.Size() != grid.nx * grid.ny + 1) return 0;
  const auto count = [&grid](int32_t i, int32_t j) {
    if (i < 0 || j < 0 || i >= grid.nx || j >= grid.ny) return int64_t(0);
    const int32_t b = j * grid.nx + i;
    return int64_t(grid.start[b + 1] - grid.start[b]);
  };
  int64_t pairs = 0;
  for (int32_t j = 0; j < grid.ny; ++j)
    for (int32_t i = 0; i < grid.nx; ++i) {
      const int64_t here = count(i, j);
      if (here == 0) continue;
      int64_t around = 0;
      for (int32_t dj = -1; dj <= 1; ++dj)
        for (int32_t di = -1; di <= 1; ++di) around += count(i + di, j + dj);
      pairs += here * around;
    }
  return double(pairs) / n;
}

}  // namespace

SW_SimulationRun::SW_SimulationRun(SW_Simulation& sim) : _sim(sim), _flow(sim.Mesh()->Core()) {}

SW_SimulationRun::~SW_SimulationRun() { GiveBack(); }

void SW_SimulationRun::UpdateCellResistances()
{
  const SW_ResistanceAreaViews areas(_sim.GroupMembers<SW_ResistanceArea>(SW_SimulationGroup::ResistanceAreas));
  AK_MESSAGE("updating cell resistances...");
  SW_MapResistanceAreas(*_flow.mesh, areas.Model(), _flow.cells);
  AK_MESSAGE("updating cell resistances done");
}

void SW_SimulationRun::MarkWallCells()
{
  const SW_MeshCore& mesh = *_flow.mesh;
  _walls.Take(_sim.GroupMembers<SW_WallLine>(SW_SimulationGroup::WallLines));
  const int32_t marked = SW_MarkWallCells(mesh, _walls.Model(), _flow.cells);
  AK_MESSAGE(AK_String::Format("%d of %d cells covered by wall lines", marked, mesh.NumCells()));
}

void SW_SimulationRun::SetUpSourceLines()
{
  const AK_Array<SW_SourceLine*> lines = _sim.GroupMembers<SW_SourceLine>(SW_SimulationGroup::SourceLines);
  for (int32_t i = lines.Size() - 1; i >= 0; --i) lines[i]->SetUpOnMesh(*_flow.mesh);
  _sourceLines.Take(lines);
  _flow.sources.lines = _sourceLines.Model();
}

bool SW_SimulationRun::Interrupted()
{
  const AK_Read<AK_String> status = SW_ReadStatusFile(_sim.ProjectDir());
  if (status.IsUnreadable()) {
    // An interrupt may stand there: the run stops where it is, as an interrupted one does, and says
    // why, so that it can be continued.
    _failure = AK_String::Format("stopped at time %g s: whether it is interrupted cannot be told: ", _sim.CurrentTime) +
               AK_CannotRead(status);
    return true;
  }
  if (status.Value() && *status.Value() == "interrupted") return true;
  // Whoever answers the poll may look at the tree.
  if (AK_InterruptCallback) GiveBack();
  return AK_PollInterrupt() != 0;
}

void SW_SimulationRun::EndTimeIs(double endTime)
{
  _sim.SetVariable("$endITC", AK_FormatDouble(endTime));
}

bool SW_SimulationRun::Step(double time, double deltaT)
{
  const int result = _sim.ComputeTimeStep(time, deltaT, *this);
  if (result == 0) return true;
  _stepFailed = true;
  // A step that cannot go on (a friction law without a number, particles beyond the bound or
  // the memory) ends the run where it was: its half-done state is neither written nor
  // labelled with the next time.
  AK_MESSAGE(AK_String("ERROR: ") + _error);
  _failure = AK_String::Format(result == SW_StepOutOfParticles ? "run stopped at %g s: " : "stopped at time %g s: ",
                               time) +
             _error;
  return false;
}

void SW_SimulationRun::Progress(const char* line)
{
  // A progress line that does not reach the disk is replaced by the next one; only when the last
  // one stays unwritten does the run answer it (ProgressUnwritten).
  _progressUnwritten = "";
  if (AK_String why; !SW_WriteInfoFile(_sim.ProjectDir(), line, &why) && !_sim.ProjectDir().IsEmpty())
    _progressUnwritten = why;
}

void SW_SimulationRun::Lend()
{
  if (_lent) return;
  SW_SwapFlowState(_sim, _flow);
  _lent = true;
}

void SW_SimulationRun::GiveBack()
{
  if (!_lent) return;
  SW_SwapFlowState(_sim, _flow);
  _lent = false;
}

bool SW_SimulationRun::Output()
{
  GiveBack();
  const AK_String failure = _sim.WriteOutput();
  if (failure.IsEmpty()) return true;
  _failure = failure;
  return false;
}

void SW_SimulationRun::AfterStep()
{
  SW_Particles* particles = _sim.Particles();
  if (!particles) return;
  // From wherever the particles' columns are now.
  const double e = _lent ? KineticEnergy(_flow.particles) : particles->TotalKineticEnergy();
  if (e > _sim.PeakKineticEnergy) _sim.PeakKineticEnergy = e;
}

int SW_SimulationRun::StopCriterion(AK_String& value)
{
  const AK_String name = _sim.Get("$stop_crit");
  if (name == "%AK_NULL%" || name.IsEmpty() || name == "none") return 0;
  GiveBack();  // the criterion may read the tree
  AK_ErrorText = "";
  value = _sim.Get(name);
  if (!AK_ErrorText.IsEmpty()) return -1;
  return value == "%AK_NULL%" || value.IsEmpty() ? 0 : 1;
}

int SW_SimulationRun::ComputeTimeStep(double t, double dt)
{
  const std::clock_t start = std::clock();
  AK_MESSAGE(AK_String::Format("computing time step %g...", t + dt));
  SW_Mesh* mesh = _sim.Mesh();
  SW_Particles* particles = _sim.Particles();
  if (!mesh || !particles) {
    _error = "the simulation has no mesh or no particle set";
    return 1;
  }
  _flow.mesh = &mesh->Core();
  Lend();
  if (std::getenv("DUMP_PARTICLES")) DumpParticles(_flow.particles);

  // Read at every step, once: a law script or a stop criterion may change a parameter, a
  // "$" variable or the point source for the steps that follow.
  SW_FlowParameters& par = _flow.par;
  SW_FillFlowParameters(_sim, par);
  par.threads = FlowThreads(_flow.particles.Count());
  int verbose = 0;
  if (_sim.SphMode != 0) {
    const AK_String v = _sim.GetVariable("$sph_verbose");
    if (!v.IsEmpty()) verbose = AK_Atoi(v);
    const double r = SW_KernelRadius(par);
    if (t < dt * 0.5 || verbose) AK_MESSAGE(AK_String::Format("SPH kernel radius %g", r));
  }
  par.verbose = verbose;
  _flow.sources.point = PointSource(_sim);

  if (const int result = SW_ComputeTimeStep(_flow, t, dt, _error)) {
    GiveBack();
    return result;
  }

  const SW_FlowStepReport& report = _flow.report;
  const std::clock_t* clocks = report.clocks;
  const SW_FlowGrid& grid = _flow.grid;
  if (verbose) {
    AK_MESSAGE(AK_String::Format("%d SPH particles, location grid size %g origin %g %g cells %d x %d",
                                 _flow.particles.Count(), grid.size, grid.x0, grid.y0, grid.nx, grid.ny));
    TimingLine(verbose, "SPH location grid in ", clocks[SW_FlowStepReport::Grid]);
  }
  const auto secondary = _sim.GroupMembers<SW_InitialCondition>(SW_SimulationGroup::SecondaryReleaseAreas);
  for (int32_t k : report.released)
    if (k >= 1 && k <= secondary.Size())
      AK_MESSAGE(AK_String("releasing secondary release area ") + secondary[k - 1]->Id());
  AK_MESSAGE(AK_String::Format("\tentrained DFA mass: %g", report.entrained));
  TimingLine(verbose, "body forces ", clocks[SW_FlowStepReport::BodyForces]);
  for (const SW_FlowStepReport::SphSample& s : report.sph)
    if (s.particle >= 0)
      AK_MESSAGE(AK_String::Format("SPH particle %d at %g %g %g i %d j %d grad_h %g %g %g", s.particle + 1, s.x.x,
                                   s.x.y, s.x.z, s.ix, s.iy, s.gradient.x, s.gradient.y, s.gradient.z));
  if (verbose) {
    const std::clock_t ticks = clocks[SW_FlowStepReport::LateralForces];
    AK_MESSAGE(AK_String::Format("lateral forces %g ms (%ld clocks), %g neighs/particle",
                                 Milliseconds(ticks), long(ticks),
                                 _sim.SphMode != 0 ? NeighbourCandidates(grid) : 0.0));
  }
  TimingLine(verbose, "position update ", clocks[SW_FlowStepReport::PositionUpdate]);
  if (report.removed != 0) AK_MESSAGE(AK_String(report.removed) + " particles removed");
  if (report.sourceCount != 0)
    AK_MESSAGE(AK_String::Format("\teffective source mass flow %g, absolute %g, %d particles",
                                 report.sourceMass / dt, report.sourceMass, report.sourceCount));
  TimingLine(verbose, "particles removal/splitting ", clocks[SW_FlowStepReport::RemovalSplitting]);
  TimingLine(verbose, "field update ", clocks[SW_FlowStepReport::FieldUpdate]);
  AK_MESSAGE(AK_String::Format("\ttotal DFA mass: %g", report.total));
  TimingLine(verbose, "timestep total ", std::clock() - start);
  return 0;
}
