// SW_Simulation: the run command, the run loop and the time step as the simulation sees it
// (its groups, variables and messages around the flow model's phases).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "AK_FrameworkState.h"
#include "AK_Group.h"
#include "AK_NumberText.h"
#include "AK_Process.h"
#include "SW_Flow.h"
#include "SW_InitialCondition.h"
#include "SW_ResistanceArea.h"
#include "SW_RunLoop.h"
#include "SW_Simulation.h"
#include "SW_SimulationRun.h"
#include "SW_SimulationStatus.h"
#include "SW_SourceLine.h"
#include "SW_TimeStepFile.h"
#include "SW_TimeStepList.h"
#include "SW_WallLine.h"

// What lives for one run loop: the flow model's run state (its threads, per-cell arrays,
// sources, grid and work columns), so that a step allocates nothing it already had.
struct SW_RunContext {
  SW_FlowRun flow;
  SW_WallViews walls;              // what flow.cells.walls refers to
  SW_SourceLineViews sourceLines;  // what flow.sources.lines refers to
  AK_String error;
};

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
void DumpParticles(const SW_Particles& particles)
{
  const AK_Array<AK_Vec3>& x = particles.Positions();
  const AK_Array<AK_Vec3>& v = particles.Velocities();
  std::printf("%s:%d:part->Number() = '%d'\n", "SW_Simulation", __LINE__, particles.Count());
  for (int32_t i = 0; i < x.Size() && i < v.Size(); ++i)
    std::printf("%d x %g %g %g v %g %g %g\n", i, x[i].x, x[i].y, x[i].z, v[i].x, v[i].y, v[i].z);
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

// The steps of the run loop done by the simulation: the status file and the interrupt poll,
// the flow step, the progress line, the outputs, the peak kinetic energy and the user's stop
// criterion.
class SimulationSteps : public SW_RunSteps {
public:
  SimulationSteps(SW_Simulation& sim, SW_RunContext& run) : _sim(sim), _run(run) {}

  bool Interrupted() override
  {
    if (SW_ReadStatusFile(_sim.ProjectDir()) == "interrupted") return true;
    return AK_PollInterrupt() != 0;
  }
  void EndTimeIs(double endTime) override
  {
    _sim.SetVariable("$endITC", AK_String::Format("%.15g", endTime));
  }
  bool Step(double time, double deltaT) override
  {
    if (_sim.ComputeTimeStep(time, deltaT, _run) == 0) return true;
    // A step that cannot go on (a friction law without a number) ends the run where it was:
    // its half-done state is neither written nor labelled with the next time.
    AK_MESSAGE(AK_String("ERROR: ") + _run.error);
    _failure = AK_String::Format("stopped at time %g s: ", time) + _run.error;
    return false;
  }
  void Progress(const char* line) override { SW_WriteInfoFile(_sim.ProjectDir(), line); }
  bool Output() override
  {
    const AK_String failure = _sim.WriteOutput();
    if (failure.IsEmpty()) return true;
    _failure = failure;
    return false;
  }
  void AfterStep() override
  {
    if (SW_Particles* p = _sim.Particles()) {
      const double e = p->TotalKineticEnergy();
      if (e > _sim.PeakKineticEnergy) _sim.PeakKineticEnergy = e;
    }
  }
  int StopCriterion(AK_String& value) override
  {
    const AK_String name = _sim.Get("$stop_crit");
    if (name == "%AK_NULL%" || name.IsEmpty() || name == "none") return 0;
    AK_ErrorText = "";
    value = _sim.Get(name);
    if (!AK_ErrorText.IsEmpty()) return -1;
    return value == "%AK_NULL%" || value.IsEmpty() ? 0 : 1;
  }

  // Why the run stopped early, "" when it did not: a failed step or output.
  const AK_String& Failure() const { return _failure; }

private:
  SW_Simulation& _sim;
  SW_RunContext& _run;
  AK_String _failure;
};

}  // namespace

bool SW_Simulation::HasRelease()
{
  auto* areas = dynamic_cast<AK_Group*>(Group(SW_SimulationGroup::ReleaseAreas));
  if (areas && !areas->GetContainedObjectsList().IsEmpty()) return true;
  if (!ReleaseDHM.IsEmpty() && ReleaseDHM != "none") return true;
  const AK_String strength = Get("$source_strength");
  return !strength.IsEmpty() && AK_Atof(strength) > 0;
}

void SW_Simulation::Run(const char*)
{
  // One run of a simulation at a time, in any process; held until the run ends, however.
  SW_RunLock lock(ProjectDir(), GetAbsolutePath());
  if (!lock.Held()) return;
  if (ProjectDir().IsEmpty()) {
    AK_MESSAGE(AK_Text("WARNING: Save project first!", "WARNING: Zuerst Projekt speichern!"));
    if (InteractionTypeWithFluidAbove != "none") return EndUnstartedRun("no project directory");
  }
  if (!HasRelease()) {
    AK_MESSAGE(AK_Text("INFO: No release areas defined! Simulation will not be started!",
                       "INFO: Keine Anbruchgebiete definiert! Simulation wird nicht gestartet!"));
    return EndUnstartedRun("no release areas");
  }
  AK_MESSAGE(AK_String("running simulation ") + Id() + "...");
  if (!ProjectDir().IsEmpty() && UpdateStamp() > ModificationTime("LoadFinalize")) SaveProject();
  CurrentTime = 0;
  RunLoop();
}

void SW_Simulation::Continue(const char*)
{
  SW_RunLock lock(ProjectDir(), GetAbsolutePath());
  if (!lock.Held()) return;
  // The loop would remove the later time-step files and then compute nothing.
  if (EndTime - 0.5 * DeltaT <= CurrentTime && CurrentTime >= 0.5 * DeltaT) {
    AK_ErrorText = GetAbsolutePath() + AK_String::Format(
                       ": nothing to continue: EndTime %g s is not after the current time %g s",
                       EndTime, CurrentTime);
    return EndUnstartedRun("end time not after the current time");
  }
  RunLoop();
}

void SW_Simulation::DeactivateLoadingPsaResults(const char*) { _startedInBackground = true; }

void SW_Simulation::EndUnstartedRun(const char* reason)
{
  // A background start marked the run "started"; left so, the simulation would count as
  // running for ever and no run could be started again.
  if (RunStatus() != "started") return;
  // The reason first: whoever waits for the status finds it when the status changes.
  SW_WriteInfoFile(ProjectDir(), AK_String("not run: ") + reason);
  SW_WriteStatusFile(ProjectDir(), "finished");
}

AK_String SW_Simulation::WriteOutput()
{
  AK_Object* top = GetRoot();
  if (top->Get("Offscreen") == "0") top->Set("Draw", "");
  // Without a project directory nothing is written, and nothing is lost: the run goes on.
  if (ProjectDir().IsEmpty() || !Particles()) {
    SaveTimeStep("");
    return "";
  }
  const AK_String before = AK_ErrorText;
  AK_ErrorText = "";
  SaveTimeStep("");
  if (AK_ErrorText.IsEmpty()) {
    AK_ErrorText = before;
    return "";
  }
  return AK_String::Format("stopped at time %g s: the time step file ", CurrentTime) +
         SW_TimeStepPath(ProjectDir(), SW_TimeStepName(CurrentTime)) + " could not be written: " + AK_ErrorText;
}

void SW_Simulation::UpdateCellResistances(SW_RunContext& run)
{
  const SW_ResistanceAreaViews areas(GroupMembers<SW_ResistanceArea>(SW_SimulationGroup::ResistanceAreas));
  AK_MESSAGE("updating cell resistances...");
  SW_MapResistanceAreas(Mesh()->Core(), areas.Model(), run.flow.cells);
  AK_MESSAGE("updating cell resistances done");
}

void SW_Simulation::MarkWallCells(SW_RunContext& run)
{
  const SW_MeshCore& mesh = Mesh()->Core();
  run.walls.Take(GroupMembers<SW_WallLine>(SW_SimulationGroup::WallLines));
  const int32_t marked = SW_MarkWallCells(mesh, run.walls.Model(), run.flow.cells);
  AK_MESSAGE(AK_String::Format("%d of %d cells covered by wall lines", marked, mesh.NumCells()));
}

void SW_Simulation::RunLoop()
{
  SW_Mesh* mesh = Mesh();
  if (!mesh || mesh->NumCells() == 0) {
    AK_MESSAGE(AK_String("INFO: simulation ") + Id() + " has no valid mesh assigned!");
    return EndUnstartedRun("no valid mesh");
  }
  if (ProjectDir().IsEmpty()) {
    if (InteractionTypeWithFluidAbove != "none") {
      AK_MESSAGE("WARNING: Save project first!");
      return EndUnstartedRun("no project directory");
    }
    AK_MESSAGE("WARNING: Save project first, otherwise output data cannot be saved!");
  }
  const SW_RunTimes times{DeltaT, DeltaOut, EndTime};
  // The step index and the output schedule count whole steps exactly only up to a bound.
  if (const double count = SW_RunStepCount(CurrentTime, times); !(count <= SW_MaxRunSteps)) {
    AK_ErrorText = GetAbsolutePath() + AK_String::Format(
                       ": the run from %g s to EndTime %g s takes %g steps of DeltaT %g s, more than "
                       "the %.0f one run can count",
                       CurrentTime, EndTime, std::ceil(count), DeltaT, SW_MaxRunSteps);
    return EndUnstartedRun("too many time steps");
  }
  // The schedule counts outputs in whole steps: an interval below one step has none.
  if (SW_OutputPeriod(times) < 1) {
    AK_ErrorText = GetAbsolutePath() + AK_String::Format(
                       ": output interval DeltaOut %g is shorter than the time step DeltaT %g",
                       DeltaOut, DeltaT);
    return EndUnstartedRun("output interval below one step");
  }
  if (mesh->Get("RegularGrid") == "0")
    AK_MESSAGE(AK_Text("WARNING: The simulation mesh should be a regular grid!",
                       "WARNING: Das Simulationsnetz sollte ein regelmaessiges Gitter sein!") +
               AK_String(" ") + mesh->Id() + AK_Text(" is none!", " ist keines!"));

  const double startCpu = AK_CpuSeconds();
  SW_Particles* particles = Particles();
  if (0.5 * DeltaT > CurrentTime || !particles || particles->Count() == 0) {
    // Refused before any file is touched: the results of an earlier run stay.
    const AK_String fault = Initialize();
    if (!fault.IsEmpty()) {
      AK_ErrorText = GetAbsolutePath() + ": not run: " + fault;
      return EndUnstartedRun(fault.c_str());
    }
    PeakKineticEnergy = 0;
  }
  CheckFrictionParameters();
  SW_RunContext run;
  run.flow.mesh = &mesh->Core();
  UpdateCellResistances(run);
  MarkWallCells(run);
  const AK_Array<SW_SourceLine*> lines = GroupMembers<SW_SourceLine>(SW_SimulationGroup::SourceLines);
  for (int32_t i = lines.Size() - 1; i >= 0; --i) lines[i]->SetUpOnMesh(mesh->Core());
  run.sourceLines.Take(lines);
  run.flow.sources.lines = run.sourceLines.Model();
  BottomPressure()._onVertices = 1;
  BottomPressure().SetMesh(mesh);
  SW_RemoveLaterTimeSteps(ProjectDir(), CurrentTime, DeltaT);
  // The first output that cannot be written ends the run: a run whose results are lost is
  // not worth computing.
  AK_String failure = SW_OnOutputSchedule(CurrentTime, times) ? WriteOutput() : AK_String();
  SW_WriteStatusFile(ProjectDir(), "running");
  SW_WriteInfoFile(ProjectDir(), AK_String::Format("at time %.15gs", CurrentTime));

  if ((particles = Particles())) {
    const AK_Array<AK_Vec3>& x = particles->Positions();
    const AK_Array<float>& m = particles->Masses();
    for (int32_t i = particles->Count() - 1; i >= 0; --i)
      std::printf("IPD, %g, %g, %g, %g\n", x[i].x, x[i].y, x[i].z, double(m[i]));
    std::fflush(stdout);
  }

  SimulationSteps steps(*this, run);
  if (failure.IsEmpty() && !SW_RunTimeLoop(CurrentTime, times, steps, Id())) failure = steps.Failure();
  if (SW_Particles* p = Particles()) p->FreeWork();

  MarkModified("touch");
  if (SW_Particles* p = Particles()) p->MarkModified("touch");
  for (int rank = 1; rank <= SW_ResultFieldCount; ++rank)
    for (int row = 0; row < SW_ResultFieldCount; ++row)
      if (AK_Object* field = ResultField(row); field && SW_ResultFields[row].runTouchOrder == rank)
        field->MarkModified("touch");
  BottomPressure().SetMesh(nullptr);
  // The particles and fields hold the run's last time step, as after a load of it: the next
  // update must not set the release up anew over them, whatever changed before the run.
  MarkModified("LoadTimeStep");
  if (!failure.IsEmpty()) {
    // The reason first: whoever waits for the status finds it when the status changes.
    SW_WriteInfoFile(ProjectDir(), failure);
    AK_ErrorText = GetAbsolutePath() + ": " + failure;
  }
  SW_WriteStatusFile(ProjectDir(), "finished");
  AK_MESSAGE(AK_String("simulation ") + Id() +
             AK_String::Format(" terminated; CPU time %g sec", AK_CpuSeconds() - startCpu));
}

int SW_Simulation::ComputeTimeStep(double t, double dt, SW_RunContext& run)
{
  const std::clock_t start = std::clock();
  AK_MESSAGE(AK_String::Format("computing time step %g...", t + dt));
  SW_Mesh* mesh = Mesh();
  SW_Particles* particles = Particles();
  if (!mesh || !particles) {
    run.error = "the simulation has no mesh or no particle set";
    return 1;
  }
  if (std::getenv("DUMP_PARTICLES")) DumpParticles(*particles);

  // Read at every step, once: a law script or a stop criterion may change a parameter, a
  // "$" variable or the point source for the steps that follow.
  SW_FlowParameters& par = run.flow.par;
  SW_FillFlowParameters(*this, par);
  par.threads = FlowThreads(particles->Count());
  int verbose = 0;
  if (SphMode != 0) {
    const AK_String v = GetVariable("$sph_verbose");
    if (!v.IsEmpty()) verbose = AK_Atoi(v);
    const double r = SW_KernelRadius(par);
    if (t < dt * 0.5 || verbose) AK_MESSAGE(AK_String::Format("SPH kernel radius %g", r));
  }
  par.verbose = verbose;
  run.flow.sources.point = PointSource(*this);

  run.flow.mesh = &mesh->Core();
  SW_SwapFlowState(*this, run.flow);
  const int failed = SW_ComputeTimeStep(run.flow, t, dt, run.error);
  SW_SwapFlowState(*this, run.flow);
  if (failed) return 1;

  const SW_FlowStepReport& report = run.flow.report;
  const std::clock_t* clocks = report.clocks;
  const SW_FlowGrid& grid = run.flow.grid;
  if (verbose) {
    AK_MESSAGE(AK_String::Format("%d SPH particles, location grid size %g origin %g %g cells %d x %d",
                                 particles->Count(), grid.size, grid.x0, grid.y0, grid.nx, grid.ny));
    TimingLine(verbose, "SPH location grid in ", clocks[SW_FlowStepReport::Grid]);
  }
  const auto secondary = GroupMembers<SW_InitialCondition>(SW_SimulationGroup::SecondaryReleaseAreas);
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
                                 SphMode != 0 ? NeighbourCandidates(grid) : 0.0));
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
