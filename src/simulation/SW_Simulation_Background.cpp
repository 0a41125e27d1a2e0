// SW_Simulation: runs in a second process of the program, and the interrupt of a run.
#include <cstdlib>
#include <cstring>
#include <optional>

#include "AK_FrameworkState.h"
#include "AK_Group.h"
#include "AK_Process.h"
#include "AK_ProcessLock.h"
#include "SW_RunLoop.h"
#include "SW_Simulation.h"
#include "SW_BackgroundStart.h"
#include "SW_SimulationStatus.h"

namespace {

// The status of the run directory as a query sees it: a run whose process is gone answers what a
// take-over of its lock would leave, without writing anything (its launcher may wait for it and
// load nothing that would take it over). A lock or a status that cannot be read tells nobody
// whether a run goes on.
AK_Read<AK_String> StatusOfRun(const char* runDirectory)
{
  const AK_Read<AK_String> status = SW_ReadStatusFile(runDirectory);
  if (const AK_String* word = status.Value(); !word || *word != "finished") {
    const AK_Read<bool> gone = SW_RunIsGone(runDirectory);
    if (gone.IsUnreadable()) return gone.Then([](bool) { return AK_String(); });
    if (*gone.Value()) return AK_Read<AK_String>::Found("finished");
  }
  return status;
}

// What a run needs besides the run lock: a mesh, and the mesh of a flow above when coupled.
bool SetUpForARun(SW_Simulation& sim)
{
  if (!sim.Mesh()) return false;
  if (sim.InteractionTypeWithFluidAbove == "none") return true;
  return !sim.PsaMesh.IsEmpty() && sim.FindObject(sim.PsaMesh);
}

// Starts a run in a second process, or writes its start line into `batch`; true when started
// or written.
// The checks of a start before it takes anything: no damage, a release, a project directory, a
// status that can be read, a mesh and no run under way. False, with the error text saying why
// (a simulation with no release says so only outside a batch, which passes it over).
bool ReadyToLaunch(SW_Simulation& sim, bool inBatch)
{
  // Before the checks below, which would find only the defaults it holds in place of its files.
  if (const AK_String damage = sim.InputDamage(); !damage.IsEmpty()) return sim.RefuseRun(damage), false;
  sim.WarnOfDamageElsewhere();
  if (!sim.HasRelease()) {
    AK_MESSAGE(AK_Text("INFO: no release areas defined! Simulation will not be started!",
                       "INFO: keine Anbruchgebiete definiert! Simulation wird nicht gestartet!"));
    // A command that started nothing says so; the batch start passes such simulations over.
    if (!inBatch) AK_ErrorText = sim.GetAbsolutePath() + ": not started, no release areas";
    return false;
  }
  // The second process finds the project through the top object's directory; without one
  // the start macro, the autosave and the results would land in the current directory.
  AK_Object* top = sim.GetRoot();
  if (top->ProjectDir().IsEmpty() || sim.ProjectDir().IsEmpty()) {
    AK_ErrorText = sim.GetAbsolutePath() +
                   ": the project has no directory for a run in the background: save the whole "
                   "project first";
    return false;
  }
  // A lock or a status that cannot be read may be a run's: the start names it.
  if (const AK_Read<AK_String> status = StatusOfRun(sim.ProjectDir()); !inBatch && status.IsUnreadable()) {
    AK_ErrorText = sim.GetAbsolutePath() + ": not started, " + AK_CannotRead(status);
    return false;
  }
  // The batch start holds the run lock of this simulation already, so no other run can be
  // under way; this process's own lock must not count as one.
  if (inBatch ? !SetUpForARun(sim) : *sim.RunVis() != 'w') {
    AK_ErrorText = sim.GetAbsolutePath() +
                   ": the simulation has no mesh, is running already or cannot find the mesh of "
                   "the flow above";
    return false;
  }
  return true;
}

bool LaunchRun(SW_Simulation& sim, bool continuing, std::FILE* batch = nullptr)
{
  if (!ReadyToLaunch(sim, batch != nullptr)) return false;
  AK_Object* top = sim.GetRoot();
  // Taken before anything is written, so no second start slips in; the batch start takes the
  // locks of all its runs itself, before it writes their lines. An "Interrupt" answered from
  // the moment the lock is held stops the run before its first step: the status is looked at
  // in one step with the taking.
  std::optional<SW_RunLock> lock;
  SW_StartedMarks marks;
  if (!batch) {
    bool refused = false;
    if (const AK_String unsaved = sim.SaveNewRunDirectory(continuing, &refused); !unsaved.IsEmpty()) {
      if (!refused) AK_ErrorText = sim.GetAbsolutePath() + ": not started, it could not be saved: " + unsaved;
      return false;
    }
    AK_DirectoryLock taking(SW_RunDirectoryOrCurrent(sim.ProjectDir()));
    lock.emplace(sim.ProjectDir(), sim.GetAbsolutePath(), SW_LockPurpose::Run, "not started", sim.RecordForTaker());
    if (!lock->Held()) return false;
    if (AK_String reason; !marks.Begin(sim.ProjectDir(), reason)) {
      AK_ErrorText = sim.GetAbsolutePath() + ": not started, " + reason;
      return false;
    }
  }
  if (!batch) AK_StopAtWindow("background start locked");
  // A start that starts nothing leaves the status and info as they were.
  const auto startsNothing = [&] {
    if (AK_String reason; !marks.Undo(reason))
      AK_ErrorText += "; its status and info files cannot be put back: " + reason;
    return false;
  };
  // The run's own checks, here already: a start that would only refuse starts nothing, and
  // says why in the status and info files, as the run would.
  bool ofTheDirectory = false;
  if (const AK_String refusal = sim.StartRefusal(continuing, &ofTheDirectory); !refusal.IsEmpty()) {
    sim.RefuseRun(refusal, ofTheDirectory);
    // A refused start changes no file: an "interrupted" that no run read stays as it was.
    return startsNothing();
  }
  // The time step the run goes on from, looked at before the autosave writes: one that cannot be
  // looked at would have the run go on from whatever the project recorded.
  AK_String chosen, failure;
  if (continuing) chosen = sim.ChosenTimeStep(&failure);
  if (!failure.IsEmpty()) {
    sim.RefuseRun("cannot look at " + failure);
    return startsNothing();
  }
  // Its autosave would write what this process holds over what another saved since.
  if (const AK_String refusal = sim.InputsSavedElsewhereRefusal(); !refusal.IsEmpty()) {
    sim.RefuseRun(refusal);
    return startsNothing();
  }
  if (sim.Get("$autosave") != "0") {
    // The second process loads the project from disk: after a failed save it would run on
    // what an older save left there.
    AK_ErrorText = "";
    top->SaveProject();
    if (!AK_ErrorText.IsEmpty()) {
      AK_ErrorText = sim.GetAbsolutePath() + ": not started, the project could not be saved: " + AK_ErrorText;
      return startsNothing();
    }
  }
  SW_BackgroundRun run;
  run.runDirectory = SW_RunDirectoryOrCurrent(sim.ProjectDir());
  run.projectDir = top->ProjectDir();
  run.parentPath = sim.Parent() && sim.Parent() != top ? sim.Parent()->GetAbsolutePath(top) : AK_String();
  run.simulationId = sim.Id();
  run.continuing = continuing;
  run.timeStep = chosen;
  const AK_Read<AK_String> digest = sim.SavedRunValues();
  if (digest.IsUnreadable()) {
    AK_ErrorText = sim.GetAbsolutePath() + ": not started: " + AK_CannotRead(digest);
    return startsNothing();
  }
  run.valuesDigest = digest.Value() ? *digest.Value() : AK_String();
  {
    // The run runs only the values saved now (or by this process until it is over): the
    // saved file is read as no save is under way, and the expectations of an earlier start go.
    // Without the list the run would run whatever another process saved before it loads.
    AK_DirectoryLock writers(sim.ProjectDir());
    if (AK_String reason; !SW_ExpectOnlySavedSimulation(sim.ProjectDir(), sim.SavedStamp(), &reason)) {
      AK_ErrorText = sim.GetAbsolutePath() +
                     ": not started, the saved simulations its run may run cannot be listed in " +
                     AK_JoinPath(run.runDirectory, ".simulation_start") + ": " + reason;
      return startsNothing();
    }
  }
  // What the project does not keep, the run still needs: the point source, the stop
  // criterion, the switches of the model and the restart file of the flow above.
  for (const AK_String& name : sim.VariableNames()) run.variables.emplace_back(name, sim.GetVariable(name));
  if (!lock) return SW_StartBackgroundRun(run, batch) == 0;
  if (SW_StartBackgroundRun(run, nullptr, &marks, [&lock](int pid) { return lock->HandOver(pid); }) != 0)
    return startsNothing();
  lock->Keep();
  sim.HandStateToOtherProcess();
  return true;
}

}  // namespace

AK_String SW_Simulation::RunStatus() { return SW_QueryAnswer(StatusOfRun(ProjectDir()), "unknown"); }

bool SW_Simulation::RunUnderWay()
{
  // A status left by a run that was killed, or died, is no run: nobody holds its lock. One that
  // cannot be read may be a run's: nothing that a run refuses goes on beside it.
  const AK_Read<AK_String> status = StatusOfRun(ProjectDir());
  if (status.IsUnreadable()) return true;
  if (const AK_String* word = status.Value(); !word || (*word != "running" && *word != "started")) return false;
  const AK_Read<int> holder = SW_RunLockHolder(ProjectDir());
  return holder.IsUnreadable() || (holder.Value() && *holder.Value() != 0);
}

const char* SW_Simulation::RunVis() { return SetUpForARun(*this) && !RunUnderWay() ? "w" : "r"; }

const char* SW_Simulation::ContinueVis()
{
  if (*RunVis() != 'w') return "r";
  if (InteractionTypeWithFluidAbove == "none") return "w";
  return FluidAboveRestartFile().IsEmpty() ? "r" : "w";
}

AK_String SW_Simulation::FluidAboveRestartFile()
{
  return SW_FluidAboveRestartFile(_fluidAboveRestartList, CurrentTime, DeltaT);
}

const char* SW_Simulation::InterruptVis() { return RunStatus() == "running" ? "w" : "r"; }

void SW_Simulation::RunInBackground(const char*)
{
  const AK_FileDigestsOnce once;
  LaunchRun(*this, false);
}
AK_String SW_Simulation::SaveNewRunDirectory(std::optional<bool> continuing, bool* refused)
{
  if (refused) *refused = false;
  if (ProjectDir().IsEmpty() || AK_LookAtPath(ProjectDir()) != AK_PathLook::Missing) return "";
  // The run's own checks read what they refuse for before the save writes anything: a directory
  // that another process moved away, with the series the state goes on from, is not written back
  // for a start they refuse. They are made again under the run lock.
  bool ofTheDirectory = false;
  if (continuing)
    if (const AK_String refusal = StartRefusal(*continuing, &ofTheDirectory); !refusal.IsEmpty()) {
      RefuseRun(refusal, ofTheDirectory);
      if (refused) *refused = true;
      return refusal;
    }
  const AK_String before = AK_ErrorText;
  AK_ErrorText = "";
  SaveProjectAs(ProjectDir());
  if (!AK_ErrorText.IsEmpty()) return AK_ErrorText;
  AK_ErrorText = before;
  return "";
}

AK_String SW_Simulation::RunInBackground(std::FILE* batch)
{
  const AK_FileDigestsOnce once;
  AK_ErrorText = "";
  if (LaunchRun(*this, false, batch)) return "";
  // The error text names the simulation; the reason is what follows its path.
  AK_String reason = AK_ErrorText;
  const AK_String own = GetAbsolutePath() + ": ";
  if (std::strncmp(reason, own, own.Length()) == 0) reason = AK_String(reason.c_str() + own.Length());
  for (const char* lead : {"not run: ", "not started, "})
    if (std::strncmp(reason, lead, std::strlen(lead)) == 0) reason = AK_String(reason.c_str() + std::strlen(lead));
  // Passed over with its message only: nothing to release.
  return reason.IsEmpty() ? AK_String("no release areas") : reason;
}
void SW_Simulation::ContinueInBackground(const char*)
{
  const AK_FileDigestsOnce once;
  if (!TakeBackRunState()) return;
  // The flow above restarts from the file of its own at the current time, named without
  // its directory.
  const AK_String entry = FluidAboveRestartFile();
  const char* name = entry.c_str();
  for (const char* c = name; *c; ++c)
    if (*c == '/' || *c == '\\') name = c + 1;
  Set("$psaRestartFile", name);
  LaunchRun(*this, true);
}

void SW_Simulation::Interrupt(const char*)
{
  // Written while a background start that reads "started" cannot write "running" over it.
  std::optional<AK_DirectoryLock> locked;
  AK_String failure;
  const AK_PathLook look = LookAtRunDirectory(SW_RunDirectoryOrCurrent(ProjectDir()), &failure);
  if (look == AK_PathLook::Failed) {
    AK_ErrorText = GetAbsolutePath() + ": not interrupted, cannot look at " + failure;
    return;
  }
  if (look == AK_PathLook::Found) locked.emplace(SW_RunDirectoryOrCurrent(ProjectDir()));
  // Nothing is written over a status that cannot be read: it may say what a run needs to read.
  if (const AK_Read<AK_String> status = SW_ReadStatusFile(ProjectDir()); status.IsUnreadable()) {
    AK_ErrorText = GetAbsolutePath() + ": not interrupted, " + AK_CannotRead(status);
    return;
  }
  // A run that never reads the word goes on: the command must say it did not get through.
  if (AK_String reason; !SW_WriteStatusFile(ProjectDir(), "interrupted", &reason))
    AK_ErrorText = GetAbsolutePath() + ": not interrupted, the status file cannot be written: " + reason;
}
