// SW_Simulation: the run commands and the run loop around one run (SW_SimulationRun), whose
// set-up and steps the simulation's entry points hand on to it.
#include <cmath>
#include <cstdio>

#include "AK_FrameworkState.h"
#include "AK_Group.h"
#include "AK_NumberText.h"
#include "AK_Process.h"
#include "SW_RunLoop.h"
#include "SW_Simulation.h"
#include "SW_SimulationRun.h"
#include "SW_SimulationStatus.h"
#include "SW_TimeStepFile.h"
#include "SW_TimeStepList.h"

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
    if (InteractionTypeWithFluidAbove != "none") return RefuseRun("no project directory");
  }
  if (!HasRelease()) {
    AK_MESSAGE(AK_Text("INFO: No release areas defined! Simulation will not be started!",
                       "INFO: Keine Anbruchgebiete definiert! Simulation wird nicht gestartet!"));
    return RefuseRun("no release areas");
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
  // A state without particles starts again from 0 s (as a loaded project at 0 s does).
  SW_Particles* particles = Particles();
  const bool noParticle = !particles || particles->Count() == 0;
  const bool startsOver = CurrentTime < 0.5 * DeltaT || noParticle;
  const double start = startsOver ? 0.0 : CurrentTime;
  // The loop would remove the later time-step files and then compute nothing.
  if (EndTime - 0.5 * DeltaT <= start) {
    AK_ErrorText = GetAbsolutePath() +
                   AK_String::Format(": nothing to continue: EndTime %g s is not after the %s time %g s", EndTime,
                                     start == CurrentTime ? "current" : "start", start);
    return EndUnstartedRun("end time not after the current time");
  }
  if (noParticle && CurrentTime >= 0.5 * DeltaT)
    AK_MESSAGE(AK_String("WARNING: ") + GetAbsolutePath() +
               AK_String::Format(": no particle is left at %g s: the run starts again from 0 s and replaces "
                                 "its time steps",
                                 CurrentTime));
  RunLoop();
}

void SW_Simulation::DeactivateLoadingPsaResults(const char*) { _startedInBackground = true; }

void SW_Simulation::RefuseRun(const char* reason)
{
  AK_ErrorText = GetAbsolutePath() + ": not run: " + reason;
  EndUnstartedRun(reason);
}

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

void SW_Simulation::UpdateCellResistances(SW_SimulationRun& run) { run.UpdateCellResistances(); }
void SW_Simulation::MarkWallCells(SW_SimulationRun& run) { run.MarkWallCells(); }
int SW_Simulation::ComputeTimeStep(double t, double dt, SW_SimulationRun& run)
{
  return run.ComputeTimeStep(t, dt);
}

void SW_Simulation::RunLoop()
{
  SW_Mesh* mesh = Mesh();
  if (!mesh || mesh->NumCells() == 0) {
    AK_MESSAGE(AK_String("INFO: simulation ") + Id() + " has no valid mesh assigned!");
    return RefuseRun("no valid mesh");
  }
  if (ProjectDir().IsEmpty()) {
    if (InteractionTypeWithFluidAbove != "none") {
      AK_MESSAGE("WARNING: Save project first!");
      return RefuseRun("no project directory");
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
  SW_FlowParameters kernel;
  SW_FillKernelParameters(*this, kernel);
  if (const AK_String fault = SW_KernelGridFault(mesh->Core(), kernel); !fault.IsEmpty()) return RefuseRun(fault);
  if (const AK_String fault = UserLawRefusal(); !fault.IsEmpty()) return RefuseRun(fault);
  if (const AK_String fault = ValueRefusal(); !fault.IsEmpty()) return RefuseRun(fault);
  if (mesh->Get("RegularGrid") == "0")
    AK_MESSAGE(AK_Text("WARNING: The simulation mesh should be a regular grid!",
                       "WARNING: Das Simulationsnetz sollte ein regelmaessiges Gitter sein!") +
               AK_String(" ") + mesh->Id() + AK_Text(" is none!", " ist keines!"));

  const double startCpu = AK_CpuSeconds();
  SW_Particles* particles = Particles();
  if (0.5 * DeltaT > CurrentTime || !particles || particles->Count() == 0) {
    // Refused before any file is touched: the results of an earlier run stay.
    const AK_String fault = Initialize();
    if (!fault.IsEmpty()) return RefuseRun(fault);
    PeakKineticEnergy = 0;
  }
  CheckFrictionParameters();
  SW_SimulationRun run(*this);
  UpdateCellResistances(run);
  MarkWallCells(run);
  run.SetUpSourceLines();
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

  if (failure.IsEmpty() && !SW_RunTimeLoop(CurrentTime, times, run, Id())) failure = run.Failure();
  run.GiveBack();
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
